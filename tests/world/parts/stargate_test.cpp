// The stargate: gems raising it, their pulse, its turning, the ascension and the one game end.
#include "world/parts/stargate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "test_support.h"
#include "utility/message.h"
#include "world/actors/actors_move.h"
#include "world/actors_fixture.h"
#include "world/move_fixture.h"
#include "world/planet_fixture.h"
#include "world/sim/sim_frame.h"
#include "world/wld.h"

namespace {

const char* const c_gemNames[8] = {"redgem",  "greengem", "yellowgem", "bluegem",
                                   "cyangem", "pinkgem",  "purplegem", "orangegem"};

class StargateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StargateReset();
    world = StripWorld(8);
    WldOutboxSet(&outbox, world.get());
    ASSERT_EQ(world->actors.Add("Ilvaren", 2), 0);
    world->actors.m_stat[0] |= ST_CHOSEN;
    ASSERT_EQ(world->actors.Add("Brim", 3), 1);
  }
  // Puts the gems on the tile; returns their slots.
  std::vector<int> AddGems(int count, int tile) {
    std::vector<int> slots;
    for (int i = 0; i < count; ++i) slots.push_back(world->items.Add(c_gemNames[i % 8], tile, IS_GEM | IS_GLOWING));
    return slots;
  }
  int Stargates() const { return world->buildings.CountNamed("stargate"); }

  std::unique_ptr<Wld> world;
  Packet outbox;
};

TEST_F(StargateTest, EightUncarriedGemsRaiseOneStargate) {
  // Seven on the tile and the eighth carried onto it: they pulse at speed 7, nothing rises.
  std::vector<int> gems = AddGems(8, 3);
  world->items.m_carr[gems[7]] = 1;
  EXPECT_EQ(CheckStargate(world->items, 0.1f), 8);
  for (int g : gems) EXPECT_EQ(world->items.m_tspe[g], 7.0f);
  // Phase advances by speed x dt, kept to [0, 1): 7 x 0.1 = 0.7.
  EXPECT_NEAR(world->items.m_tphs[gems[0]], 0.7f, 1e-5);
  EXPECT_EQ(Stargates(), 0);
  EXPECT_EQ(outbox.m_size, 0);
  CheckStargate(world->items, 0.1f);
  EXPECT_NEAR(world->items.m_tphs[gems[0]], 0.4f, 1e-5);
  // Dropped: the stargate rises with the dramatic sound, placed without a sound tile.
  world->items.m_carr[gems[7]] = -1;
  CheckStargate(world->items, 0.0f);
  EXPECT_EQ(Stargates(), 1);
  EXPECT_EQ(world->buildings.Find(3, "stargate"), 0);
  EXPECT_EQ(PacketMessages(outbox), std::vector<std::string>{"soundeffect name=drama tile=-1"});
  // Again: no second stargate and no second sound. The gems stay where they are.
  CheckStargate(world->items, 0.0f);
  EXPECT_EQ(Stargates(), 1);
  EXPECT_EQ(PacketMessages(outbox).size(), 1u);
  for (int g : gems) EXPECT_EQ(world->items.m_loca[g], 3);
}

TEST_F(StargateTest, LoneOrCrowdedGemsRaiseNothing) {
  std::vector<int> lone = AddGems(1, 1);
  world->items.m_tphs[lone[0]] = 0.25f;
  std::vector<int> crowd = AddGems(9, 5);
  world->items.Add("stone", 5, IS_MATERIAL);
  EXPECT_EQ(CheckStargate(world->items, 0.5f), 10);
  // A lone gem does not pulse.
  EXPECT_EQ(world->items.m_tspe[lone[0]], 0.0f);
  EXPECT_EQ(world->items.m_tphs[lone[0]], 0.25f);
  EXPECT_EQ(world->items.m_tspe[crowd[0]], 8.0f);
  EXPECT_EQ(Stargates(), 0);
  // A freed gem slot is not counted.
  world->items.Remove(crowd[8]);
  EXPECT_EQ(CheckStargate(world->items, 0.5f), 9);
  EXPECT_EQ(Stargates(), 1);
}

TEST_F(StargateTest, CrownedPlayerOnTheStargateAscendsOnce) {
  CapturedLog log;
  AddGems(8, 2);
  CheckStargate(world->items, 0.0f);
  outbox.Empty();
  Actors& a = world->actors;
  // Standing there without a crown: nothing.
  Ascend(world->buildings, c_simStep);
  EXPECT_EQ(a.m_stat[0] & ST_ASCENDING, 0u);
  // Crowned, but a character other than the player's does not ascend.
  a.m_stat[1] |= ST_CROWNED;
  a.m_loca[1] = 2;
  Ascend(world->buildings, c_simStep);
  EXPECT_EQ(a.m_stat[1] & ST_ASCENDING, 0u);
  // The first step after the crown is forged.
  a.m_stat[0] |= ST_CROWNED;
  Ascend(world->buildings, c_simStep);
  EXPECT_NE(a.m_stat[0] & ST_ASCENDING, 0u);
  EXPECT_TRUE(log.Has("Ilvaren ascends into the sky."));
  Ascend(world->buildings, c_simStep);
  EXPECT_EQ(PacketMessages(outbox), std::vector<std::string>{"playerascend"});
}

