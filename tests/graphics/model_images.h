// Synthetic ".md2", ".geo" and ".dds" file images for the model tests, with the offsets of their fields.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace model_images {

inline void Put32(std::vector<uint8_t>& image, size_t offset, uint32_t v) {
  for (int i = 0; i < 4; i++) image[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put16(std::vector<uint8_t>& image, size_t offset, uint16_t v) {
  image[offset] = static_cast<uint8_t>(v);
  image[offset + 1] = static_cast<uint8_t>(v >> 8);
}
inline void PutF(std::vector<uint8_t>& image, size_t offset, float f) {
  uint32_t v;
  memcpy(&v, &f, 4);
  Put32(image, offset, v);
}

// An ".md2" model. Vertex k of frame f sits at the bytes (10 k + f, f, 5 + k) with scale 1 and
// translate 0, so frame 0's lowest z is 5.
struct Md2Spec {
  int32_t skinWidth = 64, skinHeight = 32;
  std::vector<std::string> skins;
  int32_t vertexCount = 3;
  std::vector<std::pair<int16_t, int16_t>> texCoords = {{0, 0}, {32, 0}, {0, 16}};
  struct Tri {
    uint16_t v[3], t[3];
  };
  std::vector<Tri> triangles = {{{0, 1, 2}, {0, 1, 2}}};
  std::vector<std::string> frames = {"stand1"};
};

// Header field offsets.
enum {
  MD2_VERSION = 4,
  MD2_SKINW = 8,
  MD2_SKINH = 12,
  MD2_SKINS = 20,
  MD2_VERTS = 24,
  MD2_TEXCOORDS = 28,
  MD2_TRIS = 32,
  MD2_FRAMES = 40,
  MD2_OFS_SKINS = 44,
  MD2_OFS_ST = 48,
  MD2_OFS_TRIS = 52,
  MD2_OFS_FRAMES = 56
};

inline uint32_t Get32(const std::vector<uint8_t>& image, size_t offset) {
  return image[offset] | image[offset + 1] << 8 | image[offset + 2] << 16 |
         static_cast<uint32_t>(image[offset + 3]) << 24;
}

// Tables in the order skins, texture coordinates, triangles, frames.
inline std::vector<uint8_t> Md2Image(const Md2Spec& s) {
  const size_t skins = 68, st = skins + 64 * s.skins.size(), tris = st + 4 * s.texCoords.size();
  const size_t frames = tris + 12 * s.triangles.size();
  const size_t frameBytes = 40 + 4 * static_cast<size_t>(s.vertexCount);
  const size_t end = frames + frameBytes * s.frames.size();
  std::vector<uint8_t> image(end, 0);
  memcpy(&image[0], "IDP2", 4);
  Put32(image, MD2_VERSION, 8);
  Put32(image, MD2_SKINW, s.skinWidth);
  Put32(image, MD2_SKINH, s.skinHeight);
  Put32(image, 16, static_cast<uint32_t>(frameBytes));
  Put32(image, MD2_SKINS, static_cast<uint32_t>(s.skins.size()));
  Put32(image, MD2_VERTS, s.vertexCount);
  Put32(image, MD2_TEXCOORDS, static_cast<uint32_t>(s.texCoords.size()));
  Put32(image, MD2_TRIS, static_cast<uint32_t>(s.triangles.size()));
  Put32(image, MD2_FRAMES, static_cast<uint32_t>(s.frames.size()));
  Put32(image, MD2_OFS_SKINS, static_cast<uint32_t>(skins));
  Put32(image, MD2_OFS_ST, static_cast<uint32_t>(st));
  Put32(image, MD2_OFS_TRIS, static_cast<uint32_t>(tris));
  Put32(image, MD2_OFS_FRAMES, static_cast<uint32_t>(frames));
  Put32(image, 64, static_cast<uint32_t>(end));
  for (size_t i = 0; i < s.skins.size(); ++i)
    memcpy(&image[skins + 64 * i], s.skins[i].data(), std::min<size_t>(64, s.skins[i].size()));
  for (size_t i = 0; i < s.texCoords.size(); ++i) {
    Put16(image, st + 4 * i, static_cast<uint16_t>(s.texCoords[i].first));
    Put16(image, st + 4 * i + 2, static_cast<uint16_t>(s.texCoords[i].second));
  }
  for (size_t i = 0; i < s.triangles.size(); ++i)
    for (int c = 0; c < 3; ++c) {
      Put16(image, tris + 12 * i + 2 * c, s.triangles[i].v[c]);
      Put16(image, tris + 12 * i + 6 + 2 * c, s.triangles[i].t[c]);
    }
  for (size_t f = 0; f < s.frames.size(); ++f) {
    const size_t at = frames + frameBytes * f;
    for (int k = 0; k < 3; ++k) PutF(image, at + 4 * k, 1.0f);
    memcpy(&image[at + 24], s.frames[f].data(), std::min<size_t>(16, s.frames[f].size()));
    for (int k = 0; k < s.vertexCount; ++k) {
      image[at + 40 + 4 * k] = static_cast<uint8_t>(10 * k + f);
      image[at + 40 + 4 * k + 1] = static_cast<uint8_t>(f);
      image[at + 40 + 4 * k + 2] = static_cast<uint8_t>(5 + k);
    }
  }
  return image;
}

// A ".geo" image: counts as given (unsigned), then the vertex bytes given.
inline std::vector<uint8_t> GeoImage(uint32_t triangles, uint32_t lines, const std::vector<uint8_t>& vertexBytes) {
  std::vector<uint8_t> image(12 + vertexBytes.size());
  memcpy(&image[0], "geo ", 4);
  Put32(image, 4, triangles);
  Put32(image, 8, lines);
  if (!vertexBytes.empty()) memcpy(&image[12], vertexBytes.data(), vertexBytes.size());
  return image;
}

// count vertices: vertex i at (i, 2i, 3i) with colour (r, g, b, 255).
inline std::vector<uint8_t> GeoVertexBytes(int count, uint8_t r, uint8_t g, uint8_t b) {
  std::vector<uint8_t> bytes(16 * static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    PutF(bytes, 16 * i, static_cast<float>(i));
    PutF(bytes, 16 * i + 4, 2.0f * i);
    PutF(bytes, 16 * i + 8, 3.0f * i);
    bytes[16 * i + 12] = r, bytes[16 * i + 13] = g, bytes[16 * i + 14] = b, bytes[16 * i + 15] = 255;
  }
  return bytes;
}

// A ".dds" image of width x height with the given number of stored levels: code "" is the
// masked blue-first RGBA layout, "DXT1"/"DXT5" compressed, "DX10" with the given DXGI format.
inline std::vector<uint8_t> DdsImage(uint32_t width, uint32_t height, uint32_t mips, const char* code, uint32_t dxgi,
                                     size_t dataBytes) {
  const bool dx10 = strcmp(code, "DX10") == 0;
  std::vector<uint8_t> image((dx10 ? 148 : 128) + dataBytes, 0);
  memcpy(&image[0], "DDS ", 4);
  Put32(image, 4, 124);
  Put32(image, 12, height);
  Put32(image, 16, width);
  Put32(image, 28, mips);
  Put32(image, 76, 32);
  if (code[0]) {
    Put32(image, 80, 0x4);
    memcpy(&image[84], code, 4);
  } else {
    Put32(image, 80, 0x41);
    Put32(image, 88, 32);
    Put32(image, 92, 0x00ff0000);
    Put32(image, 96, 0x0000ff00);
    Put32(image, 100, 0x000000ff);
    Put32(image, 104, 0xff000000);
  }
  if (dx10) {
    Put32(image, 128, dxgi);
    Put32(image, 132, 3);
    Put32(image, 140, 1);
  }
  return image;
}

}  // namespace model_images
