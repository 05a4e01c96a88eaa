// DdsFile: reads the header of a DirectDraw Surface image held in memory and locates its mip levels.
#pragma once

#include <cstdint>

// Widest and tallest image accepted, in pixels; far beyond any GPU's texture limit.
#define DDSMAXSIZE (1 << 24)

// Points into the caller's file image, which must outlive it; copies nothing. Parse
// accepts only images whose header and every stored level lie wholly inside the image.
// It logs nothing: the texture loader that calls it reports the failure with the file name.
struct DdsFile {
  enum { FMT_NONE = 0, FMT_RGBA8 = 1, FMT_BC1 = 2, FMT_BC3 = 3 };

  int32_t m_format = FMT_NONE;
  int32_t m_width = 0;              // level 0
  int32_t m_height = 0;             // level 0
  int32_t m_levelCount = 0;         // the full chain down to 1x1 when the file has mip maps, else 1
  int32_t m_levelsStored = 0;       // the header's mip-map count (1 for 0), at most m_levelCount
  const uint8_t* m_data = nullptr;  // start of level 0

  // True for the accepted layouts: 32-bit RGBA, DXT1, DXT5, and those three in a DX10
  // header. Fields are set only on success.
  bool Parse(const void* image, int64_t imageSize);
  // Size and start of one level (0 .. m_levelCount - 1). Levels beyond those stored keep
  // halving but report the last stored level's data. False (sizes 0, data null) for an
  // unparsed file or a level out of range.
  bool GetMipLevel(int level, int* width, int* height, int64_t* byteSize, const uint8_t** data) const;
};

// Bytes of one level of the given format and size; 0 for no format.
int64_t DdsLevelSize(int format, int width, int height);
