// FontFileCheck: checks a TrueType font held in memory before the font library parses it, which trusts every offset.
#include "utility/font_file.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// Composite glyphs may nest; the library recurses without a limit, so a glyph that includes
// itself would never end. Real fonts nest two or three deep.
constexpr int c_nestingLimit = 8;
// Outline pieces visited for one character, nested ones included: bounds the work a hostile
// composite tree can ask for.
constexpr int c_componentLimit = 4096;
// The largest font file taken at all (the library keeps offsets in ints).
constexpr size_t c_imageLimit = 64u << 20;

// Big-endian reads that note, instead of making, a read outside the image.
struct Reader {
  const uint8_t* data;
  uint64_t size;
  bool ok = true;

  bool Has(uint64_t at, uint64_t bytes) {
    if (at > size || bytes > size - at) ok = false;
    return ok;
  }
  uint32_t U8(uint64_t at) { return Has(at, 1) ? data[at] : 0; }
  uint32_t U16(uint64_t at) { return Has(at, 2) ? (uint32_t{data[at]} << 8) | data[at + 1] : 0; }
  int32_t S16(uint64_t at) { return static_cast<int16_t>(U16(at)); }
  uint32_t U32(uint64_t at) {
    return Has(at, 4) ? (uint32_t{data[at]} << 24) | (uint32_t{data[at + 1]} << 16) | (uint32_t{data[at + 2]} << 8) |
                            data[at + 3]
                      : 0;
  }
};

struct Font {
  Reader r;
  uint32_t cmap = 0, loca = 0, head = 0, glyf = 0, glyfLength = 0, hhea = 0, hmtx = 0, maxp = 0;
  uint32_t indexMap = 0;
  int numGlyphs = 0;
  int longMetrics = 0;
  int locFormat = 0;
  int lineHeight = 0;  // ascent - descent, in font units
  int components = 0;
};

// The first table of that tag, as the library finds it; 0 when there is none.
uint32_t FindTable(Reader* r, const char* tag, uint32_t* length) {
  const uint32_t count = r->U16(4);
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t record = 12 + 16 * uint64_t{i};
    if (r->Has(record, 16) && !memcmp(r->data + record, tag, 4)) {
      if (length) *length = r->U32(record + 12);
      return r->U32(record + 8);
    }
  }
  return 0;
}

// The glyph of a character, read as the library reads it (format 4's search included, since
// its search fields come from the file); -1 when a read would leave the image.
int32_t GlyphOf(Font* f, uint32_t c) {
  Reader& r = f->r;
  const uint32_t map = f->indexMap;
  const uint32_t format = r.U16(map);
  int64_t glyph = 0;
  if (format == 0) {
    const int32_t bytes = static_cast<int32_t>(r.U16(map + 2));
    if (static_cast<int32_t>(c) < bytes - 6) glyph = r.U8(map + 6 + uint64_t{c});
  } else if (format == 6) {
    const uint32_t firstCode = r.U16(map + 6), count = r.U16(map + 8);
    if (c >= firstCode && c < firstCode + count) glyph = r.U16(map + 10 + uint64_t{c - firstCode} * 2);
  } else if (format == 4) {
    const uint32_t segcount = r.U16(map + 6) >> 1;
    uint32_t searchRange = r.U16(map + 8) >> 1;
    uint32_t entrySelector = r.U16(map + 10);
    const uint32_t rangeShift = r.U16(map + 12) >> 1;
    // The binary search takes one step per level of a table of at most 32768 segments; more
    // levels only repeat reads (the library loops that often for every character).
    if (entrySelector > 15) return -1;
    const uint32_t endCount = map + 14;
    uint32_t search = endCount;
    if (c >= r.U16(search + uint64_t{rangeShift} * 2)) search += rangeShift * 2;
    search -= 2;
    while (entrySelector && r.ok) {
      searchRange >>= 1;
      const uint32_t end = r.U16(search + uint64_t{searchRange} * 2);
      if (c > end) search += searchRange * 2;
      --entrySelector;
    }
    search += 2;
    const uint32_t item = static_cast<uint16_t>((search - endCount) >> 1);
    const uint32_t start = r.U16(uint64_t{map} + 14 + segcount * 2 + 2 + 2 * item);
    const uint32_t last = r.U16(uint64_t{endCount} + 2 * item);
    if (c >= start && c <= last) {
      const uint32_t offset = r.U16(uint64_t{map} + 14 + segcount * 6 + 2 + 2 * item);
      if (offset == 0)
        glyph = static_cast<uint16_t>(c + r.S16(uint64_t{map} + 14 + segcount * 4 + 2 + 2 * item));
      else
        glyph = r.U16(uint64_t{offset} + (c - start) * 2 + map + 14 + segcount * 6 + 2 + 2 * item);
    }
  } else if (format == 12 || format == 13) {
    const uint32_t groups = r.U32(map + 12);
    if (!r.Has(uint64_t{map} + 16, uint64_t{groups} * 12)) return -1;
    int64_t low = 0, high = groups;
    while (low < high) {
      const int64_t mid = low + ((high - low) >> 1);
      const uint32_t startChar = r.U32(map + 16 + mid * 12), endChar = r.U32(map + 16 + mid * 12 + 4);
      if (c < startChar) {
        high = mid;
      } else if (c > endChar) {
        low = mid + 1;
      } else {
        const uint32_t startGlyph = r.U32(map + 16 + mid * 12 + 8);
        glyph = format == 12 ? int64_t{startGlyph} + (c - startChar) : startGlyph;
        break;
      }
    }
  } else {
    return -1;  // formats the library asserts on or does not know
  }
  if (!r.ok) return -1;
  return glyph >= 0 && glyph <= INT32_MAX ? static_cast<int32_t>(glyph) : -1;
}

