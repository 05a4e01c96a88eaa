// Carrying and construction steps, and construction on tiles: outcomes, failures, tile changes and paving.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "utility/message.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/perform/actors_perform.h"
#include "world/actors/perform/actors_perform_build.h"
#include "world/actors/perform/actors_perform_carry.h"
#include "world/parts_fixture.h"
#include "world/perform_fixture.h"
#include "world/planet/globe_construct.h"
#include "world/wld.h"

namespace {

constexpr float c_dt = 1.0f / 240.0f;

// The hook as the program starts, before any test puts its own in.
const PathPaveFunction c_startPave = pathPave;

}  // namespace

// A bare level planet (every tile land at level 1, edge costs 2) with one character on a
// hexagon, its events and posted messages recorded.
class CarryBuild : public PerformTest {
 protected:
  static constexpr int c_tile = 20;
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(SetUpDoer(c_tile));
    pathPave = GlobePave;
  }

  Buildings& B() { return world->buildings; }
  // Gives a plan of the step followed by "saw" and performs it until the stage moves or the plan
  // is given up: the number of calls made, or -1 when the bound runs out.
  int Run(const char* step, int limit = 4000) {
    GivePlan({step, "saw"});
    return Continue(limit);
  }
  int Continue(int limit = 4000) { return PerformUntilMoved(c_dt, limit); }
  bool Advanced() { return A().m_planActive[nr] && A().m_planStage[nr] == 1; }
  int Slot(int tile, int to) const {
    for (int k = 0; k < 6; ++k)
      if (world->globe.m_nodes[tile].neighbours[k] == to) return k;
    return -1;
  }
  int Cost(int tile, int to) const { return world->globe.m_nodes[tile].edgecosts[Slot(tile, to)]; }
  // Makes a tile water and relinks the costs around it, as a loaded planet would have them.
  void MakeWater(int t) {
    Globe& g = G();
    g.m_nodes[t].type = TP_WATR;
    g.m_nodes[t].height = -1;
    for (int tile = 0; tile < g.m_sz; ++tile)
      for (int k = 0; k < 6; ++k)
        if (g.m_nodes[tile].neighbours[k] >= 0) g.LinkTiles(tile, g.m_nodes[tile].neighbours[k], k);
    g.ComputeAttribs();
  }
};

TEST_F(CarryBuild, PickupDropAndDeliver) {
  const int loc = c_tile;
  I().Add("woodaxe", loc, IS_TOOL);
  // 0.8 s at 1/240 s: the step ends on the call that takes the delay to 0 or below.
  const int calls = Run("pickup_woodaxe");
  EXPECT_GE(calls, 192);
  EXPECT_LE(calls, 193);
  EXPECT_TRUE(Advanced());
  EXPECT_TRUE(HasEvent("Doer picked up woodaxe."));
  EXPECT_GE(I().FindCarried("woodaxe", nr), 0);
  EXPECT_EQ(CountPosts("soundeffect name=pickup gain=3 tile=20"), 1);

  EXPECT_GT(Run("drop_woodaxe"), 0);
  EXPECT_TRUE(Advanced());
  EXPECT_TRUE(HasEvent("Doer dropped woodaxe"));
  EXPECT_EQ(I().FindAt("woodaxe", loc, false), I().FindAt("woodaxe", loc, true));
  {
    CapturedLog log;
    Run("drop_woodaxe");
    EXPECT_TRUE(Abandoned());
    EXPECT_TRUE(log.Has("No woodaxe carried by Doer."));
  }
  {
    // Nothing to pick up, and lumber delivered to its own wood site stays there.
    G().AttribsSet(loc, AT_WOODCONSTRUCTION);
    I().Add("lumber", loc, IS_MATERIAL);
    Run("pickup_lumber");
    EXPECT_TRUE(Abandoned());
    EXPECT_TRUE(HasEvent("Doer failed to pick up lumber."));
  }
  {
    // Delivering without the material fails before any time passes.
    CapturedLog log;
    EXPECT_EQ(Run("deliver_lumber"), 1);
    EXPECT_TRUE(Abandoned());
    EXPECT_TRUE(log.Has("Actor Doer has no lumber to deliver."));
  }
  {
    CapturedLog log;
    Carry("stone", IS_MATERIAL);
    EXPECT_EQ(Run("deliver_stone"), 1);
    EXPECT_TRUE(Abandoned());
    EXPECT_TRUE(log.Has("Doer can't deliver stone when not on a stone construction site!"));
  }
  Carry("lumber", IS_MATERIAL);
  EXPECT_GT(Run("deliver_lumber"), 100);
  EXPECT_TRUE(Advanced());
  EXPECT_TRUE(HasEvent("Doer delivered lumber"));
  EXPECT_EQ(I().CountAt("lumber", loc, false), 2);
  G().AttribsClear(loc, AT_WOODCONSTRUCTION);
  G().AttribsSet(loc, AT_STONECONSTRUCTION);
  EXPECT_GT(Run("deliver_stone"), 100);
  EXPECT_TRUE(Advanced());
  EXPECT_EQ(I().CountCarried(nullptr, nr), 0);

  // A character on a tile off the planet fails cleanly instead of indexing past the tiles.
  CapturedLog log;
  const int stone = Carry("stone", IS_MATERIAL);
  A().m_loca[nr] = 5000;
  I().m_loca[stone] = 5000;
  Run("drop_stone");
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("Doer cannot drop_stone at tile 5000: no such tile."));
}

TEST_F(CarryBuild, StockFillsAndPickupEmptiesStorage) {
  const int loc = c_tile;
  G().AttribsSet(loc, AT_STORAGE);
  for (int i = 0; i < 8; ++i) I().Add("stone", loc, IS_MATERIAL);
  Carry("lumber", IS_MATERIAL);
  Carry("lumber", IS_MATERIAL);
  CapturedLog log;
  EXPECT_GT(Run("stock_lumber"), 100);
  EXPECT_TRUE(Advanced());
  EXPECT_NE(G().Attribs(loc) & AT_STORAGE, 0u) << "nine items do not fill it";
  EXPECT_FALSE(log.Has("too crowded"));
  EXPECT_GT(Run("stock_lumber"), 100);
  EXPECT_TRUE(HasEvent("Doer dropped lumber"));
  EXPECT_TRUE(log.Has("Storage tile 20 is now too crowded!"));
  EXPECT_EQ(G().Attribs(loc) & (AT_STORAGE | AT_FILLEDSTORAGE), static_cast<uint64_t>(AT_FILLEDSTORAGE));
  // One picked up again frees it, although nine remain.
  EXPECT_GT(Run("pickup_lumber"), 100);
  EXPECT_EQ(G().Attribs(loc) & (AT_STORAGE | AT_FILLEDSTORAGE), static_cast<uint64_t>(AT_STORAGE));
  EXPECT_EQ(I().CountAt(nullptr, loc, false), 9);

  Run("stock_timber");
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("No timber carried by Doer."));
}

