// The generated static models: every model the drawing loads exists, is closed, faces outward,
// stands where it should, fits its tile, differs from every other, and comes out byte-identical.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "graphics/models/mesh_builder.h"
#include "graphics/models/model_catalogue.h"
#include "graphics/models/model_formats.h"
#include "test_support.h"
#include "world/planet/globe_construct.h"

namespace {

// The drawing's model lists, in its loading order.
const char* const c_trees[] = {"stmp", "pine", "mapl", "appl", "seedling"};
const char* const c_items[] = {
    "stone",       "timber",        "lumber",       "pickaxe",      "woodaxe",     "hammer",        "boltcutter",
    "water",       "manure",        "basket",       "provisions",   "emptybucket", "scythe",        "grain",
    "flour",       "milk",          "bread",        "ironore",      "ingot",       "fruit",         "sawmillmarker",
    "sawmillsite", "smeltermarker", "smeltersite",  "smithymarker", "smithysite",  "storagemarker", "storagesite",
    "roadmarker",  "roadsite",      "bridgemarker", "summitmarker", "buoy",        "poop",          "redgem",
    "bluegem",     "greengem",      "cyangem",      "purplegem",    "pinkgem",     "yellowgem",     "orangegem",
    "chest",       "crown"};
const char* const c_annotations[] = {"arrow", "target", "pointmark", "brdir"};
const char* const c_buildings[] = {
    "depot",      "waterwell",      "watermill",      "grainfarm",      "dairyfarm",      "bakery",
    "sawmill",    "oremine",        "smelter",        "smithy",         "cage",           "jailbreak",
    "bridge",     "brconstruction", "dkconstruction", "streetstraight", "streetright",    "streetleft",
    "plaza",      "plconstruction", "ssconstruction", "slconstruction", "srconstruction", "faconstruction",
    "singledeck", "doubledeck",     "trippledeck",    "storage",        "stargate"};

// Every path the drawing loads, with the drawing's scale for it in tile widths per unit.
std::vector<std::pair<std::string, float>> ExpectedModels() {
  std::vector<std::pair<std::string, float>> out;
  for (const char* n : c_trees) out.push_back({std::string("data/props/") + n + ".geo", 1.9f});
  for (int k = 0; k < 10; ++k) out.push_back({"data/props/rock" + std::to_string(k) + ".geo", 0.75f});
  out.push_back({"data/props/copperfield.geo", 0.5f});
  out.push_back({"data/props/coalfield.geo", 0.5f});
  for (const char* n : c_items) out.push_back({std::string("data/props/") + n + ".geo", 0.7f});
  for (const char* n : c_annotations) out.push_back({std::string("data/annotations/") + n + ".geo", 0.5f});
  for (const char* n : c_buildings) out.push_back({std::string("data/buildings/") + n + ".geo", 0.5f});
  return out;
}

struct P3 {
  float x, y, z;
};

// A ".geo" file as the game's reader decodes it.
struct Geo {
  std::vector<P3> tris, lines;
  std::vector<std::array<uint8_t, 4>> colours;
};

// Empty triangles when the reader refuses the image.
Geo Parse(const std::vector<uint8_t>& bytes) {
  Geo g;
  ModelMesh mesh;
  if (GeoDecode(bytes.data(), static_cast<int64_t>(bytes.size()), 0, false, "model", &mesh) < 0) return g;
  const GeoVertex* v = mesh.GeoVertices();
  for (int i = 0; i < mesh.m_vertexCount; ++i) {
    (i < 3 * mesh.m_triangleCount ? g.tris : g.lines).push_back(P3{v[i].x, v[i].y, v[i].z});
    g.colours.push_back({v[i].rgba[0], v[i].rgba[1], v[i].rgba[2], v[i].rgba[3]});
  }
  return g;
}

using Key = std::array<uint32_t, 3>;
Key Bits(const P3& p) {
  Key k;
  memcpy(k.data(), &p, 12);
  return k;
}

// The winding number of the triangles about a point: how many times they wrap it, counted
// positive for counter-clockwise-from-outside solids (1 inside one such solid, 0 outside all).
double WindingNumber(const std::vector<P3>& tris, double px, double py, double pz) {
  double sum = 0.0;
  for (size_t t = 0; t + 2 < tris.size(); t += 3) {
    double v[3][3];
    for (int k = 0; k < 3; ++k) {
      v[k][0] = tris[t + k].x - px, v[k][1] = tris[t + k].y - py, v[k][2] = tris[t + k].z - pz;
    }
    auto dot = [](const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    const double la = std::sqrt(dot(v[0], v[0])), lb = std::sqrt(dot(v[1], v[1])), lc = std::sqrt(dot(v[2], v[2]));
    const double cross[3] = {v[1][1] * v[2][2] - v[1][2] * v[2][1], v[1][2] * v[2][0] - v[1][0] * v[2][2],
                             v[1][0] * v[2][1] - v[1][1] * v[2][0]};
    const double num = dot(v[0], cross);
    const double den = la * lb * lc + dot(v[0], v[1]) * lc + dot(v[0], v[2]) * lb + dot(v[1], v[2]) * la;
    sum += 2.0 * std::atan2(num, den);
  }
  return sum / (4.0 * 3.14159265358979323846);
}

// Checks that the triangles form closed solids wound outward. Closed: every directed edge is
// matched by as many reverse edges. Outward: just behind each face (against the normal its
// winding gives) the point lies inside a solid, and just in front of it no solid is inside out.
// Returns an explanation, or "" when all is well.
std::string ClosedAndOutward(const std::vector<P3>& tris) {
  const size_t n = tris.size() / 3;
  std::map<std::pair<Key, Key>, int> directed;
  for (size_t t = 0; t < n; ++t)
    for (int e = 0; e < 3; ++e) ++directed[{Bits(tris[3 * t + e]), Bits(tris[3 * t + (e + 1) % 3])}];
  for (const auto& [edge, count] : directed) {
    const auto back = directed.find({edge.second, edge.first});
    if (back == directed.end() || back->second != count) return "an edge has no matching reverse edge (a hole)";
  }
  // Every face of small models; an even spread of a few hundred faces of big ones.
  const size_t stride = n > 300 ? n / 300 + 1 : 1;
  for (size_t t = 0; t < n; t += stride) {
    const P3 &a = tris[3 * t], &b = tris[3 * t + 1], &c = tris[3 * t + 2];
    const double u[3] = {double{b.x} - a.x, double{b.y} - a.y, double{b.z} - a.z};
    const double v[3] = {double{c.x} - a.x, double{c.y} - a.y, double{c.z} - a.z};
    double nx = u[1] * v[2] - u[2] * v[1], ny = u[2] * v[0] - u[0] * v[2], nz = u[0] * v[1] - u[1] * v[0];
    const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (len < 1e-12) continue;  // a sliver has no side
    const double e = 2e-4 / len;
    nx *= e, ny *= e, nz *= e;
    const double cx = (double{a.x} + b.x + c.x) / 3.0, cy = (double{a.y} + b.y + c.y) / 3.0,
                 cz = (double{a.z} + b.z + c.z) / 3.0;
    const double behind = WindingNumber(tris, cx - nx, cy - ny, cz - nz);
    const double front = WindingNumber(tris, cx + nx, cy + ny, cz + nz);
    if (behind < 0.5 || front < -0.5)
      return "face " + std::to_string(t) + " at (" + std::to_string(cx) + ", " + std::to_string(cy) + ", " +
             std::to_string(cz) + ") is wound inward";
  }
  return "";
}

TEST(StaticModels, EveryModelTheDrawingLoadsIsGeneratedSoundAndInPlace) {
  const std::vector<std::pair<std::string, float>> expected = ExpectedModels();
  ASSERT_EQ(expected.size(), 94u);
  ASSERT_EQ(ModelCatalogueCount(), 94);
  EXPECT_EQ(ModelCatalogueAt(94), nullptr);
  EXPECT_TRUE(ModelCatalogueImage(-1).empty());
  std::set<std::vector<uint8_t>> distinct;
  for (int i = 0; i < ModelCatalogueCount(); ++i) {
    const CatalogueModel& m = *ModelCatalogueAt(i);
    const float scale = expected[i].second;
    SCOPED_TRACE(m.path);
    ASSERT_EQ(expected[i].first, m.path);
    // The build wrote the same bytes the catalogue makes now, and a second run makes them again.
    const std::vector<uint8_t> built = ReadAll(DataDir() + "/" + m.path);
    const std::vector<uint8_t> image = ModelCatalogueImage(i);
    ASSERT_FALSE(built.empty()) << "missing from the data folder";
    EXPECT_TRUE(built == image) << "the build's file differs from a fresh generation";
    EXPECT_TRUE(image == ModelCatalogueImage(i));
    EXPECT_TRUE(distinct.insert(image).second) << "the same bytes as another model";

    const Geo g = Parse(built);
    ASSERT_FALSE(g.tris.empty()) << "not a whole .geo file";
    EXPECT_FALSE(g.lines.empty()) << "no outline";
    for (const auto& c : g.colours) {
      ASSERT_EQ(c[3], 255);
    }
    EXPECT_EQ(ClosedAndOutward(g.tris), "");

    float low = INFINITY, high = -INFINITY, reach = 0.0f;
    for (const P3& p : g.tris) {
      ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
      low = std::fmin(low, p.z);
      high = std::fmax(high, p.z);
      reach = std::fmax(reach, std::sqrt(p.x * p.x + p.y * p.y));
    }
    for (const P3& p : g.lines) {
      EXPECT_GE(p.z, low - 1e-6f);
      EXPECT_LE(p.z, high + 1e-6f);
    }
    if (m.placement == 0) {
      EXPECT_EQ(low, 0.0f) << "does not stand on its base";
    } else if (m.placement == 1) {
      EXPECT_GT(low, 0.0f) << "an annotation sinks into its tile";
    } else {
      ASSERT_EQ(m.placement, 2);
      // A piece on a raised tile reaches down to the ground it was built on.
      EXPECT_NEAR(low, -m.sink, 1e-5f);
      const std::string name = m.path;
      const float raise = name.find("bridge.geo") != std::string::npos    ? c_bridgeRaise
                          : name.find("singledeck") != std::string::npos  ? c_deckRaise
                          : name.find("doubledeck") != std::string::npos  ? 2 * c_deckRaise
                          : name.find("trippledeck") != std::string::npos ? 3 * c_deckRaise
                                                                          : -1.0f;
      // Down to the ground the tile was raised from (the bridge's piers a little into the water).
      EXPECT_GE(m.sink * scale, raise - 1e-5f);
      EXPECT_LE(m.sink * scale, raise + 0.05f);
    }
    if (m.placement != 1) {
      // Within the tile's corners (half a tile width), and not towering over it.
      EXPECT_LE(reach * scale, 0.5f) << "reaches " << reach * scale << " tile widths out";
      EXPECT_LE(high * scale, 1.1f);
      EXPECT_GE(high * scale, 0.005f);
    }
  }
  // Gems sparkle at every triangle vertex: keep them few. And the eight must be told apart by
  // colour alone: their mean colours lie far apart.
  std::vector<std::array<double, 3>> gems;
  for (int i = 0; i < ModelCatalogueCount(); ++i) {
    if (std::string(ModelCatalogueAt(i)->path).find("gem.geo") == std::string::npos) continue;
    const Geo g = Parse(ModelCatalogueImage(i));
    EXPECT_LE(g.tris.size(), 48u) << ModelCatalogueAt(i)->path;
    std::array<double, 3> mean = {0, 0, 0};
    for (size_t v = 0; v < g.tris.size(); ++v)
      for (int k = 0; k < 3; ++k) mean[k] += g.colours[v][k] / static_cast<double>(g.tris.size());
    gems.push_back(mean);
  }
  ASSERT_EQ(gems.size(), 8u);
  for (size_t a = 0; a < gems.size(); ++a)
    for (size_t b = a + 1; b < gems.size(); ++b) {
      const double d = std::sqrt((gems[a][0] - gems[b][0]) * (gems[a][0] - gems[b][0]) +
                                 (gems[a][1] - gems[b][1]) * (gems[a][1] - gems[b][1]) +
                                 (gems[a][2] - gems[b][2]) * (gems[a][2] - gems[b][2]));
      EXPECT_GT(d, 70.0) << "gems " << a << " and " << b << " look alike";
    }
}

TEST(StaticModels, BuilderKeepsSolidsOutwardAndRefusesBadPolygons) {
  MeshBuilder b;
  // A mirroring placement must not turn a solid inside out.
  b.Push();
  b.Scale(-1.0f, 1.0f, 1.0f);
  b.Box(Vec3{0.1f, 0, 0}, Vec3{0.3f, 0.2f, 0.1f}, Rgb{1, 2, 3});
  b.RotateX(37.0f);
  b.Prism(5, 0.1f, 0.05f, 0.0f, 0.2f, Rgb{1, 2, 3}, Rgb{4, 5, 6});
  b.Pop();
  b.Sphere(Vec3{0, 0, 1}, Vec3{0.2f, 0.3f, 0.1f}, 5, 7, Rgb{1, 2, 3}, Rgb{4, 5, 6});
  b.Extrude({{0, 0}, {1, 0}, {1, 1}, {0.5f, 0.2f}, {0, 1}}, 0.0f, 0.1f, Rgb{1, 2, 3}, Rgb{4, 5, 6});
  b.Log(6, 0.1f, -0.5f, 0.5f, Rgb{1, 2, 3}, Rgb{4, 5, 6});
  b.Rod(Vec3{0, 0, 0}, Vec3{-0.3f, 0.2f, -0.4f}, 0.05f, 4, Rgb{1, 2, 3}, Rgb{4, 5, 6});
  const Geo g = Parse(b.GeoImage());
  ASSERT_EQ(g.tris.size(), 3u * b.TriangleCount());
  EXPECT_EQ(ClosedAndOutward(g.tris), "");

  // Bad shapes are refused with an assertion and add nothing: a clockwise or degenerate outline,
  // too few or too many sides, rings of unequal size, an unmatched Pop.
  const int before = b.TriangleCount(), linesBefore = b.LineCount();
  {
    ExpectAsserts asserts;
    b.Extrude({{0, 0}, {0, 1}, {1, 1}, {1, 0}}, 0.0f, 0.1f, Rgb{1, 2, 3}, Rgb{4, 5, 6});
    b.Extrude({{0, 0}, {1, 1}, {2, 2}}, 0.0f, 0.1f, Rgb{1, 2, 3}, Rgb{4, 5, 6});
    b.Prism(2, 0.1f, 0.1f, 0.0f, 0.1f, Rgb{1, 2, 3}, Rgb{4, 5, 6});
    b.Ring(65, 0.1f, 0.2f, 0.0f, 0.1f, Rgb{1, 2, 3}, Rgb{4, 5, 6});
    b.Sphere(Vec3{0, 0, 0}, Vec3{1, 1, 1}, 33, 8, Rgb{1, 2, 3}, Rgb{4, 5, 6});
    b.Log(70, 0.1f, 0.0f, 1.0f, Rgb{1, 2, 3}, Rgb{4, 5, 6});
    b.Loft({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, 1}, {1, 0, 1}}}, {Rgb{1, 2, 3}, Rgb{4, 5, 6}});
    b.Loft({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}, {Rgb{1, 2, 3}});
    b.Pop();
    EXPECT_EQ(asserts.Count(), 9);
  }
  EXPECT_EQ(b.TriangleCount(), before);
  EXPECT_EQ(b.LineCount(), linesBefore);
  // The check itself catches one flipped face, a solid turned inside out, and a missing face.
  std::vector<P3> flipped = g.tris;
  std::swap(flipped[1], flipped[2]);
  EXPECT_NE(ClosedAndOutward(flipped), "");
  MeshBuilder inside;
  inside.Box(Vec3{0, 0, 0}, Vec3{1, 1, 1}, Rgb{1, 2, 3});
  std::vector<P3> box = Parse(inside.GeoImage()).tris;
  EXPECT_EQ(ClosedAndOutward(box), "");
  for (size_t i = 0; i + 2 < box.size(); i += 3) std::swap(box[i + 1], box[i + 2]);
  EXPECT_NE(ClosedAndOutward(box), "");
  box.resize(box.size() - 3);
  EXPECT_NE(ClosedAndOutward(box), "");
}

