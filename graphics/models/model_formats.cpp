// Model formats: ".geo" and ".md2" images checked and decoded into vertex blocks, and ".dds" skins prepared for upload.
#include "graphics/models/model_formats.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "utility/log.h"

namespace {
constexpr int64_t c_geoHeaderBytes = 12;

uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// The block of vertices plus instance area, zeroed so that a model's bytes never depend on
// what the allocator left there. Null when it cannot be had.
uint8_t* BlockAlloc(int64_t bytes) { return new (std::nothrow) uint8_t[bytes > 0 ? bytes : 1](); }

struct SrgbTable {
  uint8_t linear[256];
  SrgbTable() {
    for (int c = 0; c < 256; ++c) {
      const double x = c / 255.0;
      const double l = x < 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
      linear[c] = static_cast<uint8_t>(std::floor(255.0 * l));
    }
  }
};
}  // namespace

void ModelMesh::Clear() { *this = ModelMesh(); }

bool ModelMesh::BlendedPosition(const AnimPose& pose, int k, Vec3* out) const {
  if (m_stride != MD2VERTEXBYTES || !m_vertexData || k < 0 || k >= m_vertexCount || pose.frame < 0 ||
      pose.frame >= m_frameCount)
    return false;
  const float* v = Md2Vertices() + (int64_t{pose.frame} * m_vertexCount + k) * 8;
  const float w = pose.weight;
  *out = Vec3{v[0] * (1.0f - w) + v[3] * w, v[1] * (1.0f - w) + v[4] * w, v[2] * (1.0f - w) + v[5] * w};
  return true;
}

uint8_t SrgbToLinearByte(uint8_t c) {
  static const SrgbTable table;
  return table.linear[c];
}

int GeoDecode(const void* imageData, int64_t imageSize, int instanceCount, bool srgb, const char* name,
              ModelMesh* out) {
  out->Clear();
  const uint8_t* image = static_cast<const uint8_t*>(imageData);
  if (!image || imageSize < 4 || memcmp(image, "geo ", 4) != 0) {
    LOGE("Not a valid geometry file: '%s'", name);
    return -1;
  }
  if (imageSize < c_geoHeaderBytes) {
    LOGE("Geometry file '%s' is cut short inside its header (%lld bytes).", name, static_cast<long long>(imageSize));
    return -1;
  }
  // The counts are unsigned in the file; in 64 bits 3T + 2L cannot wrap, and the product with
  // the vertex size is checked against the bytes the file really holds before anything is made.
  const int64_t triangles = U32(image + 4), lines = U32(image + 8);
  const int64_t vertexCount = 3 * triangles + 2 * lines;
  const int64_t vertexBytes = vertexCount * GEOVERTEXBYTES;
  if (vertexCount == 0) {
    LOGE("Geometry file '%s' holds no vertices.", name);
    return -1;
  }
  if (c_geoHeaderBytes + vertexBytes > imageSize) {
    LOGE("Geometry file '%s' is damaged: %lld triangles and %lld lines need %lld bytes, the file has %lld.", name,
         static_cast<long long>(triangles), static_cast<long long>(lines),
         static_cast<long long>(c_geoHeaderBytes + vertexBytes), static_cast<long long>(imageSize));
    return -1;
  }
  if (instanceCount < 0 || instanceCount > MODELMAXINSTANCES) {
    LOGE("Cannot reserve %d instances for '%s'.", instanceCount, name);
    return -1;
  }
  const int64_t blockBytes = vertexBytes + int64_t{instanceCount} * INSTANCEBYTES;
  if (vertexCount > INT32_MAX || blockBytes > MODELMAXBYTES) {
    LOGE("Geometry file '%s' is too large: %lld vertices.", name, static_cast<long long>(vertexCount));
    return -1;
  }
  uint8_t* block = BlockAlloc(blockBytes);
  if (!block) {
    LOGE("Out of memory for the %lld bytes of '%s'.", static_cast<long long>(blockBytes), name);
    return -1;
  }
  out->m_vertexData.reset(block);
  memcpy(block, image + c_geoHeaderBytes, static_cast<size_t>(vertexBytes));

  GeoVertex* v = reinterpret_cast<GeoVertex*>(block);
  for (int64_t i = 0; i < vertexCount; ++i) {
    if (srgb) {
      for (int c = 0; c < 3; ++c) v[i].rgba[c] = SrgbToLinearByte(v[i].rgba[c]);
    }
    out->m_bounds.Extend(Vec3{v[i].x, v[i].y, v[i].z});
  }
  out->m_vertexBytes = vertexBytes;
  out->m_blockBytes = blockBytes;
  out->m_instanceCount = instanceCount;
  out->m_triangleCount = static_cast<int32_t>(triangles);
  out->m_lineCount = static_cast<int32_t>(lines);
  out->m_vertexCount = static_cast<int32_t>(vertexCount);
  out->m_frameCount = 1;
  out->m_stride = GEOVERTEXBYTES;
  return 0;
}

