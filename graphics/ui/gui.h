// Gui: the GUI back-end over Dear ImGui: three fonts in one atlas, input rules, fixed vertex and index buffers, GL
// upload.
#pragma once

#include <chrono>
#include <cstdint>

struct ImDrawData;
struct ImFont;
struct ImGuiContext;
struct ImFontAtlas;

// Mouse buttons come as codes of their own above the keyboard's scancodes.
constexpr int c_guiButtonLeft = 285;
constexpr int c_guiButtonMiddle = 286;
constexpr int c_guiButtonRight = 287;
// Modifier bits of either Control key (SDL's KMOD_LCTRL | KMOD_RCTRL).
constexpr uint32_t c_guiModCtrl = 0x00C0;

// The GUI's own keys: the 29 editing keys of the key rules (no select-all key). Scancodes are
// turned into these, and these into ImGui's key state at the end of the input frame.
enum GuiKey {
  GK_NONE,
  GK_SHIFT,
  GK_CTRL,
  GK_DEL,
  GK_ENTER,
  GK_TAB,
  GK_BACKSPACE,
  GK_COPY,
  GK_CUT,
  GK_PASTE,
  GK_UP,
  GK_DOWN,
  GK_LEFT,
  GK_RIGHT,
  GK_TEXT_INSERT_MODE,
  GK_TEXT_REPLACE_MODE,
  GK_TEXT_RESET_MODE,
  GK_TEXT_LINE_START,
  GK_TEXT_LINE_END,
  GK_TEXT_START,
  GK_TEXT_END,
  GK_TEXT_UNDO,
  GK_TEXT_REDO,
  GK_TEXT_WORD_LEFT,
  GK_TEXT_WORD_RIGHT,
  GK_SCROLL_START,
  GK_SCROLL_END,
  GK_SCROLL_DOWN,
  GK_SCROLL_UP,
  GK_COUNT  // 29
};

// One key state change produced by a scancode.
struct GuiKeyChange {
  int m_key;  // GuiKey
  bool m_down;
};

// The key rules: the GuiKey states a scancode sets, at most two (Left and Right set both the
// plain and the word key, one of them up). Keys that need Control are down only while down is
// set and a Control bit is in mods. Returns the number of changes written; 0 for a code with
// no GuiKey (then the GUI does not take it).
int GuiKeyMap(int scancode, uint32_t mods, bool down, GuiKeyChange out[2]);

// One draw command of the converted frame.
struct GuiDrawCommand {
  uint64_t m_texture;       // GL handle
  float m_clip[4];          // x, y, width, height in window units from the top left
  uint32_t m_elementCount;  // 16-bit indices
  uint32_t m_indexByteOffset;
};

// What a conversion produced.
struct GuiConvertResult {
  int m_vertexCount = 0;
  int m_indexCount = 0;
  int m_commandCount = 0;
  bool m_cut = false;  // something did not fit and was left out
};

// Window-flag bits for the overlay's windows; every window is fixed in place and size.
enum GuiWindowFlags {
  GW_TITLE = 1,
  GW_CLOSE = 2,
  GW_NO_SCROLLBAR = 4,
  GW_BORDER = 8,
};

// Copies ImGui's draw lists into fixed vertex (20-byte vertices) and 16-bit index memory and
// a fixed command array, rebasing each list's indices onto the shared vertex buffer. A draw
// list that does not fit wholly (vertices, indices or commands) is left out with every later
// one, and the result says so; nothing is written past the given sizes.
GuiConvertResult GuiConvert(const ImDrawData* data, void* vertices, int vertexBytes, void* indices, int indexBytes,
                            GuiDrawCommand* commands, int commandLimit);
// The GL scissor box of a command: clip rectangle scaled by the drawable-to-window ratio, with
// y counted from the bottom of a window height units tall. out = x, y, width, height.
void GuiScissor(const GuiDrawCommand& command, float ratio, int height, int out[4]);

// The ImGui-based GUI. Per frame: InputBegin, MouseMotion/KeyEvent, InputEnd, the windows of the
// derived class (built inside its Render), then Draw, which calls Render. A headless Gui has no GL
// objects: it converts into memory of its own, for tests and measurements.
class Gui {
 public:
  static constexpr int c_vertexBytes = 262144;
  static constexpr int c_indexBytes = 65536;
  static constexpr int c_commandLimit = 2048;
  static constexpr int c_fontCount = 3;
  static constexpr int c_textLimit = 16;  // bytes of typed text taken per frame
  static constexpr int c_windowLimit = 16;

  // Loads the three fonts ("data/fonts/mono_system.ttf" 10 px, "data/fonts/sans_regular.ttf"
  // 24 px, "data/fonts/sans_bold.ttf" 24 px) into one atlas. A font file that is missing or
  // not a font logs "ERR Cannot load font file '%s'" and ImGui's built-in font stands in for it.
  // Unless headless, also compiles "data/shaders/gui_vs.glsl"/"gui_ps.glsl" and creates the
  // buffers and the atlas texture: a GL context must be current.
  explicit Gui(bool headless = false);
  virtual ~Gui();
  Gui(const Gui&) = delete;
  Gui& operator=(const Gui&) = delete;

