// The OpenGL wrappers: buffers, vertex arrays, shaders, textures and clearing, every bind cached.
#include "graphics/gl/graphics.h"

#include <cstring>

#include "graphics/gl/gl_calls.h"
#include "utility/log.h"

namespace {

// What GL has bound, as far as the wrappers know. Every cached bind compares with these and
// calls GL only on a change, so each entry must follow GL's own rules exactly: the
// element-array binding belongs to the bound vertex array, an indexed uniform bind also sets
// the generic binding, and deleting an object unbinds it from every binding of the context.
struct BindCaches {
  GLuint program;
  GLuint vertexArray;
  GLuint arrayBuffer;
  GLuint uniformBuffer;
  GLuint uniformSlots[c_uniformSlotCaches];
  int activeUnit;
  GLuint textures[c_textureUnitCaches];
  // Vertex arrays whose element-array binding is known. One not listed is unknown, so the
  // next index-buffer bind under it always reaches GL.
  int arrayCount;
  GLuint arrayNames[c_vertexArrayCaches];
  GLuint arrayElements[c_vertexArrayCaches];
};

BindCaches caches = {};

GLuint Name(GlHandle handle) {
  ASSERTM(handle <= 0xffffffffu, "GL handle %llx", static_cast<unsigned long long>(handle));
  return static_cast<GLuint>(handle);
}

// The slot of a vertex array in the element table, or -1.
int ArrayEntry(GLuint vertexArray) {
  for (int i = 0; i < caches.arrayCount; ++i)
    if (caches.arrayNames[i] == vertexArray) return i;
  return -1;
}

// Records the element-array binding of a vertex array; a full table simply leaves it unknown.
void ArrayEntrySet(GLuint vertexArray, GLuint element) {
  int i = ArrayEntry(vertexArray);
  if (i < 0) {
    if (caches.arrayCount >= c_vertexArrayCaches) return;
    i = caches.arrayCount++;
    caches.arrayNames[i] = vertexArray;
  }
  caches.arrayElements[i] = element;
}

void ArrayEntryRemove(int i) {
  if (i < 0 || i >= caches.arrayCount) return;
  --caches.arrayCount;
  caches.arrayNames[i] = caches.arrayNames[caches.arrayCount];
  caches.arrayElements[i] = caches.arrayElements[caches.arrayCount];
}

void BindArrayBuffer(GLuint buffer) {
  if (caches.arrayBuffer == buffer) return;
  glCalls.BindBuffer(GL_ARRAY_BUFFER, buffer);
  caches.arrayBuffer = buffer;
}

void BindElementBuffer(GLuint buffer) {
  const int i = ArrayEntry(caches.vertexArray);
  if (i >= 0 && caches.arrayElements[i] == buffer) return;
  glCalls.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
  ArrayEntrySet(caches.vertexArray, buffer);
}

void BindUniformBuffer(GLuint buffer) {
  if (caches.uniformBuffer == buffer) return;
  glCalls.BindBuffer(GL_UNIFORM_BUFFER, buffer);
  caches.uniformBuffer = buffer;
}

void BindVertexArray(GLuint vertexArray) {
  if (caches.vertexArray == vertexArray) return;
  glCalls.BindVertexArray(vertexArray);
  caches.vertexArray = vertexArray;
}

void BindTexture(GLuint texture) {
  GLuint& cached = caches.textures[caches.activeUnit];
  if (cached == texture) return;
  glCalls.BindTexture(GL_TEXTURE_2D, texture);
  cached = texture;
}

// Deletes a buffer and forgets it wherever GL forgets it: every binding of the context,
// indexed uniform slots and the bound vertex array's element array included. A vertex array
// that is not bound keeps the deleted storage attached, so its entry becomes unknown: the
// name may come back from glGenBuffers for a new buffer that it does not hold.
void BufferDelete(GLuint buffer) {
  glCalls.DeleteBuffers(1, &buffer);
  if (caches.arrayBuffer == buffer) caches.arrayBuffer = 0;
  if (caches.uniformBuffer == buffer) caches.uniformBuffer = 0;
  for (GLuint& slot : caches.uniformSlots)
    if (slot == buffer) slot = 0;
  for (int i = caches.arrayCount - 1; i >= 0; --i) {
    if (caches.arrayElements[i] != buffer) continue;
    if (caches.arrayNames[i] == caches.vertexArray)
      caches.arrayElements[i] = 0;
    else
      ArrayEntryRemove(i);
  }
}

GLuint BufferCreate(GLenum target, size_t size, const void* data, GLenum usage) {
  GLuint buffer = 0;
  glCalls.GenBuffers(1, &buffer);
  if (buffer == 0) {
    LOGE("glGenBuffers gave no buffer.");
    return 0;
  }
  if (target == GL_ARRAY_BUFFER)
    BindArrayBuffer(buffer);
  else if (target == GL_ELEMENT_ARRAY_BUFFER)
    BindElementBuffer(buffer);
  else
    BindUniformBuffer(buffer);
  glCalls.BufferData(target, static_cast<GLsizeiptr>(size), data, usage);
  return buffer;
}

// Empties the GL error flags so that the next glGetError speaks of the next call only. A
// driver keeps a handful of flags at most; the bound keeps a broken fake from looping.
void ErrorsClear() {
  for (int i = 0; i < 16 && glCalls.GetError() != GL_NO_ERROR; ++i) {
  }
}

struct AttribFormat {
  GLint components;
  GLenum type;
  GLboolean normalised;
  int bytes;
};

const AttribFormat c_attribFormats[] = {
    {2, GL_FLOAT, GL_FALSE, 8},
    {3, GL_FLOAT, GL_FALSE, 12},
    {4, GL_FLOAT, GL_FALSE, 16},
    {4, GL_UNSIGNED_BYTE, GL_TRUE, 4},
};

const char* DebugSourceName(GLenum source) {
  switch (source) {
    case GL_DEBUG_SOURCE_API:
      return "API";
    case GL_DEBUG_SOURCE_WINDOW_SYSTEM:
      return "Window System";
    case GL_DEBUG_SOURCE_SHADER_COMPILER:
      return "Shader Compiler";
    case GL_DEBUG_SOURCE_THIRD_PARTY:
      return "Third Party";
    case GL_DEBUG_SOURCE_APPLICATION:
      return "Application";
    case GL_DEBUG_SOURCE_OTHER:
      return "Other";
    default:
      return "Unknown";
  }
}

const char* DebugTypeName(GLenum type) {
  switch (type) {
    case GL_DEBUG_TYPE_ERROR:
      return "Error";
    case GL_DEBUG_TYPE_DEPRECATED_BEHAVIOR:
      return "Deprecated Behavior";
    case GL_DEBUG_TYPE_UNDEFINED_BEHAVIOR:
      return "Undefined Behavior";
    case GL_DEBUG_TYPE_PORTABILITY:
      return "Portability";
    case GL_DEBUG_TYPE_PERFORMANCE:
      return "Performance";
    case GL_DEBUG_TYPE_OTHER:
      return "Other";
    default:
      return "Unknown";
  }
}

const char* DebugSeverityName(GLenum severity) {
  switch (severity) {
    case GL_DEBUG_SEVERITY_HIGH:
      return "High";
    case GL_DEBUG_SEVERITY_MEDIUM:
      return "Medium";
    case GL_DEBUG_SEVERITY_LOW:
      return "Low";
    case GL_DEBUG_SEVERITY_NOTIFICATION:
      return "Notification";
    default:
      return "Unknown";
  }
}

const char* GlString(GLenum name) {
  const GLubyte* text = glCalls.GetString ? glCalls.GetString(name) : nullptr;
  return reinterpret_cast<const char*>(text);
}

}  // namespace

