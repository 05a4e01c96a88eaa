// Terraform: customisation parameters, and a planet dump raised, coloured and written as "custom.top" and "custom.geo".
#include "world/planet/terraform.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

#include "system/file.h"
#include "utility/log.h"
#include "utility/simplex_noise.h"
#include "world/planet/globe.h"
#include "world/wld.h"

// ---- Customisation parameters ----

static const char* const c_sizeNames[] = {"microscopic", "miniscule", "small", "medium", "large", "jumbo", ""};
static const char* const c_amountNames[] = {"sparse", "low", "medium", "high", "abundant", ""};
static const char* const c_variantNames[] = {
    "alpha", "beta",    "gamma", "delta", "epsilon", "zeta", "eta",     "theta", "iota", "kappa", "lambda", "mu", "nu",
    "xi",    "omicron", "pi",    "rho",   "sigma",   "tau",  "upsilon", "phi",   "chi",  "psi",   "omega",  ""};
static const char* const c_hueNames[] = {"Scarlet", "Green", "Blue", "Purple", "Teal", "Orange", ""};

const char* const customParamNames[NUMCUSTOMPARAMS] = {"Planet Size",    "Land",     "Trees",  "Rocks",
                                                       "Random Variant", "Land Hue", "Sea Hue"};
const char* const* const customParamChoices[NUMCUSTOMPARAMS] = {
    c_sizeNames, c_amountNames, c_amountNames, c_amountNames, c_variantNames, c_hueNames, c_hueNames};
const bool customParamChangeable[NUMCUSTOMPARAMS] = {true, false, false, false, true, true, true};
static const int c_customParamInitial[NUMCUSTOMPARAMS] = {4, 2, 2, 2, 0, 1, 2};
int customParamValues[NUMCUSTOMPARAMS] = {4, 2, 2, 2, 0, 1, 2};

int CustomParamGet(const char* name) {
  if (!name) return -1;
  for (int i = 0; i < NUMCUSTOMPARAMS; ++i)
    if (!strcmp(customParamNames[i], name)) return customParamValues[i];
  return -1;
}

static int ChoiceCount(int param) {
  int n = 0;
  while (customParamChoices[param][n][0]) ++n;
  return n;
}

void CustomParamsRandomise() {
  srand(static_cast<unsigned>(time(nullptr)));
  for (int i = 0; i < NUMCUSTOMPARAMS; ++i) {
    const int n = ChoiceCount(i);
    if (!strcmp(customParamNames[i], "Random Variant") || !strcmp(customParamNames[i], "Land Hue")) {
      customParamValues[i] = rand() % n;
    } else if (!strcmp(customParamNames[i], "Sea Hue")) {
      do customParamValues[i] = rand() % n;
      while (customParamValues[i] == customParamValues[i - 1]);
    }
  }
}

void CustomParamsReset() { memcpy(customParamValues, c_customParamInitial, sizeof(customParamValues)); }

// ---- Colours ----

PlanetSettings planetSettings = {0, 0, 1, 2};
float planetPalette[39][3];

float HueForIndex(int index) {
  static const float c_hues[6] = {0.019444445f, 0.25833333f, 0.6333333f, 0.775f, 0.45555556f, 0.075f};
  return (index >= 0 && index < 6) ? c_hues[index] : 0.0f;
}

void HsvToRgb(float h, float s, float v, float* r, float* g, float* b) {
  if (s == 0.0f) {
    *r = *g = *b = v;
    return;
  }
  const int i = static_cast<int>(floorf(6.0f * h));
  const float f = 6.0f * h - static_cast<float>(i);
  const float p = v * (1.0f - s), q = v * (1.0f - s * f), t = v * (1.0f - s * (1.0f - f));
  switch (i) {
    case 0:
      *r = v, *g = t, *b = p;
      break;
    case 1:
      *r = q, *g = v, *b = p;
      break;
    case 2:
      *r = p, *g = v, *b = t;
      break;
    case 3:
      *r = p, *g = q, *b = v;
      break;
    case 4:
      *r = t, *g = p, *b = v;
      break;
    default:
      *r = v, *g = p, *b = q;
      break;
  }
}

