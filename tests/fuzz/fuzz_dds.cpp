// Fuzzes the DDS reader and the texture decoding on top of it: every level it reports must lie inside the image.
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "graphics/models/model_formats.h"
#include "utility/ddsfile.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpFolders(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly the input's size, so a read past its end is caught.
  std::unique_ptr<uint8_t[]> image(new uint8_t[size ? size : 1]);
  if (size) memcpy(image.get(), data, size);
  const uint8_t* end = image.get() + size;
  DdsFile dds;
  if (dds.Parse(image.get(), static_cast<int64_t>(size))) {
    if (dds.m_width < 1 || dds.m_height < 1 || dds.m_width > DDSMAXSIZE || dds.m_height > DDSMAXSIZE) abort();
    if (dds.m_levelsStored < 1 || dds.m_levelsStored > dds.m_levelCount || dds.m_levelCount > 32) abort();
    for (int level = -1; level <= dds.m_levelCount; ++level) {
      int w = -1, h = -1;
      int64_t bytes = -1;
      const uint8_t* p = nullptr;
      // A level out of range is the caller's mistake: refused, and reported as an assertion.
      const bool inRange = level >= 0 && level < dds.m_levelCount;
      fuzz::assertsAllowed += !inRange;
      const bool ok = dds.GetMipLevel(level, &w, &h, &bytes, &p);
      fuzz::assertsAllowed = 0;
      if (ok != inRange) abort();
      if (!ok) continue;
      if (w < 1 || h < 1) abort();
      const int64_t expected = DdsLevelSize(dds.m_format, w, h);
      if (level < dds.m_levelsStored ? bytes != expected : bytes < expected) abort();
      // A stored level lies wholly inside the image; a missing one repeats the last stored data,
      // which is at least as large.
      if (!p || p < image.get() || p > end || bytes > end - p) abort();
      fuzz::Touch(p, static_cast<size_t>(bytes));
    }
  }
  TextureImage texture;
  if (TextureDecode(image.get(), static_cast<int64_t>(size), &texture) != dds.Parse(image.get(), size)) abort();
  return 0;
}
