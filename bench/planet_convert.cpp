// Measures converting each planet size from its dump and loading the topology, printing "name value unit" lines.
#include <chrono>
#include <cstdio>
#include <string>

#include "bench_util.h"
#include "system/file.h"
#include "utility/log.h"
#include "world/planet/terraform.h"
#include "world/wld.h"

static void QuietLog(const char*, ...) {}

int main() {
  FixedString user, data;
  if (!UserFolderResolve(&user) || !DataFolderResolve(&data) || !FoldersSet(user.c_str(), data.c_str())) return 1;
  // Benchmarks print only their figures: the conversion's log lines go nowhere meanwhile.
  bench::Quiet();
  consoleHook = QuietLog;
  std::string figures;
  char line[128];
  static const char* const names[6] = {"microscopic", "miniscule", "small", "medium", "large", "jumbo"};
  for (int size = 0; size < 6; ++size) {
    const auto t0 = std::chrono::steady_clock::now();
    TerraformWrite(size, 2, 7, 1, 2);
    const auto t1 = std::chrono::steady_clock::now();
    Wld* world = new Wld("Bench");
    const int sz = world->LoadTopology("custom.top");
    const auto t2 = std::chrono::steady_clock::now();
    snprintf(line, sizeof(line), "planet_convert_%s %.2f ms\n", names[size],
             std::chrono::duration<double, std::milli>(t1 - t0).count());
    figures += line;
    snprintf(line, sizeof(line), "planet_load_%s %.2f ms\n", names[size],
             std::chrono::duration<double, std::milli>(t2 - t1).count());
    figures += line;
    snprintf(line, sizeof(line), "planet_continents_%s %d count\n", names[size], world->globe.m_numcontinents);
    figures += line;
    delete world;
    if (sz <= 0) break;
  }
  bench::Loud();
  fputs(figures.c_str(), stdout);
  return 0;
}
