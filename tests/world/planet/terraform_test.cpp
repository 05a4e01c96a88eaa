// Terraform: customisation parameters, colours, landmass breaking and the planet dump conversion with its faults.
#include "world/planet/terraform.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "system/file.h"
#include "test_support.h"
#include "utility/log.h"
#include "world/planet_fixture.h"

namespace {

std::string ReadUserFile(const char* name) {
  FileHandle f = FileOpenRead(name, true);
  std::string bytes(FileSize(f), '\0');
  bytes.resize(FileRead(f, bytes.data(), bytes.size()));
  FileClose(f);
  return bytes;
}

uint64_t Fnv1a(const std::string& bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : bytes) h = (h ^ c) * 0x100000001b3ull;
  return h;
}

class TerraformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseTestFolders();
    CustomParamsReset();
    planetSettings = PlanetSettings{0, 0, 1, 2};
  }
};

}  // namespace

TEST_F(TerraformTest, CustomParameters) {
  EXPECT_EQ(CustomParamGet("Planet Size"), 4);
  EXPECT_EQ(CustomParamGet("Land"), 2);
  EXPECT_EQ(CustomParamGet("Random Variant"), 0);
  EXPECT_EQ(CustomParamGet("planet size"), -1);
  EXPECT_EQ(CustomParamGet(nullptr), -1);
  EXPECT_STREQ(customParamChoices[4][23], "omega");
  EXPECT_STREQ(customParamChoices[4][24], "");
  for (int round = 0; round < 20; ++round) {
    customParamValues[6] = customParamValues[5];
    CustomParamsRandomise();
    EXPECT_NE(CustomParamGet("Sea Hue"), CustomParamGet("Land Hue"));
    EXPECT_GE(CustomParamGet("Random Variant"), 0);
    EXPECT_LT(CustomParamGet("Random Variant"), 24);
    EXPECT_EQ(CustomParamGet("Planet Size"), 4);
    EXPECT_EQ(CustomParamGet("Trees"), 2);
    EXPECT_EQ(CustomParamGet("Rocks"), 2);
  }
  EXPECT_EQ(TerraformWrite(6, 2, 0, 1, 2), -1);
}

TEST_F(TerraformTest, VariantOffsetsAndColours) {
  int ox, oy, oz;
  VariantOffsets(0, &ox, &oy, &oz);
  EXPECT_EQ(ox + oy + oz, 0);
  VariantOffsets(5, &ox, &oy, &oz);
  EXPECT_EQ(ox, 6);
  EXPECT_EQ(oy, 15);
  EXPECT_EQ(oz, 26);
  VariantOffsets(23, &ox, &oy, &oz);
  EXPECT_EQ(ox, 16);
  EXPECT_EQ(oy, 11);
  EXPECT_EQ(oz, 21);

  EXPECT_EQ(HueForIndex(6), 0.0f);
  EXPECT_EQ(HueForIndex(-1), 0.0f);
  EXPECT_EQ(HueForIndex(2), 0.6333333f);
  float r, g, b;
  HsvToRgb(0.3f, 0.0f, 0.5f, &r, &g, &b);
  EXPECT_EQ(r, 0.5f);
  EXPECT_EQ(b, 0.5f);
  HsvToRgb(0.0f, 1.0f, 1.0f, &r, &g, &b);
  EXPECT_EQ(r, 1.0f);
  EXPECT_EQ(g, 0.0f);
  EXPECT_EQ(b, 0.0f);
  HsvToRgb(2.0f / 3.0f, 1.0f, 1.0f, &r, &g, &b);  // blue
  EXPECT_NEAR(b, 1.0f, 1e-6f);
  EXPECT_NEAR(r, 0.0f, 1e-6f);

  PaletteMake();
  // The deepest sea: full saturation at value 0.32 in the sea hue (blue).
  EXPECT_NEAR(planetPalette[0][2], 0.32f, 1e-6f);
  EXPECT_LT(planetPalette[0][0], planetPalette[0][2]);
  // Beaches share one sandy hue whatever the land hue.
  const float beach = planetPalette[20][0];
  planetSettings.landHue = 3;
  PaletteMake();
  EXPECT_EQ(planetPalette[20][0], beach);
}

