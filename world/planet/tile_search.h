// Tile path search: the A* search over the planet's tiles that finds the characters' walking paths.
#pragma once

#include <cstdint>

struct Wld;

// Room in each of the open and closed sets; a search that needs more fails.
constexpr int c_tileSetLimit = 8192;

// One entry of the open or closed set.
struct TileSearchNode {
  int32_t tile;
  int32_t g;          // cost of the cheapest known way from the start tile
  int32_t h;          // heuristic estimate to the goal
  int32_t f;          // g + h
  const char* label;  // null for the start node, "noaction" for every node with a parent
  int32_t parent;     // tile this node was reached from; the start node's own tile
};

// Finds the cheapest walk from start to the target tile, or (target -1) to the nearest tile with
// every bit of attribMask, or to the nearest tile with loose items of a type in itemMask (bit t
// for item type t). On input *pathLength is the buffer's capacity; on success it is the number of
// tiles written: the tiles to walk in order, without the start, ending with the goal. Returns the
// goal node's f (the summed edge costs; plus 1 with target -1), or -1 with a log line.
// The sets are process-wide: only one thread may search (the pathing thread in the game).
int TilePathSearch(const Wld* world, int start, int target, uint64_t attribMask, uint64_t itemMask, int32_t* path,
                   int* pathLength);
// 1 when to is -1; else the distance between the tile centres in tile widths, rounded up.
int TilePathHeuristic(const Wld* world, int from, int to);

// Set sizes at the end of the last search, for tests and the benchmark.
void TileSearchCounts(int* numOpen, int* numClosed);
// Empties the sets and their tile index; for tests, so test order never changes a result.
void TileSearchReset();

// Shared tile words read while the main thread may write them: relaxed atomic loads, so a
// search sees each word whole, if possibly a step old.
int32_t TileEdgeCost(const Wld* world, int tile, int slot);
uint64_t TileItemBits(const Wld* world, int tile);
