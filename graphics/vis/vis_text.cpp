// Screen text: the one text-drawing operation over the vector font, the action buttons, the waiting markers and the
// label, speech-menu and tutor-box passes.
#include "graphics/vis/vis_text.h"

#include <GL/glew.h>

#include <cstring>

#include "graphics/ui/vector_font.h"
#include "graphics/vis/vis.h"
#include "graphics/vis/vis_labels.h"
#include "system/window.h"
#include "world/actors/actors_interventions.h"
#include "world/wld.h"

namespace {

// The laid-out text, and the one buffer and array it is drawn from. The buffer holds several
// texts: each is written behind the one before, so a draw never waits for (or, on a driver that
// does not wait, spoils) the previous one still reading its range; the cursor starts over when
// the next text does not fit.
float scratch[c_fontScratchBytes / sizeof(float)];
constexpr size_t c_textBufferBytes = 4 * c_fontScratchBytes;
GlHandle textBuffer = 0;
GlHandle textArray = 0;
size_t textCursor = 0;

float PixelScale() {
  const float s = DrawableScale();
  return s > 0.0f ? s : 1.0f;
}

void Viewport(const int32_t rect[4]) {
  const float px = PixelScale();
  glViewport(static_cast<int>(rect[0] * px), static_cast<int>(rect[1] * px), static_cast<int>(rect[2] * px),
             static_cast<int>(rect[3] * px));
}

}  // namespace

float TextAlignX(const char* align, float width) {
  if (!align) return 0.0f;
  if (!strcmp(align, "center")) return -width * 0.5f;
  if (!strcmp(align, "right")) return -width;
  return 0.0f;
}

float TextAlignY(const char* align, float height) {
  if (!align) return 0.0f;
  if (!strcmp(align, "center")) return height * 0.5f;
  if (!strcmp(align, "bottom")) return height;
  return 0.0f;
}

void ActionButtonText(const char* name, char* out, int size) {
  if (size <= 0) return;
  int n = 0;
  for (; name && name[n] && n < size - 1; ++n) out[n] = name[n] == '_' ? ' ' : name[n];
  out[n] = 0;
}

int TextWrap(const char* text, float w, float maxWidth, char* out, size_t size) {
  if (!out || size == 0) return 0;
  out[0] = 0;
  if (!text) return 0;
  size_t o = 0;
  int lines = 0;
  auto put = [&](char c) {
    if (o + 1 < size) out[o++] = c;
  };
  const char* p = text;
  while (*p) {
    // The longest run of whole words that fits.
    const char* end = nullptr;
    for (const char* q = p;;) {
      const char* wordEnd = q;
      while (*wordEnd && *wordEnd != ' ' && *wordEnd != '\n') ++wordEnd;
      if (TextWidth(p, static_cast<size_t>(wordEnd - p), w) > maxWidth) break;
      end = wordEnd;
      if (*wordEnd != ' ') break;
      q = wordEnd;
      while (*q == ' ') ++q;
      if (!*q || *q == '\n') break;
    }
    if (!end) {
      // One word wider than the line on its own: as much of it as fits, at least a character.
      end = p + 1;
      while (*end && *end != ' ' && *end != '\n' && TextWidth(p, static_cast<size_t>(end + 1 - p), w) <= maxWidth)
        ++end;
    }
    if (lines > 0) put('\n');
    for (const char* c = p; c < end; ++c) put(*c);
    ++lines;
    p = end;
    while (*p == ' ') ++p;
    if (*p == '\n') ++p;
  }
  out[o] = 0;
  return lines;
}

float VisDrawText(const char* text, float x, float y, float w, float h, const char* hAlign, const char* vAlign) {
  float width = -1.0f, height = -1.0f;
  const int triangles = TextLayout(text, scratch, sizeof(scratch), x, y, w, h, &width, &height);
  if (triangles <= 0 || !WindowExists()) return width;
  const float dx = TextAlignX(hAlign, width), dy = TextAlignY(vAlign, height);
  const int floats = triangles * 6;
  for (int i = 0; i < floats; i += 2) {
    scratch[i] += dx;
    scratch[i + 1] += dy;
  }
  if (!textBuffer) {
    textBuffer = VBufferCreate(c_textBufferBytes, nullptr, true);
    const uint32_t codes[1] = {VA_FLOAT2};
    textArray = textBuffer ? VArrayCreate(textBuffer, 8, 1, codes, 0, 0) : 0;
  }
  if (!textArray) return width;
  const size_t bytes = static_cast<size_t>(floats) * sizeof(float);
  if (textCursor + bytes > c_textBufferBytes) textCursor = 0;
  VBufferBind(textBuffer);
  void* dst = VBufferMap(textBuffer, textCursor, bytes);
  if (!dst) return width;
  memcpy(dst, scratch, bytes);
  VBufferUnmap(textBuffer);
  VArrayBind(textArray);
  glDrawArrays(GL_TRIANGLES, static_cast<GLint>(textCursor / 8), triangles * 3);
  textCursor += bytes;
  return width;
}