TEST_F(TerraformTest, LargestLandmassIsLoweredAndBroken) {
  // A hexagon (tile 0) ringed by tiles 1..6, each ring tile next to the centre and its ring neighbours.
  std::vector<int32_t> nb(7 * 6, -1);
  for (int k = 0; k < 6; ++k) nb[k] = k + 1;
  for (int i = 1; i <= 6; ++i) {
    nb[i * 6 + 0] = 0;
    nb[i * 6 + 1] = i == 1 ? 6 : i - 1;
    nb[i * 6 + 2] = i == 6 ? 1 : i + 1;
  }
  std::vector<int> region(7);
  {
    // Two water stretches around the centre: it is cut.
    std::vector<int> levels = {3, 2, -1, 4, -1, 5, 1};
    CapturedLog log;
    const int largest = ContinentsCount(7, nb.data(), levels.data(), region.data());
    EXPECT_EQ(largest, 0);
    EXPECT_TRUE(log.Has("This globe has 2 seas and 1 landmasses."));
    EXPECT_TRUE(log.Has("Largest land mass is continent 0 of size 5"));
    EXPECT_EQ(LandmassBreak(7, nb.data(), levels.data(), region.data(), largest), 1);
    EXPECT_TRUE(log.Has("Broke largest landmass at 1 places."));
    EXPECT_EQ(levels, (std::vector<int>{0, 1, -1, 3, -1, 4, 0}));  // level 1 sinks by lowering alone
  }
  {
    // One water stretch: the centre keeps its (lowered) level.
    std::vector<int> levels = {3, 2, -1, -1, 4, 5, 6};
    const int largest = ContinentsCount(7, nb.data(), levels.data(), region.data());
    EXPECT_EQ(LandmassBreak(7, nb.data(), levels.data(), region.data(), largest), 0);
    EXPECT_EQ(levels[0], 2);
    EXPECT_EQ(levels[2], -1);  // water is never lowered
  }
  {
    // No land: nothing changes.
    std::vector<int> levels(7, -3);
    CapturedLog log;
    EXPECT_EQ(ContinentsCount(7, nb.data(), levels.data(), region.data()), -1);
    EXPECT_EQ(LandmassBreak(7, nb.data(), levels.data(), region.data(), -1), 0);
    EXPECT_EQ(levels, std::vector<int>(7, -3));
  }
}

