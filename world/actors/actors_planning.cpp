// Plan requests and action costs, and the action-planning service that runs the plan searches.
#include "world/actors/actors_planning.h"

#include <chrono>
#include <cstring>
#include <new>

#include "quarnplan256/astar.h"
#include "system/concurrent.h"
#include "utility/log.h"
#include "world/actors/action_domain.h"
#include "world/actors/demand.h"
#include "world/parts/items.h"
#include "world/planet/globe.h"
#include "world/wld.h"

// ---------------------------------------------------------------------------------------------
// Plan requests (main thread)
// ---------------------------------------------------------------------------------------------

static void DescribeState(const ActionPlanner* ap, const WorldState& ws, char* buf, int size) {
  buf[0] = 0;
  if (ap) StateDescribe(ap, ws, buf, size);
}

// The game's actions as ActionsDefine registers them on an empty planner, and the state with every
// domain atom false. Characters without a plan set their goal every step, and registering the
// whole table by name each time costs far more than copying the finished pair, which is the same
// every time.
namespace {
struct DomainStartPair {
  ActionPlanner planner;
  WorldState state;
};
const DomainStartPair& DomainStartBuilt() {
  static DomainStartPair domain;
  static const bool built = [] {
    PlannerClear(&domain.planner);
    ActionsDefine(&domain.planner);
    StateClear(&domain.state);
    AtomsInit(&domain.planner, &domain.state);
    return true;
  }();
  (void)built;
  return domain;
}
}  // namespace

void DomainStart(ActionPlanner* planner, WorldState* state) {
  const DomainStartPair& domain = DomainStartBuilt();
  if (planner) *planner = domain.planner;
  if (state) *state = domain.state;
}

int Actors::SetGoal(int nr, int goalCount, const char* const* goalAtoms, const bool* goalValues) {
  ASSERTT_OR_RETURN(nr >= 0 && nr < m_cnt, -1, "nr>=0 && nr<m_cnt");
  if (!m_planners || !m_currentState || !m_goalState) return -1;
  // The states and the planner belong to the pending request until it is answered.
  if (m_planRequested[nr]) return 0;

  const char* atom = goalCount == 1 && goalAtoms ? goalAtoms[0] : nullptr;
  const int32_t value = goalValues && goalCount > 0 ? goalValues[0] : 1;
  if (m_failCount[nr] > 0) {
    m_goalAtom[nr] = atom;
    m_goalValue[nr] = value;
    if (!RepeatsFailure(nr)) {
      // Another goal, another assignment or a changed world: the next try need not wait long.
      if (m_replanDelay[nr] > m_failBase[nr]) m_replanDelay[nr] = m_failBase[nr];
      EndFailures(nr);
    } else if (m_failCount[nr] > 1 && m_replanDelay[nr] > 0.0f) {
      // Backing off: the request is made when the wait is over, from the world as it is then.
      return 0;
    }
  }
  m_goalAtom[nr] = atom;
  m_goalValue[nr] = value;

  ActionPlanner* ap = &m_planners[nr];
  WorldState* cur = &m_currentState[nr];
  DomainStart(ap, cur);
  if (m_wld) {
    m_wld->items.SetAtoms(ap, cur, nr, m_loca[nr]);
    m_wld->globe.SetTerrainAtoms(ap, cur, m_loca[nr], m_clai[nr]);
    m_wld->demand.SetAtoms(ap, cur);
  }

  WorldState* goal = &m_goalState[nr];
  StateClear(goal);
  for (int i = 0; i < goalCount; ++i) {
    if (!goalAtoms || !goalAtoms[i]) {
      ASSERTM(goalAtoms && goalAtoms[i], "goal atom %d of %s is missing", i, m_name[nr].c_str());
      continue;
    }
    StateSet(ap, goal, goalAtoms[i], goalValues ? goalValues[i] : true);
  }

  if (StateMatches(*cur, *goal)) {
    if (m_failCount[nr] > 0) EndFailures(nr);
    // The caller asks again every step while the goal holds; say so once per goal.
    const bool reported = m_quietValid[nr] && !memcmp(&m_quietGoal[nr], goal, sizeof(WorldState));
    if (!reported) {
      char text[1024];
      LOGI("%s cannot make a plan, as current state already matches goal state.", m_name[nr].c_str());
      DescribeState(ap, *goal, text, sizeof(text));
      LOGI("goalstate: %s", text);
      DescribeState(ap, *cur, text, sizeof(text));
      LOGI("currstate: %s", text);
      m_quietGoal[nr] = *goal;
      m_quietValid[nr] = 1;
    }
    return -1;
  }

  int attribDist[32] = {};
  int itemDist[64] = {};
  int actorDist[64] = {};
  if (m_wld && m_wld->globe.IsValid(m_loca[nr])) m_wld->globe.Survey(m_loca[nr], 1024, attribDist, itemDist, actorDist);
  SetActionCosts(nr, ap, attribDist, itemDist);
  MarkPlanRequested(nr);
  return 0;
}

