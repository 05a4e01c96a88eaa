// VisLabels: the texts written into the scene and onto the screen (site needs, full stores, the hovered tile, speech
// choices, the tutor box).
#include "graphics/vis/vis_labels.h"

#include <cmath>
#include <cstring>

#include <GL/glew.h>

#include "graphics/gl/graphics.h"
#include "graphics/ui/vector_font.h"
#include "graphics/vis/vis.h"
#include "graphics/vis/vis_text.h"
#include "utility/log.h"
#include "world/wld.h"

namespace {

const float c_siteColour[4] = {0.9f, 0.97f, 0.02f, 1.0f};
const float c_blockedSiteColour[4] = {0.88f, 0.04f, 0.09f, 1.0f};
const float c_storeFullColour[4] = {0.9f, 0.97f, 0.02f, 1.0f};
const float c_tileColour[4] = {0.0f, 0.0f, 0.0f, 1.0f};
const float c_speechPanelColour[4] = {0.0f, 0.0f, 0.0f, 0.8f};
const float c_speechHighlightColour[4] = {1.0f, 1.0f, 0.2f, 1.0f};
const float c_speechColour[4] = {0.8f, 0.8f, 0.8f, 1.0f};
const float c_tutorBoxColour[4] = {0.0f, 0.0f, 0.0f, 0.7f};
const float c_tutorTextColour[4] = {0.9f, 0.45f, 0.09f, 0.7f};

// Labels of one frame, kept here so a frame allocates nothing; more building labels than this
// are not shown.
constexpr int c_frameLabelLimit = 256;
TextLabel frameLabels[c_frameLabelLimit];

void SetColour(TextLabel* label, const float c[4]) { memcpy(label->m_colour, c, sizeof(label->m_colour)); }

// A label standing at a point in the scene, turned to face the camera.
void SceneLabel(TextLabel* label, const Matrix44& viewProjection, const Vec3& cameraY, const Vec3& cameraZ,
                const Vec3& at, float hexw) {
  Matrix44 frame = Matrix44::AlignZY(cameraY, cameraZ);
  frame.SetTranslation(at);
  label->m_matrix = viewProjection * frame;
  float h = 0.19f * hexw;
  label->m_x = 0.0f;
  label->m_y = 0.0f;
  label->m_glyphW = 0.52f * h;
  label->m_glyphH = h;
  label->m_hAlign = "center";
  label->m_vAlign = "center";
  label->m_blend = false;
}

}  // namespace

void TextLabelBlock(const TextLabel& label, float out[20]) {
  memcpy(out, label.m_matrix.m, 16 * sizeof(float));
  memcpy(out + 16, label.m_colour, 4 * sizeof(float));
}

bool AboveHorizon(const Vec3& point, const Vec3& camera) { return Dot(point, camera - point) > 0.0f; }

float TextWidth(const char* text, float w) {
  const FontGlyph* glyphs = FontGlyphTable();
  const float sx = 0.2f * w;
  float pen = 0.0f, widest = 0.0f;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text ? text : ""); *p; ++p) {
    if (*p >= c_fontGlyphs) continue;
    if (*p == '\n') {
      pen = 0.0f;
    } else if (*p == ' ') {
      pen += 3.0f * sx;
    } else {
      const float right = pen + glyphs[*p].advance * sx;
      if (right > widest) widest = right;
      pen += (glyphs[*p].advance + 1.0f) * sx;
    }
  }
  return widest;
}

