// Performing plan steps: every domain action reaches a handler or gives its plan up, durations, abandoning, walking and
// finding.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "test_support.h"
#include "world/actors/action_domain.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/perform/actors_perform.h"
#include "world/actors_fixture.h"
#include "world/parts/items.h"
#include "world/perform_fixture.h"
#include "world/planet_fixture.h"

class ActorsPerform : public PerformTest {
 protected:
  void SetUp() override {
    world = StripWorld(8);
    nr = world->actors.Add("Doer", 3);
    ASSERT_EQ(nr, 0);
  }
  void ExpectAbandoned() {
    EXPECT_EQ(A().m_planSize[nr], 0);
    EXPECT_EQ(A().m_planActive[nr], 0);
    EXPECT_EQ(A().m_pasz[nr], 0);
    EXPECT_EQ(A().m_replanDelay[nr], 2.0f);
    EXPECT_FALSE(A().IsExecutingPlan(nr));
  }
};

TEST_F(ActorsPerform, EveryDomainActionReachesAHandlerOrGivesUpCleanly) {
  ActionPlanner* ap = new ActionPlanner();
  PlannerClear(ap);
  ActionsDefine(ap);
  ASSERT_EQ(ap->numactions, 113);
  // Every tile carries every attribute, so each walk_to_ step finds itself there.
  for (int t = 0; t < world->globe.m_sz; ++t) world->globe.AttribsStore(t, ~0ull);
  int movedOn = 0, waiting = 0, failed = 0, pending = 0, unhandled = 0;
  std::string movedNames, waitingNames, failedNames, assertedNames;
  for (int i = 0; i < ap->numactions; ++i) {
    const char* name = ap->actionnames[i];
    SCOPED_TRACE(name);
    A().m_pathRequested[nr] = 0;
    A().m_clai[nr] = -1;
    A().m_replanDelay[nr] = 0.0f;
    CapturedLog log;
    GivePlan({name, "saw"});
    const int row = StepHandlerFind(name);
    ExpectAsserts asserts;  // a step may report an impossible state, such as greeting with nobody about
    const int r = A().Perform(nr, 1.0f / 240.0f);
    if (asserts.Count()) assertedNames += std::string(" ") + name;
    if (row >= 0 && stepHandlers[row].call) {
      if (A().m_planActive[nr] && A().m_planStage[nr] == 1) {
        // Moved on at once, as the steps that only ask for a path do.
        ++movedOn;
        movedNames += std::string(" ") + name;
        EXPECT_EQ(r, 1);
        EXPECT_EQ(A().m_planSize[nr], 2);
        EXPECT_FLOAT_EQ(A().m_actionDelay[nr], 5.0f);  // "saw" entered
      } else if (A().m_planActive[nr] && A().m_planStage[nr] == 0) {
        // Still at work on the step: its time is counting down.
        ++waiting;
        waitingNames += std::string(" ") + name;
        EXPECT_EQ(r, 0);
        EXPECT_EQ(A().m_planSize[nr], 2);
      } else {
        // Gave up cleanly: the character holds nothing, so most steps lack their tool or input.
        ++failed;
        failedNames += std::string(" ") + name;
        EXPECT_GE(r, 0);
        ExpectAbandoned();
        EXPECT_TRUE(log.Has("Doer abandons the action plan"));
      }
    } else {
      // Not performable: one error line naming the step, and the plan is given up.
      if (row < 0) {
        ++unhandled;
        EXPECT_TRUE(log.Has((std::string("Failed to handle '") + name + "'").c_str()));
      } else {
        ++pending;
        EXPECT_TRUE(log.Has((std::string("cannot perform '") + name + "' yet").c_str()));
      }
      EXPECT_GE(r, 0);
      ExpectAbandoned();
      EXPECT_TRUE(log.Has("Doer abandons the action plan"));
    }
  }
  // Golden split of the domain, counted once, for a character holding nothing on a tile with
  // every attribute and no trees or rocks: the 20 walk_to_, 7 find_ and 3 scavenge_ steps and
  // the two clearing steps (nothing blocks) move on at once; 64 steps are still counting their
  // time down (greet waits for a partner, reported missing by an assertion); the steps below
  // give up cleanly for want of a tool, material, cage, prisoner, trees, rocks or site; "feed"
  // matches no row.
  EXPECT_EQ(unhandled, 1);
  EXPECT_EQ(pending, 0);
  EXPECT_EQ(movedOn + waiting + failed + pending + unhandled, 113);
  EXPECT_EQ(movedOn, 32) << movedNames;
  EXPECT_EQ(waiting, 64) << waitingNames;
  EXPECT_EQ(failed, 16);
  EXPECT_EQ(failedNames,
            " cut_tree cut_stone free deliver_lumber deliver_stone mine_ore build_bridge build_road build_deck"
            " build_factory stake_sawmillmarker stake_smeltermarker stake_smithymarker stake_storagemarker"
            " stake_bridgemarker stake_roadmarker");
  EXPECT_EQ(assertedNames, " greet");
  EXPECT_EQ(StepHandlerFind("feed"), -1);
  delete ap;
}

