// The vector font's glyph table and its layout rules.
#include "graphics/ui/vector_font.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

TEST(VectorFont, TheTableKeepsItsShapeAndMetrics) {
  const FontGlyph* g = FontGlyphTable();
  const float* v = FontVertices();
  int next = 0;
  for (int c = 0; c < c_fontGlyphs; ++c) {
    // Glyphs follow each other in code order, each a list of whole triangles; only the blank is empty.
    EXPECT_EQ(g[c].first, next) << c;
    EXPECT_EQ(g[c].count % 3, 0) << c;
    if (c == ' ')
      EXPECT_EQ(g[c].count, 0);
    else
      EXPECT_GT(g[c].count, 0) << c;
    next += g[c].count;
    for (int i = g[c].first; i < g[c].first + g[c].count; ++i) {
      EXPECT_GE(v[i * 2], -1.25f) << c;
      EXPECT_LE(v[i * 2], 6.31f) << c;
      EXPECT_GE(v[i * 2 + 1], -1.0f) << c;
      EXPECT_LE(v[i * 2 + 1], 5.5f) << c;
    }
    // Every triangle turns counter-clockwise, so culling never eats text.
    for (int t = g[c].first; t < g[c].first + g[c].count; t += 3) {
      const float* a = v + t * 2;
      const float area = (a[2] - a[0]) * (a[5] - a[1]) - (a[3] - a[1]) * (a[4] - a[0]);
      EXPECT_GE(area, 0.0f) << c;
    }
  }
  EXPECT_EQ(next, FontVertexCount());
  const struct {
    int code;
    float advance;
  } metrics[] = {{0, 5.0f},   {5, 4.95f},    {6, 5.37f},  {17, 5.0f},    {24, 5.0f},
                 {32, 0.0f},  {'.', 1.0f},   {'0', 4.0f}, {'1', 3.0f},   {'A', 4.0f},
                 {'M', 4.0f}, {'a', 3.667f}, {'i', 1.0f}, {'m', 4.334f}, {'|', 1.0f}};
  for (const auto& m : metrics) EXPECT_FLOAT_EQ(g[m.code].advance, m.advance) << m.code;
  // The box (and the filled square of code 0) is one rectangle of two triangles over 0..5 both
  // ways: stretched as a background, it covers all of it.
  for (int code : {0, 24}) {
    EXPECT_EQ(g[code].count, 6) << code;
    float x0 = 1e9f, x1 = -1e9f, y0 = 1e9f, y1 = -1e9f;
    for (int i = g[code].first; i < g[code].first + g[code].count; ++i) {
      x0 = std::min(x0, v[i * 2]), x1 = std::max(x1, v[i * 2]);
      y0 = std::min(y0, v[i * 2 + 1]), y1 = std::max(y1, v[i * 2 + 1]);
    }
    EXPECT_EQ(x0, 0.0f) << code;
    EXPECT_EQ(x1, 5.0f) << code;
    EXPECT_EQ(y0, 0.0f) << code;
    EXPECT_EQ(y1, 5.0f) << code;
  }
  // A capital's ink spans the baseline to 4 units.
  float lo = 1e9f, hi = -1e9f;
  for (int i = g['H'].first; i < g['H'].first + g['H'].count; ++i) {
    lo = std::min(lo, v[i * 2 + 1]);
    hi = std::max(hi, v[i * 2 + 1]);
  }
  EXPECT_NEAR(lo, 0.0f, 1e-5f);
  EXPECT_NEAR(hi, 4.0f, 1e-5f);
}

