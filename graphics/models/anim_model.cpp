// AnimModel: ".md2" decoding with every table and index checked against the image, frame sequences and playback.
#include "graphics/models/anim_model.h"

#include <cmath>
#include <cstring>
#include <new>
#include <unordered_map>

#include "utility/log.h"

namespace {
constexpr int64_t c_headerBytes = 68;
constexpr int64_t c_frameHeaderBytes = 40;  // scale, translate, name
constexpr int64_t c_triangleBytes = 12;
constexpr int64_t c_texCoordBytes = 4;

int32_t I32(const uint8_t* p) {
  uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
               static_cast<uint32_t>(p[3]) << 24;
  return static_cast<int32_t>(v);
}
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
int16_t S16(const uint8_t* p) { return static_cast<int16_t>(U16(p)); }
float F32(const uint8_t* p) {
  uint32_t v = static_cast<uint32_t>(I32(p));
  float f;
  memcpy(&f, &v, 4);
  return f;
}

// True when a table of count entries of the given size at offset lies wholly inside the image.
// Everything is in 64 bits, and the counts are already capped, so nothing can wrap.
bool TableFits(int32_t offset, int64_t count, int64_t entryBytes, int64_t imageSize) {
  if (count == 0) return true;
  if (offset < 0) return false;
  return int64_t{offset} + count * entryBytes <= imageSize;
}

template <typename T>
T* Alloc(int64_t count) {
  return new (std::nothrow) T[count > 0 ? count : 1]();
}

// Length of a name of at most 16 bytes less its trailing decimal digits.
int BaseLength(const char* name) {
  int n = static_cast<int>(strnlen(name, MD2NAMELEN));
  while (n > 0 && name[n - 1] >= '0' && name[n - 1] <= '9') --n;
  return n;
}
}  // namespace

AnimModel::AnimModel()
    : m_posIdxArray(nullptr),
      m_texIdxArray(nullptr),
      m_outIdxArray(nullptr),
      m_cornerCount(0),
      m_positions(nullptr),
      m_vertexCount(0),
      m_texCoords(nullptr),
      m_texCoordCount(0),
      m_pairs(nullptr),
      m_pairCount(0),
      m_skins(nullptr),
      m_skinCount(0),
      m_frameNames(nullptr),
      m_frameCount(0) {}

AnimModel::~AnimModel() {
  // The owner frees the arrays; should it forget, say so and free them anyway.
  ASSERT(m_posIdxArray == NULL);
  Free();
}

void AnimModel::Free() {
  delete[] m_posIdxArray;
  delete[] m_texIdxArray;
  delete[] m_outIdxArray;
  delete[] m_positions;
  delete[] m_texCoords;
  delete[] m_pairs;
  delete[] m_skins;
  delete[] m_frameNames;
  m_posIdxArray = m_texIdxArray = m_outIdxArray = m_pairs = nullptr;
  m_positions = m_texCoords = nullptr;
  m_skins = m_frameNames = nullptr;
  m_cornerCount = m_vertexCount = m_texCoordCount = m_pairCount = m_skinCount = m_frameCount = 0;
  m_bounds.Reset();
}

