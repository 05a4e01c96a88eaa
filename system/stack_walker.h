// Call stacks of the running process as text lines, one per frame, for the crash report.
#pragma once

#include <cstddef>
#include <cstdint>

// Longest name, file or module text of a stack entry, NUL included.
#define STACKWALKER_MAX_NAMELEN 1024
// Frames one walk of the calling thread captures at most.
#define STACKWALKER_MAX_FRAMES 4096
// Frames in a row that may return to their own address before the walk is abandoned.
#define STACKWALKER_MAX_REPEATS 1000
// Room for the symbol search path.
#define STACKWALKER_MAX_SEARCHPATH 4096

// Option bits of the walker. Other bits are accepted and do nothing.
enum StackWalkerOption : uint32_t {
  SWO_FILEVERSION = 0x08,   // read each module's file version (no version records here: always 0)
  SWO_SYMBOLPATH = 0x10,    // build the symbol search path; set by itself when a path is given
  SWO_SYMBOLSERVER = 0x20,  // a public symbol server: there is none to ask here, accepted and ignored
};

// What an entry is within the walk.
enum StackEntryKind {
  SEK_FIRST = 0,  // the innermost frame
  SEK_NEXT = 1,   // every frame after it
  SEK_LAST = 2,   // the end of the walk: repeats the last frame and says nothing new
};

// One frame as reported to OnStackEntry. Texts are empty when unknown.
struct StackEntry {
  uint64_t offset;  // program counter; 0 unknown
  char name[STACKWALKER_MAX_NAMELEN];
  char undName[STACKWALKER_MAX_NAMELEN];      // the name without parameters or return type
  char undFullName[STACKWALKER_MAX_NAMELEN];  // the full readable signature
  uint64_t offsetFromSymbol;
  uint32_t offsetFromLine;
  uint32_t lineNumber;
  char lineFileName[STACKWALKER_MAX_NAMELEN];
  // "SYM" for a function of the program's own symbol table (with file and line), "-exported-"
  // for a symbol from a module's dynamic table, else null.
  const char* symTypeString;
  char moduleName[STACKWALKER_MAX_NAMELEN];
  uint64_t baseOfImage;
  char loadedImageName[STACKWALKER_MAX_NAMELEN];
};

// One captured frame: where it is and where it returns to (0 at the bottom of the stack).
struct StackFrame {
  uint64_t pc;
  uint64_t ret;
};

// Walks a stack with the compiler's unwinder and names each frame: the program's own functions
// with their source file and line from the symbol index (system/symbol_index.h), functions that
// other modules export through dladdr. Subclasses collect the lines by overriding OnText.
//
// WalkContext is the crash path: it runs inside a signal handler, so it allocates nothing, takes
// no lock and formats every line into a fixed buffer; it names only what the symbol index (loaded
// beforehand) and the loader's lock-free lookup know. A walker made without a symbol path
// allocates nothing either, so it may be built inside the handler.
class StackWalker {
 public:
  // The symbol path is copied; giving one also sets SWO_SYMBOLPATH. Nothing is loaded yet.
  explicit StackWalker(uint32_t options = 0, const char* symbolPath = nullptr);
  virtual ~StackWalker();
  StackWalker(const StackWalker&) = delete;
  StackWalker& operator=(const StackWalker&) = delete;

  // Reports every frame of the calling thread, innermost first. False only when no stack
  // could be captured at all.
  bool WalkStack();
  // Reports the stack a signal interrupted, from the interrupted instruction outwards. Called
  // inside the handler with its third argument (a ucontext_t). Safe in a signal handler.
  bool WalkContext(const void* signalContext);
  // Reports a captured frame list as a walk does, with the endless-stack rule. The walk ends at
  // the first frame returning to 0; a list that runs out before one is reported as a failed walk.
  bool WalkFrames(const StackFrame* frames, int count);
  // Loads the symbol index and announces the search path and the modules, once per walker; the
  // first walk does it by itself. Inside a signal handler the modules are not listed.
  bool InitSymbols();

  // Fills the entry's names, file, line, offsets and module for its offset, looking up
  // lookupAddress (the offset, or the byte before a return address). False when the address
  // lies in no loaded module (the entry then keeps only its offset).
  static bool Describe(StackEntry* entry, uint64_t lookupAddress);
  // Describe without dladdr and the demangler: exported names of other modules stay unknown.
  // Safe in a signal handler.
  static bool DescribeSafe(StackEntry* entry, uint64_t lookupAddress);
  // The search path: the given path, ".", the current directory and the program's directory
  // (its path cut at the last '\\', '/' or ':'), then the values of _NT_SYMBOL_PATH,
  // _NT_ALTERNATE_SYMBOL_PATH and SYSTEMROOT (also with "\\system32") when set; each piece
  // followed by ";". Pieces that do not fit are left out. Returns the length.
  static size_t SearchPathBuild(char* out, size_t size, const char* symbolPath, const char* currentDir,
                                const char* programPath);

  // Called once the symbols are ready, with the search path, the options and the user name.
  virtual void OnSymbolsReady(const char* searchPath, uint32_t symOptions, const char* userName);
  // Called for each module of the process.
  virtual void OnModuleLoaded(const char* imagePath, const char* moduleName, uint64_t base, uint32_t size,
                              uint32_t result, const char* symType, const char* symbolFile, uint64_t fileVersion);
  // Emits "%s (%d): %s\n" with a file, else "%p (%s): %s: %s\n"; ignores SEK_LAST and offset 0.
  virtual void OnStackEntry(int kind, const StackEntry& entry);
  // Emits "ERROR: %s, GetLastError: %d (Address: %p)\n".
  virtual void OnServiceError(const char* operation, uint32_t code, uint64_t address);
  // Receives every line the walker emits; the default writes it to standard error with write(2).
  virtual void OnText(const char* text);

 protected:
  uint32_t m_options;
  char* m_symbolPath;  // owned copy, or null
  bool m_modulesLoaded;
  int32_t m_maxRepeats;

 private:
  friend struct StackUnwind;
  // One frame of a walk: reports it and says whether the walk goes on. exact: the program
  // counter is the instruction itself rather than a return address.
  bool WalkStep(uint64_t pc, uint64_t ret, bool exact);
  // The walk could go no further than the last frame reported: the error line and the end.
  void WalkStopped(uint64_t lastPc);
  // startIsReturn: the first frame's program counter is a return address although the unwinder
  // takes it for an interrupted instruction (see WalkContext).
  bool Unwind(bool fromSignal, uint64_t startPc, bool startIsReturn);

  bool m_signalSafe;  // inside a signal handler: no allocation, no lock
  int m_sent;         // entries reported in this walk
  int m_repeats;      // frames in a row returning to themselves
  StackEntry m_entry;
};