void PaletteMake() {
  for (int level = -19; level <= 19; ++level) {
    double h, s, v;
    if (level <= 0) {
      h = HueForIndex(planetSettings.seaHue);
      s = 1.0 - (level + 19) * 0.03;
      v = (level + 19) * 0.01 + 0.32;
    } else {
      h = level <= 2 ? 0.1388889f : HueForIndex(planetSettings.landHue);
      s = level * 0.0375 + 0.34;
      v = 0.9 - level * 0.025;
    }
    float* rgb = planetPalette[level + 19];
    HsvToRgb(static_cast<float>(h), static_cast<float>(s), static_cast<float>(v), &rgb[0], &rgb[1], &rgb[2]);
  }
}

void VariantOffsets(int variant, int* ox, int* oy, int* oz) {
  *ox = (7 * variant) % 29;
  *oy = (3 * variant) % 29;
  *oz = (11 * variant) % 29;
}

// ---- Levels: census, lowering and breaking of the largest landmass ----

int ContinentsCount(int numTiles, const int32_t* neighbours, const int* levels, int* region) {
  std::vector<int> queue(numTiles);
  int seas = 0, lands = 0;
  for (int i = 0; i < numTiles; ++i) region[i] = -1;
  for (int first = 0; first < numTiles; ++first) {
    if (region[first] != -1) continue;
    const int c = seas + lands;
    const bool land = levels[first] > 0;
    land ? ++lands : ++seas;
    int head = 0, tail = 0;
    region[first] = c;
    queue[tail++] = first;
    while (head < tail) {
      const int t = queue[head++];
      for (int k = 0; k < 6; ++k) {
        const int n = neighbours[t * 6 + k];
        if (n < 0 || region[n] != -1 || (levels[n] > 0) != land) continue;
        region[n] = c;
        queue[tail++] = n;
      }
    }
  }
  LOGI("This globe has %d seas and %d landmasses.", seas, lands);
  const int total = seas + lands;
  std::vector<int> sizes(total, 0), firstTile(total, -1);
  for (int i = 0; i < numTiles; ++i) {
    if (firstTile[region[i]] < 0) firstTile[region[i]] = i;
    sizes[region[i]]++;
  }
  int best = -1;
  for (int c = 0; c < total; ++c)
    if (levels[firstTile[c]] > 0 && (best < 0 || sizes[c] > sizes[best])) best = c;
  if (best >= 0) LOGI("Largest land mass is continent %d of size %d", best, sizes[best]);
  return best;
}

int LandmassBreak(int numTiles, const int32_t* neighbours, int* levels, const int* region, int largest) {
  if (largest < 0) return 0;
  for (int t = 0; t < numTiles; ++t)
    if (region[t] == largest && levels[t] > 0) levels[t]--;
  int breaks = 0;
  for (int t = 0; t < numTiles; ++t) {
    if (region[t] != largest) continue;
    const int32_t* nb = &neighbours[t * 6];
    int count = 0;
    while (count < 6 && nb[count] >= 0) ++count;
    if (count == 0) continue;
    // Walk the neighbours around the tile: each next one is a neighbour of the one before.
    int ring[6], len = 1;
    bool taken[6] = {true, false, false, false, false, false};
    ring[0] = nb[0];
    while (len < count) {
      const int prev = ring[len - 1];
      int next = -1;
      for (int k = 0; k < count && next < 0; ++k) {
        if (taken[k]) continue;
        for (int j = 0; j < 6; ++j)
          if (neighbours[nb[k] * 6 + j] == prev) next = k;
      }
      if (next < 0) break;
      taken[next] = true;
      ring[len++] = nb[next];
    }
    int changes = 0;
    bool prevWater = levels[ring[len - 1]] <= 0;
    for (int m = 0; m < len; ++m) {
      const bool water = levels[ring[m]] <= 0;
      if (water != prevWater) ++changes;
      prevWater = water;
    }
    // Two separate water stretches around a tile: cutting it opens a strait.
    if (changes == 4 || changes == 6) {
      levels[t] = 0;
      ++breaks;
    }
  }
  LOGI("Broke largest landmass at %d places.", breaks);
  return breaks;
}

// ---- The conversion ----

void (*planetDumpFaultHook)() = nullptr;
bool (*planetFaultDialog)(const char* title, const char* text) = nullptr;

