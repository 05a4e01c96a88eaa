// The path-planning service: the worker thread, its request ring, and handing requests over and taking answers in.
#include "world/actors/actors_pathing.h"

#include <chrono>

#include "system/concurrent.h"
#include "utility/log.h"
#include "world/parts/items.h"
#include "world/planet/globe_construct.h"
#include "world/planet/tile_search.h"
#include "world/wld.h"

Thread* pathingThread = nullptr;
// Paving lays road sites through the globe's construction code; tests may put their own in.
PathPaveFunction pathPave = GlobePave;

namespace {

// The service's state. Ring, count, positions, stop and serving are touched only under the mutex.
struct PathingQueue {
  PathRequest* ring[c_pathRequestSlots];
  int count;
  int writePos;
  int readPos;
  int stop;
  PathRequest* serving;  // the request being searched, null none
  Mutex* mutex;
  Cond* hasWork;
  Cond* hasRoom;  // also broadcast when a search ends, for PathingServiceCancel and PathingServiceAwait
  int cursor;     // the character handed over last
};

PathingQueue queue = {};

// Requests handed over and not yet taken in, at most one per world (m_pathInFlight). Main thread only.
#define MAXPATHWORLDS 16
PathRequest* outstanding[MAXPATHWORLDS] = {};

int OutstandingFind(const Actors* owner) {
  for (int i = 0; i < MAXPATHWORLDS; ++i)
    if (outstanding[i] && outstanding[i]->owner == owner) return i;
  return -1;
}

int OutstandingFree() {
  for (int i = 0; i < MAXPATHWORLDS; ++i)
    if (!outstanding[i]) return i;
  return -1;
}

void WaitOn(Cond* cond) {
  // A failed wait is reported and the caller's loop waits again.
  const int waitresult = cond->Wait(queue.mutex);
  ASSERT(!waitresult);
}

void ReleaseClaim(Actors& actors, int nr, int tile) {
  Wld* world = actors.m_wld;
  if (!world || !world->globe.IsValid(tile)) return;
  world->globe.ClaimGiveBack(tile);
  LOGI("%s relinquished claim on tile %d.", actors.m_name[nr].c_str(), tile);
}

}  // namespace

int PathingThreadMain(void*) {
  int served = 0;
  for (;;) {
    queue.mutex->Lock();
    while (!queue.stop && queue.count == 0) WaitOn(queue.hasWork);
    if (queue.stop) {
      queue.mutex->Unlock();
      return served;
    }
    PathRequest* request = queue.ring[queue.readPos];
    queue.readPos = (queue.readPos + 1) % c_pathRequestSlots;
    --queue.count;
    queue.serving = request;
    queue.hasRoom->Signal();
    queue.mutex->Unlock();

    request->cost = FindPath(request);

    queue.mutex->Lock();
    queue.serving = nullptr;
    request->done.store(1, std::memory_order_release);
    queue.hasRoom->Broadcast();
    queue.mutex->Unlock();
    ++served;
  }
}

bool PathingServiceRunning() { return pathingThread != nullptr; }

bool PathingServiceStart() {
  ASSERTT_OR_RETURN(!pathingThread, false, "!pathingThread");
  queue.count = 0;
  queue.writePos = 0;
  queue.readPos = 0;
  queue.stop = 0;
  queue.serving = nullptr;
  queue.cursor = 0;
  queue.mutex = new Mutex();
  queue.hasWork = new Cond();
  queue.hasRoom = new Cond();
  pathingThread = new Thread(PathingThreadMain, "pathingthread", nullptr);
  if (!pathingThread->m_thread || !queue.mutex->m_mutex || !queue.hasWork->m_cond || !queue.hasRoom->m_cond) {
    LOGE("Could not start the path-planning service.");
    delete pathingThread;
    pathingThread = nullptr;
    delete queue.hasRoom;
    delete queue.hasWork;
    delete queue.mutex;
    queue.hasRoom = queue.hasWork = nullptr;
    queue.mutex = nullptr;
    return false;
  }
  LOGI("Started path-planning service.");
  return true;
}