TEST_F(CarryBuild, ReapFillsTheBasket) {
  const int loc = c_tile;
  Carry("basket");
  for (int i = 0; i < 3; ++i) I().Add("fruit", loc, 0);
  // After the wait every call reaps one; the third makes provisions.
  GivePlan({"walk_to_grove", "reap_fruit", "saw"});
  A().NextPlanStep(nr);
  EXPECT_GT(Continue(), 190);
  EXPECT_EQ(A().m_planStage[nr], 2);
  const int basket = I().FindCarried("provisions", nr);
  ASSERT_GE(basket, 0);
  EXPECT_EQ(I().m_type[basket], Items::TypeByName("provisions"));
  EXPECT_EQ(I().CountCarried("fruit", nr), 3);

  // Nothing left: a character steps back to look for more; from the first step it gives up.
  GivePlan({"walk_to_grove", "reap_fruit", "saw"});
  A().NextPlanStep(nr);
  Continue();
  EXPECT_EQ(A().m_planStage[nr], 0);
  EXPECT_TRUE(A().m_planActive[nr]);
  Run("reap_fruit");
  EXPECT_TRUE(Abandoned());
  // The player's character goes on instead.
  A().m_stat[nr] |= ST_CHOSEN;
  Run("reap_fruit");
  EXPECT_TRUE(Advanced());
}

TEST_F(CarryBuild, SmashingChestsSpillsTheirLists) {
  // Bits 0x20 and 0x200 on tile 14: eight tools, then three pickaxes (14 % 4 == 2), all tools.
  A().m_loca[nr] = 14;
  I().Add("chest", 14, IS_CHEST_TOOLS | IS_CHEST_SUPPLIES);
  const int calls = Run("smash_chest");
  EXPECT_GE(calls, 120);
  EXPECT_LE(calls, 121);
  EXPECT_TRUE(Advanced());
  EXPECT_EQ(CountPosts("soundeffect name=cratebreak gain=2.0 tile=14"), 1);
  EXPECT_EQ(I().Count("chest"), 0);
  EXPECT_EQ(I().CountAt(nullptr, 14, false), 11);
  EXPECT_EQ(I().CountAt("pickaxe", 14, false), 5);
  EXPECT_EQ(I().CountAt("hammer", 14, false), 2);
  EXPECT_EQ(I().CountAt("emptybucket", 14, false), 1);
  for (int i = 0; i < I().m_cnt; ++i)
    if (I().InUse(i)) {
      EXPECT_EQ(I().m_stat[i], static_cast<uint64_t>(IS_TOOL)) << I().m_name[i].c_str();
    }

  // Markers: the last one depends on the tile being odd.
  A().m_loca[nr] = 7;
  I().Add("chest", 7, IS_CHEST_MARKERS);
  Run("smash_chest");
  EXPECT_EQ(I().CountAt("smithymarker", 7, false), 1);
  EXPECT_EQ(I().CountAt("roadmarker", 7, false), 2);
  EXPECT_EQ(I().CountAt("bridgemarker", 7, false), 3);
  A().m_loca[nr] = 8;
  I().Add("chest", 8, IS_CHEST_MARKERS | IS_CHEST_MATERIALS);
  Run("smash_chest");
  EXPECT_EQ(I().CountAt("smeltermarker", 8, false), 1);
  EXPECT_EQ(I().CountAt("smithymarker", 8, false), 0);
  EXPECT_EQ(I().CountAt("stone", 8, false), 4);
  EXPECT_EQ(I().CountAt("lumber", 8, false), 6);
  EXPECT_EQ(I().m_stat[I().FindAt("stone", 8, false)], static_cast<uint64_t>(IS_MATERIAL));

  // Gems: the first colour nobody has, carried ones included.
  outbox = Packet();
  I().Add("redgem", 30, IS_GEM);
  Carry("greengem", IS_GEM);
  I().Add("chest", 8, IS_CHEST_GEM);
  Run("smash_chest");
  const int gem = I().FindAt("yellowgem", 8, false);
  ASSERT_GE(gem, 0);
  EXPECT_EQ(I().m_stat[gem], 0x18u);
  EXPECT_EQ(I().m_tspe[gem], 1.0f);
  EXPECT_EQ(CountPosts("intstat name=s_gems delta=1 sync=1"), 1);
  for (const char* g : {"bluegem", "cyangem", "pinkgem", "purplegem", "orangegem"}) I().Add(g, 31, IS_GEM);
  const int before = I().CountAt(nullptr, 8, false);
  I().Add("chest", 8, IS_CHEST_GEM);
  Run("smash_chest");
  EXPECT_TRUE(Advanced());
  EXPECT_EQ(I().CountAt(nullptr, 8, false), before);
  EXPECT_EQ(CountPosts("intstat name=s_gems delta=1 sync=1"), 1);

  // A chest the character carries is smashed too; no chest at all fails.
  Carry("chest", IS_CHEST_SUPPLIES);
  Run("smash_chest");
  EXPECT_TRUE(Advanced());
  EXPECT_EQ(I().Count("chest"), 0);
  EXPECT_EQ(I().CountAt("fruit", 8, false), 6);  // 8 % 4 == 0
  CapturedLog log;
  Run("smash_chest");
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("There is no chest here."));
}

namespace {
int told = 0;  // lines the player's message list was given
void CountTold(const char*, ...) { ++told; }
}  // namespace

TEST_F(CarryBuild, ChestInAFullWorldStaysWholeUntilEverythingInItFits) {
  A().m_loca[nr] = 9;
  I().Add("chest", 9, IS_CHEST_MATERIALS | IS_CHEST_GEM);
  // Room for the chest's slot and three more, while it holds eleven items.
  for (int i = I().FreeSlots(); i > 3; --i) ASSERT_GE(I().Add("fruit", 40, 0), 0);
  CapturedLog log;
  told = 0;
  messageHook = CountTold;
  Run("smash_chest");
  messageHook = nullptr;
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("Doer leaves the chest at tile 9 whole: the world has no room for the 11 items in it."));
  EXPECT_EQ(told, 1);
  EXPECT_EQ(I().CountAt("chest", 9, false), 1);
  EXPECT_EQ(I().CountAt(nullptr, 9, false), 1);
  EXPECT_EQ(I().Count("redgem"), 0);
  EXPECT_EQ(CountPosts("intstat name=s_gems delta=1 sync=1"), 0);
  // Seven more slots free: now everything fits, the gem included.
  for (int i = 0; i < 7; ++i) ASSERT_GE(I().Remove(I().FindAt("fruit", 40, false)), 0);
  Run("smash_chest");
  EXPECT_TRUE(Advanced());
  EXPECT_EQ(I().Count("chest"), 0);
  EXPECT_EQ(I().CountAt("stone", 9, false), 4);
  EXPECT_EQ(I().CountAt("lumber", 9, false), 6);
  EXPECT_EQ(I().CountAt("redgem", 9, false), 1);
  EXPECT_EQ(I().FreeSlots(), 0);
  EXPECT_TRUE(log.Has("Spawned redgem"));
  EXPECT_FALSE(log.Has("Failed to add"));
  EXPECT_EQ(CountPosts("intstat name=s_gems delta=1 sync=1"), 1);
}

