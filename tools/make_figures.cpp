// Generates the animated figures (props/ork.md2, druid.md2, dragon.md2), their skins and sparkle.dds.
//
// Usage: make_figures <data folder> [--preview <png> [--crown <crown.geo>]]
//
// Each figure is a handful of low-poly primitives (tubes, cones, ellipsoids), each bound rigidly to one
// bone of a small skeleton. A sequence is a function from its phase to the bones' rotations; frames are
// sampled at 10 per second and stored as quantised vertices, in the file format's clockwise winding (the
// reader reverses it). The crown is placed through six fixed distinct-vertex numbers of the ork, so the
// ork's triangles are ordered until the reader's numbering puts points of the head at exactly those
// numbers. Skins are painted procedurally into an atlas and written as DXT1 with every mip level (the
// blocks by stb_dxt); the sparkle is uncompressed 32-bit with its mip levels. Only plain arithmetic, sin,
// cos and sqrt in a fixed order are used (stb_dxt's too) and every byte written is set, so every build
// writes the same files.
//
// Index of this file:
// [SECTION] Small maths
// [SECTION] Meshes
// [SECTION] Triangle order for fixed distinct-vertex numbers
// [SECTION] Figures, poses and sequences
// [SECTION] Skin painting
// [SECTION] The ork
// [SECTION] The druid
// [SECTION] The dragon
// [SECTION] File writing
// [SECTION] Reading back
// [SECTION] Preview
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "graphics/models/model_formats.h"
#include "utility/png.h"

#define STB_DXT_IMPLEMENTATION
#define STB_DXT_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb/stb_dxt.h>
#pragma GCC diagnostic pop

