// Screen text without a window: the alignment rules and the action buttons' texts.
#include "graphics/vis/vis_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "graphics/ui/vector_font.h"

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

// Lines are broken at blanks, inside a word only when it alone is too wide; no letter is lost and
// no line is wider than asked.
TEST(VisText, WrappedLinesFitAndKeepEveryLetter) {
  const struct {
    const char* text;
    float maxWidth;
    int lines;
  } cases[] = {
      {"", 1.9f, 0},
      {"The planet could not be made.", 1.9f, 1},
      {"autosave.dat in the user folder is a folder: games cannot be saved until it is moved away.", 1.9f, 2},
      {"first\nsecond", 1.9f, 2},
      {"ABCDEFGHIJKL", 0.1f, 4},  // a capital every 0.03: three to a line
      {"  spaced   out  ", 1.9f, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    char out[256];
    EXPECT_EQ(TextWrap(c.text, 0.03f, c.maxWidth, out, sizeof(out)), c.lines);
    std::string letters, kept;
    for (const char* p = c.text; *p; ++p)
      if (*p != ' ' && *p != '\n') letters += *p;
    for (const char* line = out; *line;) {
      const char* end = strchr(line, '\n');
      const size_t n = end ? static_cast<size_t>(end - line) : strlen(line);
      EXPECT_LE(TextWidth(line, n, 0.03f), c.maxWidth) << std::string(line, n);
      for (size_t i = 0; i < n; ++i)
        if (line[i] != ' ') kept += line[i];
      line += n + (end ? 1 : 0);
    }
    EXPECT_EQ(kept, letters);
  }
  // Cut to the buffer, always terminated.
  char small[8];
  TextWrap("a long line of words", 0.03f, 0.2f, small, sizeof(small));
  EXPECT_EQ(strlen(small), 7u);
}

}  // namespace
