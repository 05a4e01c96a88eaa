// Fuzzes the planet dump conversion: any dump text is refused or becomes a topology and a mesh that
// load into a globe, as a new game loads them.
#include <vector>

#include "fuzz_support.h"
#include "world/planet/globe.h"
#include "world/planet/terraform.h"
#include "world/wld.h"

namespace {

struct DumpRefused {};

[[noreturn]] void ThrowRefused() { throw DumpRefused(); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The dump is read from the data folder: here the private folder serves as both.
  fuzz::SetUpFolders(false);
  planetDumpFaultHook = ThrowRefused;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::WriteFile("fuzz.dump", false, data, size);
  static const OverrideLine overrides[2] = {"variant=3\n", ""};
  try {
    if (PlanetDumpRead("fuzz.dump", "custom.geo", "custom.top", overrides) != 0) abort();
  } catch (const DumpRefused&) {
    return 0;
  }
  // What the conversion wrote must load without complaint.
  Wld world("Fuzz");
  if (world.LoadTopology("custom.top") < 0) abort();
  std::vector<Matrix44> trfs(world.globe.m_sz);
  if (TileTransformsLoad(world.globe, "custom.geo", true, trfs.data()) < 0) abort();
  world.globe.SetTileTransforms(trfs.data());
  world.globe.ComputeAttribs();
  return 0;
}
