// Production plan steps: durations, goods made and used up, changes to trees, rocks and tiles, event lines, failures.
#include "world/actors/perform/actors_perform_production.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_support.h"
#include "utility/message.h"
#include "world/actors/perform/actors_perform.h"
#include "world/parts_fixture.h"
#include "world/perform_fixture.h"
#include "world/wld.h"

// A bare planet with one character on tile 10, its events and posted messages recorded.
class StepsTest : public PerformTest {
 protected:
  static constexpr int c_tile = 10;
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(SetUpDoer(c_tile)); }

  int Run(float dt, int limit = 2000) { return PerformUntilMoved(dt, limit); }
  void SetTrees(int tile, int kind, int count) {
    Trees& t = world->trees;
    t.m_count[kind] += count - t.m_density[kind][tile];
    t.m_density[kind][tile] = count;
    t.UpdateGroves();
  }
  void SetRock(int tile, int slot, int kind) {
    world->rocks.m_formations[tile][slot] = static_cast<int8_t>(kind);
    world->rocks.m_counts[kind] += 1;
  }
  // Fills every free item slot with stones on a far tile.
  void FillItems() {
    for (int i = 0; i < MAXITEMS; ++i)
      if (!I().InUse(i)) I().Add("stone", 90, IS_MATERIAL);
    ASSERT_EQ(I().FreeSlots(), 0);
  }
};