TEST_F(StargateTest, TheStargateTurnsAndTheAngleWraps) {
  AddGems(8, 4);
  CheckStargate(world->items, 0.0f);
  Ascend(world->buildings, 1.0f);
  EXPECT_NEAR(StargateAngle(), 4.2f, 1e-5);
  // The building is its tile's transform turned by -angle about the up axis.
  const Matrix44 expect = world->globe.m_trfs[4] * Matrix44::Rotation(Vec3{0, 0, 1}, -4.2f);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(world->buildings.m_trfs[0].m[i], expect.m[i], 1e-5) << i;
  // 8.4 passes 2 pi and goes on from 8.4 - 2 pi.
  Ascend(world->buildings, 1.0f);
  EXPECT_NEAR(StargateAngle(), 8.4f - 6.2831853f, 1e-5);
  // No player's character: the stargates still turn.
  world->actors.m_stat[0] &= ~static_cast<uint64_t>(ST_CHOSEN);
  Ascend(world->buildings, 0.5f);
  EXPECT_NEAR(StargateAngle(), 8.4f - 6.2831853f + 2.1f, 1e-5);
}

TEST_F(StargateTest, GameEndIsPostedOncePerGame) {
  Actors& a = world->actors;
  world->m_age = 12.5;
  a.m_stat[0] |= ST_ASCENDING | ST_CROWNED;
  a.m_trfs[0].SetTranslation(Vec3{0.0f, 0.0f, 1.9f});
  // Rising past radius 2.0 over many steps: the win goes out once.
  for (int i = 0; i < 2000; ++i) a.CheckGameEnd(c_simStep, 0);
  EXPECT_GT(a.m_trfs[0].GetTranslation().Length(), 2.0f);
  EXPECT_EQ(PacketMessages(outbox), std::vector<std::string>{"gameend win=1 lose=0 age=12.500000 tilecount=8"});
  EXPECT_FALSE(GameEndPost(*world));
  // Another world is another game.
  std::unique_ptr<Wld> next = StripWorld(3);
  Packet other;
  WldOutboxSet(&other, next.get());
  EXPECT_TRUE(GameEndPost(*next));
  EXPECT_EQ(PacketMessages(other), std::vector<std::string>{"gameend win=1 lose=0 age=0.000000 tilecount=3"});
}

TEST_F(StargateTest, OnceOnlyMessagesWaitForRoomInTheOutbox) {
  // A message that goes out once per game is marked sent only when it was appended: with the
  // outbox full this frame, each is tried again on a later step and then goes out once.
  const std::string filler(c_packetLimit - 1, 'x');
  auto fill = [&] {
    outbox.Empty();
    ASSERT_TRUE(outbox.Append(filler.c_str()));
  };
  auto sent = [&](const char* prefix) {
    int n = 0;
    for (const std::string& m : PacketMessages(outbox)) n += m.rfind(prefix, 0) == 0;
    return n;
  };
  Actors& a = world->actors;

  // The intro ends with the climb: the bit stays until the message fits.
  a.m_stat[0] |= ST_CLIMBING;
  a.m_animSeq[0] = ANIM_SPAWN;
  a.m_animTime[0] = c_climbSeconds + 0.1f;
  fill();
  a.UpdateAnimation(c_simStep);
  EXPECT_TRUE(a.m_stat[0] & ST_CLIMBING);
  outbox.Empty();
  a.UpdateAnimation(c_simStep);
  a.UpdateAnimation(c_simStep);
  EXPECT_FALSE(a.m_stat[0] & ST_CLIMBING);
  EXPECT_EQ(sent("intro ended=1"), 1);

  // The ascension starts with its message.
  AddGems(8, 2);
  CheckStargate(world->items, 0.0f);
  a.m_stat[0] |= ST_CROWNED;
  fill();
  Ascend(world->buildings, c_simStep);
  EXPECT_FALSE(a.m_stat[0] & ST_ASCENDING);
  outbox.Empty();
  Ascend(world->buildings, c_simStep);
  Ascend(world->buildings, c_simStep);
  EXPECT_TRUE(a.m_stat[0] & ST_ASCENDING);
  EXPECT_EQ(sent("playerascend"), 1);

  // The win.
  fill();
  EXPECT_FALSE(GameEndPost(*world));
  EXPECT_EQ(world->m_gameEnded, 0);
  outbox.Empty();
  EXPECT_TRUE(GameEndPost(*world));
  EXPECT_FALSE(GameEndPost(*world));
  EXPECT_EQ(sent("gameend win=1"), 1);
}

}  // namespace