int BuildingLabels(const Wld& world, const Matrix44& viewProjection, const Vec3& cameraY, const Vec3& cameraZ,
                   const Vec3& cameraPos, TextLabel* out, int limit) {
  const Buildings& b = world.buildings;
  const Globe& globe = world.globe;
  int n = 0;
  int count = b.m_cnt < MAXBUILDINGS ? b.m_cnt : MAXBUILDINGS;
  for (int slot = 0; slot < count && n < limit; slot++) {
    if (b.m_name[slot].Empty()) continue;
    int loc = b.m_loca[slot];
    ASSERTT(loc >= 0 && loc < globe.m_sz, "loc>=0");
    if (loc < 0 || loc >= globe.m_sz) continue;
    uint64_t attribs = globe.Attribs(loc);
    Vec3 at = b.m_trfs[slot].GetTranslation() + b.m_trfs[slot].GetZAxis() * (0.3f * globe.m_hexw);
    // The labels are written over everything in front of them, so the far side of the planet
    // must not show through.
    if (!AboveHorizon(at, cameraPos)) continue;
    int wood = 0, lumber = 0, stone = 0, stoneLying = 0;
    if (b.SiteMaterials(slot, &wood, &lumber, &stone, &stoneLying)) {
      TextLabel& l = out[n];
      if (wood > 0 && stone > 0)
        l.m_text.Format("\x05 %d/%d\n\x06 %d/%d", stoneLying, stone, lumber, wood);
      else if (wood > 0)
        l.m_text.Format("\x06 %d/%d", lumber, wood);
      else if (stone > 0)
        l.m_text.Format("\x05 %d/%d", stoneLying, stone);
      else
        l.m_text.Clear();
      // A site with nothing left to bring has nothing to say.
      if (!l.m_text.Empty()) {
        SceneLabel(&l, viewProjection, cameraY, cameraZ, at, globe.m_hexw);
        SetColour(&l, (attribs & (AT_WOODYBLOCK | AT_ROCKYBLOCK)) ? c_blockedSiteColour : c_siteColour);
        n++;
      }
    }
    if ((attribs & AT_FILLEDSTORAGE) && n < limit) {
      TextLabel& l = out[n++];
      l.m_text.Set("STORE\nFULL");
      SceneLabel(&l, viewProjection, cameraY, cameraZ, at, globe.m_hexw);
      SetColour(&l, c_storeFullColour);
    }
  }
  return n;
}

bool TileLabel(const Wld& world, int tile, const Matrix44& viewProjection, TextLabel* out) {
  const Globe& globe = world.globe;
  if (tile < 0 || tile >= globe.m_sz || !globe.m_trfs) return false;
  Vec3 centre = globe.m_trfs[tile].GetTranslation();
  if (centre.LengthSquared() <= 0.0f) return false;
  Vec3 up = Normalize(centre);
  // Any fixed hint not along the tile's outward direction will do; near the poles take another.
  Vec3 hint = fabsf(up.z) < 0.9f ? Vec3{0.0f, 0.0f, 1.0f} : Vec3{0.0f, 1.0f, 0.0f};
  Matrix44 frame = Matrix44::AlignZY(hint, up);
  frame.SetTranslation(centre + up * 0.001f);
  out->m_matrix = viewProjection * frame;
  out->m_text.Format("tile%d", tile);
  float h = 0.19f * globe.m_hexw;
  out->m_x = 0.0f;
  out->m_y = 0.0f;
  out->m_glyphW = 0.52f * h;
  out->m_glyphH = h;
  out->m_hAlign = "center";
  out->m_vAlign = "center";
  out->m_blend = false;
  SetColour(out, c_tileColour);
  return true;
}

int SpeechChoiceLabels(const char* const lines[9], int hover, bool highlight, TextLabel out[10]) {
  TextLabel& panel = out[0];
  panel.m_matrix = Matrix44();
  panel.m_text.Format("%c", c_glyphSpeechPanel);
  panel.m_x = 0.0f;
  panel.m_y = 0.0f;
  panel.m_glyphW = 2.0f;
  panel.m_glyphH = 4.0f;
  panel.m_hAlign = "center";
  panel.m_vAlign = "center";
  panel.m_blend = true;
  SetColour(&panel, c_speechPanelColour);
  int n = 1;
  for (int i = 0; i < 9; i++) {
    if (!lines || !lines[i]) continue;
    TextLabel& l = out[n++];
    bool lit = highlight && i >= 1 && hover == i + 1;
    float k = lit ? 1.04f : 0.96f;
    l.m_matrix = Matrix44();
    l.m_text.Set(lines[i]);
    l.m_x = i == 0 ? -0.5f : -0.32f;
    l.m_y = 1.0f - (i + 1.5f) * 2.0f / 11.0f;
    l.m_glyphW = 0.058f * k;
    l.m_glyphH = 0.122f * k;
    l.m_hAlign = "left";
    l.m_vAlign = "center";
    l.m_blend = false;
    SetColour(&l, lit ? c_speechHighlightColour : c_speechColour);
  }
  return n;
}

