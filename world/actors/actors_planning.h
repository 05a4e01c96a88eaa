// The action-planning service: plan searches for characters on the "planningthread" worker.
#pragma once

#include <atomic>
#include <cstdint>

#include "quarnplan256/goap.h"
#include "utility/fixed_string.h"
#include "world/actors/actors.h"

class Thread;

// Ring slots of the service's queue.
constexpr int c_requestSlots = 32;

// One plan search, handed from the simulation to the worker. Everything the search needs is
// copied in when it is handed over, and the worker writes only the result fields here, so it
// never touches a world the main thread is changing. `done` is set last (release); the main
// thread reads the results only after it has seen it (acquire). The requesting Actors owns the
// request and frees it once it has been answered or cancelled.
struct PlanRequest {
  const Actors* owner;  // identifies the world for cancelling; never read through by the worker
  int32_t nr;           // character number
  uint32_t serial;      // the character's m_planSerial when handed over
  FixedString name;     // for the log
  WorldState current;
  WorldState goal;
  ActionPlanner planner;
  // Results.
  const char* plan[c_planStepLimit];
  int32_t size;       // steps found, 0 or -1 with no plan
  int32_t cost;       // negative when no plan was found
  int32_t discarded;  // 1: never searched (service stopped or request cancelled); ask again
  int32_t givenUp;    // main thread only: a lockstep wait for this answer ran out, so it is not waited for again
  std::atomic<int32_t> done;
};

// Copies the game's actions as registered on an empty planner and the state with every domain atom
// false (what PlannerClear, ActionsDefine, StateClear and AtomsInit make), built once: copying is
// far cheaper than registering the actions by name again. Main thread only.
void DomainStart(ActionPlanner* planner, WorldState* state);

// The worker thread, null while the service is stopped.
extern Thread* planningThread;

// Starts the worker; logs "Started action planning service.". False when it already runs or
// the thread could not be made.
bool PlanningServiceStart();
// Ends the worker and joins it. Queued requests are not searched: they come back to their
// characters as discarded, and are asked for again once a service runs.
void PlanningServiceStop();
bool PlanningServiceRunning();
// Puts a request in the ring; waits only when all 32 slots are taken. False when the service
// is not running.
bool PlanningQueuePush(PlanRequest* request);
// Makes sure the service holds no request of this world any more: queued ones come back
// discarded and the one being searched is waited for. Returns how many were affected. The
// Actors destructor calls it, so a world can never be freed under the worker.
int PlanningServiceCancel(const Actors* owner);
// Lockstep: waits until the world's request with the service, if any, is answered, at most `seconds`. True when
// nothing is in flight or the answer has come; false, with a warning, when the time ran out (that request is then
// not waited for again, so a stuck service costs one bound, not one per step).
bool PlanningServiceAwait(const Actors& actors, double seconds);
// Requests in the ring, for tests and diagnostics.
int PlanningQueueCount();
// Requests the worker has finished since the service started.
int PlanningServedCount();
// True when the goal wants an atom, held otherwise now, that no action of the planner can set to
// the wanted value: such a goal fails at once instead of searching up to the state limit.
bool GoalOutOfReach(const ActionPlanner& ap, const WorldState& current, const WorldState& goal);
// The worker's body: serves requests until stopped; returns the number served.
int PlanningThreadMain(void* data);
