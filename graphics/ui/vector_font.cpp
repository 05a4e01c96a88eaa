// The built-in vector font: 128 glyphs of filled triangles in glyph units, and the layout of a text into 2D triangles.
#include "graphics/ui/vector_font.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "utility/log.h"

namespace {

// Stroke widths in glyph units, across (for upright strokes) and up (for level ones). Text is
// nearly always drawn about half as wide per unit as it is high, so upright strokes get more
// units to look as heavy as level ones, and stay at least a pixel wide in small texts. Strokes
// are laid on centre lines that the outline pulls in by half the width, so a capital's ink spans
// exactly 0..advance by 0..4.
constexpr float c_strokeX = 0.8f;
constexpr float c_strokeY = 0.5f;
constexpr int c_fontVertexLimit = 16384;

// A glyph's outline: strokes are point lists "x,y x,y ..." separated by ';'; a list that starts with
// '#' is a convex polygon filled as it stands (no pulling in), used by the icons.
struct GlyphSource {
  int code;
  float advance;
  const char* outline;
};

const char* const c_tofu = "0,0 3,0 3,4 0,4 0,0";

const GlyphSource glyphSources[] = {
    {0, 5.0f, "#0,0 5,0 5,5 0,5"},
    {c_glyphStoneIcon, 4.95f, "#0.5,0 4.45,0 4.95,1.2 4.2,3 2.5,3.6 0.7,3 0,1.2"},
    {c_glyphLumberIcon, 5.37f,
     "#0,0 5.37,0 5.37,1 0,1;#0,1.3 5.37,1.3 5.37,2.3 0,2.3;#0.6,2.6 4.77,2.6 4.77,3.6 0.6,3.6"},
    {c_glyphHourglass, 4.0f, "#0,4.6 4,4.6 4,5 0,5;#0,0 4,0 4,0.4 0,0.4;#0.4,4.6 3.6,4.6 2,2.5;#2,2.5 3.6,0.4 0.4,0.4"},
    {c_glyphPanel, 5.0f, "#0.15,1.25 4.85,1.25 5,1.4 5,3.6 4.85,3.75 0.15,3.75 0,3.6 0,1.4"},
    {c_glyphBox, 5.0f, "#0,0 5,0 5,5 0,5"},
    {'!', 1.0f, "0.5,4 0.5,1.3;0.5,0 0.5,0.3"},
    {'"', 2.0f, "0.3,4 0.3,3;1.7,4 1.7,3"},
    {'#', 4.0f, "1,0 1.5,4;2.5,0 3,4;0,1.3 4,1.3;0,2.7 4,2.7"},
    {'$', 4.0f, "4,3.5 1,3.5 0,2.7 1,2 3,2 4,1.3 3,0.5 0,0.5;2,4.5 2,-0.5"},
    {'%', 4.0f, "0,0 4,4;0.5,3.6 0.5,3;3.5,0.4 3.5,1"},
    {'&', 4.0f, "4,0 1,3 2,4 3,3 0,1 1,0 2,0 4,2"},
    {'\'', 1.0f, "0.5,4 0.5,3"},
    {'(', 2.0f, "2,4.5 0.5,3 0.5,1 2,-0.5"},
    {')', 2.0f, "0,4.5 1.5,3 1.5,1 0,-0.5"},
    {'*', 3.0f, "1.5,1.5 1.5,4;0,3.3 3,2.2;0,2.2 3,3.3"},
    {'+', 4.0f, "0,2 4,2;2,0.5 2,3.5"},
    {',', 1.0f, "0.5,0.3 0.2,-0.7"},
    {'-', 3.0f, "0,2 3,2"},
    {'.', 1.0f, "0.5,0 0.5,0.3"},
    {'/', 3.0f, "0,0 3,4"},
    {'0', 4.0f, "1,0 0,1 0,3 1,4 3,4 4,3 4,1 3,0 1,0;1.2,1.2 2.8,2.8"},
    {'1', 3.0f, "0,3 1.5,4 1.5,0;0,0 3,0"},
    {'2', 4.0f, "0,3 1,4 3,4 4,3 0,0 4,0"},
    {'3', 4.0f, "0,4 3,4 4,3 3,2 1.5,2;3,2 4,1 3,0 0,0"},
    {'4', 4.0f, "3,0 3,4 0,1 4,1"},
    {'5', 4.0f, "4,4 0,4 0,2 3,2 4,1 3,0 0,0"},
    {'6', 4.0f, "3,4 1,4 0,3 0,1 1,0 3,0 4,1 3,2 0,2"},
    {'7', 4.0f, "0,4 4,4 1,0"},
    {'8', 4.0f, "1,2 0,3 1,4 3,4 4,3 3,2 1,2 0,1 1,0 3,0 4,1 3,2"},
    {'9', 4.0f, "1,0 3,0 4,1 4,3 3,4 1,4 0,3 1,2 4,2"},
    {':', 1.0f, "0.5,0 0.5,0.3;0.5,2.5 0.5,2.8"},
    {';', 1.0f, "0.5,2.5 0.5,2.8;0.5,0.3 0.2,-0.7"},
    {'<', 3.0f, "3,3.5 0,2 3,0.5"},
    {'=', 4.0f, "0,1.3 4,1.3;0,2.7 4,2.7"},
    {'>', 3.0f, "0,3.5 3,2 0,0.5"},
    {'?', 4.0f, "0,3 1,4 3,4 4,3 2,2 2,1.2;2,0 2,0.3"},
    {'@', 4.0f, "3,1 3,3 1,3 1,1 4,1 4,4 0,4 0,0 4,0"},
    {'A', 4.0f, "0,0 0,3 1,4 3,4 4,3 4,0;0,2 4,2"},
    {'B', 4.0f, "0,0 0,4 3,4 4,3 3,2 0,2;3,2 4,1 3,0 0,0"},
    {'C', 4.0f, "4,4 1,4 0,3 0,1 1,0 4,0"},
    {'D', 4.0f, "0,0 0,4 3,4 4,3 4,1 3,0 0,0"},
    {'E', 4.0f, "4,4 0,4 0,0 4,0;0,2 3,2"},
    {'F', 4.0f, "4,4 0,4 0,0;0,2 3,2"},
    {'G', 4.0f, "4,4 1,4 0,3 0,1 1,0 4,0 4,2 2,2"},
    {'H', 4.0f, "0,0 0,4;4,0 4,4;0,2 4,2"},
    {'I', 1.0f, "0.5,0 0.5,4"},
    {'J', 4.0f, "4,4 4,1 3,0 1,0 0,1"},
    {'K', 4.0f, "0,0 0,4;4,4 0,2 4,0"},
    {'L', 4.0f, "0,4 0,0 4,0"},
    {'M', 4.0f, "0,0 0,4 2,2 4,4 4,0"},
    {'N', 4.0f, "0,0 0,4 4,0 4,4"},
    {'O', 4.0f, "1,0 0,1 0,3 1,4 3,4 4,3 4,1 3,0 1,0"},
    {'P', 4.0f, "0,0 0,4 3,4 4,3 3,2 0,2"},
    {'Q', 4.0f, "1,0 0,1 0,3 1,4 3,4 4,3 4,1 3,0 1,0;2.5,1.5 4,0"},
    {'R', 4.0f, "0,0 0,4 3,4 4,3 3,2 0,2;2,2 4,0"},
    {'S', 4.0f, "4,4 1,4 0,3 1,2 3,2 4,1 3,0 0,0"},
    {'T', 4.0f, "0,4 4,4;2,4 2,0"},
    {'U', 4.0f, "0,4 0,1 1,0 3,0 4,1 4,4"},
    {'V', 4.0f, "0,4 2,0 4,4"},
    {'W', 4.0f, "0,4 1,0 2,2 3,0 4,4"},
    {'X', 4.0f, "0,0 4,4;0,4 4,0"},
    {'Y', 4.0f, "0,4 2,2 4,4;2,2 2,0"},
    {'Z', 4.0f, "0,4 4,4 0,0 4,0"},
    {'[', 2.0f, "2,4.5 0,4.5 0,-0.5 2,-0.5"},
    {'\\', 3.0f, "0,4 3,0"},
    {']', 2.0f, "0,4.5 2,4.5 2,-0.5 0,-0.5"},
    {'^', 3.0f, "0,3 1.5,4.5 3,3"},
    {'_', 4.0f, "0,-0.5 4,-0.5"},
    {'`', 1.0f, "0,4.5 1,3.5"},
    {'{', 2.0f, "2,4.5 1,4 1,2.5 0,2 1,1.5 1,0 2,-0.5"},
    {'|', 1.0f, "0.5,5 0.5,-1"},
    {'}', 2.0f, "0,4.5 1,4 1,2.5 2,2 1,1.5 1,0 0,-0.5"},
    {'~', 4.0f, "0,2 1,2.7 3,1.3 4,2"},
};

// Small letters are the capitals' outlines drawn three units high, at these widths.
// Narrower than the capitals, so that the tutor's and the speech menu's lines fit their boxes.
float SmallAdvance(char c, float capitalAdvance) {
  if (c == 'm' || c == 'w') return 4.334f;
  if (c == 'a') return 3.667f;
  if (capitalAdvance >= 4.0f) return 3.334f;
  return capitalAdvance;
}

struct Font {
  FontGlyph glyphs[c_fontGlyphs];
  float verts[c_fontVertexLimit * 2];
  int vertexCount = 0;

