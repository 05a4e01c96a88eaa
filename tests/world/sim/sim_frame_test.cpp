// The simulation frame and its message dispatcher: posting, keywords, integer keys and the click rules.
#include "world/sim/sim_frame.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"
#include "utility/message.h"
#include "world/actors/actors_interventions.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/actors_planning.h"
#include "world/actors_fixture.h"
#include "world/move_fixture.h"
#include "world/planet_fixture.h"
#include "world/wld.h"

namespace {

// A strip of land with the player's character "Ilvaren" on tile 2 and "Brim" on tile 4, who
// carries a wood axe.
class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MailboxReset();
    SimFrameReset();
    world = StripWorld(8);
    Actors& a = world->actors;
    ASSERT_EQ(a.Add("Ilvaren", 2), 0);
    a.m_stat[0] |= ST_CHOSEN;
    ASSERT_EQ(a.Add("Brim", 4), 1);
    axe = world->items.Add("woodaxe", 4, IS_TOOL);
    ASSERT_GE(axe, 0);
    world->items.m_carr[axe] = 1;
    WldOutboxSet(&outbox, world.get());
  }
  void TearDown() override { MailboxReset(); }
  bool Handle(const char* text) { return VisMessageHandle(world.get(), text); }

  std::unique_ptr<Wld> world;
  Packet outbox;
  int axe = -1;
};

TEST(MessageIntValue, ReadsKeysByTheDispatchersRules) {
  // The keyword is skipped first, so a key spelled inside it is not found there.
  EXPECT_EQ(MessageIntValue("leftclick down=1 tile=5", "tile"), 5);
  EXPECT_EQ(MessageIntValue("down=9 down=2", "down"), 2);
  // Absent, without '=', or nothing after '=': the smallest 32-bit integer.
  EXPECT_EQ(MessageIntValue("leftclick down=1", "tile"), INT_MIN);
  EXPECT_EQ(MessageIntValue("leftclick tile", "tile"), INT_MIN);
  EXPECT_EQ(MessageIntValue("leftclick tile=", "tile"), INT_MIN);
  EXPECT_EQ(MessageIntValue("leftclick", "tile"), INT_MIN);
  EXPECT_EQ(MessageIntValue(nullptr, "tile"), INT_MIN);
  EXPECT_EQ(MessageIntValue("leftclick tile=3", nullptr), INT_MIN);
  // atoi rules: blanks skipped, a sign, digits up to the first non-digit; no digits is 0.
  EXPECT_EQ(MessageIntValue("leftclick tile=  7", "tile"), 7);
  EXPECT_EQ(MessageIntValue("playerspeak line=-3", "line"), -3);
  EXPECT_EQ(MessageIntValue("leftclick tile=12abc", "tile"), 12);
  EXPECT_EQ(MessageIntValue("leftclick tile=abc", "tile"), 0);
  EXPECT_EQ(MessageIntValue("leftclick tile= ", "tile"), 0);
  // The '=' may come after other text, and the key may sit inside a longer word.
  EXPECT_EQ(MessageIntValue("leftclick tilex=4", "tile"), 4);
  EXPECT_EQ(MessageIntValue("leftclick tile and more=8", "tile"), 8);
  // Hostile numbers are clamped to 32 bits rather than overflowing.
  EXPECT_EQ(MessageIntValue("leftclick tile=99999999999999999999", "tile"), INT_MAX);
  EXPECT_EQ(MessageIntValue("leftclick tile=-99999999999999999999", "tile"), INT_MIN);
  // A line feed also ends the keyword.
  EXPECT_EQ(MessageIntValue("simspeed\naccelerated=1", "accelerated"), 1);
}

