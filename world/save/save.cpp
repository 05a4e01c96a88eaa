// The save file: the world's and each part's serialisers (one function per part for both directions) and the safe write
// and load.
#include "world/save/save.h"

#include <cmath>
#include <cstring>

#include "system/file.h"
#include "utility/log.h"
#include "world/save/save_stream.h"
#include "world/wld.h"

namespace {

// Per kind, the trees on the whole map; a damaged map cannot overflow the sum (each tile's
// count is checked after loading, and a sum is held to the 32-bit range).
void SumTreeMaps(const Trees& trees, int32_t out[NUMTREEKINDS]) {
  for (int k = 0; k < NUMTREEKINDS; ++k) {
    int64_t sum = 0;
    for (int t = 0; t < trees.m_sz && trees.m_density[k]; ++t)
      sum += trees.m_density[k][t] > 0 ? trees.m_density[k][t] : 0;
    out[k] = sum > INT32_MAX ? INT32_MAX : static_cast<int32_t>(sum);
  }
}

constexpr size_t c_buildingBytes = sizeof(FixedString) + 4 + sizeof(Matrix44) + 4 + 4;
constexpr size_t c_itemBytes = 4 + 4 + 4 + sizeof(FixedString) + 4 + 8 + 4 + 4;
constexpr size_t c_tileBytes = sizeof(GridNode) + sizeof(Matrix44) + 4 + 8 + 8;
constexpr size_t c_actorBytes = 4 + 4 + 4 + 256 + 8 + 4 + 4 + 64 + 12 + 4 + 12 + 4 + 40 + 24 + 1024 + 4 + 4 + 4 + 4 +
                                8 + 4 + 4 + 4;  // the stored fields of one character
static_assert(c_actorBytes == 1504);

// The count that leads a part's table: written as it is, or read and taken only within 0..limit
// (a refusal stops the stream with the given reason and leaves the count as it was).
bool CountField(SaveStream& s, int32_t* count, int limit, const char* refusal) {
  int32_t cnt = *count;
  s.Field(&cnt, sizeof(cnt), "written == sizeof(m_cnt)");
  if (s.Writing()) return true;
  if (cnt < 0 || cnt > limit) {
    s.Refuse(refusal);
    return false;
  }
  *count = cnt;
  return true;
}

}  // namespace

size_t Buildings::Serialize(SaveStream& s) {
  const bool write = s.Writing();
  const uint64_t start = s.Bytes();
  if (!CountField(s, &m_cnt, MAXBUILDINGS, "building count out of range")) return s.Bytes() - start;
  const size_t n = static_cast<size_t>(m_cnt);
  ASSERTT(m_cnt > 0, "m_cnt>0");
  s.Field(m_name, n * sizeof(m_name[0]), "written == m_cnt*sizeof(m_name[0])");
  ASSERTT(m_cnt > 0, "m_cnt>0");
  s.Field(m_loca, n * sizeof(m_loca[0]), "written == m_cnt*sizeof(m_loca[0])");
  ASSERTT(m_cnt > 0, "m_cnt>0");
  s.Field(m_trfs, n * sizeof(m_trfs[0]), "written == m_cnt*sizeof(m_trfs[0])");
  ASSERTT(m_cnt > 0, "m_cnt>0");
  s.Field(m_rsto, n * sizeof(m_rsto[0]), "written == m_cnt*sizeof(m_rsto[0])");
  ASSERTT(m_cnt > 0, "m_cnt>0");
  s.Field(m_rwoo, n * sizeof(m_rwoo[0]), "written == m_cnt*sizeof(m_rwoo[0])");
  if (!write)
    for (int i = 0; i < m_cnt; ++i) m_name[i].Repair();
  const size_t total = s.Bytes() - start;
  LOGI("Serialized %zu bytes for %d buildings %s disk.", total, m_cnt, s.Direction());
  return total;
}

