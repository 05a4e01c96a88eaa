// Model formats: ".geo" blocks and their size checks, ".md2" frame blocks with their loops, sRGB colours and ".dds"
// skins.
#include "graphics/models/model_formats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "captured_log.h"
#include "graphics/model_images.h"
#include "test_support.h"

using namespace model_images;

namespace {
int Geo(const std::vector<uint8_t>& image, int instances, bool srgb, ModelMesh* mesh) {
  return GeoDecode(image.data(), static_cast<int64_t>(image.size()), instances, srgb, "test.geo", mesh);
}
}  // namespace

TEST(GeoDecode, SizesAndSrgbColours) {
  // 2 triangles and 1 line: 8 vertices, 128 bytes, and 4 instances of 64 bytes behind them.
  std::vector<uint8_t> image = GeoImage(2, 1, GeoVertexBytes(8, 188, 128, 10));
  ModelMesh mesh;
  ASSERT_EQ(Geo(image, 4, true, &mesh), 0);
  EXPECT_EQ(mesh.m_vertexCount, 8);
  EXPECT_EQ(mesh.m_triangleCount, 2);
  EXPECT_EQ(mesh.m_lineCount, 1);
  EXPECT_EQ(mesh.m_vertexBytes, 128);
  EXPECT_EQ(mesh.m_blockBytes, 384);
  EXPECT_EQ(mesh.m_indexCount, 0);
  EXPECT_EQ(mesh.m_animCount, 0);
  EXPECT_EQ(mesh.m_stride, 16);
  const GeoVertex* v = mesh.GeoVertices();
  EXPECT_EQ(v[7].x, 7.0f);
  EXPECT_EQ(v[7].z, 21.0f);
  EXPECT_EQ(v[3].rgba[0], 128);
  EXPECT_EQ(v[3].rgba[1], 55);
  EXPECT_EQ(v[3].rgba[2], 0);
  EXPECT_EQ(v[3].rgba[3], 255);
  EXPECT_EQ(mesh.m_bounds.max.y, 14.0f);
  // Without the flag the colours are kept as they are.
  ASSERT_EQ(Geo(image, 1, false, &mesh), 0);
  EXPECT_EQ(mesh.GeoVertices()[3].rgba[0], 188);
  EXPECT_EQ(mesh.m_blockBytes, 128 + 64);
  EXPECT_EQ(SrgbToLinearByte(0), 0);
  EXPECT_EQ(SrgbToLinearByte(255), 255);
}

// A damaged or hostile ".geo" image is refused with one line that names the file, never
// accepted with garbage or an allocation sized from wrapped arithmetic.
TEST(GeoDecode, RefusesDamagedImages) {
  struct Case {
    const char* what;
    std::vector<uint8_t> image;
    int instances;
  };
  const std::vector<uint8_t> good = GeoImage(2, 1, GeoVertexBytes(8, 1, 2, 3));
  std::vector<uint8_t> badMagic = good;
  badMagic[3] = 'x';
  const Case cases[] = {
      {"bad magic", badMagic, 0},
      {"no vertices", GeoImage(0, 0, {}), 0},
      {"one vertex short", std::vector<uint8_t>(good.begin(), good.end() - 16), 0},
      {"one byte short", std::vector<uint8_t>(good.begin(), good.end() - 1), 0},
      {"header cut", std::vector<uint8_t>(good.begin(), good.begin() + 9), 0},
      // 3 x 0x55555556 is 2 modulo 2^32: 32-bit arithmetic would ask for 32 bytes, which are there.
      {"3T wraps 32 bits", GeoImage(0x55555556u, 0, GeoVertexBytes(2, 0, 0, 0)), 0},
      // 3 x 0x55555555 + 2 x 0x80000001 is 1 modulo 2^32.
      {"3T + 2L wraps 32 bits", GeoImage(0x55555555u, 0x80000001u, GeoVertexBytes(1, 0, 0, 0)), 0},
      {"largest counts", GeoImage(0xffffffffu, 0xffffffffu, GeoVertexBytes(4, 0, 0, 0)), 0},
      {"counts above 2^31", GeoImage(0x80000000u, 0, GeoVertexBytes(4, 0, 0, 0)), 0},
      {"negative instances", good, -1},
      {"absurd instances", good, 0x7fffffff},
  };
  for (const Case& c : cases) {
    CapturedLog log;
    ModelMesh mesh;
    EXPECT_EQ(Geo(c.image, c.instances, false, &mesh), -1) << c.what;
    EXPECT_EQ(mesh.m_vertexData, nullptr) << c.what;
    EXPECT_EQ(mesh.m_vertexCount, 0) << c.what;
    EXPECT_EQ(log.Count(), 1) << c.what;
    EXPECT_TRUE(log.Has("test.geo")) << c.what;
  }
  // Every truncation fails, each with its line.
  for (size_t n = 0; n < good.size(); ++n) {
    ModelMesh mesh;
    CapturedLog log;
    EXPECT_EQ(GeoDecode(good.data(), static_cast<int64_t>(n), 0, false, "cut.geo", &mesh), -1) << n;
    EXPECT_EQ(log.Count(), 1);
  }
  CapturedLog log;
  ModelMesh mesh;
  EXPECT_EQ(GeoDecode(nullptr, 100, 0, false, "null.geo", &mesh), -1);
  EXPECT_TRUE(log.Has("Not a valid geometry file: 'null.geo'"));
}

