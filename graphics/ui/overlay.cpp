// Overlay: the game screen's GUI windows (console, options, debug, frame rate, character, tile, messages) and the log
// rings.
#include "graphics/ui/overlay.h"

#include <imgui.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "system/window.h"
#include "utility/log.h"

namespace {

// Written by whichever thread logs (the planning and pathing threads too), read by the main
// thread. Nothing is logged while the lock is held, so it never nests inside itself.
std::mutex ringLock;
FixedString consoleRing[c_consoleRingSize];
int consoleHead = 0;
FixedString messageRing[c_messageRingSize];
int messageHead = 0;

const uint8_t c_styleColours[c_styleColourCount][4] = {
    {255, 255, 255, 255},  // text
    {64, 64, 64, 192},     // window
    {64, 64, 192, 255},    // header
    {16, 16, 96, 128},     // border
    {64, 64, 192, 255},    // button
    {32, 32, 192, 255},    // button hover
    {0, 0, 192, 255},      // button active
    {128, 128, 128, 255},  // toggle
    {192, 192, 192, 255},  // toggle hover
    {64, 64, 192, 255},    // toggle cursor
    {16, 16, 96, 128},     // select
    {64, 64, 192, 255},    // select active
    {16, 16, 96, 128},     // slider
    {64, 64, 192, 255},    // slider cursor
    {192, 64, 64, 255},    // slider cursor hover
    {192, 64, 64, 255},    // slider cursor active
    {16, 16, 96, 128},     // property
    {64, 64, 64, 255},     // edit
    {192, 192, 192, 255},  // edit cursor
    {16, 16, 96, 128},     // combo
    {16, 16, 96, 128},     // chart
    {192, 64, 64, 255},    // chart colour
    {255, 0, 0, 255},      // chart colour highlight
    {64, 64, 64, 255},     // scrollbar
    {128, 128, 128, 255},  // scrollbar cursor
    {192, 192, 192, 255},  // scrollbar cursor hover
    {192, 192, 192, 255},  // scrollbar cursor active
    {32, 32, 192, 255},    // tab header
};

enum StyleEntry {
  SC_TEXT,
  SC_WINDOW,
  SC_HEADER,
  SC_BORDER,
  SC_BUTTON,
  SC_BUTTON_HOVER,
  SC_BUTTON_ACTIVE,
  SC_TOGGLE,
  SC_TOGGLE_HOVER,
  SC_TOGGLE_CURSOR,
  SC_SELECT,
  SC_SELECT_ACTIVE,
  SC_SLIDER,
  SC_SLIDER_CURSOR,
  SC_SLIDER_CURSOR_HOVER,
  SC_SLIDER_CURSOR_ACTIVE,
  SC_PROPERTY,
  SC_EDIT,
  SC_EDIT_CURSOR,
  SC_COMBO,
  SC_CHART,
  SC_CHART_COLOR,
  SC_CHART_COLOR_HIGHLIGHT,
  SC_SCROLLBAR,
  SC_SCROLLBAR_CURSOR,
  SC_SCROLLBAR_CURSOR_HOVER,
  SC_SCROLLBAR_CURSOR_ACTIVE,
  SC_TAB_HEADER,
};

// Which ImGui colours each table entry paints. ImGui has one frame colour for checkboxes and
// number fields alike; the property entry is pushed around the volume fields instead.
struct StyleTarget {
  int m_entry;
  ImGuiCol m_col;
};
const StyleTarget c_styleTargets[] = {
    {SC_TEXT, ImGuiCol_Text},
    {SC_WINDOW, ImGuiCol_WindowBg},
    {SC_WINDOW, ImGuiCol_PopupBg},
    {SC_HEADER, ImGuiCol_TitleBg},
    {SC_HEADER, ImGuiCol_TitleBgActive},
    {SC_HEADER, ImGuiCol_TitleBgCollapsed},
    {SC_BORDER, ImGuiCol_Border},
    {SC_BUTTON, ImGuiCol_Button},
    {SC_BUTTON_HOVER, ImGuiCol_ButtonHovered},
    {SC_BUTTON_ACTIVE, ImGuiCol_ButtonActive},
    {SC_TOGGLE, ImGuiCol_FrameBg},
    {SC_TOGGLE_HOVER, ImGuiCol_FrameBgHovered},
    {SC_TOGGLE_HOVER, ImGuiCol_FrameBgActive},
    {SC_TOGGLE_CURSOR, ImGuiCol_CheckMark},
    {SC_SELECT, ImGuiCol_Header},
    {SC_SELECT_ACTIVE, ImGuiCol_HeaderHovered},
    {SC_SELECT_ACTIVE, ImGuiCol_HeaderActive},
    {SC_SLIDER_CURSOR, ImGuiCol_SliderGrab},
    {SC_SLIDER_CURSOR_ACTIVE, ImGuiCol_SliderGrabActive},
    {SC_EDIT_CURSOR, ImGuiCol_TextSelectedBg},
    {SC_CHART_COLOR, ImGuiCol_PlotLines},
    {SC_CHART_COLOR_HIGHLIGHT, ImGuiCol_PlotLinesHovered},
    {SC_CHART_COLOR, ImGuiCol_PlotHistogram},
    {SC_CHART_COLOR_HIGHLIGHT, ImGuiCol_PlotHistogramHovered},
    {SC_SCROLLBAR, ImGuiCol_ScrollbarBg},
    {SC_SCROLLBAR_CURSOR, ImGuiCol_ScrollbarGrab},
    {SC_SCROLLBAR_CURSOR_HOVER, ImGuiCol_ScrollbarGrabHovered},
    {SC_SCROLLBAR_CURSOR_ACTIVE, ImGuiCol_ScrollbarGrabActive},
    {SC_TAB_HEADER, ImGuiCol_Tab},
    {SC_TAB_HEADER, ImGuiCol_TabActive},
    {SC_BUTTON_HOVER, ImGuiCol_TabHovered},
};

ImVec4 ToImColour(const uint8_t c[4]) { return ImVec4(c[0] / 255.0f, c[1] / 255.0f, c[2] / 255.0f, c[3] / 255.0f); }

void FormatInto(FixedString* line, const char* format, va_list args) {
  char text[256];
  int n = vsnprintf(text, sizeof(text), format, args);
  line->Set(n < 0 ? "" : text);
}

// Formats a line into a log ring under its lock. The console ring keeps the line at its head empty, so its other
// lines are the last ones logged; the message ring fills every slot.
void RingPush(FixedString* ring, int* head, int size, bool keepHeadEmpty, const char* format, va_list args) {
  FixedString line;
  FormatInto(&line, format, args);
  std::lock_guard<std::mutex> guard(ringLock);
  ring[*head] = line;
  *head = (*head + 1) % size;
  if (keepHeadEmpty) ring[*head].Clear();
}

const char* const c_windowNames[Overlay::c_windowListLimit] = {"Console", "Options", "Debug"};

}  // namespace

