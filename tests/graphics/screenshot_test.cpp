// PNG writing: checksums against known values and a full decode of the container.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "captured_log.h"
#include "graphics/screenshot.h"
#include "test_support.h"

namespace {

uint32_t Read32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Reads a PNG written by PngEncode back into its rows: checks the signature, every chunk's
// CRC, the zlib header, the stored blocks and the Adler-32. Fails the test on any fault.
struct Decoded {
  uint32_t width = 0, height = 0;
  int colourType = -1;
  std::vector<uint8_t> raw;  // filter byte + row, per row
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
  // zlib: header, stored blocks until the last, Adler-32 of the data.
  EXPECT_GE(z.size(), 6u);
  if (z.size() < 6) return d;
  EXPECT_EQ((z[0] * 256 + z[1]) % 31, 0) << "zlib header check bits";
  size_t p = 2;
  bool last = false;
  while (!last && p + 5 <= z.size()) {
    last = z[p] & 1;
    EXPECT_EQ(z[p] & 6, 0) << "stored block";
    const uint32_t len = z[p + 1] | (z[p + 2] << 8);
    const uint32_t nlen = z[p + 3] | (z[p + 4] << 8);
    EXPECT_EQ(len ^ 0xffffu, nlen);
    p += 5;
    EXPECT_LE(p + len, z.size());
    if (p + len > z.size()) return d;
    d.raw.insert(d.raw.end(), z.begin() + p, z.begin() + p + len);
    p += len;
  }
  EXPECT_TRUE(last);
  EXPECT_EQ(p + 4, z.size());
  EXPECT_EQ(Read32(&z[p]), Adler32(d.raw.data(), d.raw.size()));
  return d;
}

}  // namespace

TEST(ScreenshotTest, ChecksumsMatchTheirStandardCheckValues) {
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

TEST(ScreenshotTest, EncodedImagesDecodeToTheirRows) {
  struct Case {
    int width, height, channels;
    bool bottomUp;
  };
  // A 1x1 image, a bottom-up RGBA one, and a grey one whose data spans three stored blocks.
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
    for (int y = 0; y < c.height; ++y) {
      const int source = c.bottomUp ? c.height - 1 - y : y;
      EXPECT_EQ(d.raw[y * (row + 1)], 0) << "filter byte";
      EXPECT_EQ(memcmp(&d.raw[y * (row + 1) + 1], &pixels[source * row], row), 0) << "row " << y;
    }
  }
}

TEST(ScreenshotTest, BadArgumentsAndUnwritablePathsFailWithALogLine) {
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
