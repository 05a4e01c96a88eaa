// Compiled by a test and never linked: the world's formatted post must be checked like printf.
#include "world/wld.h"

void PostTheDrop(Wld& world, int tile) {
#ifdef WRONG_ARGUMENT
  world.PostF("soundeffect name=drop tile=%d", "not a tile");
#else
  world.PostF("soundeffect name=drop tile=%d", tile);
#endif
}
