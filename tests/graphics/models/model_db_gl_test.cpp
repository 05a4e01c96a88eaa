// ModelDB with a real GL context: buffers and vertex arrays of both formats, skin pixel order, drawing one model, and
// every generated model and texture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "captured_log.h"
#include "graphics/gl_fixture.h"
#include "graphics/model_images.h"
#include "graphics/models/model_db.h"
#include "system/file.h"
#include "test_support.h"
#include "world/planet/terraform.h"

using namespace model_images;

namespace {
class ModelDBGlTest : public GlFixture {
 protected:
  void SetUp() override {
    // A suite that opened and closed a window of its own may have ended the shared one; open
    // it again rather than call GL without a context.
    if (GlDisplayExists() && GlWindowOpen() && !WindowExists()) {
      ASSERT_TRUE(VideoInit(0, 0, 3, 3, "Quillomar tests") && WindowCreate(320, 240, false) && GraphicsInit());
    }
    GlFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    m_user = TestTempFolder("models_gl_user");
    m_data = TestTempFolder("models_gl_data");
    ASSERT_TRUE(FoldersSet(m_user.c_str(), m_data.c_str()));
    m_db.SetFolder("data/props");
  }
  void TearDown() override {
    m_db.FreeAll();
    GlFixture::TearDown();
  }
  void WriteData(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::filesystem::path path = std::filesystem::path(m_data) / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  static GLint BufferSize(GLenum target, GlHandle buffer) {
    GLint size = -1;
    glBindBuffer(target, static_cast<GLuint>(buffer));
    glGetBufferParameteriv(target, GL_BUFFER_SIZE, &size);
    glBindBuffer(target, 0);
    return size;
  }
  // The RGBA bytes of level 0 of a texture.
  static std::vector<uint8_t> TexturePixels(GlHandle texture, int count) {
    std::vector<uint8_t> pixels(4 * static_cast<size_t>(count));
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    GlBindingsReset();
    return pixels;
  }

  std::string m_user, m_data;
  ModelDB m_db;
};

// A quad over x in -1..0, y in -1..1 at z 0: two triangles in colour (200, 40, 40), and one line.
std::vector<uint8_t> LeftHalfQuad() {
  std::vector<uint8_t> v = GeoVertexBytes(8, 200, 40, 40);
  const float corners[8][3] = {{-1, -1, 0}, {0, -1, 0}, {0, 1, 0},   {-1, -1, 0},
                               {0, 1, 0},   {-1, 1, 0}, {-1, -1, 0}, {0, 1, 0}};
  for (int i = 0; i < 8; ++i)
    for (int k = 0; k < 3; ++k) PutF(v, 16 * i + 4 * k, corners[i][k]);
  return GeoImage(2, 1, v);
}
}  // namespace

TEST_F(ModelDBGlTest, BuffersOfBothFormats) {
  WriteData("data/quad.geo", LeftHalfQuad());
  Md2Spec s;
  s.frames = {"run1", "run2", "idle1"};
  s.skins = {"ork.pcx"};
  WriteData("data/props/ork.md2", Md2Image(s));
  WriteData("data/props/ork.dds", DdsImage(2, 2, 1, "", 0, 16));

  const int geo = m_db.Load("data/quad.geo", true, 4);
  const int md2 = m_db.Load("data/props/ork.md2", false, 0);
  ASSERT_EQ(geo, 0);
  ASSERT_EQ(md2, 1);
  const ModelEntry* g = m_db.Entry(geo);
  const ModelEntry* f = m_db.Entry(md2);
  EXPECT_NE(g->m_vbuffer, 0u);
  EXPECT_NE(g->m_varray, 0u);
  EXPECT_EQ(g->m_ibuffer, 0u);
  EXPECT_EQ(g->m_texture, 0u);
  EXPECT_EQ(BufferSize(GL_ARRAY_BUFFER, g->m_vbuffer), 128 + 4 * 64);  // 8 vertices, 4 instances
  EXPECT_EQ(BufferSize(GL_ARRAY_BUFFER, f->m_vbuffer), 3 * 3 * 32);
  EXPECT_NE(f->m_texture, 0u);
  // The figure's index buffer is part of its vertex array: binding the array is enough to draw.
  glBindVertexArray(static_cast<GLuint>(f->m_varray));
  GLint bound = 0;
  glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &bound);
  GLint indexBytes = 0;
  glGetBufferParameteriv(GL_ELEMENT_ARRAY_BUFFER, GL_BUFFER_SIZE, &indexBytes);
  glBindVertexArray(0);
  EXPECT_EQ(static_cast<GlHandle>(bound), f->m_ibuffer);
  EXPECT_EQ(indexBytes, 3 * 2);
  // Instanced models read their matrices behind the vertices: locations 2..5, divisor 1.
  glBindVertexArray(static_cast<GLuint>(g->m_varray));
  GLint divisor = -1;
  void* offset = nullptr;
  glGetVertexAttribiv(2, GL_VERTEX_ATTRIB_ARRAY_DIVISOR, &divisor);
  glGetVertexAttribPointerv(5, GL_VERTEX_ATTRIB_ARRAY_POINTER, &offset);
  glBindVertexArray(0);
  EXPECT_EQ(divisor, 1);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(offset), 128u + 48u);
  GlBindingsReset();

  const GLuint names[4] = {static_cast<GLuint>(g->m_vbuffer), static_cast<GLuint>(f->m_vbuffer),
                           static_cast<GLuint>(f->m_ibuffer), static_cast<GLuint>(f->m_texture)};
  m_db.FreeAll();
  EXPECT_FALSE(glIsBuffer(names[0]));
  EXPECT_FALSE(glIsBuffer(names[1]));
  EXPECT_FALSE(glIsBuffer(names[2]));
  EXPECT_FALSE(glIsTexture(names[3]));
}

