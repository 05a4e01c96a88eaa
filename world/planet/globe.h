// The planet's tiles: the GridNode record, the Globe world part, its topology, continents, attributes and tile queries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "system/file.h"
#include "utility/matrix44.h"

class SaveStream;

struct Wld;
struct ActionPlanner;
struct WorldState;

// Continents and seas together; the continent byte keeps 255 for "unassigned".
#define MAXCONTINENTS 250

// Tile types (the type byte). Every test for water compares with TP_WATR.
enum TileType : uint8_t {
  TP_WATR = 1,
  TP_LAND = 2,
  TP_ROAD = 4,
  TP_BRDG = 5,
};

// Tile attribute bits of GridNode::attribs, named by attribNames (index = bit).
enum TileAttrib : uint64_t {
  AT_COAST = 0x1,
  AT_WOODY = 0x2,
  AT_ROCKY = 0x4,
  AT_GROVE = 0x8,
  AT_URBAN = 0x10,
  AT_BUILDABLE = 0x20,
  AT_WATERWELL = 0x40,
  AT_SAWMILL = 0x80,
  AT_SMITHY = 0x100,
  AT_WATERMILL = 0x200,
  AT_GRAINFARM = 0x400,
  AT_BAKERY = 0x800,
  AT_DAIRYFARM = 0x1000,
  AT_IRONDEPOSIT = 0x2000,
  AT_SMELTER = 0x4000,
  AT_STORAGE = 0x8000,
  AT_FILLEDSTORAGE = 0x10000,
  AT_CAGE = 0x20000,
  AT_BRIDGE = 0x40000,
  AT_WOODCONSTRUCTION = 0x80000,
  AT_STONECONSTRUCTION = 0x100000,
  AT_BRIDGECONSTRUCTION = 0x200000,
  AT_DECKCONSTRUCTION = 0x400000,
  AT_FACTCONSTRUCTION = 0x800000,
  AT_ROADCONSTRUCTION = 0x1000000,
  AT_WOODYBLOCK = 0x2000000,
  AT_ROCKYBLOCK = 0x4000000,
  AT_SUPPLIEDBRIDGEWORK = 0x8000000,
  AT_SUPPLIEDROADWORK = 0x10000000,
  AT_SUPPLIEDDECKWORK = 0x20000000,
  AT_SUPPLIEDFACTWORK = 0x40000000,
  AT_UNCLAIMED = 0x80000000,
};

// The kinds of work site one character at a time takes on: to walk to one or to work it there,
// the tile must be unclaimed (or held by that character).
constexpr uint64_t c_claimedWorkBits = AT_WOODY | AT_ROCKY | AT_WOODYBLOCK | AT_ROCKYBLOCK | AT_SUPPLIEDBRIDGEWORK |
                                       AT_SUPPLIEDROADWORK | AT_SUPPLIEDDECKWORK | AT_SUPPLIEDFACTWORK;

#define NUMATTRIBS 32
extern const char* const attribNames[NUMATTRIBS];
// The bit index of an attribute name, or -1.
int AttribIndex(const char* name);

// Edge costs with a meaning of their own; any cost below 1 means no passage.
constexpr int c_edgeWater = -1;
constexpr int c_edgeSteep = 1000;
constexpr int c_edgeCordoned = 1001;

// One tile, 88 bytes, stored raw (little-endian) in "custom.top" and in the save file,
// so its layout is a file format. Change `attribs` only through the Globe's atomic helpers:
// the pathing thread clears "unclaimed" while the main thread changes other bits.
struct GridNode {
  uint64_t reserved0;     // written as 0, never read
  uint64_t attribs;       // tile attribute bits (TileAttrib)
  int32_t nr;             // the tile's own number
  Vec3 centre;            // centre of the raised top face
  uint32_t reserved1;     // written as 0, never read
  uint8_t type;           // TileType
  int8_t height;          // level: water 0 and below, land 1 and above
  uint8_t numneighbours;  // 5 for a pentagon, 6 for a hexagon
  uint8_t continent;      // continent or sea number, 255 while unassigned
  int32_t neighbours[6];  // in the order the planet dump lists the edges; -1 none
  int32_t edgecosts[6];   // cost of stepping to the neighbour in the same slot
};

