// The GL wrappers against a recording fake: bind caches, attribute layout, uploads, failures.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "captured_log.h"
#include "graphics/gl/gl_calls.h"
#include "graphics/gl/graphics.h"
#include "graphics/gl_fake.h"
#include "test_support.h"

using GraphicsCacheTest = FakeGlTest;

TEST_F(GraphicsCacheTest, UniformSlotsCacheLowSlotsOnlyAndSetTheGenericBinding) {
  GlHandle u;
  {
    ExpectAsserts asserts;
    u = UBufferCreate(20, nullptr, true);
    EXPECT_TRUE(asserts.Saw("bufferSize % 16 == 0"));
  }
  ASSERT_NE(u, 0u);
  EXPECT_TRUE(fake.Has("BufferData 35345 20 null 35040"));  // GL_UNIFORM_BUFFER, GL_STREAM_DRAW
  EXPECT_EQ(fake.uniformBuffer, 0) << "creation leaves the generic target unbound";

  fake.calls.clear();
  UBufferBind(u, 3);
  UBufferBind(u, 3);
  EXPECT_EQ(fake.Count("BindBufferBase 3"), 1);
  UBufferBind(u, 9);
  UBufferBind(u, 9);
  EXPECT_EQ(fake.Count("BindBufferBase 9"), 2);
  // The indexed bind set the generic binding, so a generic bind of the same buffer is skipped.
  UBufferBind(u, -1);
  EXPECT_EQ(fake.Count("BindBuffer uniform"), 0);
  EXPECT_EQ(fake.uniformBuffer, fake.BufferObject(u));

  // Orphaning: two uploads per update, the first without data.
  fake.calls.clear();
  const float block[4] = {1, 2, 3, 4};
  UBufferUpdate(u, sizeof(block), block);
  ASSERT_EQ(fake.calls.size(), 2u);
  EXPECT_EQ(fake.calls[0], "BufferData 35345 16 null 35040");
  EXPECT_EQ(fake.calls[1], "BufferData 35345 16 data 35040");
}

TEST_F(GraphicsCacheTest, DestroyedUniformBufferLeavesNoStaleSlot) {
  // GL unbinds a deleted buffer from the indexed slots; a new buffer that gets the same name
  // must still reach GL when bound to that slot.
  const GlHandle u = UBufferCreate(16, nullptr, true);
  UBufferBind(u, 0);
  UBufferDestroy(u);
  EXPECT_EQ(fake.uniformSlots[0], 0);
  const GlHandle again = UBufferCreate(16, nullptr, true);
  ASSERT_EQ(again, u) << "the fake reuses names, as drivers do";
  fake.calls.clear();
  UBufferBind(again, 0);
  EXPECT_EQ(fake.Count("BindBufferBase 0"), 1);
  EXPECT_EQ(fake.uniformSlots[0], fake.BufferObject(again));
}

TEST_F(GraphicsCacheTest, ElementArrayBindingBelongsToTheVertexArray) {
  const GlHandle vb = VBufferCreate(64, nullptr, false);
  const uint32_t codes[] = {VA_FLOAT3, VA_UBYTE4N};
  const GlHandle a = VArrayCreate(vb, 16, 2, codes, 1, 0);
  const GlHandle b = VArrayCreate(vb, 16, 2, codes, 1, 0);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  VArrayBind(a);
  const GlHandle ib = IBufferCreate(12, nullptr, false);
  EXPECT_EQ(fake.ElementBuffer(), fake.BufferObject(ib));

  // Under b the index buffer is not bound yet, whatever was bound under a.
  VArrayBind(b);
  fake.calls.clear();
  IBufferBind(ib);
  EXPECT_EQ(fake.Count("BindBuffer element"), 1);
  EXPECT_EQ(fake.ElementBuffer(), fake.BufferObject(ib));
  // Back under a it still is, so no call is needed.
  VArrayBind(a);
  fake.calls.clear();
  IBufferBind(ib);
  EXPECT_EQ(fake.Count("BindBuffer element"), 0);
  EXPECT_EQ(fake.ElementBuffer(), fake.BufferObject(ib));

  // Deleting another index buffer while a is bound leaves a's own one in place.
  VArrayBind(0);
  const GlHandle other = IBufferCreate(12, nullptr, false);
  VArrayBind(a);
  IBufferDestroy(other);
  EXPECT_EQ(fake.ElementBuffer(), fake.BufferObject(ib));

  // An index buffer deleted while b is bound stays attached to a as nameless storage: a new
  // buffer that reuses its name is not what a holds.
  VArrayBind(b);
  IBufferDestroy(ib);
  VArrayBind(0);
  const GlHandle reused = IBufferCreate(12, nullptr, false);
  ASSERT_EQ(reused, ib);
  VArrayBind(a);
  fake.calls.clear();
  IBufferBind(reused);
  EXPECT_EQ(fake.Count("BindBuffer element"), 1);
  EXPECT_EQ(fake.ElementBuffer(), fake.BufferObject(reused));
}