  virtual void InputBegin();
  virtual void InputEnd();
  virtual void MouseMotion(float x, float y, float dx, float dy, float wheel);
  // 1 when the GUI took the event, else 0. Nothing is taken unless the pointer (as last given to
  // MouseMotion; x and y are the event's own and not used) lies over a GUI window,
  // but a release always reaches the GUI so it never believes a key or button is still held.
  virtual int KeyEvent(int code, uint32_t mods, const char* text, bool down, int x, int y);
  virtual void Render();

  // The per-frame GUI pass in a window of width x height units; drawableScale is the drawable
  // pixels per window unit (0: the window's own). Sets GL state, starts the ImGui frame and
  // calls Render. The caller has set the viewport to the whole drawable.
  void Draw(int width, int height, float drawableScale = 0.0f);
  // True when the pointer lies over a window built in the last frame.
  bool IsAnyHovered() const;
  // Releases every key and button (focus lost, a window closed under the pointer).
  void ClearInput();
  // Makes font 0 (mono 10 px), 1 (regular 24 px) or 2 (bold 24 px) current until the window ends.
  void SelectFont(int index);
  // Reads a shader from the data folder and compiles it; 0 with "Cannot open shader file '%s'".
  static uint64_t LoadShader(int stage, const char* path);

  // True when all three font files loaded.
  bool FontsLoaded() const { return m_fontsLoaded == c_fontCount; }
  // The last converted frame.
  const GuiConvertResult& LastConvert() const { return m_convert; }
  const GuiDrawCommand* Commands() const { return m_commands; }
  // Read access to the key and button state the next InputEnd hands on (for tests).
  bool KeyDown(int guiKey) const;
  bool ButtonDown(int button) const;  // 0 left, 1 middle, 2 right
  float ScrollPending() const { return m_scroll; }
  int TextPending() const { return m_textLength; }
  float MouseX() const { return m_mouseX; }
  // The window rectangles (x, y, w, h in window units) of the last built frame.
  int WindowRectCount() const { return m_rectCount; }
  const float* WindowRect(int i) const { return i >= 0 && i < m_rectCount ? m_rects[i] : nullptr; }
  float MouseY() const { return m_mouseY; }

 protected:
  // Window helpers for the derived class: position and size are fixed every frame. Returns
  // true when the contents are to be built; EndWindow must follow either way. open (may be
  // null) is cleared when the close control is clicked.
  bool BeginWindow(const char* title, float x, float y, float w, float h, int flags, bool* open);
  void EndWindow();
  // A rectangle of window units counted as GUI for the next frame's hover test.
  void NoteWindowRect(float x, float y, float w, float h);

  int m_width = 0;  // window units, set by Draw
  int m_height = 0;
  ImGuiContext* m_context = nullptr;
  ImFont* m_fonts[c_fontCount] = {};

 private:
  bool LoadFonts();
  void CreateDeviceObjects();
  void DestroyDeviceObjects();
  void ApplyInputToImGui();
  void AddScroll(float wheel);
  // GL state around the pass, and the upload and drawing of a finished frame.
  void DrawBegin();
  void DrawEnd();
  void DrawConverted(const ImDrawData* data);
  bool DeviceReady() const;

  bool m_headless;
  int m_fontsLoaded = 0;
  ImFontAtlas* m_atlas = nullptr;
  void* m_fontData[c_fontCount] = {};  // the files, owned here so the atlas never frees them
  bool m_frameStarted = false;
  bool m_inWindow = false;
  static constexpr int c_fontDepthLimit = 8;
  int m_outerFontDepth = 0;  // fonts chosen for the next window, popped after it ends
  int m_innerFontDepth = 0;  // fonts chosen inside the current window
  std::chrono::steady_clock::time_point m_lastDraw{};
  float m_drawableScale = 1.0f;

  // GL objects (0 when headless or on failure).
  uint64_t m_vertexShader = 0;
  uint64_t m_fragmentShader = 0;
  uint64_t m_program = 0;
  uint64_t m_vertexBuffer = 0;
  uint64_t m_indexBuffer = 0;
  uint64_t m_vertexArray = 0;
  uint64_t m_fontTexture = 0;
  int32_t m_samplerLocation = -1;
  int32_t m_projectionLocation = -1;

  // Headless conversion memory.
  void* m_cpuVertices = nullptr;
  void* m_cpuIndices = nullptr;

  GuiConvertResult m_convert;
  GuiDrawCommand m_commands[c_commandLimit];

  // Input gathered between InputBegin and InputEnd.
  bool m_keys[GK_COUNT] = {};
  bool m_keyLatch[GK_COUNT] = {};  // pressed in this input frame
  bool m_buttons[3] = {};
  bool m_buttonLatch[3] = {};
  bool m_ctrlHeld = false;
  float m_mouseX = -1.0f;
  float m_mouseY = -1.0f;
  float m_scroll = 0.0f;
  char m_text[c_textLimit] = {};
  int m_textLength = 0;

  // Window rectangles of the last built frame, and of the one being built.
  float m_rects[c_windowLimit][4] = {};
  int m_rectCount = 0;
  float m_buildRects[c_windowLimit][4] = {};
  int m_buildRectCount = 0;
};