  void Emit(float x, float y) {
    if (vertexCount >= c_fontVertexLimit) return;
    verts[vertexCount * 2] = x;
    verts[vertexCount * 2 + 1] = y;
    ++vertexCount;
  }
  // One triangle, turned counter-clockwise.
  void Triangle(float ax, float ay, float bx, float by, float cx, float cy) {
    if (vertexCount + 3 > c_fontVertexLimit) return;
    const float area = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
    Emit(ax, ay);
    if (area < 0.0f) {
      Emit(cx, cy);
      Emit(bx, by);
    } else {
      Emit(bx, by);
      Emit(cx, cy);
    }
  }
  // A stroke segment as a quad, squared off half a width beyond both ends so joints close.
  void Segment(float x0, float y0, float x1, float y1) {
    float dx = x1 - x0, dy = y1 - y0;
    const float len = std::sqrt(dx * dx + dy * dy);
    if (len < 1e-6f) {
      dx = 1.0f;
      dy = 0.0f;
    } else {
      dx /= len;
      dy /= len;
    }
    const float hx = c_strokeX * 0.5f, hy = c_strokeY * 0.5f;
    const float ax = x0 - dx * hx, ay = y0 - dy * hy, bx = x1 + dx * hx, by = y1 + dy * hy;
    const float nx = -dy * hx, ny = dx * hy;
    Triangle(ax - nx, ay - ny, bx - nx, by - ny, bx + nx, by + ny);
    Triangle(ax - nx, ay - ny, bx + nx, by + ny, ax + nx, ay + ny);
  }
  // Lays out one outline scaled by (kx, ky) into a glyph of the given advance.
  void Outline(const char* outline, float advance, float kx, float ky) {
    const char* p = outline;
    while (*p) {
      const bool fill = *p == '#';
      if (fill) ++p;
      float px[32], py[32];
      int n = 0;
      while (*p && *p != ';') {
        char* end = nullptr;
        const float x = strtof(p, &end);
        if (end == p || *end != ',') break;
        p = end + 1;
        const float y = strtof(p, &end);
        if (end == p) break;
        p = end;
        while (*p == ' ') ++p;
        if (n < 32) {
          px[n] = x * kx;
          py[n] = y * ky;
          ++n;
        }
      }
      if (fill) {
        for (int i = 1; i + 1 < n; ++i) Triangle(px[0], py[0], px[i], py[i], px[i + 1], py[i + 1]);
      } else {
        // Centre lines pulled in by half the stroke, so the ink fills 0..advance by 0..4 x ky.
        const float w = advance > c_strokeX ? advance : c_strokeX + 0.01f;
        const float sxIn = (w - c_strokeX) / w, syIn = (4.0f * ky - c_strokeY) / (4.0f * ky);
        for (int i = 0; i < n; ++i) {
          px[i] = c_strokeX * 0.5f + px[i] * sxIn;
          py[i] = c_strokeY * 0.5f + py[i] * syIn;
        }
        for (int i = 0; i + 1 < n; ++i) Segment(px[i], py[i], px[i + 1], py[i + 1]);
        if (n == 1) Segment(px[0], py[0], px[0], py[0]);
      }
      if (*p == ';') ++p;
    }
  }
  void Glyph(int code, float advance, const char* outline, float kx, float ky) {
    glyphs[code].first = vertexCount;
    glyphs[code].advance = advance;
    Outline(outline, advance, kx, ky);
    glyphs[code].count = vertexCount - glyphs[code].first;
  }