bool GraphicsInit() {
  caches = {};
  glewExperimental = GL_TRUE;
  const GLenum glew = glewInit();
  if (glew != GLEW_OK) LOGE("glewInit failed: %s", reinterpret_cast<const char*>(glewGetErrorString(glew)));
  const char* missing = GlCallsLoad();
  // GLEW asks for the extension string the old way, which a core context answers with an
  // error flag; it says nothing about the game's own calls.
  if (glCalls.GetError) ErrorsClear();

  const char* vendor = GlString(GL_VENDOR);
  const char* renderer = GlString(GL_RENDERER);
  const char* version = GlString(GL_VERSION);
  LOGI("GL_VENDOR   %s", vendor ? vendor : "(none)");
  LOGI("GL_RENDERER %s", renderer ? renderer : "(none)");
  LOGI("GL_VERSION  %s", version ? version : "(none)");
  if (const char* glsl = GlString(GL_SHADING_LANGUAGE_VERSION)) LOGI("GL_SHADING_LANGUAGE_VERSION %s", glsl);

  if (missing != nullptr) {
    LOGE("The GL driver lacks %s; OpenGL 3.3 is needed.", missing);
    return false;
  }
  if (glew != GLEW_OK) return false;

  // Debug output is newer than 3.3: where the driver lacks it, errors go unreported.
  if (glCalls.DebugMessageCallback != nullptr) {
    glCalls.DebugMessageCallback(GlDebugCallback, nullptr);
    glCalls.Enable(GL_DEBUG_OUTPUT);
  } else {
    LOGI("GL debug output is not available.");
  }

  GLint encoding = -1;
  glCalls.GetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_BACK_LEFT, GL_FRAMEBUFFER_ATTACHMENT_COLOR_ENCODING,
                                              &encoding);
  if (encoding == GL_LINEAR)
    LOGW("Framebuffer attachment color encoding is linear.");
  else if (encoding == GL_SRGB)
    LOGI("Framebuffer attachment color encoding is sRGB.");

  // Pixel rows are tightly packed everywhere in the game (textures of odd widths, read-backs).
  glCalls.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glCalls.PixelStorei(GL_PACK_ALIGNMENT, 1);
  return true;
}

