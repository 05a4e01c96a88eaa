// DdsFile: header checks for the texture layouts the renderer uploads, and mip-level lookup.
#include "utility/ddsfile.h"

#include <cstring>

#include "utility/log.h"

namespace {
constexpr int64_t c_headerSize = 128;
constexpr int64_t c_dx10HeaderSize = 148;

uint32_t U32(const uint8_t* p, int offset) {
  return static_cast<uint32_t>(p[offset]) | static_cast<uint32_t>(p[offset + 1]) << 8 |
         static_cast<uint32_t>(p[offset + 2]) << 16 | static_cast<uint32_t>(p[offset + 3]) << 24;
}

bool Code(const uint8_t* p, int offset, const char* code) { return memcmp(p + offset, code, 4) == 0; }
}  // namespace

int64_t DdsLevelSize(int format, int width, int height) {
  int64_t w = width, h = height;
  switch (format) {
    case DdsFile::FMT_RGBA8:
      return w * h * 4;
    case DdsFile::FMT_BC1:
      return ((w + 3) / 4) * ((h + 3) / 4) * 8;
    case DdsFile::FMT_BC3:
      return ((w + 3) / 4) * ((h + 3) / 4) * 16;
  }
  return 0;
}

bool DdsFile::Parse(const void* imageData, int64_t imageSize) {
  const uint8_t* image = static_cast<const uint8_t*>(imageData);
  if (!image || imageSize < c_headerSize) return false;
  if (!Code(image, 0, "DDS ")) return false;
  if (U32(image, 4) != 124 || U32(image, 76) != 32) return false;
  uint32_t depth = U32(image, 24);
  if (depth > 1 || U32(image, 112) != 0) return false;

  int format = FMT_NONE;
  int64_t dataOffset = c_headerSize;
  uint32_t flags = U32(image, 80);
  if ((flags & 0x41) == 0x41) {
    if (U32(image, 88) == 32 && U32(image, 92) == 0x00ff0000 && U32(image, 96) == 0x0000ff00 &&
        U32(image, 100) == 0x000000ff && U32(image, 104) == 0xff000000)
      format = FMT_RGBA8;
  } else if (flags & 0x4) {
    if (Code(image, 84, "DXT1")) {
      format = FMT_BC1;
    } else if (Code(image, 84, "DXT5")) {
      format = FMT_BC3;
    } else if (Code(image, 84, "DX10")) {
      // The extended header must be there before any of it is read.
      if (imageSize < c_dx10HeaderSize) return false;
      uint32_t dxgi = U32(image, 128);
      if (dxgi == 28) format = FMT_RGBA8;
      if (dxgi == 71) format = FMT_BC1;
      if (dxgi == 77) format = FMT_BC3;
      if (U32(image, 132) != 3 || U32(image, 136) != 0 || U32(image, 140) != 1) return false;
      dataOffset = c_dx10HeaderSize;
    }
  }
  if (format == FMT_NONE) return false;

  uint32_t width = U32(image, 16), height = U32(image, 12);
  // An empty image has nothing to upload. The size limit keeps every level size far
  // inside 64 bits (2^24 x 2^24 x 4 bytes is 2^50), so no product can wrap.
  if (width == 0 || height == 0 || width > DDSMAXSIZE || height > DDSMAXSIZE) return false;
  uint32_t stored = U32(image, 28);
  if (stored == 0) stored = 1;

  int levelCount = 1;
  if (stored >= 2) {
    for (uint32_t w = width, h = height; w > 1 || h > 1; w >>= 1, h >>= 1) levelCount++;
  }
  // A header may claim more levels than the chain has; the extra ones are never reached.
  int levelsStored = stored > static_cast<uint32_t>(levelCount) ? levelCount : static_cast<int>(stored);

  // Every stored level must lie inside the image, so that the uploader never reads past
  // it. Each size is checked against what remains, so the sum cannot overflow.
  int64_t remaining = imageSize - dataOffset;
  int w = static_cast<int>(width), h = static_cast<int>(height);
  for (int i = 0; i < levelsStored; i++) {
    int64_t size = DdsLevelSize(format, w, h);
    if (size > remaining) return false;
    remaining -= size;
    if (w > 1) w >>= 1;
    if (h > 1) h >>= 1;
  }

  m_format = format;
  m_width = static_cast<int32_t>(width);
  m_height = static_cast<int32_t>(height);
  m_levelCount = levelCount;
  m_levelsStored = levelsStored;
  m_data = image + dataOffset;
  return true;
}

bool DdsFile::GetMipLevel(int level, int* width, int* height, int64_t* byteSize, const uint8_t** data) const {
  int w = 0, h = 0;
  int64_t size = 0;
  const uint8_t* p = nullptr;
  bool ok = false;
  if (m_format == FMT_NONE) {
    ASSERT(false);
  } else if (level < 0 || level >= m_levelCount) {
    ASSERTM(level >= 0 && level < m_levelCount, "level %d of %d", level, m_levelCount);
  } else {
    w = m_width;
    h = m_height;
    p = m_data;
    size = DdsLevelSize(m_format, w, h);
    for (int i = 0; i < level; i++) {
      if (w > 1) w >>= 1;
      if (h > 1) h >>= 1;
      // Levels beyond those stored repeat the last stored one.
      if (i + 1 < m_levelsStored) {
        p += size;
        size = DdsLevelSize(m_format, w, h);
      }
    }
    ok = true;
  }
  if (width) *width = w;
  if (height) *height = h;
  if (byteSize) *byteSize = size;
  if (data) *data = p;
  return ok;
}
