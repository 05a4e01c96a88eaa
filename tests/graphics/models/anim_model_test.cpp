// AnimModel: ".md2" decoding, hostile images, frame sequences and playback.
#include "graphics/models/anim_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "graphics/model_images.h"
#include "test_support.h"

using namespace model_images;

namespace {
bool Parses(const std::vector<uint8_t>& image, const char** why = nullptr) {
  AnimModel m;
  const bool ok = m.Parse(image.data(), static_cast<int64_t>(image.size()), 0.01f, why);
  m.Free();
  return ok;
}

Md2Spec TwoTriangles() {
  Md2Spec s;
  s.vertexCount = 4;
  // Entries 1 and 3 hold the same coordinates, so corners using 3 merge into 1.
  s.texCoords = {{0, 0}, {32, 0}, {0, 16}, {32, 0}};
  s.triangles = {{{0, 1, 2}, {0, 1, 2}}, {{1, 3, 2}, {3, 0, 2}}};
  s.frames = {"run1", "run2", "run3", "idle01", "idle02"};
  s.skins = {"ork.pcx"};
  return s;
}
}  // namespace

TEST(AnimModel, DecodesCornersCoordinatesFramesAndPairs) {
  std::vector<uint8_t> image = Md2Image(TwoTriangles());
  AnimModel m;
  ASSERT_TRUE(m.Parse(image.data(), static_cast<int64_t>(image.size()), 0.01f));
  EXPECT_EQ(m.m_cornerCount, 6);
  EXPECT_EQ(m.m_frameCount, 5);
  EXPECT_EQ(m.m_skinCount, 1);
  EXPECT_STREQ(m.SkinName(0), "ork.pcx");
  EXPECT_STREQ(m.FrameName(3), "idle01");
  // Triangle (0, 1, 2) is stored as 0, 2, 1; its texture corners likewise.
  const uint16_t pos[6] = {0, 2, 1, 1, 2, 3};
  for (int c = 0; c < 6; ++c) EXPECT_EQ(m.m_posIdxArray[c], pos[c]) << c;
  EXPECT_EQ(m.m_texIdxArray[0], 0);
  EXPECT_EQ(m.m_texIdxArray[1], 2);
  EXPECT_EQ(m.m_texIdxArray[2], 1);
  // (3, 0, 2) reversed is 3, 2, 0, and entry 3 holds entry 1's (0.5, 0).
  EXPECT_EQ(m.m_texIdxArray[3], 1);
  EXPECT_EQ(m.m_texIdxArray[4], 2);
  EXPECT_EQ(m.m_texIdxArray[5], 0);
  EXPECT_FLOAT_EQ(m.m_texCoords[2], 0.5f);
  EXPECT_FLOAT_EQ(m.m_texCoords[5], 0.5f);
  // Distinct (vertex, texture) pairs in first-use order: (0,0) (2,2) (1,1) (3,0).
  ASSERT_EQ(m.m_pairCount, 4);
  const uint16_t out[6] = {0, 1, 2, 2, 1, 3};
  for (int c = 0; c < 6; ++c) EXPECT_EQ(m.m_outIdxArray[c], out[c]) << c;
  EXPECT_EQ(m.m_pairs[6], 3);
  EXPECT_EQ(m.m_pairs[7], 0);
  // Vertex 2 of frame 3 at bytes (23, 3, 7), scaled by 0.01.
  EXPECT_FLOAT_EQ(m.Position(3, 2)[0], 0.23f);
  EXPECT_FLOAT_EQ(m.Position(3, 2)[1], 0.03f);
  EXPECT_FLOAT_EQ(m.Position(3, 2)[2], 0.07f);
  // The box covers frame 0 only: x 0..30, y 0, z 5..8.
  EXPECT_FLOAT_EQ(m.m_bounds.min.z, 0.05f);
  EXPECT_FLOAT_EQ(m.m_bounds.max.x, 0.30f);
  EXPECT_FLOAT_EQ(m.m_bounds.max.y, 0.0f);
  m.Free();
  EXPECT_EQ(m.m_posIdxArray, nullptr);
  EXPECT_EQ(m.m_frameCount, 0);
  EXPECT_EQ(m.m_bounds.min.x, FLT_MAX);
}

TEST(AnimModel, NamesAreCopiedWithABound) {
  Md2Spec s = TwoTriangles();
  s.frames = {"abcdefghijklmnop", "abcdefghijklmno7"};  // 16 bytes, no terminator
  s.skins = {std::string(64, 'k')};
  std::vector<uint8_t> image = Md2Image(s);
  AnimModel m;
  ASSERT_TRUE(m.Parse(image.data(), static_cast<int64_t>(image.size()), 1.0f));
  EXPECT_EQ(strlen(m.FrameName(0)), 15u);
  EXPECT_EQ(strlen(m.SkinName(0)), 63u);
  AnimRecord r[2];
  ASSERT_EQ(AnimSequencesBuild(m, r, 2), 1);  // both are "abcdefghijklmno" once cut
  EXPECT_STREQ(r[0].name, "abcdefghijklmno");
  m.Free();
}

