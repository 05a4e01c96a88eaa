// The one application window and its OpenGL context, made through SDL2.
#include "system/window.h"

#include <GL/glew.h>
#include <SDL2/SDL.h>

#include <malloc.h>

#include <cstdint>

#include "utility/fixed_string.h"
#include "utility/log.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
// Mesa's software driver leaks a little of what it allocates while a context is made, and it
// is unloaded before the leak report, built without frame pointers and runs LLVM's JIT, so the
// report's stack holds one frame in an unknown module (slow unwinding deadlocks in the JIT's
// frame registration): no line of tools/lsan.supp can name it. The leak checker of sanitizer
// builds ignores what this thread allocates in this scope; everything else is left to the file.
#define DRIVER_ALLOCATIONS_NOT_OURS __lsan::ScopedDisabler driverAllocations
#else
#define DRIVER_ALLOCATIONS_NOT_OURS
#endif

// Last: the X11 headers define short macros (None, Status, Bool) that must not reach the others.
#include <SDL2/SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

// The software GL driver allocates its vertex and geometry stages' output afresh for every draw
// (megabytes for the planet and the big instanced groups) and frees it at the end of the draw.
// With the C library's defaults whether such a block is mapped from the system and handed back
// each time depends on what the process allocated before (the threshold moves), and when it is,
// every draw pays thousands of page faults: up to three quarters of a frame at the far views.
// Blocks up to the largest size the library allows stay in the heap, and freed memory up to a
// generous bound is kept there for the next draw instead of being returned. Only speed hangs
// on it: an allocator that ignores the hints (the sanitizers' own) draws the same, slower.
void KeepDriverBuffersInHeap() {
  constexpr int c_mmapThreshold = 32 * 1024 * 1024;  // the library's ceiling on 64-bit systems
  constexpr int c_trimThreshold = 256 * 1024 * 1024;
  mallopt(M_MMAP_THRESHOLD, c_mmapThreshold);
  mallopt(M_TRIM_THRESHOLD, c_trimThreshold);
}

struct WindowState {
  int driverIndex;
  int displayIndex;
  FixedString title;
  int glMajor;
  int glMinor;
  bool videoStarted;
  SDL_Window* window;
  SDL_GLContext context;
  uint8_t screenSaverWasOn;
  // Full screen done by hand where no window manager does it: the window's place before.
  bool coversScreen;
  SDL_Rect savedPlace;
};

WindowState state = {};

// The game's icon, drawn rather than loaded so that it exists before the data folder is
// found: a blue planet with a green continent on a clear background.
void IconSet(SDL_Window* window) {
  constexpr int c_size = 32;
  static uint32_t pixels[c_size * c_size];
  for (int y = 0; y < c_size; ++y) {
    for (int x = 0; x < c_size; ++x) {
      const float dx = (x + 0.5f) / c_size * 2.0f - 1.0f;
      const float dy = (y + 0.5f) / c_size * 2.0f - 1.0f;
      const float r2 = dx * dx + dy * dy;
      uint32_t argb = 0;
      if (r2 < 0.9f) {
        const bool land = (dx + 0.3f) * (dx + 0.3f) + (dy + 0.2f) * (dy + 0.2f) < 0.18f ||
                          (dx - 0.35f) * (dx - 0.35f) + (dy - 0.4f) * (dy - 0.4f) < 0.08f;
        const uint32_t shade = static_cast<uint32_t>(255.0f * (1.0f - 0.45f * r2));
        argb = land ? 0xff000000u | ((shade / 4) << 16) | (shade << 8) | (shade / 3)
                    : 0xff000000u | ((shade / 5) << 16) | ((shade / 2) << 8) | shade;
      }
      pixels[y * c_size + x] = argb;
    }
  }
  SDL_Surface* icon = SDL_CreateRGBSurfaceFrom(pixels, c_size, c_size, 32, c_size * 4, 0x00ff0000u, 0x0000ff00u,
                                               0x000000ffu, 0xff000000u);
  if (icon == nullptr) return;  // only the icon is lost
  SDL_SetWindowIcon(window, icon);
  SDL_FreeSurface(icon);
}

// True when the window lives on an X server that has no window manager, such as a bare Xvfb.
// There SDL's desktop full screen asks a manager that is not there: nothing changes on the
// screen while SDL reports the screen's size, so drawing and read-backs would disagree.
bool X11WithoutWindowManager(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  Display* display = info.info.x11.display;
  const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return true;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const int result = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                                        &format, &count, &after, &data);
  const bool managed = result == Success && data != nullptr && count == 1;
  if (data != nullptr) XFree(data);
  return !managed;
}

