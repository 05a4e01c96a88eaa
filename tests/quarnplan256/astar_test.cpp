// Plan search: pinned plans, failure lines and limits, cross-checked against a plain search.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "captured_log.h"
#include "quarnplan256/astar.h"
#include "test_support.h"
#include "utility/log.h"

namespace {

ActionPlanner planner;

// Every search starts from emptied sets, so test order never changes a result.
class Astar : public ::testing::Test {
 protected:
  void SetUp() override {
    PlanSearchReset();
    PlannerClear(&planner);
    StateClear(&start);
    StateClear(&goal);
  }
  void Pre(const char* act, const char* atom, bool v) { ASSERT_TRUE(PlannerSetPre(&planner, act, atom, v)); }
  void Pst(const char* act, const char* atom, bool v) { ASSERT_TRUE(PlannerSetPst(&planner, act, atom, v)); }
  void Cost(const char* act, int c) { ASSERT_TRUE(PlannerSetCost(&planner, act, c)); }
  void Start(const char* atom, bool v) { ASSERT_TRUE(StateSet(&planner, &start, atom, v)); }
  void Goal(const char* atom, bool v) { ASSERT_TRUE(StateSet(&planner, &goal, atom, v)); }
  int Search(int capacity) {
    size = capacity;
    return PlanSearch(&planner, start, goal, plan, states, &size);
  }
  std::string Steps() const {
    std::string s;
    for (int i = 0; i < size; ++i) s += std::string(i ? " " : "") + plan[i];
    return s;
  }
  WorldState start, goal;
  const char* plan[40];
  WorldState states[40];
  int size = 0;
};

AtomBits OnlyAtoms(std::initializer_list<int> atoms) {
  AtomBits b = {};
  for (int a : atoms) b.bits[a / 64] |= uint64_t(1) << (a % 64);
  return b;
}

}  // namespace

TEST_F(Astar, HashSlotsAndLinearProbing) {
  EXPECT_EQ(NodeSetHash(OnlyAtoms({})), 0);
  EXPECT_EQ(NodeSetHash(OnlyAtoms({0})), 431);
  EXPECT_EQ(NodeSetHash(OnlyAtoms({16})), 431);
  EXPECT_EQ(NodeSetHash(OnlyAtoms({32})), 23);
  EXPECT_EQ(NodeSetHash(OnlyAtoms({0, 32})), 440);
  EXPECT_EQ(NodeSetHash(OnlyAtoms({1})), 862);
  EXPECT_EQ(NodeSetHash(OnlyAtoms({31})), 32768);
  EXPECT_EQ(NodeSetHash(OnlyAtoms({128})), 863);
  EXPECT_EQ(NodeSetHash(OnlyAtoms({224})), 71);
  EXPECT_EQ(NodeSetHash(OnlyAtoms({255})), 32768);

  // Atoms 0 and 16 share slot 431, so the second probes on to 432; identity is by
  // values alone, so a state differing only in care bits is the same node.
  NodeSetInit(CLOSEDSET);
  SearchNode n = {};
  StateClear(&n.state);
  n.state.values = OnlyAtoms({0});
  EXPECT_EQ(NodeSetInsert(CLOSEDSET, n), 431);
  n.state.values = OnlyAtoms({16});
  EXPECT_EQ(NodeSetInsert(CLOSEDSET, n), 432);
  n.state.ignore = AtomBits{};
  EXPECT_EQ(NodeSetInsert(CLOSEDSET, n), -1);
  EXPECT_EQ(NodeSetFind(CLOSEDSET, OnlyAtoms({16})), 432);
  EXPECT_EQ(NodeSetCount(CLOSEDSET), 2);
  // A removed slot is stepped over by finds and reused by inserts.
  EXPECT_EQ(NodeSetRemove(CLOSEDSET, OnlyAtoms({0})), 431);
  EXPECT_EQ(NodeSetFind(CLOSEDSET, OnlyAtoms({16})), 432);
  EXPECT_EQ(NodeSetFind(CLOSEDSET, OnlyAtoms({0})), -1);
  n.state.values = OnlyAtoms({0});
  EXPECT_EQ(NodeSetInsert(CLOSEDSET, n), 431);
  const NodeSetStats st = NodeSetCounters(CLOSEDSET);
  EXPECT_EQ(st.count, 2);
  EXPECT_EQ(st.insertions, 3);
  EXPECT_EQ(st.collisions, 2);  // the second insert and the refused duplicate each stepped over 431

  {
    ExpectAsserts expect;  // a set number that is neither set is refused
    EXPECT_EQ(NodeSetFind(2, OnlyAtoms({0})), -1);
    EXPECT_EQ(NodeSetInsert(-1, n), -1);
    EXPECT_EQ(NodeSetAt(2, 0), nullptr);
    EXPECT_EQ(expect.Count(), 3);
  }

  // A set nothing was inserted into reports nothing; a used one prints one line.
  testing::internal::CaptureStdout();
  NodeSetReport(OPENSET);
  NodeSetReport(CLOSEDSET);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("Set CLOSEDSET (sz 2). Num collisions=2 num clean insertions:3 coll-ratio: 0.666667", 0), 0u);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
}

