// Instance filling at full capacity: trees cut at their limits, items on their piles, buildings, arrows and crowns.
#include "graphics/vis/vis_instances.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "captured_log.h"
#include "graphics/vis_world_fixture.h"
#include "test_support.h"

namespace {

float Distance(const Matrix44& a, const Matrix44& b) {
  float d = 0.0f;
  for (int i = 0; i < 16; ++i) d = std::max(d, std::fabs(a.m[i] - b.m[i]));
  return d;
}

// Where the pile place of a tile is, at the scale.
Matrix44 PileMatrix(const Wld& w, int tile, int index, float scale) {
  const float h = w.globe.m_hexw;
  const PileOffset p = pileOffsets[index];
  return w.globe.m_trfs[tile] * Matrix44::Translation(Vec3{p.x * 0.4f * h, p.y * 0.4f * h, 0}) *
         Matrix44::Scale(Vec3{scale * h, scale * h, scale * h});
}

class VisInstances : public ::testing::Test {
 protected:
  void SetUp() override {
    world = MakeSmallWorld();
    ASSERT_NE(world, nullptr);
  }
  void TearDown() override { delete world; }
  void ClearTrees() {
    for (int k = 0; k < NUMTREEKINDS; ++k) {
      memset(world->trees.m_density[k], 0, sizeof(int32_t) * world->trees.m_sz);
      world->trees.m_count[k] = 0;
    }
  }
  Wld* world = nullptr;
};

}  // namespace

TEST_F(VisInstances, TreesShareOnePileAndAreCutAtTheirLimits) {
  ClearTrees();
  const int tile = 20;
  world->trees.m_density[0][tile] = 2;
  world->trees.m_density[1][tile] = 3;
  world->trees.m_count[0] = 2;
  world->trees.m_count[1] = 3;
  Matrix44 out[8];
  ASSERT_EQ(TreeInstancesFill(*world, 0, out, 8), 2);
  EXPECT_LT(Distance(out[0], PileMatrix(*world, tile, 0, 1.9f)), 1e-6f);
  EXPECT_LT(Distance(out[1], PileMatrix(*world, tile, 1, 1.9f)), 1e-6f);
  ASSERT_EQ(TreeInstancesFill(*world, 1, out, 8), 3);
  for (int j = 0; j < 3; ++j) EXPECT_LT(Distance(out[j], PileMatrix(*world, tile, 2 + j, 1.9f)), 1e-6f);
  EXPECT_EQ(TreeInstancesFill(*world, 2, out, 8), 0);

  // More trees than the model has room for, and a count that does not even match the map: the
  // writing stops at the capacity exactly (the guard behind the array stays untouched).
  for (int kind : {0, 3}) {
    const int limit = c_treeInstanceLimit[kind];
    for (int t = 0; t < world->trees.m_sz; ++t) world->trees.m_density[kind][t] = 40;
    world->trees.m_count[kind] = 7000;
    std::vector<Matrix44> buffer(limit + 1);
    buffer[limit].m[0] = 12345.0f;
    CapturedLog log;
    EXPECT_EQ(TreeInstancesFill(*world, kind, buffer.data(), limit), limit);
    EXPECT_EQ(buffer[limit].m[0], 12345.0f);
    EXPECT_TRUE(
        log.Has(("Cannot draw 7000 trees(tp" + std::to_string(kind) + "), max=" + std::to_string(limit)).c_str()));
  }
  EXPECT_EQ(TreeInstancesFill(*world, 7, out, 8), 0);
  EXPECT_EQ(TreeInstancesFill(*world, 0, nullptr, 8), 0);
}