size_t Items::Serialize(SaveStream& s) {
  const bool write = s.Writing();
  const uint64_t start = s.Bytes();
  if (!CountField(s, &m_cnt, MAXITEMS, "item count out of range")) return s.Bytes() - start;
  const size_t n = static_cast<size_t>(m_cnt);
  ASSERTT(m_cnt > 0, "m_cnt>0");
  s.Field(m_loca, n * sizeof(m_loca[0]), "written == m_cnt*sizeof(m_loca[0])");
  ASSERTT(m_cnt > 0, "m_cnt>0");
  s.Field(m_carr, n * sizeof(m_carr[0]), "written == m_cnt*sizeof(m_carr[0])");
  ASSERTT(m_cnt > 0, "m_cnt>0");
  s.Field(m_clai, n * sizeof(m_clai[0]), "written == m_cnt*sizeof(m_clai[0])");
  ASSERTT(m_cnt > 0, "m_cnt>0");
  s.Field(m_name, n * sizeof(m_name[0]), "written == m_cnt*sizeof(m_name[0])");
  ASSERTT(m_cnt > 0, "m_cnt>0");
  s.Field(m_type, n * sizeof(m_type[0]), "written == m_cnt*sizeof(m_type[0])");
  ASSERTT(m_cnt > 0, "m_cnt>0");
  s.Field(m_stat, n * sizeof(m_stat[0]), "written == m_cnt*sizeof(m_stat[0])");
  ASSERTT(m_cnt > 0, "m_cnt>0");
  s.Field(m_tphs, n * sizeof(m_tphs[0]), "written == m_cnt*sizeof(m_tphs[0])");
  ASSERTT(m_cnt > 0, "m_cnt>0");
  s.Field(m_tspe, n * sizeof(m_tspe[0]), "written == m_cnt*sizeof(m_tspe[0])");
  if (!write) {
    for (int i = 0; i < m_cnt; ++i) m_name[i].Repair();
    // Slots above the count are free, as in a fresh part.
    for (int i = m_cnt; i < MAXITEMS; ++i) {
      m_name[i].Clear();
      m_loca[i] = -1;
      m_carr[i] = -1;
      m_clai[i] = -1;
    }
  }
  const size_t total = s.Bytes() - start;
  LOGI("Serialized %zu bytes for %d items %s disk.", total, m_cnt, s.Direction());
  return total;
}

size_t Globe::Serialize(SaveStream& s) {
  const bool write = s.Writing();
  const uint64_t start = s.Bytes();
  int32_t sz = m_sz;
  float hexw = m_hexw;
  int32_t numcontinents = m_numcontinents;
  s.Field(&sz, sizeof(m_sz), "written == sizeof(m_sz)");
  s.Field(&hexw, sizeof(m_hexw), "written == sizeof(m_hexw)");
  s.Field(&numcontinents, sizeof(m_numcontinents), "written == sizeof(m_numcontinents)");
  int32_t contsizes[MAXCONTINENTS] = {};
  if (!write) {
    if (sz < 1 || sz > SAVEMAXTILES || numcontinents < 1 || numcontinents > MAXCONTINENTS || !std::isfinite(hexw)) {
      s.Refuse("globe size or continent count out of range");
      CleanUp();
      return s.Bytes() - start;
    }
  } else {
    memcpy(contsizes, m_contsizes, sizeof(contsizes));
  }
  ASSERTT(numcontinents > 0, "m_numcontinents>0");
  s.Field(contsizes, static_cast<size_t>(numcontinents) * sizeof(m_contsizes[0]),
          "written == m_numcontinents*sizeof(m_contsizes[0])");
  if (!write) {
    // Every tile belongs to exactly one continent or sea.
    int64_t sum = 0;
    bool fits = true;
    for (int c = 0; c < numcontinents; ++c) {
      fits = fits && contsizes[c] > 0;
      sum += contsizes[c];
    }
    if (!fits || sum != sz) {
      s.Refuse("continent sizes do not add up to the tile count");
      CleanUp();
      return s.Bytes() - start;
    }
    // The planet in memory, of whatever size, gives way to the stored one.
    CleanUp();
    m_nodes = new GridNode[sz]();
    m_trfs = new Matrix44[sz];
    m_heights = new float[sz]();
    m_inventories = new uint64_t[sz]();
    m_presences = new uint64_t[sz]();
    m_sz = sz;
    m_hexw = hexw;
    m_numcontinents = numcontinents;
    for (int c = 0; c < numcontinents; ++c) {
      m_contsizes[c] = contsizes[c];
      m_continents[c] = new int32_t[contsizes[c]]();
    }
  }
  const size_t n = static_cast<size_t>(m_sz);
  ASSERTT(m_sz > 0, "m_sz>0");
  if (write) {
    // The pathing thread may clear a tile's "unclaimed" bit meanwhile: the attribute words are
    // copied with atomic loads rather than read in one block.
    GridNode block[256];
    for (size_t first = 0; first < n && !s.Failed(); first += 256) {
      const size_t count = n - first < 256 ? n - first : 256;
      memcpy(static_cast<void*>(block), &m_nodes[first], count * sizeof(GridNode));
      for (size_t i = 0; i < count; ++i) block[i].attribs = Attribs(static_cast<int>(first + i));
      s.Field(block, count * sizeof(GridNode), "written == m_sz*sizeof(m_nodes[0])");
    }
  } else {
    s.Field(m_nodes, n * sizeof(m_nodes[0]), "written == m_sz*sizeof(m_nodes[0])");
  }
  s.Field(m_trfs, n * sizeof(m_trfs[0]), "written == m_sz*sizeof(m_trfs[0])");
  s.Field(m_heights, n * sizeof(m_heights[0]), "written == m_sz*sizeof(m_heights[0])");
  s.Field(m_inventories, n * sizeof(m_inventories[0]), "written == m_sz*sizeof(m_inventories[0])");
  s.Field(m_presences, n * sizeof(m_presences[0]), "written == m_sz*sizeof(m_presences[0])");
  for (int c = 0; c < m_numcontinents; ++c) {
    ASSERTT(m_contsizes[c] > 0, "m_contsizes[c]>0");
    s.Field(m_continents[c], static_cast<size_t>(m_contsizes[c]) * sizeof(m_continents[c][0]),
            "written == m_contsizes[c]*sizeof(m_continents[c][0])");
  }
  if (!write) {
    // No path search of the loaded game has claimed anything yet.
    for (int t = 0; t < m_sz; ++t) m_nodes[t].attribs |= AT_UNCLAIMED;
    ForgetOccupancy();
  }
  const size_t total = s.Bytes() - start;
  LOGI("Serialized %zu bytes for globe with %d tiles %s disk.", total, m_sz, s.Direction());
  return total;
}

