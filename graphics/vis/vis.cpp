// Vis: the one visualisation object (options, overlay, models, shaders, cameras, picking, the packet to the simulation)
// and its game frame.
#include "graphics/vis/vis.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "graphics/gl/screenshot.h"
#include "graphics/models/load_report.h"
#include "graphics/vis/vis_input.h"
#include "graphics/vis/vis_sound.h"
#include "system/audio.h"
#include "system/file.h"
#include "system/window.h"
#include "utility/log.h"
#include "world/wld.h"

namespace {

struct ShaderFile {
  const char* path;
  int stage;
};
// Index order of m_shaders.
const ShaderFile shaderFiles[VISNUMSHADERS] = {
    {"data/shaders/common_model_gs.glsl", SHADER_GEOMETRY}, {"data/shaders/common_line_gs.glsl", SHADER_GEOMETRY},
    {"data/shaders/common_model_ps.glsl", SHADER_FRAGMENT}, {"data/shaders/static_model_vs.glsl", SHADER_VERTEX},
    {"data/shaders/static_inst_vs.glsl", SHADER_VERTEX},    {"data/shaders/anim_model_vs.glsl", SHADER_VERTEX},
    {"data/shaders/anim_model_ps.glsl", SHADER_FRAGMENT},   {"data/shaders/anim_glow_ps.glsl", SHADER_FRAGMENT},
    {"data/shaders/text_vs.glsl", SHADER_VERTEX},           {"data/shaders/text_ps.glsl", SHADER_FRAGMENT},
    {"data/shaders/sparkle_model_vs.glsl", SHADER_VERTEX},  {"data/shaders/sparkle_inst_vs.glsl", SHADER_VERTEX},
    {"data/shaders/sparkle_ps.glsl", SHADER_FRAGMENT},
};
// The sparkle fragment stage is loaded before the two sparkle vertex stages.
const int shaderLoadOrder[VISNUMSHADERS] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 10, 11};

struct ProgramRecipe {
  int shaders[3];
  int shaderCount;
  // Blocks bound for this program, by uniform buffer (the slot follows from the buffer).
  int blocks[4];
  int blockCount;
};
const ProgramRecipe programRecipes[VISNUMPROGRAMS] = {
    {{3, 2, 0}, 3, {UB_MESH_FRAME_PS, UB_MESH_FRAME_VS, UB_MESH_INST_VS}, 3},
    {{3, 2, 1}, 3, {UB_MESH_FRAME_PS, UB_MESH_FRAME_VS, UB_MESH_INST_VS}, 3},
    {{4, 2, 0}, 3, {UB_MESH_FRAME_PS, UB_MESH_FRAME_VS}, 2},
    {{4, 2, 1}, 3, {UB_MESH_FRAME_PS, UB_MESH_FRAME_VS}, 2},
    {{5, 6}, 2, {UB_MESH_FRAME_PS, UB_MESH_FRAME_VS, UB_ANIM_INST_VS}, 3},
    {{5, 7}, 2, {UB_MESH_FRAME_PS, UB_GLOW_INST_PS, UB_MESH_FRAME_VS, UB_ANIM_INST_VS}, 4},
    {{8, 9}, 2, {UB_TEXT_INST_VS}, 1},
    {{10, 12}, 2, {UB_MESH_FRAME_PS, UB_MESH_FRAME_VS, UB_MESH_INST_VS}, 3},
    {{11, 12}, 2, {UB_MESH_FRAME_PS, UB_MESH_FRAME_VS, UB_MESH_INST_VS}, 3},
};

struct UniformBlock {
  const char* name;
  int size;
  int slot;
};
const UniformBlock uniformBlocks[VISNUMUBUFFERS] = {
    {"CBMeshPerFramePS", 32, 0}, {"CBMeshPerFrameVS", 80, 1}, {"CBMeshPerInstVS", 64, 3},
    {"CBAnimPerInstVS", 80, 3},  {"CBGlowPerInstPS", 48, 2},  {"CBTextPerInstVS", 80, 3},
};

const char* const characterModelFiles[NUMCHARACTERMODELS] = {"data/props/ork.md2", "data/props/druid.md2",
                                                             "data/props/dragon.md2"};
const char* const treeModelFiles[NUMTREEMODELS] = {"data/props/stmp.geo", "data/props/pine.geo", "data/props/mapl.geo",
                                                   "data/props/appl.geo", "data/props/seedling.geo"};
