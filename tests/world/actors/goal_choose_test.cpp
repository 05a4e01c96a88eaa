// Goal choice: every assignment row against the demand tallies and carried items, and who gets no goal.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_support.h"
#include "world/actors/goal_choose.h"
#include "world/actors_fixture.h"
#include "world/planet_fixture.h"
#include "world/wld.h"

namespace {

struct GoalWorld {
  std::unique_ptr<Wld> world = StripWorld(8);
  int settler = world->actors.Add("Orlo", 2);

  void Tallies(std::initializer_list<std::pair<int, int>> slots) {
    for (int& t : world->demand.m_tallies) t = 0;
    for (const auto& s : slots) world->demand.m_tallies[s.first] = s.second;
  }
  void Carry(const char* name) {
    world->items.Add(name, 2, 0);
    ASSERT_GE(world->items.PickUp(name, 2, settler), 0) << name;
  }
  void DropEverything() { world->items.DropAll(settler); }
  // "atom=1", "atom=0", or "none".
  std::string Pick(int assignment) {
    GoalFact goal{"untouched", false};
    if (!GoalPick(*world, settler, assignment, &goal)) {
      EXPECT_STREQ(goal.atom, "untouched") << "a refused pick must leave the output alone";
      return "none";
    }
    return std::string(goal.atom) + (goal.value ? "=1" : "=0");
  }
};

}  // namespace

TEST(GoalChoose, ProcureLumberRows) {
  GoalWorld g;
  // A woody block wins even over lumber in hand.
  g.Carry("lumber");
  g.Tallies({{DS_WOODYBLOCK, 1}, {DS_SAWMILL, 1}, {DS_STORAGE, 3}});
  EXPECT_EQ(g.Pick(0), "woodcleared=1");
  // No sawmill and no wood site: with storage, timber is stocked; without, trees are just cut.
  g.Tallies({{DS_STORAGE, 1}});
  EXPECT_EQ(g.Pick(0), "havetimber=1");
  g.Tallies({});
  EXPECT_EQ(g.Pick(0), "treecut=1");
  // A sawmill or a wood site wants lumber; carrying it means delivering it.
  g.Tallies({{DS_SAWMILL, 1}});
  EXPECT_EQ(g.Pick(0), "havelumber=0");
  g.Tallies({{DS_WOOD, 2}, {DS_STORAGE, 1}});
  EXPECT_EQ(g.Pick(0), "havelumber=0");
  g.DropEverything();
  EXPECT_EQ(g.Pick(0), "havelumber=1");
  g.Carry("timber");
  g.Tallies({{DS_STORAGE, 1}});
  EXPECT_EQ(g.Pick(0), "havetimber=0");
}

TEST(GoalChoose, ProcureStoneRows) {
  GoalWorld g;
  g.Carry("stone");
  g.Tallies({{DS_ROCKYBLOCK, 1}});
  EXPECT_EQ(g.Pick(1), "rockcleared=1");
  g.Tallies({});
  EXPECT_EQ(g.Pick(1), "stonecut=1");
  // Either a stone site or storage makes stone worth carrying somewhere.
  g.Tallies({{DS_STONE, 1}});
  EXPECT_EQ(g.Pick(1), "havestone=0");
  g.Tallies({{DS_STORAGE, 1}});
  EXPECT_EQ(g.Pick(1), "havestone=0");
  g.DropEverything();
  EXPECT_EQ(g.Pick(1), "havestone=1");
}

