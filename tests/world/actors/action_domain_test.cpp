// Action domain: registration order and costs, the family rules' effects, and whole plans for the game's goals.
#include "world/actors/action_domain.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "captured_log.h"
#include "quarnplan256/astar.h"
#include "test_support.h"
#include "utility/log.h"

namespace {

bool Bit(const AtomBits& b, int i) { return (b.bits[i / 64] >> (i % 64)) & 1; }

int CaredCount(const WorldState& ws) {
  int n = 0;
  for (int i = 0; i < 256; i++) n += Bit(ws.ignore, i) ? 0 : 1;
  return n;
}

// A cleared planner holding the domain; the planner is too big to live on the stack.
std::unique_ptr<ActionPlanner> DomainPlanner() {
  auto ap = std::make_unique<ActionPlanner>();
  PlannerClear(ap.get());
  ActionsDefine(ap.get());
  return ap;
}

// The game's current state before the world adds its facts: every atom false.
WorldState AllFalse(ActionPlanner* ap) {
  WorldState ws;
  StateClear(&ws);
  AtomsInit(ap, &ws);
  return ws;
}

WorldState With(ActionPlanner* ap, WorldState ws, std::initializer_list<const char*> trueAtoms) {
  for (const char* atom : trueAtoms) EXPECT_TRUE(StateSet(ap, &ws, atom, true)) << atom;
  return ws;
}

bool Value(ActionPlanner* ap, const WorldState& ws, const char* atom) {
  int i = AtomIndex(ap, atom);
  EXPECT_GE(i, 0) << atom;
  EXPECT_FALSE(Bit(ws.ignore, i)) << atom << " is not cared about";
  return Bit(ws.values, i);
}

// Applies the named action to the state through the planner's own transition list.
// False when the action does not apply there.
bool Apply(const ActionPlanner* ap, const WorldState& from, const char* action, WorldState* out) {
  WorldState to[MAXACTIONS];
  const char* names[MAXACTIONS];
  int costs[MAXACTIONS];
  int n = PlannerTransitions(ap, from, to, names, costs, MAXACTIONS);
  for (int i = 0; i < n; i++)
    if (strcmp(names[i], action) == 0) {
      *out = to[i];
      return true;
    }
  return false;
}

struct Plan {
  int cost;
  int size;
  std::vector<std::string> steps;
};

Plan Search(const ActionPlanner* ap, const WorldState& start, const WorldState& goal) {
  PlanSearchReset();
  const char* names[32];
  WorldState states[32];
  int size = 32;
  Plan p;
  p.cost = PlanSearch(ap, start, goal, names, states, &size);
  p.size = size;
  for (int i = 0; i < size && i < 32; i++) p.steps.push_back(names[i]);
  return p;
}

WorldState Goal(ActionPlanner* ap, const char* atom, bool value) {
  WorldState goal;
  StateClear(&goal);
  StateSet(ap, &goal, atom, value);
  return goal;
}

using Steps = std::vector<std::string>;

}  // namespace