static_assert(sizeof(GridNode) == 88, "GridNode is stored raw in custom.top and the save");
static_assert(offsetof(GridNode, attribs) == 8);
static_assert(offsetof(GridNode, nr) == 16);
static_assert(offsetof(GridNode, centre) == 20);
static_assert(offsetof(GridNode, type) == 36);
static_assert(offsetof(GridNode, height) == 37);
static_assert(offsetof(GridNode, numneighbours) == 38);
static_assert(offsetof(GridNode, continent) == 39);
static_assert(offsetof(GridNode, neighbours) == 40);
static_assert(offsetof(GridNode, edgecosts) == 64);
static_assert(alignof(GridNode) >= 8, "attribs must be 8-aligned for atomic access");

// One vertex of a ".geo" model: position, then red, green, blue, alpha bytes.
struct GeoVertex {
  float x, y, z;
  uint8_t rgba[4];
};
static_assert(sizeof(GeoVertex) == 16);

// The world generator's random numbers: xoroshiro128+, one process-wide state that is never
// reseeded, so every run draws the same sequence.
struct WorldRng {
  uint64_t s0;
  uint64_t s1;
};
extern WorldRng worldRng;
uint64_t WorldRngNext();
// Back to the initial state; for tests, so test order never changes a result.
void WorldRngReset();

// The planet: tiles, their transforms, per-step occupancy and the continents.
struct Globe {
  int32_t m_sz = 0;                   // number of tiles
  Wld* m_wld = nullptr;               // the world that holds this part
  float m_hexw = 0.0f;                // tile width from "custom.top"
  GridNode* m_nodes = nullptr;        // m_sz tiles
  Matrix44* m_trfs = nullptr;         // per tile, origin at the centre of its top face
  float* m_heights = nullptr;         // per tile, length of the translation of m_trfs
  uint64_t* m_inventories = nullptr;  // per tile, one bit per item type lying loose there
  uint64_t* m_presences = nullptr;    // per tile, one bit per character standing there
  int32_t m_numcontinents = 0;        // continents and seas together
  int32_t m_contsizes[MAXCONTINENTS] = {};
  int32_t* m_continents[MAXCONTINENTS] = {};  // tile numbers of each, ascending

  // Bookkeeping that lets a step cost what the characters and items do rather than the planet's
  // size. The occupancy rebuild remembers which tiles it marked, so the next one revisits only
  // those; it starts over with a whole-planet pass whenever the arrays were replaced or read from
  // a file (m_occupancyOf no longer matches). The storage tiles are counted as their bit changes.
  std::vector<int32_t> m_itemTiles;     // tiles whose item bits the last rebuild set
  std::vector<int32_t> m_freshTiles;    // the same, being gathered by the current rebuild
  std::vector<int32_t> m_actorTiles;    // tiles whose character bits the last rebuild set
  std::vector<uint64_t> m_itemScratch;  // per tile, all zero between rebuilds
  uint64_t m_itemTypesAnywhere = 0;     // the union of every tile's item bits
  const uint64_t* m_occupancyOf = nullptr;
  int32_t m_occupancySz = 0;
  mutable int32_t m_storageCount = 0;  // tiles with the "storage" bit, kept by the Attribs helpers
  mutable const GridNode* m_storageOf = nullptr;
  mutable int32_t m_storageSz = 0;

  explicit Globe(Wld* wld);
  ~Globe();
  Globe(const Globe&) = delete;
  Globe& operator=(const Globe&) = delete;

  // Frees the per-tile arrays and continent lists, logs the clean-up line and sets m_sz to 0.
  void CleanUp();

