// Movement: speed caps, turning, crossing tiles, the fall and landing, climbing out, relieving, hunger, paths and
// animation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "test_support.h"
#include "world/actors/actors_move.h"
#include "world/move_fixture.h"
#include "world/parts/items.h"

class ActorsMove : public ::testing::Test {
 protected:
  void SetUp() override {
    world = LandPlanet(&out);
    nr = world->actors.Add("Mover", c_hexTile);
    ASSERT_EQ(nr, 0);
  }
  Actors& A() { return world->actors; }
  Globe& G() { return world->globe; }
  // A unit direction along the surface at the character's tile, toward neighbour slot k.
  Vec3 Toward(int k) {
    const int n = G().m_nodes[c_hexTile].neighbours[k];
    return Normalize(G().TilePosition(n) - G().TilePosition(c_hexTile));
  }
  Packet out;
  std::unique_ptr<Wld> world;
  int nr = -1;
};

TEST_F(ActorsMove, SpeedIsCappedOnLandAndLiftedOnRoads) {
  const float hexw = G().m_hexw;
  // A push far beyond the cap ends at exactly 0.85 tile widths per second off roads.
  A().m_lacc[nr] = Toward(0) * 1000.0f;
  A().Update(c_dt);
  EXPECT_NEAR(A().m_lvel[nr].Length(), 0.85f * hexw, 1e-5f);
  // Below the cap nothing is cut.
  A().m_lvel[nr] = Toward(0) * (0.5f * hexw);
  A().m_lacc[nr] = Vec3{};
  A().Update(c_dt);
  EXPECT_NEAR(A().m_lvel[nr].Length(), 0.5f * hexw, 1e-5f);
  // On a road any speed above the cap becomes 1.6 times the cap, 1.36 tile widths.
  G().m_nodes[A().m_loca[nr]].type = TP_ROAD;
  A().m_lacc[nr] = Toward(0) * 1000.0f;
  A().Update(c_dt);
  EXPECT_NEAR(A().m_lvel[nr].Length(), 1.36f * hexw, 1e-5f);
  // And the angular velocity stays within 5 either way.
  A().m_aacc[nr] = 1.0e6f;
  A().Update(c_dt);
  EXPECT_FLOAT_EQ(A().m_avel[nr], 5.0f);
  A().m_aacc[nr] = -1.0e7f;
  A().Update(c_dt);
  EXPECT_FLOAT_EQ(A().m_avel[nr], -5.0f);
}

TEST_F(ActorsMove, SteeringTurnsAtAFixedRateWhenTheTargetIsBehind) {
  const Matrix44 m = A().m_trfs[nr];
  const Vec3 p = m.GetTranslation();
  const Vec3 x = m.GetXAxis(), y = m.GetYAxis();
  // Directly behind: side is 0, so the turn is -5.
  A().Steer(nr, c_dt, p - x, -x);
  EXPECT_EQ(A().m_aacc[nr], -5.0f);
  // Behind and a little to the left (+Y): +5.
  A().Steer(nr, c_dt, p - x, Normalize(-x + y * 0.1f));
  EXPECT_EQ(A().m_aacc[nr], 5.0f);
  // Behind and to the right: -5.
  A().Steer(nr, c_dt, p - x, Normalize(-x - y * 0.1f));
  EXPECT_EQ(A().m_aacc[nr], -5.0f);
  // Straight ahead there is nothing to turn; far to the side the controller is held to 10.
  A().m_tpid[nr].Reset();
  A().Steer(nr, c_dt, p + x, x);
  EXPECT_NEAR(A().m_aacc[nr], 0.0f, 1e-6f);
  A().Steer(nr, c_dt, p + y, Normalize(x * 0.01f + y));
  EXPECT_LE(A().m_aacc[nr], 10.0f);
  EXPECT_GT(A().m_aacc[nr], 0.0f);
  // The position controller pulls toward the target.
  A().m_mpid[nr].Reset();
  A().Steer(nr, c_dt, p + x, x);
  EXPECT_GT(Dot(A().m_lacc[nr], x), 0.0f);
}

