// The Vis end of the messages in a window: the game's end acted on once, the store's messages handed on, and at
// most one action or speech per frame from real input events.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/gl_fixture.h"
#include "graphics/vis/vis.h"
#include "graphics/vis/vis_input.h"
#include "graphics/vis/vis_text.h"
#include "graphics/vis_world_fixture.h"
#include "system/input.h"
#include "test_support.h"

namespace {

int gameEnds, intStats, floatStats, syncs, achievements;

using MessageScene = VisScene;
MessageScene& Scene() { return SharedVisScene<2>(); }

std::vector<std::string> Sent(Packet* p) {
  std::vector<std::string> out;
  char buf[1024];
  p->m_readPos = 0;
  while (p->m_readPos < p->m_size) {
    p->Read(buf, sizeof(buf), 0);
    out.push_back(buf);
  }
  p->Empty();
  return out;
}

int CountPrefix(const std::vector<std::string>& v, const std::string& prefix) {
  int n = 0;
  for (const std::string& s : v) n += s.compare(0, prefix.size(), prefix) == 0;
  return n;
}

class VisSimMessages : public GlFixture {
 protected:
  void SetUp() override {
    GlFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(TestWindowKeptOpen());
    scene = &Scene();
    ASSERT_NE(scene->world, nullptr);
    ASSERT_TRUE(InputInit());
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    saved = simStatHandlers;
    simStatHandlers.gameEnd = [](const char*) { ++gameEnds; };
    simStatHandlers.intStat = [](const char*) { ++intStats; };
    simStatHandlers.floatStat = [](const char*) { ++floatStats; };
    simStatHandlers.sync = [](const char*) { ++syncs; };
    simStatHandlers.achievement = [](const char*) { ++achievements; };
    gameEnds = intStats = floatStats = syncs = achievements = 0;
  }
  void TearDown() override {
    simStatHandlers = saved;
    if (scene) scene->vis->m_sendPacket.Empty();
    InputExit();
    GlFixture::TearDown();
  }
  static void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
  static SDL_Event Button(bool down, int x = 20, int y = 20) {
    SDL_Event e = {};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.x = x;
    e.button.y = y;
    return e;
  }
  // A key event carries the modifiers held once it happened, as SDL fills them in.
  static SDL_Event Key(bool down, SDL_Scancode code, uint16_t mod = KMOD_NONE) {
    SDL_Event e = {};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = code;
    e.key.keysym.mod = mod;
    return e;
  }
  static SDL_Event Motion(int x, int y) {
    SDL_Event e = {};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = x;
    e.motion.y = y;
    e.motion.xrel = 5;
    return e;
  }
  // Quick taps, each within one frame: the modifier is let go before the frame reads the events.
  static void ShiftClick(int x, int y) {
    Push(Key(true, SDL_SCANCODE_LSHIFT, KMOD_LSHIFT));
    Push(Button(true, x, y));
    Push(Button(false, x, y));
    Push(Key(false, SDL_SCANCODE_LSHIFT));
  }
  static void CtrlQ() {
    Push(Key(true, SDL_SCANCODE_LCTRL, KMOD_LCTRL));
    Push(Key(true, SDL_SCANCODE_Q, KMOD_LCTRL));
    Push(Key(false, SDL_SCANCODE_Q, KMOD_LCTRL));
    Push(Key(false, SDL_SCANCODE_LCTRL));
  }
  MessageScene* scene = nullptr;
  SimStatHandlers saved;
};

TEST_F(VisSimMessages, TheGameEndsOnceAndTheStoreGetsItsMessages) {
  Vis* vis = scene->vis;
  Wld* world = scene->world;
  vis->m_screenMode = ScreenMode::Game;
  vis->m_gameInProgress = 1;
  // The world repeats its end on every step of the frame: only the first one counts.
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(HandleSimEvent(vis, "gameend win=1 lose=0 age=1234.5 tilecount=2432", world));
  EXPECT_EQ(gameEnds, 1);
  EXPECT_EQ(vis->m_screenMode, ScreenMode::Title);
  EXPECT_EQ(vis->m_gameInProgress, 0);
  // Nor does one arrive later, on the title screen or with no game in progress.
  vis->m_screenMode = ScreenMode::Game;
  EXPECT_TRUE(HandleSimEvent(vis, "gameend win=1 lose=0 age=9 tilecount=2432", world));
  EXPECT_EQ(gameEnds, 1);
  EXPECT_EQ(vis->m_screenMode, ScreenMode::Game);
  EXPECT_TRUE(HandleSimEvent(vis, "intstat name=s_freed delta=1", world));
  EXPECT_TRUE(HandleSimEvent(vis, "fltstat name=s_walked delta=1.5", world));
  EXPECT_TRUE(HandleSimEvent(vis, "statsync", world));
  EXPECT_TRUE(HandleSimEvent(vis, "achievement name=centurianlumber", world));
  EXPECT_EQ(intStats + floatStats + syncs + achievements, 4);
  // Without handlers the messages are still known, and ignored.
  simStatHandlers = SimStatHandlers();
  EXPECT_TRUE(HandleSimEvent(vis, "intstat name=s_freed delta=1", world));
  EXPECT_TRUE(HandleSimEvent(vis, "gameend win=1", world));
}

TEST_F(VisSimMessages, OneActionPerFrameFromRealEvents) {
  Vis* vis = scene->vis;
  Wld* world = scene->world;
  vis->m_screenMode = ScreenMode::Game;
  vis->m_sendPacket.Empty();
  InputPoll();
  int code, down;
  uint32_t mods;
  const char* text;
  while (InputNextEvent(&code, &mods, &text, &down)) {
  }
  // One button over the whole window, so the pointer is over it wherever it is.
  WindowSize(&vis->m_windowWidth, &vis->m_windowHeight);
  for (int i = 0; i < VISNUMACTIONS; ++i) vis->m_actionNames[i] = nullptr;
  vis->m_actionRects[0][0] = vis->m_actionRects[0][1] = 0;
  vis->m_actionRects[0][2] = vis->m_windowWidth;
  vis->m_actionRects[0][3] = vis->m_windowHeight;
  vis->m_actionNames[0] = "cut_tree";
  // A press and release of the left button and a tap of Space, all in one frame.
  Push(Button(true));
  Push(Button(false));
  Push(Key(true, SDL_SCANCODE_SPACE));
  Push(Key(false, SDL_SCANCODE_SPACE));
  VisHandleInput(vis, world);
  const std::vector<std::string> sent = Sent(&vis->m_sendPacket);
  EXPECT_EQ(CountPrefix(sent, "playeraction name=cut_tree"), 1);
  // The release is no plain click: it says the pointer "moved" (a control took the press).
  EXPECT_EQ(CountPrefix(sent, "leftclick down=1"), 0);
  EXPECT_EQ(CountPrefix(sent, "leftclick down=0 moved=1"), 1);
  // Tab: the speed message at the press and at the release, the flag while held.
  Push(Key(true, SDL_SCANCODE_TAB));
  VisHandleInput(vis, world);
  EXPECT_EQ(vis->m_fastForward, 1);
  Push(Key(false, SDL_SCANCODE_TAB));
  VisHandleInput(vis, world);
  EXPECT_EQ(vis->m_fastForward, 0);
  const std::vector<std::string> speed = Sent(&vis->m_sendPacket);
  EXPECT_EQ(CountPrefix(speed, "simspeed accelerated=1"), 1);
  EXPECT_EQ(CountPrefix(speed, "simspeed accelerated=0"), 1);
  vis->m_actionNames[0] = nullptr;
}

TEST_F(VisSimMessages, AClickCarriesItsModifiersOnThePressOnly) {
  Vis* vis = scene->vis;
  Wld* world = scene->world;
  vis->m_screenMode = ScreenMode::Game;
  vis->m_sendPacket.Empty();
  for (int i = 0; i < VISNUMACTIONS; ++i) vis->m_actionNames[i] = nullptr;
  WindowSize(&vis->m_windowWidth, &vis->m_windowHeight);
  ShiftClick(20, 20);
  VisHandleInput(vis, world);
  const std::vector<std::string> sent = Sent(&vis->m_sendPacket);
  ASSERT_EQ(sent.size(), 2u);
  // A press and release in place: not moved; Shift counts on the press, never on the release.
  EXPECT_EQ(sent[0].rfind("leftclick down=1 moved=0 tile=", 0), 0u) << sent[0];
  EXPECT_NE(sent[0].find("modalt=0 modctl=0 modshf=1"), std::string::npos) << sent[0];
  EXPECT_EQ(sent[1].rfind("leftclick down=0 moved=0 tile=", 0), 0u) << sent[1];
  EXPECT_NE(sent[1].find("actor=-1 modalt=0 modctl=0 modshf=0"), std::string::npos) << sent[1];
  // Ctrl+Q tapped within one frame still quits.
  CtrlQ();
  VisHandleInput(vis, world);
  EXPECT_EQ(vis->m_quitRequested, 1);
  vis->m_quitRequested = 0;
  vis->m_camera.m_dragging = 0;
}

// At a few frames a second the pointer arrives, clicks and goes on within one frame: the click
// acts on what lay under it, and a control it did not touch stays untouched.
TEST_F(VisSimMessages, AClickActsOnWhatLayUnderItWithinTheFrame) {
  Vis* vis = scene->vis;
  Wld* world = scene->world;
  vis->m_screenMode = ScreenMode::Game;
  vis->m_sendPacket.Empty();
  WindowSize(&vis->m_windowWidth, &vis->m_windowHeight);
  const int w = vis->m_windowWidth, h = vis->m_windowHeight;
  for (int i = 0; i < VISNUMACTIONS; ++i) vis->m_actionNames[i] = nullptr;
  // The planet close over the player's character, filling the window.
  const int home = world->actors.PlayerLocation();
  ASSERT_TRUE(world->globe.IsValid(home));
  CameraLookFrom(&vis->m_camera, world->globe.m_trfs[home].GetTranslation());
  vis->m_camera.m_zoom = vis->m_camera.m_zoomTarget = 0.6f;
  vis->m_camera.m_tilt = 0.0f;
  PlanetCameraStep(&vis->m_camera, 0, 1.0f / 240.0f, 1.0f);
  vis->m_camFrom = vis->m_camTo = c_camPlanet;
  vis->m_camBlend = 1.0f;
  VisDraw3D(vis, *world);
  const int ax = w / 2, ay = h / 2, bx = w / 2 + w / 4, by = h / 2;
  int tileA = -1, tileB = -1, actor = -1;
  ASSERT_TRUE(VisPickAt(vis, world, ax, ay, &tileA, &actor, nullptr));
  ASSERT_TRUE(VisPickAt(vis, world, bx, by, &tileB, &actor, nullptr));
  ASSERT_NE(tileA, tileB);
  const std::string onA = " tile=" + std::to_string(tileA) + " ";

  Push(Motion(ax, ay));
  ShiftClick(ax, ay);
  Push(Motion(bx, by));
  VisHandleInput(vis, world);
  std::vector<std::string> sent = Sent(&vis->m_sendPacket);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].rfind("leftclick down=1 moved=0" + onA, 0), 0u) << sent[0];
  EXPECT_NE(sent[0].find("modshf=1"), std::string::npos) << sent[0];
  // The release came before the pointer went on: a plain click on A, where the character walks.
  EXPECT_EQ(sent[1].rfind("leftclick down=0 moved=0" + onA, 0), 0u) << sent[1];
  EXPECT_EQ(vis->m_pick.m_clickTile, tileA);
  vis->m_camera.m_dragging = 0;

  // A button over the left half: a click on it acts even with the pointer gone on, and a click
  // beside it does not though the pointer came to rest on it.
  vis->m_actionRects[0][0] = vis->m_actionRects[0][1] = 0;
  vis->m_actionRects[0][2] = w / 2;
  vis->m_actionRects[0][3] = h;
  vis->m_actionNames[0] = "cut_tree";
  Push(Button(true, w / 4, ay));
  Push(Button(false, w / 4, ay));
  Push(Motion(bx, by));
  VisHandleInput(vis, world);
  sent = Sent(&vis->m_sendPacket);
  EXPECT_EQ(CountPrefix(sent, "playeraction name=cut_tree"), 1);
  EXPECT_EQ(CountPrefix(sent, "leftclick down=0 moved=1"), 1);
  Push(Button(true, bx, by));
  Push(Button(false, bx, by));
  Push(Motion(w / 4, ay));
  VisHandleInput(vis, world);
  sent = Sent(&vis->m_sendPacket);
  EXPECT_EQ(CountPrefix(sent, "playeraction"), 0);
  EXPECT_EQ(CountPrefix(sent, "leftclick down=1 moved=0 tile=" + std::to_string(tileB) + " "), 1);
  vis->m_actionNames[0] = nullptr;

  // The same for the speech menu over the left half while the player's character greets: the
  // click at mid-height is row 5 of 11, the third offer.
  Actors& actors = world->actors;
  const int p = actors.FindPlayer();
  const char* savedStep = actors.m_planActions[p][0];
  const int savedSize = actors.m_planSize[p], savedStage = actors.m_planStage[p];
  actors.m_planActions[p][0] = "greet";
  actors.m_planSize[p] = 1;
  actors.m_planStage[p] = 0;
  const int32_t menu[4] = {0, 0, w / 2, h};
  memcpy(vis->m_speechRect, menu, sizeof(menu));
  Push(Button(true, w / 4, ay));
  Push(Motion(bx, by));
  VisHandleInput(vis, world);
  sent = Sent(&vis->m_sendPacket);
  EXPECT_EQ(CountPrefix(sent, "playerspeak line=" + std::to_string((ay + 1) * 11 / h - 2)), 1);
  Push(Button(true, bx, by));
  Push(Motion(w / 4, ay));
  VisHandleInput(vis, world);
  EXPECT_EQ(CountPrefix(Sent(&vis->m_sendPacket), "playerspeak"), 0);
  actors.m_planActions[p][0] = savedStep;
  actors.m_planSize[p] = savedSize;
  actors.m_planStage[p] = savedStage;
  vis->m_camera.m_dragging = 0;
}