  Font() {
    const GlyphSource* byCode[c_fontGlyphs] = {};
    for (const GlyphSource& g : glyphSources) byCode[g.code] = &g;
    for (int c = 0; c < c_fontGlyphs; ++c) {
      if (c == ' ') {
        glyphs[c] = FontGlyph{0.0f, 0, vertexCount};
      } else if (byCode[c]) {
        Glyph(c, byCode[c]->advance, byCode[c]->outline, 1.0f, 1.0f);
      } else if (c >= 'a' && c <= 'z' && byCode[c - 32]) {
        const GlyphSource& cap = *byCode[c - 32];
        const float adv = SmallAdvance(static_cast<char>(c), cap.advance);
        Glyph(c, adv, cap.outline, adv / cap.advance, 0.75f);
      } else {
        Glyph(c, 3.0f, c_tofu, 1.0f, 1.0f);  // codes without a shape of their own
      }
    }
    ASSERTM(vertexCount < c_fontVertexLimit, "the font's outlines need %d vertices", vertexCount);
  }
};

const Font& TheFont() {
  static const Font* font = new Font();  // made once, kept for the process
  return *font;
}

}  // namespace

const FontGlyph* FontGlyphTable() { return TheFont().glyphs; }
const float* FontVertices() { return TheFont().verts; }
int FontVertexCount() { return TheFont().vertexCount; }

