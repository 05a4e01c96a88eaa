// Whole simulation frames of a busy world on every planet size, one "name value unit" line per figure.
//
// Busy means what a game looks like an hour in: every character freed and given work, construction
// sites and storages staked around the camp, material lying about and the tutorial past its start.
// The frames run at the fast-forward rate (72 steps), with both services running.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "bench_util.h"
#include "utility/message.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/actors_planning.h"
#include "world/actors/goal_choose.h"
#include "world/planet/terraform.h"
#include "world/planet/worldgen.h"
#include "world/save/save.h"
#include "world/sim/sim_frame.h"
#include "world/wld.h"

using bench::CpuUs;
using bench::Loud;
using bench::Median;
using bench::NowUs;
using bench::Quiet;

namespace {

double ProcessCpuUs() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

// Frees and assigns every character, stakes sites and storages near the camp and scatters
// material, as a player would have after a while.
void MakeBusy(Wld* w) {
  Actors& a = w->actors;
  Globe& g = w->globe;
  const int player = a.FindPlayer();
  for (int n = 0; n < a.m_cnt; ++n) {
    a.m_stat[n] &= ~static_cast<uint64_t>(ST_PRISONER);
    a.m_stat[n] |= ST_ACTIVE;
    if (n != player) a.m_assi[n] = n % 5;  // lumber, stone, trees, building, feeding
  }
  const int centre = player >= 0 ? a.m_loca[player] : 0;
  int tiles[64];
  const float h = g.m_hexw > 0.0f ? g.m_hexw : 1.0f;
  const int found = g.RandomTiles(64, tiles, centre, 2.0f * h, 14.0f * h, AT_URBAN | AT_CAGE | AT_COAST);
  const char* kinds[3] = {"plconstruction", "dkconstruction1", "brconstruction"};
  const uint64_t bits[3] = {AT_STONECONSTRUCTION | AT_ROADCONSTRUCTION, AT_WOODCONSTRUCTION | AT_DECKCONSTRUCTION,
                            AT_WOODCONSTRUCTION | AT_STONECONSTRUCTION | AT_FACTCONSTRUCTION};
  for (int i = 0; i < found; ++i) {
    const int t = tiles[i];
    if (g.m_nodes[t].type != TP_LAND || w->trees.IsBlocked(t, -1) || w->rocks.IsBlocked(t, -1)) continue;
    if (i % 8 == 0) {
      w->buildings.Add("storage", t, AT_STORAGE);
    } else if (i % 3 == 0) {
      w->buildings.Add(kinds[i % 3], t, bits[(i / 3) % 3]);
    } else {
      w->items.Add(i % 2 ? "stone" : "lumber", t, IS_MATERIAL);
    }
  }
}

struct Figures {
  int tiles = 0;
  double createMs = 0;
  double stepsPerSecond = 0, stepsPerCpuSecond = 0;
  double frameMedianMs = 0, frameWorstMs = 0, frameWorstCpuMs = 0;
  double waitShare = 0;
  double serviceShare = 0;
  double requestsPerSecond = 0;
  double requestUs = 0;
  double tutorUs = 0;
  double demandGoalUs = 0;
  double saveMs = 0, loadMs = 0;
  int items = 0, buildings = 0;
};

int64_t PlanSerials(const Actors& a) {
  int64_t s = 0;
  for (int n = 0; n < a.m_cnt; ++n) s += a.m_planSerial[n];
  return s;
}

bool RunSize(int param, int frames, Figures* f) {
  CustomParamsReset();
  customParamValues[0] = param;
  WorldRngReset();
  const double c0 = NowUs();
  Wld* w = TerraformNewWorld("Bench");
  if (!w) return false;
  if (w->Generate(customParamValues[4]) != WG_OK) {
    delete w;
    return false;
  }
  f->createMs = (NowUs() - c0) / 1e3;
  f->tiles = w->globe.m_sz;

  Wld* const previous = wld;
  wld = w;
  static Packet outbox;
  outbox.Empty();
  WldOutboxSet(&outbox, w);
  MailboxReset();
  SimFrameReset();
  static Packet in;
  auto drain = [&] {
    while (MailboxReceive(c_mailboxVis, &in)) in.Empty();
  };

  // The player lands first, then the world gets busy and the tutorial waits for a freeing.
  for (int i = 0; i < 60; ++i) SimFrame(&outbox, 16, c_simStep, w), drain();
  MakeBusy(w);
  w->tutor.m_stage = 3;
  for (int i = 0; i < 100; ++i) SimFrame(&outbox, 72, c_simStep, w), drain();
  w->tutor.m_stage = std::min(w->tutor.m_stage, 3);

  std::vector<double> frameMs;
  int64_t waiting = 0, counted = 0;
  const int64_t serial0 = PlanSerials(w->actors);
  const double wall0 = NowUs(), main0 = CpuUs(), proc0 = ProcessCpuUs();
  for (int i = 0; i < frames; ++i) {
    const double t0 = NowUs(), cpu0 = CpuUs();
    SimFrame(&outbox, 72, c_simStep, w);
    frameMs.push_back((NowUs() - t0) / 1e3);
    f->frameWorstCpuMs = std::max(f->frameWorstCpuMs, (CpuUs() - cpu0) / 1e3);
    drain();
    const Actors& a = w->actors;
    for (int n = 0; n < a.m_cnt; ++n) {
      if (!(a.m_stat[n] & ST_ACTIVE) || (a.m_stat[n] & ST_CHOSEN)) continue;
      ++counted;
      waiting += a.m_planRequested[n] != 0;
    }
  }
  const double wall = NowUs() - wall0, mainCpu = CpuUs() - main0, procCpu = ProcessCpuUs() - proc0;
  f->stepsPerSecond = frames * 72.0 / (wall / 1e6);
  f->stepsPerCpuSecond = frames * 72.0 / (mainCpu / 1e6);
  f->frameMedianMs = Median(frameMs);
  f->frameWorstMs = *std::max_element(frameMs.begin(), frameMs.end());
  f->waitShare = counted ? static_cast<double>(waiting) / counted : 0.0;
  f->serviceShare = (procCpu - mainCpu) / wall;
  f->requestsPerSecond = static_cast<double>(PlanSerials(w->actors) - serial0) / (wall / 1e6);
  f->items = w->items.m_cnt;
  f->buildings = w->buildings.m_cnt;

  // Services let go of the world before requests are built by hand and the world is saved.
  w->ReleaseServices();
  Actors& a = w->actors;
  int who = -1;
  for (int n = 0; n < a.m_cnt && who < 0; ++n)
    if ((a.m_stat[n] & ST_ACTIVE) && !(a.m_stat[n] & ST_CHOSEN) && !a.m_planRequested[n]) who = n;
  if (who >= 0) {
    const char* atom[] = {"havelumber"};
    const bool yes[] = {true};
    std::vector<double> us;
    for (int i = 0; i < 200; ++i) {
      const double t0 = NowUs();
      a.SetGoal(who, 1, atom, yes);
      us.push_back(NowUs() - t0);
      a.m_planRequested[who] = 0;
    }
    f->requestUs = Median(us);
  }

  // The tutorial's own work in a frame, while it waits for the player to free someone (it then
  // looks at the player's possible actions every frame).
  {
    std::vector<double> us;
    for (int i = 0; i < 200; ++i) {
      w->tutor.m_stage = 3;
      const double t0 = NowUs();
      w->tutor.Update(0.0);
      us.push_back(NowUs() - t0);
    }
    f->tutorUs = Median(us);
  }
  // Demand and goal choice of one step with a full item table and every character hungry.
  {
    for (int t = 1; w->items.m_cnt < MAXITEMS - 8 && t < w->globe.m_sz; t += 3) w->items.Add("woodaxe", t, IS_TOOL);
    for (int n = 0; n < a.m_cnt; ++n) a.m_timeSinceEating[n] = 1000.0f;
    std::vector<double> us;
    volatile int sink = 0;
    for (int i = 0; i < 200; ++i) {
      const double t0 = NowUs();
      w->demand.Update();
      for (int n = 0; n < a.m_cnt; ++n) {
        GoalFact goal;
        for (int assignment = 0; assignment < NUMASSIGNMENTS; ++assignment)
          if (GoalPick(*w, n, assignment, &goal)) sink = sink + 1;
      }
      us.push_back(NowUs() - t0);
    }
    f->demandGoalUs = Median(us);
  }

  double t0 = NowUs();
  const bool saved = SaveGameWrite(w, SAVEFILENAME);
  f->saveMs = (NowUs() - t0) / 1e3;
  wld = previous;
  delete w;
  MailboxReset();
  t0 = NowUs();
  Wld* loaded = saved ? SaveGameLoad(SAVEFILENAME) : nullptr;
  f->loadMs = (NowUs() - t0) / 1e3;
  delete loaded;
  return saved && loaded;
}

}  // namespace

