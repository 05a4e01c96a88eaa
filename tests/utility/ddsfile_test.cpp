// DdsFile: accepted layouts, mip-level arithmetic, and hostile headers and short images.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "test_support.h"
#include "utility/ddsfile.h"

namespace {
void Put(std::vector<uint8_t>& image, int offset, uint32_t v) {
  for (int i = 0; i < 4; i++) image[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutCode(std::vector<uint8_t>& image, int offset, const char* code) { memcpy(&image[offset], code, 4); }

// A header for the given size and four-character code ("" for 32-bit RGBA masks),
// followed by dataBytes of pixel data.
std::vector<uint8_t> Dds(uint32_t width, uint32_t height, uint32_t mips, const char* code, int64_t dataBytes) {
  bool dx10 = strcmp(code, "DX10") == 0;
  std::vector<uint8_t> image((dx10 ? 148 : 128) + dataBytes, 0);
  PutCode(image, 0, "DDS ");
  Put(image, 4, 124);
  Put(image, 12, height);
  Put(image, 16, width);
  Put(image, 28, mips);
  Put(image, 76, 32);
  if (code[0]) {
    Put(image, 80, 0x4);
    PutCode(image, 84, code);
  } else {
    Put(image, 80, 0x41);
    Put(image, 88, 32);
    Put(image, 92, 0x00ff0000);
    Put(image, 96, 0x0000ff00);
    Put(image, 100, 0x000000ff);
    Put(image, 104, 0xff000000);
  }
  if (dx10) {
    Put(image, 128, 71);
    Put(image, 132, 3);
    Put(image, 136, 0);
    Put(image, 140, 1);
  }
  return image;
}

// The bytes of a full DXT1 chain for 256x128: 16384 + 4096 + 1024 + 256 + 64 + 16 + 8 + 8 + 8.
constexpr int64_t c_chain256x128 = 21864;
}  // namespace

TEST(DdsFile, Bc1WithAFullMipChain) {
  std::vector<uint8_t> image = Dds(256, 128, 9, "DXT1", c_chain256x128);
  DdsFile dds;
  ASSERT_TRUE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  EXPECT_EQ(dds.m_format, DdsFile::FMT_BC1);
  EXPECT_EQ(dds.m_width, 256);
  EXPECT_EQ(dds.m_height, 128);
  EXPECT_EQ(dds.m_levelCount, 9);
  EXPECT_EQ(dds.m_levelsStored, 9);
  EXPECT_EQ(dds.m_data, image.data() + 128);
  int w, h;
  int64_t size;
  const uint8_t* data;
  ASSERT_TRUE(dds.GetMipLevel(8, &w, &h, &size, &data));
  EXPECT_EQ(w, 1);
  EXPECT_EQ(h, 1);
  EXPECT_EQ(size, 8);
  EXPECT_EQ(data + 8, image.data() + image.size());  // the last level ends the file
  ASSERT_TRUE(dds.GetMipLevel(2, &w, &h, &size, &data));
  EXPECT_EQ(data - dds.m_data, 16384 + 4096);
  EXPECT_EQ(w, 64);
  EXPECT_EQ(h, 32);
}

TEST(DdsFile, OneLevelAndSmallRgbaLevels) {
  DdsFile dds;
  // Mip-map count 1: one level.
  std::vector<uint8_t> image = Dds(256, 128, 1, "DXT1", 16384);
  ASSERT_TRUE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  EXPECT_EQ(dds.m_levelCount, 1);
  EXPECT_EQ(dds.m_levelsStored, 1);

  // 4x4 RGBA with three levels: 64, 16 and 4 bytes.
  image = Dds(4, 4, 3, "", 64 + 16 + 4);
  ASSERT_TRUE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  EXPECT_EQ(dds.m_format, DdsFile::FMT_RGBA8);
  EXPECT_EQ(dds.m_levelCount, 3);
  int64_t sizes[3];
  for (int i = 0; i < 3; i++) ASSERT_TRUE(dds.GetMipLevel(i, nullptr, nullptr, &sizes[i], nullptr));
  EXPECT_EQ(sizes[0], 64);
  EXPECT_EQ(sizes[1], 16);
  EXPECT_EQ(sizes[2], 4);
}

TEST(DdsFile, Dx10HeaderAndDxt5Blocks) {
  DdsFile dds;
  // DX10 with BC1 needs the 148-byte header; DXT5 blocks are 16 bytes.
  std::vector<uint8_t> image = Dds(8, 8, 1, "DX10", 32);
  ASSERT_TRUE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  EXPECT_EQ(dds.m_format, DdsFile::FMT_BC1);
  EXPECT_EQ(dds.m_data, image.data() + 148);
  image = Dds(8, 8, 0, "DXT5", 64);
  ASSERT_TRUE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  EXPECT_EQ(dds.m_format, DdsFile::FMT_BC3);
  EXPECT_EQ(dds.m_levelsStored, 1);
}

TEST(DdsFile, LevelsBeyondTheStoredOnesReportTheLastStored) {
  DdsFile dds;
  // Only five of nine levels stored: later levels keep halving but report level 4.
  std::vector<uint8_t> image = Dds(256, 128, 5, "DXT1", 16384 + 4096 + 1024 + 256 + 64);
  ASSERT_TRUE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  EXPECT_EQ(dds.m_levelCount, 9);
  const uint8_t* level4;
  int64_t size4;
  ASSERT_TRUE(dds.GetMipLevel(4, nullptr, nullptr, &size4, &level4));
  int w, h;
  int64_t size;
  const uint8_t* data;
  ASSERT_TRUE(dds.GetMipLevel(8, &w, &h, &size, &data));
  EXPECT_EQ(w, 1);
  EXPECT_EQ(h, 1);
  EXPECT_EQ(data, level4);
  EXPECT_EQ(size, size4);
  EXPECT_LE(data + size, image.data() + image.size());
}

TEST(DdsFile, RefusedLayouts) {
  DdsFile dds;
  // 24-bit RGB without alpha.
  std::vector<uint8_t> image = Dds(4, 4, 1, "", 64);
  Put(image, 80, 0x40);
  Put(image, 88, 24);
  EXPECT_FALSE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  // BGRA masks.
  image = Dds(4, 4, 1, "", 64);
  Put(image, 92, 0x000000ff);
  Put(image, 100, 0x00ff0000);
  EXPECT_FALSE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  // DX10 with sRGB RGBA (29), a texture array, or a 3D resource.
  image = Dds(4, 4, 1, "DX10", 64);
  Put(image, 128, 29);
  EXPECT_FALSE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  image = Dds(4, 4, 1, "DX10", 64);
  Put(image, 140, 6);
  EXPECT_FALSE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  image = Dds(4, 4, 1, "DX10", 64);
  Put(image, 132, 4);
  EXPECT_FALSE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  // Cube maps, volumes, other codes, bad magic and header sizes.
  image = Dds(4, 4, 1, "DXT1", 8);
  Put(image, 112, 0x200);
  EXPECT_FALSE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  image = Dds(4, 4, 1, "DXT1", 8);
  Put(image, 24, 2);
  EXPECT_FALSE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  image = Dds(4, 4, 1, "DXT3", 16);
  EXPECT_FALSE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  image = Dds(4, 4, 1, "DXT1", 8);
  image[3] = 'X';
  EXPECT_FALSE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  image = Dds(4, 4, 1, "DXT1", 8);
  Put(image, 4, 123);
  EXPECT_FALSE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  // A refused parse leaves the fields as they were.
  EXPECT_EQ(dds.m_format, DdsFile::FMT_NONE);
  EXPECT_EQ(dds.m_data, nullptr);
  EXPECT_FALSE(dds.Parse(nullptr, 1000));
}

TEST(DdsFile, HostileImagesNeverReadPastTheEnd) {
  DdsFile dds;
  // Truncated headers: every length below the header is refused. Each copy is exactly
  // that long, so the sanitizer build catches any read beyond it.
  std::vector<uint8_t> full = Dds(8, 8, 1, "DX10", 32);
  for (size_t n = 0; n < 148; n++) {
    std::vector<uint8_t> cut(full.begin(), full.begin() + n);
    EXPECT_FALSE(dds.Parse(cut.data(), static_cast<int64_t>(cut.size()))) << n;
  }
  std::vector<uint8_t> headerOnly = Dds(8, 8, 1, "DXT1", 0);
  EXPECT_FALSE(dds.Parse(headerOnly.data(), 128));
  EXPECT_FALSE(dds.Parse(headerOnly.data(), -5));

  // One byte short of the full chain: refused, whichever level is short.
  std::vector<uint8_t> image = Dds(256, 128, 9, "DXT1", c_chain256x128 - 1);
  EXPECT_FALSE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  image = Dds(256, 128, 9, "DXT1", 16384);  // level 0 only, header claims nine
  EXPECT_FALSE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));