void ConsoleLog(const char* format, ...) {
  va_list args;
  va_start(args, format);
  RingPush(consoleRing, &consoleHead, c_consoleRingSize, true, format, args);
  va_end(args);
}

void MessageLog(const char* format, ...) {
  va_list args;
  va_start(args, format);
  RingPush(messageRing, &messageHead, c_messageRingSize, false, format, args);
  va_end(args);
}

void ConsoleLines(FixedString out[c_consoleRingSize - 1]) {
  std::lock_guard<std::mutex> guard(ringLock);
  for (int i = 0; i < c_consoleRingSize - 1; i++) out[i] = consoleRing[(consoleHead + 1 + i) % c_consoleRingSize];
}

void MessageLines(FixedString out[c_messageRingSize]) {
  std::lock_guard<std::mutex> guard(ringLock);
  for (int i = 0; i < c_messageRingSize; i++) out[i] = messageRing[(messageHead + i) % c_messageRingSize];
}

void LogRingsReset() {
  std::lock_guard<std::mutex> guard(ringLock);
  for (FixedString& s : consoleRing) s.Clear();
  for (FixedString& s : messageRing) s.Clear();
  consoleHead = 0;
  messageHead = 0;
}

uint8_t SrgbByteToLinear(uint8_t c) {
  double x = c / 255.0;
  double y = x < 0.04045 ? x / 12.92 * 255.0 : pow((x + 0.055) / 1.055, 2.4) * 255.0;
  return static_cast<uint8_t>(static_cast<int>(y));
}

void StyleColourTable(bool srgb, uint8_t out[c_styleColourCount][4]) {
  for (int i = 0; i < c_styleColourCount; i++) {
    for (int k = 0; k < 3; k++) out[i][k] = srgb ? SrgbByteToLinear(c_styleColours[i][k]) : c_styleColours[i][k];
    out[i][3] = c_styleColours[i][3];
  }
}

Overlay::Overlay(bool headless) : Gui(headless) {
  ApplyStyle();
  // The window's swap interval is always there to set; the listener gain waits for the audio.
  if (!headless) m_hooks.m_swapInterval = SwapIntervalSet;
  consoleHook = ConsoleLog;
  messageHook = MessageLog;
}

Overlay::~Overlay() {
  consoleHook = nullptr;
  messageHook = nullptr;
}