TEST_F(DispatchTest, KeywordsAreComparedAsPrefixes) {
  CapturedLog log;
  EXPECT_TRUE(Handle("cheatkey"));
  EXPECT_TRUE(Handle("cheatkeys please"));
  EXPECT_TRUE(Handle("simspeedy accelerated=1"));
  EXPECT_EQ(SimFastForward(), 1);
  EXPECT_TRUE(Handle("simspeed accelerated=0 musicff=1"));
  EXPECT_EQ(SimFastForward(), 0);
  EXPECT_TRUE(Handle("simspeed accelerated=3"));
  EXPECT_EQ(SimFastForward(), 1);
  EXPECT_TRUE(Handle("simspeed"));  // an absent key reads negative: not accelerated
  EXPECT_EQ(SimFastForward(), 0);
  // "leftclick " and "playeraction " include their blank.
  EXPECT_FALSE(Handle("leftclick"));
  EXPECT_FALSE(Handle("leftclickdown=1"));
  EXPECT_FALSE(Handle("playeraction"));
  EXPECT_FALSE(Handle("bogus"));
  EXPECT_FALSE(Handle(""));
  EXPECT_FALSE(Handle(nullptr));
  {
    // The save is written; this strip has no buildings, which the save reports as it writes.
    UseTestFolders();
    ExpectAsserts asserts;
    EXPECT_TRUE(Handle("savegame"));
    EXPECT_TRUE(asserts.Saw("m_cnt>0"));
    EXPECT_TRUE(FileExists("autosave.dat", true));
  }
  {
    // "playerspeakers" is still taken for "playerspeak"; nobody is engaged, so the speech is
    // reported once and dropped, with no assertion.
    CapturedLog log;
    ExpectAsserts asserts;
    EXPECT_TRUE(Handle("playerspeakers line=0"));
    EXPECT_EQ(asserts.Count(), 0);
    EXPECT_EQ(log.CountPrefix("Ilvaren has nobody to speak to"), 1);
  }
}

TEST_F(DispatchTest, ControlClickStealsOnThePressOnly) {
  CapturedLog log;
  EXPECT_TRUE(Handle("leftclick down=0 moved=0 tile=4 actor=1 modalt=0 modctl=1 modshf=0"));
  EXPECT_TRUE(world->items.InUse(axe));
  EXPECT_TRUE(Handle("leftclick down=1 moved=0 tile=4 actor=1 modalt=0 modctl=1 modshf=0"));
  EXPECT_FALSE(world->items.InUse(axe));
  EXPECT_TRUE(log.Has("Destroying item woodaxe carried by Brim"));
  EXPECT_TRUE(log.Has("Stole from Brim"));
  // Nothing more to take: no second theft line, nothing changes.
  const int before = log.Find("Stole from Brim");
  EXPECT_TRUE(Handle("leftclick down=1 moved=0 tile=4 actor=1 modalt=0 modctl=1 modshf=0"));
  EXPECT_LT(log.Find("Stole from", before + 1), 0);
  // Character numbers from the message are not trusted.
  EXPECT_TRUE(Handle("leftclick down=1 moved=0 tile=4 actor=31 modalt=0 modctl=1 modshf=0"));
  EXPECT_TRUE(Handle("leftclick down=1 moved=0 tile=4 actor=2147483647 modalt=0 modctl=1 modshf=0"));
  EXPECT_TRUE(Handle("leftclick down=1 moved=0 tile=4 actor=2147483647 modalt=0 modctl=0 modshf=1"));
  EXPECT_EQ(world->actors.m_stat[1] & ST_ACTIVE, ST_ACTIVE);
}

