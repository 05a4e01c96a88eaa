// The path-planning service: characters' tile path searches on the "pathingthread" worker, and their requests and
// answers.
#pragma once

#include <atomic>
#include <cstdint>

#include "utility/fixed_string.h"
#include "world/actors/actors.h"

class Thread;
struct Wld;

// Ring slots of the service's queue.
constexpr int c_pathRequestSlots = 32;
// Seconds a character waits before its next plan request after a path search failed.
constexpr float c_replanDelayAfterNoPath = 3.0f;

// One path search, handed from the simulation to the worker. What to search for and from where
// is copied in when it is handed over, and the worker writes only the result fields here, never
// the characters' arrays, which the main thread keeps changing. `done` is set last (release); the
// main thread reads the results only after it has seen it (acquire). The main thread owns the
// request: it frees it when it takes the answer in (PathRequestReap) or cancels it.
struct PathRequest {
  Actors* owner;     // the requesting world's characters; never touched by the worker
  const Wld* world;  // the world searched
  int32_t nr;        // character number
  int32_t start;     // the character's tile when handed over
  PathGoal goal;     // the character's m_pathGoal when handed over
  FixedString name;  // for the log
  int32_t stale;     // main thread only: the character gave up meanwhile, drop the answer
  int32_t quiet;     // 1: a failure would repeat one already reported, so it is not logged again
  int32_t givenUp;   // main thread only: a lockstep wait for this answer ran out, so it is not waited for again
  // Results.
  int32_t path[c_tilePathLimit];
  int32_t length;  // tiles in path
  int32_t cost;    // -1 when no path was found
  // The site this search claimed (cleared its unclaimed bit), -1 none. Set before the bit is
  // taken, so the main thread, finding the bit clear, can tell the search in flight holds it.
  std::atomic<int32_t> claimed;
  int32_t discarded;  // 1: never searched (service stopped or request cancelled); ask again
  std::atomic<int32_t> done;
};

// The worker thread, null while the service is stopped.
extern Thread* pathingThread;

// Starts the worker; logs "Started path-planning service.". False when it already runs or the
// thread could not be made.
bool PathingServiceStart();
// Ends the worker and joins it. Queued requests are not searched: they come back to their
// characters as discarded, and are asked for again once a service runs.
void PathingServiceStop();
bool PathingServiceRunning();
// Puts a request in the ring; waits only when all slots are taken. False when not running.
bool PathingQueuePush(PathRequest* request);
// Makes sure the service holds no request of this world any more: queued ones are discarded, the
// one being searched is waited for, and every answer not yet taken in is dropped (a claim it made
// is released). The world's characters ask again later if it lives on. Returns the requests
// dropped. The Actors destructor and the shell call it before a world goes away.
int PathingServiceCancel(Actors* owner);
// Lockstep: waits until the world's request with the service, if any, is answered, at most `seconds`. True when
// nothing is in flight or the answer has come; false, with a warning, when the time ran out (that request is then
// not waited for again).
bool PathingServiceAwait(const Actors& actors, double seconds);
// The site this world's request with the service has claimed (or is claiming this moment), -1
// none. Main thread.
int PathClaimInFlight(const Actors& actors);
// Requests in the ring, for tests and diagnostics.
int PathingQueueCount();
// The worker's body: serves requests until stopped; returns the number served.
int PathingThreadMain(void* data);

// Records a path request for the character: to the tile, or (tile -1) to the nearest tile with
// every attribute bit of the mask, or to the nearest loose item of that type name (a constant
// string). Does nothing while one is pending. Returns 0.
int RequestPath(Actors& actors, int nr, int tile, uint64_t attribMask, const char* itemName);
// Once per simulation step: takes in this world's answer when it has come, then hands at most
// one request to the service, choosing characters in rotation after the last one served. A
// character that is no longer active loses its pending request instead. The character handed
// over, or -1.
int QueuePathRequest(Actors& actors);
// The answer for the character once it has come: the path is walked, or laid out as road sites
// when the character is paving, or the plan is given up and the character waits 3 seconds
// before planning again. Returns the search's cost (-1 for no path), or -1 with nothing to collect.
int CollectPath(Actors& actors, int nr);
// Takes in this world's answer when it has come: stores the path for its character, or drops it
// (releasing its claim) when the character gave up or was smitten meanwhile. True when a request
// was retired.
bool PathRequestReap(Actors& actors);
inline bool PathRequestReap(Actors* actors) { return actors && PathRequestReap(*actors); }
// For plan abandonment: the character stops paving, its pending path request is forgotten, and
// an answer still on its way is dropped when it comes, its claim released.
void PathAbandon(Actors& actors, int nr);
// Serves one request on the worker: the search and the claim of the site it leads to. Returns the
// cost, or -1.
int FindPath(PathRequest* request);

// Lays the character's found path (m_ploc, m_pasz) out as road sites; the construction code sets
// it (Globe::Pave). Without it a paving character's path is dropped with an error line.
typedef void (*PathPaveFunction)(Wld* world, int nr);
extern PathPaveFunction pathPave;