void Overlay::ApplyStyle() {
  uint8_t table[c_styleColourCount][4];
  StyleColourTable(m_options.m_srgb != 0, table);
  ImGui::SetCurrentContext(m_context);
  ImGuiStyle& style = ImGui::GetStyle();
  for (const StyleTarget& t : c_styleTargets) style.Colors[t.m_col] = ToImColour(table[t.m_entry]);
  for (int k = 0; k < 4; k++) {
    m_propertyColour[k] = table[SC_PROPERTY][k] / 255.0f;
    m_propertyHoverColour[k] = table[SC_SLIDER_CURSOR_HOVER][k] / 255.0f;
  }
}

int Overlay::KeyEvent(int code, uint32_t mods, const char* text, bool down, int x, int y) {
  if (m_windowCount > 0 && !text && code == 41 && down) {
    m_windowCount--;
    ClearInput();
    return 1;
  }
  return Gui::KeyEvent(code, mods, text, down, x, y);
}

bool Overlay::IsWindowOpen(uint32_t id) const {
  for (int i = 0; i < m_windowCount; i++)
    if (m_windows[i] == id) return true;
  return false;
}

int Overlay::WindowForKey(int scancode) {
  switch (scancode) {
    case 53:
      return WIN_CONSOLE;
    case 58:
      return WIN_OPTIONS;
    case 67:
      return WIN_DEBUG;
    default:
      return -1;
  }
}

void Overlay::ToggleWindow(uint32_t id) {
  if (id >= c_windowListLimit) return;
  for (int i = 0; i < m_windowCount; i++) {
    if (m_windows[i] != id) continue;
    for (int k = i + 1; k < m_windowCount; k++) m_windows[k - 1] = m_windows[k];
    m_windowCount--;
    return;
  }
  if (m_windowCount < c_windowListLimit) m_windows[m_windowCount++] = id;
}

void Overlay::CloseWindow(uint32_t id) {
  for (int i = 0; i < m_windowCount; i++) {
    if (m_windows[i] != id) continue;
    m_windowCount--;
    ClearInput();
    for (int k = i; k < m_windowCount; k++) m_windows[k] = m_windows[k + 1];
    return;
  }
}

void Overlay::SetActorInfo(const char* name, const char* const* planSteps, int planLimit, const int32_t* planSize,
                           const int32_t* planStage) {
  m_actorName = name ? name : "Actor";
  m_actorPlan = planSteps;
  m_actorPlanLimit = planLimit > 0 ? planLimit : 0;
  m_actorPlanSize = planSize;
  m_actorPlanStage = planStage;
}

void Overlay::ClearActorInfo() {
  m_actorName = "Actor";
  m_actorPlan = nullptr;
  m_actorPlanLimit = 0;
  m_actorPlanSize = nullptr;
  m_actorPlanStage = nullptr;
}

void Overlay::SetTileInfo(const FixedString* lines, const int32_t* count) {
  m_tileLines = lines;
  m_tileLineCount = count;
}

void Overlay::CountFrame(float seconds) {
  m_fpsTime += seconds;
  m_fpsFrames += 1;
  if (m_fpsTime >= 0.5f) {
    m_fpsText.Format("%i", static_cast<int>(static_cast<float>(m_fpsFrames) / m_fpsTime + 0.5f));
    m_fpsTime -= 0.5f;
    m_fpsFrames = 0;
  }
}

void Overlay::Render() {
  // Only ids in range are ever listed, but a window closed by its control while the list is
  // walked shifts it: walk a copy.
  uint32_t open[c_windowListLimit];
  int openCount = m_windowCount;
  for (int i = 0; i < openCount; i++) open[i] = m_windows[i];
  for (int i = 0; i < openCount; i++) {
    switch (open[i]) {
      case WIN_CONSOLE:
        ConsoleWindow();
        break;
      case WIN_OPTIONS:
        OptionsWindow();
        break;
      case WIN_DEBUG:
        DebugWindow();
        break;
      default:
        break;
    }
  }
  if (DebugFlag(0)) FpsWindow();
  if (m_actorPlanSize) ActorWindow();
  if (DebugFlag(1) && m_tileLineCount) TileWindow();
  if (DebugFlag(2)) MessagesWindow();
  Gui::Render();
}

void Overlay::ConsoleWindow() {
  ConsoleLines(m_consoleCopy);
  SelectFont(0);
  bool open = true;
  if (BeginWindow(c_windowNames[WIN_CONSOLE], 0, 0, 500, 390, GW_TITLE | GW_CLOSE, &open)) {
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(4, 0));
    for (const FixedString& line : m_consoleCopy) ImGui::TextUnformatted(line.c_str());
    ImGui::PopStyleVar();
  }
  EndWindow();
  if (!open) CloseWindow(WIN_CONSOLE);
}

