// PNG writing: checksums against known values, a full decode of the container, and compression.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "captured_log.h"
#include "test_support.h"
#include "utility/png.h"

// The decoder of the same library family, compiled here only, to read back what the encoder wrote.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace {

uint32_t Read32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Reads a PNG written by PngEncode back: checks the signature, every chunk's CRC, the zlib
// header and the Adler-32 of the inflated rows, then decodes the pixels with stb_image (a reader
// written apart from the encoder). Fails the test on any fault.
struct Decoded {
  uint32_t width = 0, height = 0;
  int colourType = -1;
  std::vector<uint8_t> raw;     // filter byte + filtered row, per row
  std::vector<uint8_t> pixels;  // top row first, the image's own channel count
  std::vector<std::string> chunks;
};

Decoded Decode(const std::vector<uint8_t>& png) {
  Decoded d;
  static const uint8_t c_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  EXPECT_GE(png.size(), 8u);
  EXPECT_EQ(memcmp(png.data(), c_signature, 8), 0);
  std::vector<uint8_t> z;
  size_t at = 8;
  while (at + 12 <= png.size()) {
    const uint32_t length = Read32(&png[at]);
    EXPECT_LE(at + 12 + length, png.size());
    if (at + 12 + length > png.size()) return d;
    const std::string type(reinterpret_cast<const char*>(&png[at + 4]), 4);
    d.chunks.push_back(type);
    EXPECT_EQ(Read32(&png[at + 8 + length]), Crc32(&png[at + 4], length + 4)) << type;
    const uint8_t* body = &png[at + 8];
    if (type == "IHDR") {
      d.width = Read32(body);
      d.height = Read32(body + 4);
      EXPECT_EQ(body[8], 8);
      d.colourType = body[9];
    }
    if (type == "IDAT") z.insert(z.end(), body, body + length);
    at += 12 + length;
  }
  EXPECT_EQ(at, png.size());
  // zlib: header check bits, the deflate stream, the Adler-32 of what it inflates to.
  EXPECT_GE(z.size(), 6u);
  if (z.size() < 6) return d;
  EXPECT_EQ((z[0] * 256 + z[1]) % 31, 0) << "zlib header check bits";
  int rawSize = 0;
  char* raw = stbi_zlib_decode_malloc(reinterpret_cast<const char*>(z.data()), static_cast<int>(z.size()), &rawSize);
  EXPECT_NE(raw, nullptr) << "the deflate stream inflates";
  if (raw == nullptr) return d;
  d.raw.assign(raw, raw + rawSize);
  STBI_FREE(raw);
  EXPECT_EQ(Read32(&z[z.size() - 4]), Adler32(d.raw.data(), d.raw.size()));
  int w = 0, h = 0, n = 0;
  uint8_t* pixels = stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &w, &h, &n, 0);
  EXPECT_NE(pixels, nullptr) << stbi_failure_reason();
  if (pixels == nullptr) return d;
  d.pixels.assign(pixels, pixels + static_cast<size_t>(w) * h * n);
  stbi_image_free(pixels);
  return d;
}

}  // namespace

TEST(PngTest, ChecksumsMatchTheirStandardCheckValues) {
  EXPECT_EQ(Crc32("123456789", 9), 0xcbf43926u);
  EXPECT_EQ(Crc32("", 0), 0u);
  EXPECT_EQ(Crc32("6789", 4, Crc32("12345", 5)), 0xcbf43926u) << "continued in pieces";
  EXPECT_EQ(Adler32("Wikipedia", 9), 0x11e60398u);
  EXPECT_EQ(Adler32("", 0), 1u);
  // Past the 5552-byte stretch where the sums must be reduced: 100000 bytes of 0xff.
  std::vector<uint8_t> ones(100000, 0xff);
  uint64_t a = 1, b = 0;
  for (uint8_t v : ones) {
    a = (a + v) % 65521;
    b = (b + a) % 65521;
  }
  EXPECT_EQ(Adler32(ones.data(), ones.size()), static_cast<uint32_t>((b << 16) | a));
}

TEST(PngTest, EncodedImagesDecodeToTheirRows) {
  struct Case {
    int width, height, channels;
    bool bottomUp;
  };
  // A 1x1 image, a bottom-up RGBA one, and a grey one of noise-like bytes that barely compress.
  const Case cases[] = {{1, 1, 3, false}, {5, 3, 4, true}, {400, 400, 1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    const size_t row = static_cast<size_t>(c.width) * c.channels;
    std::vector<uint8_t> pixels(row * c.height);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 + i / 13);
    std::vector<uint8_t> png;
    ASSERT_TRUE(PngEncode(&png, pixels.data(), c.width, c.height, c.channels, c.bottomUp));
    const Decoded d = Decode(png);
    EXPECT_EQ(d.chunks, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    EXPECT_EQ(d.width, static_cast<uint32_t>(c.width));
    EXPECT_EQ(d.height, static_cast<uint32_t>(c.height));
    EXPECT_EQ(d.colourType, c.channels == 1 ? 0 : c.channels == 3 ? 2 : 6);
    ASSERT_EQ(d.raw.size(), (row + 1) * c.height);
    ASSERT_EQ(d.pixels.size(), row * c.height);
    for (int y = 0; y < c.height; ++y) {
      const int source = c.bottomUp ? c.height - 1 - y : y;
      EXPECT_LE(d.raw[y * (row + 1)], 4) << "filter byte";
      EXPECT_EQ(memcmp(&d.pixels[y * row], &pixels[source * row], row), 0) << "row " << y;
    }
  }
}

TEST(PngTest, ScreenshotsAreCompressed) {
  // A screenshot-like 1280x720 picture: smooth shading with flat areas. Stored, it would take
  // 2.77 MB; compressed it must take a small part of that, and still decode to the same pixels.
  const int w = 1280, h = 720;
  std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &pixels[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = static_cast<uint8_t>(x / 5), p[1] = static_cast<uint8_t>(y / 3), p[2] = (x / 64 + y / 48) % 2 ? 200 : 40;
    }
  std::vector<uint8_t> png;
  ASSERT_TRUE(PngEncode(&png, pixels.data(), w, h, 3, true));
  EXPECT_LT(png.size(), pixels.size() / 10);
  const Decoded d = Decode(png);
  ASSERT_EQ(d.pixels.size(), pixels.size());
  EXPECT_EQ(memcmp(&d.pixels[0], &pixels[static_cast<size_t>(h - 1) * w * 3], w * 3), 0) << "bottom-up: top row";
}

TEST(PngTest, BadArgumentsAndUnwritablePathsFailWithALogLine) {
  CapturedLog log;
  std::vector<uint8_t> png;
  const uint8_t pixel[4] = {};
  EXPECT_FALSE(PngEncode(&png, pixel, 0, 1, 3, false));
  EXPECT_FALSE(PngEncode(&png, pixel, 1, -1, 3, false));
  EXPECT_FALSE(PngEncode(&png, pixel, 1, 1, 2, false));
  EXPECT_FALSE(PngEncode(&png, nullptr, 1, 1, 3, false));
  EXPECT_EQ(log.CountPrefix("PNG of "), 4);
  EXPECT_FALSE(PngWrite("/nonexistent-folder/x.png", pixel, 1, 1, 4, false));
  EXPECT_TRUE(log.Has("Cannot write the picture"));
  const std::string path = TestTempFolder("png") + "/one.png";
  EXPECT_TRUE(PngWrite(path.c_str(), pixel, 1, 1, 4, false));
  FILE* file = fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  fclose(file);
}