// The smallest planet, variant 0, green land and blue sea, converted and checked piece by piece.
TEST_F(TerraformTest, ConversionGolden) {
  CapturedLog log;
  ASSERT_EQ(TerraformWrite(0, 2, 0, 1, 2), 0);
  EXPECT_TRUE(log.Has("Using variant 0, land 2"));
  EXPECT_TRUE(log.Has("Wrote 92 nodes of 88 bytes each."));
  // 12 pentagons x 3 + 80 hexagons x 4 tile triangles, 2 per wall of 270 edges; 60 + 480 outline
  // lines and 2 per wall.
  EXPECT_TRUE(log.Has("Generated 896 triangles, 362 faces, 1080 lines."));
  EXPECT_TRUE(log.Has("Terrain extruded."));

  const DumpShape shape = ReadDumpShape(2);
  const std::string top = ReadUserFile("custom.top");
  const std::string line = "planet sz=92 hexw=0.472998\n";
  ASSERT_EQ(top.substr(0, line.size()), line);
  ASSERT_EQ(top.size(), line.size() + 92 * 88);
  std::vector<GridNode> nodes(92);
  memcpy(static_cast<void*>(nodes.data()), top.data() + line.size(), 92 * 88);

  const std::string geo = ReadUserFile("custom.geo");
  ASSERT_EQ(geo.size(), 12u + 48u * 896 + 32u * 1080);
  EXPECT_EQ(geo.substr(0, 4), "geo ");
  const GeoVertex* v = reinterpret_cast<const GeoVertex*>(geo.data() + 12);
  auto at = [](const GeoVertex& g) { return Vec3{g.x, g.y, g.z}; };

  PaletteMake();
  int land = 0;
  for (int t = 0; t < 92; ++t) {
    const GridNode& n = nodes[t];
    const int corners = t < 12 ? 5 : 6;
    EXPECT_EQ(n.reserved0, 0u);
    EXPECT_EQ(n.attribs, 0u);
    EXPECT_EQ(n.reserved1, 0u);
    EXPECT_EQ(n.nr, t);
    EXPECT_EQ(n.continent, 0);
    EXPECT_EQ(n.numneighbours, corners);
    EXPECT_EQ(n.type, n.height > 0 ? TP_LAND : TP_WATR);
    EXPECT_GE(n.height, -19);
    EXPECT_LE(n.height, 19);
    land += n.height > 0;
    for (int k = 0; k < 6; ++k) {
      EXPECT_EQ(n.neighbours[k], shape.neighbours[t * 6 + k]);
      EXPECT_EQ(n.edgecosts[k], 0);
    }
    // The tile's fan: its first vertex is its raised corner 0, the triangles (0, k, k + 1).
    const float factor = static_cast<float>(std::max<int>(n.height, 0) * 0.006 + 1.0);
    const int first = 9 * std::min(t, 12) + 12 * std::max(t - 12, 0);
    Vec3 centre;
    for (int k = 0; k < corners; ++k) centre += shape.verts[shape.corners[t * 6 + k]] * factor;
    EXPECT_EQ(at(v[first]), shape.verts[shape.corners[t * 6]] * factor) << t;
    for (int tri = 0; tri < corners - 2; ++tri) {
      EXPECT_EQ(at(v[first + 3 * tri]), at(v[first]));
      EXPECT_EQ(at(v[first + 3 * tri + 1]), shape.verts[shape.corners[t * 6 + tri + 1]] * factor);
      EXPECT_EQ(at(v[first + 3 * tri + 2]), shape.verts[shape.corners[t * 6 + tri + 2]] * factor);
    }
    EXPECT_NEAR((n.centre - centre * (1.0f / corners)).Length(), 0.0f, 1e-6f);
    const float* rgb = planetPalette[n.height + 19];
    EXPECT_EQ(v[first].rgba[0], static_cast<int>(std::max(0.0, rgb[0] * 255.999)));
    EXPECT_EQ(v[first].rgba[2], static_cast<int>(std::max(0.0, rgb[2] * 255.999)));
    EXPECT_EQ(v[first].rgba[3], 255);
  }
  // Wall of the first edge: after the 1068 tile vertices, (t0 first, t0 second, t1 first) and
  // (t0 first, t1 first, t1 second), coloured as level 1; the shared corners are t0's corners
  // at ring positions p and p + 1, and "first" is the later one around the ring.
  const int t0 = shape.edges[0], t1 = shape.edges[1];
  const GeoVertex* wall = v + 1068;
  EXPECT_EQ(at(wall[0]), at(wall[3]));
  EXPECT_EQ(at(wall[2]), at(wall[4]));
  EXPECT_EQ(wall[0].rgba[1], static_cast<int>(planetPalette[20][1] * 255.999));
  auto raisedOf = [&](int tile, const Vec3& p) {
    return p * static_cast<float>(std::max<int>(nodes[tile].height, 0) * 0.006 + 1.0);
  };
  // t0 first and t1 second lie over the same dump corner, and so do t0 second and t1 first.
  int shared[2], count = 0;
  for (int a = 0; a < 6; ++a)
    for (int b = 0; b < 6; ++b)
      if (shape.corners[t0 * 6 + a] >= 0 && shape.corners[t0 * 6 + a] == shape.corners[t1 * 6 + b] && count < 2)
        shared[count++] = shape.corners[t0 * 6 + a];
  ASSERT_EQ(count, 2);
  const Vec3 s0 = shape.verts[shared[0]], s1 = shape.verts[shared[1]];
  EXPECT_TRUE((at(wall[0]) == raisedOf(t0, s0) && at(wall[1]) == raisedOf(t0, s1)) ||
              (at(wall[0]) == raisedOf(t0, s1) && at(wall[1]) == raisedOf(t0, s0)));
  EXPECT_EQ(at(wall[2]) == raisedOf(t1, s0), at(wall[1]) == raisedOf(t0, s0));
  EXPECT_EQ(at(wall[5]) == raisedOf(t1, s0), at(wall[0]) == raisedOf(t0, s0));
  // Lines: tile 0's outline first, in the outline colour.
  const GeoVertex* lines = v + 3 * 896;
  EXPECT_EQ(at(lines[0]), at(v[0]));
  EXPECT_EQ(at(lines[1]),
            shape.verts[shape.corners[1]] * static_cast<float>(std::max<int>(nodes[0].height, 0) * 0.006 + 1.0));
  EXPECT_EQ(lines[0].rgba[0], 40);
  EXPECT_EQ(lines[1].rgba[3], 255);

  // Pinned once from this conversion: the noise, the landmass breaking and the byte layout
  // together make these planets; any change here changes every player's world.
  EXPECT_EQ(land, 23);
  EXPECT_EQ(Fnv1a(top), 9333751799821213431ull);
  EXPECT_EQ(Fnv1a(geo), 5771145153467482189ull);

  // The same parameters give the same bytes again.
  ASSERT_EQ(TerraformWrite(0, 2, 0, 1, 2), 0);
  EXPECT_EQ(ReadUserFile("custom.top"), top);
  EXPECT_EQ(ReadUserFile("custom.geo"), geo);
  // A new variant changes the terrain, a new hue only the colours.
  ASSERT_EQ(TerraformWrite(0, 2, 0, 4, 2), 0);
  EXPECT_EQ(ReadUserFile("custom.top"), top);
  EXPECT_NE(ReadUserFile("custom.geo"), geo);
  ASSERT_EQ(TerraformWrite(0, 2, 23, 1, 2), 0);
  EXPECT_NE(ReadUserFile("custom.top"), top);
}

