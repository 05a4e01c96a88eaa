// Call stacks of the running process as text lines, one per frame, for the crash report.
#include "system/stack_walker.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>
#include <unwind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "system/symbol_index.h"

// Copies text into a fixed buffer, cut to fit and always terminated. Safe in a signal handler.
static void CopyText(char* out, size_t size, const char* text) {
  if (!out || size == 0) return;
  size_t n = text ? strlen(text) : 0;
  if (n >= size) n = size - 1;
  if (n > 0) memcpy(out, text, n);
  out[n] = 0;
}

// Appends "piece" + suffix + ";" when it fits whole; returns the new length.
static size_t AppendPiece(char* out, size_t size, size_t len, const char* piece, const char* suffix) {
  if (!piece || !piece[0]) return len;
  const size_t a = strlen(piece), b = strlen(suffix);
  if (len + a + b + 2 > size) return len;
  memcpy(out + len, piece, a);
  memcpy(out + len + a, suffix, b);
  len += a + b;
  out[len++] = ';';
  out[len] = 0;
  return len;
}

namespace {

// A line built in a fixed buffer without printf, which may allocate or lock inside a signal
// handler. Text that does not fit is cut; a cut line still ends with its line feed.
struct LineText {
  char* buf;
  size_t size;
  size_t len;
  bool cut;
  LineText(char* b, size_t n) : buf(b), size(n), len(0), cut(false) { buf[0] = 0; }
  void Add(const char* text) {
    for (; text && *text; ++text) {
      if (len + 1 >= size) {
        cut = true;
        return;
      }
      buf[len++] = *text;
    }
    buf[len] = 0;
  }
  // Like printf's %p: "(nil)" for 0, else 0x and lower-case hex digits.
  void Pointer(uint64_t value) {
    if (value == 0) {
      Add("(nil)");
      return;
    }
    char digits[19];
    int n = 0;
    for (; value; value >>= 4) digits[n++] = "0123456789abcdef"[value & 15];
    char text[20] = {'0', 'x'};
    for (int i = 0; i < n; ++i) text[2 + i] = digits[n - 1 - i];
    text[2 + n] = 0;
    Add(text);
  }
  void Decimal(int64_t value) {
    char text[24];
    int n = 0;
    uint64_t v = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
      text[n++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v);
    char out[24];
    int o = 0;
    if (value < 0) out[o++] = '-';
    while (n > 0) out[o++] = text[--n];
    out[o] = 0;
    Add(out);
  }
  void EndLine() {
    if (len + 1 < size) {
      buf[len++] = '\n';
      buf[len] = 0;
    } else {
      buf[size - 2] = '\n';
    }
  }
};

}  // namespace

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
    : m_options(options),
      m_symbolPath(nullptr),
      m_modulesLoaded(false),
      m_maxRepeats(STACKWALKER_MAX_REPEATS),
      m_signalSafe(false),
      m_sent(0),
      m_repeats(0) {
  memset(&m_entry, 0, sizeof(m_entry));
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
  // The index is read once per process, never inside a signal handler: there the walker names
  // what an earlier load found.
  if (!m_signalSafe) SymbolIndexLoad();
  char searchPath[STACKWALKER_MAX_SEARCHPATH];
  searchPath[0] = 0;
  if (m_options & SWO_SYMBOLPATH) {
    char cwd[STACKWALKER_MAX_NAMELEN];
    char program[STACKWALKER_MAX_NAMELEN];
    if (!getcwd(cwd, sizeof(cwd))) cwd[0] = 0;
    const ssize_t n = readlink("/proc/self/exe", program, sizeof(program) - 1);
    program[n > 0 ? n : 0] = 0;
    SearchPathBuild(searchPath, sizeof(searchPath), m_symbolPath, cwd, program);
  }
  const char* user = getenv("USER");
  OnSymbolsReady(searchPath, m_options, user ? user : "");
  if (m_signalSafe) {
    // Listing the modules takes the loader's lock, which the interrupted code may hold.
    m_modulesLoaded = true;
    return true;
  }
  ModuleListing listing = {this, 0};
  dl_iterate_phdr(ListModule, &listing);
  m_modulesLoaded = listing.seen > 0;
  return m_modulesLoaded;
}

// An address from a module's dynamic section. The loader relocates most of them in place; those of
// a read-only section (the kernel's helper module) stay relative to the module's base.
static uintptr_t DynamicAddress(const struct link_map* map, ElfW(Addr) value) {
  return value < map->l_addr ? map->l_addr + value : value;
}

