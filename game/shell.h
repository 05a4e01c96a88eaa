// The game shell's steps that need no window: the frame's step count, the menu choice's delay, starting,
// resuming and deleting a game, keeping a bad save aside and the save at exit.
#pragma once

#include <cstddef>
#include <cstdint>

struct Packet;
struct Wld;

constexpr double c_shellStepSeconds = 1.0 / 240.0;
constexpr int c_shellMaxSteps = 12;     // steps of one frame at most
constexpr int c_shellFastForward = 6;   // the step count's factor while Tab is held
constexpr int c_shellCommandDelay = 2;  // frames a menu choice waits, the choosing frame included
constexpr const char* c_shellWorldName = "Reverodade b";
constexpr const char* c_shellBadSaveName = "autosave.dat.bad";

// The whole 1/240 s steps nearest to dt (halves rounded down), 1 to 12. A frame time that is not a
// number, negative or zero runs one step.
int stepsForFrame(double dt);
// The steps the frame runs: stepsForFrame, times 6 while the player fast-forwards (up to 72).
int ShellFrameSteps(double dt, bool fastForward);

// The title-menu entry chosen last and the frames before it is acted on.
struct PendingCommand {
  char text[64] = {};
  int delay = 0;
};
// A non-empty choice replaces the pending one and waits c_shellCommandDelay frames; an empty or
// null choice changes nothing.
void PendingCommandSet(PendingCommand* pending, const char* choice);
// Counts the delay down once (call once per frame, after the frame): the command when it falls
// due in this frame, else null.
const char* PendingCommandTick(PendingCommand* pending);

// What play reaches the visualisation through: the game passes its Vis, tests a fake.
struct ShellView {
  void* ctx = nullptr;
  // (Re)loads the planet model of the named file and hands the tile transforms to the globe: 1, or -1.
  int (*loadPlanetModel)(void* ctx, const char* fileName, Wld* world) = nullptr;
  // Puts the intro camera above the player's character (a resumed game).
  void (*aimCamera)(void* ctx, const Wld* world) = nullptr;
  // The world in memory was replaced or is about to be deleted: forget every index into it.
  void (*worldChanged)(void* ctx, const Wld* world) = nullptr;
  uint8_t* gameInProgress = nullptr;  // the Vis's flag: a game exists and is saved at exit
};

enum PlayResult {
  PLAY_KEPT = 0,           // the world in memory goes on
  PLAY_RESUMED = 1,        // the saved game was read
  PLAY_NEW = 2,            // a new world was made
  PLAY_UNSETTLEABLE = -1,  // world generation refused this planet: back to the customise panel
  PLAY_FAILED = -2,        // the planet or its model could not be made: back to the title menu
};

// Continues the game in memory, else resumes "autosave.dat", else makes a new world from the
// customisation parameters. On a refusal (no user folder among them) no world is left behind and
// ShellNotice says why.
int play(const ShellView& view, Packet* simPacket);
// Reads "autosave.dat" of the user folder into the world in memory (a new one when there is none).
// A save that exists but is refused is renamed to "autosave.dat.bad" (or the first free
// "autosave.dat.bad.N"), so no later save replaces it, and ShellNotice says so; the planet files
// it needs go aside with it under the same ending ("custom.top.bad", "custom.geo.bad"), before a
// new world writes its own. True when read.
bool loadAutosave();
// Looks at what stands under "autosave.dat" before the game reads or deletes it. A file that is
// there but cannot be opened (no permission, not a regular file) is moved aside like a refused
// save; a folder of that name is kept, and the log and ShellNotice say that no game can be saved
// while it is there. False when something unreadable is still there under the name.
bool ShellSaveCheck();
// Logs "deleteCurrentGame"; takes the world's requests back from the planning and pathing services
// and waits for the one being served, tells the view, frees the world and removes "autosave.dat"
// (a save that cannot be read is kept aside instead, see ShellSaveCheck).
void deleteCurrentGame(const ShellView* view);
// Frees the world in memory (its requests taken back from the services first); the save stays.
void ShellWorldFree();
// Shut-down, after the worker threads are joined: saves a game in progress. A won game (a world
// whose game is no longer in progress) is not saved, and the save it was resumed from is removed
// so that it does not come back. True when something was saved.
bool ShellSaveAtExit(bool gameInProgress);

// The last thing the player must be told on the title screen ("" none), and its reset. While no
// user folder was found, that stays the notice whenever there is no other.
const char* ShellNotice();
void ShellNoticeClear();
void ShellUserFolderMissingSet(bool missing);

// The dialog's text when the game in progress could not be saved into the folder at exit. It
// points at the log only when one is open.
void ShellSaveFailedText(char* out, size_t size, const char* folder);
