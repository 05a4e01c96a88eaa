// The characters' step with both services running: who is decided for and who is moved, walking across a border, plans
// ending.
#include <gtest/gtest.h>

#include <cmath>

#include "test_support.h"
#include "world/actors/actors_move.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/actors_planning.h"
#include "world/actors_fixture.h"
#include "world/move_fixture.h"
#include "world/sim/sim_actors.h"

class SimActorsService : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(PlanningServiceStart());
    ASSERT_TRUE(PathingServiceStart());
    world = LandPlanet(&out);
  }
  void TearDown() override {
    // The world lets go of its requests before the services end.
    world.reset();
    PathingServiceStop();
    PlanningServiceStop();
  }
  Actors& A() { return world->actors; }
  Globe& G() { return world->globe; }
  int Neighbour(int tile, int k = 0) const { return world->globe.m_nodes[tile].neighbours[k]; }
  void Step(int steps = 1) {
    for (int i = 0; i < steps; ++i) {
      G().UpdateOccupancy();
      SimActorsUpdate(&out, c_dt, world.get());
    }
  }
  Packet out;
  std::unique_ptr<Wld> world;
};

TEST_F(SimActorsService, PassesDecideAndMoveByStatus) {
  Actors& a = A();
  const int prisoner = a.Add("Caged", 20);
  const int falling = a.Add("Faller", 30);
  const int climbing = a.Add("Climber", 40);
  const int standing = a.Add("Stander", 50);
  for (int n : {prisoner, falling, climbing, standing}) {
    a.m_assi[n] = 5;  // "eat some fruit" always gives a goal
    a.m_tgtl[n] = Neighbour(a.m_loca[n]);
  }
  a.m_stat[prisoner] |= ST_PRISONER;
  a.m_stat[falling] |= ST_FALLING;
  a.m_trfs[falling].SetTranslation(a.m_trfs[falling].GetTranslation() * 1.5f);
  a.m_stat[climbing] |= ST_CLIMBING;
  a.m_tgtl[standing] = a.m_loca[standing];
  a.m_planSize[standing] = 1;  // keeps it from choosing a goal
  a.m_planActions[standing][0] = "saw";
  a.m_planStage[standing] = 1;
  const Vec3 v{0.01f, 0.02f, -0.03f};
  a.m_lvel[standing] = v;
  a.m_avel[standing] = 2.0f;
  a.m_aacc[standing] = 1.0f;
  const Vec3 prisonerAt = a.m_trfs[prisoner].GetTranslation();

  Step();
  // Caged: neither decided for nor moved.
  EXPECT_EQ(a.m_planRequested[prisoner], 0);
  EXPECT_EQ(a.m_lacc[prisoner], Vec3{});
  EXPECT_EQ(a.m_trfs[prisoner].GetTranslation(), prisonerAt);
  // Falling: decided for (a goal, so a plan request), but not steered.
  EXPECT_EQ(a.m_planRequested[falling], 1);
  EXPECT_EQ(a.m_lacc[falling], Vec3{});
  EXPECT_EQ(a.m_aacc[falling], 0.0f);
  // Climbing: steered toward its target, but not decided for.
  EXPECT_EQ(a.m_planRequested[climbing], 0);
  EXPECT_GT(a.m_lacc[climbing].Length(), 0.0f);
  // Standing on its target: (1 - 5 dt) of the velocity is kept, the turning stops at once.
  const float keep = 1.0f - 5.0f * c_dt;  // 0.979 at 1/240 s
  EXPECT_NEAR(a.m_lvel[standing].x, v.x * keep, 1e-7f);
  EXPECT_NEAR(a.m_lvel[standing].y, v.y * keep, 1e-7f);
  EXPECT_NEAR(a.m_lvel[standing].z, v.z * keep, 1e-7f);
  EXPECT_EQ(a.m_avel[standing], 0.0f);
  EXPECT_EQ(a.m_aacc[standing], 0.0f);
  EXPECT_EQ(a.m_lacc[standing], Vec3{});
}

