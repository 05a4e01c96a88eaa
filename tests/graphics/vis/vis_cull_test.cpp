// Culling without a window: nothing culled may show a single point, and the planet's chunks cover its mesh exactly
// once.
#include "graphics/vis/vis_cull.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "graphics/models/model_db.h"
#include "graphics/vis_world_fixture.h"
#include "test_support.h"

namespace {

// The game's projection looking from eye at the planet's centre.
Matrix44 ViewProjection(const Vec3& eye, float aspect = 16.0f / 9.0f) {
  const Matrix44 camera = Matrix44::AlignZY(Vec3{0.0f, 1.0f, 0.0f}, Normalize(eye));
  Matrix44 placed = camera;
  placed.SetTranslation(eye);
  return Matrix44::Perspective(0.7853982f, aspect, 0.01f, 10.0f) * Matrix44::Inverse(placed);
}

bool InsideClip(const Matrix44& vp, const Vec3& p) {
  const float* m = vp.m;
  float c[4];
  for (int r = 0; r < 4; ++r) c[r] = m[r] * p.x + m[4 + r] * p.y + m[8 + r] * p.z + m[12 + r];
  return c[3] > 0.0f && fabsf(c[0]) <= c[3] && fabsf(c[1]) <= c[3] && fabsf(c[2]) <= c[3];
}

// The segment from the eye to p passes through the ball of that radius at the origin.
bool BallHides(const Vec3& eye, const Vec3& p, float radius) {
  const Vec3 d = p - eye;
  const float len2 = d.LengthSquared();
  const float t = std::clamp(-Dot(eye, d) / len2, 0.0f, 1.0f);
  return (eye + d * t).Length() < radius;
}

// Points over a ball's surface and its centre.
std::vector<Vec3> BallPoints(const Vec3& c, float r) {
  std::vector<Vec3> pts{c};
  for (int i = 0; i < 12; ++i)
    for (int j = 0; j <= 6; ++j) {
      const float a = i * 0.5235988f, b = j * 0.5235988f - 1.5707963f;
      pts.push_back(c + Vec3{cosf(a) * cosf(b), sinf(a) * cosf(b), sinf(b)} * r);
    }
  return pts;
}

}  // namespace

// Every ball the test calls unseen is, point for point, outside the view volume or behind the
// planet; and the test is not idle: most balls wholly behind the planet are found.
TEST(VisCull, NothingCulledCanBeSeenAndHiddenBallsAreFound) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  const float inner = 1.0f;
  int hiddenByPlanet = 0, foundBehind = 0, culled = 0;
  for (const float distance : {1.3f, 2.0f, 3.5f}) {
    const Vec3 eye = Normalize(Vec3{0.3f, -0.5f, 0.8f}) * distance;
    const Matrix44 vp = ViewProjection(eye);
    const CullView view = CullViewMake(vp, eye, inner, 1.12f);
    ASSERT_TRUE(view.occluder);
    for (int n = 0; n < 3000; ++n) {
      const Vec3 c{u(rng) * 2.0f, u(rng) * 2.0f, u(rng) * 2.0f};
      const float r = 0.01f + 0.1f * (u(rng) + 1.0f);
      if ((c - eye).Length() <= r) continue;
      const std::vector<Vec3> pts = BallPoints(c, r);
      bool seen = false, behind = true;
      for (const Vec3& p : pts) {
        const bool hidden = BallHides(eye, p, inner);
        seen = seen || (InsideClip(vp, p) && !hidden);
        behind = behind && hidden && Dot(p - eye, eye) < 0.0f;
      }
      const bool visible = CullSphereVisible(view, c, r);
      if (!visible) ++culled;
      EXPECT_TRUE(visible || !seen) << "ball at " << c.x << " " << c.y << " " << c.z << " r " << r;
      if (behind && c.Length() > inner + r) {
        ++hiddenByPlanet;
        // Far enough behind to be clear of the silhouette's slack.
        if (!visible) ++foundBehind;
      }
    }
  }
  EXPECT_GT(culled, 3000);
  ASSERT_GT(hiddenByPlanet, 100);
  EXPECT_GT(foundBehind, hiddenByPlanet * 9 / 10);
}