TEST_F(DispatchTest, ShiftClickSmitesOnThePressAndTheReleaseDoesNothing) {
  CapturedLog log;
  Actors& a = world->actors;
  a.m_lvel[1] = Vec3{1, 2, 3};
  a.m_avel[1] = 2.0f;
  EXPECT_TRUE(Handle("leftclick down=1 moved=0 tile=4 actor=1 modalt=0 modctl=0 modshf=1"));
  EXPECT_EQ(a.m_stat[1] & ST_ACTIVE, 0u);
  EXPECT_TRUE(log.Has("Smiting Brim"));
  // It let go of the axe, kept its slot, name and tile, and stands still.
  EXPECT_TRUE(world->items.InUse(axe));
  EXPECT_EQ(world->items.m_carr[axe], -1);
  EXPECT_STREQ(a.m_name[1].c_str(), "Brim");
  EXPECT_EQ(a.m_loca[1], 4);
  EXPECT_EQ(a.m_lvel[1].x, 0.0f);
  EXPECT_EQ(a.m_avel[1], 0.0f);
  // The release carries a tile, but with shift held on a character it sends nobody anywhere.
  EXPECT_TRUE(Handle("leftclick down=0 moved=0 tile=5 actor=1 modalt=0 modctl=0 modshf=1"));
  EXPECT_EQ(a.m_pathRequested[0], 0);
  // Smiting again reports nothing new: Smite says 0, and the event is not logged again.
  EXPECT_TRUE(Handle("leftclick down=1 moved=0 tile=4 actor=1 modalt=0 modctl=0 modshf=1"));
  EXPECT_EQ(log.Find("Smiting Brim", log.Find("Smiting Brim") + 1), -1);
  EXPECT_EQ(Smite(a, 1), 0);
  EXPECT_EQ(Smite(a, -1), 0);
  EXPECT_EQ(Smite(a, 7), 0);
}

TEST_F(DispatchTest, PlainReleaseOnATileSendsThePlayer) {
  Actors& a = world->actors;
  // The walk is on the release, without a drag, on a tile, with no modifier.
  EXPECT_TRUE(Handle("leftclick down=1 moved=0 tile=5 actor=-1 modalt=0 modctl=0 modshf=0"));
  EXPECT_TRUE(Handle("leftclick down=0 moved=1 tile=5 actor=-1 modalt=0 modctl=0 modshf=0"));
  EXPECT_TRUE(Handle("leftclick down=0 moved=0 tile=-1 actor=-1 modalt=0 modctl=0 modshf=0"));
  EXPECT_TRUE(Handle("leftclick down=0 moved=0 tile=5 actor=-1 modalt=0 modctl=1 modshf=0"));
  EXPECT_TRUE(Handle("leftclick down=0 moved=0 actor=-1 modalt=0 modctl=0 modshf=0"));
  EXPECT_EQ(a.m_pathRequested[0], 0);
  EXPECT_TRUE(Handle("leftclick down=0 moved=0 tile=5 actor=-1 modalt=0 modctl=0 modshf=0"));
  EXPECT_EQ(a.m_pathRequested[0], 1);
  EXPECT_EQ(a.m_pathGoal[0].tile, 5);
  EXPECT_EQ(a.m_pathGoal[0].attribMask, 0u);
  EXPECT_EQ(a.m_pathGoal[0].itemName, nullptr);
  // A second click while the request is pending only restarts the path.
  a.m_pathStage[0] = 3;
  EXPECT_TRUE(Handle("leftclick down=0 moved=0 tile=6 actor=-1 modalt=0 modctl=0 modshf=0"));
  EXPECT_EQ(a.m_pathGoal[0].tile, 5);
  EXPECT_EQ(a.m_pathStage[0], 0);
  // The tile key is found as a substring.
  a.m_pathRequested[0] = 0;
  EXPECT_TRUE(Handle("leftclick down=0 moved=0 tilex=4 actor=-1 modalt=0 modctl=0 modshf=0"));
  EXPECT_EQ(a.m_pathGoal[0].tile, 4);
  // Water, tiles off the planet and a missing player's character are refused.
  a.m_pathRequested[0] = 0;
  world->globe.m_nodes[6].type = TP_WATR;
  EXPECT_EQ(PlayerWalkTo(a, 6), -1);
  EXPECT_EQ(PlayerWalkTo(a, 8), -1);
  EXPECT_EQ(PlayerWalkTo(a, INT_MAX), -1);
  EXPECT_EQ(a.m_pathRequested[0], 0);
  a.m_stat[0] &= ~static_cast<uint64_t>(ST_CHOSEN);
  EXPECT_EQ(PlayerWalkTo(a, 5), -1);
}