TEST_F(SimActorsService, WalkingOverABorderKeepsTheHeightContinuous) {
  Actors& a = A();
  const int n = a.Add("Walker", c_hexTile);
  const int target = Neighbour(c_hexTile, 3);
  // A tile a good step higher: without the blend the walker would jump 0.1 at the border.
  const float low = G().m_heights[c_hexTile];
  G().m_heights[target] = low + 0.1f;
  a.m_tgtl[n] = target;
  float last = a.m_trfs[n].GetTranslation().Length();
  float biggest = 0.0f;
  int arrived = -1;
  // Walking there takes about two seconds; the walker has settled well before six.
  for (int i = 0; i < 240 * 6; ++i) {
    Step();
    const float r = a.m_trfs[n].GetTranslation().Length();
    biggest = std::fmax(biggest, std::fabs(r - last));
    last = r;
    if (arrived < 0 && a.m_loca[n] == target) arrived = i;
  }
  ASSERT_GE(arrived, 0);
  EXPECT_LT(biggest, 0.01f);
  // Arrived, it coasts to a stop on the new tile, at a height between the two tiles' heights
  // (above the mean, since it is inside the higher tile).
  EXPECT_GE(a.m_trfs[n].GetTranslation().Length(), low + 0.05f);
  EXPECT_LE(a.m_trfs[n].GetTranslation().Length(), low + 0.1f + 1e-5f);
  EXPECT_EQ(a.m_loca[n], target);
  EXPECT_LT(a.m_lvel[n].Length(), 0.85f * G().m_hexw);
}

TEST_F(SimActorsService, PlansCompleteOrAreGivenUp) {
  Actors& a = A();
  CapturedLog log;
  const int done = a.Add("Finisher", c_hexTile);
  const int failed = a.Add("Quitter", 30);
  G().AttribsStore(c_hexTile, AT_COAST);
  a.m_planActions[done][0] = "walk_to_coast";
  a.m_planActions[failed][0] = "cut_tree";
  for (int n : {done, failed}) {
    a.m_planSize[n] = 1;
    a.m_planActive[n] = 1;
    a.m_planStage[n] = 0;
  }
  Step();
  EXPECT_TRUE(log.Has("Finisher completed a plan and is now at location 20."));
  EXPECT_EQ(a.m_planSize[done], 0);
  EXPECT_EQ(a.m_planActive[done], 0);
  // The failure waits 2 seconds, of which this step's pass 3 has already counted one step.
  EXPECT_EQ(a.m_planSize[failed], 0);
  EXPECT_NEAR(a.m_replanDelay[failed], 2.0f - c_dt, 1e-6f);
  EXPECT_FALSE(log.Has("Quitter completed a plan"));
}

TEST_F(SimActorsService, AWorkingCharacterStaysOnItsTile) {
  // A character at work on the tile it walked to finishes the step there: neither coasting on
  // nor a push from a neighbour on the same tile carries it over the border before it is done.
  enum Cause { COAST, PUSH };
  for (Cause cause : {COAST, PUSH}) {
    SCOPED_TRACE(cause == COAST ? "coasting" : "pushed");
    world = LandPlanet(&out);
    Actors& a = A();
    const int tile = c_hexTile, over = Neighbour(tile, 3);
    const Vec3 c = G().TilePosition(tile), n = G().TilePosition(over);
    const int w = a.Add("Worker", tile);
    a.m_trfs[w].SetTranslation(c + (n - c) * 0.45f);  // just inside its tile
    world->items.Add("redgem", tile, IS_GEM | IS_GLOWING);
    ASSERT_GE(world->items.PickUp("redgem", tile, w), 0);
    a.m_tgtl[w] = tile;
    a.m_planActions[w][0] = "drop_redgem";
    a.m_planSize[w] = 1;
    a.m_planActive[w] = 1;
    a.m_planStage[w] = 0;
    a.m_actionDelay[w] = ActionDuration("drop_redgem");
    if (cause == COAST) {
      a.m_lvel[w] = Normalize(n - c) * (0.85f * G().m_hexw);
    } else {
      const int s = a.Add("Shover", tile);
      a.m_tgtl[s] = tile;
      a.m_trfs[s].SetTranslation(c + (n - c) * 0.35f);
    }
    int left = 0;
    for (int i = 0; i < 240 && a.m_planSize[w] > 0; ++i) {
      Step();
      left += a.m_loca[w] != tile;
    }
    EXPECT_EQ(a.m_planSize[w], 0);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(world->items.CountAt("redgem", tile, false), 1);
    EXPECT_EQ(world->items.CountAt("redgem", over, false), 0);
    TakeMessages(out);
  }
}

