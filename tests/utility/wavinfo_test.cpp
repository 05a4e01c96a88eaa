// WavInfo: the chunk walk, PCM and IMA ADPCM formats, and hostile or truncated images.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "utility/wavinfo.h"

namespace {
struct Wav {
  std::vector<uint8_t> bytes;
  Wav() { Raw("RIFF"), U32(0), Raw("WAVE"); }
  Wav& Raw(const char* text) {
    bytes.insert(bytes.end(), text, text + strlen(text));
    return *this;
  }
  Wav& U16(uint32_t v) {
    bytes.push_back(static_cast<uint8_t>(v));
    bytes.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
  }
  Wav& U32(uint32_t v) { return U16(v & 0xffff).U16(v >> 16); }
  Wav& Zeros(size_t n) {
    bytes.insert(bytes.end(), n, 0);
    return *this;
  }
  // A 16-byte format chunk.
  Wav& Fmt(uint32_t tag, uint32_t channels, uint32_t rate, uint32_t blockAlign, uint32_t bits) {
    Raw("fmt ").U32(16).U16(tag).U16(channels).U32(rate).U32(rate * blockAlign).U16(blockAlign).U16(bits);
    return *this;
  }
  Wav& Data(uint32_t size) { return Raw("data").U32(size).Zeros(size); }
  size_t Pos() const { return bytes.size(); }
  bool Parse(WavInfo* info) const { return info->Parse(bytes.data(), static_cast<int64_t>(bytes.size())); }
};
}  // namespace

TEST(WavInfo, Pcm) {
  Wav w;
  w.Fmt(1, 2, 22050, 2, 8);
  size_t dataPos = w.Pos();
  w.Data(100);
  WavInfo info;
  ASSERT_TRUE(w.Parse(&info));
  EXPECT_EQ(info.m_kind, 1u);
  EXPECT_EQ(info.m_channels, 2u);
  EXPECT_EQ(info.m_bitsPerSample, 8u);
  EXPECT_EQ(info.m_bytesPerBlock, 2u);
  EXPECT_EQ(info.m_sampleRate, 22050u);
  EXPECT_EQ(info.m_dataOffset, dataPos + 8);
  EXPECT_EQ(info.m_dataSize, 100u);
}

TEST(WavInfo, ListChunkIsSkipped) {
  WavInfo info;
  // A LIST chunk between "fmt " and "data".
  Wav l;
  l.Fmt(1, 1, 44100, 2, 16).Raw("LIST").U32(26).Raw("INFOISFT").U32(14).Raw("Lavf58.76.100").Zeros(1);
  size_t dataPos = l.Pos();
  l.Data(64);
  ASSERT_TRUE(l.Parse(&info));
  EXPECT_EQ(info.m_dataOffset, dataPos + 8);
  EXPECT_EQ(info.m_bitsPerSample, 16u);
}

TEST(WavInfo, OddChunkSizesWithAndWithoutThePadByte) {
  WavInfo info;
  // Odd chunk sizes: with the RIFF pad byte, and without it as some writers do.
  Wav padded;
  padded.Fmt(1, 1, 8000, 1, 8).Raw("junk").U32(3).Raw("abc").Zeros(1);
  size_t dataPos = padded.Pos();
  padded.Data(10);
  EXPECT_TRUE(padded.Parse(&info));
  EXPECT_EQ(info.m_dataOffset, dataPos + 8);
  Wav unpadded;
  unpadded.Fmt(1, 1, 8000, 1, 8).Raw("junk").U32(3).Raw("abc");
  dataPos = unpadded.Pos();
  unpadded.Data(10);
  ASSERT_TRUE(unpadded.Parse(&info));
  EXPECT_EQ(info.m_dataOffset, dataPos + 8);
}

TEST(WavInfo, ChunkOrderAndTheLastFmtAndDataChunks) {
  WavInfo info;
  // The data chunk may come first; the last "fmt " and "data" chunks are used.
  Wav order;
  order.Data(4).Fmt(1, 1, 8000, 1, 8).Fmt(1, 1, 11025, 2, 16);
  size_t dataPos = order.Pos();
  order.Data(6);
  ASSERT_TRUE(order.Parse(&info));
  EXPECT_EQ(info.m_sampleRate, 11025u);
  EXPECT_EQ(info.m_dataSize, 6u);
  EXPECT_EQ(info.m_dataOffset, dataPos + 8);
}

