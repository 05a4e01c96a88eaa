// The world pass and the tutor inset: the planet, instanced models of everything on it, the animated characters and
// the tutor's figure.
#include <GL/glew.h>

#include <cstring>

#include "graphics/vis/vis.h"
#include "graphics/vis/vis_labels.h"
#include "graphics/vis/vis_text.h"
#include "system/window.h"
#include "utility/log.h"
#include "world/actors/actors_move.h"
#include "world/wld.h"

namespace {

// The per-frame blocks as the shaders read them (std140).
struct MeshFrameVS {
  Matrix44 viewProjection;
  float camera[4];
};
struct MeshFramePS {
  float light[4];
  float time[4];
};
struct AnimInstVS {
  Matrix44 model;
  float anim[4];
};
struct GlowInstPS {
  float values[12];
};
static_assert(sizeof(MeshFrameVS) == 80);
static_assert(sizeof(MeshFramePS) == 32);
static_assert(sizeof(AnimInstVS) == 80);
static_assert(sizeof(GlowInstPS) == 48);

constexpr int c_meshInstSlot = 3;
constexpr int c_glowSlot = 2;
constexpr int c_frameVSSlot = 1;
constexpr int c_framePSSlot = 0;

float PixelScale() {
  const float s = DrawableScale();
  return s > 0.0f ? s : 1.0f;
}

void UploadFrameBlocks(Vis* vis, const Matrix44& viewProjection, const Vec3& camera, const Vec3& light) {
  MeshFrameVS vs{viewProjection, {camera.x, camera.y, camera.z, 1.0f}};
  MeshFramePS ps{{light.x, light.y, light.z, 1.0f}, {vis->m_gameTime, 0.0f, 0.0f, 0.0f}};
  UBufferUpdate(vis->m_uniformBuffers[UB_MESH_FRAME_VS], sizeof(vs), &vs);
  UBufferUpdate(vis->m_uniformBuffers[UB_MESH_FRAME_PS], sizeof(ps), &ps);
}

// Binds a model's arrays and the per-frame blocks; null for a slot that did not load.
const ModelEntry* BindModel(Vis* vis, int slot) {
  const ModelEntry* e = slot >= 0 ? vis->m_modelDB.Entry(slot) : nullptr;
  if (!e || !e->m_varray || !e->m_vbuffer) return nullptr;
  VArrayBind(e->m_varray);
  VBufferBind(e->m_vbuffer);
  UBufferBind(vis->m_uniformBuffers[UB_MESH_FRAME_VS], c_frameVSSlot);
  UBufferBind(vis->m_uniformBuffers[UB_MESH_FRAME_PS], c_framePSSlot);
  return e;
}

// Writes the instances into the model's instance area, leaving out those the camera cannot see
// when culling is on; only what was mapped, and nothing for an empty list. Returns the number
// written, or -1 when the instance area could not be mapped.
int UploadInstances(const Vis* vis, const ModelEntry* e, const Matrix44* trfs, int count, bool cull) {
  if (count > e->m_mesh.m_instanceCount) count = e->m_mesh.m_instanceCount;
  if (count <= 0 || !trfs) return 0;
  const size_t bytes = sizeof(Matrix44) * static_cast<size_t>(count);
  void* dst = VBufferMap(e->m_vbuffer, static_cast<size_t>(e->m_mesh.m_vertexBytes), bytes);
  if (!dst) return -1;
  int n = count;
  if (cull)
    n = CullInstances(vis->m_cullView, CullBoundsOfBox(e->m_mesh.m_bounds), trfs, count, static_cast<Matrix44*>(dst));
  else
    memcpy(dst, trfs, bytes);
  VBufferUnmap(e->m_vbuffer);
  return n;
}

// One instanced draw of a model: the solid pass writes the instances and keeps their count,
// the outline pass reuses it, the sparkle pass writes its own subset. The sparkle points are
// never culled: a point reaches up to 24 pixels beyond its vertex, so one whose vertex is off
// screen or just behind the planet's rim can still show. False when the instance area could
// not be mapped: nothing is drawn and the count kept is 0.
bool DrawInstanced(Vis* vis, int slot, const Matrix44* trfs, int count, VisDrawMode mode) {
  const ModelEntry* e = BindModel(vis, slot);
  if (!e) return true;
  int n = 0;
  if (mode == VisDrawMode::Lines) {
    n = vis->m_instanceCounts[slot];
  } else {
    n = UploadInstances(vis, e, trfs, count, mode == VisDrawMode::Solid && vis->m_cullHidden);
    if (mode == VisDrawMode::Solid) vis->m_instanceCounts[slot] = n < 0 ? 0 : n;
  }
  if (n < 0) return false;
  if (n == 0) return true;
  const int triVerts = 3 * e->m_mesh.m_triangleCount, lineVerts = 2 * e->m_mesh.m_lineCount;
  if (mode == VisDrawMode::Solid && triVerts > 0) glDrawArraysInstanced(GL_TRIANGLES, 0, triVerts, n);
  if (mode == VisDrawMode::Lines && lineVerts > 0) glDrawArraysInstanced(GL_LINES, triVerts, lineVerts, n);
  if (mode == VisDrawMode::Sparkle && triVerts > 0) glDrawArraysInstanced(GL_POINTS, 0, triVerts, n);
  return true;
}

// A software rasteriser starts filling pixels only when what was drawn is handed over to it (a
// flush, the swap, a read-back); until then its threads wait while this thread shades and sorts
// the rest of the frame into tiles. Handed over after each big group, the pixels of one group are
// filled while the next is prepared. The picture is the same: the same draws in the same order.
void StartRasterising() { glFlush(); }

// The planet's chunks that may be seen, as one multi-draw over its index list.
bool DrawPlanetChunks(Vis* vis, VisDrawMode mode) {
  PlanetChunks& chunks = vis->m_planetChunks;
  if (!vis->m_cullHidden || !vis->m_planetIndices || chunks.chunkCount <= 0 || mode == VisDrawMode::Sparkle)
    return false;
  IBufferBind(vis->m_planetIndices);
  const int runs =
      PlanetChunksVisible(chunks, vis->m_cullView, mode == VisDrawMode::Lines, chunks.runFirst, chunks.runCount);
  for (int r = 0; r < runs; ++r)
    chunks.runOffsets[r] = reinterpret_cast<const void*>(sizeof(uint32_t) * static_cast<size_t>(chunks.runFirst[r]));
  if (runs > 0)
    glMultiDrawElements(mode == VisDrawMode::Lines ? GL_LINES : GL_TRIANGLES, chunks.runCount, GL_UNSIGNED_INT,
                        chunks.runOffsets, runs);
  return true;
}

}  // namespace

