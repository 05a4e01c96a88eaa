// Frames a second of the real game frame (simulation steps, then the visualisation) in a 1280x720 window, along a fixed
// camera path. Run it under tools/with_display.sh; without a display it prints one line saying so and exits 0.
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_util.h"
#include "game/shell.h"
#include "tools/shot_world.h"

using bench::Loud;
using bench::Quiet;

namespace {

// One stop of the camera path: the planet camera over the player's character.
struct View {
  const char* name;
  float zoom;
  float tilt;
};
// Where a new game looks first (close and tilted toward the horizon), half way out, and the
// whole planet from the farthest zoom.
constexpr View c_views[] = {{"landing", c_zoomMin, 0.6f}, {"mid", 0.6f, 0.2f}, {"far", c_zoomMax, 0.0f}};

struct Size {
  int param;  // the customise panel's planet size
  int tiles;
};
constexpr Size c_sizes[] = {{3, 2432}, {4, 7292}, {5, 21872}};

void Aim(Vis* vis, const Wld& world, const View& view) {
  const int tile = world.actors.PlayerLocation();
  CameraLookFrom(&vis->m_camera, world.globe.m_trfs[world.globe.IsValid(tile) ? tile : 0].GetTranslation());
  vis->m_camera.m_zoom = vis->m_camera.m_zoomTarget = view.zoom;
  vis->m_camera.m_tilt = view.tilt;
  vis->m_camFrom = vis->m_camTo = c_camPlanet;
  vis->m_camBlend = 1.0f;
}

// Where a view's frames went: the main thread's processor time, the wall time of the simulation
// and of the visualisation (drawing included: the swap waits for the rasteriser), and the steps.
// The page faults count the memory the main thread's allocations took from the system and gave back.
struct Split {
  double cpuMs = 0.0, simMs = 0.0, visMs = 0.0;
  int steps = 0;
  long faults = 0;
};

long MainThreadFaults() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_minflt + usage.ru_majflt;
}

// One frame as the game's loop runs it: the steps the last frame's length asks for, then the
// visualisation. Not inlined, so that a profiler can count this function alone
// (valgrind --toggle-collect='*GameFrame*').
[[gnu::noinline]] bool GameFrame(Vis* vis, Wld* world, Packet* outbox, double* lastSeconds, Split* split) {
  const int steps = ShellFrameSteps(*lastSeconds, false);
  const double t0 = bench::NowMs(), c0 = bench::CpuUs();
  const long faults = MainThreadFaults();
  SimFrame(outbox, steps, static_cast<float>(c_shellStepSeconds), world);
  const double t1 = bench::NowMs();
  const bool ok = VisFrame(vis, static_cast<float>(*lastSeconds), steps, static_cast<float>(c_shellStepSeconds), world);
  const double t2 = bench::NowMs();
  split->cpuMs += (bench::CpuUs() - c0) / 1000.0;
  split->simMs += t1 - t0;
  split->visMs += t2 - t1;
  split->steps += steps;
  split->faults += MainThreadFaults() - faults;
  *lastSeconds = (t2 - t0) / 1000.0;
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  // --no-cull draws everything, for the figures before culling; --frames N per view; --tiles N
  // and --view NAME run one planet or one view of the path.
  bool cull = true;
  int frames = 30;
  int onlyTiles = 0;
  double warmup = 20.0;  // --warmup SECONDS of the game before the path (shorter under a profiler)
  const char* onlyView = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--view") && i + 1 < argc) onlyView = argv[++i];
    if (!strcmp(argv[i], "--warmup") && i + 1 < argc) warmup = std::max(0.0, atof(argv[++i]));
    if (!strcmp(argv[i], "--no-cull")) cull = false;
    if (!strcmp(argv[i], "--frames") && i + 1 < argc) frames = std::max(1, atoi(argv[++i]));
    if (!strcmp(argv[i], "--tiles") && i + 1 < argc) onlyTiles = atoi(argv[++i]);
  }
  const char* display = getenv("DISPLAY");
  if (!display || !display[0]) {
    printf("fps_bench_skipped 1 flag\n");
    return 0;
  }
  std::string user;
  Quiet();
  const bool open = ShotWindowOpen("fps-bench", 1280, 720, &user);
  Loud();
  if (!open) {
    printf("fps_bench_no_window 1 flag\n");
    return 1;
  }
  int failed = 0;
  {
    Quiet();
    Vis vis;
    Loud();
    vis.m_cullHidden = cull;
    const char* suffix = cull ? "" : "_nocull";
    static Packet outbox;
    for (const Size& size : c_sizes) {
      if (onlyTiles && onlyTiles != size.tiles) continue;
      Quiet();
      Wld* world = ShotWorldMake(&vis, "Bench", size.param, 0, &outbox);
      // Twenty seconds of the game first, so the characters have landed and the intro camera
      // has handed over; the path below then owns the camera.
      double last = 1.0 / 60.0;
      const int warmupFrames = static_cast<int>(warmup * 30.0);
      for (int f = 0; world && f < warmupFrames; ++f)
        SimFrame(&outbox, 8, static_cast<float>(c_shellStepSeconds), world);
      Loud();
      if (!world || world->globe.m_sz != size.tiles) {
        printf("fps_%d_tiles_failed 1 flag\n", size.tiles);
        ++failed;
        if (world) ShotWorldFree(&vis, world);
        continue;
      }
      for (const View& view : c_views) {
        if (onlyView && strcmp(onlyView, view.name) != 0) continue;
        Quiet();
        Aim(&vis, *world, view);
        Split split;
        for (int f = 0; f < 5; ++f) GameFrame(&vis, world, &outbox, &last, &split);
        Aim(&vis, *world, view);
        split = Split{};
        const double t0 = bench::NowMs();
        for (int f = 0; f < frames; ++f) GameFrame(&vis, world, &outbox, &last, &split);
        const double wall = bench::NowMs() - t0;
        Loud();
        const char* v = view.name;
        printf("fps_%d_tiles_%s%s %.2f fps\n", size.tiles, v, suffix, frames * 1000.0 / wall);
        printf("main_thread_%d_tiles_%s%s %.2f ms\n", size.tiles, v, suffix, split.cpuMs / frames);
        printf("sim_%d_tiles_%s%s %.2f ms\n", size.tiles, v, suffix, split.simMs / frames);
        printf("vis_%d_tiles_%s%s %.2f ms\n", size.tiles, v, suffix, split.visMs / frames);
        printf("steps_%d_tiles_%s%s %.2f steps\n", size.tiles, v, suffix, static_cast<double>(split.steps) / frames);
        printf("page_faults_%d_tiles_%s%s %.0f faults\n", size.tiles, v, suffix,
               static_cast<double>(split.faults) / frames);
      }
      Quiet();
      ShotWorldFree(&vis, world);
      Loud();
    }
    Quiet();
  }
  ShotWindowClose(user);
  Loud();
  return failed ? 1 : 0;
}