TEST_F(Astar, StartMatchingGoalNeedsNoSteps) {
  Start("havelogs", true);
  Goal("havelogs", true);
  CapturedLog log;
  EXPECT_EQ(Search(32), 0);
  EXPECT_EQ(size, 0);
  EXPECT_TRUE(log.HasLine("Found plan of size 0 (cost 0) after examining 0 states."));
  for (int i = 0; i < 32; ++i) EXPECT_STREQ(plan[i], "noact");
  // A buffer of no room is enough for an empty plan.
  EXPECT_EQ(Search(0), 0);
  EXPECT_EQ(size, 0);
}

// pickup_axe (1), chop (2), saw (1): the only way to lumber, worked out by hand.
class AstarChain : public Astar {
 protected:
  void SetUp() override {
    Astar::SetUp();
    Cost("pickup_axe", 1);
    Pre("pickup_axe", "haveaxe", false);
    Pst("pickup_axe", "haveaxe", true);
    Cost("chop", 2);
    Pre("chop", "haveaxe", true);
    Pst("chop", "havelogs", true);
    Cost("saw", 1);
    Pre("saw", "havelogs", true);
    Pst("saw", "havelogs", false);
    Pst("saw", "havelumber", true);
    Start("haveaxe", false);
    Start("havelogs", false);
    Start("havelumber", false);
    Goal("havelumber", true);
  }
};

TEST_F(AstarChain, PlanFillsTheFrontOfALargerBuffer) {
  CapturedLog log;
  EXPECT_EQ(Search(32), 4);
  EXPECT_EQ(size, 3);
  EXPECT_EQ(Steps(), "pickup_axe chop saw");
  // Expanded: start, axe, axe+logs; the goal is tested when it is taken, not made.
  EXPECT_TRUE(log.HasLine("Found plan of size 3 (cost 4) after examining 3 states."));
  char text[64];
  StateDescribe(&planner, states[0], text, sizeof(text));
  EXPECT_STREQ(text, "HAVEAXE,havelogs,havelumber,");
  StateDescribe(&planner, states[2], text, sizeof(text));
  EXPECT_STREQ(text, "HAVEAXE,havelogs,HAVELUMBER,");
  // The steps were first written at the end of the buffer and moved down; the
  // entries behind them are not cleared.
  for (int i = 3; i <= 28; ++i) EXPECT_STREQ(plan[i], "noact");
  EXPECT_STREQ(plan[29], "pickup_axe");
  EXPECT_STREQ(plan[30], "chop");
  EXPECT_STREQ(plan[31], "saw");
}