TEST_F(CarryBuild, AMarkerStakedInAFullWorldBecomesItsSite) {
  Carry("roadmarker", 0);
  for (int i = I().FreeSlots(); i > 0; --i) ASSERT_GE(I().Add("fruit", 40, 0), 0);
  EXPECT_GT(Run("stake_roadmarker"), 0);
  EXPECT_TRUE(Advanced());
  EXPECT_EQ(I().Count("roadmarker"), 0);
  EXPECT_EQ(I().CountAt("roadsite", c_tile, false), 1);
}

TEST_F(CarryBuild, StakingFactoriesAndFailures) {
  const int loc = c_tile;
  {
    // Already a site: fails at once whatever the marker.
    CapturedLog log;
    G().AttribsSet(loc, AT_ROADCONSTRUCTION);
    Carry("sawmillmarker");
    EXPECT_EQ(Run("stake_sawmillmarker"), 1);
    EXPECT_TRUE(Abandoned());
    EXPECT_TRUE(log.Has("This site is already staked out for construction."));
    G().AttribsClear(loc, AT_ROADCONSTRUCTION);
  }
  {
    CapturedLog log;
    Carry("bridgemarker");
    EXPECT_EQ(Run("stake_bridgemarker"), 1);
    EXPECT_TRUE(log.Has("Doer cannot stake at tile 20 as it is not coastal."));
  }
  // Levels on the seven tiles: 1 here, 4 on one neighbour (spread 3: still buildable).
  const int high = G().m_nodes[loc].neighbours[2];
  G().m_nodes[high].height = 4;
  ASSERT_EQ(G().IsBuildable(loc), 4);
  ASSERT_NE(G().Attribs(loc) & AT_BUILDABLE, 0u);
  {
    // Without the marker nothing on the ground changes (the carried one is dropped first).
    CapturedLog log;
    I().Remove(I().FindCarried("sawmillmarker", nr));
    EXPECT_GT(Run("stake_smithymarker"), 190);
    EXPECT_TRUE(Abandoned());
    EXPECT_TRUE(log.Has("Doer is not carrying a smithymarker"));
    EXPECT_NE(G().Attribs(loc) & AT_BUILDABLE, 0u);
    EXPECT_EQ(B().m_cnt, 0);
  }
  Carry("sawmillmarker");
  const int calls = Run("stake_sawmillmarker");
  EXPECT_GE(calls, 192);
  EXPECT_LE(calls, 193);
  EXPECT_TRUE(Advanced());
  EXPECT_EQ(I().FindCarried("sawmillmarker", nr), -1);
  EXPECT_GE(I().FindAt("sawmillsite", loc, false), 0);
  EXPECT_EQ(CountPosts("soundeffect name=thud gain=2.0 tile=20"), 1);
  // Every lower tile of the seven gets a deck site of the difference; the ring and its own ring
  // are no longer buildable.
  EXPECT_EQ(B().CountNamed("dkconstruction3"), 6);
  EXPECT_EQ(B().Find(high, nullptr), -1);
  EXPECT_EQ(G().Attribs(loc) & AT_BUILDABLE, 0u);
  for (int k = 0; k < 6; ++k) {
    const int n = G().m_nodes[loc].neighbours[k];
    EXPECT_EQ(G().Attribs(n) & AT_BUILDABLE, 0u);
    for (int j = 0; j < 6; ++j) EXPECT_EQ(G().Attribs(G().m_nodes[n].neighbours[j]) & AT_BUILDABLE, 0u);
  }
  // Spread of 4 is too uneven.
  const int other = 60;
  G().m_nodes[G().m_nodes[other].neighbours[0]].height = 5;
  A().m_loca[nr] = other;
  Carry("storagemarker");
  CapturedLog log;
  EXPECT_EQ(Run("stake_storagemarker"), 1);
  EXPECT_TRUE(log.Has("Doer cannot stake at tile 60 as it is not buildable."));
}

TEST_F(CarryBuild, StakingTwoRoadMarkersPlansTheRoad) {
  Carry("roadmarker");
  EXPECT_GT(Run("stake_roadmarker"), 100);
  EXPECT_TRUE(Advanced());
  EXPECT_EQ(I().Count("roadsite"), 1);
  EXPECT_EQ(A().m_stat[nr] & ST_PAVING, 0u);
  EXPECT_EQ(A().m_pathRequested[nr], 0);
  const int far = 40;
  A().m_loca[nr] = far;
  Carry("roadmarker");
  CapturedLog log;
  EXPECT_GT(Run("stake_roadmarker"), 100);
  EXPECT_TRUE(Advanced());
  EXPECT_EQ(I().Count("roadsite"), 0);
  EXPECT_EQ(I().Count("roadmarker"), 0);
  EXPECT_NE(A().m_stat[nr] & ST_PAVING, 0u);
  EXPECT_TRUE(log.Has("Planning road from 20 to 40"));
  EXPECT_EQ(A().m_pathRequested[nr], 1);
  EXPECT_EQ(A().m_pathGoal[nr].tile, c_tile);
}

