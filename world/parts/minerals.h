// Minerals: the mineral deposits of the planet's land tiles and the transforms of their field models.
#pragma once

#include <cstdint>

#include "system/file.h"
#include "utility/matrix44.h"

class SaveStream;

struct Wld;

#define NUMMINERALS 2

// Kind 0 is iron, the only kind world generation places.
enum MineralKind {
  MK_IRON = 0,
};

struct Minerals {
  Wld* m_wld = nullptr;
  int32_t m_counts[NUMMINERALS] = {};     // deposit tiles of each kind
  int32_t* m_deposits[NUMMINERALS] = {};  // per tile: 1 with a deposit of the kind
  Matrix44* m_trfs[NUMMINERALS] = {};     // one per deposit, in tile order
  int32_t m_sz = 0;                       // tiles the deposit maps were made for

  explicit Minerals(Wld* wld);
  ~Minerals();
  Minerals(const Minerals&) = delete;
  Minerals& operator=(const Minerals&) = delete;

  // Places the deposits of one kind from noise; seed is the "Random Variant" value. False, with a
  // log line, for a kind outside 0..NUMMINERALS-1 or a globe without tiles.
  bool Generate(int kind, int seed);
  // Rebuilds the kind's transforms: its tiles' transforms scaled by half the tile width.
  void SetTransforms(int kind);
  // 1 when the tile carries a deposit of the kind, else 0 (also for bad arguments).
  int HasDeposit(int tile, int kind) const;
  // Writes or reads the minerals' block of the save file, sized by the globe; the bytes moved (save.cpp).
  size_t Serialize(SaveStream& s);
};