// The number of symbols in a module's dynamic table, from its GNU hash table: one past the
// highest symbol any hash chain reaches.
static uint32_t GnuHashSymbolCount(const uint32_t* table) {
  const uint32_t buckets = table[0], first = table[1], bloomWords = table[2];
  const uint32_t* bucket = table + 4 + bloomWords * (sizeof(ElfW(Addr)) / 4);
  const uint32_t* chain = bucket + buckets;
  uint32_t last = 0;
  for (uint32_t i = 0; i < buckets; ++i)
    if (bucket[i] > last) last = bucket[i];
  if (last < first) return first;
  while ((chain[last - first] & 1) == 0) ++last;
  return last + 1;
}

// The function a module exports that covers the address, from the dynamic symbol table the module
// keeps in memory; null when none does. Reads only, so it is safe in a signal handler.
static const char* ExportedName(const struct link_map* map, uint64_t address, uint64_t* start) {
  if (!map || !map->l_ld) return nullptr;
  const ElfW(Sym)* symbols = nullptr;
  const char* strings = nullptr;
  uint32_t count = 0;
  for (const ElfW(Dyn)* d = map->l_ld; d->d_tag != DT_NULL; ++d) {
    if (d->d_tag == DT_SYMTAB) symbols = reinterpret_cast<const ElfW(Sym)*>(DynamicAddress(map, d->d_un.d_ptr));
    if (d->d_tag == DT_STRTAB) strings = reinterpret_cast<const char*>(DynamicAddress(map, d->d_un.d_ptr));
    if (d->d_tag == DT_HASH) count = reinterpret_cast<const uint32_t*>(DynamicAddress(map, d->d_un.d_ptr))[1];
    if (d->d_tag == DT_GNU_HASH && count == 0)
      count = GnuHashSymbolCount(reinterpret_cast<const uint32_t*>(DynamicAddress(map, d->d_un.d_ptr)));
  }
  if (!symbols || !strings) return nullptr;
  for (uint32_t i = 1; i < count; ++i) {
    const ElfW(Sym)& sym = symbols[i];
    const int type = ELF64_ST_TYPE(sym.st_info);
    if ((type != STT_FUNC && type != STT_GNU_IFUNC) || sym.st_shndx == SHN_UNDEF || sym.st_name == 0) continue;
    const uint64_t from = map->l_addr + sym.st_value;
    if (address >= from && address < from + (sym.st_size > 0 ? sym.st_size : 1)) {
      *start = from;
      return strings + sym.st_name;
    }
  }
  return nullptr;
}

bool StackWalker::DescribeSafe(StackEntry* entry, uint64_t lookupAddress) {
  if (!entry) return false;
  struct dl_find_object object;
  const bool inModule = _dl_find_object(reinterpret_cast<void*>(static_cast<uintptr_t>(lookupAddress)), &object) == 0;
  if (inModule && object.dlfo_link_map) {
    const char* path = object.dlfo_link_map->l_name;
    if (path && path[0]) {
      CopyText(entry->loadedImageName, sizeof(entry->loadedImageName), path);
    } else {
      // The program itself is listed without a name.
      const ssize_t n = readlink("/proc/self/exe", entry->loadedImageName, sizeof(entry->loadedImageName) - 1);
      entry->loadedImageName[n > 0 ? n : 0] = 0;
    }
    CopyText(entry->moduleName, sizeof(entry->moduleName), BaseName(entry->loadedImageName));
    entry->baseOfImage = object.dlfo_link_map->l_addr;
  }
  SymbolHit hit;
  if (SymbolIndexLookup(lookupAddress, &hit)) {
    entry->symTypeString = "SYM";
    CopyText(entry->name, sizeof(entry->name), hit.function);
    CopyText(entry->undFullName, sizeof(entry->undFullName), hit.function);
    NameOnly(entry->undName, sizeof(entry->undName), hit.function);
    entry->offsetFromSymbol = entry->offset - hit.functionStart;
    CopyText(entry->lineFileName, sizeof(entry->lineFileName), hit.file);
    entry->lineNumber = hit.line;
    return true;
  }
  uint64_t start = 0;
  const char* exported = inModule ? ExportedName(object.dlfo_link_map, lookupAddress, &start) : nullptr;
  if (exported) {
    // Left as the module gives it: making a C++ name readable needs the heap.
    entry->symTypeString = "-exported-";
    CopyText(entry->name, sizeof(entry->name), exported);
    entry->offsetFromSymbol = entry->offset - start;
  }
  return inModule;
}

