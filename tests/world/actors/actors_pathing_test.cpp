// Path-planning service: rotation, claims, paving, failures, smitten characters, stopping and draining.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "test_support.h"
#include "world/actors/actors_pathing.h"
#include "world/planet/tile_search.h"
#include "world/planet_fixture.h"
#include "world/sim/sim_frame.h"
#include "world/wld.h"

namespace {

// A world on the small generated planet, northern half land, with `count` characters on the
// first inland tiles.
Wld* MakeWorld(int count, int dump = 2) {
  const DumpShape shape = ReadDumpShape(dump);
  std::vector<int> levels(shape.numTiles);
  if (dump == 2)
    levels = HalfLand(shape);
  else
    levels.assign(shape.numTiles, 1);
  WriteTopology(shape, levels);
  Wld* world = new Wld("Pathing");
  EXPECT_EQ(world->LoadTopology("custom.top"), shape.numTiles);
  PlaceTiles(world->globe);
  int added = 0;
  for (int t = 12; t < world->globe.m_sz && added < count; ++t)
    if (world->globe.m_nodes[t].type == TP_LAND) {
      FixedString name;
      name.Format("Orc%d", added);
      EXPECT_EQ(world->actors.Add(name.c_str(), t), added);
      ++added;
    }
  return world;
}

// Waits, within a bound, for this world's answer and takes it in.
bool Reap(Actors& actors) {
  for (int i = 0; i < 20000; ++i) {
    if (PathRequestReap(actors)) return true;
    std::this_thread::sleep_for(std::chrono::microseconds(250));
  }
  return false;
}

int LandTileAway(const Globe& g, int from, int steps) {
  int at = from;
  for (int s = 0; s < steps; ++s)
    for (int k = 0; k < 6; ++k) {
      const int nb = g.m_nodes[at].neighbours[k];
      if (nb > at && g.m_nodes[nb].type == TP_LAND) {
        at = nb;
        break;
      }
    }
  return at;
}

int pavedNr = -1;
int pavedLength = -1;
void RecordPave(Wld* world, int nr) {
  pavedNr = nr;
  pavedLength = world->actors.m_pasz[nr];
}

class PathingService : public ::testing::Test {
 protected:
  void SetUp() override {
    UseTestFolders();
    TileSearchReset();
    ASSERT_TRUE(PathingServiceStart());
    pathPave = nullptr;
  }
  void TearDown() override {
    PathingServiceStop();
    pathPave = nullptr;
  }
};

TEST_F(PathingService, RoundRobinWithOneRequestInFlight) {
  Wld* world = MakeWorld(4);
  Actors& a = world->actors;
  const int goal = LandTileAway(world->globe, a.m_loca[0], 3);
  for (int n = 0; n < 4; ++n) RequestPath(a, n, goal, 0, nullptr);
  // A second request while one is pending is ignored.
  RequestPath(a, 2, a.m_loca[2], 0, nullptr);
  EXPECT_EQ(a.m_pathGoal[2].tile, goal);

  // Nothing is handed over while the world has a request in flight.
  a.m_pathInFlight = 1;
  EXPECT_EQ(QueuePathRequest(a), -1);
  a.m_pathInFlight = 0;

  // The rotation starts after the cursor (0) and wraps past the unused numbers 4..31.
  std::vector<int> order;
  for (int round = 0; round < 4; ++round) {
    const int n = QueuePathRequest(a);
    ASSERT_GE(n, 0);
    order.push_back(n);
    EXPECT_EQ(a.m_pathInFlight, 1);
    ASSERT_TRUE(Reap(a));
    EXPECT_EQ(a.m_pathInFlight, 0);
    EXPECT_GE(CollectPath(a, n), 0);
    EXPECT_EQ(a.m_pathStage[n], 0);
    EXPECT_GT(a.m_pasz[n], 0);
    EXPECT_EQ(a.m_ploc[n][a.m_pasz[n] - 1], goal);
  }
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 0}));
  EXPECT_EQ(QueuePathRequest(a), -1);
  // Nothing to collect any more.
  EXPECT_EQ(CollectPath(a, 1), -1);
  delete world;
}