bool AnimModel::Parse(const void* imageData, int64_t imageSize, float scale, const char** reason) {
  const char* dummy;
  const char** why = reason ? reason : &dummy;
  *why = "";
  Free();
  const uint8_t* image = static_cast<const uint8_t*>(imageData);
  if (!image || imageSize < c_headerBytes) return *why = "shorter than its header", false;
  if (memcmp(image, "IDP2", 4) != 0) return *why = "not an md2 file", false;
  if (I32(image + 4) != 8) return *why = "version is not 8", false;

  const int32_t skinWidth = I32(image + 8), skinHeight = I32(image + 12);
  const int32_t skinCount = I32(image + 20), vertexCount = I32(image + 24);
  const int32_t texCount = I32(image + 28), triCount = I32(image + 32), frameCount = I32(image + 40);
  const int32_t skinsOffset = I32(image + 44), texOffset = I32(image + 48);
  const int32_t trisOffset = I32(image + 52), framesOffset = I32(image + 56);

  if (vertexCount <= 0 || texCount <= 0 || triCount <= 0 || frameCount <= 0) return *why = "a count is zero", false;
  if (skinCount < 0 || skinCount > MD2MAXSKINS || vertexCount > MD2MAXVERTICES || texCount > MD2MAXTEXCOORDS ||
      triCount > MD2MAXTRIANGLES || frameCount > MD2MAXFRAMES)
    return *why = "a count is out of range", false;
  // The texture coordinates are divided by the skin size: a zero or negative size gives no
  // usable coordinates.
  if (skinWidth <= 0 || skinHeight <= 0) return *why = "the skin size is not positive", false;
  const int64_t frameBytes = c_frameHeaderBytes + 4 * int64_t{vertexCount};
  if (!TableFits(skinsOffset, skinCount, MD2SKINLEN, imageSize)) return *why = "the skins lie outside the file", false;
  if (!TableFits(texOffset, texCount, c_texCoordBytes, imageSize))
    return *why = "the texture coordinates lie outside the file", false;
  if (!TableFits(trisOffset, triCount, c_triangleBytes, imageSize))
    return *why = "the triangles lie outside the file", false;
  if (!TableFits(framesOffset, frameCount, frameBytes, imageSize))
    return *why = "the frames lie outside the file", false;

  // Every index must lie inside its table before anything is decoded.
  const uint8_t* tris = image + trisOffset;
  for (int i = 0; i < triCount; ++i) {
    const uint8_t* t = tris + i * c_triangleBytes;
    for (int c = 0; c < 3; ++c) {
      if (U16(t + 2 * c) >= vertexCount) return *why = "a triangle's vertex index is out of range", false;
      if (U16(t + 6 + 2 * c) >= texCount) return *why = "a triangle's texture index is out of range", false;
    }
  }
  const uint8_t* frames = image + framesOffset;
  for (int f = 0; f < frameCount; ++f) {
    for (int k = 0; k < 6; ++k)
      if (!std::isfinite(F32(frames + f * frameBytes + 4 * k)))
        return *why = "a frame's transform is not finite", false;
  }

  const int32_t corners = 3 * triCount;
  m_posIdxArray = Alloc<uint16_t>(corners);
  m_texIdxArray = Alloc<uint16_t>(corners);
  m_outIdxArray = Alloc<uint16_t>(corners);
  m_pairs = Alloc<uint16_t>(2 * int64_t{corners});
  m_positions = Alloc<float>(int64_t{frameCount} * vertexCount * 3);
  m_frameNames = Alloc<char>(int64_t{frameCount} * MD2NAMELEN);
  m_texCoords = Alloc<float>(2 * int64_t{texCount});
  m_skins = Alloc<char>(int64_t{skinCount} * MD2SKINLEN);
  if (!m_posIdxArray || !m_texIdxArray || !m_outIdxArray || !m_pairs || !m_positions || !m_frameNames || !m_texCoords ||
      !m_skins) {
    Free();
    return *why = "out of memory", false;
  }
  m_cornerCount = corners;
  m_vertexCount = vertexCount;
  m_texCoordCount = texCount;
  m_skinCount = skinCount;
  m_frameCount = frameCount;

  // Names are copied with their bound; a name that fills its field loses its last byte to the
  // terminator rather than running into the next one.
  for (int s = 0; s < skinCount; ++s) {
    memcpy(m_skins + s * MD2SKINLEN, image + skinsOffset + s * MD2SKINLEN, MD2SKINLEN);
    m_skins[s * MD2SKINLEN + MD2SKINLEN - 1] = 0;
  }

  // The file winds its triangles the other way round from the renderer.
  for (int i = 0; i < triCount; ++i) {
    const uint8_t* t = tris + i * c_triangleBytes;
    static const int c_order[3] = {0, 2, 1};
    for (int c = 0; c < 3; ++c) {
      m_posIdxArray[3 * i + c] = U16(t + 2 * c_order[c]);
      m_texIdxArray[3 * i + c] = U16(t + 6 + 2 * c_order[c]);
    }
  }

  const uint8_t* tex = image + texOffset;
  for (int i = 0; i < texCount; ++i) {
    m_texCoords[2 * i] = static_cast<float>(S16(tex + 4 * i)) / static_cast<float>(skinWidth);
    m_texCoords[2 * i + 1] = static_cast<float>(S16(tex + 4 * i + 2)) / static_cast<float>(skinHeight);
  }

  // Corners whose texture coordinates are equal share the first such corner's entry, so seams
  // that the file split for no reason do not split the vertices. The coordinates are finite
  // quotients with a positive divisor, so equal values have equal bits.
  {
    std::unordered_map<uint64_t, uint16_t> first;
    first.reserve(static_cast<size_t>(corners));
    for (int c = 0; c < corners; ++c) {
      uint32_t s, t;
      memcpy(&s, &m_texCoords[2 * m_texIdxArray[c]], 4);
      memcpy(&t, &m_texCoords[2 * m_texIdxArray[c] + 1], 4);
      auto found = first.emplace(uint64_t{s} << 32 | t, m_texIdxArray[c]);
      m_texIdxArray[c] = found.first->second;
    }
  }

  for (int f = 0; f < frameCount; ++f) {
    const uint8_t* fr = frames + f * frameBytes;
    const float sx = F32(fr), sy = F32(fr + 4), sz = F32(fr + 8);
    const float tx = F32(fr + 12), ty = F32(fr + 16), tz = F32(fr + 20);
    memcpy(m_frameNames + f * MD2NAMELEN, fr + 24, MD2NAMELEN);
    m_frameNames[f * MD2NAMELEN + MD2NAMELEN - 1] = 0;
    const uint8_t* v = fr + c_frameHeaderBytes;
    float* out = m_positions + int64_t{f} * vertexCount * 3;
    for (int k = 0; k < vertexCount; ++k) {
      out[3 * k] = (v[4 * k] * sx + tx) * scale;
      out[3 * k + 1] = (v[4 * k + 1] * sy + ty) * scale;
      out[3 * k + 2] = (v[4 * k + 2] * sz + tz) * scale;
      if (f == 0) m_bounds.Extend(Vec3{out[3 * k], out[3 * k + 1], out[3 * k + 2]});
    }
  }

  // One output vertex per distinct (position, texture coordinate) pair, numbered in the order
  // the corners first use them. There are at most 3 x MD2MAXTRIANGLES pairs, which fits 16 bits.
  {
    std::unordered_map<uint32_t, uint16_t> pairs;
    pairs.reserve(static_cast<size_t>(corners));
    for (int c = 0; c < corners; ++c) {
      const uint32_t key = uint32_t{m_posIdxArray[c]} << 16 | m_texIdxArray[c];
      auto found = pairs.emplace(key, static_cast<uint16_t>(m_pairCount));
      if (found.second) {
        m_pairs[2 * m_pairCount] = m_posIdxArray[c];
        m_pairs[2 * m_pairCount + 1] = m_texIdxArray[c];
        ++m_pairCount;
      }
      m_outIdxArray[c] = found.first->second;
    }
  }
  static_assert(3 * MD2MAXTRIANGLES <= 65536, "output indices are 16-bit");
  return true;
}