void VisTextShutdown() {
  if (WindowExists()) {
    if (textArray) VArrayDestroy(textArray);
    if (textBuffer) VBufferDestroy(textBuffer);
  }
  textArray = textBuffer = 0;
  textCursor = 0;
}

void VisTextBlock(Vis* vis, const Matrix44& matrix, float r, float g, float b, float a) {
  float block[20];
  memcpy(block, matrix.m, sizeof(matrix.m));
  block[16] = r;
  block[17] = g;
  block[18] = b;
  block[19] = a;
  const GlHandle ub = vis->m_uniformBuffers[UB_TEXT_INST_VS];
  UBufferBind(ub, 3);
  UBufferUpdate(ub, sizeof(block), block);
}

void ActionButtonDraw(Vis* vis, int button) {
  if (button < 0 || button >= VISNUMACTIONS || !vis->m_actionNames[button]) return;
  const bool lit = vis->m_actionHover == button && !vis->m_camera.m_dragging && !vis->m_camera.m_rightHeld;
  const float s = lit ? 1.0f : 0.934f;
  const Matrix44 identity;
  VisTextBlock(vis, identity, 0.93f, 0.96f, 0.56f, lit ? 0.62f : 0.42f);
  const char face[2] = {static_cast<char>(c_glyphBox), 0};
  VisDrawText(face, 0.0f, 0.0f, 1.99f * s, 1.99f * s, "center", "center");
  VisTextBlock(vis, identity, 0.0f, 0.0f, 0.0f, 1.0f);
  char text[64];
  ActionButtonText(vis->m_actionNames[button], text, sizeof(text));
  VisDrawText(text, 0.0f, 0.0f, 1.32f * s * s / 12.0f, 1.32f * s, "center", "center");
}

void WaitingMarkersDraw(Vis* vis, const Wld& world, const Matrix44& viewProjection) {
  const float s = world.globe.m_hexw * 0.19f;
  const Matrix44& cam = vis->m_camera.m_matrix;
  const char marker[2] = {static_cast<char>(c_glyphHourglass), 0};
  const Actors& a = world.actors;
  const int count = a.m_cnt < MAXACTORS ? a.m_cnt : MAXACTORS;
  for (int n = 0; n < count; ++n) {
    if (!a.m_planRequested[n] && !a.m_pathRequested[n]) continue;
    Matrix44 frame = Matrix44::AlignZY(cam.GetYAxis(), cam.GetZAxis());
    frame.SetTranslation(a.m_trfs[n].GetTranslation() + a.m_trfs[n].GetZAxis() * (0.68f * world.globe.m_hexw));
    VisTextBlock(vis, viewProjection * frame, 0.9f, 0.97f, 0.02f, 1.0f);
    VisDrawText(marker, 0.0f, 0.0f, 0.52f * 1.87f * s, s, "center", "center");
  }
}

void VisDrawTextPass(Vis* vis, const Wld& world) {
  const GlHandle program = vis->m_programs[PROG_TEXT];
  if (!program) return;
  ProgramUse(program);
  glDisable(GL_CULL_FACE);
  glDisable(GL_MULTISAMPLE);
  glDepthMask(GL_FALSE);
  const Matrix44& vp = vis->m_viewProjection;
  TileLabelDraw(vis, world, vp);
  WaitingMarkersDraw(vis, world, vp);
  BuildingLabelsDraw(vis, world, vp);

  // Head-up controls: no depth, blended.
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  for (int i = 0; i < VISNUMACTIONS; ++i) {
    if (!vis->m_actionNames[i]) continue;
    Viewport(vis->m_actionRects[i]);
    ActionButtonDraw(vis, i);
  }
  if (PlayerIsGreeting(world.actors)) {
    Viewport(vis->m_speechRect);
    SpeechChoicesDraw(vis);
  }
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  glEnable(GL_MULTISAMPLE);
  glDepthMask(GL_TRUE);
  const int32_t whole[4] = {0, 0, vis->m_windowWidth, vis->m_windowHeight};
  Viewport(whole);
}
