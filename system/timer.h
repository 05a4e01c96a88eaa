// The millisecond clock over SDL's performance counter.
#pragma once

// Starts SDL's timer subsystem and remembers the counter as time zero. False, with a log
// line, when SDL cannot start it.
bool TimerInit();
// Milliseconds since TimerInit; 0 before it. Read on the main thread.
double TimerElapsedMs();
// Stops SDL's timer subsystem.
void TimerExit();