void PlanetDraw(Vis* vis, const Wld& /*world*/, VisDrawMode mode) {
  const ModelEntry* e = BindModel(vis, vis->m_planetModel);
  if (!e) return;
  const Matrix44 identity;
  UBufferUpdate(vis->m_uniformBuffers[UB_MESH_INST_VS], sizeof(identity), &identity);
  UBufferBind(vis->m_uniformBuffers[UB_MESH_INST_VS], c_meshInstSlot);
  if (DrawPlanetChunks(vis, mode)) return;
  const int triVerts = 3 * e->m_mesh.m_triangleCount, lineVerts = 2 * e->m_mesh.m_lineCount;
  if (mode == VisDrawMode::Solid && triVerts > 0) glDrawArrays(GL_TRIANGLES, 0, triVerts);
  if (mode == VisDrawMode::Lines && lineVerts > 0) glDrawArrays(GL_LINES, triVerts, lineVerts);
  if (mode == VisDrawMode::Sparkle && triVerts > 0) glDrawArrays(GL_POINTS, 0, triVerts);
}

void TreesDraw(Vis* vis, const Wld& world, int kind, int slot, VisDrawMode mode) {
  if (slot < 0 || kind < 0 || kind >= NUMTREEKINDS) return;
  int n = 0;
  const Matrix44* trfs = vis->m_instances.Trees(kind, &n);
  if (world.trees.m_count[kind] > c_treeInstanceLimit[kind] && mode == VisDrawMode::Lines)
    LOGE("Cannot draw %d trees(tp%d), max=%d", world.trees.m_count[kind], kind, c_treeInstanceLimit[kind]);
  DrawInstanced(vis, slot, trfs, n, mode);
}