TEST(VisCull, EyeInsideThePlanetsSurfaceCullsOnlyByTheViewVolume) {
  const Vec3 eye{0.0f, 0.0f, 1.05f};
  const CullView view = CullViewMake(ViewProjection(eye), eye, 1.0f, 1.1f);
  EXPECT_FALSE(view.occluder);
  // Straight ahead through the planet: kept, as nothing is known to hide it.
  EXPECT_TRUE(CullSphereVisible(view, Vec3{0.0f, 0.0f, -1.0f}, 0.01f));
  EXPECT_FALSE(CullSphereVisible(view, Vec3{0.0f, 0.0f, 2.0f}, 0.01f));  // behind the eye
}

// Instances keep their order; a scaled instance's ball grows with its largest axis.
TEST(VisCull, InstancesKeepOrderAndScale) {
  const Vec3 eye{0.0f, 0.0f, 3.0f};
  const CullView view = CullViewMake(ViewProjection(eye), eye, 1.0f, 1.1f);
  Aabb box;
  box.Extend(Vec3{-0.5f, -0.5f, 0.0f});
  box.Extend(Vec3{0.5f, 0.5f, 1.0f});
  const CullBounds bounds = CullBoundsOfBox(box);
  Matrix44 in[5];
  in[0] = Matrix44::Translation(Vec3{0.0f, 0.0f, 1.0f});   // facing the eye
  in[1] = Matrix44::Translation(Vec3{0.0f, 0.0f, -1.2f});  // behind the planet
  in[2] = Matrix44::Translation(Vec3{0.3f, 0.0f, 1.0f});
  in[3] = Matrix44::Translation(Vec3{0.0f, 0.0f, -1.2f}) * Matrix44::Scale(Vec3{0.1f, 0.1f, 3.0f});  // tall
  in[4] = Matrix44::Translation(Vec3{5.0f, 0.0f, 1.0f});                                             // off to the side
  Matrix44 out[5];
  ASSERT_EQ(CullInstances(view, bounds, in, 5, out), 3);
  EXPECT_EQ(memcmp(&out[0], &in[0], sizeof(Matrix44)), 0);
  EXPECT_EQ(memcmp(&out[1], &in[2], sizeof(Matrix44)), 0);
  EXPECT_EQ(memcmp(&out[2], &in[3], sizeof(Matrix44)), 0);
  // A model without vertices has no bounds: everything is kept.
  EXPECT_EQ(CullInstances(view, CullBounds{}, in, 5, out), 5);
}