TEST_F(DispatchTest, ASmittenPlayerIsNotSentAnywhere) {
  Actors& a = world->actors;
  // Smitten while its path request is pending: the request is dropped with it.
  EXPECT_EQ(PlayerWalkTo(a, 5), 0);
  EXPECT_EQ(a.m_pathRequested[0], 1);
  EXPECT_EQ(Smite(a, 0), 1);
  EXPECT_EQ(a.m_pathRequested[0], 0);
  // Clicks afterwards record nothing that nobody would collect.
  EXPECT_TRUE(Handle("leftclick down=0 moved=0 tile=5 actor=-1 modalt=0 modctl=0 modshf=0"));
  EXPECT_EQ(a.m_pathRequested[0], 0);
}

TEST_F(DispatchTest, PlayerActionStartsAOneStepPlan) {
  CapturedLog log;
  Actors& a = world->actors;
  // An empty name, or one that begins with a blank, does nothing.
  EXPECT_TRUE(Handle("playeraction name="));
  EXPECT_TRUE(Handle("playeraction name= greet"));
  EXPECT_TRUE(Handle("playeraction greet"));
  EXPECT_EQ(a.m_planSize[0], 0);
  EXPECT_STREQ(SimPlayerActionName(), "");
  a.m_pasz[0] = 4;
  a.m_tgtl[0] = 3;
  EXPECT_TRUE(Handle("playeraction name=greet extra=1"));
  EXPECT_TRUE(log.Has("Action 'greet' selected."));
  EXPECT_EQ(a.m_planSize[0], 1);
  EXPECT_EQ(a.m_planStage[0], 0);
  EXPECT_EQ(a.m_planActive[0], 1);
  EXPECT_STREQ(a.m_planActions[0][0], "greet");
  EXPECT_EQ(a.m_pasz[0], 0);
  EXPECT_EQ(a.m_tgtl[0], -1);
  EXPECT_TRUE(PlayerIsGreeting(a));
  // A 70-character name is cut to 63; not an action, so it is reported once and dropped, with no
  // assertion: the plan stays, and so does a plan request waiting for its answer.
  {
    ExpectAsserts asserts;
    CapturedLog unknown;
    a.m_planRequested[0] = 1;
    EXPECT_TRUE(Handle("playeraction name=aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"));
    EXPECT_EQ(asserts.Count(), 0);
    EXPECT_EQ(unknown.CountPrefix("Ilvaren cannot perform the unknown action"), 1);
    EXPECT_EQ(a.m_planRequested[0], 1);
    a.m_planRequested[0] = 0;
  }
  EXPECT_EQ(strlen(SimPlayerActionName()), 63u);
  EXPECT_STREQ(a.m_planActions[0][0], "greet");
}

TEST_F(DispatchTest, AvailableActionsLeaveOutWalkingAndSearching) {
  Actors& a = world->actors;
  world->globe.UpdateOccupancy();
  const char* names[MAXACTIONS];
  const int n = AvailableActions(a, 0, names, MAXACTIONS);
  bool greet = false;
  for (int i = 0; i < n; ++i) {
    const std::string name = names[i];
    EXPECT_NE(name.rfind("walk_to_", 0), 0u) << name;
    EXPECT_NE(name.rfind("find_", 0), 0u) << name;
    EXPECT_NE(name.rfind("scavenge_", 0), 0u) << name;
    greet = greet || name == "greet";
  }
  // Brim two tiles away (distance 3 counting the start as 1) can be greeted.
  EXPECT_TRUE(greet);
  EXPECT_LE(AvailableActions(a, 0, names, 1), 1);
  EXPECT_EQ(AvailableActions(a, 0, names, 0), 0);
  EXPECT_EQ(AvailableActions(a, 9, names, 6), 0);
  // Three tiles away is too far.
  a.m_loca[1] = 5;
  world->globe.UpdateOccupancy();
  const int far = AvailableActions(a, 0, names, MAXACTIONS);
  for (int i = 0; i < far; ++i) EXPECT_STRNE(names[i], "greet");
}