void RocksDraw(Vis* vis, const Wld& world, int kind, int slot, VisDrawMode mode) {
  if (slot < 0) return;
  // Rocks and minerals come ready-made from their parts: straight from there into the buffer.
  const Matrix44* trfs = kind >= 0 && kind < NUMROCKKINDS ? world.rocks.m_trfs[kind] : nullptr;
  const int count = trfs ? world.rocks.m_counts[kind] : 0;
  DrawInstanced(vis, slot, trfs, count < c_rockInstanceLimit ? count : c_rockInstanceLimit, mode);
}

void MineralsDraw(Vis* vis, const Wld& world, int kind, int slot, VisDrawMode mode) {
  if (slot < 0) return;
  const Matrix44* trfs = kind >= 0 && kind < NUMMINERALS ? world.minerals.m_trfs[kind] : nullptr;
  const int count = trfs ? world.minerals.m_counts[kind] : 0;
  DrawInstanced(vis, slot, trfs, count < c_mineralInstanceLimit ? count : c_mineralInstanceLimit, mode);
}

void ItemsDraw(Vis* vis, const Wld& /*world*/, int model, int slot, VisDrawMode mode) {
  if (slot < 0) return;
  int n = 0;
  const FrameInstances& frame = vis->m_instances;
  const Matrix44* trfs = mode == VisDrawMode::Sparkle ? frame.Sorted().GlowingRun(model, &n)
                         : model == c_crownItemModel  ? frame.AllCrowns(&n)
                                                      : frame.Sorted().ItemRun(model, &n);
  DrawInstanced(vis, slot, trfs, n, mode);
}

void BuildingsDraw(Vis* vis, const Wld& /*world*/, int model, int slot, VisDrawMode mode) {
  if (slot < 0) return;
  int n = 0;
  const Matrix44* trfs = vis->m_instances.Sorted().BuildingRun(model, &n);
  // The frame goes on without them; the report names how many went missing.
  if (!DrawInstanced(vis, slot, trfs, n, mode))
    AssertFailed("trfs", __FILE__, __LINE__, "Failed to VBufferMap for %d buildings.", n);
}

void CrownsDraw(Vis* vis, const Wld& /*world*/, int slot, VisDrawMode mode) {
  // The worn crowns were drawn with the crown model's items, which share its instance area.
  if (slot < 0 || mode != VisDrawMode::Solid || slot == vis->m_itemModels[c_crownItemModel]) return;
  int n = 0;
  const Matrix44* trfs = vis->m_instances.Crowns(&n);
  DrawInstanced(vis, slot, trfs, n, mode);
}

void PathArrowsDraw(Vis* vis, const Wld& /*world*/, int slot, VisDrawMode mode) {
  if (slot < 0) return;
  int n = 0;
  const Matrix44* trfs = vis->m_instances.Arrows(&n);
  DrawInstanced(vis, slot, trfs, n, mode);
}

void PathTargetDraw(Vis* vis, const Wld& /*world*/, int slot, VisDrawMode mode) {
  if (slot < 0) return;
  int n = 0;
  const Matrix44* trfs = vis->m_instances.Target(&n);
  DrawInstanced(vis, slot, trfs, n, mode);
}

