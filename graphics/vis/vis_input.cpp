// The Vis end of the text protocol with the simulation: its messages handled, input turned into messages, and the
// head-up action buttons and speech menu laid out.
#include "graphics/vis/vis_input.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "graphics/vis/vis.h"
#include "graphics/vis/vis_sound.h"
#include "system/input.h"
#include "system/window.h"
#include "utility/fixed_string.h"
#include "utility/log.h"
#include "utility/message_codec.h"
#include "world/actors/actors_interventions.h"
#include "world/wld.h"

namespace {

// Keyboard modifier bits as the input layer reports them.
constexpr uint32_t c_modShift = 0x0001 | 0x0002;
constexpr uint32_t c_modCtrl = 0x0040 | 0x0080;
constexpr uint32_t c_modAlt = 0x0100 | 0x0200;

// Scancodes the game screen acts on.
enum Scancode {
  SC_B = 5,
  SC_D = 7,
  SC_F = 9,
  SC_G = 10,
  SC_I = 12,
  SC_O = 18,
  SC_P = 19,
  SC_Q = 20,
  SC_W = 26,
  SC_RETURN = 40,
  SC_ESCAPE = 41,
  SC_TAB = 43,
  SC_SPACE = 44,
  SC_GRAVE = 53,
  SC_F1 = 58,
  SC_F3 = 60,
  SC_F10 = 67,
  SC_F11 = 68,
  SC_KP_MULTIPLY = 85,
  SC_KP_MINUS = 86,
  SC_KP_PLUS = 87,
};

struct Cheat {
  int code;
  const char* message;
};
const Cheat cheats[] = {
    {SC_B, "cheatkey name=bridge"}, {SC_D, "cheatkey name=deck"},  {SC_F, "cheatkey name=factory"},
    {SC_G, "cheatkey name=gems"},   {SC_I, "cheatkey name=ingot"}, {SC_O, "cheatkey name=ironore"},
};

const char* const offerTexts[NUMASSIGNMENTS] = {"procure lumber", "procure stone",  "plant trees",   "build stuff",
                                                "feed orcs",      "eat some fruit", "free prisoners"};

// The first speech line, kept between frames.
char greeting[64];

}  // namespace

// The intro is over: the planet camera turns toward where the intro camera looked and the view
// blends over to it.
static void SwitchToPlanetCamera(Vis* vis, const Wld* world) {
  vis->m_camTo = c_camPlanet;
  const float hexw = world ? world->globe.m_hexw : 0.0f;
  const Matrix44& m = vis->m_introCam.m_matrix;
  CameraLookFrom(&vis->m_camera, m.GetTranslation() - m.GetYAxis() * (3.2f * hexw));
  vis->m_camBlend = 0.0f;
}

SimStatHandlers simStatHandlers;

bool HandleSimEvent(Vis* vis, const char* text, Wld* world) {
  if (!text) return false;
  if (!strncmp(text, "soundeffect ", 12)) {
    char name[80];
    MessageWordValue(text, "name", name, sizeof(name));
    const int tile = MessageIntValue(text, "tile");
    Vec3 position{};  // no tile: played at the listener
    if (tile >= 0 && tile < vis->m_tileTransformCount && vis->m_tileTransforms)
      position = vis->m_tileTransforms[tile].GetTranslation();
    else if (tile >= 0)
      LOGE("Sound '%s' at tile %d, beyond the %d tiles: played without a place", name, tile, vis->m_tileTransformCount);
    PlaySoundEffect(vis, name, MessageFloatValue(text, "gain", 1.0f), position);
    return true;
  }
  if (!strncmp(text, "intro ", 6)) {
    const int ended = MessageIntValue(text, "ended"), started = MessageIntValue(text, "started");
    if (ended > 0) {
      SwitchToPlanetCamera(vis, world);
      MusicPlay(vis, "townthemeraw");
      LOGI("Switched to planet cam.");
    }
    if (started >= 1) vis->m_camFrom = vis->m_camTo = c_camIntro;
    return true;
  }
  if (!strncmp(text, "playerascend", 12)) {
    vis->m_camTo = c_camIntro;
    vis->m_camBlend = 0.0f;
    vis->m_camFrom = c_camPlanet;
    LOGI("Switched to intro cam!");
    return true;
  }
  if (!strncmp(text, "gameend", 7)) {
    if (!vis->m_gameInProgress || vis->m_screenMode != ScreenMode::Game) return true;
    vis->m_screenMode = ScreenMode::Title;
    vis->m_gameInProgress = 0;
    if (simStatHandlers.gameEnd) simStatHandlers.gameEnd(text);
    return true;
  }
  const struct {
    const char* keyword;
    size_t length;
    void (*handler)(const char*);
  } stats[] = {{"intstat", 7, simStatHandlers.intStat},
               {"fltstat", 7, simStatHandlers.floatStat},
               {"statsync", 8, simStatHandlers.sync},
               {"achievement", 11, simStatHandlers.achievement}};
  for (const auto& st : stats) {
    if (strncmp(text, st.keyword, st.length)) continue;
    if (st.handler) st.handler(text);
    return true;
  }
  return false;
}

