// Planner vocabulary: registration order and limits, matching, transitions, descriptions.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "captured_log.h"
#include "quarnplan256/goap.h"
#include "test_support.h"
#include "utility/log.h"

namespace {

// Planners are big; keep them off the test's stack like the game does.
ActionPlanner planner;

bool Bit(const AtomBits& b, int i) { return (b.bits[i / 64] >> (i % 64)) & 1; }

// Names must outlive the planner: one static table of generated names.
char generated[300][8];
const char* Name(int i) {
  snprintf(generated[i], sizeof(generated[i]), "a%d", i);
  return generated[i];
}

}  // namespace

TEST(Goap, RegistrationOrderDecidesIndices) {
  ActionPlanner* ap = &planner;
  PlannerClear(ap);
  EXPECT_EQ(ap->numatoms, 0);
  EXPECT_EQ(ap->numactions, 0);
  // The domain table sets cost, then preconditions, then effects; the action is
  // registered before the atoms it names.
  EXPECT_TRUE(PlannerSetCost(ap, "pickup_woodaxe", 2));
  EXPECT_TRUE(PlannerSetPre(ap, "pickup_woodaxe", "nearwoodaxe", true));
  EXPECT_TRUE(PlannerSetPre(ap, "chop_tree", "havewoodaxe", true));
  EXPECT_TRUE(PlannerSetPst(ap, "pickup_woodaxe", "havewoodaxe", true));
  EXPECT_TRUE(PlannerSetPst(ap, "chop_tree", "havelogs", true));
  EXPECT_EQ(ActionIndex(ap, "pickup_woodaxe"), 0);
  EXPECT_EQ(ActionIndex(ap, "chop_tree"), 1);
  EXPECT_EQ(AtomIndex(ap, "nearwoodaxe"), 0);
  EXPECT_EQ(AtomIndex(ap, "havewoodaxe"), 1);
  EXPECT_EQ(AtomIndex(ap, "havelogs"), 2);
  EXPECT_EQ(ap->numatoms, 3);
  EXPECT_EQ(ap->numactions, 2);
  EXPECT_EQ(ap->actioncosts[0], 2);
  EXPECT_EQ(ap->actioncosts[1], 1);  // registered with the default cost
  for (int i = 0; i < 3; ++i)
    for (int b = 0; b < 256; ++b) EXPECT_EQ(Bit(ap->atommasks[i], b), b == i);

  // Names compare by content, not by pointer.
  std::string copy = "chop_tree";
  EXPECT_EQ(ActionIndex(ap, copy.c_str()), 1);
  EXPECT_TRUE(PlannerSetCost(ap, "chop_tree", 5));
  EXPECT_EQ(ap->actioncosts[1], 5);
  const WorldState before = ap->preconds[0];
  EXPECT_TRUE(PlannerSetPre(ap, "pickup_woodaxe", "nearwoodaxe", true));
  EXPECT_EQ(memcmp(&before, &ap->preconds[0], sizeof(before)), 0);

  // The last value set for an effect wins.
  EXPECT_TRUE(PlannerSetPst(ap, "chop_tree", "havewoodaxe", false));
  EXPECT_TRUE(PlannerSetPst(ap, "chop_tree", "havewoodaxe", true));
  EXPECT_TRUE(Bit(ap->postconds[1].values, 1));
  EXPECT_FALSE(Bit(ap->postconds[1].ignore, 1));
  EXPECT_EQ(ap->numatoms, 3);
}

TEST(Goap, NegativeCostIsRefused) {
  ActionPlanner* ap = &planner;
  PlannerClear(ap);
  CapturedLog log;
  EXPECT_FALSE(PlannerSetCost(ap, "haunt", -3));
  EXPECT_TRUE(log.HasLine("Refused negative cost -3 for action 'haunt'."));
  EXPECT_EQ(ap->numactions, 0);
  EXPECT_TRUE(PlannerSetCost(ap, "haunt", 4));
  EXPECT_FALSE(PlannerSetCost(ap, "haunt", -1));
  EXPECT_EQ(ap->actioncosts[0], 4);
  EXPECT_TRUE(PlannerSetCost(ap, "haunt", 0));  // free actions are fine
  EXPECT_EQ(ap->actioncosts[0], 0);
}

TEST(Goap, LimitsOfAtomsAndActions) {
  ActionPlanner* ap = &planner;
  PlannerClear(ap);
  WorldState ws;
  StateClear(&ws);
  for (int i = 0; i < MAXATOMS; ++i) ASSERT_TRUE(StateSet(ap, &ws, Name(i), i % 2 == 1));
  EXPECT_EQ(ap->numatoms, 256);
  EXPECT_TRUE(Bit(ap->atommasks[255], 255));
  EXPECT_TRUE(Bit(ws.values, 255));
  EXPECT_FALSE(Bit(ws.ignore, 255));
  {
    CapturedLog log;
    const WorldState before = ws;
    EXPECT_EQ(AtomIndex(ap, Name(256)), -1);
    EXPECT_FALSE(StateSet(ap, &ws, Name(256), true));
    EXPECT_EQ(memcmp(&before, &ws, sizeof(ws)), 0);
    EXPECT_TRUE(log.HasLine("Exceeded MAXATOMS(256)"));
    EXPECT_FALSE(PlannerSetPre(ap, "act", Name(256), true));
    EXPECT_TRUE(log.HasLine("Failed to set precondition 'a256'."));
    EXPECT_EQ(AtomIndex(ap, Name(7)), 7);  // existing atoms still resolve
  }
  EXPECT_EQ(ap->numatoms, 256);

  PlannerClear(ap);
  for (int i = 0; i < MAXACTIONS; ++i) ASSERT_EQ(ActionIndex(ap, Name(i)), i);
  {
    CapturedLog log;
    EXPECT_EQ(ActionIndex(ap, Name(160)), -1);
    EXPECT_TRUE(log.HasLine("Exceeded MAXACTIONS(160)"));
    EXPECT_FALSE(PlannerSetCost(ap, Name(160), 3));
    EXPECT_FALSE(PlannerSetPst(ap, Name(160), "atom", true));
    EXPECT_TRUE(log.HasLine("Failed to set pstcondition 'atom'."));
  }
  EXPECT_EQ(ap->numactions, 160);
  // The atom of the failed effect was still registered: atoms follow their action.
  EXPECT_EQ(ap->numatoms, 1);
}

