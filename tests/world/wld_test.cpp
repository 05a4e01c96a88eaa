// The world record: its tick, posting, clean-up order and the scene dump.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>

#include "actors_fixture.h"
#include "planet_fixture.h"
#include "test_support.h"
#include "utility/message.h"
#include "world/actors/actors_pathing.h"

TEST(Wld, AgeAdvancesBySingleFloatSteps) {
  Wld world("Reverodade b");
  EXPECT_EQ(world.m_version, 104u);
  EXPECT_STREQ(world.m_name.c_str(), "Reverodade b");
  world.Update(3, 1.0f / 240.0f);
  EXPECT_EQ(world.m_age, static_cast<double>(3.0f * (1.0f / 240.0f)));
  EXPECT_NEAR(world.m_age, 0.0125, 1e-7);
}

TEST(Wld, PostNeedsAnOutbox) {
  Wld world("Reverodade b");
  world.Post("soundeffect name=pickup");  // lost without an outbox
  Packet packet;
  world.m_outbox = &packet;
  world.Post("intro started=1");
  EXPECT_EQ(packet.m_size, 16);
  EXPECT_STREQ(packet.m_data, "intro started=1");
  EXPECT_TRUE(world.PostF("soundeffect name=%s gain=2.0 tile=%d", "hammer", 17));
  EXPECT_STREQ(packet.m_data + 16, "soundeffect name=hammer gain=2.0 tile=17");
}

TEST(Wld, DestroyingLogsThePartsLastToFirst) {
  UseTestFolders();
  DumpShape shape = ReadDumpShape();
  WriteTopology(shape, HalfLand(shape));
  CapturedLog log;
  Wld* world = new Wld("Reverodade b");
  ASSERT_EQ(world->LoadTopology("custom.top"), 92);
  delete world;
  const int destroying = log.Find("Destroying world 'Reverodade b'");
  ASSERT_GE(destroying, 0);
  const int items = log.Find("Cleaned up 2 items.", destroying);
  const int dragons = log.Find("Cleaned up 0 dragons.", destroying);
  const int globe = log.Find("Cleaned up globe with 92 tiles.", destroying);
  EXPECT_LT(destroying, items);
  EXPECT_LT(items, dragons);
  EXPECT_LT(dragons, globe);
}

// What the services still held of the world when its first part logged its clean-up.
struct HeldAtCleanUp {
  const Actors* actors = nullptr;
  bool seen = false;
  int planInFlight = -1, pathInFlight = -1, planQueued = -1, pathQueued = -1;
} heldAtCleanUp;

void NoteHeldAtCleanUp(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const char* line = va_arg(args, const char*);  // the log passes each line as "%s"
  va_end(args);
  if (heldAtCleanUp.seen || strncmp(line, "Cleaned up", 10) != 0) return;
  heldAtCleanUp.seen = true;
  heldAtCleanUp.planInFlight = heldAtCleanUp.actors->m_planInFlight;
  heldAtCleanUp.pathInFlight = heldAtCleanUp.actors->m_pathInFlight;
  heldAtCleanUp.planQueued = PlanningQueueCount();
  heldAtCleanUp.pathQueued = PathingQueueCount();
}

// The caller deletes a world with a plan search and a path search of it handed to the services
// and does nothing else: the world takes both back before any of its parts is destroyed, so no
// worker reads a part that is gone (the sanitizers watch the rest).
TEST(WldService, DeletingAWorldTakesItsRequestsBackBeforeAnyPartGoes) {
  ASSERT_TRUE(PlanningServiceStart());
  ASSERT_TRUE(PathingServiceStart());
  auto world = StripWorld(8);
  Actors& a = world->actors;
  a.Add("Gahk", 0);
  a.Add("Grenn", 1);
  RequestSlowPlan(a, 0);
  RequestPath(a, 1, 7, 0, nullptr);
  ASSERT_EQ(a.QueuePlanRequest(0.0f), 0);
  ASSERT_EQ(QueuePathRequest(a), 1);
  heldAtCleanUp = HeldAtCleanUp{&a};
  consoleHook = NoteHeldAtCleanUp;
  world.reset();
  consoleHook = nullptr;
  EXPECT_TRUE(heldAtCleanUp.seen);
  EXPECT_EQ(heldAtCleanUp.planInFlight, 0);
  EXPECT_EQ(heldAtCleanUp.pathInFlight, 0);
  EXPECT_EQ(heldAtCleanUp.planQueued, 0);
  EXPECT_EQ(heldAtCleanUp.pathQueued, 0);
  PathingServiceStop();
  PlanningServiceStop();
}

TEST(Wld, EmptySceneIsHeadAndTail) {
  UseTestFolders();
  Wld world("Reverodade b");
  ASSERT_EQ(world.WriteScene("scene_test.dae"), 0);
  FileHandle f = FileOpenRead("scene_test.dae", false);
  char text[1024] = {};
  FileRead(f, text, sizeof(text) - 1);
  FileClose(f);
  FileRemove("scene_test.dae", false);
  EXPECT_NE(strstr(text, "<visual_scene id=\"Vyx\">"), nullptr);
  EXPECT_NE(strstr(text, "<instance_visual_scene url=\"#Vyx\""), nullptr);
  EXPECT_EQ(strstr(text, "<node>"), nullptr);
  CapturedLog log;
  EXPECT_EQ(world.WriteScene("no/such/folder/scene.dae"), -1);
  EXPECT_TRUE(log.Has("Failed to open 'no/such/folder/scene.dae' for writing."));
}
