// The GL wrappers on a real driver (Mesa under Xvfb): drawing, instancing, uploads, read-backs.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "captured_log.h"
#include "graphics/gl/graphics.h"
#include "graphics/gl/screenshot.h"
#include "graphics/gl_fixture.h"
#include "test_support.h"

namespace {

// A flat-coloured 2D program: position from attribute 0, plus one instance matrix when
// the vertex array has them.
const char c_vertexPlain[] =
    "#version 330 core\n"
    "layout(location = 0) in vec2 position;\n"
    "void main() { gl_Position = vec4(position, 0.5, 1.0); }\n";
const char c_vertexInstanced[] =
    "#version 330 core\n"
    "layout(location = 0) in vec2 position;\n"
    "layout(location = 1) in mat4 instance;\n"
    "void main() { gl_Position = instance * vec4(position, 0.5, 1.0); }\n";
const char c_fragment[] =
    "#version 330 core\n"
    "layout(std140) uniform Colour { vec4 colour; };\n"
    "out vec4 fragment;\n"
    "void main() { fragment = colour; }\n";

GlHandle ProgramMake(const char* vertex) {
  GlHandle shaders[2] = {ShaderCompile(SHADER_VERTEX, vertex, static_cast<int>(strlen(vertex))),
                         ShaderCompile(SHADER_FRAGMENT, c_fragment, static_cast<int>(strlen(c_fragment)))};
  EXPECT_NE(shaders[0], 0u);
  EXPECT_NE(shaders[1], 0u);
  const GlHandle program = ProgramLink(2, shaders);
  ShaderDelete(shaders[0]);
  ShaderDelete(shaders[1]);
  return program;
}

// The RGBA pixel at (x, y), bottom-left origin, of a read-back.
const uint8_t* Pixel(const std::vector<uint8_t>& pixels, int width, int x, int y) {
  return &pixels[(static_cast<size_t>(y) * width + x) * 4];
}

}  // namespace

using GraphicsGlTest = GlFixture;

TEST_F(GraphicsGlTest, ContextIsCoreProfileOfAtLeastThreeThree) {
  GLint major = 0, minor = 0, profile = 0;
  glGetIntegerv(GL_MAJOR_VERSION, &major);
  glGetIntegerv(GL_MINOR_VERSION, &minor);
  glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
  EXPECT_GE(major * 10 + minor, 33);
  EXPECT_TRUE(profile & GL_CONTEXT_CORE_PROFILE_BIT);
  EXPECT_EQ(GlCallsMissing(glCalls), nullptr);
}

