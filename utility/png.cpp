// PNG files of pixel arrays, for screenshots, tests, contact sheets and the sound previews.
#include "utility/png.h"

#include <cstdio>
#include <cstring>

#include "utility/log.h"

namespace {

// A stored deflate block carries at most 65535 bytes.
constexpr size_t c_storedBlock = 65535;

void Put32(std::vector<uint8_t>* out, uint32_t v) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                            static_cast<uint8_t>(v)};
  out->insert(out->end(), bytes, bytes + 4);
}

// Appends a chunk: length, type, data, and the CRC of type and data.
void PutChunk(std::vector<uint8_t>* out, const char* type, const uint8_t* data, size_t size) {
  Put32(out, static_cast<uint32_t>(size));
  const size_t start = out->size();
  out->insert(out->end(), type, type + 4);
  if (size) out->insert(out->end(), data, data + size);
  Put32(out, Crc32(out->data() + start, size + 4));
}

}  // namespace

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
  if (out == nullptr || pixels == nullptr || width <= 0 || height <= 0 || width > 65536 || height > 65536 ||
      (channels != 1 && channels != 3 && channels != 4)) {
    LOGE("PNG of %dx%d pixels with %d channels refused.", width, height, channels);
    return false;
  }
  const size_t row = static_cast<size_t>(width) * channels;
  const size_t raw = static_cast<size_t>(height) * (row + 1);
  const size_t blocks = (raw + c_storedBlock - 1) / c_storedBlock;

  out->clear();
  static const uint8_t c_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  out->insert(out->end(), c_signature, c_signature + 8);
  const uint8_t colourType = channels == 1 ? 0 : channels == 3 ? 2 : 6;
  std::vector<uint8_t> header;
  Put32(&header, static_cast<uint32_t>(width));
  Put32(&header, static_cast<uint32_t>(height));
  const uint8_t rest[5] = {8, colourType, 0, 0, 0};  // depth, colour type, deflate, filters, no interlace
  header.insert(header.end(), rest, rest + 5);
  PutChunk(out, "IHDR", header.data(), header.size());

  // The zlib stream: header, the filtered rows (filter 0 on every row) in stored blocks, Adler-32.
  std::vector<uint8_t> z;
  z.reserve(2 + blocks * 5 + raw + 4);
  z.push_back(0x78);
  z.push_back(0x01);
  uint32_t adler = 1;
  size_t blockLeft = 0, done = 0;
  auto putRaw = [&](const uint8_t* data, size_t size) {
    while (size > 0) {
      if (blockLeft == 0) {
        const size_t len = raw - done < c_storedBlock ? raw - done : c_storedBlock;
        z.push_back(done + len == raw ? 1 : 0);  // last-block flag, block type 0 (stored)
        z.push_back(static_cast<uint8_t>(len));
        z.push_back(static_cast<uint8_t>(len >> 8));
        z.push_back(static_cast<uint8_t>(~len));
        z.push_back(static_cast<uint8_t>(~len >> 8));
        blockLeft = len;
      }
      const size_t n = size < blockLeft ? size : blockLeft;
      z.insert(z.end(), data, data + n);
      adler = Adler32(data, n, adler);
      data += n;
      size -= n;
      blockLeft -= n;
      done += n;
    }
  };
  for (int y = 0; y < height; ++y) {
    const int source = bottomUp ? height - 1 - y : y;
    const uint8_t filter = 0;
    putRaw(&filter, 1);
    putRaw(pixels + static_cast<size_t>(source) * row, row);
  }
  Put32(&z, adler);
  PutChunk(out, "IDAT", z.data(), z.size());
  PutChunk(out, "IEND", nullptr, 0);
  return true;
}

bool PngWrite(const char* path, const uint8_t* pixels, int width, int height, int channels, bool bottomUp) {
  std::vector<uint8_t> png;
  if (!PngEncode(&png, pixels, width, height, channels, bottomUp)) return false;
  FILE* file = path ? fopen(path, "wb") : nullptr;
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
