// The one application window and its OpenGL context, made through SDL2.
#pragma once

// SDL itself, with no subsystem yet: started before every other service and stopped after
// them all, so that nothing SDL started along the way outlives the game. False, with a log
// line, when SDL cannot start.
bool SdlStart();
void SdlStop();

// Logs SDL's video drivers, keeps the arguments and starts SDL's video with the first driver
// of the list. False, with a log line, when there is no driver or it cannot start (no display);
// a start that fails is tried again a few times, a short while apart, as a busy X server may
// turn a connection away for a moment.
// Turns the screen saver off while the game runs.
bool VideoInit(int driverIndex, int displayIndex, int glMajor, int glMinor, const char* title);
// Creates the window (centred, resizable, high-DPI aware) with a core-profile context of the
// version given to VideoInit and makes it current; on a second call adjusts the window's size
// and full-screen state instead. False, with a log line, when video has not started or the
// window or the context cannot be made; nothing half-made is left behind.
bool WindowCreate(int width, int height, bool fullscreen);
// Sets the swap interval (1 waits for the vertical blank, 0 does not) when it differs.
void SwapIntervalSet(int interval);
// Switches between desktop full screen and a window. On an X server without a window manager
// (Xvfb), where desktop full screen does nothing, the window is moved and sized to cover the
// screen instead, and given back its place on the next toggle.
void FullscreenToggle();
// The window is in full screen (or covers the screen as above).
bool WindowFullscreen();
// Shows the frame drawn into the back buffer.
void WindowSwap();
// The window's size in window coordinates; 0 x 0 without a window.
void WindowSize(int* width, int* height);
// Drawable pixels per window unit (above 1 on high-DPI displays); 0 without a window.
float DrawableScale();
// The size of the GL drawable in pixels; 0 x 0 without a window.
void DrawableSize(int* width, int* height);
// Deletes the context and the window, gives the screen saver back and stops SDL's video.
void VideoExit();

// The window and the GL context exist (WindowCreate succeeded and VideoExit has not run).
bool WindowExists();
