// Screenshots: the back buffer read back from GL and written as a PNG (utility/png encodes it).
#pragma once

#include <cstdint>

// Reads a rectangle of the current read buffer as RGBA bytes, bottom row first (GL's order);
// pixels must hold width x height x 4 bytes.
void ScreenshotRead(int x, int y, int width, int height, uint8_t* pixels);
// Reads the whole back buffer of the window before the swap and writes it as a PNG.
bool ScreenshotSave(const char* path);