TEST_F(CarryBuild, BuildingRoadDeckAndFactory) {
  const int loc = c_tile;
  {
    CapturedLog log;
    EXPECT_EQ(Run("build_road"), 1);
    EXPECT_TRUE(log.Has("Doer cannot build_road without a hammer."));
  }
  Carry("hammer");
  {
    CapturedLog log;
    EXPECT_EQ(Run("build_road"), 1);
    EXPECT_TRUE(log.Has("There is no building under construction at loc 20"));
  }
  // A road site needing three stone, with three lying on it: three cycles of 4 s.
  const int site = B().Add("plconstruction", loc, AT_STONECONSTRUCTION | AT_ROADCONSTRUCTION);
  ASSERT_EQ(B().m_rsto[site], 3);
  for (int i = 0; i < 3; ++i) I().Add("stone", loc, IS_MATERIAL);
  const int calls = Run("build_road");
  EXPECT_GE(calls, 3 * 961 - 3);
  EXPECT_LE(calls, 3 * 961 + 3);
  EXPECT_TRUE(Advanced());
  EXPECT_GE(CountPosts("soundeffect name=brick gain=2.0 tile=20"), 1);
  EXPECT_EQ(CountPosts("soundeffect name=hammer gain=2.0 tile=20"), 0);
  EXPECT_TRUE(HasEvent("Doer finished building road."));
  EXPECT_EQ(G().m_nodes[loc].type, TP_ROAD);
  EXPECT_STREQ(B().m_name[site].c_str(), "plaza");
  EXPECT_EQ(I().Count("stone"), 0);
  EXPECT_EQ(G().Attribs(loc) & (AT_STONECONSTRUCTION | AT_ROADCONSTRUCTION), 0u);
  EXPECT_EQ(CountPosts("intstat name=s_roads delta=1"), 1);

  // A deck of two levels: raised by 2 x 0.108 tile widths, costs as they were.
  const int deckTile = 30;
  A().m_loca[nr] = deckTile;
  I().MoveCarried(nr, deckTile);
  EXPECT_EQ(G().StartDeck(deckTile, 4), 0);
  EXPECT_EQ(B().Find(deckTile, nullptr), -1);
  G().StartDeck(deckTile, 2);
  const int deck = B().Find(deckTile, "dkconstruction2");
  ASSERT_GE(deck, 0);
  EXPECT_EQ(B().m_rwoo[deck], 3);
  for (int i = 0; i < 3; ++i) I().Add("lumber", deckTile, IS_MATERIAL);
  const Vec3 before = G().m_trfs[deckTile].GetTranslation();
  const Vec3 centre = G().m_nodes[deckTile].centre;
  const int cost = G().m_nodes[deckTile].edgecosts[0];
  outbox = Packet();
  EXPECT_GT(Run("build_deck"), 2800);
  EXPECT_TRUE(Advanced());
  EXPECT_GE(CountPosts("soundeffect name=hammer gain=2.0 tile=30"), 1);
  EXPECT_STREQ(B().m_name[deck].c_str(), "doubledeck");
  EXPECT_EQ(G().m_nodes[deckTile].height, 3);
  const float rise = 2 * 0.108f * G().m_hexw;
  EXPECT_NEAR((G().m_trfs[deckTile].GetTranslation() - before).Length(), rise, 1e-5f);
  EXPECT_NEAR((G().m_nodes[deckTile].centre - centre).Length(), rise, 1e-5f);
  EXPECT_NEAR(G().m_heights[deckTile], G().m_trfs[deckTile].GetTranslation().Length(), 1e-6f);
  EXPECT_NEAR((B().m_trfs[deck].GetTranslation() - G().m_trfs[deckTile].GetTranslation()).Length(), 0.0f, 1e-5f);
  EXPECT_EQ(G().m_nodes[deckTile].edgecosts[0], cost);
  EXPECT_NE(G().Attribs(deckTile) & AT_UNCLAIMED, 0u);
  EXPECT_EQ(G().Attribs(deckTile) & AT_DECKCONSTRUCTION, 0u);
  EXPECT_EQ(G().BuildDeck(deckTile), 0) << "no deck site left";

  // A factory site with a sawmill site item: the sawmill faces the entrance (slot 0), the ring
  // around it is cordoned off except through the entrance.
  const int factTile = 50;
  A().m_loca[nr] = factTile;
  I().MoveCarried(nr, factTile);
  EXPECT_EQ(G().BuildFactory(factTile), -1);
  B().Add("faconstruction", factTile, AT_WOODCONSTRUCTION | AT_FACTCONSTRUCTION);
  I().Add("sawmillsite", factTile, 0);
  for (int i = 0; i < 3; ++i) I().Add("lumber", factTile, IS_MATERIAL);
  outbox = Packet();
  EXPECT_GT(Run("build_factory"), 2800);
  EXPECT_TRUE(Advanced());
  EXPECT_TRUE(HasEvent("Doer finished building."));
  const int mill = B().Find(factTile, "sawmill");
  ASSERT_GE(mill, 0);
  EXPECT_EQ(B().Find(factTile, "faconstruction"), -1);
  EXPECT_EQ(I().Count("sawmillsite"), 0);
  EXPECT_NE(G().Attribs(factTile) & AT_SAWMILL, 0u);
  EXPECT_EQ(G().Attribs(factTile) & AT_FACTCONSTRUCTION, 0u);
  EXPECT_EQ(CountPosts("intstat name=s_factories delta=1 sync=1"), 1);
  const int entrance = G().m_nodes[factTile].neighbours[0];
  for (int k = 1; k < 6; ++k) {
    const int n = G().m_nodes[factTile].neighbours[k];
    for (int j = 0; j < 6; ++j) {
      const int m = G().m_nodes[n].neighbours[j];
      if (m != factTile) {
        EXPECT_EQ(G().m_nodes[n].edgecosts[j], c_edgeCordoned);
      }
    }
  }
  EXPECT_EQ(Cost(factTile, entrance), 2);
  EXPECT_EQ(Cost(entrance, factTile), 2);
}

TEST_F(CarryBuild, StorageFactoryMarksItsRing) {
  const int t = 50;
  B().Add("faconstruction", t, AT_WOODCONSTRUCTION | AT_FACTCONSTRUCTION);
  I().Add("storagesite", t, 0);
  const int b = G().BuildFactory(t);
  ASSERT_GE(b, 0);
  EXPECT_STREQ(B().m_name[b].c_str(), "storage");
  const int entrance = G().m_nodes[t].neighbours[0];
  EXPECT_EQ(G().Attribs(entrance) & AT_STORAGE, 0u);
  for (int k = 1; k < 6; ++k) EXPECT_NE(G().Attribs(G().m_nodes[t].neighbours[k]) & AT_STORAGE, 0u);
  // A site whose item is gone builds nothing and counts no factory.
  B().Add("faconstruction", 60, AT_WOODCONSTRUCTION | AT_FACTCONSTRUCTION);
  outbox = Packet();
  CapturedLog log;
  EXPECT_EQ(G().BuildFactory(60), -1);
  EXPECT_EQ(B().Find(60, "faconstruction"), -1);
  EXPECT_EQ(CountPosts("intstat name=s_factories delta=1 sync=1"), 0);
  EXPECT_TRUE(log.Has("Factory site on tile 60 had nothing to build."));
}

TEST_F(CarryBuild, BridgeOverAOneTileStrait) {
  // Water on one tile between this shore and the tile straight across.
  const int shore = c_tile;
  const int water = G().m_nodes[shore].neighbours[3];
  const int across = G().OppositeNeighbour(shore, water);
  MakeWater(water);
  ASSERT_NE(G().Attribs(shore) & AT_COAST, 0u);
  // The far shore is on the same landmass (the strait is a lake): one step counts four, but it
  // is still the only start.
  EXPECT_EQ(G().BridgeStart(shore), water);
  EXPECT_EQ(G().BridgeStart(60), -1);

  Carry("hammer");
  Carry("bridgemarker");
  EXPECT_GT(Run("stake_bridgemarker"), 100);
  EXPECT_TRUE(Advanced());
  const int site = B().Find(shore, "brconstruction");
  ASSERT_GE(site, 0);
  EXPECT_EQ(B().m_rsto[site], 3);
  EXPECT_EQ(B().m_rwoo[site], 3);
  EXPECT_EQ(G().Attribs(shore) & AT_BUILDABLE, 0u);
  for (int i = 0; i < 3; ++i) I().Add("stone", shore, IS_MATERIAL), I().Add("lumber", shore, IS_MATERIAL);
  outbox = Packet();
  const float heightBefore = G().m_heights[water];
  EXPECT_GT(Run("build_bridge"), 2800);
  EXPECT_TRUE(Advanced());
  EXPECT_TRUE(HasEvent("Doer finished building bridge."));
  EXPECT_EQ(G().m_nodes[water].type, TP_BRDG);
  EXPECT_EQ(G().m_nodes[water].height, 1);
  EXPECT_NEAR(G().m_heights[water] - heightBefore, 0.12f * G().m_hexw, 1e-4f);
  EXPECT_GE(B().Find(water, "bridge"), 0);
  EXPECT_NE(G().Attribs(water) & AT_BRIDGE, 0u);
  EXPECT_EQ(B().Find(shore, "brconstruction"), -1);
  EXPECT_EQ(G().Attribs(shore) & (AT_BRIDGECONSTRUCTION | AT_WOODCONSTRUCTION | AT_STONECONSTRUCTION), 0u);
  EXPECT_EQ(CountPosts("intstat name=s_bridges delta=1"), 1);
  EXPECT_EQ(A().m_clai[nr], -1);
  // Land on both ends: 4 from the land start, 2 toward the far shore, 4 to the other sides.
  EXPECT_EQ(Cost(shore, water), 4);
  EXPECT_EQ(Cost(water, shore), 4);
  EXPECT_EQ(Cost(water, across), 2);
  EXPECT_EQ(Cost(across, water), 2);
  for (int k = 0; k < 6; ++k) {
    const int n = G().m_nodes[water].neighbours[k];
    if (n != shore && n != across) {
      EXPECT_EQ(Cost(water, n), 4);
    }
  }
  // Nothing more to extend.
  EXPECT_EQ(G().ExtendBridge(shore), 0);
}

