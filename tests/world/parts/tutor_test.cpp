// The tutorial: its start at the landing, the rules that move it from stage to stage, its timing and its save record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_support.h"
#include "utility/message.h"
#include "world/actors_fixture.h"
#include "world/parts/tutor.h"
#include "world/planet_fixture.h"
#include "world/save/save_stream.h"
#include "world/sim/sim_frame.h"

namespace {

// How many times the text occurs among the packet's messages.
int CountMessages(const Packet& packet, const char* text) {
  int count = 0;
  for (int at = 0; at < packet.m_size; at += static_cast<int>(strlen(packet.m_data + at)) + 1)
    if (!strcmp(packet.m_data + at, text)) ++count;
  return count;
}

// A strip world with the player's character landed on tile 2 and a tutorial at stage 0.
struct TutorWorld {
  std::unique_ptr<Wld> world = StripWorld(8);
  Packet out;
  int player = -1;

  TutorWorld() {
    world->m_outbox = &out;
    player = world->actors.Add("Player", 2);
    world->actors.MakeChosenOne(player);
    for (int i = 0; i < 100 && (world->actors.m_stat[player] & ST_FALLING); ++i) world->actors.Fall(0.1f, player);
  }
  Tutor& tutor() { return world->tutor; }
  void Tick(double dt = 0.01) {
    world->globe.UpdateOccupancy();
    world->tutor.Update(dt);
  }
};

}  // namespace

TEST(Tutor, NothingRunsBeforeTheLanding) {
  auto world = StripWorld(4);
  Tutor& tutor = world->tutor;
  EXPECT_EQ(tutor.m_stage, -1);
  EXPECT_EQ(tutor.Text(), nullptr);
  EXPECT_STREQ(tutor.Animation(), "idle");
  EXPECT_EQ(tutor.m_fastForward, 0);
  // A player's character standing on a bolt cutter does not start it either.
  const int p = world->actors.Add("Player", 1);
  world->actors.m_stat[p] |= ST_CHOSEN;
  world->items.Add("boltcutter", 1, 0);
  world->Update(240, 1.0f / 240.0f);
  EXPECT_EQ(tutor.m_stage, -1);
  EXPECT_EQ(tutor.m_timer, 0.0);
}

TEST(Tutor, LandingStartsQuietlyAndAStepMovesOn) {
  TutorWorld t;
  ASSERT_TRUE(t.world->actors.m_stat[t.player] & ST_LANDED);
  EXPECT_EQ(t.tutor().m_stage, 0);
  EXPECT_STREQ(t.tutor().Text(), "Vozi says:\nWelcome, chosen one! Let us\nstart with freeing your peers.");
  EXPECT_STREQ(t.tutor().Animation(), "idle");
  EXPECT_EQ(CountMessages(t.out, "soundeffect name=ting tile=-1"), 0);
  EXPECT_EQ(CountMessages(t.out, "soundeffect name=drop tile=2"), 1);

  // Standing still changes nothing, however long.
  for (int i = 0; i < 10; ++i) t.Tick(1.0);
  EXPECT_EQ(t.tutor().m_stage, 0);
  EXPECT_EQ(CountMessages(t.out, "soundeffect name=ting tile=-1"), 0);

  t.world->actors.m_loca[t.player] = 3;
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 1);
  EXPECT_STREQ(t.tutor().Text(), "Vozi says:\nOne of the chests should have\na bolt cutter in it.");
  EXPECT_STREQ(t.tutor().Animation(), "talk");
  EXPECT_EQ(t.tutor().m_timer, 0.0);
  EXPECT_EQ(CountMessages(t.out, "soundeffect name=ting tile=-1"), 1);

  // The talk lasts strictly more than five seconds, then the timer restarts for the idle loop.
  t.Tick(5.0);
  EXPECT_STREQ(t.tutor().Animation(), "talk");
  t.Tick(0.25);
  EXPECT_STREQ(t.tutor().Animation(), "idle");
  EXPECT_EQ(t.tutor().m_timer, 0.0);
  t.Tick(0.5);
  EXPECT_DOUBLE_EQ(t.tutor().m_timer, 0.5);
  EXPECT_EQ(t.tutor().m_stage, 1);
}

TEST(Tutor, WorldTickAdvancesTheFigureBySingleFloatFrameTime) {
  TutorWorld t;
  t.tutor().SetStage(3);
  t.world->Update(3, 1.0f / 240.0f);
  EXPECT_EQ(t.tutor().m_timer, static_cast<double>(3.0f * (1.0f / 240.0f)));
}