TEST(Goap, BadInputIsSafe) {
  ActionPlanner* ap = &planner;
  PlannerClear(ap);
  {
    ExpectAsserts expect;
    EXPECT_FALSE(StateSet(ap, nullptr, "x", true));
    EXPECT_FALSE(PlannerSetPre(nullptr, "act", "x", true));
    EXPECT_TRUE(expect.Saw("ws"));
    EXPECT_TRUE(expect.Saw("ap"));
  }
  CapturedLog log;
  EXPECT_EQ(AtomIndex(ap, nullptr), -1);
  EXPECT_EQ(ActionIndex(ap, nullptr), -1);
  EXPECT_EQ(ap->numatoms, 0);
  char buf[4] = "xyz";
  StateDescribe(ap, WorldState{}, buf, 0);  // no room at all: untouched
  EXPECT_STREQ(buf, "xyz");
}

TEST(Goap, MatchingCaresOnlyAboutTheGoalsAtoms) {
  ActionPlanner* ap = &planner;
  PlannerClear(ap);
  WorldState s, goal;
  StateClear(&s);
  StateClear(&goal);
  StateSet(ap, &s, "a", true);
  StateSet(ap, &s, "b", false);
  EXPECT_TRUE(StateMatches(s, goal));  // a cleared goal matches everything
  StateSet(ap, &goal, "b", false);
  EXPECT_TRUE(StateMatches(s, goal));
  StateSet(ap, &goal, "a", false);
  EXPECT_FALSE(StateMatches(s, goal));
  // The state's own care bits take no part: an ignored atom still compares its value bit.
  WorldState loose;
  StateClear(&loose);
  EXPECT_TRUE(StateMatches(loose, goal));
  StateSet(ap, &goal, "a", true);
  EXPECT_FALSE(StateMatches(loose, goal));
}

TEST(Goap, TransitionsApplyEffectsInActionOrder) {
  ActionPlanner* ap = &planner;
  PlannerClear(ap);
  PlannerSetPst(ap, "first", "x", true);
  PlannerSetCost(ap, "second", 7);
  PlannerSetPst(ap, "second", "y", false);
  PlannerSetPre(ap, "third", "x", true);
  PlannerSetPst(ap, "third", "z", true);
  WorldState from;
  StateClear(&from);
  StateSet(ap, &from, "x", false);
  StateSet(ap, &from, "y", true);
  // z stays ignored in the from state.
  WorldState to[MAXACTIONS];
  const char* names[MAXACTIONS];
  int costs[MAXACTIONS];
  EXPECT_EQ(PlannerTransitions(ap, from, to, names, costs, 0), 0);
  ASSERT_EQ(PlannerTransitions(ap, from, to, names, costs, MAXACTIONS), 2);
  EXPECT_STREQ(names[0], "first");
  EXPECT_STREQ(names[1], "second");
  EXPECT_EQ(costs[0], 1);
  EXPECT_EQ(costs[1], 7);
  char text[64];
  StateDescribe(ap, to[0], text, sizeof(text));
  EXPECT_STREQ(text, "X,Y,");
  StateDescribe(ap, to[1], text, sizeof(text));
  EXPECT_STREQ(text, "x,y,");
  EXPECT_TRUE(Bit(to[0].ignore, 2));  // untouched z stays ignored
  EXPECT_EQ(PlannerTransitions(ap, from, to, names, costs, 1), 1);
  EXPECT_STREQ(names[0], "first");
  // Once x holds, the third action applies and sets z cared.
  ASSERT_EQ(PlannerTransitions(ap, to[0], to, names, costs, MAXACTIONS), 3);
  StateDescribe(ap, to[2], text, sizeof(text));
  EXPECT_STREQ(text, "X,Y,Z,");
}

TEST(Goap, DescribeWritesCaredAtomsAndCutsAtTheBuffer) {
  ActionPlanner* ap = &planner;
  PlannerClear(ap);
  WorldState s;
  StateClear(&s);
  char text[64] = "junk";
  StateDescribe(ap, s, text, sizeof(text));
  EXPECT_STREQ(text, "");
  StateSet(ap, &s, "havewoodaxe", true);
  AtomIndex(ap, "handsfull");
  StateSet(ap, &s, "nearstone", false);
  StateDescribe(ap, s, text, sizeof(text));
  EXPECT_STREQ(text, "HAVEWOODAXE,nearstone,");
  StateDescribe(ap, s, text, 10);
  EXPECT_STREQ(text, "HAVEWOODA");
  StateDescribe(ap, s, text, 13);
  EXPECT_STREQ(text, "HAVEWOODAXE,");
  StateDescribe(ap, s, text, 1);
  EXPECT_STREQ(text, "");
  // Only letters change case; other characters are kept as they are.
  StateSet(ap, &s, "tier_2", true);
  StateDescribe(ap, s, text, sizeof(text));
  EXPECT_STREQ(text, "HAVEWOODAXE,nearstone,TIER_2,");
}