TEST(ActionDomain, RegistersActionsAndAtomsInTableOrder) {
  auto ap = DomainPlanner();
  EXPECT_EQ(ap->numactions, 113);
  EXPECT_EQ(ap->numatoms, 93);
  EXPECT_EQ(c_domainActionCount, 113);
  EXPECT_EQ(c_domainAtomCount, 93);

  // drop_stone and drop_lumber sit among the other material drops but cost 120.
  EXPECT_EQ(ActionIndex(ap.get(), "drop_stone"), 21);
  EXPECT_EQ(ap->actioncosts[21], 120);
  EXPECT_EQ(ap->actioncosts[ActionIndex(ap.get(), "drop_timber")], 40);
  EXPECT_EQ(ap->actioncosts[ActionIndex(ap.get(), "drop_lumber")], 120);
  EXPECT_EQ(ActionIndex(ap.get(), "walk_to_storage"), 75);
  EXPECT_EQ(ActionIndex(ap.get(), "greet"), 112);
  EXPECT_STREQ(ap->atomnames[44], "terrainisstorage");
  EXPECT_STREQ(ap->atomnames[92], "orcgreeted");
  EXPECT_EQ(ap->numactions, 113);  // the lookups above registered nothing

  // Rows the performing code and the tie-breaks depend on.
  const struct {
    int index;
    const char* name;
    int cost;
  } rows[] = {{0, "pickup_woodaxe", 2},        {20, "pickup_chest", 2},
              {35, "drop_chest", 2},           {36, "stock_stone", 6},
              {39, "drop_woodaxe", 1},         {44, "feed", 12},
              {45, "smash_chest", 10},         {46, "find_woodaxe", 12},
              {52, "find_poop", 12},           {53, "scavenge_stone", 99},
              {56, "walk_to_woody", 12},       {76, "cut_tree", 8},
              {80, "deliver_stone", 4},        {85, "smelt", 7},
              {92, "clear_rockyblock", 12},    {93, "eat_fruit", 6},
              {94, "pickup_sawmillmarker", 2}, {105, "stake_storagemarker", 10},
              {108, "stake_bridgemarker", 10}, {111, "stake_roadmarker", 10}};
  for (const auto& r : rows) {
    EXPECT_STREQ(ap->actionnames[r.index], r.name);
    EXPECT_EQ(ap->actioncosts[r.index], r.cost) << r.name;
  }

  // The atom list the game initialises from is the order the table first names them.
  for (int i = 0; i < 93; i++) EXPECT_STREQ(ap->atomnames[i], DomainAtomName(i)) << i;
  EXPECT_EQ(DomainAtomName(-1), nullptr);
  EXPECT_EQ(DomainAtomName(93), nullptr);

  // Golden totals worked out by hand from the table: the sum of all defined costs,
  // and how many atoms all preconditions and all effects mention (a walk mentions 33,
  // a find 27, find_poop 26, a scavenge 28). A rule that touches one atom too many
  // or too few changes these.
  int costs = 0, pre = 0, pst = 0;
  for (int a = 0; a < ap->numactions; a++) {
    costs += ap->actioncosts[a];
    pre += CaredCount(ap->preconds[a]);
    pst += CaredCount(ap->postconds[a]);
  }
  EXPECT_EQ(costs, 1344);
  EXPECT_EQ(pre, 164);
  EXPECT_EQ(pst, 1125);

  // Defining again on the same planner finds every name and changes nothing.
  auto again = DomainPlanner();
  ActionsDefine(again.get());
  EXPECT_EQ(memcmp(again.get(), ap.get(), sizeof(ActionPlanner)), 0);
}

TEST(ActionDomain, AtomsInitCaresAboutEveryAtomAllFalse) {
  auto ap = DomainPlanner();
  WorldState ws = AllFalse(ap.get());
  EXPECT_EQ(ap->numatoms, 93);
  for (int i = 0; i < 256; i++) {
    EXPECT_FALSE(Bit(ws.values, i)) << i;
    EXPECT_EQ(Bit(ws.ignore, i), i >= 93) << i;
  }

  // On a planner without the actions it registers the same atoms in the same order,
  // so a state built either way means the same.
  auto bare = std::make_unique<ActionPlanner>();
  PlannerClear(bare.get());
  WorldState ws2;
  StateClear(&ws2);
  AtomsInit(bare.get(), &ws2);
  EXPECT_EQ(bare->numatoms, 93);
  EXPECT_EQ(memcmp(&ws, &ws2, sizeof(WorldState)), 0);

  // Null arguments are caller bugs: reported, nothing written.
  ExpectAsserts expect;
  AtomsInit(nullptr, &ws);
  AtomsInit(ap.get(), nullptr);
  ActionsDefine(nullptr);
  EXPECT_EQ(expect.Count(), 3);
}

TEST(ActionDomain, DefiningIntoAFullPlannerFailsSoftly) {
  // A planner already holding 150 foreign actions has room for only 10 of ours: the
  // planner refuses the rest with its own lines and nothing is written out of bounds.
  auto ap = std::make_unique<ActionPlanner>();
  PlannerClear(ap.get());
  static char names[150][16];
  for (int i = 0; i < 150; i++) {
    snprintf(names[i], sizeof(names[i]), "other%d", i);
    ASSERT_TRUE(PlannerSetCost(ap.get(), names[i], 1));
  }
  int summaries = 0;
  {
    CapturedLog log;
    ActionsDefine(ap.get());
    summaries = log.CountPrefix("Action domain did not fit");
  }
  EXPECT_EQ(ap->numactions, MAXACTIONS);
  EXPECT_STREQ(ap->actionnames[150], "pickup_woodaxe");
  EXPECT_STREQ(ap->actionnames[159], "pickup_manure");
  EXPECT_EQ(summaries, 1);
}