// The legacy masked layout stores blue first; a DX10 RGBA8 image is already red first. Both
// must reach GL as the same red, green, blue, alpha.
TEST_F(ModelDBGlTest, SkinPixelOrder) {
  std::vector<uint8_t> legacy = DdsImage(1, 1, 1, "", 0, 4);
  const uint8_t bgra[4] = {10, 20, 30, 40};
  memcpy(&legacy[128], bgra, 4);
  std::vector<uint8_t> dx10 = DdsImage(1, 1, 1, "DX10", 28, 4);
  const uint8_t rgba[4] = {30, 20, 10, 40};
  memcpy(&dx10[148], rgba, 4);
  WriteData("legacy.dds", legacy);
  WriteData("dx10.dds", dx10);
  const GlHandle a = m_db.LoadTexture("legacy.dds");
  const GlHandle b = m_db.LoadTexture("dx10.dds");
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  EXPECT_EQ(TexturePixels(a, 1), std::vector<uint8_t>({30, 20, 10, 40}));
  EXPECT_EQ(TexturePixels(b, 1), std::vector<uint8_t>({30, 20, 10, 40}));
  TextureDelete(a);
  TextureDelete(b);
  CapturedLog log;
  EXPECT_EQ(m_db.LoadTexture("missing.dds"), 0u);
  EXPECT_TRUE(log.Has("Cannot open texture file 'missing.dds'"));
}

// One model drawn through its vertex array lands where it stands: the left half of the frame
// shows its colour, the right half keeps the background.
TEST_F(ModelDBGlTest, ADrawnModelIsReadBackWhereItStands) {
  WriteData("data/quad.geo", LeftHalfQuad());
  const int slot = m_db.Load("data/quad.geo", false, 1);
  ASSERT_EQ(slot, 0);
  const char* vs =
      "#version 330 core\nlayout(location = 0) in vec3 p;\nlayout(location = 1) in vec4 c;\nout vec4 colour;\n"
      "void main() { colour = c; gl_Position = vec4(p, 1.0); }\n";
  const char* fs = "#version 330 core\nin vec4 colour;\nout vec4 o;\nvoid main() { o = colour; }\n";
  GlHandle shaders[2] = {ShaderCompile(SHADER_VERTEX, vs, static_cast<int>(strlen(vs))),
                         ShaderCompile(SHADER_FRAGMENT, fs, static_cast<int>(strlen(fs)))};
  const GlHandle program = ProgramLink(2, shaders);
  ASSERT_NE(program, 0u);
  int w = 0, h = 0;
  DrawableSize(&w, &h);
  glViewport(0, 0, w, h);
  FrameClear(0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 0);
  ProgramUse(program);
  VArrayBind(m_db.Entry(slot)->m_varray);
  glDrawArrays(GL_TRIANGLES, 0, 6);
  VArrayBind(0);
  std::vector<uint8_t> pixels = ReadBack(&w, &h);
  ASSERT_GT(w, 8);
  auto at = [&](int x, int y) { return &pixels[(static_cast<size_t>(y) * w + x) * 4]; };
  const uint8_t* left = at(w / 4, h / 2);
  const uint8_t* right = at(3 * w / 4, h / 2);
  EXPECT_EQ(left[0], 200);
  EXPECT_EQ(left[1], 40);
  EXPECT_EQ(left[2], 40);
  EXPECT_EQ(right[0], 0);
  EXPECT_EQ(right[2], 255);
  ProgramDelete(program);
  ShaderDelete(shaders[0]);
  ShaderDelete(shaders[1]);
}