void Actors::MarkPlanRequested(int nr) {
  if (nr < 0 || nr >= MAXACTORS) return;
  m_planRequested[nr] = 1;
  m_planSize[nr] = 0;
  m_planActive[nr] = 0;
  m_planDone[nr] = 0;
  m_planStage[nr] = -1;
  ++m_planSerial[nr];
  m_quietValid[nr] = 0;
}

bool Actors::RepeatsFailure(int nr) const {
  if (!IsValid(nr) || m_failCount[nr] < 1) return false;
  const uint32_t changes = m_wld ? m_wld->m_changes : 0;
  const char* a = m_goalAtom[nr];
  const char* b = m_failAtom[nr];
  return a && b && !strcmp(a, b) && m_goalValue[nr] == m_failValue[nr] && m_failAssi[nr] == m_assi[nr] &&
         m_failChanges[nr] == changes;
}

int Actors::NoteFailure(int nr, float base) {
  if (!IsValid(nr)) return 0;
  // The player's character tries what the player asks, when asked.
  if (m_stat[nr] & ST_CHOSEN) {
    m_replanDelay[nr] = base;
    return 1;
  }
  if (!RepeatsFailure(nr)) {
    EndFailures(nr);
    m_failAtom[nr] = m_goalAtom[nr];
    m_failValue[nr] = m_goalValue[nr];
    m_failAssi[nr] = m_assi[nr];
    m_failChanges[nr] = m_wld ? m_wld->m_changes : 0;
    m_failBase[nr] = base;
  }
  const int count = ++m_failCount[nr];
  float delay = base;
  for (int i = 1; i < count && delay < c_retryDelayLimit; ++i) delay *= 2.0f;
  m_replanDelay[nr] = delay < c_retryDelayLimit ? delay : c_retryDelayLimit;
  return count;
}

void Actors::EndFailures(int nr) {
  if (!IsValid(nr)) return;
  if (m_failCount[nr] > 1)
    LOGI("%s failed %d times in a row to reach %s%s.", m_name[nr].c_str(), m_failCount[nr],
         m_failValue[nr] ? "" : "no ", m_failAtom[nr] ? m_failAtom[nr] : "its goal");
  m_failCount[nr] = 0;
}

// The item type a find_ or scavenge_ action looks for, or -1 (asserted) for a name with no type;
// types past 63 have no bit in the survey's masks and count as none.
static int SearchedItemType(const char* item) {
  const int itemtype = Items::TypeByName(item);
  ASSERTM(itemtype >= 0, "item type for '%s' not found.", item);
  return itemtype < 64 ? itemtype : -1;
}