namespace {

constexpr double c_pi = 3.14159265358979323846;

// ---------------------------------------------------------------------------------------------------
// [SECTION] Small maths
// ---------------------------------------------------------------------------------------------------

struct V3 {
  double x = 0, y = 0, z = 0;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Len(V3 a) { return std::sqrt(Dot(a, a)); }
V3 Unit(V3 a) {
  const double l = Len(a);
  return l > 0 ? a * (1.0 / l) : V3{0, 0, 1};
}
V3 Lerp(V3 a, V3 b, double t) { return a + (b - a) * t; }
double Smooth(double t) {
  t = std::clamp(t, 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// Affine transform: rows of a 3x4 matrix.
struct Affine {
  double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
};
Affine Mul(const Affine& a, const Affine& b) {
  Affine r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 4; ++j) {
      double s = (j == 3) ? a.m[i][3] : 0.0;
      for (int k = 0; k < 3; ++k) s += a.m[i][k] * b.m[k][j];
      r.m[i][j] = s;
    }
  }
  return r;
}
V3 Apply(const Affine& a, V3 v) {
  return {a.m[0][0] * v.x + a.m[0][1] * v.y + a.m[0][2] * v.z + a.m[0][3],
          a.m[1][0] * v.x + a.m[1][1] * v.y + a.m[1][2] * v.z + a.m[1][3],
          a.m[2][0] * v.x + a.m[2][1] * v.y + a.m[2][2] * v.z + a.m[2][3]};
}
Affine Translation(V3 t) {
  Affine r;
  r.m[0][3] = t.x, r.m[1][3] = t.y, r.m[2][3] = t.z;
  return r;
}
// Rotation applied as roll about x first, then pitch about y, then yaw about z.
Affine Rotation(V3 angles) {
  const double cx = std::cos(angles.x), sx = std::sin(angles.x);
  const double cy = std::cos(angles.y), sy = std::sin(angles.y);
  const double cz = std::cos(angles.z), sz = std::sin(angles.z);
  Affine rx, ry, rz;
  rx.m[1][1] = cx, rx.m[1][2] = -sx, rx.m[2][1] = sx, rx.m[2][2] = cx;
  ry.m[0][0] = cy, ry.m[0][2] = sy, ry.m[2][0] = -sy, ry.m[2][2] = cy;
  rz.m[0][0] = cz, rz.m[0][1] = -sz, rz.m[1][0] = sz, rz.m[1][1] = cz;
  return Mul(rz, Mul(ry, rx));
}

// Deterministic hash noise in 0..1.
double Hash(int x, int y, int seed) {
  uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u +
               static_cast<uint32_t>(seed) * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return (h & 0xffffu) / 65535.0;
}
double ValueNoise(double x, double y, int seed) {
  const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
  const double fx = Smooth(x - ix), fy = Smooth(y - iy);
  const double a = Hash(ix, iy, seed), b = Hash(ix + 1, iy, seed);
  const double c = Hash(ix, iy + 1, seed), d = Hash(ix + 1, iy + 1, seed);
  return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

// ---------------------------------------------------------------------------------------------------
// [SECTION] Meshes
// ---------------------------------------------------------------------------------------------------

struct Region {
  int x, y, w, h;  // texels of the skin atlas
};

struct Corner {
  int v;   // model vertex
  int st;  // texture coordinate entry
  bool operator<(const Corner& o) const { return v != o.v ? v < o.v : st < o.st; }
  bool operator==(const Corner& o) const { return v == o.v && st == o.st; }
};

struct Tri {
  Corner c[3];  // counter-clockwise seen from outside
};

struct Mesh {
  std::vector<V3> pos;  // rest pose, figure units: x forward, y left, z up
  std::vector<int> bone;
  std::vector<std::array<int16_t, 2>> st;
  std::map<std::pair<int, int>, int> stLookup;  // texture coordinates are unique by value
  std::vector<Tri> tris;

  int AddVertex(V3 p, int b) {
    pos.push_back(p);
    bone.push_back(b);
    return static_cast<int>(pos.size()) - 1;
  }
  // u, v in 0..1 across the region, kept one texel inside its border against bleeding.
  int AddSt(const Region& r, double u, double v) {
    const int s = r.x + 1 + static_cast<int>(std::lround(std::clamp(u, 0.0, 1.0) * (r.w - 2)));
    const int t = r.y + 1 + static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * (r.h - 2)));
    const auto key = std::make_pair(s, t);
    const auto it = stLookup.find(key);
    if (it != stLookup.end()) return it->second;
    st.push_back({static_cast<int16_t>(s), static_cast<int16_t>(t)});
    const int n = static_cast<int>(st.size()) - 1;
    stLookup[key] = n;
    return n;
  }
  void AddTri(Corner a, Corner b, Corner c) { tris.push_back(Tri{{a, b, c}}); }
};

struct Ring {
  V3 c;
  double r1, r2;  // radius along the tube frame's first and second axis; both 0 = a point (apex)
};

// A tube through the ring centres, closed at both ends (a zero ring is an apex instead of a cap).
// The frame's first axis is the world z projected off the tube axis (world x for an upright tube).
void AddTube(Mesh& mesh, int bone, const Region& region, const std::vector<Ring>& rings, int sides,
             double angle0 = 0.0) {
  const V3 d = Unit(rings.back().c - rings.front().c);
  const V3 ref = std::fabs(d.z) > 0.8 ? V3{1, 0, 0} : V3{0, 0, 1};
  const V3 e1 = Unit(ref - d * Dot(d, ref));
  const V3 e2 = Cross(d, e1);
  const int n = static_cast<int>(rings.size());
  std::vector<std::vector<Corner>> grid(n);
  for (int i = 0; i < n; ++i) {
    const Ring& r = rings[i];
    const double v = static_cast<double>(i) / (n - 1);
    if (r.r1 == 0.0 && r.r2 == 0.0) {
      grid[i].assign(sides + 1, Corner{mesh.AddVertex(r.c, bone), mesh.AddSt(region, 0.5, v)});
      continue;
    }
    std::vector<int> verts;
    for (int j = 0; j < sides; ++j) {
      const double a = angle0 + 2 * c_pi * j / sides;
      verts.push_back(mesh.AddVertex(r.c + e1 * (r.r1 * std::cos(a)) + e2 * (r.r2 * std::sin(a)), bone));
    }
    for (int j = 0; j <= sides; ++j)
      grid[i].push_back(Corner{verts[j % sides], mesh.AddSt(region, static_cast<double>(j) / sides, v)});
  }
  auto isApex = [&](int i) { return rings[i].r1 == 0.0 && rings[i].r2 == 0.0; };
  for (int i = 0; i + 1 < n; ++i) {
    for (int j = 0; j < sides; ++j) {
      const Corner a = grid[i][j], b = grid[i][j + 1], c = grid[i + 1][j + 1], e = grid[i + 1][j];
      if (!isApex(i)) mesh.AddTri(a, b, c);
      if (!isApex(i + 1)) mesh.AddTri(a, c, e);
    }
  }
  if (!isApex(0)) {
    const Corner centre{mesh.AddVertex(rings[0].c, bone), mesh.AddSt(region, 0.5, 0.0)};
    for (int j = 0; j < sides; ++j) mesh.AddTri(centre, grid[0][j + 1], grid[0][j]);
  }
  if (!isApex(n - 1)) {
    const Corner centre{mesh.AddVertex(rings[n - 1].c, bone), mesh.AddSt(region, 0.5, 1.0)};
    for (int j = 0; j < sides; ++j) mesh.AddTri(centre, grid[n - 1][j], grid[n - 1][j + 1]);
  }
}

// A latitude-longitude ellipsoid with single-vertex poles. Column j sits at longitude angle0 + j x
// 2 pi / columns (measured from +x toward +y), so the texture seam lies at angle0.
struct Ellipsoid {
  Corner top, bottom;
  std::vector<std::vector<Corner>> rings;  // rings[i - 1][j], i = 1 .. latitudes - 1, j = 0 .. columns
};
Ellipsoid AddEllipsoid(Mesh& mesh, int bone, const Region& region, V3 c, V3 r, int columns, int latitudes,
                       double angle0 = c_pi) {
  Ellipsoid e;
  e.top = Corner{mesh.AddVertex(c + V3{0, 0, r.z}, bone), mesh.AddSt(region, 0.5, 0.0)};
  for (int i = 1; i < latitudes; ++i) {
    const double th = c_pi * i / latitudes;
    std::vector<int> verts;
    for (int j = 0; j < columns; ++j) {
      const double ph = angle0 + 2 * c_pi * j / columns;
      verts.push_back(mesh.AddVertex(
          c + V3{r.x * std::sin(th) * std::cos(ph), r.y * std::sin(th) * std::sin(ph), r.z * std::cos(th)}, bone));
    }
    std::vector<Corner> ring;
    for (int j = 0; j <= columns; ++j)
      ring.push_back(Corner{verts[j % columns],
                            mesh.AddSt(region, static_cast<double>(j) / columns, static_cast<double>(i) / latitudes)});
    e.rings.push_back(ring);
  }
  e.bottom = Corner{mesh.AddVertex(c - V3{0, 0, r.z}, bone), mesh.AddSt(region, 0.5, 1.0)};
  for (int j = 0; j < columns; ++j) mesh.AddTri(e.top, e.rings[0][j], e.rings[0][j + 1]);
  for (size_t i = 0; i + 1 < e.rings.size(); ++i) {
    for (int j = 0; j < columns; ++j) {
      const Corner a = e.rings[i][j], b = e.rings[i + 1][j], cc = e.rings[i + 1][j + 1], d = e.rings[i][j + 1];
      mesh.AddTri(a, b, cc);
      mesh.AddTri(a, cc, d);
    }
  }
  for (int j = 0; j < columns; ++j) mesh.AddTri(e.bottom, e.rings.back()[j + 1], e.rings.back()[j]);
  return e;
}

// A thin sheet seen from both sides (wings).
void AddSheet(Mesh& mesh, int bone, const Region& region, const std::vector<V3>& fan, const std::vector<V3>& uv) {
  std::vector<Corner> corners;
  for (size_t i = 0; i < fan.size(); ++i)
    corners.push_back(Corner{mesh.AddVertex(fan[i], bone), mesh.AddSt(region, uv[i].x, uv[i].y)});
  for (size_t i = 1; i + 1 < corners.size(); ++i) {
    mesh.AddTri(corners[0], corners[i], corners[i + 1]);
    mesh.AddTri(corners[0], corners[i + 1], corners[i]);
  }
}

// ---------------------------------------------------------------------------------------------------
// [SECTION] Triangle order for fixed distinct-vertex numbers
// ---------------------------------------------------------------------------------------------------
//
// The reader numbers the distinct (vertex, texture coordinate) pairs in the order they first appear in
// its corner stream (each file triangle a, b, c read as a, c, b: that is our counter-clockwise order).
// To give a chosen pair a fixed number, its triangles are held back until exactly that many pairs have
// appeared and then one of them, whose other corners are already numbered, is emitted. Gaps that no
// ordinary triangle fits are closed with "filler" pairs introduced the same way one at a time.

struct SlotTarget {
  int slot;
  Corner pair;
};

bool OrderForSlots(Mesh& mesh, std::vector<SlotTarget> targets) {
  std::map<Corner, int> ids;
  for (const Tri& t : mesh.tris)
    for (const Corner& c : t.c) ids.emplace(c, static_cast<int>(ids.size()));
  const int pairCount = static_cast<int>(ids.size());
  const int triCount = static_cast<int>(mesh.tris.size());
  std::vector<std::array<int, 3>> tp(triCount);
  std::vector<std::set<int>> neighbours(pairCount);
  std::vector<std::vector<int>> trisOf(pairCount);
  for (int t = 0; t < triCount; ++t) {
    for (int k = 0; k < 3; ++k) tp[t][k] = ids[mesh.tris[t].c[k]];
    for (int k = 0; k < 3; ++k) {
      trisOf[tp[t][k]].push_back(t);
      for (int l = 0; l < 3; ++l)
        if (l != k) neighbours[tp[t][k]].insert(tp[t][l]);
    }
  }
  std::sort(targets.begin(), targets.end(), [](const SlotTarget& a, const SlotTarget& b) { return a.slot < b.slot; });
  std::vector<char> special(pairCount, 0), blocked(pairCount, 0);
  std::vector<int> targetIds;
  for (const SlotTarget& s : targets) {
    const auto it = ids.find(s.pair);
    if (it == ids.end()) {
      fprintf(stderr, "make_figures: an attachment pair is not a corner of any triangle\n");
      return false;
    }
    targetIds.push_back(it->second);
    special[it->second] = 1;
  }
  auto block = [&](int p) {
    blocked[p] = 1;
    for (int q : neighbours[p]) {
      blocked[q] = 1;
      for (int r : neighbours[q]) blocked[r] = 1;
    }
  };
  for (int p : targetIds) block(p);
  std::vector<int> fillers;
  for (int p = 0; p < pairCount && fillers.size() < 64; ++p) {
    if (blocked[p] || trisOf[p].size() < 3) continue;
    fillers.push_back(p);
    special[p] = 1;
    block(p);
  }
  // Triangles around the targets' neighbours go first, so the targets can be introduced in time.
  std::vector<int> order, late;
  for (int t = 0; t < triCount; ++t) {
    bool nearTarget = false;
    for (int p : targetIds)
      for (int k = 0; k < 3; ++k) nearTarget = nearTarget || neighbours[p].count(tp[t][k]) > 0;
    (nearTarget ? order : late).push_back(t);
  }
  order.insert(order.end(), late.begin(), late.end());

  std::vector<char> numbered(pairCount, 0), introduced(pairCount, 0), emitted(triCount, 0);
  std::vector<Tri> out;
  int count = 0;
  auto fresh = [&](int t) {
    int n = 0;
    for (int k = 0; k < 3; ++k) n += !numbered[tp[t][k]];
    return n;
  };
  auto held = [&](int t, int except) {
    for (int k = 0; k < 3; ++k)
      if (special[tp[t][k]] && !introduced[tp[t][k]] && tp[t][k] != except) return true;
    return false;
  };
  auto emit = [&](int t) {
    emitted[t] = 1;
    out.push_back(mesh.tris[t]);
    for (int k = 0; k < 3; ++k)
      if (!numbered[tp[t][k]]) numbered[tp[t][k]] = 1, ++count;
  };
  // Introduces a special pair as the next number through one of its triangles.
  auto introduce = [&](int p) {
    for (int t : trisOf[p]) {
      if (emitted[t] || held(t, p) || fresh(t) != 1 || numbered[p]) continue;
      emit(t);
      introduced[p] = 1;
      return true;
    }
    return false;
  };
  for (size_t i = 0; i < targets.size(); ++i) {
    const int slot = targets[i].slot;
    while (count < slot) {
      bool done = false;
      for (int t : order) {
        if (emitted[t] || held(t, -1)) continue;
        const int n = fresh(t);
        if (n > 0 && n <= slot - count) {
          emit(t);
          done = true;
          break;
        }
      }
      for (size_t f = 0; !done && f < fillers.size(); ++f)
        if (!introduced[fillers[f]]) done = introduce(fillers[f]);
      if (!done) {
        fprintf(stderr, "make_figures: cannot fill distinct vertex %d before slot %d\n", count, slot);
        return false;
      }
    }
    if (count > slot || !introduce(targetIds[i])) {
      fprintf(stderr, "make_figures: cannot place an attachment vertex at slot %d\n", slot);
      return false;
    }
  }
  for (int f : fillers) introduced[f] = 1;
  for (int t : order)
    if (!emitted[t]) emit(t);
  mesh.tris = out;
  return true;
}

// ---------------------------------------------------------------------------------------------------
// [SECTION] Figures, poses and sequences
// ---------------------------------------------------------------------------------------------------

struct Pose {
  std::vector<V3> rot;  // per bone: roll (x), pitch (y), yaw (z) in radians
  V3 offset;            // moves the whole figure after grounding
  V3 rootPivot;         // point the root bone turns about
  bool ground = true;   // lift or lower the figure so its lowest point touches z = 0
};

Pose Mix(const Pose& a, const Pose& b, double t) {
  Pose r = a;
  for (size_t i = 0; i < r.rot.size(); ++i) r.rot[i] = Lerp(a.rot[i], b.rot[i], t);
  r.offset = Lerp(a.offset, b.offset, t);
  r.rootPivot = Lerp(a.rootPivot, b.rootPivot, t);
  return r;
}

// Blends through key poses at the given phases (ascending, the first 0 and the last 1).
Pose Keys(const std::vector<std::pair<double, Pose>>& keys, double p) {
  for (size_t i = 0; i + 1 < keys.size(); ++i)
    if (p <= keys[i + 1].first)
      return Mix(keys[i].second, keys[i + 1].second, Smooth((p - keys[i].first) / (keys[i + 1].first - keys[i].first)));
  return keys.back().second;
}

struct Sequence {
  const char* name;
  int frames;
  bool loop;  // looping sequences sample a full cycle without repeating the first frame
  std::function<Pose(double)> pose;
};

struct Figure {
  const char* name;  // file base name
  Mesh mesh;
  std::vector<int> parent;
  std::vector<V3> pivot;
  std::vector<Sequence> sequences;
  std::vector<SlotTarget> slots;  // fixed distinct-vertex numbers, if any
  int skinSize = 256;
  std::vector<uint8_t> skin;  // RGBA, skinSize x skinSize
};

std::vector<V3> PoseVertices(const Figure& fig, const Pose& pose) {
  const size_t bones = fig.parent.size();
  std::vector<Affine> world(bones);
  for (size_t b = 0; b < bones; ++b) {
    const V3 pv = (b == 0) ? pose.rootPivot : fig.pivot[b];
    const Affine local = Mul(Translation(pv), Mul(Rotation(pose.rot[b]), Translation(pv * -1.0)));
    world[b] = fig.parent[b] < 0 ? local : Mul(world[fig.parent[b]], local);
  }
  std::vector<V3> out(fig.mesh.pos.size());
  double minZ = 1e30;
  for (size_t v = 0; v < out.size(); ++v) {
    out[v] = Apply(world[fig.mesh.bone[v]], fig.mesh.pos[v]);
    minZ = std::min(minZ, out[v].z);
  }
  const V3 shift = pose.offset - V3{0, 0, pose.ground ? minZ : 0.0};
  for (V3& v : out) v = v + shift;
  return out;
}

// ---------------------------------------------------------------------------------------------------
// [SECTION] Skin painting
// ---------------------------------------------------------------------------------------------------

struct Rgb {
  double r, g, b;
};
Rgb Mixc(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }
Rgb Scale(Rgb a, double s) { return {a.r * s, a.g * s, a.b * s}; }

// Paints a region; the painter gets u, v in 0..1 across the region (as AddSt maps them).
void Paint(Figure& fig, const Region& r, const std::function<Rgb(double, double)>& painter) {
  for (int y = r.y; y < r.y + r.h; ++y) {
    for (int x = r.x; x < r.x + r.w; ++x) {
      const double u = (x - r.x - 1 + 0.5) / (r.w - 2), v = (y - r.y - 1 + 0.5) / (r.h - 2);
      const Rgb c = painter(std::clamp(u, 0.0, 1.0), std::clamp(v, 0.0, 1.0));
      uint8_t* px = &fig.skin[(static_cast<size_t>(y) * fig.skinSize + x) * 4];
      px[0] = static_cast<uint8_t>(std::clamp(std::lround(c.r), 0L, 255L));
      px[1] = static_cast<uint8_t>(std::clamp(std::lround(c.g), 0L, 255L));
      px[2] = static_cast<uint8_t>(std::clamp(std::lround(c.b), 0L, 255L));
      px[3] = 255;
    }
  }
}

// A flat colour with a little mottling.
std::function<Rgb(double, double)> Mottled(Rgb base, double amount, int seed, double freq = 8.0) {
  return [=](double u, double v) {
    const double n =
        ValueNoise(u * freq, v * freq, seed) * 0.7 + ValueNoise(u * freq * 3, v * freq * 3, seed + 1) * 0.3;
    return Scale(base, 1.0 + amount * (n - 0.5) * 2);
  };
}

// Longitude difference from the front (+x) of an ellipsoid texel, for face painting.
double FrontAngle(double u, double angle0) {
  double a = angle0 + u * 2 * c_pi;
  while (a > c_pi) a -= 2 * c_pi;
  while (a <= -c_pi) a += 2 * c_pi;
  return a;
}

double Blob(double du, double dv, double ru, double rv) {
  const double d = (du * du) / (ru * ru) + (dv * dv) / (rv * rv);
  return d < 1 ? 1.0 : 0.0;
}

// ---------------------------------------------------------------------------------------------------
// [SECTION] The ork
// ---------------------------------------------------------------------------------------------------
// The ork: the characters' figure, every sequence the characters play, and the crown's attachment.

enum OrkBone { O_ROOT, O_TORSO, O_HEAD, O_LUARM, O_LFARM, O_RUARM, O_RFARM, O_LTHIGH, O_LSHIN, O_RTHIGH, O_RSHIN };

// The crown's attachment frame blends these distinct vertices of the ork: the first pair only for the
// origin (the mean of all six), the second pair, back minus front, for the crown's y axis, and the
// third pair for up. The crown model wears its jewel on its -y side, so it ends up over the face.
constexpr int c_crownLeft = 82, c_crownRight = 129, c_crownBack = 119, c_crownFront = 305, c_crownTop = 134,
              c_crownBottom = 125;

Pose OrkRest() {
  Pose p;
  p.rot.assign(11, V3{});
  p.rootPivot = V3{0, 0, 20};
  p.rot[O_TORSO].y = 0.12;  // orks stoop
  p.rot[O_HEAD].y = -0.1;
  p.rot[O_LUARM].x = 0.15, p.rot[O_RUARM].x = -0.15;
  p.rot[O_LFARM].y = -0.25, p.rot[O_RFARM].y = -0.25;
  p.rot[O_LTHIGH].x = 0.05, p.rot[O_RTHIGH].x = -0.05;
  return p;
}

// Arm helpers: forward swing (up toward the front), outward lift, elbow bend.
void Arms(Pose& p, double lSwing, double rSwing, double lOut, double rOut, double lElbow, double rElbow) {
  p.rot[O_LUARM].y = -lSwing, p.rot[O_RUARM].y = -rSwing;
  p.rot[O_LUARM].x = lOut, p.rot[O_RUARM].x = -rOut;
  p.rot[O_LFARM].y = -lElbow, p.rot[O_RFARM].y = -rElbow;
}
void Legs(Pose& p, double lSwing, double rSwing, double lKnee, double rKnee) {
  p.rot[O_LTHIGH].y = -lSwing, p.rot[O_RTHIGH].y = -rSwing;
  p.rot[O_LSHIN].y = lKnee, p.rot[O_RSHIN].y = rKnee;
}

Pose OrkCrouch(double depth) {
  Pose p = OrkRest();
  Legs(p, 1.1 * depth, 1.1 * depth, 2.0 * depth, 2.0 * depth);
  p.rot[O_TORSO].y = 0.12 + 0.5 * depth;
  p.rot[O_HEAD].y = -0.1 - 0.3 * depth;
  return p;
}

Figure MakeOrk() {
  Figure f;
  f.name = "ork";
  f.parent = {-1, O_ROOT, O_TORSO, O_TORSO, O_LUARM, O_TORSO, O_RUARM, O_ROOT, O_LTHIGH, O_ROOT, O_RTHIGH};
  f.pivot = {{0, 0, 20},       {0, 0, 20.5},   {2, 0, 36.5},     {1.5, 9.5, 34},  {2, 10.8, 25.5},  {1.5, -9.5, 34},
             {2, -10.8, 25.5}, {0, 4.5, 19.5}, {0.8, 4.8, 10.5}, {0, -4.5, 19.5}, {0.8, -4.8, 10.5}};
  const Region head{0, 0, 128, 128}, skin{128, 0, 64, 64}, boots{192, 0, 64, 64}, tunic{128, 64, 128, 64},
      trousers{0, 128, 128, 64}, tusk{128, 128, 32, 32}, metal{160, 128, 32, 32}, belt{192, 128, 64, 32},
      cloth{0, 192, 64, 64};
  Mesh& m = f.mesh;

  // Head first: its texture seam sits at the back right, away from the attachment points.
  const double seam = 210.0 * c_pi / 180.0;
  const Ellipsoid h = AddEllipsoid(m, O_HEAD, head, V3{2.5, 0, 42.5}, V3{5.5, 5.0, 6.0}, 12, 8, seam);
  AddTube(m, O_HEAD, skin, {{{1.5, 0, 34}, 2.8, 2.8}, {{2, 0, 38.5}, 2.6, 2.6}}, 6);    // neck
  AddTube(m, O_HEAD, skin, {{{3, 0, 38.6}, 2.4, 3.6}, {{8.6, 0, 38.9}, 2.0, 3.0}}, 6);  // jaw
  AddTube(m, O_HEAD, skin, {{{7, 0, 42.6}, 1.1, 1.1}, {{8.6, 0, 41.8}, 0, 0}}, 4);      // nose
  for (double side : {1.0, -1.0}) {
    AddTube(m, O_HEAD, tusk, {{{7.4, 2.3 * side, 39.4}, 1.0, 1.0}, {{8.4, 3.0 * side, 42.8}, 0, 0}}, 4);
    AddTube(m, O_HEAD, skin, {{{2.5, 4.4 * side, 43.5}, 1.9, 0.6}, {{0.2, 10.5 * side, 46.0}, 0, 0}}, 4);
  }
  // Body.
  AddTube(m, O_TORSO, tunic,
          {{{0, 0, 18.5}, 5.0, 6.5},
           {{0.5, 0, 23}, 6.0, 7.5},
           {{1.5, 0, 29}, 6.5, 9.0},
           {{1.5, 0, 34}, 5.0, 9.5},
           {{1.5, 0, 36.2}, 2.5, 5.0}},
          10);
  AddTube(m, O_ROOT, belt, {{{0, 0, 17.8}, 6.0, 7.2}, {{0, 0, 20.8}, 6.2, 7.4}}, 10);
  AddTube(m, O_ROOT, trousers, {{{0, 0, 14.5}, 5.0, 6.4}, {{0, 0, 18.5}, 5.4, 6.8}}, 10);
  AddTube(m, O_ROOT, cloth, {{{5.6, 0, 18.5}, 0.5, 3.4}, {{6.4, 0, 9.5}, 0.4, 3.0}}, 4, c_pi / 4);
  AddTube(m, O_ROOT, cloth, {{{-5.2, 0, 18.5}, 0.5, 3.8}, {{-6.0, 0, 10.5}, 0.4, 3.2}}, 4, c_pi / 4);
  for (int s = 0; s < 2; ++s) {
    const double side = s == 0 ? 1.0 : -1.0;
    const int up = s == 0 ? O_LUARM : O_RUARM, fore = s == 0 ? O_LFARM : O_RFARM;
    const int thigh = s == 0 ? O_LTHIGH : O_RTHIGH, shin = s == 0 ? O_LSHIN : O_RSHIN;
    AddEllipsoid(m, up, metal, V3{1.5, 10.2 * side, 34.6}, V3{4.0, 3.2, 2.4}, 8, 4);
    AddTube(m, up, skin, {{{1.5, 9.5 * side, 34}, 2.6, 2.6}, {{2, 10.8 * side, 25.5}, 2.2, 2.2}}, 6);
    AddTube(m, fore, skin, {{{2, 10.8 * side, 25.5}, 2.4, 2.4}, {{3, 11.2 * side, 17}, 1.9, 1.9}}, 6);
    AddTube(m, fore, belt, {{{2.6, 11.0 * side, 21}, 2.4, 2.4}, {{3, 11.2 * side, 17.6}, 2.1, 2.1}}, 6);  // bracer
    AddEllipsoid(m, fore, skin, V3{3.3, 11.3 * side, 15.3}, V3{2.0, 1.6, 2.3}, 6, 4);
    AddTube(m, thigh, trousers, {{{0, 4.5 * side, 19}, 3.2, 3.2}, {{0.8, 4.8 * side, 10.5}, 2.6, 2.6}}, 6);
    AddTube(m, shin, boots, {{{0.8, 4.8 * side, 10.5}, 2.7, 2.7}, {{0.3, 4.8 * side, 2.5}, 2.1, 2.1}}, 6);
    AddTube(m, shin, boots, {{{-1.5, 4.8 * side, 1.3}, 1.3, 2.0}, {{5, 5.0 * side, 1.0}, 1.0, 1.7}}, 6);
  }

  // Attachment points: the two poles of the head and four points of its top ring (22.5 degrees from
  // the pole) at the front, back and both sides, so their mean lies where the crown's band fits
  // round the head. Columns are 30 degrees apart from the seam at 210.
  const std::vector<Corner>& ring = h.rings[0];
  auto column = [&](double degrees) { return static_cast<int>(std::lround((degrees - 210.0 + 360.0) / 30.0)) % 12; };
  f.slots = {{c_crownLeft, ring[column(90)]},
             {c_crownRight, ring[column(270)]},
             {c_crownFront, ring[column(360)]},
             {c_crownBack, ring[column(180)]},
             {c_crownTop, h.top},
             {c_crownBottom, h.bottom}};

  // Sequences.
  const double tau = 2 * c_pi;
  f.sequences.push_back({"idle", 20, true, [=](double p) {
                           Pose q = OrkRest();
                           const double s = std::sin(tau * p);
                           q.rot[O_TORSO].y = 0.12 + 0.04 * s;
                           q.rot[O_HEAD].z = 0.35 * std::sin(tau * p);
                           q.rot[O_HEAD].y = -0.1 + 0.05 * std::sin(tau * 2 * p);
                           Arms(q, 0.06 * s, -0.06 * s, 0.15 + 0.04 * s, 0.15 + 0.04 * s, 0.25, 0.25);
                           return q;
                         }});
  f.sequences.push_back({"walk", 6, true, [=](double p) {
                           Pose q = OrkRest();
                           const double s = std::sin(tau * p), c = std::cos(tau * p);
                           Legs(q, 0.65 * s, -0.65 * s, 0.1 + 1.0 * std::max(0.0, c), 0.1 + 1.0 * std::max(0.0, -c));
                           Arms(q, -0.5 * s, 0.5 * s, 0.15, 0.15, 0.4 - 0.2 * s, 0.4 + 0.2 * s);
                           q.rot[O_TORSO].y = 0.2;
                           q.rot[O_TORSO].z = 0.12 * s;
                           q.rot[O_HEAD].z = -0.1 * s;
                           return q;
                         }});
  f.sequences.push_back({"castmagic", 12, true, [=](double p) {
                           // Reaching down to the ground and back: picking up, planting, working.
                           const double b = 0.5 - 0.5 * std::cos(tau * p);
                           Pose q = OrkCrouch(0.35 * b);
                           q.rot[O_TORSO].y = 0.15 + 0.6 * b;
                           q.rot[O_HEAD].y = -0.1 - 0.35 * b;
                           const double wave = 0.3 * std::sin(tau * 2 * p);
                           Arms(q, 0.3 + 0.8 * b + wave, 0.3 + 0.8 * b - wave, 0.25 - 0.1 * b, 0.25 - 0.1 * b,
                                0.9 - 0.6 * b, 0.9 - 0.6 * b);
                           return q;
                         }});
  f.sequences.push_back({"death", 12, false, [=](double p) {
                           // Topples backward about the feet and lies on its back, arms flung out.
                           const double fall = std::pow(std::min(1.0, p / 0.75), 2.0);
                           Pose q = OrkRest();
                           q.rootPivot = V3{0, 0, 0};
                           q.rot[O_ROOT].y = -1.5 * fall + 0.06 * std::sin(std::max(0.0, p - 0.75) * 4 * c_pi);
                           Legs(q, 0.2 * std::sin(c_pi * fall), 0.4 * std::sin(c_pi * fall),
                                0.6 * std::sin(c_pi * fall), 0.3 + 0.3 * std::sin(c_pi * fall));
                           Arms(q, 1.2 * fall, 0.9 * fall, 0.15 + 1.1 * fall, 0.15 + 1.3 * fall, 0.25, 0.5 * fall);
                           q.rot[O_TORSO].y = 0.12 - 0.2 * fall;
                           q.rot[O_HEAD].y = -0.1 - 0.35 * fall;
                           q.rot[O_HEAD].z = 0.4 * fall;
                           return q;
                         }});
  {
    // Climbing out after the fall: up from all fours, a triumphant stretch, then at ease.
    Pose low = OrkCrouch(1.0);
    low.rot[O_TORSO].y = 0.95;
    low.rot[O_HEAD].y = -0.5;
    Arms(low, 0.9, 0.9, 0.3, 0.3, 0.1, 0.1);
    Pose half = OrkCrouch(0.5);
    Arms(half, 0.6, 0.4, 0.4, 0.4, 0.6, 0.6);
    Pose stretch = OrkRest();
    Arms(stretch, 2.7, 2.7, 0.45, 0.45, 0.2, 0.2);
    stretch.rot[O_TORSO].y = -0.15;
    stretch.rot[O_HEAD].y = -0.35;
    const Pose rest = OrkRest();
    f.sequences.push_back(
        {"spawn", 25, false, [=](double p) {
           return Keys({{0.0, low}, {0.2, low}, {0.5, half}, {0.7, stretch}, {0.82, stretch}, {1.0, rest}}, p);
         }});
  }
  {
    // Chopping: both hands together, wound up over the right shoulder, swung down to the front left.
    Pose raised = OrkRest();
    Arms(raised, 2.6, 2.6, -0.25, 0.35, 0.6, 0.5);
    raised.rot[O_TORSO].y = -0.05;
    raised.rot[O_TORSO].z = -0.4;
    Pose strike = OrkRest();
    Arms(strike, 0.75, 0.75, -0.3, -0.1, 0.15, 0.15);
    strike.rot[O_TORSO].y = 0.5;
    strike.rot[O_TORSO].z = 0.35;
    Legs(strike, 0.25, 0.25, 0.4, 0.4);
    f.sequences.push_back({"attackb", 8, true, [=](double p) {
                             return p < 0.6 ? Mix(strike, raised, Smooth(p / 0.6))
                                            : Mix(raised, strike, std::pow((p - 0.6) / 0.4, 0.5));
                           }});
  }
  {
    // Hammering with the right hand, the left braced forward.
    Pose raised = OrkRest();
    Arms(raised, 0.5, 2.8, 0.2, 0.2, 0.6, 1.3);
    raised.rot[O_TORSO].y = -0.05;
    Pose strike = OrkRest();
    Arms(strike, 0.6, 0.7, 0.2, 0.1, 0.5, 0.2);
    strike.rot[O_TORSO].y = 0.4;
    Legs(strike, 0.2, 0.2, 0.35, 0.35);
    f.sequences.push_back({"attacka", 6, true, [=](double p) {
                             return p < 0.55 ? Mix(strike, raised, Smooth(p / 0.55))
                                             : Mix(raised, strike, std::pow((p - 0.55) / 0.45, 0.5));
                           }});
  }
  f.sequences.push_back({"attackc", 8, true, [=](double p) {
                           // Punches, left and right in turn.
                           Pose q = OrkRest();
                           const double l = std::pow(std::max(0.0, std::sin(tau * p)), 2.0);
                           const double r = std::pow(std::max(0.0, -std::sin(tau * p)), 2.0);
                           Arms(q, 0.7 + 0.9 * l, 0.7 + 0.9 * r, 0.3 - 0.2 * l, 0.3 - 0.2 * r, 1.9 - 1.8 * l,
                                1.9 - 1.8 * r);
                           q.rot[O_TORSO].z = -0.35 * l + 0.35 * r;
                           q.rot[O_TORSO].y = 0.25;
                           Legs(q, 0.3, -0.2, 0.3, 0.2);
                           return q;
                         }});
  {
    Pose hit = OrkRest();
    hit.rot[O_TORSO].y = -0.45;
    hit.rot[O_HEAD].y = -0.45;
    Arms(hit, 0.9, 0.9, 0.6, 0.6, 0.7, 0.7);
    Legs(hit, 0.3, -0.1, 0.4, 0.3);
    hit.offset = V3{-2.0, 0, 0};
    const Pose rest = OrkRest();
    f.sequences.push_back({"hitfront", 6, true, [=](double p) {
                             return Keys({{0.0, rest}, {0.3, hit}, {1.0, rest}}, p);
                           }});
  }
  f.sequences.push_back({"runscared", 8, true, [=](double p) {
                           // Running on the spot with both arms flailing over the head.
                           Pose q = OrkRest();
                           const double s = std::sin(tau * p), c = std::cos(tau * p);
                           Legs(q, 0.8 * s, -0.8 * s, 0.2 + 1.2 * std::max(0.0, c), 0.2 + 1.2 * std::max(0.0, -c));
                           const double w = std::sin(tau * 2 * p);
                           Arms(q, 2.6 + 0.3 * w, 2.6 - 0.3 * w, 0.5 + 0.25 * w, 0.5 - 0.25 * w, 0.5, 0.5);
                           q.rot[O_TORSO].y = -0.05;
                           q.rot[O_HEAD].z = 0.45 * std::sin(tau * 2 * p);
                           q.rot[O_HEAD].y = -0.3;
                           return q;
                         }});
  {
    // Squatting, a wiggle, a hop and a landing.
    Pose squat = OrkCrouch(1.0);
    Arms(squat, 0.7, 0.7, 0.4, 0.4, 0.6, 0.6);
    Pose wiggle = squat;
    wiggle.rot[O_ROOT].z = 0.25;
    Pose air = OrkRest();
    Arms(air, 2.6, 2.6, 0.5, 0.5, 0.3, 0.3);
    Legs(air, 0.3, 0.3, 0.6, 0.6);
    air.offset = V3{0, 0, 8};
    Pose land = OrkCrouch(0.5);
    const Pose rest = OrkRest();
    f.sequences.push_back(
        {"jump", 13, false, [=](double p) {
           return Keys(
               {{0.0, rest}, {0.25, squat}, {0.4, wiggle}, {0.55, squat}, {0.72, air}, {0.86, land}, {1.0, rest}}, p);
         }});
  }

  // Skin.
  f.skin.assign(static_cast<size_t>(f.skinSize) * f.skinSize * 4, 0);
  const Rgb green{88, 138, 52}, dark{40, 70, 28};
  Paint(f, {0, 0, 256, 256}, Mottled({90, 80, 70}, 0.1, 1));
  Paint(f, head, [=](double u, double v) {
    const double a = FrontAngle(u, seam), th = v * c_pi;
    Rgb c = Mottled(green, 0.12, 2, 10)(u, v);
    if (th < 0.4 * c_pi) c = Mixc(c, dark, 0.5 * (1 - th / (0.4 * c_pi)));
    if (std::fabs(a) < 0.16 && th < 0.5 * c_pi) c = Mottled({32, 26, 22}, 0.2, 3, 20)(u, v);  // crest of hair
    for (double side : {1.0, -1.0}) {
      const double du = (a - 0.36 * side) * std::sin(th), dv = th - 0.5 * c_pi;
      if (Blob(du, dv, 0.19, 0.13) > 0) c = {245, 215, 50};               // eye
      if (Blob(du - 0.03 * side, dv, 0.065, 0.1) > 0) c = {150, 10, 10};  // pupil
      if (std::fabs(dv + 0.19) < 0.05 && std::fabs(du) < 0.26) c = dark;  // brow
    }
    if (std::fabs(th - 0.74 * c_pi) < 0.03 && std::fabs(a) < 0.45) c = {45, 20, 18};  // mouth
    return c;
  });
  Paint(f, skin, Mottled(green, 0.15, 4));
  Paint(f, boots, Mottled({70, 45, 28}, 0.15, 5));
  Paint(f, tunic, [=](double u, double v) {
    Rgb c = Mottled({130, 82, 44}, 0.15, 6, 12)(u, v);
    if (std::fmod(u * 10 + 0.5, 1.0) < 0.08) c = Scale(c, 0.65);  // seams of the leather
    if (v > 0.9) c = Scale(c, 0.8);
    return c;
  });
  Paint(f, trousers, Mottled({72, 66, 58}, 0.15, 7, 12));
  Paint(f, tusk, Mottled({235, 228, 200}, 0.05, 8));
  Paint(f, metal, [](double u, double v) {
    Rgb c = Mottled({150, 150, 158}, 0.12, 9)(u, v);
    if (Blob(std::fmod(u * 4, 1.0) - 0.5, std::fmod(v * 3, 1.0) - 0.5, 0.18, 0.2) > 0) c = {200, 200, 190};  // rivets
    return c;
  });
  Paint(f, belt, [](double u, double v) {
    Rgb c = Mottled({60, 38, 24}, 0.1, 10)(u, v);
    if (std::fabs(u - 0.5) < 0.06 && std::fabs(v - 0.5) < 0.3) c = {210, 180, 60};  // buckle
    return c;
  });
  Paint(f, cloth, Mottled({150, 40, 32}, 0.15, 11));
  return f;
}

// ---------------------------------------------------------------------------------------------------
// [SECTION] The druid
// ---------------------------------------------------------------------------------------------------
// The druid: the tutor in the top-right inset, seen from +x.

enum DruidBone { D_ROOT, D_TORSO, D_HEAD, D_JAW, D_LUARM, D_LFARM, D_RUARM, D_RFARM };

Pose DruidRest() {
  Pose p;
  p.rot.assign(8, V3{});
  p.rootPivot = V3{0, 0, 0};
  return p;
}

Figure MakeDruid() {
  Figure f;
  f.name = "druid";
  f.parent = {-1, D_ROOT, D_TORSO, D_HEAD, D_TORSO, D_LUARM, D_TORSO, D_RUARM};
  f.pivot = {{0, 0, 0}, {0, 0, 15}, {1, 0, 31}, {2, 0, 33.8}, {0, 6.5, 30}, {1, 8, 22}, {0, -6.5, 30}, {2, -8, 23}};
  const Region face{0, 0, 128, 128}, robe{128, 0, 128, 128}, beard{0, 128, 64, 64}, staff{64, 128, 64, 64},
      hand{128, 128, 64, 64}, gem{192, 128, 32, 32}, trim{224, 128, 32, 32};
  Mesh& m = f.mesh;
  const double seam = c_pi;
  AddEllipsoid(m, D_HEAD, face, V3{1.2, 0, 35}, V3{4.0, 3.6, 4.4}, 10, 6, seam);
  AddEllipsoid(m, D_HEAD, robe, V3{-1.3, 0, 36.2}, V3{4.4, 4.8, 5.2}, 10, 6, seam);     // hood
  AddTube(m, D_HEAD, robe, {{{-2.8, 0, 39.5}, 2.6, 2.6}, {{-7.0, 0, 43.5}, 0, 0}}, 6);  // its tip
  AddTube(m, D_HEAD, face, {{{4.9, 0, 35.6}, 0.8, 0.8}, {{6.2, 0, 34.6}, 0, 0}}, 4);    // nose
  AddTube(m, D_JAW, beard, {{{3.6, 0, 33.5}, 2.2, 3.0}, {{4.6, 0, 28}, 1.8, 2.2}, {{4.8, 0, 22.5}, 0, 0}}, 6);
  AddTube(m, D_ROOT, robe, {{{0, 0, 0}, 9.0, 9.0}, {{0, 0, 8}, 7.2, 7.2}, {{0, 0, 16}, 6.0, 6.2}}, 12);
  AddTube(m, D_ROOT, trim, {{{0, 0, 0.2}, 9.2, 9.2}, {{0, 0, 1.6}, 8.9, 8.9}}, 12);
  AddTube(m, D_TORSO, robe,
          {{{0, 0, 14.5}, 6.0, 6.2}, {{0, 0, 22}, 5.6, 6.6}, {{0, 0, 29}, 5.2, 7.6}, {{0.5, 0, 31.5}, 2.5, 4.0}}, 12);
  AddTube(m, D_TORSO, trim, {{{0, 0, 20}, 5.9, 6.6}, {{0, 0, 21.4}, 5.8, 6.6}}, 12);  // girdle
  for (int s = 0; s < 2; ++s) {
    const double side = s == 0 ? 1.0 : -1.0;
    const int up = s == 0 ? D_LUARM : D_RUARM, fore = s == 0 ? D_LFARM : D_RFARM;
    const V3 elbow = s == 0 ? V3{1, 8, 22} : V3{2, -8, 23};
    const V3 wrist = s == 0 ? V3{5, 8, 17} : V3{7, -8, 25};
    AddTube(m, up, robe, {{{0, 6.5 * side, 30}, 2.2, 2.2}, {elbow, 2.5, 2.5}}, 6);
    AddTube(m, fore, robe, {{elbow, 2.5, 2.5}, {wrist, 3.0, 3.0}}, 6);
    AddEllipsoid(m, fore, hand, wrist + Unit(wrist - elbow) * 1.6, V3{1.5, 1.3, 1.6}, 6, 4);
  }
  // The staff stays below the top edge of the tutor inset, which sees up to about 47 units high.
  AddTube(m, D_RFARM, staff, {{{7.9, -8.2, 0.5}, 0.8, 0.8}, {{7.9, -8.2, 40.5}, 0.7, 0.7}}, 6);
  AddEllipsoid(m, D_RFARM, gem, V3{7.9, -8.2, 41.9}, V3{1.6, 1.6, 1.8}, 6, 4);

  const double tau = 2 * c_pi;
  f.sequences.push_back({"idle", 20, true, [=](double p) {
                           Pose q = DruidRest();
                           q.rot[D_TORSO].y = 0.03 * std::sin(tau * p);
                           q.rot[D_HEAD].z = 0.15 * std::sin(tau * p);
                           q.rot[D_HEAD].y = 0.04 * std::sin(tau * 2 * p);
                           q.rot[D_LUARM].y = -0.1 - 0.05 * std::sin(tau * p);
                           return q;
                         }});
  f.sequences.push_back({"talk", 16, true, [=](double p) {
                           Pose q = DruidRest();
                           q.rot[D_HEAD].y = 0.1 * std::sin(tau * 2 * p);
                           q.rot[D_HEAD].z = 0.12 * std::sin(tau * p);
                           q.rot[D_JAW].y = 0.12 + 0.12 * std::sin(tau * 4 * p);
                           q.rot[D_LUARM].y = -0.5 - 0.25 * std::sin(tau * p);
                           q.rot[D_LUARM].x = 0.2 + 0.15 * std::sin(tau * p);
                           q.rot[D_LFARM].y = -0.9 - 0.4 * std::sin(tau * 2 * p);
                           q.rot[D_TORSO].y = 0.04 * std::sin(tau * p);
                           return q;
                         }});

  f.skin.assign(static_cast<size_t>(f.skinSize) * f.skinSize * 4, 0);
  Paint(f, {0, 0, 256, 256}, Mottled({90, 90, 90}, 0.1, 21));
  const Rgb skinTone{222, 178, 148};
  Paint(f, face, [=](double u, double v) {
    const double a = FrontAngle(u, seam), th = v * c_pi;
    Rgb c = Mottled(skinTone, 0.06, 22, 10)(u, v);
    for (double side : {1.0, -1.0}) {
      const double du = (a - 0.32 * side) * std::sin(th), dv = th - 0.5 * c_pi;
      if (Blob(du, dv, 0.11, 0.07) > 0) c = {245, 245, 240};
      if (Blob(du, dv, 0.05, 0.06) > 0) c = {40, 90, 170};
      if (std::fabs(dv + 0.12) < 0.04 && std::fabs(du) < 0.17) c = {235, 235, 235};  // white brows
    }
    if (th > 0.62 * c_pi) c = Mottled({228, 228, 220}, 0.1, 23, 20)(u, v);  // beard reaches up the cheeks
    return c;
  });
  Paint(f, robe, Mottled({62, 104, 58}, 0.15, 24, 10));
  Paint(f, trim, Mottled({206, 168, 62}, 0.1, 25));
  Paint(f, beard, [](double u, double v) {
    const double streak = ValueNoise(u * 24, v * 2, 26);
    return Scale(Rgb{232, 232, 226}, 0.85 + 0.15 * streak);
  });
  Paint(f, staff, [](double u, double v) {
    const double grain = ValueNoise(u * 6, v * 40, 27);
    return Scale(Rgb{112, 76, 42}, 0.8 + 0.3 * grain);
  });
  Paint(f, hand, Mottled(skinTone, 0.06, 28));
  Paint(f, gem, [](double u, double v) {
    const double d = std::hypot(u - 0.5, v - 0.5);
    return Mixc(Rgb{200, 255, 170}, Rgb{40, 170, 60}, std::min(1.0, d * 2));
  });
  return f;
}

// ---------------------------------------------------------------------------------------------------
// [SECTION] The dragon
// ---------------------------------------------------------------------------------------------------

enum DragonBone { G_ROOT, G_NECK, G_HEAD, G_JAW, G_TAIL1, G_TAIL2, G_TAIL3, G_LWING, G_RWING };

Pose DragonRest() {
  Pose p;
  p.rot.assign(9, V3{});
  p.rootPivot = V3{0, 0, 22};
  return p;
}

Figure MakeDragon() {
  Figure f;
  f.name = "dragon";
  f.parent = {-1, G_ROOT, G_NECK, G_HEAD, G_ROOT, G_TAIL1, G_TAIL2, G_ROOT, G_ROOT};
  f.pivot = {{0, 0, 22},   {12, 0, 26},  {22, 0, 38}, {25, 0, 38.5}, {-13, 0, 22},
             {-26, 0, 18}, {-38, 0, 14}, {4, 6, 29},  {4, -6, 29}};
  const Region scales{0, 0, 128, 128}, belly{128, 0, 64, 64}, horn{192, 0, 64, 64}, wing{128, 64, 128, 64},
      head{0, 128, 128, 128};
  Mesh& m = f.mesh;
  AddEllipsoid(m, G_ROOT, scales, V3{0, 0, 22}, V3{16, 8, 8.5}, 12, 8);
  AddEllipsoid(m, G_ROOT, belly, V3{0, 0, 19.5}, V3{13, 6.5, 6}, 10, 6);
  AddTube(m, G_NECK, scales, {{{11, 0, 25}, 4.5, 4.5}, {{17, 0, 32}, 3.6, 3.6}, {{22.5, 0, 38}, 3.0, 3.0}}, 8);
  AddEllipsoid(m, G_HEAD, head, V3{25, 0, 40}, V3{5.5, 3.6, 3.4}, 10, 6, c_pi);
  AddTube(m, G_HEAD, scales, {{{27, 0, 40.5}, 2.6, 2.8}, {{34, 0, 39.8}, 1.4, 2.0}}, 6);  // snout
  AddTube(m, G_JAW, belly, {{{26, 0, 37.8}, 1.5, 2.4}, {{33, 0, 37.6}, 0.8, 1.5}}, 6);    // lower jaw
  for (double side : {1.0, -1.0}) {
    AddTube(m, G_HEAD, horn, {{{23.5, 2.0 * side, 42.5}, 1.1, 1.1}, {{18.5, 4.0 * side, 48}, 0, 0}}, 5);
    AddTube(m, G_ROOT, scales, {{{9, 5.5 * side, 18}, 3.0, 3.0}, {{10, 7 * side, 2}, 2.0, 2.0}}, 6);
    AddTube(m, G_ROOT, scales, {{{-9, 5.5 * side, 18}, 3.4, 3.4}, {{-10, 7 * side, 2}, 2.2, 2.2}}, 6);
    AddEllipsoid(m, G_ROOT, horn, V3{11.5, 7 * side, 1.2}, V3{3, 2, 1.2}, 6, 4);
    AddEllipsoid(m, G_ROOT, horn, V3{-8.5, 7 * side, 1.2}, V3{3, 2.2, 1.2}, 6, 4);
    const int b = side > 0 ? G_LWING : G_RWING;
    AddTube(m, b, horn, {{{4, 6 * side, 29}, 1.2, 1.2}, {{2, 34 * side, 44}, 0, 0}}, 5);  // wing arm
    AddSheet(m, b, wing,
             {{4, 6 * side, 29}, {2, 34 * side, 44}, {-6, 32 * side, 34}, {-12, 24 * side, 29}, {-14, 6 * side, 26}},
             {{0, 0.5, 0}, {1, 0, 0}, {0.9, 0.5, 0}, {0.7, 0.8, 0}, {0, 1, 0}});
  }
  AddTube(m, G_TAIL1, scales, {{{-13, 0, 22}, 5.5, 5.5}, {{-26, 0, 18}, 3.6, 3.6}}, 8);
  AddTube(m, G_TAIL2, scales, {{{-26, 0, 18}, 3.6, 3.6}, {{-38, 0, 14}, 2.2, 2.2}}, 8);
  AddTube(m, G_TAIL3, scales, {{{-38, 0, 14}, 2.2, 2.2}, {{-50, 0, 12}, 0, 0}}, 8);
  AddTube(m, G_TAIL3, horn, {{{-47, 0, 13.5}, 0.4, 2.5}, {{-53, 0, 13}, 0, 0}}, 4);  // tail blade

  const double tau = 2 * c_pi;
  auto tail = [=](Pose& q, double p, double amount) {
    for (int b : {G_TAIL1, G_TAIL2, G_TAIL3}) q.rot[b].z = amount * std::sin(tau * p - 0.7 * (b - G_TAIL1));
  };
  f.sequences.push_back({"idle", 20, true, [=](double p) {
                           Pose q = DragonRest();
                           tail(q, p, 0.2);
                           q.rot[G_NECK].y = 0.05 * std::sin(tau * p);
                           q.rot[G_HEAD].z = 0.3 * std::sin(tau * p);
                           q.rot[G_JAW].y = 0.15 * std::max(0.0, std::sin(tau * 2 * p));
                           q.rot[G_LWING].x = 0.1 * std::sin(tau * p), q.rot[G_RWING].x = -0.1 * std::sin(tau * p);
                           return q;
                         }});
  f.sequences.push_back({"fly", 10, true, [=](double p) {
                           Pose q = DragonRest();
                           q.ground = false;
                           const double flap = std::sin(tau * p);
                           q.rot[G_LWING].x = 0.7 * flap, q.rot[G_RWING].x = -0.7 * flap;
                           q.rot[G_ROOT].y = -0.15;
                           q.rot[G_NECK].y = -0.2;
                           tail(q, p, 0.1);
                           q.offset = V3{0, 0, 14 - 2 * flap};
                           return q;
                         }});

  f.skin.assign(static_cast<size_t>(f.skinSize) * f.skinSize * 4, 0);
  Paint(f, {0, 0, 256, 256}, Mottled({120, 40, 30}, 0.1, 31));
  auto scaled = [](double u, double v) {
    const double cu = std::fmod(u * 16, 1.0), cv = std::fmod(v * 16 + (static_cast<int>(u * 16) % 2) * 0.5, 1.0);
    const double edge = std::hypot(cu - 0.5, cv - 0.3);
    return Scale(Rgb{170, 38, 26}, edge < 0.45 ? 1.0 : 0.7);
  };
  Paint(f, scales, scaled);
  Paint(f, head, [=](double u, double v) {
    const double a = FrontAngle(u, c_pi), th = v * c_pi;
    Rgb c = scaled(u, v);
    for (double side : {1.0, -1.0}) {
      const double du = (a - 0.75 * side) * std::sin(th), dv = th - 0.38 * c_pi;
      if (Blob(du, dv, 0.14, 0.09) > 0) c = {250, 210, 40};
      if (Blob(du, dv, 0.03, 0.08) > 0) c = {20, 10, 10};
    }
    return c;
  });
  Paint(f, belly, [](double u, double v) {
    Rgb c = Mottled({222, 168, 64}, 0.08, 32)(u, v);
    if (std::fmod(v * 12, 1.0) < 0.15) c = Scale(c, 0.75);
    return c;
  });
  Paint(f, horn, Mottled({228, 216, 180}, 0.08, 33));
  Paint(f, wing, [](double u, double v) {
    Rgb c = Mottled({110, 24, 30}, 0.12, 34)(u, v);
    for (double k : {0.25, 0.5, 0.75})
      if (std::fabs(v - k * (1 - u) - 0.5 * u) < 0.02) c = {60, 14, 16};  // veins
    return c;
  });
  return f;
}

// ---------------------------------------------------------------------------------------------------
// [SECTION] File writing
// ---------------------------------------------------------------------------------------------------

void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutF(std::vector<uint8_t>& b, float f) {
  uint32_t v;
  memcpy(&v, &f, 4);
  Put32(b, v);
}
void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void PutName(std::vector<uint8_t>& b, const std::string& s, size_t size) {
  for (size_t i = 0; i < size; ++i) b.push_back(i < s.size() && i + 1 < size ? static_cast<uint8_t>(s[i]) : 0);
}

std::vector<uint8_t> WriteMd2(const Figure& fig) {
  const Mesh& m = fig.mesh;
  const int nv = static_cast<int>(m.pos.size()), nst = static_cast<int>(m.st.size());
  const int ntri = static_cast<int>(m.tris.size());
  int nframes = 0;
  for (const Sequence& s : fig.sequences) nframes += s.frames;
  const int frameSize = 40 + 4 * nv;
  const int glWords = ntri * 10 + 1;  // each triangle as a strip of three, then the terminator
  const uint32_t ofsSkins = 68, ofsSt = ofsSkins + 64, ofsTris = ofsSt + 4 * nst, ofsFrames = ofsTris + 12 * ntri;
  const uint32_t ofsGl = ofsFrames + frameSize * nframes, ofsEnd = ofsGl + 4 * glWords;
  std::vector<uint8_t> b;
  b.insert(b.end(), {'I', 'D', 'P', '2'});
  for (uint32_t v : {8u, static_cast<uint32_t>(fig.skinSize), static_cast<uint32_t>(fig.skinSize),
                     static_cast<uint32_t>(frameSize), 1u, static_cast<uint32_t>(nv), static_cast<uint32_t>(nst),
                     static_cast<uint32_t>(ntri), static_cast<uint32_t>(glWords), static_cast<uint32_t>(nframes),
                     ofsSkins, ofsSt, ofsTris, ofsFrames, ofsGl, ofsEnd})
    Put32(b, v);
  PutName(b, std::string(fig.name) + ".tga", 64);  // the game loads the skin as <name>.dds beside the figure
  for (const auto& st : m.st) {
    Put16(b, static_cast<uint16_t>(st[0]));
    Put16(b, static_cast<uint16_t>(st[1]));
  }
  // The file's winding is clockwise seen from outside: a, c, b of our counter-clockwise a, b, c.
  for (const Tri& t : m.tris) {
    for (int k : {0, 2, 1}) Put16(b, static_cast<uint16_t>(t.c[k].v));
    for (int k : {0, 2, 1}) Put16(b, static_cast<uint16_t>(t.c[k].st));
  }
  for (const Sequence& s : fig.sequences) {
    for (int i = 0; i < s.frames; ++i) {
      const double p =
          s.loop ? static_cast<double>(i) / s.frames : (s.frames > 1 ? static_cast<double>(i) / (s.frames - 1) : 0);
      const std::vector<V3> verts = PoseVertices(fig, s.pose(p));
      V3 lo{1e30, 1e30, 1e30}, hi{-1e30, -1e30, -1e30};
      for (const V3& v : verts) {
        lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
        hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
      }
      const float scale[3] = {static_cast<float>(std::max(hi.x - lo.x, 1e-3) / 255.0),
                              static_cast<float>(std::max(hi.y - lo.y, 1e-3) / 255.0),
                              static_cast<float>(std::max(hi.z - lo.z, 1e-3) / 255.0)};
      const float translate[3] = {static_cast<float>(lo.x), static_cast<float>(lo.y), static_cast<float>(lo.z)};
      for (float x : scale) PutF(b, x);
      for (float x : translate) PutF(b, x);
      char name[16];
      snprintf(name, sizeof name, "%s%02d", s.name, i + 1);
      PutName(b, name, 16);
      for (const V3& v : verts) {
        const double c[3] = {v.x, v.y, v.z};
        for (int k = 0; k < 3; ++k)
          b.push_back(static_cast<uint8_t>(std::clamp(std::lround((c[k] - translate[k]) / scale[k]), 0L, 255L)));
        b.push_back(0);  // normal index: the game computes its own shading
      }
    }
  }
  for (const Tri& t : m.tris) {
    Put32(b, 3);
    for (int k : {0, 2, 1}) {
      PutF(b, static_cast<float>((m.st[t.c[k].st][0] + 0.5) / fig.skinSize));
      PutF(b, static_cast<float>((m.st[t.c[k].st][1] + 0.5) / fig.skinSize));
      Put32(b, static_cast<uint32_t>(t.c[k].v));
    }
  }
  Put32(b, 0);
  if (b.size() != ofsEnd)
    fprintf(stderr, "make_figures: %s.md2 has %zu bytes, expected %u\n", fig.name, b.size(), ofsEnd);
  return b;
}

// Mip chain of an RGBA image by 2x2 box filtering, down to 1x1.
std::vector<std::vector<uint8_t>> MipChain(const std::vector<uint8_t>& base, int w, int h) {
  std::vector<std::vector<uint8_t>> levels{base};
  while (w > 1 || h > 1) {
    const int nw = std::max(1, w / 2), nh = std::max(1, h / 2);
    const std::vector<uint8_t>& src = levels.back();
    std::vector<uint8_t> dst(static_cast<size_t>(nw) * nh * 4);
    for (int y = 0; y < nh; ++y) {
      for (int x = 0; x < nw; ++x) {
        for (int c = 0; c < 4; ++c) {
          int sum = 0;
          for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx) {
              const int sx = std::min(w - 1, x * 2 + dx), sy = std::min(h - 1, y * 2 + dy);
              sum += src[(static_cast<size_t>(sy) * w + sx) * 4 + c];
            }
          dst[(static_cast<size_t>(y) * nw + x) * 4 + c] = static_cast<uint8_t>((sum + 2) / 4);
        }
      }
    }
    levels.push_back(dst);
    w = nw, h = nh;
  }
  return levels;
}