void Overlay::VolumeProperty(const char* id, const char* format, float* value, bool* changed) {
  // A number field with a step arrow on each side: 0.1 a click, 0.1 per pixel dragged.
  ImGui::PushID(id);
  const float* p = m_propertyColour;
  const float* h = m_propertyHoverColour;
  ImGui::PushStyleColor(ImGuiCol_FrameBg, ImVec4(p[0], p[1], p[2], p[3]));
  ImGui::PushStyleColor(ImGuiCol_FrameBgHovered, ImVec4(h[0], h[1], h[2], h[3]));
  float before = *value;
  float arrow = ImGui::GetFrameHeight();
  float spacing = ImGui::GetStyle().ItemInnerSpacing.x;
  if (ImGui::ArrowButton("down", ImGuiDir_Left)) *value -= 0.1f;
  ImGui::SameLine(0, spacing);
  ImGui::SetNextItemWidth(280.0f - 2.0f * (arrow + spacing));
  ImGui::DragFloat("##value", value, 0.1f, 0.0f, 1.0f, format, ImGuiSliderFlags_AlwaysClamp);
  ImGui::SameLine(0, spacing);
  if (ImGui::ArrowButton("up", ImGuiDir_Right)) *value += 0.1f;
  *value = fminf(fmaxf(*value, 0.0f), 1.0f);
  // Steps of 0.1 added to a float drift; keep the shown tenths exact.
  *value = roundf(*value * 1000.0f) / 1000.0f;
  ImGui::PopStyleColor(2);
  ImGui::PopID();
  *changed = *value != before;
}

void Overlay::OptionsWindow() {
  SelectFont(1);
  float x = static_cast<float>((m_width - 300) / 2);
  float y = static_cast<float>((m_height - 380) / 2);
  if (BeginWindow(c_windowNames[WIN_OPTIONS], x, y, 300, 380, GW_TITLE | GW_BORDER | GW_NO_SCROLLBAR, nullptr)) {
    ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(4, 2));
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(4, 4));
    bool vsync = m_options.m_vsync != 0;
    if (ImGui::Checkbox("Video Vertical Sync", &vsync)) {
      m_options.m_vsync = vsync;
      if (m_hooks.m_swapInterval) m_hooks.m_swapInterval(vsync ? 1 : 0);
    }
    bool srgb = m_options.m_srgb != 0;
    if (ImGui::Checkbox("Video sRGB Color *", &srgb)) m_options.m_srgb = srgb;
    bool changed = false;
    VolumeProperty("master", "Master Volume: %.1f", &m_options.m_masterVolume, &changed);
    if (changed && m_hooks.m_listenerGain) m_hooks.m_listenerGain(m_options.m_masterVolume);
    VolumeProperty("music", "Music Volume: %.1f", &m_options.m_musicVolume, &changed);
    bool flag = m_options.m_musicFF != 0;
    if (ImGui::Checkbox("Music Fast Fwd", &flag)) m_options.m_musicFF = flag;
    flag = m_options.m_mouseTilt != 0;
    if (ImGui::Checkbox("Mouse Tilt", &flag)) m_options.m_mouseTilt = flag;
    flag = m_options.m_sunCycle != 0;
    if (ImGui::Checkbox("Day/Night Cycle", &flag)) m_options.m_sunCycle = flag;
    ImGui::Dummy(ImVec2(280, 8));
    const char* note = "* Requires restart";
    float noteWidth = ImGui::CalcTextSize(note).x;
    float avail = ImGui::GetContentRegionAvail().x;
    if (avail > noteWidth) ImGui::SetCursorPosX(ImGui::GetCursorPosX() + (avail - noteWidth) * 0.5f);
    ImGui::TextUnformatted(note);
    ImGui::Dummy(ImVec2(280, 4));
    if (ImGui::Button("Quit Game", ImVec2(136, 40))) m_options.m_quitRequested = 1;
    ImGui::SameLine();
    bool close = ImGui::Button("Continue", ImVec2(136, 40));
    ImGui::PopStyleVar(2);
    EndWindow();
    if (close) CloseWindow(WIN_OPTIONS);
    return;
  }
  EndWindow();
}

