// Buildings and demand: slots, tile marks, blocked sites, material flow and thresholds, factory sites, the tallies.
#include <gtest/gtest.h>

#include <memory>

#include "quarnplan256/goap.h"
#include "test_support.h"
#include "world/parts_fixture.h"

namespace {

bool Has(const Wld& w, int tile, uint64_t bits) { return (w.globe.Attribs(tile) & bits) == bits; }
bool HasAny(const Wld& w, int tile, uint64_t bits) { return (w.globe.Attribs(tile) & bits) != 0; }

void Drop(Wld& w, const char* name, int tile, int count) {
  for (int i = 0; i < count; ++i) ASSERT_GE(w.items.Add(name, tile, IS_MATERIAL), 0);
}

// Hexagons away from the pentagons with no shared neighbours, for independent sites.
std::vector<int> SiteTiles(const Globe& g, int count) {
  std::vector<int> tiles;
  std::vector<bool> used(g.m_sz, false);
  for (int t = 12; t < g.m_sz && static_cast<int>(tiles.size()) < count; ++t) {
    bool ok = !used[t];
    for (int k = 0; k < 6 && ok; ++k) ok = g.m_nodes[t].neighbours[k] >= 12 && !used[g.m_nodes[t].neighbours[k]];
    if (!ok) continue;
    tiles.push_back(t);
    used[t] = true;
    for (int k = 0; k < 6; ++k) used[g.m_nodes[t].neighbours[k]] = true;
  }
  return tiles;
}

class BuildingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_world = BareWorld();
    ASSERT_TRUE(m_world);
    m_tiles = SiteTiles(m_world->globe, 6);
    ASSERT_EQ(m_tiles.size(), 6u);
  }
  std::unique_ptr<Wld> m_world;
  std::vector<int> m_tiles;
};

}  // namespace

TEST_F(BuildingsTest, SlotsAreNeverReusedAndTheTableEndsAt1024) {
  Buildings& b = m_world->buildings;
  const int t = m_tiles[0];
  EXPECT_EQ(b.Add("cage", t, AT_CAGE), 0);
  EXPECT_EQ(b.Add("depot", t, AT_STORAGE), 1);
  EXPECT_EQ(b.Find(t, nullptr), 0);
  EXPECT_EQ(b.Find(t, "depot"), 1);
  EXPECT_EQ(b.Find(t, "smithy"), -1);
  EXPECT_EQ(b.Remove(0), t);
  EXPECT_EQ(b.Remove(0), -1);  // already free
  EXPECT_EQ(b.Remove(5), -1);  // never used
  EXPECT_EQ(b.m_loca[0], -1);
  EXPECT_EQ(b.Find(t, nullptr), 1);
  for (int tile = 0; tile < m_world->globe.m_sz; ++tile) EXPECT_NE(b.Find(tile, "cage"), 0);
  EXPECT_EQ(b.Add("dkconstruction1", m_tiles[1], AT_WOODCONSTRUCTION | AT_DECKCONSTRUCTION), 2);
  EXPECT_EQ(b.Add("dkconstruction3", m_tiles[1], AT_WOODCONSTRUCTION | AT_DECKCONSTRUCTION), 3);
  EXPECT_EQ(b.Add("dkconstruction2", m_tiles[2], AT_WOODCONSTRUCTION | AT_DECKCONSTRUCTION), 4);
  EXPECT_EQ(b.CountNamed("dkconstruction"), 3);
  EXPECT_EQ(b.CountNamed("dkconstruction1"), 1);
  EXPECT_EQ(b.CountNamed("cage"), 0);
  // Bad input is refused with a line and takes no slot.
  EXPECT_EQ(b.Add("cage", -1, AT_CAGE), -1);
  EXPECT_EQ(b.Add("cage", m_world->globe.m_sz, AT_CAGE), -1);
  EXPECT_EQ(b.Add("", t, 0), -1);
  EXPECT_EQ(b.Add(nullptr, t, 0), -1);
  EXPECT_EQ(b.m_cnt, 5);
  while (b.m_cnt < MAXBUILDINGS) {
    const int next = b.m_cnt;
    ASSERT_EQ(b.Add("bridge", m_tiles[3], AT_BRIDGE), next);
  }
  // Slot 0 is free, yet the 1025th building is refused: slots are never reused.
  CapturedLog log;
  ExpectAsserts asserts;
  EXPECT_EQ(b.Add("cage", t, AT_CAGE), -1);
  EXPECT_EQ(b.m_cnt, MAXBUILDINGS);
  EXPECT_TRUE(asserts.Saw("m_cnt < MAXBUILDINGS"));
  EXPECT_TRUE(log.Has("Exceeded maximum(1024) number of buildings."));
  EXPECT_TRUE(b.m_name[0].Empty());
}

