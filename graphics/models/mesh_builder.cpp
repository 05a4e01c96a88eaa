// Building blocks of the static ".geo" models: closed low-poly solids with per-vertex colour and outlines.
#include "graphics/models/mesh_builder.h"

#include <cmath>
#include <cstring>

#include "utility/log.h"

Rgb Shade(Rgb c, float f) {
  auto one = [f](uint8_t v) {
    const float s = static_cast<float>(v) * f;
    return static_cast<uint8_t>(s <= 0.0f ? 0.0f : (s >= 255.0f ? 255.0f : s + 0.5f));
  };
  return Rgb{one(c.r), one(c.g), one(c.b)};
}

Rgb Mix(Rgb a, Rgb b, float t) {
  auto one = [t](uint8_t x, uint8_t y) {
    const float s = static_cast<float>(x) + (static_cast<float>(y) - static_cast<float>(x)) * t;
    return static_cast<uint8_t>(s <= 0.0f ? 0.0f : (s >= 255.0f ? 255.0f : s + 0.5f));
  };
  return Rgb{one(a.r, b.r), one(a.g, b.g), one(a.b, b.b)};
}

namespace {

const double c_pi = 3.14159265358979323846;

// Cosine and sine of an angle in degrees; the quarter turns come out exact, so boxes turned by
// them keep their corners on the same floats as unturned ones.
void CosSin(double degrees, float* c, float* s) {
  double turns = degrees / 90.0;
  if (turns == std::floor(turns)) {
    static const float cs[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    const int q = static_cast<int>(((static_cast<long long>(turns) % 4) + 4) % 4);
    *c = cs[q][0];
    *s = cs[q][1];
    return;
  }
  *c = static_cast<float>(std::cos(degrees * c_pi / 180.0));
  *s = static_cast<float>(std::sin(degrees * c_pi / 180.0));
}

GeoVertex Vertex(const Vec3& p, Rgb c) { return GeoVertex{p.x, p.y, p.z, {c.r, c.g, c.b, 255}}; }

float Cross2(const Pt2& o, const Pt2& a, const Pt2& b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }

}  // namespace

MeshBuilder::MeshBuilder() { m_stack.reserve(8); }

void MeshBuilder::Push() { m_stack.push_back(m_xf); }

void MeshBuilder::Pop() {
  if (m_stack.empty()) {
    ASSERTT(false, "MeshBuilder::Pop without Push");
    m_xf = Matrix44();
  } else {
    m_xf = m_stack.back();
    m_stack.pop_back();
  }
  const float* m = m_xf.m;
  const float det =
      m[0] * (m[5] * m[10] - m[6] * m[9]) - m[4] * (m[1] * m[10] - m[2] * m[9]) + m[8] * (m[1] * m[6] - m[2] * m[5]);
  m_mirrored = det < 0.0f;
}

void MeshBuilder::Compose(const Matrix44& m) {
  m_xf = m_xf * m;
  const float* a = m_xf.m;
  const float det =
      a[0] * (a[5] * a[10] - a[6] * a[9]) - a[4] * (a[1] * a[10] - a[2] * a[9]) + a[8] * (a[1] * a[6] - a[2] * a[5]);
  m_mirrored = det < 0.0f;
}

void MeshBuilder::Translate(float x, float y, float z) { Compose(Matrix44::Translation(Vec3{x, y, z})); }
void MeshBuilder::Scale(float x, float y, float z) { Compose(Matrix44::Scale(Vec3{x, y, z})); }

void MeshBuilder::RotateX(float degrees) {
  float c, s;
  CosSin(degrees, &c, &s);
  Matrix44 r;
  r.m[5] = c, r.m[6] = s, r.m[9] = -s, r.m[10] = c;
  Compose(r);
}

void MeshBuilder::RotateY(float degrees) {
  float c, s;
  CosSin(degrees, &c, &s);
  Matrix44 r;
  r.m[0] = c, r.m[2] = -s, r.m[8] = s, r.m[10] = c;
  Compose(r);
}

void MeshBuilder::RotateZ(float degrees) {
  float c, s;
  CosSin(degrees, &c, &s);
  Matrix44 r;
  r.m[0] = c, r.m[1] = s, r.m[4] = -s, r.m[5] = c;
  Compose(r);
}

void MeshBuilder::Triangle(const Vec3& a, const Vec3& b, const Vec3& c, Rgb ca, Rgb cb, Rgb cc) {
  const Vec3 pa = Place(a), pb = Place(b), pc = Place(c);
  m_tris.push_back(Vertex(pa, ca));
  if (m_mirrored) {
    m_tris.push_back(Vertex(pc, cc));
    m_tris.push_back(Vertex(pb, cb));
  } else {
    m_tris.push_back(Vertex(pb, cb));
    m_tris.push_back(Vertex(pc, cc));
  }
}

void MeshBuilder::Line(const Vec3& a, const Vec3& b, Rgb c) {
  m_lines.push_back(Vertex(Place(a), c));
  m_lines.push_back(Vertex(Place(b), c));
}

void MeshBuilder::Edge(const Vec3& a, const Vec3& b, Rgb c) {
  if (m_outline > 0.0f) Line(a, b, Shade(c, m_outline));
}

void MeshBuilder::Quad(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d, Rgb ca, Rgb cb, Rgb cc, Rgb cd) {
  Triangle(a, b, c, ca, cb, cc);
  Triangle(a, c, d, ca, cc, cd);
}

void MeshBuilder::Cell(const Vec3 b[4], const Vec3 t[4], Rgb bottom, Rgb top) {
  Quad(b[0], b[3], b[2], b[1], bottom, bottom, bottom, bottom);
  Quad(t[0], t[1], t[2], t[3], top, top, top, top);
  for (int i = 0; i < 4; ++i) {
    const int j = (i + 1) % 4;
    Quad(b[i], b[j], t[j], t[i], bottom, bottom, top, top);
  }
  for (int i = 0; i < 4; ++i) {
    const int j = (i + 1) % 4;
    Edge(b[i], b[j], bottom);
    Edge(t[i], t[j], top);
    Edge(b[i], t[i], Mix(bottom, top, 0.5f));
  }
}

void MeshBuilder::Box(const Vec3& lo, const Vec3& hi, Rgb bottom, Rgb top) {
  const Vec3 b[4] = {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z}};
  const Vec3 t[4] = {{lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}};
  Cell(b, t, bottom, top);
}

