// Test tool: counts the pixels of a colour in a rectangle of the X screen, to see what a window shows right now.
//
// Usage: screen_colour <x> <y> <width> <height> <red> <green> <blue> [tolerance]
//
// Prints the number of pixels in the rectangle (screen coordinates of $DISPLAY's default screen, clipped to it)
// whose three channels each lie within the tolerance (default 40) of the colour given in 0..255. The end-to-end
// scripts use it to wait until the game has drawn a hovered menu row before they click. Exits 1 without a display.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// The channel of a pixel through its mask, scaled to 0..255 whatever the visual's depth.
int Channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  const unsigned long max = mask >> shift;
  return static_cast<int>(((pixel & mask) >> shift) * 255 / max);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 8 || argc > 9) {
    fprintf(stderr, "usage: screen_colour <x> <y> <width> <height> <red> <green> <blue> [tolerance]\n");
    return 2;
  }
  int v[8];
  for (int i = 0; i < argc - 1; ++i) v[i] = atoi(argv[i + 1]);
  const int tolerance = argc == 9 ? v[7] : 40;
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    fprintf(stderr, "screen_colour: no X display\n");
    return 1;
  }
  const int screen = DefaultScreen(display);
  const int x = std::max(v[0], 0), y = std::max(v[1], 0);
  const int w = std::min(v[0] + v[2], DisplayWidth(display, screen)) - x;
  const int h = std::min(v[1] + v[3], DisplayHeight(display, screen)) - y;
  long count = 0;
  if (w > 0 && h > 0) {
    XImage* image = XGetImage(display, RootWindow(display, screen), x, y, static_cast<unsigned>(w),
                              static_cast<unsigned>(h), AllPlanes, ZPixmap);
    if (!image) {
      fprintf(stderr, "screen_colour: the screen could not be read\n");
      XCloseDisplay(display);
      return 1;
    }
    for (int j = 0; j < h; ++j)
      for (int i = 0; i < w; ++i) {
        const unsigned long p = XGetPixel(image, i, j);
        const int r = Channel(p, image->red_mask), g = Channel(p, image->green_mask), b = Channel(p, image->blue_mask);
        count += abs(r - v[4]) <= tolerance && abs(g - v[5]) <= tolerance && abs(b - v[6]) <= tolerance;
      }
    XDestroyImage(image);
  }
  XCloseDisplay(display);
  printf("%ld\n", count);
  return 0;
}
