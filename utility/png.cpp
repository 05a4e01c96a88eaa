// PNG files of 8-bit pixel arrays, for screenshots, tests, contact sheets and the tools' previews.
#include "utility/png.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "utility/log.h"

// stb_image_write does the filtering and the deflate compression; its chunk checksums come from
// Crc32 below, and nothing here touches its global settings, so encoding is safe from any thread.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#define STBIW_CRC32(buffer, len) Crc32(buffer, static_cast<size_t>(len))
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

uint32_t Crc32(const void* data, size_t size, uint32_t crc) {
  struct Table {
    uint32_t entries[256];
    Table() {
      for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
        entries[n] = c;
      }
    }
  };
  static const Table table;  // made once, thread-safe
  const uint8_t* p = static_cast<const uint8_t*>(data);
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = table.entries[(crc ^ p[i]) & 0xff] ^ (crc >> 8);
  return ~crc;
}

uint32_t Adler32(const void* data, size_t size, uint32_t adler) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  uint32_t a = adler & 0xffff, b = adler >> 16;
  while (size > 0) {
    // 5552 bytes is the most that can be summed before the 32-bit sums could overflow.
    const size_t n = size < 5552 ? size : 5552;
    for (size_t i = 0; i < n; ++i) {
      a += p[i];
      b += a;
    }
    a %= 65521;
    b %= 65521;
    p += n;
    size -= n;
  }
  return (b << 16) | a;
}

bool PngEncode(std::vector<uint8_t>* out, const uint8_t* pixels, int width, int height, int channels, bool bottomUp) {
  // The encoder counts the filtered rows in an int: pictures whose rows do not fit one are refused.
  const bool sized = width > 0 && height > 0 && width <= 65536 && height <= 65536 &&
                     (static_cast<int64_t>(width) * (channels > 0 ? channels : 1) + 1) * height < INT_MAX / 2;
  if (out == nullptr || pixels == nullptr || !sized || (channels != 1 && channels != 3 && channels != 4)) {
    LOGE("PNG of %dx%d pixels with %d channels refused.", width, height, channels);
    return false;
  }
  const int row = width * channels;
  // Bottom-up rows are read from the last row in memory backwards, with a negative stride.
  const uint8_t* first = bottomUp ? pixels + static_cast<size_t>(height - 1) * row : pixels;
  int size = 0;
  unsigned char* png = stbi_write_png_to_mem(first, bottomUp ? -row : row, width, height, channels, &size);
  if (png == nullptr) {
    LOGE("No memory to encode a PNG of %dx%d pixels.", width, height);
    return false;
  }
  out->assign(png, png + size);
  free(png);
  return true;
}

bool PngWrite(const char* path, const uint8_t* pixels, int width, int height, int channels, bool bottomUp) {
  return PngWriteOpened(path ? fopen(path, "wb") : nullptr, path, pixels, width, height, channels, bottomUp);
}

bool PngWriteOpened(FILE* file, const char* path, const uint8_t* pixels, int width, int height, int channels,
                    bool bottomUp) {
  std::vector<uint8_t> png;
  const bool encoded = PngEncode(&png, pixels, width, height, channels, bottomUp);
  if (!encoded) {
    if (file) fclose(file);
    return false;
  }
  if (file == nullptr) {
    LOGE("Cannot write the picture \"%s\".", path ? path : "(null)");
    return false;
  }
  const bool written = fwrite(png.data(), 1, png.size(), file) == png.size();
  const bool closed = fclose(file) == 0;
  if (!written || !closed) {
    LOGE("Writing the picture \"%s\" failed.", path);
    return false;
  }
  return true;
}