TEST_F(DispatchTest, SpeechHandsTheListedAssignment) {
  CapturedLog log;
  Actors& a = world->actors;
  auto greetBrim = [&] {
    StartAction(a, 0, "greet");
    a.m_stat[1] |= ST_ENGAGED;
  };
  world->demand.m_offers[0] = 1;
  world->demand.m_offers[3] = 1;
  greetBrim();
  EXPECT_TRUE(Handle("playerspeak line=1"));
  EXPECT_EQ(a.m_assi[1], 3);
  EXPECT_TRUE(log.Has("Ilvaren tells Brim to build stuff"));
  EXPECT_EQ(a.m_stat[1] & ST_ENGAGED, 0u);
  EXPECT_EQ(a.m_planSize[0], 0);
  EXPECT_FALSE(PlayerIsGreeting(a));
  // It let go of the axe when given the new order.
  EXPECT_EQ(world->items.m_carr[axe], -1);
  // Beyond the list: refused after the greeting has ended.
  greetBrim();
  a.m_assi[1] = -1;
  EXPECT_TRUE(Handle("playerspeak line=2"));
  EXPECT_TRUE(log.Has("Cannot use line 2, there are only 2 active assignments."));
  EXPECT_EQ(a.m_assi[1], -1);
  EXPECT_EQ(a.m_stat[1] & ST_ENGAGED, 0u);
  // A negative or absent line ends the conversation without an order.
  greetBrim();
  EXPECT_TRUE(Handle("playerspeak"));
  EXPECT_EQ(a.m_assi[1], -1);
  EXPECT_EQ(a.m_stat[1] & ST_ENGAGED, 0u);
}

TEST_F(DispatchTest, FrameOfNoStepsStillPumpsTicksAndPosts) {
  CapturedLog log;
  Packet vis;
  vis.Append("simspeed accelerated=1");
  vis.Append("nonsense here");
  MailboxPost(c_mailboxVis, vis);
  outbox.Append("soundeffect name=pickup gain=3 tile=2");
  EXPECT_TRUE(SimFrame(&outbox, 0, c_simStep, world.get()));
  EXPECT_EQ(SimFastForward(), 1);
  EXPECT_TRUE(log.Has("Unhandled message: nonsense here"));
  EXPECT_EQ(world->m_age, 0.0);
  EXPECT_EQ(outbox.m_size, 0);
  Packet got;
  ASSERT_TRUE(MailboxReceive(c_mailboxVis, &got));
  EXPECT_EQ(PacketMessages(got), std::vector<std::string>{"soundeffect name=pickup gain=3 tile=2"});
  // An empty packet is posted too, and a negative step count runs no step.
  EXPECT_TRUE(SimFrame(&outbox, -5, c_simStep, world.get()));
  ASSERT_TRUE(MailboxReceive(c_mailboxVis, &got));
  EXPECT_EQ(got.m_size, 0);
  EXPECT_EQ(world->m_age, 0.0);
  // Nothing waits from the visualisation: the frame goes on.
  EXPECT_TRUE(SimFrame(&outbox, 0, c_simStep, world.get()));
  // The overflow flag of a packet that filled up is cleared with the post.
  std::string big(200, 'x');
  for (int i = 0; i < 10; ++i) outbox.Append(big.c_str());
  EXPECT_EQ(outbox.m_overflow, 1);
  EXPECT_TRUE(SimFrame(&outbox, 0, c_simStep, world.get()));
  EXPECT_EQ(outbox.m_overflow, 0);
  EXPECT_EQ(outbox.m_size, 0);
}

