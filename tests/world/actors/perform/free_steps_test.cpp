// Freeing and greeting plan steps: the cage broken open, the prisoner freed and counted, the nearest partner engaged.
#include "world/actors/perform/actors_perform_free.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"
#include "utility/message.h"
#include "world/actors/perform/actors_perform.h"
#include "world/parts_fixture.h"
#include "world/perform_fixture.h"
#include "world/wld.h"

class FreeSteps : public PerformTest {
 protected:
  static constexpr int c_cage = 20;
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(SetUpBare());
    // The player's character frees; two prisoners share the cage; one bystander elsewhere.
    nr = A().Add("Hero", c_cage);
    ASSERT_EQ(nr, 0);
    A().m_stat[0] |= ST_CHOSEN;
    ASSERT_EQ(A().Add("Low", c_cage), 1);
    ASSERT_EQ(A().Add("High", c_cage), 2);
    ASSERT_EQ(A().Add("Walker", 30), 3);
    A().m_stat[1] |= ST_PRISONER;
    A().m_stat[2] |= ST_PRISONER;
    cage = world->buildings.Add("cage", c_cage, AT_CAGE);
    ASSERT_GE(cage, 0);
  }
  int Run(float dt, int limit = 100) { return PerformUntilMoved(dt, limit); }

  int cage = -1;
};

TEST_F(FreeSteps, FreeingBreaksTheCageAndFreesTheHighestNumberedPrisoner) {
  CapturedLog log;
  GivePlan({"free", "greet"});
  // 7 s in steps of 0.5 s; the clang sounds once, at the start.
  EXPECT_EQ(Run(0.5f), 14);
  EXPECT_EQ(A().m_planStage[0], 1);
  EXPECT_EQ(CountPosts("soundeffect name=clang gain=2.0 tile=20"), 1);
  EXPECT_FALSE(A().m_stat[2] & ST_PRISONER);
  EXPECT_TRUE(A().m_stat[1] & ST_PRISONER);
  EXPECT_STREQ(world->buildings.m_name[cage].c_str(), "jailbreak");
  EXPECT_FALSE(world->globe.Attribs(c_cage) & AT_CAGE);
  EXPECT_TRUE(log.Has("Hero freed prisoner High"));
  EXPECT_EQ(CountPosts("intstat name=s_freed delta=1"), 1);
  // Everyone without the prisoner bit counts, the player's character included.
  EXPECT_EQ(CountPosts("intstat name=s_freepop val=3 sync=1"), 1);
  // The cage is gone, so the other prisoner cannot be freed from it.
  GivePlan({"free"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_FALSE(A().m_planActive[0]);
  EXPECT_TRUE(log.Has("There is no cage here. Hero cannot free prisoner."));
  EXPECT_TRUE(A().m_stat[1] & ST_PRISONER);
}

TEST_F(FreeSteps, FreeingCountsEvenWhenTheOutboxIsFull) {
  while (outbox.Append("filler")) {
  }
  GivePlan({"free", "greet"});
  EXPECT_EQ(Run(0.5f), 14);
  outbox = Packet();
  world->RetryStats();
  EXPECT_EQ(CountPosts("intstat name=s_freed delta=1"), 1);
  EXPECT_EQ(CountPosts("intstat name=s_freepop val=3 sync=1"), 1);
}

TEST_F(FreeSteps, FreeingNeedsAPrisonerOnTheTile) {
  CapturedLog log;
  A().m_loca[0] = 40;
  ASSERT_GE(world->buildings.Add("cage", 40, AT_CAGE), 0);
  GivePlan({"free"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_FALSE(A().m_planActive[0]);
  EXPECT_TRUE(log.Has("There is no prisoner here. Hero cannot free it."));
  EXPECT_EQ(CountPosts("soundeffect name=clang gain=2.0 tile=40"), 0);
  EXPECT_TRUE(world->globe.Attribs(40) & AT_CAGE);
  // Off the planet: a clean failure.
  A().m_loca[0] = -7;
  GivePlan({"free"});
  EXPECT_EQ(Run(0.5f), 1);
  EXPECT_TRUE(log.Has("Hero cannot free at tile -7: no such tile."));
}

TEST_F(FreeSteps, GreetingEngagesTheNearestInSpaceAndWaits) {
  // Positions: Hero at the origin, Low 3 away, High 2 away (a prisoner), Walker 2 away too.
  A().m_trfs[0].SetTranslation(Vec3{0.0f, 0.0f, 1.0f});
  A().m_trfs[1].SetTranslation(Vec3{3.0f, 0.0f, 1.0f});
  A().m_trfs[2].SetTranslation(Vec3{0.0f, 2.0f, 1.0f});
  A().m_trfs[3].SetTranslation(Vec3{0.0f, -2.0f, 1.0f});
  GivePlan({"greet", "walk_to_coast"});
  // The tie between High and Walker goes to the lower number, prisoner or not.
  EXPECT_EQ(A().Perform(0, 0.5f), 0);
  EXPECT_TRUE(A().m_stat[2] & ST_ENGAGED);
  EXPECT_FALSE(A().m_stat[3] & ST_ENGAGED);
  EXPECT_FALSE(A().m_stat[1] & ST_ENGAGED);
  // While the partner is engaged nothing changes and the step stays.
  A().m_trfs[1].SetTranslation(Vec3{0.5f, 0.0f, 1.0f});
  for (int i = 0; i < 10; ++i) EXPECT_EQ(A().Perform(0, 0.5f), 0);
  EXPECT_FALSE(A().m_stat[1] & ST_ENGAGED);
  EXPECT_TRUE(A().m_planActive[0]);
  // The conversation over, the next nearest is engaged.
  A().m_stat[2] &= ~static_cast<uint64_t>(ST_ENGAGED);
  EXPECT_EQ(A().Perform(0, 0.5f), 0);
  EXPECT_TRUE(A().m_stat[1] & ST_ENGAGED);
}

TEST(FreeStepsAlone, GreetingWithNobodyElseIsReported) {
  auto world = BareWorld();
  ASSERT_TRUE(world);
  ASSERT_EQ(world->actors.Add("Hermit", 5), 0);
  world->actors.m_planActions[0][0] = "greet";
  world->actors.m_planSize[0] = 1;
  world->actors.m_planActive[0] = 1;
  world->actors.m_planStage[0] = 0;
  ExpectAsserts expect;
  EXPECT_EQ(PerformGreet(world->actors, 0, "greet", 0.1f), 0);
  EXPECT_TRUE(expect.Saw("closest>=0"));
  EXPECT_EQ(world->actors.m_stat[0] & ST_ENGAGED, 0u);
}