const char* const mineralModelFiles[NUMMINERALMODELS] = {"data/props/copperfield.geo", "data/props/coalfield.geo"};
const char* const annotationModelFiles[NUMANNOTATIONMODELS] = {
    "data/annotations/arrow.geo", "data/annotations/target.geo", "data/annotations/pointmark.geo",
    "data/annotations/brdir.geo"};

// The model table keeps pointers to the names it was given, so the composed file names live here
// for the whole run.
FixedString rockModelFiles[NUMROCKMODELS];
FixedString itemModelFiles[NUMITEMMODELS];
FixedString buildingModelFiles[NUMBUILDINGMODELS];

// Loads one model list; a slot that did not load is noted for the start-up report and left -1,
// which every drawing pass skips: a missing model leaves a hole, not a stop.
void LoadModelList(ModelDB* db, const char* const* files, int count, bool instanced, const int* capacities,
                   int32_t* slots, const char* assertion) {
  for (int i = 0; i < count; ++i) {
    slots[i] = db->Load(files[i], instanced, capacities[i]);
    if (slots[i] < 0) LoadReportNote(files[i]);
  }
}

void LoadModelList(ModelDB* db, const FixedString* files, int count, int capacity, int32_t* slots,
                   const char* assertion) {
  for (int i = 0; i < count; ++i) {
    slots[i] = db->Load(files[i].c_str(), true, capacity);
    if (slots[i] < 0) LoadReportNote(files[i].c_str());
  }
}

// Reads a file of the data folder whole, NUL-terminated; false when it is missing or short.
bool ReadDataFile(const char* path, std::unique_ptr<char[]>* out, size_t* size, bool* missing) {
  *missing = false;
  FileHandle f = FileOpenRead(path, false);
  if (!f) {
    *missing = true;
    return false;
  }
  const uint64_t bytes = FileSize(f);
  if (bytes > (64u << 20)) {
    FileClose(f);
    return false;
  }
  out->reset(new (std::nothrow) char[bytes + 1]);
  if (!*out) {
    FileClose(f);
    return false;
  }
  const size_t got = FileRead(f, out->get(), bytes);
  FileClose(f);
  if (got != bytes) return false;
  (*out)[bytes] = 0;
  *size = bytes;
  return true;
}

}  // namespace

GlHandle LoadShader(Vis* /*vis*/, int stage, const char* path) {
  std::unique_ptr<char[]> source;
  size_t size = 0;
  bool missing = false;
  GlHandle shader = 0;
  if (ReadDataFile(path, &source, &size, &missing))
    shader = ShaderCompile(stage, source.get(), static_cast<int>(size));
  else if (missing)
    LOGE("Cannot open shader file '%s'", path);
  if (!shader) {
    LOGE("Failed to create shader for '%s'", path);
    LoadReportNote(path);
  }
  return shader;
}

GlHandle LoadTexture(Vis* vis, const char* path) { return vis->m_modelDB.LoadTexture(path); }

