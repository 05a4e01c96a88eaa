// The title menu and the customise panel: their input, their choices and their drawing in vector-font text.
#include "game/title_menu.h"

#include <GL/glew.h>

#include <cmath>
#include <cstring>

#include "game/shell.h"
#include "game/steam_helper.h"
#include "graphics/ui/vector_font.h"
#include "graphics/vis/vis.h"
#include "graphics/vis/vis_text.h"
#include "system/input.h"
#include "system/window.h"
#include "utility/log.h"
#include "world/planet/terraform.h"

const char* const titleMenuEntries[c_titleEntries] = {"RESUME GAME IN PROGRESS", "CUSTOMIZE PLANET", "NEW GAME",
                                                      "GUIDE", "LEADERBOARD"};

namespace {

constexpr float c_rowHeight = 0.22222222f;
constexpr float c_glyphW = 0.065f;
constexpr float c_glyphH = 0.1111111f;
constexpr float c_twoPi = 6.2831853f;
constexpr uint32_t c_modAlt = 0x0100 | 0x0200;

enum Key { SC_RETURN = 40, SC_ESCAPE = 41, SC_SPACE = 44, SC_F11 = 68 };

int titleHover = -1, panelHover = -1;
float titleAngle = 0.0f, panelAngle = 0.0f;
// The title screen on show; Game while "Terraforming..." is, and before the first.
ScreenMode shownScreen = ScreenMode::Game;
// The parameters as they were when the panel was opened: leaving it with the same ones keeps the
// game in progress; only a changed planet ends it.
int panelOpenedWith[NUMCUSTOMPARAMS];
bool panelEndedGame = false;

struct Colour {
  float r, g, b, a;
};
const Colour c_white{1.0f, 1.0f, 1.0f, 1.0f};
const Colour c_lit{1.0f, 1.0f, 0.3f, 1.0f};
const Colour c_dim{0.05f, 0.05f, 0.14f, 1.0f};
const Colour c_warning{1.0f, 0.55f, 0.25f, 1.0f};

void Text(Vis* vis, const Colour& c, const char* text, float x, float y, float w, float h, const char* hAlign,
          const char* vAlign) {
  VisTextBlock(vis, Matrix44(), c.r, c.g, c.b, c.a);
  VisDrawText(text, x, y, w, h, hAlign, vAlign);
}

void Advance(float* angle, float seconds) {
  if (seconds > 0.0f && seconds < 10.0f) *angle += seconds;
  if (*angle > c_twoPi) *angle -= c_twoPi;
}

float Pulse(float angle) { return (cosf(angle * 36.0f) * 0.05f + 1.0f) * c_glyphH; }

int ValueCount(int param) {
  int n = 0;
  while (customParamChoices[param][n][0]) ++n;
  return n;
}

// The player's last notice (a planet that cannot be settled, a save kept aside), centred on y and
// wrapped to the square's width, each line centred. A notice too tall for the band from top to
// bottom even so moves into it and, if it must, is drawn smaller.
void NoticeDraw(Vis* vis, float y, float top, float bottom) {
  const char* notice = ShellNotice();
  if (!notice[0]) return;
  char wrapped[1024];  // any notice with its breaks
  float w = 0.03f, h = 0.055f, height = 0.0f;
  for (int shrink = 0;; ++shrink) {
    const int lines = TextWrap(notice, w, 1.9f, wrapped, sizeof(wrapped));
    height = (static_cast<float>(lines) * c_fontLineAdvance - 1.25f) * 0.2f * h;
    if (height <= top - bottom || shrink == 4) break;
    w *= 0.8f;
    h *= 0.8f;
  }
  float lineY = fminf(y + height * 0.5f, top) - h * 0.5f;
  for (char* line = wrapped; line;) {
    char* next = strchr(line, '\n');
    if (next) *next++ = 0;
    Text(vis, c_warning, line, 0.0f, lineY, w, h, "center", "center");
    lineY -= c_fontLineAdvance * 0.2f * h;
    line = next;
  }
}

}  // namespace

int MenuRowAt(int mouseY, int windowHeight) {
  if (windowHeight <= 0) return -1;
  return mouseY * c_menuRows / windowHeight;
}

float MenuRowY(int row) { return 1.0f - (static_cast<float>(row) + 0.5f) * c_rowHeight; }

