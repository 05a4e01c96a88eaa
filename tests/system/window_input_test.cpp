// Real X input reaching the game's codes: keys and clicks sent by xdotool, and the mouse grab.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "system/input.h"
#include "system/window.h"

// Last: the X11 headers behind it define macros (None, Bool) that clash with the test framework.
#include <SDL2/SDL_syswm.h>

namespace {

struct Seen {
  int code;
  int down;
  std::string text;
};

// Pumps for at least 50 ms, then until count events have arrived. The bound of 30 s is only for a
// fault: on a loaded machine xdotool's events reach the X server and this program seconds late.
std::vector<Seen> Collect(size_t count) {
  std::vector<Seen> seen;
  const Uint32 start = SDL_GetTicks();
  for (;;) {
    InputPoll();
    int code = 0, down = 0;
    uint32_t mods = 0;
    const char* text = nullptr;
    while (InputNextEvent(&code, &mods, &text, &down)) seen.push_back({code, down, text ? text : ""});
    const Uint32 waited = SDL_GetTicks() - start;
    if ((waited >= 50 && seen.size() >= count) || waited >= 30000) return seen;
    SDL_Delay(10);
  }
}

// Pumps until the pointer is in the window, up to 5 s: the window's arrival is slow under load,
// and where another test's window covers this one it never comes.
bool AwaitMouseFocus(SDL_Window* window) {
  const Uint32 start = SDL_GetTicks();
  do {
    Collect(0);
    if (SDL_GetMouseFocus() == window) return true;
  } while (SDL_GetTicks() - start < 5000);
  return false;
}

}  // namespace

TEST(WindowInputTest, XdotoolKeysAndClicksArriveAsTheGamesCodes) {
  const char* display = getenv("DISPLAY");
  if (display == nullptr || display[0] == 0) GTEST_SKIP() << "No display: run under tools/with_display.sh.";
  if (system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "xdotool is not installed";
  ASSERT_TRUE(VideoInit(0, 0, 3, 3, "Quillomar input"));
  ASSERT_TRUE(WindowCreate(320, 240, false));
  ASSERT_TRUE(InputInit());
  SDL_Window* window = SDL_GL_GetCurrentWindow();
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  ASSERT_TRUE(SDL_GetWindowWMInfo(window, &info));
  ASSERT_EQ(info.subsystem, SDL_SYSWM_X11);
  Collect(0);  // whatever the window's arrival queued

  // The events are sent to this window by its id, so other test programs' windows on the same
  // display (and where the pointer is) cannot take them.
  const std::string id = std::to_string(static_cast<unsigned long>(info.info.x11.window));
  ASSERT_EQ(system(("xdotool key --window " + id + " a click --window " + id + " 3").c_str()), 0);
  const std::vector<Seen> seen = Collect(5);
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[0].code, SDL_SCANCODE_A);
  EXPECT_EQ(seen[0].down, 1);
  EXPECT_EQ(seen[1].code, 0);
  EXPECT_EQ(seen[1].text, "a");
  EXPECT_EQ(seen[2].code, SDL_SCANCODE_A);
  EXPECT_EQ(seen[2].down, 0);
  EXPECT_EQ(seen[3].code, c_inputMouseRight);
  EXPECT_EQ(seen[3].down, 1);
  EXPECT_EQ(seen[4].code, c_inputMouseRight);
  EXPECT_EQ(seen[4].down, 0);
}

TEST(WindowInputTest, GrabTurnsRelativeModeOnAndGivesThePointerBack) {
  const char* display = getenv("DISPLAY");
  if (display == nullptr || display[0] == 0) GTEST_SKIP() << "No display: run under tools/with_display.sh.";
  ASSERT_TRUE(VideoInit(0, 0, 3, 3, "Quillomar input"));
  ASSERT_TRUE(WindowCreate(320, 240, false));
  ASSERT_TRUE(InputInit());
  SDL_Window* window = SDL_GL_GetCurrentWindow();
  SDL_RaiseWindow(window);
  SDL_WarpMouseInWindow(window, 100, 80);
  // Where another test's window covers this one the pointer belongs to that window; the
  // position is then not this window's to give back.
  const bool focused = AwaitMouseFocus(window);

  InputGrabMouse(true);
  InputGrabMouse(true);
  EXPECT_TRUE(SDL_GetRelativeMouseMode());
  SDL_WarpMouseInWindow(window, 10, 10);
  Collect(0);
  const bool stillFocused = SDL_GetMouseFocus() == window;
  InputGrabMouse(false);
  // The pointer is asked of the X server at once, in screen coordinates: the pointer is shared
  // by every test program on the display, and their windows lie on this one (all centred, of
  // one size), so a warp of theirs to the same window spot would read as this window's events.
  int globalX = 0, globalY = 0, windowX = 0, windowY = 0;
  SDL_GetGlobalMouseState(&globalX, &globalY);
  SDL_GetWindowPosition(window, &windowX, &windowY);
  EXPECT_FALSE(SDL_GetRelativeMouseMode());
  Collect(0);
  if (focused && stillFocused) {
    EXPECT_EQ(globalX - windowX, 100);
    EXPECT_EQ(globalY - windowY, 80);
  }
  InputExit();
  VideoExit();
  SDL_Quit();
}