namespace {

// The work arrays of one conversion; process-wide so that an installation fault that ends
// the process leaves nothing allocated behind.
struct Conversion {
  int numtiles = 0, numvertices = 0, numedges = 0;
  std::vector<Vec3> verts;
  std::vector<int32_t> corners;     // 6 per tile, -1 in slot 5 of a pentagon
  std::vector<int32_t> neighbours;  // 6 per tile, -1 where unused
  std::vector<int> neighbourCount;
  std::vector<int32_t> edges;  // t0, t1 per edge
  std::vector<int> levels;
  std::vector<int> region;
  std::vector<Vec3> raised;    // per-tile copies of the corners
  std::vector<int32_t> faces;  // 6 raised-vertex numbers per face
  std::vector<int32_t> lines;  // 2 raised-vertex numbers per line
  std::vector<char> text;
  // The outputs' temporary files written so far: removed when the conversion cannot go on.
  FixedString temporaries[2];
  int temporaryCount = 0;

  void Free() { *this = Conversion(); }
};

Conversion conv;

// The conversion cannot go on and the process ends; the player is told why in a dialog, since
// the log alone would leave the window simply gone.
[[noreturn]] void InstallationFault(const char* reason) {
  for (int i = 0; i < conv.temporaryCount; ++i) FileRemove(conv.temporaries[i].c_str(), true);
  conv.Free();
  char text[600];
  // Only a log that was opened can say more; without a user folder there is none.
  snprintf(text, sizeof(text), "Quillomar cannot make the planet and has to end.\n%s%s", reason,
           logFile ? "\nThe log vyxlog.txt says more." : "");
  if (planetFaultDialog) planetFaultDialog("Quillomar", text);
  if (planetDumpFaultHook) planetDumpFaultHook();
  exit(1);
}

[[noreturn]] void DumpFault(const char* dumpName, int lineNo, const char* what) {
  LOGE("File %s has invalid planet dump format.", dumpName);
  LOGE("Line %d of %s: %s", lineNo, dumpName, what);
  char reason[400];
  snprintf(reason, sizeof(reason), "The planet file %s is damaged (line %d: %s).", dumpName, lineNo, what);
  InstallationFault(reason);
}

// Hands out the dump's lines one by one, NUL-terminated in a small buffer.
struct LineReader {
  const char* pos;
  const char* end;
  int lineNo = 0;
  char line[256] = {};

  LineReader(const char* begin, const char* stop) : pos(begin), end(stop) {}

  bool Next() {
    if (pos >= end) return false;
    const char* eol = static_cast<const char*>(memchr(pos, '\n', end - pos));
    if (!eol) eol = end;
    const size_t len = std::min<size_t>(eol - pos, sizeof(line) - 1);
    memcpy(line, pos, len);
    line[len] = 0;
    pos = eol < end ? eol + 1 : end;
    ++lineNo;
    return true;
  }
};

// An output written as the save is: into "<name>.tmp", every write checked and the data pushed to
// the disk, and renamed over the name only once both files of the planet are whole, so a full
// disk or a kill half way leaves the planet of before as it was.
struct CheckedFile {
  FileHandle f = 0;
  FixedString temporary;
  FixedString path;  // the final name's full path, for the player
  bool ok = true;

