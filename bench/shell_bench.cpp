// Benchmark of the shell's per-frame text work: laying out the title menu's texts and a tutor box with the vector
// font, and the step count of a frame. Prints "name value unit" lines.
#include <cstdio>
#include <vector>

#include "bench_util.h"
#include "game/shell.h"
#include "graphics/ui/vector_font.h"

int main() {
  std::vector<float> scratch(c_fontScratchBytes / sizeof(float));
  const char* const texts[] = {"RESUME GAME IN PROGRESS",
                               "CUSTOMIZE PLANET",
                               "NEW GAME",
                               "GUIDE",
                               "LEADERBOARD",
                               "Quillomar (v127) is a game of settlers on a small planet. Return chooses, Esc leaves.",
                               "Vozi says:\nWelcome, chosen one! Let us\nstart with freeing your peers."};
  // One title-menu frame lays out these seven texts; time many frames and take the median.
  std::vector<double> perFrame;
  int triangles = 0;
  for (int round = 0; round < 31; ++round) {
    const double t0 = bench::NowNs();
    for (int frame = 0; frame < 1000; ++frame)
      for (const char* t : texts) {
        float w, h;
        triangles += TextLayout(t, scratch.data(), c_fontScratchBytes, -0.9f, 0.1f, 0.065f, 0.111f, &w, &h);
      }
    perFrame.push_back((bench::NowNs() - t0) / 1000.0);
  }
  std::sort(perFrame.begin(), perFrame.end());
  printf("title_frame_text_layout %.2f us\n", perFrame[perFrame.size() / 2] / 1000.0);
  printf("title_frame_text_triangles %d triangles\n", triangles / (31 * 1000));
  printf("font_vertices %d vertices\n", FontVertexCount());
  // The steps of a million frame times: the loop's arithmetic is no cost next to a frame.
  const double t0 = bench::NowNs();
  long steps = 0;
  for (int i = 0; i < 1000000; ++i) steps += ShellFrameSteps(i * 1e-7, (i & 1) != 0);
  printf("steps_for_frame %.2f ns\n", (bench::NowNs() - t0) / 1e6);
  return steps > 0 ? 0 : 1;
}