TEST_F(StepsTest, CutTreeFellsTheLowestKindDropsTimberAndReleasesTheClaim) {
  CapturedLog log;
  SetTrees(c_tile, TK_MAPL, 2);
  SetTrees(c_tile, TK_APPL, 1);
  Carry("woodaxe");
  G().AttribsClear(c_tile, AT_UNCLAIMED);
  A().m_clai[nr] = c_tile;
  GivePlan({"cut_tree", "drop_timber"});
  // 8 s in steps of 0.5 s: done on the 16th call.
  EXPECT_EQ(Run(0.5f), 16);
  EXPECT_EQ(A().m_planStage[nr], 1);
  EXPECT_EQ(world->trees.m_density[TK_MAPL][c_tile], 1);  // maple (kind 2) before apple (kind 3)
  EXPECT_EQ(world->trees.m_density[TK_APPL][c_tile], 1);
  EXPECT_EQ(world->trees.m_density[TK_STMP][c_tile], 1);
  const int timber = I().FindAt("timber", c_tile, false);
  ASSERT_GE(timber, 0);
  EXPECT_EQ(I().m_stat[timber], static_cast<uint64_t>(IS_TIMBER));
  EXPECT_TRUE(HasEvent("Doer cut down a tree."));
  EXPECT_EQ(A().m_clai[nr], -1);
  EXPECT_TRUE(G().Attribs(c_tile) & AT_UNCLAIMED);
  EXPECT_EQ(CountPosts("soundeffect name=cuttree gain=5.0 tile=10"), 1);
  EXPECT_EQ(CountPosts("intstat name=s_treeskilled delta=1"), 1);

  // No axe: fails at once.
  I().Remove(I().FindCarried("woodaxe", nr));
  GivePlan({"cut_tree"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("Doer can't cut a tree without an axe!"));
  // Only stumps: no tree to fell.
  Carry("woodaxe");
  A().m_loca[nr] = 11;
  SetTrees(11, TK_STMP, 2);
  GivePlan({"cut_tree"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("Doer can't cut a tree on a tile without trees!"));
  EXPECT_EQ(world->trees.m_density[TK_STMP][11], 2);
}

TEST_F(StepsTest, CutTreeRefusesToLoseTheTimberOrReadOffThePlanet) {
  CapturedLog log;
  SetTrees(c_tile, TK_PINE, 1);
  Carry("woodaxe");
  FillItems();
  GivePlan({"cut_tree"});
  EXPECT_EQ(Run(0.5f), 16);
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("Doer cannot make timber at tile 10: the world holds too many items."));
  // The tree still stands: nothing was destroyed for a product that could not be made.
  EXPECT_EQ(world->trees.m_density[TK_PINE][c_tile], 1);
  EXPECT_FALSE(HasEvent("Doer cut down a tree."));

  // A character off the planet: a clean failure, no tile map is read.
  A().m_loca[nr] = 5000;
  GivePlan({"cut_tree"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("Doer cannot cut_tree at tile 5000: no such tile."));
  A().m_loca[nr] = -1;
  GivePlan({"eat_fruit"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(Abandoned());
}

TEST_F(StepsTest, CutStoneQuarriesTheLowestSlot) {
  CapturedLog log;
  SetRock(c_tile, 3, 2);
  SetRock(c_tile, 7, 5);
  Carry("pickaxe");
  // The doer holds the tile, as a walk to it leaves it, and gives it back when the stone is cut.
  G().AttribsSet(c_tile, AT_UNCLAIMED);
  ASSERT_TRUE(StepClaim(A(), nr, c_tile, "walk_to_rocky"));
  GivePlan({"cut_stone", "drop_stone"});
  EXPECT_EQ(Run(0.5f), 16);
  EXPECT_EQ(A().m_planStage[nr], 1);
  EXPECT_EQ(world->rocks.m_formations[c_tile][3], -1);
  EXPECT_EQ(world->rocks.m_formations[c_tile][7], 5);
  const int stone = I().FindAt("stone", c_tile, false);
  ASSERT_GE(stone, 0);
  EXPECT_EQ(I().m_stat[stone], static_cast<uint64_t>(IS_MATERIAL));
  EXPECT_TRUE(HasEvent("Doer quarried a stone."));
  EXPECT_EQ(CountPosts("soundeffect name=cutstone gain=5.0 tile=10"), 1);
  EXPECT_EQ(CountPosts("intstat name=s_rocksquarried delta=1"), 1);
  EXPECT_TRUE(G().Attribs(c_tile) & AT_UNCLAIMED);

  // A full item table keeps the rock where it is.
  FillItems();
  GivePlan({"cut_stone"});
  EXPECT_EQ(Run(0.5f), 16);
  EXPECT_TRUE(Abandoned());
  EXPECT_EQ(world->rocks.m_formations[c_tile][7], 5);
  // No rocks on the tile, and no pickaxe.
  A().m_loca[nr] = 11;
  GivePlan({"cut_stone"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(log.Has("Doer can't cut stone on a tile without rocks!"));
  I().m_carr[I().FindCarried("pickaxe", nr)] = -1;
  GivePlan({"cut_stone"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("Doer can't cut stone without a pickaxe!"));
}

TEST_F(StepsTest, ClearingAWoodyBlockFellsEveryStandingTreeThenMovesOn) {
  CapturedLog log;
  // A pine, a seedling and a maple on a construction site; the stump does not block.
  SetTrees(c_tile, TK_PINE, 1);
  SetTrees(c_tile, TK_SEED, 1);
  SetTrees(c_tile, TK_MAPL, 1);
  SetTrees(c_tile, TK_STMP, 1);
  G().AttribsSet(c_tile, AT_WOODYBLOCK | AT_WOODY | AT_FACTCONSTRUCTION);
  G().AttribsClear(c_tile, AT_UNCLAIMED);
  A().m_clai[nr] = c_tile;
  Carry("woodaxe");
  GivePlan({"clear_woodyblock", "saw"});
  // Three cycles of 8 s, one tree each: pine (1), maple (2), then the seedling (4).
  int calls = Run(0.5f, 100);
  EXPECT_EQ(calls, 48);
  EXPECT_EQ(A().m_planStage[nr], 1);
  for (int k = TK_PINE; k <= TK_SEED; ++k) EXPECT_EQ(world->trees.m_density[k][c_tile], 0) << k;
  EXPECT_EQ(world->trees.m_density[TK_STMP][c_tile], 1);  // a site gets no stumps
  EXPECT_EQ(I().CountAt("timber", c_tile, false), 3);
  EXPECT_EQ(CountPosts("soundeffect name=cuttree gain=5.0 tile=10"), 3);
  // After the pine the maple still blocks: the step goes on rather than calling the site clear.
  const char* const again = "Doer might just as well keep doing clear_woodyblock";
  const int first = log.Find(again);
  const int second = log.Find(again, first + 1);
  const int third = log.Find(again, second + 1);
  ASSERT_GE(first, 0);
  ASSERT_GT(second, first);
  ASSERT_GT(third, second);
  EXPECT_GT(log.Find("Doer is done with clear_woodyblock"), third);
  EXPECT_FALSE(G().Attribs(c_tile) & AT_WOODYBLOCK);
  EXPECT_TRUE(G().Attribs(c_tile) & AT_UNCLAIMED);
  EXPECT_TRUE(log.Has("Tile 10 no longer blocked by trees."));

  // A woody block without trees is cleared at once.
  G().AttribsSet(c_tile, AT_WOODYBLOCK);
  GivePlan({"clear_woodyblock", "saw"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(log.Has("Doer cleared construction site of trees."));
  // Not at a woody block.
  G().AttribsClear(c_tile, AT_WOODYBLOCK);
  GivePlan({"clear_woodyblock"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("Doer cannot clear woodyblock when not at woody block."));
  // Without an axe the step gives up instead of repeating the axe line for good.
  SetTrees(c_tile, TK_PINE, 2);
  G().AttribsSet(c_tile, AT_WOODYBLOCK);
  I().m_carr[I().FindCarried("woodaxe", nr)] = -1;
  GivePlan({"clear_woodyblock"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("Doer can't cut a tree without an axe!"));
  // A blockage nobody knows is reported and given up.
  {
    ExpectAsserts expect;
    GivePlan({"clear_swamp"});
    EXPECT_EQ(Run(0.5f), 1);
    EXPECT_TRUE(expect.Saw("cuttree || cutston"));
    EXPECT_TRUE(Abandoned());
  }
}

TEST_F(StepsTest, ClearingARockyBlockQuarriesOnePiecePerPlan) {
  CapturedLog log;
  SetRock(c_tile, 0, 1);
  SetRock(c_tile, 1, 8);
  G().AttribsSet(c_tile, AT_ROCKYBLOCK | AT_ROCKY);
  Carry("pickaxe");
  GivePlan({"clear_rockyblock", "saw"});
  EXPECT_EQ(Run(0.5f), 16);
  EXPECT_EQ(A().m_planStage[nr], 1);
  EXPECT_EQ(world->rocks.IsBlocked(c_tile, -1), 1);
  EXPECT_TRUE(G().Attribs(c_tile) & AT_ROCKYBLOCK);
  GivePlan({"clear_rockyblock", "saw"});
  EXPECT_EQ(Run(0.5f), 16);
  EXPECT_EQ(world->rocks.IsBlocked(c_tile, -1), 0);
  EXPECT_FALSE(G().Attribs(c_tile) & AT_ROCKYBLOCK);
  EXPECT_EQ(I().CountAt("stone", c_tile, false), 2);
  EXPECT_TRUE(log.Has("Tile 10 no longer blocked by rocks."));
  // A rocky block whose rocks are gone is cleared at once.
  G().AttribsSet(c_tile, AT_ROCKYBLOCK);
  GivePlan({"clear_rockyblock", "saw"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_EQ(A().m_planStage[nr], 1);
  EXPECT_TRUE(HasEvent("Doer cleared construction site of rocks."));
  G().AttribsClear(c_tile, AT_ROCKYBLOCK);
  GivePlan({"clear_rockyblock"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("Doer cannot clear rockyblock when not at rocky block."));
}

TEST_F(StepsTest, SawingTurnsTimberIntoLumberOnlyAtASawmill) {
  CapturedLog log;
  const int timber = Carry("timber", IS_TIMBER);
  // Not at a sawmill: fails before any timber is taken.
  GivePlan({"saw", "drop_lumber"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("Doer can't saw when not on a sawmill site!"));
  EXPECT_TRUE(I().InUse(timber));
  G().AttribsSet(c_tile, AT_SAWMILL);
  GivePlan({"saw", "drop_lumber"});
  A().Perform(nr, 0.5f);
  EXPECT_TRUE(I().InUse(timber));  // kept until the lumber is made
  EXPECT_EQ(Run(0.5f), 9);         // 5 s in all
  EXPECT_EQ(A().m_planStage[nr], 1);
  EXPECT_EQ(I().Count("timber"), 0);
  const int lumber = I().FindAt("lumber", c_tile, false);
  ASSERT_GE(lumber, 0);
  EXPECT_EQ(I().m_stat[lumber], static_cast<uint64_t>(IS_MATERIAL));
  EXPECT_TRUE(HasEvent("Doer sawed timber into lumber."));
  // No lumber can be made in a full world: the step fails rather than claim it was done.
  FillItems();
  GivePlan({"saw", "drop_lumber"});
  EXPECT_EQ(Run(0.5f), 10);
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("Doer cannot make lumber at tile 10: the world holds too many items."));
}

TEST_F(StepsTest, MiningNeverEmptiesTheDepositAndSmeltingMakesAnIngot) {
  CapturedLog log;
  Carry("pickaxe");
  GivePlan({"mine_ore"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(log.Has("Doer can't mine for ore when not at a oremine site."));
  G().AttribsSet(c_tile, AT_IRONDEPOSIT);
  for (int round = 0; round < 2; ++round) {
    GivePlan({"mine_ore", "pickup_ironore"});
    EXPECT_EQ(Run(0.5f), 10);
    EXPECT_EQ(A().m_planStage[nr], 1);
  }
  EXPECT_EQ(I().CountAt("ironore", c_tile, false), 2);
  EXPECT_TRUE(G().Attribs(c_tile) & AT_IRONDEPOSIT);
  EXPECT_TRUE(HasEvent("Doer mined ironore."));
  EXPECT_EQ(CountPosts("soundeffect name=cutstone gain=5.0 tile=10"), 2);
  I().m_carr[I().FindCarried("pickaxe", nr)] = -1;
  GivePlan({"mine_ore"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(log.Has("Doer can't mine ore without a pickaxe!"));

  // Smelting: the ore goes, an ingot comes.
  const int ore = I().FindAt("ironore", c_tile, false);
  I().m_carr[ore] = nr;
  GivePlan({"smelt"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("Doer can't smelt when not at a smelter!"));
  EXPECT_TRUE(I().InUse(ore));
  G().AttribsSet(c_tile, AT_SMELTER);
  GivePlan({"smelt", "drop_ingot"});
  EXPECT_EQ(Run(0.5f), 10);
  EXPECT_EQ(A().m_planStage[nr], 1);
  EXPECT_EQ(I().Count("ironore"), 1);  // the other one still lies there
  EXPECT_GE(I().FindAt("ingot", c_tile, false), 0);
  EXPECT_TRUE(HasEvent("Doer smelted iron ore into an ingot."));
  FillItems();
  GivePlan({"smelt"});
  EXPECT_EQ(Run(0.5f), 10);
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("Failed to spawn ingot when smelting ironore."));
}

TEST_F(StepsTest, ForgingACrownCrownsTheSmithAndMakesNoItem) {
  CapturedLog log;
  const int ingot = Carry("ingot", 0);
  GivePlan({"forge_crown"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("Doer can't forge when not at a smithy!"));
  G().AttribsSet(c_tile, AT_SMITHY);
  const int before = I().Count(nullptr);
  GivePlan({"forge_crown", "walk_to_coast"});
  EXPECT_EQ(Run(0.5f), 10);
  EXPECT_EQ(A().m_planStage[nr], 1);
  EXPECT_FALSE(I().InUse(ingot));
  EXPECT_EQ(I().Count(nullptr), before - 1);
  EXPECT_TRUE(A().m_stat[nr] & ST_CROWNED);
  EXPECT_TRUE(HasEvent("Doer forged ingot into a crown"));
  EXPECT_EQ(CountPosts("intstat name=s_crownings delta=1 sync=1"), 1);
  // Any other thing is made as a tool.
  GivePlan({"forge_sword"});
  EXPECT_EQ(Run(0.5f), 10);
  const int sword = I().FindAt("sword", c_tile, false);
  ASSERT_GE(sword, 0);
  EXPECT_EQ(I().m_stat[sword], static_cast<uint64_t>(IS_TOOL));
  EXPECT_TRUE(HasEvent("Doer forged ingot into a sword"));
  EXPECT_EQ(CountPosts("intstat name=s_crownings delta=1 sync=1"), 1);
  // A nameless thing would read as a free item slot.
  GivePlan({"forge_"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("Doer cannot forge_: nothing to forge."));
}

TEST_F(StepsTest, AFullItemTableLosesNoInputAndTheProductTakesItsSlot) {
  // Each step runs with the table full; while it runs, something else asks for a slot. The input
  // is used up only as the product comes, so its slot is the product's and nothing is lost.
  struct Row {
    const char* step;
    uint64_t tileBit;
    const char* input;
    const char* product;  // null: the crown, which is worn
  };
  const Row rows[] = {
      {"saw", AT_SAWMILL, "timber", "lumber"},
      {"smelt", AT_SMELTER, "ironore", "ingot"},
      {"forge_hammer", AT_SMITHY, "ingot", "hammer"},
      {"forge_crown", AT_SMITHY, "ingot", nullptr},
      {"scoop_poop", 0, "emptybucket", "manure"},
      {"fill_bucket", AT_WATERWELL, "emptybucket", "water"},
      {"irrigate", AT_GRAINFARM, "water", "emptybucket"},
      {"millgrain", AT_WATERMILL, "grain", "flour"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.step);
    ASSERT_NO_FATAL_FAILURE(SetUp());
    G().AttribsSet(c_tile, row.tileBit);
    Carry(row.input, 0);
    ASSERT_NO_FATAL_FAILURE(FillItems());
    GivePlan({row.step, "x"});
    A().Perform(nr, 0.25f);
    EXPECT_LT(I().Add("stone", 90, IS_MATERIAL), 0) << "the input's slot was free during the step";
    EXPECT_GT(Run(0.25f, 100), 0);
    EXPECT_EQ(A().m_planStage[nr], 1);
    EXPECT_EQ(I().Count(row.input), 0);
    if (row.product) {
      EXPECT_EQ(I().CountAt(row.product, c_tile, false), 1);
    } else {
      EXPECT_TRUE(A().m_stat[nr] & ST_CROWNED);
    }
    EXPECT_EQ(I().FreeSlots(), row.product ? 0 : 1);
    TearDown();
  }
  // Without an input there is no slot to take: the step fails and destroys nothing, and once a
  // slot is free it makes its product.
  CapturedLog log;
  G().AttribsSet(c_tile, AT_SMELTER);
  GivePlan({"smelt", "x"});
  EXPECT_GT(Run(0.5f), 0);
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("Doer cannot make ingot at tile 10: the world holds too many items."));
  I().Remove(I().FindAt("stone", 90, false));
  GivePlan({"smelt", "x"});
  EXPECT_GT(Run(0.5f), 0);
  EXPECT_EQ(A().m_planStage[nr], 1);
  EXPECT_EQ(I().CountAt("ingot", c_tile, false), 1);
}

TEST_F(StepsTest, PlantingUsesManureLeavesABucketAndPlantsASeedling) {
  CapturedLog log;
  Carry("manure", 0);
  GivePlan({"plant_tree"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(log.Has("Doer can't plant a tree when not on a grove tile!"));
  SetTrees(c_tile, TK_PINE, 1);  // one standing tree makes a grove
  ASSERT_TRUE(G().Attribs(c_tile) & AT_GROVE);
  GivePlan({"plant_tree", "pickup_emptybucket"});
  EXPECT_EQ(Run(0.5f), 10);
  EXPECT_EQ(A().m_planStage[nr], 1);
  EXPECT_EQ(I().Count("manure"), 0);
  EXPECT_GE(I().FindAt("emptybucket", c_tile, false), 0);
  EXPECT_EQ(world->trees.m_density[TK_SEED][c_tile], 1);
  EXPECT_TRUE(HasEvent("Doer planted a tree."));
  EXPECT_EQ(CountPosts("intstat name=s_treesplanted delta=1"), 1);
  // A tile with 13 standing trees takes no more.
  SetTrees(c_tile, TK_PINE, 12);
  G().AttribsSet(c_tile, AT_GROVE);
  GivePlan({"plant_tree"});
  EXPECT_EQ(Run(0.5f), 10);
  EXPECT_TRUE(Abandoned());
  EXPECT_TRUE(HasEvent("Doer failed to plant a tree."));
  EXPECT_EQ(world->trees.m_density[TK_SEED][c_tile], 1);
}

TEST_F(StepsTest, ScoopingPoopFillsTheBucketWithManure) {
  const int bucket = Carry("emptybucket", 0);
  const int poop = I().Add("poop", c_tile, 0);
  GivePlan({"scoop_poop", "plant_tree"});
  A().Perform(nr, 0.25f);
  EXPECT_TRUE(I().InUse(bucket));  // both kept until the manure is made
  EXPECT_TRUE(I().InUse(poop));
  EXPECT_EQ(Run(0.25f), 3);  // 0.8 s: done on the fourth call
  EXPECT_EQ(A().m_planStage[nr], 1);
  EXPECT_EQ(I().Count("emptybucket"), 0);
  EXPECT_EQ(I().Count("poop"), 0);
  EXPECT_GE(I().FindAt("manure", c_tile, false), 0);
  EXPECT_TRUE(HasEvent("Doer collected manure."));
  // Nothing to scoop still makes manure; only a full world stops it.
  FillItems();
  CapturedLog log;
  GivePlan({"scoop_poop"});
  EXPECT_EQ(Run(0.25f), 4);
  EXPECT_TRUE(Abandoned());
}

TEST_F(StepsTest, EatingResetsHungerAndReturnsToTheAssignment) {
  CapturedLog log;
  const int fruit = Carry("fruit", 0);
  A().m_assi[nr] = 5;
  A().m_prva[nr] = 2;
  A().m_timeSinceEating[nr] = 500.0f;
  A().m_timeUntilPoop[nr] = 0.0f;
  GivePlan({"eat_fruit", "walk_to_coast"});
  A().Perform(nr, 0.5f);
  EXPECT_FALSE(I().InUse(fruit));  // eaten on the first call
  EXPECT_EQ(CountPosts("soundeffect name=apple gain=5 tile=10"), 1);
  EXPECT_EQ(Run(0.5f), 3);  // 1.7 s: done on the fourth call
  EXPECT_EQ(A().m_planStage[nr], 1);
  EXPECT_EQ(A().m_timeSinceEating[nr], 0.0f);
  EXPECT_GE(A().m_timeUntilPoop[nr], 10.0f);
  EXPECT_LE(A().m_timeUntilPoop[nr], 41.0f);
  EXPECT_TRUE(HasEvent("Doer ate fruit."));
  EXPECT_EQ(A().m_assi[nr], 2);
  EXPECT_TRUE(log.Has("Doer is back on assignment plant trees"));
  // Without a fruit hunger is reset all the same; a pending poop timer stays.
  A().m_timeSinceEating[nr] = 300.0f;
  A().m_timeUntilPoop[nr] = 5.0f;
  GivePlan({"eat_fruit"});
  EXPECT_EQ(Run(0.5f), 4);
  EXPECT_EQ(A().m_planStage[nr], 1);
  EXPECT_EQ(A().m_timeSinceEating[nr], 0.0f);
  EXPECT_EQ(A().m_timeUntilPoop[nr], 5.0f);
  EXPECT_EQ(CountPosts("soundeffect name=apple gain=5 tile=10"), 1);
}

TEST_F(StepsTest, FarmingStepsNeedTheirToolsAndPlaces) {
  CapturedLog log;
  // Harvest: scythe and grain farm, 7 s.
  GivePlan({"harvest"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(log.Has("Doer can't harvest without a scythe!"));
  Carry("scythe");
  GivePlan({"harvest"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(log.Has("Doer can't harvest when not on a grainfarm!"));
  G().AttribsSet(c_tile, AT_GRAINFARM);
  GivePlan({"harvest", "x"});
  EXPECT_EQ(Run(0.5f), 14);
  EXPECT_EQ(A().m_planStage[nr], 1);
  EXPECT_TRUE(HasEvent("Doer harvested grain."));
  // Milling: at a watermill with grain, 5 s; the grain becomes flour.
  GivePlan({"millgrain"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(log.Has("Doer can't mill grain when not on a mill site!"));
  G().AttribsSet(c_tile, AT_WATERMILL);
  GivePlan({"millgrain"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(log.Has("Actor Doer has no grain to mill."));
  const int grain = I().FindAt("grain", c_tile, false);
  I().m_carr[grain] = nr;
  GivePlan({"millgrain", "x"});
  EXPECT_EQ(Run(0.5f), 10);
  EXPECT_EQ(A().m_planStage[nr], 1);
  EXPECT_EQ(I().Count("grain"), 0);
  EXPECT_GE(I().FindAt("flour", c_tile, false), 0);
  EXPECT_TRUE(HasEvent("Doer milled grain."));
  // Filling a bucket at a well, 5 s, with the splash on the first call.
  GivePlan({"fill_bucket"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(log.Has("Doer can't fill bucket when not near a well!"));
  G().AttribsSet(c_tile, AT_WATERWELL);
  Carry("emptybucket", 0);
  GivePlan({"fill_bucket", "x"});
  EXPECT_EQ(Run(0.5f), 10);
  EXPECT_EQ(I().Count("emptybucket"), 0);
  const int water = I().FindAt("water", c_tile, false);
  ASSERT_GE(water, 0);
  EXPECT_EQ(CountPosts("soundeffect name=waterpickup gain=5.0 tile=10"), 1);
  EXPECT_TRUE(HasEvent("Doer filled bucket with water."));
  // Irrigating a grain farm, 0.8 s: the water goes, the bucket comes back.
  I().m_carr[water] = nr;
  G().AttribsClear(c_tile, AT_GRAINFARM);
  GivePlan({"irrigate"});
  EXPECT_EQ(Run(0.25f), 1);
  EXPECT_TRUE(log.Has("Doer can't irrigate when not at grain farm."));
  G().AttribsSet(c_tile, AT_GRAINFARM);
  GivePlan({"irrigate", "x"});
  EXPECT_EQ(Run(0.25f), 4);
  EXPECT_EQ(A().m_planStage[nr], 1);
  EXPECT_EQ(I().Count("water"), 0);
  EXPECT_GE(I().FindAt("emptybucket", c_tile, false), 0);
  EXPECT_TRUE(HasEvent("Doer irrigated grain farm."));
}