int Actors::SetActionCosts(int nr, ActionPlanner* planner, const int attribDist[32], const int itemDist[64]) {
  ASSERTT(nr >= 0 && nr < m_cnt, "nr>=0 && nr<m_cnt");
  if (!planner || !attribDist || !itemDist) return 0;

  // Item types lying loose anywhere on the planet.
  const uint64_t anywhere = m_wld ? m_wld->globe.ItemTypesAnywhere() : 0;

  static const char c_walk[] = "walk_to_";
  static const char c_find[] = "find_";
  static const char c_scavenge[] = "scavenge_";
  int count = 0;
  for (int a = 0; a < planner->numactions; ++a) {
    const char* name = planner->actionnames[a];
    if (!name) continue;
    if (!strncmp(name, c_walk, sizeof(c_walk) - 1)) {
      const char* attrib = name + sizeof(c_walk) - 1;
      const int attribnr = AttribIndex(attrib);
      ASSERTM(attribnr >= 0, "attrib name '%s' not found.", attrib);
      if (attribnr < 0) continue;
      int cost = attribDist[attribnr] ? attribDist[attribnr] : 60;
      // Walking to a kind of site that no demand asks for is not worth planning.
      const int slot = Demand::SlotForAttribute(attribnr);
      if (slot >= 0 && m_wld && m_wld->demand.Count(slot) < 1) cost = 8888;
      PlannerSetCost(planner, name, cost);
      ++count;
    } else if (!strncmp(name, c_find, sizeof(c_find) - 1)) {
      const int itemtype = SearchedItemType(name + sizeof(c_find) - 1);
      if (itemtype < 0) continue;
      int cost = 9999;  // lying nowhere: finding it is hopeless
      if (anywhere & (1ull << itemtype)) cost = itemDist[itemtype] ? itemDist[itemtype] : 49;
      PlannerSetCost(planner, name, cost);
      ++count;
    } else if (!strncmp(name, c_scavenge, sizeof(c_scavenge) - 1)) {
      const int itemtype = SearchedItemType(name + sizeof(c_scavenge) - 1);
      if (itemtype < 0) continue;
      PlannerSetCost(planner, name, itemDist[itemtype] ? itemDist[itemtype] : 9999);
      ++count;
    }
  }
  return count;
}

int Actors::PlanText(int nr, char* buffer, int length) const {
  if (!buffer || length < 1) return 0;
  buffer[0] = 0;
  if (nr < 0 || nr >= MAXACTORS) return 0;
  int size = m_planSize[nr];
  if (size > c_planStepLimit) size = c_planStepLimit;
  int written = 0;
  auto put = [&](const char* s) {
    while (*s && written < length - 1) buffer[written++] = *s++;
    buffer[written] = 0;
  };
  if (size < 1) {
    put("no plan.");
    return written;
  }
  for (int i = 0; i < size; ++i) {
    if (i) put(",");
    put(m_planActions[nr][i] ? m_planActions[nr][i] : "?");
  }
  return written;
}

// ---------------------------------------------------------------------------------------------
// The service's static state
// ---------------------------------------------------------------------------------------------

namespace {

struct PlanningQueue {
  PlanRequest* ring[c_requestSlots] = {};
  int count = 0;
  int writePos = 0;
  int readPos = 0;
  std::atomic<bool> stop{false};
  Mutex* mutex = nullptr;
  Cond* hasWork = nullptr;
  Cond* hasRoom = nullptr;
  Cond* served = nullptr;                // broadcast when the worker finishes a request
  const Actors* servingOwner = nullptr;  // world of the request being searched, under the mutex
  std::atomic<int> servedCount{0};
  int cursor = 0;  // character chosen last; main thread only
};

PlanningQueue queue;

// A request that will not be searched goes back to its world, which asks again.
void ReturnDiscarded(PlanRequest* r) {
  r->discarded = 1;
  r->size = -1;
  r->cost = -1;
  r->done.store(1, std::memory_order_release);
}

// The queue's mutex and conditions, freed when the service fails to start or has stopped.
void ReleaseQueueSync() {
  delete queue.served;
  delete queue.hasRoom;
  delete queue.hasWork;
  delete queue.mutex;
  queue.served = queue.hasRoom = queue.hasWork = nullptr;
  queue.mutex = nullptr;
}

void WaitOn(Cond* cond) {
  const int waitresult = cond->Wait(queue.mutex);
  ASSERT(!waitresult);
}

}  // namespace