void GraphicsExit() { caches = {}; }

void FrameClear(float red, float green, float blue, float alpha, float depth, int stencil) {
  glCalls.ClearColor(red, green, blue, alpha);
  if (glCalls.ClearDepthf != nullptr)
    glCalls.ClearDepthf(depth);
  else
    glCalls.ClearDepth(depth);
  glCalls.ClearStencil(stencil);
  glCalls.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

float DepthRead(int x, int y) {
  float depth = 1.0f;
  glCalls.ReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
  return depth;
}

GlHandle UBufferCreate(size_t size, const void* data, bool dynamic) {
  const size_t bufferSize = size;
  ASSERT(bufferSize % 16 == 0);
  const GLuint buffer = BufferCreate(GL_UNIFORM_BUFFER, size, data, dynamic ? GL_STREAM_DRAW : GL_STATIC_DRAW);
  BindUniformBuffer(0);
  return buffer;
}

void UBufferBind(GlHandle handle, int slot) {
  const GLuint buffer = Name(handle);
  if (slot < 0) {
    BindUniformBuffer(buffer);
    return;
  }
  if (slot < c_uniformSlotCaches) {
    if (caches.uniformSlots[slot] == buffer) return;
    caches.uniformSlots[slot] = buffer;
  }
  glCalls.BindBufferBase(GL_UNIFORM_BUFFER, static_cast<GLuint>(slot), buffer);
  caches.uniformBuffer = buffer;  // an indexed bind sets the generic binding too
}

void UBufferUpdate(GlHandle handle, size_t size, const void* data) {
  const GLuint buffer = Name(handle);
  ASSERT(buffer);
  BindUniformBuffer(buffer);
  glCalls.BufferData(GL_UNIFORM_BUFFER, static_cast<GLsizeiptr>(size), nullptr, GL_STREAM_DRAW);
  glCalls.BufferData(GL_UNIFORM_BUFFER, static_cast<GLsizeiptr>(size), data, GL_STREAM_DRAW);
}

void UBufferDestroy(GlHandle handle) {
  if (caches.uniformBuffer != 0) BindUniformBuffer(0);
  BufferDelete(Name(handle));
}

GlHandle IBufferCreate(size_t size, const void* data, bool dynamic) {
  return BufferCreate(GL_ELEMENT_ARRAY_BUFFER, size, data, dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
}

void IBufferBind(GlHandle handle) { BindElementBuffer(Name(handle)); }

void* IBufferMap(GlHandle handle) {
  BindElementBuffer(Name(handle));
  return glCalls.MapBuffer(GL_ELEMENT_ARRAY_BUFFER, GL_WRITE_ONLY);
}

void IBufferUnmap(GlHandle handle) {
  BindElementBuffer(Name(handle));
  glCalls.UnmapBuffer(GL_ELEMENT_ARRAY_BUFFER);
}

void IBufferDestroy(GlHandle handle) {
  // Only the buffer itself is unbound: the element-array binding is part of the bound vertex
  // array, and dropping some other index buffer from it would break that array's drawing.
  const GLuint buffer = Name(handle);
  const int i = ArrayEntry(caches.vertexArray);
  if (i >= 0 && buffer != 0 && caches.arrayElements[i] == buffer) BindElementBuffer(0);
  BufferDelete(buffer);
}

GlHandle VBufferCreate(size_t size, const void* data, bool dynamic) {
  return BufferCreate(GL_ARRAY_BUFFER, size, data, dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
}

void VBufferBind(GlHandle handle) { BindArrayBuffer(Name(handle)); }

void* VBufferMap(GlHandle handle, size_t offset, size_t length) {
  BindArrayBuffer(Name(handle));
  return glCalls.MapBufferRange(GL_ARRAY_BUFFER, static_cast<GLintptr>(offset), static_cast<GLsizeiptr>(length),
                                GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_RANGE_BIT);
}

void* VBufferMapAll(GlHandle handle) {
  BindArrayBuffer(Name(handle));
  return glCalls.MapBuffer(GL_ARRAY_BUFFER, GL_WRITE_ONLY);
}

void VBufferUnmap(GlHandle handle) {
  BindArrayBuffer(Name(handle));
  glCalls.UnmapBuffer(GL_ARRAY_BUFFER);
}

void VBufferDestroy(GlHandle handle) {
  if (caches.arrayBuffer != 0) BindArrayBuffer(0);
  BufferDelete(Name(handle));
}

GlHandle VArrayCreate(GlHandle vertexBuffer, int stride, int attribCount, const uint32_t* codes, int instanceCount,
                      size_t instanceOffset) {
  if (vertexBuffer == 0) {
    LOGE("VArrayCreate: no vertex buffer.");
    return 0;
  }
  if (attribCount < 0 || attribCount > 12 || (attribCount > 0 && codes == nullptr)) {
    LOGE("VArrayCreate: %d attributes refused.", attribCount);
    return 0;
  }
  for (int i = 0; i < attribCount; ++i) {
    if (codes[i] >= sizeof(c_attribFormats) / sizeof(c_attribFormats[0])) {
      LOGE("VArrayCreate: unknown attribute type code %u.", codes[i]);
      return 0;
    }
  }
  GLuint vertexArray = 0;
  glCalls.GenVertexArrays(1, &vertexArray);
  if (vertexArray == 0) {
    LOGE("glGenVertexArrays gave no vertex array.");
    return 0;
  }
  // A new vertex array has no index buffer; a stale entry of a deleted array of that name goes.
  ArrayEntryRemove(ArrayEntry(vertexArray));
  ArrayEntrySet(vertexArray, 0);
  BindVertexArray(vertexArray);
  BindArrayBuffer(Name(vertexBuffer));

  size_t offset = 0;
  for (int i = 0; i < attribCount; ++i) {
    const AttribFormat& f = c_attribFormats[codes[i]];
    const GLuint location = static_cast<GLuint>(i);
    glCalls.EnableVertexAttribArray(location);
    glCalls.VertexAttribPointer(location, f.components, f.type, f.normalised, stride,
                                reinterpret_cast<const void*>(offset));
    offset += static_cast<size_t>(f.bytes);
  }
  if (instanceCount > 1) {
    // One 4x4 float matrix per instance, one column per location.
    const GLuint first = static_cast<GLuint>(attribCount);
    for (GLuint k = 0; k < 4; ++k) glCalls.VertexAttribDivisor(first + k, 1);
    for (GLuint k = 0; k < 4; ++k)
      glCalls.VertexAttribPointer(first + k, 4, GL_FLOAT, GL_FALSE, 64,
                                  reinterpret_cast<const void*>(instanceOffset + 16 * k));
    for (GLuint k = 0; k < 4; ++k) glCalls.EnableVertexAttribArray(first + k);
  }
  BindVertexArray(0);
  return vertexArray;
}

void VArrayBind(GlHandle handle) { BindVertexArray(Name(handle)); }

void VArrayDestroy(GlHandle handle) {
  const GLuint vertexArray = Name(handle);
  if (caches.vertexArray != 0) BindVertexArray(0);
  glCalls.DeleteVertexArrays(1, &vertexArray);
  if (vertexArray != 0) ArrayEntryRemove(ArrayEntry(vertexArray));
}

GlHandle ShaderCompile(int stage, const char* source, int length) {
  GLenum type = 0;
  if (stage == SHADER_VERTEX)
    type = GL_VERTEX_SHADER;
  else if (stage == SHADER_FRAGMENT)
    type = GL_FRAGMENT_SHADER;
  else if (stage == SHADER_GEOMETRY)
    type = GL_GEOMETRY_SHADER;
  if (source == nullptr) return 0;
  const GLuint shader = glCalls.CreateShader(type);
  if (shader == 0) return 0;
  ErrorsClear();
  const GLint sourceLength = length;
  glCalls.ShaderSource(shader, 1, &source, &sourceLength);
  if (glCalls.GetError() == GL_NO_ERROR) {
    glCalls.CompileShader(shader);
    GLint compiled = 0;
    glCalls.GetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled != 0) return shader;
    char info[1024] = {};
    glCalls.GetShaderInfoLog(shader, sizeof(info), nullptr, info);
    info[sizeof(info) - 1] = 0;
    LOGE("SHADER COMPILE FAILED: %s", info);
  }
  glCalls.DeleteShader(shader);
  return 0;
}

void ShaderDelete(GlHandle shader) { glCalls.DeleteShader(Name(shader)); }

GlHandle ProgramLink(int count, const GlHandle* shaders) {
  if (shaders == nullptr) return 0;
  const GLuint program = glCalls.CreateProgram();
  if (program == 0) return 0;
  ErrorsClear();
  bool attached = true;
  for (int i = 0; i < count && attached; ++i) {
    glCalls.AttachShader(program, Name(shaders[i]));
    attached = glCalls.GetError() == GL_NO_ERROR;
  }
  if (attached) {
    glCalls.LinkProgram(program);
    GLint linked = 0;
    glCalls.GetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != 0) {
      glCalls.ValidateProgram(program);
      return program;
    }
    char info[1024] = {};
    glCalls.GetProgramInfoLog(program, sizeof(info), nullptr, info);
    info[sizeof(info) - 1] = 0;
    LOGE("SHADER LINK FAILED: %s", info);
  }
  if (caches.program != 0) {
    glCalls.UseProgram(0);
    caches.program = 0;
  }
  glCalls.DeleteProgram(program);
  return 0;
}

void ProgramUse(GlHandle handle) {
  const GLuint program = Name(handle);
  if (caches.program == program) return;
  glCalls.UseProgram(program);
  caches.program = program;
}

void ProgramBindBlock(GlHandle program, const char* blockName, int slot) {
  if (blockName == nullptr) return;
  const GLuint index = glCalls.GetUniformBlockIndex(Name(program), blockName);
  if (index != GL_INVALID_INDEX) glCalls.UniformBlockBinding(Name(program), index, static_cast<GLuint>(slot));
}

int ProgramUniform(GlHandle program, const char* name) {
  if (name == nullptr) return -1;
  return glCalls.GetUniformLocation(Name(program), name);
}

void ProgramDelete(GlHandle handle) {
  if (caches.program != 0) {
    glCalls.UseProgram(0);
    caches.program = 0;
  }
  glCalls.DeleteProgram(Name(handle));
}

GlHandle TextureGen(int filter) {
  GLuint texture = 0;
  glCalls.GenTextures(1, &texture);
  if (texture == 0) {
    LOGE("glGenTextures gave no texture.");
    return 0;
  }
  BindTexture(texture);
  const GLint mode = (filter == 1 || filter == 2) ? GL_LINEAR : GL_NEAREST;
  glCalls.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mode);
  glCalls.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mode);
  return texture;
}