Vis::Vis() {
  PickStateReset(&m_pick);
  PlanetCameraInit(&m_camera);
  IntroCameraInit(&m_introCam);
  memset(m_characterModels, -1, sizeof(m_characterModels));
  memset(m_rockModels, -1, sizeof(m_rockModels));
  memset(m_mineralModels, -1, sizeof(m_mineralModels));
  memset(m_treeModels, -1, sizeof(m_treeModels));
  memset(m_itemModels, -1, sizeof(m_itemModels));
  memset(m_annotationModels, -1, sizeof(m_annotationModels));
  memset(m_buildingModels, -1, sizeof(m_buildingModels));

  Options& options = m_overlay.GetOptions();
  OptionsLoad(&m_settings, &options);
  SwapIntervalSet(options.m_vsync ? 1 : 0);
  AudioSetMasterGain(options.m_masterVolume);
  OverlayHooks hooks;
  hooks.m_swapInterval = SwapIntervalSet;
  hooks.m_listenerGain = AudioSetMasterGain;
  m_overlay.SetHooks(hooks);
  LOGI("Music vol: %f", options.m_musicVolume);
  m_gameInProgress = FileExists("autosave.dat", true) ? 1 : 0;
  LOGI("We have %s in progress.", m_gameInProgress ? "a game" : "no game");
  m_overlay.ApplyStyle();
  m_modelDB.SetFolder("data/props");
  m_srgb = options.m_srgb ? 1 : 0;
  m_modelDB.SetSRGB(m_srgb != 0);

  for (int i : shaderLoadOrder) m_shaders[i] = LoadShader(this, shaderFiles[i].stage, shaderFiles[i].path);
  for (int p = 0; p < VISNUMPROGRAMS; ++p) {
    const ProgramRecipe& r = programRecipes[p];
    GlHandle stages[3] = {};
    bool complete = true;
    for (int k = 0; k < r.shaderCount; ++k) {
      stages[k] = m_shaders[r.shaders[k]];
      complete = complete && stages[k] != 0;
    }
    m_programs[p] = complete ? ProgramLink(r.shaderCount, stages) : 0;
    if (!m_programs[p]) LOGE("Shader program %d is not available; what it draws is left out.", p);
  }
  for (int b = 0; b < VISNUMUBUFFERS; ++b) m_uniformBuffers[b] = UBufferCreate(uniformBlocks[b].size, nullptr, true);
  m_sparkleTexture = LoadTexture(this, "data/props/sparkle.dds");
  if (!m_sparkleTexture && WindowExists()) LoadReportNote("data/props/sparkle.dds");
  for (int p = 0; p < VISNUMPROGRAMS; ++p) {
    if (!m_programs[p]) continue;
    for (int k = 0; k < programRecipes[p].blockCount; ++k) {
      const UniformBlock& block = uniformBlocks[programRecipes[p].blocks[k]];
      ProgramBindBlock(m_programs[p], block.name, block.slot);
    }
  }
  glEnable(GL_CULL_FACE);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  if (m_srgb) glEnable(GL_FRAMEBUFFER_SRGB);

  LoadSounds(this);

  for (int i = 0; i < NUMCHARACTERMODELS; ++i) {
    m_characterModels[i] = m_modelDB.Load(characterModelFiles[i], false, 0);
    if (m_characterModels[i] >= 0)
      LOGI("Loaded animated character '%s':", characterModelFiles[i]);
    else
      LoadReportNote(characterModelFiles[i]);
  }
  LoadModelList(&m_modelDB, treeModelFiles, NUMTREEMODELS, true, c_treeInstanceLimit, m_treeModels, "m_treeModels[i]");
  for (int i = 0; i < NUMROCKMODELS; ++i) rockModelFiles[i].Format("data/props/rock%d.geo", i);
  LoadModelList(&m_modelDB, rockModelFiles, NUMROCKMODELS, c_rockInstanceLimit, m_rockModels, "m_rockModels[i]");
  const int mineralCaps[NUMMINERALMODELS] = {c_mineralInstanceLimit, c_mineralInstanceLimit};
  LoadModelList(&m_modelDB, mineralModelFiles, NUMMINERALMODELS, true, mineralCaps, m_mineralModels,
                "m_mineralModels[i]");
  for (int i = 0; i < NUMITEMMODELS; ++i) itemModelFiles[i].Format("data/props/%s.geo", itemModelNames[i]);
  LoadModelList(&m_modelDB, itemModelFiles, NUMITEMMODELS, c_itemInstanceLimit, m_itemModels, "m_itemModels[i]");
  const int annotationCaps[NUMANNOTATIONMODELS] = {c_annotationInstanceLimit, c_annotationInstanceLimit,
                                                   c_annotationInstanceLimit, c_annotationInstanceLimit};
  LoadModelList(&m_modelDB, annotationModelFiles, NUMANNOTATIONMODELS, true, annotationCaps, m_annotationModels,
                "m_annotationModels[i]");
  for (int i = 0; i < NUMBUILDINGMODELS; ++i)
    buildingModelFiles[i].Format("data/buildings/%s.geo", buildingModelNames[i]);
  LoadModelList(&m_modelDB, buildingModelFiles, NUMBUILDINGMODELS, c_buildingInstanceLimit, m_buildingModels,
                "m_buildingModels[i]");

  m_instanceCounts = new int32_t[MAXMODELS];
  for (int i = 0; i < MAXMODELS; ++i) m_instanceCounts[i] = -1;
  m_tileInfoLines = new FixedString[NUMATTRIBS];
  LOGI("Loaded %d models. ModelDB is %d%% full.", m_modelDB.Count(), m_modelDB.Count() * 100 / MAXMODELS);
  m_constructed = 1;
}

