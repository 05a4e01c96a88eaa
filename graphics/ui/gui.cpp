// Gui: the GUI back-end over Dear ImGui: three fonts in one atlas, input rules, fixed vertex and index buffers, GL
// upload.
#include "graphics/ui/gui.h"

#include <imgui.h>
#include <stb_truetype.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "graphics/gl/graphics.h"
#include "graphics/models/load_report.h"
#include "system/file.h"
#include "system/window.h"
#include "utility/font_file.h"
#include "utility/log.h"

static_assert(sizeof(ImDrawVert) == 20, "the GUI's vertex layout is position, uv and four colour bytes");
static_assert(sizeof(ImDrawIdx) == 2, "the GUI draws with 16-bit indices");

namespace {

struct FontSpec {
  const char* m_path;
  float m_pixels;
};

const FontSpec c_fonts[Gui::c_fontCount] = {
    {"data/fonts/mono_system.ttf", 10.0f},
    {"data/fonts/sans_regular.ttf", 24.0f},
    {"data/fonts/sans_bold.ttf", 24.0f},
};

// Font files are a few hundred kilobytes; anything far larger is not one of ours.
constexpr uint64_t c_fontFileLimit = 16u << 20;

// Reads a font file whole from the data folder and checks that stb_truetype can open it,
// because ImGui asserts (and aborts) on a font it cannot parse.
void* ReadFontFile(const char* path, int* size) {
  *size = 0;
  FileHandle file = FileOpenRead(path, false);
  if (!file) return nullptr;
  uint64_t bytes = FileSize(file);
  if (bytes < 12 || bytes > c_fontFileLimit) {
    FileClose(file);
    return nullptr;
  }
  void* data = IM_ALLOC(bytes);
  size_t got = data ? FileRead(file, data, bytes) : 0;
  FileClose(file);
  if (got != bytes) {
    IM_FREE(data);
    return nullptr;
  }
  const unsigned char* u = static_cast<const unsigned char*>(data);
  // The font library reads wherever the file's offsets point: a cut or damaged file is checked
  // against its size first, or it would crash the game at start-up.
  const char* problem = "";
  if (!FontFileCheck(u, static_cast<size_t>(bytes), c_fontFirstChar, c_fontLastChar, &problem)) {
    LOGE("Font file '%s' is damaged: %s.", path, problem);
    IM_FREE(data);
    return nullptr;
  }
  int offset = stbtt_GetFontOffsetForIndex(u, 0);
  stbtt_fontinfo info;
  if (offset < 0 || static_cast<uint64_t>(offset) >= bytes || !stbtt_InitFont(&info, u, offset) ||
      stbtt_FindGlyphIndex(&info, 'A') == 0) {
    IM_FREE(data);
    return nullptr;
  }
  *size = static_cast<int>(bytes);
  return data;
}

// Far beyond any screen, and well inside the int range the position is truncated through.
constexpr float c_pointerLimit = 1.0e6f;
constexpr float c_scrollLimit = 1.0e4f;

// ImGui's mouse buttons are 0 left, 1 right, 2 middle; ours follow the codes 285, 286, 287.
const int c_imguiButton[3] = {0, 2, 1};

// Bytes of a UTF-8 sequence from its lead byte; 0 for a byte that cannot start one.
int Utf8Length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 0;
}

}  // namespace

int GuiKeyMap(int scancode, uint32_t mods, bool down, GuiKeyChange out[2]) {
  bool ctrl = (mods & c_guiModCtrl) != 0;
  bool ctrlDown = down && ctrl;
  auto one = [&](int key, bool state) {
    out[0] = {key, state};
    return 1;
  };
  switch (scancode) {
    case 40:
      return one(GK_ENTER, down);
    case 42:
      return one(GK_BACKSPACE, down);
    case 43:
      return one(GK_TAB, down);
    case 74:
      return one(GK_TEXT_START, down);
    case 76:
      return one(GK_DEL, down);
    case 77:
      return one(GK_TEXT_END, down);
    case 79:
      out[0] = {GK_TEXT_WORD_RIGHT, ctrlDown};
      out[1] = {GK_RIGHT, down && !ctrl};
      return 2;
    case 80:
      out[0] = {GK_TEXT_WORD_LEFT, ctrlDown};
      out[1] = {GK_LEFT, down && !ctrl};
      return 2;
    case 225:
    case 229:
      return one(GK_SHIFT, down);
    case 5:
      return one(GK_TEXT_LINE_START, ctrlDown);
    case 6:
      return one(GK_COPY, ctrlDown);
    case 8:
      return one(GK_TEXT_LINE_END, ctrlDown);
    case 21:
      return one(GK_TEXT_REDO, ctrlDown);
    case 25:
      return one(GK_PASTE, ctrlDown);
    case 27:
      return one(GK_CUT, ctrlDown);
    case 29:
      return one(GK_TEXT_UNDO, ctrlDown);
    default:
      return 0;
  }
}