// Where a glyph's outline starts and ends inside the image; start == end for an empty glyph.
bool GlyphExtent(Font* f, int glyph, uint64_t* start, uint64_t* end) {
  Reader& r = f->r;
  uint64_t a, b;
  if (f->locFormat == 0) {
    a = uint64_t{r.U16(f->loca + uint64_t(glyph) * 2)} * 2;
    b = uint64_t{r.U16(f->loca + uint64_t(glyph) * 2 + 2)} * 2;
  } else {
    a = r.U32(f->loca + uint64_t(glyph) * 4);
    b = r.U32(f->loca + uint64_t(glyph) * 4 + 4);
  }
  if (!r.ok || a > b || b > f->glyfLength) return false;
  *start = f->glyf + a;
  *end = f->glyf + b;
  return true;
}

// The box that a glyph's outline points span once the library has read them, 0 included (a line's
// control point is 0, and moves with the rest when the glyph is placed in another).
struct Bounds {
  float minX = 0, maxX = 0, minY = 0, maxY = 0;
  void Add(float x, float y) {
    minX = std::min(minX, x), maxX = std::max(maxX, x);
    minY = std::min(minY, y), maxY = std::max(maxY, y);
  }
};

// The library walks a glyph's flags three times (flags, x, y); this gives them one by one.
struct FlagWalk {
  Reader* g;
  uint64_t p;
  uint32_t repeat = 0, flags = 0;
  uint32_t Next() {
    if (repeat == 0) {
      flags = g->U8(p++);
      if (flags & 8) repeat = g->U8(p++);
    } else {
      --repeat;
    }
    return flags;
  }
};