// The family rules, each group on a fresh planner so that one failed rule leaves the others checked.
class ActionDomainRules : public testing::Test {
 protected:
  std::unique_ptr<ActionPlanner> ap = DomainPlanner();
  ActionPlanner* p = ap.get();
  const WorldState none = AllFalse(p);
  WorldState out;
};

TEST_F(ActionDomainRules, Pickups) {
  // The chest is picked up by the marker rule, which does not look at havechest;
  // a tool cannot be picked up twice.
  EXPECT_TRUE(Apply(p, With(p, none, {"nearchest", "havechest"}), "pickup_chest", &out));
  EXPECT_TRUE(Value(p, out, "havechest"));
  EXPECT_TRUE(Value(p, out, "handsfull"));
  EXPECT_FALSE(Apply(p, With(p, none, {"nearwoodaxe", "havewoodaxe"}), "pickup_woodaxe", &out));
  EXPECT_TRUE(Apply(p, With(p, none, {"nearwoodaxe"}), "pickup_woodaxe", &out));
  EXPECT_FALSE(Apply(p, With(p, none, {"nearwoodaxe", "handsfull"}), "pickup_woodaxe", &out));
}

TEST_F(ActionDomainRules, SearchesAndWalks) {
  // A search leaves the current terrain and keeps remembering materials; a walk
  // reaches the terrain and forgets the materials.
  WorldState woodyStone = With(p, none, {"terrainiswoody", "nearstone"});
  ASSERT_TRUE(Apply(p, woodyStone, "find_woodaxe", &out));
  EXPECT_FALSE(Value(p, out, "terrainiswoody"));
  EXPECT_TRUE(Value(p, out, "nearwoodaxe"));
  EXPECT_TRUE(Value(p, out, "nearstone"));
  ASSERT_TRUE(Apply(p, With(p, none, {"nearstone"}), "walk_to_woody", &out));
  EXPECT_TRUE(Value(p, out, "terrainiswoody"));
  EXPECT_FALSE(Value(p, out, "nearstone"));
}

TEST_F(ActionDomainRules, WalksKeepWhatLiesNear) {
  // A walk forgets no gem, chest or marker lying near.
  ASSERT_TRUE(Apply(p, With(p, none, {"nearredgem", "nearchest", "nearroadmarker", "terrainisstorage"}),
                    "walk_to_coast", &out));
  EXPECT_TRUE(Value(p, out, "nearredgem"));
  EXPECT_TRUE(Value(p, out, "nearchest"));
  EXPECT_TRUE(Value(p, out, "nearroadmarker"));
  EXPECT_TRUE(Value(p, out, "terrainiscoast"));
  EXPECT_FALSE(Value(p, out, "terrainisstorage"));
}

TEST_F(ActionDomainRules, FoodSearches) {
  // Looking for poop keeps the fruit at hand; looking for fruit forgets the poop.
  ASSERT_TRUE(Apply(p, With(p, none, {"nearfruit"}), "find_poop", &out));
  EXPECT_TRUE(Value(p, out, "nearfruit"));
  EXPECT_TRUE(Value(p, out, "nearpoop"));
  ASSERT_TRUE(Apply(p, With(p, none, {"nearpoop"}), "find_fruit", &out));
  EXPECT_FALSE(Value(p, out, "nearpoop"));
  EXPECT_TRUE(Value(p, out, "nearfruit"));
}

TEST_F(ActionDomainRules, MarkerStakes) {
  // A road marker is staked anywhere that is not urban, even with no terrain known;
  // factory markers need buildable land and bridge markers the coast.
  ASSERT_TRUE(Apply(p, With(p, none, {"haveroadmarker", "handsfull"}), "stake_roadmarker", &out));
  EXPECT_FALSE(Value(p, out, "haveroadmarker"));
  EXPECT_FALSE(Value(p, out, "handsfull"));
  EXPECT_FALSE(Apply(p, With(p, none, {"haveroadmarker", "terrainisurban"}), "stake_roadmarker", &out));
  EXPECT_FALSE(Apply(p, With(p, none, {"havesawmillmarker"}), "stake_sawmillmarker", &out));
  EXPECT_TRUE(Apply(p, With(p, none, {"havesawmillmarker", "terrainisbuildable"}), "stake_sawmillmarker", &out));
  EXPECT_FALSE(Apply(p, With(p, none, {"havebridgemarker", "terrainisbuildable"}), "stake_bridgemarker", &out));
  EXPECT_TRUE(Apply(p, With(p, none, {"havebridgemarker", "terrainiscoast"}), "stake_bridgemarker", &out));
}

