// A recording fake of the GL calls the wrappers make, modelling the bindings the way GL keeps them.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "graphics/gl/gl_calls.h"
#include "graphics/gl/graphics.h"

// The fake keeps GL's binding rules, so a test can ask what GL really has bound after any
// sequence of wrapper calls: names are reused after deletion (as drivers do), the element-array
// binding belongs to the bound vertex array, an indexed uniform bind also sets the generic
// binding, and deleting an object unbinds it from the context's bindings but not from vertex
// arrays that are not bound. Bindings hold object identities, not names, so a reused name
// is told apart from the deleted object it once named.
struct FakeGl {
  std::vector<std::string> calls;

  // Buffers: name -> object identity.
  std::map<GLuint, int> buffers;
  int nextObject = 1;
  int arrayBuffer = 0;
  int uniformBuffer = 0;
  int uniformSlots[16] = {};
  // Vertex arrays: name -> element-array object; vertex array 0 exists as in a compatibility
  // context, which the wrappers must not rely on either way.
  std::map<GLuint, int> vertexArrays{{0u, 0}};
  GLuint vertexArray = 0;
  // Programs and shaders share one name space in GL.
  std::set<GLuint> programs;
  GLuint program = 0;
  // Textures: name -> object identity, and what each unit has bound.
  std::map<GLuint, int> textures;
  int activeUnit = 0;
  int units[16] = {};
  // What the next compile and link report, and the info log behind a failure.
  bool compileOk = true;
  bool linkOk = true;
  std::string infoLog = "0:1(1): error: syntax error";
  // The pixel data of the last TexImage2D, copied.
  std::vector<unsigned char> lastTexels;
  GLenum lastTexFormat = 0;
  GLenum lastCompressedFormat = 0;
  int textureImages = 0;

  static FakeGl*& Current() {
    static FakeGl* current = nullptr;
    return current;
  }

  void Record(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    char line[256];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    calls.push_back(line);
  }
  // The number of recorded calls that start with the text.
  int Count(const std::string& start) const {
    int n = 0;
    for (const std::string& c : calls) n += c.compare(0, start.size(), start) == 0;
    return n;
  }
  bool Has(const std::string& call) const {
    for (const std::string& c : calls)
      if (c == call) return true;
    return false;
  }

  // The object a live name stands for, 0 for none.
  int BufferObject(GlHandle name) const {
    auto it = buffers.find(static_cast<GLuint>(name));
    return it == buffers.end() ? 0 : it->second;
  }
  int TextureObject(GlHandle name) const {
    auto it = textures.find(static_cast<GLuint>(name));
    return it == textures.end() ? 0 : it->second;
  }
  int ElementBuffer() const {
    auto it = vertexArrays.find(vertexArray);
    return it == vertexArrays.end() ? -1 : it->second;
  }

  static GLuint LowestFree(const std::map<GLuint, int>& used) {
    GLuint n = 1;
    while (used.count(n)) ++n;
    return n;
  }