TEST_F(PathingService, LockstepWaitLeavesTheAnswerReadyForEachWorld) {
  Wld* first = MakeWorld(2);
  Wld* second = MakeWorld(1);
  EXPECT_TRUE(PathingServiceAwait(first->actors, c_lockstepBound));  // nothing in flight
  // Two worlds' searches queued at once: after each world's wait its answer is there to take.
  for (Wld* w : {first, second}) {
    Actors& a = w->actors;
    RequestPath(a, 0, LandTileAway(w->globe, a.m_loca[0], 6), 0, nullptr);
    ASSERT_EQ(QueuePathRequest(a), 0);
  }
  for (Wld* w : {second, first}) {
    EXPECT_TRUE(PathingServiceAwait(w->actors, c_lockstepBound));
    EXPECT_TRUE(PathRequestReap(w->actors));
    EXPECT_GT(CollectPath(w->actors, 0), 0);
  }
  delete second;
  delete first;
}

TEST_F(PathingService, ClaimsTakeAnUnclaimedSiteAndGiveTheOldOneBack) {
  Wld* world = MakeWorld(1);
  Actors& a = world->actors;
  Globe& g = world->globe;
  const int here = a.m_loca[0];
  const int site1 = LandTileAway(g, here, 1);
  const int site2 = LandTileAway(g, here, 3);
  ASSERT_NE(site1, site2);
  g.AttribsSet(site1, AT_WOODY | AT_UNCLAIMED);

  RequestPath(a, 0, -1, AT_WOODY | AT_UNCLAIMED, nullptr);
  ASSERT_EQ(QueuePathRequest(a), 0);
  ASSERT_TRUE(Reap(a));
  EXPECT_GE(CollectPath(a, 0), 0);
  EXPECT_EQ(a.m_clai[0], site1);
  EXPECT_EQ(g.Attribs(site1) & AT_UNCLAIMED, 0u);

  // A second claim releases the first: site1 can be worked again by anyone.
  g.AttribsSet(site2, AT_ROCKY | AT_UNCLAIMED);
  RequestPath(a, 0, -1, AT_ROCKY | AT_UNCLAIMED, nullptr);
  ASSERT_EQ(QueuePathRequest(a), 0);
  ASSERT_TRUE(Reap(a));
  EXPECT_GE(CollectPath(a, 0), 0);
  EXPECT_EQ(a.m_clai[0], site2);
  EXPECT_NE(g.Attribs(site1) & AT_UNCLAIMED, 0u);
  EXPECT_EQ(g.Attribs(site2) & AT_UNCLAIMED, 0u);

  // A path that ends where the character stands claims that tile.
  a.AbandonPlan(0);
  EXPECT_NE(g.Attribs(site2) & AT_UNCLAIMED, 0u);
  g.AttribsSet(here, AT_GROVE | AT_UNCLAIMED);
  RequestPath(a, 0, -1, AT_GROVE | AT_UNCLAIMED, nullptr);
  ASSERT_EQ(QueuePathRequest(a), 0);
  ASSERT_TRUE(Reap(a));
  EXPECT_EQ(CollectPath(a, 0), 1);
  EXPECT_EQ(a.m_pasz[0], 0);
  EXPECT_EQ(a.m_clai[0], here);
  EXPECT_EQ(g.Attribs(here) & AT_UNCLAIMED, 0u);
  a.AbandonPlan(0);

  // The plan is given up while the search runs: the answer's claim is given back.
  g.AttribsSet(site1, AT_WOODY | AT_UNCLAIMED);
  RequestPath(a, 0, -1, AT_WOODY | AT_UNCLAIMED, nullptr);
  ASSERT_EQ(QueuePathRequest(a), 0);
  PathAbandon(a, 0);
  a.AbandonPlan(0);
  ASSERT_TRUE(Reap(a));
  EXPECT_EQ(CollectPath(a, 0), -1);
  EXPECT_EQ(a.m_clai[0], -1);
  EXPECT_NE(g.Attribs(site1) & AT_UNCLAIMED, 0u);
  EXPECT_EQ(a.m_pathInFlight, 0);
  delete world;
}

