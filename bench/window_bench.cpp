// The window layer's costs: start-up, an empty frame, a screenshot read-back and PNG writing, one "name value unit"
// line each.
#include <SDL2/SDL.h>

#include <cstdio>
#include <vector>

#include "bench_util.h"
#include "graphics/gl/graphics.h"
#include "graphics/gl/screenshot.h"
#include "system/input.h"
#include "system/window.h"
#include "utility/png.h"

using bench::Loud;
using bench::NowUs;
using bench::Quiet;

int main() {
  // Writing a 1280x720 screenshot as PNG needs no window.
  std::vector<uint8_t> pixels(1280 * 720 * 3);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 31 + (i >> 11));
  std::vector<uint8_t> png;
  double best = 1e30;
  for (int i = 0; i < 5; ++i) {
    const double t0 = NowUs();
    PngEncode(&png, pixels.data(), 1280, 720, 3, true);
    best = std::min(best, NowUs() - t0);
  }
  printf("png_encode_1280x720 %.2f ms\n", best / 1000.0);
  printf("png_size_1280x720 %.2f MB\n", png.size() / 1048576.0);

  Quiet();
  const double s0 = NowUs();
  const bool open = VideoInit(0, 0, 3, 3, "Quillomar bench") && WindowCreate(1280, 720, false) && GraphicsInit();
  const double s1 = NowUs();
  if (open) InputInit();
  Loud();
  if (!open) {
    printf("window_open -1 ms\n");  // no display: the rest needs a window
    return 0;
  }
  printf("window_open %.1f ms\n", (s1 - s0) / 1000.0);

  // An empty frame: poll, clear, swap. No vsync under Xvfb, so this is the frame loop's floor.
  const int frames = 200;
  const double f0 = NowUs();
  for (int i = 0; i < frames; ++i) {
    InputPoll();
    FrameClear(0.1f, 0.2f, 0.3f, 1.0f, 1.0f, 0);
    WindowSwap();
  }
  printf("empty_frame %.3f ms\n", (NowUs() - f0) / 1000.0 / frames);

  // Cached binds that hit: what the draw loops pay when the object is already bound.
  const GlHandle t = TextureGen(TFILTER_NEAREST);
  const int binds = 10000000;
  const double b0 = NowUs();
  for (int i = 0; i < binds; ++i) TextureBind(t);
  printf("cached_bind_hit %.2f ns\n", (NowUs() - b0) * 1000.0 / binds);
  TextureDelete(t);

  std::vector<uint8_t> back(1280 * 720 * 4);
  best = 1e30;
  for (int i = 0; i < 5; ++i) {
    const double t0 = NowUs();
    ScreenshotRead(0, 0, 1280, 720, back.data());
    best = std::min(best, NowUs() - t0);
  }
  printf("back_buffer_read_1280x720 %.2f ms\n", best / 1000.0);

  InputExit();
  GraphicsExit();
  VideoExit();
  SDL_Quit();
  return 0;
}