bool AnimNamesMatch(const char* a, const char* b) {
  const int la = BaseLength(a), lb = BaseLength(b);
  return la == lb && memcmp(a, b, la) == 0;
}

int AnimSequencesCount(const AnimModel& model) {
  if (model.m_frameCount <= 0) return 0;
  int count = 1;
  for (int f = 1; f < model.m_frameCount; ++f)
    if (!AnimNamesMatch(model.FrameName(f), model.FrameName(f - 1))) ++count;
  return count;
}

int AnimSequencesBuild(const AnimModel& model, AnimRecord* out, int capacity) {
  int n = -1;
  for (int f = 0; f < model.m_frameCount; ++f) {
    if (n >= 0 && AnimNamesMatch(model.FrameName(f), model.FrameName(f - 1))) {
      out[n].frameCount++;
      continue;
    }
    if (n + 1 >= capacity) break;
    AnimRecord& r = out[++n];
    memset(r.name, 0, sizeof(r.name));
    memcpy(r.name, model.FrameName(f), BaseLength(model.FrameName(f)));
    r.name[MD2NAMELEN - 1] = 0;
    r.firstFrame = f;
    r.frameCount = 1;
  }
  return n + 1;
}

int AnimFollowingFrame(const AnimRecord* sequences, int sequenceCount, int frame) {
  for (int i = 0; i < sequenceCount; ++i) {
    const AnimRecord& s = sequences[i];
    if (frame >= s.firstFrame && frame < s.firstFrame + s.frameCount)
      return frame + 1 < s.firstFrame + s.frameCount ? frame + 1 : s.firstFrame;
  }
  return frame;
}

int AnimSequenceFind(const AnimRecord* sequences, int sequenceCount, const char* name) {
  if (!sequences || !name) return -1;
  for (int i = 0; i < sequenceCount; ++i)
    if (strncmp(sequences[i].name, name, MD2NAMELEN) == 0 && strlen(name) < MD2NAMELEN) return i;
  return -1;
}

AnimPose AnimPoseAt(const AnimRecord& sequence, int vertexCount, double seconds, bool loop) {
  AnimPose pose;
  if (sequence.frameCount < 1) {
    AssertFailed("frameCount>0", __FILE__, __LINE__, "animseq '%.15s' has invalid frameCount %d", sequence.name,
                 sequence.frameCount);
    pose.frame = sequence.firstFrame;
    pose.baseVertex = sequence.firstFrame * vertexCount;
    return pose;
  }
  // Whole milliseconds; a negative or absurd time (a figure never animated, or one that has
  // run for centuries) is held to a range where the arithmetic stays exact.
  if (!(seconds > 0.0)) seconds = 0.0;
  if (seconds > 1e12) seconds = 1e12;
  const int64_t t = static_cast<int64_t>(seconds * 1000.0);
  const int64_t n = t / 100;
  float w = static_cast<float>(t % 100) * 0.01f;
  int64_t frame;
  if (loop) {
    frame = n % sequence.frameCount;
  } else if (n >= sequence.frameCount - 1) {
    frame = sequence.frameCount - 1;
    w = 0.0f;
  } else {
    frame = n;
  }
  pose.frame = sequence.firstFrame + static_cast<int32_t>(frame);
  pose.baseVertex = pose.frame * vertexCount;
  pose.weight = w;
  return pose;
}