TEST_F(BuildingsTest, AddingMarksTheTileAndItsNeighbours) {
  Buildings& b = m_world->buildings;
  Globe& g = m_world->globe;
  const int t = m_tiles[0];
  const int pent = 0;  // five neighbours, the sixth slot empty
  for (int i = 0; i < g.m_sz; ++i) g.AttribsClear(i, AT_URBAN | AT_UNCLAIMED);
  ASSERT_EQ(b.Add("cage", t, AT_CAGE), 0);
  EXPECT_TRUE(Has(*m_world, t, AT_CAGE | AT_URBAN | AT_UNCLAIMED));
  for (int k = 0; k < 6; ++k) {
    EXPECT_TRUE(Has(*m_world, g.m_nodes[t].neighbours[k], AT_URBAN));
    EXPECT_FALSE(Has(*m_world, g.m_nodes[t].neighbours[k], AT_UNCLAIMED));
  }
  ASSERT_EQ(b.Add("depot", pent, AT_STORAGE), 1);
  std::vector<bool> expect(g.m_sz, false);
  expect[t] = expect[pent] = true;
  for (int k = 0; k < 6; ++k) {
    expect[g.m_nodes[t].neighbours[k]] = true;
    if (k < 5) expect[g.m_nodes[pent].neighbours[k]] = true;
  }
  for (int i = 0; i < g.m_sz; ++i) EXPECT_EQ(Has(*m_world, i, AT_URBAN), expect[i]) << i;
  EXPECT_EQ(b.m_rwoo[0], 0);
  EXPECT_EQ(b.m_rsto[0], 0);
  EXPECT_TRUE(b.m_trfs[0].m[12] == g.m_trfs[t].m[12] && b.m_trfs[0].m[14] == g.m_trfs[t].m[14]);
  // Turning: the Y axis points at the other tile, up and position stay.
  const int other = g.m_nodes[t].neighbours[3];
  const Vec3 up = b.m_trfs[0].GetZAxis();
  ASSERT_TRUE(b.FaceTowards(0, other, false));
  // The chord toward the other tile, laid flat onto the building's ground plane.
  Vec3 toward = Normalize(Normalize(g.m_trfs[other].GetTranslation()) - Normalize(g.m_trfs[t].GetTranslation()));
  toward = Normalize(toward - up * Dot(toward, up));
  EXPECT_GT(Dot(b.m_trfs[0].GetYAxis(), toward), 0.999f);
  EXPECT_NEAR(Dot(b.m_trfs[0].GetZAxis(), up), 1.0f, 1e-4f);
  EXPECT_EQ(b.m_trfs[0].GetTranslation(), g.m_trfs[t].GetTranslation());
  ASSERT_TRUE(b.FaceTowards(0, other, true));
  EXPECT_LT(Dot(b.m_trfs[0].GetYAxis(), toward), -0.999f);
  EXPECT_FALSE(b.FaceTowards(7, other, false));
  EXPECT_FALSE(b.FaceTowards(0, -1, false));
}

