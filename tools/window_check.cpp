// Development tool: opens the game's window and GL context the way start-up does, draws a frame and saves it.
#include <SDL2/SDL.h>

#include <cstdio>
#include <cstring>

#include "graphics/gl/graphics.h"
#include "graphics/gl/screenshot.h"
#include "system/input.h"
#include "system/window.h"
#include "utility/log.h"

// Each step is checked before the next, as start-up must: a missing display, window or GL
// context ends the program with status 1 and a line saying which step failed, never with GL
// calls through entry points that were never loaded.
int main(int argc, char** argv) {
  const char* out = nullptr;
  bool windowed = false;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--windowed") == 0)
      windowed = true;
    else if (argv[i][0] != '-' && out == nullptr)
      out = argv[i];
    else {
      printf("usage: window_check [--windowed] [screenshot.png]\n");
      return 2;
    }
  }
  if (!VideoInit(0, 0, 3, 3, "Quillomar 127")) {
    LOGE("window_check: video could not start.");
    return 1;
  }
  InputInit();
  if (!WindowCreate(1280, 720, false)) {
    LOGE("window_check: the window or its GL context could not be made.");
    VideoExit();
    return 1;
  }
  if (!GraphicsInit()) {
    LOGE("window_check: OpenGL could not be loaded.");
    VideoExit();
    return 1;
  }
  SwapIntervalSet(1);
  if (!windowed) FullscreenToggle();
  // A couple of frames: the driver takes a new window size at a frame boundary.
  int width = 0, height = 0;
  for (int frame = 0; frame < 3; ++frame) {
    InputPoll();
    DrawableSize(&width, &height);
    glViewport(0, 0, width, height);
    FrameClear(0.1f, 0.3f, 0.6f, 1.0f, 1.0f, 0);
    glEnable(GL_SCISSOR_TEST);
    glScissor(width / 4, height / 4, width / 2, height / 2);
    FrameClear(0.9f, 0.6f, 0.1f, 1.0f, 1.0f, 0);
    glDisable(GL_SCISSOR_TEST);
    if (frame == 2 && out != nullptr && !ScreenshotSave(out)) {
      VideoExit();
      return 1;
    }
    WindowSwap();
  }
  int ww = 0, wh = 0;
  WindowSize(&ww, &wh);
  LOGI("window_check: window %dx%d, drawable %dx%d, scale %.2f, full screen %d", ww, wh, width, height, DrawableScale(),
       WindowFullscreen() ? 1 : 0);
  GraphicsExit();
  InputExit();
  VideoExit();
  SDL_Quit();
  return 0;
}
