// Plan requests, action costs and the action-planning service: hand-over, failures, stopping and cancelling.
#include "world/actors/actors_planning.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "test_support.h"
#include "world/actors/action_domain.h"
#include "world/actors/demand.h"
#include "world/actors_fixture.h"
#include "world/parts/items.h"
#include "world/planet_fixture.h"
#include "world/sim/sim_frame.h"

namespace {

int CostOf(const ActionPlanner* ap, const char* action) {
  for (int i = 0; i < ap->numactions; ++i)
    if (!strcmp(ap->actionnames[i], action)) return ap->actioncosts[i];
  ADD_FAILURE() << action << " is not in the planner";
  return -1;
}

// Stops the service at the end of a test whatever happened, so no test leaves it running.
struct ServiceGuard {
  ServiceGuard() { EXPECT_TRUE(PlanningServiceStart()); }
  ~ServiceGuard() {
    if (PlanningServiceRunning()) RunBounded(PlanningServiceStop);
  }
};

TEST(PlanRequests, ActionCostsFromTheSurvey) {
  auto world = StripWorld(8);
  Actors& a = world->actors;
  a.Add("Gahk", 0);
  ActionPlanner* ap = &a.m_planners[0];
  PlannerClear(ap);
  for (const char* name : {"walk_to_sawmill", "walk_to_coast", "walk_to_woodconstruction", "walk_to_cage",
                           "find_woodaxe", "find_pickaxe", "scavenge_stone", "scavenge_lumber", "cut_tree"})
    PlannerSetCost(ap, name, 3);

  int attribDist[32] = {};
  int itemDist[64] = {};
  attribDist[AttribIndex("coast")] = 4;
  attribDist[AttribIndex("woodconstruction")] = 2;
  itemDist[Items::TypeByName("stone")] = 7;
  // A woodaxe lies somewhere on the planet, beyond the survey; no pickaxe lies anywhere.
  world->globe.m_inventories[7] = 1ull << Items::TypeByName("woodaxe");

  EXPECT_EQ(a.SetActionCosts(0, ap, attribDist, itemDist), 8);
  EXPECT_EQ(CostOf(ap, "walk_to_sawmill"), 60);  // not met
  EXPECT_EQ(CostOf(ap, "walk_to_coast"), 4);
  // A site no tally asks for is not worth walking to, however near.
  EXPECT_EQ(CostOf(ap, "walk_to_woodconstruction"), 8888);
  EXPECT_EQ(CostOf(ap, "walk_to_cage"), 8888);
  EXPECT_EQ(CostOf(ap, "find_woodaxe"), 49);    // somewhere, but not met
  EXPECT_EQ(CostOf(ap, "find_pickaxe"), 9999);  // nowhere
  EXPECT_EQ(CostOf(ap, "scavenge_stone"), 7);
  EXPECT_EQ(CostOf(ap, "scavenge_lumber"), 9999);
  EXPECT_EQ(CostOf(ap, "cut_tree"), 3);  // keeps its own cost

  itemDist[Items::TypeByName("woodaxe")] = 2;
  world->demand.m_tallies[DS_WOOD] = 1;
  world->demand.m_tallies[DS_CAGE] = 1;
  a.SetActionCosts(0, ap, attribDist, itemDist);
  EXPECT_EQ(CostOf(ap, "find_woodaxe"), 2);
  EXPECT_EQ(CostOf(ap, "walk_to_woodconstruction"), 2);
  EXPECT_EQ(CostOf(ap, "walk_to_cage"), 60);

  // A name the tables do not know is reported and keeps its cost.
  PlannerSetCost(ap, "walk_to_nowhere", 5);
  PlannerSetCost(ap, "find_unobtainium", 5);
  {
    ExpectAsserts expect;
    EXPECT_EQ(a.SetActionCosts(0, ap, attribDist, itemDist), 8);
    EXPECT_TRUE(expect.Saw("attribnr >= 0"));
    EXPECT_TRUE(expect.Saw("itemtype >= 0"));
  }
  EXPECT_EQ(CostOf(ap, "walk_to_nowhere"), 5);
  EXPECT_EQ(CostOf(ap, "find_unobtainium"), 5);
}

TEST(PlanRequests, SetGoalRequestsOrReportsOncePerGoal) {
  // 1100 tiles in a row: an item at the far end lies beyond the 1024 surveyed tiles.
  auto world = StripWorld(1100);
  Actors& a = world->actors;
  a.Add("Gahk", 2);
  world->items.Add("woodaxe", 7, IS_TOOL);
  world->items.Add("pickaxe", 1090, IS_TOOL);
  world->globe.AttribsStore(4, AT_SAWMILL);
  world->globe.UpdateOccupancy();

  const char* haveLumber[] = {"havelumber"};
  const bool no[] = {false};
  const bool yes[] = {true};
  {
    CapturedLog log;
    EXPECT_EQ(a.SetGoal(0, 1, haveLumber, no), -1);  // carries none already
    EXPECT_TRUE(log.Has("Gahk cannot make a plan, as current state already matches goal state."));
    EXPECT_TRUE(log.Has("goalstate: havelumber,"));
    EXPECT_TRUE(log.Has("currstate: "));
  }
  {
    // Asked again every step while the goal holds: said once only.
    CapturedLog log;
    for (int step = 0; step < 5; ++step) EXPECT_EQ(a.SetGoal(0, 1, haveLumber, no), -1);
    EXPECT_FALSE(log.Has("cannot make a plan"));
    const char* other[] = {"havestone"};
    EXPECT_EQ(a.SetGoal(0, 1, other, no), -1);
    EXPECT_TRUE(log.Has("Gahk cannot make a plan"));
  }
  EXPECT_EQ(a.m_planRequested[0], 0);

  EXPECT_EQ(a.SetGoal(0, 1, haveLumber, yes), 0);
  EXPECT_EQ(a.m_planRequested[0], 1);
  EXPECT_EQ(a.m_planStage[0], -1);
  EXPECT_EQ(a.m_planSize[0], 0);
  const ActionPlanner* ap = &a.m_planners[0];
  EXPECT_EQ(ap->numactions, c_domainActionCount);
  {
    // The character's planner is the domain as ActionsDefine registers it, bar the surveyed costs.
    auto fresh = std::make_unique<ActionPlanner>();
    PlannerClear(fresh.get());
    ActionsDefine(fresh.get());
    EXPECT_EQ(ap->numatoms, fresh->numatoms);
    for (int i = 0; i < fresh->numactions; ++i) {
      EXPECT_STREQ(ap->actionnames[i], fresh->actionnames[i]);
      EXPECT_EQ(memcmp(&ap->preconds[i], &fresh->preconds[i], sizeof(WorldState)), 0) << i;
      EXPECT_EQ(memcmp(&ap->postconds[i], &fresh->postconds[i], sizeof(WorldState)), 0) << i;
    }
  }
  EXPECT_EQ(CostOf(ap, "find_woodaxe"), 6);   // tiles 2..7, the start counting 1
  EXPECT_EQ(CostOf(ap, "find_pickaxe"), 49);  // lies beyond the survey
  EXPECT_EQ(CostOf(ap, "find_hammer"), 9999);
  EXPECT_EQ(CostOf(ap, "walk_to_sawmill"), 3);
  EXPECT_EQ(CostOf(ap, "walk_to_storage"), 60);

  // While the request is pending the states stay as they were handed over.
  const WorldState before = a.m_goalState[0];
  EXPECT_EQ(a.SetGoal(0, 1, haveLumber, no), 0);
  EXPECT_EQ(memcmp(&before, &a.m_goalState[0], sizeof(WorldState)), 0);

  ExpectAsserts expect;
  EXPECT_EQ(a.SetGoal(5, 1, haveLumber, yes), -1);
  EXPECT_TRUE(expect.Saw("nr>=0 && nr<m_cnt"));
}

TEST(PlanningService, RoundRobinOneInFlight) {
  ServiceGuard service;
  auto world = StripWorld(8);
  Actors& a = world->actors;
  for (int i = 0; i < 5; ++i) a.Add("Orc", i);
  for (int i = 0; i < 5; ++i) RequestEasyPlan(a, i);
  a.m_stat[1] |= ST_PRISONER;  // caged
  a.m_stat[2] = 0;             // smitten
  a.m_planRequested[4] = 0;    // nothing asked

  // The rotation starts after the cursor (0): 3 first, then round past the end to 0.
  EXPECT_EQ(a.QueuePlanRequest(0.0f), 3);
  EXPECT_EQ(a.m_planInFlight, 1);
  EXPECT_LE(PlanningQueueCount(), 1);
  const int second = a.QueuePlanRequest(0.0f);
  if (second >= 0) {
    EXPECT_EQ(a.m_planDone[3], 1);  // only after the first answer was taken in
  } else {
    EXPECT_EQ(a.m_planInFlightNr, 3);
  }
  int handed = second;
  ASSERT_TRUE(PollUntil([&] {
    if (handed < 0) handed = a.QueuePlanRequest(0.0f);
    return handed >= 0;
  }));
  EXPECT_EQ(handed, 0);
  ASSERT_TRUE(WaitForAnswer(a));
  EXPECT_EQ(a.QueuePlanRequest(0.0f), -1);  // the caged and the smitten are never handed over

  EXPECT_EQ(a.CollectPlan(3), 1);
  EXPECT_EQ(a.CollectPlan(0), 1);
  for (int n : {0, 3}) {
    EXPECT_EQ(a.m_planSize[n], 1);
    EXPECT_STREQ(a.m_planActions[n][0], "step");
    EXPECT_EQ(a.m_planStage[n], 0);
    EXPECT_FLOAT_EQ(a.m_actionDelay[n], 5.0f);
    EXPECT_TRUE(a.IsExecutingPlan(n));
    EXPECT_EQ(a.m_planRequested[n], 0);
  }
  EXPECT_EQ(a.CollectPlan(0), -1);  // nothing more to collect
  EXPECT_EQ(a.CollectPlan(1), -1);
  EXPECT_EQ(a.m_planInFlight, 0);
}

TEST(PlanningService, FailedPlanWaitsTwoSeconds) {
  ServiceGuard service;
  auto world = StripWorld(8);
  Actors& a = world->actors;
  a.Add("Gahk", 0);
  a.Add("Grenn", 1);
  RequestImpossiblePlan(a, 0);
  EXPECT_EQ(a.QueuePlanRequest(0.0f), 0);
  ASSERT_TRUE(WaitForAnswer(a));
  {
    CapturedLog log;
    EXPECT_LT(a.CollectPlan(0), 0);
    EXPECT_TRUE(log.Has("Gahk failed to make a plan to goal NEVER,"));
  }
  EXPECT_EQ(a.m_planSize[0], -1);
  EXPECT_FLOAT_EQ(a.m_replanDelay[0], 2.0f);
  EXPECT_EQ(a.m_planRequested[0], 0);

  // Goal choice asks again at once; another character is served meanwhile, and the delay runs
  // down in quarter seconds whether or not a request is in flight.
  RequestEasyPlan(a, 0);
  RequestEasyPlan(a, 1);
  EXPECT_EQ(a.QueuePlanRequest(0.25f), 1);
  for (int call = 2; call <= 7; ++call) EXPECT_EQ(a.QueuePlanRequest(0.25f), -1) << call;
  ASSERT_TRUE(WaitForAnswer(a));
  EXPECT_FLOAT_EQ(a.m_replanDelay[0], 0.25f);
  EXPECT_EQ(a.QueuePlanRequest(0.25f), 0);  // 8 x 0.25 s = 2.0 s
  ASSERT_TRUE(WaitForAnswer(a));
  EXPECT_EQ(a.CollectPlan(0), 1);
  EXPECT_EQ(a.CollectPlan(1), 1);

  // A plan of 32 steps fits the plan row; one of 33 does not and counts as a failure.
  RequestChainPlan(a, 0, 33);
  RequestChainPlan(a, 1, 32);
  int served = 0;
  ASSERT_TRUE(PollUntil([&] {
    if (a.QueuePlanRequest(0.0f) >= 0) ++served;
    a.ReapPlanRequest();
    return served == 2 && !a.m_planInFlight;
  }));
  EXPECT_LT(a.CollectPlan(0), 0);
  EXPECT_EQ(a.m_planSize[0], -1);
  EXPECT_FLOAT_EQ(a.m_replanDelay[0], 2.0f);
  EXPECT_EQ(a.CollectPlan(1), 32);
  EXPECT_EQ(a.m_planSize[1], 32);
  EXPECT_STREQ(a.m_planActions[1][31], "c31");
  char text[256];
  a.PlanText(1, text, sizeof(text));
  EXPECT_EQ(strncmp(text, "c0,c1,c2,", 9), 0);
}

TEST(PlanningService, AGoalThatKeepsFailingBacksOff) {
  // "feed orcs" asks for provisions, which no action gives: every try fails at once, without a
  // search. Each failure in a row doubles the wait (2, 4, 8 ... up to 60 s); it is logged once
  // and counted. A change in the world or of the assignment ends the run and the wait.
  ServiceGuard service;
  auto world = StripWorld(8);
  Actors& a = world->actors;
  a.Add("Gahk", 0);
  a.m_assi[0] = 4;
  const char* provisions[] = {"haveprovisions"};
  const bool yes[] = {true};
  CapturedLog log;
  double now = 0.0;
  // Steps of a quarter second as the simulation runs them (goal choice, then the hand-over)
  // until a failure is taken in; the simulated time it came at, or -1.
  auto nextFailure = [&]() -> double {
    for (int step = 0; step < 4 * 200; ++step) {
      if (a.m_planSize[0] <= 0) a.SetGoal(0, 1, provisions, yes);
      if (a.QueuePlanRequest(0.25f) >= 0 && !WaitForAnswer(a)) return -1.0;
      now += 0.25;
      if (a.m_planRequested[0] && a.m_planDone[0]) {
        EXPECT_LT(a.CollectPlan(0), 0);
        return now;
      }
    }
    return -1.0;
  };
  const float waits[] = {2, 4, 8, 16, 32, 60, 60};
  double last = nextFailure();
  ASSERT_GE(last, 0.0);
  for (float wait : waits) {
    SCOPED_TRACE(wait);
    EXPECT_FLOAT_EQ(a.m_replanDelay[0], wait);
    const double at = nextFailure();
    ASSERT_GE(at, 0.0);
    EXPECT_NEAR(at - last, wait, 0.5);
    last = at;
  }
  EXPECT_EQ(a.m_failCount[0], 8);
  EXPECT_EQ(log.CountPrefix("Gahk failed to make a plan to goal"), 1);

  // Material is delivered somewhere: the next try comes after the first failure's wait.
  ++world->m_changes;
  a.SetGoal(0, 1, provisions, yes);
  EXPECT_FLOAT_EQ(a.m_replanDelay[0], 2.0f);
  EXPECT_TRUE(log.Has("Gahk failed 8 times in a row to reach haveprovisions."));
  ASSERT_GE(nextFailure(), 0.0);
  EXPECT_EQ(log.CountPrefix("Gahk failed to make a plan to goal"), 2);
  ASSERT_GE(nextFailure(), 0.0);
  EXPECT_FLOAT_EQ(a.m_replanDelay[0], 4.0f);
  // The player hands out another assignment.
  a.m_assi[0] = 3;
  a.SetGoal(0, 1, provisions, yes);
  EXPECT_FLOAT_EQ(a.m_replanDelay[0], 2.0f);
  EXPECT_EQ(a.m_failCount[0], 0);

  // Only a wanted value no action sets puts a goal out of reach.
  ActionPlanner ap;
  PlannerClear(&ap);
  ActionsDefine(&ap);
  WorldState current, goal;
  StateClear(&current);
  AtomsInit(&ap, &current);
  StateClear(&goal);
  StateSet(&ap, &goal, "haveprovisions", true);
  EXPECT_TRUE(GoalOutOfReach(ap, current, goal));
  StateSet(&ap, &goal, "haveprovisions", false);
  EXPECT_FALSE(GoalOutOfReach(ap, current, goal));
  StateClear(&goal);
  StateSet(&ap, &goal, "havelumber", true);
  EXPECT_FALSE(GoalOutOfReach(ap, current, goal));
}

TEST(PlanningService, StopWhileIdle) {
  ASSERT_TRUE(PlanningServiceStart());
  EXPECT_TRUE(PlanningServiceRunning());
  {
    ExpectAsserts expect;
    EXPECT_FALSE(PlanningServiceStart());
    EXPECT_TRUE(expect.Saw("!planningThread"));
  }
  RunBounded(PlanningServiceStop);
  EXPECT_FALSE(PlanningServiceRunning());
  RunBounded(PlanningServiceStop);  // stopping a stopped service changes nothing
  ASSERT_TRUE(PlanningServiceStart());
  RunBounded(PlanningServiceStop);

  // Without a service nothing is handed over, and the request stays for a later service.
  auto world = StripWorld(8);
  Actors& a = world->actors;
  a.Add("Gahk", 0);
  RequestEasyPlan(a, 0);
  ExpectAsserts expect;
  EXPECT_EQ(a.QueuePlanRequest(0.0f), -1);
  EXPECT_TRUE(expect.Saw("planningThread"));
  EXPECT_EQ(a.m_planInFlight, 0);
  EXPECT_EQ(a.m_planRequested[0], 1);
}

TEST(PlanningService, StopWithRequestsQueued) {
  std::vector<std::unique_ptr<Wld>> worlds;
  ServiceGuard first;
  for (int w = 0; w < 4; ++w) {
    worlds.push_back(StripWorld(8));
    Actors& a = worlds.back()->actors;
    a.Add("Orc", 0);
    if (w == 0)
      RequestSlowPlan(a, 0);  // keeps the worker busy while the others queue
    else
      RequestEasyPlan(a, 0);
    EXPECT_EQ(a.QueuePlanRequest(0.0f), 0);
  }
  RunBounded(PlanningServiceStop);

  // Every request came back, searched or not; the unsearched ones are asked for again.
  int discarded = 0;
  for (auto& world : worlds) {
    Actors& a = world->actors;
    EXPECT_TRUE(a.ReapPlanRequest());
    EXPECT_EQ(a.m_planInFlight, 0);
    EXPECT_EQ(a.m_planRequested[0], 1);
    if (!a.m_planDone[0]) ++discarded;
  }
  EXPECT_EQ(PlanningServedCount() + discarded, 4);

  ServiceGuard second;
  for (auto& world : worlds) {
    Actors& a = world->actors;
    if (a.m_planDone[0]) continue;
    EXPECT_EQ(a.QueuePlanRequest(0.0f), 0);
    ASSERT_TRUE(WaitForAnswer(a));
    EXPECT_EQ(a.m_planDone[0], 1);
  }
  EXPECT_LT(worlds[0]->actors.CollectPlan(0), 0);
  for (int w = 1; w < 4; ++w) EXPECT_EQ(worlds[w]->actors.CollectPlan(0), 1);
}

TEST(PlanningService, CancelWhileInFlight) {
  // Captures from the start: the hook must not change while the worker may be logging.
  CapturedLog log;
  ServiceGuard service;
  auto world = StripWorld(8);
  Actors& a = world->actors;
  a.Add("Gahk", 0);
  a.Add("Grenn", 1);
  RequestSlowPlan(a, 0);
  EXPECT_EQ(a.QueuePlanRequest(0.0f), 0);
  // Smitten while the search runs: the plan is abandoned and the character is no longer active.
  a.AbandonPlan(0);
  a.m_stat[0] &= ~ST_ACTIVE;
  ASSERT_TRUE(WaitForAnswer(a));
  EXPECT_TRUE(log.Has("Gahk: dropped the answer to a cancelled plan request."));
  EXPECT_EQ(a.m_planInFlight, 0);
  EXPECT_EQ(a.m_planSize[0], 0);
  EXPECT_EQ(a.m_planDone[0], 0);
  EXPECT_EQ(a.CollectPlan(0), -1);

  // Planning goes on for the others.
  RequestEasyPlan(a, 1);
  EXPECT_EQ(a.QueuePlanRequest(0.0f), 1);
  ASSERT_TRUE(WaitForAnswer(a));
  EXPECT_EQ(a.CollectPlan(1), 1);

  // Cancelled and asked for anew before the old answer is back: the old answer must not be
  // taken for the new request.
  RequestSlowPlan(a, 1);
  EXPECT_EQ(a.QueuePlanRequest(0.0f), 1);
  a.AbandonPlan(1);
  RequestEasyPlan(a, 1);
  int handed = -1;
  ASSERT_TRUE(PollUntil([&] {
    handed = a.QueuePlanRequest(0.0f);
    return handed == 1;
  }));
  ASSERT_TRUE(WaitForAnswer(a));
  EXPECT_EQ(a.CollectPlan(1), 1);
  EXPECT_STREQ(a.m_planActions[1][0], "step");
}

TEST(PlanningService, LockstepWaitTakesTheAnswerInAndGivesUpOnAStuckRequest) {
  CapturedLog log;
  ServiceGuard service;
  auto world = StripWorld(8);
  Actors& a = world->actors;
  a.Add("Gahk", 0);
  a.Add("Grenn", 1);
  EXPECT_TRUE(PlanningServiceAwait(a, c_lockstepBound));  // nothing in flight
  // A long search and a short one: after the wait each answer is there to take, no polling.
  RequestSlowPlan(a, 0);
  ASSERT_EQ(a.QueuePlanRequest(0.0f), 0);
  EXPECT_TRUE(PlanningServiceAwait(a, c_lockstepBound));
  EXPECT_TRUE(a.ReapPlanRequest());
  RequestEasyPlan(a, 1);
  ASSERT_EQ(a.QueuePlanRequest(0.0f), 1);
  EXPECT_TRUE(PlanningServiceAwait(a, c_lockstepBound));
  EXPECT_TRUE(a.ReapPlanRequest());
  EXPECT_EQ(a.CollectPlan(1), 1);

  // A request the service never answers (it never got it): the wait gives up with a warning, and
  // the next step does not wait for it again.
  PlanRequest* stuck = new PlanRequest();
  stuck->owner = &a;
  stuck->nr = 1;
  stuck->name = a.m_name[1];
  a.m_planRequest = stuck;
  a.m_planInFlightNr = 1;
  a.m_planInFlight = 1;
  EXPECT_FALSE(PlanningServiceAwait(a, 0.05));
  const int warned = log.Find("The planning service has not answered Grenn's request within 0 s");
  EXPECT_GE(warned, 0);
  EXPECT_FALSE(PlanningServiceAwait(a, 0.05));
  EXPECT_EQ(log.Find("has not answered", warned + 1), -1);
  stuck->discarded = 1;
  stuck->done.store(1);
  EXPECT_TRUE(a.ReapPlanRequest());
  EXPECT_EQ(a.m_planInFlight, 0);
}

TEST(PlanningService, WorldDestroyedWhileQueued) {
  ServiceGuard service;
  auto busy = StripWorld(8);
  auto waiting = StripWorld(8);
  busy->actors.Add("Gahk", 0);
  waiting->actors.Add("Grenn", 0);
  RequestSlowPlan(busy->actors, 0);
  RequestEasyPlan(waiting->actors, 0);
  EXPECT_EQ(busy->actors.QueuePlanRequest(0.0f), 0);
  EXPECT_EQ(waiting->actors.QueuePlanRequest(0.0f), 0);
  // Destroying a world takes its requests back from the ring or waits for the one in service;
  // the sanitizers catch a request freed under the worker.
  RunBounded([&] { waiting.reset(); });
  RunBounded([&] { busy.reset(); });
  EXPECT_EQ(PlanningQueueCount(), 0);

  auto next = StripWorld(8);
  next->actors.Add("Gomba", 0);
  RequestEasyPlan(next->actors, 0);
  EXPECT_EQ(next->actors.QueuePlanRequest(0.0f), 0);
  ASSERT_TRUE(WaitForAnswer(next->actors));
  EXPECT_EQ(next->actors.CollectPlan(0), 1);
}

}  // namespace