  // --- the GL entry points ---
  static void GLAPIENTRY GenBuffers(GLsizei n, GLuint* out) {
    FakeGl& f = *Current();
    for (GLsizei i = 0; i < n; ++i) {
      out[i] = LowestFree(f.buffers);
      f.buffers[out[i]] = f.nextObject++;
      f.Record("GenBuffers %u", out[i]);
    }
  }
  static void GLAPIENTRY DeleteBuffers(GLsizei n, const GLuint* names) {
    FakeGl& f = *Current();
    for (GLsizei i = 0; i < n; ++i) {
      f.Record("DeleteBuffers %u", names[i]);
      auto it = f.buffers.find(names[i]);
      if (it == f.buffers.end()) continue;
      const int object = it->second;
      if (f.arrayBuffer == object) f.arrayBuffer = 0;
      if (f.uniformBuffer == object) f.uniformBuffer = 0;
      for (int& slot : f.uniformSlots)
        if (slot == object) slot = 0;
      if (f.vertexArrays[f.vertexArray] == object) f.vertexArrays[f.vertexArray] = 0;
      f.buffers.erase(it);
    }
  }
  static void GLAPIENTRY BindBuffer(GLenum target, GLuint name) {
    FakeGl& f = *Current();
    f.Record("BindBuffer %s %u",
             target == GL_ARRAY_BUFFER           ? "array"
             : target == GL_ELEMENT_ARRAY_BUFFER ? "element"
             : target == GL_UNIFORM_BUFFER       ? "uniform"
                                                 : "?",
             name);
    int object = 0;
    if (name != 0) {
      object = f.BufferObject(name);
      // Binding a name glGenBuffers did not give is an error in a core context.
      EXPECT_NE(object, 0) << "bind of buffer name " << name << " that is not live";
    }
    if (target == GL_ARRAY_BUFFER) f.arrayBuffer = object;
    if (target == GL_ELEMENT_ARRAY_BUFFER) f.vertexArrays[f.vertexArray] = object;
    if (target == GL_UNIFORM_BUFFER) f.uniformBuffer = object;
  }
  static void GLAPIENTRY BindBufferBase(GLenum target, GLuint index, GLuint name) {
    FakeGl& f = *Current();
    f.Record("BindBufferBase %u %u", index, name);
    EXPECT_EQ(target, static_cast<GLenum>(GL_UNIFORM_BUFFER));
    const int object = f.BufferObject(name);
    if (index < 16) f.uniformSlots[index] = object;
    f.uniformBuffer = object;
  }
  static void GLAPIENTRY BufferData(GLenum target, GLsizeiptr size, const void* data, GLenum usage) {
    Current()->Record("BufferData %u %ld %s %u", target, static_cast<long>(size), data ? "data" : "null", usage);
  }
  static void* GLAPIENTRY MapBuffer(GLenum target, GLenum access) {
    Current()->Record("MapBuffer %u %u", target, access);
    static unsigned char scratch[64];
    return scratch;
  }
  static void* GLAPIENTRY MapBufferRange(GLenum target, GLintptr offset, GLsizeiptr length, GLbitfield access) {
    Current()->Record("MapBufferRange %u %ld %ld %u", target, static_cast<long>(offset), static_cast<long>(length),
                      access);
    static unsigned char scratch[64];
    return scratch;
  }
  static GLboolean GLAPIENTRY UnmapBuffer(GLenum target) {
    Current()->Record("UnmapBuffer %u", target);
    return GL_TRUE;
  }
  static void GLAPIENTRY GenVertexArrays(GLsizei n, GLuint* out) {
    FakeGl& f = *Current();
    for (GLsizei i = 0; i < n; ++i) {
      out[i] = LowestFree(f.vertexArrays);
      f.vertexArrays[out[i]] = 0;
      f.Record("GenVertexArrays %u", out[i]);
    }
  }
  static void GLAPIENTRY DeleteVertexArrays(GLsizei n, const GLuint* names) {
    FakeGl& f = *Current();
    for (GLsizei i = 0; i < n; ++i) {
      f.Record("DeleteVertexArrays %u", names[i]);
      if (names[i] == 0) continue;
      if (f.vertexArray == names[i]) f.vertexArray = 0;
      f.vertexArrays.erase(names[i]);
    }
  }
  static void GLAPIENTRY BindVertexArray(GLuint name) {
    FakeGl& f = *Current();
    f.Record("BindVertexArray %u", name);
    EXPECT_TRUE(f.vertexArrays.count(name)) << "bind of vertex array " << name << " that is not live";
    f.vertexArray = name;
  }
  static void GLAPIENTRY EnableVertexAttribArray(GLuint index) {
    Current()->Record("EnableVertexAttribArray %u", index);
  }
  static void GLAPIENTRY VertexAttribPointer(GLuint index, GLint size, GLenum type, GLboolean normalised,
                                             GLsizei stride, const void* offset) {
    Current()->Record("VertexAttribPointer %u %d %u %d %d %zu", index, size, type, normalised, stride,
                      reinterpret_cast<size_t>(offset));
  }
  static void GLAPIENTRY VertexAttribDivisor(GLuint index, GLuint divisor) {
    Current()->Record("VertexAttribDivisor %u %u", index, divisor);
  }
  static GLuint GLAPIENTRY CreateShader(GLenum type) {
    FakeGl& f = *Current();
    f.Record("CreateShader %u", type);
    if (type == 0) return 0;
    GLuint n = 1;
    while (f.programs.count(n)) ++n;
    f.programs.insert(n);
    return n;
  }
  static void GLAPIENTRY ShaderSource(GLuint shader, GLsizei, const GLchar* const*, const GLint* length) {
    Current()->Record("ShaderSource %u %d", shader, length ? *length : -1);
  }
  static void GLAPIENTRY CompileShader(GLuint shader) { Current()->Record("CompileShader %u", shader); }
  static void GLAPIENTRY GetShaderiv(GLuint, GLenum, GLint* out) { *out = Current()->compileOk ? 1 : 0; }
  static void GLAPIENTRY InfoLog(GLuint, GLsizei size, GLsizei* length, GLchar* out) {
    const std::string& text = Current()->infoLog;
    const size_t n = text.size() < static_cast<size_t>(size - 1) ? text.size() : static_cast<size_t>(size - 1);
    memcpy(out, text.data(), n);
    out[n] = 0;
    if (length) *length = static_cast<GLsizei>(n);
  }
  static void GLAPIENTRY DeleteShader(GLuint shader) {
    Current()->Record("DeleteShader %u", shader);
    Current()->programs.erase(shader);
  }
  static GLuint GLAPIENTRY CreateProgram() {
    FakeGl& f = *Current();
    GLuint n = 1;
    while (f.programs.count(n)) ++n;
    f.programs.insert(n);
    f.Record("CreateProgram %u", n);
    return n;
  }
  static void GLAPIENTRY AttachShader(GLuint program, GLuint shader) {
    Current()->Record("AttachShader %u %u", program, shader);
  }
  static void GLAPIENTRY LinkProgram(GLuint program) { Current()->Record("LinkProgram %u", program); }
  static void GLAPIENTRY GetProgramiv(GLuint, GLenum, GLint* out) { *out = Current()->linkOk ? 1 : 0; }
  static void GLAPIENTRY ValidateProgram(GLuint program) { Current()->Record("ValidateProgram %u", program); }
  static void GLAPIENTRY UseProgram(GLuint program) {
    Current()->Record("UseProgram %u", program);
    Current()->program = program;
  }
  static void GLAPIENTRY DeleteProgram(GLuint program) {
    Current()->Record("DeleteProgram %u", program);
    Current()->programs.erase(program);
  }
  static GLuint GLAPIENTRY GetUniformBlockIndex(GLuint, const GLchar* name) {
    return strcmp(name, "Missing") == 0 ? GL_INVALID_INDEX : 2;
  }
  static void GLAPIENTRY UniformBlockBinding(GLuint program, GLuint index, GLuint slot) {
    Current()->Record("UniformBlockBinding %u %u %u", program, index, slot);
  }
  static GLint GLAPIENTRY GetUniformLocation(GLuint, const GLchar*) { return 7; }
  static void GLAPIENTRY GenTextures(GLsizei n, GLuint* out) {
    FakeGl& f = *Current();
    for (GLsizei i = 0; i < n; ++i) {
      out[i] = LowestFree(f.textures);
      f.textures[out[i]] = f.nextObject++;
      f.Record("GenTextures %u", out[i]);
    }
  }
  static void GLAPIENTRY DeleteTextures(GLsizei n, const GLuint* names) {
    FakeGl& f = *Current();
    for (GLsizei i = 0; i < n; ++i) {
      f.Record("DeleteTextures %u", names[i]);
      auto it = f.textures.find(names[i]);
      if (it == f.textures.end()) continue;
      for (int& unit : f.units)
        if (unit == it->second) unit = 0;
      f.textures.erase(it);
    }
  }
  static void GLAPIENTRY BindTexture(GLenum target, GLuint name) {
    FakeGl& f = *Current();
    f.Record("BindTexture %u", name);
    EXPECT_EQ(target, static_cast<GLenum>(GL_TEXTURE_2D));
    const int object = name ? f.TextureObject(name) : 0;
    EXPECT_TRUE(name == 0 || object != 0) << "bind of texture name " << name << " that is not live";
    f.units[f.activeUnit] = object;
  }
  static void GLAPIENTRY ActiveTexture(GLenum unit) {
    Current()->Record("ActiveTexture %u", unit - GL_TEXTURE0);
    Current()->activeUnit = static_cast<int>(unit - GL_TEXTURE0);
  }
  static void GLAPIENTRY TexParameteri(GLenum, GLenum name, GLint value) {
    Current()->Record("TexParameteri %u %d", name, value);
  }
  static void GLAPIENTRY TexImage2D(GLenum, GLint level, GLint internal, GLsizei w, GLsizei h, GLint, GLenum format,
                                    GLenum type, const void* data) {
    FakeGl& f = *Current();
    f.Record("TexImage2D %d %d %d %d %u %u", level, internal, w, h, format, type);
    f.lastTexFormat = format;
    f.textureImages++;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    f.lastTexels.assign(bytes, bytes + (data ? 4 * w * h : 0));
  }
  static void GLAPIENTRY CompressedTexImage2D(GLenum, GLint level, GLenum format, GLsizei w, GLsizei h, GLint,
                                              GLsizei size, const void*) {
    FakeGl& f = *Current();
    f.Record("CompressedTexImage2D %d %u %d %d %d", level, format, w, h, size);
    f.lastCompressedFormat = format;
    f.textureImages++;
  }
  static GLenum GLAPIENTRY GetError() { return GL_NO_ERROR; }
  static const GLubyte* GLAPIENTRY GetString(GLenum) { return reinterpret_cast<const GLubyte*>("fake"); }
  static void GLAPIENTRY GetIntegerv(GLenum, GLint* out) { *out = 0; }
  static void GLAPIENTRY Enable(GLenum cap) { Current()->Record("Enable %u", cap); }
  static void GLAPIENTRY PixelStorei(GLenum, GLint) {}
  static void GLAPIENTRY ClearColor(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    Current()->Record("ClearColor %g %g %g %g", r, g, b, a);
  }
  static void GLAPIENTRY ClearDepth(GLdouble d) { Current()->Record("ClearDepth %g", d); }
  static void GLAPIENTRY ClearDepthf(GLfloat d) { Current()->Record("ClearDepthf %g", d); }
  static void GLAPIENTRY ClearStencil(GLint s) { Current()->Record("ClearStencil %d", s); }
  static void GLAPIENTRY Clear(GLbitfield mask) { Current()->Record("Clear %u", mask); }
  static void GLAPIENTRY ReadPixels(GLint x, GLint y, GLsizei, GLsizei, GLenum, GLenum, void* out) {
    Current()->Record("ReadPixels %d %d", x, y);
    *static_cast<float*>(out) = 0.25f;
  }
  static void GLAPIENTRY GetFramebufferAttachmentParameteriv(GLenum, GLenum, GLenum, GLint* out) { *out = GL_SRGB; }