TEST_F(VisInstances, ItemsStackOnTheirPileAfterTheTrees) {
  ClearTrees();
  Items& items = world->items;
  for (int i = 0; i < items.m_cnt; ++i)
    if (items.InUse(i)) items.Remove(i);
  const int tile = 30;
  world->trees.m_density[2][tile] = 1;
  world->trees.m_count[2] = 1;
  const int a = items.Add("stone", tile, 0), b = items.Add("water", tile, 0), c = items.Add("redgem", tile, IS_GEM);
  const int elsewhere = items.Add("stone", tile + 1, 0);
  ASSERT_GE(a, 0);
  ASSERT_GE(elsewhere, 0);
  const int carried = items.Add("crown", tile, 0);
  items.m_carr[carried] = 0;
  items.m_stat[b] |= IS_GLOWING;
  items.m_tphs[c] = 0.0f;  // the gem's pulse at its smallest: factor 0.9 + 0.0015 x 47
  ModelInstanceSort sort;
  ASSERT_TRUE(sort.Resize(world->globe.m_sz));
  sort.FillItems(*world);
  int n = 0;
  const Matrix44* stones = sort.ItemRun(ItemModelForName("stone"), &n);
  ASSERT_EQ(n, 2);
  EXPECT_LT(Distance(stones[0], PileMatrix(*world, tile, 1, 0.7f)), 1e-6f);      // behind the one tree
  EXPECT_LT(Distance(stones[1], PileMatrix(*world, tile + 1, 0, 0.7f)), 1e-6f);  // alone on its tile
  const Matrix44* water = sort.ItemRun(ItemModelForName("water"), &n);
  ASSERT_EQ(n, 1);
  EXPECT_LT(Distance(water[0], PileMatrix(*world, tile, 2, 0.7f)), 1e-6f);
  const Matrix44* gem = sort.ItemRun(ItemModelForName("redgem"), &n);
  ASSERT_EQ(n, 1);
  EXPECT_LT(Distance(gem[0], PileMatrix(*world, tile, 3, 0.7f * (0.9f + 0.0015f * 47.0f))), 1e-6f);
  const Matrix44* crown = sort.ItemRun(c_crownItemModel, &n);
  ASSERT_EQ(n, 1);
  const float h = world->globe.m_hexw;
  const Matrix44 expect = world->actors.m_trfs[0] * Matrix44::Scale(Vec3{0.7f * h, 0.7f * h, 0.7f * h}) *
                          Matrix44::Translation(Vec3{0, 0, 1});
  EXPECT_LT(Distance(crown[0], expect), 1e-6f);
  sort.GlowingRun(ItemModelForName("water"), &n);
  EXPECT_EQ(n, 1);
  sort.GlowingRun(ItemModelForName("stone"), &n);
  EXPECT_EQ(n, 0);
  // A second frame gives the same piles: the per-tile counters were cleared.
  sort.FillItems(*world);
  stones = sort.ItemRun(ItemModelForName("stone"), &n);
  EXPECT_LT(Distance(stones[0], PileMatrix(*world, tile, 1, 0.7f)), 1e-6f);
}

TEST_F(VisInstances, EveryItemSlotFullAndOnePileTallerThanTheTable) {
  Items& items = world->items;
  for (int i = 0; i < items.m_cnt; ++i)
    if (items.InUse(i)) items.Remove(i);
  // All 3072 slots: 1100 on one tile (beyond the 1024 pile places), the rest spread out.
  for (int i = 0; i < MAXITEMS; ++i)
    ASSERT_GE(items.Add(i % 3 ? "stone" : "lumber", i < 1100 ? 5 : i % world->globe.m_sz, 0), 0);
  ModelInstanceSort sort;
  ASSERT_TRUE(sort.Resize(world->globe.m_sz));
  sort.FillItems(*world);  // no assertion, no read past the offsets
  int stones = 0, lumber = 0;
  sort.ItemRun(ItemModelForName("stone"), &stones);
  sort.ItemRun(ItemModelForName("lumber"), &lumber);
  EXPECT_EQ(stones + lumber, MAXITEMS);
  // An item on a tile off the planet is reported and left out.
  items.m_loca[7] = -1;
  {
    ExpectAsserts expect;
    sort.FillItems(*world);
    EXPECT_TRUE(expect.Saw("loc!=-1"));
  }
  items.m_loca[7] = world->globe.m_sz + 3;
  sort.FillItems(*world);
  sort.ItemRun(ItemModelForName("stone"), &stones);
  sort.ItemRun(ItemModelForName("lumber"), &lumber);
  EXPECT_EQ(stones + lumber, MAXITEMS - 1);
  // Names without a model, and the model look-ups themselves.
  EXPECT_EQ(ItemModelForName("nothing"), -1);
  EXPECT_EQ(ItemModelForName(""), -1);
  EXPECT_EQ(ItemModelForName(nullptr), -1);
  EXPECT_EQ(ItemModelForName("crown"), c_crownItemModel);
  EXPECT_EQ(BuildingModelForName("sawmill"), 6);
  EXPECT_EQ(BuildingModelForName("stargate"), NUMBUILDINGMODELS - 1);
  EXPECT_EQ(BuildingModelForName("castle"), -1);
}