bool StackWalker::Describe(StackEntry* entry, uint64_t lookupAddress) {
  if (!entry) return false;
  const bool found = DescribeSafe(entry, lookupAddress);
  if (entry->name[0] && entry->symTypeString && !strcmp(entry->symTypeString, "SYM")) return true;
  const char* symbol = entry->name;
  Dl_info info = {};
  if (!symbol[0]) {
    // Symbols the dynamic table does not list (in modules loaded without one): the loader's lookup.
    if (!dladdr(reinterpret_cast<void*>(static_cast<uintptr_t>(lookupAddress)), &info)) return found;
    if (info.dli_fname && !entry->moduleName[0]) {
      CopyText(entry->loadedImageName, sizeof(entry->loadedImageName), info.dli_fname);
      CopyText(entry->moduleName, sizeof(entry->moduleName), BaseName(info.dli_fname));
    }
    entry->baseOfImage = reinterpret_cast<uintptr_t>(info.dli_fbase);
    if (!info.dli_sname) return true;
    entry->symTypeString = "-exported-";
    CopyText(entry->name, sizeof(entry->name), info.dli_sname);
    entry->offsetFromSymbol = entry->offset - reinterpret_cast<uintptr_t>(info.dli_saddr);
  }
  int status = -1;
  char* readable = abi::__cxa_demangle(entry->name, nullptr, nullptr, &status);
  if (status == 0 && readable) {
    CopyText(entry->undFullName, sizeof(entry->undFullName), readable);
    NameOnly(entry->undName, sizeof(entry->undName), readable);
  } else {
    // A C name is its own readable form.
    CopyText(entry->undName, sizeof(entry->undName), entry->name);
  }
  free(readable);
  return true;
}

bool StackWalker::WalkStep(uint64_t pc, uint64_t ret, bool exact) {
  memset(&m_entry, 0, sizeof(m_entry));
  m_entry.offset = pc;
  if (pc == ret) {
    if (m_repeats > m_maxRepeats) {
      OnServiceError("StackWalk64-Endless-Callstack!", 0, pc);
      if (m_sent > 0) OnStackEntry(SEK_LAST, m_entry);
      return false;
    }
    ++m_repeats;
  } else {
    m_repeats = 0;
  }
  if (pc != 0) {
    // A return address points after its call, which may already be the next function; the
    // byte before it is still inside the caller.
    const uint64_t lookup = exact ? pc : pc - 1;
    const bool known = m_signalSafe ? DescribeSafe(&m_entry, lookup) : Describe(&m_entry, lookup);
    if (!known) OnServiceError("SymGetModuleInfo64", 0, pc);
  }
  OnStackEntry(m_sent == 0 ? SEK_FIRST : SEK_NEXT, m_entry);
  ++m_sent;
  if (ret == 0) {
    OnStackEntry(SEK_LAST, m_entry);
    return false;
  }
  return true;
}

void StackWalker::WalkStopped(uint64_t lastPc) {
  OnServiceError("StackWalk64", 0, lastPc);
  if (m_sent > 0) OnStackEntry(SEK_LAST, m_entry);
}

bool StackWalker::WalkFrames(const StackFrame* frames, int count) {
  if (!m_modulesLoaded) InitSymbols();
  m_sent = 0;
  m_repeats = 0;
  for (int i = 0; i < count && frames; ++i) {
    if (!WalkStep(frames[i].pc, frames[i].ret, i == 0)) return true;
  }
  // The list ran out before the bottom of the stack: the walk could not go further.
  WalkStopped(count > 0 && frames ? frames[count - 1].pc : 0);
  return true;
}

// The state of one walk through the unwinder. Each frame is reported when the next one is
// known, since a frame's return address is the next frame's program counter.
struct StackUnwind {
  StackWalker* walker;
  bool fromSignal;
  uint64_t startPc;  // the interrupted instruction, when walking from a signal
  bool startIsReturn;
  int skip;  // the unwinder's own frame, when walking the calling thread
  bool started;
  bool held;
  uint64_t heldPc;
  bool heldExact;
  int frames;
  bool ended;     // the walker ended the walk (bottom or endless stack)
  bool overflow;  // deeper than the walk follows

  static _Unwind_Reason_Code Frame(struct _Unwind_Context* context, void* data) {
    StackUnwind* u = static_cast<StackUnwind*>(data);
    int beforeInstruction = 0;
    const uint64_t pc = _Unwind_GetIPInfo(context, &beforeInstruction);
    if (!u->started) {
      if (u->fromSignal) {
        // The handler's own frames and the signal trampoline come first.
        if (pc != u->startPc && !beforeInstruction) return _URC_NO_REASON;
      } else if (u->skip > 0) {
        --u->skip;
        return _URC_NO_REASON;
      }
      u->started = true;
    }
    if (u->held && !u->walker->WalkStep(u->heldPc, pc, u->heldExact)) {
      u->ended = true;
      return _URC_NORMAL_STOP;
    }
    if (++u->frames > STACKWALKER_MAX_FRAMES) {
      u->overflow = true;
      return _URC_NORMAL_STOP;
    }
    u->held = true;
    u->heldPc = pc;
    // Only the interrupted frame holds the faulting instruction itself.
    u->heldExact = beforeInstruction != 0 && !(u->startIsReturn && u->frames == 1);
    return _URC_NO_REASON;
  }
};