TEST_F(TerraformTest, NewWorldFromTheParameters) {
  customParamValues[0] = 1;  // "miniscule": 272 tiles
  customParamValues[4] = 5;
  Wld* world = TerraformNewWorld("Reverodade b");
  ASSERT_NE(world, nullptr);
  Globe& g = world->globe;
  EXPECT_EQ(g.m_sz, 272);
  int seas = 0, lands = 0;
  for (int c = 0; c < g.m_numcontinents; ++c) (g.m_nodes[g.m_continents[c][0]].type == TP_WATR ? seas : lands)++;
  EXPECT_EQ(world->items.Count("buoy"), seas);
  EXPECT_EQ(world->items.Count("summitmarker"), lands);
  EXPECT_GT(lands, 0);
  // The markers sit on the summit of each landmass.
  int markers[MAXCONTINENTS];
  const int n = world->items.FindNamed("summitmarker", markers, MAXCONTINENTS);
  for (int i = 0; i < n; ++i) {
    const int tile = world->items.m_loca[markers[i]];
    const int c = g.m_nodes[tile].continent;
    for (int j = 0; j < g.m_contsizes[c]; ++j)
      EXPECT_LE(g.m_nodes[g.m_continents[c][j]].height, g.m_nodes[tile].height);
  }
  int coast = 0;
  for (int t = 0; t < g.m_sz; ++t) {
    coast += (g.Attribs(t) & AT_COAST) != 0;
    const Vec3 up = Normalize(g.m_nodes[t].centre);
    EXPECT_NEAR(Dot(g.m_trfs[t].GetZAxis(), up), 1.0f, 1e-5f);
    EXPECT_EQ(g.TilePosition(t), g.m_nodes[t].centre);
    EXPECT_FLOAT_EQ(g.m_heights[t], g.m_nodes[t].centre.Length());
  }
  EXPECT_GT(coast, 0);
  // Items lie on tiles and are found there.
  const int slot = world->items.Add("woodaxe", 100, IS_TOOL);
  EXPECT_EQ(world->items.FindAt("woodaxe", 100, false), slot);
  delete world;
}

// A missing or malformed dump and an output that cannot be written whole end the process.
TEST_F(TerraformTest, InstallationFaultsEndTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string empty = TestTempFolder("nodata");
  EXPECT_EXIT(
      {
        FoldersSet(UserFolderGet(), empty.c_str());
        PlanetDumpRead("data/planets/planet2.dump", "custom.geo", "custom.top", nullptr);
      },
      testing::ExitedWithCode(1), "");
  FileHandle f = FileOpenWrite("bad.dump", true);
  FileWrite(f, "sphere numtiles=92 numvertices=oops\n", 36);
  FileClose(f);
  EXPECT_EXIT(
      {
        FoldersSet(UserFolderGet(), UserFolderGet());
        PlanetDumpRead("bad.dump", "custom.geo", "custom.top", nullptr);
      },
      testing::ExitedWithCode(1), "");
  // A body that breaks the rules: a pentagon corner past the vertex count.
  f = FileOpenWrite("body.dump", true);
  const char body[] =
      "sphere numtiles=13 numvertices=1 numedges=1 \nvert id=0 x=0 y=0 z=1 \n"
      "pentagon id=0 v0=0 v1=0 v2=0 v3=0 v4=7 \n";
  FileWrite(f, body, sizeof(body) - 1);
  FileClose(f);
  EXPECT_EXIT(
      {
        FoldersSet(UserFolderGet(), UserFolderGet());
        PlanetDumpRead("body.dump", "custom.geo", "custom.top", nullptr);
      },
      testing::ExitedWithCode(1), "");
  // A full disk: files of the child may not grow past 4000 bytes.
  EXPECT_EXIT(
      {
        signal(SIGXFSZ, SIG_IGN);
        rlimit small;
        getrlimit(RLIMIT_FSIZE, &small);
        small.rlim_cur = 4000;
        setrlimit(RLIMIT_FSIZE, &small);
        PlanetDumpRead("data/planets/planet2.dump", "custom.geo", "custom.top", nullptr);
      },
      testing::ExitedWithCode(1), "");
  // The parent process still converts normally.
  EXPECT_EQ(PlanetDumpRead("data/planets/planet2.dump", "custom.geo", "custom.top", nullptr), 0);
}

