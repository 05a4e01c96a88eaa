// A scripted player: plays a world only through the messages a person's input produces, reading the world as the
// visualisation does, and reports how far it got.
#pragma once

#include <cstdint>

#include "world/driver/headless_run.h"

struct Wld;

// What the game has reached, as the player sees it.
struct ScriptedProgress {
  double age;           // the world's age, seconds
  int tutorStage;       // the tutorial's stage, -1 before the landing and after the last stage
  int tutorHighest;     // the highest stage seen so far, 12 once the tutorial has ended
  uint32_t stagesSeen;  // bit k: stage k was seen
  int stageSetbacks;    // times the stage went down other than at the tutorial's end
  int landed;           // 1 once the player's character stands on the planet
  int freed;            // characters freed from their cages
  int assigned;         // freed characters with an assignment
  int chestsSmashed;    // chests that are gone
  int sawmills, storages, smelters, smithies;
  int bridgePieces;   // finished bridge tiles
  int bridgesStaked;  // bridge markers staked by the player
  int gemsFound;      // gems in the world
  int gemsGathered;   // the most gems lying together on one tile
  int stargates;
  int crowned;      // 1 once the player's character wears the crown
  int ascending;    // 1 once it rises through the stargate
  int gameEnds;     // "gameend" messages heard
  int gameEndWins;  // of those with win=1
};

// What the watchdog saw while the player played (the soak's measures).
struct ScriptedHealth {
  double longestPlanWait;          // longest time, seconds, a character waited for a plan answer
  double longestPathWait;          // the same for a path answer (queued or searched)
  int longestPlanWaitNr;           // the character that waited so
  double longestPlanInFlight;      // longest time one plan request stayed with the planning service
  double longestPlanInFlightWall;  // the same in wall-clock seconds
  double longestPathWallWait;      // longest wall-clock wait for a path answer
  int capacityFaults;              // frames on which a count stood beyond its capacity
  int idleFrames;                  // decisions the player could not make (nothing to do)
};

// The player's tasks, one at a time; kept for the report.
enum ScriptedTask {
  SP_WAIT = 0,
  SP_GREET,
  SP_SMASH,
  SP_FREE,
  SP_SAWMILL,
  SP_STORAGE,
  SP_SMELTER,
  SP_SMITHY,
  SP_BRIDGE,
  SP_GEMS,
  SP_CROWN,
  SP_ASCEND,
  SP_DROP,
  SP_ROAD,
  SP_EXPLORE,
  SP_COUNT
};

// Far ends of the bridges staked, remembered for the roads toward them.
#define SP_BRIDGEENDS 32
// Targets the player gave up on for a while (a path that never came, an action not offered).
#define SP_BLACKLIST 64

struct ScriptedPlayer {
  // Seconds of simulated time between two decisions, and between two progress lines.
  double decisionInterval = 0.25;
  double reportInterval = 60.0;
  bool report = true;  // log the progress line every reportInterval

  // State of the game as the player remembers it.
  double nextDecision = 0.0;
  double nextReport = 0.0;
  double lastNow = 0.0;
  int landingTile = -1;
  int chestsAtStart = -1;
  int bridgesStakedCount = 0;
  bool siteMissingSaid = false;
  bool storageWanted = false;  // the depot filled up and no storage has been added since
  int storagesSeen = 0;
  double fastForwardSince = -1.0;  // when the fast-forward key went down, -1 never
  bool fastForwardReleased = false;
  int gatherTile = -1;  // where the gems are brought together
  int greetFor = -1;    // the character the player means to greet, -1 none
  double greetSince = 0.0;
  int bridgeCoast = -1;    // the coast tile chosen for the next bridge
  int bridgeLanding = -1;  // where that bridge reaches land
  int bridgeLength = 0;    // water tiles it crosses
  int bridgeEnd[SP_BRIDGEENDS] = {};
  int bridgeEnds = 0;  // bridges staked so far
  int roadsDone = 0;   // bridge ends a road was considered for
  int roadFrom = -1;   // the road being staked: its first end (-1 once staked) and its second
  int roadTo = -1;
  int bridgeValue = 0;  // what the landmass there is worth
  int task = SP_WAIT;
  int taskTile = -1;  // where the current task leads
  double taskSince = 0.0;
  double taskPatience = 0.0;  // seconds the current task may take before it is given up on
  int taskClicks = 0;
  int lastClickTile = -1;
  int lastActionTile = -1;
  char lastAction[64] = {};
  double lastActionAt = -1.0;
  int blackTile[SP_BLACKLIST] = {};
  int blackTask[SP_BLACKLIST] = {};
  double blackUntil[SP_BLACKLIST] = {};
  int taskCounts[SP_COUNT] = {};  // decisions per task
  ScriptedProgress progress = {};
  ScriptedHealth health = {};
  double planWait[32] = {};
  double pathWallWait[32] = {};
  double lastWall = 0.0;
  double inFlightWall = 0.0;
  double builderGreetAt = -1000.0;
  double idleGreetAt = -1000.0;
  int inFlightNr = -1;
  uint32_t inFlightSerial = 0;
  double inFlightFor = 0.0;
  double pathWait[32] = {};
  // What the player told each character to do (-1: nothing yet). The game shows no one's work
  // but by what they are seen doing, so this is all the player knows of it.
  int told[32] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                  -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  int seenFrom = -1;  // the tile the player last looked around from

  // Scratch over the tiles, sized on the first frame of a world.
  int tiles = 0;
  int* dist = nullptr;    // steps from the player's tile, -1 unreachable
  int* parent = nullptr;  // the previous tile on the way there
  int* queue = nullptr;
  // Tiles the player has looked at from close by: only there does it know whether a building fits.
  unsigned char* seen = nullptr;

  ScriptedPlayer() = default;
  ~ScriptedPlayer();
  ScriptedPlayer(const ScriptedPlayer&) = delete;
  ScriptedPlayer& operator=(const ScriptedPlayer&) = delete;

  // The decisions of one frame: writes the messages for the simulation into out (at most
  // capacity) and returns how many. Reads the world only.
  int Frame(const Wld& world, double now, char (*out)[256], int capacity);
  // A message the simulation posted.
  void Hear(const char* message);
  // Recounts the progress from the world.
  void Measure(const Wld& world);
  // Logs one line of what has been reached.
  void Report() const;
};

// Hooks a player into headless options: the driver and the listener call the player.
void ScriptedPlayerAttach(HeadlessOptions* options, ScriptedPlayer* player);
// The work to give a greeted character: `count` how many others the player told each of the seven
// assignments, `has` what it told this one (-1 nothing), `offers` the speech menu's assignments now,
// `planterWanted` whether trees should be planted, `spent` the work left with nothing to work on within
// reach (bit 0 lumber, bit 1 stone). -1 leaves the character at its work.
int ScriptedChooseWork(const int* count, int has, const int* offers, bool planterWanted, int spent);
// The name of a task for the report.
const char* ScriptedTaskName(int task);
