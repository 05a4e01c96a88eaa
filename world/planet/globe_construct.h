// Construction on tiles: the paving hook the path service calls with a paving character's found path.
#pragma once

struct Wld;

// Raising by construction, in tile widths: a bridge piece, and one level of a deck. The models
// of finished bridges and decks reach down by as much to the ground they were built on.
constexpr float c_bridgeRaise = 0.12f;
constexpr float c_deckRaise = 0.108f;

// Lays the character's found path out as road sites (Globe::Pave); the path service's pathPave.
void GlobePave(Wld* world, int nr);
