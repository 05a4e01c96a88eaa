// Terraform: the customisation parameters and the conversion of a planet dump into "custom.top" and "custom.geo".
#pragma once

#include <cstdint>

struct Wld;

#define NUMCUSTOMPARAMS 7

// The parameter table, one column per array; each choice list ends with an empty name.
extern const char* const customParamNames[NUMCUSTOMPARAMS];
extern const char* const* const customParamChoices[NUMCUSTOMPARAMS];
extern const bool customParamChangeable[NUMCUSTOMPARAMS];
extern int customParamValues[NUMCUSTOMPARAMS];

// The current value of the parameter with exactly this name, or -1.
int CustomParamGet(const char* name);
// Draws "Random Variant", "Land Hue" and "Sea Hue" (never equal to the land hue) anew.
void CustomParamsRandomise();
// Back to the initial values; for tests.
void CustomParamsReset();

// Converts the dump for the planet size (dump number planetSize + 2) into "custom.geo" and
// "custom.top" in the user folder. Returns the conversion's result (0).
int TerraformWrite(int planetSize, int land, int variant, int landHue, int seaHue);

// One override line slot; a list of them ends with the first empty slot.
typedef char OverrideLine[128];

// Converts the dump (a name in the data folder) into the mesh and topology files (names in the
// user folder). A missing or malformed dump, or an output that cannot be written whole, is an
// installation fault: it logs the error and ends the process with status 1. Returns 0.
int PlanetDumpRead(const char* dumpName, const char* geoName, const char* topName, const OverrideLine* overrides);
// Called after the error lines of a failed conversion, just before the process ends; null in the
// game. A test or fuzzer that must survive a bad dump sets one that does not return (it throws);
// if it returns, the process still ends with status 1.
extern void (*planetDumpFaultHook)();
// Shows the player why the planet cannot be made, just before the process ends. The game points it
// at its error dialog; the world links no dialog code, so headless runs leave it null and have the
// log alone.
extern bool (*planetFaultDialog)(const char* title, const char* text);

// The conversion settings that the override lines change; they persist between conversions.
struct PlanetSettings {
  int variant;
  int land;
  int landHue;
  int seaHue;
};
extern PlanetSettings planetSettings;

// The colour ramp of levels -19..19 (index level + 19) from the current hues.
extern float planetPalette[39][3];
void PaletteMake();
// Hue in turns of a hue index ("Scarlet" 0 .. "Orange" 5); any other index gives 0.
float HueForIndex(int index);
void HsvToRgb(float h, float s, float v, float* r, float* g, float* b);
// The noise offsets of a variant: (7v mod 29, 3v mod 29, 11v mod 29).
void VariantOffsets(int variant, int* ox, int* oy, int* oz);

// The census of the dump's levels (level above 0 is land): region numbers per tile in order of
// discovery; returns the region of the largest landmass (lowest number on ties), or -1 without land.
int ContinentsCount(int numTiles, const int32_t* neighbours, const int* levels, int* region);
// Lowers the largest landmass by one level, then cuts it wherever a tile's neighbour ring holds two
// or three separate water stretches. neighbours holds 6 slots per tile. Returns the cuts made.
int LandmassBreak(int numTiles, const int32_t* neighbours, int* levels, const int* region, int largest);

// Makes a new world from the current customisation parameters: converts the planet, loads the
// topology with its continents and markers, builds the tile transforms from the mesh and
// computes the tile attributes. Null, with an error line, when the planet cannot be loaded.
Wld* TerraformNewWorld(const char* name);