  // Header-only images claiming huge sizes: the 64-bit level sizes (up to 2^64 for
  // 2^31 x 2^31 RGBA) must be refused, not wrapped into something small.
  image = Dds(0x7fffffff, 0x7fffffff, 1, "", 0);
  EXPECT_FALSE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  image = Dds(0x80000000u, 0x80000000u, 1, "", 64);
  EXPECT_FALSE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  image = Dds(0xffffffffu, 4, 32, "DXT5", 64);
  EXPECT_FALSE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  image = Dds(DDSMAXSIZE + 1, 1, 1, "DXT1", 64);
  EXPECT_FALSE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  image = Dds(DDSMAXSIZE, DDSMAXSIZE, 25, "", 64);
  EXPECT_FALSE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  image = Dds(65536, 65536, 17, "", 64);
  EXPECT_FALSE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  // Zero sizes have nothing to upload.
  image = Dds(0, 4, 1, "DXT1", 8);
  EXPECT_FALSE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));

  // A mip count beyond the chain (or 0xffffffff) only covers the real chain.
  image = Dds(4, 4, 0xffffffffu, "", 64 + 16 + 4);
  ASSERT_TRUE(dds.Parse(image.data(), static_cast<int64_t>(image.size())));
  EXPECT_EQ(dds.m_levelCount, 3);
  EXPECT_EQ(dds.m_levelsStored, 3);
  const uint8_t* data;
  int64_t size;
  ASSERT_TRUE(dds.GetMipLevel(2, nullptr, nullptr, &size, &data));
  EXPECT_EQ(data + size, image.data() + image.size());

  // Asking for a level outside the chain, or of an unparsed file, is reported.
  ExpectAsserts asserts;
  EXPECT_FALSE(dds.GetMipLevel(3, nullptr, nullptr, &size, &data));
  EXPECT_EQ(size, 0);
  EXPECT_EQ(data, nullptr);
  EXPECT_FALSE(dds.GetMipLevel(-1, nullptr, nullptr, &size, &data));
  DdsFile none;
  EXPECT_FALSE(none.GetMipLevel(0, nullptr, nullptr, &size, &data));
  EXPECT_TRUE(asserts.Saw("false"));
  EXPECT_EQ(asserts.Count(), 3);
}
