// Every planet size and variant converts, loads and stays within the continent limit.
#include <gtest/gtest.h>

#include "system/file.h"
#include "test_support.h"
#include "utility/log.h"
#include "world/planet/terraform.h"
#include "world/planet_fixture.h"
#include "world/wld.h"

TEST(PlanetSweep, EverySizeAndVariantLoadsWithinTheContinentLimit) {
  ASSERT_NO_FATAL_FAILURE(UseTestFolders());
  for (int size = 0; size <= 5; ++size) {
    int most = 0;
    for (int variant = 0; variant < 24; ++variant) {
      ASSERT_EQ(TerraformWrite(size, 2, variant, 1, 2), 0);
      Wld* world = new Wld("Sweep");
      const int sz = world->LoadTopology("custom.top");
      EXPECT_GT(sz, 0) << "size " << size << " variant " << variant;
      EXPECT_LE(world->globe.m_numcontinents, MAXCONTINENTS);
      if (world->globe.m_numcontinents > most) most = world->globe.m_numcontinents;
      delete world;
    }
    printf("size %d: at most %d continents and seas\n", size, most);
  }
}