void MeshBuilder::Prism(int n, float r0, float r1, float z0, float z1, Rgb c0, Rgb c1, float phase) {
  ASSERTT_OR_RETURN_VOID(n >= 3 && n <= 64, "prism sides within 3..64");
  Vec3 lo[64], hi[64];
  for (int i = 0; i < n; ++i) {
    float c, s;
    CosSin(phase + 360.0 * i / n, &c, &s);
    lo[i] = Vec3{r0 * c, r0 * s, z0};
    hi[i] = Vec3{r1 * c, r1 * s, z1};
  }
  const Vec3 bottomCentre{0.0f, 0.0f, z0}, topCentre{0.0f, 0.0f, z1};
  for (int i = 0; i < n; ++i) {
    const int j = (i + 1) % n;
    Triangle(bottomCentre, lo[j], lo[i], c0, c0, c0);
    if (r1 > 0.0f) {
      Quad(lo[i], lo[j], hi[j], hi[i], c0, c0, c1, c1);
      Triangle(topCentre, hi[i], hi[j], c1, c1, c1);
    } else {
      Triangle(lo[i], lo[j], topCentre, c0, c0, c1);
    }
    Edge(lo[i], lo[j], c0);
    if (r1 > 0.0f) Edge(hi[i], hi[j], c1);
    if (n <= 8) Edge(lo[i], r1 > 0.0f ? hi[i] : topCentre, Mix(c0, c1, 0.5f));
  }
}

