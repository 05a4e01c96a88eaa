// World generation over every planet size and variant: outcomes per size and generation times.
#include <string.h>

#include <cstdio>

#include "bench_util.h"
#include "world/planet/globe.h"
#include "world/planet/terraform.h"
#include "world/planet/worldgen.h"
#include "world/wld.h"

// Generation logs a line per continent and chest; Quiet keeps that out of the figures.
using bench::Loud;
using bench::NowMs;
using bench::Quiet;

namespace {

void ParamSet(const char* name, int value) {
  for (int i = 0; i < NUMCUSTOMPARAMS; ++i)
    if (!strcmp(customParamNames[i], name)) customParamValues[i] = value;
}

}  // namespace

int main() {
  char userDir[] = "/tmp/worldgen_bench_XXXXXX";
  if (!bench::UseTempFolders(userDir)) return 1;

  double total = 0.0;
  for (int size = 0; size <= 5; ++size) {
    int ok = 0, outcomes[8] = {};
    double most = 0.0, sum = 0.0;
    char okList[128] = "";
    for (int variant = 0; variant < 24; ++variant) {
      CustomParamsReset();
      ParamSet("Planet Size", size);
      ParamSet("Random Variant", variant);
      Quiet();
      Wld* world = TerraformNewWorld("Bench");
      WorldRngReset();
      const double t0 = NowMs();
      const int r = world ? world->Generate(variant) : WG_BADWORLD;
      const double ms = NowMs() - t0;
      delete world;
      Loud();
      sum += ms;
      if (ms > most) most = ms;
      ++outcomes[-r];
      if (r == WG_OK) {
        ++ok;
        snprintf(okList + strlen(okList), sizeof(okList) - strlen(okList), "%s%d", okList[0] ? "," : "", variant);
      }
    }
    total += sum;
    printf("worldgen_size%d_generated %d variants\n", size, ok);
    for (int k = 1; k < 8; ++k)
      if (outcomes[k]) printf("worldgen_size%d_refused_code%d %d variants\n", size, -k, outcomes[k]);
    printf("worldgen_size%d_ok_variants %s list\n", size, okList[0] ? okList : "none");
    printf("worldgen_size%d_mean %.2f ms\n", size, sum / 24.0);
    printf("worldgen_size%d_max %.2f ms\n", size, most);
  }
  printf("worldgen_all_sizes_all_variants %.1f ms\n", total);
  return 0;
}
