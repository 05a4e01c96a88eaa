// The millisecond clock: performance-counter ticks since TimerInit, scaled to milliseconds.
#include "system/timer.h"

#include <SDL.h>

#include <cstdint>

#include "utility/log.h"

namespace {
uint64_t counterAtInit = 0;
double msPerTick = 0.0;  // stays 0 until TimerInit, so the clock reads 0 before it
}  // namespace

bool TimerInit() {
  if (SDL_InitSubSystem(SDL_INIT_TIMER) != 0) {
    LOGE("SDL timer start failed with %s", SDL_GetError());
    return false;
  }
  counterAtInit = SDL_GetPerformanceCounter();
  msPerTick = 1000.0 / static_cast<double>(static_cast<uint64_t>(SDL_GetPerformanceFrequency()));
  return true;
}

double TimerElapsedMs() {
  // Unsigned difference: correct even if the counter wrapped since TimerInit.
  return static_cast<double>(SDL_GetPerformanceCounter() - counterAtInit) * msPerTick;
}

void TimerExit() { SDL_QuitSubSystem(SDL_INIT_TIMER); }