TEST_F(DispatchTest, StatisticsThatFindThePacketFullComeInALaterFrame) {
  // Two roads, a gem and two free populations counted while the packet is full: each is held by
  // name and goes out with the next frame's packet, once.
  std::string big(200, 'x');
  while (outbox.Append(big.c_str())) {
  }
  while (outbox.Append("x")) {
  }
  world->PostStat("s_roads", 1, false);
  world->PostStat("s_gems", 1, true);
  world->PostStat("s_roads", 1, false);
  // Of a value only the newest is sent.
  world->PostStatValue("s_freepop", 2, true);
  world->PostStatValue("s_freepop", 3, true);
  EXPECT_EQ(world->m_heldStatCount, 3);
  EXPECT_TRUE(SimFrame(&outbox, 0, c_simStep, world.get()));
  Packet got;
  ASSERT_TRUE(MailboxReceive(c_mailboxVis, &got));
  for (const std::string& m : PacketMessages(got)) EXPECT_EQ(m.rfind("intstat", 0), std::string::npos) << m;
  EXPECT_TRUE(SimFrame(&outbox, 0, c_simStep, world.get()));
  ASSERT_TRUE(MailboxReceive(c_mailboxVis, &got));
  const std::vector<std::string> expect = {"intstat name=s_roads delta=2", "intstat name=s_gems delta=1 sync=1",
                                           "intstat name=s_freepop val=3 sync=1"};
  EXPECT_EQ(PacketMessages(got), expect);
  EXPECT_EQ(world->m_heldStatCount, 0);
  // With room, a delta goes out at once.
  world->PostStat("s_bridges", 1, false);
  EXPECT_EQ(PacketMessages(outbox), std::vector<std::string>{"intstat name=s_bridges delta=1"});
}

}  // namespace

namespace {

// Frames with both services running on the strip; the services are stopped and drained before
// the world goes.
class FrameService : public DispatchTest {
 protected:
  void SetUp() override {
    DispatchTest::SetUp();
    ASSERT_TRUE(PlanningServiceStart());
    ASSERT_TRUE(PathingServiceStart());
  }
  void TearDown() override {
    PathingServiceStop();
    PlanningServiceStop();
    DispatchTest::TearDown();
  }
  void Post(const char* text) {
    Packet p;
    p.Append(text);
    MailboxPost(c_mailboxVis, p);
  }
  // Runs frames of 4 steps until the condition holds, at most `frames` of them, in lockstep with the
  // services, so that the frames a search takes do not depend on how busy the machine is.
  bool FramesUntil(const std::function<bool()>& condition, int frames = 4000) {
    Lockstep lockstep;
    for (int i = 0; i < frames; ++i) {
      if (condition()) return true;
      SimFrame(&outbox, 4, c_simStep, world.get());
      Packet drained;
      while (MailboxReceive(c_mailboxVis, &drained))
        for (const std::string& m : PacketMessages(drained)) received.push_back(m);
    }
    return condition();
  }
  int Received(const std::string& prefix) const {
    int n = 0;
    for (const std::string& m : received) n += m.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }
  std::vector<std::string> received;  // what the simulation posted, in order
};

TEST_F(FrameService, SmitingWhileAPathIsPendingFreezesNobody) {
  Actors& a = world->actors;
  // Brim asks for a path, which the next step hands to the service; he is smitten while it is
  // queued or being searched.
  RequestPath(a, 1, 7, 0, nullptr);
  SimFrame(&outbox, 1, c_simStep, world.get());
  Post("leftclick down=1 moved=0 tile=-1 actor=1 modalt=0 modctl=0 modshf=1");
  SimFrame(&outbox, 0, c_simStep, world.get());
  EXPECT_EQ(a.m_stat[1] & ST_ACTIVE, 0u);
  // The player's click afterwards is still served and walked.
  Post("leftclick down=0 moved=0 tile=6 actor=-1 modalt=0 modctl=0 modshf=0");
  EXPECT_TRUE(FramesUntil([&] { return a.m_pathRequested[0] == 0 && a.m_pasz[0] > 0; }));
  EXPECT_TRUE(FramesUntil([&] { return a.m_loca[0] == 6; }));
  EXPECT_EQ(a.m_pathRequested[1], 0);
  EXPECT_EQ(a.m_loca[1], 4);
}

TEST_F(FrameService, ASmittenPlayersClickLeavesTheServiceToOthers) {
  Actors& a = world->actors;
  // The player's character is smitten with its own request pending, then clicks again.
  Post("leftclick down=0 moved=0 tile=6 actor=-1 modalt=0 modctl=0 modshf=0");
  SimFrame(&outbox, 1, c_simStep, world.get());
  EXPECT_EQ(Smite(a, 0), 1);
  Post("leftclick down=0 moved=0 tile=7 actor=-1 modalt=0 modctl=0 modshf=0");
  SimFrame(&outbox, 1, c_simStep, world.get());
  EXPECT_EQ(a.m_pathRequested[0], 0);
  // Brim's request is served all the same.
  RequestPath(a, 1, 0, 0, nullptr);
  EXPECT_TRUE(FramesUntil([&] { return a.m_pathRequested[1] == 0 && a.m_pasz[1] > 0; }));
  EXPECT_EQ(a.m_loca[0], 2);
}

}  // namespace

