// Contact sheet: renders every model of the data folder, and each figure's sequences frame by frame, into labelled PNG
// grids.
//
// Usage: contact_sheet [output folder]   (the data folder comes from QUILLOMAR_DATA_DIR, else ".")
// Writes "models.png" (every ".geo" model of the data folder, and a freshly made planet) and
// "figures.png" (one row per sequence of every ".md2" figure, a cell per frame). Each cell is
// drawn off-screen in the window's back buffer, read back and placed in the sheet; the labels
// come from a small built-in bitmap font. A line per model tells its counts and how much of its
// cell it covers, so an empty or misplaced model shows up in the log as well as in the picture.
#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "graphics/gl/graphics.h"
#include "graphics/gl/screenshot.h"
#include "graphics/models/model_db.h"
#include "system/file.h"
#include "system/window.h"
#include "utility/log.h"
#include "utility/matrix44.h"
#include "utility/png.h"
#include "world/planet/terraform.h"

namespace {

// 5x8 glyphs, one byte per row, bit 4 the leftmost pixel; the last row holds the descenders.
// Upper case is drawn as lower case.
struct Glyph {
  char c;
  uint8_t rows[8];
};
const Glyph c_font[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E, 0x00}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E, 0x00}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F, 0x00}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E, 0x00}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02, 0x00}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E, 0x00}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E, 0x00}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08, 0x00}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E, 0x00}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C, 0x00}},
    {'a', {0x00, 0x00, 0x0E, 0x01, 0x0F, 0x11, 0x0F, 0x00}}, {'b', {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x1E, 0x00}},
    {'c', {0x00, 0x00, 0x0E, 0x10, 0x10, 0x11, 0x0E, 0x00}}, {'d', {0x01, 0x01, 0x0D, 0x13, 0x11, 0x11, 0x0F, 0x00}},
    {'e', {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E, 0x00}}, {'f', {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08, 0x00}},
    {'g', {0x00, 0x00, 0x0F, 0x11, 0x11, 0x0F, 0x01, 0x0E}}, {'h', {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x11, 0x00}},
    {'i', {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E, 0x00}}, {'j', {0x02, 0x00, 0x06, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'k', {0x10, 0x10, 0x12, 0x14, 0x18, 0x14, 0x12, 0x00}}, {'l', {0x0C, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E, 0x00}},
    {'m', {0x00, 0x00, 0x1A, 0x15, 0x15, 0x11, 0x11, 0x00}}, {'n', {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11, 0x00}},
    {'o', {0x00, 0x00, 0x0E, 0x11, 0x11, 0x11, 0x0E, 0x00}}, {'p', {0x00, 0x00, 0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10}},
    {'q', {0x00, 0x00, 0x0F, 0x11, 0x11, 0x0F, 0x01, 0x01}}, {'r', {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10, 0x00}},
    {'s', {0x00, 0x00, 0x0E, 0x10, 0x0E, 0x01, 0x1E, 0x00}}, {'t', {0x08, 0x08, 0x1C, 0x08, 0x08, 0x09, 0x06, 0x00}},
    {'u', {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0D, 0x00}}, {'v', {0x00, 0x00, 0x11, 0x11, 0x11, 0x0A, 0x04, 0x00}},
    {'w', {0x00, 0x00, 0x11, 0x11, 0x15, 0x15, 0x0A, 0x00}}, {'x', {0x00, 0x00, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x00}},
    {'y', {0x00, 0x00, 0x11, 0x11, 0x11, 0x0F, 0x01, 0x0E}}, {'z', {0x00, 0x00, 0x1F, 0x02, 0x04, 0x08, 0x1F, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C, 0x00}}, {'_', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F, 0x00}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00, 0x00}}, {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00, 0x00}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00, 0x00}}, {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02, 0x00}},
    {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08, 0x00}}, {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03, 0x00}},
    {'!', {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04, 0x00}}, {' ', {0, 0, 0, 0, 0, 0, 0, 0x00}},
};
const uint8_t c_unknownGlyph[8] = {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04, 0x00};

const uint8_t* GlyphRows(char c) {
  if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  for (const Glyph& g : c_font)
    if (g.c == c) return g.rows;
  return c_unknownGlyph;
}