void PathingServiceStop() {
  if (!pathingThread) return;
  LOGI("Stopping path-planning service.");
  queue.mutex->Lock();
  queue.stop = 1;
  queue.hasWork->Signal();
  queue.mutex->Unlock();
  delete pathingThread;  // joins
  pathingThread = nullptr;
  // The worker is gone: what is left in the ring goes back unsearched.
  while (queue.count > 0) {
    PathRequest* request = queue.ring[queue.readPos];
    queue.readPos = (queue.readPos + 1) % c_pathRequestSlots;
    --queue.count;
    request->discarded = 1;
    request->done.store(1, std::memory_order_release);
  }
  delete queue.hasRoom;
  delete queue.hasWork;
  delete queue.mutex;
  queue.hasRoom = queue.hasWork = nullptr;
  queue.mutex = nullptr;
}

bool PathingQueuePush(PathRequest* request) {
  if (!pathingThread || !request) return false;
  queue.mutex->Lock();
  while (queue.count >= c_pathRequestSlots) WaitOn(queue.hasRoom);
  queue.ring[queue.writePos] = request;
  queue.writePos = (queue.writePos + 1) % c_pathRequestSlots;
  ++queue.count;
  queue.hasWork->Signal();
  queue.mutex->Unlock();
  return true;
}

bool PathingServiceAwait(const Actors& actors, double seconds) {
  const int slot = OutstandingFind(&actors);
  if (slot < 0) return true;
  PathRequest* request = outstanding[slot];
  if (request->done.load(std::memory_order_acquire)) return true;
  if (request->givenUp || !pathingThread) return false;
  // The worker sets `done` and broadcasts under the mutex, so testing it under the mutex cannot
  // miss the wake-up.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  queue.mutex->Lock();
  while (!request->done.load(std::memory_order_acquire)) {
    const double left = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0.0) break;
    const int waitresult = queue.hasRoom->WaitTimeout(queue.mutex, static_cast<unsigned>(left * 1000.0) + 1);
    ASSERT(waitresult >= 0);
    if (waitresult < 0) break;
  }
  const bool answered = request->done.load(std::memory_order_acquire) != 0;
  queue.mutex->Unlock();
  if (!answered) {
    request->givenUp = 1;
    LOGW("The path-planning service has not answered %s's request within %.0f s; the simulation goes on without it.",
         request->name.c_str(), seconds);
  }
  return answered;
}

int PathClaimInFlight(const Actors& actors) {
  const int slot = OutstandingFind(&actors);
  return slot < 0 ? -1 : outstanding[slot]->claimed.load();
}

int PathingQueueCount() {
  if (!pathingThread) return 0;
  queue.mutex->Lock();
  const int n = queue.count;
  queue.mutex->Unlock();
  return n;
}

int PathingServiceCancel(Actors* owner) {
  if (pathingThread) {
    queue.mutex->Lock();
    // Take this world's queued requests out of the ring, keeping the order of the others.
    int kept = 0;
    PathRequest* keep[c_pathRequestSlots];
    for (int i = 0; i < queue.count; ++i) {
      PathRequest* request = queue.ring[(queue.readPos + i) % c_pathRequestSlots];
      if (request->owner == owner) {
        request->discarded = 1;
        request->done.store(1, std::memory_order_release);
      } else {
        keep[kept++] = request;
      }
    }
    for (int i = 0; i < kept; ++i) queue.ring[(queue.readPos + i) % c_pathRequestSlots] = keep[i];
    queue.count = kept;
    queue.writePos = (queue.readPos + kept) % c_pathRequestSlots;
    // The search under way reads this world's globe: let it end.
    while (queue.serving && queue.serving->owner == owner) WaitOn(queue.hasRoom);
    queue.mutex->Unlock();
  }
  int dropped = 0;
  for (int i = 0; i < MAXPATHWORLDS; ++i) {
    PathRequest* request = outstanding[i];
    if (!request || request->owner != owner) continue;
    ASSERT(request->done.load(std::memory_order_acquire));
    if (request->claimed >= 0 && !request->discarded) ReleaseClaim(*owner, request->nr, request->claimed);
    outstanding[i] = nullptr;
    delete request;
    ++dropped;
  }
  owner->m_pathInFlight = 0;
  return dropped;
}