GuiConvertResult GuiConvert(const ImDrawData* data, void* vertices, int vertexBytes, void* indices, int indexBytes,
                            GuiDrawCommand* commands, int commandLimit) {
  GuiConvertResult r;
  if (!data || !data->Valid || !vertices || !indices || !commands) return r;
  int vertexLimit = vertexBytes / static_cast<int>(sizeof(ImDrawVert));
  int indexLimit = indexBytes / static_cast<int>(sizeof(ImDrawIdx));
  // 16-bit indices reach only the first 65536 vertices of the shared buffer.
  if (vertexLimit > 65536) vertexLimit = 65536;
  ImDrawVert* vOut = static_cast<ImDrawVert*>(vertices);
  ImDrawIdx* iOut = static_cast<ImDrawIdx*>(indices);
  for (int l = 0; l < data->CmdListsCount; l++) {
    const ImDrawList* list = data->CmdLists[l];
    int nv = list->VtxBuffer.Size;
    int ni = list->IdxBuffer.Size;
    int nc = 0;
    for (const ImDrawCmd& c : list->CmdBuffer) nc += (c.UserCallback == nullptr && c.ElemCount > 0);
    if (r.m_vertexCount + nv > vertexLimit || r.m_indexCount + ni > indexLimit ||
        r.m_commandCount + nc > commandLimit) {
      // A later, smaller list could fit, but it would draw over a window that is missing.
      r.m_cut = true;
      break;
    }
    memcpy(vOut + r.m_vertexCount, list->VtxBuffer.Data, static_cast<size_t>(nv) * sizeof(ImDrawVert));
    ImDrawIdx base = static_cast<ImDrawIdx>(r.m_vertexCount);
    const ImDrawIdx* src = list->IdxBuffer.Data;
    ImDrawIdx* dst = iOut + r.m_indexCount;
    for (int i = 0; i < ni; i++) dst[i] = static_cast<ImDrawIdx>(src[i] + base);
    for (const ImDrawCmd& c : list->CmdBuffer) {
      if (c.UserCallback != nullptr || c.ElemCount == 0) continue;
      GuiDrawCommand& g = commands[r.m_commandCount++];
      g.m_texture = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(c.TextureId));
      float x1 = c.ClipRect.x - data->DisplayPos.x;
      float y1 = c.ClipRect.y - data->DisplayPos.y;
      float x2 = c.ClipRect.z - data->DisplayPos.x;
      float y2 = c.ClipRect.w - data->DisplayPos.y;
      g.m_clip[0] = x1;
      g.m_clip[1] = y1;
      g.m_clip[2] = x2 > x1 ? x2 - x1 : 0.0f;
      g.m_clip[3] = y2 > y1 ? y2 - y1 : 0.0f;
      g.m_elementCount = c.ElemCount;
      g.m_indexByteOffset = static_cast<uint32_t>((r.m_indexCount + static_cast<int>(c.IdxOffset)) * sizeof(ImDrawIdx));
    }
    r.m_vertexCount += nv;
    r.m_indexCount += ni;
  }
  return r;
}

void GuiScissor(const GuiDrawCommand& command, float ratio, int height, int out[4]) {
  const float* c = command.m_clip;
  out[0] = static_cast<int>(ratio * c[0]);
  out[1] = static_cast<int>(ratio * (static_cast<float>(height) - (c[1] + c[3])));
  out[2] = static_cast<int>(ratio * c[2]);
  out[3] = static_cast<int>(ratio * c[3]);
}