// Random sequences of creations, binds and deletions: after every bind GL must really have
// the object bound, which is what every cache is for. Names are reused by the fake, so a
// cache that keeps a deleted name is caught as soon as the name comes back.
TEST_F(GraphicsCacheTest, RandomSequencesKeepEveryCacheTrueToGl) {
  std::mt19937 random(20260101u);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); };
  std::vector<GlHandle> vertexBuffers, indexBuffers, uniformBuffers, arrays, textures;
  const uint32_t codes[] = {VA_FLOAT3, VA_FLOAT3, VA_FLOAT2};
  for (int step = 0; step < 20000; ++step) {
    SCOPED_TRACE(step);
    // Few live objects at a time, so that names and slots come back often.
    const int op =
        vertexBuffers.size() + indexBuffers.size() + uniformBuffers.size() + textures.size() > 12 ? 4 : pick(14);
    switch (op) {
      case 0:
        vertexBuffers.push_back(VBufferCreate(256, nullptr, pick(2)));
        break;
      case 1:
        indexBuffers.push_back(IBufferCreate(64, nullptr, false));
        EXPECT_EQ(fake.ElementBuffer(), fake.BufferObject(indexBuffers.back()));
        break;
      case 2:
        uniformBuffers.push_back(UBufferCreate(32, nullptr, true));
        break;
      case 3:
        if (!vertexBuffers.empty()) {
          arrays.push_back(VArrayCreate(vertexBuffers[pick(vertexBuffers.size())], 32, 3, codes, 1 + pick(3), 4096));
          EXPECT_EQ(fake.vertexArray, 0u);
        }
        break;
      case 4: {
        std::vector<GlHandle>* lists[] = {&vertexBuffers, &indexBuffers, &uniformBuffers, &arrays, &textures};
        std::vector<GlHandle>& list = *lists[pick(5)];
        if (list.empty()) break;
        const int i = pick(list.size());
        const GlHandle h = list[i];
        list.erase(list.begin() + i);
        if (&list == &vertexBuffers) VBufferDestroy(h);
        if (&list == &indexBuffers) IBufferDestroy(h);
        if (&list == &uniformBuffers) UBufferDestroy(h);
        if (&list == &arrays) VArrayDestroy(h);
        if (&list == &textures) TextureDelete(h);
        break;
      }
      case 5: {
        const GlHandle a = arrays.empty() || pick(4) == 0 ? 0 : arrays[pick(arrays.size())];
        VArrayBind(a);
        EXPECT_EQ(fake.vertexArray, a);
        break;
      }
      case 6:
      case 7:
        if (!indexBuffers.empty()) {
          const GlHandle ib = indexBuffers[pick(indexBuffers.size())];
          if (pick(2))
            IBufferBind(ib);
          else
            IBufferMap(ib);
          EXPECT_EQ(fake.ElementBuffer(), fake.BufferObject(ib));
        }
        break;
      case 8:
        if (!vertexBuffers.empty()) {
          const GlHandle vb = vertexBuffers[pick(vertexBuffers.size())];
          if (pick(2))
            VBufferBind(vb);
          else
            VBufferMap(vb, 0, 64);
          EXPECT_EQ(fake.arrayBuffer, fake.BufferObject(vb));
        }
        break;
      case 9:
        if (!uniformBuffers.empty()) {
          const GlHandle u = uniformBuffers[pick(uniformBuffers.size())];
          const int slots[] = {-1, 0, 1, 2, 9};
          const int slot = slots[pick(5)];
          UBufferBind(u, slot);
          if (slot >= 0) {
            EXPECT_EQ(fake.uniformSlots[slot], fake.BufferObject(u));
          }
          // A slot bind that the cache skips leaves the generic binding alone, as GL would.
          if (slot < 0 || slot >= c_uniformSlotCaches) {
            EXPECT_EQ(fake.uniformBuffer, fake.BufferObject(u));
          }
        }
        break;
      case 10:
        if (!uniformBuffers.empty()) {
          const GlHandle u = uniformBuffers[pick(uniformBuffers.size())];
          UBufferUpdate(u, 32, nullptr);
          EXPECT_EQ(fake.uniformBuffer, fake.BufferObject(u));
        }
        break;
      case 11:
        textures.push_back(TextureGen(pick(3)));
        break;
      case 12:
        if (!textures.empty()) {
          const GlHandle t = textures[pick(textures.size())];
          TextureBind(t);
          EXPECT_EQ(fake.units[fake.activeUnit], fake.TextureObject(t));
        }
        break;
      case 13:
        TextureActive(pick(3));
        break;
    }
    if (HasFailure()) return;
  }
}