size_t Rocks::Serialize(SaveStream& s) {
  const bool write = s.Writing();
  const uint64_t start = s.Bytes();
  const int sz = m_wld->globe.m_sz;
  ASSERTT(sz > 0, "sz>0");
  const size_t n = sz > 0 ? static_cast<size_t>(sz) : 0;
  // Rocks never placed on this globe are stored as a planet without rocks.
  const bool made = m_formations && m_sz == sz;
  if (write && !made) LOGW("Rocks were not placed on this globe; saved without rocks.");
  int32_t counts[NUMROCKKINDS] = {};
  if (write && made) memcpy(counts, m_counts, sizeof(counts));
  s.Field(counts, sizeof(m_counts), "written == NUMROCKKINDS*sizeof(m_counts[0])");
  if (!write) {
    int64_t sum = 0;
    bool fits = sz > 0;
    for (int k = 0; k < NUMROCKKINDS; ++k) {
      fits = fits && counts[k] >= 0;
      sum += counts[k];
    }
    if (!fits || sum > static_cast<int64_t>(n) * ROCKSLOTS) {
      s.Refuse("rock counts out of range");
      CleanUp();
      return s.Bytes() - start;
    }
    CleanUp();
    m_sz = sz;
    m_formations = new int8_t[n][ROCKSLOTS];
    memset(m_formations, -1, sizeof(m_formations[0]) * n);
    for (int k = 0; k < NUMROCKKINDS; ++k) {
      m_counts[k] = counts[k];
      m_trfs[k] = counts[k] > 0 ? new Matrix44[counts[k]] : nullptr;
    }
  }
  if (write && !made) {
    s.Fill(0xff, n * sizeof(int8_t[ROCKSLOTS]), "written == sz*sizeof(m_formations[0])");
  } else {
    s.Field(m_formations, n * sizeof(m_formations[0]), "written == sz*sizeof(m_formations[0])");
    for (int k = 0; k < NUMROCKKINDS; ++k) {
      if (m_counts[k] <= 0) continue;
      s.Field(m_trfs[k], static_cast<size_t>(m_counts[k]) * sizeof(m_trfs[k][0]),
              "written == m_counts[t]*sizeof(m_trfs[t][0])");
    }
  }
  const size_t total = s.Bytes() - start;
  LOGI("Serialized %zu bytes for rocks %s disk.", total, s.Direction());
  return total;
}

