// Tile path search: A* over the tile graph with the open and closed sets kept as plain unordered arrays.
//
// The sets behave exactly as two unordered arrays with swap-removal, and the node expanded next is
// the open node with the smallest f at the lowest array position. Finding it and testing
// membership by scanning would cost a pass over up to 8192 nodes per step, so the search keeps two
// indexes beside the arrays: a four-way heap of open positions ordered by (f, position), and per tile
// its place in either set. Both follow every swap-removal, so the arrays, the order of expansion
// and therefore the paths are the same as with the scans.
#include "world/planet/tile_search.h"

#include <cmath>
#include <cstring>

#include "utility/log.h"
#include "world/wld.h"

namespace {

const char c_noAction[] = "noaction";

// Where each tile is: a place below c_tileSetLimit is an open position, from c_tileSetLimit up a
// closed one; -1 is neither. The array grows once, to the largest planet searched.
constexpr int32_t c_nowhere = -1;

TileSearchNode openSet[c_tileSetLimit];
TileSearchNode closedSet[c_tileSetLimit];
int numOpen = 0;
int numClosed = 0;
// Open positions as a four-way min-heap (shallower than a binary one, and its four children
// share a cache line) of keys (f, position) packed into one word each, with the heap
// slot of every open position.
uint64_t openHeap[c_tileSetLimit];
int32_t heapSlotOf[c_tileSetLimit];
int32_t* places = nullptr;
int placeCapacity = 0;

inline uint64_t HeapKey(int32_t f, int32_t pos) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(f) ^ 0x80000000u) << 32) | static_cast<uint32_t>(pos);
}
inline int32_t KeyPos(uint64_t key) { return static_cast<int32_t>(key & 0xffffffffu); }

inline int32_t PlaceGet(int tile) { return places[tile]; }
inline void PlaceSet(int tile, int32_t place) { places[tile] = place; }

// Only the tiles still in a set have a place, so emptying the sets clears just those.
void NewSearch(int tiles) {
  if (tiles > placeCapacity) {
    delete[] places;
    places = new int32_t[tiles];
    placeCapacity = tiles;
    memset(places, 0xff, sizeof(places[0]) * placeCapacity);
  } else {
    for (int i = 0; i < numOpen; ++i) places[openSet[i].tile] = c_nowhere;
    for (int i = 0; i < numClosed; ++i) places[closedSet[i].tile] = c_nowhere;
  }
  numOpen = 0;
  numClosed = 0;
}

inline void HeapPlace(int slot, uint64_t key) {
  openHeap[slot] = key;
  heapSlotOf[KeyPos(key)] = slot;
}

void HeapUp(int slot, uint64_t key) {
  while (slot > 0) {
    const int up = (slot - 1) >> 2;
    if (openHeap[up] <= key) break;
    HeapPlace(slot, openHeap[up]);
    slot = up;
  }
  HeapPlace(slot, key);
}

void HeapDown(int slot, uint64_t key, int size) {
  for (;;) {
    const int first = 4 * slot + 1;
    if (first >= size) break;
    int child = first;
    const int end = first + 4 < size ? first + 4 : size;
    for (int c = first + 1; c < end; ++c)
      if (openHeap[c] < openHeap[child]) child = c;
    if (openHeap[child] >= key) break;
    HeapPlace(slot, openHeap[child]);
    slot = child;
  }
  HeapPlace(slot, key);
}

// The heap holds exactly the keys of positions 0..numOpen-1.
void OpenAdd(const TileSearchNode& node) {
  const int pos = numOpen++;
  openSet[pos] = node;
  PlaceSet(node.tile, pos);
  HeapUp(pos, HeapKey(node.f, pos));
}

// Swap-removal: the last node moves into the hole, which lowers its position and so its key.
void OpenRemove(int pos) {
  const int last = numOpen - 1;
  PlaceSet(openSet[pos].tile, c_nowhere);
  // Take pos out of the heap.
  const int hole = heapSlotOf[pos];
  const uint64_t tail = openHeap[last];
  if (hole != last) {
    if (tail < openHeap[hole])
      HeapUp(hole, tail);
    else
      HeapDown(hole, tail, last);
  }
  // Move the last node into the hole; its key now names pos.
  if (pos != last) {
    openSet[pos] = openSet[last];
    PlaceSet(openSet[pos].tile, pos);
    HeapUp(heapSlotOf[last], HeapKey(openSet[pos].f, pos));
  }
  numOpen = last;
}

void ClosedAdd(const TileSearchNode& node) {
  const int pos = numClosed++;
  closedSet[pos] = node;
  PlaceSet(node.tile, c_tileSetLimit + pos);
}

void ClosedRemove(int pos) {
  const int last = numClosed - 1;
  PlaceSet(closedSet[pos].tile, c_nowhere);
  if (pos != last) {
    closedSet[pos] = closedSet[last];
    PlaceSet(closedSet[pos].tile, c_tileSetLimit + pos);
  }
  numClosed = last;
}

inline float LoadFloat(const float* p) {
  float v;
  __atomic_load(p, &v, __ATOMIC_RELAXED);
  return v;
}

inline Vec3 TileCentre(const Globe& globe, int tile) {
  const Vec3& c = globe.m_nodes[tile].centre;
  return Vec3{LoadFloat(&c.x), LoadFloat(&c.y), LoadFloat(&c.z)};
}

