// Model formats: ".geo" meshes, ".md2" figures and ".dds" skins decoded into the CPU-side arrays the GPU buffers are
// made from.
#pragma once

#include <cstdint>
#include <memory>

#include "graphics/models/anim_model.h"
#include "utility/ddsfile.h"
#include "utility/fixed_string.h"
#include "utility/matrix44.h"
#include "world/planet/globe.h"

// Bytes of one ".geo" vertex (x, y, z floats, then red, green, blue, alpha bytes: GeoVertex)
// and of one ".md2" vertex in the GPU buffer (this frame's x, y, z, the following frame's x, y,
// z, then s and t, all floats).
#define GEOVERTEXBYTES 16
#define MD2VERTEXBYTES 32
// Bytes of one instance transform behind a model's vertices.
#define INSTANCEBYTES 64
// The most instances a model may reserve room for, and the largest block of vertices plus
// instance area a model may have. The biggest planet is a few tens of megabytes; anything near
// the limit is a damaged or hostile file.
#define MODELMAXINSTANCES (1 << 20)
#define MODELMAXBYTES (int64_t{512} << 20)

// The CPU side of one model as decoded from its file: the block that becomes the vertex buffer
// (vertices, then room for the instance transforms), the index buffer's contents and the
// sequences of an animated model.
struct ModelMesh {
  std::unique_ptr<uint8_t[]> m_vertexData;  // m_vertexBytes of vertices, then the instance area
  int64_t m_vertexBytes = 0;                // also the byte offset of the instance area
  int64_t m_blockBytes = 0;                 // vertices plus instance area
  int32_t m_instanceCount = 0;
  std::unique_ptr<uint16_t[]> m_indices;  // ".md2": one per triangle corner; null for ".geo"
  int32_t m_indexCount = 0;
  std::unique_ptr<AnimRecord[]> m_anims;  // ".md2" only
  int32_t m_animCount = 0;
  int32_t m_triangleCount = 0;
  int32_t m_lineCount = 0;    // ".geo" only
  int32_t m_vertexCount = 0;  // ".geo": 3 x triangles + 2 x lines; ".md2": distinct vertices of one frame
  int32_t m_frameCount = 0;   // ".md2" frames; 1 for ".geo"
  int32_t m_stride = 0;       // GEOVERTEXBYTES or MD2VERTEXBYTES
  Aabb m_bounds;              // ".geo": every vertex; ".md2": frame 0 as placed (standing on z = 0)
  FixedString m_skinPath;     // ".md2": the skin texture to load (folder/skin.dds), empty without one

  // Back to the empty state, freeing the arrays.
  void Clear();
  // The vertices of a ".geo" mesh (m_vertexCount of them).
  const GeoVertex* GeoVertices() const { return reinterpret_cast<const GeoVertex*>(m_vertexData.get()); }
  // The vertices of an ".md2" mesh: frame f starts at vertex f x m_vertexCount, 8 floats each.
  const float* Md2Vertices() const { return reinterpret_cast<const float*>(m_vertexData.get()); }
  // Where distinct vertex k of an ".md2" mesh stands in a pose: (1 - w) x its position in the
  // pose's frame + w x its position in the following frame, as the vertex shader blends it.
  // False (out untouched) when the mesh is not a figure or the frame or vertex is out of range.
  bool BlendedPosition(const AnimPose& pose, int k, Vec3* out) const;
};

// Decodes a ".geo" file image (the file read whole) with room for instanceCount transforms.
// Sizes are computed in 64 bits and checked against the image before anything is copied: a
// short image, counts whose vertices do not fit, or no vertices at all are refused. With srgb
// set, the vertex colours are converted from sRGB to linear. 0, or -1 with one log line that
// names the file.
int GeoDecode(const void* image, int64_t imageSize, int instanceCount, bool srgb, const char* name, ModelMesh* out);

// Decodes an ".md2" file image at the game's scale of 0.01: the sequences, one block of frames
// each holding its vertices in this frame and the following one, the shared index buffer, and
// the skin path folder + "/" + the first skin's name with ".dds" for its extension. 0, or -1
// with one log line that names the file.
int Md2Decode(const void* image, int64_t imageSize, int instanceCount, const char* folder, const char* name,
              ModelMesh* out);

// The linear value of an sRGB colour byte, floor(255 x decode(c / 255)): 188 gives 128.
uint8_t SrgbToLinearByte(uint8_t c);

// A ".dds" texture ready for upload: the texture format code (4 for 8-bit pixels stored blue
// first, as the legacy masked layout has them; 5 for 8-bit pixels stored red first, as a DX10
// RGBA8 image has them; -1 DXT1, -2 DXT5), the filter code (1 for a single level, 2 with mip
// maps) and whether the pixels are stored blue first.
struct TextureImage {
  DdsFile m_dds;
  int32_t m_code = 0;
  int32_t m_filter = 0;
  bool m_bgra = false;
};
// Parses a ".dds" file image; false when the reader refuses it (logs nothing).
bool TextureDecode(const void* image, int64_t imageSize, TextureImage* out);
// Swaps the first and third byte of each of count 4-byte pixels: B, G, R, A <-> R, G, B, A.
void PixelsSwapRedBlue(uint8_t* pixels, int64_t count);