TEST_F(ActionDomainRules, Smelting) {
  // Smelting frees the hands and leaves the ore fact as it was; an ingot lies near.
  ASSERT_TRUE(Apply(p, With(p, none, {"terrainissmelter", "haveironore", "handsfull"}), "smelt", &out));
  EXPECT_TRUE(Value(p, out, "haveironore"));
  EXPECT_FALSE(Value(p, out, "handsfull"));
  EXPECT_TRUE(Value(p, out, "nearingot"));
}

TEST_F(ActionDomainRules, Stocking) {
  // Stocking only happens where nobody wants the material.
  WorldState stoneAtStorage = With(p, none, {"havestone", "handsfull", "terrainisstorage"});
  ASSERT_TRUE(Apply(p, stoneAtStorage, "stock_stone", &out));
  EXPECT_TRUE(Value(p, out, "nearstone"));
  EXPECT_FALSE(Value(p, out, "havestone"));
  EXPECT_FALSE(Value(p, out, "handsfull"));
  EXPECT_FALSE(Apply(p, With(p, stoneAtStorage, {"demandforstone"}), "stock_stone", &out));
}

TEST_F(ActionDomainRules, ScavengeEatAndFeed) {
  // Scavenging needs demand; eating settles hunger; feeding keeps the hands full.
  EXPECT_FALSE(Apply(p, none, "scavenge_lumber", &out));
  ASSERT_TRUE(Apply(p, With(p, none, {"demandforlumber"}), "scavenge_lumber", &out));
  EXPECT_TRUE(Value(p, out, "nearlumber"));
  ASSERT_TRUE(Apply(p, With(p, none, {"havefruit", "handsfull", "hungry"}), "eat_fruit", &out));
  EXPECT_FALSE(Value(p, out, "hungry"));
  EXPECT_TRUE(Value(p, out, "fullbelly"));
  EXPECT_FALSE(Value(p, out, "handsfull"));
  ASSERT_TRUE(Apply(p, With(p, none, {"haveprovisions", "handsfull"}), "feed", &out));
  EXPECT_FALSE(Value(p, out, "haveprovisions"));
  EXPECT_TRUE(Value(p, out, "handsfull"));
}

TEST_F(ActionDomainRules, TransitionsFromNothingTrue) {
  // With nothing true, only the searches and walks apply: 6 find_ + find_poop + 20 walk_to_.
  WorldState to[MAXACTIONS];
  const char* names[MAXACTIONS];
  int costs[MAXACTIONS];
  EXPECT_EQ(PlannerTransitions(p, none, to, names, costs, MAXACTIONS), 27);
  // ... plus the road marker stake, which only needs the marker and non-urban ground.
  EXPECT_EQ(PlannerTransitions(p, With(p, none, {"haveroadmarker"}), to, names, costs, MAXACTIONS), 29);
}