// Every way a hostile or damaged image can go wrong is refused before anything is read from
// outside it. Each case changes one field of a valid image.
TEST(AnimModel, RefusesHostileImages) {
  const std::vector<uint8_t> good = Md2Image(TwoTriangles());
  ASSERT_TRUE(Parses(good));
  struct Case {
    const char* what;
    size_t offset;
    uint32_t value;
    bool bytes16;
  };
  const uint32_t size = static_cast<uint32_t>(good.size());
  const uint32_t trisAt = Get32(good, MD2_OFS_TRIS);
  const Case cases[] = {
      {"magic", 0, 0x32504449 + 1, false},
      {"version 7", MD2_VERSION, 7, false},
      {"no vertices", MD2_VERTS, 0, false},
      {"no texture coordinates", MD2_TEXCOORDS, 0, false},
      {"no triangles", MD2_TRIS, 0, false},
      {"no frames", MD2_FRAMES, 0, false},
      {"negative skin count", MD2_SKINS, 0xffffffffu, false},
      {"negative vertex count", MD2_VERTS, 0x80000000u, false},
      {"huge frame count", MD2_FRAMES, 0x7fffffffu, false},
      {"huge triangle count", MD2_TRIS, 0x40000000u, false},
      {"skin width 0", MD2_SKINW, 0, false},
      {"skin height negative", MD2_SKINH, 0xfffffff0u, false},
      {"skins past the end", MD2_OFS_SKINS, size - 10, false},
      {"texture coordinates past the end", MD2_OFS_ST, size, false},
      {"triangles past the end", MD2_OFS_TRIS, size - 11, false},
      {"frames one byte past the end", MD2_OFS_FRAMES, Get32(good, MD2_OFS_FRAMES) + 1, false},
      {"negative frames offset", MD2_OFS_FRAMES, 0xfffffff0u, false},
      {"offset near 2^31", MD2_OFS_ST, 0x7ffffffcu, false},
      {"more frames than the file holds", MD2_FRAMES, 6, false},
      {"more vertices than the frames hold", MD2_VERTS, 5, false},
      {"vertex index out of range", trisAt + 2, 4, true},
      {"texture index out of range", trisAt + 12 + 8, 4, true},
      {"texture index 0xffff", trisAt + 6, 0xffff, true},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> image = good;
    if (c.bytes16)
      Put16(image, c.offset, static_cast<uint16_t>(c.value));
    else
      Put32(image, c.offset, c.value);
    const char* why = nullptr;
    EXPECT_FALSE(Parses(image, &why)) << c.what;
    EXPECT_TRUE(why && why[0]) << c.what;
  }
  // A scale that is not a number would put NaNs into every position.
  std::vector<uint8_t> image = good;
  PutF(image, Get32(good, MD2_OFS_FRAMES) + 4, NAN);
  EXPECT_FALSE(Parses(image));
  // Every truncation of the image is refused (the tables reach its last byte).
  for (size_t n = 0; n < good.size(); ++n) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + n);
    EXPECT_FALSE(Parses(cut)) << n;
  }
  AnimModel m;
  EXPECT_FALSE(m.Parse(nullptr, 100, 1.0f));
}

TEST(AnimModel, SequencesFromFrameNames) {
  struct Case {
    std::vector<std::string> frames;
    std::vector<AnimRecord> want;
  };
  const Case cases[] = {
      {{"run1", "run2", "run3", "idle01", "idle02"}, {{"run", 0, 3}, {"idle", 3, 2}}},
      {{"walk", "walk10", "walk2"}, {{"walk", 0, 3}}},
      {{"a1", "b1", "a2"}, {{"a", 0, 1}, {"b", 1, 1}, {"a", 2, 1}}},
      {{"123", "45", "x"}, {{"", 0, 2}, {"x", 2, 1}}},
  };
  for (const Case& c : cases) {
    Md2Spec s = TwoTriangles();
    s.frames = c.frames;
    std::vector<uint8_t> image = Md2Image(s);
    AnimModel m;
    ASSERT_TRUE(m.Parse(image.data(), static_cast<int64_t>(image.size()), 1.0f));
    ASSERT_EQ(AnimSequencesCount(m), static_cast<int>(c.want.size()));
    AnimRecord got[4];
    ASSERT_EQ(AnimSequencesBuild(m, got, 4), static_cast<int>(c.want.size()));
    for (size_t i = 0; i < c.want.size(); ++i) {
      EXPECT_STREQ(got[i].name, c.want[i].name) << c.frames[0];
      EXPECT_EQ(got[i].firstFrame, c.want[i].firstFrame);
      EXPECT_EQ(got[i].frameCount, c.want[i].frameCount);
    }
    m.Free();
  }
  const AnimRecord seqs[] = {{"run", 0, 3}, {"idle", 3, 2}, {"run", 5, 1}};
  EXPECT_EQ(AnimFollowingFrame(seqs, 3, 0), 1);
  EXPECT_EQ(AnimFollowingFrame(seqs, 3, 2), 0);
  EXPECT_EQ(AnimFollowingFrame(seqs, 3, 4), 3);
  EXPECT_EQ(AnimFollowingFrame(seqs, 3, 5), 5);
  EXPECT_EQ(AnimSequenceFind(seqs, 3, "run"), 0);
  EXPECT_EQ(AnimSequenceFind(seqs, 3, "idle"), 1);
  EXPECT_EQ(AnimSequenceFind(seqs, 3, "Idle"), -1);
  EXPECT_EQ(AnimSequenceFind(seqs, 3, "idl"), -1);
  EXPECT_EQ(AnimSequenceFind(seqs, 3, nullptr), -1);
  EXPECT_TRUE(AnimNamesMatch("walk10", "walk2"));
  EXPECT_FALSE(AnimNamesMatch("walk1", "walks1"));
}