Gui::Gui(bool headless) : m_headless(headless) {
  memset(m_commands, 0, sizeof(m_commands));
  m_atlas = IM_NEW(ImFontAtlas)();
  m_context = ImGui::CreateContext(m_atlas);
  ImGui::SetCurrentContext(m_context);
  ImGuiIO& io = ImGui::GetIO();
  // The game keeps its own settings; ImGui writes no files.
  io.IniFilename = nullptr;
  io.LogFilename = nullptr;
  io.ConfigWindowsMoveFromTitleBarOnly = true;
  // Our keys stand in io.KeysDown at their GuiKey numbers.
  io.KeyMap[ImGuiKey_Tab] = GK_TAB;
  io.KeyMap[ImGuiKey_LeftArrow] = GK_LEFT;
  io.KeyMap[ImGuiKey_RightArrow] = GK_RIGHT;
  io.KeyMap[ImGuiKey_UpArrow] = GK_UP;
  io.KeyMap[ImGuiKey_DownArrow] = GK_DOWN;
  io.KeyMap[ImGuiKey_Home] = GK_TEXT_START;
  io.KeyMap[ImGuiKey_End] = GK_TEXT_END;
  io.KeyMap[ImGuiKey_Delete] = GK_DEL;
  io.KeyMap[ImGuiKey_Backspace] = GK_BACKSPACE;
  io.KeyMap[ImGuiKey_Enter] = GK_ENTER;
  io.KeyMap[ImGuiKey_C] = GK_COPY;
  io.KeyMap[ImGuiKey_V] = GK_PASTE;
  io.KeyMap[ImGuiKey_X] = GK_CUT;
  io.KeyMap[ImGuiKey_Z] = GK_TEXT_UNDO;
  io.KeyMap[ImGuiKey_Y] = GK_TEXT_REDO;
  ImGuiStyle& style = ImGui::GetStyle();
  style.AntiAliasedLines = true;
  style.AntiAliasedFill = true;
  style.WindowRounding = 0.0f;

  LoadFonts();
  unsigned char* pixels = nullptr;
  int w = 0, h = 0;
  m_atlas->GetTexDataAsRGBA32(&pixels, &w, &h);
  if (m_headless) {
    m_cpuVertices = malloc(c_vertexBytes);
    m_cpuIndices = malloc(c_indexBytes);
  } else {
    CreateDeviceObjects();
  }
  m_atlas->SetTexID(reinterpret_cast<ImTextureID>(static_cast<uintptr_t>(m_fontTexture)));
  // The pixels live on in the texture; the atlas needs only the glyph tables from here on.
  m_atlas->ClearTexData();
}

Gui::~Gui() {
  ImGui::SetCurrentContext(m_context);
  if (m_frameStarted) ImGui::EndFrame();
  DestroyDeviceObjects();
  ImGui::DestroyContext(m_context);
  m_context = nullptr;
  IM_DELETE(m_atlas);
  for (void*& data : m_fontData) {
    IM_FREE(data);
    data = nullptr;
  }
  free(m_cpuVertices);
  free(m_cpuIndices);
}

bool Gui::LoadFonts() {
  m_fontsLoaded = 0;
  for (int i = 0; i < c_fontCount; i++) {
    int size = 0;
    m_fontData[i] = ReadFontFile(c_fonts[i].m_path, &size);
    ImFontConfig config;
    config.FontDataOwnedByAtlas = false;
    config.OversampleH = 2;
    config.OversampleV = 1;
    if (m_fontData[i]) {
      m_fonts[i] = m_atlas->AddFontFromMemoryTTF(m_fontData[i], size, c_fonts[i].m_pixels, &config);
      m_fontsLoaded++;
    } else {
      LOGE("Cannot load font file '%s'", c_fonts[i].m_path);
      LoadReportNote(c_fonts[i].m_path);
      // The built-in font keeps the windows readable rather than leaving a hole in the atlas.
      ImFontConfig fallback;
      fallback.SizePixels = c_fonts[i].m_pixels < 13.0f ? 13.0f : c_fonts[i].m_pixels;
      m_fonts[i] = m_atlas->AddFontDefault(&fallback);
    }
  }
  return m_fontsLoaded == c_fontCount;
}

bool Gui::KeyDown(int guiKey) const { return guiKey >= 0 && guiKey < GK_COUNT && m_keys[guiKey]; }