Thread* planningThread = nullptr;

bool PlanningServiceRunning() { return planningThread != nullptr; }

bool PlanningServiceStart() {
  ASSERT_OR_RETURN(!planningThread, false);
  queue.mutex = new Mutex();
  queue.hasWork = new Cond();
  queue.hasRoom = new Cond();
  queue.served = new Cond();
  if (!queue.mutex->m_mutex || !queue.hasWork->m_cond || !queue.hasRoom->m_cond || !queue.served->m_cond) {
    LOGE("Cannot start the action planning service without its mutex and conditions.");
    ReleaseQueueSync();
    return false;
  }
  queue.count = queue.writePos = queue.readPos = 0;
  queue.stop.store(false);
  queue.servingOwner = nullptr;
  queue.servedCount.store(0);
  queue.cursor = 0;
  Thread* thread = new Thread(PlanningThreadMain, "planningthread", nullptr);
  if (!thread->m_thread) {
    delete thread;
    ReleaseQueueSync();
    return false;
  }
  planningThread = thread;
  LOGI("Started action planning service.");
  return true;
}

void PlanningServiceStop() {
  LOGI("Stopping action planning service.");
  if (!planningThread) return;
  queue.mutex->Lock();
  queue.stop.store(true);
  queue.hasWork->Signal();
  queue.mutex->Unlock();
  delete planningThread;  // joins
  planningThread = nullptr;
  // The worker has ended: nothing else touches the ring now.
  for (int i = 0; i < queue.count; ++i) ReturnDiscarded(queue.ring[(queue.readPos + i) % c_requestSlots]);
  queue.count = queue.writePos = queue.readPos = 0;
  for (PlanRequest*& slot : queue.ring) slot = nullptr;
  ReleaseQueueSync();
}

bool PlanningQueuePush(PlanRequest* request) {
  if (!planningThread || !request) return false;
  queue.mutex->Lock();
  while (queue.count == c_requestSlots) WaitOn(queue.hasRoom);
  queue.ring[queue.writePos] = request;
  queue.writePos = (queue.writePos + 1) % c_requestSlots;
  ++queue.count;
  queue.hasWork->Signal();
  queue.mutex->Unlock();
  return true;
}

int PlanningServiceCancel(const Actors* owner) {
  if (!planningThread || !owner) return 0;
  int affected = 0;
  queue.mutex->Lock();
  // Keep the other worlds' requests in their order; hand this world's back.
  PlanRequest* kept[c_requestSlots];
  int keep = 0;
  for (int i = 0; i < queue.count; ++i) {
    PlanRequest* r = queue.ring[(queue.readPos + i) % c_requestSlots];
    if (r->owner == owner) {
      ReturnDiscarded(r);
      ++affected;
    } else {
      kept[keep++] = r;
    }
  }
  for (int i = 0; i < c_requestSlots; ++i) queue.ring[i] = i < keep ? kept[i] : nullptr;
  queue.count = keep;
  queue.readPos = 0;
  queue.writePos = keep % c_requestSlots;
  if (affected) queue.hasRoom->Signal();
  // The search under way cannot be interrupted; it ends within the planner's limits.
  if (queue.servingOwner == owner) ++affected;
  while (queue.servingOwner == owner) WaitOn(queue.served);
  queue.mutex->Unlock();
  return affected;
}

