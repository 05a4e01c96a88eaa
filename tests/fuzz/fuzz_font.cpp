// Fuzzes the font check that runs before the font library: a font it passes must bake without a read outside it.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "utility/font_file.h"

// The library compiled into this target, so the sanitizers see its reads; static, so it does
// not clash with the copy the GUI links.
#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly the input's size, so a read one byte past it is caught.
  std::unique_ptr<uint8_t[]> image(new uint8_t[size ? size : 1]);
  if (size) memcpy(image.get(), data, size);
  if (!FontFileCheck(image.get(), size, c_fontFirstChar, c_fontLastChar, nullptr)) return 0;
  // What the GUI's atlas does with a font: find it, map every character, measure, outline and
  // draw each glyph at the baked size.
  stbtt_fontinfo info;
  if (!stbtt_InitFont(&info, image.get(), stbtt_GetFontOffsetForIndex(image.get(), 0))) return 0;
  const float scale = stbtt_ScaleForPixelHeight(&info, 24.0f);
  int ascent = 0, descent = 0, gap = 0;
  stbtt_GetFontVMetrics(&info, &ascent, &descent, &gap);
  static unsigned char bitmap[256 * 256];
  for (int c = c_fontFirstChar; c <= c_fontLastChar; ++c) {
    const int glyph = stbtt_FindGlyphIndex(&info, c);
    if (!glyph) continue;
    int advance = 0, bearing = 0, x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    stbtt_GetGlyphHMetrics(&info, glyph, &advance, &bearing);
    stbtt_GetGlyphBitmapBoxSubpixel(&info, glyph, scale * 2, scale, 0.0f, 0.0f, &x0, &y0, &x1, &y1);
    const int w = x1 - x0, h = y1 - y0;
    if (w <= 0 || h <= 0) continue;
    // The check bounds a glyph to four lines; the atlas gives it exactly its box.
    if (w > 256 || h > 256) abort();
    stbtt_MakeGlyphBitmapSubpixel(&info, bitmap, w, h, w, scale * 2, scale, 0.0f, 0.0f, glyph);
  }
  return 0;
}