// DXT1 block of a 4x4 tile (edge texels repeated past the border), by stb_dxt in its high-quality
// mode: end points along the tile's main colour axis, refined twice, always in four-colour mode.
void EncodeBlock(const uint8_t* rgba, int w, int h, int bx, int by, std::vector<uint8_t>& out) {
  uint8_t tile[16 * 4];
  for (int i = 0; i < 16; ++i) {
    const int x = std::min(w - 1, bx + i % 4), y = std::min(h - 1, by + i / 4);
    memcpy(&tile[i * 4], &rgba[(static_cast<size_t>(y) * w + x) * 4], 4);
  }
  uint8_t block[8];
  stb_compress_dxt_block(block, tile, 0, STB_DXT_HIGHQUAL);
  out.insert(out.end(), block, block + 8);
}

void DdsHeader(std::vector<uint8_t>& b, int w, int h, int levels, bool dxt1) {
  b.insert(b.end(), {'D', 'D', 'S', ' '});
  const uint32_t flags = 0x1 | 0x2 | 0x4 | 0x1000 | 0x20000 | (dxt1 ? 0x80000 : 0x8);
  const uint32_t pitch = dxt1 ? static_cast<uint32_t>(((w + 3) / 4) * ((h + 3) / 4) * 8) : static_cast<uint32_t>(w * 4);
  for (uint32_t v :
       {124u, flags, static_cast<uint32_t>(h), static_cast<uint32_t>(w), pitch, 0u, static_cast<uint32_t>(levels)})
    Put32(b, v);
  for (int i = 0; i < 11; ++i) Put32(b, 0);  // reserved
  Put32(b, 32);
  if (dxt1) {
    Put32(b, 0x4);
    b.insert(b.end(), {'D', 'X', 'T', '1'});
    for (int i = 0; i < 5; ++i) Put32(b, 0);
  } else {
    Put32(b, 0x41);
    Put32(b, 0);
    for (uint32_t v : {32u, 0x00ff0000u, 0x0000ff00u, 0x000000ffu, 0xff000000u}) Put32(b, v);
  }
  Put32(b, 0x1000 | 0x400000 | 0x8);  // texture, mip-mapped, complex
  for (int i = 0; i < 4; ++i) Put32(b, 0);
}