TEST_F(ActorsMove, CrossingATileBorderTakesTheCarriedItems) {
  const int next = G().m_nodes[c_hexTile].neighbours[2];
  const int carried = world->items.Add("stone", c_hexTile, 0);
  ASSERT_EQ(world->items.PickUp("stone", c_hexTile, nr), carried);
  const Vec3 a = G().TilePosition(c_hexTile), b = G().TilePosition(next);
  int nearest = -1;
  // Short of the border: the tile stays, the margin is positive and names the neighbour ahead.
  A().m_trfs[nr].SetTranslation(a * 0.6f + b * 0.4f);
  float margin = A().UpdateLocation(nr, &nearest);
  EXPECT_EQ(A().m_loca[nr], c_hexTile);
  EXPECT_EQ(nearest, next);
  EXPECT_GT(margin, 0.0f);
  // Past it: the character and its stone are on the next tile.
  A().m_trfs[nr].SetTranslation(a * 0.4f + b * 0.6f);
  margin = A().UpdateLocation(nr, &nearest);
  EXPECT_EQ(A().m_loca[nr], next);
  EXPECT_EQ(world->items.m_loca[carried], next);
  EXPECT_LT(margin, 0.0f);
  // A tile off the planet is refused with a line, not read.
  A().m_loca[nr] = 5000;
  EXPECT_GT(A().UpdateLocation(nr, &nearest), 1.0f);
  EXPECT_EQ(nearest, -1);
  A().m_loca[nr] = next;
  // Elevation keeps the direction and sets the distance; the centre itself is left alone.
  A().SetElevation(nr, 1.25f);
  EXPECT_NEAR(A().m_trfs[nr].GetTranslation().Length(), 1.25f, 1e-5f);
  A().m_trfs[nr].SetTranslation(Vec3{0.01f, 0.0f, 0.0f});
  A().SetElevation(nr, 1.25f);
  EXPECT_EQ(A().m_trfs[nr].GetTranslation().x, 0.01f);
}

TEST_F(ActorsMove, ThePlayersCharacterFallsLandsAndClimbsOutOnce) {
  const Matrix44 tile = G().m_trfs[c_hexTile];
  const float h = G().m_heights[c_hexTile];
  A().MakeChosenOne(nr);
  EXPECT_EQ(A().m_stat[nr] & (ST_CHOSEN | ST_FALLING), static_cast<uint64_t>(ST_CHOSEN | ST_FALLING));
  // A quarter turn about Y: the new X is the old Z, the new Z the old -X, 1.9 times as far out.
  EXPECT_EQ(A().m_trfs[nr].GetXAxis(), tile.GetZAxis());
  EXPECT_EQ(A().m_trfs[nr].GetYAxis(), tile.GetYAxis());
  EXPECT_EQ(A().m_trfs[nr].GetZAxis(), -tile.GetXAxis());
  EXPECT_NEAR(A().m_trfs[nr].GetTranslation().Length(), 1.9f * h, 1e-5f);
  EXPECT_EQ(TakeMessages(out), std::vector<std::string>{"soundeffect name=scream gain=0.20 tile=-1"});

  // It falls 3 tile widths per second; landing takes 0.9 h / (3 hexw dt) steps.
  const int expected = static_cast<int>(std::ceil(0.9f * h / (3.0f * G().m_hexw * c_dt)));
  int steps = 0;
  while ((A().m_stat[nr] & ST_FALLING) && steps < 2000) {
    A().Update(c_dt);
    A().UpdateAnimation(c_dt);
    ++steps;
    // Falling, it plays "runscared".
    if (A().m_stat[nr] & ST_FALLING) {
      EXPECT_EQ(A().m_animSeq[nr], ANIM_RUNSCARED);
    }
  }
  EXPECT_NEAR(steps, expected, 1);
  // Tile 20 of this planet lies 0.9716 from the centre: 148 steps, about 0.62 s.
  EXPECT_EQ(steps, 148);
  EXPECT_EQ(A().m_stat[nr] & (ST_LANDED | ST_CLIMBING | ST_FALLING), static_cast<uint64_t>(ST_LANDED | ST_CLIMBING));
  EXPECT_EQ(memcmp(&A().m_trfs[nr], &tile, sizeof(tile)), 0);
  EXPECT_EQ(CountOf(TakeMessages(out), "soundeffect name=drop tile=20"), 1);

  // "spawn" for 2.5 s, then the intro ends, once, however long the world runs on.
  CapturedLog log;
  int introAt = -1, intros = 0;
  for (int i = 0; i < 240 * 10; ++i) {
    A().Update(c_dt);
    A().UpdateAnimation(c_dt);
    const int n = CountOf(TakeMessages(out), "intro ended=1");
    if (n && introAt < 0) introAt = i;
    intros += n;
    if (i < 590) {
      EXPECT_TRUE(A().m_stat[nr] & ST_CLIMBING) << i;
    }
  }
  EXPECT_EQ(intros, 1);
  // The landing step started "spawn" at 0; 600 steps of 1/240 s later the float sum passes 2.5
  // (on step 599 of this loop; summing in float could land it a step either way).
  EXPECT_NEAR(introAt, 599, 1);
  EXPECT_FALSE(A().m_stat[nr] & ST_CLIMBING);
  EXPECT_TRUE(log.Has("Mover stopped climbing."));
  EXPECT_EQ(log.Find("Mover stopped climbing.", log.Find("Mover stopped climbing.") + 1), -1);
}

