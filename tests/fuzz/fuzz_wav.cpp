// Fuzzes the WAV reader: an accepted sound's samples must lie inside the image.
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "utility/wavinfo.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpFolders(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> image(new uint8_t[size ? size : 1]);
  if (size) memcpy(image.get(), data, size);
  WavInfo wav;
  if (!wav.Parse(image.get(), static_cast<int64_t>(size))) return 0;
  if (wav.m_kind != WavInfo::KIND_PCM || wav.m_channels < 1 || wav.m_blockAlign < 1) abort();
  if (uint64_t{wav.m_dataOffset} + wav.m_dataSize > size) abort();
  fuzz::Touch(image.get() + wav.m_dataOffset, wav.m_dataSize);
  return 0;
}
