// Crash-report costs: reading the program's symbols at start-up, its memory, a walk of a stack and
// the guarded frame's own cost; one "name value unit" line per figure.
#include <cstdio>

#include "bench_util.h"
#include "game/crash_guard.h"
#include "system/stack_walker.h"
#include "system/symbol_index.h"

using bench::NowNs;

namespace {

// A walk that counts its lines instead of printing them.
class CountingWalker : public StackWalker {
 public:
  CountingWalker() : StackWalker(0x13, nullptr) {}
  int lines = 0;
  void OnText(const char*) override { ++lines; }
};

bool Nothing(void* data) { return data != nullptr; }

}  // namespace

int main() {
  double start = NowNs();
  if (!SymbolIndexLoad()) return 1;
  printf("symbol_index_load %.1f ms\n", (NowNs() - start) / 1e6);
  const SymbolIndexSize size = SymbolIndexSizeGet();
  printf("symbol_index_functions %zu count\n", size.functions);
  printf("symbol_index_line_rows %zu count\n", size.lines);
  printf("symbol_index_memory %.1f KiB\n", size.bytes / 1024.0);

  const int walks = 2000;
  int lines = 0;
  start = NowNs();
  for (int i = 0; i < walks; ++i) {
    CountingWalker w;
    w.WalkStack();
    lines += w.lines;
  }
  printf("stack_walk %.1f us\n", (NowNs() - start) / walks / 1e3);
  printf("stack_walk_lines %.1f count\n", static_cast<double>(lines) / walks);

  CrashGuardInstall();
  const int frames = 200000;
  int ok = 0;
  start = NowNs();
  for (int i = 0; i < frames; ++i) ok += CrashGuardRun(Nothing, &ok);
  printf("guarded_call_overhead %.1f ns\n", (NowNs() - start) / frames);
  return ok == frames ? 0 : 1;
}