TEST_F(CarryBuild, BadBridgePiecesAndDissolvedSites) {
  const int shore = c_tile;
  const int n = G().m_nodes[shore].neighbours[1];
  {
    // The middle tile must be water.
    ExpectAsserts asserts;
    EXPECT_EQ(G().AddBridge(shore, n, -1), -1);
    EXPECT_TRUE(asserts.Saw("nodemi.type==TP_WATR"));
    EXPECT_EQ(G().m_nodes[n].type, TP_LAND);
    EXPECT_EQ(B().m_cnt, 0);
  }
  {
    ExpectAsserts asserts;
    EXPECT_EQ(G().AddBridge(-1, 99999, 3), -1);
    EXPECT_EQ(asserts.Count(), 1);
  }
  // A bridge site facing land is dissolved with the error line.
  CapturedLog log;
  const int site = G().StartBridge(shore, n);
  ASSERT_GE(site, 0);
  EXPECT_EQ(G().ExtendBridge(shore), 1);
  EXPECT_TRUE(log.Has("Bridge is already complete, why was it still a construction site?"));
  EXPECT_FALSE(B().InUse(site));
  EXPECT_EQ(G().Attribs(shore) & AT_BRIDGECONSTRUCTION, 0u);
  EXPECT_EQ(G().StartBridge(shore, -1), -1);
  EXPECT_TRUE(log.Has("Cannot start a bridge at tile 20 toward tile -1."));
}

TEST_F(CarryBuild, PavingLaysRoadSitesAlongThePath) {
  EXPECT_EQ(c_startPave, GlobePave) << "the path service paves through the construction code";
  // A straight line of four tiles from the character's tile, the second already a road.
  int path[4];
  int prev = c_tile, cur = G().m_nodes[c_tile].neighbours[0];
  for (int i = 0; i < 4; ++i) {
    path[i] = cur;
    const int next = G().OppositeNeighbour(prev, cur);
    prev = cur, cur = next;
  }
  G().m_nodes[path[1]].type = TP_ROAD;
  const int street = B().Add("streetstraight", path[1], 0);
  const int roadCost = G().m_nodes[path[1]].edgecosts[0];
  for (int i = 0; i < 4; ++i) A().m_ploc[nr][i] = path[i];
  A().m_pasz[nr] = 4;
  A().m_stat[nr] |= ST_PAVING;
  CapturedLog log;
  GlobePave(world.get(), nr);
  EXPECT_EQ(A().m_stat[nr] & ST_PAVING, 0u);
  EXPECT_TRUE(log.Has((std::string("Paving 4 tiles from 20 to ") + std::to_string(path[3])).c_str()));
  EXPECT_GE(B().Find(c_tile, "plconstruction"), 0);
  EXPECT_GE(B().Find(path[3], "plconstruction"), 0);
  EXPECT_STREQ(B().m_name[street].c_str(), "plaza");
  EXPECT_EQ(G().m_nodes[path[1]].edgecosts[0], roadCost);
  // Plain tiles get a street site and their costs halved (a level step of 2 becomes 1).
  for (int i : {0, 2}) {
    const int s = B().Find(path[i], nullptr);
    ASSERT_GE(s, 0);
    const std::string name = B().m_name[s].c_str();
    EXPECT_TRUE(name == "ssconstruction" || name == "srconstruction" || name == "slconstruction") << name;
    EXPECT_NE(G().Attribs(path[i]) & AT_ROADCONSTRUCTION, 0u);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(G().m_nodes[path[i]].edgecosts[k], 1);
  }
  // The end plaza was staked first, so it keeps its costs.
  EXPECT_EQ(G().m_nodes[path[3]].edgecosts[0], 2);
  // Finishing a street site makes a road of the tile.
  EXPECT_EQ(G().BuildRoad(path[0]), path[0]);
  EXPECT_EQ(G().m_nodes[path[0]].type, TP_ROAD);
  const std::string finished = B().m_name[B().Find(path[0], nullptr)].c_str();
  EXPECT_TRUE(finished == "streetstraight" || finished == "streetright" || finished == "streetleft") << finished;

  // A path of nothing, or through a tile off the planet, lays nothing.
  const int count = B().m_cnt;
  A().m_pasz[nr] = 0;
  G().Pave(nr);
  A().m_pasz[nr] = 2;
  A().m_ploc[nr][1] = -7;
  G().Pave(nr);
  EXPECT_EQ(B().m_cnt, count);
  EXPECT_TRUE(log.Has("Doer cannot pave a path through tile -7."));
}

TEST_F(CarryBuild, PavingServiceTurnsAFoundPathIntoRoadSites) {
  ASSERT_TRUE(PathingServiceStart());
  Carry("roadmarker");
  Run("stake_roadmarker");
  A().m_loca[nr] = 40;
  Carry("roadmarker");
  Run("stake_roadmarker");
  ASSERT_NE(A().m_stat[nr] & ST_PAVING, 0u);
  ASSERT_EQ(QueuePathRequest(A()), nr);
  bool collected = false;
  for (int i = 0; i < 20000 && !collected; ++i) {
    collected = CollectPath(A(), nr) > 0;
    if (!collected) std::this_thread::sleep_for(std::chrono::microseconds(250));
  }
  PathingServiceStop();
  ASSERT_TRUE(collected);
  EXPECT_EQ(A().m_stat[nr] & ST_PAVING, 0u);
  EXPECT_EQ(A().m_pasz[nr], 0) << "the road is laid out, not walked";
  EXPECT_GE(B().Find(40, "plconstruction"), 0);
  EXPECT_GE(B().Find(c_tile, "plconstruction"), 0);
  EXPECT_GT(B().CountNamed("s"), 0);
}

