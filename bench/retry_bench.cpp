// Futile re-planning on a long run: the default planet with every character given an assignment, counting log lines,
// failed plans, failed paths and searches that ran into the state limit per simulated minute. The world runs in
// lockstep with the services, so the counts are the same on every run whatever the machine's load.
#include <stdarg.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench_util.h"
#include "system/file.h"
#include "utility/log.h"
#include "utility/message.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/actors_planning.h"
#include "world/planet/terraform.h"
#include "world/planet/worldgen.h"
#include "world/sim/sim_frame.h"
#include "world/wld.h"

namespace {

struct Counts {
  long lines = 0;
  long planFailures = 0;
  long pathFailures = 0;
  long stateLimit = 0;
  long plansFound = 0;
  long plansCompleted = 0;
};
Counts counts;

bool Has(const char* text, const char* part) { return strstr(text, part) != nullptr; }

void CountLine(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  ++counts.lines;
  if (Has(text, "failed to make a plan")) ++counts.planFailures;
  if (Has(text, "set overflow")) ++counts.stateLimit;
  if (Has(text, "found a plan of cost")) ++counts.plansFound;
  if (Has(text, "completed a plan")) ++counts.plansCompleted;
  if (Has(text, "Could not find a path") || Has(text, "found node")) ++counts.pathFailures;
}

}  // namespace

// Usage: retry_bench [minutes] [planet size 0..5] [variant]
int main(int argc, char** argv) {
  const double minutes = argc > 1 ? atof(argv[1]) : 30.0;
  const int size = argc > 2 ? atoi(argv[2]) : -1;
  const int variant = argc > 3 ? atoi(argv[3]) : -1;
  std::error_code ec;
  const std::string user =
      (std::filesystem::temp_directory_path(ec) / ("quillomar-retry-" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(user, ec);
  FixedString data;
  if (ec || !DataFolderResolve(&data) || !FoldersSet(user.c_str(), data.c_str())) {
    fprintf(stderr, "retry_bench: cannot use the folders '%s' and '%s'\n", user.c_str(), data.c_str());
    return 1;
  }
  CustomParamsReset();
  if (size >= 0) customParamValues[0] = size;
  if (variant >= 0) customParamValues[4] = variant;
  WorldRngReset();
  if (!getenv("RETRY_LOUD")) bench::Quiet();
  Wld* world = TerraformNewWorld("Bench");
  if (!world || world->Generate(customParamValues[4]) != WG_OK) {
    bench::Loud();
    fprintf(stderr, "retry_bench: no world\n");
    return 1;
  }
  PlanningServiceStart();
  PathingServiceStart();
  // Every prisoner is let out of its cage and every character but the player's gets an assignment,
  // in turn, as a player freeing them and handing out work would.
  Actors& a = world->actors;
  Buildings& b = world->buildings;
  for (int i = 0; i < b.m_cnt; ++i) {
    if (!b.m_name[i].Equals("cage")) continue;
    b.m_name[i].Set("jailbreak");
    world->globe.AttribsClear(b.m_loca[i], AT_CAGE);
  }
  int k = 0;
  for (int n = 0; n < a.m_cnt; ++n) {
    a.m_stat[n] &= ~static_cast<uint64_t>(ST_PRISONER);
    if (!(a.m_stat[n] & ST_CHOSEN)) a.m_assi[n] = k++ % NUMASSIGNMENTS;
  }
  static Packet outbox;
  WldOutboxSet(&outbox, world);
  SimFrameReset();
  SimLockstepSet(c_lockstepBound);
  consoleHook = CountLine;
  const long frames = static_cast<long>(minutes * 60.0 * 240.0 / 4.0);
  const double start = bench::NowMs();
  double waited = 0.0;  // seconds characters stood ready for a plan that the service had not answered yet
  for (long f = 0; f < frames; ++f) {
    outbox.Empty();
    SimFrame(&outbox, 4, c_simStep, world);
    for (int n = 0; n < a.m_cnt; ++n)
      if (a.m_planRequested[n] && !a.m_planDone[n] && a.m_replanDelay[n] <= 0.0f) waited += 4.0 * c_simStep;
    Packet in;
    while (MailboxReceive(c_mailboxVis, &in)) {
    }
  }
  const double wall = bench::NowMs() - start;
  consoleHook = nullptr;
  SimLockstepSet(0.0);
  PathingServiceStop();
  PlanningServiceStop();
  delete world;
  if (!getenv("RETRY_LOUD")) bench::Loud();
  std::filesystem::remove_all(user, ec);
  printf("retry_minutes %.1f min\n", minutes);
  printf("retry_log_lines_per_minute %.1f lines\n", counts.lines / minutes);
  printf("retry_failed_plans_per_minute %.1f plans\n", counts.planFailures / minutes);
  printf("retry_state_limit_searches %ld searches\n", counts.stateLimit);
  printf("retry_failed_paths_per_minute %.1f paths\n", counts.pathFailures / minutes);
  printf("retry_plans_found %ld plans\n", counts.plansFound);
  printf("retry_plans_completed %ld plans\n", counts.plansCompleted);
  printf("retry_plan_wait %.1f s\n", waited);
  printf("retry_wall_time %.1f s\n", wall / 1000.0);
  return 0;
}