void BridgeMarkersDraw(Vis* vis, const Wld& /*world*/, int slot, VisDrawMode mode) {
  if (slot < 0) return;
  int n = 0;
  const Matrix44* trfs = vis->m_instances.BridgeMarkers(&n);
  DrawInstanced(vis, slot, trfs, n, mode);
}

// Draws one animated figure with the model matrix and weight in its block.
static void DrawFigure(Vis* vis, const ModelEntry* e, const Matrix44& model, const AnimPose& pose) {
  AnimInstVS block{model, {pose.weight, 0.0f, 0.0f, 0.0f}};
  UBufferUpdate(vis->m_uniformBuffers[UB_ANIM_INST_VS], sizeof(block), &block);
  glDrawElementsBaseVertex(GL_TRIANGLES, e->m_mesh.m_indexCount, GL_UNSIGNED_SHORT, nullptr, pose.baseVertex);
}

static const ModelEntry* BindFigure(Vis* vis, int slot) {
  const ModelEntry* e = BindModel(vis, slot);
  if (!e || !e->m_ibuffer || e->m_mesh.m_indexCount <= 0) return nullptr;
  IBufferBind(e->m_ibuffer);
  TextureActive(0);
  TextureBind(e->m_texture);
  UBufferBind(vis->m_uniformBuffers[UB_ANIM_INST_VS], c_meshInstSlot);
  return e;
}

void ActorsDraw(Vis* vis, const Wld& world, bool glow) {
  const float hexw = world.globe.m_hexw;
  const float s = (glow ? 1.6f : 1.4f) * hexw;
  const Matrix44 offset = glow ? Matrix44::Translation(Vec3{0.0f, 0.0f, -0.002f}) : Matrix44{};
  const Matrix44 scale = Matrix44::Scale(Vec3{s, s, s});
  const int slot = vis->m_characterModels[0];
  const ModelEntry* e = BindFigure(vis, slot);
  if (glow) {
    static const GlowInstPS glowBlock{{1.0f, 1.0f, 1.0f, 0.05f, 1.0f, 1.0f, 1.0f, 0.15f, 10.0f, 0.0f, 0.0f, 0.0f}};
    UBufferUpdate(vis->m_uniformBuffers[UB_GLOW_INST_PS], sizeof(glowBlock), &glowBlock);
    UBufferBind(vis->m_uniformBuffers[UB_GLOW_INST_PS], c_glowSlot);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    // Each pixel takes the glow once, however many characters overlap there.
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(GL_EQUAL, 0, 0xFF);
    glStencilOp(GL_KEEP, GL_KEEP, GL_INCR);
  }
  const Actors& actors = world.actors;
  const int count = actors.m_cnt < MAXACTORS ? actors.m_cnt : MAXACTORS;
  for (int n = 0; e && n < count; ++n) {
    const uint64_t st = actors.m_stat[n];
    if (glow && !(st & ST_LANDED)) continue;
    AnimPose pose;
    if (!vis->m_modelDB.Pose(slot, AnimationName(actors.m_animSeq[n]), n, actors.m_animTime[n],
                             actors.m_animLoop[n] != 0, &pose))
      continue;
    if (st & (ST_CROWNED | 0x800)) {
      Matrix44 attach;
      if (AttachFrameCompute(e->m_mesh.Md2Vertices(), e->m_mesh.m_vertexCount, e->m_mesh.m_frameCount, pose.frame,
                             pose.weight, s, &attach)) {
        vis->m_attachFrames[n] = attach;
      } else {
        // A figure without the attachment vertices: the crown sits on top of its box.
        vis->m_attachFrames[n] = Matrix44::Translation(Vec3{0.0f, 0.0f, e->m_mesh.m_bounds.max.z * s});
      }
    }
    DrawFigure(vis, e, actors.m_trfs[n] * offset * scale, pose);
  }
  if (glow) {
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
    glDisable(GL_STENCIL_TEST);
  }
}