TEST_F(SimActorsService, ThePlayerLandsAndTheIntroEndsOnce) {
  Actors& a = A();
  const int p = a.Add("Hero", c_hexTile);
  a.MakeChosenOne(p);
  int intros = 0, drops = 0;
  for (int i = 0; i < 240 * 8; ++i) {
    Step();
    const std::vector<std::string> m = TakeMessages(out);
    intros += CountOf(m, "intro ended=1");
    drops += CountOf(m, "soundeffect name=drop tile=20");
  }
  EXPECT_EQ(drops, 1);
  EXPECT_EQ(intros, 1);
  EXPECT_EQ(a.m_stat[p] & (ST_FALLING | ST_CLIMBING), 0u);
  EXPECT_TRUE(a.m_stat[p] & ST_LANDED);
  // The player's character takes no goal from an assignment.
  a.m_assi[p] = 5;
  Step();
  EXPECT_EQ(a.m_planRequested[p], 0);
}

TEST_F(SimActorsService, AWalkStepIsSearchedOnTheWorkerAndWalked) {
  Actors& a = A();
  CapturedLog log;
  const int n = a.Add("Hiker", c_hexTile);
  int goal = c_hexTile;
  for (int i = 0; i < 3; ++i) goal = Neighbour(goal, 1);
  ASSERT_NE(goal, c_hexTile);
  G().AttribsSet(goal, AT_STORAGE);
  a.m_planActions[n][0] = "walk_to_storage";
  a.m_planSize[n] = 1;
  a.m_planActive[n] = 1;
  a.m_planStage[n] = 0;
  // The walk ends within a few seconds of simulated time; the bound only guards a hang.
  int i = 0;
  for (; i < 240 * 60 && !(a.m_loca[n] == goal && a.m_pathStage[n] >= a.m_pasz[n] && a.m_pasz[n] > 0); ++i) {
    Step();
    // The simulation never waits for the worker; the test does, within a bounded wall-clock time,
    // so that a slow machine cannot run out of simulated steps first.
    if (a.m_pathInFlight) {
      ASSERT_TRUE(PollUntil([&] { return PathRequestReap(a) || !a.m_pathInFlight; }));
    }
  }
  EXPECT_EQ(a.m_loca[n], goal);
  EXPECT_TRUE(log.Has("Hiker will request a path planning for walk_to_storage"));
  EXPECT_TRUE(log.Has("Hiker will now follow path of len"));
  EXPECT_TRUE(log.Has("Hiker completed a plan and is now at location 20."));
}

TEST_F(SimActorsService, AGivenUpPlanReleasesTheSiteItsPathIsStillClaiming) {
  Actors& a = A();
  const int n = a.Add("Logger", c_hexTile);
  const int site = 60;  // a few tiles away from tile 20
  G().AttribsStore(site, AT_WOODY | AT_UNCLAIMED);
  a.m_planActions[n][0] = "walk_to_woody";
  a.m_planActions[n][1] = "cut_tree";
  a.m_planSize[n] = 2;
  a.m_planActive[n] = 1;
  a.m_planStage[n] = 0;
  a.m_stat[n] |= ST_PAVING;
  // One step asks for the path and hands it to the worker, which claims the site on its way.
  Step();
  ASSERT_EQ(a.m_pathInFlight, 1);
  // The plan is given up while the answer is still out (a smite or a stolen tool would do this).
  a.AbandonPlan(n);
  EXPECT_FALSE(a.m_stat[n] & ST_PAVING);
  ASSERT_TRUE(PollUntil([&] { return PathRequestReap(a) || !a.m_pathInFlight; }));
  EXPECT_EQ(G().Attribs(site), static_cast<uint64_t>(AT_WOODY | AT_UNCLAIMED));
  EXPECT_EQ(a.m_clai[n], -1);
  EXPECT_EQ(a.m_pathRequested[n], 0);
  // The character does not walk the dropped path.
  Step(240);
  EXPECT_EQ(a.m_pasz[n], 0);
  EXPECT_EQ(a.m_loca[n], c_hexTile);
}