TEST_F(CarryBuild, BridgeBuilderGoesOnWhileMaterialLasts) {
  const int shore = c_tile;
  const int first = G().m_nodes[shore].neighbours[3];
  // The second piece lies where the site's line leads beyond the first.
  const int probe = G().StartBridge(shore, first);
  ASSERT_GE(probe, 0);
  const int second = G().NextInLine(first, 0, 1, B().m_trfs[probe]);
  const int landing = G().NextInLine(second, 0, 1, B().m_trfs[probe]);
  ASSERT_NE(second, shore);
  B().Remove(probe);
  MakeWater(first);
  MakeWater(second);
  ASSERT_EQ(G().m_nodes[landing].type, TP_LAND);
  const int site = G().StartBridge(shore, first);
  ASSERT_GE(site, 0);
  Carry("hammer");
  for (int i = 0; i < 6; ++i) I().Add("stone", shore, IS_MATERIAL), I().Add("lumber", shore, IS_MATERIAL);
  CapturedLog log;
  // Three cycles for the first piece, 5 s of going on, then three more for the second.
  const int calls = Run("build_bridge", 8000);
  EXPECT_GT(calls, 240 * 24);
  EXPECT_LT(calls, 240 * 26);
  EXPECT_TRUE(Advanced());
  EXPECT_TRUE(log.Has("Doer might as well keep doing build_bridge"));
  EXPECT_EQ(G().m_nodes[first].type, TP_BRDG);
  EXPECT_EQ(G().m_nodes[second].type, TP_BRDG);
  EXPECT_EQ(Cost(first, second), 2);
  EXPECT_EQ(Cost(second, landing), 2);
  EXPECT_EQ(CountPosts("intstat name=s_bridges delta=1"), 1);
  EXPECT_EQ(A().m_clai[nr], -1);
  EXPECT_NE(G().Attribs(shore) & AT_UNCLAIMED, 0u);
  EXPECT_EQ(I().Count("stone"), 0);
}

TEST_F(CarryBuild, ThePlayersBridgeGivesBackAClaimHeldElsewhere) {
  // The player's character takes no claim to build, but may still hold a site from an earlier
  // step: going on with the second piece and finishing the bridge must not leave that site
  // claimed by nobody.
  A().m_stat[nr] |= ST_CHOSEN;
  const int held = 40;
  G().AttribsSet(held, AT_UNCLAIMED);
  ASSERT_TRUE(StepClaim(A(), nr, held, "walk_to_woody"));
  const int shore = c_tile;
  const int first = G().m_nodes[shore].neighbours[3];
  const int probe = G().StartBridge(shore, first);
  ASSERT_GE(probe, 0);
  const int second = G().NextInLine(first, 0, 1, B().m_trfs[probe]);
  B().Remove(probe);
  MakeWater(first);
  MakeWater(second);
  ASSERT_GE(G().StartBridge(shore, first), 0);
  Carry("hammer");
  for (int i = 0; i < 6; ++i) I().Add("stone", shore, IS_MATERIAL), I().Add("lumber", shore, IS_MATERIAL);
  CapturedLog log;
  GivePlan({"build_bridge", "saw"});
  // Up to the start of the second piece.
  for (int i = 0; i < 240 * 20 && !log.Has("Doer might as well keep doing build_bridge"); ++i) A().Perform(nr, c_dt);
  ASSERT_TRUE(log.Has("Doer might as well keep doing build_bridge"));
  EXPECT_NE(G().Attribs(held) & AT_UNCLAIMED, 0u) << "the site held elsewhere is given back";
  EXPECT_EQ(A().m_clai[nr], shore);
  EXPECT_GT(Continue(8000), 0);
  EXPECT_TRUE(Advanced());
  EXPECT_EQ(G().m_nodes[second].type, TP_BRDG);
  EXPECT_EQ(A().m_clai[nr], -1);
  EXPECT_NE(G().Attribs(shore) & AT_UNCLAIMED, 0u);
  EXPECT_NE(G().Attribs(held) & AT_UNCLAIMED, 0u);

  // Finishing a one-piece bridge gives a site held elsewhere back as well.
  ASSERT_TRUE(StepClaim(A(), nr, held, "walk_to_woody"));
  const int strait = G().m_nodes[60].neighbours[3];
  MakeWater(strait);
  A().m_loca[nr] = 60;
  I().MoveCarried(nr, 60);
  ASSERT_GE(G().StartBridge(60, strait), 0);
  for (int i = 0; i < 3; ++i) I().Add("stone", 60, IS_MATERIAL), I().Add("lumber", 60, IS_MATERIAL);
  EXPECT_GT(Run("build_bridge", 8000), 0);
  EXPECT_TRUE(Advanced());
  EXPECT_EQ(A().m_clai[nr], -1);
  EXPECT_NE(G().Attribs(held) & AT_UNCLAIMED, 0u);
}

TEST_F(CarryBuild, ASiteTakenByAnotherIsNeitherClaimedNorLost) {
  // The claim is one atomic step on the attribute word: a tile whose unclaimed bit someone else
  // cleared is refused, and the character keeps the site it held.
  const int held = 40, taken = 41;
  G().AttribsSet(held, AT_UNCLAIMED);
  ASSERT_TRUE(StepClaim(A(), nr, held, "walk_to_woody"));
  G().AttribsClear(taken, AT_UNCLAIMED);
  EXPECT_FALSE(StepClaim(A(), nr, taken, "walk_to_woody"));
  EXPECT_EQ(A().m_clai[nr], held);
  EXPECT_EQ(G().Attribs(held) & AT_UNCLAIMED, 0u);
  EXPECT_EQ(G().Attribs(taken) & AT_UNCLAIMED, 0u);
  // A free tile is taken and the one held before goes back.
  G().AttribsSet(taken, AT_UNCLAIMED);
  EXPECT_TRUE(StepClaim(A(), nr, taken, "walk_to_woody"));
  EXPECT_EQ(A().m_clai[nr], taken);
  EXPECT_NE(G().Attribs(held) & AT_UNCLAIMED, 0u);
}

