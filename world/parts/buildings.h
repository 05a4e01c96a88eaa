// Buildings: named structures and construction sites on tiles, their tile marks and the flow of materials to sites.
#pragma once

#include <cstdint>

#include "system/file.h"
#include "utility/fixed_string.h"
#include "utility/matrix44.h"

class SaveStream;

struct Wld;

#define MAXBUILDINGS 1024

struct Buildings {
  int32_t m_cnt = 0;  // slots used so far, freed gaps included; slots are never reused
  Wld* m_wld = nullptr;
  FixedString m_name[MAXBUILDINGS];  // kind name, also the model's; empty for a freed slot
  int32_t m_loca[MAXBUILDINGS];      // tile; -1 for a freed slot
  Matrix44 m_trfs[MAXBUILDINGS];     // placement: the tile's transform, possibly turned
  int32_t m_rsto[MAXBUILDINGS];      // stone its construction still needs
  int32_t m_rwoo[MAXBUILDINGS];      // lumber its construction still needs

  explicit Buildings(Wld* wld);
  ~Buildings();
  Buildings(const Buildings&) = delete;
  Buildings& operator=(const Buildings&) = delete;

  bool InUse(int slot) const { return slot >= 0 && slot < m_cnt && !m_name[slot].Empty(); }

  // Adds a building in slot m_cnt and marks its tile (the bits plus "unclaimed" and "urban") and
  // its neighbours ("urban"). Returns the slot, or -1 with a log line when the table is full or
  // the tile is not on the planet.
  int Add(const char* name, int tile, uint64_t bits);
  // Frees the slot for good; returns its former tile, or -1 for a slot not in use.
  int Remove(int slot);
  // The lowest slot on the tile, with that name when one is given; -1 when none.
  int Find(int tile, const char* name) const;
  // Slots in use whose name begins with the prefix.
  int CountNamed(const char* prefix) const;
  // Turns the building about its up axis so its Y axis points at the other tile (away from it
  // when away is set). False for a bad slot or tile.
  bool FaceTowards(int slot, int tile, bool away);
  // For a construction site: the wood and stone its kind needs and the uncarried lumber and stone
  // lying on its tile. False, writing nothing, for any other building. Null outputs are skipped.
  bool SiteMaterials(int slot, int* woodNeeded, int* lumberLying, int* stoneNeeded, int* stoneLying) const;
  // One simulation step of material flow to the construction sites, and factory sites whose
  // ground has become level turned into "faconstruction". Returns the sites examined.
  int UpdateFlows();
  // The building lines of the scene dump; returns the number written.
  int WriteScene(FileHandle file) const;
  // Writes or reads the buildings' block of the save file; the bytes moved (save.cpp).
  size_t Serialize(SaveStream& s);

 private:
  // Per-tile tallies of loose lumber and stone, filled and emptied by each UpdateFlows, so a
  // step costs one pass over the items however many sites there are.
  uint16_t* m_lumberAt = nullptr;
  uint16_t* m_stoneAt = nullptr;
  int32_t m_tallySize = 0;
  bool m_fullReported = false;
};
