// The world's change count: every event that can make a failing goal reachable again counts.
#include <gtest/gtest.h>

#include <functional>

#include "parts_fixture.h"
#include "perform_fixture.h"
#include "test_support.h"
#include "world/actors/actors_interventions.h"
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
    std::function<void()> prepare;  // sets the scene; may itself count changes
    std::function<bool()> happen;   // false when the event did not come about
  };
  const int t = c_tile;
  const auto none = []() {};
  const Row rows[] = {
      {"material delivered",
       [this, t]() {
         G().AttribsSet(t, AT_WOODCONSTRUCTION);
         Carry("lumber", IS_MATERIAL);
       },
       [this, t]() { return Step("deliver_lumber") && I().CountAt("lumber", t, false) == 1; }},
      {"material stocked", [this]() { Carry("stone", IS_MATERIAL); },
       [this, t]() { return Step("stock_stone") && I().CountAt("stone", t, false) == 1; }},
      {"tool dropped", [this]() { Carry("woodaxe"); },
       [this, t]() { return Step("drop_woodaxe") && I().CountAt("woodaxe", t, false) == 1; }},
      {"dropped by the smitten", [this]() { Carry("woodaxe"); },
       [this, t]() { return Smite(A(), nr) == 1 && I().CountAt("woodaxe", t, false) == 1; }},
      {"dropped when told to do other work",
       [this]() {
         Carry("woodaxe");
         const int hero = A().Add("Hero", c_tile);
         A().m_stat[hero] |= ST_CHOSEN;
         A().m_stat[nr] |= ST_ENGAGED;
         world->demand.m_offers[1] = 1;
       },
       [this, t]() {
         Speak(A(), A().FindPlayer(), 0);
         return A().m_assi[nr] == 1 && I().CountAt("woodaxe", t, false) == 1;
       }},
      {"poop dropped",
       [this]() {
         A().m_stat[nr] |= ST_POOPING;
         A().UpdateAnimation(c_dt);
       },
       [this]() {
         for (int i = 0; i < 240 * 4 && !I().Count("poop"); ++i) A().UpdateAnimation(c_dt);
         return I().Count("poop") == 1;
       }},
      {"site staked", [this]() { Carry("roadmarker", 0); },
       [this]() { return Step("stake_roadmarker") && I().Count("roadsite") == 1; }},
      {"prisoner freed",
       [this, t]() {
         const int prisoner = A().Add("Caged", t);
         A().m_stat[prisoner] |= ST_PRISONER;
         B().Add("cage", t, AT_CAGE);
       },
       [this]() { return Step("free") && !(A().m_stat[1] & ST_PRISONER); }},
      {"chest smashed", [this, t]() { I().Add("chest", t, IS_CHEST_TOOLS); },
       [this, t]() { return Step("smash_chest") && I().CountAt("hammer", t, false) == 2; }},
      {"tool forged",
       [this, t]() {
         G().AttribsSet(t, AT_SMITHY);
         Carry("ingot", 0);
       },
       [this, t]() { return Step("forge_hammer") && I().CountAt("hammer", t, false) == 1; }},
      {"ore mined",
       [this, t]() {
         G().AttribsSet(t, AT_IRONDEPOSIT);
         Carry("pickaxe");
       },
       [this, t]() { return Step("mine_ore") && I().CountAt("ironore", t, false) == 1; }},
      {"ingot smelted",
       [this, t]() {
         G().AttribsSet(t, AT_SMELTER);
         Carry("ironore", 0);
       },
       [this, t]() { return Step("smelt") && I().CountAt("ingot", t, false) == 1; }},
      {"timber felled on a tile nobody held",
       [this, t]() {
         Trees& trees = world->trees;
         trees.m_density[TK_PINE][t] = 1;
         trees.m_count[TK_PINE] += 1;
         G().AttribsSet(t, AT_UNCLAIMED);
         Carry("woodaxe");
       },
       [this, t]() { return Step("cut_tree") && I().CountAt("timber", t, false) == 1; }},
      {"stone quarried on a tile nobody held",
       [this, t]() {
         world->rocks.m_formations[t][0] = 2;
         world->rocks.m_counts[2] += 1;
         G().AttribsSet(t, AT_UNCLAIMED);
         Carry("pickaxe");
       },
       [this, t]() { return Step("cut_stone") && I().CountAt("stone", t, false) == 1; }},
      {"full storage freed by a pickup",
       [this, t]() {
         G().AttribsSet(t, AT_FILLEDSTORAGE);
         I().Add("stone", t, IS_MATERIAL);
       },
       [this, t]() { return Step("pickup_stone") && (G().Attribs(t) & AT_STORAGE); }},
      {"slot freed in a full item table",
       [this]() {
         while (I().Add("stone", 90, IS_MATERIAL) >= 0) {
         }
       },
       [this]() { return I().Remove(I().FindAt("stone", 90, false)) >= 0; }},
      {"bridge piece laid", none,
       [this, t]() {
         const int water = G().m_nodes[t].neighbours[0];
         G().m_nodes[water].type = TP_WATR;
         return G().AddBridge(t, water, -1) >= 0;
       }},
      {"deck finished", none,
       [this, t]() {
         G().StartDeck(t, 1);
         G().BuildDeck(t);
         return B().Find(t, "singledeck") >= 0;
       }},
      {"factory finished",
       [this, t]() {
         B().Add("faconstruction", t, AT_WOODCONSTRUCTION | AT_FACTCONSTRUCTION);
         I().Add("sawmillsite", t, 0);
       },
       [this, t]() { return G().BuildFactory(t) >= 0; }},
      {"road finished", [this, t]() { B().Add("plconstruction", t, AT_STONECONSTRUCTION | AT_ROADCONSTRUCTION); },
       [this, t]() { return G().BuildRoad(t) == t; }},
      {"fruit grown",
       [this]() {
         Trees& trees = world->trees;
         for (int i = 0; i < trees.m_sz; ++i) trees.m_density[TK_APPL][i] = 1;
         trees.m_timeToFruit = 0.0f;
         FruitRngReset();
       },
       [this]() {
         world->trees.Update(c_dt);
         FruitRngReset();
         return I().Count("fruit") > 0;
       }},
      {"seedling grown",
       [this, t]() {
         ASSERT_EQ(world->trees.Plant(t), t);
         world->trees.m_timeToFruit = 1e9f;  // no fruit pass in between
       },
       [this, t]() {
         Trees& trees = world->trees;
         for (int i = 0; i < 31 * 4; ++i) trees.Update(0.25f);
         return trees.m_density[TK_SEED][t] == 0;
       }},
      {"claim given back",
       [this, t]() {
         G().AttribsSet(t, AT_UNCLAIMED);
         ASSERT_TRUE(StepClaim(A(), nr, t, "walk_to_woody"));
         GivePlan({"saw"});
       },
       [this, t]() {
         A().AbandonPlan(nr);
         return (G().Attribs(t) & AT_UNCLAIMED) != 0 && A().m_clai[nr] == -1;
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.event);
    ASSERT_NO_FATAL_FAILURE(SetUp());
    row.prepare();
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

TEST_F(WorldChanges, WhatItsOwnStepPutsDownIsNoNewsToTheOneWhoFailed) {
  // Its failure on record, the character drops a tool on the way to failing again: others see the
  // change, while its own retries keep backing off. An item put down otherwise still cuts it short.
  A().m_goalAtom[nr] = "havestone";
  A().m_goalValue[nr] = 1;
  Carry("woodaxe");
  A().NoteFailure(nr, 2.0f);
  ASSERT_TRUE(A().RepeatsFailure(nr));
  const uint32_t before = world->m_changes;
  ASSERT_TRUE(Step("drop_woodaxe"));
  EXPECT_GT(world->m_changes, before);
  EXPECT_TRUE(A().RepeatsFailure(nr));
  ASSERT_GE(I().Add("woodaxe", c_tile + 1, 0), 0);  // put down by anybody else
  EXPECT_FALSE(A().RepeatsFailure(nr));
}

TEST_F(WorldChanges, AWaitForRoomOutlastsOtherAddsUntilTheRoomIsThere) {
  // A chest of three waits in a table with two slots free; a fruit grown meanwhile does not end the
  // wait: each slot freed counts until three are free, and none after that.
  for (int i = I().FreeSlots(); i > 2; --i) ASSERT_GE(I().Add("fruit", 40, 0), 0);
  ASSERT_FALSE(I().HasRoomFor(3));
  ASSERT_GE(I().Add("fruit", 41, 0), 0);
  std::vector<uint32_t> counted;
  for (int k = 0; k < 3; ++k) {
    const uint32_t before = world->m_changes;
    ASSERT_GE(I().Remove(I().FindAt("fruit", 40, false)), 0);
    counted.push_back(world->m_changes - before);
  }
  EXPECT_EQ(counted, (std::vector<uint32_t>{1, 1, 0}));
}
