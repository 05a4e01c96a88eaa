// The OpenGL wrappers: buffers, vertex arrays, shaders, textures and clearing, every bind cached.
#pragma once

#include <GL/glew.h>

#include <cstddef>
#include <cstdint>

// A GL object name carried in 64 bits; 0 is none or failure.
typedef uint64_t GlHandle;

// Vertex attribute type codes for VArrayCreate.
enum VertexAttribCode : uint32_t {
  VA_FLOAT2 = 0,   // two floats, 8 bytes
  VA_FLOAT3 = 1,   // three floats, 12 bytes
  VA_FLOAT4 = 2,   // four floats, 16 bytes
  VA_UBYTE4N = 3,  // four unsigned bytes read as 0..1, 4 bytes
};

// Texture format codes for TextureUpload and TextureCreate. Negative codes are block-compressed.
enum TextureFormatCode : int32_t {
  TF_DXT1 = -1,
  TF_DXT5 = -2,
  TF_R8 = 1,
  TF_RG8 = 2,
  TF_RGB8 = 3,
  TF_BGRA8 = 4,  // four bytes per pixel in B, G, R, A order (the legacy DDS layout)
  TF_RGBA8 = 5,  // four bytes per pixel already in R, G, B, A order (DX10 DDS images)
};

// Texture filter codes: 0 nearest, 1 and 2 linear, anything else nearest. No mipmap filtering.
enum TextureFilterCode : int32_t {
  TFILTER_NEAREST = 0,
  TFILTER_LINEAR = 1,
};

// Shader stage codes for ShaderCompile.
enum ShaderStageCode : int32_t {
  SHADER_VERTEX = 0,
  SHADER_FRAGMENT = 1,
  SHADER_GEOMETRY = 2,
};

// Uniform buffer slots 0..7 have their own bind cache; higher slots bind every time.
constexpr int c_uniformSlotCaches = 8;
// Texture units whose 2D binding is cached (TextureActive chooses one).
constexpr int c_textureUnitCaches = 8;
// Vertex arrays whose element-array binding is remembered; beyond that it is re-bound on use.
constexpr int c_vertexArrayCaches = 256;

// Loads the GL entry points (the context must be current), logs the driver strings, installs
// the debug-output callback where the driver has one and reports the back buffer's colour
// encoding. False, with a log line, when the loader failed or an entry point the game needs
// is missing: then no other wrapper may be called.
bool GraphicsInit();
// Forgets every cached binding (no GL call). Objects are deleted by their owners before this.
void GraphicsExit();

// Clears colour, depth and stencil together with the given values.
void FrameClear(float red, float green, float blue, float alpha, float depth, int stencil);
// The depth buffer's value at one window pixel (origin bottom left).
float DepthRead(int x, int y);

// Uniform buffers. Sizes should be multiples of 16 (asserted, created anyway). Dynamic data is
// replaced by orphaning.
GlHandle UBufferCreate(size_t size, const void* data, bool dynamic);
// Slot 0..7: cached indexed bind; slot 8 and up: indexed bind every time; negative: the
// generic GL_UNIFORM_BUFFER target only.
void UBufferBind(GlHandle buffer, int slot);
void UBufferUpdate(GlHandle buffer, size_t size, const void* data);
void UBufferDestroy(GlHandle buffer);

// Index buffers. The element-array binding belongs to the vertex array bound at the time, so
// bind the vertex array first. IBufferCreate leaves the new buffer bound.
GlHandle IBufferCreate(size_t size, const void* data, bool dynamic);
void IBufferBind(GlHandle buffer);
void* IBufferMap(GlHandle buffer);  // write-only; null on failure
void IBufferUnmap(GlHandle buffer);
void IBufferDestroy(GlHandle buffer);

// Vertex buffers. VBufferCreate leaves the new buffer bound.
GlHandle VBufferCreate(size_t size, const void* data, bool dynamic);
void VBufferBind(GlHandle buffer);
// Maps a byte range for writing and invalidates it (per-frame instance data); null on failure.
void* VBufferMap(GlHandle buffer, size_t offset, size_t length);
void* VBufferMapAll(GlHandle buffer);  // write-only; null on failure
void VBufferUnmap(GlHandle buffer);
void VBufferDestroy(GlHandle buffer);

// A vertex array over one vertex buffer: attributes packed in code order at the given stride.
// With an instance count above 1, locations count..count+3 read one 4x4 float matrix per instance
// (64 bytes each) from the same buffer, starting at instanceOffset. Leaves no vertex array bound.
GlHandle VArrayCreate(GlHandle vertexBuffer, int stride, int attribCount, const uint32_t* codes, int instanceCount,
                      size_t instanceOffset);
void VArrayBind(GlHandle vertexArray);
void VArrayDestroy(GlHandle vertexArray);

// A compiled shader stage, 0 on failure (the driver's message is logged).
GlHandle ShaderCompile(int stage, const char* source, int length);
void ShaderDelete(GlHandle shader);
// A linked program, 0 on failure (logged). The shaders stay attached and are their owner's to delete.
GlHandle ProgramLink(int count, const GlHandle* shaders);
void ProgramUse(GlHandle program);
// Ties the named uniform block to a slot; a block the program lacks is skipped silently.
void ProgramBindBlock(GlHandle program, const char* blockName, int slot);
int ProgramUniform(GlHandle program, const char* name);  // the uniform's location, -1 when missing
void ProgramDelete(GlHandle program);

// A new 2D texture with the filter set on both minification and magnification; stays bound.
GlHandle TextureGen(int filter);
// One mip level. byteSize counts only for compressed codes. The caller's data is not changed.
void TextureUpload(GlHandle texture, int format, bool srgb, int level, int width, int height, size_t byteSize,
                   const void* data);
GlHandle TextureCreate(int width, int height, size_t byteSize, int format, bool srgb, int filter, const void* data);
void TextureBind(GlHandle texture);  // on the active texture unit
// Makes unit 0..7 the active texture unit (cached); TextureBind then binds on that unit.
void TextureActive(int unit);
void TextureDelete(GlHandle texture);

// Logs one line per driver debug message; messages about buffer usage hints are dropped.
void GLAPIENTRY GlDebugCallback(GLenum source, GLenum type, GLuint id, GLenum severity, GLsizei length,
                                const GLchar* message, const void* user);