TEST_F(GraphicsGlTest, InstancedQuadsLandWhereTheirMatricesPutThem) {
  const GlHandle program = ProgramMake(c_vertexInstanced);
  ASSERT_NE(program, 0u);
  // Two instances of a small quad: one moved to the left half, one to the right half.
  const float quad[] = {-0.2f, -0.2f, 0.2f, -0.2f, -0.2f, 0.2f, 0.2f, 0.2f};
  const size_t instanceOffset = 256;
  std::vector<uint8_t> data(instanceOffset + 2 * 64, 0);
  memcpy(data.data(), quad, sizeof(quad));
  float matrices[2][16] = {};
  for (int i = 0; i < 2; ++i) {
    matrices[i][0] = matrices[i][5] = matrices[i][10] = matrices[i][15] = 1.0f;
    matrices[i][12] = i == 0 ? -0.5f : 0.5f;  // column-vector convention: translation in column 3
  }
  memcpy(data.data() + instanceOffset, matrices, sizeof(matrices));
  const GlHandle vb = VBufferCreate(data.size(), data.data(), true);
  const uint32_t codes[] = {VA_FLOAT2};
  const GlHandle va = VArrayCreate(vb, 8, 1, codes, 2, instanceOffset);
  ASSERT_NE(va, 0u);
  const float colour[4] = {1.0f, 0.5f, 0.0f, 1.0f};
  const GlHandle ub = UBufferCreate(16, colour, true);
  ProgramBindBlock(program, "Colour", 2);
  UBufferBind(ub, 2);

  int width = 0, height = 0;
  DrawableSize(&width, &height);
  glViewport(0, 0, width, height);
  glEnable(GL_DEPTH_TEST);
  FrameClear(0, 0, 0, 1, 1, 0);
  ProgramUse(program);
  VArrayBind(va);
  glDrawArraysInstanced(GL_TRIANGLE_STRIP, 0, 4, 2);
  glDisable(GL_DEPTH_TEST);

  std::vector<uint8_t> pixels = ReadBack(&width, &height);
  const uint8_t* left = Pixel(pixels, width, width / 4, height / 2);
  const uint8_t* right = Pixel(pixels, width, width * 3 / 4, height / 2);
  const uint8_t* middle = Pixel(pixels, width, width / 2, height / 2);
  EXPECT_GT(left[0], 200);
  EXPECT_GT(right[0], 200);
  EXPECT_GT(right[1], 100);
  EXPECT_EQ(middle[0], 0) << "nothing is drawn between the two instances";
  EXPECT_FLOAT_EQ(DepthRead(width / 4, height / 2), 0.75f) << "z 0.5 lands at depth 0.75";
  EXPECT_FLOAT_EQ(DepthRead(width / 2, height / 2), 1.0f);

  SaveShot("instanced_quads");
  const std::string path = TestTempFolder("gl") + "/instanced.png";
  EXPECT_TRUE(ScreenshotSave(path.c_str()));
  // The file is a PNG of the whole window: its header carries the drawable's size.
  const std::vector<uint8_t> png = ReadAll(path);
  ASSERT_GE(png.size(), 24u);
  const auto at32 = [&](size_t at) {
    return static_cast<int>((uint32_t(png[at]) << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3]);
  };
  EXPECT_EQ(memcmp(&png[12], "IHDR", 4), 0);
  EXPECT_EQ(at32(16), width);
  EXPECT_EQ(at32(20), height);

  VArrayDestroy(va);
  VBufferDestroy(vb);
  UBufferDestroy(ub);
  ProgramDelete(program);
}

TEST_F(GraphicsGlTest, ElementArrayBindingFollowsTheVertexArrayOnTheDriver) {
  const GlHandle vb = VBufferCreate(64, nullptr, false);
  const uint32_t codes[] = {VA_FLOAT2};
  const GlHandle a = VArrayCreate(vb, 8, 1, codes, 1, 0);
  const GlHandle b = VArrayCreate(vb, 8, 1, codes, 1, 0);
  VArrayBind(a);
  const GlHandle ia = IBufferCreate(12, nullptr, false);
  VArrayBind(b);
  const GlHandle ib = IBufferCreate(12, nullptr, false);
  VArrayBind(a);
  IBufferBind(ia);
  GLint bound = 0;
  glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &bound);
  EXPECT_EQ(static_cast<GlHandle>(bound), ia);
  VArrayBind(b);
  IBufferBind(ia);
  glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &bound);
  EXPECT_EQ(static_cast<GlHandle>(bound), ia) << "b's binding changed to ia even though a had it already";
  IBufferDestroy(ib);
  // An index buffer made with no vertex array bound (as the GUI makes its own) is bound to
  // its vertex array by the first bind under it.
  VArrayBind(0);
  const GlHandle loose = IBufferCreate(12, nullptr, false);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  VArrayBind(a);
  IBufferBind(loose);
  glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &bound);
  EXPECT_EQ(static_cast<GlHandle>(bound), loose);
  VArrayBind(0);
  IBufferDestroy(loose);
  IBufferDestroy(ia);
  VArrayDestroy(a);
  VArrayDestroy(b);
  VBufferDestroy(vb);
}