Vis::~Vis() {
  MusicStop(this);
  m_overlay.WorldGone();
  m_overlay.SetTileInfo(nullptr, nullptr);
  if (m_constructed) OptionsSave(&m_settings, m_overlay.GetOptions());
  delete[] m_tileTransforms;
  delete[] m_instanceCounts;
  delete[] m_tileInfoLines;
  m_tileTransforms = nullptr;
  // Without the window the context is gone and took every object with it.
  if (WindowExists()) {
    for (GlHandle& s : m_shaders)
      if (s) ShaderDelete(s), s = 0;
    for (GlHandle& p : m_programs)
      if (p) ProgramDelete(p), p = 0;
    for (GlHandle& b : m_uniformBuffers)
      if (b) UBufferDestroy(b), b = 0;
    if (m_sparkleTexture) TextureDelete(m_sparkleTexture);
    m_sparkleTexture = 0;
    if (m_planetIndices) IBufferDestroy(m_planetIndices);
    m_planetIndices = 0;
  } else {
    m_modelDB.SetHeadless(true);
  }
}

void VisWorldChanged(Vis* vis, const Wld* world) {
  PickStateFollowWorld(&vis->m_pick, world);
  PickStateReset(&vis->m_pick);
  vis->m_overlay.WorldGone();
  vis->m_overlay.SetTileInfo(nullptr, nullptr);
  vis->m_tileInfoCount = 0;
}

// Splits the planet model into chunks for culling and uploads their index list; without them
// (no memory, a mesh that does not split) the planet is drawn whole, as before.
static void PlanetChunksLoad(Vis* vis, const ModelEntry& entry, int tiles) {
  PlanetChunks& chunks = vis->m_planetChunks;
  // About thirty tiles a chunk: fine enough that the view's edges and the planet's rim cut
  // close, coarse enough that the chunk tests cost nothing beside the drawing.
  const int grid = std::clamp(static_cast<int>(sqrtf(static_cast<float>(tiles) / 180.0f)), 1, 16);
  if (!PlanetChunksBuild(entry.m_mesh.GeoVertices(), entry.m_mesh.m_triangleCount, entry.m_mesh.m_lineCount, grid,
                         &chunks) ||
      !entry.m_varray)
    return;
  VArrayBind(entry.m_varray);
  vis->m_planetIndices =
      IBufferCreate(sizeof(uint32_t) * static_cast<size_t>(chunks.indexCount), chunks.indices, false);
  VArrayBind(0);
  if (!vis->m_planetIndices) {
    LOGE("Cannot make the planet's index buffer; it is drawn whole.");
    chunks.Free();
    return;
  }
  // The GPU keeps its copy; the bounds and the runs' scratch stay.
  delete[] chunks.indices;
  chunks.indices = nullptr;
  LOGI("Split the planet into %d chunks.", chunks.chunkCount);
}

int LoadPlanetModel(Vis* vis, const char* fileName, Wld* world) {
  if (!world || !fileName) return -1;
  Globe& globe = world->globe;
  VisWorldChanged(vis, world);
  if (globe.m_sz <= 0) {
    LOGE("Cannot load the planet model '%s' for a globe without tiles.", fileName);
    return -1;
  }
  // The old planet's chunks go first: a failed load must not leave them culling for a planet
  // that is not drawn.
  if (vis->m_planetIndices) IBufferDestroy(vis->m_planetIndices);
  vis->m_planetIndices = 0;
  vis->m_planetChunks.Free();
  const int slot = vis->m_modelDB.Refresh(fileName, false, 1);
  vis->m_planetModel = slot;
  const ModelEntry* entry = vis->m_modelDB.Entry(slot);
  if (slot < 0 || !entry) {
    LOGE("Cannot load the planet model '%s'.", fileName);
    vis->m_planetModel = -1;
    return -1;
  }
  LOGI("Loaded vertex buffer of size %d vertices from '%s'.", entry->m_mesh.m_vertexCount, fileName);
  PlanetChunksLoad(vis, *entry, globe.m_sz);
  // Built aside and swapped in only when whole, so a failure leaves nothing half made.
  std::unique_ptr<Matrix44[]> trfs(new (std::nothrow) Matrix44[globe.m_sz]);
  if (!trfs || TileTransformsBuild(globe, entry->m_mesh.GeoVertices(), entry->m_mesh.m_vertexCount, trfs.get()) < 0) {
    LOGE("The planet model '%s' does not fit the globe's %d tiles.", fileName, globe.m_sz);
    return -1;
  }
  if (!vis->m_instances.Resize(globe.m_sz)) return -1;
  delete[] vis->m_tileTransforms;
  vis->m_tileTransforms = trfs.release();
  vis->m_tileTransformCount = globe.m_sz;
  globe.SetTileTransforms(vis->m_tileTransforms);
  return 1;
}