void TutorDraw(Vis* vis, const Wld& world) {
  const Tutor& tutor = world.tutor;
  if (tutor.m_stage < 0) return;
  const int slot = vis->m_characterModels[1];
  const ModelEntry* e = BindFigure(vis, slot);
  if (!e) return;
  const int seq = vis->m_modelDB.FindAnimation(slot, tutor.Animation());
  if (seq < 0 || seq >= e->m_mesh.m_animCount || e->m_mesh.m_anims[seq].frameCount <= 0) return;
  const AnimRecord& anim = e->m_mesh.m_anims[seq];
  const double timer = tutor.m_timer > 0.0 ? tutor.m_timer : 0.0;
  const int64_t t = static_cast<int64_t>(timer * 1000.0);
  AnimPose pose;
  pose.frame = anim.firstFrame + static_cast<int>((t / 100) % anim.frameCount);
  pose.weight = static_cast<float>(t % 100) * 0.01f;
  pose.baseVertex = pose.frame * e->m_mesh.m_vertexCount;
  DrawFigure(vis, e, Matrix44::Scale(Vec3{0.02f, 0.02f, 0.02f}), pose);
}

void VisDraw3D(Vis* vis, const Wld& world) {
  const Matrix44 camera = CameraCurrent(*vis);
  const float aspect = vis->m_windowHeight > 0 ? static_cast<float>(vis->m_windowWidth) / vis->m_windowHeight : 1.0f;
  vis->m_view = Matrix44::Inverse(camera);
  vis->m_projection = Matrix44::Perspective(0.7853982f, aspect, 0.01f, 10.0f);
  vis->m_viewProjection = vis->m_projection * vis->m_view;
  UploadFrameBlocks(vis, vis->m_viewProjection, camera.GetTranslation(), vis->m_lightDir);
  vis->m_cullView = CullViewMake(vis->m_viewProjection, camera.GetTranslation(), vis->m_planetChunks.innerRadius,
                                 vis->m_planetChunks.outerRadius);
  // Every instance table of the frame at once, before any of it goes to the GPU; the crowns use
  // the attachment frames the character pass left in the previous frame.
  vis->m_instances.Fill(world, vis->m_attachFrames);

  const float px = PixelScale();
  glEnable(GL_CULL_FACE);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_POLYGON_OFFSET_FILL);
  glPolygonOffset(1.005f, 0.0f);
  glViewport(0, 0, static_cast<int>(vis->m_windowWidth * px), static_cast<int>(vis->m_windowHeight * px));

  const GlHandle* prog = vis->m_programs;
  if (prog[PROG_STATIC_MODEL]) ProgramUse(prog[PROG_STATIC_MODEL]), PlanetDraw(vis, world, VisDrawMode::Solid);
  StartRasterising();
  if (prog[PROG_STATIC_LINES]) ProgramUse(prog[PROG_STATIC_LINES]), PlanetDraw(vis, world, VisDrawMode::Lines);
  StartRasterising();

  for (VisDrawMode mode : {VisDrawMode::Solid, VisDrawMode::Lines}) {
    const GlHandle program = prog[mode == VisDrawMode::Solid ? PROG_INST_MODEL : PROG_INST_LINES];
    if (!program) continue;
    ProgramUse(program);
    for (int k = 0; k < NUMTREEMODELS; ++k) TreesDraw(vis, world, k, vis->m_treeModels[k], mode);
    for (int k = 0; k < NUMROCKMODELS; ++k) RocksDraw(vis, world, k, vis->m_rockModels[k], mode);
    for (int k = 0; k < NUMMINERALMODELS; ++k) MineralsDraw(vis, world, k, vis->m_mineralModels[k], mode);
    for (int k = 0; k < NUMITEMMODELS; ++k) ItemsDraw(vis, world, k, vis->m_itemModels[k], mode);
    for (int k = 0; k < NUMBUILDINGMODELS; ++k) BuildingsDraw(vis, world, k, vis->m_buildingModels[k], mode);
    PathArrowsDraw(vis, world, vis->m_annotationModels[ANNOT_ARROW], mode);
    BridgeMarkersDraw(vis, world, vis->m_annotationModels[ANNOT_BRDIR], mode);
    PathTargetDraw(vis, world, vis->m_annotationModels[ANNOT_TARGET], mode);
    if (mode == VisDrawMode::Solid) CrownsDraw(vis, world, vis->m_itemModels[c_crownItemModel], mode);
    if (mode == VisDrawMode::Solid) StartRasterising();
  }

  if (prog[PROG_SPARKLE_INST] && vis->m_sparkleTexture) {
    TextureActive(0);
    TextureBind(vis->m_sparkleTexture);
    glDepthMask(GL_FALSE);
    glEnable(GL_PROGRAM_POINT_SIZE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    ProgramUse(prog[PROG_SPARKLE_INST]);
    for (int k = 0; k < NUMITEMMODELS; ++k) ItemsDraw(vis, world, k, vis->m_itemModels[k], VisDrawMode::Sparkle);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_BLEND);
    glDisable(GL_PROGRAM_POINT_SIZE);
    glDepthMask(GL_TRUE);
  }

  if (prog[PROG_ANIM_GLOW]) ProgramUse(prog[PROG_ANIM_GLOW]), ActorsDraw(vis, world, true);
  if (prog[PROG_ANIM_MODEL]) ProgramUse(prog[PROG_ANIM_MODEL]), ActorsDraw(vis, world, false);

  glDisable(GL_POLYGON_OFFSET_FILL);
  // Labels, the waiting marker, the action buttons and the speech menu.
  VisDrawTextPass(vis, world);
  glDepthMask(GL_TRUE);
  glDisable(GL_BLEND);

  // The depth under the pointer for the next frame's picking, read while this frame's depth
  // is certainly still there.
  vis->m_pickDepthX = vis->m_pointerX;
  vis->m_pickDepthY = vis->m_pointerY;
  if (vis->m_pointerX >= 0.0f && vis->m_pointerY >= 0.0f && vis->m_pointerX < vis->m_windowWidth &&
      vis->m_pointerY < vis->m_windowHeight) {
    vis->m_pickDepth = DepthRead(static_cast<int>(vis->m_pointerX * px),
                                 static_cast<int>((vis->m_windowHeight - 1 - vis->m_pointerY) * px));
  } else {
    vis->m_pickDepth = 1.0f;
  }
}

