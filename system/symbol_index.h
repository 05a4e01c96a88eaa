// Names, source files and lines of the program's own code, read once through libdw so that a crash
// report can look them up later without allocating or taking a lock.
#pragma once

#include <cstddef>
#include <cstdint>

// What is known about one code address. Texts point into the index and live as long as the process.
struct SymbolHit {
  const char* function;    // readable full name, "" when no function covers the address
  uint64_t functionStart;  // address of the function's first instruction, 0 when unknown
  const char* file;        // source file, relative to the source tree when it lies in it; "" unknown
  uint32_t line;           // source line, 0 unknown
};

// Sizes of the loaded index, for the measurements.
struct SymbolIndexSize {
  size_t functions;
  size_t lines;  // line-table rows kept
  size_t files;
  size_t bytes;  // heap held by the index
};

// Reads the function symbols and the line table of the module holding the program's code. Done
// once; later calls (from any thread) return the first answer. False, with a log line, when the
// module's symbols cannot be read; lookups then find nothing.
bool SymbolIndexLoad();
// True once a load succeeded. Safe in a signal handler.
bool SymbolIndexLoaded();
// Fills the hit for a code address; false when the address lies outside every indexed function
// (the hit is then cleared). Allocates nothing and takes no lock: safe in a signal handler.
bool SymbolIndexLookup(uint64_t address, SymbolHit* out);
// The sizes of the index, zeros before a load.
SymbolIndexSize SymbolIndexSizeGet();
