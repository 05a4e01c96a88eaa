// Items: slots and their reuse, refused tiles and slots, pick-up on sites, occupancy bits and planner atoms.
#include <gtest/gtest.h>

#include "quarnplan256/goap.h"
#include "test_support.h"
#include "world/planet_fixture.h"

class ItemsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseTestFolders();
    DumpShape shape = ReadDumpShape();
    WriteTopology(shape, std::vector<int>(shape.numTiles, 1));
    m_world = new Wld("Test");
    ASSERT_EQ(m_world->LoadTopology("custom.top"), 92);
    // One landmass: its summit marker is item 0.
    ASSERT_EQ(m_world->items.m_cnt, 1);
    ASSERT_EQ(m_world->items.Remove(0), 0);
  }
  void TearDown() override { delete m_world; }
  bool AtomIs(const WorldState& ws, const char* name) {
    const int i = AtomIndex(&m_ap, name);
    return i >= 0 && (ws.values.bits[i / 64] >> (i % 64) & 1) && !(ws.ignore.bits[i / 64] >> (i % 64) & 1);
  }
  Wld* m_world = nullptr;
  static ActionPlanner m_ap;
};
ActionPlanner ItemsTest::m_ap;

TEST_F(ItemsTest, SlotsAreReusedAndTheCountNeverShrinks) {
  Items& items = m_world->items;
  for (int i = 0; i < 10; ++i) ASSERT_EQ(items.Add("stone", 20 + i, IS_MATERIAL), i);
  EXPECT_EQ(items.m_cnt, 10);
  EXPECT_EQ(items.Remove(5), 5);
  EXPECT_EQ(items.m_loca[5], -1);
  EXPECT_EQ(items.m_type[5], -1);
  EXPECT_EQ(items.m_cnt, 10);
  EXPECT_EQ(items.Add("chest", 40, IS_CHEST_GEM), 5);
  EXPECT_EQ(items.m_type[5], 36);
  EXPECT_EQ(items.m_cnt, 10);
  CapturedLog log;
  EXPECT_EQ(items.Remove(5), 5);
  EXPECT_EQ(items.Remove(5), -1);
  EXPECT_TRUE(log.Has("Failed to remove non existing item 5"));
  EXPECT_EQ(items.Remove(-1), -1);
  EXPECT_EQ(items.Remove(MAXITEMS), -1);
  EXPECT_EQ(items.Remove(1 << 30), -1);

  // The table fills at 3072; the next item is refused.
  for (int i = items.m_cnt; i < MAXITEMS; ++i) items.Add("poop", 1, 0);
  items.Add("poop", 1, 0);  // fills slot 5
  EXPECT_EQ(items.m_cnt, MAXITEMS);
  EXPECT_EQ(items.Add("poop", 1, 0), -1);
  EXPECT_TRUE(log.Has("Too many(3072) items in the world. Cannot add more."));
  // A full table is asked again and again: one line for the run of refusals, and their count
  // once a slot is free again; the next run gets its own line.
  for (int i = 0; i < 99; ++i) EXPECT_EQ(items.Add("fruit", 2, 0), -1);
  EXPECT_EQ(log.CountPrefix("Too many(3072) items in the world."), 1);
  ASSERT_EQ(items.Remove(7), 7);
  EXPECT_EQ(items.Add("fruit", 2, 0), 7);
  EXPECT_TRUE(log.Has("The full item table refused 100 items in a row."));
  EXPECT_EQ(items.Add("fruit", 2, 0), -1);
  EXPECT_EQ(log.CountPrefix("Too many(3072) items in the world."), 2);
}

