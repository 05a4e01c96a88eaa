// Characters: adding up to the limit, the look-ups, plan steps and abandoning, plan text and the save record.
#include "world/actors/actors.h"

#include <gtest/gtest.h>

#include <cstring>

#include "system/file.h"
#include "test_support.h"
#include "world/actors_fixture.h"
#include "world/planet_fixture.h"
#include "world/save/save_stream.h"

namespace {

TEST(Actors, AddUpToTheLimitAndRefuseBadTiles) {
  auto world = StripWorld(8);
  Actors& a = world->actors;
  CapturedLog log;

  EXPECT_EQ(a.Add("Gahk", 3), 0);
  EXPECT_EQ(a.m_loca[0], 3);
  EXPECT_EQ(a.m_tgtl[0], -1);
  EXPECT_EQ(a.m_clai[0], -1);
  EXPECT_STREQ(a.m_name[0].c_str(), "Gahk");
  EXPECT_EQ(a.m_stat[0], ST_ACTIVE);
  EXPECT_EQ(a.m_assi[0], -1);
  EXPECT_EQ(a.m_prva[0], -1);
  EXPECT_FLOAT_EQ(a.m_trfs[0].m[12], 3.0f);  // the tile's transform
  EXPECT_FLOAT_EQ(a.m_mpid[0].m_pGain, -1.5f);
  EXPECT_FLOAT_EQ(a.m_mpid[0].m_iGain, -0.07f);
  EXPECT_FLOAT_EQ(a.m_mpid[0].m_dGain, -0.9f);
  EXPECT_FLOAT_EQ(a.m_tpid[0].m_pGain, -4.2f);
  EXPECT_FLOAT_EQ(a.m_tpid[0].m_iGain, -0.1f);
  EXPECT_FLOAT_EQ(a.m_tpid[0].m_dGain, -3.0f);
  EXPECT_EQ(a.m_tpid[0].m_angle, 0);
  EXPECT_FLOAT_EQ(a.m_timeUntilPoop[0], -1.0f);
  EXPECT_EQ(a.m_planSize[0], 0);

  // A tile off the planet (world generation passes -1 when it found none) adds nobody.
  EXPECT_EQ(a.Add("Nowhere", -1), -1);
  EXPECT_EQ(a.Add("Beyond", 8), -1);
  EXPECT_TRUE(log.Has("Cannot add actor 'Nowhere' at illegal tile -1."));
  EXPECT_EQ(a.m_cnt, 1);

  for (int i = 1; i < MAXACTORS; ++i) EXPECT_EQ(a.Add("Orc", i % 8), i);
  EXPECT_EQ(a.m_cnt, 32);
  EXPECT_FALSE(log.Has("Exceeded max(32) number of actors."));
  EXPECT_EQ(a.Add("Thirtythird", 0), -1);
  EXPECT_TRUE(log.Has("Exceeded max(32) number of actors."));
  EXPECT_EQ(a.m_cnt, 32);
}

TEST(Actors, FindPlayerAndPartner) {
  auto world = StripWorld(8);
  Actors& a = world->actors;
  for (int i = 0; i < 5; ++i) a.Add("Orc", i);
  EXPECT_EQ(a.FindPlayer(), -1);
  EXPECT_EQ(a.PlayerLocation(), -1);
  a.m_stat[3] |= ST_CHOSEN;
  a.m_stat[4] |= ST_CHOSEN;  // only the first counts
  EXPECT_EQ(a.FindPlayer(), 3);
  EXPECT_EQ(a.PlayerLocation(), 3);

  EXPECT_EQ(a.FindPartner(3), -1);
  a.m_stat[3] |= ST_ENGAGED;
  EXPECT_EQ(a.FindPartner(3), -1);  // the asker is never its own partner
  a.m_stat[1] |= ST_ENGAGED;
  EXPECT_EQ(a.FindPartner(3), 1);
  a.m_stat[2] |= ST_ENGAGED;
  EXPECT_EQ(a.FindPartner(3), 2);  // the highest number wins
  EXPECT_EQ(a.FindPartner(2), 3);
}

TEST(Actors, PlanStepsTextAndAbandon) {
  auto world = StripWorld(8);
  Actors& a = world->actors;
  a.Add("Gahk", 2);
  char text[256];
  EXPECT_EQ(a.PlanText(0, text, sizeof(text)), 8);
  EXPECT_STREQ(text, "no plan.");

  a.m_planActions[0][0] = "pickup_woodaxe";
  a.m_planActions[0][1] = "cut_tree";
  a.m_planActions[0][2] = "eat_fruit";
  a.m_planSize[0] = 3;
  a.m_planActive[0] = 1;
  a.m_planStage[0] = -1;
  EXPECT_EQ(a.PlanText(0, text, sizeof(text)), 33);
  EXPECT_STREQ(text, "pickup_woodaxe,cut_tree,eat_fruit");
  EXPECT_EQ(a.PlanText(0, text, 10), 9);  // cut to the buffer
  EXPECT_STREQ(text, "pickup_wo");

  EXPECT_EQ(a.NextPlanStep(0), 0);
  EXPECT_FLOAT_EQ(a.m_actionDelay[0], 0.8f);
  EXPECT_TRUE(a.IsExecutingPlan(0));
  EXPECT_EQ(a.NextPlanStep(0), 1);
  EXPECT_FLOAT_EQ(a.m_actionDelay[0], 8.0f);
  EXPECT_EQ(a.NextPlanStep(0), 2);
  EXPECT_FLOAT_EQ(a.m_actionDelay[0], 1.7f);
  EXPECT_EQ(a.NextPlanStep(0), 3);  // used up
  EXPECT_FALSE(a.IsExecutingPlan(0));

  // Abandoning gives back the claimed site and the assignment before eating.
  world->globe.AttribsStore(5, AT_WOODCONSTRUCTION);
  a.m_clai[0] = 5;
  a.m_assi[0] = 5;
  a.m_prva[0] = 1;
  a.m_timeSinceEating[0] = 50.0f;
  a.m_planRequested[0] = 1;
  a.m_pasz[0] = 4;
  CapturedLog log;
  a.AbandonPlan(0);
  EXPECT_TRUE(log.Has("Gahk abandons the action plan pickup_woodaxe,cut_tree,eat_fruit"));
  EXPECT_TRUE(log.Has("Gahk relinquished claim on tile 5."));
  EXPECT_EQ(world->globe.Attribs(5), AT_WOODCONSTRUCTION | AT_UNCLAIMED);
  EXPECT_EQ(a.m_clai[0], -1);
  EXPECT_EQ(a.m_assi[0], 1);
  EXPECT_FLOAT_EQ(a.m_timeSinceEating[0], 0.0f);
  EXPECT_EQ(a.m_planSize[0], 0);
  EXPECT_EQ(a.m_planRequested[0], 0);
  EXPECT_EQ(a.m_pasz[0], 0);
}

TEST(Actors, StepDurations) {
  // The first matching rule wins: "smash_chest" is not a "smash" step of 5 s, "stake_road" is not
  // an ordinary one, and "free" must be the whole name.
  EXPECT_FLOAT_EQ(ActionDuration("smash_chest"), 0.5f);
  EXPECT_FLOAT_EQ(ActionDuration("eat_fruit"), 1.7f);
  EXPECT_FLOAT_EQ(ActionDuration("build_road"), 4.0f);
  EXPECT_FLOAT_EQ(ActionDuration("stake_road"), 0.8f);
  EXPECT_FLOAT_EQ(ActionDuration("irrigate"), 0.8f);
  EXPECT_FLOAT_EQ(ActionDuration("reap_chest"), 0.8f);
  EXPECT_FLOAT_EQ(ActionDuration("free"), 7.0f);
  EXPECT_FLOAT_EQ(ActionDuration("freeze"), 5.0f);
  EXPECT_FLOAT_EQ(ActionDuration("clear_woodyblock"), 8.0f);
  EXPECT_FLOAT_EQ(ActionDuration("harvest"), 7.0f);
  EXPECT_FLOAT_EQ(ActionDuration("cut_stone"), 8.0f);
  EXPECT_FLOAT_EQ(ActionDuration("walk_to_sawmill"), 5.0f);
}

TEST(Actors, SaveRoundTripEmptiesPlans) {
  UseTestFolders();
  auto world = StripWorld(8);
  Actors& a = world->actors;
  a.Add("Gahk", 1);
  a.Add("Ilvaren", 6);
  a.m_stat[1] |= ST_CHOSEN | ST_LANDED;
  a.m_assi[0] = 2;
  a.m_ploc[0][0] = 2;
  a.m_ploc[0][1] = 3;
  a.m_pasz[0] = 2;
  a.m_pathStage[0] = 1;
  a.m_mpid[1].m_integral = Vec3{1.0f, 2.0f, 3.0f};
  a.m_animSeq[1] = 7;
  a.m_timeUntilPoop[1] = 12.5f;
  a.m_planActions[0][0] = "cut_tree";
  a.m_planSize[0] = 1;
  a.m_planStage[0] = 0;
  a.m_planActive[0] = 1;

  FileHandle f = FileOpenWrite("actors.dat", true);
  ASSERT_NE(f, 0u);
  // Golden size for two characters: 4 for the count, then 2 x (4+4+4+256+8+4+4+64+12+4+12+4+40+
  // 24+1024+4+4+4+4+8+4+4+4) = 2 x 1504.
  SaveStream stream1(f, true);
  EXPECT_EQ(a.Serialize(stream1), 4u + 2u * 1504u);
  FileClose(f);

  auto other = StripWorld(8);
  Actors& b = other->actors;
  f = FileOpenRead("actors.dat", true);
  SaveStream stream2(f, false);
  EXPECT_EQ(b.Serialize(stream2), 4u + 2u * 1504u);
  FileClose(f);
  EXPECT_EQ(b.m_cnt, 2);
  EXPECT_STREQ(b.m_name[1].c_str(), "Ilvaren");
  EXPECT_EQ(b.FindPlayer(), 1);
  EXPECT_EQ(b.m_assi[0], 2);
  EXPECT_EQ(b.m_pasz[0], 2);
  EXPECT_EQ(b.m_ploc[0][1], 3);
  EXPECT_EQ(b.m_pathStage[0], 1);
  EXPECT_FLOAT_EQ(b.m_mpid[1].m_integral.z, 3.0f);
  EXPECT_EQ(b.m_animSeq[1], 7);
  EXPECT_FLOAT_EQ(b.m_timeUntilPoop[1], 12.5f);
  EXPECT_FLOAT_EQ(b.m_trfs[1].m[12], 6.0f);
  EXPECT_EQ(b.m_planSize[0], 0);
  EXPECT_EQ(b.m_planStage[0], 0);
  EXPECT_EQ(b.m_planActions[0][0], nullptr);
  EXPECT_EQ(b.m_planActive[0], 0);
  EXPECT_EQ(b.m_planRequested[0], 0);
}

TEST(Actors, HostileSaveIsRefused) {
  UseTestFolders();
  auto world = StripWorld(8);
  Actors& a = world->actors;

  // A count beyond the arrays: nothing more is read.
  FileHandle f = FileOpenWrite("actors_bad.dat", true);
  const int32_t huge = 1000;
  FileWrite(f, &huge, sizeof(huge));
  FileClose(f);
  f = FileOpenRead("actors_bad.dat", true);
  {
    CapturedLog log;
    SaveStream stream3(f, false);
    EXPECT_EQ(a.Serialize(stream3), 4u);
    EXPECT_TRUE(log.Has("Stored actor count 1000 is outside 0..32"));
  }
  FileClose(f);
  EXPECT_EQ(a.m_cnt, 0);

  // One character whose path length was damaged: the path is dropped, not walked past its row.
  a.Add("Gahk", 1);
  a.m_pasz[0] = 9999;
  f = FileOpenWrite("actors_cut.dat", true);
  SaveStream stream4(f, true);
  a.Serialize(stream4);
  FileClose(f);
  f = FileOpenRead("actors_cut.dat", true);
  auto other = StripWorld(8);
  {
    CapturedLog log;
    SaveStream stream5(f, false);
    EXPECT_EQ(other->actors.Serialize(stream5), 4u + 1504u);
    EXPECT_TRUE(log.Has("Stored path length 9999 of actor 0 is out of range"));
  }
  FileClose(f);
  EXPECT_EQ(other->actors.m_pasz[0], 0);

  // Writing an empty part reports every field.
  auto empty = StripWorld(8);
  f = FileOpenWrite("actors_empty.dat", true);
  {
    ExpectAsserts expect;
    SaveStream stream6(f, true);
    EXPECT_EQ(empty->actors.Serialize(stream6), 4u);
    EXPECT_TRUE(expect.Saw("m_cnt>0"));
    EXPECT_EQ(expect.Count(), 23);
  }
  FileClose(f);
}

}  // namespace