  // Reads "custom.top" (the name in the user folder or the data folder), links the tiles and
  // numbers the continents. Returns m_sz, or -1 with the globe left empty.
  int LoadTopology(const char* name, bool userFolder);
  // Makes `to` neighbour slot k of `fr` and sets that slot's edge cost from the two tiles.
  void LinkTiles(int fr, int to, int k);
  // Sets the cost of the edge in both directions, each only where the far end is not water.
  // Returns the number of slots set (0 to 2).
  int SetEdgeCost(int fr, int to, int cost);
  // Blocks every edge out of the ring around `tile` except through `except`; edges into
  // water stay -1. Returns the number of neighbour pairs visited.
  int CordonOff(int tile, int except);
  // Copies m_sz transforms and sets m_heights from their translations.
  void SetTileTransforms(const Matrix44* trfs);
  // Writes or reads the globe's block of the save file; reading replaces the tiles and
  // continents. The bytes moved (save.cpp).
  size_t Serialize(SaveStream& s);

  Vec3 TilePosition(int nr) const;
  int OppositeNeighbour(int from, int tile) const;
  int NextInLine(int tile, int dx, int dy, const Matrix44& frame) const;
  bool IsLevel(int tile) const;
  bool IsValid(int tile) const { return tile >= 0 && tile < m_sz; }

  // Continents and seas, with a "buoy" on each sea's deepest tile and a "summitmarker" on each
  // landmass's highest. Returns the number of landmasses, or -1 when the planet has more than
  // MAXCONTINENTS continents and seas (nothing is numbered then).
  int ComputeContinents();
  // The initial attribute bits of every tile (coast and buildable; the vegetation, rock and
  // mineral bits join as those parts are added).
  void ComputeAttribs();
  // 0: water, a pentagon or next to water; -1: a neighbour is missing or the seven levels spread
  // over more than 3; else the highest of the seven levels.
  int IsBuildable(int tile) const;
  void ClearBuildableAround(int tile);
  // The names of the set bits joined with "|", cut to size - 1 characters; returns the length.
  static int AttribText(uint64_t bits, char* buffer, int size);
  // Sets every registered "terrainis..." atom of the state from the tile's bits; returns the count.
  // A work site someone holds is no such site to the others: its work bits read false unless the
  // tile is ownClaim, the site the planning character holds itself.
  int SetTerrainAtoms(ActionPlanner* ap, WorldState* ws, int tile, int ownClaim = -1) const;

  // Rebuilds m_inventories and m_presences; the first thing of every simulation step.
  void UpdateOccupancy();
  // Makes the next rebuild and storage count start from the whole planet (after the tile arrays
  // were overwritten in place, as the save loader does).
  void ForgetOccupancy();
  // The item types lying loose anywhere on the planet.
  uint64_t ItemTypesAnywhere() const;
  // Breadth-first distances from start (start = 1) to the nearest tile of each attribute, item
  // type and character, over passable edges, queueing at most limit tiles. Returns tiles queued.
  int Survey(int start, int limit, int attribDist[32], int itemDist[64], int actorDist[64]) const;
  void SurveyTile(int tile, int distance, int attribDist[32], int itemDist[64], int actorDist[64]) const;

  // A random tile of the continent of `tile` within the distance band and without any of the
  // excluded attribute bits; -1 after 1000 refusals.
  int RandomTileNear(int tile, float minDist, float maxDist, uint64_t excluded) const;
  // Up to count distinct such tiles in at most 1000 attempts; returns how many were found.
  int RandomTiles(int count, int* out, int tile, float minDist, float maxDist, uint64_t excluded) const;
  // Trees of the three grown kinds and rock pieces on a landmass; 1, or 0 (all counts 0) for a sea.
  int CountOnContinent(int cont, int* pine, int* mapl, int* appl, int* rock) const;
  // Pushes apart the active characters crowding one tile; returns the number of pushes.
  int SeparateActors();
  int CountStorage() const;

