// The Vis end of the text protocol with the simulation: its messages handled, input turned into messages, and the
// head-up action buttons and speech menu laid out.
#pragma once

#include "utility/message_codec.h"

struct Vis;
struct Wld;

// The store platform's handlers of the simulation's statistics messages, each given the whole
// message; the game sets them at start-up (the store platform lives above the visualisation).
// A null handler ignores its messages.
struct SimStatHandlers {
  void (*gameEnd)(const char* message) = nullptr;      // "gameend"
  void (*intStat)(const char* message) = nullptr;      // "intstat"
  void (*floatStat)(const char* message) = nullptr;    // "fltstat"
  void (*sync)(const char* message) = nullptr;         // "statsync", and Escape in the game screen
  void (*achievement)(const char* message) = nullptr;  // "achievement"
};
extern SimStatHandlers simStatHandlers;

// One message from the simulation: false when its keyword is unknown. "gameend" is acted on only
// while a game is in progress on the game screen: the world repeats it on every step after the
// win, and the first one ends the game.
bool HandleSimEvent(Vis* vis, const char* text, Wld* world);
// The simulation's messages of this frame (one packet at most).
void ReceiveSimEvents(Vis* vis, Wld* world);
// The six action buttons and the speech menu, laid out from the window size and filled from the
// player's character.
void VisLayoutActionButtons(Vis* vis, const Wld& world);
void VisLayoutSpeechMenu(Vis* vis, const Wld& world);
// Polls the input layer, feeds the GUI, picks and turns keys and clicks into messages. The select
// input (left press or Space) over an action button or a speech row sends at most one message
// per frame, however many events of the frame carry it.
void VisHandleInput(Vis* vis, Wld* world);