void AimCameraAtPlayer(Vis* vis, const Wld* world) {
  if (world) IntroCameraAim(&vis->m_introCam, *world);
}

void SendToSim(Vis* vis, const char* text) {
  if (!text) return;
  Packet& packet = vis->m_sendPacket;
  packet.Append(text);
  if (!packet.m_overflow) return;
  LOGW("Vis send packet overflowed.");
  MailboxPost(c_mailboxVis, packet);
  packet.m_size = 0;
  packet.m_overflow = 0;
  packet.Append(text);
  packet.m_overflow = 0;  // a text that does not fit even an empty packet is lost
}

Matrix44 CameraCurrent(const Vis& vis) {
  return CameraSelect(vis.m_camera, vis.m_introCam, vis.m_camFrom, vis.m_camTo, vis.m_camBlend);
}

bool VisPickAt(const Vis* vis, const Wld* world, float x, float y, int* tile, int* actor, Vec3* point) {
  *tile = *actor = -1;
  const PlanetCamera& cam = vis->m_camera;
  if (!world || cam.m_rightHeld || cam.m_middleHeld) return false;
  // The depth was read at the end of the last frame where the pointer stood then. At another
  // place (the pointer jumped: a tap on a touch screen, a tablet pen, a remote desktop; or a click
  // made on the way, with the pointer gone on before the frame) that depth belongs to another
  // pixel and would pick a tile far from the point asked about, so the ground there is found from
  // the ray through it instead.
  const bool stale = fabsf(x - vis->m_pickDepthX) > 0.5f || fabsf(y - vis->m_pickDepthY) > 0.5f;
  const int tiles = vis->m_tileTransformCount < world->globe.m_sz ? vis->m_tileTransformCount : world->globe.m_sz;
  Vec3 p;
  bool over = false;
  if (!stale && vis->m_pickDepth < 1.0f) {
    p = PickUnproject(vis->m_viewProjection, x, y, vis->m_pickDepth, vis->m_windowWidth, vis->m_windowHeight);
    over = true;
  } else if (stale) {
    over = PickGroundPoint(vis->m_viewProjection, x, y, vis->m_windowWidth, vis->m_windowHeight, vis->m_tileTransforms,
                           tiles, &p);
  }
  if (!over) return false;
  *tile = PickNearestTile(vis->m_tileTransforms, tiles, p);
  *actor = PickNearestActor(world->actors, p, world->globe.m_hexw);
  if (point) *point = p;
  return true;
}

void VisPick(Vis* vis, const Wld* world, float x, float y, float dx, float dy, float wheel) {
  PlanetCamera& cam = vis->m_camera;
  PickState& pick = vis->m_pick;
  PickStateFollowWorld(&pick, world);
  Vec3 p, g;
  const bool over = VisPickAt(vis, world, x, y, &pick.m_hoverTile, &pick.m_hoverActor, &p);
  vis->m_pointerX = x;
  vis->m_pointerY = y;
  const bool hit = over && PickGrabVector(CameraCurrent(*vis).GetTranslation(), p, vis->m_view, &g);
  CameraGrabUpdate(&cam, g, hit);
  CameraWheel(&cam, wheel);
  CameraPointerControl(&cam, CameraCurrent(*vis), dx, dy, vis->m_overlay.GetOptions().m_mouseTilt != 0);
}

// Step 8 of the frame: the "Tile info" window's lines for the clicked tile.
static void UpdateTileInfo(Vis* vis, const Wld& world) {
  PickState& pick = vis->m_pick;
  if (pick.m_clickTile >= 0) {
    pick.m_infoTile = pick.m_clickTile;
    vis->m_tileInfoCount = NUMATTRIBS;
    vis->m_overlay.SetTileInfo(vis->m_tileInfoLines, &vis->m_tileInfoCount);
  }
  if (pick.m_infoTile < 0 || !world.globe.IsValid(pick.m_infoTile)) return;
  const uint64_t bits = world.globe.Attribs(pick.m_infoTile);
  for (int i = 0; i < NUMATTRIBS; ++i)
    vis->m_tileInfoLines[i].Format("%-24s[%c]", attribNames[i], (bits >> i) & 1 ? 'x' : ' ');
}

