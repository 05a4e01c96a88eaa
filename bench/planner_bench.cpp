// Plan search timings on synthetic domains, one "name value unit" line per figure.
#include <cstdio>
#include <vector>

#include "bench_util.h"
#include "quarnplan256/astar.h"

// The search logs a line per plan and prints set statistics; Quiet keeps that out of the
// figures while still paying for it, as the game does.
using bench::CpuUs;
using bench::Loud;
using bench::NowUs;
using bench::Percentile;
using bench::Quiet;

namespace {

// Names must outlive the planner.
char names[512][16];
int namesUsed = 0;
const char* Name(const char* prefix, int i) {
  char* n = names[namesUsed++ % 512];
  snprintf(n, 16, "%s%d", prefix, i);
  return n;
}

ActionPlanner planner;
WorldState start, goal;
const char* plan[32];
WorldState states[32];

struct Figures {
  double median, p99;
  double cpuMedian;  // this thread's processor time: the machine may be busy with other work
  int opened, closed, cost, size;
};

Figures Measure(int runs) {
  std::vector<double> us, cpu;
  Figures fig = {};
  Quiet();
  for (int r = 0; r < runs; ++r) {
    int size = 32;
    const double c0 = CpuUs(), t0 = NowUs();
    fig.cost = PlanSearch(&planner, start, goal, plan, states, &size);
    const double t1 = NowUs(), c1 = CpuUs();
    us.push_back(t1 - t0);
    cpu.push_back(c1 - c0);
    fig.size = size;
  }
  Loud();
  fig.opened = NodeSetCounters(OPENSET).insertions;
  fig.closed = NodeSetCounters(CLOSEDSET).insertions;
  fig.median = Percentile(us, 50);
  fig.p99 = Percentile(us, 99);
  fig.cpuMedian = Percentile(cpu, 50);
  return fig;
}

void Report(const char* name, const Figures& f) {
  printf("%s_median %.2f us\n", name, f.median);
  printf("%s_p99 %.2f us\n", name, f.p99);
  printf("%s_cpu_median %.2f us\n", name, f.cpuMedian);
  printf("%s_opened %d nodes\n", name, f.opened);
  printf("%s_closed %d nodes\n", name, f.closed);
  printf("%s_plan %d steps\n", name, f.size);
}

void Reset() {
  namesUsed = 0;
  PlannerClear(&planner);
  StateClear(&start);
  StateClear(&goal);
}

// n atoms each with an on and an off action; all start false and the goal wants all true.
void Toggles(int n) {
  Reset();
  for (int i = 0; i < n; ++i) {
    const char* atom = Name("t", i);
    PlannerSetPst(&planner, Name("on", i), atom, true);
    PlannerSetPst(&planner, Name("off", i), atom, false);
    StateSet(&planner, &start, atom, false);
    StateSet(&planner, &goal, atom, true);
  }
}

// A chain of `steps` actions, each needing the previous link, among distractor actions
// that each set an atom of their own: `actions` actions in all.
void Chain(int steps, int actions) {
  Reset();
  StateSet(&planner, &start, Name("c", 0), true);
  for (int i = 0; i < steps; ++i) {
    const char* act = Name("link", i);
    PlannerSetPre(&planner, act, Name("c", i), true);
    PlannerSetPst(&planner, act, Name("c", i + 1), true);
    StateSet(&planner, &start, Name("c", i + 1), false);
    StateSet(&planner, &goal, Name("c", i + 1), true);
  }
  for (int i = steps; i < actions; ++i) {
    const char* atom = Name("d", i);
    PlannerSetPst(&planner, Name("noise", i), atom, true);
    StateSet(&planner, &start, atom, false);
  }
}

}  // namespace

int main() {
  PlanSearchReset();
  // The fixed cost of a search: the start already matches the goal.
  Reset();
  StateSet(&planner, &start, "done", true);
  StateSet(&planner, &goal, "done", true);
  Figures f = Measure(2001);
  printf("fixed_per_search_median %.3f us\n", f.median);
  printf("fixed_per_search_p99 %.3f us\n", f.p99);
  printf("fixed_per_search_cpu_median %.3f us\n", f.cpuMedian);

  for (int n = 8; n <= 15; ++n) {
    Toggles(n);
    char name[32];
    snprintf(name, sizeof(name), "toggles%d", n);
    Report(name, Measure(501));
  }
  Chain(10, 100);
  Report("chain10_actions100", Measure(501));
  Chain(30, 160);
  Report("chain30_actions160", Measure(201));

  // An unreachable goal: 16 toggles span 65536 states and the closed set fills up.
  Toggles(16);
  StateClear(&goal);
  StateSet(&planner, &goal, "unreachable", true);
  f = Measure(21);
  Report("unreachable16", f);
  return 0;
}