TEST_F(PathingService, PavingLaysTheRoadInsteadOfWalking) {
  Wld* world = MakeWorld(1);
  Actors& a = world->actors;
  const int road = LandTileAway(world->globe, a.m_loca[0], 3);
  pathPave = RecordPave;
  pavedNr = pavedLength = -1;
  a.m_stat[0] |= ST_PAVING;
  RequestPath(a, 0, road, 0, nullptr);
  ASSERT_EQ(QueuePathRequest(a), 0);
  ASSERT_TRUE(Reap(a));
  EXPECT_GT(CollectPath(a, 0), 0);
  EXPECT_EQ(pavedNr, 0);
  EXPECT_GT(pavedLength, 0);
  EXPECT_EQ(a.m_pasz[0], 0) << "a paving character does not walk its path";
  EXPECT_EQ(a.m_stat[0] & ST_PAVING, 0u);

  // A road whose path fails is forgotten: the next path found is walked, not paved.
  int water = -1;
  for (int t = 0; t < world->globe.m_sz && water < 0; ++t)
    if (world->globe.m_nodes[t].type == TP_WATR) water = t;
  a.m_stat[0] |= ST_PAVING;
  pavedNr = -1;
  RequestPath(a, 0, water, 0, nullptr);
  ASSERT_EQ(QueuePathRequest(a), 0);
  ASSERT_TRUE(Reap(a));
  EXPECT_EQ(CollectPath(a, 0), -1);
  EXPECT_EQ(a.m_stat[0] & ST_PAVING, 0u);
  RequestPath(a, 0, road, 0, nullptr);
  ASSERT_EQ(QueuePathRequest(a), 0);
  ASSERT_TRUE(Reap(a));
  EXPECT_GT(CollectPath(a, 0), 0);
  EXPECT_EQ(pavedNr, -1);
  EXPECT_GT(a.m_pasz[0], 0);
  delete world;
}

TEST_F(PathingService, FailedPathsAbandonThePlanForThreeSeconds) {
  Wld* world = MakeWorld(1);
  Actors& a = world->actors;
  CapturedLog log;
  // Nothing to look for: refused before searching.
  RequestPath(a, 0, -1, 0, nullptr);
  ASSERT_EQ(QueuePathRequest(a), 0);
  ASSERT_TRUE(Reap(a));
  a.m_planActions[0][0] = "walk_to_woody";
  a.m_planActions[0][1] = "chop";
  a.m_planSize[0] = 2;
  a.m_planActive[0] = 1;
  EXPECT_EQ(CollectPath(a, 0), -1);
  EXPECT_TRUE(log.Has("Cannot plan a path to unkown location without itemname."));
  EXPECT_FLOAT_EQ(a.m_replanDelay[0], 3.0f);
  EXPECT_EQ(a.m_planSize[0], 0);
  EXPECT_EQ(a.m_planActive[0], 0);
  EXPECT_EQ(a.m_pathRequested[0], 0);
  EXPECT_EQ(a.m_pasz[0], 0);

  // An item nobody has is searched for all the same, and not found.
  a.m_replanDelay[0] = 0;
  RequestPath(a, 0, -1, 0, "pickaxe");
  ASSERT_EQ(QueuePathRequest(a), 0);
  ASSERT_TRUE(Reap(a));
  EXPECT_EQ(CollectPath(a, 0), -1);
  EXPECT_TRUE(log.Has("Cannot find 8 in wld."));
  EXPECT_TRUE(log.Has("Could not find a path from"));
  EXPECT_FLOAT_EQ(a.m_replanDelay[0], 3.0f);

  // A loose item is found; a name that is no item type fails cleanly.
  const int spot = LandTileAway(world->globe, a.m_loca[0], 2);
  ASSERT_GE(world->items.Add("pickaxe", spot, 0), 0);
  world->globe.UpdateOccupancy();
  RequestPath(a, 0, -1, 0, "pickaxe");
  ASSERT_EQ(QueuePathRequest(a), 0);
  ASSERT_TRUE(Reap(a));
  EXPECT_GT(CollectPath(a, 0), 0);
  EXPECT_EQ(a.m_ploc[0][a.m_pasz[0] - 1], spot);
  RequestPath(a, 0, -1, 0, "unobtainium");
  ASSERT_EQ(QueuePathRequest(a), 0);
  ASSERT_TRUE(Reap(a));
  EXPECT_EQ(CollectPath(a, 0), -1);
  delete world;
}

