// The scripted player: the opening on the default planet, a whole game won on it, a staged end game, a save in the
// middle of a run, and the ten-minute soak under the services' load. Every run is in lockstep with the services, so
// what it reaches does not depend on the machine's speed or load.
#include "world/driver/scripted_player.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "system/file.h"
#include "test_support.h"
#include "utility/log.h"
#include "world/planet_fixture.h"
#include "world/save/save.h"
#include "world/wld.h"

namespace {

HeadlessOptions Planet(int size, int variant, double seconds) {
  HeadlessOptions o;
  HeadlessOptionsDefault(&o);
  if (size >= 0) o.params[0] = size;
  if (variant >= 0) o.params[4] = variant;
  o.seconds = seconds;
  o.stepsPerFrame = 8;
  o.lockstep = 1;
  return o;
}

std::string UserFile(const char* name) {
  FixedString user;
  UserFolderResolve(&user);
  return std::string(user.c_str()) + "/" + name;
}

int32_t ReadInt(const std::vector<uint8_t>& bytes, size_t at) {
  int32_t v = 0;
  if (at + 4 <= bytes.size()) memcpy(&v, bytes.data() + at, 4);
  return v;
}

// Loading marks every tile unclaimed except the sites the characters hold (a claim made by a path
// search is not saved), so the bit is left out of the comparison: the tiles' attribute words start
// 8 bytes into each 88-byte tile, after the header, the buildings, the items and the globe's head.
void ForgetUnclaimed(std::vector<uint8_t>* bytes) {
  size_t at = 272;
  const int32_t buildings = ReadInt(*bytes, at);
  at += 4 + static_cast<size_t>(buildings) * (256 + 4 + 64 + 4 + 4);
  const int32_t items = ReadInt(*bytes, at);
  at += 4 + static_cast<size_t>(items) * (4 + 4 + 4 + 256 + 4 + 8 + 4 + 4);
  const int32_t tiles = ReadInt(*bytes, at);
  const int32_t continents = ReadInt(*bytes, at + 8);
  at += 12 + static_cast<size_t>(continents) * 4;
  for (int32_t t = 0; t < tiles; ++t) {
    const size_t word = at + static_cast<size_t>(t) * 88 + 8;
    if (word + 8 <= bytes->size()) (*bytes)[word + 3] = static_cast<char>((*bytes)[word + 3] & 0x7f);
  }
}

TEST(ScriptedPlayer, OpensTheDefaultPlanetThroughTheTutorialToTheSawmill) {
  UseTestFolders();
  // The default planet (7292 tiles). Four simulated minutes: the sawmill stood after two when
  // this was first run, so the margin is wide.
  HeadlessOptions o = Planet(-1, -1, 240.0);
  ScriptedPlayer player;
  player.report = false;
  ScriptedPlayerAttach(&o, &player);
  HeadlessResult r;
  ASSERT_EQ(HeadlessRun(o, &r), 0);
  EXPECT_EQ(r.tiles, 7292);
  const ScriptedProgress& p = player.progress;
  EXPECT_EQ(p.landed, 1);
  // The tutorial went through its stages in order, and ended after the fast-forward lesson.
  EXPECT_EQ(p.stageSetbacks, 0);
  for (int stage : {0, 1, 3, 5, 6, 7, 9, 10, 11}) EXPECT_TRUE(p.stagesSeen & (1u << stage)) << "stage " << stage;
  EXPECT_EQ(p.tutorHighest, 12);
  EXPECT_EQ(p.freed, 3);
  EXPECT_EQ(p.assigned, 3);
  EXPECT_EQ(p.sawmills, 1);
  EXPECT_GE(p.chestsSmashed, 4);
  EXPECT_EQ(player.health.capacityFaults, 0);
}

// A player that stages the end of the game on the first frame after the landing: seven gems on
// the landing tile, the eighth a few steps away, and the crown already forged.
struct EndGameStage {
  ScriptedPlayer player;
  bool staged = false;
  int ascends = 0;
  std::vector<std::string> ends;
  double wonAt = -1.0;  // the age in the first "gameend" with win=1, seconds
};

int StagedDriver(void* user, const Wld& world, double now, char (*out)[256], int capacity) {
  EndGameStage* s = static_cast<EndGameStage*>(user);
  const int p = world.actors.FindPlayer();
  if (!s->staged && p >= 0 && (world.actors.m_stat[p] & ST_LANDED) &&
      !(world.actors.m_stat[p] & (ST_FALLING | ST_CLIMBING))) {
    // The test may change the world; the player itself only reads it.
    Wld& w = const_cast<Wld&>(world);
    const int here = w.actors.m_loca[p];
    static const char* const c_gems[8] = {"redgem",    "greengem",  "bluegem", "yellowgem",
                                          "orangegem", "purplegem", "pinkgem", "cyangem"};
    int away = -1;
    for (int k = 0; k < 6 && away < 0; ++k) {
      const int n = w.globe.m_nodes[here].neighbours[k];
      if (n >= 0 && w.globe.m_nodes[n].type == TP_LAND) away = n;
    }
    for (int i = 0; i < 8; ++i) {
      const int slot = w.items.Add(c_gems[i], i < 7 ? here : away, IS_GEM | IS_GLOWING);
      EXPECT_GE(slot, 0);
    }
    w.actors.m_stat[p] |= ST_CROWNED;
    s->staged = true;
  }
  return s->player.Frame(world, now, out, capacity);
}

void StagedListener(void* user, const char* message) {
  EndGameStage* s = static_cast<EndGameStage*>(user);
  s->player.Hear(message);
  if (!strncmp(message, "playerascend", 12)) ++s->ascends;
  if (strncmp(message, "gameend", 7)) return;
  s->ends.push_back(message);
  const char* age = strstr(message, "age=");
  if (strstr(message, "win=1") && age && s->wonAt < 0.0) s->wonAt = atof(age + 4);
}

// Plays on for half a simulated minute after the win, time for a second "gameend" to show.
int PlayToWinDriver(void* user, const Wld& world, double now, char (*out)[256], int capacity) {
  EndGameStage* s = static_cast<EndGameStage*>(user);
  if (s->wonAt >= 0.0 && now > s->wonAt + 30.0) return -1;
  return s->player.Frame(world, now, out, capacity);
}

TEST(ScriptedPlayer, WinsTheDefaultPlanetFromTheLandingToTheAscension) {
  UseTestFolders();
  // The game's initial customisation: planet size 4 ("large", 7292 tiles), variant 0 ("alpha").
  // The win came at minute 89 when this was first run; two hours leave room for a slower player.
  HeadlessOptions o = Planet(4, 0, 120.0 * 60.0);
  EndGameStage game;
  game.player.report = false;
  o.driver = PlayToWinDriver;
  o.listener = StagedListener;
  o.user = &game;
  HeadlessResult r;
  ASSERT_EQ(HeadlessRun(o, &r), 0);
  EXPECT_EQ(r.tiles, 7292);
  const ScriptedProgress& p = game.player.progress;
  EXPECT_EQ(p.gemsGathered, 8);
  EXPECT_EQ(p.stargates, 1);
  EXPECT_EQ(game.ascends, 1);
  ASSERT_EQ(game.ends.size(), 1u) << "game ends in two hours; the player reached " << p.freed << " freed, sawmill "
                                  << p.sawmills << ", smithy " << p.smithies << ", " << p.gemsGathered
                                  << " gems together, crowned " << p.crowned;
  EXPECT_EQ(r.gameEnds, 1);
  EXPECT_NE(game.ends[0].find("win=1"), std::string::npos) << game.ends[0];
  ASSERT_GE(game.wonAt, 0.0);
  EXPECT_LE(game.wonAt, r.age);
  printf("won the default planet at minute %.1f\n", game.wonAt / 60.0);
}

TEST(ScriptedPlayer, EightGemsRaiseOneStargateAndTheCrownedPlayerAscendsOnce) {
  UseTestFolders();
  // The 272-tile planet: the camp's chests and prisoners come first, then the eighth gem.
  HeadlessOptions o = Planet(1, 0, 300.0);
  EndGameStage stage;
  stage.player.report = false;
  o.driver = StagedDriver;
  o.listener = StagedListener;
  o.user = &stage;
  HeadlessResult r;
  ASSERT_EQ(HeadlessRun(o, &r), 0);
  ASSERT_TRUE(stage.staged);
  EXPECT_EQ(stage.player.progress.stargates, 1);
  EXPECT_EQ(stage.player.progress.gemsGathered, 8);
  EXPECT_EQ(stage.ascends, 1);
  ASSERT_EQ(stage.ends.size(), 1u);
  EXPECT_EQ(r.gameEnds, 1);
  const std::string& end = stage.ends[0];
  EXPECT_NE(end.find("win=1"), std::string::npos) << end;
  char expectTiles[32];
  snprintf(expectTiles, sizeof(expectTiles), "tilecount=%d", r.tiles);
  EXPECT_NE(end.find(expectTiles), std::string::npos) << end;
  const size_t at = end.find("age=");
  ASSERT_NE(at, std::string::npos);
  const double age = atof(end.c_str() + at + 4);
  EXPECT_GT(age, 30.0);
  EXPECT_LE(age, r.age);
}

TEST(ScriptedPlayer, ASavedRunResumesWithEverythingTheSaveKeepsAndPlaysOn) {
  UseTestFolders();
  const std::string save = UserFile(SAVEFILENAME);
  std::remove(save.c_str());
  // Play two and a half minutes on the small planet and save, as the game saves at shut-down.
  HeadlessOptions first = Planet(1, 0, 150.0);
  first.saveAtEnd = 1;
  ScriptedPlayer before;
  before.report = false;
  ScriptedPlayerAttach(&first, &before);
  HeadlessResult r1;
  ASSERT_EQ(HeadlessRun(first, &r1), 0);
  ASSERT_EQ(r1.saved, 1);
  const std::vector<uint8_t> saved = ReadAll(save);
  ASSERT_GT(saved.size(), 272u);

  // Resumed and saved again without a step: the same bytes, so nothing the save keeps is lost
  // (but for the claims, which loading gives up).
  HeadlessOptions again = Planet(1, 0, 0.0);
  again.resume = 1;
  again.saveAtEnd = 1;
  HeadlessResult r2;
  ASSERT_EQ(HeadlessRun(again, &r2), 0);
  ASSERT_EQ(r2.resumed, 1);
  std::vector<uint8_t> resaved = ReadAll(save), expected = saved;
  ASSERT_EQ(resaved.size(), expected.size());
  ForgetUnclaimed(&resaved);
  ForgetUnclaimed(&expected);
  size_t firstDifference = 0;
  while (firstDifference < expected.size() && resaved[firstDifference] == expected[firstDifference]) ++firstDifference;
  EXPECT_EQ(firstDifference, expected.size());

  // Resumed and played on by a player that knows nothing of the first: the characters plan anew
  // and the settlement keeps what it had.
  HeadlessOptions resumed = Planet(1, 0, 90.0);
  resumed.resume = 1;
  ScriptedPlayer after;
  after.report = false;
  ScriptedPlayerAttach(&resumed, &after);
  HeadlessResult r3;
  ASSERT_EQ(HeadlessRun(resumed, &r3), 0);
  ASSERT_EQ(r3.resumed, 1);
  EXPECT_NEAR(r3.age, r1.age + 90.0, 0.05);

  // The same world played on without the save, for as long in all.
  HeadlessOptions straight = Planet(1, 0, 240.0);
  ScriptedPlayer through;
  through.report = false;
  ScriptedPlayerAttach(&straight, &through);
  HeadlessResult r4;
  ASSERT_EQ(HeadlessRun(straight, &r4), 0);

  const ScriptedProgress& b = before.progress;
  const ScriptedProgress& a = after.progress;
  const ScriptedProgress& t = through.progress;
  EXPECT_EQ(r3.tiles, r4.tiles);
  EXPECT_EQ(r3.characters, r4.characters);
  EXPECT_EQ(a.landed, 1);
  EXPECT_GE(a.freed, b.freed);
  EXPECT_GE(a.assigned, b.assigned);
  EXPECT_GE(a.sawmills, b.sawmills);
  EXPECT_GE(a.bridgePieces, b.bridgePieces);
  // Both reached the same milestones of the opening: the camp freed, the sawmill built.
  EXPECT_EQ(a.freed >= 3, t.freed >= 3);
  EXPECT_EQ(a.sawmills, t.sawmills);
  EXPECT_EQ(after.health.capacityFaults, 0);
}

TEST(ScriptedPlayer, ChoosesWorkWithoutTakingTheOnlyWorkerOffItsWork) {
  // Others told: lumber, stone, plant, build, feed, eat, free.
  struct Case {
    int count[7];
    int has;
    int offers[7];
    bool planter;
    int spent;
    int want;
  } const cases[] = {
      {{0, 0, 0, 0, 0, 0, 0}, -1, {1, 1, 0, 0, 0, 0, 0}, false, 0, 0},  // the first freed fetches lumber
      {{1, 0, 0, 0, 0, 0, 0}, -1, {1, 1, 0, 0, 0, 0, 0}, false, 0, 1},  // the second stone
      {{1, 0, 0, 0, 0, 0, 0}, 1, {1, 1, 0, 1, 0, 0, 0}, false, 0, -1},  // the only stone worker keeps at it
      {{0, 1, 0, 0, 0, 0, 0}, 0, {1, 1, 0, 1, 0, 0, 0}, false, 0, -1},  // and so does the only lumber worker
      {{1, 1, 0, 0, 0, 0, 0}, 0, {1, 1, 0, 1, 0, 0, 0}, false, 0, 3},   // one of two at lumber becomes the builder
      {{2, 1, 0, 0, 0, 0, 0}, -1, {1, 1, 1, 1, 0, 0, 0}, true, 0, 3},   // a builder before a planter
      {{2, 1, 0, 1, 0, 0, 0}, -1, {1, 1, 1, 1, 0, 0, 0}, true, 0, 2},   // then the planter
      {{2, 1, 0, 1, 0, 0, 0}, -1, {1, 1, 1, 1, 0, 0, 0}, false, 0, 1},  // not where woods are plenty
      {{2, 1, 0, 1, 0, 0, 0}, 6, {1, 1, 0, 0, 0, 0, 0}, false, 0, 1},   // no cages left: the freer is free to go
      {{2, 1, 0, 1, 0, 0, 0}, 1, {1, 1, 0, 1, 0, 0, 0}, false, 0, -1},  // told the same again: left alone
      {{1, 0, 0, 1, 0, 0, 0}, 1, {1, 1, 1, 1, 0, 0, 0}, true, 2, 2},    // no rocks left: the stone worker plants
      {{0, 1, 0, 1, 0, 0, 0}, 0, {1, 1, 0, 1, 0, 0, 0}, false, 1, 1},   // no trees left: lumber turns to stone
  };
  for (const Case& c : cases)
    EXPECT_EQ(ScriptedChooseWork(c.count, c.has, c.offers, c.planter, c.spent), c.want)
        << "has " << c.has << ", lumber " << c.count[0] << ", stone " << c.count[1] << ", builders " << c.count[3];
}

// Two players in one run: the one whose messages are played sees the world with what a person
// cannot see scrambled (the characters' assignments and hunger, what the chests hold, which far
// tiles take a building); its twin sees the world as it is. Both must decide alike.
struct Twins {
  ScriptedPlayer played, twin;
  int frames = 0, differing = 0;
  std::string first;
};

int TwinsDriver(void* user, const Wld& world, double now, char (*out)[256], int capacity) {
  Twins* t = static_cast<Twins*>(user);
  char twinOut[8][256];
  const int twinCount = t->twin.Frame(world, now, twinOut, capacity < 8 ? capacity : 8);
  Wld& w = const_cast<Wld&>(world);
  Actors& a = w.actors;
  int assi[MAXACTORS], prva[MAXACTORS];
  float eaten[MAXACTORS];
  for (int n = 0; n < a.m_cnt; ++n) {
    assi[n] = a.m_assi[n], prva[n] = a.m_prva[n], eaten[n] = a.m_timeSinceEating[n];
    a.m_assi[n] = (a.m_assi[n] + 3 + n) % NUMASSIGNMENTS, a.m_prva[n] = n % NUMASSIGNMENTS;
    a.m_timeSinceEating[n] = 5000.0f;
  }
  for (int i = 0; i < w.items.m_cnt; ++i)
    if (w.items.m_name[i].Equals("chest")) w.items.m_stat[i] ^= IS_CHEST_GEM;
  std::vector<uint64_t> attribs(w.globe.m_sz);
  for (int tile = 0; tile < w.globe.m_sz; ++tile) {
    attribs[tile] = w.globe.Attribs(tile);
    if (t->played.seen && !t->played.seen[tile]) w.globe.AttribsStore(tile, attribs[tile] ^ AT_BUILDABLE);
  }
  const int count = t->played.Frame(world, now, out, capacity);
  for (int tile = 0; tile < w.globe.m_sz; ++tile) w.globe.AttribsStore(tile, attribs[tile]);
  for (int i = 0; i < w.items.m_cnt; ++i)
    if (w.items.m_name[i].Equals("chest")) w.items.m_stat[i] ^= IS_CHEST_GEM;
  for (int n = 0; n < a.m_cnt; ++n) a.m_assi[n] = assi[n], a.m_prva[n] = prva[n], a.m_timeSinceEating[n] = eaten[n];
  ++t->frames;
  bool same = count == twinCount;
  for (int k = 0; k < count && same; ++k) same = !strcmp(out[k], twinOut[k]);
  if (!same && t->differing++ == 0)
    t->first = "at " + std::to_string(now) + " s: " + (count > 0 ? out[0] : "nothing") + " against " +
               (twinCount > 0 ? twinOut[0] : "nothing");
  return count;
}

TEST(ScriptedPlayer, DecidesOnlyFromWhatTheScreenShows) {
  UseTestFolders();
  // Ten simulated minutes on the 812-tile planet: the camp is freed and set to work, chests are
  // smashed, the sawmill staked and the first bridges chosen.
  HeadlessOptions o = Planet(2, 0, 600.0);
  Twins twins;
  twins.played.report = twins.twin.report = false;
  o.driver = TwinsDriver;
  o.user = &twins;
  HeadlessResult r;
  ASSERT_EQ(HeadlessRun(o, &r), 0);
  EXPECT_GT(twins.frames, 1000);
  EXPECT_EQ(twins.differing, 0) << twins.first;
  EXPECT_GE(twins.played.progress.assigned, 3);
  EXPECT_GE(twins.played.progress.chestsSmashed, 4);
}

// Log lines of every thread, counted.
std::atomic<int> s_logLines{0};
void CountLine(const char*, ...) { s_logLines.fetch_add(1, std::memory_order_relaxed); }

struct Soak {
  ScriptedPlayer player;
  int minuteStart = 0;
  double nextMinute = 60.0;
  int busiestMinute = 0;
};

int SoakDriver(void* user, const Wld& world, double now, char (*out)[256], int capacity) {
  Soak* s = static_cast<Soak*>(user);
  if (now >= s->nextMinute) {
    const int lines = s_logLines.load() - s->minuteStart;
    if (lines > s->busiestMinute) s->busiestMinute = lines;
    s->minuteStart = s_logLines.load();
    s->nextMinute += 60.0;
  }
  return s->player.Frame(world, now, out, capacity);
}

void SoakListener(void* user, const char* message) { static_cast<Soak*>(user)->player.Hear(message); }

// Named for the thread-sanitizer run, which picks tests by "Service" in the name.
TEST(ScriptedPlayerSoak, ServiceLoadOfTenMinutesOnThe2432TilePlanet) {
  UseTestFolders();
  HeadlessOptions o = Planet(3, 0, 600.0);
  Soak soak;
  soak.player.report = false;
  o.driver = SoakDriver;
  o.listener = SoakListener;
  o.user = &soak;
  s_logLines = 0;
  consoleHook = CountLine;
  HeadlessResult r;
  const int rc = HeadlessRun(o, &r);
  consoleHook = nullptr;
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(r.tiles, 2432);
  EXPECT_NEAR(r.age, 600.0, 0.05);
  const ScriptedHealth& h = soak.player.health;
  // In lockstep every step waits for its searches, so no wait for an answer lasts long on the
  // clock; ten seconds is what a slow answer would take at the game's pace.
  EXPECT_LT(h.longestPlanInFlightWall, 10.0);
  EXPECT_LT(h.longestPathWallWait, 10.0);
  EXPECT_EQ(h.capacityFaults, 0);
  // About 250 lines a minute when first measured: the bound catches a line repeated every step or
  // every frame (14 400 or 3 600 a minute).
  EXPECT_LT(soak.busiestMinute, 2000);
  EXPECT_GT(soak.busiestMinute, 0);
  // The player got somewhere meanwhile.
  // (This landing place has no room for a sawmill, so the first bridge comes before it.)
  EXPECT_GE(soak.player.progress.freed, 3);
  EXPECT_GE(soak.player.progress.bridgesStaked, 1);
  printf(
      "soak: longest plan in flight %.2f s simulated (%.3f s wall), plan wait %.2f s, path wait %.2f s (%.3f s wall), "
      "busiest minute %d lines\n",
      h.longestPlanInFlight, h.longestPlanInFlightWall, h.longestPlanWait, h.longestPathWait, h.longestPathWallWait,
      soak.busiestMinute);
}

}  // namespace