bool PlanningServiceAwait(const Actors& actors, double seconds) {
  PlanRequest* r = actors.m_planRequest;
  if (!r || r->done.load(std::memory_order_acquire)) return true;
  if (r->givenUp || !planningThread) return false;
  // The worker sets `done` and broadcasts under the mutex, so testing it under the mutex cannot
  // miss the wake-up.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  queue.mutex->Lock();
  while (!r->done.load(std::memory_order_acquire)) {
    const double left = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0.0) break;
    const int waitresult = queue.served->WaitTimeout(queue.mutex, static_cast<unsigned>(left * 1000.0) + 1);
    ASSERT(waitresult >= 0);
    if (waitresult < 0) break;
  }
  const bool answered = r->done.load(std::memory_order_acquire) != 0;
  queue.mutex->Unlock();
  if (!answered) {
    r->givenUp = 1;
    LOGW("The planning service has not answered %s's request within %.0f s; the simulation goes on without it.",
         r->name.c_str(), seconds);
  }
  return answered;
}

int PlanningQueueCount() {
  if (!planningThread) return 0;
  queue.mutex->Lock();
  const int n = queue.count;
  queue.mutex->Unlock();
  return n;
}

int PlanningServedCount() { return queue.servedCount.load(); }

// True when the goal wants an atom that the current state holds otherwise and that no action can
// set to the wanted value: no plan can reach it, and a search would only run into its state
// limit ("haveprovisions", which no action gives, is one).
bool GoalOutOfReach(const ActionPlanner& ap, const WorldState& current, const WorldState& goal) {
  for (int w = 0; w < 4; ++w) {
    uint64_t open = ~goal.ignore.bits[w] & ~current.ignore.bits[w] & (goal.values.bits[w] ^ current.values.bits[w]);
    while (open) {
      const uint64_t bit = open & (~open + 1);
      open &= open - 1;
      bool settable = false;
      for (int a = 0; a < ap.numactions && !settable; ++a) {
        const WorldState& post = ap.postconds[a];
        settable = !(post.ignore.bits[w] & bit) && ((post.values.bits[w] ^ goal.values.bits[w]) & bit) == 0;
      }
      if (!settable) return true;
    }
  }
  return false;
}

// Runs one search on the request's own copies and fills in its results (not `done`).
static void PlanServe(PlanRequest* r) {
  WorldState states[c_planStepLimit];
  int size = c_planStepLimit;
  int cost = GoalOutOfReach(r->planner, r->current, r->goal)
                 ? -1
                 : PlanSearch(&r->planner, r->current, r->goal, r->plan, states, &size);
  if (cost >= 0 && (size < 0 || size > c_planStepLimit)) {
    // A character keeps at most c_planStepLimit steps; a longer plan cannot be carried out.
    LOGW("%s found a plan of %d steps, more than the %d a character can keep.", r->name.c_str(), size, c_planStepLimit);
    cost = -1;
  }
  if (cost > 0) LOGI("%s found a plan of cost %d and size %d", r->name.c_str(), cost, size);
  r->size = cost >= 0 ? size : -1;
  r->cost = cost;
}

int PlanningThreadMain(void* /*data*/) {
  int served = 0;
  for (;;) {
    if (queue.stop.load()) break;
    queue.mutex->Lock();
    while (queue.count == 0 && !queue.stop.load()) WaitOn(queue.hasWork);
    if (queue.stop.load()) {
      queue.mutex->Unlock();
      break;
    }
    PlanRequest* r = queue.ring[queue.readPos];
    queue.ring[queue.readPos] = nullptr;
    queue.readPos = (queue.readPos + 1) % c_requestSlots;
    --queue.count;
    queue.servingOwner = r->owner;
    queue.hasRoom->Signal();
    queue.mutex->Unlock();

    PlanServe(r);

    queue.mutex->Lock();
    // Published last; from here on the request belongs to its world again and is not touched.
    r->done.store(1, std::memory_order_release);
    queue.servingOwner = nullptr;
    queue.served->Broadcast();
    queue.mutex->Unlock();
    ++served;
    queue.servedCount.fetch_add(1);
  }
  return served;
}

