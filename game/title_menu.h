// The title menu and the customise panel: their input, their choices and their drawing in vector-font text.
#pragma once

#include <cstdint>

struct Vis;
enum class ScreenMode : int32_t;  // graphics/vis/vis.h

constexpr int c_menuRows = 9;
constexpr int c_titleEntries = 5;
extern const char* const titleMenuEntries[c_titleEntries];  // rows 2 to 6

// The row under the pointer: y from the top in window units, 9 rows over the window's height;
// -1 without a window.
int MenuRowAt(int mouseY, int windowHeight);
// Row r's centre in the square viewport's -1..1 coordinates (row 0 at the top).
float MenuRowY(int row);

// What a key or button does in the title screens (the title menu and the customise panel).
enum TitleKeyAction {
  TK_NONE = 0,
  TK_SELECT,      // Return, Space or the left button: the title menu's entry, or the panel's row
  TK_FULLSCREEN,  // the same with Alt, or F11
  TK_BACK,        // Escape in the customise panel: back to the title menu
  TK_QUIT,        // Escape in the title menu
};
TitleKeyAction TitleMenuKey(int code, bool down, uint32_t modifiers, ScreenMode screenMode);

// The title menu's entry at the row: its effect on the three flags and its text ("" for no entry,
// and for "RESUME GAME IN PROGRESS" while no game is in progress). "CUSTOMIZE PLANET" opens the
// panel and notes the parameters; the game in progress stays.
const char* TitleMenuChoose(int row, ScreenMode* screenMode, uint8_t* gameInProgress, uint8_t* terraforming);
// The customise panel's row: "[OK]" (row 8) leaves the panel (CustomisePanelLeave); a changeable
// parameter's row (1 to 7) moves its value by step, wrapping round. False when the row does nothing.
bool CustomisePanelChoose(int row, int step, ScreenMode* screenMode, uint8_t* gameInProgress);
// Opens the customise panel and notes the parameters as they are. The game in progress and its
// save stay while the panel is open.
void CustomisePanelOpen(ScreenMode* screenMode);
// Back from the panel to the title menu ("[OK]" or Escape). When a game is in progress and a
// parameter differs from when the panel was opened, that game ends: the flag is cleared, true is
// returned and CustomisePanelEndedGame reports it once, for the shell to delete the game and its
// save. With every parameter as it was, the game and its save stay.
bool CustomisePanelLeave(ScreenMode* screenMode, uint8_t* gameInProgress);
// True once after CustomisePanelLeave ended the game in progress.
bool CustomisePanelEndedGame();

// With the hovered row (the click's own row when VisTitleFrame selects).
const char* TitleMenuSelect(Vis* vis);
void CustomisePanelSelect(Vis* vis, int step);
void TitleMenuDraw(Vis* vis, float seconds);
void CustomisePanelDraw(Vis* vis, float seconds);
// One frame of the title screens: null when the program is to quit, the entry chosen in this
// frame, else "".
const char* VisTitleFrame(Vis* vis, float seconds);