// Whole plans with the defined costs (in the game the walks and searches are re-costed
// by distance first). Each is the cheapest plan worked out by hand; the order is forced
// because a walk forgets the tools near and a search forgets the terrain.
TEST(ActionDomain, PlansForTheGamesGoals) {
  auto ap = DomainPlanner();
  ActionPlanner* p = ap.get();
  const WorldState none = AllFalse(p);

  // An axe lies near: take it (2), walk to the woods (12), fell (8) = 22.
  Plan plan = Search(p, With(p, none, {"nearwoodaxe"}), Goal(p, "treecut", true));
  EXPECT_EQ(plan.cost, 22);
  EXPECT_EQ(plan.steps, (Steps{"pickup_woodaxe", "walk_to_woody", "cut_tree"}));

  // No axe known: a search for one (12) comes first, 12 + 22 = 34.
  plan = Search(p, none, Goal(p, "treecut", true));
  EXPECT_EQ(plan.cost, 34);
  EXPECT_EQ(plan.steps, (Steps{"find_woodaxe", "pickup_woodaxe", "walk_to_woody", "cut_tree"}));

  // No axe, a bolt cutter near: take it (2), walk to the cage (12), free (6) = 20.
  plan = Search(p, With(p, none, {"nearboltcutter"}), Goal(p, "prisonerfree", true));
  EXPECT_EQ(plan.cost, 20);
  EXPECT_EQ(plan.steps, (Steps{"pickup_boltcutter", "walk_to_cage", "free"}));

  // Carrying stone with an axe near: the hands must be emptied first. Dropping the
  // stone costs 120, stocking it 12 + 6, handing it to a stone site 12 + 4 (no demand
  // needed). The walk forgets the axe, so it is searched for again: 16 + 12 + 2 + 12 + 8 = 50.
  plan = Search(p, With(p, none, {"havestone", "handsfull", "nearwoodaxe"}), Goal(p, "treecut", true));
  EXPECT_EQ(plan.cost, 50);
  EXPECT_EQ(plan.steps, (Steps{"walk_to_stoneconstruction", "deliver_stone", "find_woodaxe", "pickup_woodaxe",
                               "walk_to_woody", "cut_tree"}));

  // Getting rid of lumber: with a wood site wanting it, deliver (12 + 4 = 16); with no
  // demand, stock it in storage (12 + 6 = 18) rather than drop it (120).
  plan = Search(p, With(p, none, {"havelumber", "handsfull", "demandforlumber"}), Goal(p, "havelumber", false));
  EXPECT_EQ(plan.cost, 16);
  EXPECT_EQ(plan.steps, (Steps{"walk_to_woodconstruction", "deliver_lumber"}));
  plan = Search(p, With(p, none, {"havelumber", "handsfull"}), Goal(p, "havelumber", false));
  EXPECT_EQ(plan.cost, 18);
  EXPECT_EQ(plan.steps, (Steps{"walk_to_storage", "stock_lumber"}));

  // Eating: find fruit (12), take it (2), eat (6) = 20.
  plan = Search(p, none, Goal(p, "fullbelly", true));
  EXPECT_EQ(plan.cost, 20);
  EXPECT_EQ(plan.steps, (Steps{"find_fruit", "pickup_fruit", "eat_fruit"}));

  // An ingot with a pickaxe in hand: walk to the deposit (12), mine (7), put the pickaxe
  // down (1) to take the ore (2), walk to the smelter (12), smelt (7), take the ingot
  // (2) = 43. Smelting frees the hands, which is what lets the ingot be taken.
  plan = Search(p, With(p, none, {"havepickaxe", "handsfull"}), Goal(p, "haveingot", true));
  EXPECT_EQ(plan.cost, 43);
  EXPECT_EQ(plan.steps, (Steps{"walk_to_irondeposit", "mine_ore", "drop_pickaxe", "pickup_ironore", "walk_to_smelter",
                               "smelt", "pickup_ingot"}));

  // Lumber from nothing while a sawmill wants timber: the 9-step chain through felling
  // and sawing (12+2+12+8+1+2+12+7+2 = 58) beats scavenging lumber (99 + 2).
  plan = Search(p, With(p, none, {"demandfortimber", "demandforlumber"}), Goal(p, "havelumber", true));
  EXPECT_EQ(plan.cost, 58);
  EXPECT_EQ(plan.steps, (Steps{"find_woodaxe", "pickup_woodaxe", "walk_to_woody", "cut_tree", "drop_woodaxe",
                               "pickup_timber", "walk_to_sawmill", "saw", "pickup_lumber"}));

  // A state that already holds the goal needs no step.
  plan = Search(p, With(p, none, {"prisonerfree"}), Goal(p, "prisonerfree", true));
  EXPECT_EQ(plan.cost, 0);
  EXPECT_EQ(plan.size, 0);
}

// The main thread defines the domain to list a character's actions while the planning
// thread defines it for a plan request: the first use builds the shared table once and
// every caller gets the same planner.
TEST(ActionDomain, ConcurrentDefineOnSeparatePlanners) {
  constexpr int c_threads = 4;
  std::unique_ptr<ActionPlanner> planners[c_threads];
  for (auto& p : planners) {
    p = std::make_unique<ActionPlanner>();
    PlannerClear(p.get());
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < c_threads; t++) threads.emplace_back([&planners, t] { ActionsDefine(planners[t].get()); });
  for (auto& t : threads) t.join();
  auto reference = DomainPlanner();
  for (auto& p : planners) {
    EXPECT_EQ(p->numactions, 113);
    EXPECT_EQ(memcmp(p.get(), reference.get(), sizeof(ActionPlanner)), 0);
  }
}