void MeshBuilder::Rod(const Vec3& from, const Vec3& to, float radius, int n, Rgb c0, Rgb c1) {
  const Vec3 d = to - from;
  const float len = d.Length();
  if (len <= 0.0f) return;
  // Turn +z onto the rod's direction: tilt about y, then turn about z.
  const float horiz = sqrtf(d.x * d.x + d.y * d.y);
  const float tilt =
      static_cast<float>(std::atan2(static_cast<double>(horiz), static_cast<double>(d.z)) * 180.0 / c_pi);
  const float turn =
      horiz > 0.0f ? static_cast<float>(std::atan2(static_cast<double>(d.y), static_cast<double>(d.x)) * 180.0 / c_pi)
                   : 0.0f;
  Push();
  Translate(from.x, from.y, from.z);
  RotateZ(turn);
  RotateY(tilt);
  Prism(n, radius, radius, 0.0f, len, c0, c1, 180.0f / n);
  Pop();
}

void MeshBuilder::Sphere(const Vec3& centre, const Vec3& radii, int rings, int segments, Rgb bottom, Rgb top) {
  ASSERTT_OR_RETURN_VOID(rings >= 2 && segments >= 3 && rings <= 32 && segments <= 64,
                         "sphere rings within 2..32 and segments within 3..64");
  // Ring k (1 .. rings-1) at latitude -90 + 180 k / rings; the poles are single points.
  Vec3 pts[31][64];
  Rgb cols[33];
  for (int k = 0; k <= rings; ++k) cols[k] = Mix(bottom, top, static_cast<float>(k) / static_cast<float>(rings));
  for (int k = 1; k < rings; ++k) {
    float cl, sl;
    CosSin(-90.0 + 180.0 * k / rings, &cl, &sl);
    for (int i = 0; i < segments; ++i) {
      float c, s;
      CosSin(360.0 * i / segments + (k % 2) * 180.0 / segments, &c, &s);
      pts[k - 1][i] = Vec3{centre.x + radii.x * cl * c, centre.y + radii.y * cl * s, centre.z + radii.z * sl};
    }
  }
  const Vec3 south{centre.x, centre.y, centre.z - radii.z}, north{centre.x, centre.y, centre.z + radii.z};
  for (int i = 0; i < segments; ++i) {
    const int j = (i + 1) % segments;
    Triangle(south, pts[0][j], pts[0][i], cols[0], cols[1], cols[1]);
    Triangle(north, pts[rings - 2][i], pts[rings - 2][j], cols[rings], cols[rings - 1], cols[rings - 1]);
  }
  // Neighbouring rings are staggered by half a segment, so the bands are strips of triangles.
  for (int k = 1; k + 1 < rings; ++k) {
    const Vec3* a = pts[k - 1];
    const Vec3* b = pts[k];
    const Rgb ca = cols[k], cb = cols[k + 1];
    for (int i = 0; i < segments; ++i) {
      const int j = (i + 1) % segments;
      if (k % 2) {
        // Ring k is turned by half a segment: b[j] lies between a[i] and a[j].
        Triangle(a[i], a[j], b[j], ca, ca, cb);
        Triangle(a[i], b[j], b[i], ca, cb, cb);
      } else {
        // Ring k+1 is the turned one: b[i] lies between a[i] and a[j].
        Triangle(a[i], a[j], b[i], ca, ca, cb);
        Triangle(a[j], b[j], b[i], ca, cb, cb);
      }
    }
  }
  const int mid = (rings - 1) / 2;
  for (int i = 0; i < segments && m_outline > 0.0f; ++i) Edge(pts[mid][i], pts[mid][(i + 1) % segments], cols[mid + 1]);
}