TEST_F(GraphicsGlTest, TextureUploadsKeepChannelOrderAndTheCallersBytes) {
  struct Case {
    int format;
    uint8_t source[4];
    uint8_t expected[4];
  };
  const Case cases[] = {
      {TF_BGRA8, {10, 20, 30, 40}, {30, 20, 10, 40}},
      {TF_RGBA8, {10, 20, 30, 40}, {10, 20, 30, 40}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    uint8_t source[4];
    memcpy(source, c.source, 4);
    const GlHandle t = TextureCreate(1, 1, 4, c.format, false, TFILTER_NEAREST, source);
    ASSERT_NE(t, 0u);
    uint8_t texel[4] = {};
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    EXPECT_EQ(memcmp(texel, c.expected, 4), 0) << int(texel[0]) << "," << int(texel[1]) << "," << int(texel[2]);
    EXPECT_EQ(memcmp(source, c.source, 4), 0) << "the caller's bytes are left as they were";
    TextureDelete(t);
  }
  // A 4x4 DXT1 block (one colour, all texels index 0) and a 3-pixel-wide RGB image, whose
  // rows are not 4-byte aligned.
  const uint8_t dxt1[8] = {0x00, 0xf8, 0x00, 0xf8, 0, 0, 0, 0};
  const GlHandle compressed = TextureCreate(4, 4, sizeof(dxt1), TF_DXT1, true, TFILTER_LINEAR, dxt1);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  const uint8_t rgb[2][3][3] = {{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {{10, 11, 12}, {13, 14, 15}, {16, 17, 18}}};
  const GlHandle odd = TextureCreate(3, 2, 0, TF_RGB8, false, TFILTER_NEAREST, rgb);
  uint8_t back[2][3][3] = {};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, back);
  EXPECT_EQ(memcmp(back, rgb, sizeof(rgb)), 0);
  TextureDelete(compressed);
  TextureDelete(odd);
}

TEST_F(GraphicsGlTest, CompileAndLinkFailuresCarryTheDriversMessage) {
  CapturedLog log;
  const char broken[] = "#version 330 core\nvoid main() { undeclared = 1; }\n";
  EXPECT_EQ(ShaderCompile(SHADER_FRAGMENT, broken, sizeof(broken) - 1), 0u);
  EXPECT_TRUE(log.HasPrefix("SHADER COMPILE FAILED: ")) << log.Line(0);
  EXPECT_GT(log.Line(log.Find("SHADER COMPILE FAILED")).size(), strlen("SHADER COMPILE FAILED: ") + 5);

  // A vertex stage whose output the fragment stage reads with another type does not link.
  const char vs[] = "#version 330 core\nout vec3 v;\nvoid main() { v = vec3(1); gl_Position = vec4(0); }\n";
  const char fs[] = "#version 330 core\nin vec4 v;\nout vec4 f;\nvoid main() { f = v; }\n";
  GlHandle shaders[2] = {ShaderCompile(SHADER_VERTEX, vs, sizeof(vs) - 1),
                         ShaderCompile(SHADER_FRAGMENT, fs, sizeof(fs) - 1)};
  ASSERT_NE(shaders[0], 0u);
  ASSERT_NE(shaders[1], 0u);
  EXPECT_EQ(ProgramLink(2, shaders), 0u);
  EXPECT_TRUE(log.HasPrefix("SHADER LINK FAILED: "));
  ShaderDelete(shaders[0]);
  ShaderDelete(shaders[1]);
}

TEST_F(GraphicsGlTest, DriverDebugMessagesReachTheLog) {
  if (glCalls.DebugMessageCallback == nullptr) GTEST_SKIP() << "the driver has no debug output";
  CapturedLog log;
  const char text[] = "hello from the test";
  glDebugMessageInsert(GL_DEBUG_SOURCE_APPLICATION, GL_DEBUG_TYPE_OTHER, 1, GL_DEBUG_SEVERITY_NOTIFICATION, -1, text);
  EXPECT_TRUE(log.HasLine("[Application][Other]{Notification}: hello from the test"));
}