TEST(Tutor, StagesFollowThePlayersProgress) {
  TutorWorld t;
  Items& items = t.world->items;
  Globe& globe = t.world->globe;
  // A bolt cutter on the landing tile skips stage 1: the first update goes straight to 2.
  const int cutter = items.Add("boltcutter", 2, 0);
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 2);
  items.m_carr[cutter] = t.player;
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 3);
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 3);  // no cage, nobody to greet
  // Standing at a cage with the cutter: "free" becomes possible.
  globe.AttribsSet(2, AT_CAGE);
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 4);
  EXPECT_STREQ(t.tutor().Text(), "Vozi says:\nFreedom for all Orcs!");
  // Another character within reach makes "greet" possible.
  t.world->actors.Add("Friend", 3);
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 5);
  const int marker = items.Add("sawmillmarker", 2, 0);
  items.m_carr[marker] = t.player;
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 6);
  // A site elsewhere is not enough for stage 7; the player has to stand on it.
  const int site = items.Add("sawmillsite", 5, 0);
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 6);
  t.world->actors.m_loca[t.player] = 5;
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 7);
  globe.AttribsSet(6, AT_SUPPLIEDDECKWORK);
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 8);
  globe.AttribsSet(items.m_loca[site], AT_FACTCONSTRUCTION);
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 9);
  ASSERT_GE(t.world->buildings.Add("sawmill", 5, 0), 0);
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 10);
  // Holding fast-forward before the last stage changes nothing.
  t.tutor().m_fastForward = 1;
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 10);
  ASSERT_GE(t.world->buildings.Add("brconstruction", 0, 0), 0);
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 11);
  EXPECT_STREQ(t.tutor().Text(), "Vozi says:\nYou can accelerate time by\nholding down the TAB key.");
  // Reached while the key is held: over on the next update.
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, -1);
  EXPECT_EQ(t.tutor().Text(), nullptr);
  // Every stage entered by a rule rang once: 2..11.
  EXPECT_EQ(CountMessages(t.out, "soundeffect name=ting tile=-1"), 10);
  t.Tick(10.0);
  EXPECT_EQ(t.tutor().m_stage, -1);
}

TEST(Tutor, AnUpdateEntersAtMostOneStage) {
  TutorWorld t;
  // Everything for stages 2 to 10 is in place at once; each update takes one step of the order.
  const int cutter = t.world->items.Add("boltcutter", 2, 0);
  t.world->items.m_carr[cutter] = t.player;
  ASSERT_GE(t.world->buildings.Add("sawmill", 6, 0), 0);
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 2);  // carried counts as lying on the tile
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 3);
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 10);
}

TEST(Tutor, FastForwardMessageReachesTheTutor) {
  SimFrameReset();
  TutorWorld t;
  t.tutor().SetStage(11);
  EXPECT_TRUE(VisMessageHandle(t.world.get(), "simspeed accelerated=1 musicff=0"));
  EXPECT_EQ(t.tutor().m_fastForward, 1);
  EXPECT_EQ(SimFastForward(), 1);
  EXPECT_TRUE(VisMessageHandle(t.world.get(), "simspeed accelerated=0 musicff=0"));
  EXPECT_EQ(t.tutor().m_fastForward, 0);
  EXPECT_EQ(SimFastForward(), 0);
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 11);
  EXPECT_TRUE(VisMessageHandle(t.world.get(), "simspeed accelerated=1"));
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, -1);
  SimFrameReset();
}

TEST(Tutor, WithoutAPlayersCharacterTheStageStays) {
  auto world = StripWorld(4);
  world->items.Add("boltcutter", 1, 0);
  world->actors.Add("Bystander", 1);
  world->tutor.Start();
  for (int i = 0; i < 20; ++i) world->tutor.Update(1.0);
  EXPECT_EQ(world->tutor.m_stage, 0);
  EXPECT_DOUBLE_EQ(world->tutor.m_timer, 20.0);
}

TEST(Tutor, ASecondGameComparesWithItsOwnLandingTile) {
  {
    TutorWorld first;
    first.Tick();  // remembers tile 2
    EXPECT_EQ(first.tutor().m_stage, 0);
  }
  // The next game lands on tile 5; tile 2 of the old game means nothing to it.
  auto world = StripWorld(8);
  const int p = world->actors.Add("Player", 5);
  world->actors.MakeChosenOne(p);
  for (int i = 0; i < 100 && (world->actors.m_stat[p] & ST_FALLING); ++i) world->actors.Fall(0.1f, p);
  ASSERT_EQ(world->tutor.m_stage, 0);
  world->tutor.Update(0.01);
  EXPECT_EQ(world->tutor.m_stage, 0);
  world->actors.m_loca[p] = 2;
  world->tutor.Update(0.01);
  EXPECT_EQ(world->tutor.m_stage, 1);
}