// A fault hook sees the failed conversion before the process would end (the fuzzer throws from
// it and goes on); a hook that returns still ends the process, so the game behaves as without one.
TEST_F(TerraformTest, FaultHookSeesTheFailureFirst) {
  struct Refused {};
  static int calls;
  calls = 0;
  FileHandle f = FileOpenWrite("bad.dump", true);
  FileWrite(f, "sphere numtiles=12 numvertices=1 numedges=1\n", 44);
  FileClose(f);
  const std::string data = DataFolderGet();
  FoldersSet(UserFolderGet(), UserFolderGet());
  planetDumpFaultHook = [] {
    ++calls;
    throw Refused();
  };
  for (int i = 0; i < 2; ++i) EXPECT_THROW(PlanetDumpRead("bad.dump", "custom.geo", "custom.top", nullptr), Refused);
  EXPECT_EQ(calls, 2);
  // A corner far off the unit sphere is the dump's fault, not a topology the loader later refuses
  // (found by fuzzing the conversion).
  {
    std::ifstream in(std::string(data) + "/data/planets/planet2.dump");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t at = text.find("vert id=10 x=");
    ASSERT_NE(at, std::string::npos);
    text.insert(at + 13, "-303");
    f = FileOpenWrite("far.dump", true);
    FileWrite(f, text.data(), text.size());
    FileClose(f);
    CapturedLog log;
    EXPECT_THROW(PlanetDumpRead("far.dump", "custom.geo", "custom.top", nullptr), Refused);
    EXPECT_TRUE(log.Has("a vertex lies off the unit sphere"));
    EXPECT_EQ(calls, 3);
    // Two corners of tile 12 moved onto one point: its first edge has no length.
    in.clear();
    in.seekg(0);
    text.assign((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int id, v0, v1;
    const size_t hex = text.find("hexagon id=12 ");
    ASSERT_NE(hex, std::string::npos);
    ASSERT_EQ(sscanf(text.c_str() + hex, "hexagon id=%d v0=%d v1=%d", &id, &v0, &v1), 3);
    auto vertLine = [&](int v) {
      const size_t from = text.find("vert id=" + std::to_string(v) + " ");
      return std::make_pair(from, text.find('\n', from) - from);
    };
    const auto [from0, len0] = vertLine(v0);
    const std::string moved = "vert id=" + std::to_string(v1) +
                              text.substr(from0 + 8 + std::to_string(v0).size(), len0 - 8 - std::to_string(v0).size());
    const auto [from1, len1] = vertLine(v1);
    text.replace(from1, len1, moved);
    f = FileOpenWrite("flat.dump", true);
    FileWrite(f, text.data(), text.size());
    FileClose(f);
    EXPECT_THROW(PlanetDumpRead("flat.dump", "custom.geo", "custom.top", nullptr), Refused);
    EXPECT_TRUE(log.Has("a tile's first edge runs along its centre"));
  }
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  planetDumpFaultHook = [] { ++calls; };
  EXPECT_EXIT(PlanetDumpRead("bad.dump", "custom.geo", "custom.top", nullptr), testing::ExitedWithCode(1), "");
  planetDumpFaultHook = nullptr;
  FoldersSet(UserFolderGet(), data.c_str());
  EXPECT_EQ(PlanetDumpRead("data/planets/planet2.dump", "custom.geo", "custom.top", nullptr), 0);
}

namespace {
std::string dialogSeen;
bool RecordingDialog(const char*, const char* text) {
  dialogSeen += text;
  return true;
}
}  // namespace

// A conversion that cannot go on ends the process; before it does, the player is told why in a
// dialog (a read-only user folder or a damaged planet file would otherwise just close the window).
TEST_F(TerraformTest, AConversionThatCannotGoOnSaysWhyInADialog) {
  struct Refused {};
  FileHandle f = FileOpenWrite("bad.dump", true);
  FileWrite(f, "sphere numtiles=12 numvertices=1\n", 33);
  FileClose(f);
  const std::string data = DataFolderGet();
  const std::string user = UserFolderGet();
  struct Case {
    const char* dump;
    bool dataFolder;
    bool topIsFolder;  // stands in for a read-only user folder: custom.top cannot be written
    const char* said;
    bool logOpen;  // the dialog points at the log only when there is one
  };
  const Case cases[] = {
      {"bad.dump", false, false, "The planet file bad.dump is damaged (line 1", false},
      {"missing.dump", false, false, "The planet file missing.dump cannot be opened.", true},
      {"data/planets/planet2.dump", true, true, "custom.top cannot be written", false},
  };
  planetFaultDialog = RecordingDialog;  // the game wires the dialog service here
  planetDumpFaultHook = [] { throw Refused(); };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dump);
    FoldersSet(user.c_str(), c.dataFolder ? data.c_str() : user.c_str());
    if (c.topIsFolder) {
      std::filesystem::remove(user + "/custom.top");  // a planet made by an earlier test
      std::filesystem::create_directory(user + "/custom.top");
    }
    dialogSeen.clear();
    logFile = c.logOpen ? tmpfile() : nullptr;
    EXPECT_THROW(PlanetDumpRead(c.dump, "custom.geo", "custom.top", nullptr), Refused);
    if (logFile) fclose(logFile);
    logFile = nullptr;
    EXPECT_NE(dialogSeen.find("cannot make the planet"), std::string::npos) << dialogSeen;
    EXPECT_NE(dialogSeen.find(c.said), std::string::npos) << dialogSeen;
    EXPECT_EQ(dialogSeen.find("vyxlog.txt") != std::string::npos, c.logOpen) << dialogSeen;
    if (c.topIsFolder) std::filesystem::remove(user + "/custom.top");
  }
  planetDumpFaultHook = nullptr;
  planetFaultDialog = nullptr;
  FoldersSet(user.c_str(), data.c_str());
  EXPECT_EQ(PlanetDumpRead("data/planets/planet2.dump", "custom.geo", "custom.top", nullptr), 0);
}