TEST_F(AstarChain, PlanOfExactlyTheBuffersLength) {
  CapturedLog log;
  EXPECT_EQ(Search(3), 4);
  EXPECT_EQ(size, 3);
  EXPECT_EQ(Steps(), "pickup_axe chop saw");
  EXPECT_FALSE(log.HasPrefix("Plan of size"));
}

TEST_F(AstarChain, PlanLongerThanTheBufferIsRefused) {
  // Callers used to get the cost and the full length here and read past their buffer.
  CapturedLog log;
  testing::internal::CaptureStdout();
  EXPECT_EQ(Search(2), -1);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(size, -1);
  EXPECT_TRUE(log.HasLine("Plan of size 3 cannot be returned in buffer of size 2"));
  EXPECT_NE(out.find("ERR Plan of size 3 cannot be returned in buffer of size 2\n"), std::string::npos);
  EXPECT_FALSE(log.HasPrefix("Found plan"));
  EXPECT_STREQ(plan[0], "noact");
  EXPECT_STREQ(plan[1], "noact");
  EXPECT_EQ(Search(0), -1);
  EXPECT_EQ(size, -1);
}

TEST_F(AstarChain, NoPathAndRefusedCosts) {
  Goal("haveaxe", false);  // the axe is never put down
  CapturedLog log;
  EXPECT_EQ(Search(8), -1);
  EXPECT_EQ(size, -1);
  EXPECT_TRUE(log.HasLine("Did not find a path."));
  for (int i = 0; i < 8; ++i) EXPECT_STREQ(plan[i], "noact");

  // A negative cost written straight into the record is refused before searching.
  planner.actioncosts[1] = -5;
  log.Clear();
  EXPECT_EQ(Search(8), -1);
  EXPECT_EQ(size, -1);
  EXPECT_TRUE(log.HasLine("Action 'chop' has negative cost -5; not searching."));

  planner.actioncosts[1] = 2;
  {
    ExpectAsserts expect;
    size = 8;
    EXPECT_EQ(PlanSearch(&planner, start, goal, nullptr, states, &size), -1);
    EXPECT_TRUE(expect.Saw("plan"));
  }
  EXPECT_EQ(PlanSearch(&planner, start, goal, plan, states, nullptr), -1);
}

TEST_F(Astar, EqualFPopsTheEarlierEntry) {
  // tox and toy both give f = 1 + 10; tox's state was inserted first and wins, and its
  // goal step (f 2) is taken before toy's state is ever expanded.
  Pst("tox", "x", true);
  Pst("toy", "y", true);
  Pre("zfromx", "x", true);
  Pst("zfromx", "z", true);
  Pre("zfromy", "y", true);
  Pst("zfromy", "z", true);
  for (const char* a : {"x", "y", "z"}) Start(a, false);
  Goal("z", true);
  CapturedLog log;
  EXPECT_EQ(Search(8), 2);
  EXPECT_EQ(Steps(), "tox zfromx");
  EXPECT_TRUE(log.HasLine("Found plan of size 2 (cost 2) after examining 2 states."));
}

TEST_F(Astar, EqualCostSecondPathIsIgnored) {
  // Both actions reach the same state at the same cost: the first path found stays.
  Pst("first", "g", true);
  Pst("second", "g", true);
  Start("g", false);
  Goal("g", true);
  EXPECT_EQ(Search(8), 1);
  EXPECT_EQ(Steps(), "first");
}

TEST_F(Astar, SwapLastRemovalDecidesAmongEqualF) {
  // From the start: p (f 11), x (f 12), y (f 12), listed in that order. Taking p moves
  // y, the last entry, into p's place at the front, so y beats x on the tie even
  // though x was inserted first. p is a dead end.
  Cost("top", 1);
  Cost("tox", 2);
  Cost("toy", 2);
  for (const char* a : {"top", "tox", "toy"})
    for (const char* atom : {"p", "x", "y"}) Pre(a, atom, false);
  Pst("top", "p", true);
  Pst("tox", "x", true);
  Pst("toy", "y", true);
  Pre("gfromx", "x", true);
  Pst("gfromx", "g", true);
  Pre("gfromy", "y", true);
  Pst("gfromy", "g", true);
  for (const char* a : {"p", "x", "y", "g"}) Start(a, false);
  Goal("g", true);
  CapturedLog log;
  EXPECT_EQ(Search(8), 3);
  EXPECT_EQ(Steps(), "toy gfromy");
  EXPECT_TRUE(log.HasLine("Found plan of size 2 (cost 3) after examining 3 states."));
}

