// Checks the generated animated figures, their skins, the sparkle texture and the fonts of the data folder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "graphics/models/model_formats.h"
#include "test_support.h"
#include "utility/ddsfile.h"
#include "world/actors/actors_move.h"

namespace {

int32_t I32(const std::vector<uint8_t>& b, size_t at) {
  uint32_t v;
  memcpy(&v, &b[at], 4);
  return static_cast<int32_t>(v);
}

struct V {
  double x, y, z;
};
V Sub(V a, V b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V CrossV(V a, V b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double DotV(V a, V b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V UnitV(V a) {
  const double l = std::sqrt(DotV(a, a));
  return {a.x / l, a.y / l, a.z / l};
}

// The figure as the game's model database decodes it: distinct (vertex, texture coordinate) pairs
// as vertices, the index buffer (counter-clockwise after the reader's reversal), the sequences, and
// every frame lowered so that the first frame stands on z = 0, at the game's scale of 0.01.
struct Figure {
  ModelMesh mesh;
  int Pairs() const { return mesh.m_vertexCount; }
  V At(int frame, int pair) const {
    const float* p = mesh.Md2Vertices() + (static_cast<int64_t>(frame) * mesh.m_vertexCount + pair) * 8;
    return {p[0], p[1], p[2]};
  }
};

// Decodes an .md2 image through the game's reader, after checking the header fields the reader
// skips: the frame size, the end offset and the GL command table must agree with the file.
bool ParseFigure(const std::vector<uint8_t>& b, const std::string& folder, Figure* out) {
  if (b.size() < 68) return false;
  const int nv = I32(b, 24);
  EXPECT_EQ(I32(b, 16), 40 + 4 * nv) << "frame size";
  EXPECT_EQ(I32(b, 64), static_cast<int64_t>(b.size())) << "end offset";
  EXPECT_LE(int64_t{I32(b, 60)} + 4LL * I32(b, 36), static_cast<int64_t>(b.size())) << "GL commands";
  return Md2Decode(b.data(), static_cast<int64_t>(b.size()), 0, folder.c_str(), "figure", &out->mesh) == 0;
}

// Every stored level lies inside the image and the chain reaches 1x1.
void ExpectFullDds(const std::string& path, int format) {
  const std::vector<uint8_t> image = ReadAll(path);
  DdsFile dds;
  ASSERT_TRUE(dds.Parse(image.data(), static_cast<int64_t>(image.size()))) << path;
  EXPECT_EQ(dds.m_format, format) << path;
  EXPECT_GT(dds.m_levelCount, 1) << path;
  EXPECT_EQ(dds.m_levelsStored, dds.m_levelCount) << path;
  int64_t total = 128;
  for (int level = 0; level < dds.m_levelCount; ++level) {
    int w = 0, h = 0;
    int64_t bytes = 0;
    const uint8_t* data = nullptr;
    ASSERT_TRUE(dds.GetMipLevel(level, &w, &h, &bytes, &data)) << path << " level " << level;
    EXPECT_EQ(data - image.data(), total) << path << " level " << level;
    total += bytes;
    if (level == dds.m_levelCount - 1) {
      EXPECT_TRUE(w == 1 && h == 1) << path;
    }
  }
  EXPECT_EQ(total, static_cast<int64_t>(image.size())) << path;
}

class FiguresData : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = DataDir("");
    if (m_dir.empty()) GTEST_SKIP() << "QUILLOMAR_DATA_DIR is not set: run through ctest or set it to the build folder";
  }
  void Load(const char* name, Figure* fig) {
    const std::vector<uint8_t> image = ReadAll(m_dir + "/data/props/" + name + ".md2");
    EXPECT_TRUE(ParseFigure(image, m_dir + "/data/props", fig)) << name;
  }
  std::string m_dir;
};

// Each figure parses with its tables inside the file, faces outward (a positive enclosed volume in
// every frame: the reader's reversed winding is counter-clockwise seen from outside), plays the
// sequences the game asks for, and has a full-chain skin beside it.
TEST_F(FiguresData, FiguresParseFaceOutwardAndCarryTheirSequencesAndSkins) {
  const struct {
    const char* name;
    std::vector<std::string> sequences;
  } figures[] = {
      {"ork",
       {"idle", "walk", "castmagic", "death", "spawn", "attackb", "attacka", "attackc", "hitfront", "runscared",
        "jump"}},
      {"druid", {"idle", "talk"}},
      {"dragon", {"idle"}},
  };
  for (const auto& expected : figures) {
    SCOPED_TRACE(expected.name);
    Figure fig;
    Load(expected.name, &fig);
    const ModelMesh& m = fig.mesh;
    ASSERT_GT(m.m_frameCount, 0);
    for (const std::string& seq : expected.sequences) {
      const int n = AnimSequenceFind(m.m_anims.get(), m.m_animCount, seq.c_str());
      ASSERT_GE(n, 0) << "sequence " << seq;
      EXPECT_GE(m.m_anims[n].frameCount, 4) << "sequence " << seq;
    }
    // Each sequence forms one run of frames (a repeated name would hide its later frames).
    for (int i = 0; i < m.m_animCount; ++i)
      EXPECT_EQ(AnimSequenceFind(m.m_anims.get(), m.m_animCount, m.m_anims[i].name), i) << m.m_anims[i].name;
    for (int f = 0; f < m.m_frameCount; ++f) {
      double volume = 0;
      for (int t = 0; t + 2 < m.m_indexCount; t += 3)
        volume += DotV(fig.At(f, m.m_indices[t]), CrossV(fig.At(f, m.m_indices[t + 1]), fig.At(f, m.m_indices[t + 2])));
      EXPECT_GT(volume, 0) << "frame " << f;
    }
    ASSERT_FALSE(m.m_skinPath.Empty());
    ExpectFullDds(m.m_skinPath.c_str(), DdsFile::FMT_BC1);
  }
}

// The highest point of the first frame, as placed: the first frame stands on z = 0.
double Top(const Figure& fig) {
  double top = 0;
  for (int v = 0; v < fig.Pairs(); ++v) top = std::max(top, fig.At(0, v).z);
  return top;
}

// The crown sits on the attachment frame of six fixed distinct vertices: (82, 129) only for the
// origin, (119, 305) for its y axis, which points backward so that the crown's jewel (on its -y side)
// is over the face, and (134, 125) for up. They must be points of the head, the
// top of the figure, and move with it as one rigid piece through every frame.
TEST_F(FiguresData, OrkCrownAttachmentLiesOnTheHeadInEveryFrame) {
  Figure ork;
  Load("ork", &ork);
  ASSERT_GE(ork.Pairs(), 306) << "the attachment pairs index up to 305";
  const double top = Top(ork);
  EXPECT_GT(top, 0.4) << "about a tile's width high at the characters' scale";
  EXPECT_LT(top, 0.6);
  const int points[] = {82, 129, 119, 305, 134, 125};
  for (int p : points) {
    EXPECT_GT(ork.At(0, p).z, 0.7 * top) << "vertex " << p << " is not on the head";
    int corners = 0;
    for (int i = 0; i < ork.mesh.m_indexCount; ++i) corners += ork.mesh.m_indices[i] == p;
    EXPECT_GE(corners, 3) << "vertex " << p << " is not a corner of the head's surface";
  }
  EXPECT_GT(ork.At(0, 134).z, top - 0.015) << "the top of the head is the top of the figure";

  const V up = UnitV(Sub(ork.At(0, 134), ork.At(0, 125)));
  const V forward = UnitV(Sub(ork.At(0, 305), ork.At(0, 119)));
  EXPECT_GT(up.z, 0.95);
  EXPECT_GT(forward.x, 0.95) << "the figure faces +x";
  double originZ = 0;
  for (int p : points) originZ += ork.At(0, p).z / 6;
  EXPECT_GT(originZ, 0.8 * top);
  EXPECT_LT(originZ, top);

  auto distance = [&](int f, int a, int b) {
    return std::sqrt(DotV(Sub(ork.At(f, a), ork.At(f, b)), Sub(ork.At(f, a), ork.At(f, b))));
  };
  const double height = distance(0, 134, 125), width = distance(0, 82, 129), depth = distance(0, 119, 305);
  for (int f = 0; f < ork.mesh.m_frameCount; ++f) {
    EXPECT_NEAR(distance(f, 134, 125), height, 0.06 * height) << "frame " << f;
    EXPECT_NEAR(distance(f, 82, 129), width, 0.06 * width) << "frame " << f;
    EXPECT_NEAR(distance(f, 119, 305), depth, 0.06 * depth) << "frame " << f;
  }
}

// Played at 10 frames a second, the climb out after landing and the squat last exactly as long as
// the states that play them, so neither is cut short nor held frozen.
TEST_F(FiguresData, OrkClimbAndSquatLastAsLongAsTheirStates) {
  Figure ork;
  Load("ork", &ork);
  const AnimRecord* anims = ork.mesh.m_anims.get();
  const int spawn = AnimSequenceFind(anims, ork.mesh.m_animCount, "spawn");
  const int jump = AnimSequenceFind(anims, ork.mesh.m_animCount, "jump");
  ASSERT_TRUE(spawn >= 0 && jump >= 0);
  EXPECT_EQ(anims[spawn].frameCount, static_cast<int>(std::lround(c_climbSeconds * 10)));
  EXPECT_EQ(anims[jump].frameCount, static_cast<int>(std::lround(c_poopSeconds * 10)));
}

TEST_F(FiguresData, SparkleAndFontsArePresent) {
  ExpectFullDds(m_dir + "/data/props/sparkle.dds", DdsFile::FMT_RGBA8);
  const std::vector<uint8_t> sparkle = ReadAll(m_dir + "/data/props/sparkle.dds");
  DdsFile dds;
  ASSERT_TRUE(dds.Parse(sparkle.data(), static_cast<int64_t>(sparkle.size())));
  const uint8_t* centre = dds.m_data + ((dds.m_height / 2) * dds.m_width + dds.m_width / 2) * 4;
  EXPECT_GT(centre[3], 200) << "bright in the middle";
  EXPECT_LT(dds.m_data[3], 16) << "clear at the corner";
  for (const char* font : {"mono_system.ttf", "sans_regular.ttf", "sans_bold.ttf"}) {
    const std::vector<uint8_t> ttf = ReadAll(m_dir + "/data/fonts/" + font);
    ASSERT_GT(ttf.size(), 10000u) << font;
    EXPECT_EQ(I32(ttf, 0), 0x00000100) << font << " is not a TrueType file";
  }
}

// A second run of the generator writes the same bytes as the build did.
TEST_F(FiguresData, GenerationIsReproducible) {
  const std::string tool = m_dir + "/tools/make_figures";
  const std::string out = TestTempFolder("figures");
  ASSERT_EQ(system(("mkdir -p '" + out + "/props' && '" + tool + "' '" + out + "' > /dev/null").c_str()), 0);
  for (const char* name : {"ork.md2", "ork.dds", "druid.md2", "druid.dds", "dragon.md2", "dragon.dds", "sparkle.dds"}) {
    const std::vector<uint8_t> built = ReadAll(m_dir + "/data/props/" + name);
    EXPECT_FALSE(built.empty()) << name;
    EXPECT_TRUE(built == ReadAll(out + "/props/" + name)) << name << " differs between two generations";
  }
}

}  // namespace
