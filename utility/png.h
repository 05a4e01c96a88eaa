// PNG files of 8-bit pixel arrays, for screenshots, tests, contact sheets and the tools' previews.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

// Checksums of the PNG container: CRC-32 of chunks (continue by passing the last result) and
// the Adler-32 of the zlib stream.
uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);
uint32_t Adler32(const void* data, size_t size, uint32_t adler = 1);

// Encodes 8-bit pixels (channels 1 grey, 3 RGB or 4 RGBA; rows tightly packed) as a deflate-
// compressed PNG. With bottomUp the first row in memory is the bottom row of the picture, as GL
// reads it. False, with a log line, for a bad size or channel count.
bool PngEncode(std::vector<uint8_t>* out, const uint8_t* pixels, int width, int height, int channels, bool bottomUp);
// PngEncode into a file at the path. False, with a log line, when it cannot be written.
bool PngWrite(const char* path, const uint8_t* pixels, int width, int height, int channels, bool bottomUp);
// PngEncode into a file the caller opened (null when the open failed), which it closes; the path is
// for the log line. The game opens its files through its own file layer and writes them here.
bool PngWriteOpened(FILE* file, const char* path, const uint8_t* pixels, int width, int height, int channels,
                    bool bottomUp);
