// World labels: site needs, full stores, the tile number, the speech panel and the tutor box, computed without a
// window.
#include "graphics/vis_labels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "test_support.h"
#include "world/parts_fixture.h"

namespace {

bool Colour(const TextLabel& l, float r, float g, float b, float a) {
  return l.m_colour[0] == r && l.m_colour[1] == g && l.m_colour[2] == b && l.m_colour[3] == a;
}

class LabelsWorld : public testing::Test {
 protected:
  void SetUp() override {
    m_world = BareWorld();
    ASSERT_TRUE(m_world);
    // Tiles away from the pentagons, two apart so their marks do not meet.
    m_tiles = {20, 40, 60, 80};
  }
  std::unique_ptr<Wld> m_world;
  std::vector<int> m_tiles;
  TextLabel m_out[16];
};

TEST_F(LabelsWorld, SitesShowWhatTheyStillNeed) {
  Wld& w = *m_world;
  int bridge = w.buildings.Add("brconstruction", m_tiles[0], AT_BRIDGECONSTRUCTION);
  int street = w.buildings.Add("ssconstruction", m_tiles[1], AT_ROADCONSTRUCTION);
  ASSERT_GE(bridge, 0);
  ASSERT_GE(street, 0);
  ASSERT_GE(w.items.Add("lumber", m_tiles[0], IS_MATERIAL), 0);
  ASSERT_GE(w.items.Add("stone", m_tiles[0], IS_MATERIAL), 0);
  ASSERT_GE(w.items.Add("stone", m_tiles[0], IS_MATERIAL), 0);
  w.buildings.Add("cage", m_tiles[2], AT_CAGE);  // finished, not on a full store: no label
  Vec3 camY{0, 1, 0}, camZ{0, 0, 1};
  Matrix44 vp;
  int n = BuildingLabels(w, vp, camY, camZ, m_out, 16);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(std::string(m_out[0].m_text.c_str()), "\x05 2/3\n\x06 1/3");
  EXPECT_EQ(std::string(m_out[1].m_text.c_str()), "\x05 0/3");
  EXPECT_TRUE(Colour(m_out[0], 0.9f, 0.97f, 0.02f, 1.0f));
  // The label stands 0.3 tile widths above the building, sized by the tile width.
  const Matrix44& t = w.buildings.m_trfs[bridge];
  Vec3 expect = t.GetTranslation() + t.GetZAxis() * (0.3f * w.globe.m_hexw);
  EXPECT_NEAR(m_out[0].m_matrix.m[12], expect.x, 1e-5f);
  EXPECT_NEAR(m_out[0].m_matrix.m[13], expect.y, 1e-5f);
  EXPECT_NEAR(m_out[0].m_matrix.m[14], expect.z, 1e-5f);
  EXPECT_FLOAT_EQ(m_out[0].m_glyphH, 0.19f * w.globe.m_hexw);
  EXPECT_FLOAT_EQ(m_out[0].m_glyphW, 0.52f * 0.19f * w.globe.m_hexw);
  // Trees still on the site turn its label red.
  w.globe.m_nodes[m_tiles[1]].attribs |= AT_WOODYBLOCK;
  n = BuildingLabels(w, vp, camY, camZ, m_out, 16);
  EXPECT_TRUE(Colour(m_out[1], 0.88f, 0.04f, 0.09f, 1.0f));
  // A full store gets its own label; the output limit is never passed.
  w.buildings.Add("storage", m_tiles[3], AT_STORAGE);
  w.globe.m_nodes[m_tiles[3]].attribs |= AT_FILLEDSTORAGE;
  n = BuildingLabels(w, vp, camY, camZ, m_out, 16);
  ASSERT_EQ(n, 3);
  EXPECT_STREQ(m_out[2].m_text.c_str(), "STORE\nFULL");
  EXPECT_EQ(BuildingLabels(w, vp, camY, camZ, m_out, 1), 1);
  // A building whose tile is off the planet is reported and skipped.
  w.buildings.m_loca[street] = -1;
  {
    ExpectAsserts asserts;
    n = BuildingLabels(w, vp, camY, camZ, m_out, 16);
    EXPECT_TRUE(asserts.Saw("loc>=0"));
  }
  EXPECT_EQ(n, 2);
}

TEST_F(LabelsWorld, TileNumberLiesFlatOnItsTile) {
  TextLabel l;
  Matrix44 vp;
  ASSERT_TRUE(TileLabel(*m_world, 40, vp, &l));
  EXPECT_STREQ(l.m_text.c_str(), "tile40");
  Vec3 c = m_world->globe.m_trfs[40].GetTranslation();
  Vec3 up = Normalize(c);
  EXPECT_NEAR(l.m_matrix.m[8], up.x, 1e-5f);  // Z axis outward
  EXPECT_NEAR(l.m_matrix.m[9], up.y, 1e-5f);
  EXPECT_NEAR(l.m_matrix.m[10], up.z, 1e-5f);
  EXPECT_NEAR(l.m_matrix.m[12], c.x + up.x * 0.001f, 1e-5f);
  EXPECT_TRUE(Colour(l, 0, 0, 0, 1));
  EXPECT_FALSE(TileLabel(*m_world, -1, vp, &l));
  EXPECT_FALSE(TileLabel(*m_world, m_world->globe.m_sz, vp, &l));
}

TEST(ScreenLabels, SpeechPanelAndTutorBox) {
  const char* lines[9] = {"Hey, Hilde...", "procure lumber", nullptr, "build stuff",     nullptr,
                          nullptr,         nullptr,          nullptr, "Have a nice day!"};
  TextLabel out[10];
  int n = SpeechChoiceLabels(lines, 2, true, out);  // row 2: the first choice
  ASSERT_EQ(n, 5);
  EXPECT_TRUE(out[0].m_blend);
  EXPECT_EQ(out[0].m_text.c_str()[0], c_glyphSpeechPanel);
  EXPECT_TRUE(Colour(out[0], 0, 0, 0, 0.8f));
  EXPECT_FLOAT_EQ(out[1].m_x, -0.5f);  // the title
  EXPECT_FLOAT_EQ(out[1].m_y, 1.0f - 1.5f * 2.0f / 11.0f);
  EXPECT_TRUE(Colour(out[1], 0.8f, 0.8f, 0.8f, 1.0f));
  EXPECT_FLOAT_EQ(out[2].m_x, -0.32f);
  EXPECT_TRUE(Colour(out[2], 1.0f, 1.0f, 0.2f, 1.0f)) << "the hovered choice";
  EXPECT_FLOAT_EQ(out[2].m_glyphH, 0.122f * 1.04f);
  EXPECT_FLOAT_EQ(out[3].m_glyphH, 0.122f * 0.96f);
  EXPECT_FLOAT_EQ(out[4].m_y, 1.0f - 9.5f * 2.0f / 11.0f);
  // While the camera is dragged nothing is highlighted; the title never is.
  n = SpeechChoiceLabels(lines, 2, false, out);
  EXPECT_TRUE(Colour(out[2], 0.8f, 0.8f, 0.8f, 1.0f));
  n = SpeechChoiceLabels(lines, 1, true, out);
  for (int i = 1; i < n; i++) EXPECT_TRUE(Colour(out[i], 0.8f, 0.8f, 0.8f, 1.0f)) << i;

  TextLabel tutor[2];
  EXPECT_EQ(TutorLabels(nullptr, tutor), 0);
  ASSERT_EQ(TutorLabels("Welcome to the planet!", tutor), 2);
  EXPECT_TRUE(tutor[0].m_blend);
  EXPECT_FLOAT_EQ(tutor[0].m_glyphW, 1.96f);
  EXPECT_STREQ(tutor[0].m_vAlign, "bottom");
  EXPECT_STREQ(tutor[1].m_text.c_str(), "Welcome to the planet!");
  EXPECT_TRUE(Colour(tutor[1], 0.9f, 0.45f, 0.09f, 0.7f));
  float block[20];
  TextLabelBlock(tutor[1], block);
  EXPECT_EQ(block[0], 1.0f);
  EXPECT_EQ(block[17], 0.45f);
}

}  // namespace
