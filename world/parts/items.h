// Items: every movable thing lying on a tile or carried by a character, and the item-type table.
#pragma once

#include <cstddef>
#include <cstdint>

#include "system/file.h"
#include "utility/fixed_string.h"

class SaveStream;

struct Wld;
struct ActionPlanner;
struct WorldState;

#define MAXITEMS 3072
#define NUMITEMTYPES 43

// Status bits of Items::m_stat.
enum ItemStatus : uint64_t {
  IS_TOOL = 0x1,
  IS_MATERIAL = 0x2,  // building material: "stone" and "lumber" made or spilled
  IS_TIMBER = 0x4,    // raw timber from felling
  IS_GLOWING = 0x8,   // drawn again in the glowing pass
  IS_GEM = 0x10,
  IS_CHEST_TOOLS = 0x20,
  IS_CHEST_MATERIALS = 0x40,
  IS_CHEST_MARKERS = 0x80,
  IS_CHEST_GEM = 0x100,
  IS_CHEST_SUPPLIES = 0x200,
};

// One row of the item-type table: the type's name and its two planner atoms.
struct ItemType {
  const char* name;
  const char* have;
  const char* near;
};
// Rows 0..36 are named ("lumber" = 0 ... "chest" = 36); rows 37..42 are empty.
extern const ItemType itemTypes[NUMITEMTYPES];

struct Items {
  int32_t m_cnt = 0;  // one past the highest slot ever used; never decreases
  Wld* m_wld = nullptr;
  int32_t m_loca[MAXITEMS];      // tile it lies on or its carrier's tile; -1 for a free slot
  int32_t m_carr[MAXITEMS];      // carrying character, -1 none
  int32_t m_clai[MAXITEMS];      // claiming character, -1 none
  FixedString m_name[MAXITEMS];  // empty for a free slot
  int32_t m_type[MAXITEMS];      // row of itemTypes, -1 when the name has none
  uint64_t m_stat[MAXITEMS];     // ItemStatus bits
  float m_tphs[MAXITEMS];        // pulse phase in turns (gems)
  float m_tspe[MAXITEMS];        // pulse speed in turns per second (gems)
  // Adds refused in a row because the table was full; only the first is logged, and the count
  // when the run ends. Not saved.
  int32_t m_refusedAdds = 0;
  // The most free slots a refused add or HasRoomFor has wanted since the table last had them:
  // while it is set, a freed slot is news to whoever waits for room (an add that others make in
  // the meantime does not end the wait). Not saved.
  int32_t m_roomWanted = 0;

  explicit Items(Wld* wld);
  ~Items();
  Items(const Items&) = delete;
  Items& operator=(const Items&) = delete;

  bool InUse(int slot) const { return slot >= 0 && slot < MAXITEMS && !m_name[slot].Empty(); }

  // The item part counts the world's changes itself: an item put on a tile (added or dropped)
  // and a slot freed while room was wanted may make another character's failed goal reachable.
  // Puts a new item on a tile in the first free slot; -1 when full or the tile is not on the planet.
  int Add(const char* name, int tile, uint64_t status);
  // Frees the slot; -1 when it is out of range or already free.
  int Remove(int slot);
  int FreeSlots() const;
  // True when `count` more items fit. Otherwise false, and the next freed slot counts as a change,
  // so a step that refused to destroy anything for want of room is tried again soon.
  bool HasRoomFor(int count);
  static int TypeByName(const char* name);

  int FindCarried(const char* name, int character) const;
  int CountCarried(const char* name, int character) const;
  int Count(const char* name) const;
  int CountAt(const char* name, int tile, bool includeCarried) const;
  int FindAt(const char* name, int tile, bool includeCarried) const;
  int FindNamed(const char* name, int* out, int capacity) const;
  // The first uncarried item of that name on the tile goes to the character; material delivered
  // to its site stays. Returns the slot or -1.
  int PickUp(const char* name, int tile, int character);
  // A carried item is put down on the tile; -1 for a bad slot or tile or an uncarried item.
  int Drop(int slot, int tile);
  // Everything the character carries is put down where it stands.
  void DropAll(int character);
  void MoveCarried(int character, int tile);
  bool IsOnSite(int slot) const;
  int DemandFor(const char* name) const;
  int StackIndex(int slot) const;
  // Sets the "near" atoms of the items lying on the tile, the "have" atoms of those the character
  // carries and "handsfull"; returns the number of atoms set.
  int SetAtoms(ActionPlanner* ap, WorldState* ws, int character, int tile) const;
  // Writes or reads the items' block of the save file; the bytes moved (save.cpp).
  size_t Serialize(SaveStream& s);
};
