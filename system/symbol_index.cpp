// Names, source files and lines of the program's own code, read once through libdw.
#include "system/symbol_index.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <elfutils/libdw.h>
#include <elfutils/libdwfl.h>
#include <gelf.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "utility/log.h"

namespace {

struct FunctionRow {
  uint64_t start;
  uint64_t size;
  uint32_t name;  // offset into the text pool
};

// One row of the line table. A row covers the addresses up to the next row; an end row marks
// the end of a sequence, where no line applies.
struct LineRow {
  uint64_t address;
  uint32_t line;
  uint32_t file;  // index into fileNames, c_endRow for an end row
};

constexpr uint32_t c_endRow = 0xffffffffu;

struct Index {
  std::vector<FunctionRow> functions;
  std::vector<LineRow> lines;
  std::vector<uint32_t> fileNames;  // offsets into the text pool
  std::vector<char> text;
};

// Published once, read by lookups without a lock; never freed, since a crash may read it at any time.
std::atomic<const Index*> published{nullptr};
std::once_flag loadOnce;
bool loadResult = false;

// The source tree's root, taken from this file's own path, so file names in reports stay short.
size_t SourceRootLength() {
  static const char* self = __FILE__;
  static const char* tail = "system/symbol_index.cpp";
  const size_t n = strlen(self), t = strlen(tail);
  if (n <= t || self[0] != '/' || strcmp(self + n - t, tail) != 0) return 0;
  return n - t;
}

uint32_t AddText(Index* index, const char* text) {
  const uint32_t at = static_cast<uint32_t>(index->text.size());
  index->text.insert(index->text.end(), text, text + strlen(text) + 1);
  return at;
}

struct ModuleFind {
  uintptr_t address;
  uintptr_t bias;
  std::string path;
  bool found;
};

// The module that holds the given code address, with its load bias and file path.
int FindModule(struct dl_phdr_info* info, size_t, void* data) {
  ModuleFind* find = static_cast<ModuleFind*>(data);
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    const uintptr_t start = info->dlpi_addr + ph.p_vaddr;
    if (ph.p_type == PT_LOAD && find->address >= start && find->address < start + ph.p_memsz) {
      find->bias = info->dlpi_addr;
      find->path = info->dlpi_name ? info->dlpi_name : "";
      find->found = true;
      return 1;
    }
  }
  return 0;
}

void ReadFunctions(Dwfl_Module* module, Index* index) {
  const int count = dwfl_module_getsymtab(module);
  std::vector<std::pair<FunctionRow, const char*>> rows;
  for (int i = 1; i < count; ++i) {
    GElf_Sym sym;
    GElf_Addr address = 0;
    GElf_Word section = 0;
    Elf* elf = nullptr;
    Dwarf_Addr bias = 0;
    const char* name = dwfl_module_getsym_info(module, i, &sym, &address, &section, &elf, &bias);
    if (!name || !name[0] || GELF_ST_TYPE(sym.st_info) != STT_FUNC || sym.st_shndx == SHN_UNDEF) continue;
    rows.push_back({{address, sym.st_size, 0}, name});
  }
  // Aliases share an address (a constructor's two entry points): the first one sorted stays.
  std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
    if (a.first.start != b.first.start) return a.first.start < b.first.start;
    return a.first.size > b.first.size;
  });
  index->functions.reserve(rows.size());
  uint64_t last = ~0ull;
  for (auto& row : rows) {
    if (row.first.start == last) continue;
    last = row.first.start;
    int status = -1;
    char* readable = abi::__cxa_demangle(row.second, nullptr, nullptr, &status);
    row.first.name = AddText(index, status == 0 && readable ? readable : row.second);
    free(readable);
    index->functions.push_back(row.first);
  }
}