TEST_F(ItemsTest, BadTilesAndSlotsAreRefused) {
  Items& items = m_world->items;
  CapturedLog log;
  EXPECT_EQ(items.Add("lumber", -1, IS_MATERIAL), -1);
  EXPECT_EQ(items.Add("lumber", 92, IS_MATERIAL), -1);
  EXPECT_EQ(items.m_cnt, 1);
  EXPECT_EQ(items.Count("lumber"), 0);
  const int axe = items.Add("woodaxe", 3, IS_TOOL);
  ASSERT_GE(axe, 0);
  EXPECT_EQ(items.PickUp("woodaxe", 3, 7), axe);
  {
    ExpectAsserts asserts;
    EXPECT_EQ(items.Drop(axe, -1), -1);
    EXPECT_EQ(asserts.Count(), 1);
  }
  EXPECT_EQ(items.Drop(axe, 92), -1);
  EXPECT_EQ(items.Drop(-1, 4), -1);
  EXPECT_EQ(items.Drop(MAXITEMS, 4), -1);
  EXPECT_EQ(items.m_carr[axe], 7);  // still carried after the refusals
  EXPECT_EQ(items.Drop(axe, 4), axe);
  EXPECT_EQ(items.m_loca[axe], 4);
  EXPECT_EQ(items.Drop(axe, 4), -1);  // not carried any more

  EXPECT_EQ(Items::TypeByName("chest"), 36);
  EXPECT_EQ(Items::TypeByName("lumber"), 0);
  EXPECT_EQ(Items::TypeByName("grain"), -1);
  EXPECT_TRUE(log.Has("No Type for 'grain'"));
  EXPECT_EQ(Items::TypeByName(""), -1);
}

TEST_F(ItemsTest, CarryingMovesAndDropsItems) {
  Items& items = m_world->items;
  const int a = items.Add("woodaxe", 10, IS_TOOL);
  const int b = items.Add("stone", 10, IS_MATERIAL);
  const int c = items.Add("stone", 10, IS_MATERIAL);
  EXPECT_EQ(items.CountAt("stone", 10, false), 2);
  EXPECT_EQ(items.PickUp("stone", 10, 3), b);
  EXPECT_EQ(items.PickUp("woodaxe", 10, 3), a);
  EXPECT_EQ(items.PickUp("woodaxe", 10, 3), -1);
  EXPECT_EQ(items.CountAt("stone", 10, false), 1);
  EXPECT_EQ(items.CountAt(nullptr, 10, true), 3);
  EXPECT_EQ(items.FindCarried(nullptr, 3), a);
  EXPECT_EQ(items.FindCarried("stone", 3), b);
  EXPECT_EQ(items.CountCarried(nullptr, 3), 2);
  EXPECT_EQ(items.StackIndex(c), 0);  // the carried ones below it do not count
  items.MoveCarried(3, 11);
  EXPECT_EQ(items.m_loca[a], 11);
  EXPECT_EQ(items.m_loca[c], 10);
  items.DropAll(3);
  EXPECT_EQ(items.CountCarried(nullptr, 3), 0);
  EXPECT_EQ(items.CountAt(nullptr, 11, false), 2);
  EXPECT_EQ(items.StackIndex(b), 1);
  int found[4];
  EXPECT_EQ(items.FindNamed("stone", found, 4), 2);
  EXPECT_EQ(found[0], b);
  EXPECT_EQ(items.FindNamed("stone", found, 1), 1);
}

TEST_F(ItemsTest, MaterialOnItsOwnSiteStays) {
  Items& items = m_world->items;
  Globe& g = m_world->globe;
  const int stone = items.Add("stone", 20, IS_MATERIAL);
  g.AttribsSet(20, AT_STONECONSTRUCTION);
  EXPECT_TRUE(items.IsOnSite(stone));
  EXPECT_EQ(items.PickUp("stone", 20, 1), -1);
  g.AttribsClear(20, AT_STONECONSTRUCTION);
  g.AttribsSet(20, AT_WOODCONSTRUCTION);  // a lumber site does not hold stone
  items.m_clai[stone] = 4;
  EXPECT_EQ(items.PickUp("stone", 20, 1), stone);
  EXPECT_EQ(items.m_clai[stone], -1);
  const int lumber = items.Add("lumber", 20, IS_MATERIAL);
  EXPECT_TRUE(items.IsOnSite(lumber));
}

TEST_F(ItemsTest, OccupancyLeavesDeliveredMaterialOut) {
  Items& items = m_world->items;
  Globe& g = m_world->globe;
  items.Add("stone", 30, IS_MATERIAL);
  items.Add("woodaxe", 30, IS_TOOL);
  const int carried = items.Add("hammer", 31, IS_TOOL);
  items.PickUp("hammer", 31, 2);
  items.Add("grain", 32, 0);  // no type: no bit
  g.AttribsSet(30, AT_ROADCONSTRUCTION);
  g.UpdateOccupancy();
  EXPECT_EQ(g.m_inventories[30], 1ull << 2);  // the axe, not the stone
  EXPECT_EQ(g.m_inventories[31], 0u);
  EXPECT_EQ(g.m_inventories[32], 0u);
  g.AttribsClear(30, AT_ROADCONSTRUCTION);
  items.Drop(carried, 31);
  g.UpdateOccupancy();
  EXPECT_EQ(g.m_inventories[30], (1ull << 1) | (1ull << 2));
  EXPECT_EQ(g.m_inventories[31], 1ull << 4);
}

