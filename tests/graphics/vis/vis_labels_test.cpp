// World labels: site needs, full stores, the tile number, the speech panel and the tutor box, computed without a
// window.
#include "graphics/vis/vis_labels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "graphics/ui/vector_font.h"
#include "test_support.h"
#include "world/actors/perform/actors_perform_carry.h"
#include "world/parts_fixture.h"
#include "world/perform_fixture.h"

namespace {

bool Colour(const TextLabel& l, float r, float g, float b, float a) {
  return l.m_colour[0] == r && l.m_colour[1] == g && l.m_colour[2] == b && l.m_colour[3] == a;
}

class LabelsWorld : public testing::Test {
 protected:
  void SetUp() override {
    m_world = BareWorld();
    ASSERT_TRUE(m_world);
    // Tiles away from the pentagons, two apart so their marks do not meet, all near tile 20 so
    // that one camera sees them.
    const Globe& g = m_world->globe;
    const Vec3 first = g.m_trfs[20].GetTranslation();
    m_tiles = {20};
    for (int t = 21; t < g.m_sz && m_tiles.size() < 4; ++t) {
      const Vec3 c = g.m_trfs[t].GetTranslation();
      if (Dot(Normalize(c), Normalize(first)) < 0.4f) continue;
      bool apart = true;
      for (int k : m_tiles) apart = apart && (c - g.m_trfs[k].GetTranslation()).Length() > 1.5f * g.m_hexw;
      if (apart) m_tiles.push_back(t);
    }
    ASSERT_EQ(m_tiles.size(), 4u);
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
  // A camera far out over the four tiles, which lie on one side of the planet.
  Vec3 sum{0, 0, 0};
  for (int t : m_tiles) sum = sum + w.globe.m_trfs[t].GetTranslation();
  const Vec3 camPos = Normalize(sum) * 5.0f;
  for (int t : m_tiles) ASSERT_TRUE(AboveHorizon(w.globe.m_trfs[t].GetTranslation(), camPos)) << t;
  Matrix44 vp;
  int n = BuildingLabels(w, vp, camY, camZ, camPos, m_out, 16);
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
  n = BuildingLabels(w, vp, camY, camZ, camPos, m_out, 16);
  EXPECT_TRUE(Colour(m_out[1], 0.88f, 0.04f, 0.09f, 1.0f));
  // A full store gets its own label; the output limit is never passed.
  w.buildings.Add("storage", m_tiles[3], AT_STORAGE);
  w.globe.m_nodes[m_tiles[3]].attribs |= AT_FILLEDSTORAGE;
  n = BuildingLabels(w, vp, camY, camZ, camPos, m_out, 16);
  ASSERT_EQ(n, 3);
  EXPECT_STREQ(m_out[2].m_text.c_str(), "STORE\nFULL");
  EXPECT_EQ(BuildingLabels(w, vp, camY, camZ, camPos, m_out, 1), 1);
  // A building whose tile is off the planet is reported and skipped.
  w.buildings.m_loca[street] = -1;
  {
    ExpectAsserts asserts;
    n = BuildingLabels(w, vp, camY, camZ, camPos, m_out, 16);
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

// The labels follow what the characters do: a stone delivered to a street site counts on its
// label, a store stocked until crowded says so and stops saying it once something is taken out.
class LabelsFollowWork : public PerformTest {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(SetUpDoer(20)); }
  int Labels(const Vec3& camPos) {
    return BuildingLabels(*world, Matrix44(), Vec3{0, 1, 0}, Vec3{0, 0, 1}, camPos, m_out, 8);
  }
  Vec3 Above(int tile) { return G().m_trfs[tile].GetTranslation() * 5.0f; }
  TextLabel m_out[8];
};

TEST_F(LabelsFollowWork, DeliveriesAndAFullStoreShowOnTheLabels) {
  const int site = 20;
  ASSERT_GE(world->buildings.Add("ssconstruction", site, AT_STONECONSTRUCTION | AT_ROADCONSTRUCTION), 0);
  ASSERT_EQ(Labels(Above(site)), 1);
  EXPECT_STREQ(m_out[0].m_text.c_str(), "\x05 0/3");
  Carry("stone", IS_MATERIAL);
  ASSERT_EQ(Labels(Above(site)), 1);
  EXPECT_STREQ(m_out[0].m_text.c_str(), "\x05 0/3") << "a stone in the hands is not on the site yet";
  GivePlan({"deliver_stone", "saw"});
  ASSERT_GT(PerformUntilMoved(1.0f / 240.0f, 4000), 0);
  ASSERT_EQ(Labels(Above(site)), 1);
  EXPECT_STREQ(m_out[0].m_text.c_str(), "\x05 1/3");

  // A store two tiles on, kept by a second character.
  int store = -1;
  for (int k = 0; k < 6 && store < 0; ++k) {
    const int n = G().m_nodes[G().m_nodes[site].neighbours[k]].neighbours[k];
    if (G().IsValid(n) && n != site && world->buildings.Find(n, nullptr) < 0) store = n;
  }
  ASSERT_GE(store, 0);
  ASSERT_GE(world->buildings.Add("depot", store, AT_STORAGE), 0);
  nr = A().Add("Keeper", store);
  ASSERT_GE(nr, 0);
  for (int i = 0; i < c_storageCrowd - 1; ++i) I().Add("stone", store, IS_MATERIAL);
  Carry("lumber", IS_MATERIAL);
  const Vec3 cam = (G().m_trfs[site].GetTranslation() + G().m_trfs[store].GetTranslation()) * 5.0f;
  EXPECT_EQ(Labels(cam), 1) << "a store with room has no label";
  GivePlan({"stock_lumber", "saw"});
  ASSERT_GT(PerformUntilMoved(1.0f / 240.0f, 4000), 0);
  ASSERT_NE(G().Attribs(store) & AT_FILLEDSTORAGE, 0u);
  ASSERT_EQ(Labels(cam), 2);
  EXPECT_STREQ(m_out[1].m_text.c_str(), "STORE\nFULL");
  EXPECT_TRUE(Colour(m_out[1], 0.9f, 0.97f, 0.02f, 1.0f));
  GivePlan({"pickup_lumber", "saw"});
  ASSERT_GT(PerformUntilMoved(1.0f / 240.0f, 4000), 0);
  EXPECT_EQ(Labels(cam), 1);

  // Seen from the far side of the planet neither label is written; from straight above the
  // store only the store's is, once it is full again.
  EXPECT_EQ(Labels(cam * -1.0f), 0);
  G().AttribsSet(store, AT_FILLEDSTORAGE);
  const Vec3 overStore = G().m_trfs[store].GetTranslation() * 1.5f;
  int seen = Labels(overStore);
  for (int i = 0; i < seen; ++i)
    EXPECT_TRUE(AboveHorizon(m_out[i].m_matrix.GetTranslation(), overStore)) << m_out[i].m_text.c_str();
  EXPECT_GE(seen, 1);
}

TEST(ScreenLabels, TutorTextsFitTheirBox) {
  // The longest of the tutor's lines, and a short one.
  TextLabel out[2];
  ASSERT_EQ(TutorLabels("Vozi says:\nWalk over to that poor friend,\nso cruely imprisoned by humans.", out), 2);
  EXPECT_LE(out[1].m_glyphW, 0.0774f);
  EXPECT_LE(TextWidth(out[1].m_text.c_str(), out[1].m_glyphW), 1.94f + 1e-4f);
  EXPECT_FLOAT_EQ(out[1].m_glyphH, 0.172f) << "only the width gives way";
  ASSERT_EQ(TutorLabels("Vozi says:\nBuild the sawmill.", out), 2);
  EXPECT_FLOAT_EQ(out[1].m_glyphW, 0.0774f);
  // Widths as the font lays the text out, lines measured apart, bytes past the table ignored.
  float w = 0.0f, h = 0.0f;
  static float scratch[c_fontScratchBytes / sizeof(float)];
  for (const char* text : {"", "A", "A B\nCCCC", "\x05 2/3\n\x06 1/3", "caf\xc3\xa9"}) {
    TextLayout(text, scratch, sizeof(scratch), 0.0f, 0.0f, 0.5f, 1.0f, &w, &h);
    EXPECT_FLOAT_EQ(TextWidth(text, 0.5f), w) << text;
  }
}

}  // namespace
