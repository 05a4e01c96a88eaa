// The save file "autosave.dat": writing it without risking the previous save, and resuming a game from it.
#pragma once

#include <cstdint>

struct Wld;

#define SAVEFILENAME "autosave.dat"
#define SAVEMAGIC "#Vyx"
// Bytes before the first part record: magic, version, name and age.
#define SAVEHEADERSIZE 272
// The largest planet a save may hold; far above the game's largest dump.
#define SAVEMAXTILES (1 << 20)

// Writes the world into "<name>.tmp" in the user folder and renames that over the save only when
// every write succeeded and the data reached the disk, so a failed save (disk full, folder gone)
// keeps the previous one. False, with a log line, when nothing was stored.
bool SaveGameWrite(Wld* world, const char* name);

// The layout of the save the world would write, worked out without a file: the offset at which
// each field ends, in order (up to `capacity` of them). Returns the number of fields.
int SaveGameMeasure(Wld* world, uint64_t* fieldEnds, int capacity);

// Reads the save of that name from the user folder into a new world (named "Reverodade b" until
// the stored name replaces it). Null, with a log line, when there is no save or it is refused
// (wrong magic or version, damaged or cut short); the file itself is never changed, so the
// caller can make a new world and the player's save is still there to look at.
Wld* SaveGameLoad(const char* name);