void TextureUpload(GlHandle texture, int format, bool srgb, int level, int width, int height, size_t byteSize,
                   const void* data) {
  BindTexture(Name(texture));
  if (format < 0) {
    GLenum internal = 0;
    if (format == TF_DXT1)
      internal = srgb ? GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT1_EXT : GL_COMPRESSED_RGBA_S3TC_DXT1_EXT;
    else if (format == TF_DXT5)
      internal = srgb ? GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT5_EXT : GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
    if (internal == 0) {
      if (srgb)
        LOGE("sRGB compressed texture is unsupported.");
      else
        LOGE("compressed texture is unsupported.");
      return;
    }
    glCalls.CompressedTexImage2D(GL_TEXTURE_2D, level, internal, width, height, 0, static_cast<GLsizei>(byteSize),
                                 data);
    return;
  }
  GLint internal = 0;
  GLenum pixels = 0;
  switch (format) {
    case TF_R8:
      internal = GL_R8, pixels = GL_RED;
      break;
    case TF_RG8:
      internal = GL_RG8, pixels = GL_RG;
      break;
    case TF_RGB8:
      internal = GL_RGB8, pixels = GL_RGB;
      break;
    // GL reads B, G, R, A bytes itself: no swap of the caller's bytes, which may be a file
    // image shared with other uploads.
    case TF_BGRA8:
      internal = GL_RGBA8, pixels = GL_BGRA;
      break;
    case TF_RGBA8:
      internal = GL_RGBA8, pixels = GL_RGBA;
      break;
    default:
      ASSERTT(false, "false");
      return;
  }
  glCalls.TexImage2D(GL_TEXTURE_2D, level, internal, width, height, 0, pixels, GL_UNSIGNED_BYTE, data);
}

