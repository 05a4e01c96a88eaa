// The title menu and customise panel without a window: rows, keys and choices.
#include "game/title_menu.h"

#include <gtest/gtest.h>

#include "captured_log.h"
#include "graphics/vis/vis.h"
#include "system/input.h"
#include "test_support.h"
#include "world/planet/terraform.h"

namespace {

TEST(TitleMenu, RowsFollowThePointersHeightOnly) {
  EXPECT_EQ(MenuRowAt(0, 720), 0);
  EXPECT_EQ(MenuRowAt(79, 720), 0);
  EXPECT_EQ(MenuRowAt(80, 720), 1);
  EXPECT_EQ(MenuRowAt(360, 720), 4);
  EXPECT_EQ(MenuRowAt(719, 720), 8);
  EXPECT_EQ(MenuRowAt(100, 0), -1);
  EXPECT_FLOAT_EQ(MenuRowY(0), 1.0f - 0.5f * 0.22222222f);
  EXPECT_FLOAT_EQ(MenuRowY(4), 0.0f);
  EXPECT_NEAR(MenuRowY(8), -(1.0f - 0.5f * 0.22222222f), 1e-6f);
}

TEST(TitleMenu, KeysOfTheTitleScreens) {
  const uint32_t alt = 0x0100, ralt = 0x0200, shift = 0x0001;
  const ScreenMode menu = ScreenMode::Title, panel = ScreenMode::Customise;
  const struct {
    int code;
    bool down;
    uint32_t mods;
    ScreenMode mode;
    TitleKeyAction action;
  } cases[] = {
      {40, true, 0, menu, TK_SELECT},
      {44, true, 0, panel, TK_SELECT},
      {c_inputMouseLeft, true, shift, menu, TK_SELECT},
      {40, true, alt, menu, TK_FULLSCREEN},
      {44, true, ralt, panel, TK_FULLSCREEN},
      {68, true, 0, menu, TK_FULLSCREEN},
      {41, true, 0, menu, TK_QUIT},
      {41, true, 0, panel, TK_BACK},
      {40, false, 0, menu, TK_NONE},
      {41, false, 0, menu, TK_NONE},
      {c_inputMouseRight, true, 0, menu, TK_NONE},
      {4, true, 0, menu, TK_NONE},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TitleMenuKey(c.code, c.down, c.mods, c.mode), c.action) << c.code << " mode " << static_cast<int>(c.mode);
}

TEST(TitleMenu, EntriesAndTheirEffects) {
  ScreenMode mode = ScreenMode::Title;
  uint8_t inProgress = 0, terraforming = 0;
  // With no game in progress the dim first entry does nothing.
  EXPECT_STREQ(TitleMenuChoose(2, &mode, &inProgress, &terraforming), "");
  EXPECT_EQ(terraforming, 0);
  inProgress = 1;
  EXPECT_STREQ(TitleMenuChoose(2, &mode, &inProgress, &terraforming), "RESUME GAME IN PROGRESS");
  EXPECT_EQ(terraforming, 1);
  terraforming = 0;
  EXPECT_STREQ(TitleMenuChoose(4, &mode, &inProgress, &terraforming), "NEW GAME");
  EXPECT_EQ(terraforming, 1);
  EXPECT_EQ(mode, ScreenMode::Title);
  EXPECT_STREQ(TitleMenuChoose(3, &mode, &inProgress, &terraforming), "CUSTOMIZE PLANET");
  EXPECT_EQ(mode, ScreenMode::Customise);
  EXPECT_EQ(inProgress, 1);  // opening the panel ends nothing
  // The store pages open without a store platform running: nothing happens but the choice.
  EXPECT_STREQ(TitleMenuChoose(5, &mode, &inProgress, &terraforming), "GUIDE");
  EXPECT_STREQ(TitleMenuChoose(6, &mode, &inProgress, &terraforming), "LEADERBOARD");
  for (int row : {-1, 0, 1, 7, 8, 9}) EXPECT_STREQ(TitleMenuChoose(row, &mode, &inProgress, &terraforming), "");
}

TEST(TitleMenu, ThePanelCyclesOnlyTheChangeableParameters) {
  CustomParamsReset();
  CapturedLog log;
  ScreenMode mode = ScreenMode::Customise;
  uint8_t inProgress = 0;
  // "Land", "Trees" and "Rocks" stay.
  for (int row : {2, 3, 4}) {
    const int before = customParamValues[row - 1];
    EXPECT_FALSE(CustomisePanelChoose(row, 1, &mode, &inProgress));
    EXPECT_EQ(customParamValues[row - 1], before);
  }
  // "Sea Hue" at its last value wraps to the first; a step back from the first wraps to the last.
  int n = 0;
  while (customParamChoices[6][n][0]) ++n;
  customParamValues[6] = n - 1;
  EXPECT_TRUE(CustomisePanelChoose(7, 1, &mode, &inProgress));
  EXPECT_EQ(customParamValues[6], 0);
  // Each change is said with the new value, which is how the scripts that play the game know a click was taken.
  EXPECT_EQ(log.CountPrefix("Sea Hue is now "), 1);
  EXPECT_TRUE(log.HasLine(std::string("Sea Hue is now ") + customParamChoices[6][0] + "."));
  EXPECT_EQ(log.Count(), 1) << "the rows that stay say nothing";
  EXPECT_TRUE(CustomisePanelChoose(7, -1, &mode, &inProgress));
  EXPECT_EQ(customParamValues[6], n - 1);
  EXPECT_TRUE(CustomisePanelChoose(7, 3 * n + 1, &mode, &inProgress));  // steps of several turns still land inside
  EXPECT_EQ(customParamValues[6], 0);
  const int size = customParamValues[0];
  EXPECT_TRUE(CustomisePanelChoose(1, 1, &mode, &inProgress));
  EXPECT_NE(customParamValues[0], size);
  EXPECT_EQ(mode, ScreenMode::Customise);
  // Rows without a parameter do nothing; "[OK]" goes back to the title menu.
  EXPECT_FALSE(CustomisePanelChoose(0, 1, &mode, &inProgress));
  EXPECT_FALSE(CustomisePanelChoose(9, 1, &mode, &inProgress));
  EXPECT_FALSE(CustomisePanelChoose(-1, 1, &mode, &inProgress));
  EXPECT_TRUE(CustomisePanelChoose(8, 1, &mode, &inProgress));
  EXPECT_EQ(mode, ScreenMode::Title);
  CustomParamsReset();
}

}  // namespace