bool TriangulatePolygon(const std::vector<Pt2>& polygon, std::vector<int>* out) {
  const int n = static_cast<int>(polygon.size());
  if (n < 3) return false;
  float area2 = 0.0f;
  for (int i = 0; i < n; ++i) {
    const Pt2& a = polygon[i];
    const Pt2& b = polygon[(i + 1) % n];
    area2 += a.x * b.y - b.x * a.y;
  }
  if (!(area2 > 0.0f)) return false;
  std::vector<int> left(n);
  for (int i = 0; i < n; ++i) left[i] = i;
  int guard = 0;
  while (left.size() > 3) {
    const int m = static_cast<int>(left.size());
    bool clipped = false;
    for (int i = 0; i < m; ++i) {
      const int ia = left[(i + m - 1) % m], ib = left[i], ic = left[(i + 1) % m];
      const Pt2 &a = polygon[ia], &b = polygon[ib], &c = polygon[ic];
      if (Cross2(a, b, c) <= 0.0f) continue;
      bool inside = false;
      for (int k = 0; k < m && !inside; ++k) {
        const int ip = left[k];
        if (ip == ia || ip == ib || ip == ic) continue;
        const Pt2& p = polygon[ip];
        inside = Cross2(a, b, p) >= 0.0f && Cross2(b, c, p) >= 0.0f && Cross2(c, a, p) >= 0.0f;
      }
      if (inside) continue;
      out->push_back(ia);
      out->push_back(ib);
      out->push_back(ic);
      left.erase(left.begin() + i);
      clipped = true;
      break;
    }
    if (!clipped || ++guard > 4 * n) return false;
  }
  out->push_back(left[0]);
  out->push_back(left[1]);
  out->push_back(left[2]);
  return true;
}

void MeshBuilder::Extrude(const std::vector<Pt2>& polygon, float z0, float z1, Rgb side, Rgb top) {
  std::vector<int> caps;
  const bool simple = TriangulatePolygon(polygon, &caps);
  ASSERTT_OR_RETURN_VOID(simple, "extruded polygon is simple and counter-clockwise");
  const int n = static_cast<int>(polygon.size());
  auto lo = [&](int i) { return Vec3{polygon[i].x, polygon[i].y, z0}; };
  auto hi = [&](int i) { return Vec3{polygon[i].x, polygon[i].y, z1}; };
  for (size_t k = 0; k + 2 < caps.size(); k += 3) {
    Triangle(hi(caps[k]), hi(caps[k + 1]), hi(caps[k + 2]), top, top, top);
    Triangle(lo(caps[k]), lo(caps[k + 2]), lo(caps[k + 1]), side, side, side);
  }
  for (int i = 0; i < n; ++i) {
    const int j = (i + 1) % n;
    Quad(lo(i), lo(j), hi(j), hi(i), side, side, top, top);
    Edge(hi(i), hi(j), top);
    Edge(lo(i), lo(j), side);
    Edge(lo(i), hi(i), side);
  }
}

void MeshBuilder::Loft(const std::vector<std::vector<Vec3>>& rings, const std::vector<Rgb>& colours) {
  const size_t k = rings.size();
  ASSERTT_OR_RETURN_VOID(k >= 2 && colours.size() == k && rings[0].size() >= 3,
                         "loft of at least two rings of three points, one colour per ring");
  const size_t n = rings[0].size();
  for (const std::vector<Vec3>& r : rings) ASSERTT_OR_RETURN_VOID(r.size() == n, "loft rings of equal size");
  auto mean = [n](const std::vector<Vec3>& r) {
    Vec3 m;
    for (const Vec3& p : r) m += p;
    return m * (1.0f / static_cast<float>(n));
  };
  const Vec3 bottom = mean(rings[0]), top = mean(rings[k - 1]);
  for (size_t i = 0; i < n; ++i) {
    const size_t j = (i + 1) % n;
    Triangle(bottom, rings[0][j], rings[0][i], colours[0], colours[0], colours[0]);
    Triangle(top, rings[k - 1][i], rings[k - 1][j], colours[k - 1], colours[k - 1], colours[k - 1]);
    for (size_t r = 0; r + 1 < k; ++r)
      Quad(rings[r][i], rings[r][j], rings[r + 1][j], rings[r + 1][i], colours[r], colours[r], colours[r + 1],
           colours[r + 1]);
    if (n <= 8)
      for (size_t r = 0; r + 1 < k; ++r) Edge(rings[r][i], rings[r + 1][i], colours[r]);
    Edge(rings[0][i], rings[0][j], colours[0]);
    Edge(rings[k - 1][i], rings[k - 1][j], colours[k - 1]);
  }
}