GlHandle TextureCreate(int width, int height, size_t byteSize, int format, bool srgb, int filter, const void* data) {
  const GlHandle texture = TextureGen(filter);
  if (texture == 0) return 0;
  TextureUpload(texture, format, srgb, 0, width, height, byteSize, data);
  return texture;
}

void TextureBind(GlHandle texture) { BindTexture(Name(texture)); }

void TextureActive(int unit) {
  if (unit < 0 || unit >= c_textureUnitCaches) {
    ASSERTM(false, "texture unit %d", unit);
    return;
  }
  if (caches.activeUnit == unit) return;
  glCalls.ActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
  caches.activeUnit = unit;
}

void TextureDelete(GlHandle handle) {
  const GLuint texture = Name(handle);
  if (caches.textures[caches.activeUnit] != 0) BindTexture(0);
  glCalls.DeleteTextures(1, &texture);
  // GL unbinds a deleted texture from every unit it was bound to.
  for (GLuint& bound : caches.textures)
    if (bound == texture) bound = 0;
}

void GLAPIENTRY GlDebugCallback(GLenum source, GLenum type, GLuint id, GLenum severity, GLsizei length,
                                const GLchar* message, const void* user) {
  (void)id;
  (void)user;
  if (message == nullptr) return;
  const int size = length >= 0 ? static_cast<int>(length) : static_cast<int>(strlen(message));
  // The driver's remarks on buffer usage hints come on every buffer and say nothing wrong.
  static const char c_hint[] = "usage hint is";
  const int hintLength = static_cast<int>(sizeof(c_hint)) - 1;
  for (int i = 0; i + hintLength <= size; ++i)
    if (memcmp(message + i, c_hint, hintLength) == 0) return;
  LOGE("[%s][%s]{%s}: %.*s", DebugSourceName(source), DebugTypeName(type), DebugSeverityName(severity), size, message);
}