  // The table of entry points pointing at this fake. The optional ones stay null unless asked.
  GlCalls Table(bool optional) const {
    GlCalls t = {};
#define FAKE_ONE(name) t.name = &FakeGl::name;
    FAKE_ONE(GenBuffers)
    FAKE_ONE(DeleteBuffers)
    FAKE_ONE(BindBuffer)
    FAKE_ONE(BindBufferBase)
    FAKE_ONE(BufferData)
    FAKE_ONE(MapBuffer)
    FAKE_ONE(MapBufferRange)
    FAKE_ONE(UnmapBuffer)
    FAKE_ONE(GenVertexArrays)
    FAKE_ONE(DeleteVertexArrays)
    FAKE_ONE(BindVertexArray)
    FAKE_ONE(EnableVertexAttribArray)
    FAKE_ONE(VertexAttribPointer)
    FAKE_ONE(VertexAttribDivisor)
    FAKE_ONE(CreateShader)
    FAKE_ONE(ShaderSource)
    FAKE_ONE(CompileShader)
    FAKE_ONE(GetShaderiv)
    FAKE_ONE(DeleteShader)
    FAKE_ONE(CreateProgram)
    FAKE_ONE(AttachShader)
    FAKE_ONE(LinkProgram)
    FAKE_ONE(GetProgramiv)
    FAKE_ONE(ValidateProgram)
    FAKE_ONE(UseProgram)
    FAKE_ONE(DeleteProgram)
    FAKE_ONE(GetUniformBlockIndex)
    FAKE_ONE(UniformBlockBinding)
    FAKE_ONE(GetUniformLocation)
    FAKE_ONE(GenTextures)
    FAKE_ONE(DeleteTextures)
    FAKE_ONE(BindTexture)
    FAKE_ONE(ActiveTexture)
    FAKE_ONE(TexParameteri)
    FAKE_ONE(TexImage2D)
    FAKE_ONE(CompressedTexImage2D)
    FAKE_ONE(GetError)
    FAKE_ONE(GetString)
    FAKE_ONE(GetIntegerv)
    FAKE_ONE(Enable)
    FAKE_ONE(PixelStorei)
    FAKE_ONE(ClearColor)
    FAKE_ONE(ClearDepth)
    FAKE_ONE(ClearStencil)
    FAKE_ONE(Clear)
    FAKE_ONE(ReadPixels)
    FAKE_ONE(GetFramebufferAttachmentParameteriv)
#undef FAKE_ONE
    t.GetShaderInfoLog = &FakeGl::InfoLog;
    t.GetProgramInfoLog = &FakeGl::InfoLog;
    if (optional) t.ClearDepthf = &FakeGl::ClearDepthf;
    return t;
  }
};

// Puts a fresh fake in place of GL for each test, with the wrappers' caches forgotten, and
// gives the previous table back afterwards.
class FakeGlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_saved = glCalls;
    FakeGl::Current() = &fake;
    glCalls = fake.Table(true);
    GraphicsExit();
  }
  void TearDown() override {
    GraphicsExit();
    glCalls = m_saved;
    FakeGl::Current() = nullptr;
  }
  FakeGl fake;

 private:
  GlCalls m_saved;
};