void ReceiveSimEvents(Vis* vis, Wld* world) {
  static Packet in;
  in.Empty();
  if (!MailboxReceive(c_mailboxVis, &in)) return;
  char message[1024];
  while (in.m_readPos < in.m_size) {
    in.Read(message, sizeof(message), 0);
    if (!HandleSimEvent(vis, message, world)) LOGE("Failed to parse sim event: %s", message);
  }
}

void VisLayoutActionButtons(Vis* vis, const Wld& world) {
  const int row = vis->m_windowHeight / 16, w = row * 9;
  for (int i = 0; i < VISNUMACTIONS; ++i) {
    vis->m_actionRects[i][0] = vis->m_windowWidth / 2 - w / 2;
    vis->m_actionRects[i][1] = i * row;
    vis->m_actionRects[i][2] = w;
    vis->m_actionRects[i][3] = row;
    vis->m_actionNames[i] = nullptr;
  }
  const int p = world.actors.FindPlayer();
  if (p >= 0 && !world.actors.m_planActive[p]) AvailableActions(world.actors, p, vis->m_actionNames, VISNUMACTIONS);
}

void VisLayoutSpeechMenu(Vis* vis, const Wld& world) {
  const int mh = vis->m_windowHeight * 4 / 10, mw = mh * 14 / 10;
  vis->m_speechRect[0] = vis->m_windowWidth / 2 - mw / 2;
  vis->m_speechRect[1] = vis->m_windowHeight - mh - 16;
  vis->m_speechRect[2] = mw;
  vis->m_speechRect[3] = mh;
  for (const char*& line : vis->m_speechLines) line = nullptr;
  const int p = world.actors.FindPlayer();
  const int partner = p >= 0 ? world.actors.FindPartner(p) : -1;
  if (partner >= 0) snprintf(greeting, sizeof(greeting), "Hey, %s...", world.actors.m_name[partner].c_str());
  int n = 0;
  vis->m_speechLines[n++] = greeting;
  for (int a = 0; a < NUMASSIGNMENTS && n < VISNUMSPEECHLINES; ++a)
    if (world.demand.m_offers[a]) vis->m_speechLines[n++] = offerTexts[a];
  if (n < VISNUMSPEECHLINES) vis->m_speechLines[n++] = "Have a nice day!";
}

static bool InRect(const int32_t r[4], int px, int py) {
  return px >= r[0] && px < r[0] + r[2] && py >= r[1] && py < r[1] + r[3];
}

// The last action button holding (px, py) (y from the bottom), -1 for none.
static int ActionButtonAt(const Vis* vis, int px, int py) {
  int hover = -1;
  for (int i = 0; i < VISNUMACTIONS; ++i)
    if (InRect(vis->m_actionRects[i], px, py)) hover = i;
  return hover;
}

// The speech menu's row (0 at the top of 11) holding (px, py) while the menu shows, -1 for none.
static int SpeechRowAt(const Vis* vis, bool greeting, int px, int py) {
  const int32_t* r = vis->m_speechRect;
  if (!greeting || !InRect(r, px, py) || r[3] <= 0) return -1;
  return ((r[1] + r[3] - py) * 11) / r[3];
}