std::vector<uint8_t> WriteDxt1(const std::vector<uint8_t>& rgba, int w, int h) {
  const auto levels = MipChain(rgba, w, h);
  std::vector<uint8_t> b;
  DdsHeader(b, w, h, static_cast<int>(levels.size()), true);
  int lw = w, lh = h;
  for (const auto& level : levels) {
    for (int by = 0; by < lh; by += 4)
      for (int bx = 0; bx < lw; bx += 4) EncodeBlock(level.data(), lw, lh, bx, by, b);
    lw = std::max(1, lw / 2), lh = std::max(1, lh / 2);
  }
  return b;
}

std::vector<uint8_t> WriteRgba(const std::vector<uint8_t>& rgba, int w, int h) {
  const auto levels = MipChain(rgba, w, h);
  std::vector<uint8_t> b;
  DdsHeader(b, w, h, static_cast<int>(levels.size()), false);
  for (const auto& level : levels)
    for (size_t i = 0; i < level.size(); i += 4)
      b.insert(b.end(), {level[i + 2], level[i + 1], level[i], level[i + 3]});
  return b;
}

// The sparkle drawn over glowing items: a white star with soft rays, alpha falling off outward.
std::vector<uint8_t> SparkleImage(int size) {
  std::vector<uint8_t> img(static_cast<size_t>(size) * size * 4);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double dx = (x + 0.5) / size * 2 - 1, dy = (y + 0.5) / size * 2 - 1;
      const double r = std::sqrt(dx * dx + dy * dy);
      const double core = std::exp(-r * r * 18);
      const double rays = std::max(0.0, 1 - r) * (std::exp(-dx * dx * 300) + std::exp(-dy * dy * 300));
      const double diag = std::max(0.0, 1 - r * 1.6) * 0.5 *
                          (std::exp(-(dx - dy) * (dx - dy) * 200) + std::exp(-(dx + dy) * (dx + dy) * 200));
      const double a = std::clamp(core + rays * 0.9 + diag, 0.0, 1.0);
      uint8_t* p = &img[(static_cast<size_t>(y) * size + x) * 4];
      p[0] = 255, p[1] = static_cast<uint8_t>(std::lround(235 + 20 * core));
      p[2] = static_cast<uint8_t>(std::lround(190 + 65 * core));
      p[3] = static_cast<uint8_t>(std::lround(a * 255));
    }
  }
  return img;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) {
    fprintf(stderr, "make_figures: cannot write '%s'\n", path.c_str());
    return false;
  }
  const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return fclose(f) == 0 && ok;
}

