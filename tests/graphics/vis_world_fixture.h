// A small generated world for the drawing tests: the 272-tile planet with its trees, rocks, characters and buildings.
#pragma once

#include <gtest/gtest.h>

#include "game/terraform.h"
#include "world/planet_fixture.h"
#include "world/worldgen.h"

// Makes the "miniscule" planet and populates it as a new game does; null on failure.
inline Wld* MakeSmallWorld(int size = 1) {
  UseTestFolders();
  CustomParamsReset();
  WorldRngReset();
  customParamValues[0] = size;
  Wld* world = TerraformNewWorld("Drawing test");
  if (!world) return nullptr;
  if (world->Generate(customParamValues[4]) != WG_OK) {
    delete world;
    return nullptr;
  }
  return world;
}