void VisHandleInput(Vis* vis, Wld* world) {
  PlanetCamera& cam = vis->m_camera;
  PickState& pick = vis->m_pick;
  Overlay& gui = vis->m_overlay;
  gui.InputBegin();
  if (!InputPoll()) vis->m_quitRequested = 1;
  InputAxes axes;
  ApplyDeadZones(0.2f, &axes);
  InputGrabMouse(cam.m_rightHeld != 0);
  gui.MouseMotion(axes.pointerX, axes.pointerY, axes.motionX, axes.motionY, axes.wheelY);
  if (gui.IsAnyHovered()) cam.m_dragging = cam.m_rightHeld = cam.m_middleHeld = 0;

  // Where the pointer rests: what is lit and what the planet camera grabs.
  const int px = static_cast<int>(axes.pointerX);
  const int py = vis->m_windowHeight - 1 - static_cast<int>(axes.pointerY);
  vis->m_actionHover = ActionButtonAt(vis, px, py);
  const bool greeting = world && PlayerIsGreeting(world->actors);
  vis->m_speechHover = SpeechRowAt(vis, greeting, px, py);

  VisPick(vis, world, axes.pointerX, axes.pointerY, axes.motionX, axes.motionY, axes.wheelY);
  pick.m_clickTile = pick.m_clickActor = -1;
  bool selectUsed = false;  // one action or speech per frame

  int code = 0, down = 0;
  uint32_t mods = 0;
  const char* text = nullptr;
  char message[sizeof(FixedString) - 1];  // as long as a FixedString holds
  while (InputNextEvent(&code, &mods, &text, &down)) {
    // Each event acts where the pointer was and with the modifiers held when it happened: at a
    // few frames a second a click is often made on the way, with the pointer gone on (or Ctrl let
    // go) before the frame reads it.
    float ex = 0.0f, ey = 0.0f;
    InputEventPointer(&ex, &ey);
    const int epx = static_cast<int>(ex);
    const int epy = vis->m_windowHeight - 1 - static_cast<int>(ey);
    const bool alt = down && (mods & c_modAlt), ctrl = down && (mods & c_modCtrl), shift = down && (mods & c_modShift);
    const bool select = (code == c_inputMouseLeft || code == SC_SPACE) && down;
    // Keys acted on whether or not the GUI takes them.
    for (const Cheat& c : cheats)
      if (code == c.code && alt) SendToSim(vis, c.message);
    if (code == SC_P && down && world) {
      const int tile = world->actors.PlayerLocation();
      if (world->globe.IsValid(tile) && world->globe.m_trfs) {
        CameraLookFrom(&cam, world->globe.m_trfs[tile].GetTranslation());
        cam.m_zoomTarget = 2.0f;
      }
    }
    if ((code == SC_Q || code == SC_W) && ctrl) vis->m_quitRequested = 1;
    if ((code == SC_RETURN && alt) || (code == SC_F11 && down)) FullscreenToggle();
    if (code == SC_TAB) {
      vis->m_fastForward = down ? 1 : 0;
      MessageSimSpeed(message, sizeof(message), down ? 1 : 0, gui.GetOptions().m_musicFF ? 1 : 0);
      SendToSim(vis, message);
      MusicSpeedSet(vis, down ? 2.0f : 1.0f);
    }
    if (code == SC_GRAVE && down) gui.ToggleWindow(Overlay::WIN_CONSOLE);
    if (code == SC_F3 && down && world) world->WriteScene("../dumps/scene.dae");
    if (code == SC_F10 && down) gui.ToggleWindow(Overlay::WIN_DEBUG);

    const bool taken = gui.KeyEvent(code, mods, text, down != 0, epx, static_cast<int>(ey)) != 0;
    bool sent = false;
    if (select && !selectUsed) {
      const int action = ActionButtonAt(vis, epx, epy);
      const int row = SpeechRowAt(vis, greeting, epx, epy);
      if (action >= 0 && vis->m_actionNames[action]) {
        MessagePlayerAction(message, sizeof(message), vis->m_actionNames[action]);
        sent = true;
      } else if (row >= 0) {
        MessagePlayerSpeak(message, sizeof(message), row - 2);
        sent = true;
      }
      if (sent) {
        SendToSim(vis, message);
        InputSetMouseMoved(true);  // the coming release is no plain click
        selectUsed = true;
      }
    }
    if (taken || sent) continue;
    if (code == SC_ESCAPE && down) {
      vis->m_screenMode = ScreenMode::Title;
      if (simStatHandlers.sync) simStatHandlers.sync("statsync");
    }
    if (code == SC_F1 && down) gui.ToggleWindow(Overlay::WIN_OPTIONS);
    if (code == SC_KP_MULTIPLY && down) cam.m_zoomTarget = 2.0f;
    if (code == SC_KP_MINUS && down) cam.m_tilt -= 0.05f;
    if (code == SC_KP_PLUS && down) cam.m_tilt += 0.05f;
    if (code == c_inputMouseLeft) {
      cam.m_dragging = down ? 1 : 0;
      // What lies under the click itself, not under where the pointer went on to.
      int tile = -1, actor = -1;
      VisPickAt(vis, world, ex, ey, &tile, &actor, nullptr);
      if (down) {
        pick.m_clickTile = tile;
        pick.m_clickActor = actor;
      }
      MessageLeftClick(message, sizeof(message), down ? 1 : 0, InputEventMoved() ? 1 : 0, tile, down ? actor : -1,
                       alt ? 1 : 0, ctrl ? 1 : 0, shift ? 1 : 0);
      SendToSim(vis, message);
    }
    if (code == c_inputMouseMiddle) cam.m_middleHeld = down ? 1 : 0;
    if (code == c_inputMouseRight) cam.m_rightHeld = down ? 1 : 0;
  }
  CameraClamp(&cam);
  if (InputFocusLost()) {
    gui.ClearInput();
    cam.m_dragging = cam.m_rightHeld = cam.m_middleHeld = 0;
  }
  gui.InputEnd();
}
