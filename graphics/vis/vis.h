// Vis: the one visualisation object (options, overlay, models, shaders, cameras, picking, the packet to the simulation)
// and its game frame.
#pragma once

#include <cstdint>

#include "graphics/gl/graphics.h"
#include "graphics/models/model_db.h"
#include "graphics/ui/overlay.h"
#include "graphics/vis/camera.h"
#include "graphics/vis/vis_cull.h"
#include "graphics/vis/vis_instances.h"
#include "utility/keyval.h"
#include "utility/matrix44.h"
#include "utility/message.h"
#include "world/actors/actors.h"

struct Wld;

#define VISNUMSHADERS 13
#define VISNUMPROGRAMS 9
#define VISNUMUBUFFERS 6
#define VISNUMSOUNDS 17
#define VISNUMACTIONS 6
#define VISNUMSPEECHLINES 9
#define NUMCHARACTERMODELS 3
#define NUMROCKMODELS 10
#define NUMMINERALMODELS 2
#define NUMTREEMODELS 5

// Shader programs of the Vis, by use.
enum VisProgram {
  PROG_STATIC_MODEL = 0,
  PROG_STATIC_LINES = 1,
  PROG_INST_MODEL = 2,
  PROG_INST_LINES = 3,
  PROG_ANIM_MODEL = 4,
  PROG_ANIM_GLOW = 5,
  PROG_TEXT = 6,
  PROG_SPARKLE_MODEL = 7,
  PROG_SPARKLE_INST = 8,
};

// Uniform buffers of the Vis, and the slots their blocks are bound to.
enum VisUniformBuffer {
  UB_MESH_FRAME_PS = 0,  // "CBMeshPerFramePS", 32 bytes, slot 0
  UB_MESH_FRAME_VS = 1,  // "CBMeshPerFrameVS", 80 bytes, slot 1
  UB_MESH_INST_VS = 2,   // "CBMeshPerInstVS", 64 bytes, slot 3
  UB_ANIM_INST_VS = 3,   // "CBAnimPerInstVS", 80 bytes, slot 3
  UB_GLOW_INST_PS = 4,   // "CBGlowPerInstPS", 48 bytes, slot 2
  UB_TEXT_INST_VS = 5,   // "CBTextPerInstVS", 80 bytes, slot 3
};

// Draw modes of the instanced drawing: solid, outlines, sparkle points.
enum class VisDrawMode : uint8_t {
  Solid = 0,
  Lines = 1,
  Sparkle = 2,
};

// What the window shows: the game, the title menu or the customise panel.
enum class ScreenMode : int32_t {
  Game = 0,
  Title = 1,
  Customise = 2,
};

// Annotation models, in load order.
enum VisAnnotation {
  ANNOT_ARROW = 0,
  ANNOT_TARGET = 1,
  ANNOT_POINTMARK = 2,
  ANNOT_BRDIR = 3,
};

struct Vis {
  uint8_t m_gameInProgress = 0;  // a game exists ("autosave.dat" at start-up, play, cleared at its end)
  Overlay m_overlay;             // GUI windows; also holds the option values
  ModelDB m_modelDB;
  int32_t* m_instanceCounts = nullptr;  // per model slot: instances written by this frame's solid pass
  KeyVal m_settings;                    // "settings.dat"
  Packet m_sendPacket;                  // messages to the simulation, posted once per game frame
  uint8_t m_constructed = 0;
  // "VidSRGB" as read at construction: the frame buffer's encoding for the whole run, whatever the
  // Options window's box says until the next start.
  uint8_t m_srgb = 0;
  uint8_t m_quitRequested = 0;
  uint8_t m_fastForward = 0;  // Tab held: the shell runs six times the steps
  float m_gameTime = 0.0f;    // seconds of game time shown so far
  float m_timeOfDay = 6.0f;   // hours, 0 to 24
  Vec3 m_lightDir{0.0f, 0.0f, 1.0f};
  // What the pointer picked this frame (m_hoverTile, m_hoverActor), what a left press picked
  // (m_clickTile, m_clickActor), the tile of the "Tile info" window (m_infoTile); all forgotten
  // whenever the world changes.
  PickState m_pick;
  PlanetCamera m_camera;
  IntroCamera m_introCam;
  int32_t m_camFrom = c_camIntro;
  int32_t m_camTo = c_camIntro;
  float m_camBlend = 1.0f;
  int32_t m_actionRects[VISNUMACTIONS][4] = {};  // x, y, w, h in window units, y from the bottom
  const char* m_actionNames[VISNUMACTIONS] = {};
  int32_t m_actionHover = -1;
  int32_t m_speechRect[4] = {};
  const char* m_speechLines[VISNUMSPEECHLINES] = {};
  int32_t m_speechHover = -1;
  int32_t m_mouseY = 0;
  ScreenMode m_screenMode = ScreenMode::Title;
  uint8_t m_terraforming = 0;
  uint32_t m_soundFXArray[VISNUMSOUNDS] = {};
  float m_musicVolume = 0.0f;
  const char* m_musicName = nullptr;
  int32_t m_windowWidth = 0;
  int32_t m_windowHeight = 0;
  Matrix44 m_view, m_projection, m_viewProjection;
  GlHandle m_shaders[VISNUMSHADERS] = {};
  GlHandle m_programs[VISNUMPROGRAMS] = {};
  GlHandle m_uniformBuffers[VISNUMUBUFFERS] = {};
  GlHandle m_sparkleTexture = 0;
  int32_t m_planetModel = -1;  // model slot of "custom.geo", -1 until a planet is loaded
  int32_t m_characterModels[NUMCHARACTERMODELS];
  int32_t m_rockModels[NUMROCKMODELS];
  int32_t m_mineralModels[NUMMINERALMODELS];
  int32_t m_treeModels[NUMTREEMODELS];
  int32_t m_itemModels[NUMITEMMODELS];
  int32_t m_annotationModels[NUMANNOTATIONMODELS];
  int32_t m_buildingModels[NUMBUILDINGMODELS];
  Matrix44* m_tileTransforms = nullptr;  // per tile of the loaded planet
  int32_t m_tileTransformCount = 0;