void VisDrawTutorInset(Vis* vis, const Wld& world) {
  const int w = vis->m_windowWidth / 6, h = w * 8 / 10;
  if (w <= 0 || h <= 0 || world.tutor.m_stage < 0 || !vis->m_programs[PROG_ANIM_MODEL]) return;
  Matrix44 camera;
  camera.SetAxis(0, Vec3{0.0f, 1.0f, 0.0f});
  camera.SetAxis(1, Vec3{0.0f, 0.0f, 1.0f});
  camera.SetAxis(2, Vec3{1.0f, 0.0f, 0.0f});
  camera.SetTranslation(Vec3{0.02f, 0.0f, 0.003f});
  const Matrix44 view = Matrix44::Inverse(camera);
  const Matrix44 projection =
      Matrix44::Perspective(0.62831855f, static_cast<float>(w) / static_cast<float>(h), 0.01f, 10.0f);
  UploadFrameBlocks(vis, projection * view, camera.GetTranslation(), Vec3{0.0f, 0.0f, 1.0f});
  glEnable(GL_CULL_FACE);
  glEnable(GL_DEPTH_TEST);
  const float px = PixelScale();
  glViewport(static_cast<int>((vis->m_windowWidth - w) * px), static_cast<int>((vis->m_windowHeight - h) * px),
             static_cast<int>(w * px), static_cast<int>(h * px));
  ProgramUse(vis->m_programs[PROG_ANIM_MODEL]);
  TutorDraw(vis, world);
  TutorTextDraw(vis, world);
}
