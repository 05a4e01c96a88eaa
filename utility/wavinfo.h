// WavInfo: walks the chunks of a RIFF WAVE sound held in memory and describes its samples.
#pragma once

#include <cstdint>

// Eight u32 describing a sound; the samples stay in the caller's file image. Parse logs
// nothing: the sound loader that calls it reports the failure with the file name.
struct WavInfo {
  enum { KIND_PCM = 1, KIND_IMA_ADPCM = 2 };

  uint32_t m_channels = 0;
  uint32_t m_bitsPerSample = 0;  // 16 for IMA ADPCM, the decoded width
  uint32_t m_sampleRate = 0;
  uint32_t m_kind = 0;
  uint32_t m_blockAlign = 0;     // bytes per block as stored
  uint32_t m_bytesPerBlock = 0;  // PCM: the block align; IMA ADPCM: decoded 16-bit bytes per block
  uint32_t m_dataOffset = 0;     // first sample byte, from the start of the file image
  uint32_t m_dataSize = 0;       // bytes of the data chunk

  // True only for PCM sound whose format chunk and data chunk lie wholly inside the
  // image. IMA ADPCM is described (the fields are filled) but refused: nothing decodes
  // it, and handed on as 16-bit PCM it would play as noise.
  bool Parse(const void* image, int64_t imageSize);
};

static_assert(sizeof(WavInfo) == 32, "WavInfo is eight u32");