int main(int argc, char** argv) {
  char userDir[] = "/tmp/quillomar-busy-bench-XXXXXX";
  if (!bench::UseTempFolders(userDir)) return 1;
  // One size (its customisation value, 2 to 5) and the frames measured can be asked for on the
  // command line, for a profiler's shorter run.
  const int only = argc > 1 ? atoi(argv[1]) : -1;
  const int frames = argc > 2 && atoi(argv[2]) > 0 ? atoi(argv[2]) : 200;
  Quiet();
  const bool services = PlanningServiceStart() && PathingServiceStart();
  Loud();
  if (!services) {
    fprintf(stderr, "the planning and pathing services did not start\n");
    return 1;
  }
  int failed = 0;
  for (int param = 2; param <= 5; ++param) {
    if (only >= 0 && param != only) continue;
    Figures f;
    Quiet();
    const bool ok = RunSize(param, frames, &f);
    Loud();
    char name[32];
    snprintf(name, sizeof(name), "busy_%d", f.tiles);
    if (!ok) {
      printf("%s_failed 1 count\n", name);
      ++failed;
      continue;
    }
    printf("%s_world_creation %.1f ms\n", name, f.createMs);
    printf("%s_steps_per_second %.0f steps/s\n", name, f.stepsPerSecond);
    printf("%s_steps_per_cpu_second %.0f steps/s\n", name, f.stepsPerCpuSecond);
    printf("%s_frame72_median %.2f ms\n", name, f.frameMedianMs);
    printf("%s_frame72_worst %.2f ms\n", name, f.frameWorstMs);
    // The same frame's processor time: on a shared machine the wall time also holds waits for a core.
    printf("%s_frame72_worst_cpu %.2f ms\n", name, f.frameWorstCpuMs);
    printf("%s_waiting_for_plan_share %.3f ratio\n", name, f.waitShare);
    printf("%s_service_threads_busy_share %.3f ratio\n", name, f.serviceShare);
    printf("%s_plan_requests_per_second %.0f requests/s\n", name, f.requestsPerSecond);
    printf("%s_plan_request_build %.1f us\n", name, f.requestUs);
    printf("%s_tutor_update %.2f us\n", name, f.tutorUs);
    printf("%s_demand_and_goals_full_table_step %.1f us\n", name, f.demandGoalUs);
    printf("%s_save %.1f ms\n", name, f.saveMs);
    printf("%s_load %.1f ms\n", name, f.loadMs);
    printf("%s_items %d count\n", name, f.items);
    printf("%s_buildings %d count\n", name, f.buildings);
  }
  Quiet();
  PathingServiceStop();
  PlanningServiceStop();
  Loud();
  std::error_code ec;
  std::filesystem::remove_all(userDir, ec);
  return failed ? 1 : 0;
}
