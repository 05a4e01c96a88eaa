// Call stacks of the running process as text lines, one per frame, for the crash report.
#include "system/stack_walker.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <link.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Copies text into a fixed buffer, cut to fit and always terminated.
static void CopyText(char* out, size_t size, const char* text) {
  if (!out || size == 0) return;
  snprintf(out, size, "%s", text ? text : "");
}

// Appends "piece;" when it fits whole; returns the new length.
static size_t AppendPiece(char* out, size_t size, size_t len, const char* piece, const char* suffix) {
  if (!piece || !piece[0]) return len;
  const size_t need = strlen(piece) + strlen(suffix) + 1;  // ';' included
  if (len + need + 1 > size) return len;
  len += static_cast<size_t>(snprintf(out + len, size - len, "%s%s;", piece, suffix));
  return len;
}

// The name alone from a readable signature: the text before its parameter list, outside
// template brackets ("ns::Foo<int>::Bar(int) const" gives "ns::Foo<int>::Bar").
static void NameOnly(char* out, size_t size, const char* full) {
  int depth = 0;
  size_t end = strlen(full);
  for (size_t i = 0; full[i]; ++i) {
    const char c = full[i];
    if (c == '<') ++depth;
    if (c == '>' && depth > 0) --depth;
    if (c == '(' && depth == 0) {
      // "operator()" names the call operator; its parameters follow the pair.
      if (i >= 8 && !strncmp(full + i - 8, "operator", 8) && full[i + 1] == ')') {
        ++i;
        continue;
      }
      end = i;
      break;
    }
  }
  if (end >= size) end = size - 1;
  memcpy(out, full, end);
  out[end] = 0;
}

static const char* BaseName(const char* path) {
  const char* slash = strrchr(path, '/');
  return slash ? slash + 1 : path;
}

StackWalker::StackWalker(uint32_t options, const char* symbolPath)
    : m_options(options), m_symbolPath(nullptr), m_modulesLoaded(false), m_maxRepeats(STACKWALKER_MAX_REPEATS) {
  if (symbolPath) {
    m_symbolPath = strdup(symbolPath);
    m_options |= SWO_SYMBOLPATH;
  }
}

StackWalker::~StackWalker() { free(m_symbolPath); }

size_t StackWalker::SearchPathBuild(char* out, size_t size, const char* symbolPath, const char* currentDir,
                                    const char* programPath) {
  if (!out || size == 0) return 0;
  out[0] = 0;
  size_t len = 0;
  len = AppendPiece(out, size, len, symbolPath, "");
  len = AppendPiece(out, size, len, ".", "");
  len = AppendPiece(out, size, len, currentDir, "");
  if (programPath) {
    char dir[STACKWALKER_MAX_NAMELEN];
    CopyText(dir, sizeof(dir), programPath);
    for (char* p = dir + strlen(dir); p > dir; --p) {
      if (p[-1] == '\\' || p[-1] == '/' || p[-1] == ':') {
        p[-1] = 0;
        len = AppendPiece(out, size, len, dir, "");
        break;
      }
    }
  }
  len = AppendPiece(out, size, len, getenv("_NT_SYMBOL_PATH"), "");
  len = AppendPiece(out, size, len, getenv("_NT_ALTERNATE_SYMBOL_PATH"), "");
  const char* root = getenv("SYSTEMROOT");
  len = AppendPiece(out, size, len, root, "");
  len = AppendPiece(out, size, len, root, "\\system32");
  return len;
}

struct ModuleListing {
  StackWalker* walker;
  int seen;
};