int TextLayout(const char* text, float* out, size_t capacity, float x, float y, float w, float h, float* width,
               float* height) {
  const Font& font = TheFont();
  const float sx = 0.2f * w, sy = 0.2f * h;
  const float line = c_fontLineAdvance * sy;
  float penX = x, penY = y - 5.0f * sy, widest = x;
  int lines = 1, triangles = 0;
  const int limit = out ? static_cast<int>(capacity / 24) : 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text ? text : ""); *p; ++p) {
    const int c = *p;
    if (c >= c_fontGlyphs) continue;
    if (c == '\n') {
      penY -= line;
      penX = x;
      ++lines;
      continue;
    }
    if (c == ' ') {
      penX += 3.0f * sx;
      continue;
    }
    const FontGlyph& g = font.glyphs[c];
    const float right = penX + g.advance * sx;
    if (right > widest) widest = right;
    const int glyphTriangles = g.count / 3;
    if (triangles + glyphTriangles > limit) continue;
    const float* v = font.verts + g.first * 2;
    float* o = out + triangles * 6;
    for (int i = 0; i < g.count; ++i) {
      o[i * 2] = penX + sx * v[i * 2];
      o[i * 2 + 1] = penY + sy * v[i * 2 + 1];
    }
    penX += (g.advance + 1.0f) * sx;
    triangles += glyphTriangles;
  }
  if (width) *width = widest - x;
  if (height) *height = static_cast<float>(lines) * c_fontLineAdvance * sy - 1.25f * sy;
  return triangles;
}

float TextWidth(const char* text, size_t n, float w) {
  const Font& font = TheFont();
  const float sx = 0.2f * w;
  float pen = 0.0f, widest = 0.0f;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text ? text : "");
  for (size_t i = 0; i < n && p[i] && p[i] != '\n'; ++i) {
    const int c = p[i];
    if (c >= c_fontGlyphs) continue;
    if (c == ' ') {
      pen += 3.0f * sx;
      continue;
    }
    const float advance = font.glyphs[c].advance;
    if (pen + advance * sx > widest) widest = pen + advance * sx;
    pen += (advance + 1.0f) * sx;
  }
  return widest;
}