int RequestPath(Actors& actors, int nr, int tile, uint64_t attribMask, const char* itemName) {
  ASSERTM_OR_RETURN(nr >= 0 && nr < actors.m_cnt, 0, "path request for character %d", nr);
  if (actors.m_pathRequested[nr]) return 0;
  actors.m_pathGoal[nr] = PathGoal{tile, attribMask, itemName};
  actors.m_pathDone[nr].store(0, std::memory_order_relaxed);
  actors.m_pathRequested[nr] = 1;
  return 0;
}

bool PathRequestReap(Actors& actors) {
  const int slot = OutstandingFind(&actors);
  if (slot < 0) return false;
  PathRequest* request = outstanding[slot];
  if (!request->done.load(std::memory_order_acquire)) return false;
  outstanding[slot] = nullptr;
  actors.m_pathInFlight = 0;
  const int nr = request->nr;
  if (request->discarded) {
    // Never searched: the request stays recorded and is handed over again.
    delete request;
    return true;
  }
  const bool active = (actors.m_stat[nr] & ST_ACTIVE) != 0;
  // A request withdrawn meanwhile (m_pathRequested cleared) counts as given up.
  if (!actors.m_pathRequested[nr]) request->stale = 1;
  if (request->stale || !active) {
    // Nobody will walk this path: give back the site it claimed.
    if (request->claimed >= 0) ReleaseClaim(actors, nr, request->claimed);
    if (!active && !request->stale) {
      actors.m_pathRequested[nr] = 0;
      actors.m_pathDone[nr].store(0, std::memory_order_relaxed);
      actors.m_stat[nr] &= ~static_cast<uint64_t>(ST_PAVING);
    }
    delete request;
    return true;
  }
  const int length = request->cost >= 0 ? request->length : 0;
  for (int i = 0; i < length; ++i) actors.m_ploc[nr][i] = request->path[i];
  actors.m_pasz[nr] = length;
  actors.m_pathResult[nr] = request->cost;
  if (request->claimed >= 0) {
    // One site per character: the old claim goes before the new one is recorded.
    const int old = actors.m_clai[nr];
    if (old != -1 && old != request->claimed) ReleaseClaim(actors, nr, old);
    actors.m_clai[nr] = request->claimed;
  }
  actors.m_pathDone[nr].store(1, std::memory_order_release);
  delete request;
  return true;
}

int QueuePathRequest(Actors& actors) {
  ASSERTT_OR_RETURN(pathingThread, -1, "pathingThread");
  PathRequestReap(actors);
  if (actors.m_pathInFlight) return -1;
  int chosen = -1;
  for (int k = 0; k < MAXACTORS && chosen < 0; ++k) {
    const int n = (queue.cursor + 1 + k) % MAXACTORS;
    if (n >= actors.m_cnt || !actors.m_pathRequested[n] || actors.m_pathDone[n].load(std::memory_order_acquire))
      continue;
    if (!(actors.m_stat[n] & ST_ACTIVE)) {
      // A smitten character walks nowhere; its request would only hold the service.
      actors.m_pathRequested[n] = 0;
      actors.m_stat[n] &= ~static_cast<uint64_t>(ST_PAVING);
      continue;
    }
    chosen = n;
  }
  if (chosen < 0) return -1;
  const int slot = OutstandingFree();
  if (slot < 0) {
    LOGE("Too many worlds with path requests (%d).", MAXPATHWORLDS);
    return -1;
  }
  PathRequest* request = new PathRequest();
  request->owner = &actors;
  request->world = actors.m_wld;
  request->nr = chosen;
  request->start = actors.m_loca[chosen];
  request->goal = actors.m_pathGoal[chosen];
  request->name = actors.m_name[chosen];
  request->cost = -1;
  request->claimed = -1;
  request->quiet = actors.RepeatsFailure(chosen) ? 1 : 0;
  outstanding[slot] = request;
  if (!PathingQueuePush(request)) {
    outstanding[slot] = nullptr;
    delete request;
    return -1;
  }
  queue.cursor = chosen;
  actors.m_pathInFlight = 1;
  return chosen;
}