  // Leave out what the camera cannot see: instances off screen or on the planet's far side, and
  // the planet's chunks the same way. Off draws everything, for comparing pictures.
  bool m_cullHidden = true;
  CullView m_cullView;           // this frame's, made by the world pass
  PlanetChunks m_planetChunks;   // of the loaded planet model, with their scratch
  GlHandle m_planetIndices = 0;  // the chunks' index list, bound to the planet's vertex array

  // Drawing scratch, sized at construction: nothing is allocated per frame.
  FrameInstances m_instances;
  Matrix44 m_attachFrames[MAXACTORS];      // crown frames left by the character pass
  FixedString* m_tileInfoLines = nullptr;  // the 32 lines of the "Tile info" window
  int32_t m_tileInfoCount = 0;
  // The depth under the pointer, read at the end of the previous frame's world pass (the back
  // buffer's depth does not survive the swap everywhere), and where it was read; the pointer as
  // the last picking saw it, where the next world pass reads the depth.
  float m_pickDepth = 1.0f;
  float m_pickDepthX = -1.0f;
  float m_pickDepthY = -1.0f;
  float m_pointerX = -1.0f;
  float m_pointerY = -1.0f;
  // When set, the next game frame is written there as a PNG just before the swap (tools, tests).
  const char* m_capturePath = nullptr;
  bool m_captureOk = false;

  // Loads the options, shaders, textures and models. Runs after the window, the GL context and
  // the input exist; anything that fails to load is logged and left out of the drawing.
  Vis();
  // Saves the options (when construction finished) and frees every GL object.
  ~Vis();
  Vis(const Vis&) = delete;
  Vis& operator=(const Vis&) = delete;
};

// One game-screen frame after the simulation's steps: false when the player asked to quit.
bool VisFrame(Vis* vis, float frameSeconds, uint32_t steps, float stepSeconds, Wld* world);
// (Re)loads the planet model and the tile transforms and hands them to the globe: 1, or -1 with
// the new game refused cleanly (no transforms half made, the globe's left as they were).
int LoadPlanetModel(Vis* vis, const char* fileName, Wld* world);
// Puts the intro camera above the player's character's tile (resuming a saved game).
void AimCameraAtPlayer(Vis* vis, const Wld* world);
// The world record was replaced or deleted: every index into the old one is forgotten.
void VisWorldChanged(Vis* vis, const Wld* world);
// A shader stage (0 vertex, 1 fragment, 2 geometry) from a file of the data folder; 0 on failure.
GlHandle LoadShader(Vis* vis, int stage, const char* path);
// A ".dds" texture from the data folder; 0 on failure.
GlHandle LoadTexture(Vis* vis, const char* path);
// Appends a message for the simulation; an overflowing packet is posted early.
void SendToSim(Vis* vis, const char* text);
// The camera-to-world matrix of this moment, blending while a blend runs.
Matrix44 CameraCurrent(const Vis& vis);
// Picking and pointer camera control: the pointer in window units from the top, its motion
// and the wheel. Reads the depth under the pointer from the frame buffer.
void VisPick(Vis* vis, const Wld* world, float x, float y, float dx, float dy, float wheel);
// The tile and character under a point of the window (units from the top), -1 for none, from
// the depth read last frame when it was read there, else from the ray through the point; point
// (may be null) gets the place hit. False over empty space, and while the right or middle button
// turns or zooms the camera.
bool VisPickAt(const Vis* vis, const Wld* world, float x, float y, int* tile, int* actor, Vec3* point);

// Clears colour, depth and stencil to the night sky.
void VisClearFrame(Vis* vis);
// The drawing passes (vis_draw.cpp).
void VisDraw3D(Vis* vis, const Wld& world);
void VisDrawTutorInset(Vis* vis, const Wld& world);
void PlanetDraw(Vis* vis, const Wld& world, VisDrawMode mode);
void TreesDraw(Vis* vis, const Wld& world, int kind, int slot, VisDrawMode mode);
void RocksDraw(Vis* vis, const Wld& world, int kind, int slot, VisDrawMode mode);
void MineralsDraw(Vis* vis, const Wld& world, int kind, int slot, VisDrawMode mode);
void ItemsDraw(Vis* vis, const Wld& world, int model, int slot, VisDrawMode mode);
void BuildingsDraw(Vis* vis, const Wld& world, int model, int slot, VisDrawMode mode);
void CrownsDraw(Vis* vis, const Wld& world, int slot, VisDrawMode mode);
void PathArrowsDraw(Vis* vis, const Wld& world, int slot, VisDrawMode mode);
void PathTargetDraw(Vis* vis, const Wld& world, int slot, VisDrawMode mode);
void BridgeMarkersDraw(Vis* vis, const Wld& world, int slot, VisDrawMode mode);
void ActorsDraw(Vis* vis, const Wld& world, bool glow);
void TutorDraw(Vis* vis, const Wld& world);
