// The table of GL entry points the wrappers call: filled from the driver, or from a test's fake.
#pragma once

#include <GL/glew.h>

// One pointer per GL function the wrappers use, named as GL names it without the "gl" prefix.
// The wrappers call GL only through this table, so a test can put a recording fake in its
// place and check the bind caches without a window. The two optional entries (ClearDepthf,
// DebugMessageCallback) are newer than 3.3 and may be null.
struct GlCalls {
  // Buffers
  void(GLAPIENTRY* GenBuffers)(GLsizei, GLuint*);
  void(GLAPIENTRY* DeleteBuffers)(GLsizei, const GLuint*);
  void(GLAPIENTRY* BindBuffer)(GLenum, GLuint);
  void(GLAPIENTRY* BindBufferBase)(GLenum, GLuint, GLuint);
  void(GLAPIENTRY* BufferData)(GLenum, GLsizeiptr, const void*, GLenum);
  void*(GLAPIENTRY* MapBuffer)(GLenum, GLenum);
  void*(GLAPIENTRY* MapBufferRange)(GLenum, GLintptr, GLsizeiptr, GLbitfield);
  GLboolean(GLAPIENTRY* UnmapBuffer)(GLenum);
  // Vertex arrays
  void(GLAPIENTRY* GenVertexArrays)(GLsizei, GLuint*);
  void(GLAPIENTRY* DeleteVertexArrays)(GLsizei, const GLuint*);
  void(GLAPIENTRY* BindVertexArray)(GLuint);
  void(GLAPIENTRY* EnableVertexAttribArray)(GLuint);
  void(GLAPIENTRY* VertexAttribPointer)(GLuint, GLint, GLenum, GLboolean, GLsizei, const void*);
  void(GLAPIENTRY* VertexAttribDivisor)(GLuint, GLuint);
  // Shaders and programs
  GLuint(GLAPIENTRY* CreateShader)(GLenum);
  void(GLAPIENTRY* ShaderSource)(GLuint, GLsizei, const GLchar* const*, const GLint*);
  void(GLAPIENTRY* CompileShader)(GLuint);
  void(GLAPIENTRY* GetShaderiv)(GLuint, GLenum, GLint*);
  void(GLAPIENTRY* GetShaderInfoLog)(GLuint, GLsizei, GLsizei*, GLchar*);
  void(GLAPIENTRY* DeleteShader)(GLuint);
  GLuint(GLAPIENTRY* CreateProgram)();
  void(GLAPIENTRY* AttachShader)(GLuint, GLuint);
  void(GLAPIENTRY* LinkProgram)(GLuint);
  void(GLAPIENTRY* GetProgramiv)(GLuint, GLenum, GLint*);
  void(GLAPIENTRY* GetProgramInfoLog)(GLuint, GLsizei, GLsizei*, GLchar*);
  void(GLAPIENTRY* ValidateProgram)(GLuint);
  void(GLAPIENTRY* UseProgram)(GLuint);
  void(GLAPIENTRY* DeleteProgram)(GLuint);
  GLuint(GLAPIENTRY* GetUniformBlockIndex)(GLuint, const GLchar*);
  void(GLAPIENTRY* UniformBlockBinding)(GLuint, GLuint, GLuint);
  GLint(GLAPIENTRY* GetUniformLocation)(GLuint, const GLchar*);
  // Textures
  void(GLAPIENTRY* GenTextures)(GLsizei, GLuint*);
  void(GLAPIENTRY* DeleteTextures)(GLsizei, const GLuint*);
  void(GLAPIENTRY* BindTexture)(GLenum, GLuint);
  void(GLAPIENTRY* ActiveTexture)(GLenum);
  void(GLAPIENTRY* TexParameteri)(GLenum, GLenum, GLint);
  void(GLAPIENTRY* TexImage2D)(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*);
  void(GLAPIENTRY* CompressedTexImage2D)(GLenum, GLint, GLenum, GLsizei, GLsizei, GLint, GLsizei, const void*);
  // Frame and state
  GLenum(GLAPIENTRY* GetError)();
  const GLubyte*(GLAPIENTRY* GetString)(GLenum);
  void(GLAPIENTRY* GetIntegerv)(GLenum, GLint*);
  void(GLAPIENTRY* Enable)(GLenum);
  void(GLAPIENTRY* PixelStorei)(GLenum, GLint);
  void(GLAPIENTRY* ClearColor)(GLfloat, GLfloat, GLfloat, GLfloat);
  void(GLAPIENTRY* ClearDepth)(GLdouble);
  void(GLAPIENTRY* ClearDepthf)(GLfloat);  // optional
  void(GLAPIENTRY* ClearStencil)(GLint);
  void(GLAPIENTRY* Clear)(GLbitfield);
  void(GLAPIENTRY* ReadPixels)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*);
  void(GLAPIENTRY* GetFramebufferAttachmentParameteriv)(GLenum, GLenum, GLenum, GLint*);
  void(GLAPIENTRY* DebugMessageCallback)(GLDEBUGPROC, const void*);  // optional
};

// The table the wrappers call through. All null until GlCallsLoad or a test fills it.
extern GlCalls glCalls;

// Fills the table from the driver; call after glewInit with the context current. Returns the
// name of the first required entry point that is missing, or null when all are there.
const char* GlCallsLoad();
// The name of the first required entry point of the table that is null, or null when none is.
const char* GlCallsMissing(const GlCalls& calls);