// long (5) reaches m at once; s1 then s2 (1 each) reach it too, but through a state a
// that costs 20 in the heuristic, so m is closed first at g 5. fin (20) goes on to g.
class AstarReopen : public Astar {
 protected:
  void Build(int longCost) {
    Cost("long", longCost);
    Pre("long", "m", false);
    Pre("long", "a", false);
    Pst("long", "m", true);
    Cost("s1", 1);
    Pre("s1", "a", false);
    Pre("s1", "m", false);
    Pst("s1", "a", true);
    Cost("s2", 1);
    Pre("s2", "a", true);
    Pst("s2", "a", false);
    Pst("s2", "m", true);
    Cost("fin", 20);
    Pre("fin", "m", true);
    Pst("fin", "g", true);
    for (const char* x : {"a", "m", "g"}) Start(x, false);
    Goal("g", true);
    Goal("a", false);
  }
};

TEST_F(AstarReopen, CheaperPathReopensAClosedState) {
  // Pops: start (f 10), m by long (f 15), a (f 21; finds m at g 2 < 5 and reopens it),
  // m again (f 12; finds g at 22 < 25 and replaces the open one), g (f 22).
  Build(5);
  CapturedLog log;
  EXPECT_EQ(Search(8), 22);
  EXPECT_EQ(Steps(), "s1 s2 fin");
  EXPECT_TRUE(log.HasLine("Found plan of size 3 (cost 22) after examining 3 states."));
}

TEST_F(AstarReopen, EqualCostDoesNotReopen) {
  // With long costing 2, the path through a reaches m at the same g 2: ignored.
  Build(2);
  EXPECT_EQ(Search(8), 22);
  EXPECT_EQ(Steps(), "long fin");
}

TEST_F(Astar, OpenSetOverflow) {
  // 160 independent set-actions and a goal nothing reaches: each expansion adds up to
  // 159 states, so the open set fills long before the closed one.
  static char names[MAXACTIONS][2][8];
  for (int i = 0; i < MAXACTIONS; ++i) {
    snprintf(names[i][0], 8, "set%d", i);
    snprintf(names[i][1], 8, "b%d", i);
    Pst(names[i][0], names[i][1], true);
    Start(names[i][1], false);
  }
  Goal("unreachable", true);
  CapturedLog log;
  EXPECT_EQ(Search(32), -1);
  EXPECT_EQ(size, 32);  // left as it was
  EXPECT_TRUE(log.HasPrefix("Opened set overflow. numOpened:32768, numClosed:"));
  EXPECT_FALSE(log.HasPrefix("Did not find"));
  EXPECT_STREQ(plan[0], "noact");
}

TEST_F(Astar, ClosedSetOverflow) {
  // 16 toggles span 65536 states; with an unreachable goal every state has h 10 and the
  // search goes breadth-first. Closed reaches 32768 while popping the 8-atom layer, whose
  // remaining open states have f = 8 + 10.
  static char names[16][3][8];
  for (int i = 0; i < 16; ++i) {
    snprintf(names[i][0], 8, "on%d", i);
    snprintf(names[i][1], 8, "off%d", i);
    snprintf(names[i][2], 8, "t%d", i);
    Pst(names[i][0], names[i][2], true);
    Pst(names[i][1], names[i][2], false);
    Start(names[i][2], false);
  }
  Goal("unreachable", true);
  CapturedLog log;
  EXPECT_EQ(Search(32), -1);
  EXPECT_EQ(size, 32);
  EXPECT_TRUE(log.HasPrefix("Closed set overflow. numOpened:"));
  EXPECT_TRUE(log.HasPrefix("Closed set overflow. numOpened:") &&
              log.Line(0).find(", numClosed: 32768") != std::string::npos);
  EXPECT_TRUE(log.HasLine("Searched up to cost 18"));
  // Only the closed set's own counter counts toward the limit.
  EXPECT_EQ(NodeSetCount(CLOSEDSET), 32768);
}

