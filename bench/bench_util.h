// Shared pieces of the benchmark programs: clocks, medians, a silenced standard output and a temporary user folder.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "system/file.h"

namespace bench {

// The log writes every line to standard output; Quiet sends it to nowhere (the work still pays for
// writing it) so only the figures are printed. Calls pair up with Loud and do not nest.
inline int savedStdout = -1;
inline void Quiet() {
  fflush(stdout);
  savedStdout = dup(1);
  const int devnull = open("/dev/null", O_WRONLY);
  dup2(devnull, 1);
  close(devnull);
}
inline void Loud() {
  fflush(stdout);
  dup2(savedStdout, 1);
  close(savedStdout);
}

// Wall clock readings from the steady clock.
inline double NowNs() {
  return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
inline double NowUs() {
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
inline double NowMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The thread's own processor time: on a busy machine it leaves out the time spent waiting for a core.
inline double CpuUs() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

// The value below which `percent` of the samples lie (the upper middle one for 50); 0 for no samples.
inline double Percentile(std::vector<double> v, int percent) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, v.size() * percent / 100)];
}
inline double Median(const std::vector<double>& v) { return Percentile(v, 50); }

// Median microseconds per call of fn over rounds of `steps` calls.
template <typename Fn>
double PerStepUs(int rounds, int steps, Fn fn) {
  std::vector<double> per;
  for (int r = 0; r < rounds; ++r) {
    const double t0 = NowUs();
    for (int s = 0; s < steps; ++s) fn();
    per.push_back((NowUs() - t0) / steps);
  }
  return Median(per);
}

// Makes a fresh user folder from the mkdtemp pattern (changed in place) and points the game's
// folders at it and at QUILLOMAR_DATA_DIR (or the current folder, where the build keeps the data).
inline bool UseTempFolders(char* pattern) {
  if (!mkdtemp(pattern)) return false;
  const char* data = getenv("QUILLOMAR_DATA_DIR");
  return FoldersSet(pattern, data && *data ? data : ".");
}

}  // namespace bench