TEST_F(ActorsMove, PoopTimerJumpsThenLeavesAPoop) {
  A().m_timeUntilPoop[nr] = 0.5f;
  int soundAt = -1, poopAt = -1;
  for (int i = 0; i < 240 * 4 && poopAt < 0; ++i) {
    A().Update(c_dt);
    A().UpdateAnimation(c_dt);
    if (CountOf(TakeMessages(out), "soundeffect name=poop tile=20")) {
      EXPECT_EQ(soundAt, -1);
      soundAt = i;
      EXPECT_TRUE(A().m_stat[nr] & ST_POOPING);
    }
    if (world->items.Count("poop")) poopAt = i;
  }
  // 0.5 s of timer, then "jump" for 1.3 s.
  EXPECT_NEAR(soundAt, 119, 1);
  EXPECT_NEAR(poopAt - soundAt, 313, 2);
  EXPECT_EQ(world->items.CountAt("poop", c_hexTile, false), 1);
  EXPECT_FALSE(A().m_stat[nr] & ST_POOPING);
  // Once only: the timer stays run out.
  for (int i = 0; i < 240 * 3; ++i) A().Update(c_dt), A().UpdateAnimation(c_dt);
  EXPECT_EQ(world->items.Count("poop"), 1);
}

TEST_F(ActorsMove, HungerSwitchesToEatingOnceAndSmittenCharactersRest) {
  CapturedLog log;
  A().m_assi[nr] = 1;
  A().m_timeSinceEating[nr] = 900.0f - 2.5f * c_dt;
  A().Update(c_dt);
  EXPECT_EQ(A().m_assi[nr], 1);
  for (int i = 0; i < 10; ++i) A().Update(c_dt);
  EXPECT_EQ(A().m_assi[nr], 5);
  EXPECT_EQ(A().m_prva[nr], 1);
  const int line = log.Find("Mover is pausing 'procure stone' to eat.");
  EXPECT_GE(line, 0);
  EXPECT_EQ(log.Find("is pausing", line + 1), -1);
  // A character without work says so.
  const int idle = A().Add("Idler", c_hexTile + 1);
  A().PauseToEat(idle);
  EXPECT_TRUE(log.Has("Idler is pausing 'no assignment' to eat."));
  EXPECT_EQ(A().m_prva[idle], -1);
  // A smitten character neither hungers nor relieves itself nor drifts.
  const int dead = A().Add("Fallen", c_hexTile + 2);
  A().m_stat[dead] = 0;
  A().m_timeSinceEating[dead] = 10.0f;
  A().m_timeUntilPoop[dead] = 0.001f;
  const Vec3 at = A().m_trfs[dead].GetTranslation();
  A().Update(c_dt);
  EXPECT_EQ(A().m_timeSinceEating[dead], 10.0f);
  EXPECT_FALSE(A().m_stat[dead] & ST_POOPING);
  EXPECT_EQ(A().m_trfs[dead].GetTranslation(), at);
}