// ---------------------------------------------------------------------------------------------------
// [SECTION] Reading back
// ---------------------------------------------------------------------------------------------------
// Reading back: the distinct-pair numbering as the game's reader forms it, and the decoded frames.

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t Get16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

struct Decoded {
  int nv = 0, nframes = 0, skin = 0;
  std::vector<std::pair<int, int>> pairs;  // distinct (vertex, texture coordinate), in the reader's order
  std::vector<int> indices;                // three per triangle into pairs, counter-clockwise
  std::vector<std::array<double, 2>> st;
  std::vector<V3> pos;  // frame-major
  std::vector<std::string> frameNames;
};

Decoded Decode(const std::vector<uint8_t>& b) {
  Decoded d;
  d.skin = static_cast<int>(Get32(b, 8));
  d.nv = static_cast<int>(Get32(b, 24));
  const int nst = static_cast<int>(Get32(b, 28)), ntri = static_cast<int>(Get32(b, 32));
  d.nframes = static_cast<int>(Get32(b, 40));
  const uint32_t ofsSt = Get32(b, 48), ofsTris = Get32(b, 52), ofsFrames = Get32(b, 56);
  for (int i = 0; i < nst; ++i)
    d.st.push_back({static_cast<int16_t>(Get16(b, ofsSt + 4 * i)) / static_cast<double>(d.skin),
                    static_cast<int16_t>(Get16(b, ofsSt + 4 * i + 2)) / static_cast<double>(Get32(b, 12))});
  std::map<std::pair<int, int>, int> seen;
  for (int t = 0; t < ntri; ++t) {
    for (int k : {0, 2, 1}) {
      const auto key = std::make_pair(static_cast<int>(Get16(b, ofsTris + 12 * t + 2 * k)),
                                      static_cast<int>(Get16(b, ofsTris + 12 * t + 6 + 2 * k)));
      const auto it = seen.find(key);
      if (it != seen.end()) {
        d.indices.push_back(it->second);
      } else {
        seen[key] = static_cast<int>(d.pairs.size());
        d.indices.push_back(static_cast<int>(d.pairs.size()));
        d.pairs.push_back(key);
      }
    }
  }
  for (int f = 0; f < d.nframes; ++f) {
    const size_t at = ofsFrames + static_cast<size_t>(f) * (40 + 4 * d.nv);
    float sc[3], tr[3];
    for (int k = 0; k < 3; ++k) {
      uint32_t u = Get32(b, at + 4 * k), v = Get32(b, at + 12 + 4 * k);
      memcpy(&sc[k], &u, 4);
      memcpy(&tr[k], &v, 4);
    }
    d.frameNames.emplace_back(reinterpret_cast<const char*>(&b[at + 24]),
                              strnlen(reinterpret_cast<const char*>(&b[at + 24]), 16));
    for (int v = 0; v < d.nv; ++v) {
      const size_t p = at + 40 + 4 * v;
      d.pos.push_back({b[p] * sc[0] + tr[0], b[p + 1] * sc[1] + tr[1], b[p + 2] * sc[2] + tr[2]});
    }
  }
  return d;
}

