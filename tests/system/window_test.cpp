// The window and its GL context: start-up failures, the attributes asked for, resizing, full screen.
#include <GL/glew.h>
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "captured_log.h"
#include "system/window.h"
#include "test_support.h"

namespace {

bool DisplayExists() {
  const char* x = getenv("DISPLAY");
  return x != nullptr && x[0] != 0;
}

// Sets an environment variable for the life of the object, restoring the old value after.
class EnvOverride {
 public:
  EnvOverride(const char* name, const char* value) : m_name(name) {
    const char* old = getenv(name);
    m_had = old != nullptr;
    if (m_had) m_old = old;
    setenv(name, value, 1);
  }
  ~EnvOverride() {
    if (m_had)
      setenv(m_name, m_old.c_str(), 1);
    else
      unsetenv(m_name);
  }

 private:
  const char* m_name;
  bool m_had = false;
  std::string m_old;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!DisplayExists()) GTEST_SKIP() << "No display (DISPLAY is not set): run under tools/with_display.sh.";
  }
  // SDL_Quit also lets go of the D-Bus connection SDL opened, which the leak check would report.
  void TearDown() override {
    VideoExit();
    SDL_Quit();
  }
};

}  // namespace

// Start-up must stop at the first step that fails, say why, and leave nothing behind, so that
// the caller can end with a failure status instead of calling GL through null entry points.
TEST(WindowStartTest, EachFailedStepIsReportedAndLeavesNoWindow) {
  CapturedLog log;
  EXPECT_EQ(DrawableScale(), 0.0f);
  EXPECT_FALSE(WindowCreate(320, 240, false)) << "no video yet";
  EXPECT_TRUE(log.HasPrefix("SDL_CreateWindow failed: "));
  EXPECT_FALSE(WindowExists());
  {
    // A display that is not there: the first driver (x11) cannot start.
    EnvOverride display("DISPLAY", ":4711");
    EnvOverride wayland("WAYLAND_DISPLAY", "no-such-wayland-display");
    EXPECT_FALSE(VideoInit(0, 0, 3, 3, "Quillomar 127"));
  }
  EXPECT_TRUE(log.HasPrefix("SDL2 video driver #0: "));
  EXPECT_EQ(log.CountPrefix("SDL_VideoInit("), 1) << "names the driver and SDL's reason, once";
  // A display that is not there is tried a few times (a busy one may turn a connection away
  // for a moment), each try said, and the failure comes after the last.
  EXPECT_EQ(log.CountPrefix("VideoInit: SDL_VideoInit("), 3);
  EXPECT_TRUE(log.Has("(try 3 of 4)"));
  EXPECT_GT(log.Find("SDL_VideoInit(x11) failed: "), log.Find("(try 3 of 4)"));
  EXPECT_FALSE(WindowCreate(320, 240, false));
  EXPECT_FALSE(WindowExists());
  int w = -1, h = -1;
  WindowSize(&w, &h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
  WindowSwap();  // harmless without a window
  FullscreenToggle();
  VideoExit();
  VideoExit();
  SDL_Quit();
}

TEST_F(WindowTest, OpensWithTheAskedAttributesAndACoreContext) {
  CapturedLog log;
  ASSERT_TRUE(VideoInit(-5, -1, 3, 3, "Quillomar 127"));
  EXPECT_TRUE(log.HasLine("SDL2 video driver #0: x11"));
  EXPECT_TRUE(log.HasLine("SDL_Init(x11) succeeded. NumVideoDisplays=1"));
  ASSERT_TRUE(WindowCreate(320, 240, false));
  ASSERT_TRUE(WindowExists());

  SDL_Window* window = SDL_GL_GetCurrentWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_STREQ(SDL_GetWindowTitle(window), "Quillomar 127");
  const uint32_t flags = SDL_GetWindowFlags(window);
  EXPECT_TRUE(flags & SDL_WINDOW_OPENGL);
  EXPECT_TRUE(flags & SDL_WINDOW_RESIZABLE);
  EXPECT_TRUE(flags & SDL_WINDOW_ALLOW_HIGHDPI);
  EXPECT_FALSE(flags & SDL_WINDOW_FULLSCREEN);

  // What the driver gave, not only what was asked: the context is current.
  int value = 0;
  SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &value);
  EXPECT_EQ(value, 1);
  SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &value);
  EXPECT_GE(value, 24);
  SDL_GL_GetAttribute(SDL_GL_STENCIL_SIZE, &value);
  EXPECT_GE(value, 1);
  SDL_GL_GetAttribute(SDL_GL_MULTISAMPLEBUFFERS, &value);
  EXPECT_EQ(value, 1);
  SDL_GL_GetAttribute(SDL_GL_MULTISAMPLESAMPLES, &value);
  EXPECT_GE(value, 4);
  GLint major = 0, minor = 0, profile = 0;
  glGetIntegerv(GL_MAJOR_VERSION, &major);
  glGetIntegerv(GL_MINOR_VERSION, &minor);
  glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
  EXPECT_GE(major * 10 + minor, 33);
  EXPECT_TRUE(profile & GL_CONTEXT_CORE_PROFILE_BIT);

  int w = 0, h = 0;
  WindowSize(&w, &h);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 240);
  EXPECT_FLOAT_EQ(DrawableScale(), 1.0f);
  WindowSwap();

  VideoExit();
  EXPECT_FALSE(WindowExists());
  EXPECT_EQ(DrawableScale(), 0.0f);
}