TEST_F(PathingService, SmittenCharactersNeverHoldTheService) {
  Wld* world = MakeWorld(3);
  Actors& a = world->actors;
  const int goal = LandTileAway(world->globe, a.m_loca[0], 3);
  // Smitten while its request is with the service: the answer is dropped, the flag cleared.
  RequestPath(a, 1, goal, 0, nullptr);
  ASSERT_EQ(QueuePathRequest(a), 1);
  a.m_stat[1] &= ~static_cast<uint64_t>(ST_ACTIVE);
  for (int i = 0; i < 20000 && a.m_pathInFlight; ++i) {
    QueuePathRequest(a);
    std::this_thread::sleep_for(std::chrono::microseconds(250));
  }
  EXPECT_EQ(a.m_pathInFlight, 0);
  EXPECT_EQ(a.m_pathRequested[1], 0);
  // Asking with a smitten character (a click with a smitten player's) hands nothing over.
  a.m_stat[2] &= ~static_cast<uint64_t>(ST_ACTIVE);
  RequestPath(a, 2, goal, 0, nullptr);
  RequestPath(a, 0, goal, 0, nullptr);
  EXPECT_EQ(QueuePathRequest(a), 0);
  EXPECT_EQ(a.m_pathRequested[2], 0);
  ASSERT_TRUE(Reap(a));
  EXPECT_GT(CollectPath(a, 0), 0);
  delete world;
}

TEST_F(PathingService, StopEndsAnIdleWorkerAndDiscardsTheQueue) {
  // Idle: the worker waits for work and still stops.
  PathingServiceStop();
  EXPECT_FALSE(PathingServiceRunning());
  {
    ExpectAsserts expect;
    Actors* idle = new Actors(nullptr);
    EXPECT_EQ(QueuePathRequest(*idle), -1);
    EXPECT_TRUE(expect.Saw("pathingThread"));
    delete idle;
  }
  ASSERT_TRUE(PathingServiceStart());
  {
    ExpectAsserts expect;
    EXPECT_FALSE(PathingServiceStart());
    EXPECT_TRUE(expect.Saw("!pathingThread"));
  }

  // Futile searches on the big planet keep the worker busy while more wait in the ring.
  Wld* world = MakeWorld(1, 7);
  std::vector<PathRequest*> requests;
  for (int i = 0; i < 12; ++i) {
    PathRequest* r = new PathRequest();
    r->owner = &world->actors;
    r->world = world;
    r->nr = 0;
    r->start = 100 + i * 997;
    r->goal = PathGoal{-1, AT_SMITHY, nullptr};
    r->claimed = -1;
    requests.push_back(r);
    ASSERT_TRUE(PathingQueuePush(r));
  }
  PathingServiceStop();
  int discarded = 0;
  for (PathRequest* r : requests) {
    EXPECT_EQ(r->done.load(), 1);
    discarded += r->discarded;
    if (!r->discarded) {
      EXPECT_EQ(r->cost, -1);
    }
    delete r;
  }
  EXPECT_GT(discarded, 0);
  EXPECT_EQ(PathingQueueCount(), 0);
  ASSERT_TRUE(PathingServiceStart());
  delete world;
}