// The library's outline walk for one glyph, bounded to the glyph's own bytes; *bounds gets the
// span of its points as the library will hold them.
bool GlyphCheck(Font* f, int glyph, int depth, Bounds* bounds, const char** problem) {
  *bounds = Bounds();
  if (glyph >= f->numGlyphs) return true;  // the library draws nothing for it
  if (depth > c_nestingLimit || ++f->components > c_componentLimit) {
    *problem = "a composite glyph nests too deep (or includes itself)";
    return false;
  }
  uint64_t start = 0, end = 0;
  if (!GlyphExtent(f, glyph, &start, &end)) {
    *problem = "a glyph's location lies outside the glyph table";
    return false;
  }
  if (start == end) return true;
  Reader g{f->r.data, end};  // reads stop at the glyph's end
  const int contours = g.S16(start);
  const int x0 = g.S16(start + 2), y0 = g.S16(start + 4), x1 = g.S16(start + 6), y1 = g.S16(start + 8);
  if (!g.ok) {
    *problem = "a glyph is shorter than its header";
    return false;
  }
  // The bitmap of a glyph is sized from its box; a box far beyond the line height would ask
  // the atlas for more memory than any screen needs.
  if (depth == 0 && (x1 < x0 || y1 < y0 || x1 - x0 > 4 * f->lineHeight || y1 - y0 > 4 * f->lineHeight)) {
    *problem = "a glyph's box is inverted or far larger than a line";
    return false;
  }
  if (contours > 0) {
    const uint64_t endPoints = start + 10;
    uint32_t previous = 0;
    for (int i = 0; i < contours; ++i) {
      const uint32_t e = g.U16(endPoints + uint64_t(i) * 2);
      // The library finds the next contour by equality; ends that do not rise would send it
      // reading contour ends past the list.
      if (i > 0 && e <= previous) {
        *problem = "a glyph's contours do not follow each other";
        return false;
      }
      previous = e;
    }
    const uint32_t instructions = g.U16(endPoints + uint64_t(contours) * 2);
    const uint64_t flagStart = endPoints + uint64_t(contours) * 2 + 2 + instructions;
    const uint32_t points = previous + 1;
    // Flags, with repeats; then x and y in the sizes the flags give.
    FlagWalk walk{&g, flagStart};
    int contour = 0;
    uint32_t contourStart = 0;
    for (uint32_t i = 0; i < points && g.ok; ++i) {
      const uint32_t flags = walk.Next();
      if (i == contourStart) {
        const uint32_t contourEnd = g.U16(endPoints + uint64_t(contour) * 2);
        // A contour that starts off the curve takes its start from its next point; with none,
        // the library would read past its point list.
        if (!(flags & 1) && contourEnd == i) {
          *problem = "a glyph has a contour of one off-curve point";
          return false;
        }
        contourStart = contourEnd + 1;
        ++contour;
      }
    }
    // The coordinates, summed as the library sums them and kept as 16-bit values.
    uint64_t p = walk.p;
    for (int axis = 0; axis < 2 && g.ok; ++axis) {
      const uint32_t shortBit = axis == 0 ? 2 : 4, sameBit = axis == 0 ? 16 : 32;
      FlagWalk again{&g, flagStart};
      int64_t v = 0;
      float low = 0, high = 0;
      for (uint32_t i = 0; i < points && g.ok; ++i) {
        const uint32_t flags = again.Next();
        if (flags & shortBit) {
          const int64_t d = g.U8(p++);
          v += (flags & sameBit) ? d : -d;
        } else if (!(flags & sameBit)) {
          v += g.S16(p);
          p += 2;
        }
        // The library sums in 32 bits; a sum beyond them would be undefined there.
        if (v > INT32_MAX || v < INT32_MIN) {
          *problem = "a glyph's coordinates add up beyond their range";
          return false;
        }
        const float stored = static_cast<float>(static_cast<int16_t>(v));
        low = std::min(low, stored), high = std::max(high, stored);
      }
      if (axis == 0) bounds->minX = low, bounds->maxX = high;
      if (axis == 1) bounds->minY = low, bounds->maxY = high;
    }
    if (!g.ok) {
      *problem = "a glyph's outline runs past its end";
      return false;
    }
    return true;
  }
  if (contours < 0) {
    uint64_t p = start + 10;
    for (;;) {
      const uint32_t flags = g.U16(p), component = g.U16(p + 2);
      p += 4;
      if (!(flags & 2)) {
        *problem = "a composite glyph places a part by points, which is not supported";
        return false;
      }
      // The part's placement, read as the library reads it.
      float m[6] = {1, 0, 0, 1, 0, 0};
      if (flags & 1) {
        m[4] = static_cast<float>(g.S16(p)), m[5] = static_cast<float>(g.S16(p + 2));
        p += 4;
      } else {
        m[4] = static_cast<float>(static_cast<int8_t>(g.U8(p))),
        m[5] = static_cast<float>(static_cast<int8_t>(g.U8(p + 1)));
        p += 2;
      }
      if (flags & 8) {
        m[0] = m[3] = g.S16(p) / 16384.0f;
        p += 2;
      } else if (flags & 64) {
        m[0] = g.S16(p) / 16384.0f, m[3] = g.S16(p + 2) / 16384.0f;
        p += 4;
      } else if (flags & 128) {
        for (int k = 0; k < 4; ++k) m[k] = g.S16(p + 2 * k) / 16384.0f;
        p += 8;
      }
      if (!g.ok) {
        *problem = "a composite glyph runs past its end";
        return false;
      }
      Bounds part;
      if (!GlyphCheck(f, static_cast<int>(component), depth + 1, &part, problem)) return false;
      // The library converts each placed point back to 16 bits; a point placed beyond that range
      // is a conversion the language leaves undefined. The extremes lie at the box's corners.
      const float sx = std::sqrt(m[0] * m[0] + m[1] * m[1]), sy = std::sqrt(m[2] * m[2] + m[3] * m[3]);
      for (const float x : {part.minX, part.maxX}) {
        for (const float y : {part.minY, part.maxY}) {
          const float px = sx * (m[0] * x + m[2] * y + m[4]), py = sy * (m[1] * x + m[3] * y + m[5]);
          if (!(std::fabs(px) < 32000.0f && std::fabs(py) < 32000.0f)) {
            *problem = "a composite glyph places a part beyond the coordinate range";
            return false;
          }
          bounds->Add(std::trunc(px), std::trunc(py));
        }
      }
      if (!(flags & 32)) break;
    }
  }
  return true;
}

}  // namespace

