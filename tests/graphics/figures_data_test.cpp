// Checks the generated animated figures, their skins, the sparkle texture and the fonts of the data folder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"
#include "utility/ddsfile.h"

namespace {

std::string DataDir() {
  const char* dir = getenv("QUILLOMAR_DATA_DIR");
  return dir && *dir ? std::string(dir) : std::string();
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int32_t I32(const std::vector<uint8_t>& b, size_t at) {
  uint32_t v;
  memcpy(&v, &b[at], 4);
  return static_cast<int32_t>(v);
}
uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

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

// The figure as the game's reader sees it: winding reversed, distinct (vertex, texture coordinate)
// pairs numbered in order of first use, sequences formed from frame names less trailing digits, and
// every position lowered so that the first frame stands on z = 0.
struct Figure {
  int vertexCount = 0, frameCount = 0;
  std::string skin;
  std::vector<std::pair<int, int>> pairs;
  std::vector<int> indices;                                            // three per triangle, counter-clockwise
  std::vector<V> pos;                                                  // frame-major, per model vertex
  std::vector<std::pair<std::string, std::pair<int, int>>> sequences;  // name, (first frame, count)
  V At(int frame, int pair) const { return pos[static_cast<size_t>(frame) * vertexCount + pairs[pair].first]; }
};

// Reads an .md2 image, failing the test on any table that leaves the file or index out of range.
bool ParseFigure(const std::vector<uint8_t>& b, Figure* out) {
  if (b.size() < 68 || memcmp(b.data(), "IDP2", 4) != 0 || I32(b, 4) != 8) return false;
  const int nskins = I32(b, 20), nv = I32(b, 24), nst = I32(b, 28), ntri = I32(b, 32), nframes = I32(b, 40);
  const int64_t size = static_cast<int64_t>(b.size());
  EXPECT_EQ(I32(b, 16), 40 + 4 * nv) << "frame size";
  EXPECT_EQ(I32(b, 64), size) << "end offset";
  const int64_t tables[][2] = {{I32(b, 44), 64LL * nskins},
                               {I32(b, 48), 4LL * nst},
                               {I32(b, 52), 12LL * ntri},
                               {I32(b, 56), (40LL + 4 * nv) * nframes},
                               {I32(b, 60), 4LL * I32(b, 36)}};
  for (const auto& t : tables) {
    EXPECT_TRUE(t[0] >= 68 && t[0] + t[1] <= size) << "table at " << t[0] << " of " << t[1] << " bytes";
    if (!(t[0] >= 68 && t[0] + t[1] <= size)) return false;
  }
  if (nv <= 0 || nst <= 0 || ntri <= 0 || nframes <= 0 || nskins < 1) return false;
  out->vertexCount = nv;
  out->frameCount = nframes;
  out->skin = std::string(reinterpret_cast<const char*>(&b[I32(b, 44)]),
                          strnlen(reinterpret_cast<const char*>(&b[I32(b, 44)]), 64));
  std::map<std::pair<int, int>, int> seen;
  for (int t = 0; t < ntri; ++t) {
    const size_t at = I32(b, 52) + 12 * t;
    for (int k : {0, 2, 1}) {
      const std::pair<int, int> key(U16(b, at + 2 * k), U16(b, at + 6 + 2 * k));
      EXPECT_LT(key.first, nv);
      EXPECT_LT(key.second, nst);
      if (key.first >= nv || key.second >= nst) return false;
      const auto it = seen.find(key);
      if (it == seen.end()) {
        seen[key] = static_cast<int>(out->pairs.size());
        out->pairs.push_back(key);
      }
      out->indices.push_back(seen[key]);
    }
  }
  std::string previous;
  for (int f = 0; f < nframes; ++f) {
    const size_t at = I32(b, 56) + static_cast<size_t>(f) * (40 + 4 * nv);
    float sc[3], tr[3];
    memcpy(sc, &b[at], 12);
    memcpy(tr, &b[at + 12], 12);
    std::string name(reinterpret_cast<const char*>(&b[at + 24]),
                     strnlen(reinterpret_cast<const char*>(&b[at + 24]), 16));
    while (!name.empty() && name.back() >= '0' && name.back() <= '9') name.pop_back();
    if (f == 0 || name != previous)
      out->sequences.push_back({name, {f, 1}});
    else
      ++out->sequences.back().second.second;
    previous = name;
    for (int v = 0; v < nv; ++v) {
      const size_t p = at + 40 + 4 * v;
      out->pos.push_back({b[p] * sc[0] + tr[0], b[p + 1] * sc[1] + tr[1], b[p + 2] * sc[2] + tr[2]});
    }
  }
  double minZ = 1e30;
  for (int v = 0; v < nv; ++v) minZ = std::min(minZ, out->pos[v].z);
  for (V& p : out->pos) p.z -= minZ;
  return true;
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
    m_dir = DataDir();
    if (m_dir.empty()) GTEST_SKIP() << "QUILLOMAR_DATA_DIR is not set: run through ctest or set it to the build folder";
  }
  Figure Load(const char* name) {
    Figure fig;
    const std::vector<uint8_t> image = ReadAll(m_dir + "/data/props/" + name + ".md2");
    EXPECT_TRUE(ParseFigure(image, &fig)) << name;
    return fig;
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
    const Figure fig = Load(expected.name);
    ASSERT_GT(fig.frameCount, 0);
    for (const std::string& seq : expected.sequences) {
      int count = 0;
      for (const auto& s : fig.sequences)
        if (s.first == seq) count = s.second.second;
      EXPECT_GE(count, 4) << "sequence " << seq;
    }
    // Each sequence forms one run of frames (a repeated name would shadow its later frames).
    for (size_t i = 0; i < fig.sequences.size(); ++i)
      for (size_t j = i + 1; j < fig.sequences.size(); ++j) EXPECT_NE(fig.sequences[i].first, fig.sequences[j].first);
    for (int f = 0; f < fig.frameCount; ++f) {
      double volume = 0;
      for (size_t t = 0; t < fig.indices.size(); t += 3)
        volume += DotV(fig.At(f, fig.indices[t]), CrossV(fig.At(f, fig.indices[t + 1]), fig.At(f, fig.indices[t + 2])));
      EXPECT_GT(volume, 0) << "frame " << f;
    }
    ASSERT_GT(fig.skin.size(), 4u);
    ExpectFullDds(m_dir + "/data/props/" + fig.skin.substr(0, fig.skin.size() - 4) + ".dds", DdsFile::FMT_BC1);
  }
  // The ork stands about a tile's width high at the characters' scale, with its feet on the ground.
  const Figure ork = Load("ork");
  double top = 0;
  for (int v = 0; v < ork.vertexCount; ++v) top = std::max(top, ork.pos[v].z);
  EXPECT_GT(top, 40.0);
  EXPECT_LT(top, 60.0);
}

// The crown sits on the attachment frame of six fixed distinct vertices: (82, 129) only for the
// origin, (119, 305) for the forward hint and (134, 125) for up. They must be points of the head, the
// top of the figure, and move with it as one rigid piece through every frame.
TEST_F(FiguresData, OrkCrownAttachmentLiesOnTheHeadInEveryFrame) {
  const Figure ork = Load("ork");
  ASSERT_GE(ork.pairs.size(), 306u) << "the attachment pairs index up to 305";
  const int points[] = {82, 129, 119, 305, 134, 125};
  double top = 0;
  for (int v = 0; v < ork.vertexCount; ++v) top = std::max(top, ork.pos[v].z);
  for (int p : points) EXPECT_GT(ork.At(0, p).z, 0.7 * top) << "vertex " << p << " is not on the head";
  EXPECT_GT(ork.At(0, 134).z, top - 1.5) << "the top of the head is the top of the figure";

  const V up = UnitV(Sub(ork.At(0, 134), ork.At(0, 125)));
  const V forward = UnitV(Sub(ork.At(0, 119), ork.At(0, 305)));
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
  for (int f = 0; f < ork.frameCount; ++f) {
    EXPECT_NEAR(distance(f, 134, 125), height, 0.06 * height) << "frame " << f;
    EXPECT_NEAR(distance(f, 82, 129), width, 0.06 * width) << "frame " << f;
    EXPECT_NEAR(distance(f, 119, 305), depth, 0.06 * depth) << "frame " << f;
  }
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