// The disk fills up while the planet is written, in the topology or in the mesh: the planet of
// before stays whole, both files of it, and no temporary file is left behind.
TEST_F(TerraformTest, AFullDiskLeavesThePlanetOfBeforeWhole) {
  struct Refused {};
  ASSERT_EQ(PlanetDumpRead("data/planets/planet2.dump", "custom.geo", "custom.top", nullptr), 0);
  const std::string top = ReadUserFile("custom.top"), geo = ReadUserFile("custom.geo");
  ASSERT_LT(top.size(), geo.size());
  OverrideLine other[2] = {"variant=9\n", ""};  // a planet that differs from the one on disk
  planetDumpFaultHook = [] { throw Refused(); };
  signal(SIGXFSZ, SIG_IGN);
  rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  for (const size_t limit : {top.size() / 2, (top.size() + geo.size()) / 2}) {
    SCOPED_TRACE(limit);
    rlimit small = old;
    small.rlim_cur = limit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(PlanetDumpRead("data/planets/planet2.dump", "custom.geo", "custom.top", other), Refused);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    EXPECT_TRUE(ReadUserFile("custom.top") == top);
    EXPECT_TRUE(ReadUserFile("custom.geo") == geo);
    EXPECT_FALSE(FilePresent("custom.top.tmp", true));
    EXPECT_FALSE(FilePresent("custom.geo.tmp", true));
  }
  planetDumpFaultHook = nullptr;
  // With room again the new planet replaces the old one.
  ASSERT_EQ(PlanetDumpRead("data/planets/planet2.dump", "custom.geo", "custom.top", other), 0);
  EXPECT_FALSE(ReadUserFile("custom.geo") == geo);
}
