// Whole simulation frames through the headless runner, one "name value unit" line per figure.
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "bench_util.h"
#include "world/driver/headless_run.h"

using bench::Loud;
using bench::Quiet;

namespace {

// Simulated seconds on a planet size at 4 steps per frame; wall seconds, or -1 when it failed.
double Time(int size, double seconds, HeadlessResult* r) {
  HeadlessOptions o;
  HeadlessOptionsDefault(&o);
  o.params[0] = size;
  o.seconds = seconds;
  o.stepsPerFrame = 4;
  Quiet();  // the run's log would drown the figures; it still gets written, to nowhere
  const auto t0 = std::chrono::steady_clock::now();
  const int rc = HeadlessRun(o, r);
  const auto t1 = std::chrono::steady_clock::now();
  Loud();
  if (rc != 0) return -1.0;
  return std::chrono::duration<double>(t1 - t0).count();
}

}  // namespace

int main() {
  char userDir[] = "/tmp/quillomar-frame-bench-XXXXXX";
  if (!bench::UseTempFolders(userDir)) return 1;
  struct Case {
    const char* name;
    int size;
  } cases[] = {{"frame_272_tiles", 1}, {"frame_7292_tiles", 4}};
  int failed = 0;
  for (const Case& c : cases) {
    HeadlessResult r;
    // The wall time includes making and generating the world, so it is taken over ten minutes
    // of simulated time, where the steps dominate.
    const double wall = Time(c.size, 600.0, &r);
    if (wall < 0.0 || r.steps <= 0) {
      printf("%s_failed 1 count\n", c.name);
      ++failed;
      continue;
    }
    printf("%s_step_time %.2f us\n", c.name, wall * 1e6 / static_cast<double>(r.steps));
    printf("%s_realtime_factor %.1f x\n", c.name, r.age / wall);
  }
  std::error_code ec;
  std::filesystem::remove_all(userDir, ec);
  return failed ? 1 : 0;
}
