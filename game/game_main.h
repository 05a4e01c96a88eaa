// The program: start-up of every service in order, the frame loop of title screens and game frames, and shut-down.
#pragma once

// Exit status when the game cannot start at all (no display, no OpenGL 3.3).
constexpr int c_exitNoVideo = 1;

// Runs the game until the player quits. 0 after a normal run, also when another running game
// already uses the user folder (it says so and ends); c_exitNoVideo without a window.
int GameMain();