// An RGB picture, top row first.
struct Sheet {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;

  void Make(int w, int h, uint8_t grey) {
    width = w, height = h;
    rgb.assign(static_cast<size_t>(w) * h * 3, grey);
  }
  void Put(int x, int y, const uint8_t colour[3]) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    memcpy(&rgb[(static_cast<size_t>(y) * width + x) * 3], colour, 3);
  }
  // Text at (x, y) top left, cut at maxWidth pixels.
  void Text(int x, int y, const char* text, const uint8_t colour[3], int maxWidth) {
    for (int i = 0; text[i] && (i + 1) * 6 <= maxWidth; ++i) {
      const uint8_t* rows = GlyphRows(text[i]);
      for (int r = 0; r < 8; ++r)
        for (int b = 0; b < 5; ++b)
          if (rows[r] & (0x10 >> b)) Put(x + 6 * i + b, y + r, colour);
    }
  }
  // A read-back cell (RGBA, bottom row first) with its top left at (x, y).
  void Blit(int x, int y, const uint8_t* rgba, int w, int h) {
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c) Put(x + c, y + r, &rgba[(static_cast<size_t>(h - 1 - r) * w + c) * 4]);
  }
};

const uint8_t c_white[3] = {235, 235, 235};
const uint8_t c_red[3] = {255, 80, 80};
const float c_background[3] = {0.22f, 0.26f, 0.31f};

const char* const c_staticVs = R"(#version 330 core
layout(location = 0) in vec3 inPos;
layout(location = 1) in vec4 inColour;
uniform mat4 viewProj;
out vec3 worldPos;
out vec4 colour;
void main() {
  worldPos = inPos;
  colour = inColour;
  gl_Position = viewProj * vec4(inPos, 1.0);
}
)";
const char* const c_animVs = R"(#version 330 core
layout(location = 0) in vec3 inPos;
layout(location = 1) in vec3 inNextPos;
layout(location = 2) in vec2 inUv;
uniform mat4 viewProj;
uniform float blend;
out vec3 worldPos;
out vec2 uv;
void main() {
  worldPos = mix(inPos, inNextPos, blend);
  uv = inUv;
  gl_Position = viewProj * vec4(worldPos, 1.0);
}
)";
// Faces are lit from their screen-space normal, so meshes without normals still show their shape.
const char* const c_staticFs = R"(#version 330 core
in vec3 worldPos;
in vec4 colour;
uniform int unlit;
out vec4 fragColour;
void main() {
  vec3 n = normalize(cross(dFdx(worldPos), dFdy(worldPos)));
  float light = unlit != 0 ? 1.0 : 0.45 + 0.55 * abs(dot(n, normalize(vec3(0.4, -0.5, 0.75))));
  fragColour = vec4(colour.rgb * light, 1.0);
}
)";
const char* const c_animFs = R"(#version 330 core
in vec3 worldPos;
in vec2 uv;
uniform sampler2D skin;
uniform int hasSkin;
out vec4 fragColour;
void main() {
  vec3 n = normalize(cross(dFdx(worldPos), dFdy(worldPos)));
  float light = 0.45 + 0.55 * abs(dot(n, normalize(vec3(0.4, -0.5, 0.75))));
  vec3 base = hasSkin != 0 ? texture(skin, uv).rgb : vec3(0.8, 0.8, 0.8);
  fragColour = vec4(base * light, 1.0);
}
)";

GlHandle Program(const char* vs, const char* fs) {
  GlHandle shaders[2] = {ShaderCompile(SHADER_VERTEX, vs, static_cast<int>(strlen(vs))),
                         ShaderCompile(SHADER_FRAGMENT, fs, static_cast<int>(strlen(fs)))};
  GlHandle program = shaders[0] && shaders[1] ? ProgramLink(2, shaders) : 0;
  ShaderDelete(shaders[0]);
  ShaderDelete(shaders[1]);
  return program;
}