size_t Trees::Serialize(SaveStream& s) {
  const bool write = s.Writing();
  const uint64_t start = s.Bytes();
  const int sz = m_wld->globe.m_sz;
  ASSERTT(sz > 0, "sz>0");
  const size_t n = sz > 0 ? static_cast<size_t>(sz) : 0;
  const bool made = m_grove && m_ages && m_sz == sz;
  if (write && !made) LOGW("Trees were not planted on this globe; saved without trees.");
  int32_t count[NUMTREEKINDS] = {};
  float timeToFruit = m_timeToFruit;
  // The counts are the sums of the maps; written that way, a count that went astray in play is
  // never stored (nor a negative one).
  if (write && made) SumTreeMaps(*this, count);
  s.Field(count, sizeof(m_count), "written == NUMTREEKINDS*sizeof(m_count[0])");
  s.Field(&timeToFruit, sizeof(m_timeToFruit), "written == sizeof(m_timeToFruit)");
  if (!write) {
    // The counts themselves are recounted from the maps below.
    const bool fits = sz > 0;
    if (!fits) {
      s.Refuse("tree counts out of range");
      CleanUp();
      return s.Bytes() - start;
    }
    if (!Allocate(sz)) {
      s.Stop();
      return s.Bytes() - start;
    }
    memcpy(m_count, count, sizeof(m_count));
    m_timeToFruit = timeToFruit;
  }
  if (write && !made) {
    const size_t want = n * (NUMTREEKINDS * sizeof(int32_t) + sizeof(uint8_t) + sizeof(float));
    s.Fill(0, want, "written == sz*sizeof(m_density[k][0])");
  } else {
    for (int k = 0; k < NUMTREEKINDS; ++k)
      s.Field(m_density[k], n * sizeof(m_density[k][0]), "written == sz*sizeof(m_density[k][0])");
    s.Field(m_grove, n * sizeof(m_grove[0]), "written == sz*sizeof(m_grove[0])");
    s.Field(m_ages, n * sizeof(m_ages[0]), "written == sz*sizeof(m_ages[0])");
  }
  if (!write && m_density[0]) {
    // The stored counts only repeat the maps; a file whose counts disagree with them would go
    // negative in play, so the maps are believed.
    int32_t sums[NUMTREEKINDS];
    SumTreeMaps(*this, sums);
    if (memcmp(sums, m_count, sizeof(sums)) != 0) LOGW("The saved tree counts disagree with the tree maps; recounted.");
    memcpy(m_count, sums, sizeof(sums));
    memcpy(count, sums, sizeof(sums));
  }
  // 64 bits: a damaged map's sums reach the 32-bit limit before the tiles are checked.
  int64_t trees = 0;
  for (int k = 0; k < NUMTREEKINDS; ++k) trees += count[k];
  const size_t total = s.Bytes() - start;
  LOGI("Serialized %zu bytes for %lld trees %s disk.", total, static_cast<long long>(trees), s.Direction());
  return total;
}

size_t Minerals::Serialize(SaveStream& s) {
  const bool write = s.Writing();
  const uint64_t start = s.Bytes();
  const int sz = m_wld->globe.m_sz;
  const size_t n = sz > 0 ? static_cast<size_t>(sz) : 0;
  int32_t counts[NUMMINERALS] = {};
  if (write) {
    for (int tp = 0; tp < NUMMINERALS; ++tp) {
      // A kind whose map was made for another globe is stored as absent.
      const bool made = m_deposits[tp] && m_trfs[tp] && m_sz == sz;
      counts[tp] = made ? m_counts[tp] : 0;
      if (m_counts[tp] > 0 && !made) LOGW("Minerals of kind %d do not fit this globe; saved without them.", tp);
    }
  }
  s.Field(counts, sizeof(m_counts), "written == NUMMINERALS*sizeof(m_counts[0])");
  if (!write) {
    bool fits = sz > 0;
    for (int tp = 0; tp < NUMMINERALS; ++tp) fits = fits && counts[tp] >= 0 && counts[tp] <= sz;
    for (int tp = 0; tp < NUMMINERALS; ++tp) {
      delete[] m_deposits[tp];
      m_deposits[tp] = nullptr;
      delete[] m_trfs[tp];
      m_trfs[tp] = nullptr;
      m_counts[tp] = 0;
    }
    if (!fits) {
      s.Refuse("mineral counts out of range");
      return s.Bytes() - start;
    }
    m_sz = sz;
    for (int tp = 0; tp < NUMMINERALS; ++tp) {
      if (counts[tp] == 0) continue;
      m_counts[tp] = counts[tp];
      m_deposits[tp] = new int32_t[n]();
      m_trfs[tp] = new Matrix44[counts[tp]];
    }
  }
  int minerals = 0;
  for (int tp = 0; tp < NUMMINERALS; ++tp) {
    if (counts[tp] == 0) continue;
    minerals += counts[tp];
    // The deposits are a map over every tile (what HasDeposit reads), not a list of tiles.
    ASSERTT(sz > 0, "sz>0");
    s.Field(m_deposits[tp], n * sizeof(m_deposits[tp][0]), "written == sz*sizeof(m_deposits[tp][0])");
    ASSERTT(counts[tp] > 0, "m_counts[tp]>0");
    s.Field(m_trfs[tp], static_cast<size_t>(counts[tp]) * sizeof(m_trfs[tp][0]),
            "written == m_counts[tp]*sizeof(m_trfs[tp][0])");
  }
  const size_t total = s.Bytes() - start;
  LOGI("Serialized %zu bytes for %d minerals %s disk.", total, minerals, s.Direction());
  return total;
}

