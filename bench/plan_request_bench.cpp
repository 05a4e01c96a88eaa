// Plan request timings with the game's domain: building a request, the per-step repeat of a held goal, and a service
// round trip.
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "bench_util.h"
#include "tests/world/strip_world.h"
#include "world/actors/actors.h"
#include "world/actors/actors_planning.h"
#include "world/parts/items.h"
#include "world/wld.h"

// The log writes every line to standard output; Quiet keeps it out of the figures.
using bench::Loud;
using bench::Quiet;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main() {
  Quiet();
  auto world = StripWorld(2562, "Bench");
  Actors& a = world->actors;
  a.Add("Gahk", 10);
  world->items.Add("woodaxe", 40, IS_TOOL);
  world->items.Add("lumber", 80, IS_MATERIAL);
  world->globe.UpdateOccupancy();
  const char* atom[] = {"havelumber"};
  const bool yes[] = {true};
  const bool no[] = {false};

  const int rounds = 200;
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) {
    a.SetGoal(0, 1, atom, yes);
    a.m_planRequested[0] = 0;
  }
  const double request = Seconds(t0) / rounds;

  t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) a.SetGoal(0, 1, atom, no);
  const double held = Seconds(t0) / rounds;

  PlanningServiceStart();
  const int trips = 20;
  int answered = 0;
  t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < trips; ++i) {
    a.SetGoal(0, 1, atom, yes);
    if (a.QueuePlanRequest(0.0f) < 0) continue;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!a.ReapPlanRequest() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    if (a.CollectPlan(0) != -1 || a.m_planSize[0] != 0) ++answered;
    a.AbandonPlan(0);
    a.m_replanDelay[0] = 0.0f;
  }
  const double trip = Seconds(t0) / trips;
  PlanningServiceStop();
  Loud();

  printf("plan_request_build %.1f us\n", request * 1e6);
  printf("plan_request_goal_held %.1f us\n", held * 1e6);
  printf("plan_service_round_trip %.2f ms\n", trip * 1e3);
  printf("plan_service_answered %d count\n", answered);
  return 0;
}
