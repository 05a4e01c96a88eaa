// The program: start-up of every service in order, the frame loop of title screens and game frames, and shut-down.
#pragma once

// Exit status when the game cannot start at all (no display, no OpenGL 3.3).
constexpr int c_exitNoVideo = 1;
// Exit status when the user folder cannot be locked against a second game (it says why).
constexpr int c_exitNoUserFolder = 1;
// Exit status when the game in progress could not be saved at the end (the player is told).
constexpr int c_exitNotSaved = 3;
// Exit status when the data folder lacks what the game cannot do without (the player is told).
constexpr int c_exitDataMissing = 4;

// Runs the game until the player quits. 0 after a normal run, also when another running game
// already uses the user folder (it says so and ends); c_exitNoVideo without a window; the
// other statuses above after the dialog that says why.
int GameMain();