TEST_F(ActorsPerform, DispatchFollowsThePrefixOrder) {
  EXPECT_STREQ(stepHandlers[StepHandlerFind("pickup_woodaxe")].handler, "PerformPickup");
  // "saw" takes any name that begins so; "smash_chest" is the last row, "smelt" before "smash".
  EXPECT_STREQ(stepHandlers[StepHandlerFind("sawdust")].handler, "PerformSaw");
  EXPECT_STREQ(stepHandlers[StepHandlerFind("smelt")].handler, "PerformSmelt");
  EXPECT_STREQ(stepHandlers[StepHandlerFind("smash_chest")].handler, "PerformSmashChest");
  EXPECT_STREQ(stepHandlers[StepHandlerFind("freedom")].handler, "PerformFree");
  EXPECT_STREQ(stepHandlers[StepHandlerFind("cut_stone")].handler, "PerformCutStone");
  EXPECT_EQ(StepHandlerFind("smash"), -1);
  EXPECT_EQ(StepHandlerFind(""), -1);
  EXPECT_EQ(StepHandlerFind(nullptr), -1);
}

TEST_F(ActorsPerform, DurationsFollowTheFirstMatchingRule) {
  for (const char* n : {"pickup_woodaxe", "drop_stone", "stock_lumber", "deliver_stone", "stake_roadmarker",
                        "scoop_poop", "irrigate", "reap_stone", "drop"})
    EXPECT_FLOAT_EQ(ActionDuration(n), 0.8f) << n;
  EXPECT_FLOAT_EQ(ActionDuration("eat_fruit"), 1.7f);
  EXPECT_FLOAT_EQ(ActionDuration("smash_chest"), 0.5f);
  EXPECT_FLOAT_EQ(ActionDuration("smash_chessboard"), 0.5f);  // ten characters decide
  EXPECT_FLOAT_EQ(ActionDuration("build_road"), 4.0f);
  for (const char* n : {"cut_tree", "cut_stone", "clear_woodyblock"}) EXPECT_FLOAT_EQ(ActionDuration(n), 8.0f) << n;
  EXPECT_FLOAT_EQ(ActionDuration("free"), 7.0f);
  EXPECT_FLOAT_EQ(ActionDuration("harvest"), 7.0f);
  for (const char* n : {"saw", "greet", "walk_to_coast", "buildbridge", "freedom", "harvester", "cut_trees", "feed"})
    EXPECT_FLOAT_EQ(ActionDuration(n), 5.0f) << n;
  // Entering a step sets its duration; stepping back keeps the delay.
  GivePlan({"walk_to_coast", "pickup_woodaxe", "cut_tree"});
  EXPECT_FLOAT_EQ(A().m_actionDelay[nr], 5.0f);
  EXPECT_EQ(A().NextPlanStep(nr), 1);
  EXPECT_FLOAT_EQ(A().m_actionDelay[nr], 0.8f);
  EXPECT_EQ(A().NextPlanStep(nr), 2);
  EXPECT_FLOAT_EQ(A().m_actionDelay[nr], 8.0f);
  EXPECT_EQ(A().PrevPlanStep(nr), 1);
  EXPECT_FLOAT_EQ(A().m_actionDelay[nr], 8.0f);
  EXPECT_EQ(A().NextPlanStep(nr), 2);
  EXPECT_EQ(A().NextPlanStep(nr), 3);  // used up
  EXPECT_FLOAT_EQ(A().m_actionDelay[nr], 8.0f);
  // Stepping back from the first step is refused: the plan stays performable.
  A().m_planStage[nr] = 0;
  {
    ExpectAsserts expect;
    EXPECT_EQ(A().PrevPlanStep(nr), 0);
    EXPECT_TRUE(expect.Saw("m_planStage[nr]"));
  }
}