void ReadLines(Dwfl_Module* module, Index* index) {
  const size_t root = SourceRootLength();
  const char* rootText = __FILE__;
  std::unordered_map<std::string, uint32_t> files;
  if (index->functions.empty()) return;
  // Sequences of code the linker threw away keep their addresses near 0: only rows inside the
  // functions' range are kept.
  const uint64_t low = index->functions.front().start;
  const uint64_t high = index->functions.back().start + index->functions.back().size;
  Dwarf_Addr bias = 0;
  Dwarf_Die* unit = nullptr;
  while ((unit = dwfl_module_nextcu(module, unit, &bias)) != nullptr) {
    Dwarf_Lines* lines = nullptr;
    size_t count = 0;
    if (dwarf_getsrclines(unit, &lines, &count) != 0) continue;
    for (size_t i = 0; i < count; ++i) {
      Dwarf_Line* l = dwarf_onesrcline(lines, i);
      Dwarf_Addr address = 0;
      int number = 0;
      bool end = false;
      if (!l || dwarf_lineaddr(l, &address) != 0 || dwarf_lineno(l, &number) != 0) continue;
      dwarf_lineendsequence(l, &end);
      address += bias;
      if (address < low || address > high) continue;
      LineRow row = {address, static_cast<uint32_t>(number < 0 ? 0 : number), c_endRow};
      if (!end) {
        const char* source = dwarf_linesrc(l, nullptr, nullptr);
        std::string name = source ? source : "";
        if (root > 0 && name.size() > root && name.compare(0, root, rootText, root) == 0) name.erase(0, root);
        auto found = files.find(name);
        if (found == files.end()) {
          found = files.emplace(name, static_cast<uint32_t>(index->fileNames.size())).first;
          index->fileNames.push_back(AddText(index, name.c_str()));
        }
        row.file = found->second;
      }
      index->lines.push_back(row);
    }
  }
  // Where a sequence ends at the address another begins, the beginning must come last so that
  // it is the row found for that address.
  std::stable_sort(index->lines.begin(), index->lines.end(), [](const LineRow& a, const LineRow& b) {
    if (a.address != b.address) return a.address < b.address;
    return (a.file == c_endRow) > (b.file == c_endRow);
  });
  // Rows that only repeat the line before them tell a lookup nothing new.
  size_t kept = 0;
  for (size_t i = 0; i < index->lines.size(); ++i) {
    const LineRow& row = index->lines[i];
    if (kept > 0) {
      const LineRow& prev = index->lines[kept - 1];
      if (prev.address == row.address) {
        index->lines[kept - 1] = row;
        continue;
      }
      if (prev.file == row.file && prev.line == row.line && row.file != c_endRow) continue;
    }
    index->lines[kept++] = row;
  }
  index->lines.resize(kept);
  index->lines.shrink_to_fit();
}

bool Load() {
  ModuleFind find = {reinterpret_cast<uintptr_t>(&SymbolIndexLoad), 0, std::string(), false};
  dl_iterate_phdr(FindModule, &find);
  if (!find.found) {
    LOGE("Symbols: the program's own module was not found.");
    return false;
  }
  if (find.path.empty()) {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    if (n <= 0) {
      LOGE("Symbols: the program's path could not be read.");
      return false;
    }
    exe[n] = 0;
    find.path = exe;
  }
  static const Dwfl_Callbacks callbacks = {dwfl_build_id_find_elf, dwfl_standard_find_debuginfo, nullptr, nullptr};
  Dwfl* dwfl = dwfl_begin(&callbacks);
  if (!dwfl) {
    LOGE("Symbols: libdw could not start: %s", dwfl_errmsg(-1));
    return false;
  }
  dwfl_report_begin(dwfl);
  Dwfl_Module* module = dwfl_report_elf(dwfl, "program", find.path.c_str(), -1, find.bias, false);
  dwfl_report_end(dwfl, nullptr, nullptr);
  if (!module) {
    LOGE("Symbols: %s could not be read: %s", find.path.c_str(), dwfl_errmsg(-1));
    dwfl_end(dwfl);
    return false;
  }
  Index* index = new Index;
  ReadFunctions(module, index);
  ReadLines(module, index);
  dwfl_end(dwfl);
  if (index->functions.empty()) {
    LOGE("Symbols: %s has no function symbols.", find.path.c_str());
    delete index;
    return false;
  }
  index->functions.shrink_to_fit();
  index->text.shrink_to_fit();
  published.store(index, std::memory_order_release);
  return true;
}

}  // namespace

bool SymbolIndexLoad() {
  std::call_once(loadOnce, [] { loadResult = Load(); });
  return loadResult;
}

bool SymbolIndexLoaded() { return published.load(std::memory_order_acquire) != nullptr; }

bool SymbolIndexLookup(uint64_t address, SymbolHit* out) {
  if (!out) return false;
  out->function = "";
  out->functionStart = 0;
  out->file = "";
  out->line = 0;
  const Index* index = published.load(std::memory_order_acquire);
  if (!index) return false;
  // The last function starting at or before the address.
  const std::vector<FunctionRow>& f = index->functions;
  size_t lo = 0, hi = f.size();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (f[mid].start <= address) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo == 0) return false;
  const FunctionRow& fn = f[lo - 1];
  if (address >= fn.start + (fn.size > 0 ? fn.size : 1)) return false;
  out->function = index->text.data() + fn.name;
  out->functionStart = fn.start;
  const std::vector<LineRow>& l = index->lines;
  lo = 0;
  hi = l.size();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (l[mid].address <= address) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo > 0 && l[lo - 1].file != c_endRow) {
    out->file = index->text.data() + index->fileNames[l[lo - 1].file];
    out->line = l[lo - 1].line;
  }
  return true;
}

SymbolIndexSize SymbolIndexSizeGet() {
  SymbolIndexSize size = {};
  const Index* index = published.load(std::memory_order_acquire);
  if (!index) return size;
  size.functions = index->functions.size();
  size.lines = index->lines.size();
  size.files = index->fileNames.size();
  size.bytes = index->functions.capacity() * sizeof(FunctionRow) + index->lines.capacity() * sizeof(LineRow) +
               index->fileNames.capacity() * sizeof(uint32_t) + index->text.capacity();
  return size;
}
