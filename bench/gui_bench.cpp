// GUI frame timing: input, window building and conversion into the fixed buffers with every overlay window open.
#include <imgui.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_util.h"
#include "graphics/ui/overlay.h"
#include "utility/log.h"

namespace {

// Every allocation ImGui makes, counted: once the windows have settled a frame should make none.
long imguiAllocations = 0;
void* CountedAlloc(size_t size, void*) {
  imguiAllocations++;
  return malloc(size);
}
void CountedFree(void* p, void*) { free(p); }

}  // namespace

int main() {
  ImGui::SetAllocatorFunctions(CountedAlloc, CountedFree);
  char pattern[] = "/tmp/quillomar_guibench_XXXXXX";
  if (!bench::UseTempFolders(pattern)) {
    fprintf(stderr, "gui_bench: no temporary folder\n");
    return 1;
  }
  bench::Quiet();
  // Headless: the same building and conversion as the game's frame, into memory instead of
  // the mapped GL buffers, so the figure is the GUI's own processor time.
  Overlay overlay(true);
  overlay.ToggleWindow(Overlay::WIN_CONSOLE);
  overlay.ToggleWindow(Overlay::WIN_OPTIONS);
  overlay.ToggleWindow(Overlay::WIN_DEBUG);
  overlay.GetOptions().m_debugFlags = DF_ALL;
  for (int i = 0; i < 40; i++)
    LogPrint("Console line %d: the planner found a plan of %d steps after %d nodes", i, i % 9, i * 37);
  for (int i = 0; i < 12; i++) LogEvent("Grumbold tells Hilde to procure lumber (%d).", i);
  const char* plan[12] = {"walkto",      "cuttree", "pickuplumber", "walkto",      "dropatsite", "walkto",
                          "pickupstone", "walkto",  "dropatsite",   "buildbridge", "walkto",     "eatfruit"};
  int32_t size = 12, stage = 4;
  overlay.SetActorInfo("Grumbold", plan, 12, &size, &stage);
  FixedString lines[6] = {FixedString("tile 10234"), FixedString("type 2"),        FixedString("height 7"),
                          FixedString("unclaimed"),  FixedString("filledstorage"), FixedString("items 3")};
  int32_t count = 6;
  overlay.SetTileInfo(lines, &count);

  const int warm = 50, frames = 2000;
  std::vector<double> cpu;
  cpu.reserve(frames);
  long allocationsBefore = 0;
  for (int f = 0; f < warm + frames; f++) {
    if (f == warm) allocationsBefore = imguiAllocations;
    double start = bench::CpuUs();
    overlay.InputBegin();
    // The pointer wanders over the console so hover tests and highlights do their work.
    overlay.MouseMotion(static_cast<float>(100 + f % 300), static_cast<float>(50 + f % 200), 1, 1, 0);
    overlay.InputEnd();
    overlay.CountFrame(1.0f / 60.0f);
    overlay.Draw(1280, 720);
    if (f >= warm) cpu.push_back(bench::CpuUs() - start);
  }
  const GuiConvertResult& c = overlay.LastConvert();
  bench::Loud();
  printf("gui_frame_cpu_median %.1f us\n", bench::Median(cpu));
  printf("gui_frame_cpu_p99 %.1f us\n", bench::Percentile(cpu, 99));
  printf("gui_frame_vertices %d count\n", c.m_vertexCount);
  printf("gui_frame_indices %d count\n", c.m_indexCount);
  printf("gui_frame_commands %d count\n", c.m_commandCount);
  printf("gui_frame_cut %d flag\n", c.m_cut ? 1 : 0);
  printf("gui_frame_imgui_allocations %.3f per_frame\n",
         static_cast<double>(imguiAllocations - allocationsBefore) / frames);
  return 0;
}