bool StackWalker::Unwind(bool fromSignal, uint64_t startPc, bool startIsReturn) {
  if (!m_modulesLoaded) InitSymbols();
  m_repeats = 0;
  StackUnwind u = {this, fromSignal, startPc, startIsReturn, 1, false, false, 0, false, 0, false, false};
  const _Unwind_Reason_Code code = _Unwind_Backtrace(StackUnwind::Frame, &u);
  if (u.ended) return true;
  if (!u.held) {
    if (!fromSignal) return false;
    WalkStopped(startPc);
    return true;
  }
  if (u.overflow || code != _URC_END_OF_STACK) {
    WalkStopped(u.heldPc);
    return true;
  }
  WalkStep(u.heldPc, 0, u.heldExact);
  return true;
}

bool StackWalker::WalkStack() {
  m_sent = 0;
  return Unwind(false, 0, false);
}

// True when the word at the address can be read: its page is mapped. Safe in a signal handler.
static bool WordReadable(uint64_t address) {
  if (address == 0 || (address & 7) != 0) return false;
  const long page = sysconf(_SC_PAGESIZE);
  unsigned char resident = 0;
  void* start = reinterpret_cast<void*>(static_cast<uintptr_t>(address & ~static_cast<uint64_t>(page - 1)));
  return mincore(start, 1, &resident) == 0;
}

static bool InModule(uint64_t address) {
  struct dl_find_object object;
  return _dl_find_object(reinterpret_cast<void*>(static_cast<uintptr_t>(address)), &object) == 0;
}

bool StackWalker::WalkContext(const void* signalContext) {
  m_signalSafe = true;
  m_sent = 0;
  uint64_t pc = 0;
#if defined(__x86_64__)
  ucontext_t* uc = static_cast<ucontext_t*>(const_cast<void*>(signalContext));
  if (uc) {
    greg_t* regs = uc->uc_mcontext.gregs;
    pc = static_cast<uint64_t>(regs[REG_RIP]);
    const uint64_t sp = static_cast<uint64_t>(regs[REG_RSP]);
    if (!InModule(pc) && WordReadable(sp) && InModule(*reinterpret_cast<const uint64_t*>(sp))) {
      // A call to an address in no module (through a null function pointer, say) leaves the
      // unwinder nothing to start from. The return address the call pushed names the caller: the
      // walk goes on from there as if the call had returned, and the registers are put back
      // afterwards, since the handler may return to the faulting instruction.
      if (!m_modulesLoaded) InitSymbols();
      memset(&m_entry, 0, sizeof(m_entry));
      m_entry.offset = pc;
      OnStackEntry(SEK_FIRST, m_entry);
      if (pc != 0) ++m_sent;
      const greg_t savedPc = regs[REG_RIP], savedSp = regs[REG_RSP];
      regs[REG_RIP] = static_cast<greg_t>(*reinterpret_cast<const uint64_t*>(sp));
      regs[REG_RSP] = static_cast<greg_t>(sp + 8);
      const bool ok = Unwind(true, static_cast<uint64_t>(regs[REG_RIP]), true);
      regs[REG_RIP] = savedPc;
      regs[REG_RSP] = savedSp;
      return ok;
    }
  }
#endif
  return Unwind(true, pc, false);
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
  char buffer[STACKWALKER_MAX_NAMELEN];
  LineText line(buffer, sizeof(buffer));
  if (entry.lineFileName[0]) {
    line.Add(entry.lineFileName);
    line.Add(" (");
    line.Decimal(static_cast<int>(entry.lineNumber));
    line.Add("): ");
    line.Add(function);
  } else {
    line.Pointer(entry.offset);
    line.Add(" (");
    line.Add(entry.moduleName[0] ? entry.moduleName : "(module-name not available)");
    line.Add("): (filename not available): ");
    line.Add(function);
  }
  line.EndLine();
  OnText(buffer);
}

void StackWalker::OnServiceError(const char* operation, uint32_t code, uint64_t address) {
  char buffer[STACKWALKER_MAX_NAMELEN];
  LineText line(buffer, sizeof(buffer));
  line.Add("ERROR: ");
  line.Add(operation);
  line.Add(", GetLastError: ");
  line.Decimal(static_cast<int>(code));
  line.Add(" (Address: ");
  line.Pointer(address);
  line.Add(")");
  line.EndLine();
  OnText(buffer);
}

void StackWalker::OnText(const char* text) {
  if (!text) return;
  size_t left = strlen(text);
  while (left > 0) {
    const ssize_t n = write(STDERR_FILENO, text, left);
    if (n <= 0) return;
    text += n;
    left -= static_cast<size_t>(n);
  }
}