TEST_F(ActorsMove, PathsAreWalkedTileByTile) {
  Actors& a = A();
  // No path: nothing to walk.
  EXPECT_FALSE(a.FollowPath(nr));
  const int n1 = G().m_nodes[c_hexTile].neighbours[0];
  const int n2 = G().m_nodes[n1].neighbours[0];
  a.m_ploc[nr][0] = n1;
  a.m_ploc[nr][1] = n2;
  a.m_pasz[nr] = 2;
  a.m_pathStage[nr] = 0;
  EXPECT_TRUE(a.FollowPath(nr));
  EXPECT_EQ(a.m_tgtl[nr], n1);
  EXPECT_EQ(a.m_pathStage[nr], 1);
  // Still on its way: the waypoint stays.
  EXPECT_TRUE(a.FollowPath(nr));
  EXPECT_EQ(a.NextWaypoint(nr), -1);
  EXPECT_EQ(a.m_tgtl[nr], n1);
  a.m_loca[nr] = n1;
  EXPECT_EQ(a.NextWaypoint(nr), n2);
  a.m_loca[nr] = n2;
  EXPECT_FALSE(a.FollowPath(nr));
  // A stored tile off the planet (a damaged save) becomes no target.
  a.m_ploc[nr][2] = 100000;
  a.m_pasz[nr] = 3;
  EXPECT_EQ(a.NextWaypoint(nr), -1);
  EXPECT_EQ(a.m_tgtl[nr], -1);
  // Engaged with the player, a character follows the player's tile.
  const int player = a.Add("Player", c_hexTile);
  a.m_stat[player] |= ST_CHOSEN;
  a.m_stat[nr] |= ST_ENGAGED;
  EXPECT_TRUE(a.FollowPath(nr));
  EXPECT_EQ(a.m_tgtl[nr], c_hexTile);
}

TEST_F(ActorsMove, AnimationFollowsStatusMotionAndPlanStep) {
  Actors& a = A();
  static const char* const plan[] = {"cut_tree",      "pickup_woodaxe", "free",
                                     "walk_to_woody", "smash_chest",    "forge_crown"};
  for (int i = 0; i < 6; ++i) a.m_planActions[nr][i] = plan[i];
  a.m_planSize[nr] = 6;
  // Before the first step: idle, walking when moving.
  a.m_planStage[nr] = -1;
  a.UpdateAnimation(c_dt);
  EXPECT_EQ(a.m_animSeq[nr], ANIM_IDLE);
  a.m_lvel[nr] = Vec3{0.1f, 0.0f, 0.0f};
  a.UpdateAnimation(c_dt);
  EXPECT_EQ(a.m_animSeq[nr], ANIM_WALK);
  EXPECT_EQ(a.m_animTime[nr], 0.0f);
  a.UpdateAnimation(c_dt);
  EXPECT_FLOAT_EQ(a.m_animTime[nr], c_dt);
  a.m_lvel[nr] = Vec3{};
  const int64_t expect[] = {ANIM_ATTACKB, ANIM_CASTMAGIC, ANIM_ATTACKA, ANIM_IDLE, ANIM_ATTACKA, ANIM_CASTMAGIC};
  for (int i = 0; i < 6; ++i) {
    a.m_planStage[nr] = i;
    a.UpdateAnimation(c_dt);
    EXPECT_EQ(a.m_animSeq[nr], expect[i]) << plan[i];
    EXPECT_EQ(a.m_animLoop[nr], 1);
  }
  a.m_stat[nr] |= ST_PRISONER;
  a.UpdateAnimation(c_dt);
  EXPECT_EQ(a.m_animSeq[nr], ANIM_RUNSCARED);
  a.m_stat[nr] = 0;
  a.UpdateAnimation(c_dt);
  EXPECT_EQ(a.m_animSeq[nr], ANIM_DEATH);
  EXPECT_EQ(a.m_animLoop[nr], 0);
  // A loaded sequence that names none restarts the animation.
  a.m_animSeq[nr] = 99;
  a.m_animTime[nr] = 3.0f;
  a.UpdateAnimation(c_dt);
  EXPECT_EQ(a.m_animSeq[nr], ANIM_DEATH);
  EXPECT_EQ(a.m_animTime[nr], 0.0f);
  EXPECT_STREQ(AnimationName(ANIM_JUMP), "jump");
  EXPECT_EQ(AnimationName(99), nullptr);
}

TEST_F(ActorsMove, AnAscendingCharacterRisesAndWinsOnce) {
  A().m_stat[nr] |= ST_ASCENDING;
  world->m_age = 12.5;
  const float start = A().m_trfs[nr].GetTranslation().Length();
  int wins = 0, steps = 0;
  std::string last;
  for (; steps < 240 * 2; ++steps) {
    A().Update(c_dt);
    for (const std::string& m : TakeMessages(out))
      if (m.rfind("gameend", 0) == 0) ++wins, last = m;
  }
  // Three tile widths per second straight up, whatever its velocity.
  EXPECT_NEAR(A().m_trfs[nr].GetTranslation().Length(), start + 2.0f * 3.0f * G().m_hexw, 1e-3f);
  EXPECT_EQ(wins, 1);
  EXPECT_EQ(last, "gameend win=1 lose=0 age=12.500000 tilecount=92");
}