namespace {

// Reads a count at the scan position; false at the end of the file.
bool ScanInt(FileHandle file, uint64_t* pos, int32_t* out, int n = 1) {
  const size_t want = sizeof(int32_t) * static_cast<size_t>(n);
  if (FileRead(file, out, want) != want) return false;
  *pos += want;
  return true;
}

bool ScanSkip(FileHandle file, uint64_t* pos, uint64_t bytes, uint64_t size) {
  if (bytes > size || *pos > size - bytes) return false;
  *pos += bytes;
  return FileSeek(file, *pos);
}

// Walks the records of a save from the start of the file, reading only the counts, and checks
// that every count fits its part and that the records end exactly at the end of the file. So a
// damaged, cut or foreign file is refused before any part of the world is touched. Leaves the
// file at its start. 1 when the file is whole; 0 after the magic or version line; -1 otherwise.
int ScanSave(FileHandle file) {
  const uint64_t size = FileSize(file);
  uint64_t pos = 0;
  char magic[4] = {};
  uint32_t version = 0;
  if (!FileSeek(file, 0) || FileRead(file, magic, sizeof(magic)) != sizeof(magic) ||
      memcmp(magic, SAVEMAGIC, sizeof(magic)) != 0) {
    LOGE("Invalid or corrupt saved game.");
    FileSeek(file, 0);
    return 0;
  }
  if (FileRead(file, &version, sizeof(version)) != sizeof(version)) {
    LOGE("Invalid or corrupt saved game: the header is cut short.");
    FileSeek(file, 0);
    return -1;
  }
  if (version != WLD_VERSION) {
    LOGE("Incompatible saved game. Expected version %d, got version %d", WLD_VERSION, static_cast<int>(version));
    FileSeek(file, 0);
    return 0;
  }
  pos = 8;
  const char* problem = nullptr;
  int32_t cnt = 0, sz = 0, numc = 0;
  int32_t counts[NUMROCKKINDS] = {};
  int32_t sizes[MAXCONTINENTS] = {};
  do {
    if (!ScanSkip(file, &pos, sizeof(FixedString) + sizeof(double), size)) {
      problem = "the header is cut short";
      break;
    }
    if (!ScanInt(file, &pos, &cnt) || cnt < 0 || cnt > MAXBUILDINGS) {
      problem = "the building count is missing or out of range";
      break;
    }
    if (!ScanSkip(file, &pos, c_buildingBytes * static_cast<uint64_t>(cnt), size) || !ScanInt(file, &pos, &cnt) ||
        cnt < 0 || cnt > MAXITEMS) {
      problem = "the item count is missing or out of range";
      break;
    }
    float hexw = 0.0f;
    if (!ScanSkip(file, &pos, c_itemBytes * static_cast<uint64_t>(cnt), size) || !ScanInt(file, &pos, &sz) || sz < 1 ||
        sz > SAVEMAXTILES || FileRead(file, &hexw, sizeof(hexw)) != sizeof(hexw) || !std::isfinite(hexw)) {
      problem = "the tile count is missing or out of range";
      break;
    }
    pos += sizeof(hexw);
    if (!ScanInt(file, &pos, &numc) || numc < 1 || numc > MAXCONTINENTS || !ScanInt(file, &pos, sizes, numc)) {
      problem = "the continent count is missing or out of range";
      break;
    }
    int64_t sum = 0;
    for (int c = 0; c < numc; ++c) sum += sizes[c] > 0 ? sizes[c] : -SAVEMAXTILES;
    if (sum != sz) {
      problem = "the continent sizes do not add up to the tile count";
      break;
    }
    const uint64_t tiles = static_cast<uint64_t>(sz);
    if (!ScanSkip(file, &pos, tiles * c_tileBytes + tiles * sizeof(int32_t), size) ||
        !ScanInt(file, &pos, counts, NUMROCKKINDS)) {
      problem = "the globe is cut short";
      break;
    }
    int64_t rocks = 0;
    for (int k = 0; k < NUMROCKKINDS; ++k) rocks += counts[k] >= 0 ? counts[k] : -INT64_C(1) << 40;
    if (rocks < 0 || rocks > static_cast<int64_t>(tiles) * ROCKSLOTS) {
      problem = "the rock counts are out of range";
      break;
    }
    if (!ScanSkip(file, &pos, tiles * ROCKSLOTS + static_cast<uint64_t>(rocks) * sizeof(Matrix44), size) ||
        !ScanInt(file, &pos, counts, NUMTREEKINDS)) {
      problem = "the rocks are cut short";
      break;
    }
    // The tree counts are not checked: loading recounts them from the tree maps.
    if (!ScanSkip(file, &pos, sizeof(float) + tiles * (NUMTREEKINDS * sizeof(int32_t) + 1 + sizeof(float)), size) ||
        !ScanInt(file, &pos, &cnt) || cnt < 0 || cnt > MAXACTORS) {
      problem = "the character count is missing or out of range";
      break;
    }
    if (!ScanSkip(file, &pos, c_actorBytes * static_cast<uint64_t>(cnt), size) ||
        !ScanInt(file, &pos, counts, NUMMINERALS)) {
      problem = "the characters are cut short";
      break;
    }
    uint64_t minerals = 0;
    bool fits = true;
    for (int tp = 0; tp < NUMMINERALS; ++tp) {
      fits = fits && counts[tp] >= 0 && counts[tp] <= sz;
      if (counts[tp] > 0) minerals += tiles * sizeof(int32_t) + static_cast<uint64_t>(counts[tp]) * sizeof(Matrix44);
    }
    if (!fits) {
      problem = "the mineral counts are out of range";
      break;
    }
    if (!ScanSkip(file, &pos, minerals + sizeof(int32_t), size)) {
      problem = "the file is cut short";
      break;
    }
    if (pos != size) problem = "the file runs on past its records (a save of another planet?)";
  } while (false);
  FileSeek(file, 0);
  if (problem) {
    LOGE("Invalid or corrupt saved game: %s.", problem);
    return -1;
  }
  return 1;
}

bool InRange(int32_t v, int32_t lowest, int32_t end) { return v >= lowest && v < end; }

// Every float of the block is a number: a NaN or an infinity in a transform, a height or a
// velocity would fail assertions on every step and draw nothing sensible.
bool Finite(const void* data, size_t floats) {
  const float* f = static_cast<const float*>(data);
  for (size_t i = 0; i < floats; ++i)
    if (!std::isfinite(f[i])) return false;
  return true;
}
bool FiniteVec(const Vec3& v) { return Finite(&v, 3); }
bool FiniteMatrix(const Matrix44& m) { return Finite(m.m, 16); }
bool FinitePid(const Pid& p) { return Finite(&p, 5); }
bool FinitePidVec3(const PidVec3& p) { return Finite(&p, 9); }

// After reading: every index a part will use lies inside the arrays it indexes. Logs the first
// problem and returns false.
bool CheckLoaded(const Wld& w) {
  const int sz = w.globe.m_sz;
  const char* problem = nullptr;
  for (int t = 0; t < sz && !problem; ++t) {
    const GridNode& node = w.globe.m_nodes[t];
    if (node.numneighbours > 6 || (node.continent != 255 && node.continent >= w.globe.m_numcontinents))
      problem = "a tile record is damaged";
    for (int k = 0; k < 6; ++k)
      if (!InRange(node.neighbours[k], -1, sz)) problem = "a tile's neighbour lies off the planet";
  }
  for (int c = 0; c < w.globe.m_numcontinents && !problem; ++c)
    for (int i = 0; i < w.globe.m_contsizes[c]; ++i)
      if (!InRange(w.globe.m_continents[c][i], 0, sz)) problem = "a continent lists a tile off the planet";
  for (int t = 0; t < w.rocks.m_sz && !problem; ++t)
    for (int s = 0; s < ROCKSLOTS; ++s)
      if (!InRange(w.rocks.m_formations[t][s], -1, NUMROCKKINDS)) problem = "a rock slot holds an unknown kind";
  for (int k = 0; k < NUMTREEKINDS && !problem; ++k)
    for (int t = 0; t < w.trees.m_sz; ++t)
      if (!InRange(w.trees.m_density[k][t], 0, NUMPILEOFFSETS + 1)) problem = "a tile holds an impossible tree count";
  // A slot in use stands on a tile; only a freed one may say -1.
  for (int b = 0; b < w.buildings.m_cnt && !problem; ++b)
    if (!InRange(w.buildings.m_loca[b], w.buildings.m_name[b].Empty() ? -1 : 0, sz))
      problem = "a building stands off the planet";
  const Items& items = w.items;
  for (int i = 0; i < items.m_cnt && !problem; ++i) {
    if (!InRange(items.m_loca[i], items.m_name[i].Empty() ? -1 : 0, sz) ||
        !InRange(items.m_carr[i], -1, w.actors.m_cnt) || !InRange(items.m_clai[i], -1, MAXACTORS) ||
        !InRange(items.m_type[i], -1, NUMITEMTYPES))
      problem = "an item lies off the planet or names no character or type";
  }
  const Actors& a = w.actors;
  for (int n = 0; n < a.m_cnt && !problem; ++n) {
    if (!InRange(a.m_loca[n], 0, sz) || !InRange(a.m_tgtl[n], -1, sz) || !InRange(a.m_clai[n], -1, sz) ||
        !InRange(a.m_assi[n], -1, NUMASSIGNMENTS) || !InRange(a.m_prva[n], -1, NUMASSIGNMENTS))
      problem = "a character stands off the planet or has an unknown assignment";
    for (int i = 0; i < a.m_pasz[n] && i < c_tilePathLimit; ++i)
      if (!InRange(a.m_ploc[n][i], 0, sz)) problem = "a character's path leaves the planet";
  }

  // Every float that feeds the geometry or the motion.
  if (!problem && !(std::isfinite(w.globe.m_hexw) && w.globe.m_hexw > 0.0f)) problem = "the tile width is not a size";
  for (int t = 0; t < sz && !problem; ++t)
    if (!FiniteVec(w.globe.m_nodes[t].centre) || !FiniteMatrix(w.globe.m_trfs[t]) ||
        !std::isfinite(w.globe.m_heights[t]))
      problem = "a tile's place is not a number";
  for (int b = 0; b < w.buildings.m_cnt && !problem; ++b)
    if (!FiniteMatrix(w.buildings.m_trfs[b])) problem = "a building's place is not a number";
  for (int k = 0; k < NUMROCKKINDS && !problem; ++k)
    for (int i = 0; i < w.rocks.m_counts[k] && w.rocks.m_trfs[k]; ++i)
      if (!FiniteMatrix(w.rocks.m_trfs[k][i])) problem = "a rock's place is not a number";
  for (int k = 0; k < NUMMINERALS && !problem; ++k)
    for (int i = 0; i < w.minerals.m_counts[k] && w.minerals.m_trfs[k]; ++i)
      if (!FiniteMatrix(w.minerals.m_trfs[k][i])) problem = "a deposit's place is not a number";
  for (int i = 0; i < items.m_cnt && !problem; ++i)
    if (!std::isfinite(items.m_tphs[i]) || !std::isfinite(items.m_tspe[i])) problem = "an item's pulse is not a number";
  if (!problem && !std::isfinite(w.trees.m_timeToFruit)) problem = "the fruit clock is not a time";
  for (int t = 0; t < w.trees.m_sz && w.trees.m_ages && !problem; ++t)
    if (!std::isfinite(w.trees.m_ages[t])) problem = "a tree's age is not a time";
  for (int n = 0; n < a.m_cnt && !problem; ++n) {
    const bool finite = FiniteMatrix(a.m_trfs[n]) && FiniteVec(a.m_lvel[n]) && FiniteVec(a.m_lacc[n]) &&
                        std::isfinite(a.m_avel[n]) && std::isfinite(a.m_aacc[n]) && FinitePidVec3(a.m_mpid[n]) &&
                        FinitePid(a.m_tpid[n]) && std::isfinite(a.m_actionDelay[n]) && std::isfinite(a.m_animTime[n]) &&
                        std::isfinite(a.m_timeSinceEating[n]) && std::isfinite(a.m_timeUntilPoop[n]);
    if (!finite) problem = "a character's place or motion is not a number";
  }
  if (!problem && !(w.m_age >= 0.0 && std::isfinite(w.m_age))) problem = "the world's age is not a time";
  if (problem) LOGE("Invalid or corrupt saved game: %s.", problem);
  return !problem;
}

// Both directions through the stream; *complete is false when a field fell short or a record was
// refused. A read must come after the file's scan.
uint64_t SerializeWorld(Wld* w, SaveStream& s, bool* complete) {
  *complete = false;
  const bool write = s.Writing();
  char magic[4];
  memcpy(magic, SAVEMAGIC, sizeof(magic));
  s.Field(magic, 4 * sizeof(magic[0]), "written == 4*sizeof(magic[0])");
  s.Field(&w->m_version, sizeof(w->m_version), "written == sizeof(m_version)");
  s.Field(&w->m_name, sizeof(w->m_name), "written == sizeof(m_name)");
  s.Field(&w->m_age, sizeof(w->m_age), "written == sizeof(m_age)");
  if (!write) {
    // The scan has checked both; this guards a file changed in between.
    if (memcmp(magic, SAVEMAGIC, sizeof(magic)) != 0) {
      LOGE("Invalid or corrupt saved game.");
      return 0;
    }
    if (w->m_version != WLD_VERSION) {
      LOGE("Incompatible saved game. Expected version %d, got version %d", WLD_VERSION, static_cast<int>(w->m_version));
      return 0;
    }
    w->m_name.Repair();
  }
  // A read stops at the first record refused: what follows it would be read out of step. A write
  // stops at the first failure: the file is discarded, and the failure is reported once.
  if (!s.Failed()) w->buildings.Serialize(s);
  if (!s.Failed()) w->items.Serialize(s);
  if (!s.Failed()) w->globe.Serialize(s);
  if (!s.Failed()) w->rocks.Serialize(s);
  if (!s.Failed()) w->trees.Serialize(s);
  if (!s.Failed()) w->actors.Serialize(s);
  if (!s.Failed()) w->minerals.Serialize(s);
  if (!s.Failed()) w->tutor.Serialize(s);
  const uint64_t total = s.Bytes();
  LOGI("Serialized world '%s' version %d %s disk as %zu bytes.", w->m_name.c_str(), static_cast<int>(w->m_version),
       s.Direction(), static_cast<size_t>(total));
  *complete = !s.Failed() && (write || CheckLoaded(*w));
  if (!write && !*complete) return 0;
  if (!write) {
    // The globe came back all unclaimed; the sites the characters still hold stay theirs, so
    // no second character takes one of them on.
    for (int n = 0; n < w->actors.m_cnt; ++n)
      if (w->globe.IsValid(w->actors.m_clai[n])) w->globe.AttribsClear(w->actors.m_clai[n], AT_UNCLAIMED);
  }
  return total;
}

}  // namespace

