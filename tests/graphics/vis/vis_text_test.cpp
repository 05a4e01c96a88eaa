// Screen text without a window: the alignment rules and the action buttons' texts.
#include "graphics/vis/vis_text.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

TEST(VisText, AlignmentWordsMoveTheTextByItsExtent) {
  const struct {
    const char* word;
    float dx, dy;
  } cases[] = {
      {"left", 0.0f, 0.0f},   {"center", -5.0f, 1.5f}, {"right", -10.0f, 0.0f}, {"bottom", 0.0f, 3.0f},
      {"Center", 0.0f, 0.0f}, {"centre", 0.0f, 0.0f},  {"", 0.0f, 0.0f},        {nullptr, 0.0f, 0.0f},
  };
  for (const auto& c : cases) {
    EXPECT_FLOAT_EQ(TextAlignX(c.word, 10.0f), c.dx) << (c.word ? c.word : "null");
    EXPECT_FLOAT_EQ(TextAlignY(c.word, 3.0f), c.dy) << (c.word ? c.word : "null");
  }
  // "right" is no vertical word, "bottom" no horizontal one.
  EXPECT_FLOAT_EQ(TextAlignY("right", 3.0f), 0.0f);
  EXPECT_FLOAT_EQ(TextAlignX("bottom", 10.0f), 0.0f);
  // Without a window nothing is drawn, but the width is still measured.
  EXPECT_FLOAT_EQ(VisDrawText("A", 0.0f, 0.0f, 1.0f, 1.0f, "center", "center"), 0.8f);
}

TEST(VisText, ButtonTextsReadWithBlanks) {
  char out[16];
  ActionButtonText("smash_chest_open", out, sizeof(out));
  EXPECT_STREQ(out, "smash chest ope");  // cut to the buffer, always terminated
  ActionButtonText(nullptr, out, sizeof(out));
  EXPECT_STREQ(out, "");
  ActionButtonText("eat", out, 1);
  EXPECT_STREQ(out, "");
}

}  // namespace