// The small world's planet: every primitive that can colour a pixel in exactly one chunk, once,
// each index standing for the same vertex bytes, every vertex inside its chunk's ball, and no
// triangle nearer the centre than the inner radius. Left out are the triangles with two corners
// in one place, the lines of no length and a line drawn again between the same two vertices,
// either way round; the picture tests show that the frame stays the same without them.
TEST(VisCull, PlanetChunksCoverTheMeshOnce) {
  Wld* world = MakeSmallWorld();
  ASSERT_NE(world, nullptr);
  ModelDB db;
  db.SetHeadless(true);
  const int slot = db.Load("custom.geo", false, 1);
  ASSERT_GE(slot, 0);
  const ModelMesh& mesh = db.Entry(slot)->m_mesh;
  const GeoVertex* v = mesh.GeoVertices();
  PlanetChunks chunks;
  ASSERT_TRUE(PlanetChunksBuild(v, mesh.m_triangleCount, mesh.m_lineCount, 3, &chunks));
  EXPECT_GT(chunks.chunkCount, 30);
  EXPECT_LE(chunks.chunkCount, 54);

  auto key = [&](uint32_t i) { return std::string(reinterpret_cast<const char*>(&v[i]), sizeof(GeoVertex)); };
  auto place = [&](uint32_t i) { return std::string(reinterpret_cast<const char*>(&v[i]), 3 * sizeof(float)); };
  // A line's key does not depend on which end comes first.
  auto lineKey = [&](uint32_t a, uint32_t b) { return std::min(key(a), key(b)) + std::max(key(a), key(b)); };
  std::vector<std::string> original, chunked;
  int flat = 0, empty = 0, repeated = 0;
  for (int t = 0; t < mesh.m_triangleCount; ++t) {
    const uint32_t a = 3 * t, b = a + 1, c = a + 2;
    if (place(a) == place(b) || place(b) == place(c) || place(c) == place(a)) {
      ++flat;
      continue;
    }
    original.push_back(key(a) + key(b) + key(c));
  }
  std::set<std::string> lines;
  for (int l = 0; l < mesh.m_lineCount; ++l) {
    const uint32_t a = 3 * mesh.m_triangleCount + 2 * l, b = a + 1;
    if (place(a) == place(b)) {
      ++empty;
    } else if (!lines.insert(lineKey(a, b)).second) {
      ++repeated;
    }
  }
  original.insert(original.end(), lines.begin(), lines.end());
  // The small planet has all three kinds.
  EXPECT_GT(flat, 0);
  EXPECT_GT(empty, 0);
  EXPECT_GT(repeated, 0);
  const int keptTriangles = mesh.m_triangleCount - flat;
  EXPECT_EQ(chunks.indexCount, int64_t{3} * keptTriangles + int64_t{2} * static_cast<int64_t>(lines.size()));
  float nearest = 1e9f;
  for (int c = 0; c < chunks.chunkCount; ++c) {
    for (int pass = 0; pass < 2; ++pass) {
      const int first = pass ? chunks.lineFirst[c] : chunks.triFirst[c];
      const int count = pass ? chunks.lineCount[c] : chunks.triCount[c];
      const int corners = pass ? 2 : 3;
      for (int k = 0; k < count; k += corners) {
        for (int j = 0; j < corners; ++j) {
          const uint32_t i = chunks.indices[first + k + j];
          ASSERT_LT(i, static_cast<uint32_t>(mesh.m_vertexCount));
          const Vec3 p{v[i].x, v[i].y, v[i].z};
          EXPECT_LE((p - chunks.centre[c]).Length(), chunks.radius[c] * 1.0001f);
          nearest = std::min(nearest, p.Length());
        }
        const uint32_t* at = &chunks.indices[first + k];
        chunked.push_back(pass ? lineKey(at[0], at[1]) : key(at[0]) + key(at[1]) + key(at[2]));
      }
    }
  }
  std::sort(original.begin(), original.end());
  std::sort(chunked.begin(), chunked.end());
  EXPECT_TRUE(original == chunked);
  EXPECT_GT(chunks.innerRadius, 0.8f);
  EXPECT_LT(chunks.innerRadius, nearest);
  EXPECT_GE(chunks.outerRadius, nearest);

  // From far out with a view that takes in the whole planet, every triangle is drawn in one run.
  const Vec3 eye{0.0f, 0.0f, 8.0f};
  const CullView all = CullViewMake(ViewProjection(eye), eye, 0.0f, 0.0f);
  std::vector<int32_t> first(chunks.chunkCount), count(chunks.chunkCount);
  ASSERT_EQ(PlanetChunksVisible(chunks, all, false, first.data(), count.data()), 1);
  EXPECT_EQ(first[0], 0);
  EXPECT_EQ(count[0], 3 * keptTriangles);
  // With the planet hiding its far side, a good share of the lines go.
  const CullView near = CullViewMake(ViewProjection(Vec3{0.0f, 0.0f, 2.0f}), Vec3{0.0f, 0.0f, 2.0f}, chunks.innerRadius,
                                     chunks.outerRadius);
  const int runs = PlanetChunksVisible(chunks, near, true, first.data(), count.data());
  int drawn = 0;
  for (int r = 0; r < runs; ++r) drawn += count[r];
  EXPECT_GT(drawn, 0);
  EXPECT_LT(drawn, 2 * static_cast<int>(lines.size()) * 7 / 10);
  EXPECT_FALSE(PlanetChunksBuild(v, mesh.m_triangleCount, mesh.m_lineCount, 0, &chunks));
  EXPECT_EQ(chunks.chunkCount, 0);
  delete world;
}