TEST(AnimModel, PlaybackFramesAndWeights) {
  const AnimRecord seq = {"walk", 10, 4};
  struct Case {
    double seconds;
    bool loop;
    int frame;
    float weight;
  };
  const Case cases[] = {
      {2.345, true, 13, 0.45f},                           // step 23, 23 mod 4 = 3
      {2.345, false, 13, 0.0f},                           // held on the last frame, no blend
      {0.15, false, 11, 0.5f},                            // before the end a non-looping sequence blends as usual
      {0.299, false, 12, 0.99f},                          // step 2 is not yet the last
      {0.4, true, 10, 0.0f},                              // wraps to the first
      {0.0, true, 10, 0.0f},     {-3.0, true, 10, 0.0f},  // a negative time counts as 0
      {1e300, true, 10, 0.0f},                            // absurd times stay defined
  };
  for (const Case& c : cases) {
    AnimPose p = AnimPoseAt(seq, 7, c.seconds, c.loop);
    EXPECT_EQ(p.frame, c.frame) << c.seconds << " " << c.loop;
    EXPECT_EQ(p.baseVertex, c.frame * 7);
    EXPECT_NEAR(p.weight, c.weight, 1e-5f) << c.seconds;
  }
  ExpectAsserts asserts;
  const AnimRecord empty = {"dead", 5, 0};
  AnimPose p = AnimPoseAt(empty, 7, 1.0, true);
  EXPECT_TRUE(asserts.Saw("frameCount>0"));
  EXPECT_EQ(p.frame, 5);
  EXPECT_EQ(p.weight, 0.0f);
}

// Random damage to a valid image never reads outside it (the sanitizer builds watch) and never
// yields a model whose indices leave their tables.
TEST(AnimModel, RandomDamageIsRefusedOrConsistent) {
  Md2Spec s = TwoTriangles();
  s.skins = {"a.pcx", "b.pcx"};
  const std::vector<uint8_t> good = Md2Image(s);
  std::mt19937 rng(20261209);
  int accepted = 0;
  for (int round = 0; round < 4000; ++round) {
    std::vector<uint8_t> image = good;
    const int hits = 1 + static_cast<int>(rng() % 4);
    for (int h = 0; h < hits; ++h) {
      // Mostly the header and triangles, where a changed byte changes the most.
      const size_t at = rng() % 2 ? rng() % 68 : rng() % image.size();
      image[at] = static_cast<uint8_t>(rng() % 3 == 0 ? 0xff : rng());
    }
    if (rng() % 5 == 0) image.resize(rng() % image.size());
    AnimModel m;
    if (m.Parse(image.data(), static_cast<int64_t>(image.size()), 0.01f)) {
      ++accepted;
      for (int c = 0; c < m.m_cornerCount; ++c) {
        ASSERT_LT(m.m_posIdxArray[c], m.m_vertexCount);
        ASSERT_LT(m.m_texIdxArray[c], m.m_texCoordCount);
        ASSERT_LT(m.m_outIdxArray[c], m.m_pairCount);
      }
      AnimRecord records[MD2MAXFRAMES];
      const int n = AnimSequencesBuild(m, records, MD2MAXFRAMES);
      int frames = 0;
      for (int i = 0; i < n; ++i) frames += records[i].frameCount;
      ASSERT_EQ(frames, m.m_frameCount);
    }
    m.Free();
  }
  // Some damage is harmless (a name, a coordinate, a vertex byte): those images still decode.
  EXPECT_GT(accepted, 100);
}