namespace {

// The search as first written, kept plain on purpose: the open list is scanned for the
// lowest f and loses entries by moving the last one into the gap; sets are scanned by
// value. The real search must choose exactly the same nodes.
struct RefNode {
  WorldState state;
  int g, h, f;
  const char* action;
  WorldState parent;
};

bool SameValues(const AtomBits& a, const AtomBits& b) { return memcmp(&a, &b, sizeof(a)) == 0; }

int RefFind(const std::vector<RefNode>& set, const AtomBits& key) {
  for (size_t i = 0; i < set.size(); ++i)
    if (SameValues(set[i].state.values, key)) return int(i);
  return -1;
}

void RefRemove(std::vector<RefNode>& set, int i) {
  set[i] = set.back();
  set.pop_back();
}

int RefH(const ActionPlanner& ap, const WorldState& s, const WorldState& goal) {
  int n = 0;
  for (int i = 0; i < ap.numatoms; ++i) {
    const uint64_t m = uint64_t(1) << (i % 64);
    if (goal.ignore.bits[i / 64] & m) continue;
    if ((s.values.bits[i / 64] ^ goal.values.bits[i / 64]) & m) ++n;
  }
  return 10 * n;
}

struct RefResult {
  int cost = -1;
  int size = 0;
  std::vector<const char*> plan;
  std::vector<WorldState> states;
  bool followedOpenParent = false;
  int reopened = 0;  // closed states taken back for a cheaper path
  int replaced = 0;  // open states replaced by a cheaper path
};

RefResult RefSearch(const ActionPlanner& ap, const WorldState& start, const WorldState& goal, int capacity) {
  RefResult r;
  std::vector<RefNode> open, closed;
  open.push_back(RefNode{start, 0, RefH(ap, start, goal), RefH(ap, start, goal), nullptr, start});
  static WorldState to[MAXACTIONS];
  static const char* names[MAXACTIONS];
  static int costs[MAXACTIONS];
  while (!open.empty()) {
    int best = 0;
    for (size_t i = 1; i < open.size(); ++i)
      if (open[i].f < open[best].f) best = int(i);
    const RefNode cur = open[best];
    RefRemove(open, best);
    if (StateMatches(cur.state, goal)) {
      const RefNode* node = &cur;
      while (node && node->action) {
        r.plan.insert(r.plan.begin(), node->action);
        r.states.insert(r.states.begin(), node->state);
        int k = RefFind(closed, node->parent.values);
        if (k >= 0) {
          node = &closed[k];
        } else {
          k = RefFind(open, node->parent.values);
          node = k >= 0 ? &open[k] : nullptr;
          r.followedOpenParent = true;
        }
      }
      if (int(r.plan.size()) > capacity) {
        r.size = -1;
        return r;
      }
      r.size = int(r.plan.size());
      r.cost = cur.f;
      return r;
    }
    closed.push_back(cur);
    const int n = PlannerTransitions(&ap, cur.state, to, names, costs, MAXACTIONS);
    for (int i = 0; i < n; ++i) {
      const int c = cur.g + costs[i];
      int o = RefFind(open, to[i].values);
      int k = RefFind(closed, to[i].values);
      if (o >= 0 && c < open[o].g) {
        ++r.replaced;
        RefRemove(open, o);
        o = -1;
      }
      if (k >= 0 && c < closed[k].g) {
        ++r.reopened;
        RefRemove(closed, k);
        k = -1;
      }
      if (o == -1 && k == -1) {
        const int h = RefH(ap, to[i], goal);
        open.push_back(RefNode{to[i], c, h, c + h, names[i], cur.state});
      }
    }
  }
  r.size = -1;
  return r;
}

}  // namespace