bool FontFileCheck(const uint8_t* image, size_t size, int first, int last, const char** problem) {
  const char* unused = nullptr;
  if (!problem) problem = &unused;
  *problem = "";
  if (!image || size < 12 || size > c_imageLimit) {
    *problem = "not the size of a font file";
    return false;
  }
  Font f{Reader{image, size}};
  Reader& r = f.r;
  const uint32_t version = r.U32(0);
  // TrueType outlines only ("true" is the old Apple tag); collections and CFF fonts are not ours.
  if (version != 0x00010000 && version != 0x74727565) {
    *problem = "not a TrueType font";
    return false;
  }
  const uint32_t tables = r.U16(4);
  if (tables == 0 || !r.Has(12, uint64_t{tables} * 16)) {
    *problem = "the table directory runs past the end of the file (cut short?)";
    return false;
  }
  for (uint32_t i = 0; i < tables; ++i) {
    const uint64_t record = 12 + uint64_t{i} * 16;
    if (!r.Has(r.U32(record + 8), r.U32(record + 12))) {
      *problem = "a table lies past the end of the file (cut short?)";
      return false;
    }
  }
  uint32_t cmapLength = 0, headLength = 0, hheaLength = 0, maxpLength = 0, locaLength = 0;
  f.cmap = FindTable(&r, "cmap", &cmapLength);
  f.loca = FindTable(&r, "loca", &locaLength);
  f.head = FindTable(&r, "head", &headLength);
  f.glyf = FindTable(&r, "glyf", &f.glyfLength);
  f.hhea = FindTable(&r, "hhea", &hheaLength);
  f.hmtx = FindTable(&r, "hmtx", nullptr);
  f.maxp = FindTable(&r, "maxp", &maxpLength);
  if (!f.cmap || !f.loca || !f.head || !f.glyf || !f.hhea || !f.hmtx || !f.maxp) {
    *problem = "a table a TrueType font needs is missing";
    return false;
  }
  if (headLength < 54 || hheaLength < 36 || maxpLength < 6 || cmapLength < 4) {
    *problem = "a table is shorter than its fixed fields";
    return false;
  }
  f.numGlyphs = static_cast<int>(r.U16(f.maxp + 4));
  f.locFormat = static_cast<int>(r.U16(f.head + 50));
  f.longMetrics = static_cast<int>(r.U16(f.hhea + 34));
  f.lineHeight = r.S16(f.hhea + 4) - r.S16(f.hhea + 6);
  if (f.locFormat > 1 || f.numGlyphs == 0 || f.longMetrics == 0 || f.lineHeight <= 0 || r.U16(f.head + 18) == 0) {
    *problem = "the font's header fields make no sense";
    return false;
  }
  if (!r.Has(f.loca, (uint64_t(f.numGlyphs) + 1) * (f.locFormat ? 4 : 2)) ||
      uint64_t(f.numGlyphs + 1) * (f.locFormat ? 4 : 2) > locaLength) {
    *problem = "the glyph locations run past their table";
    return false;
  }
  // The character map the library picks: the last Unicode one in the list.
  const uint32_t maps = r.U16(f.cmap + 2);
  for (uint32_t i = 0; i < maps; ++i) {
    const uint64_t record = uint64_t{f.cmap} + 4 + 8 * uint64_t{i};
    const uint32_t platform = r.U16(record), encoding = r.U16(record + 2);
    if ((platform == 3 && (encoding == 1 || encoding == 10)) || platform == 0) f.indexMap = f.cmap + r.U32(record + 4);
  }
  if (!r.ok || f.indexMap == 0) {
    *problem = "the font has no Unicode character map";
    return false;
  }
  for (int c = first; c <= last; ++c) {
    const int32_t glyph = GlyphOf(&f, static_cast<uint32_t>(c));
    if (glyph < 0 || glyph >= f.numGlyphs) {
      *problem = "the character map reads past the file or names glyphs the font does not have";
      return false;
    }
    if (glyph == 0) continue;  // not in the font: the GUI skips it
    // Advance and side bearing, as the library reads them.
    const uint64_t metrics = glyph < f.longMetrics ? uint64_t{f.hmtx} + 4 * uint64_t(glyph) + 4
                                                   : uint64_t{f.hmtx} + 4 * uint64_t(f.longMetrics) +
                                                         2 * uint64_t(glyph - f.longMetrics) + 2;
    if (!r.Has(f.hmtx, metrics - f.hmtx)) {
      *problem = "the glyph metrics run past the end of the file";
      return false;
    }
    f.components = 0;
    Bounds bounds;
    if (!GlyphCheck(&f, glyph, 0, &bounds, problem)) return false;
  }
  return true;
}