// ---------------------------------------------------------------------------------------------------
// [SECTION] Preview
// ---------------------------------------------------------------------------------------------------
// Preview: every sequence as a row of frames, software-rendered, written as a PNG.

struct Canvas {
  int w, h;
  std::vector<uint8_t> rgb;
  std::vector<double> depth;
};

// A static mesh worn by the ork in the preview: the crown model of the data folder, when given.
struct CrownMesh {
  std::vector<V3> pos;  // three per triangle, counter-clockwise
  std::vector<std::array<uint8_t, 3>> colour;
};

// Reads the triangles of a ".geo" file through the game's own reader.
CrownMesh ReadGeo(const std::string& path) {
  CrownMesh mesh;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) {
    fprintf(stderr, "make_figures: no crown model at '%s'\n", path.c_str());
    return mesh;
  }
  std::vector<uint8_t> b;
  uint8_t chunk[4096];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, f)) > 0;) b.insert(b.end(), chunk, chunk + n);
  fclose(f);
  ModelMesh model;
  if (GeoDecode(b.data(), static_cast<int64_t>(b.size()), 0, false, path.c_str(), &model) != 0) return mesh;
  const GeoVertex* v = model.GeoVertices();
  for (int64_t i = 0; i < int64_t{model.m_triangleCount} * 3; ++i) {
    mesh.pos.push_back({v[i].x, v[i].y, v[i].z});
    mesh.colour.push_back({v[i].rgba[0], v[i].rgba[1], v[i].rgba[2]});
  }
  return mesh;
}