bool FullscreenSet(bool fullscreen) {
  const bool now = (SDL_GetWindowFlags(state.window) & SDL_WINDOW_FULLSCREEN) != 0;
  if (now == fullscreen) return true;
  if (SDL_SetWindowFullscreen(state.window, fullscreen ? SDL_WINDOW_FULLSCREEN : 0) == 0) return true;
  LOGE("SDL_SetWindowFullscreen failed: %s", SDL_GetError());
  return false;
}

}  // namespace

bool VideoInit(int driverIndex, int displayIndex, int glMajor, int glMinor, const char* title) {
  // SDL restarts video under a window it would free behind our back: let it go properly first.
  if (state.videoStarted) {
    LOGW("VideoInit: video was already running; its window is closed first.");
    VideoExit();
  }
  const int drivers = SDL_GetNumVideoDrivers();
  for (int i = 0; i < drivers; ++i) LOGI("SDL2 video driver #%d: %s", i, SDL_GetVideoDriver(i));
  if (driverIndex < 0) driverIndex = 0;
  if (driverIndex > drivers - 1) driverIndex = drivers > 0 ? drivers - 1 : 0;
  state.driverIndex = driverIndex;
  state.displayIndex = displayIndex < 0 ? 0 : displayIndex;
  state.glMajor = glMajor;
  state.glMinor = glMinor;
  state.title.Set(title);

  const char* driver = drivers > 0 ? SDL_GetVideoDriver(0) : nullptr;
  if (driver == nullptr) {
    LOGE("SDL_VideoInit(%s) failed: %s", "(none)", "SDL offers no video driver");
    return false;
  }
  // An X server under load (many programs connecting at once, as when the tests run in
  // parallel under one Xvfb) now and then resets a new connection; the same connection made a
  // moment later is accepted. A few tries a short while apart ride that out, while a display
  // that is not there at all still fails within a fraction of a second.
  constexpr int c_tries = 4;
  int waitMs = 25;
  for (int attempt = 1; SDL_VideoInit(driver) != 0; ++attempt) {
    if (attempt == c_tries) {
      LOGE("SDL_VideoInit(%s) failed: %s", driver, SDL_GetError());
      return false;
    }
    LOGW("VideoInit: SDL_VideoInit(%s) failed (try %d of %d): %s; trying again in %d ms", driver, attempt, c_tries,
         SDL_GetError(), waitMs);
    SDL_Delay(waitMs);
    waitMs *= 2;
  }
  state.videoStarted = true;
  LOGI("SDL_Init(%s) succeeded. NumVideoDisplays=%d", driver, SDL_GetNumVideoDisplays());
  state.screenSaverWasOn = SDL_IsScreenSaverEnabled() ? 1 : 0;
  if (state.screenSaverWasOn) SDL_DisableScreenSaver();
  return true;
}

bool WindowCreate(int width, int height, bool fullscreen) {
  if (state.window != nullptr && state.context != nullptr) {
    int w = 0, h = 0;
    SDL_GetWindowSize(state.window, &w, &h);
    if (w != width || h != height) {
      state.coversScreen = false;  // a size asked for ends the hand-made full screen
      SDL_SetWindowSize(state.window, width, height);
      SDL_SetWindowPosition(state.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
    return FullscreenSet(fullscreen);
  }
  DRIVER_ALLOCATIONS_NOT_OURS;
  if (!state.videoStarted) {
    LOGE("SDL_CreateWindow failed: %s", "video has not started");
    return false;
  }
  if (width <= 0 || height <= 0) {
    LOGE("SDL_CreateWindow failed: %s", "the window size is not positive");
    return false;
  }

  KeepDriverBuffersInHeap();
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, state.glMajor);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, state.glMinor);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 1);
  SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 1);
  SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 4);

  uint32_t flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
  if (fullscreen) flags |= SDL_WINDOW_FULLSCREEN;
  SDL_Window* window =
      SDL_CreateWindow(state.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height, flags);
  if (window == nullptr) {
    LOGE("SDL_CreateWindow failed: %s", SDL_GetError());
    return false;
  }
  SDL_GLContext context = SDL_GL_CreateContext(window);
  if (context == nullptr) {
    LOGE("SDL_GL_CreateContext failed: %s", SDL_GetError());
    SDL_DestroyWindow(window);
    return false;
  }

  // A driver may hand out a context other than the one asked for; the game's shaders need
  // the version it asked for, in the core profile, so anything less is a failure here rather
  // than a crash in the first GL call that is not there.
  GLint major = 0, minor = 0, profile = 0;
  glGetIntegerv(GL_MAJOR_VERSION, &major);
  glGetIntegerv(GL_MINOR_VERSION, &minor);
  glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
  while (glGetError() != GL_NO_ERROR) {
  }
  if (major * 100 + minor < state.glMajor * 100 + state.glMinor || (profile & GL_CONTEXT_CORE_PROFILE_BIT) == 0) {
    LOGE("SDL_GL_CreateContext failed: %s (got %d.%d, profile mask %d)", "the context is older than asked or not core",
         major, minor, profile);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    return false;
  }
  state.window = window;
  state.context = context;
  IconSet(window);
  return true;
}