TitleKeyAction TitleMenuKey(int code, bool down, uint32_t modifiers, ScreenMode screenMode) {
  if (!down) return TK_NONE;
  const bool alt = (modifiers & c_modAlt) != 0;
  if (code == SC_RETURN || code == SC_SPACE || code == c_inputMouseLeft) return alt ? TK_FULLSCREEN : TK_SELECT;
  if (code == SC_ESCAPE) return screenMode == ScreenMode::Customise ? TK_BACK : TK_QUIT;
  if (code == SC_F11) return TK_FULLSCREEN;
  return TK_NONE;
}

const char* TitleMenuChoose(int row, ScreenMode* screenMode, uint8_t* gameInProgress, uint8_t* terraforming) {
  switch (row) {
    case 2:
      if (!*gameInProgress) return "";
      *terraforming = 1;
      break;
    case 3:
      CustomisePanelOpen(screenMode);
      break;
    case 4:
      *terraforming = 1;
      break;
    case 5:
      ShowGuide("guide");
      break;
    case 6:
      ShowLeaderboard("showboard name=lb_fastestm");
      break;
    default:
      return "";
  }
  ShellNoticeClear();
  return titleMenuEntries[row - 2];
}

void CustomisePanelOpen(ScreenMode* screenMode) {
  *screenMode = ScreenMode::Customise;
  memcpy(panelOpenedWith, customParamValues, sizeof(panelOpenedWith));
}

bool CustomisePanelLeave(ScreenMode* screenMode, uint8_t* gameInProgress) {
  *screenMode = ScreenMode::Title;
  if (!*gameInProgress || !memcmp(panelOpenedWith, customParamValues, sizeof(panelOpenedWith))) return false;
  LOGI("The planet was changed: the game in progress ends.");
  *gameInProgress = 0;
  panelEndedGame = true;
  return true;
}

bool CustomisePanelEndedGame() {
  const bool ended = panelEndedGame;
  panelEndedGame = false;
  return ended;
}

bool CustomisePanelChoose(int row, int step, ScreenMode* screenMode, uint8_t* gameInProgress) {
  if (row == 8) {
    CustomisePanelLeave(screenMode, gameInProgress);
    return true;
  }
  const int p = row - 1;
  if (p < 0 || p >= NUMCUSTOMPARAMS || !customParamChangeable[p]) return false;
  const int n = ValueCount(p);
  if (n <= 0) return false;
  int v = customParamValues[p] + step;
  // Steps of more than one turn wrap as often as needed.
  v %= n;
  if (v < 0) v += n;
  customParamValues[p] = v;
  LOGI("%s is now %s.", customParamNames[p], customParamChoices[p][v]);
  ShellNoticeClear();
  return true;
}

const char* TitleMenuSelect(Vis* vis) {
  return TitleMenuChoose(titleHover, &vis->m_screenMode, &vis->m_gameInProgress, &vis->m_terraforming);
}

void CustomisePanelSelect(Vis* vis, int step) {
  CustomisePanelChoose(panelHover, step, &vis->m_screenMode, &vis->m_gameInProgress);
}

void TitleMenuDraw(Vis* vis, float seconds) {
  Advance(&titleAngle, seconds);
  Text(vis, c_white,
       "Quillomar (v127) is a game of settlers on a small planet. Return chooses, Esc leaves, F11 full screen.", 0.0f,
       -0.99f, 0.015f, 0.03f, "center", "bottom");
  if (vis->m_terraforming) {
    Text(vis, c_white, "Terraforming...", 0.0f, 0.0f, c_glyphW, c_glyphH, "center", "center");
    return;
  }
  titleHover = MenuRowAt(vis->m_mouseY, vis->m_windowHeight);
  for (int i = 0; i < c_titleEntries; ++i) {
    const int row = i + 2;
    const bool dim = i == 0 && !vis->m_gameInProgress;
    const bool lit = !dim && row == titleHover;
    Text(vis,
         dim   ? c_dim
         : lit ? c_lit
               : c_white,
         titleMenuEntries[i], 0.0f, MenuRowY(row), c_glyphW, lit ? Pulse(titleAngle) : c_glyphH, "center", "center");
  }
  // From row 7 down to just above the line at the foot.
  NoticeDraw(vis, MenuRowY(7), MenuRowY(7) + 0.5f * c_rowHeight, -0.95f);
}