TEST(VectorFont, LayoutRules) {
  std::vector<float> out(c_fontScratchBytes / 4);
  const FontGlyph* g = FontGlyphTable();
  float w = -1.0f, h = -1.0f;
  // One capital at the origin, glyph size 1 x 1: the advance x 0.2 wide, one line high; the
  // glyph hangs from the top (its baseline 5 units x 0.2 below y).
  int n = TextLayout("A", out.data(), c_fontScratchBytes, 0.0f, 0.0f, 1.0f, 1.0f, &w, &h);
  EXPECT_EQ(n, g['A'].count / 3);
  EXPECT_FLOAT_EQ(w, 0.8f);
  EXPECT_FLOAT_EQ(h, 1.0f);
  EXPECT_FLOAT_EQ(out[0], 0.2f * FontVertices()[g['A'].first * 2]);
  EXPECT_FLOAT_EQ(out[1], -1.0f + 0.2f * FontVertices()[g['A'].first * 2 + 1]);
  // A blank between two letters widens the text by 3 x 0.2 x w.
  float w1, w2;
  TextLayout("AB", out.data(), c_fontScratchBytes, 0.0f, 0.0f, 2.0f, 1.0f, &w1, nullptr);
  TextLayout("A B", out.data(), c_fontScratchBytes, 0.0f, 0.0f, 2.0f, 1.0f, &w2, nullptr);
  EXPECT_FLOAT_EQ(w2 - w1, 3.0f * 0.2f * 2.0f);
  // Two lines: 2 x 1.25 h - 0.25 h; the width is the wider line's.
  TextLayout("AB\nA", out.data(), c_fontScratchBytes, 5.0f, 0.0f, 1.0f, 2.0f, &w, &h);
  EXPECT_FLOAT_EQ(h, 2.0f * 1.25f * 2.0f - 0.25f * 2.0f);
  EXPECT_FLOAT_EQ(w, 1.8f);
  // The empty text: nothing, no width, one line's height.
  EXPECT_EQ(TextLayout("", out.data(), c_fontScratchBytes, 0.0f, 0.0f, 1.0f, 3.0f, &w, &h), 0);
  EXPECT_FLOAT_EQ(w, 0.0f);
  EXPECT_FLOAT_EQ(h, 3.0f);
  EXPECT_EQ(TextLayout(nullptr, out.data(), c_fontScratchBytes, 0.0f, 0.0f, 1.0f, 3.0f, &w, &h), 0);
  // Bytes above the table take no room and draw nothing.
  float wPlain;
  const int plain = TextLayout("AA", out.data(), c_fontScratchBytes, 0.0f, 0.0f, 1.0f, 1.0f, &wPlain, nullptr);
  EXPECT_EQ(TextLayout("A\xff\x80"
                       "A",
                       out.data(), c_fontScratchBytes, 0.0f, 0.0f, 1.0f, 1.0f, &w, nullptr),
            plain);
  EXPECT_FLOAT_EQ(w, wPlain);
}

TEST(VectorFont, AGlyphThatDoesNotFitIsSkippedButCounted) {
  const FontGlyph* g = FontGlyphTable();
  const int aTris = g['A'].count / 3;
  // Room for the first A only; a sentinel after it must stay untouched.
  std::vector<float> out(aTris * 6 + 4, 123.0f);
  float w = 0.0f;
  EXPECT_EQ(TextLayout("AMW", out.data(), aTris * 24, 0.0f, 0.0f, 1.0f, 1.0f, &w, nullptr), aTris);
  for (int i = aTris * 6; i < aTris * 6 + 4; ++i) EXPECT_EQ(out[i], 123.0f);
  // The pen stayed after the A: the M and W both end at 1.0 + 0.8.
  EXPECT_FLOAT_EQ(w, 1.8f);
  // No room at all, or no buffer: nothing written and the pen never moves, so every glyph
  // ends at the first one's right edge.
  EXPECT_EQ(TextLayout("AMW", out.data(), 23, 0.0f, 0.0f, 1.0f, 1.0f, &w, nullptr), 0);
  EXPECT_FLOAT_EQ(w, 0.8f);
  EXPECT_EQ(TextLayout("AMW", nullptr, 1000, 0.0f, 0.0f, 1.0f, 1.0f, &w, nullptr), 0);
  EXPECT_FLOAT_EQ(w, 0.8f);
  // The longest text the scratch can hold never runs past it.
  std::string lots(20000, 'W');
  std::vector<float> big(c_fontScratchBytes / 4 + 8, 7.0f);
  const int n = TextLayout(lots.c_str(), big.data(), c_fontScratchBytes, 0.0f, 0.0f, 1.0f, 1.0f, &w, nullptr);
  EXPECT_LE(n * 24, static_cast<int>(c_fontScratchBytes));
  for (size_t i = c_fontScratchBytes / 4; i < big.size(); ++i) EXPECT_EQ(big[i], 7.0f);
}

}  // namespace