// A camera that frames the box from above and to the front, the model's z axis up.
Matrix44 FrameBox(const Aabb& box) {
  const Vec3 centre = (box.min + box.max) * 0.5f;
  float radius = (box.max - box.min).Length() * 0.5f;
  if (!(radius > 1e-6f)) radius = 1.0f;
  const Vec3 back = Normalize(Vec3{0.55f, -1.0f, 0.7f});
  const float fov = 0.5f;
  // The half diagonal overstates a model's reach in most directions; a little less fills the cell.
  const float distance = radius / sinf(fov * 0.5f) * 0.95f;
  const Vec3 eye = centre + back * distance;
  const Vec3 z = back;
  const Vec3 x = Normalize(Cross(Vec3{0, 0, 1}, z));
  const Vec3 y = Cross(z, x);
  Matrix44 camera;
  camera.SetAxis(0, x);
  camera.SetAxis(1, y);
  camera.SetAxis(2, z);
  camera.SetAxis(3, eye);
  const Matrix44 view = Matrix44::Inverse(camera);
  return Matrix44::Perspective(
             fov, 1.0f, distance - radius * 1.1f > distance * 0.01f ? distance - radius * 1.1f : distance * 0.01f,
             distance + radius * 1.1f) *
         view;
}

// Share of the cell's pixels that differ from the background, in percent.
float Coverage(const std::vector<uint8_t>& rgba, int size) {
  const uint8_t bg[3] = {static_cast<uint8_t>(c_background[0] * 255.0f + 0.5f),
                         static_cast<uint8_t>(c_background[1] * 255.0f + 0.5f),
                         static_cast<uint8_t>(c_background[2] * 255.0f + 0.5f)};
  int covered = 0;
  for (int i = 0; i < size * size; ++i) {
    const uint8_t* p = &rgba[4 * static_cast<size_t>(i)];
    if (abs(p[0] - bg[0]) > 2 || abs(p[1] - bg[1]) > 2 || abs(p[2] - bg[2]) > 2) ++covered;
  }
  return 100.0f * covered / static_cast<float>(size * size);
}

struct Renderer {
  GlHandle staticProgram = 0, animProgram = 0;
  int size = 0;
  std::vector<uint8_t> cell;

  void Begin() {
    glViewport(0, 0, size, size);
    FrameClear(c_background[0], c_background[1], c_background[2], 1.0f, 1.0f, 0);
  }
  void Read() { ScreenshotRead(0, 0, size, size, cell.data()); }

  void DrawStatic(const ModelEntry& e) {
    Begin();
    const Matrix44 vp = FrameBox(e.m_mesh.m_bounds);
    ProgramUse(staticProgram);
    glUniformMatrix4fv(ProgramUniform(staticProgram, "viewProj"), 1, GL_FALSE, vp.m);
    VArrayBind(e.m_varray);
    glUniform1i(ProgramUniform(staticProgram, "unlit"), 0);
    glDrawArrays(GL_TRIANGLES, 0, 3 * e.m_mesh.m_triangleCount);
    glUniform1i(ProgramUniform(staticProgram, "unlit"), 1);
    if (e.m_mesh.m_lineCount > 0) glDrawArrays(GL_LINES, 3 * e.m_mesh.m_triangleCount, 2 * e.m_mesh.m_lineCount);
    VArrayBind(0);
    Read();
  }

  void DrawFrame(const ModelEntry& e, const Aabb& box, int frame) {
    Begin();
    const Matrix44 vp = FrameBox(box);
    ProgramUse(animProgram);
    glUniformMatrix4fv(ProgramUniform(animProgram, "viewProj"), 1, GL_FALSE, vp.m);
    glUniform1f(ProgramUniform(animProgram, "blend"), 0.0f);
    glUniform1i(ProgramUniform(animProgram, "hasSkin"), e.m_texture ? 1 : 0);
    glUniform1i(ProgramUniform(animProgram, "skin"), 0);
    if (e.m_texture) TextureBind(e.m_texture);
    VArrayBind(e.m_varray);
    glDrawElementsBaseVertex(GL_TRIANGLES, e.m_mesh.m_indexCount, GL_UNSIGNED_SHORT, nullptr,
                             frame * e.m_mesh.m_vertexCount);
    VArrayBind(0);
    Read();
  }
};