TEST(Tutor, SetStageBoundsAndTheEnd) {
  TutorWorld t;
  t.tutor().SetStage(12);
  EXPECT_EQ(t.tutor().m_stage, -1);
  CapturedLog log;
  t.tutor().SetStage(5);
  t.tutor().SetStage(13);
  t.tutor().SetStage(-7);
  EXPECT_EQ(t.tutor().m_stage, 5);
  EXPECT_TRUE(log.Has("Tutorial stage 13 does not exist; the tutorial stays at stage 5."));
  for (int s = 0; s < NUMTUTORSTAGES; ++s) ASSERT_NE(tutorTexts[s], nullptr) << s;
  EXPECT_EQ(tutorTexts[NUMTUTORSTAGES], nullptr);
  EXPECT_STREQ(tutorTexts[3], "Vozi says:\nWalk over to that poor friend,\nso cruely imprisoned by humans.");
}

TEST(Tutor, SaveKeepsOnlyTheStage) {
  UseTestFolders();
  TutorWorld t;
  t.tutor().SetStage(7);
  t.tutor().m_fastForward = 1;
  t.Tick(1.0);
  CapturedLog log;
  FileHandle f = FileOpenWrite("tutor_test.dat", true);
  ASSERT_NE(f, 0u);
  SaveStream stream1(f, true);
  EXPECT_EQ(t.tutor().Serialize(stream1), 4u);
  FileClose(f);
  EXPECT_TRUE(log.Has("Serialized 4 bytes for tutor to disk."));

  Wld loaded("Reverodade b");
  loaded.tutor.m_animation = "talk";
  loaded.tutor.m_timer = 3.0;
  f = FileOpenRead("tutor_test.dat", true);
  SaveStream stream2(f, false);
  EXPECT_EQ(loaded.tutor.Serialize(stream2), 4u);
  FileClose(f);
  EXPECT_EQ(loaded.tutor.m_stage, 7);
  EXPECT_STREQ(loaded.tutor.Animation(), "idle");
  EXPECT_EQ(loaded.tutor.m_timer, 0.0);
  EXPECT_EQ(loaded.tutor.m_fastForward, 0);
  EXPECT_TRUE(log.Has("Serialized 4 bytes for tutor from disk."));

  // A damaged stage would index past the lines: read as no tutorial.
  const int32_t bad = 40;
  f = FileOpenWrite("tutor_test.dat", true);
  FileWrite(f, &bad, sizeof(bad));
  FileClose(f);
  f = FileOpenRead("tutor_test.dat", true);
  SaveStream stream3(f, false);
  EXPECT_EQ(loaded.tutor.Serialize(stream3), 4u);
  FileClose(f);
  EXPECT_EQ(loaded.tutor.m_stage, -1);
  EXPECT_EQ(loaded.tutor.Text(), nullptr);
  EXPECT_TRUE(log.Has("Stored tutorial stage 40 is out of range; the tutorial is skipped."));

  // A file cut short: the assertion reports it and no tutorial runs.
  loaded.tutor.SetStage(4);
  f = FileOpenWrite("tutor_test.dat", true);
  FileWrite(f, &bad, 2);
  FileClose(f);
  {
    ExpectAsserts expect;
    f = FileOpenRead("tutor_test.dat", true);
    SaveStream stream4(f, false);
    EXPECT_EQ(loaded.tutor.Serialize(stream4), 2u);
    FileClose(f);
    EXPECT_TRUE(expect.Saw("written == sizeof(m_stage)"));
  }
  EXPECT_EQ(loaded.tutor.m_stage, -1);
  FileRemove("tutor_test.dat", true);
}

TEST(Tutor, ALoadedStageZeroTakesItsTileAfterTheLoad) {
  TutorWorld t;
  t.Tick();  // remembers tile 2
  // As a load does: the remembered tile is forgotten, the character now stands elsewhere.
  t.tutor().m_startTile = -1;
  t.world->actors.m_loca[t.player] = 4;
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 0);
  t.world->actors.m_loca[t.player] = 5;
  t.Tick();
  EXPECT_EQ(t.tutor().m_stage, 1);
}
