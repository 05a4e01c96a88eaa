// Construction on tiles: the paving hook the path service calls with a paving character's found path.
#pragma once

struct Wld;

// Lays the character's found path out as road sites (Globe::Pave); the path service's pathPave.
void GlobePave(Wld* world, int nr);