TEST_F(Astar, MatchesReferenceOnRandomDomains) {
  static char atomNames[12][4];
  static char actionNames[40][4];
  for (int i = 0; i < 12; ++i) snprintf(atomNames[i], 4, "t%c", 'a' + i);
  for (int i = 0; i < 40; ++i) snprintf(actionNames[i], 4, "x%d", i);
  std::mt19937 rng(20261209);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  int found = 0, reopenedParents = 0, cheaperThanReported = 0, reopened = 0, replaced = 0;
  testing::internal::CaptureStdout();  // thousands of "Found plan" lines
  // Mostly small domains; the last few are wider so the open list grows long.
  for (int trial = 0; trial < 1540; ++trial) {
    const bool wide = trial >= 1500;
    PlannerClear(&planner);
    StateClear(&start);
    StateClear(&goal);
    const int atoms = wide ? 12 : pick(2, 10), actions = wide ? 40 : pick(1, 24);
    for (int a = 0; a < atoms; ++a) AtomIndex(&planner, atomNames[a]);
    for (int a = 0; a < actions; ++a) {
      PlannerSetCost(&planner, actionNames[a], pick(0, 6));
      for (int t = 0; t < atoms; ++t) {
        if (pick(0, 9) < 2) PlannerSetPre(&planner, actionNames[a], atomNames[t], pick(0, 1));
        if (pick(0, 9) < 3) PlannerSetPst(&planner, actionNames[a], atomNames[t], pick(0, 1));
      }
    }
    for (int t = 0; t < atoms; ++t) {
      if (pick(0, 9) < 9) StateSet(&planner, &start, atomNames[t], pick(0, 1));
      if (pick(0, 9) < 4) StateSet(&planner, &goal, atomNames[t], pick(0, 1));
    }
    const int capacity = wide ? 32 : pick(0, 10);
    const RefResult ref = RefSearch(planner, start, goal, capacity);
    const int cost = Search(capacity);
    reopened += ref.reopened > 0;
    replaced += ref.replaced > 0;
    ASSERT_EQ(cost, ref.cost) << "trial " << trial;
    ASSERT_EQ(size, ref.size) << "trial " << trial;
    if (cost < 0) continue;
    ++found;
    reopenedParents += ref.followedOpenParent;
    // Every plan must be performable from the start and end at the goal.
    WorldState s = start;
    int spent = 0;
    for (int i = 0; i < size; ++i) {
      ASSERT_EQ(plan[i], ref.plan[i]) << "trial " << trial << " step " << i;
      ASSERT_TRUE(SameValues(states[i].values, ref.states[i].values));
      const int a = ActionIndex(&planner, plan[i]);
      ASSERT_TRUE(StateMatches(s, planner.preconds[a])) << "trial " << trial << " step " << i;
      const WorldState& e = planner.postconds[a];
      for (int k = 0; k < 4; ++k)
        s.values.bits[k] = (e.values.bits[k] & ~e.ignore.bits[k]) | (s.values.bits[k] & e.ignore.bits[k]);
      ASSERT_TRUE(SameValues(s.values, states[i].values));
      spent += planner.actioncosts[a];
    }
    ASSERT_TRUE(StateMatches(s, goal));
    ASSERT_LE(spent, cost);
    cheaperThanReported += spent < cost;
  }
  testing::internal::GetCapturedStdout();
  printf(
      "random domains: %d plans, %d followed a reopened parent, %d cost less than reported, %d searches "
      "reopened closed states, %d replaced open ones\n",
      found, reopenedParents, cheaperThanReported, reopened, replaced);
  EXPECT_GT(found, 300);
  EXPECT_GT(reopened, 20);  // the domains do exercise both kinds of cheaper path
  EXPECT_GT(replaced, 20);
}
