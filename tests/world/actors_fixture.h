// Worlds for the character tests: a small hand-made strip of land tiles, planners of a few actions, and bounded
// polling.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include "quarnplan256/goap.h"
#include "strip_world.h"
#include "world/actors/actors.h"
#include "world/actors/actors_planning.h"
#include "world/sim/sim_frame.h"
#include "world/wld.h"

// Gives character nr a planner of one action "step" (x false -> x true), starting from x false.
// The names are string constants, as the game's are.
inline ActionPlanner* StepPlanner(Actors& a, int nr) {
  ActionPlanner* ap = &a.m_planners[nr];
  PlannerClear(ap);
  PlannerSetPre(ap, "step", "x", false);
  PlannerSetPst(ap, "step", "x", true);
  StateClear(&a.m_currentState[nr]);
  StateSet(ap, &a.m_currentState[nr], "x", false);
  return ap;
}

// Makes the goal of character nr the atom alone, true, and marks the request.
inline void AskFor(Actors& a, int nr, const char* atom) {
  StateClear(&a.m_goalState[nr]);
  StateSet(&a.m_planners[nr], &a.m_goalState[nr], atom, true);
  a.MarkPlanRequested(nr);
}

// Asks for x with the one-step planner: the plan is "step".
inline void RequestEasyPlan(Actors& a, int nr) {
  StepPlanner(a, nr);
  AskFor(a, nr, "x");
}

// Asks for an atom that no action sets: the search fails at once.
inline void RequestImpossiblePlan(Actors& a, int nr) {
  ActionPlanner* ap = StepPlanner(a, nr);
  StateSet(ap, &a.m_currentState[nr], "never", false);
  AskFor(a, nr, "never");
}

// A chain of `length` actions c0..c(length-1), each needing the atom before it: the only plan
// is the whole chain, one step per action.
inline void RequestChainPlan(Actors& a, int nr, int length) {
  static char atomNames[64][8];
  static char actionNames[64][8];
  for (int i = 0; i < 64; ++i) {
    snprintf(atomNames[i], sizeof(atomNames[i]), "a%d", i);
    snprintf(actionNames[i], sizeof(actionNames[i]), "c%d", i);
  }
  ActionPlanner* ap = &a.m_planners[nr];
  PlannerClear(ap);
  for (int i = 0; i < length; ++i) {
    PlannerSetPre(ap, actionNames[i], atomNames[i], true);
    PlannerSetPst(ap, actionNames[i], atomNames[i + 1], true);
  }
  StateClear(&a.m_currentState[nr]);
  for (int i = 0; i <= length; ++i) StateSet(ap, &a.m_currentState[nr], atomNames[i], i == 0);
  AskFor(a, nr, atomNames[length]);
}

// Many independent switches and an atom nothing sets: the search explores until it gives up,
// which keeps the worker busy for a while.
inline void RequestSlowPlan(Actors& a, int nr) {
  static char atomNames[24][8];
  static char actionNames[24][8];
  for (int i = 0; i < 24; ++i) {
    snprintf(atomNames[i], sizeof(atomNames[i]), "s%d", i);
    snprintf(actionNames[i], sizeof(actionNames[i]), "flip%d", i);
  }
  ActionPlanner* ap = &a.m_planners[nr];
  PlannerClear(ap);
  for (int i = 0; i < 24; ++i) PlannerSetPst(ap, actionNames[i], atomNames[i], true);
  StateClear(&a.m_currentState[nr]);
  for (int i = 0; i < 24; ++i) StateSet(ap, &a.m_currentState[nr], atomNames[i], false);
  StateSet(ap, &a.m_currentState[nr], "never", false);
  AskFor(a, nr, "never");
}

// Polls the condition every millisecond until it holds or the seconds run out.
inline bool PollUntil(const std::function<bool()>& condition, double seconds = 20.0) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Runs a call that may block (a join) on a helper thread and waits for it with a deadline. A
// call that never returns cannot be recovered from, so the test program ends with a message.
inline void RunBounded(const std::function<void()>& call, double seconds = 20.0) {
  std::atomic<bool> finished{false};
  std::thread helper([&] {
    call();
    finished.store(true);
  });
  if (!PollUntil([&] { return finished.load(); }, seconds)) {
    fprintf(stderr, "blocking call did not return within %.0f s\n", seconds);
    std::_Exit(3);
  }
  helper.join();
}

// Waits until the answer of the request with the service is taken in.
inline bool WaitForAnswer(Actors& a, double seconds = 20.0) {
  return PollUntil([&] { return a.ReapPlanRequest() || !a.m_planInFlight; }, seconds);
}

// While alive, every simulation step waits (bounded) for the plan and path searches it handed over, so what a
// number of frames reaches does not depend on how soon the service threads get the processor.
class Lockstep {
 public:
  Lockstep() : m_before(SimLockstep()) { SimLockstepSet(c_lockstepBound); }
  ~Lockstep() { SimLockstepSet(m_before); }
  Lockstep(const Lockstep&) = delete;
  Lockstep& operator=(const Lockstep&) = delete;

 private:
  double m_before;
};