bool Gui::ButtonDown(int button) const { return button >= 0 && button < 3 && m_buttons[button]; }

void Gui::InputBegin() {
  m_scroll = 0.0f;
  m_textLength = 0;
  m_text[0] = 0;
}

void Gui::ApplyInputToImGui() {
  ImGui::SetCurrentContext(m_context);
  ImGuiIO& io = ImGui::GetIO();
  io.MousePos = ImVec2(m_mouseX, m_mouseY);
  // A press and release within one input frame would never be seen: a latched press keeps
  // the button or key down for this frame, and the release shows in the next.
  for (int b = 0; b < 3; b++) io.MouseDown[c_imguiButton[b]] = m_buttons[b] || m_buttonLatch[b];
  bool k[GK_COUNT];
  for (int i = 0; i < GK_COUNT; i++) k[i] = m_keys[i] || m_keyLatch[i];
  for (int i = 0; i < GK_COUNT; i++) io.KeysDown[i] = false;
  io.KeysDown[GK_TAB] = k[GK_TAB];
  io.KeysDown[GK_LEFT] = k[GK_LEFT] || k[GK_TEXT_WORD_LEFT];
  io.KeysDown[GK_RIGHT] = k[GK_RIGHT] || k[GK_TEXT_WORD_RIGHT];
  io.KeysDown[GK_UP] = k[GK_UP];
  io.KeysDown[GK_DOWN] = k[GK_DOWN];
  io.KeysDown[GK_TEXT_START] = k[GK_TEXT_START] || k[GK_TEXT_LINE_START];
  io.KeysDown[GK_TEXT_END] = k[GK_TEXT_END] || k[GK_TEXT_LINE_END];
  io.KeysDown[GK_DEL] = k[GK_DEL];
  io.KeysDown[GK_BACKSPACE] = k[GK_BACKSPACE];
  io.KeysDown[GK_ENTER] = k[GK_ENTER];
  io.KeysDown[GK_COPY] = k[GK_COPY];
  io.KeysDown[GK_PASTE] = k[GK_PASTE];
  io.KeysDown[GK_CUT] = k[GK_CUT];
  io.KeysDown[GK_TEXT_UNDO] = k[GK_TEXT_UNDO];
  io.KeysDown[GK_TEXT_REDO] = k[GK_TEXT_REDO];
  // The control combinations arrive as keys of their own; ImGui reads them as Ctrl + letter.
  io.KeyCtrl = m_ctrlHeld || k[GK_COPY] || k[GK_PASTE] || k[GK_CUT] || k[GK_TEXT_UNDO] || k[GK_TEXT_REDO] ||
               k[GK_TEXT_WORD_LEFT] || k[GK_TEXT_WORD_RIGHT];
  io.KeyShift = k[GK_SHIFT];
  io.KeyAlt = false;
  io.KeySuper = false;
  io.MouseWheel = m_scroll;
  io.InputQueueCharacters.resize(0);
  if (m_textLength > 0) io.AddInputCharactersUTF8(m_text);
  memset(m_keyLatch, 0, sizeof(m_keyLatch));
  memset(m_buttonLatch, 0, sizeof(m_buttonLatch));
}

void Gui::InputEnd() { ApplyInputToImGui(); }

void Gui::MouseMotion(float x, float y, float dx, float dy, float wheel) {
  // A broken device or driver can hand on anything; nothing unusable reaches ImGui.
  if (!std::isfinite(wheel)) wheel = 0.0f;
  if (dx == 0.0f && dy == 0.0f) {
    AddScroll(wheel);
    return;
  }
  // ImGui never grabs the pointer, so the position is always the pointer's own.
  if (std::isfinite(x) && std::isfinite(y)) {
    m_mouseX = static_cast<float>(static_cast<int>(std::clamp(x, -c_pointerLimit, c_pointerLimit)));
    m_mouseY = static_cast<float>(static_cast<int>(std::clamp(y, -c_pointerLimit, c_pointerLimit)));
  }
  AddScroll(wheel);
}

void Gui::AddScroll(float wheel) {
  // A frame never scrolls more than a few hundred steps; the bound keeps the sum finite.
  if (std::isfinite(wheel)) m_scroll = std::clamp(m_scroll + wheel, -c_scrollLimit, c_scrollLimit);
}