TEST(GoalChoose, PlantBuildFeedEatFreeRows) {
  GoalWorld g;
  g.Tallies({});
  EXPECT_EQ(g.Pick(2), "havemanure=1");
  g.Carry("manure");
  EXPECT_EQ(g.Pick(2), "havemanure=0");

  // Build stuff: factory, then deck, bridge, road; nothing pending is no goal.
  g.Tallies({{DS_ROADWORK, 1}, {DS_BRIDGEWORK, 1}, {DS_DECKWORK, 1}, {DS_FACTWORK, 1}});
  EXPECT_EQ(g.Pick(3), "factorycomplete=1");
  g.Tallies({{DS_ROADWORK, 1}, {DS_BRIDGEWORK, 1}, {DS_DECKWORK, 1}});
  EXPECT_EQ(g.Pick(3), "deckcomplete=1");
  g.Tallies({{DS_ROADWORK, 1}, {DS_BRIDGEWORK, 1}});
  EXPECT_EQ(g.Pick(3), "bridgecomplete=1");
  g.Tallies({{DS_ROADWORK, 1}});
  EXPECT_EQ(g.Pick(3), "roadcomplete=1");
  g.Tallies({{DS_WOOD, 1}, {DS_STONE, 1}, {DS_STORAGE, 1}});
  EXPECT_EQ(g.Pick(3), "none");

  g.Tallies({{DS_HUNGRY, 2}});
  EXPECT_EQ(g.Pick(4), "haveprovisions=1");
  g.Tallies({});
  EXPECT_EQ(g.Pick(4), "none");

  EXPECT_EQ(g.Pick(5), "fullbelly=1");

  g.Tallies({{DS_CAGE, 1}});
  EXPECT_EQ(g.Pick(6), "prisonerfree=1");
  g.Tallies({});
  EXPECT_EQ(g.Pick(6), "none");

  // No assignment, and numbers no assignment has.
  g.Tallies({{DS_CAGE, 1}, {DS_HUNGRY, 1}, {DS_FACTWORK, 1}});
  EXPECT_EQ(g.Pick(-1), "none");
  EXPECT_EQ(g.Pick(7), "none");
  EXPECT_EQ(g.Pick(-2), "none");
  EXPECT_FALSE(GoalPick(*g.world, g.settler, 5, nullptr));
}

TEST(GoalChoose, SetsTheGoalAndAsksForAPlan) {
  GoalWorld g;
  Actors& a = g.world->actors;
  g.Tallies({});
  EXPECT_TRUE(GoalChoose(g.settler, g.world.get(), 5));
  EXPECT_EQ(a.m_planRequested[g.settler], 1);
  char text[256];
  StateDescribe(&a.m_planners[g.settler], a.m_goalState[g.settler], text, sizeof(text));
  EXPECT_STREQ(text, "FULLBELLY,");

  // Rows without a goal leave the character alone.
  GoalWorld idle;
  idle.Tallies({});
  EXPECT_FALSE(GoalChoose(idle.settler, idle.world.get(), 3));
  EXPECT_FALSE(GoalChoose(idle.settler, idle.world.get(), -1));
  EXPECT_EQ(idle.world->actors.m_planRequested[idle.settler], 0);
}

TEST(GoalChoose, PlayerBadNumbersAndUnknownAssignments) {
  GoalWorld g;
  Actors& a = g.world->actors;
  g.Tallies({{DS_CAGE, 1}});
  // The player's character acts only through the player's own actions.
  const int player = a.Add("Ilvaren", 3);
  a.m_stat[player] |= ST_CHOSEN;
  a.m_assi[player] = 6;
  for (int assignment = -1; assignment < NUMASSIGNMENTS; ++assignment)
    EXPECT_FALSE(GoalChoose(player, g.world.get(), assignment)) << assignment;
  EXPECT_EQ(a.m_planRequested[player], 0);

  CapturedLog log;
  EXPECT_FALSE(GoalChoose(-1, g.world.get(), 5));
  EXPECT_FALSE(GoalChoose(a.m_cnt, g.world.get(), 5));
  EXPECT_FALSE(GoalChoose(0, nullptr, 5));
  EXPECT_TRUE(log.Has("Cannot choose a goal for character"));

  // An assignment from a damaged save is reported once and dropped, not acted on every step.
  a.m_assi[g.settler] = 42;
  EXPECT_FALSE(GoalChoose(g.settler, g.world.get(), a.m_assi[g.settler]));
  EXPECT_TRUE(log.Has("Orlo has unknown assignment 42; it is dropped."));
  EXPECT_EQ(a.m_assi[g.settler], -1);
  EXPECT_EQ(a.m_planRequested[g.settler], 0);
}