TEST_F(ActorsPerform, NothingIsPerformedOutsideAPlan) {
  CapturedLog log;
  GivePlan({"feed"});
  A().m_planStage[nr] = 1;  // used up
  EXPECT_EQ(A().Perform(nr, 0.1f), -1);
  EXPECT_FALSE(log.Has("Failed to handle"));
  EXPECT_EQ(A().m_planSize[nr], 1);
  A().m_planStage[nr] = 0;
  A().m_planActive[nr] = 0;
  EXPECT_EQ(A().Perform(nr, 0.1f), -1);
  A().m_planActive[nr] = 1;
  A().m_planSize[nr] = 0;
  EXPECT_EQ(A().Perform(nr, 0.1f), -1);
  A().m_planSize[nr] = -1;
  EXPECT_EQ(A().Perform(nr, 0.1f), -1);
  EXPECT_EQ(A().Perform(-1, 0.1f), -1);
  EXPECT_EQ(A().Perform(7, 0.1f), -1);
  EXPECT_FALSE(log.Has("Failed to handle"));
  // A stage before the first step is an impossible state, reported, and nothing is performed.
  A().m_planSize[nr] = 1;
  A().m_planStage[nr] = -1;
  ExpectAsserts expect;
  EXPECT_EQ(A().Perform(nr, 0.1f), -1);
  EXPECT_EQ(expect.Count(), 1);
  EXPECT_EQ(A().m_planSize[nr], 1);
}

TEST_F(ActorsPerform, AFailedStepReleasesTheSiteStopsPavingAndReturnsFromEating) {
  Globe& g = world->globe;
  CapturedLog log;
  g.AttribsStore(5, AT_WOODY);  // claimed: unclaimed bit clear
  A().m_clai[nr] = 5;
  A().m_assi[nr] = 5;
  A().m_prva[nr] = 2;
  A().m_timeSinceEating[nr] = 950.0f;
  A().m_stat[nr] |= ST_PAVING;
  A().m_pasz[nr] = 4;
  RequestPath(A(), nr, 6, 0, nullptr);
  GivePlan({"cut_tree", "drop_timber"});
  A().Perform(nr, 1.0f / 240.0f);
  ExpectAbandoned();
  EXPECT_EQ(A().m_clai[nr], -1);
  EXPECT_EQ(g.Attribs(5), static_cast<uint64_t>(AT_WOODY | AT_UNCLAIMED));
  EXPECT_TRUE(log.Has("Doer relinquished claim on tile 5."));
  EXPECT_TRUE(log.Has("Doer abandons the action plan cut_tree,drop_timber"));
  EXPECT_EQ(A().m_assi[nr], 2);
  EXPECT_EQ(A().m_timeSinceEating[nr], 0.0f);
  // The road that the plan was about to lay out is not laid out by a later path.
  EXPECT_FALSE(A().m_stat[nr] & ST_PAVING);
  EXPECT_EQ(A().m_pathRequested[nr], 0);
  // The stage stays where it failed; the character asks again 2 seconds later.
  EXPECT_EQ(A().m_planStage[nr], 0);
}