void Overlay::DebugWindow() {
  SelectFont(0);
  bool open = true;
  float x = static_cast<float>(m_width - 316);
  float y = static_cast<float>(m_height - 146);
  if (BeginWindow(c_windowNames[WIN_DEBUG], x, y, 300, 130, GW_TITLE | GW_CLOSE | GW_NO_SCROLLBAR, &open)) {
    ImGui::CheckboxFlags("Frames per second", &m_options.m_debugFlags, DF_FPS);
    ImGui::CheckboxFlags("Tile info", &m_options.m_debugFlags, DF_TILE_INFO);
    ImGui::CheckboxFlags("Messages", &m_options.m_debugFlags, DF_MESSAGES);
  }
  EndWindow();
  if (!open) CloseWindow(WIN_DEBUG);
}

void Overlay::FpsWindow() {
  SelectFont(0);
  if (BeginWindow("FPS", static_cast<float>(m_width - 76), static_cast<float>(m_height - 76), 60, 60, GW_NO_SCROLLBAR,
                  nullptr)) {
    float textWidth = ImGui::CalcTextSize(m_fpsText.c_str()).x;
    float avail = ImGui::GetContentRegionAvail().x;
    if (avail > textWidth) ImGui::SetCursorPosX(ImGui::GetCursorPosX() + avail - textWidth);
    ImGui::TextUnformatted(m_fpsText.c_str());
  }
  EndWindow();
}

void Overlay::ActorWindow() {
  int stage = m_actorPlanStage ? *m_actorPlanStage : -1;
  int size = *m_actorPlanSize;
  // A failed search leaves a negative size; a size beyond the step array is never read past it.
  if (size < 0) size = 0;
  if (size > m_actorPlanLimit) size = m_actorPlanLimit;
  int n = stage < 0 ? 1 : size;
  char title[320];
  snprintf(title, sizeof(title), "Name: %s###actorinfo", m_actorName ? m_actorName : "Actor");
  SelectFont(1);
  bool open = true;
  if (BeginWindow(title, 16, 16, 200, static_cast<float>(n * 14 + 58), GW_CLOSE | GW_NO_SCROLLBAR, &open)) {
    SelectFont(0);
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(4, 2));
    if (stage < 0) {
      ImGui::TextUnformatted("<Busy Planning>");
    } else {
      for (int i = 0; i < size; i++) {
        const char* step = m_actorPlan && m_actorPlan[i] ? m_actorPlan[i] : "";
        ImGui::Text("%-25s[%c]", step, i < stage ? '*' : ' ');
      }
    }
    ImGui::PopStyleVar();
  }
  EndWindow();
  if (!open) ClearActorInfo();
}

void Overlay::TileWindow() {
  int count = *m_tileLineCount;
  if (count < 0) count = 0;
  SelectFont(0);
  bool open = true;
  if (BeginWindow("Tile info", static_cast<float>(m_width - 200), 16, 184, static_cast<float>(count * 14 + 58),
                  GW_CLOSE | GW_NO_SCROLLBAR, &open)) {
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(4, 2));
    for (int i = 0; m_tileLines && i < count; i++) ImGui::Text("%s", m_tileLines[i].c_str());
    ImGui::PopStyleVar();
  }
  EndWindow();
  if (!open) {
    m_tileLines = nullptr;
    m_tileLineCount = nullptr;
  }
}

void Overlay::MessagesWindow() {
  MessageLines(m_messageCopy);
  SelectFont(1);
  // A message longer than the window is wide goes on over the next lines. The window grows upward
  // from its foot to hold them, at most to the top of the screen; the oldest messages that still
  // do not fit are left out.
  constexpr float c_width = 512.0f, c_least = 236.0f;
  const ImVec2 pad = ImGui::GetStyle().WindowPadding;
  const float wrapWidth = c_width - 2.0f * pad.x;
  float heights[c_messageRingSize];
  float total = 0.0f;
  for (int i = 0; i < c_messageRingSize; i++) {
    heights[i] = ImGui::CalcTextSize(m_messageCopy[i].c_str(), nullptr, false, wrapWidth).y;
    total += heights[i];
  }
  const float room = fmaxf(c_least, static_cast<float>(m_height - 32)) - 2.0f * pad.y;
  int first = 0;
  for (; first < c_messageRingSize - 1 && total > room; first++) total -= heights[first];
  const float height = fmaxf(c_least, total + 2.0f * pad.y);
  if (BeginWindow("messages", 16, static_cast<float>(m_height - 16) - height, c_width, height, GW_NO_SCROLLBAR,
                  nullptr)) {
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(4, 0));
    ImGui::PushTextWrapPos(0.0f);
    for (int i = first; i < c_messageRingSize; i++) ImGui::TextUnformatted(m_messageCopy[i].c_str());
    ImGui::PopTextWrapPos();
    ImGui::PopStyleVar();
  }
  EndWindow();
}