static int ListModule(struct dl_phdr_info* info, size_t, void* data) {
  ModuleListing* listing = static_cast<ModuleListing*>(data);
  char path[STACKWALKER_MAX_NAMELEN] = {};
  if (info->dlpi_name && info->dlpi_name[0]) {
    CopyText(path, sizeof(path), info->dlpi_name);
  } else {
    // The program itself is listed without a name.
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    path[n > 0 ? n : 0] = 0;
  }
  uint64_t size = 0;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type == PT_LOAD && ph.p_vaddr + ph.p_memsz > size) size = ph.p_vaddr + ph.p_memsz;
  }
  if (!path[0] && size == 0) return 0;  // the kernel's helper page: no file, nothing loaded
  ++listing->seen;
  listing->walker->OnModuleLoaded(path, BaseName(path), info->dlpi_addr, static_cast<uint32_t>(size), 0, "-exported-",
                                  path, 0);
  return 0;
}

bool StackWalker::InitSymbols() {
  if (m_modulesLoaded) return true;
  char searchPath[STACKWALKER_MAX_SEARCHPATH] = {};
  if (m_options & SWO_SYMBOLPATH) {
    char cwd[STACKWALKER_MAX_NAMELEN] = {};
    char program[STACKWALKER_MAX_NAMELEN] = {};
    if (!getcwd(cwd, sizeof(cwd))) cwd[0] = 0;
    const ssize_t n = readlink("/proc/self/exe", program, sizeof(program) - 1);
    program[n > 0 ? n : 0] = 0;
    SearchPathBuild(searchPath, sizeof(searchPath), m_symbolPath, cwd, program);
  }
  const char* user = getenv("USER");
  OnSymbolsReady(searchPath, m_options, user ? user : "");
  ModuleListing listing = {this, 0};
  dl_iterate_phdr(ListModule, &listing);
  m_modulesLoaded = listing.seen > 0;
  return m_modulesLoaded;
}

bool StackWalker::Describe(StackEntry* entry, uint64_t lookupAddress) {
  Dl_info info = {};
  if (!entry || !dladdr(reinterpret_cast<void*>(static_cast<uintptr_t>(lookupAddress)), &info)) return false;
  if (info.dli_fname) {
    CopyText(entry->loadedImageName, sizeof(entry->loadedImageName), info.dli_fname);
    CopyText(entry->moduleName, sizeof(entry->moduleName), BaseName(info.dli_fname));
  }
  entry->baseOfImage = reinterpret_cast<uintptr_t>(info.dli_fbase);
  if (info.dli_sname) {
    entry->symTypeString = "-exported-";
    CopyText(entry->name, sizeof(entry->name), info.dli_sname);
    entry->offsetFromSymbol = entry->offset - reinterpret_cast<uintptr_t>(info.dli_saddr);
    int status = -1;
    char* readable = abi::__cxa_demangle(info.dli_sname, nullptr, nullptr, &status);
    if (status == 0 && readable) {
      CopyText(entry->undFullName, sizeof(entry->undFullName), readable);
      NameOnly(entry->undName, sizeof(entry->undName), readable);
    } else {
      // A C name is its own readable form.
      CopyText(entry->undName, sizeof(entry->undName), info.dli_sname);
    }
    free(readable);
  }
  return true;
}

bool StackWalker::WalkFrames(const StackFrame* frames, int count) {
  if (!m_modulesLoaded) InitSymbols();
  // About 6 kB: kept off the stack, which may be nearly used up when a crash report walks it.
  StackEntry* entry = static_cast<StackEntry*>(malloc(sizeof(StackEntry)));
  if (!entry) return true;
  int sent = 0;
  int repeats = 0;
  bool ended = false;
  for (int i = 0; i < count && frames; ++i) {
    const StackFrame& frame = frames[i];
    memset(entry, 0, sizeof(*entry));
    entry->offset = frame.pc;
    if (frame.pc == frame.ret) {
      if (repeats > m_maxRepeats) {
        OnServiceError("StackWalk64-Endless-Callstack!", 0, frame.pc);
        if (sent > 0) OnStackEntry(SEK_LAST, *entry);
        ended = true;
        break;
      }
      ++repeats;
    } else {
      repeats = 0;
    }
    if (frame.pc != 0) {
      // A return address points after its call, which may already be the next function; the
      // byte before it is still inside the caller.
      const uint64_t lookup = i > 0 ? frame.pc - 1 : frame.pc;
      if (!Describe(entry, lookup)) OnServiceError("SymGetModuleInfo64", 0, frame.pc);
    }
    OnStackEntry(sent == 0 ? SEK_FIRST : SEK_NEXT, *entry);
    ++sent;
    if (frame.ret == 0) {
      OnStackEntry(SEK_LAST, *entry);
      ended = true;
      break;
    }
  }
  if (!ended) {
    // The list ran out before the bottom of the stack: the walk could not go further.
    OnServiceError("StackWalk64", 0, count > 0 && frames ? frames[count - 1].pc : 0);
    if (sent > 0) OnStackEntry(SEK_LAST, *entry);
  }
  free(entry);
  return true;
}