TEST(StaticModels, FileLayoutGroundingAndTriangulation) {
  // One box: 12 triangles and 12 outline edges, laid out as "geo ", the counts, then 16-byte
  // vertices (position floats, colour bytes with opaque alpha), triangles before lines.
  MeshBuilder box;
  box.Translate(0.0f, 0.0f, 0.5f);
  box.Box(Vec3{-1, -2, -0.25f}, Vec3{1, 2, 0.25f}, Rgb{10, 20, 30}, Rgb{40, 50, 60});
  const std::vector<uint8_t> image = box.GeoImage();
  ASSERT_EQ(image.size(), 12u + 16u * (3 * 12 + 2 * 12));
  EXPECT_EQ(memcmp(image.data(), "geo ", 4), 0);
  int32_t counts[2];
  memcpy(counts, image.data() + 4, 8);
  EXPECT_EQ(counts[0], 12);
  EXPECT_EQ(counts[1], 12);
  float first[3];
  memcpy(first, image.data() + 12, 12);
  EXPECT_EQ(first[2], 0.25f);  // the bottom face comes first, placed by the translation
  EXPECT_EQ(image[12 + 12], 10);
  EXPECT_EQ(image[12 + 15], 255);

  // Grounding moves triangles and lines alike, so that the lowest point lies exactly on z = 0.
  box.SnapToGround();
  const Geo g = Parse(box.GeoImage());
  float low = INFINITY, lineLow = INFINITY;
  for (const P3& p : g.tris) low = std::fmin(low, p.z);
  for (const P3& p : g.lines) lineLow = std::fmin(lineLow, p.z);
  EXPECT_EQ(low, 0.0f);
  EXPECT_EQ(lineLow, 0.0f);

  // Ear clipping of concave outlines (an arrow, a comb, a chevron): the triangles are all
  // counter-clockwise and cover exactly the outline's area.
  const std::vector<std::vector<Pt2>> outlines = {
      {{0, -0.1f}, {1, -0.1f}, {1, -0.3f}, {1.5f, 0}, {1, 0.3f}, {1, 0.1f}, {0, 0.1f}},
      {{0, 0},
       {3, 0},
       {3, 1},
       {2.5f, 1},
       {2.5f, 0.2f},
       {2, 0.2f},
       {2, 1},
       {1, 1},
       {1, 0.2f},
       {0.5f, 0.2f},
       {0.5f, 1},
       {0, 1}},
      {{-0.28f, -0.2f}, {-0.16f, -0.2f}, {0.02f, 0}, {-0.16f, 0.2f}, {-0.28f, 0.2f}, {-0.1f, 0}}};
  for (const std::vector<Pt2>& poly : outlines) {
    std::vector<int> tris;
    ASSERT_TRUE(TriangulatePolygon(poly, &tris));
    ASSERT_EQ(tris.size(), 3 * (poly.size() - 2));
    double area = 0.0, covered = 0.0;
    for (size_t i = 0; i < poly.size(); ++i) {
      const Pt2 &a = poly[i], &c = poly[(i + 1) % poly.size()];
      area += 0.5 * (double{a.x} * c.y - double{c.x} * a.y);
    }
    for (size_t k = 0; k < tris.size(); k += 3) {
      const Pt2 &a = poly[tris[k]], &p = poly[tris[k + 1]], &c = poly[tris[k + 2]];
      const double twice = (double{p.x} - a.x) * (double{c.y} - a.y) - (double{p.y} - a.y) * (double{c.x} - a.x);
      EXPECT_GT(twice, 0.0);
      covered += 0.5 * twice;
    }
    EXPECT_NEAR(covered, area, 1e-6);
  }
}

}  // namespace
