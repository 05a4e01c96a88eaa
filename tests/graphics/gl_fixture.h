// A window with an OpenGL 3.3 core context for the tests that draw, opened once per test program.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "graphics/gl/gl_calls.h"
#include "graphics/gl/graphics.h"
#include "graphics/gl/screenshot.h"
#include "system/window.h"

#include <SDL2/SDL.h>

// True when an X (or Wayland) display can be asked for a window. Without one the window tests
// skip; tools/with_display.sh gives them a private Xvfb.
inline bool GlDisplayExists() {
  const char* x = getenv("DISPLAY");
  const char* wayland = getenv("WAYLAND_DISPLAY");
  return (x != nullptr && x[0] != 0) || (wayland != nullptr && wayland[0] != 0);
}

// Opens the test window through the game's own window and GL start-up, once; later calls give
// the first result. The window is an ordinary (not full-screen) one of the given size, so
// that read-backs under Xvfb see exactly what was drawn; it lives until the program ends.
inline bool GlWindowOpen(int width = 320, int height = 240) {
  static int result = -1;
  if (result >= 0) return result == 1;
  result = 0;
  if (!VideoInit(0, 0, 3, 3, "Quillomar tests")) return false;
  if (!WindowCreate(width, height, false)) return false;
  if (!GraphicsInit()) return false;
  result = 1;
  atexit([] {
    GraphicsExit();
    VideoExit();
    SDL_Quit();
  });
  return true;
}

// Binds nothing anywhere and forgets the wrappers' caches, so each test starts from a known GL
// state whatever the test before it left bound (or a fake-GL test forgot).
inline void GlBindingsReset() {
  glCalls.BindVertexArray(0);
  glCalls.BindBuffer(GL_ARRAY_BUFFER, 0);
  glCalls.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  glCalls.BindBuffer(GL_UNIFORM_BUFFER, 0);
  for (GLuint slot = 0; slot < c_uniformSlotCaches; ++slot) glCalls.BindBufferBase(GL_UNIFORM_BUFFER, slot, 0);
  for (int unit = c_textureUnitCaches - 1; unit >= 0; --unit) {
    glCalls.ActiveTexture(GL_TEXTURE0 + unit);
    glCalls.BindTexture(GL_TEXTURE_2D, 0);
  }
  glCalls.UseProgram(0);
  while (glCalls.GetError() != GL_NO_ERROR) {
  }
  GraphicsExit();
}

// The fixture: skips without a display, fails when a display exists but the window or the
// context cannot be had (that is a fault, not a missing service).
class GlFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!GlDisplayExists())
      GTEST_SKIP() << "No display (DISPLAY is not set): run under tools/with_display.sh for the window tests.";
    ASSERT_TRUE(GlWindowOpen()) << "a display exists but the window or its GL context could not be made";
    GlBindingsReset();
  }
  void TearDown() override {
    // A test that provokes a GL error on purpose clears it before it ends.
    if (glCalls.GetError != nullptr) {
      EXPECT_EQ(glCalls.GetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
  }

  // For a look by eye: when QUILLOMAR_TEST_SHOTS names a folder, the back buffer is written
  // there as "<name>.png" (read before the swap). Without it nothing is written.
  static void SaveShot(const char* name) {
    const char* folder = getenv("QUILLOMAR_TEST_SHOTS");
    if (folder == nullptr || folder[0] == 0) return;
    const std::string path = std::string(folder) + "/" + name + ".png";
    EXPECT_TRUE(ScreenshotSave(path.c_str())) << path;
  }

  // The back buffer's pixels, RGBA, bottom row first.
  static std::vector<uint8_t> ReadBack(int* width, int* height) {
    DrawableSize(width, height);
    std::vector<uint8_t> pixels(static_cast<size_t>(*width) * *height * 4);
    ScreenshotRead(0, 0, *width, *height, pixels.data());
    return pixels;
  }
};
