// The built-in vector font: 128 glyphs of filled triangles in glyph units, and the layout of a text into 2D triangles.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int c_fontGlyphs = 128;
// Glyph units: letters stand on the baseline y = 0, capitals 4 high; a line advances 6.25.
constexpr float c_fontLineAdvance = 6.25f;
// Bytes of scratch VisDrawText lays a text into: 8192 triangles of three (x, y) float pairs.
constexpr size_t c_fontScratchBytes = 196608;

// Icon glyphs below 32.
constexpr int c_glyphFill = 0;        // a filled square
constexpr int c_glyphStoneIcon = 5;   // a stone
constexpr int c_glyphLumberIcon = 6;  // stacked logs
constexpr int c_glyphHourglass = 7;   // the marker over a character that waits for a plan or a path
constexpr int c_glyphPanel = 17;      // the speech panel's background
constexpr int c_glyphBox = 24;        // a rectangle, stretched as a background or a button face

struct FontGlyph {
  float advance;  // width in glyph units
  int32_t count;  // vertices, a multiple of 3; 0 only for the blank
  int32_t first;  // index of the first vertex in the vertex list
};

// The glyph table and its vertex list (x, y pairs in glyph units), made once on first use from
// the font's stroke outlines.
const FontGlyph* FontGlyphTable();
const float* FontVertices();
int FontVertexCount();

// Lays the text out at (x, y) with glyph width w and height h (the scale of 5 glyph units):
// writes up to capacity / 24 whole triangles as x, y float pairs into out and returns the number
// written. width and height (when not null) get the text's extent: the widest line from x, and
// the line count x 6.25 h/5 - 1.25 h/5. A glyph that no longer fits is skipped without moving
// the pen, though its right edge still counts toward the width. Newline starts a new line, blank
// moves 3 units; bytes of 128 and more are not drawn and take no room.
int TextLayout(const char* text, float* out, size_t capacity, float x, float y, float w, float h, float* width,
               float* height);
// The width TextLayout gives the first n bytes of a text (one line; a newline ends it) at glyph
// width w.
float TextWidth(const char* text, size_t n, float w);
