// Running a world without a window: a new planet from the customisation parameters, driven frame by frame through
// SimFrame.
#pragma once

#include <cstdint>

#include "world/planet/terraform.h"

#define MAXHEADLESSEVENTS 64
#define MAXDRIVERMESSAGES 8

struct Wld;

// A program that plays: called before every frame with the world as it stands (to be read only,
// as the visualisation reads it) and the simulated seconds so far. The messages it writes into
// `out` (at most `capacity`, each shorter than 256 characters) go to the simulation with that
// frame. Returns how many it wrote, or a negative value to end the run after this frame.
typedef int (*HeadlessDriver)(void* user, const Wld& world, double now, char (*out)[256], int capacity);
// Hears every message the simulation posts, as the visualisation would.
typedef void (*HeadlessListener)(void* user, const char* message);

// A message the visualisation would send, posted before the frame that starts at `at` seconds
// of simulated time (or the first frame after it).
struct HeadlessEvent {
  double at;
  char text[256];
};

struct HeadlessOptions {
  int params[NUMCUSTOMPARAMS];  // the seven customisation parameters, in customParamNames order
  int hasSeed;                  // 1: the world generator's random numbers start from `seed`
  uint64_t seed;
  double seconds;     // simulated time to run
  int stepsPerFrame;  // fixed steps of 1/240 s per frame (1 to 72)
  int events;         // events in use
  HeadlessEvent event[MAXHEADLESSEVENTS];
  int echoMessages;       // 1: every message the simulation posts is logged as "sim: %s"
  int resume;             // 1: continue the game in "autosave.dat" of the user folder (a new world when none loads)
  int saveAtEnd;          // 1: save the world to "autosave.dat" when the run ends
  int lockstep;           // 1: every step waits (bounded) for the searches it handed over, so that a run repeats
                          // exactly at any machine speed or load; 0: the services answer when they can, as in the game
  HeadlessDriver driver;  // null: only the events above are sent
  HeadlessListener listener;
  void* user;  // passed to the driver and the listener
};

// What a run did.
struct HeadlessResult {
  int64_t steps;
  int64_t frames;
  double age;          // the world's age at the end, seconds
  int tiles;           // the planet's tile count
  int characters;      // characters in the world
  int active;          // characters still active at the end
  int messagesPosted;  // messages the simulation posted to the visualisation
  int gameEnds;        // "gameend" messages among them
  int generateResult;  // what Wld::Generate returned (WG_OK for a resumed game)
  int resumed;         // 1 when the world came from the save
  int saved;           // 1 when the save at the end was written
  int playerTile;      // where the player's character stands at the end, -1 without one
};

// The initial parameters, no seed, one simulated minute at 4 steps per frame, no events.
void HeadlessOptionsDefault(HeadlessOptions* options);
// Adds a message at a time; false (with a line) when the list is full or the text too long.
bool HeadlessEventAdd(HeadlessOptions* options, double at, const char* text);
// Adds the press and release of a plain click on a tile (the player's character walks there).
bool HeadlessClickTile(HeadlessOptions* options, double at, int tile);
// Adds a shift-click press on a character (smite) or a control-click press (steal).
bool HeadlessSmite(HeadlessOptions* options, double at, int character);
bool HeadlessSteal(HeadlessOptions* options, double at, int character);
// Adds a speed change as the fast-forward key sends it.
bool HeadlessSpeed(HeadlessOptions* options, double at, bool accelerated);

// Makes the world (or resumes the saved one), starts the planning and pathing services (unless they already run), runs
// the frames, then takes this world's requests back from the services, stops those it started and deletes the world.
// The data and user folders must be set. Returns 0, or -1 with an error line when the world could not be made or
// generated (the result is filled in as far as the run got).
int HeadlessRun(const HeadlessOptions& options, HeadlessResult* result);
