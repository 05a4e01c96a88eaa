// 3D simplex noise that shapes the planet: deterministic, so a variant number always gives the same world.
#pragma once

// Builds the process-wide permutation tables; a second call rebuilds them.
void SimplexNoiseInit();
// Forgets the tables. Sampling before the next SimplexNoiseInit reports an
// assertion (once) and yields 0.
void SimplexNoiseExit();
// One octave at the point, roughly within [-1, 1]. Coordinates must be finite and
// below 1e8 in magnitude; others report an assertion (once per Init) and yield 0.
float SimplexNoise(float x, float y, float z);
// The four-octave sum every generator uses, roughly within [-1, 1].
float SimplexNoiseOctaves(float x, float y, float z);