int Gui::KeyEvent(int code, uint32_t mods, const char* text, bool down, int, int) {
  bool hovered = IsAnyHovered();
  // The modifier bits are those held when the event happened, whatever the event.
  m_ctrlHeld = (mods & c_guiModCtrl) != 0;
  if (text) {
    if (!hovered) return 0;
    int n = Utf8Length(static_cast<unsigned char>(text[0]));
    bool whole = n > 0;
    for (int i = 1; i < n && whole; i++) whole = (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
    if (whole && m_textLength + n < c_textLimit) {
      memcpy(m_text + m_textLength, text, n);
      m_textLength += n;
      m_text[m_textLength] = 0;
    }
    return 1;
  }
  if (code >= c_guiButtonLeft && code <= c_guiButtonRight) {
    int b = code - c_guiButtonLeft;
    // A release away from the windows still reaches the GUI, or a button pressed on a window
    // and let go elsewhere would stay held there.
    if (!hovered && down) return 0;
    m_buttons[b] = down;
    if (down) m_buttonLatch[b] = true;
    return hovered ? 1 : 0;
  }
  GuiKeyChange changes[2];
  int n = GuiKeyMap(code, mods, down, changes);
  if (n == 0) return 0;
  for (int i = 0; i < n; i++) {
    const GuiKeyChange& c = changes[i];
    if (!hovered && c.m_down) continue;
    m_keys[c.m_key] = c.m_down;
    if (c.m_down) m_keyLatch[c.m_key] = true;
  }
  return hovered ? 1 : 0;
}

bool Gui::IsAnyHovered() const {
  for (int i = 0; i < m_rectCount; i++) {
    const float* r = m_rects[i];
    if (m_mouseX >= r[0] && m_mouseX < r[0] + r[2] && m_mouseY >= r[1] && m_mouseY < r[1] + r[3]) return true;
  }
  return false;
}

void Gui::ClearInput() {
  memset(m_keys, 0, sizeof(m_keys));
  memset(m_keyLatch, 0, sizeof(m_keyLatch));
  memset(m_buttons, 0, sizeof(m_buttons));
  memset(m_buttonLatch, 0, sizeof(m_buttonLatch));
  m_ctrlHeld = false;
  ImGui::SetCurrentContext(m_context);
  ImGuiIO& io = ImGui::GetIO();
  for (bool& d : io.MouseDown) d = false;
  for (int i = 0; i < GK_COUNT; i++) io.KeysDown[i] = false;
  io.KeyCtrl = io.KeyShift = false;
}

void Gui::NoteWindowRect(float x, float y, float w, float h) {
  if (m_buildRectCount >= c_windowLimit) return;
  float* r = m_buildRects[m_buildRectCount++];
  r[0] = x;
  r[1] = y;
  r[2] = w;
  r[3] = h;
}

void Gui::SelectFont(int index) {
  if (!m_frameStarted || index < 0 || index >= c_fontCount || !m_fonts[index]) return;
  int& depth = m_inWindow ? m_innerFontDepth : m_outerFontDepth;
  if (depth >= c_fontDepthLimit) return;
  ImGui::PushFont(m_fonts[index]);
  depth++;
}

bool Gui::BeginWindow(const char* title, float x, float y, float w, float h, int flags, bool* open) {
  if (!m_frameStarted || m_inWindow) return false;
  ImGuiWindowFlags f = ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoCollapse |
                       ImGuiWindowFlags_NoSavedSettings;
  // A close control needs the header it sits in.
  if (!(flags & (GW_TITLE | GW_CLOSE))) f |= ImGuiWindowFlags_NoTitleBar;
  if (flags & GW_NO_SCROLLBAR) f |= ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse;
  ImGui::SetNextWindowPos(ImVec2(x, y), ImGuiCond_Always);
  ImGui::SetNextWindowSize(ImVec2(w, h), ImGuiCond_Always);
  ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, (flags & GW_BORDER) ? 1.0f : 0.0f);
  bool visible = ImGui::Begin(title, (flags & GW_CLOSE) ? open : nullptr, f);
  ImGui::PopStyleVar();
  m_inWindow = true;
  ImVec2 pos = ImGui::GetWindowPos();
  ImVec2 size = ImGui::GetWindowSize();
  NoteWindowRect(pos.x, pos.y, size.x, size.y);
  return visible;
}