void VisClearFrame(Vis* vis) {
  if (vis->m_srgb) {
    // The same night blue through the sRGB frame buffer's encoding.
    const float c = powf(0.09952608f, 2.4f), b = powf(0.16587678f, 2.4f);
    FrameClear(c, c, b, 1.0f, 1.0f, 0);
  } else {
    FrameClear(0.05f, 0.05f, 0.12f, 1.0f, 1.0f, 0);
  }
}

bool VisFrame(Vis* vis, float frameSeconds, uint32_t steps, float stepSeconds, Wld* world) {
  vis->m_terraforming = 0;
  const float t = static_cast<float>(steps) * stepSeconds;
  const int ms = static_cast<int>(t * 1000.0f + 0.5f);
  if (ms < 1) return true;
  vis->m_gameTime += static_cast<float>(ms) * 0.001f;
  WindowSize(&vis->m_windowWidth, &vis->m_windowHeight);
  PickStateFollowWorld(&vis->m_pick, world);

  if (world) {
    VisLayoutActionButtons(vis, *world);
    VisLayoutSpeechMenu(vis, *world);
  }
  vis->m_overlay.CountFrame(frameSeconds);
  VisHandleInput(vis, world);
  const PickState& pick = vis->m_pick;
  if (world && pick.m_clickActor >= 0 && world->actors.IsValid(pick.m_clickActor)) {
    const Actors& a = world->actors;
    const int n = pick.m_clickActor;
    vis->m_overlay.SetActorInfo(a.m_name[n].c_str(), a.m_planActions[n], c_planStepLimit, &a.m_planSize[n],
                                &a.m_planStage[n]);
  }
  if (world) UpdateTileInfo(vis, *world);

  const float stepTime = steps > 0 ? stepSeconds : 0.0f;
  PlanetCameraStep(&vis->m_camera, static_cast<int>(steps), stepSeconds, 1.0f);
  if (world) IntroCameraStep(&vis->m_introCam, stepTime, *world);
  vis->m_camBlend += t * c_camBlendRate;
  if (vis->m_camBlend > 1.0f) vis->m_camBlend = 1.0f;
  const Matrix44 current = CameraCurrent(*vis);
  ListenerSet(vis, current.GetTranslation(), current.GetYAxis(), current.GetZAxis());
  MusicVolumeUpdate(vis);

  vis->m_timeOfDay += static_cast<float>(ms) * 0.001f * 0.2777778f;
  if (vis->m_timeOfDay > 24.0f) vis->m_timeOfDay -= 24.0f;
  if (vis->m_overlay.GetOptions().m_sunCycle) {
    const Matrix44 turn = Matrix44::Rotation(Vec3{0.0f, 1.0f, 0.0f}, vis->m_timeOfDay * -0.2617994f);
    const Vec3 down{0.0f, 0.0f, -1.0f};
    vis->m_lightDir = Vec3{turn.m[8] * down.z, turn.m[9] * down.z, turn.m[10] * down.z};
  } else {
    vis->m_lightDir = vis->m_camera.m_orientation.GetZAxis();
  }

  if (world) ReceiveSimEvents(vis, world);
  MailboxPost(c_mailboxVis, vis->m_sendPacket);
  vis->m_sendPacket.m_size = 0;
  vis->m_sendPacket.m_overflow = 0;

  VisClearFrame(vis);
  if (world) {
    VisDraw3D(vis, *world);
    VisDrawTutorInset(vis, *world);
  }
  const float scale = DrawableScale() > 0.0f ? DrawableScale() : 1.0f;
  glViewport(0, 0, static_cast<int>(vis->m_windowWidth * scale), static_cast<int>(vis->m_windowHeight * scale));
  vis->m_overlay.Draw(vis->m_windowWidth, vis->m_windowHeight);
  if (vis->m_capturePath) {
    vis->m_captureOk = ScreenshotSave(vis->m_capturePath);
    vis->m_capturePath = nullptr;
  }
  WindowSwap();
  return !(vis->m_quitRequested || vis->m_overlay.QuitRequested());
}