int CollectPath(Actors& actors, int nr) {
  if (nr < 0 || nr >= actors.m_cnt) return -1;
  PathRequestReap(actors);
  if (!actors.m_pathRequested[nr] || !actors.m_pathDone[nr].load(std::memory_order_acquire)) return -1;
  const int result = actors.m_pathResult[nr];
  if (result < 0) {
    actors.m_pathDone[nr].store(0, std::memory_order_relaxed);
    const int failures = actors.NoteFailure(nr, c_replanDelayAfterNoPath);
    // A road whose path failed is not laid out by the next path the character finds.
    PathAbandon(actors, nr);
    actors.AbandonPlan(nr, failures > 1);
  } else if (actors.m_stat[nr] & ST_PAVING) {
    if (pathPave && actors.m_wld) {
      pathPave(actors.m_wld, nr);
    } else {
      LOGE("%s cannot lay out a road: no paving.", actors.m_name[nr].c_str());
    }
    actors.m_stat[nr] &= ~static_cast<uint64_t>(ST_PAVING);
    actors.m_pasz[nr] = 0;
  } else {
    LOGI("%s will now follow path of len %d", actors.m_name[nr].c_str(), actors.m_pasz[nr]);
    actors.m_pathStage[nr] = 0;
  }
  actors.m_pathRequested[nr] = 0;
  return result;
}

void PathAbandon(Actors& actors, int nr) {
  if (nr < 0 || nr >= MAXACTORS) return;
  actors.m_stat[nr] &= ~static_cast<uint64_t>(ST_PAVING);
  const int slot = OutstandingFind(&actors);
  if (slot >= 0 && outstanding[slot]->nr == nr) outstanding[slot]->stale = 1;
  actors.m_pathRequested[nr] = 0;
  actors.m_pathDone[nr].store(0, std::memory_order_relaxed);
}

int FindPath(PathRequest* request) {
  const Wld* world = request->world;
  const char* name = request->name.c_str();
  const PathGoal& goal = request->goal;
  request->length = 0;
  request->claimed = -1;
  if (!world) return -1;
  if (goal.tile == -1 && goal.attribMask == 0 && !goal.itemName) {
    LOGE("Cannot plan a path to unkown location without itemname.");
    return -1;
  }
  uint64_t itemMask = 0;
  if (goal.itemName) {
    const int type = Items::TypeByName(goal.itemName);
    if (type < 0 || type >= 64) {
      LOGE("%s cannot look for '%s': not an item type.", name, goal.itemName);
      return -1;
    }
    itemMask = 1ull << type;
    bool anywhere = false;
    for (int t = 0; t < world->globe.m_sz && !anywhere; ++t) anywhere = (TileItemBits(world, t) & itemMask) != 0;
    if (!anywhere && !request->quiet) LOGI("Cannot find %llx in wld.", static_cast<unsigned long long>(itemMask));
  }
  char attribs[256];
  Globe::AttribText(goal.attribMask, attribs, sizeof(attribs));
  int length = c_tilePathLimit;
  int cost = TilePathSearch(world, request->start, goal.tile, goal.attribMask, itemMask, request->path, &length);
  if (cost >= 0) {
    if (goal.attribMask) LOGI("%s found a path of length %d, cost %d to tile attrib %s", name, length, cost, attribs);
    if (goal.attribMask & AT_UNCLAIMED) {
      const int site = length > 0 ? request->path[length - 1] : request->start;
      // Only the one who clears the bit owns the site; someone may have taken it since the search saw it.
      // The site is named first: whoever sees the bit clear then also sees whose it is (Globe::ClaimHeld).
      GridNode& node = world->globe.m_nodes[site];
      request->claimed.store(site);
      const uint64_t before = __atomic_fetch_and(&node.attribs, ~static_cast<uint64_t>(AT_UNCLAIMED), __ATOMIC_SEQ_CST);
      if (before & AT_UNCLAIMED) {
        LOGI("%s claimed node %d while walking to %s", name, site, attribs);
      } else {
        request->claimed.store(-1);
        LOGI("%s found node %d already claimed.", name, site);
        cost = -1;
        length = 0;
      }
    }
    if (cost >= 0 && goal.itemName)
      LOGI("%s found a path of length %d, cost %d to item %s(%llx)", name, length, cost, goal.itemName,
           static_cast<unsigned long long>(itemMask));
    if (cost >= 0) request->length = length;
    return cost;
  }
  if (request->quiet) return -1;
  if (goal.attribMask) LOGI("Could not find a path from %d to %s", request->start, attribs);
  if (goal.itemName)
    LOGI("Could not find a path from %d to %s(%llx)", request->start, goal.itemName,
         static_cast<unsigned long long>(itemMask));
  return -1;
}
