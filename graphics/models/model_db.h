// ModelDB: the table of every mesh the game draws, loaded once by file name and uploaded to GPU buffers.
#pragma once

#include <cstdint>

#include "graphics/models/anim_model.h"
#include "graphics/models/model_formats.h"
#include "utility/fixed_string.h"

// Slots in the table.
#define MAXMODELS 100

// One loaded model: its own copy of the name it was loaded under, the decoded arrays (kept for
// the model's lifetime) and its GL objects, 0 when absent. The instance transforms of model m
// are written at byte m_mesh.m_vertexBytes of m_vbuffer, 64 bytes each.
struct ModelEntry {
  FixedString m_name;  // empty for a free slot
  ModelMesh m_mesh;
  uint64_t m_ibuffer = 0;  // ".md2" only
  uint64_t m_vbuffer = 0;
  uint64_t m_varray = 0;
  uint64_t m_texture = 0;  // ".md2" skin, when it has one
};

class ModelDB {
 public:
  ModelDB();
  ~ModelDB();  // runs FreeAll
  ModelDB(const ModelDB&) = delete;
  ModelDB& operator=(const ModelDB&) = delete;

  // The folder that the skin names of ".md2" files are relative to ("data/props").
  void SetFolder(const char* folder);
  // When set, ".geo" vertex colours are made linear at load and compressed skins use sRGB formats.
  void SetSRGB(bool srgb);
  // When set, models are decoded but nothing is sent to the GPU (tools and tests without a GL
  // context); the GL handles stay 0 and LoadTexture gives 0 after checking the file.
  void SetHeadless(bool headless);

  // Loads a ".geo" or ".md2" model by its name in the data folder ("custom.geo" is taken from
  // the user folder) with room for instanceCount transforms; dynamic selects a dynamic vertex
  // buffer. A name already loaded gives its slot again without loading. The slot, or -1 with a
  // log line (bad name, full table, unknown extension, a file that is missing or damaged).
  int Load(const char* name, bool dynamic, int instanceCount);
  // Reloads a model in place (the planet after terraforming), keeping its slot number; a name
  // not loaded yet is loaded. The slot, or -1 with the slot left released: it keeps its name
  // and slot number but holds nothing (no vertices, GL handles 0) until a refresh succeeds.
  int Refresh(const char* name, bool dynamic, int instanceCount);
  // The index of the first sequence of that name in the slot, or -1 (also for a slot without
  // animations or a slot out of range).
  int FindAnimation(int slot, const char* name) const;
  // The sequences of a decoded model; count receives their number. Null for no frames.
  static std::unique_ptr<AnimRecord[]> BuildAnimations(const AnimModel& model, int* count);
  // Where an actor's sequence stands after the given seconds, for drawing: the absolute frame,
  // its base vertex and the blend weight. False, after an assertion, when the sequence name is
  // null or the model has no such sequence; the caller then skips the figure.
  bool Pose(int slot, const char* sequence, int actor, double seconds, bool loop, AnimPose* out) const;
  // Loads a ".dds" texture by its path in the data folder: the texture handle, 0 on failure.
  uint64_t LoadTexture(const char* path);
  // Releases every slot and its GL objects.
  void FreeAll();

  // The entry of a slot, null when the slot is not in use.
  const ModelEntry* Entry(int slot) const;
  int Count() const { return m_modelCount; }

 private:
  int LoadInto(int slot, const char* name, bool dynamic, int instanceCount);
  bool Upload(ModelEntry* entry, bool dynamic);
  void Release(ModelEntry* entry);

  FixedString m_folder;
  bool m_srgb = false;
  bool m_headless = false;
  int32_t m_modelCount = 0;
  ModelEntry m_entries[MAXMODELS];
};