TEST(WavInfo, ALargerFormatChunk) {
  WavInfo info;
  // A larger format chunk (WAVEFORMATEX with its extra size) is fine.
  Wav ex;
  ex.Raw("fmt ").U32(18).U16(1).U16(1).U32(8000).U32(16000).U16(2).U16(16).U16(0);
  ex.Data(8);
  EXPECT_TRUE(ex.Parse(&info));
}

TEST(WavInfo, ImaAdpcmIsDescribedButRefused) {
  // Nothing decodes IMA ADPCM, so it is refused; the fields still describe it.
  Wav w;
  w.Fmt(17, 1, 22050, 512, 4).Data(1024);
  WavInfo info;
  EXPECT_FALSE(w.Parse(&info));
  EXPECT_EQ(info.m_kind, 2u);
  EXPECT_EQ(info.m_bytesPerBlock, 2032u);
  EXPECT_EQ(info.m_bitsPerSample, 16u);
  EXPECT_EQ(info.m_blockAlign, 512u);

  // A block smaller than its headers must not wrap into a huge count.
  Wav tiny;
  tiny.Fmt(17, 2, 22050, 4, 4).Data(8);
  EXPECT_FALSE(tiny.Parse(&info));
  EXPECT_EQ(info.m_bytesPerBlock, 0u);
}

TEST(WavInfo, HostileImages) {
  WavInfo info;
  EXPECT_FALSE(info.Parse(nullptr, 100));

  // Every truncation of a good file is refused, and each copy is exactly that long so
  // the sanitizer build catches any read beyond it.
  Wav good;
  good.Fmt(1, 1, 8000, 1, 8).Data(20);
  for (size_t n = 0; n < good.bytes.size(); n++) {
    std::vector<uint8_t> cut(good.bytes.begin(), good.bytes.begin() + n);
    EXPECT_FALSE(info.Parse(cut.data(), static_cast<int64_t>(cut.size()))) << n;
  }
  ASSERT_TRUE(good.Parse(&info));

  // Other tags, wrong magic, missing chunks.
  Wav other;
  other.Fmt(3, 1, 8000, 4, 32).Data(8);
  EXPECT_FALSE(other.Parse(&info));
  Wav magic = good;
  magic.bytes[8] = 'X';
  EXPECT_FALSE(magic.Parse(&info));
  Wav noData;
  noData.Fmt(1, 1, 8000, 1, 8);
  EXPECT_FALSE(noData.Parse(&info));
  Wav noFmt;
  noFmt.Data(8);
  EXPECT_FALSE(noFmt.Parse(&info));

  // A format chunk too small for its fields, by its size or by the end of the image.
  Wav shortFmt;
  shortFmt.Raw("fmt ").U32(8).U16(1).U16(1).U32(8000).Data(8);
  EXPECT_FALSE(shortFmt.Parse(&info));
  Wav fmtLast;
  fmtLast.Data(8).Raw("fmt ").U32(16).U16(1).U16(1).U32(8000);
  EXPECT_FALSE(fmtLast.Parse(&info));

  // A data chunk claiming more than the image holds, up to 0xffffffff.
  Wav big;
  big.Fmt(1, 1, 8000, 1, 8).Raw("data").U32(0xffffffffu).Zeros(16);
  EXPECT_FALSE(big.Parse(&info));
  Wav oneOver;
  oneOver.Fmt(1, 1, 8000, 1, 8).Raw("data").U32(17).Zeros(16);
  EXPECT_FALSE(oneOver.Parse(&info));

  // A huge chunk before "fmt ": its size must not wrap the walk back into the image.
  Wav wrap;
  wrap.Raw("LIST").U32(0xfffffff0u).Fmt(1, 1, 8000, 1, 8).Data(8);
  EXPECT_FALSE(wrap.Parse(&info));

  // Zero channels or block align would divide by zero in the sound loader.
  Wav noChannels;
  noChannels.Fmt(1, 0, 8000, 1, 8).Data(8);
  EXPECT_FALSE(noChannels.Parse(&info));
  Wav noBlock;
  noBlock.Fmt(1, 1, 8000, 0, 8).Data(8);
  EXPECT_FALSE(noBlock.Parse(&info));

  // A trailing partial chunk header ends the walk without harm.
  Wav trailing = good;
  trailing.Raw("LIS");
  EXPECT_TRUE(trailing.Parse(&info));
  EXPECT_EQ(info.m_dataSize, 20u);
}