TEST_F(VisInstances, BuildingsMatchTheirCounts) {
  ModelInstanceSort sort;
  sort.FillBuildings(*world);
  int total = 0;
  for (int m = 0; m < NUMBUILDINGMODELS; ++m) {
    int n = 0;
    const Matrix44* trfs = sort.BuildingRun(m, &n);
    EXPECT_EQ(n, world->buildings.CountNamed(buildingModelNames[m])) << buildingModelNames[m];
    if (n > 0) {
      EXPECT_NE(trfs, nullptr);
    }
    total += n;
  }
  EXPECT_GT(total, 0);
  // A full building table.
  for (int b = world->buildings.m_cnt; b < MAXBUILDINGS; ++b) world->buildings.Add("plaza", b % world->globe.m_sz, 0);
  sort.FillBuildings(*world);
  EXPECT_EQ(sort.BuildingCount(), MAXBUILDINGS);
}

TEST_F(VisInstances, PathArrowsTargetCrownsAndBridgeMarkers) {
  Actors& actors = world->actors;
  const int p = actors.FindPlayer();
  ASSERT_GE(p, 0);
  const Globe& g = world->globe;
  const int start = actors.m_loca[p];
  int path[5] = {start};
  for (int k = 1; k < 5; ++k) path[k] = g.m_nodes[path[k - 1]].neighbours[0];
  memcpy(actors.m_ploc[p], path, sizeof(path));
  actors.m_pasz[p] = 5;
  actors.m_pathStage[p] = 2;
  Matrix44 out[c_annotationInstanceLimit + 1];
  ASSERT_EQ(PathArrowInstancesFill(*world, out, c_annotationInstanceLimit), 4);
  const float h = g.m_hexw;
  EXPECT_NEAR(out[0].GetXAxis().Length(), 0.25f * h, 1e-6f);
  EXPECT_NEAR(out[1].GetXAxis().Length(), 0.25f * h, 1e-6f);
  EXPECT_NEAR(out[2].GetXAxis().Length(), 0.5f * h, 1e-6f);
  EXPECT_EQ(out[0].GetTranslation(), g.m_nodes[path[0]].centre);
  // The arrow points along the step and stands on the tile.
  const Vec3 step = Normalize(g.m_nodes[path[1]].centre) - Normalize(g.m_nodes[path[0]].centre);
  EXPECT_GT(Dot(Normalize(out[0].GetXAxis()), Normalize(step)), 0.9f);
  EXPECT_NEAR(Dot(Normalize(out[0].GetZAxis()), g.m_trfs[path[0]].GetZAxis()), 1.0f, 1e-5f);
  EXPECT_EQ(PathTargetInstanceFill(*world, out), 1);
  EXPECT_EQ(out[0].GetTranslation(), g.m_trfs[path[4]].GetTranslation());
  // A path of one tile has no steps; a path walked to its end shows nothing; a longer count than
  // the path array is bounded.
  actors.m_pasz[p] = 1;
  actors.m_pathStage[p] = 0;
  EXPECT_EQ(PathArrowInstancesFill(*world, out, c_annotationInstanceLimit), 0);
  EXPECT_EQ(PathTargetInstanceFill(*world, out), 1);
  actors.m_pasz[p] = 5;
  actors.m_pathStage[p] = 5;
  EXPECT_EQ(PathArrowInstancesFill(*world, out, c_annotationInstanceLimit), 0);
  EXPECT_EQ(PathTargetInstanceFill(*world, out), 0);
  for (int k = 0; k < c_tilePathLimit; ++k) actors.m_ploc[p][k] = path[k % 2];
  actors.m_pasz[p] = 100000;
  actors.m_pathStage[p] = 0;
  out[c_annotationInstanceLimit].m[0] = 777.0f;
  EXPECT_EQ(PathArrowInstancesFill(*world, out, c_annotationInstanceLimit), c_tilePathLimit - 1);
  EXPECT_EQ(out[c_annotationInstanceLimit].m[0], 777.0f);

  // Crowns on the crowned only, placed on the attachment frame.
  Matrix44 attach[MAXACTORS];
  attach[p] = Matrix44::Translation(Vec3{0, 0, 0.5f});
  EXPECT_EQ(CrownInstancesFill(*world, attach, out, 256), 0);
  actors.m_stat[p] |= ST_CROWNED;
  ASSERT_EQ(CrownInstancesFill(*world, attach, out, 256), 1);
  const Matrix44 expect = actors.m_trfs[p] * attach[p] * Matrix44::Scale(Vec3{1.6f * h, 1.6f * h, 1.6f * h});
  EXPECT_LT(Distance(out[0], expect), 1e-6f);

  // One model draws the crowns lying about and the worn ones: one run, lying ones first.
  const int lying = world->items.Add("crown", actors.m_loca[p], 0);
  ASSERT_GE(lying, 0);
  FrameInstances frame;
  ASSERT_TRUE(frame.Resize(g.m_sz));
  frame.Fill(*world, attach);
  int all = 0, worn = 0;
  const Matrix44* crowns = frame.AllCrowns(&all);
  frame.Crowns(&worn);
  EXPECT_EQ(worn, 1);
  ASSERT_EQ(all, 2);
  EXPECT_LT(Distance(crowns[1], expect), 1e-6f);
  EXPECT_GT(Distance(crowns[0], expect), 1e-4f);

  // Bridge markers only while a bridge marker is carried.
  EXPECT_EQ(BridgeMarkerInstancesFill(*world, out, c_bridgeMarkerLimit), 0);
}

TEST(GemPulse, StartsAndEndsWhereTheTableDoes) {
  // The table's first rows and its last, and its peak: a gem swells from 0.97 to 1.10 of its size.
  const struct {
    int row;
    float value;
  } rows[] = {{0, 47.0f}, {1, 47.6f}, {2, 48.1f}, {3, 49.2f}, {4, 50.3f}, {255, 47.6f}};
  for (const auto& r : rows)
    EXPECT_NEAR(GemPulseFactor((r.row + 0.5f) / 255.999f), 0.9f + 0.0015f * r.value, 1e-6f) << r.row;
  float top = 0.0f;
  for (int i = 0; i < 256; ++i) top = std::max(top, GemPulseFactor((i + 0.5f) / 255.999f));
  EXPECT_NEAR(top, 0.9f + 0.0015f * 132.3f, 1e-6f);
  // Phases outside the turn are clamped to its ends.
  EXPECT_FLOAT_EQ(GemPulseFactor(-3.0f), GemPulseFactor(0.0f));
  EXPECT_FLOAT_EQ(GemPulseFactor(7.0f), 0.9f + 0.0015f * 47.6f);
}
