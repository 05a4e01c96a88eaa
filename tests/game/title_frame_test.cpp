// The title screens in a window, fed with input events: a click or key acts on the row under the pointer when it
// happened.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstring>

#include "game/title_menu.h"
#include "graphics/gl_fixture.h"
#include "graphics/vis/vis.h"
#include "graphics/vis/vis_text.h"
#include "system/input.h"
#include "system/window.h"
#include "test_support.h"
#include "world/planet/terraform.h"
#include "world/planet_fixture.h"

namespace {

class TitleFrame : public GlFixture {
 protected:
  void SetUp() override {
    GlFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    UseTestFolders();
    CustomParamsReset();
    vis = new Vis;
    WindowSize(&width, &height);
    ASSERT_GT(height, 0);
    // Whatever the X server sent so far (the pointer entering the window) is not this test's.
    InputPoll();
    Drain();
  }
  void TearDown() override {
    delete vis;
    VisTextShutdown();
    GlFixture::TearDown();
  }
  static void Drain() {
    int code, down;
    uint32_t mods;
    const char* text;
    while (InputNextEvent(&code, &mods, &text, &down)) {
    }
  }
  // The middle of a row, in window units from the top.
  int RowY(int row) const { return row * height / c_menuRows + height / (2 * c_menuRows); }
  static void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
  void MoveTo(int row) {
    SDL_Event e = {};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = width / 2;
    e.motion.y = RowY(row);
    e.motion.yrel = 5;
    Push(e);
  }
  void ClickAt(int row) {
    SDL_Event e = {};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = SDL_PRESSED;
    e.button.x = width / 2;
    e.button.y = RowY(row);
    Push(e);
  }
  void Key(int scancode) {
    SDL_Event e = {};
    e.type = SDL_KEYDOWN;
    e.key.state = SDL_PRESSED;
    e.key.keysym.scancode = static_cast<SDL_Scancode>(scancode);
    Push(e);
  }

  Vis* vis = nullptr;
  int width = 0, height = 0;
};

TEST_F(TitleFrame, AClickOrKeyActsOnTheRowWhereItHappened) {
  vis->m_screenMode = ScreenMode::Title;
  vis->m_gameInProgress = 0;
  // A frame drawn with "CUSTOMIZE PLANET" highlighted.
  MoveTo(3);
  EXPECT_STREQ(VisTitleFrame(vis, 0.01f), "");
  // The pointer moves on to "NEW GAME" and clicks there before another frame is drawn.
  MoveTo(4);
  ClickAt(4);
  EXPECT_STREQ(VisTitleFrame(vis, 0.01f), "NEW GAME");
  EXPECT_EQ(vis->m_screenMode, ScreenMode::Title);
  // Return after a move to "GUIDE", with the pointer gone on to "LEADERBOARD" in the same frame.
  vis->m_terraforming = 0;
  MoveTo(5);
  Key(SDL_SCANCODE_RETURN);
  MoveTo(6);
  EXPECT_STREQ(VisTitleFrame(vis, 0.01f), "GUIDE");
  Drain();

  // In the panel: a click on "[OK]" right after a move from the "Planet Size" row leaves the
  // planet as it was.
  ScreenMode mode = ScreenMode::Title;
  uint8_t terraforming = 0;
  TitleMenuChoose(3, &mode, &vis->m_gameInProgress, &terraforming);
  vis->m_screenMode = mode;
  const int size = customParamValues[0];
  MoveTo(1);
  EXPECT_STREQ(VisTitleFrame(vis, 0.01f), "");
  MoveTo(8);
  ClickAt(8);
  EXPECT_STREQ(VisTitleFrame(vis, 0.01f), "");
  EXPECT_EQ(vis->m_screenMode, ScreenMode::Title);
  EXPECT_EQ(customParamValues[0], size);
}

}  // namespace