// The box around every frame of a sequence, so that its strip keeps one scale and its motion shows.
Aabb SequenceBox(const ModelMesh& mesh, const AnimRecord& seq) {
  Aabb box;
  const float* v = mesh.Md2Vertices() + int64_t{seq.firstFrame} * mesh.m_vertexCount * 8;
  const int64_t count = int64_t{seq.frameCount} * mesh.m_vertexCount;
  for (int64_t i = 0; i < count; ++i) box.Extend(Vec3{v[8 * i], v[8 * i + 1], v[8 * i + 2]});
  return box;
}

std::vector<std::string> ModelFiles(const std::string& dataFolder, const char* extension) {
  std::vector<std::string> names;
  std::error_code ec;
  const std::filesystem::path root = std::filesystem::path(dataFolder) / "data";
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file() && it->path().extension() == extension)
      names.push_back(std::filesystem::relative(it->path(), dataFolder).generic_string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string outFolder = argc > 1 ? argv[1] : ".";
  FixedString data;
  if (!DataFolderResolve(&data)) return 1;
  // The planet is made in a folder of its own, so that the player's folder is never touched.
  char userTemplate[] = "/tmp/quillomar_sheet_XXXXXX";
  const char* user = mkdtemp(userTemplate);
  if (!user || !FoldersSet(user, data.c_str())) {
    LOGE("Cannot make a folder for the planet.");
    return 1;
  }
  const std::vector<std::string> geos = ModelFiles(data.c_str(), ".geo");
  const std::vector<std::string> figures = ModelFiles(data.c_str(), ".md2");
  LOGI("Found %zu models and %zu figures under %s/data.", geos.size(), figures.size(), data.c_str());

  if (!VideoInit(0, 0, 3, 3, "Quillomar contact sheet") || !WindowCreate(256, 256, false) || !GraphicsInit()) {
    LOGE("Cannot open a window with a GL context.");
    return 1;
  }
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);

  Renderer r;
  r.size = 160;
  r.cell.resize(static_cast<size_t>(r.size) * r.size * 4);
  r.staticProgram = Program(c_staticVs, c_staticFs);
  r.animProgram = Program(c_animVs, c_animFs);
  if (!r.staticProgram || !r.animProgram) {
    LOGE("The contact sheet's shaders did not build.");
    return 1;
  }

  ModelDB db;
  db.SetFolder("data/props");
  int failures = 0;

  // The static models, with a planet of the smallest size in front.
  std::vector<std::string> names;
  if (TerraformWrite(0, 0, 0, 1, 2) == 0) names.push_back("custom.geo");
  names.insert(names.end(), geos.begin(), geos.end());
  const int label = 12, columns = 10;
  const int rows = (static_cast<int>(names.size()) + columns - 1) / columns;
  Sheet models;
  models.Make(columns * r.size, std::max(1, rows) * (r.size + label), 30);
  int shown = 0;
  for (const std::string& name : names) {
    const int x = (shown % columns) * r.size, y = (shown / columns) * (r.size + label);
    ++shown;
    std::string caption = name;
    // The folder below data/ and the name without ".geo" fit the cell's width.
    if (caption.rfind("data/", 0) == 0) caption = caption.substr(5);
    if (caption.size() > 4) caption.resize(caption.size() - 4);
    const int slot = db.Load(name.c_str(), false, 1);
    const ModelEntry* e = db.Entry(slot);
    if (!e) {
      models.Text(x + 2, y + 2, caption.c_str(), c_red, r.size - 4);
      models.Text(x + 2, y + 20, "failed to load", c_red, r.size - 4);
      ++failures;
      continue;
    }
    r.DrawStatic(*e);
    models.Blit(x, y, r.cell.data(), r.size, r.size);
    const float cover = Coverage(r.cell, r.size);
    LOGI("model %-36s triangles %6d lines %6d size %.3f x %.3f x %.3f covers %5.1f%%", name.c_str(),
         e->m_mesh.m_triangleCount, e->m_mesh.m_lineCount, e->m_mesh.m_bounds.max.x - e->m_mesh.m_bounds.min.x,
         e->m_mesh.m_bounds.max.y - e->m_mesh.m_bounds.min.y, e->m_mesh.m_bounds.max.z - e->m_mesh.m_bounds.min.z,
         cover);
    models.Text(x + 2, y + r.size + 3, caption.c_str(), cover > 0.5f ? c_white : c_red, r.size - 4);
    // Models are released as they go, so any number fits the table.
    if (db.Count() >= MAXMODELS) db.FreeAll();
  }
  db.FreeAll();
  const std::string modelsPath = outFolder + "/models.png";
  if (!PngWrite(modelsPath.c_str(), models.rgb.data(), models.width, models.height, 3, false)) return 1;
  LOGI("Wrote %s (%d x %d).", modelsPath.c_str(), models.width, models.height);

  // The figures: one row per sequence, a cell per frame (at most 12, spread over the sequence).
  const int frameCells = 12, small = 96, title = 110;
  struct Row {
    int slot, sequence;
  };
  std::vector<Row> plan;
  for (const std::string& name : figures) {
    const int slot = db.Load(name.c_str(), false, 0);
    const ModelEntry* e = db.Entry(slot);
    if (!e) {
      ++failures;
      continue;
    }
    LOGI("figure %s: %d frames of %d vertices, %d triangles, %d sequences, skin %s", name.c_str(),
         e->m_mesh.m_frameCount, e->m_mesh.m_vertexCount, e->m_mesh.m_triangleCount, e->m_mesh.m_animCount,
         e->m_texture ? e->m_mesh.m_skinPath.c_str() : "none");
    for (int s = 0; s < e->m_mesh.m_animCount; ++s) plan.push_back(Row{slot, s});
  }
  Sheet strips;
  strips.Make(title + frameCells * small, std::max<int>(1, static_cast<int>(plan.size())) * (small + label), 30);
  r.size = small;
  for (size_t i = 0; i < plan.size(); ++i) {
    const ModelEntry& e = *db.Entry(plan[i].slot);
    const AnimRecord& seq = e.m_mesh.m_anims[plan[i].sequence];
    const Aabb box = SequenceBox(e.m_mesh, seq);
    const int y = static_cast<int>(i) * (small + label);
    std::string figure = e.m_name.c_str();
    figure = figure.substr(figure.find_last_of('/') + 1);
    char text[64];
    strips.Text(4, y + 4, figure.c_str(), c_white, title - 8);
    strips.Text(4, y + 16, seq.name, c_white, title - 8);
    snprintf(text, sizeof(text), "%d frames", seq.frameCount);
    strips.Text(4, y + 28, text, c_white, title - 8);
    snprintf(text, sizeof(text), "from %d", seq.firstFrame);
    strips.Text(4, y + 40, text, c_white, title - 8);
    const int cells = std::min(frameCells, seq.frameCount);
    for (int c = 0; c < cells; ++c) {
      const int f = seq.frameCount <= frameCells ? c : c * (seq.frameCount - 1) / (frameCells - 1);
      r.DrawFrame(e, box, seq.firstFrame + f);
      strips.Blit(title + c * small, y, r.cell.data(), small, small);
      snprintf(text, sizeof(text), "%d", seq.firstFrame + f);
      const float cover = Coverage(r.cell, small);
      strips.Text(title + c * small + 2, y + small + 3, text, cover > 0.5f ? c_white : c_red, small - 4);
      if (cover <= 0.5f) LOGW("figure %s frame %d covers nothing.", e.m_name.c_str(), seq.firstFrame + f);
    }
  }
  db.FreeAll();
  const std::string figuresPath = outFolder + "/figures.png";
  if (!PngWrite(figuresPath.c_str(), strips.rgb.data(), strips.width, strips.height, 3, false)) return 1;
  LOGI("Wrote %s (%d x %d).", figuresPath.c_str(), strips.width, strips.height);

  ProgramDelete(r.staticProgram);
  ProgramDelete(r.animProgram);
  GraphicsExit();
  VideoExit();
  std::filesystem::remove_all(user);
  LOGI("Contact sheet done: %d models could not be loaded.", failures);
  return failures > 0 ? 2 : 0;
}