uint64_t Wld::Serialize(FileHandle file, bool write) {
  if (!write && ScanSave(file) <= 0) return 0;
  SaveStream s(file, write);
  bool complete = false;
  return SerializeWorld(this, s, &complete);
}

int SaveGameMeasure(Wld* world, uint64_t* fieldEnds, int capacity) {
  SaveStream s = SaveStream::Measure(fieldEnds, capacity);
  bool complete = false;
  SerializeWorld(world, s, &complete);
  return s.Fields();
}

bool SaveGameWrite(Wld* world, const char* name) {
  if (!world || !name) {
    LOGE("Cannot save: no world or no file name.");
    return false;
  }
  FixedString temporary;
  temporary.Format("%s.tmp", name);
  // Made afresh: a temporary file left by a save that was cut short (or a link under its name)
  // goes first, so the save never writes through what it finds there.
  const FileHandle f = FileCreateTemporary(temporary.c_str(), true);
  if (!f) {
    LOGE("Cannot save the game: '%s' cannot be opened for writing; the previous save is kept.", temporary.c_str());
    return false;
  }
  SaveStream s(f, true);
  bool complete = false;
  const uint64_t bytes = SerializeWorld(world, s, &complete);
  const bool flushed = complete && FileFlush(f);
  FileClose(f);
  if (!complete || !flushed || !FileRename(temporary.c_str(), name, true)) {
    FileRemove(temporary.c_str(), true);
    LOGE("Saving the game failed after %llu bytes; the previous save '%s' is kept.",
         static_cast<unsigned long long>(bytes), name);
    return false;
  }
  return true;
}

Wld* SaveGameLoad(const char* name) {
  const FileHandle f = name ? FileOpenRead(name, true) : 0;
  if (!f) {
    if (name && FilePresent(name, true))
      LOGE(
          "The saved game '%s' is there but cannot be opened (in use by another program, no permission, or not a "
          "file); it is left as it is.",
          name);
    else
      LOGI("No saved game present.");
    return nullptr;
  }
  Wld* world = new Wld("Reverodade b");
  const uint64_t bytes = world->Serialize(f, false);
  FileClose(f);
  if (bytes == 0) {
    LOGE("The saved game '%s' was not loaded; it is left as it is.", name);
    delete world;
    return nullptr;
  }
  return world;
}
