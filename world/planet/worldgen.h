// World generation: populating a freshly loaded planet with forests, rocks, ore, characters, buildings and chests.
#pragma once

struct Wld;

// Prisoners first, in the order they are given; the player's character is named apart.
#define NUMCHARACTERNAMES 25
extern const char* const characterNames[NUMCHARACTERNAMES];
extern const char* const playerCharacterName;

// Gem chests a world needs: eight gems on one tile raise the stargate, so fewer cannot be won.
#define NUMGEMCHESTS 8

// Attribute bits a placement avoids: woody, rocky, storage and cage.
constexpr unsigned long long c_freeTileMask = 0x28006ull;

// What Wld::Generate made of the planet. Every refusal leaves a half-populated world that the
// caller must delete; trying another variant or planet size is the caller's choice.
enum WorldGenResult {
  WG_OK = 0,
  WG_BADWORLD = -1,     // no tiles, no transforms, no continents, or characters already placed
  WG_NOSTART = -2,      // no continent has the trees, rocks and size a start needs
  WG_NOLANDING = -3,    // no open tile near the start continent's first tile
  WG_NOCAMP = -4,       // too few free tiles around the landing tile for cages, depot or chests
  WG_NOPRISONERS = -5,  // the other continents have no room for all the prisoners
  WG_NOGEMS = -6,       // the other continents cannot take eight gem chests
};

// A short text for a result, for log lines and messages.
const char* WorldGenResultText(int result);

struct Globe;

// True when the tiles around a landing tile can take the camp: four free tiles 2 to 4 tile
// widths away for the cages and depot, and four more 1 to 4.8 away for the start chests.
bool WorldGenCampRoom(const Globe& globe, int landing);

// The start continent by the start rule: among the landmasses with at least three grown trees
// and three rock pieces, the smallest with more than (planet tiles / 50) tiles, the lower
// number on ties; -1 when none qualifies. Needs the trees and rocks generated.
int WorldGenStartContinent(const Wld& world);