TEST_F(ItemsTest, NearAndHaveAtoms) {
  Items& items = m_world->items;
  Globe& g = m_world->globe;
  const int axe = items.Add("woodaxe", 100 % 92, IS_TOOL);
  items.PickUp("woodaxe", 100 % 92, 3);
  items.Add("stone", 8, IS_MATERIAL);
  WorldState ws;
  PlannerClear(&m_ap);
  StateClear(&ws);
  EXPECT_EQ(items.SetAtoms(&m_ap, &ws, 3, 8), 3);  // nearstone, havewoodaxe, handsfull
  EXPECT_TRUE(AtomIs(ws, "havewoodaxe"));
  EXPECT_TRUE(AtomIs(ws, "handsfull"));
  EXPECT_TRUE(AtomIs(ws, "nearstone"));
  EXPECT_FALSE(AtomIs(ws, "nearwoodaxe"));  // carried, not lying here

  // Another character carries nothing.
  StateClear(&ws);
  EXPECT_EQ(items.SetAtoms(&m_ap, &ws, 4, 8), 1);
  EXPECT_FALSE(AtomIs(ws, "handsfull"));

  // A stone on a stone site, or stocked on a storage tile while nothing asks for stone, is not near.
  g.AttribsSet(8, AT_STONECONSTRUCTION);
  StateClear(&ws);
  EXPECT_EQ(items.SetAtoms(&m_ap, &ws, 4, 8), 0);
  g.AttribsStore(8, AT_STORAGE);
  StateClear(&ws);
  EXPECT_EQ(items.SetAtoms(&m_ap, &ws, 4, 8), 0);
  g.AttribsStore(8, 0);
  StateClear(&ws);
  EXPECT_EQ(items.SetAtoms(&m_ap, &ws, 4, 8), 1);
  EXPECT_EQ(axe, items.FindCarried("woodaxe", 3));

  ExpectAsserts asserts;
  EXPECT_EQ(items.SetAtoms(&m_ap, &ws, 4, -1), 0);
  EXPECT_EQ(asserts.Count(), 1);
}

TEST_F(ItemsTest, StockedMaterialIsNearWhileSomethingWantsIt) {
  // Material on a storage tile is near only while the demand tracker counts a site or mill that
  // wants it; a sawmill asks for timber, wood and stone sites for lumber and stone.
  struct Case {
    const char* name;
    uint64_t status;
    int slot;
  };
  const Case cases[] = {
      {"lumber", IS_MATERIAL, DS_WOOD}, {"stone", IS_MATERIAL, DS_STONE}, {"timber", IS_TIMBER, DS_SAWMILL}};
  Items& items = m_world->items;
  Demand& demand = m_world->demand;
  m_world->globe.AttribsStore(8, AT_STORAGE);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int slot = items.Add(c.name, 8, c.status);
    for (int& tally : demand.m_tallies) tally = 0;
    WorldState ws;
    StateClear(&ws);
    EXPECT_EQ(items.DemandFor(c.name), 0);
    EXPECT_EQ(items.SetAtoms(&m_ap, &ws, 4, 8), 0);
    // Demand for something else does not count.
    for (int& tally : demand.m_tallies) tally = 3;
    demand.m_tallies[c.slot] = 0;
    EXPECT_EQ(items.SetAtoms(&m_ap, &ws, 4, 8), 0);
    demand.m_tallies[c.slot] = 2;
    EXPECT_EQ(items.DemandFor(c.name), 2);
    StateClear(&ws);
    EXPECT_EQ(items.SetAtoms(&m_ap, &ws, 4, 8), 1);
    EXPECT_TRUE(AtomIs(ws, (std::string("near") + c.name).c_str()));
    items.Remove(slot);
  }
  EXPECT_EQ(items.DemandFor("woodaxe"), 0);
}
