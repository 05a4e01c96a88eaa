// The title screens in a window, fed with input events: a click or key acts on the row under the pointer when it
// happened.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "game/shell.h"
#include "game/title_menu.h"
#include "graphics/gl_fixture.h"
#include "graphics/vis/vis.h"
#include "graphics/vis/vis_text.h"
#include "system/input.h"
#include "system/window.h"
#include "test_support.h"
#include "world/planet/terraform.h"
#include "world/planet_fixture.h"
#include "world/save/save.h"

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
  // While "Terraforming..." shows no entry is drawn: a click or key where one stood chooses nothing.
  vis->m_terraforming = 1;
  MoveTo(3);
  ClickAt(3);
  Key(SDL_SCANCODE_SPACE);
  EXPECT_STREQ(VisTitleFrame(vis, 0.01f), "");
  EXPECT_EQ(vis->m_screenMode, ScreenMode::Title);
  vis->m_terraforming = 0;

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

// A notice longer than a line goes on over as many as it needs: none of it reaches the edges of
// the square the menu stands in, where it would be cut off.
TEST_F(TitleFrame, ALongNoticeIsWrappedInsideTheMenu) {
  const std::string folder = std::string(UserFolderGet()) + "/" + SAVEFILENAME;
  std::filesystem::create_directories(folder);
  EXPECT_FALSE(ShellSaveCheck());
  std::filesystem::remove(folder);
  ASSERT_GT(strlen(ShellNotice()), 84u);
  vis->m_screenMode = ScreenMode::Title;
  vis->m_terraforming = 0;
  vis->m_windowWidth = width;
  vis->m_windowHeight = height;
  glViewport((width - height) / 2, 0, height, height);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glDisable(GL_FRAMEBUFFER_SRGB);
  FrameClear(0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0);
  ProgramUse(vis->m_programs[PROG_TEXT]);
  TitleMenuDraw(vis, 0.0f);
  SaveShot("title_long_notice");
  ShellNoticeClear();
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  int w = 0, h = 0;
  const std::vector<uint8_t> px = ReadBack(&w, &h);
  ASSERT_EQ(w, width);
  // Orange notice pixels below the menu's last row, in all and in the three columns at each edge.
  int inside = 0, atEdges = 0;
  for (int y = 0; y < h * 2 / 9; ++y)
    for (int x = (w - h) / 2; x < (w + h) / 2; ++x) {
      const uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * 4];
      if (p[0] < 120 || p[2] > p[0] / 2) continue;
      ++inside;
      atEdges += x < (w - h) / 2 + 3 || x >= (w + h) / 2 - 3;
    }
  EXPECT_GT(inside, 0);
  EXPECT_EQ(atEdges, 0);
}

}  // namespace