void SwapIntervalSet(int interval) {
  if (state.context == nullptr) return;
  if (SDL_GL_GetSwapInterval() == interval) return;
  if (SDL_GL_SetSwapInterval(interval) != 0) LOGW("SDL_GL_SetSwapInterval(%d) failed: %s", interval, SDL_GetError());
}

void FullscreenToggle() {
  if (state.window == nullptr) return;
  if (state.coversScreen) {
    SDL_SetWindowSize(state.window, state.savedPlace.w, state.savedPlace.h);
    SDL_SetWindowPosition(state.window, state.savedPlace.x, state.savedPlace.y);
    state.coversScreen = false;
    return;
  }
  const uint32_t flags = SDL_GetWindowFlags(state.window) & ~static_cast<uint32_t>(SDL_WINDOW_FULLSCREEN);
  const uint32_t desktopBit = static_cast<uint32_t>(SDL_WINDOW_FULLSCREEN_DESKTOP) & ~SDL_WINDOW_FULLSCREEN;
  if (flags & desktopBit)
    SDL_SetWindowFullscreen(state.window, flags & ~static_cast<uint32_t>(SDL_WINDOW_FULLSCREEN_DESKTOP));
  else if (!X11WithoutWindowManager(state.window))
    SDL_SetWindowFullscreen(state.window, flags | SDL_WINDOW_FULLSCREEN_DESKTOP);
  else {
    // Without a manager the X server places and sizes windows as asked: cover the screen.
    SDL_Rect screen = {};
    if (SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(state.window), &screen) != 0) return;
    SDL_GetWindowPosition(state.window, &state.savedPlace.x, &state.savedPlace.y);
    SDL_GetWindowSize(state.window, &state.savedPlace.w, &state.savedPlace.h);
    SDL_SetWindowPosition(state.window, screen.x, screen.y);
    SDL_SetWindowSize(state.window, screen.w, screen.h);
    state.coversScreen = true;
    LOGI("No window manager: the window covers the screen in place of desktop full screen.");
  }
}

bool WindowFullscreen() {
  if (state.window == nullptr) return false;
  return state.coversScreen || (SDL_GetWindowFlags(state.window) & SDL_WINDOW_FULLSCREEN) != 0;
}

void WindowSwap() {
  if (state.window != nullptr) SDL_GL_SwapWindow(state.window);
}

void WindowSize(int* width, int* height) {
  int w = 0, h = 0;
  if (state.window != nullptr) SDL_GetWindowSize(state.window, &w, &h);
  if (width) *width = w;
  if (height) *height = h;
}

float DrawableScale() {
  if (state.window == nullptr) return 0.0f;
  int w = 0, h = 0, dw = 0, dh = 0;
  SDL_GetWindowSize(state.window, &w, &h);
  SDL_GL_GetDrawableSize(state.window, &dw, &dh);
  if (w <= 0) return 0.0f;
  return static_cast<float>(dw) / static_cast<float>(w);
}

void DrawableSize(int* width, int* height) {
  int w = 0, h = 0;
  if (state.window != nullptr) SDL_GL_GetDrawableSize(state.window, &w, &h);
  if (width) *width = w;
  if (height) *height = h;
}

bool SdlStart() {
  if (SDL_Init(0) == 0) return true;
  LOGE("SDL_Init(0) failed: %s", SDL_GetError());
  return false;
}

void SdlStop() {
  SDL_Quit();
  LOGI("SDL stopped.");
}

void VideoExit() {
  if (state.context != nullptr) SDL_GL_DeleteContext(state.context);
  if (state.window != nullptr) SDL_DestroyWindow(state.window);
  if (state.screenSaverWasOn) SDL_EnableScreenSaver();
  if (state.videoStarted) SDL_VideoQuit();
  state.title.Clear();
  state = {};
}

bool WindowExists() { return state.window != nullptr && state.context != nullptr; }
