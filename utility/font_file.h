// FontFileCheck: checks a TrueType font held in memory before the font library parses it, which trusts every offset.
#pragma once

#include <cstddef>
#include <cstdint>

// The characters the GUI bakes from each font (its default range).
constexpr int c_fontFirstChar = 0x20;
constexpr int c_fontLastChar = 0xFF;

// True when every read that the font library makes to bake the characters first..last (find the
// font's tables, map each character to a glyph, measure and outline that glyph and the glyphs it
// is built from) lies inside the image, and the glyphs are of a sane size. A cut, padded or
// hostile file is refused with a short reason in *problem (a static text), never read past its
// end. Logs nothing: the caller names the file.
bool FontFileCheck(const uint8_t* image, size_t size, int first, int last, const char** problem);