TEST_F(GraphicsCacheTest, DeletingATextureLeavesNoTextureBound) {
  const GlHandle a = TextureGen(TFILTER_LINEAR);
  const GlHandle b = TextureGen(TFILTER_NEAREST);
  EXPECT_TRUE(fake.Has("TexParameteri 10241 9729"));  // GL_TEXTURE_MIN_FILTER, GL_LINEAR
  EXPECT_TRUE(fake.Has("TexParameteri 10240 9728"));  // GL_TEXTURE_MAG_FILTER, GL_NEAREST
  TextureBind(b);
  TextureDelete(a);
  EXPECT_EQ(fake.units[0], 0);
  fake.calls.clear();
  TextureBind(b);
  EXPECT_EQ(fake.Count("BindTexture"), 1);

  // A texture deleted while bound on another unit is gone from that unit too.
  ASSERT_EQ(TextureGen(TFILTER_NEAREST), a) << "takes the free name first";
  TextureActive(1);
  TextureBind(b);
  TextureActive(0);
  TextureDelete(b);
  const GlHandle c = TextureGen(TFILTER_NEAREST);
  ASSERT_EQ(c, b);
  TextureActive(1);
  fake.calls.clear();
  TextureBind(c);
  EXPECT_EQ(fake.Count("BindTexture"), 1);
  EXPECT_EQ(fake.units[1], fake.TextureObject(c));
}

TEST_F(GraphicsCacheTest, VertexArrayLayoutPacksAttributesAndInstanceMatrices) {
  const GlHandle vb = VBufferCreate(8192, nullptr, false);
  const uint32_t codes[] = {VA_FLOAT3, VA_UBYTE4N};
  fake.calls.clear();
  VArrayCreate(vb, 16, 2, codes, 1, 4096);
  EXPECT_TRUE(fake.Has("VertexAttribPointer 0 3 5126 0 16 0"));
  EXPECT_TRUE(fake.Has("VertexAttribPointer 1 4 5121 1 16 12"));
  EXPECT_EQ(fake.Count("VertexAttribDivisor"), 0);
  EXPECT_EQ(fake.Count("VertexAttribPointer"), 2);

  fake.calls.clear();
  VArrayCreate(vb, 16, 2, codes, 64, 4096);
  for (int k = 0; k < 4; ++k) {
    const int location = 2 + k;
    EXPECT_TRUE(fake.Has("VertexAttribDivisor " + std::to_string(location) + " 1"));
    EXPECT_TRUE(
        fake.Has("VertexAttribPointer " + std::to_string(location) + " 4 5126 0 64 " + std::to_string(4096 + 16 * k)));
    EXPECT_TRUE(fake.Has("EnableVertexAttribArray " + std::to_string(location)));
  }
  EXPECT_EQ(fake.calls.back(), "BindVertexArray 0");

  // Hostile descriptions are refused before any GL object is made.
  CapturedLog log;
  const uint32_t bad[] = {VA_FLOAT3, 7};
  fake.calls.clear();
  EXPECT_EQ(VArrayCreate(vb, 16, 2, bad, 1, 0), 0u);
  EXPECT_EQ(VArrayCreate(vb, 16, 3, nullptr, 1, 0), 0u);
  EXPECT_EQ(VArrayCreate(vb, 16, -1, codes, 1, 0), 0u);
  EXPECT_EQ(VArrayCreate(0, 16, 2, codes, 1, 0), 0u);
  EXPECT_TRUE(fake.calls.empty());
  EXPECT_TRUE(log.Has("unknown attribute type code 7"));
}

