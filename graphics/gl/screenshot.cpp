// Screenshots: the back buffer read back from GL and written as a PNG (utility/png encodes it).
#include "graphics/gl/screenshot.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "graphics/gl/gl_calls.h"
#include "system/file.h"
#include "system/window.h"
#include "utility/log.h"
#include "utility/png.h"

void ScreenshotRead(int x, int y, int width, int height, uint8_t* pixels) {
  glCalls.PixelStorei(GL_PACK_ALIGNMENT, 1);
  glCalls.ReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
}

bool ScreenshotSave(const char* path) {
  int width = 0, height = 0;
  DrawableSize(&width, &height);
  if (width <= 0 || height <= 0 || glCalls.ReadPixels == nullptr) {
    LOGE("No window to take a screenshot of.");
    return false;
  }
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  ScreenshotRead(0, 0, width, height, pixels.data());
  // The back buffer's alpha says nothing about the picture: keep red, green and blue.
  const size_t count = static_cast<size_t>(width) * height;
  for (size_t i = 0; i < count; ++i) memmove(&pixels[i * 3], &pixels[i * 4], 3);
  // Through the file layer: a screenshot in the user folder is written like every other file the game
  // writes (regular files only, never through a link at its name).
  return PngWriteOpened(path ? FileStreamOpenWrite(path) : nullptr, path, pixels.data(), width, height, 3, true);
}