void MeshBuilder::Log(int n, float r, float x0, float x1, Rgb side, Rgb ends) {
  ASSERTT_OR_RETURN_VOID(n >= 3 && n <= 64, "log sides within 3..64");
  Vec3 a[64], b[64];
  for (int i = 0; i < n; ++i) {
    float c, s;
    // Half a side off the bottom, so the log rests on a flat face.
    CosSin(-90.0 + 180.0 / n + 360.0 * i / n, &c, &s);
    a[i] = Vec3{x0, r * c, r + r * s};
    b[i] = Vec3{x1, r * c, r + r * s};
  }
  const Vec3 ca{x0, 0.0f, r}, cb{x1, 0.0f, r};
  for (int i = 0; i < n; ++i) {
    const int j = (i + 1) % n;
    Triangle(ca, a[j], a[i], ends, ends, ends);
    Triangle(cb, b[i], b[j], ends, ends, ends);
    Quad(a[i], a[j], b[j], b[i], side, side, side, side);
    Edge(a[i], a[j], side);
    Edge(b[i], b[j], side);
  }
}

void MeshBuilder::Ring(int n, float r0, float r1, float z0, float z1, Rgb bottom, Rgb top, float phase) {
  ASSERTT_OR_RETURN_VOID(n >= 3 && n <= 64, "ring cells within 3..64");
  for (int i = 0; i < n; ++i) {
    float c0, s0, c1, s1;
    CosSin(phase + 360.0 * i / n, &c0, &s0);
    CosSin(phase + 360.0 * (i + 1) / n, &c1, &s1);
    const Vec3 b[4] = {{r0 * c0, r0 * s0, z0}, {r1 * c0, r1 * s0, z0}, {r1 * c1, r1 * s1, z0}, {r0 * c1, r0 * s1, z0}};
    const Vec3 t[4] = {{r0 * c0, r0 * s0, z1}, {r1 * c0, r1 * s0, z1}, {r1 * c1, r1 * s1, z1}, {r0 * c1, r0 * s1, z1}};
    Cell(b, t, bottom, top);
  }
}

void MeshBuilder::SnapToGround() {
  if (m_tris.empty()) return;
  float low = m_tris[0].z;
  for (const GeoVertex& v : m_tris) low = v.z < low ? v.z : low;
  for (GeoVertex& v : m_tris) v.z -= low;
  for (GeoVertex& v : m_lines) v.z -= low;
}

std::vector<uint8_t> MeshBuilder::GeoImage() const {
  const int32_t counts[2] = {TriangleCount(), LineCount()};
  std::vector<uint8_t> image(12 + (m_tris.size() + m_lines.size()) * sizeof(GeoVertex));
  memcpy(image.data(), "geo ", 4);
  memcpy(image.data() + 4, counts, 8);
  uint8_t* p = image.data() + 12;
  // Vertex by vertex, so the bytes never depend on how the vector lays out its elements.
  for (const std::vector<GeoVertex>* list : {&m_tris, &m_lines}) {
    for (const GeoVertex& v : *list) {
      memcpy(p, &v.x, 4);
      memcpy(p + 4, &v.y, 4);
      memcpy(p + 8, &v.z, 4);
      memcpy(p + 12, v.rgba, 4);
      p += 16;
    }
  }
  return image;
}
