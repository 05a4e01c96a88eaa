// WavInfo: the RIFF chunk walk and the format checks for the sounds the game plays.
#include "utility/wavinfo.h"

#include <cstring>

namespace {
constexpr int64_t c_fmtBodySize = 16;
constexpr int c_tagPcm = 1;
constexpr int c_tagImaAdpcm = 17;

uint32_t U32(const uint8_t* p, int64_t offset) {
  return static_cast<uint32_t>(p[offset]) | static_cast<uint32_t>(p[offset + 1]) << 8 |
         static_cast<uint32_t>(p[offset + 2]) << 16 | static_cast<uint32_t>(p[offset + 3]) << 24;
}
uint32_t U16(const uint8_t* p, int64_t offset) { return p[offset] | static_cast<uint32_t>(p[offset + 1]) << 8; }
}  // namespace

bool WavInfo::Parse(const void* imageData, int64_t imageSize) {
  const uint8_t* image = static_cast<const uint8_t*>(imageData);
  if (!image || imageSize < 12) return false;
  if (memcmp(image, "RIFF", 4) != 0 || memcmp(image + 8, "WAVE", 4) != 0) return false;

  int64_t fmtPos = -1, dataPos = -1;
  int64_t pos = 12;
  // A chunk header that does not fit wholly inside the image ends the walk. Positions
  // are 64-bit, so a huge chunk size cannot wrap around to an earlier position.
  while (pos + 8 <= imageSize) {
    uint32_t size = U32(image, pos + 4);
    if (memcmp(image + pos, "fmt ", 4) == 0) fmtPos = pos;
    if (memcmp(image + pos, "data", 4) == 0) dataPos = pos;
    int64_t next = pos + 8 + size;
    // RIFF pads odd chunks to an even size, but some writers leave the pad out. A pad
    // byte is zero and no chunk id starts with one, so skip a zero after an odd body.
    if ((size & 1) && next < imageSize && image[next] == 0) next++;
    pos = next;
  }
  if (fmtPos < 0 || dataPos < 0) return false;

  // The format chunk must hold its 16 bytes, both by its own size and inside the image.
  if (U32(image, fmtPos + 4) < c_fmtBodySize || fmtPos + 8 + c_fmtBodySize > imageSize) return false;
  const uint8_t* fmt = image + fmtPos + 8;
  uint32_t tag = U16(fmt, 0);
  uint32_t channels = U16(fmt, 2);
  uint32_t sampleRate = U32(fmt, 4);
  uint32_t blockAlign = U16(fmt, 12);
  uint32_t bits = U16(fmt, 14);

  // Every sample byte must lie inside the image: the sound loader copies the whole
  // data chunk into an audio buffer.
  int64_t dataOffset = dataPos + 8;
  int64_t dataSize = U32(image, dataPos + 4);
  bool dataInside = dataOffset + dataSize <= imageSize && dataOffset <= UINT32_MAX;

  if (tag == c_tagPcm) {
    m_channels = channels;
    m_bitsPerSample = bits;
    m_sampleRate = sampleRate;
    m_kind = KIND_PCM;
    m_blockAlign = blockAlign;
    m_bytesPerBlock = blockAlign;
    m_dataOffset = static_cast<uint32_t>(dataOffset);
    m_dataSize = static_cast<uint32_t>(dataSize);
    // Callers divide by the block size and pick a buffer layout by channel count.
    return dataInside && channels > 0 && blockAlign > 0;
  }
  if (tag == c_tagImaAdpcm) {
    int64_t decoded = (static_cast<int64_t>(blockAlign) - 4 * static_cast<int64_t>(channels)) * 4;
    m_channels = channels;
    m_bitsPerSample = 16;
    m_sampleRate = sampleRate;
    m_kind = KIND_IMA_ADPCM;
    m_blockAlign = blockAlign;
    m_bytesPerBlock = decoded > 0 ? static_cast<uint32_t>(decoded) : 0;
    m_dataOffset = static_cast<uint32_t>(dataOffset);
    m_dataSize = static_cast<uint32_t>(dataSize);
    // Nothing in the game decodes IMA ADPCM; the audio library would take the blocks
    // as 16-bit PCM and play noise. Refused even when well formed.
    return false;
  }
  return false;
}
