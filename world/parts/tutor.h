// The tutorial: a figure that speaks one line per stage and moves on when the player has done what it asked.
#pragma once

#include <cstdint>

#include "system/file.h"

class SaveStream;

struct Wld;

// Stages 0..11 have a line; entering stage NUMTUTORSTAGES ends the tutorial.
#define NUMTUTORSTAGES 12

// Seconds the figure talks after a new line before it goes back to idling.
constexpr double c_tutorTalkSeconds = 5.0;

// The lines by stage; the entry after the last stage is null (no line: the tutorial is over).
extern const char* const tutorTexts[NUMTUTORSTAGES + 1];

struct Tutor {
  Wld* m_wld = nullptr;
  int32_t m_stage = -1;              // 0..11 while the tutorial runs, -1 before the landing and after the end
  double m_timer = 0.0;              // seconds into the figure's current animation
  const char* m_animation = "idle";  // "idle" or "talk"
  uint8_t m_fastForward = 0;         // 1 while the player holds the fast-forward key
  // The player's character's tile at the first update in stage 0, -1 until then. Kept per world
  // so a second game compares with its own landing tile.
  int32_t m_startTile = -1;

  explicit Tutor(Wld* wld);

  // Once per frame after the simulation steps, with the frame's simulated seconds.
  void Update(double dt);
  // Enters a stage: a stage with a line starts the talk animation and posts the "ting"; the stage
  // after the last ends the tutorial. A stage outside -1..12 is refused with a log line.
  void SetStage(int stage);
  // The player's character has landed: stage 0, quietly (no talk, no sound).
  void Start();
  // The line of the current stage, or null when no tutorial runs.
  const char* Text() const;
  const char* Animation() const { return m_animation; }
  // Writes or reads the stage (4 bytes); returns the bytes moved. A stored stage outside the
  // tutorial's range is read as "no tutorial".
  size_t Serialize(SaveStream& s);
};