inline int32_t TileNeighbour(const Globe& globe, int tile, int slot) {
  return __atomic_load_n(&globe.m_nodes[tile].neighbours[slot], __ATOMIC_RELAXED);
}

}  // namespace

int32_t TileEdgeCost(const Wld* world, int tile, int slot) {
  return __atomic_load_n(&world->globe.m_nodes[tile].edgecosts[slot], __ATOMIC_RELAXED);
}

uint64_t TileItemBits(const Wld* world, int tile) {
  const uint64_t* bits = world->globe.m_inventories;
  return bits ? __atomic_load_n(&bits[tile], __ATOMIC_RELAXED) : 0;
}

int TilePathHeuristic(const Wld* world, int from, int to) {
  if (to == -1) return 1;
  const Globe& globe = world->globe;
  const float d = (TileCentre(globe, to) - TileCentre(globe, from)).Length();
  return static_cast<int>(ceilf(d / globe.m_hexw));
}

// Writes the walk that ends in the goal node by following parents through the closed set of the
// search under way. False, writing no length, when the walk does not fit the buffer.
static bool TilePathReconstruct(const TileSearchNode* goal, int32_t* path, int* pathLength) {
  const int capacity = *pathLength;
  int next = capacity - 1;
  const TileSearchNode* node = goal;
  while (node && node->label) {
    if (next < 0) {
      LOGE("Path exceeded max lenght of %d", capacity);
      return false;
    }
    path[next--] = node->tile;
    const int32_t place = PlaceGet(node->parent);
    node = place >= c_tileSetLimit ? &closedSet[place - c_tileSetLimit] : nullptr;
  }
  const int count = capacity - 1 - next;
  if (count > 0) memmove(path, path + next + 1, sizeof(path[0]) * count);
  *pathLength = count;
  return true;
}

int TilePathSearch(const Wld* world, int start, int target, uint64_t attribMask, uint64_t itemMask, int32_t* path,
                   int* pathLength) {
  if (!world || !path || !pathLength || *pathLength < 0) {
    LOGE("Tile path search without a world, a path buffer or a capacity.");
    return -1;
  }
  const Globe& globe = world->globe;
  if (!globe.IsValid(start) || (target != -1 && !globe.IsValid(target))) {
    LOGE("Tile path search from %d to %d is off the planet of %d tiles.", start, target, globe.m_sz);
    return -1;
  }
  NewSearch(globe.m_sz);
  // The heuristic of every node measures to the same centre; read it once.
  const bool toTile = target != -1;
  const Vec3 goalCentre = toTile ? TileCentre(globe, target) : Vec3{};
  const float hexw = globe.m_hexw;
  const int h0 = TilePathHeuristic(world, start, target);
  OpenAdd(TileSearchNode{start, 0, h0, h0, nullptr, start});

  while (numOpen > 0) {
    const int best = KeyPos(openHeap[0]);
    const TileSearchNode node = openSet[best];
    OpenRemove(best);

    const bool atTarget = node.tile == target;
    const bool hasAttribs = !toTile && attribMask && (globe.Attribs(node.tile) & attribMask) == attribMask;
    const bool hasItems = (TileItemBits(world, node.tile) & itemMask) != 0;
    if (atTarget || hasAttribs || hasItems) return TilePathReconstruct(&node, path, pathLength) ? node.f : -1;

    ClosedAdd(node);
    if (numClosed >= c_tileSetLimit) {
      LOGI("Closed set overflow. numOpen: %d, numClosed:%d", numOpen, numClosed);
      return -1;
    }

    const GridNode& here = globe.m_nodes[node.tile];
    for (int k = 0; k < 6; ++k) {
      const int nb = __atomic_load_n(&here.neighbours[k], __ATOMIC_RELAXED);
      if (nb < 0 || nb >= globe.m_sz) continue;
      const int cost = __atomic_load_n(&here.edgecosts[k], __ATOMIC_RELAXED);
      if (cost < 1) continue;
      const int g = node.g + cost;
      const int32_t place = PlaceGet(nb);
      if (place >= c_tileSetLimit) {
        if (g >= closedSet[place - c_tileSetLimit].g) continue;
        ClosedRemove(place - c_tileSetLimit);
      } else if (place != c_nowhere) {
        if (g >= openSet[place].g) continue;
        OpenRemove(place);
      }
      // Same arithmetic as TilePathHeuristic, so the fast and the plain search agree bit for bit.
      const int h = toTile ? static_cast<int>(ceilf((goalCentre - TileCentre(globe, nb)).Length() / hexw)) : 1;
      OpenAdd(TileSearchNode{nb, g, h, g + h, c_noAction, node.tile});
      if (numOpen >= c_tileSetLimit) {
        LOGI("Opened set overflow");
        return -1;
      }
    }
  }
  LOGI("Did not find a path (att%llx,itm%llx) numclosed=%d.", static_cast<unsigned long long>(attribMask),
       static_cast<unsigned long long>(itemMask), numClosed);
  return -1;
}

void TileSearchCounts(int* open, int* closed) {
  if (open) *open = numOpen;
  if (closed) *closed = numClosed;
}

void TileSearchReset() {
  if (places) memset(places, 0xff, sizeof(places[0]) * placeCapacity);
  numOpen = 0;
  numClosed = 0;
}