TEST(Md2Decode, FramesBlendIntoTheirFollowersAndStandOnZero) {
  Md2Spec s;
  s.frames = {"run1", "run2", "run3", "idle01", "idle02"};
  s.skins = {"ork.pcx", "other.pcx"};
  std::vector<uint8_t> image = Md2Image(s);
  ModelMesh mesh;
  ASSERT_EQ(Md2Decode(image.data(), static_cast<int64_t>(image.size()), 2, "data/props", "ork.md2", &mesh), 0);
  ASSERT_EQ(mesh.m_animCount, 2);
  EXPECT_STREQ(mesh.m_anims[0].name, "run");
  EXPECT_EQ(mesh.m_anims[1].firstFrame, 3);
  EXPECT_EQ(mesh.m_anims[1].frameCount, 2);
  EXPECT_EQ(mesh.m_vertexCount, 3);
  EXPECT_EQ(mesh.m_frameCount, 5);
  EXPECT_EQ(mesh.m_indexCount, 3);
  EXPECT_EQ(mesh.m_triangleCount, 1);
  EXPECT_EQ(mesh.m_lineCount, 0);
  EXPECT_EQ(mesh.m_vertexBytes, 5 * 3 * 32);
  EXPECT_EQ(mesh.m_blockBytes, 5 * 3 * 32 + 2 * 64);
  EXPECT_STREQ(mesh.m_skinPath.c_str(), "data/props/ork.dds");
  EXPECT_EQ(mesh.m_indices[1], 1);  // corners 0, 2, 1 are the distinct pairs 0, 1, 2
  // Distinct vertex 1 is model vertex 2. Vertex layout: this frame, the following frame, s, t.
  auto vertex = [&](int frame, int k) { return mesh.Md2Vertices() + (frame * 3 + k) * 8; };
  const float* v = vertex(2, 1);  // frame 2 wraps to frame 0
  EXPECT_FLOAT_EQ(v[0], 0.22f);
  EXPECT_FLOAT_EQ(v[1], 0.02f);
  EXPECT_NEAR(v[2], 0.02f, 1e-6f);  // z 7 lowered by frame 0's lowest z 5
  EXPECT_FLOAT_EQ(v[3], 0.20f);
  EXPECT_FLOAT_EQ(v[4], 0.0f);
  EXPECT_FLOAT_EQ(v[6], 0.0f);
  EXPECT_FLOAT_EQ(v[7], 0.5f);
  EXPECT_FLOAT_EQ(vertex(4, 0)[3], 0.03f);  // frame 4 (idle02) wraps to frame 3
  EXPECT_FLOAT_EQ(vertex(0, 0)[3], 0.01f);  // frame 0 goes on to frame 1
  EXPECT_FLOAT_EQ(vertex(0, 0)[2], 0.0f);
  EXPECT_FLOAT_EQ(mesh.m_bounds.min.z, 0.0f);
  EXPECT_NEAR(mesh.m_bounds.max.z, 0.02f, 1e-6f);
  // Halfway from frame 2 to its follower frame 0, distinct vertex 1 (model vertex 2) stands
  // between x 0.22 and 0.20.
  AnimPose pose;
  pose.frame = 2;
  pose.weight = 0.5f;
  Vec3 p;
  ASSERT_TRUE(mesh.BlendedPosition(pose, 1, &p));
  EXPECT_NEAR(p.x, 0.21f, 1e-6f);
  EXPECT_NEAR(p.y, 0.01f, 1e-6f);
  EXPECT_FALSE(mesh.BlendedPosition(pose, 3, &p));  // only 3 distinct vertices
  pose.frame = 5;
  EXPECT_FALSE(mesh.BlendedPosition(pose, 0, &p));
}