TEST_F(ActorsPerform, WalkingToATraitClaimsFreeSitesOrAsksForAPath) {
  Globe& g = world->globe;
  CapturedLog log;
  // On a woody tile that someone else claimed: a path to a free one is asked for.
  g.AttribsStore(3, AT_WOODY);
  GivePlan({"walk_to_woody", "cut_tree"});
  EXPECT_EQ(A().Perform(nr, 0.1f), 1);
  EXPECT_EQ(A().m_pathRequested[nr], 1);
  EXPECT_EQ(A().m_pathGoal[nr].tile, -1);
  EXPECT_EQ(A().m_pathGoal[nr].attribMask, static_cast<uint64_t>(AT_WOODY | AT_UNCLAIMED));
  EXPECT_EQ(A().m_pathGoal[nr].itemName, nullptr);
  EXPECT_TRUE(log.Has("Doer will request a path planning for walk_to_woody"));
  EXPECT_FLOAT_EQ(A().m_actionDelay[nr], 8.0f);
  // On a free woody tile: claimed at once, no path.
  A().m_pathRequested[nr] = 0;
  g.AttribsStore(3, AT_WOODY | AT_UNCLAIMED);
  GivePlan({"walk_to_woody", "cut_tree"});
  EXPECT_EQ(A().Perform(nr, 0.1f), 1);
  EXPECT_EQ(A().m_pathRequested[nr], 0);
  EXPECT_EQ(A().m_clai[nr], 3);
  EXPECT_EQ(g.Attribs(3), static_cast<uint64_t>(AT_WOODY));
  EXPECT_TRUE(log.Has("Doer is already at woody, skipping walk_to_woody"));
  EXPECT_TRUE(log.Has("Doer claimed constuction site at tile 3 for walk_to_woody"));
  // A second site while holding one: the first goes back (one site per character).
  A().m_loca[nr] = 4;
  g.AttribsStore(4, AT_ROCKYBLOCK | AT_UNCLAIMED);
  GivePlan({"walk_to_rockyblock"});
  EXPECT_EQ(A().Perform(nr, 0.1f), 1);
  EXPECT_EQ(A().m_clai[nr], 4);
  EXPECT_EQ(g.Attribs(3), static_cast<uint64_t>(AT_WOODY | AT_UNCLAIMED));
  EXPECT_TRUE(log.Has("Doer relinquished claim on tile 3."));
  // The coast is no site: no claim, no path.
  A().m_clai[nr] = -1;
  g.AttribsStore(4, AT_COAST);
  GivePlan({"walk_to_coast"});
  EXPECT_EQ(A().Perform(nr, 0.1f), 1);
  EXPECT_EQ(A().m_clai[nr], -1);
  EXPECT_EQ(A().m_pathRequested[nr], 0);
  EXPECT_EQ(g.Attribs(4), static_cast<uint64_t>(AT_COAST));
  // A trait that is no attribute is reported and skipped.
  {
    ExpectAsserts expect;
    GivePlan({"walk_to_nowhere", "saw"});
    EXPECT_EQ(A().Perform(nr, 0.1f), 1);
    EXPECT_TRUE(expect.Saw("goalattribs"));
    EXPECT_EQ(A().m_pathRequested[nr], 0);
  }
}

namespace {

// Stands in for the pathing thread: claims the site in the moment between the walk step reading the
// tile's bits and taking the claim.
Globe* claimedUnderfoot = nullptr;
void ClaimWhenSkipping(const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof(line), format, args);
  va_end(args);
  if (claimedUnderfoot && strstr(line, "is already at")) claimedUnderfoot->ClaimTake(3);
}

}  // namespace

TEST_F(ActorsPerform, ASiteClaimedWhileItIsTakenSendsTheWalkerOnForAnother) {
  Globe& g = world->globe;
  g.AttribsStore(3, AT_WOODY | AT_UNCLAIMED);
  GivePlan({"walk_to_woody", "cut_tree"});
  claimedUnderfoot = &g;
  consoleHook = ClaimWhenSkipping;
  const int stage = A().Perform(nr, 0.1f);
  consoleHook = nullptr;
  claimedUnderfoot = nullptr;
  EXPECT_EQ(stage, 1);
  // The other's claim stands, and a path to a free site is asked for.
  EXPECT_EQ(A().m_clai[nr], -1);
  EXPECT_EQ(g.Attribs(3), static_cast<uint64_t>(AT_WOODY));
  EXPECT_EQ(A().m_pathRequested[nr], 1);
  EXPECT_EQ(A().m_pathGoal[nr].attribMask, static_cast<uint64_t>(AT_WOODY | AT_UNCLAIMED));
}

TEST_F(ActorsPerform, FindingAndScavengingAlwaysAskForAPathAndMoveOn) {
  GivePlan({"find_stone", "scavenge_lumber", "find_unobtainium"});
  // Nothing lies anywhere; the step moves on all the same, and the path search will tell.
  EXPECT_EQ(A().Perform(nr, 0.1f), 1);
  EXPECT_EQ(A().m_pathRequested[nr], 1);
  EXPECT_EQ(A().m_pathGoal[nr].attribMask, 0u);
  EXPECT_EQ(A().m_pathGoal[nr].itemName, itemTypes[Items::TypeByName("stone")].name);
  A().m_pathRequested[nr] = 0;
  EXPECT_EQ(A().Perform(nr, 0.1f), 2);
  EXPECT_STREQ(A().m_pathGoal[nr].itemName, "lumber");
  // A name that is no item type cannot be looked for: the plan is given up.
  A().m_pathRequested[nr] = 0;
  CapturedLog log;
  A().Perform(nr, 0.1f);
  EXPECT_TRUE(log.Has("Doer cannot look for 'unobtainium': not an item type."));
  ExpectAbandoned();
}
