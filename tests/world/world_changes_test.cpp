// The world's change count: every event that can make a failing goal reachable again counts.
#include <gtest/gtest.h>

#include <functional>

#include "parts_fixture.h"
#include "perform_fixture.h"
#include "test_support.h"
#include "world/actors/perform/actors_perform.h"
#include "world/parts/trees.h"
#include "world/planet/globe_construct.h"
#include "world/wld.h"

namespace {

constexpr float c_dt = 1.0f / 240.0f;

}  // namespace

// A bare level planet of 2432 tiles (big enough for the fruit pass to draw tiles) with one
// character; each row of the table below makes one kind of event happen there.
class WorldChanges : public PerformTest {
 protected:
  static constexpr int c_tile = 20;
  void SetUp() override {
    world = BareWorld(5);
    ASSERT_TRUE(world);
    world->m_outbox = &outbox;
    nr = A().Add("Doer", c_tile);
    ASSERT_EQ(nr, 0);
  }
  // Performs the one step until the plan moves on or is given up; true when it moved on.
  bool Step(const char* step) {
    GivePlan({step, "saw"});
    return PerformUntilMoved(c_dt, 240 * 20) > 0 && A().m_planActive[nr] && A().m_planStage[nr] == 1;
  }
  Buildings& B() { return world->buildings; }
};

TEST_F(WorldChanges, EveryEventThatCanMakeAGoalReachableCounts) {
  struct Row {
    const char* event;
    std::function<bool()> happen;  // false when the event did not come about
  };
  const int t = c_tile;
  const Row rows[] = {
      {"material delivered",
       [this, t]() {
         G().AttribsSet(t, AT_WOODCONSTRUCTION);
         Carry("lumber", IS_MATERIAL);
         return Step("deliver_lumber") && I().CountAt("lumber", t, false) == 1;
       }},
      {"material stocked",
       [this, t]() {
         Carry("stone", IS_MATERIAL);
         return Step("stock_stone") && I().CountAt("stone", t, false) == 1;
       }},
      {"tool dropped",
       [this, t]() {
         Carry("woodaxe");
         return Step("drop_woodaxe") && I().CountAt("woodaxe", t, false) == 1;
       }},
      {"site staked",
       [this]() {
         Carry("roadmarker", 0);
         return Step("stake_roadmarker") && I().Count("roadsite") == 1;
       }},
      {"prisoner freed",
       [this, t]() {
         const int prisoner = A().Add("Caged", t);
         A().m_stat[prisoner] |= ST_PRISONER;
         B().Add("cage", t, AT_CAGE);
         return Step("free") && !(A().m_stat[prisoner] & ST_PRISONER);
       }},
      {"chest smashed",
       [this, t]() {
         I().Add("chest", t, IS_CHEST_TOOLS);
         return Step("smash_chest") && I().CountAt("hammer", t, false) == 2;
       }},
      {"bridge piece laid",
       [this, t]() {
         const int water = G().m_nodes[t].neighbours[0];
         G().m_nodes[water].type = TP_WATR;
         return G().AddBridge(t, water, -1) >= 0;
       }},
      {"deck finished",
       [this, t]() {
         G().StartDeck(t, 1);
         G().BuildDeck(t);
         return B().Find(t, "singledeck") >= 0;
       }},
      {"factory finished",
       [this, t]() {
         B().Add("faconstruction", t, AT_WOODCONSTRUCTION | AT_FACTCONSTRUCTION);
         I().Add("sawmillsite", t, 0);
         return G().BuildFactory(t) >= 0;
       }},
      {"road finished",
       [this, t]() {
         B().Add("plconstruction", t, AT_STONECONSTRUCTION | AT_ROADCONSTRUCTION);
         return G().BuildRoad(t) == t;
       }},
      {"fruit grown",
       [this]() {
         Trees& trees = world->trees;
         for (int i = 0; i < trees.m_sz; ++i) trees.m_density[TK_APPL][i] = 1;
         trees.m_timeToFruit = 0.0f;
         FruitRngReset();
         trees.Update(c_dt);
         FruitRngReset();
         return I().Count("fruit") > 0;
       }},
      {"seedling grown",
       [this, t]() {
         Trees& trees = world->trees;
         if (trees.Plant(t) != t) return false;
         trees.m_timeToFruit = 1e9f;  // no fruit pass in between
         for (int i = 0; i < 31 * 4; ++i) trees.Update(0.25f);
         return trees.m_density[TK_SEED][t] == 0;
       }},
      {"claim given back",
       [this, t]() {
         G().AttribsSet(t, AT_UNCLAIMED);
         if (!StepClaim(A(), nr, t, "walk_to_woody")) return false;
         GivePlan({"saw"});
         A().AbandonPlan(nr);
         return (G().Attribs(t) & AT_UNCLAIMED) != 0 && A().m_clai[nr] == -1;
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.event);
    ASSERT_NO_FATAL_FAILURE(SetUp());
    const uint32_t before = world->m_changes;
    ASSERT_TRUE(row.happen()) << "the event did not happen";
    EXPECT_GT(world->m_changes, before) << "not counted as a change";
    TearDown();
  }
}

TEST_F(WorldChanges, GivingUpItsOwnSiteIsNoNewsToTheOneWhoFailed) {
  // A quarrier without a pickaxe fails on the site it holds: the site goes back, which others
  // see as a change, while the quarrier's own failure still counts as a repeat.
  G().AttribsSet(c_tile, AT_UNCLAIMED);
  ASSERT_TRUE(StepClaim(A(), nr, c_tile, "walk_to_rocky"));
  A().m_goalAtom[nr] = "havestone";
  A().m_goalValue[nr] = 1;
  const uint32_t before = world->m_changes;
  GivePlan({"cut_stone"});
  A().Perform(nr, c_dt);
  EXPECT_EQ(A().m_planActive[nr], 0);
  EXPECT_EQ(A().m_failCount[nr], 1);
  EXPECT_NE(G().Attribs(c_tile) & AT_UNCLAIMED, 0u);
  EXPECT_EQ(world->m_changes, before + 1);
  EXPECT_TRUE(A().RepeatsFailure(nr));
}

TEST_F(WorldChanges, HoldingOrRetakingASiteIsNoChange) {
  // Claims that change nothing for anyone else do not cut short anybody's wait.
  G().AttribsSet(c_tile, AT_UNCLAIMED);
  G().AttribsSet(40, AT_UNCLAIMED);
  const uint32_t before = world->m_changes;
  ASSERT_TRUE(StepClaim(A(), nr, c_tile, "walk_to_woody"));
  EXPECT_TRUE(StepClaim(A(), nr, c_tile, "walk_to_woody"));
  G().ClaimGiveBack(40);  // was not claimed
  EXPECT_EQ(world->m_changes, before);
  G().ClaimGiveBack(c_tile);
  EXPECT_EQ(world->m_changes, before + 1);
}