  void Write(const void* data, size_t bytes) {
    if (ok && FileWrite(f, data, bytes) != bytes) ok = false;
  }
  bool Close() {
    ok = ok && FileFlush(f);
    FileClose(f);
    f = 0;
    return ok;
  }
};

void OpenOutput(CheckedFile* out, const char* name, bool mesh) {
  out->temporary.Format("%s.tmp", name);
  if (FilePathMake(&out->path, name, true) && (out->f = FileCreateTemporary(out->temporary.c_str(), true))) {
    if (conv.temporaryCount < 2) conv.temporaries[conv.temporaryCount++] = out->temporary;
    return;
  }
  const char* shown = out->path.Empty() ? name : out->path.c_str();
  if (mesh)
    LOGE("Cannot write %s for writing.", shown);
  else
    LOGE("Cannot open %s for writing.", shown);
  char reason[400];
  if (!UserFolderGet()[0])
    snprintf(reason, sizeof(reason), "There is no user folder to write %s into.", name);
  else
    snprintf(reason, sizeof(reason), "%s cannot be written (is the user folder read-only?).", shown);
  InstallationFault(reason);
}

void CloseOutput(CheckedFile* out) {
  if (!out->Close()) {
    LOGE("Failed to write %s whole; the file of that name is left as it was.", out->path.c_str());
    char reason[400];
    snprintf(reason, sizeof(reason), "%s could not be written whole (is the disk full?).", out->path.c_str());
    InstallationFault(reason);
  }
}

// Both outputs are whole: they take the names, the topology first.
void CommitOutputs(const CheckedFile& top, const char* topName, const CheckedFile& geo, const char* geoName) {
  for (const auto& [out, name] : {std::pair{&top, topName}, std::pair{&geo, geoName}}) {
    if (FileRename(out->temporary.c_str(), name, true)) continue;
    char reason[400];
    snprintf(reason, sizeof(reason), "%s cannot be written (is the user folder read-only?).", out->path.c_str());
    InstallationFault(reason);
  }
}

uint8_t ColourByte(float c) {
  const int v = static_cast<int>(static_cast<double>(c) * 255.999);
  return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

int CornerCount(const int32_t* slots) { return slots[5] >= 0 ? 6 : (slots[4] >= 0 ? 5 : (slots[3] >= 0 ? 4 : 3)); }

// The two raised copies of a tile's side between ring positions a and b, in wall order.
bool SidePair(const int32_t* face, int n, int a, int b, int* first, int* second) {
  const int lo = std::min(a, b), hi = std::max(a, b);
  if (hi == lo + 1) {
    *first = face[hi], *second = face[lo];
    return true;
  }
  if (lo == 0 && hi == n - 1) {
    *first = face[0], *second = face[n - 1];
    return true;
  }
  return false;
}

void ReadDump(const char* dumpName) {
  FileHandle f = FileOpenRead(dumpName, false);
  if (!f) {
    FixedString path;
    LOGE("Cannot open %s for reading.", FilePathMake(&path, dumpName, false) ? path.c_str() : dumpName);
    char reason[400];
    snprintf(reason, sizeof(reason), "The planet file %s cannot be opened.", dumpName);
    InstallationFault(reason);
  }
  const uint64_t size = FileSize(f);
  if (size > (uint64_t{1} << 30)) {
    FileClose(f);
    DumpFault(dumpName, 0, "the file is too large");
  }
  conv.text.resize(size);
  const size_t got = FileRead(f, conv.text.data(), size);
  FileClose(f);
  conv.text.resize(got);
}

}  // namespace

int PlanetDumpRead(const char* dumpName, const char* geoName, const char* topName, const OverrideLine* overrides) {
  ReadDump(dumpName);
  LineReader in(conv.text.data(), conv.text.data() + conv.text.size());
  if (!in.Next() || sscanf(in.line, "sphere numtiles=%d numvertices=%d numedges=%d", &conv.numtiles, &conv.numvertices,
                           &conv.numedges) < 3) {
    DumpFault(dumpName, 1, "the first line is not a sphere header");
  }
  const int nt = conv.numtiles, nv = conv.numvertices, ne = conv.numedges;
  if (nt < 13 || nt > (1 << 20) || nv < 1 || nv > (1 << 22) || ne < 1 || ne > 3 * nt)
    DumpFault(dumpName, 1, "tile, vertex or edge count out of range");

  for (int i = 0; overrides && overrides[i][0]; ++i) {
    int value;
    if (sscanf(overrides[i], "variant=%d", &value) == 1) planetSettings.variant = value;
    if (sscanf(overrides[i], "land=%d", &value) == 1) planetSettings.land = value;
    if (sscanf(overrides[i], "landhue=%d", &value) == 1) planetSettings.landHue = value;
    if (sscanf(overrides[i], "seahue=%d", &value) == 1) planetSettings.seaHue = value;
  }
  LOGI("Using variant %d, land %d", planetSettings.variant, planetSettings.land);

  conv.verts.resize(nv);
  conv.corners.assign(static_cast<size_t>(nt) * 6, -1);
  conv.neighbours.assign(static_cast<size_t>(nt) * 6, -1);
  conv.neighbourCount.assign(nt, 0);
  conv.edges.resize(static_cast<size_t>(ne) * 2);
  conv.levels.assign(nt, 0);
  conv.region.assign(nt, -1);
  conv.raised.clear();
  conv.raised.reserve(static_cast<size_t>(nt) * 6);
  conv.faces.assign(static_cast<size_t>(nt + ne) * 6, -1);
  conv.lines.clear();
  conv.lines.reserve(static_cast<size_t>(ne + 3 * nt) * 4);
  PaletteMake();

  LOGI("Reading %d verts...", nv);
  for (int i = 0; i < nv; ++i) {
    int id;
    Vec3& v = conv.verts[i];
    if (!in.Next() || sscanf(in.line, "vert id=%d x=%f y=%f z=%f", &id, &v.x, &v.y, &v.z) < 4 || !std::isfinite(v.x) ||
        !std::isfinite(v.y) || !std::isfinite(v.z))
      DumpFault(dumpName, in.lineNo, "expected a vert line");
    // The corners lie on the unit sphere; one far off it would make tiles that the topology
    // loader refuses, so the fault is named here, where the dump is.
    const float length = v.Length();
    if (!(length >= 0.5f && length <= 2.0f)) DumpFault(dumpName, in.lineNo, "a vertex lies off the unit sphere");
  }
  LOGI("Reading 12 pentagons...");
  for (int t = 0; t < nt; ++t) {
    if (t == 12) LOGI("Reading %d hexagons...", nt - 12);
    int id;
    int32_t* c = &conv.corners[t * 6];
    const int n = t < 12 ? 5 : 6;
    const int got = !in.Next() ? 0
                    : t < 12 ? sscanf(in.line, "pentagon id=%d v0=%d v1=%d v2=%d v3=%d v4=%d", &id, &c[0], &c[1], &c[2],
                                      &c[3], &c[4])
                             : sscanf(in.line, "hexagon id=%d v0=%d v1=%d v2=%d v3=%d v4=%d v5=%d", &id, &c[0], &c[1],
                                      &c[2], &c[3], &c[4], &c[5]);
    if (got < n + 1) DumpFault(dumpName, in.lineNo, t < 12 ? "expected a pentagon line" : "expected a hexagon line");
    int32_t* face = &conv.faces[t * 6];
    for (int k = 0; k < n; ++k) {
      if (c[k] < 0 || c[k] >= nv) DumpFault(dumpName, in.lineNo, "corner vertex out of range");
      face[k] = static_cast<int32_t>(conv.raised.size());
      conv.raised.push_back(conv.verts[c[k]]);
    }
  }
  LOGI("Reading %d edges...", ne);
  for (int e = 0; e < ne; ++e) {
    int id, t0, t1;
    if (!in.Next() || sscanf(in.line, "edge id=%d t0=%d t1=%d", &id, &t0, &t1) < 3)
      DumpFault(dumpName, in.lineNo, "expected an edge line");
    if (t0 < 0 || t0 >= nt || t1 < 0 || t1 >= nt || t0 == t1) DumpFault(dumpName, in.lineNo, "edge tile out of range");
    if (conv.neighbourCount[t0] >= 6 || conv.neighbourCount[t1] >= 6)
      DumpFault(dumpName, in.lineNo, "a tile has more than six edges");
    conv.neighbours[t0 * 6 + conv.neighbourCount[t0]++] = t1;
    conv.neighbours[t1 * 6 + conv.neighbourCount[t1]++] = t0;
    conv.edges[e * 2] = t0;
    conv.edges[e * 2 + 1] = t1;
  }
  for (int t = 0; t < nt; ++t)
    if (conv.neighbourCount[t] != (t < 12 ? 5 : 6))
      DumpFault(dumpName, in.lineNo, "a tile's edges do not match its corners");
  conv.text.clear();
  conv.text.shrink_to_fit();
  SimplexNoiseInit();

  int ox, oy, oz;
  VariantOffsets(planetSettings.variant, &ox, &oy, &oz);
  for (int t = 0; t < nt; ++t) {
    const int n = conv.neighbourCount[t];
    Vec3 c;
    for (int k = 0; k < n; ++k) c += conv.verts[conv.corners[t * 6 + k]];
    const float fn = static_cast<float>(n);
    c = Vec3{c.x / fn, c.y / fn, c.z / fn};
    const float noise =
        SimplexNoiseOctaves(c.x + static_cast<float>(ox), c.y + static_cast<float>(oy), c.z + static_cast<float>(oz));
    // The noise stays roughly within [-1, 1]; the colour ramp has room for -19..19 only.
    conv.levels[t] = std::clamp(static_cast<int>(noise * 20.0f), -19, 19);
  }

  const int largest = ContinentsCount(nt, conv.neighbours.data(), conv.levels.data(), conv.region.data());
  LandmassBreak(nt, conv.neighbours.data(), conv.levels.data(), conv.region.data(), largest);

  // Raise every tile's own corner copies by its level, and outline it.
  for (int t = 0; t < nt; ++t) {
    const int32_t* face = &conv.faces[t * 6];
    const int n = face[5] >= 0 ? 6 : 5;
    const float factor = static_cast<float>(std::max(conv.levels[t], 0) * 0.006 + 1.0);
    for (int k = 0; k < n; ++k) conv.raised[face[k]] *= factor;
    for (int k = 0; k < n; ++k) {
      conv.lines.push_back(face[k]);
      conv.lines.push_back(face[(k + 1) % n]);
    }
  }
  // Walls between neighbours, over the two corners they share.
  for (int e = 0; e < ne; ++e) {
    const int t0 = conv.edges[e * 2], t1 = conv.edges[e * 2 + 1];
    const int32_t* c0 = &conv.corners[t0 * 6];
    const int32_t* c1 = &conv.corners[t1 * 6];
    int pos0[2], pos1[2], shared = 0;
    for (int a = 0; a < 6; ++a)
      for (int b = 0; b < 6; ++b)
        if (c0[a] >= 0 && c0[a] == c1[b]) {
          if (shared < 2) pos0[shared] = a, pos1[shared] = b;
          ++shared;
        }
    int f0 = -1, s0 = -1, f1 = -1, s1 = -1;
    if (shared != 2 || !SidePair(&conv.faces[t0 * 6], CornerCount(c0), pos0[0], pos0[1], &f0, &s0) ||
        !SidePair(&conv.faces[t1 * 6], CornerCount(c1), pos1[0], pos1[1], &f1, &s1))
      DumpFault(dumpName, 0, "neighbouring tiles do not share a side");
    int32_t* wall = &conv.faces[(nt + e) * 6];
    wall[0] = f0, wall[1] = s0, wall[2] = f1, wall[3] = s1;
    const int32_t extra[4] = {s0, f1, s1, f0};
    conv.lines.insert(conv.lines.end(), extra, extra + 4);
  }

  // Each tile's frame leans toward its first fan edge; one that has no length or runs along the
  // tile's centre leaves no direction, and the mesh would be refused when the game loads it.
  for (int t = 0; t < nt; ++t) {
    const int32_t* face = &conv.faces[t * 6];
    const int n = face[5] >= 0 ? 6 : 5;
    Vec3 centre;
    for (int k = 0; k < n; ++k) centre += conv.raised[face[k]];
    centre = centre * (1.0f / static_cast<float>(n));
    if (!(Cross(Normalize(conv.raised[face[0]] - conv.raised[face[1]]), Normalize(centre)).LengthSquared() > 0.0f))
      DumpFault(dumpName, 0, "a tile's first edge runs along its centre");
  }

  // The topology.
  CheckedFile top;
  OpenOutput(&top, topName, false);
  const Vec3 d = conv.verts[conv.corners[12 * 6 + 0]] - conv.verts[conv.corners[12 * 6 + 3]];
  const float hexw = d.Length();
  char header[96];
  const int headerLen = snprintf(header, sizeof(header), "planet sz=%d hexw=%f\n", nt, hexw);
  top.Write(header, headerLen);
  std::vector<GridNode> nodes(nt);
  for (int t = 0; t < nt; ++t) {
    GridNode& node = nodes[t];
    memset(static_cast<void*>(&node), 0, sizeof(node));
    const int32_t* face = &conv.faces[t * 6];
    const int n = face[5] >= 0 ? 6 : 5;
    Vec3 centre;
    for (int k = 0; k < n; ++k) centre += conv.raised[face[k]];
    node.nr = t;
    node.centre = centre * (1.0f / static_cast<float>(n));
    node.type = conv.levels[t] > 0 ? TP_LAND : TP_WATR;
    node.height = static_cast<int8_t>(conv.levels[t]);
    node.numneighbours = conv.neighbours[t * 6 + 5] >= 0 ? 6 : 5;
    node.continent = 0;
    for (int k = 0; k < 6; ++k) node.neighbours[k] = conv.neighbours[t * 6 + k];
  }
  top.Write(nodes.data(), nodes.size() * sizeof(GridNode));
  CloseOutput(&top);
  LOGI("Wrote %d nodes of %zu bytes each.", nt, sizeof(GridNode));

  // The mesh: the tiles as fans, then the walls, then the outlines.
  CheckedFile geo;
  OpenOutput(&geo, geoName, true);
  const int numFaces = nt + ne;
  int32_t triangles = 0;
  for (int f = 0; f < numFaces; ++f) triangles += CornerCount(&conv.faces[f * 6]) - 2;
  const int32_t numLines = static_cast<int32_t>(conv.lines.size() / 2);
  geo.Write("geo ", 4);
  geo.Write(&triangles, 4);
  geo.Write(&numLines, 4);
  LOGI("Generated %d triangles, %d faces, %d lines.", triangles, numFaces, numLines);
  std::vector<GeoVertex> block;
  block.reserve(4096);
  auto put = [&](int raisedVertex, const uint8_t rgba[4]) {
    const Vec3& p = conv.raised[raisedVertex];
    block.push_back(GeoVertex{p.x, p.y, p.z, {rgba[0], rgba[1], rgba[2], rgba[3]}});
    if (block.size() == block.capacity()) {
      geo.Write(block.data(), block.size() * sizeof(GeoVertex));
      block.clear();
    }
  };
  for (int f = 0; f < numFaces; ++f) {
    const int32_t* face = &conv.faces[f * 6];
    const float* rgb = planetPalette[(f < nt ? conv.levels[f] : 1) + 19];
    const uint8_t rgba[4] = {ColourByte(rgb[0]), ColourByte(rgb[1]), ColourByte(rgb[2]), 255};
    const int n = CornerCount(face);
    for (int k = 1; k + 1 < n; ++k) {
      put(face[0], rgba);
      put(face[k], rgba);
      put(face[k + 1], rgba);
    }
  }
  static const uint8_t c_lineColour[4] = {40, 40, 40, 255};
  for (size_t i = 0; i < conv.lines.size(); ++i) put(conv.lines[i], c_lineColour);
  geo.Write(block.data(), block.size() * sizeof(GeoVertex));
  CloseOutput(&geo);
  CommitOutputs(top, topName, geo, geoName);

  conv.Free();
  return 0;
}

int TerraformWrite(int planetSize, int land, int variant, int landHue, int seaHue) {
  if (planetSize < 0 || planetSize > 5) {
    LOGE("There is no planet size %d.", planetSize);
    return -1;
  }
  FixedString dump;
  dump.Format("data/planets/planet%d.dump", planetSize + 2);
  OverrideLine overrides[16] = {};
  snprintf(overrides[0], sizeof(overrides[0]), "variant=%d\n", variant);
  snprintf(overrides[1], sizeof(overrides[1]), "land=%d\n", land);
  snprintf(overrides[2], sizeof(overrides[2]), "landhue=%d\n", landHue);
  snprintf(overrides[3], sizeof(overrides[3]), "seahue=%d\n", seaHue);
  const int rv = PlanetDumpRead(dump.c_str(), "custom.geo", "custom.top", overrides);
  ASSERT(rv >= 0);
  LOGI("Terrain extruded.");
  return rv;
}

Wld* TerraformNewWorld(const char* name) {
  const int planetSize = CustomParamGet("Planet Size");
  const int land = CustomParamGet("Land");
  const int variant = CustomParamGet("Random Variant");
  const int landHue = CustomParamGet("Land Hue");
  const int seaHue = CustomParamGet("Sea Hue");
  if (TerraformWrite(planetSize, land, variant, landHue, seaHue) < 0) return nullptr;
  Wld* world = new Wld(name);
  if (world->LoadTopology("custom.top") < 0) {
    LOGE("Cannot make a new world: the planet's topology did not load.");
    delete world;
    return nullptr;
  }
  std::vector<Matrix44> trfs(world->globe.m_sz);
  if (TileTransformsLoad(world->globe, "custom.geo", true, trfs.data()) < 0) {
    LOGE("Cannot make a new world: the planet's mesh did not load.");
    delete world;
    return nullptr;
  }
  world->globe.SetTileTransforms(trfs.data());
  world->globe.ComputeAttribs();
  return world;
}
