// PNG files of pixel arrays: the encoder shared by the game, its tests and the tools.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Checksums of the PNG container: CRC-32 of chunks (continue by passing the last result) and
// the Adler-32 of the zlib stream.
uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);
uint32_t Adler32(const void* data, size_t size, uint32_t adler = 1);

// Encodes 8-bit pixels (channels 1 grey, 3 RGB or 4 RGBA; rows tightly packed) as a PNG whose
// image data is stored uncompressed. With bottomUp the first row in memory is the bottom row
// of the picture, as GL reads it. False, with a log line, for a bad size or channel count.
bool PngEncode(std::vector<uint8_t>* out, const uint8_t* pixels, int width, int height, int channels, bool bottomUp);
// PngEncode into a file at the path. False, with a log line, when it cannot be written.
bool PngWrite(const char* path, const uint8_t* pixels, int width, int height, int channels, bool bottomUp);