// Orthographic view from the front right (yaw turns the figure) and a little above; back faces
// culled; flat shading. Marks the ork's attachment points, and puts the crown on them as the game
// does: origin the mean of the six points, up the third pair, y axis the second pair, scaled by the
// crown's 1.6 over the figure's 1.4 tile widths (and the reader's 0.01 per file unit).
void DrawFrame(Canvas& cv, const Decoded& d, const std::vector<uint8_t>& skin, int frame, int cx, int cy, int cell,
               double extent, V3 centre, bool markCrown, const CrownMesh* crown, double yaw = 0.6) {
  const double pitch = 0.3;
  auto view = [&](V3 p) {
    p = p - centre;
    const double x1 = p.x * std::cos(yaw) - p.y * std::sin(yaw), y1 = p.x * std::sin(yaw) + p.y * std::cos(yaw);
    const double depth = x1 * std::cos(pitch) + p.z * std::sin(pitch);
    const double up = -x1 * std::sin(pitch) + p.z * std::cos(pitch);
    return V3{cx + cell * 0.5 + y1 * (cell * 0.92 / extent), cy + cell * 0.5 - up * (cell * 0.92 / extent), depth};
  };
  const V3 light = Unit(V3{0.6, -0.3, 0.75});
  // Fills a world triangle; colour gets the barycentric weights and returns the unlit colour.
  auto fill = [&](const V3 w[3], const std::function<Rgb(double, double, double)>& colour) {
    V3 s[3];
    for (int k = 0; k < 3; ++k) s[k] = view(w[k]);
    const double area = (s[1].x - s[0].x) * (s[2].y - s[0].y) - (s[2].x - s[0].x) * (s[1].y - s[0].y);
    if (area >= 0) return;  // screen y points down: counter-clockwise in the world shows negative area
    const double shade = 0.4 + 0.6 * std::max(0.0, Dot(Unit(Cross(w[1] - w[0], w[2] - w[0])), light));
    const int minX = std::max(cx, static_cast<int>(std::floor(std::min({s[0].x, s[1].x, s[2].x}))));
    const int maxX = std::min(cx + cell - 1, static_cast<int>(std::ceil(std::max({s[0].x, s[1].x, s[2].x}))));
    const int minY = std::max(cy, static_cast<int>(std::floor(std::min({s[0].y, s[1].y, s[2].y}))));
    const int maxY = std::min(cy + cell - 1, static_cast<int>(std::ceil(std::max({s[0].y, s[1].y, s[2].y}))));
    for (int y = minY; y <= maxY; ++y) {
      for (int x = minX; x <= maxX; ++x) {
        const double px = x + 0.5, py = y + 0.5;
        const double b0 = ((s[1].x - px) * (s[2].y - py) - (s[2].x - px) * (s[1].y - py)) / area;
        const double b1 = ((s[2].x - px) * (s[0].y - py) - (s[0].x - px) * (s[2].y - py)) / area;
        const double b2 = 1 - b0 - b1;
        if (b0 < 0 || b1 < 0 || b2 < 0) continue;
        const double z = b0 * s[0].z + b1 * s[1].z + b2 * s[2].z;
        const size_t at = static_cast<size_t>(y) * cv.w + x;
        if (z <= cv.depth[at]) continue;
        cv.depth[at] = z;
        const Rgb c = colour(b0, b1, b2);
        const double rgb[3] = {c.r, c.g, c.b};
        for (int k = 0; k < 3; ++k) cv.rgb[at * 3 + k] = static_cast<uint8_t>(std::clamp(rgb[k] * shade, 0.0, 255.0));
      }
    }
  };
  const V3* frameBase = &d.pos[static_cast<size_t>(frame) * d.nv];
  for (size_t t = 0; t + 2 < d.indices.size(); t += 3) {
    V3 w[3];
    for (int k = 0; k < 3; ++k) w[k] = frameBase[d.pairs[d.indices[t + k]].first];
    fill(w, [&](double b0, double b1, double b2) {
      double u = 0, v = 0;
      const double bk[3] = {b0, b1, b2};
      for (int k = 0; k < 3; ++k) {
        const auto& pr = d.pairs[d.indices[t + k]];
        u += bk[k] * d.st[pr.second][0], v += bk[k] * d.st[pr.second][1];
      }
      const int sx = std::clamp(static_cast<int>(u * d.skin), 0, d.skin - 1);
      const int sy = std::clamp(static_cast<int>(v * d.skin), 0, d.skin - 1);
      const uint8_t* texel = &skin[(static_cast<size_t>(sy) * d.skin + sx) * 4];
      return Rgb{static_cast<double>(texel[0]), static_cast<double>(texel[1]), static_cast<double>(texel[2])};
    });
  }
  if (!markCrown || static_cast<int>(d.pairs.size()) <= c_crownFront) return;
  auto point = [&](int idx) { return frameBase[d.pairs[idx].first]; };
  if (crown && !crown->pos.empty()) {
    V3 origin;
    for (int idx : {c_crownLeft, c_crownRight, c_crownBack, c_crownFront, c_crownTop, c_crownBottom})
      origin = origin + point(idx) * (1.0 / 6);
    const V3 z = Unit(point(c_crownTop) - point(c_crownBottom));
    const V3 x = Unit(Cross(Unit(point(c_crownBack) - point(c_crownFront)), z));
    const V3 y = Cross(z, x);
    const double unit = 1.6 / (1.4 * 0.01);
    for (size_t t = 0; t + 2 < crown->pos.size(); t += 3) {
      V3 w[3];
      for (int k = 0; k < 3; ++k) {
        const V3& p = crown->pos[t + k];
        w[k] = origin + (x * p.x + y * p.y + z * p.z) * unit;
      }
      const auto& c = crown->colour[t];
      fill(w, [&](double, double, double) { return Rgb{double(c[0]), double(c[1]), double(c[2])}; });
    }
    return;
  }
  for (int idx : {c_crownLeft, c_crownRight, c_crownFront, c_crownBack, c_crownTop, c_crownBottom}) {
    const V3 p = view(point(idx));
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        const int px = static_cast<int>(p.x) + dx, py = static_cast<int>(p.y) + dy;
        if (px < cx || py < cy || px >= cx + cell || py >= cy + cell) continue;
        uint8_t* q = &cv.rgb[(static_cast<size_t>(py) * cv.w + px) * 3];
        q[0] = 255, q[1] = 0, q[2] = 255;
      }
  }
}