int Md2Decode(const void* image, int64_t imageSize, int instanceCount, const char* folder, const char* name,
              ModelMesh* out) {
  out->Clear();
  AnimModel model;
  const char* why = "";
  if (!model.Parse(image, imageSize, 0.01f, &why)) {
    LOGE("Cannot decode animated geometry '%s': %s.", name, why);
    return -1;
  }
  if (instanceCount < 0 || instanceCount > MODELMAXINSTANCES) {
    LOGE("Cannot reserve %d instances for '%s'.", instanceCount, name);
    model.Free();
    return -1;
  }
  const int64_t vertexBytes = int64_t{model.m_frameCount} * model.m_pairCount * MD2VERTEXBYTES;
  const int64_t blockBytes = vertexBytes + int64_t{instanceCount} * INSTANCEBYTES;
  if (blockBytes > MODELMAXBYTES) {
    LOGE("Animated geometry '%s' is too large: %d frames of %d vertices.", name, model.m_frameCount, model.m_pairCount);
    model.Free();
    return -1;
  }
  const int sequenceCount = AnimSequencesCount(model);
  AnimRecord* anims = new (std::nothrow) AnimRecord[sequenceCount]();
  uint8_t* block = BlockAlloc(blockBytes);
  uint16_t* indices = new (std::nothrow) uint16_t[model.m_cornerCount];
  if (!anims || !block || !indices) {
    delete[] anims;
    delete[] block;
    delete[] indices;
    LOGE("Out of memory for the %lld bytes of '%s'.", static_cast<long long>(blockBytes), name);
    model.Free();
    return -1;
  }
  out->m_anims.reset(anims);
  out->m_vertexData.reset(block);
  out->m_indices.reset(indices);
  out->m_animCount = AnimSequencesBuild(model, anims, sequenceCount);

  // Frame 0 stands on z = 0, so that a figure placed on a tile stands on it.
  const float floorZ = model.m_bounds.min.z;
  float* v = reinterpret_cast<float*>(block);
  for (int f = 0; f < model.m_frameCount; ++f) {
    const int g = AnimFollowingFrame(anims, out->m_animCount, f);
    for (int p = 0; p < model.m_pairCount; ++p) {
      const float* a = model.Position(f, model.m_pairs[2 * p]);
      const float* b = model.Position(g, model.m_pairs[2 * p]);
      const float* st = &model.m_texCoords[2 * model.m_pairs[2 * p + 1]];
      const float vertex[8] = {a[0], a[1], a[2] - floorZ, b[0], b[1], b[2] - floorZ, st[0], st[1]};
      memcpy(v, vertex, sizeof(vertex));
      v += 8;
    }
  }
  memcpy(indices, model.m_outIdxArray, sizeof(uint16_t) * model.m_cornerCount);

  out->m_bounds.min = Vec3{model.m_bounds.min.x, model.m_bounds.min.y, 0.0f};
  out->m_bounds.max = Vec3{model.m_bounds.max.x, model.m_bounds.max.y, model.m_bounds.max.z - floorZ};
  out->m_vertexBytes = vertexBytes;
  out->m_blockBytes = blockBytes;
  out->m_instanceCount = instanceCount;
  out->m_indexCount = model.m_cornerCount;
  out->m_triangleCount = model.m_cornerCount / 3;
  out->m_vertexCount = model.m_pairCount;
  out->m_frameCount = model.m_frameCount;
  out->m_stride = MD2VERTEXBYTES;

  // The skin lies beside the model as a ".dds" file of the first skin's name. A name that
  // climbs out of the folder or is too short to have an extension is not followed.
  if (model.m_skinCount > 0) {
    const char* skin = model.SkinName(0);
    if (strlen(skin) < 5 || strstr(skin, "..") || skin[0] == '/' || skin[0] == '\\') {
      LOGW("Animated geometry '%s' names an unusable skin '%s'.", name, skin);
    } else {
      out->m_skinPath.Format("%s/%s", folder ? folder : "", skin);
      out->m_skinPath.Chop(4);
      out->m_skinPath.Append(".dds");
    }
  }
  model.Free();
  return 0;
}

bool TextureDecode(const void* imageData, int64_t imageSize, TextureImage* out) {
  *out = TextureImage();
  if (!out->m_dds.Parse(imageData, imageSize)) return false;
  const uint8_t* image = static_cast<const uint8_t*>(imageData);
  switch (out->m_dds.m_format) {
    case DdsFile::FMT_RGBA8:
      // The masked layout (RGB and alpha flags) stores blue first and uploads as blue-first
      // pixels (code 4); a DX10 header's RGBA8 is already red first (code 5) and must not be
      // swapped.
      out->m_bgra = (U32(image + 80) & 0x41) == 0x41;
      out->m_code = out->m_bgra ? 4 : 5;
      break;
    case DdsFile::FMT_BC1:
      out->m_code = -1;
      break;
    case DdsFile::FMT_BC3:
      out->m_code = -2;
      break;
    default:
      ASSERTT(false, "false");
      return false;
  }
  out->m_filter = out->m_dds.m_levelCount < 2 ? 1 : 2;
  return true;
}

void PixelsSwapRedBlue(uint8_t* pixels, int64_t count) {
  for (int64_t i = 0; i < count; ++i) {
    const uint8_t b = pixels[4 * i];
    pixels[4 * i] = pixels[4 * i + 2];
    pixels[4 * i + 2] = b;
  }
}