  // Construction on tiles (globe_construct.cpp); main thread only.
  // The water neighbour of a coastal tile from which a straight bridge reaches land soonest
  // (a landing on the tile's own continent counts four times), or -1. A line that crosses the
  // line of a bridge already staked is no start: the two would run into each other.
  int BridgeStart(int tile) const;
  // True when the water tile lies on the line along which a staked bridge site will be built.
  bool OnStakedBridgeLine(int water) const;
  // The line a bridge site on `tile` whose transform is `siteFrame` is built along, as
  // ExtendBridge lays it: over the bridge's finished pieces, then over the water still to bridge,
  // each new piece turned toward the tile beyond it. Each water tile still to bridge goes to
  // visit (when given), which stops the walk by returning true. Returns the tile the bridge ends
  // on (land, or a piece of another bridge met over the water), or -1 when the walk was stopped,
  // leaves the planet or never ends; *waterTiles counts the water tiles passed.
  typedef bool (*BridgeLineVisit)(void* context, int water);
  int BridgeLine(int tile, const Matrix44& siteFrame, BridgeLineVisit visit, void* context, int* waterTiles) const;
  // A bridge site on the shore tile, facing toward; returns the building or -1.
  int StartBridge(int tile, int toward);
  // Lays the next piece of the bridge site on the tile: 1 when the bridge is finished or
  // dissolved, else 0 (also 0 when there is no bridge site).
  int ExtendBridge(int tile);
  // Turns water tile mi between fr and to into a bridge piece; the new building or -1.
  int AddBridge(int fr, int mi, int to);
  // A deck site of 1 to 3 levels; other levels add nothing. Returns 0.
  int StartDeck(int tile, int levels);
  // Finishes the deck site on the tile; the building, or 0 when there is none.
  int BuildDeck(int tile);
  // Finishes the factory site on the tile; the new building, or -1.
  int BuildFactory(int tile);
  // Lays road sites along the character's current path.
  void Pave(int nr);
  // Finishes the road site on the tile; returns the tile, or -1 for a tile off the planet.
  int BuildRoad(int tile);
  // Moves the tile's top, its buildings and its centre up along its Z axis by the distance.
  void RaiseTile(int tile, float distance);

  // Atomic access to a tile's attribute word (relaxed: the bits are independent flags).
  uint64_t Attribs(int tile) const;
  void AttribsSet(int tile, uint64_t bits);
  void AttribsClear(int tile, uint64_t bits);
  void AttribsStore(int tile, uint64_t bits);
  // Claims a site in one atomic step on the attribute word, since the pathing thread claims
  // too: true when the tile was unclaimed and is now the caller's, false when someone has it.
  bool ClaimTake(int tile);
  // Gives a claimed site back (main thread). A site that was held counts as a change of the
  // world, so a character that kept failing to find work tries again at once.
  void ClaimGiveBack(int tile);
  // True when someone holds the tile: a character's recorded claim, or the claim of the path
  // search in flight. Main thread.
  bool ClaimHeld(int tile) const;
  // Opens the tile as a work site for anyone, unless someone holds it: only the holder gives a
  // claim back. Main thread.
  void ClaimOpen(int tile);
};

// The frame `at` turned about its Z axis so that its Y axis points toward the target (away from
// it when `away`), its origin kept: how a building on a tile is turned to face another.
Matrix44 FacingFrame(const Matrix44& at, const Vec3& target, bool away);

// One transform per tile from the planet model's vertices (the fans of "custom.geo"): Z is the
// unit tile centre, X leans away from the tile's first fan edge, the origin is the tile centre.
// Returns 0, or -1 when the model holds too few vertices for the globe's tiles.
int TileTransformsBuild(const Globe& globe, const GeoVertex* vertices, int vertexCount, Matrix44* out);
// Reads a ".geo" file and builds the transforms from it; 0 on success, -1 with a log line.
int TileTransformsLoad(const Globe& globe, const char* name, bool userFolder, Matrix44* out);
