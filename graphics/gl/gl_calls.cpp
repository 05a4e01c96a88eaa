// The table of GL entry points the wrappers call: filled from the driver, or from a test's fake.
#include "graphics/gl/gl_calls.h"

#include <cstddef>

GlCalls glCalls = {};

// Every entry the wrappers cannot do without. The optional ones (ClearDepthf,
// DebugMessageCallback) are not listed.
#define GL_REQUIRED(X)       \
  X(GenBuffers)              \
  X(DeleteBuffers)           \
  X(BindBuffer)              \
  X(BindBufferBase)          \
  X(BufferData)              \
  X(MapBuffer)               \
  X(MapBufferRange)          \
  X(UnmapBuffer)             \
  X(GenVertexArrays)         \
  X(DeleteVertexArrays)      \
  X(BindVertexArray)         \
  X(EnableVertexAttribArray) \
  X(VertexAttribPointer)     \
  X(VertexAttribDivisor)     \
  X(CreateShader)            \
  X(ShaderSource)            \
  X(CompileShader)           \
  X(GetShaderiv)             \
  X(GetShaderInfoLog)        \
  X(DeleteShader)            \
  X(CreateProgram)           \
  X(AttachShader)            \
  X(LinkProgram)             \
  X(GetProgramiv)            \
  X(GetProgramInfoLog)       \
  X(ValidateProgram)         \
  X(UseProgram)              \
  X(DeleteProgram)           \
  X(GetUniformBlockIndex)    \
  X(UniformBlockBinding)     \
  X(GetUniformLocation)      \
  X(GenTextures)             \
  X(DeleteTextures)          \
  X(BindTexture)             \
  X(ActiveTexture)           \
  X(TexParameteri)           \
  X(TexImage2D)              \
  X(CompressedTexImage2D)    \
  X(GetError)                \
  X(GetString)               \
  X(GetIntegerv)             \
  X(Enable)                  \
  X(PixelStorei)             \
  X(ClearColor)              \
  X(ClearDepth)              \
  X(ClearStencil)            \
  X(Clear)                   \
  X(ReadPixels)              \
  X(GetFramebufferAttachmentParameteriv)

const char* GlCallsMissing(const GlCalls& calls) {
#define GL_CHECK_ONE(name) \
  if (calls.name == nullptr) return "gl" #name;
  GL_REQUIRED(GL_CHECK_ONE)
#undef GL_CHECK_ONE
  return nullptr;
}

const char* GlCallsLoad() {
  // GLEW names its loaded pointers with the GL names (macros over __glew* variables); the
  // 1.0/1.1 functions are plain exports of the GL library. Either way the expression below
  // gives the address to call.
#define GL_LOAD_ONE(name) glCalls.name = gl##name;
  GL_REQUIRED(GL_LOAD_ONE)
#undef GL_LOAD_ONE
  glCalls.ClearDepthf = glClearDepthf;
  glCalls.DebugMessageCallback = glDebugMessageCallback;
  return GlCallsMissing(glCalls);
}
