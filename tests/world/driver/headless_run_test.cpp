// The headless runner: a generated world driven through whole frames with the planning and pathing services.
#include "world/driver/headless_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "system/file.h"
#include "test_support.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/actors_planning.h"
#include "world/driver/scripted_player.h"
#include "world/planet/worldgen.h"
#include "world/planet_fixture.h"
#include "world/save/save.h"
#include "world/sim/sim_frame.h"

namespace {

// The 272-tile planet (size 1), variant 0: the smallest planet that generation accepts.
HeadlessOptions SmallPlanet(double seconds) {
  HeadlessOptions o;
  HeadlessOptionsDefault(&o);
  o.params[0] = 1;
  o.params[4] = 0;
  o.seconds = seconds;
  o.stepsPerFrame = 4;
  o.lockstep = 1;
  return o;
}

std::vector<char> ReadSave() {
  FixedString user;
  UserFolderResolve(&user);
  std::ifstream in(std::string(user.c_str()) + "/" + SAVEFILENAME, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(HeadlessService, RunsAGeneratedWorldWithClicksAndDrainsTheServices) {
  UseTestFolders();
  HeadlessOptions o = SmallPlanet(2.5);
  // Events go out in time order, not list order: this one, due after the end, is never sent
  // and must not hold back the ones after it in the list.
  ASSERT_TRUE(HeadlessEventAdd(&o, 3.0, "simspeed accelerated=0"));
  ASSERT_TRUE(HeadlessClickTile(&o, 0.5, 30));
  ASSERT_TRUE(HeadlessSmite(&o, 1.0, 3));
  ASSERT_TRUE(HeadlessSteal(&o, 1.0, 4));
  ASSERT_TRUE(HeadlessSpeed(&o, 1.5, true));
  HeadlessResult r;
  ASSERT_EQ(HeadlessRun(o, &r), 0);
  // 2.5 s at 240 steps per second, 4 steps a frame.
  EXPECT_EQ(r.steps, 600);
  EXPECT_EQ(r.frames, 150);
  EXPECT_NEAR(r.age, 2.5, 1e-3);
  // The generated world of this planet (pinned when first run): 272 tiles and 26 characters,
  // the player's among them; the smite leaves 25 active.
  EXPECT_EQ(r.generateResult, WG_OK);
  EXPECT_EQ(r.tiles, 272);
  EXPECT_EQ(r.characters, 26);
  EXPECT_EQ(r.active, 25);
  EXPECT_EQ(r.gameEnds, 0);
  EXPECT_EQ(SimFastForward(), 1);
  // Both services were stopped and hold nothing.
  EXPECT_FALSE(PlanningServiceRunning());
  EXPECT_FALSE(PathingServiceRunning());
  EXPECT_EQ(PlanningQueueCount(), 0);
  EXPECT_EQ(PathingQueueCount(), 0);
}

// One world and seed played three times in lockstep, the last time beside threads that keep every
// core busy and so slow the services down: each run ends in the same world, byte for byte.
TEST(HeadlessService, LockstepRunsOfOneWorldEndTheSameBesideABusyMachine) {
  UseTestFolders();
  std::vector<char> saves[3];
  ScriptedProgress reached[3];
  for (int run = 0; run < 3; ++run) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> busy;
    if (run == 2)
      for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i)
        busy.emplace_back([&stop] {
          while (!stop.load(std::memory_order_relaxed)) {
          }
        });
    HeadlessOptions o = SmallPlanet(90.0);
    o.hasSeed = 1;
    o.seed = 7;
    o.saveAtEnd = 1;
    ScriptedPlayer player;
    player.report = false;
    ScriptedPlayerAttach(&o, &player);
    HeadlessResult r;
    const int rc = HeadlessRun(o, &r);
    stop.store(true);
    for (std::thread& t : busy) t.join();
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(r.saved, 1);
    saves[run] = ReadSave();
    reached[run] = player.progress;
  }
  // The player got far enough for the services to matter: the camp freed and at work.
  EXPECT_GE(reached[0].freed, 3);
  EXPECT_GE(reached[0].chestsSmashed, 1);
  ASSERT_GT(saves[0].size(), 272u);
  for (int run = 1; run < 3; ++run) {
    EXPECT_EQ(reached[run].freed, reached[0].freed) << "run " << run;
    EXPECT_EQ(reached[run].chestsSmashed, reached[0].chestsSmashed) << "run " << run;
    EXPECT_EQ(reached[run].sawmills, reached[0].sawmills) << "run " << run;
    EXPECT_EQ(reached[run].tutorHighest, reached[0].tutorHighest) << "run " << run;
    ASSERT_EQ(saves[run].size(), saves[0].size()) << "run " << run;
    const auto differ = std::mismatch(saves[0].begin(), saves[0].end(), saves[run].begin());
    EXPECT_EQ(differ.first, saves[0].end())
        << "run " << run << " differs at byte " << (differ.first - saves[0].begin());
  }
}

TEST(HeadlessService, RefusesBadOptionsAndUnplayablePlanets) {
  UseTestFolders();
  HeadlessResult r;
  HeadlessOptions o = SmallPlanet(0.1);
  o.stepsPerFrame = 0;
  EXPECT_EQ(HeadlessRun(o, &r), -1);
  o = SmallPlanet(0.1);
  o.params[0] = 6;  // there are six planet sizes
  EXPECT_EQ(HeadlessRun(o, &r), -1);
  o = SmallPlanet(-1.0);
  EXPECT_EQ(HeadlessRun(o, &r), -1);
  o = SmallPlanet(0.1);
  o.params[5] = -1;
  EXPECT_EQ(HeadlessRun(o, &r), -1);
  // The 92-tile planet of variant 0 has no continent to start on.
  o = SmallPlanet(0.1);
  o.params[0] = 0;
  EXPECT_EQ(HeadlessRun(o, &r), -1);
  EXPECT_EQ(r.generateResult, WG_NOSTART);
  EXPECT_EQ(r.steps, 0);
  EXPECT_FALSE(PlanningServiceRunning());
  // A full event list refuses more, and an over-long text is refused.
  o = SmallPlanet(0.1);
  for (int i = 0; i < MAXHEADLESSEVENTS; ++i) ASSERT_TRUE(HeadlessEventAdd(&o, 0.0, "cheatkey"));
  EXPECT_FALSE(HeadlessEventAdd(&o, 0.0, "cheatkey"));
  std::string longText(300, 'x');
  o.events = 0;
  EXPECT_FALSE(HeadlessEventAdd(&o, 0.0, longText.c_str()));
  EXPECT_FALSE(HeadlessEventAdd(&o, 0.0, nullptr));
}

TEST(HeadlessService, LeavesTheCallersServicesRunningAndRepeatsItself) {
  UseTestFolders();
  ASSERT_TRUE(PlanningServiceStart());
  ASSERT_TRUE(PathingServiceStart());
  HeadlessOptions o = SmallPlanet(0.5);
  o.stepsPerFrame = 7;  // 120 steps: 17 frames of 7 and one of 1
  HeadlessResult first, second;
  ASSERT_EQ(HeadlessRun(o, &first), 0);
  EXPECT_TRUE(PlanningServiceRunning());
  EXPECT_TRUE(PathingServiceRunning());
  ASSERT_EQ(HeadlessRun(o, &second), 0);
  EXPECT_EQ(first.steps, 120);
  EXPECT_EQ(first.frames, 18);
  EXPECT_EQ(second.steps, first.steps);
  EXPECT_EQ(second.messagesPosted, first.messagesPosted);
  PathingServiceStop();
  PlanningServiceStop();
}

}  // namespace