void Gui::EndWindow() {
  if (!m_inWindow) return;
  // Fonts chosen inside the window are dropped before it ends and those chosen for it
  // after, so ImGui's font stack matches at both ends.
  for (; m_innerFontDepth > 0; m_innerFontDepth--) ImGui::PopFont();
  ImGui::End();
  m_inWindow = false;
  for (; m_outerFontDepth > 0; m_outerFontDepth--) ImGui::PopFont();
}

void Gui::Draw(int width, int height, float drawableScale) {
  ImGui::SetCurrentContext(m_context);
  m_width = width > 0 ? width : 0;
  m_height = height > 0 ? height : 0;
  if (drawableScale <= 0.0f && !m_headless && WindowExists()) drawableScale = DrawableScale();
  m_drawableScale = drawableScale > 0.0f ? drawableScale : 1.0f;
  ImGuiIO& io = ImGui::GetIO();
  io.DisplaySize = ImVec2(static_cast<float>(m_width), static_cast<float>(m_height));
  io.DisplayFramebufferScale = ImVec2(m_drawableScale, m_drawableScale);
  auto now = std::chrono::steady_clock::now();
  float dt = 1.0f / 60.0f;
  if (m_lastDraw.time_since_epoch().count() != 0) dt = std::chrono::duration<float>(now - m_lastDraw).count();
  m_lastDraw = now;
  io.DeltaTime = dt < 0.0001f ? 0.0001f : (dt > 0.25f ? 0.25f : dt);
  if (m_frameStarted) ImGui::EndFrame();
  ImGui::NewFrame();
  m_frameStarted = true;
  m_buildRectCount = 0;
  DrawBegin();
  Render();
  if (m_inWindow) EndWindow();
  // A derived Render that never reached the base one still has to close ImGui's frame.
  if (m_frameStarted) {
    ImGui::EndFrame();
    m_frameStarted = false;
  }
  DrawEnd();
}

void Gui::Render() {
  if (!m_frameStarted) return;
  ImGui::SetCurrentContext(m_context);
  ImGui::Render();
  m_frameStarted = false;
  memcpy(m_rects, m_buildRects, sizeof(m_rects));
  m_rectCount = m_buildRectCount;
  ImDrawData* data = ImGui::GetDrawData();
  if (m_headless) {
    m_convert = GuiConvert(data, m_cpuVertices, c_vertexBytes, m_cpuIndices, c_indexBytes, m_commands, c_commandLimit);
    return;
  }
  DrawConverted(data);
}

void Gui::CreateDeviceObjects() {
  m_vertexShader = LoadShader(SHADER_VERTEX, "data/shaders/gui_vs.glsl");
  m_fragmentShader = LoadShader(SHADER_FRAGMENT, "data/shaders/gui_ps.glsl");
  if (m_vertexShader && m_fragmentShader) {
    GlHandle shaders[2] = {m_vertexShader, m_fragmentShader};
    m_program = ProgramLink(2, shaders);
  }
  m_vertexBuffer = VBufferCreate(c_vertexBytes, nullptr, true);
  m_indexBuffer = IBufferCreate(c_indexBytes, nullptr, true);
  const uint32_t codes[3] = {VA_FLOAT2, VA_FLOAT2, VA_UBYTE4N};
  m_vertexArray = VArrayCreate(m_vertexBuffer, sizeof(ImDrawVert), 3, codes, 0, 0);
  unsigned char* pixels = nullptr;
  int w = 0, h = 0;
  m_atlas->GetTexDataAsRGBA32(&pixels, &w, &h);
  // The atlas is red first; the glyph edges need no filtering at their baked size.
  m_fontTexture = TextureCreate(w, h, static_cast<size_t>(w) * h * 4, TF_RGBA8, false, TFILTER_NEAREST, pixels);
  if (m_program) {
    m_samplerLocation = ProgramUniform(m_program, "cSamp");
    m_projectionLocation = ProgramUniform(m_program, "cProj");
  }
  if (!m_program || !m_vertexBuffer || !m_indexBuffer || !m_vertexArray || !m_fontTexture)
    LOGE("The GUI could not make its GL objects; the overlay will not show.");
}