// Writes a label in a 3x5 capital font, each font pixel drawn as a 2x2 block.
void Label(Canvas& cv, int x, int y, const std::string& text) {
  static const uint8_t glyphs[26][5] = {
      {2, 5, 7, 5, 5}, {6, 5, 6, 5, 6}, {3, 4, 4, 4, 3}, {6, 5, 5, 5, 6}, {7, 4, 6, 4, 7}, {7, 4, 6, 4, 4},
      {3, 4, 5, 5, 3}, {5, 5, 7, 5, 5}, {7, 2, 2, 2, 7}, {1, 1, 1, 5, 2}, {5, 5, 6, 5, 5}, {4, 4, 4, 4, 7},
      {5, 7, 7, 5, 5}, {6, 5, 5, 5, 5}, {2, 5, 5, 5, 2}, {6, 5, 6, 4, 4}, {2, 5, 5, 6, 3}, {6, 5, 6, 5, 5},
      {3, 4, 2, 1, 6}, {7, 2, 2, 2, 2}, {5, 5, 5, 5, 7}, {5, 5, 5, 5, 2}, {5, 5, 7, 7, 5}, {5, 5, 2, 5, 5},
      {5, 5, 2, 2, 2}, {7, 1, 2, 4, 7}};
  for (char ch : text) {
    if (ch >= 'a' && ch <= 'z') {
      for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 3; ++col) {
          if (!(glyphs[ch - 'a'][row] & (4 >> col))) continue;
          for (int k = 0; k < 4; ++k) {
            const int px = x + col * 2 + k % 2, py = y + row * 2 + k / 2;
            if (px < 0 || py < 0 || px >= cv.w || py >= cv.h) continue;
            uint8_t* q = &cv.rgb[(static_cast<size_t>(py) * cv.w + px) * 3];
            q[0] = 240, q[1] = 230, q[2] = 150;
          }
        }
    }
    x += 8;
  }
}

void Preview(const std::string& path, const std::vector<Figure>& figs, const std::vector<Decoded>& decoded,
             const CrownMesh& crown) {
  const int cell = 160, columns = 10;
  int rows = 0;
  for (const Figure& f : figs) rows += static_cast<int>(f.sequences.size()) + 1;
  Canvas cv{cell * columns, cell * rows, {}, {}};
  cv.rgb.assign(static_cast<size_t>(cv.w) * cv.h * 3, 0);
  cv.depth.assign(static_cast<size_t>(cv.w) * cv.h, -1e30);
  int row = 0;
  for (size_t fi = 0; fi < figs.size(); ++fi) {
    const Decoded& d = decoded[fi];
    // Framed on the first frame, so the figure fills its cell; wide poses may be cut at the edges.
    V3 lo{1e30, 1e30, 1e30}, hi{-1e30, -1e30, -1e30};
    for (int v = 0; v < d.nv; ++v) {
      const V3& p = d.pos[v];
      lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    const double extent = 1.3 * std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
    const V3 centre = (lo + hi) * 0.5;
    // First row: the first frame turned about, from the front (the figure faces +x) in eighth turns.
    for (int c = 0; c < columns; ++c) {
      const int x0 = c * cell, y0 = row * cell;
      for (int y = y0; y < y0 + cell; ++y)
        for (int x = x0; x < x0 + cell; ++x)
          for (int k = 0; k < 3; ++k) cv.rgb[(static_cast<size_t>(y) * cv.w + x) * 3 + k] = k == 2 ? 90 : 70;
      if (c < 8) DrawFrame(cv, d, figs[fi].skin, 0, x0, y0, cell, extent, centre, fi == 0, &crown, c * c_pi / 4);
    }
    Label(cv, 4, row * cell + 4, figs[fi].name);
    ++row;
    int first = 0;
    for (const Sequence& s : figs[fi].sequences) {
      for (int c = 0; c < columns; ++c) {
        const int x0 = c * cell, y0 = row * cell;
        const uint8_t bg = ((row + c) % 2) ? 46 : 56;
        for (int y = y0; y < y0 + cell; ++y)
          for (int x = x0; x < x0 + cell; ++x)
            for (int k = 0; k < 3; ++k) cv.rgb[(static_cast<size_t>(y) * cv.w + x) * 3 + k] = bg + (k == 2 ? 14 : 0);
        if (c >= s.frames) continue;
        const int frame = s.frames <= columns ? c : c * (s.frames - 1) / (columns - 1);
        DrawFrame(cv, d, figs[fi].skin, first + frame, x0, y0, cell, extent, centre, fi == 0, nullptr);
      }
      Label(cv, 4, row * cell + 4, std::string(figs[fi].name) + " " + s.name);
      first += s.frames;
      ++row;
    }
  }
  PngWrite(path.c_str(), cv.rgb.data(), cv.w, cv.h, 3, false);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: make_figures <data folder> [--preview <png> [--crown <crown.geo>]]\n");
    return 2;
  }
  const std::string props = std::string(argv[1]) + "/props/";
  std::vector<Figure> figs;
  figs.push_back(MakeOrk());
  figs.push_back(MakeDruid());
  figs.push_back(MakeDragon());
  std::vector<Decoded> decoded;
  for (Figure& f : figs) {
    if (!f.slots.empty() && !OrderForSlots(f.mesh, f.slots)) return 1;
    const std::vector<uint8_t> md2 = WriteMd2(f);
    decoded.push_back(Decode(md2));
    const Decoded& d = decoded.back();
    for (const SlotTarget& s : f.slots) {
      if (d.pairs[s.slot] != std::make_pair(s.pair.v, s.pair.st)) {
        fprintf(stderr, "make_figures: %s distinct vertex %d is not the attachment point\n", f.name, s.slot);
        return 1;
      }
    }
    if (!WriteFile(props + f.name + ".md2", md2)) return 1;
    if (!WriteFile(props + f.name + ".dds", WriteDxt1(f.skin, f.skinSize, f.skinSize))) return 1;
    printf("%s: %d vertices, %zu distinct, %zu triangles, %d frames, %zu bytes\n", f.name, d.nv, d.pairs.size(),
           d.indices.size() / 3, d.nframes, md2.size());
  }
  if (!WriteFile(props + "sparkle.dds", WriteRgba(SparkleImage(64), 64, 64))) return 1;
  if (argc >= 4 && std::string(argv[2]) == "--preview") {
    // The turntable row wears the crown when its model is given: --crown <crown.geo>.
    const CrownMesh crown = (argc >= 6 && std::string(argv[4]) == "--crown") ? ReadGeo(argv[5]) : CrownMesh{};
    Preview(argv[3], figs, decoded, crown);
  }
  return 0;
}