TEST_F(GraphicsCacheTest, TextureUploadFormats) {
  // A B, G, R, A pixel goes to GL as it is, with GL told the byte order: the caller's bytes
  // are not swapped, so the same image can be uploaded twice.
  unsigned char pixel[4] = {10, 20, 30, 40};
  const GlHandle t = TextureCreate(1, 1, 4, TF_BGRA8, false, TFILTER_NEAREST, pixel);
  ASSERT_NE(t, 0u);
  EXPECT_EQ(fake.lastTexFormat, static_cast<GLenum>(GL_BGRA));
  EXPECT_EQ(pixel[0], 10);
  EXPECT_EQ(pixel[2], 30);
  TextureUpload(t, TF_RGBA8, false, 0, 1, 1, 0, pixel);
  EXPECT_EQ(fake.lastTexFormat, static_cast<GLenum>(GL_RGBA));

  struct Case {
    int format;
    bool srgb;
    GLenum compressed;    // expected compressed format, 0 for none
    const char* logLine;  // expected log line, null for none
    bool assertion;
  };
  const Case cases[] = {
      {TF_DXT1, false, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, nullptr, false},
      {TF_DXT1, true, GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT1_EXT, nullptr, false},
      {TF_DXT5, false, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, nullptr, false},
      {TF_DXT5, true, GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT5_EXT, nullptr, false},
      {-3, true, 0, "sRGB compressed texture is unsupported.", false},
      {-3, false, 0, "compressed texture is unsupported.", false},
      {0, false, 0, nullptr, true},
      {6, false, 0, nullptr, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    CapturedLog log;
    ExpectAsserts asserts;
    const int images = fake.textureImages;
    fake.lastCompressedFormat = 0;
    TextureUpload(t, c.format, c.srgb, 0, 4, 4, 8, pixel);
    EXPECT_EQ(fake.lastCompressedFormat, c.compressed);
    EXPECT_EQ(fake.textureImages - images, c.compressed || (!c.logLine && !c.assertion) ? 1 : 0);
    if (c.logLine) {
      EXPECT_TRUE(log.HasLine(c.logLine));
    }
    EXPECT_EQ(asserts.Count(), c.assertion ? 1 : 0);
    if (c.assertion) {
      EXPECT_TRUE(asserts.Saw("false"));
    }
  }
}

TEST_F(GraphicsCacheTest, ShaderAndProgramFailuresLogAndCleanUp) {
  CapturedLog log;
  EXPECT_EQ(ShaderCompile(SHADER_VERTEX, nullptr, 0), 0u);
  EXPECT_TRUE(fake.calls.empty()) << "a null source makes no GL object";
  EXPECT_EQ(ShaderCompile(9, "void main(){}", 13), 0u) << "an unknown stage";

  fake.compileOk = false;
  EXPECT_EQ(ShaderCompile(SHADER_FRAGMENT, "garbage", 7), 0u);
  EXPECT_TRUE(log.HasLine("SHADER COMPILE FAILED: 0:1(1): error: syntax error"));
  EXPECT_EQ(fake.Count("DeleteShader"), 1);
  fake.compileOk = true;
  const GlHandle vs = ShaderCompile(SHADER_VERTEX, "void main(){}", 13);
  ASSERT_NE(vs, 0u);

  const GlHandle good = ProgramLink(1, &vs);
  ASSERT_NE(good, 0u);
  EXPECT_EQ(fake.Count("ValidateProgram"), 1);
  ProgramUse(good);
  ProgramUse(good);
  EXPECT_EQ(fake.Count("UseProgram"), 1);

  // A failed link deletes its program and leaves no program current.
  fake.linkOk = false;
  fake.infoLog = std::string(3000, 'x');
  EXPECT_EQ(ProgramLink(1, &vs), 0u);
  EXPECT_TRUE(log.HasLine("SHADER LINK FAILED: " + std::string(1023, 'x')));
  EXPECT_EQ(fake.program, 0u);
  EXPECT_EQ(ProgramLink(1, nullptr), 0u);

  fake.calls.clear();
  ProgramBindBlock(good, "Missing", 3);
  ProgramBindBlock(good, "Light", 3);
  ASSERT_EQ(fake.calls.size(), 1u);
  EXPECT_EQ(fake.calls[0], "UniformBlockBinding " + std::to_string(good) + " 2 3");
  ProgramUse(good);
  ProgramDelete(good);
  EXPECT_EQ(fake.program, 0u);
}

TEST_F(GraphicsCacheTest, ClearUsesClearDepthfOnlyWhereTheDriverHasIt) {
  FrameClear(0.5f, 0.25f, 0, 1, 1, 0);
  EXPECT_TRUE(fake.Has("ClearDepthf 1"));
  EXPECT_EQ(fake.Count("ClearDepth "), 0);
  EXPECT_TRUE(fake.Has("Clear 17664"));  // colour | depth | stencil
  glCalls.ClearDepthf = nullptr;
  fake.calls.clear();
  FrameClear(0, 0, 0, 1, 0.5f, 0);
  EXPECT_TRUE(fake.Has("ClearDepth 0.5"));
  EXPECT_FLOAT_EQ(DepthRead(3, 4), 0.25f);
}

TEST_F(GraphicsCacheTest, DebugLinesDropUsageHintsAndLogTheRest) {
  CapturedLog log;
  const char hint[] = "Buffer object 3 (bound to GL_ARRAY_BUFFER, usage hint is GL_STATIC_DRAW) will use VIDEO memory";
  GlDebugCallback(GL_DEBUG_SOURCE_API, GL_DEBUG_TYPE_OTHER, 1, GL_DEBUG_SEVERITY_NOTIFICATION, sizeof(hint) - 1, hint,
                  nullptr);
  EXPECT_EQ(log.Count(), 0);
  GlDebugCallback(GL_DEBUG_SOURCE_SHADER_COMPILER, GL_DEBUG_TYPE_PERFORMANCE, 2, GL_DEBUG_SEVERITY_NOTIFICATION, 9,
                  "recompile and more", nullptr);
  GlDebugCallback(0x1234, GL_DEBUG_TYPE_MARKER, 3, 0, -1, "free text", nullptr);
  GlDebugCallback(GL_DEBUG_SOURCE_API, GL_DEBUG_TYPE_ERROR, 4, GL_DEBUG_SEVERITY_HIGH, 0, nullptr, nullptr);
  EXPECT_TRUE(log.HasLine("[Shader Compiler][Performance]{Notification}: recompile"));
  EXPECT_TRUE(log.HasLine("[Unknown][Unknown]{Unknown}: free text"));
  EXPECT_EQ(log.Count(), 2);
}

TEST(GlCallsTest, MissingEntryPointIsNamed) {
  FakeGl fake;
  GlCalls table = fake.Table(false);
  EXPECT_EQ(GlCallsMissing(table), nullptr) << "the optional entries may be null";
  table.MapBufferRange = nullptr;
  ASSERT_NE(GlCallsMissing(table), nullptr);
  EXPECT_STREQ(GlCallsMissing(table), "glMapBufferRange");
}