TEST_F(PathingService, CancelDrainsOneWorldAndLeavesTheOther) {
  Wld* big = MakeWorld(2, 7);
  std::vector<PathRequest*> mine, theirs;
  Actors other(nullptr);
  for (int i = 0; i < 8; ++i) {
    PathRequest* r = new PathRequest();
    r->owner = i % 2 ? &other : &big->actors;
    r->world = big;
    r->start = 100 + i * 991;
    r->goal = PathGoal{-1, AT_SMITHY, nullptr};
    r->claimed = -1;
    (i % 2 ? theirs : mine).push_back(r);
    ASSERT_TRUE(PathingQueuePush(r));
  }
  PathingServiceCancel(&big->actors);
  // Nothing of the cancelled world is queued or being searched any more.
  for (PathRequest* r : mine) EXPECT_EQ(r->done.load(), 1);
  for (PathRequest* r : theirs) {
    bool done = false;
    for (int i = 0; i < 40000 && !done; ++i) {
      done = r->done.load(std::memory_order_acquire) != 0;
      if (!done) std::this_thread::sleep_for(std::chrono::microseconds(250));
    }
    EXPECT_TRUE(done);
    EXPECT_EQ(r->discarded, 0);
  }
  for (PathRequest* r : mine) delete r;
  for (PathRequest* r : theirs) delete r;

  // A world deleted with its request in flight: cancel first, then nothing touches it.
  Actors& a = big->actors;
  RequestPath(a, 0, -1, AT_SMITHY, nullptr);
  ASSERT_EQ(QueuePathRequest(a), 0);
  EXPECT_EQ(PathingServiceCancel(&a), 1);
  EXPECT_EQ(a.m_pathInFlight, 0);
  EXPECT_EQ(a.m_pathRequested[0], 1) << "asked again if the world lives on";
  // Deleting the world while its request is being searched: the characters' clean-up drains it.
  a.m_pathRequested[0] = 0;
  RequestPath(a, 0, -1, AT_SMITHY, nullptr);
  ASSERT_EQ(QueuePathRequest(a), 0);
  delete big;
  // The service goes on serving other worlds.
  Wld* next = MakeWorld(1);
  RequestPath(next->actors, 0, LandTileAway(next->globe, next->actors.m_loca[0], 2), 0, nullptr);
  ASSERT_EQ(QueuePathRequest(next->actors), 0);
  ASSERT_TRUE(Reap(next->actors));
  EXPECT_GT(CollectPath(next->actors, 0), 0);
  delete next;
}

// The main thread keeps rebuilding the item bits and changing attributes while the worker
// searches: every search still finds the item that lies still all along.
TEST_F(PathingService, SearchesWhileTheWorldChanges) {
  Wld* world = MakeWorld(1, 4);
  Actors& a = world->actors;
  Globe& g = world->globe;
  const int spot = LandTileAway(g, a.m_loca[0], 6);
  ASSERT_GE(world->items.Add("pickaxe", spot, 0), 0);
  const int wanderer = world->items.Add("woodaxe", spot, 0);
  ASSERT_GE(wanderer, 0);
  g.UpdateOccupancy();
  int found = 0;
  for (int round = 0; round < 40; ++round) {
    RequestPath(a, 0, -1, 0, "pickaxe");
    ASSERT_EQ(QueuePathRequest(a), 0);
    bool reaped = false;
    // Bounded in time, not in rounds: a busy machine may hold the worker back for a while.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!reaped && std::chrono::steady_clock::now() < deadline) {
      world->items.m_loca[wanderer] = (world->items.m_loca[wanderer] + 7) % g.m_sz;
      g.UpdateOccupancy();
      g.AttribsSet(spot, AT_GROVE);
      g.AttribsClear(spot, AT_GROVE);
      reaped = PathRequestReap(a);
      if (!reaped) std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    ASSERT_TRUE(reaped);
    found += CollectPath(a, 0) > 0;
  }
  EXPECT_EQ(found, 40);
  delete world;
}

}  // namespace