TEST_F(BuildingsTest, SitesUnderTreesOrRocksAreBlocked) {
  Buildings& b = m_world->buildings;
  const int woody = m_tiles[0], rocky = m_tiles[1], both = m_tiles[2];
  m_world->trees.m_density[TK_PINE][woody] = 1;
  m_world->trees.m_density[TK_SEED][both] = 1;
  m_world->rocks.m_formations[rocky][4] = 2;
  m_world->rocks.m_formations[both][0] = 2;
  const uint64_t bridge = AT_WOODCONSTRUCTION | AT_STONECONSTRUCTION | AT_BRIDGECONSTRUCTION;
  ASSERT_EQ(b.Add("brconstruction", woody, bridge), 0);
  ASSERT_EQ(b.Add("brconstruction", rocky, bridge), 1);
  ASSERT_EQ(b.Add("brconstruction", both, bridge), 2);
  EXPECT_TRUE(Has(*m_world, woody, AT_WOODYBLOCK | AT_BRIDGECONSTRUCTION));
  EXPECT_FALSE(HasAny(*m_world, woody, AT_WOODCONSTRUCTION | AT_STONECONSTRUCTION | AT_ROCKYBLOCK));
  EXPECT_TRUE(Has(*m_world, rocky, AT_ROCKYBLOCK));
  EXPECT_FALSE(HasAny(*m_world, rocky, AT_WOODCONSTRUCTION | AT_STONECONSTRUCTION | AT_WOODYBLOCK));
  EXPECT_TRUE(Has(*m_world, both, AT_ROCKYBLOCK | AT_WOODYBLOCK));
  // A blocked site gets no flow, even with material lying there.
  Drop(*m_world, "lumber", woody, 8);
  EXPECT_EQ(b.UpdateFlows(), 0);
  EXPECT_FALSE(HasAny(*m_world, woody, AT_WOODCONSTRUCTION | AT_SUPPLIEDBRIDGEWORK));
  // A stump or a building that is no site does not block.
  m_world->trees.m_density[TK_STMP][m_tiles[3]] = 1;
  ASSERT_EQ(b.Add("plconstruction", m_tiles[3], AT_STONECONSTRUCTION | AT_ROADCONSTRUCTION), 3);
  EXPECT_FALSE(HasAny(*m_world, m_tiles[3], AT_WOODYBLOCK | AT_ROCKYBLOCK));
  m_world->trees.m_density[TK_PINE][m_tiles[4]] = 1;
  ASSERT_EQ(b.Add("cage", m_tiles[4], AT_CAGE), 4);
  EXPECT_FALSE(HasAny(*m_world, m_tiles[4], AT_WOODYBLOCK));
  EXPECT_EQ(b.UpdateFlows(), 1);
}

