// Trees: per-tile counts of stumps, pines, maples, apple trees and seedlings, their growth, fruit and groves.
#pragma once

#include <cstdint>

#include "system/file.h"

class SaveStream;

struct Wld;

#define NUMTREEKINDS 5
#define NUMPILEOFFSETS 1024

// Tree kinds; the index is stored in the save file and names the tree model.
enum TreeKind {
  TK_STMP = 0,  // stump left after felling; does not block a tile
  TK_PINE = 1,
  TK_MAPL = 2,
  TK_APPL = 3,  // bears fruit
  TK_SEED = 4,  // planted seedling; grows into a pine or a maple
};
extern const char* const treeKindNames[NUMTREEKINDS];

// Where the i-th object of a tile's pile stands, in tile units: x and y within [-1, 1].
struct PileOffset {
  float x;
  float y;
};
// Halton points inside the tile's footprint, shared by trees, rock pieces and ground items.
extern const PileOffset pileOffsets[NUMPILEOFFSETS];
// The table entry for a pile index. Callers compute the index from counts that nothing bounds
// (stumps pile up, rocks sit behind the trees), so an index outside the table trips an assertion
// and wraps into it rather than reading past the end.
PileOffset PileOffsetAt(int index);

// The fruit pass's own xoroshiro128+ generator, process-wide and never saved.
struct FruitRng {
  uint64_t s0;
  uint64_t s1;
};
extern FruitRng fruitRng;
uint64_t FruitRngNext();
// Back to the initial state; for tests, so test order never changes a result.
void FruitRngReset();

struct Trees {
  Wld* m_wld = nullptr;
  int32_t* m_density[NUMTREEKINDS] = {};  // m_density[k][t]: trees of kind k on tile t
  int32_t m_count[NUMTREEKINDS] = {};     // planet totals per kind
  uint8_t* m_grove = nullptr;             // per tile: 1 for a grove
  float* m_ages = nullptr;                // per tile: seconds since its seedling clock restarted
  float m_timeToFruit = 0.0f;             // seconds until the next fruit pass
  int32_t m_sz = 0;                       // tiles the maps were made for

  explicit Trees(Wld* wld);
  ~Trees();
  Trees(const Trees&) = delete;
  Trees& operator=(const Trees&) = delete;

  // Frees the maps and logs how many trees went with them.
  void CleanUp();
  // Grows the initial forests of a new world from noise; variant is the "Random Variant" value.
  void Generate(int variant);
  // Standing trees on the tile: kind 1..4 counts that kind, -1 all four; stumps and other kinds give 0.
  int IsBlocked(int tile, int kind) const;
  // Every tree on the tile, stumps included.
  int CountAt(int tile) const;
  // Fells one tree of the kind; the trees of that kind left, or -1 when there was none.
  int Fell(int tile, int kind);
  // Plants one seedling; the tile, or -1 when the tile cannot take one.
  int Plant(int tile);
  // One simulation step: seedlings grow and apple trees drop fruit.
  void Update(float dt);
  // Recomputes the grove mark and the "grove" bit of every tile.
  void UpdateGroves();
  // Scene lines for every tree of the kind; returns the number written.
  int WriteScene(FileHandle file, int kind, const char* kindName) const;
  // Writes or reads the trees' block of the save file, sized by the globe; the bytes moved (save.cpp).
  size_t Serialize(SaveStream& s);

  // How the j-th tree of kind k on the tile is placed (tile transform x pile offset x scale).
  int PileIndex(int tile, int kind, int j) const;

 private:
  bool Allocate(int sz);
  // Turns the ready seedlings of tiles from..to-1 into grown trees.
  void GrowSeedlings(int from, int to);
};
