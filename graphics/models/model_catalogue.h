// The game's static models: every tree, rock, mineral field, item, annotation and building, made from code.
#pragma once

#include <cstdint>
#include <vector>

// One static model: its path below the data folder ("data/props/pine.geo") and how it stands.
struct CatalogueModel {
  const char* path;
  // Where the model's origin lies: 0 on its base (the lowest point is z = 0); 1 an annotation,
  // free to float above the tile; 2 a piece on a tile that construction raised, reaching down by
  // `sink` model units to the ground it was built on.
  int placement;
  float sink;
};

// The number of models and the i-th one (in the order the drawing loads them); null past the end.
int ModelCatalogueCount();
const CatalogueModel* ModelCatalogueAt(int i);
// The i-th model's whole ".geo" file; empty past the end. The same bytes on every call and build.
std::vector<uint8_t> ModelCatalogueImage(int i);