namespace {

TEST_F(FrameService, SmitingWhileAPlanIsBeingSearchedFreezesNobody) {
  Actors& a = world->actors;
  ASSERT_EQ(a.Add("Cora", 5), 2);
  // Brim's long search goes to the worker; he is smitten while it runs.
  RequestSlowPlan(a, 1);
  ASSERT_EQ(a.QueuePlanRequest(c_simStep), 1);
  Post("leftclick down=1 moved=0 tile=-1 actor=1 modalt=0 modctl=0 modshf=1");
  SimFrame(&outbox, 0, c_simStep, world.get());
  EXPECT_EQ(a.m_planRequested[1], 0);
  // Cora's request is served once his answer has been dropped.
  RequestEasyPlan(a, 2);
  EXPECT_TRUE(PollUntil([&] {
    a.QueuePlanRequest(c_simStep);
    return a.CollectPlan(2) >= 0;
  }));
  EXPECT_EQ(a.m_planSize[2], 1);
  EXPECT_EQ(a.m_planSize[1], 0);
}

}  // namespace

namespace {

TEST_F(FrameService, GemsRaiseTheStargateAndTheWinIsPostedOnce) {
  CapturedLog log;
  Actors& a = world->actors;
  const char* const gems[8] = {"redgem",  "greengem", "yellowgem", "bluegem",
                               "cyangem", "pinkgem",  "purplegem", "orangegem"};
  for (const char* g : gems) ASSERT_GE(world->items.Add(g, 2, IS_GEM | IS_GLOWING), 0);
  a.m_stat[0] |= ST_CROWNED;
  // One frame raises the stargate and, later in the same step, starts the ascension; the
  // rising character is soon beyond radius 2 and stays there for the rest of the run.
  EXPECT_TRUE(FramesUntil([&] { return Received("gameend") > 0; }, 400));
  FramesUntil([] { return false; }, 100);
  EXPECT_EQ(Received("soundeffect name=drama tile=-1"), 1);
  EXPECT_EQ(Received("playerascend"), 1);
  EXPECT_EQ(Received("gameend win=1 lose=0 age="), 1);
  EXPECT_EQ(world->buildings.CountNamed("stargate"), 1);
  EXPECT_TRUE(log.Has("Ilvaren ascends into the sky."));
  EXPECT_NE(a.m_stat[0] & ST_ASCENDING, 0u);
}

}  // namespace