TEST_F(CarryBuild, OnlyTheHolderGivesAClaimBack) {
  // A holder, standing on the tile it holds, keeps it whatever happens there: the doer working it
  // without holding it, the doer planning there, a seedling growing, a blocked site cleared, a
  // building added or finished, the player going on with its bridge. Afterwards no tile has two
  // holders and every held tile is still closed to the others. The last case holds the tile
  // through a path search whose answer is not yet taken in.
  const int t = c_tile;
  auto tree = [&](int kind) {
    world->trees.m_density[kind][t] += 1;
    world->trees.m_count[kind] += 1;
  };
  auto rock = [&] {
    world->rocks.m_formations[t][0] = 1;
    world->rocks.m_counts[1] += 1;
  };
  auto seedling = [&] {
    tree(TK_SEED);
    world->trees.m_ages[t] = 31.0f;
  };
  auto grow = [&] {
    world->trees.Update(c_dt);
    EXPECT_EQ(world->trees.m_density[TK_PINE][t], 1);
  };
  auto woodyAtom = [&](int who) {
    const int i = AtomIndex(&A().m_planners[who], "terrainiswoody");
    return (A().m_currentState[who].values.bits[i / 64] >> (i % 64)) & 1;
  };
  struct Case {
    const char* what;
    std::function<void()> prepare, act;
    bool bySearch;
  };
  const Case cases[] = {
      {"cut_stone", [&] { rock(), G().AttribsSet(t, AT_ROCKY), Carry("pickaxe"); }, [&] { Run("cut_stone"); }, false},
      {"cut_tree", [&] { tree(TK_PINE), G().AttribsSet(t, AT_WOODY), Carry("woodaxe"); }, [&] { Run("cut_tree"); },
       false},
      {"planning", [&] { tree(TK_PINE), G().AttribsSet(t, AT_WOODY), Carry("woodaxe"); },
       [&] {
         const char* goal[] = {"treecut"};
         const bool yes[] = {true};
         A().SetGoal(nr, 1, goal, yes);
         EXPECT_FALSE(woodyAtom(nr)) << "the doer would cut where it stands";
         A().SetGoal(1, 1, goal, yes);
         EXPECT_TRUE(woodyAtom(1)) << "the holder works its own tile";
       },
       false},
      {"growth", seedling, grow, false},
      {"woodyblock cleared", [&] { tree(TK_PINE), G().AttribsSet(t, AT_WOODYBLOCK); },
       [&] { world->trees.Fell(t, TK_PINE); }, false},
      {"rockyblock cleared", [&] { rock(), G().AttribsSet(t, AT_ROCKYBLOCK); }, [&] { world->rocks.Quarry(t, 0); },
       false},
      {"building added", [] {}, [&] { B().Add("plconstruction", t, AT_STONECONSTRUCTION | AT_ROADCONSTRUCTION); },
       false},
      {"deck finished", [&] { G().StartDeck(t, 1); }, [&] { G().BuildDeck(t); }, false},
      {"factory finished",
       [&] {
         B().Add("faconstruction", t, AT_FACTCONSTRUCTION);
         I().Add("sawmillsite", t, 0);
       },
       [&] { G().BuildFactory(t); }, false},
      {"player's bridge",
       [&] {
         const int first = G().m_nodes[t].neighbours[3];
         MakeWater(first);
         MakeWater(G().OppositeNeighbour(t, first));
         G().StartBridge(t, first);
         A().m_stat[nr] |= ST_CHOSEN;
         Carry("hammer");
         for (int i = 0; i < 6; ++i) I().Add("stone", t, IS_MATERIAL), I().Add("lumber", t, IS_MATERIAL);
       },
       [&] {
         CapturedLog log;
         GivePlan({"build_bridge", "saw"});
         for (int i = 0; i < 240 * 20 && !log.Has("might as well keep doing"); ++i) A().Perform(nr, c_dt);
         EXPECT_TRUE(log.Has("Doer might as well keep doing build_bridge"));
       },
       false},
      {"growth during a search", seedling, grow, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_NO_FATAL_FAILURE(SetUp());
    const int holder = A().Add("Holder", t);
    ASSERT_EQ(holder, 1);
    c.prepare();
    if (c.bySearch) {
      ASSERT_TRUE(PathingServiceStart());
      G().AttribsSet(t, AT_WOODY | AT_UNCLAIMED);
      RequestPath(A(), holder, -1, AT_WOODY | AT_UNCLAIMED, nullptr);
      ASSERT_EQ(QueuePathRequest(A()), holder);
      ASSERT_TRUE(PathingServiceAwait(A(), 20.0));
      ASSERT_EQ(PathClaimInFlight(A()), t);
    } else {
      G().AttribsSet(t, AT_UNCLAIMED);
      ASSERT_TRUE(StepClaim(A(), holder, t, "walk_to_woody"));
    }
    c.act();
    if (c.bySearch) {
      EXPECT_TRUE(PathRequestReap(A()));
      PathingServiceStop();
    }
    EXPECT_EQ(A().m_clai[holder], t);
    for (int n = 0; n < A().m_cnt; ++n) {
      const int held = A().m_clai[n];
      if (held < 0) continue;
      EXPECT_EQ(G().Attribs(held) & AT_UNCLAIMED, 0u) << A().m_name[n].c_str() << "'s tile " << held << " is open";
      for (int m = n + 1; m < A().m_cnt; ++m) EXPECT_NE(A().m_clai[m], held) << "two hold tile " << held;
    }
  }
}

TEST_F(CarryBuild, BridgesStakedAcrossOneLakeDoNotRunTogether) {
  // On the 812-tile level planet, a lake around the centre, with a bridge staked from shore a.
  // The line first chosen from shore b would cross it; b must now choose a line of its own, or
  // none, and both bridges, built a piece at a time by turns, must then land on land. What is
  // checked is what gets built: beside the pentagons (the lakes around 700 and 495) the built line
  // is not the walk through opposite neighbours, shore 50 would run into the first bridge, and at
  // pentagon 11 the line from 33 would turn onto the piece the bridge from 464 has raised.
  struct Lake {
    int centre, radius, a, b;
    bool bHasLine;
  };
  for (const Lake& c : {Lake{400, 3, 56, 502, true}, Lake{700, 3, 226, 806, true}, Lake{700, 3, 226, 50, false},
                        Lake{495, 2, 33, 464, true}}) {
    SCOPED_TRACE(c.b);
    world = BareWorld(4);
    ASSERT_TRUE(world);
    ASSERT_EQ(G().m_sz, 812);
    std::vector<int> ring = {c.centre};
    std::vector<int> lake = {c.centre};
    for (int r = 0; r < c.radius; ++r) {
      std::vector<int> next;
      for (int t : ring)
        for (int k = 0; k < 6; ++k) {
          const int n = G().m_nodes[t].neighbours[k];
          if (n >= 0 && std::find(lake.begin(), lake.end(), n) == lake.end()) lake.push_back(n), next.push_back(n);
        }
      ring = next;
    }
    for (int t : lake) MakeWater(t);
    const int shores[2] = {c.a, c.b};
    const int crossedBefore = G().BridgeStart(c.b);
    ASSERT_GE(G().StartBridge(c.a, G().BridgeStart(c.a)), 0);
    EXPECT_TRUE(G().OnStakedBridgeLine(crossedBefore));
    EXPECT_FALSE(G().OnStakedBridgeLine(c.a));
    const int firstB = G().BridgeStart(c.b);
    EXPECT_EQ(firstB >= 0, c.bHasLine) << firstB;
    if (firstB >= 0) {
      ASSERT_GE(G().StartBridge(c.b, firstB), 0);
    }
    const int bridges = firstB >= 0 ? 2 : 1;
    CapturedLog log;
    int landing[2] = {-1, -1};
    bool done[2] = {false, bridges < 2};
    for (int round = 0; round < 20 && !(done[0] && done[1]); ++round)
      for (int s = 0; s < 2; ++s) {
        if (done[s]) continue;
        log.Clear();
        done[s] = G().ExtendBridge(shores[s]) != 0;
        int ahead = -1, from = -1;
        const std::string laid = log.Line(log.Find("Extending bridge at tile"));
        ASSERT_EQ(sscanf(laid.c_str(), "Extending bridge at tile %d to connect %d and %d", &ahead, &from, &landing[s]),
                  3)
            << "shore " << shores[s];
      }
    for (int s = 0; s < bridges; ++s) {
      EXPECT_TRUE(done[s]) << "shore " << shores[s];
      ASSERT_TRUE(G().IsValid(landing[s]));
      EXPECT_EQ(G().m_nodes[landing[s]].type, TP_LAND) << "the bridge from " << shores[s] << " ends on " << landing[s];
    }
  }
}

TEST_F(CarryBuild, ABuilderHoldsTheSiteItWorks) {
  // The builder of a bridge piece gives the site back when the piece is done; when it then works
  // the site again without walking there, it takes the claim again, and a second builder who
  // finds the site held leaves it.
  const int shore = c_tile;
  const int first = G().m_nodes[shore].neighbours[3];
  MakeWater(first);
  MakeWater(G().OppositeNeighbour(shore, first));
  ASSERT_GE(G().StartBridge(shore, first), 0);
  ASSERT_NE(G().Attribs(shore) & AT_UNCLAIMED, 0u);
  Carry("hammer");
  I().Add("stone", shore, IS_MATERIAL);
  I().Add("lumber", shore, IS_MATERIAL);
  GivePlan({"build_bridge", "saw"});
  EXPECT_EQ(A().Perform(nr, c_dt), 0);
  EXPECT_EQ(A().m_clai[nr], shore);
  EXPECT_EQ(G().Attribs(shore) & AT_UNCLAIMED, 0u);

  const int other = A().Add("Second", shore);
  ASSERT_GE(other, 0);
  I().Add("hammer", shore, IS_TOOL);
  ASSERT_GE(I().PickUp("hammer", shore, other), 0);
  A().m_planActions[other][0] = "build_bridge";
  A().m_planSize[other] = 1;
  A().m_planActive[other] = 1;
  A().m_planStage[other] = 0;
  A().m_actionDelay[other] = ActionDuration("build_bridge");
  CapturedLog log;
  A().Perform(other, c_dt);
  EXPECT_EQ(A().m_planSize[other], 0);
  EXPECT_TRUE(log.Has("Second leaves the site at tile 20 to the builder who holds it."));
  EXPECT_EQ(A().m_clai[other], -1);
  EXPECT_EQ(A().m_clai[nr], shore);
  EXPECT_EQ(G().Attribs(shore) & AT_UNCLAIMED, 0u);

  // A road site that is finished is let go.
  const int road = 40;
  B().Add("plconstruction", road, AT_STONECONSTRUCTION | AT_ROADCONSTRUCTION);
  for (int i = 0; i < 3; ++i) I().Add("stone", road, IS_MATERIAL);
  A().m_loca[nr] = road;
  I().MoveCarried(nr, road);
  EXPECT_GT(Run("build_road"), 0);
  EXPECT_TRUE(Advanced());
  EXPECT_EQ(A().m_clai[nr], -1);
  EXPECT_NE(G().Attribs(road) & AT_UNCLAIMED, 0u);
  // Its earlier claim went when it took the road site.
  EXPECT_NE(G().Attribs(shore) & AT_UNCLAIMED, 0u);
}

TEST_F(CarryBuild, NoBridgeIsStakedTowardAnotherBridge) {
  // Two tiles of water straight out from the shore, the far one already a bridge piece: the
  // walk across ends on the bridge, which is no shore to build to.
  const int shore = c_tile;
  const int w1 = G().m_nodes[shore].neighbours[3];
  const int w2 = G().OppositeNeighbour(shore, w1);
  const int land = G().OppositeNeighbour(w1, w2);
  MakeWater(w1);
  MakeWater(w2);
  ASSERT_EQ(G().BridgeStart(shore), w1);
  ASSERT_GE(G().AddBridge(land, w2, w1), 0);
  ASSERT_EQ(G().m_nodes[w2].type, TP_BRDG);
  EXPECT_EQ(G().BridgeStart(shore), -1);
  Carry("bridgemarker");
  CapturedLog log;
  Run("stake_bridgemarker");
  EXPECT_TRUE(log.Has("Doer cannot stake at tile 20: no water to bridge."));
  EXPECT_EQ(B().Find(shore, "brconstruction"), -1);
}

TEST_F(CarryBuild, BridgeBuilderStopsWhenMaterialRunsShort) {
  const int shore = c_tile;
  const int first = G().m_nodes[shore].neighbours[3];
  const int probe = G().StartBridge(shore, first);
  ASSERT_GE(probe, 0);
  const int second = G().NextInLine(first, 0, 1, B().m_trfs[probe]);
  B().Remove(probe);
  MakeWater(first);
  MakeWater(second);
  const int site = G().StartBridge(shore, first);
  ASSERT_GE(site, 0);
  Carry("hammer");
  for (int i = 0; i < 5; ++i) I().Add("stone", shore, IS_MATERIAL);
  for (int i = 0; i < 6; ++i) I().Add("lumber", shore, IS_MATERIAL);
  const int calls = Run("build_bridge", 8000);
  EXPECT_GT(calls, 240 * 12);
  EXPECT_LT(calls, 240 * 13);
  EXPECT_TRUE(Advanced());
  EXPECT_TRUE(HasEvent("Doer finished building bridge."));
  EXPECT_EQ(G().m_nodes[first].type, TP_BRDG);
  EXPECT_EQ(G().m_nodes[second].type, TP_WATR);
  // The site stays for the rest of the bridge, needing a full piece's material again.
  EXPECT_EQ(B().Find(shore, "brconstruction"), site);
  EXPECT_EQ(B().m_rsto[site], 3);
  EXPECT_EQ(B().m_rwoo[site], 3);
  EXPECT_EQ(CountPosts("intstat name=s_bridges delta=1"), 0);
}

// The pathing thread reads edge costs and tile centres while the main thread builds; under the
// thread sanitizer this shows any write that is not atomic.
TEST_F(CarryBuild, ConcurrentBuildingWhilePathsAreSearched) {
  ASSERT_TRUE(PathingServiceStart());
  const int walker = A().Add("Walker", 70);
  ASSERT_EQ(walker, 1);
  const int sites[4] = {30, 45, 60, 80};
  int found = 0;
  for (int round = 0; round < 4; ++round) {
    RequestPath(A(), walker, 12 + round * 3, 0, nullptr);
    ASSERT_EQ(QueuePathRequest(A()), walker);
    const int t = sites[round];
    B().Add("faconstruction", t, AT_WOODCONSTRUCTION | AT_FACTCONSTRUCTION);
    I().Add("smithysite", t, 0);
    EXPECT_GE(G().BuildFactory(t), 0);
    const int n = G().m_nodes[t].neighbours[2];
    G().StartDeck(n, 1);
    EXPECT_GE(G().BuildDeck(n), 0);
    bool done = false;
    for (int i = 0; i < 20000 && !done; ++i) {
      const int cost = CollectPath(A(), walker);
      found += cost > 0;
      done = cost >= 0 || !A().m_pathRequested[walker];
      if (!done) std::this_thread::sleep_for(std::chrono::microseconds(250));
    }
    EXPECT_TRUE(done);
  }
  PathingServiceStop();
  EXPECT_EQ(found, 4);
}

TEST_F(CarryBuild, StakingAnUnknownMarkerMakesNoSite) {
  Carry("fencemarker");
  ExpectAsserts asserts;
  EXPECT_GT(Run("stake_fencemarker"), 100);
  EXPECT_TRUE(asserts.Saw("site"));
  EXPECT_TRUE(Advanced());
  EXPECT_EQ(B().m_cnt, 0);
  EXPECT_EQ(I().Count("fencemarker"), 0);
  EXPECT_EQ(I().CountAt(nullptr, c_tile, true), 0);
}