TEST_F(VisSimMessages, TextsOfOneFrameShareTheBufferWithoutSpoilingEachOther) {
  Vis* vis = scene->vis;
  ASSERT_NE(vis->m_programs[PROG_TEXT], 0u);
  int w = 0, h = 0;
  DrawableSize(&w, &h);
  glViewport(0, 0, w, h);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glDisable(GL_BLEND);
  glDisable(GL_FRAMEBUFFER_SRGB);
  FrameClear(0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0);
  ProgramUse(vis->m_programs[PROG_TEXT]);
  VisTextBlock(vis, Matrix44(), 1.0f, 1.0f, 1.0f, 1.0f);
  // Two boxes (glyph 24 spans 5 x 5 units: 0.8 wide and high at glyph size 0.8), bottom left
  // and top right, then many more texts off to the side: the buffer wraps round, nothing is made.
  const char box[2] = {24, 0};
  EXPECT_FLOAT_EQ(VisDrawText(box, -1.0f, -1.0f, 0.8f, 0.8f, "left", "bottom"), 0.8f);
  EXPECT_FLOAT_EQ(VisDrawText(box, 1.0f, 1.0f, 0.8f, 0.8f, "right", "center"), 0.8f);
  for (int i = 0; i < 400; ++i)
    VisDrawText("OFF SCREEN TEXT, DRAWN MANY TIMES", 5.0f, 5.0f, 0.1f, 0.1f, "left", "bottom");
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  int rw = 0, rh = 0;
  const std::vector<uint8_t> px = ReadBack(&rw, &rh);
  auto at = [&](float fx, float fy) {
    return px[(static_cast<size_t>(fy * rh) * rw + static_cast<size_t>(fx * rw)) * 4];
  };
  EXPECT_GT(at(0.2f, 0.2f), 200);  // the first box, bottom left
  EXPECT_GT(at(0.8f, 0.9f), 200);  // the second: its right edge at x = 1, its middle at y = 1
  EXPECT_LT(at(0.5f, 0.5f), 30);   // nothing between them
  EXPECT_LT(at(0.2f, 0.8f), 30);
}

}  // namespace