TEST_F(BuildingsTest, MaterialNeedsFollowTheSiteKind) {
  Buildings& b = m_world->buildings;
  struct Kind {
    const char* name;
    int wood, stone;
  };
  const Kind kinds[] = {
      {"brconstruction", 3, 3}, {"dkconstruction2", 3, 0}, {"plconstruction", 0, 3}, {"ssconstruction", 0, 3},
      {"slconstruction", 0, 3}, {"srconstruction", 0, 3},  {"faconstruction", 3, 0}, {"cage", 0, 0},
      {"sawmill", 0, 0}};
  const int t = m_tiles[0];
  Drop(*m_world, "lumber", t, 2);
  Drop(*m_world, "stone", t, 1);
  const int carried = m_world->items.Add("stone", t, IS_MATERIAL);
  m_world->items.m_carr[carried] = 0;  // carried stone does not lie on the site
  for (const Kind& k : kinds) {
    const int slot = b.Add(k.name, t, 0);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(b.m_rwoo[slot], k.wood) << k.name;
    EXPECT_EQ(b.m_rsto[slot], k.stone) << k.name;
    int wood = -7, lumber = -7, stone = -7, stones = -7;
    const bool site = b.SiteMaterials(slot, &wood, &lumber, &stone, &stones);
    EXPECT_EQ(site, k.wood + k.stone > 0) << k.name;
    if (site) {
      EXPECT_EQ(wood, k.wood);
      EXPECT_EQ(stone, k.stone);
      EXPECT_EQ(lumber, 2);
      EXPECT_EQ(stones, 1);
    } else {
      EXPECT_EQ(wood, -7);  // nothing written for other buildings
      EXPECT_EQ(lumber, -7);
    }
  }
  EXPECT_FALSE(b.SiteMaterials(-1, nullptr, nullptr, nullptr, nullptr));
  EXPECT_FALSE(b.SiteMaterials(1000, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(BuildingsTest, FlowsStopAtTheNeedAndSupplyAtThree) {
  Buildings& b = m_world->buildings;
  const int br = m_tiles[0], dk = m_tiles[1], rd = m_tiles[2], fa = m_tiles[3];
  ASSERT_EQ(b.Add("brconstruction", br, AT_WOODCONSTRUCTION | AT_STONECONSTRUCTION | AT_BRIDGECONSTRUCTION), 0);
  ASSERT_EQ(b.Add("dkconstruction1", dk, AT_WOODCONSTRUCTION | AT_DECKCONSTRUCTION), 1);
  ASSERT_EQ(b.Add("ssconstruction", rd, AT_STONECONSTRUCTION | AT_ROADCONSTRUCTION), 2);
  ASSERT_EQ(b.Add("faconstruction", fa, AT_FACTCONSTRUCTION), 3);
  m_world->globe.AttribsClear(rd, AT_STONECONSTRUCTION);  // wanted bits come back from the flow
  EXPECT_EQ(b.UpdateFlows(), 4);
  EXPECT_TRUE(Has(*m_world, rd, AT_STONECONSTRUCTION));
  EXPECT_FALSE(HasAny(*m_world, rd, AT_WOODCONSTRUCTION | AT_SUPPLIEDROADWORK));  // roads never want wood
  EXPECT_TRUE(Has(*m_world, fa, AT_WOODCONSTRUCTION));
  EXPECT_FALSE(HasAny(*m_world, fa, AT_STONECONSTRUCTION));  // factories never want stone
  // Three of each: the bridge is supplied but keeps wanting both until eight lie there.
  Drop(*m_world, "lumber", br, 3);
  Drop(*m_world, "stone", br, 2);
  EXPECT_EQ(b.UpdateFlows(), 4);
  EXPECT_FALSE(HasAny(*m_world, br, AT_SUPPLIEDBRIDGEWORK));
  Drop(*m_world, "stone", br, 1);
  EXPECT_EQ(b.UpdateFlows(), 4);
  EXPECT_TRUE(Has(*m_world, br, AT_SUPPLIEDBRIDGEWORK | AT_WOODCONSTRUCTION | AT_STONECONSTRUCTION));
  Drop(*m_world, "lumber", br, 5);
  Drop(*m_world, "stone", br, 4);
  {
    CapturedLog log;
    b.UpdateFlows();
    EXPECT_TRUE(log.Has(("Stopped the flow of wood to tile " + std::to_string(br)).c_str()));
    EXPECT_FALSE(log.Has("Stopped the flow of stone"));
  }
  EXPECT_FALSE(HasAny(*m_world, br, AT_WOODCONSTRUCTION));
  EXPECT_TRUE(Has(*m_world, br, AT_STONECONSTRUCTION));
  Drop(*m_world, "stone", br, 1);
  b.UpdateFlows();
  EXPECT_FALSE(HasAny(*m_world, br, AT_WOODCONSTRUCTION | AT_STONECONSTRUCTION));
  // A deck with three lumber is supplied and stops wanting wood.
  Drop(*m_world, "lumber", dk, 3);
  b.UpdateFlows();
  EXPECT_TRUE(Has(*m_world, dk, AT_SUPPLIEDDECKWORK));
  EXPECT_FALSE(HasAny(*m_world, dk, AT_WOODCONSTRUCTION));
  // Supplied bits are never taken back by the flow, even when material is carried off again.
  const int slot = m_world->items.FindAt("lumber", dk, false);
  m_world->items.m_carr[slot] = 0;
  b.UpdateFlows();
  EXPECT_TRUE(Has(*m_world, dk, AT_SUPPLIEDDECKWORK | AT_WOODCONSTRUCTION));
  // Stone on a factory site or lumber on a road supplies nothing.
  Drop(*m_world, "stone", fa, 5);
  Drop(*m_world, "lumber", rd, 5);
  b.UpdateFlows();
  EXPECT_FALSE(HasAny(*m_world, fa, AT_SUPPLIEDFACTWORK));
  EXPECT_FALSE(HasAny(*m_world, rd, AT_SUPPLIEDROADWORK));
  Drop(*m_world, "lumber", fa, 3);
  Drop(*m_world, "stone", rd, 3);
  b.UpdateFlows();
  EXPECT_TRUE(Has(*m_world, fa, AT_SUPPLIEDFACTWORK));
  EXPECT_TRUE(Has(*m_world, rd, AT_SUPPLIEDROADWORK));
  // A building whose tile went bad is reported and skipped.
  b.m_loca[1] = m_world->globe.m_sz + 3;
  ExpectAsserts asserts;
  EXPECT_EQ(b.UpdateFlows(), 3);
  EXPECT_EQ(asserts.Count(), 1);
}

TEST_F(BuildingsTest, LevelFactorySiteStartsConstructionOnce) {
  Buildings& b = m_world->buildings;
  Globe& g = m_world->globe;
  const int t = m_tiles[0];
  ASSERT_GE(m_world->items.Add("smithysite", t, 0), 0);
  const int nb = g.m_nodes[t].neighbours[2];
  g.m_nodes[nb].height = 2;
  EXPECT_EQ(b.UpdateFlows(), 0);
  EXPECT_EQ(b.m_cnt, 0);
  EXPECT_FALSE(HasAny(*m_world, t, AT_FACTCONSTRUCTION));
  g.m_nodes[nb].height = 1;
  {
    CapturedLog log;
    b.UpdateFlows();
    EXPECT_TRUE(log.Has("Building site is now level. Commencing construction."));
  }
  EXPECT_EQ(b.m_cnt, 1);
  EXPECT_TRUE(b.m_name[0].Equals("faconstruction"));
  EXPECT_TRUE(Has(*m_world, t, AT_FACTCONSTRUCTION | AT_WOODCONSTRUCTION | AT_UNCLAIMED | AT_URBAN));
  EXPECT_EQ(b.m_rwoo[0], 3);
  ASSERT_GE(m_world->items.Add("storagesite", t, 0), 0);  // a second marker on the same tile
  for (int i = 0; i < 5; ++i) b.UpdateFlows();
  EXPECT_EQ(b.CountNamed("faconstruction"), 1);
  // With the table full a level site waits quietly instead of leaving a site without a building.
  while (b.m_cnt < MAXBUILDINGS) ASSERT_GE(b.Add("bridge", m_tiles[2], AT_BRIDGE), 0);
  const int u = m_tiles[1];
  ASSERT_GE(m_world->items.Add("sawmillsite", u, 0), 0);
  CapturedLog log;
  for (int i = 0; i < 3; ++i) b.UpdateFlows();
  EXPECT_FALSE(HasAny(*m_world, u, AT_FACTCONSTRUCTION | AT_WOODCONSTRUCTION));
  EXPECT_EQ(log.Find("waits", log.Find("waits") + 1), -1);  // said once
  EXPECT_TRUE(log.Has("waits"));
}

TEST_F(BuildingsTest, DemandCountsOpenWork) {
  Demand& d = m_world->demand;
  Buildings& b = m_world->buildings;
  ActionPlanner* ap = new ActionPlanner;
  PlannerClear(ap);
  WorldState ws;
  StateClear(&ws);
  auto atom = [&](const char* name) {
    const int i = AtomIndex(ap, name);
    return (ws.values.bits[i / 64] >> (i % 64)) & 1;
  };
  // Nothing to do: only the lumber and stone assignments are offered.
  d.Update();
  for (int s = 0; s < NUMDEMANDSLOTS; ++s) EXPECT_EQ(d.Count(s), 0) << s;
  const int offersNone[NUMASSIGNMENTS] = {1, 1, 0, 0, 0, 0, 0};
  for (int i = 0; i < NUMASSIGNMENTS; ++i) EXPECT_EQ(d.m_offers[i], offersNone[i]) << i;
  EXPECT_EQ(d.SetAtoms(ap, &ws), 0);
  EXPECT_FALSE(atom("demandforstone"));
  EXPECT_FALSE(atom("demandforlumber"));
  EXPECT_FALSE(atom("demandfortimber"));

  const int rd = m_tiles[0], br = m_tiles[1], dk = m_tiles[2], cg = m_tiles[3], sm = m_tiles[4];
  ASSERT_EQ(b.Add("plconstruction", rd, AT_STONECONSTRUCTION | AT_ROADCONSTRUCTION | AT_SUPPLIEDROADWORK), 0);
  ASSERT_EQ(b.Add("brconstruction", br, AT_SUPPLIEDBRIDGEWORK | AT_WOODCONSTRUCTION), 1);
  ASSERT_EQ(b.Add("dkconstruction1", dk, AT_SUPPLIEDDECKWORK | AT_WOODYBLOCK | AT_ROCKYBLOCK), 2);
  ASSERT_EQ(b.Add("cage", cg, AT_CAGE), 3);
  ASSERT_EQ(b.Add("sawmill", sm, AT_SAWMILL | AT_STORAGE), 4);
  ASSERT_EQ(b.Add("cage", m_tiles[5], AT_CAGE), 5);
  b.Remove(5);  // a freed building counts for nothing, though its tile keeps its bits
  d.Update();
  EXPECT_EQ(d.Count(DS_ROADWORK), 1);
  EXPECT_EQ(d.Count(DS_BRIDGEWORK), 1);
  EXPECT_EQ(d.Count(DS_DECKWORK), 1);
  EXPECT_EQ(d.Count(DS_FACTWORK), 0);
  EXPECT_EQ(d.Count(DS_WORK), 3);
  EXPECT_EQ(d.Count(DS_WOODYBLOCK), 1);
  EXPECT_EQ(d.Count(DS_ROCKYBLOCK), 1);
  EXPECT_EQ(d.Count(DS_WOOD), 1);
  EXPECT_EQ(d.Count(DS_STONE), 1);
  EXPECT_EQ(d.Count(DS_CAGE), 1);
  EXPECT_EQ(d.Count(DS_SAWMILL), 1);
  EXPECT_EQ(d.Count(DS_STORAGE), 1);
  EXPECT_EQ(d.Count(DS_UNUSED), 0);
  EXPECT_EQ(d.m_offers[3], 3);
  EXPECT_EQ(d.m_offers[6], 1);
  d.SetAtoms(ap, &ws);
  EXPECT_TRUE(atom("demandforstone"));
  EXPECT_TRUE(atom("demandforlumber"));
  EXPECT_TRUE(atom("demandfortimber"));
  // A builder claims the road: it leaves the work tallies but still wants stone.
  m_world->globe.AttribsClear(rd, AT_UNCLAIMED);
  m_world->globe.AttribsClear(dk, AT_UNCLAIMED);
  d.Update();
  EXPECT_EQ(d.Count(DS_ROADWORK), 0);
  EXPECT_EQ(d.Count(DS_DECKWORK), 0);
  EXPECT_EQ(d.Count(DS_WOODYBLOCK), 0);
  EXPECT_EQ(d.Count(DS_WORK), 1);
  EXPECT_EQ(d.Count(DS_STONE), 1);
  // Manure counts only while a bucket exists, carried or lying.
  Drop(*m_world, "poop", 30, 5);
  d.Update();
  EXPECT_EQ(d.Count(DS_MANURE), 0);
  EXPECT_EQ(d.m_offers[2], 0);
  const int bucket = m_world->items.Add("emptybucket", 31, IS_TOOL);
  m_world->items.m_carr[bucket] = 0;
  d.Update();
  EXPECT_EQ(d.Count(DS_MANURE), 5);
  EXPECT_EQ(d.m_offers[2], 5);
  EXPECT_EQ(d.m_offers[0], 1);
  EXPECT_EQ(d.m_offers[1], 1);
  // Slot -1 is "no tally"; the attribute map for walking costs.
  EXPECT_EQ(d.Count(-1), 0);
  {
    ExpectAsserts asserts;
    EXPECT_EQ(d.Count(15), 0);
    EXPECT_EQ(d.Count(-2), 0);
    EXPECT_EQ(asserts.Count(), 2);
  }
  EXPECT_EQ(Demand::SlotForAttribute(17), DS_CAGE);
  EXPECT_EQ(Demand::SlotForAttribute(19), DS_WOOD);
  EXPECT_EQ(Demand::SlotForAttribute(20), DS_STONE);
  for (int a = 21; a <= 24; ++a) EXPECT_EQ(Demand::SlotForAttribute(a), DS_WORK);
  EXPECT_EQ(Demand::SlotForAttribute(25), -1);
  EXPECT_EQ(Demand::SlotForAttribute(-1), -1);
  delete ap;
}

TEST_F(BuildingsTest, HungerIsStrictlyAboveTwoMinutesWithoutFruit) {
  Actors& actors = m_world->actors;
  for (int i = 0; i < 4; ++i) ASSERT_EQ(actors.Add("Settler", m_tiles[i]), i);
  actors.m_timeSinceEating[0] = 120.0f;  // exactly two minutes: not yet hungry
  actors.m_timeSinceEating[1] = 120.01f;
  actors.m_timeSinceEating[2] = 500.0f;  // carries a fruit: never counted
  actors.m_timeSinceEating[3] = 0.0f;
  const int fruit = m_world->items.Add("fruit", m_tiles[2], 0);
  m_world->items.m_carr[fruit] = 2;
  m_world->demand.Update();
  EXPECT_EQ(m_world->demand.Count(DS_HUNGRY), 1);
  m_world->items.m_carr[fruit] = 3;  // the fruit changes hands
  m_world->demand.Update();
  EXPECT_EQ(m_world->demand.Count(DS_HUNGRY), 2);
  EXPECT_EQ(m_world->demand.m_offers[4], 0);
  EXPECT_EQ(m_world->demand.m_offers[5], 0);
}
