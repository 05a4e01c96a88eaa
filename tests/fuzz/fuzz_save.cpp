// Fuzzes the save loader. An input that starts with the save's magic is a whole save file; any
// other input is a list of patches on a small generated world's save (offset, length, bytes; a
// first byte with the top bit set also cuts the file short), which keeps the seeds tiny. A save
// that is accepted must run, save and load again.
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_world.h"

namespace {

std::vector<uint8_t> baseBytes;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::MakeBaseWorld();
  fuzz::StartServices();
  FileHandle f = FileOpenRead(fuzz::c_baseSave, true);
  baseBytes.resize(FileSize(f));
  if (baseBytes.empty() || FileRead(f, baseBytes.data(), baseBytes.size()) != baseBytes.size()) abort();
  FileClose(f);
  fprintf(stderr, "fuzz: the base save has %zu bytes\n", baseBytes.size());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 4 && !memcmp(data, SAVEMAGIC, 4)) {
    fuzz::WriteFile("fuzz.dat", true, data, size);
  } else {
    std::vector<uint8_t> file = baseBytes;
    fuzz::Input in{data, size};
    const uint8_t mode = in.Byte();
    const uint32_t cut = in.U32();
    while (in.size) {
      // Patches land anywhere; the offsets are scaled so that most of them hit the header and
      // the small parts near the front, where the counts live.
      const uint32_t raw = in.U32();
      const size_t at = (raw & 0x80000000u) ? (raw & 0x7fffffffu) % file.size() : (raw & 0xffffu) % file.size();
      const size_t len = in.Byte() % 16;
      for (size_t i = 0; i < len && at + i < file.size(); ++i) file[at + i] = in.Byte();
    }
    if (mode & 0x80) file.resize(cut % file.size());
    fuzz::WriteFile("fuzz.dat", true, file.data(), file.size());
  }
  fuzz::ResetSimulation();
  // A damaged save trips the assertions of its transfers as it is refused.
  ++fuzz::assertsAllowed;
  Wld* world = SaveGameLoad("fuzz.dat");
  --fuzz::assertsAllowed;
  if (!world) return 0;
  Wld* const previous = wld;
  wld = world;
  static Packet outbox;
  outbox.Empty();
  WldOutboxSet(&outbox, world);
  world->Post("intro ended=1");
  for (int i = 0; i < 10; ++i) {
    SimFrame(&outbox, 4, c_simStep, world);
    fuzz::DrainOutbox();
  }
  // Saved as the game saves at shut-down: after the services let go of the world.
  world->ReleaseServices();
  fuzz::SaveAndReload(world, "again.dat");
  wld = previous;
  delete world;
  return 0;
}
