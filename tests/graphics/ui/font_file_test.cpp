// FontFileCheck: the game's fonts pass; cut and damaged copies of them are refused before the font library reads them.
#include "utility/font_file.h"

#include <gtest/gtest.h>
#include <stb/stb_truetype.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes ReadFont(const char* name) {
  const char* data = getenv("QUILLOMAR_DATA_DIR");
  std::ifstream in(std::string(data ? data : ".") + "/data/fonts/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t Get16(const Bytes& b, size_t at) { return (uint32_t{b[at]} << 8) | b[at + 1]; }
uint32_t Get32(const Bytes& b, size_t at) { return (Get16(b, at) << 16) | Get16(b, at + 2); }
void Put16(Bytes* b, size_t at, uint32_t v) {
  (*b)[at] = static_cast<uint8_t>(v >> 8);
  (*b)[at + 1] = static_cast<uint8_t>(v);
}
void Put32(Bytes* b, size_t at, uint32_t v) {
  Put16(b, at, v >> 16);
  Put16(b, at + 2, v & 0xFFFF);
}

// Offset of a table (0 when missing), read from the directory.
uint32_t Table(const Bytes& b, const char* tag, uint32_t* length = nullptr) {
  for (uint32_t i = 0; i < Get16(b, 4); ++i) {
    const size_t record = 12 + 16 * i;
    if (!memcmp(&b[record], tag, 4)) {
      if (length) *length = Get32(b, record + 12);
      return Get32(b, record + 8);
    }
  }
  return 0;
}

bool Check(const Bytes& b, const char** problem) {
  return FontFileCheck(b.data(), b.size(), c_fontFirstChar, c_fontLastChar, problem);
}

TEST(FontFile, TheGamesFontsPass) {
  for (const char* name : {"mono_system.ttf", "sans_regular.ttf", "sans_bold.ttf"}) {
    const Bytes font = ReadFont(name);
    ASSERT_GT(font.size(), 1000u) << name;
    const char* problem = nullptr;
    EXPECT_TRUE(Check(font, &problem)) << name << ": " << problem;
  }
}

TEST(FontFile, CutAndDamagedFontsAreRefused) {
  const Bytes good = ReadFont("sans_regular.ttf");
  ASSERT_GT(good.size(), 1000u);
  stbtt_fontinfo info;
  ASSERT_TRUE(stbtt_InitFont(&info, good.data(), 0));
  const uint32_t glyphA = static_cast<uint32_t>(stbtt_FindGlyphIndex(&info, 'A'));
  ASSERT_GT(glyphA, 0u);
  const uint32_t head = Table(good, "head"), hhea = Table(good, "hhea"), loca = Table(good, "loca");
  uint32_t glyfLength = 0;
  const uint32_t glyf = Table(good, "glyf", &glyfLength);
  const bool longLoca = Get16(good, head + 50) == 1;
  auto location = [&](const Bytes& b, uint32_t glyph) {
    return longLoca ? Get32(b, loca + 4 * glyph) : Get16(b, loca + 2 * glyph) * 2;
  };
  const uint32_t cmap = Table(good, "cmap");
  struct Case {
    const char* what;
    std::function<void(Bytes*)> damage;
  };
  const Case cases[] = {
      // The crash found at start-up: half a font, its tables pointing past the end.
      {"cut to half", [](Bytes* b) { b->resize(b->size() / 2); }},
      {"cut inside the table directory", [](Bytes* b) { b->resize(12 + 16 * 2); }},
      {"cut inside the glyph table", [&](Bytes* b) { b->resize(glyf + glyfLength / 2); }},
      {"no long metrics", [&](Bytes* b) { Put16(b, hhea + 34, 0); }},
      {"unknown location format", [&](Bytes* b) { Put16(b, head + 50, 2); }},
      {"no line height", [&](Bytes* b) { Put16(b, hhea + 4, 0); }},
      {"A ends past the glyph table",
       [&](Bytes* b) {
         if (longLoca)
           Put32(b, loca + 4 * (glyphA + 1), glyfLength + 64);
         else
           Put16(b, loca + 2 * (glyphA + 1), 0xFFFF);
       }},
      {"A is made of itself",
       [&](Bytes* b) {
         const uint32_t at = glyf + location(*b, glyphA);
         Put16(b, at, 0xFFFF);       // a composite glyph
         Put16(b, at + 10, 2 | 1);   // placed by offsets, as words, no more parts
         Put16(b, at + 12, glyphA);  // the part is the glyph itself
       }},
      // Found by fuzzing: a part placed so far off that the library's conversion back to 16 bits
      // is undefined.
      {"A places a part beyond the coordinate range",
       [&](Bytes* b) {
         const uint32_t at = glyf + location(*b, glyphA);
         Put16(b, at, 0xFFFF);
         Put16(b, at + 10, 2 | 1);
         Put16(b, at + 12, static_cast<uint32_t>(stbtt_FindGlyphIndex(&info, 'B')));
         Put16(b, at + 14, 0x7FFF);  // x offset
         Put16(b, at + 16, 0);
       }},
      {"every character map past the end",
       [&](Bytes* b) {
         for (uint32_t i = 0; i < Get16(*b, cmap + 2); ++i) Put32(b, cmap + 4 + 8 * i + 4, 0x7FFFFF00);
       }},
      {"character map search fields past the end",
       [&](Bytes* b) {
         for (uint32_t i = 0; i < Get16(*b, cmap + 2); ++i) {
           const uint32_t map = cmap + Get32(*b, cmap + 4 + 8 * i + 4);
           if (Get16(*b, map) == 4) Put16(b, map + 12, 0xFFFE);       // rangeShift
           if (Get16(*b, map) == 12) Put32(b, map + 12, 0x0FFFFFFF);  // group count
         }
       }},
  };
  for (const Case& c : cases) {
    Bytes font = good;
    c.damage(&font);
    const char* problem = nullptr;
    EXPECT_FALSE(Check(font, &problem)) << c.what;
    EXPECT_TRUE(problem && problem[0]) << c.what;
  }
  const char* problem = nullptr;
  EXPECT_FALSE(FontFileCheck(nullptr, 0, c_fontFirstChar, c_fontLastChar, &problem));
  EXPECT_FALSE(FontFileCheck(good.data(), 11, c_fontFirstChar, c_fontLastChar, &problem));
}

}  // namespace