int TutorLabels(const char* text, TextLabel out[2]) {
  if (!text) return 0;
  TextLabel& box = out[0];
  box.m_matrix = Matrix44();
  box.m_text.Format("%c", c_glyphTutorBox);
  box.m_x = -1.0f;
  box.m_y = -1.0f;
  box.m_glyphW = 1.96f;
  box.m_glyphH = 0.68f;
  box.m_hAlign = "left";
  box.m_vAlign = "bottom";
  box.m_blend = true;
  SetColour(&box, c_tutorBoxColour);
  TextLabel& t = out[1];
  t.m_matrix = Matrix44();
  t.m_text.Set(text);
  t.m_x = -0.98f;
  t.m_y = -0.98f;
  // A line longer than the box is written narrower, so it never runs past the box's edge.
  const float room = 1.94f, wide = TextWidth(text, 0.0774f);
  t.m_glyphW = wide > room ? 0.0774f * room / wide : 0.0774f;
  t.m_glyphH = 0.172f;
  t.m_hAlign = "left";
  t.m_vAlign = "bottom";
  t.m_blend = false;
  SetColour(&t, c_tutorTextColour);
  return 2;
}

void TextLabelsDraw(uint64_t textBlock, const TextLabel* labels, int count, TextDrawFn draw) {
  if (!textBlock || !draw || !labels) return;
  float block[20];
  for (int i = 0; i < count; i++) {
    const TextLabel& l = labels[i];
    if (l.m_text.Empty()) continue;
    TextLabelBlock(l, block);
    UBufferUpdate(textBlock, sizeof(block), block);
    UBufferBind(textBlock, c_textBlockSlot);
    GLboolean wasBlending = GL_TRUE;
    if (l.m_blend) {
      wasBlending = glIsEnabled(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      glEnable(GL_BLEND);
    }
    draw(l.m_text.c_str(), l.m_x, l.m_y, l.m_glyphW, l.m_glyphH, l.m_hAlign, l.m_vAlign);
    if (!wasBlending) glDisable(GL_BLEND);
  }
}

void BuildingLabelsDraw(Vis* vis, const Wld& world, const Matrix44& viewProjection) {
  const Matrix44 cam = CameraCurrent(*vis);
  const int n = BuildingLabels(world, viewProjection, cam.GetYAxis(), cam.GetZAxis(), cam.GetTranslation(), frameLabels,
                               c_frameLabelLimit);
  // Most buildings stand taller than their label point: with the depth test the label would be
  // hidden inside its own building. The horizon test above keeps the far side's labels out.
  const GLboolean depth = glIsEnabled(GL_DEPTH_TEST);
  glDisable(GL_DEPTH_TEST);
  TextLabelsDraw(vis->m_uniformBuffers[UB_TEXT_INST_VS], frameLabels, n, VisDrawText);
  if (depth) glEnable(GL_DEPTH_TEST);
}

void TileLabelDraw(Vis* vis, const Wld& world, const Matrix44& viewProjection) {
  if (!vis->m_overlay.DebugFlag(1)) return;
  if (!TileLabel(world, vis->m_pick.m_hoverTile, viewProjection, &frameLabels[0])) return;
  TextLabelsDraw(vis->m_uniformBuffers[UB_TEXT_INST_VS], frameLabels, 1, VisDrawText);
}

void SpeechChoicesDraw(Vis* vis) {
  // Rows do not light up while the pointer is busy turning the planet.
  const bool highlight = !vis->m_camera.m_dragging && !vis->m_camera.m_rightHeld;
  const int n = SpeechChoiceLabels(vis->m_speechLines, vis->m_speechHover, highlight, frameLabels);
  TextLabelsDraw(vis->m_uniformBuffers[UB_TEXT_INST_VS], frameLabels, n, VisDrawText);
}

void TutorTextDraw(Vis* vis, const Wld& world) {
  const GlHandle program = vis->m_programs[PROG_TEXT];
  const int n = TutorLabels(world.tutor.Text(), frameLabels);
  if (!program || n == 0) return;
  ProgramUse(program);
  // The box is written over the tutor figure, whatever its depth.
  const GLboolean depth = glIsEnabled(GL_DEPTH_TEST), cull = glIsEnabled(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  TextLabelsDraw(vis->m_uniformBuffers[UB_TEXT_INST_VS], frameLabels, n, VisDrawText);
  if (depth) glEnable(GL_DEPTH_TEST);
  if (cull) glEnable(GL_CULL_FACE);
}