void Gui::DestroyDeviceObjects() {
  // Without the window the context is gone and took every object with it.
  if (m_headless || !WindowExists()) return;
  if (m_vertexShader) ShaderDelete(m_vertexShader);
  if (m_fragmentShader) ShaderDelete(m_fragmentShader);
  if (m_program) ProgramDelete(m_program);
  if (m_vertexBuffer) VBufferDestroy(m_vertexBuffer);
  if (m_indexBuffer) IBufferDestroy(m_indexBuffer);
  if (m_vertexArray) VArrayDestroy(m_vertexArray);
  if (m_fontTexture) TextureDelete(m_fontTexture);
  m_vertexShader = m_fragmentShader = m_program = 0;
  m_vertexBuffer = m_indexBuffer = m_vertexArray = m_fontTexture = 0;
}

bool Gui::DeviceReady() const {
  return !m_headless && m_program && m_vertexBuffer && m_indexBuffer && m_vertexArray && m_fontTexture;
}

void Gui::DrawBegin() {
  if (!DeviceReady()) return;
  glBlendEquation(GL_FUNC_ADD);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_BLEND);
  glEnable(GL_SCISSOR_TEST);
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  ProgramUse(m_program);
  VArrayBind(m_vertexArray);
  VBufferBind(m_vertexBuffer);
  IBufferBind(m_indexBuffer);
  // Window units, y down: x' = 2x / w - 1, y' = 1 - 2y / h.
  float w = m_width > 0 ? static_cast<float>(m_width) : 1.0f;
  float h = m_height > 0 ? static_cast<float>(m_height) : 1.0f;
  const float projection[16] = {
      2.0f / w, 0, 0, 0, 0, -2.0f / h, 0, 0, 0, 0, -1.0f, 0, -1.0f, 1.0f, 0, 1.0f,
  };
  glUniform1i(m_samplerLocation, 0);
  glUniformMatrix4fv(m_projectionLocation, 1, GL_FALSE, projection);
  TextureActive(0);
}

void Gui::DrawEnd() {
  if (!DeviceReady()) return;
  glDisable(GL_BLEND);
  glDisable(GL_SCISSOR_TEST);
}

void Gui::DrawConverted(const ImDrawData* data) {
  m_convert = GuiConvertResult();
  if (!DeviceReady()) return;
  // The element-array binding belongs to the vertex array: ours must be bound before mapping.
  VArrayBind(m_vertexArray);
  void* vertices = VBufferMap(m_vertexBuffer, 0, c_vertexBytes);
  void* indices = IBufferMap(m_indexBuffer);
  m_convert = GuiConvert(data, vertices, c_vertexBytes, indices, c_indexBytes, m_commands, c_commandLimit);
  if (vertices) VBufferUnmap(m_vertexBuffer);
  if (indices) IBufferUnmap(m_indexBuffer);
  if (!vertices || !indices) {
    m_convert = GuiConvertResult();
    return;
  }
  for (int i = 0; i < m_convert.m_commandCount; i++) {
    const GuiDrawCommand& c = m_commands[i];
    int box[4];
    GuiScissor(c, m_drawableScale, m_height, box);
    TextureBind(c.m_texture);
    glScissor(box[0], box[1], box[2] > 0 ? box[2] : 0, box[3] > 0 ? box[3] : 0);
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(c.m_elementCount), GL_UNSIGNED_SHORT,
                   reinterpret_cast<const void*>(static_cast<uintptr_t>(c.m_indexByteOffset)));
  }
}

uint64_t Gui::LoadShader(int stage, const char* path) {
  FileHandle file = FileOpenRead(path, false);
  if (!file) {
    LOGE("Cannot open shader file '%s'", path);
    return 0;
  }
  uint64_t size = FileSize(file);
  // Shader sources are a few kilobytes; a huge file is not one.
  if (size == 0 || size > (1u << 20)) {
    FileClose(file);
    LOGE("Shader file '%s' is empty or too large", path);
    return 0;
  }
  char* source = static_cast<char*>(malloc(size + 1));
  size_t got = source ? FileRead(file, source, size) : 0;
  FileClose(file);
  GlHandle shader = 0;
  if (got == size) {
    source[size] = 0;
    shader = ShaderCompile(stage, source, static_cast<int>(size));
  } else {
    LOGE("Cannot read shader file '%s'", path);
  }
  free(source);
  return shader;
}
