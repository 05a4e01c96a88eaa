// ModelDB without a GL context: names and slots, the full table, refreshing the planet, sequences and poses.
#include "graphics/models/model_db.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "captured_log.h"
#include "graphics/model_images.h"
#include "system/file.h"
#include "test_support.h"

using namespace model_images;

namespace {
class ModelDBTest : public testing::Test {
 protected:
  void SetUp() override {
    m_user = TestTempFolder("models_user");
    m_data = TestTempFolder("models_data");
    ASSERT_TRUE(FoldersSet(m_user.c_str(), m_data.c_str()));
    m_db.SetHeadless(true);
    m_db.SetFolder("data/props");
  }
  void TearDown() override { m_db.FreeAll(); }

  void Write(const std::string& folder, const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::filesystem::path path = std::filesystem::path(folder) / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  void WriteData(const std::string& name, const std::vector<uint8_t>& bytes) { Write(m_data, name, bytes); }

  std::string m_user, m_data;
  ModelDB m_db;
};

std::vector<uint8_t> SmallGeo(uint32_t triangles) {
  return GeoImage(triangles, 0, GeoVertexBytes(3 * triangles, 9, 9, 9));
}
}  // namespace

TEST_F(ModelDBTest, RefusedNamesLeaveNoTrace) {
  WriteData("data/bad.geo", GeoImage(5, 0, GeoVertexBytes(3, 0, 0, 0)));
  WriteData("data/bad.md2", {'I', 'D', 'P', '2'});
  struct Case {
    const char* name;
    const char* line;
  };
  const std::string longName = std::string(300, 'x') + ".geo";
  const Case cases[] = {
      {nullptr, "without a name"},
      {"a.md", "nameLen (4) invalid for a.md"},
      {"thing.obj", "Unkown file extension for thing.obj"},
      {"thing.GEO", "Unkown file extension for thing.GEO"},
      {"data/missing.geo", "Cannot load geometry from file 'data/missing.geo'"},
      {"data/missing.md2", "Cannot load animated geometry from file 'data/missing.md2'"},
      {"data/bad.geo", "Failed to load data/bad.geo"},
      {"data/bad.md2", "Cannot decode animated geometry 'data/bad.md2'"},
      {longName.c_str(), "Model name too long"},
  };
  for (const Case& c : cases) {
    CapturedLog log;
    EXPECT_EQ(m_db.Load(c.name, false, 0), -1) << c.line;
    EXPECT_TRUE(log.Has(c.line)) << c.line;
    EXPECT_EQ(m_db.Count(), 0);
  }
  EXPECT_EQ(m_db.Entry(0), nullptr);
}

TEST_F(ModelDBTest, OneSlotPerNameAndTheNameIsKept) {
  WriteData("data/box.geo", SmallGeo(1));
  WriteData("data/Box.geo", SmallGeo(2));
  // The table copies the name: the caller's buffer may change or go away.
  char name[32] = "data/box.geo";
  EXPECT_EQ(m_db.Load(name, true, 16), 0);
  snprintf(name, sizeof(name), "data/zzz.geo");
  {
    CapturedLog log;
    EXPECT_EQ(m_db.Load("data/box.geo", true, 16), 0);
    EXPECT_EQ(log.Count(), 0);  // found, nothing read again
  }
  EXPECT_STREQ(m_db.Entry(0)->m_name.c_str(), "data/box.geo");
  EXPECT_EQ(m_db.Load("data/Box.geo", false, 1), 1);  // letter case makes another model
  EXPECT_EQ(m_db.Entry(0)->m_mesh.m_triangleCount, 1);
  EXPECT_EQ(m_db.Entry(0)->m_mesh.m_blockBytes, 48 + 16 * 64);
  EXPECT_EQ(m_db.Entry(1)->m_mesh.m_triangleCount, 2);
  EXPECT_EQ(m_db.Count(), 2);
  CapturedLog log;
  m_db.FreeAll();
  EXPECT_TRUE(log.Has("Freeing 2 models from ModelDB."));
  EXPECT_EQ(m_db.Count(), 0);
  EXPECT_EQ(m_db.Entry(0), nullptr);
}

TEST_F(ModelDBTest, TheHundredAndFirstModelIsRefused) {
  WriteData("data/m.geo", SmallGeo(1));
  const std::string source = m_data + "/data/m.geo";
  char name[32];
  for (int i = 0; i < MAXMODELS; ++i) {
    snprintf(name, sizeof(name), "data/m%03d.geo", i);
    std::filesystem::copy_file(source, m_data + "/" + name);
    ASSERT_EQ(m_db.Load(name, false, 0), i);
  }
  CapturedLog log;
  EXPECT_EQ(m_db.Load("data/m.geo", false, 0), -1);
  EXPECT_TRUE(log.Has("ModelDB is full. Cannot load 'data/m.geo'"));
  EXPECT_EQ(m_db.Load("data/m099.geo", false, 0), 99);  // loaded names are still found
}

// The planet is rewritten in the user folder for each new game and refreshed in its slot; a
// damaged rewrite leaves the slot empty under its name, and the next good one fills it again.
TEST_F(ModelDBTest, RefreshKeepsThePlanetsSlot) {
  WriteData("data/box.geo", SmallGeo(1));
  Write(m_user, "custom.geo", SmallGeo(1));
  ASSERT_EQ(m_db.Load("data/box.geo", false, 0), 0);
  ASSERT_EQ(m_db.Refresh("custom.geo", false, 1), 1);  // not loaded yet: a plain load
  Write(m_user, "custom.geo", SmallGeo(4));
  {
    CapturedLog log;
    EXPECT_EQ(m_db.Refresh("custom.geo", false, 1), 1);
    EXPECT_TRUE(log.Has("Refreshing slot 1 of modeldb."));
  }
  EXPECT_EQ(m_db.Entry(1)->m_mesh.m_triangleCount, 4);
  std::vector<uint8_t> cut = SmallGeo(4);
  cut.resize(cut.size() - 8);
  Write(m_user, "custom.geo", cut);
  EXPECT_EQ(m_db.Refresh("custom.geo", false, 1), -1);
  ASSERT_NE(m_db.Entry(1), nullptr);
  EXPECT_EQ(m_db.Entry(1)->m_mesh.m_vertexCount, 0);
  EXPECT_EQ(m_db.Entry(1)->m_mesh.m_vertexData, nullptr);
  EXPECT_EQ(m_db.Load("custom.geo", false, 1), 1);  // still its slot
  Write(m_user, "custom.geo", SmallGeo(2));
  EXPECT_EQ(m_db.Refresh("custom.geo", false, 1), 1);
  EXPECT_EQ(m_db.Entry(1)->m_mesh.m_triangleCount, 2);
  EXPECT_EQ(m_db.Count(), 2);
}

TEST_F(ModelDBTest, FiguresTheirSequencesSkinsAndPoses) {
  Md2Spec s;
  s.frames = {"run1", "run2", "run3", "idle01", "idle02"};
  s.skins = {"ork.pcx"};
  WriteData("data/props/ork.md2", Md2Image(s));
  s.skins = {"druid.pcx"};
  WriteData("data/props/druid.md2", Md2Image(s));
  WriteData("data/props/druid.dds", DdsImage(2, 2, 1, "", 0, 16));
  WriteData("data/props/box.geo", SmallGeo(1));
  {
    CapturedLog log;
    EXPECT_EQ(m_db.Load("data/props/ork.md2", false, 0), 0);  // its skin is missing: loads without
    EXPECT_TRUE(log.Has("Cannot open texture file 'data/props/ork.dds'"));
  }
  {
    CapturedLog log;
    EXPECT_EQ(m_db.Load("data/props/druid.md2", false, 0), 1);
    EXPECT_EQ(log.Count(), 0);
  }
  EXPECT_EQ(m_db.Load("data/props/box.geo", true, 8), 2);
  EXPECT_EQ(m_db.FindAnimation(0, "run"), 0);
  EXPECT_EQ(m_db.FindAnimation(0, "idle"), 1);
  EXPECT_EQ(m_db.FindAnimation(0, "walk"), -1);
  EXPECT_EQ(m_db.FindAnimation(2, "run"), -1);   // a mesh without sequences
  EXPECT_EQ(m_db.FindAnimation(7, "run"), -1);   // a free slot
  EXPECT_EQ(m_db.FindAnimation(-1, "run"), -1);  // no slot
  AnimPose pose;
  ASSERT_TRUE(m_db.Pose(0, "idle", 3, 0.25, true, &pose));
  EXPECT_EQ(pose.frame, 3);
  EXPECT_EQ(pose.baseVertex, 9);
  EXPECT_NEAR(pose.weight, 0.5f, 1e-6f);
  ExpectAsserts asserts;
  EXPECT_FALSE(m_db.Pose(0, nullptr, 3, 0.0, true, &pose));
  EXPECT_TRUE(asserts.Saw("seq"));
  EXPECT_FALSE(m_db.Pose(0, "dance", 3, 0.0, true, &pose));
  EXPECT_TRUE(asserts.Saw("animNum >= 0"));
  EXPECT_EQ(asserts.Count(), 2);
  // A damaged skin is reported and the figure keeps no texture.
  WriteData("data/props/bad.dds", {'D', 'D', 'S', ' '});
  CapturedLog log;
  EXPECT_EQ(m_db.LoadTexture("data/props/bad.dds"), 0u);
  EXPECT_TRUE(log.Has("not a usable DDS image"));
}
