// Rocks: the rock pieces lying in 24 slots on every tile, their generation, quarrying and draw transforms.
#pragma once

#include <cstdint>

#include "system/file.h"
#include "utility/matrix44.h"

class SaveStream;

struct Wld;

#define NUMROCKKINDS 10
#define ROCKSLOTS 24

extern const char* const rockKindNames[NUMROCKKINDS];

struct Rocks {
  Wld* m_wld = nullptr;
  int8_t (*m_formations)[ROCKSLOTS] = nullptr;  // per tile: the kind in each slot, -1 empty
  int32_t m_counts[NUMROCKKINDS] = {};          // pieces of each kind on the planet
  Matrix44* m_trfs[NUMROCKKINDS] = {};          // m_counts[k] transforms per kind, in tile and slot order
  int32_t m_sz = 0;                             // tiles the formations were made for

  explicit Rocks(Wld* wld);
  ~Rocks();
  Rocks(const Rocks&) = delete;
  Rocks& operator=(const Rocks&) = delete;

  // Frees the formations and transforms and logs how many pieces went with them.
  void CleanUp();
  // Places the pieces of a new world from noise around the trees already standing.
  void Generate(int variant);
  // Pieces of the kind on the tile; kind -1 counts every kind.
  int IsBlocked(int tile, int kind) const;
  // Removes the piece in the slot; returns its kind, or -1 (nothing changes) for a bad tile or
  // slot or an empty slot.
  int Quarry(int tile, int slot);
  // The lowest slot of the tile holding a piece, or -1.
  int FirstSlot(int tile) const;
  // Rebuilds the transforms of all ten kinds from the formations.
  void SetTransforms();
  // Scene lines for every piece of the kind; returns the number written.
  int WriteScene(FileHandle file, int kind, const char* kindName) const;
  // Writes or reads the rocks' block of the save file, sized by the globe; the bytes moved (save.cpp).
  size_t Serialize(SaveStream& s);
};