bool StackWalker::WalkStack() {
  // One slot more than is walked: when all are filled the stack went deeper than the capture.
  void** addresses = static_cast<void**>(malloc(sizeof(void*) * (STACKWALKER_MAX_FRAMES + 1)));
  StackFrame* frames = static_cast<StackFrame*>(malloc(sizeof(StackFrame) * STACKWALKER_MAX_FRAMES));
  if (!addresses || !frames) {
    free(addresses);
    free(frames);
    return false;
  }
  const int got = backtrace(addresses, STACKWALKER_MAX_FRAMES + 1);
  const int count = got > STACKWALKER_MAX_FRAMES ? STACKWALKER_MAX_FRAMES : got;
  for (int i = 0; i < count; ++i) {
    frames[i].pc = reinterpret_cast<uintptr_t>(addresses[i]);
    frames[i].ret = i + 1 < count ? reinterpret_cast<uintptr_t>(addresses[i + 1]) : 0;
  }
  // A stack deeper than the capture: the last frame returns somewhere not walked, so the walk
  // ends with the error line, as one the unwinder gave up on.
  if (got > STACKWALKER_MAX_FRAMES) frames[count - 1].ret = reinterpret_cast<uintptr_t>(addresses[count]);
  const bool ok = count > 0 && WalkFrames(frames, count);
  free(addresses);
  free(frames);
  return ok;
}

void StackWalker::OnSymbolsReady(const char*, uint32_t, const char*) {
  // Nothing: the crash report holds only the stack and the error lines.
}

void StackWalker::OnModuleLoaded(const char*, const char*, uint64_t, uint32_t, uint32_t, const char*, const char*,
                                 uint64_t) {
  // Nothing: module lines would go ahead of the stack in the crash report.
}

void StackWalker::OnStackEntry(int kind, const StackEntry& entry) {
  if (kind == SEK_LAST || entry.offset == 0) return;
  const char* function = entry.undFullName[0] ? entry.undFullName
                         : entry.undName[0]   ? entry.undName
                         : entry.name[0]      ? entry.name
                                              : "(function-name not available)";
  char line[STACKWALKER_MAX_NAMELEN];
  int n;
  if (entry.lineFileName[0]) {
    n = snprintf(line, sizeof(line), "%s (%d): %s\n", entry.lineFileName, static_cast<int>(entry.lineNumber), function);
  } else {
    n = snprintf(line, sizeof(line), "%p (%s): %s: %s\n", reinterpret_cast<void*>(static_cast<uintptr_t>(entry.offset)),
                 entry.moduleName[0] ? entry.moduleName : "(module-name not available)", "(filename not available)",
                 function);
  }
  // A cut line still ends its line, so the next one does not run into it.
  if (n >= static_cast<int>(sizeof(line))) line[sizeof(line) - 2] = '\n';
  OnText(line);
}

void StackWalker::OnServiceError(const char* operation, uint32_t code, uint64_t address) {
  char line[STACKWALKER_MAX_NAMELEN];
  snprintf(line, sizeof(line), "ERROR: %s, GetLastError: %d (Address: %p)\n", operation ? operation : "",
           static_cast<int>(code), reinterpret_cast<void*>(static_cast<uintptr_t>(address)));
  OnText(line);
}

void StackWalker::OnText(const char* text) {
  if (text) fputs(text, stderr);
}