TEST_F(WindowTest, SecondCreateAdjustsTheSameWindow) {
  ASSERT_TRUE(VideoInit(0, 0, 3, 3, "Quillomar 127"));
  ASSERT_TRUE(WindowCreate(320, 240, false));
  SDL_Window* window = SDL_GL_GetCurrentWindow();
  const uint32_t id = SDL_GetWindowID(window);
  SDL_GLContext context = SDL_GL_GetCurrentContext();

  EXPECT_TRUE(WindowCreate(320, 240, false)) << "same size and mode: nothing to do";
  EXPECT_TRUE(WindowCreate(400, 300, false));
  EXPECT_EQ(SDL_GL_GetCurrentWindow(), window);
  EXPECT_EQ(SDL_GetWindowID(window), id);
  EXPECT_EQ(SDL_GL_GetCurrentContext(), context);
  int w = 0, h = 0;
  WindowSize(&w, &h);
  EXPECT_EQ(w, 400);
  EXPECT_EQ(h, 300);

  SwapIntervalSet(0);
  EXPECT_EQ(SDL_GL_GetSwapInterval(), 0);
  SwapIntervalSet(0);

  // Starting video again closes the old window rather than leaving a dangling one behind.
  CapturedLog log;
  ASSERT_TRUE(VideoInit(0, 0, 3, 3, "Quillomar 127"));
  EXPECT_TRUE(log.HasPrefix("VideoInit: video was already running"));
  EXPECT_FALSE(WindowExists());
  EXPECT_TRUE(WindowCreate(320, 240, false));
  WindowSize(&w, &h);
  EXPECT_EQ(w, 320);
}

TEST_F(WindowTest, FullscreenToggleTwiceGivesTheWindowBack) {
  CapturedLog log;
  ASSERT_TRUE(VideoInit(0, 0, 3, 3, "Quillomar 127"));
  ASSERT_TRUE(WindowCreate(320, 240, false));
  EXPECT_FALSE(WindowFullscreen());
  FullscreenToggle();
  EXPECT_TRUE(WindowFullscreen());
  // The window covers the whole screen (through the window manager, or by hand on a bare
  // Xvfb), and what is drawn there reaches the screen's far corner: screenshots see it all.
  SDL_Rect screen = {};
  SDL_GetDisplayBounds(0, &screen);
  int w = 0, h = 0;
  DrawableSize(&w, &h);
  EXPECT_EQ(w, screen.w);
  EXPECT_EQ(h, screen.h);
  WindowSwap();  // the driver takes the new size at the frame boundary, as in the game loop
  glViewport(0, 0, w, h);
  glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  unsigned char corner[4] = {};
  glReadPixels(w - 1, h - 1, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, corner);
  EXPECT_EQ(corner[1], 255);
  EXPECT_EQ(corner[0], 0);

  FullscreenToggle();
  EXPECT_FALSE(WindowFullscreen());
  WindowSize(&w, &h);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 240);
}

TEST_F(WindowTest, ContextOfAVersionTheDriverLacksFailsCleanly) {
  CapturedLog log;
  ASSERT_TRUE(VideoInit(0, 0, 9, 9, "Quillomar 127"));
  EXPECT_FALSE(WindowCreate(320, 240, false));
  EXPECT_TRUE(log.HasPrefix("SDL_GL_CreateContext failed: "));
  EXPECT_FALSE(WindowExists());
  EXPECT_EQ(DrawableScale(), 0.0f) << "the half-made window is gone";
}