// ---------------------------------------------------------------------------------------------
// Handing over and collecting (main thread)
// ---------------------------------------------------------------------------------------------

int Actors::QueuePlanRequest(float dt) {
  ASSERT(planningThread);
  for (int i = 0; i < m_cnt; ++i)
    if (m_replanDelay[i] > 0.0f) m_replanDelay[i] -= dt;
  ReapPlanRequest();
  if (!planningThread || m_planInFlight || !m_planners || !m_currentState || !m_goalState) return -1;

  int chosen = -1;
  for (int k = 0; k < MAXACTORS && chosen < 0; ++k) {
    const int n = (queue.cursor + 1 + k) % MAXACTORS;
    if (n >= m_cnt) continue;
    // A smitten or caged character performs nothing; its request would only block the others.
    if (!(m_stat[n] & ST_ACTIVE) || (m_stat[n] & ST_PRISONER)) continue;
    if (m_planRequested[n] && !m_planDone[n] && m_replanDelay[n] <= 0.0f) chosen = n;
  }
  if (chosen < 0) return -1;

  PlanRequest* r = new (std::nothrow) PlanRequest();
  if (!r) {
    LOGE("Out of memory for the plan request of %s.", m_name[chosen].c_str());
    return -1;
  }
  r->owner = this;
  r->nr = chosen;
  r->serial = m_planSerial[chosen];
  r->name = m_name[chosen];
  r->current = m_currentState[chosen];
  r->goal = m_goalState[chosen];
  memcpy(static_cast<void*>(&r->planner), &m_planners[chosen], sizeof(ActionPlanner));
  r->size = 0;
  r->cost = -1;
  r->discarded = 0;
  r->done.store(0, std::memory_order_relaxed);
  if (!PlanningQueuePush(r)) {
    delete r;
    return -1;
  }
  m_planRequest = r;
  m_planInFlightNr = chosen;
  m_planInFlight = 1;
  queue.cursor = chosen;
  return chosen;
}

bool Actors::ReapPlanRequest() {
  PlanRequest* r = m_planRequest;
  if (!r || !r->done.load(std::memory_order_acquire)) return false;
  const int n = r->nr;
  const bool current = n >= 0 && n < m_cnt && m_planRequested[n] && !m_planDone[n] && m_planSerial[n] == r->serial;
  if (r->discarded) {
    // Never searched: the character stays requested and is handed over again.
  } else if (current) {
    int size = r->cost >= 0 ? r->size : 0;
    if (size < 0 || size > c_planStepLimit) size = 0;
    for (int i = 0; i < size; ++i) m_planActions[n][i] = r->plan[i];
    if (r->cost >= 0) m_planSize[n] = size;
    m_planCost[n] = r->cost;
    m_planDone[n] = 1;
  } else {
    LOGI("%s: dropped the answer to a cancelled plan request.", r->name.c_str());
  }
  delete r;
  m_planRequest = nullptr;
  m_planInFlightNr = -1;
  m_planInFlight = 0;
  return true;
}

int Actors::CollectPlan(int nr) {
  ReapPlanRequest();
  if (nr < 0 || nr >= m_cnt) return -1;
  if (!m_planRequested[nr] || !m_planDone[nr]) return -1;
  if (m_planCost[nr] < 0) {
    if (NoteFailure(nr, c_replanDelayAfterFailure) == 1) {
      char text[1024];
      DescribeState(m_planners ? &m_planners[nr] : nullptr, m_goalState[nr], text, sizeof(text));
      LOGI("%s failed to make a plan to goal %s", m_name[nr].c_str(), text);
    }
    m_planSize[nr] = -1;
    m_planDone[nr] = 0;
  } else {
    m_planActive[nr] = 1;
    m_planStage[nr] = -1;
    NextPlanStep(nr);
  }
  m_planRequested[nr] = 0;
  return m_planCost[nr];
}