TEST(Md2Decode, RefusalsAndUnusableSkins) {
  Md2Spec s;
  std::vector<uint8_t> image = Md2Image(s);
  Put32(image, MD2_VERSION, 7);
  {
    CapturedLog log;
    ModelMesh mesh;
    EXPECT_EQ(Md2Decode(image.data(), static_cast<int64_t>(image.size()), 0, "f", "v7.md2", &mesh), -1);
    EXPECT_TRUE(log.Has("v7.md2"));
    EXPECT_EQ(mesh.m_vertexData, nullptr);
  }
  const char* skins[] = {"../../../etc/passwd.pcx", "/abs.pcx", "a.b"};
  for (const char* skin : skins) {
    s.skins = {skin};
    image = Md2Image(s);
    CapturedLog log;
    ModelMesh mesh;
    EXPECT_EQ(Md2Decode(image.data(), static_cast<int64_t>(image.size()), 0, "f", "skin.md2", &mesh), 0) << skin;
    EXPECT_TRUE(mesh.m_skinPath.Empty()) << skin;
    EXPECT_TRUE(log.Has("unusable skin")) << skin;
  }
  s.skins.clear();
  image = Md2Image(s);
  ModelMesh mesh;
  EXPECT_EQ(Md2Decode(image.data(), static_cast<int64_t>(image.size()), 0, "f", "none.md2", &mesh), 0);
  EXPECT_TRUE(mesh.m_skinPath.Empty());
  CapturedLog log;
  EXPECT_EQ(Md2Decode(image.data(), static_cast<int64_t>(image.size()), -5, "f", "neg.md2", &mesh), -1);
  EXPECT_TRUE(log.Has("neg.md2"));
}

TEST(TextureDecode, CodesFiltersAndPixelOrder) {
  struct Case {
    const char* what;
    std::vector<uint8_t> image;
    int code, filter;
    bool bgra;
  };
  const Case cases[] = {
      {"masked RGBA is blue first", DdsImage(2, 2, 1, "", 0, 16), 4, 1, true},
      {"DX10 RGBA8 is red first", DdsImage(2, 2, 1, "DX10", 28, 16), 5, 1, false},
      {"DXT1 with mips", DdsImage(8, 8, 4, "DXT1", 0, 32 + 8 + 8 + 8), -1, 2, false},
      {"DXT5", DdsImage(4, 4, 0, "DXT5", 0, 16), -2, 1, false},
      {"DX10 BC3", DdsImage(4, 4, 1, "DX10", 77, 16), -2, 1, false},
  };
  for (const Case& c : cases) {
    TextureImage t;
    ASSERT_TRUE(TextureDecode(c.image.data(), static_cast<int64_t>(c.image.size()), &t)) << c.what;
    EXPECT_EQ(t.m_code, c.code) << c.what;
    EXPECT_EQ(t.m_filter, c.filter) << c.what;
    EXPECT_EQ(t.m_bgra, c.bgra) << c.what;
  }
  TextureImage t;
  std::vector<uint8_t> cut = DdsImage(2, 2, 1, "", 0, 15);
  EXPECT_FALSE(TextureDecode(cut.data(), static_cast<int64_t>(cut.size()), &t));
  uint8_t pixels[8] = {10, 20, 30, 40, 1, 2, 3, 4};
  PixelsSwapRedBlue(pixels, 2);
  const uint8_t want[8] = {30, 20, 10, 40, 3, 2, 1, 4};
  EXPECT_EQ(memcmp(pixels, want, 8), 0);
}

// Random damage to a ".geo" image is refused or decodes to exactly what its counts say.
TEST(GeoDecode, RandomDamageIsRefusedOrConsistent) {
  const std::vector<uint8_t> good = GeoImage(2, 1, GeoVertexBytes(8, 1, 2, 3));
  std::mt19937 rng(1209);
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> image = good;
    image[4 + rng() % 8] = static_cast<uint8_t>(rng());
    if (rng() % 3 == 0) image.resize(rng() % (image.size() + 1));
    CapturedLog log;
    ModelMesh mesh;
    if (GeoDecode(image.data(), static_cast<int64_t>(image.size()), 2, false, "fuzz.geo", &mesh) == 0) {
      ASSERT_EQ(mesh.m_vertexCount, 3 * mesh.m_triangleCount + 2 * mesh.m_lineCount);
      ASSERT_LE(12 + mesh.m_vertexBytes, static_cast<int64_t>(image.size()));
      ASSERT_EQ(mesh.m_blockBytes, mesh.m_vertexBytes + 2 * 64);
    } else {
      ASSERT_EQ(log.Count(), 1);
    }
  }
}