// Every model and texture the build generated into the data folder loads into the table.
TEST_F(ModelDBGlTest, EveryGeneratedModelAndTextureLoads) {
  const char* root = getenv("QUILLOMAR_DATA_DIR");
  if (!root || !std::filesystem::is_directory(std::string(root) + "/data"))
    GTEST_SKIP() << "QUILLOMAR_DATA_DIR does not name a built data folder";
  std::vector<std::string> models, textures;
  for (const auto& e : std::filesystem::recursive_directory_iterator(std::string(root) + "/data")) {
    if (!e.is_regular_file()) continue;
    const std::string rel = std::filesystem::relative(e.path(), root).generic_string();
    const std::string ext = e.path().extension().string();
    if (ext == ".geo" || ext == ".md2") models.push_back(rel);
    if (ext == ".dds") textures.push_back(rel);
  }
  const bool planetsThere = std::filesystem::is_directory(std::string(root) + "/data/planets");
  if (models.empty() && textures.empty() && !planetsThere)
    GTEST_SKIP() << "the data folder holds no generated models, textures or planet dumps yet";
  ASSERT_TRUE(FoldersSet(m_user.c_str(), root));
  for (const std::string& name : models) {
    if (m_db.Count() >= MAXMODELS) m_db.FreeAll();
    const int slot = m_db.Load(name.c_str(), true, 16);
    ASSERT_GE(slot, 0) << name;
    const ModelEntry* e = m_db.Entry(slot);
    EXPECT_NE(e->m_varray, 0u) << name;
    EXPECT_GT(e->m_mesh.m_triangleCount, 0) << name;
    if (e->m_mesh.m_animCount > 0) {
      EXPECT_NE(e->m_ibuffer, 0u) << name;
      // A figure's skin, when it names one, loads with it.
      if (!e->m_mesh.m_skinPath.Empty()) {
        EXPECT_NE(e->m_texture, 0u) << name;
      }
    }
  }
  for (const std::string& name : textures) {
    const GlHandle t = m_db.LoadTexture(name.c_str());
    EXPECT_NE(t, 0u) << name;
    if (t) TextureDelete(t);
  }
  // The planets made from the generated dumps load as the planet's slot, refreshed in place.
  m_db.FreeAll();
  int planets = 0;
  for (int size = 0; size <= 5; ++size) {
    FixedString dump;
    dump.Format("data/planets/planet%d.dump", size + 2);
    if (!FileExists(dump.c_str(), false)) continue;
    ASSERT_EQ(TerraformWrite(size, 0, size, 1, 2), 0);
    ASSERT_EQ(m_db.Refresh("custom.geo", false, 1), 0) << size;
    const ModelMesh& mesh = m_db.Entry(0)->m_mesh;
    EXPECT_EQ(mesh.m_vertexCount, 3 * mesh.m_triangleCount + 2 * mesh.m_lineCount);
    EXPECT_NE(m_db.Entry(0)->m_varray, 0u);
    ++planets;
  }
  RecordProperty("planets", planets);
  RecordProperty("models", static_cast<int>(models.size()));
  RecordProperty("textures", static_cast<int>(textures.size()));
}