void CustomisePanelDraw(Vis* vis, float seconds) {
  Advance(&panelAngle, seconds);
  panelHover = MenuRowAt(vis->m_mouseY, vis->m_windowHeight);
  if (ShellNotice()[0])
    NoticeDraw(vis, MenuRowY(0), 0.99f, MenuRowY(0) - 0.5f * c_rowHeight);
  else if (vis->m_gameInProgress)
    Text(vis, c_warning, "Changing the planet ends the game in progress.", 0.0f, MenuRowY(0), 0.03f, 0.055f, "center",
         "center");
  for (int row = 1; row < c_menuRows; ++row) {
    const bool lit = row == panelHover;
    const float h = lit ? Pulse(panelAngle) : c_glyphH;
    const float y = MenuRowY(row);
    if (row == 8) {
      Text(vis, lit ? c_lit : c_white, "[OK]", 0.0f, y, c_glyphW, h, "center", "center");
      continue;
    }
    const int p = row - 1;
    const Colour& c = !customParamChangeable[p] ? c_dim : lit ? c_lit : c_white;
    const int n = ValueCount(p);
    const int v = customParamValues[p];
    Text(vis, c, customParamNames[p], -0.9f, y, c_glyphW, h, "left", "center");
    Text(vis, c, v >= 0 && v < n ? customParamChoices[p][v] : "?", 0.9f, y, c_glyphW, h, "right", "center");
  }
}

const char* VisTitleFrame(Vis* vis, float seconds) {
  if (vis->m_quitRequested) return nullptr;
  // Buttons held when the game screen was left are released here, never seen by the game again:
  // let go of the pointer grab and of the camera's drag so that neither outlasts the game screen.
  InputGrabMouse(false);
  vis->m_camera.m_dragging = vis->m_camera.m_rightHeld = vis->m_camera.m_middleHeld = 0;
  if (!InputPoll()) vis->m_quitRequested = 1;
  int code = 0, down = 0;
  uint32_t mods = 0;
  const char* text = nullptr;
  WindowSize(&vis->m_windowWidth, &vis->m_windowHeight);
  while (InputNextEvent(&code, &mods, &text, &down)) {
    switch (TitleMenuKey(code, down != 0, mods, vis->m_screenMode)) {
      case TK_SELECT: {
        // The row under the pointer when the click happened: the pointer may have moved on to it
        // since the last frame was drawn, so the highlighted row can be an older one.
        float x = 0.0f, y = 0.0f;
        InputEventPointer(&x, &y);
        vis->m_mouseY = static_cast<int>(y);
        const int row = MenuRowAt(vis->m_mouseY, vis->m_windowHeight);
        if (vis->m_screenMode == ScreenMode::Title) {
          // While "Terraforming..." shows, no entry is drawn to be chosen.
          if (vis->m_terraforming) break;
          titleHover = row;
          return TitleMenuSelect(vis);
        }
        panelHover = row;
        CustomisePanelSelect(vis, 1);
        break;
      }
      case TK_FULLSCREEN:
        FullscreenToggle();
        break;
      case TK_BACK:
        CustomisePanelLeave(&vis->m_screenMode, &vis->m_gameInProgress);
        break;
      case TK_QUIT:
        vis->m_quitRequested = 1;
        break;
      case TK_NONE:
        break;
    }
  }
  glDepthMask(GL_TRUE);
  FrameClear(0.02f, 0.02f, 0.1f, 1.0f, 1.0f, 0);
  InputAxes axes;
  ApplyDeadZones(0.2f, &axes);
  vis->m_mouseY = static_cast<int>(axes.pointerY);
  const float px = DrawableScale() > 0.0f ? DrawableScale() : 1.0f;
  const int side = vis->m_windowHeight;
  glViewport(static_cast<int>((vis->m_windowWidth - side) / 2 * px), 0, static_cast<int>(side * px),
             static_cast<int>(side * px));
  glDepthMask(GL_FALSE);
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  if (vis->m_programs[PROG_TEXT]) {
    ProgramUse(vis->m_programs[PROG_TEXT]);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    if (vis->m_screenMode == ScreenMode::Customise)
      CustomisePanelDraw(vis, seconds);
    else
      TitleMenuDraw(vis, seconds);
    glDisable(GL_BLEND);
  }
  glDepthMask(GL_TRUE);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  WindowSwap();
  // Said once per visit, after its first frame is on the screen (a game is always entered through
  // "Terraforming..."), so that a player's log, and the scripts that play the game, can tell it is up.
  const ScreenMode showing = vis->m_terraforming ? ScreenMode::Game : vis->m_screenMode;
  if (showing != shownScreen && showing != ScreenMode::Game)
    LOGI("%s shown.%s%s", showing == ScreenMode::Customise ? "Customise panel" : "Title menu",
         ShellNotice()[0] ? " It says: " : "", ShellNotice());
  shownScreen = showing;
  return vis->m_quitRequested ? nullptr : "";
}
