// The save file: round trips of a played world, the header layout, refusal of damaged files and safe writing.
#include "world/save/save.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "captured_log.h"
#include "system/file.h"
#include "test_support.h"
#include "utility/message.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/actors_planning.h"
#include "world/actors_fixture.h"
#include "world/driver/headless_run.h"
#include "world/planet/worldgen.h"
#include "world/save/save_stream.h"
#include "world/sim/sim_frame.h"
#include "world/wld.h"

namespace {

typedef std::vector<unsigned char> Bytes;

void UseFolders() {
  FixedString user, data;
  ASSERT_TRUE(UserFolderResolve(&user));
  ASSERT_TRUE(DataFolderResolve(&data));
  ASSERT_TRUE(FoldersSet(user.c_str(), data.c_str()));
}

std::string UserPath(const char* name) { return std::string(UserFolderGet()) + "/" + name; }

Bytes ReadAll(const char* name) { return ::ReadAll(UserPath(name)); }

void WriteAll(const char* name, const Bytes& bytes) {
  std::ofstream out(UserPath(name), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

template <typename T>
T At(const Bytes& b, size_t offset) {
  T v;
  memcpy(&v, b.data() + offset, sizeof(T));
  return v;
}

template <typename T>
void Put(Bytes* b, size_t offset, T v) {
  memcpy(b->data() + offset, &v, sizeof(T));
}

// A world played for a few seconds with the planning and pathing services, saved at the end as
// the game saves at shut-down. The 812-tile planet (size 2) of variant 1 is the smallest one
// whose save holds iron (3 deposits), so every part has something to store.
HeadlessOptions PlayedPlanet(double seconds) {
  HeadlessOptions o;
  HeadlessOptionsDefault(&o);
  o.params[0] = 2;
  o.params[4] = 1;
  o.seconds = seconds;
  o.stepsPerFrame = 4;
  o.saveAtEnd = 1;
  o.lockstep = 1;
  return o;
}

// Where the records of a save begin, worked out from the counts stored in it.
struct Layout {
  size_t buildings, items, globe, rocks, trees, actors, minerals, tutor, end;
  int tiles;
};

Layout LayoutOf(const Bytes& b) {
  Layout l{};
  l.buildings = SAVEHEADERSIZE;
  l.items = l.buildings + 4 + At<int32_t>(b, l.buildings) * size_t{332};
  l.globe = l.items + 4 + At<int32_t>(b, l.items) * size_t{288};
  l.tiles = At<int32_t>(b, l.globe);
  const size_t sz = static_cast<size_t>(l.tiles);
  const int numc = At<int32_t>(b, l.globe + 8);
  l.rocks = l.globe + 12 + 4 * size_t(numc) + sz * 172 + sz * 4;
  size_t rocks = 0;
  for (int k = 0; k < 10; ++k) rocks += At<int32_t>(b, l.rocks + 4 * k);
  l.trees = l.rocks + 40 + sz * 24 + rocks * 64;
  l.actors = l.trees + 24 + sz * 25;
  l.minerals = l.actors + 4 + At<int32_t>(b, l.actors) * size_t{1504};
  l.tutor = l.minerals + 8;
  for (int k = 0; k < 2; ++k) {
    const int n = At<int32_t>(b, l.minerals + 4 * k);
    if (n > 0) l.tutor += sz * 4 + size_t(n) * 64;
  }
  l.end = l.tutor + 4;
  return l;
}

// Loading the save named must fail with the line given, change nothing in the file, and fire
// no assertion (a damaged file is bad input, not an impossible state).
void ExpectRefused(const Bytes& bytes, const char* line, const std::string& what) {
  WriteAll(SAVEFILENAME, bytes);
  CapturedLog log;
  Wld* world = SaveGameLoad(SAVEFILENAME);
  EXPECT_EQ(world, nullptr) << what;
  delete world;
  EXPECT_TRUE(log.Has(line)) << what;
  EXPECT_TRUE(ReadAll(SAVEFILENAME) == bytes) << what << ": a refused save must stay as it was";
}

uint64_t Fnv1a(const Bytes& bytes) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
  return h;
}

class SaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseFolders();
    WorldRngReset();
    HeadlessResult r;
    ASSERT_EQ(HeadlessRun(PlayedPlanet(3.0), &r), 0);
    ASSERT_EQ(r.saved, 1);
    saved = ReadAll(SAVEFILENAME);
    ASSERT_GT(saved.size(), size_t{SAVEHEADERSIZE});
  }
  Bytes saved;
};

TEST_F(SaveTest, WriteReadWriteGivesTheSameBytesAndCharactersComeBackWithoutPlans) {
  std::unique_ptr<Wld> world(SaveGameLoad(SAVEFILENAME));
  ASSERT_NE(world, nullptr);
  EXPECT_STREQ(world->m_name.c_str(), "Headless");  // the stored name replaces "Reverodade b"
  EXPECT_NEAR(world->m_age, 3.0, 1e-6);
  const Layout l = LayoutOf(saved);
  EXPECT_EQ(l.end, saved.size());
  EXPECT_EQ(world->globe.m_sz, 812);
  EXPECT_EQ(world->trees.m_sz, 812);
  EXPECT_EQ(world->rocks.m_sz, 812);
  EXPECT_GT(world->minerals.m_counts[0], 0);
  EXPECT_EQ(world->buildings.m_cnt, At<int32_t>(saved, l.buildings));
  for (int n = 0; n < world->actors.m_cnt; ++n) {
    EXPECT_EQ(world->actors.m_planSize[n], 0);
    EXPECT_EQ(world->actors.m_planStage[n], 0);
    EXPECT_EQ(world->actors.m_planRequested[n], 0);
    EXPECT_EQ(world->actors.m_planActive[n], 0);
  }
  EXPECT_EQ(world->actors.m_planInFlight, 0);
  EXPECT_EQ(world->actors.m_pathInFlight, 0);
  // Written again, the only change is that loading marks the tiles unclaimed that no character
  // holds: bit 31 of each tile's attribute word (byte 11 of its 88-byte record).
  ASSERT_TRUE(SaveGameWrite(world.get(), "again.dat"));
  const Bytes again = ReadAll("again.dat");
  ASSERT_EQ(again.size(), saved.size());
  const size_t nodes = l.globe + 12 + 4 * size_t(At<int32_t>(saved, l.globe + 8));
  for (size_t i = 0; i < saved.size(); ++i) {
    if (saved[i] == again[i]) continue;
    const bool unclaimedBit = i >= nodes && i < nodes + 88 * size_t(l.tiles) && (i - nodes) % 88 == 11 &&
                              (saved[i] ^ again[i]) == 0x80 && (again[i] & 0x80);
    ASSERT_TRUE(unclaimedBit) << "byte " << i << " changed in a round trip";
  }
  for (int n = 0; n < world->actors.m_cnt; ++n) {
    if (world->globe.IsValid(world->actors.m_clai[n])) {
      EXPECT_FALSE(world->globe.Attribs(world->actors.m_clai[n]) & AT_UNCLAIMED) << "site of character " << n;
    }
  }
  // From then on a round trip changes nothing at all, record by record.
  std::unique_ptr<Wld> second(SaveGameLoad("again.dat"));
  ASSERT_NE(second, nullptr);
  ASSERT_TRUE(SaveGameWrite(second.get(), "third.dat"));
  const Bytes third = ReadAll("third.dat");
  ASSERT_EQ(third.size(), again.size());
  const size_t bounds[] = {0, l.buildings, l.items, l.globe, l.rocks, l.trees, l.actors, l.minerals, l.tutor, l.end};
  const char* names[] = {"header", "buildings", "items", "globe", "rocks", "trees", "actors", "minerals", "tutor"};
  for (int p = 0; p < 9; ++p) {
    const auto diff =
        std::mismatch(again.begin() + bounds[p], again.begin() + bounds[p + 1], third.begin() + bounds[p]);
    EXPECT_TRUE(diff.first == again.begin() + bounds[p + 1])
        << names[p] << " changed in a round trip at offset " << (diff.first - again.begin()) - bounds[p];
  }
  EXPECT_FALSE(FileExists("again.dat.tmp", true));
}

// A freshly made world of a fixed planet and variant always saves to the same bytes: the format
// on disk is pinned, whatever changes in how the parts write it.
TEST(SaveFormat, AFreshWorldSavesToPinnedBytes) {
  UseFolders();
  WorldRngReset();
  HeadlessResult r;
  ASSERT_EQ(HeadlessRun(PlayedPlanet(0.0), &r), 0);
  ASSERT_EQ(r.saved, 1);
  const Bytes bytes = ReadAll(SAVEFILENAME);
  EXPECT_EQ(bytes.size(), 252584u);
  EXPECT_EQ(Fnv1a(bytes), 12370879728524085250ull);
}

TEST_F(SaveTest, HeaderHasTheMagicVersionNameAndAgeAtFixedOffsets) {
  ASSERT_GE(saved.size(), size_t{272});
  EXPECT_EQ(memcmp(saved.data(), "#Vyx", 4), 0);
  EXPECT_EQ(At<uint32_t>(saved, 4), 104u);
  EXPECT_EQ(saved[8], strlen("Headless"));  // the FixedString's length byte
  EXPECT_EQ(memcmp(saved.data() + 9, "Headless", 9), 0);
  for (size_t i = 9 + 9; i < 264; ++i) EXPECT_EQ(saved[i], 0) << "name byte " << i;
  EXPECT_NEAR(At<double>(saved, 264), 3.0, 1e-6);
  // The buildings' count follows at 272: the start camp's cages and depot at least.
  EXPECT_GT(At<int32_t>(saved, 272), 0);
}

TEST_F(SaveTest, CutAndOverlongFilesAreRefusedAndKept) {
  const Layout l = LayoutOf(saved);
  const size_t cuts[] = {0,
                         3,
                         7,
                         100,
                         271,
                         272,
                         275,
                         l.items + 2,
                         l.globe + 20,
                         l.rocks - 1,
                         l.trees + 30,
                         l.actors + 4,
                         l.actors + 2000,
                         l.minerals + 4,
                         l.tutor,
                         saved.size() - 1};
  for (size_t cut : cuts) {
    ASSERT_LT(cut, saved.size());
    const Bytes part(saved.begin(), saved.begin() + cut);
    ExpectRefused(part, "Invalid or corrupt saved game", "cut at " + std::to_string(cut));
  }
  // Bytes past the last record mean the records were sized for another planet.
  Bytes longer = saved;
  longer.insert(longer.end(), {0, 0, 0, 0});
  ExpectRefused(longer, "runs on past its records", "four extra bytes");
}

TEST_F(SaveTest, WrongMagicAndVersionAreRefusedWithTheirLines) {
  Bytes bad = saved;
  bad[0] = 'X';
  ExpectRefused(bad, "Invalid or corrupt saved game.", "magic");
  bad = saved;
  Put<uint32_t>(&bad, 4, 103);
  ExpectRefused(bad, "Incompatible saved game. Expected version 104, got version 103", "version 103");
  ExpectRefused(Bytes(), "Invalid or corrupt saved game.", "empty file");
}

TEST_F(SaveTest, CountsAndIndicesOutOfRangeAreRefused) {
  const Layout l = LayoutOf(saved);
  const int sz = l.tiles;
  struct Patch {
    size_t offset;
    int32_t value;
    const char* what;
  };
  const int32_t actors = At<int32_t>(saved, l.actors);
  const size_t firstItemCarrier = l.items + 4 + At<int32_t>(saved, l.items) * size_t{4};
  const size_t firstActorTile = l.actors + 4;
  const size_t firstNodeNeighbour = l.globe + 12 + 4 * size_t(At<int32_t>(saved, l.globe + 8)) + 40;
  const size_t firstTileTransform = l.globe + 12 + 4 * size_t(At<int32_t>(saved, l.globe + 8)) + sz * size_t{88};
  // After the tiles, targets, claims, names, status bits and both assignments of every character.
  const size_t firstActorTransform = l.actors + 4 + actors * size_t{4 + 4 + 4 + 256 + 8 + 4 + 4};
  const Patch patches[] = {
      {l.buildings, 1025, "too many buildings"},
      {l.buildings, -1, "negative buildings"},
      {l.items, 3073, "too many items"},
      {l.globe, 0, "no tiles"},
      {l.globe, sz + 1, "another tile count"},
      {l.globe, 1 << 30, "a huge tile count"},
      {l.globe + 8, 251, "too many continents"},
      {l.globe + 8, 0, "no continents"},
      {l.globe + 12, -5, "a negative continent"},
      {l.rocks, -1, "negative rocks"},
      {l.rocks, 1 << 30, "too many rocks"},
      {l.actors, 33, "too many characters"},
      {l.actors, -1, "negative characters"},
      {l.minerals, sz + 1, "more iron than tiles"},
      {l.minerals + 4, -1, "negative minerals"},
      {l.buildings + 4 + At<int32_t>(saved, l.buildings) * size_t{256}, sz, "a building off the planet"},
      {firstItemCarrier, actors, "an item carried by nobody"},
      {firstActorTile, sz + 7, "a character off the planet"},
      {firstNodeNeighbour, sz, "a neighbour off the planet"},
      // A character stands on a tile; -1 would fail an assertion on every step.
      {firstActorTile, -1, "a character on no tile"},
      // Floats that feed the geometry and the motion must be numbers (quiet NaN, infinity).
      {l.globe + 4, 0x7fc00000, "a tile width that is not a number"},
      {firstTileTransform, 0x7fc00000, "a tile transform that is not a number"},
      {firstTileTransform + sz * size_t{64}, 0x7f800000, "an infinite tile height"},
      {firstActorTransform + 12 * 4, 0x7fc00000, "a character's position that is not a number"},
      {firstActorTransform + actors * size_t{64}, 0x7f800000, "an infinite velocity"},
  };
  for (const Patch& p : patches) {
    Bytes bad = saved;
    Put<int32_t>(&bad, p.offset, p.value);
    ExpectRefused(bad, "Invalid or corrupt saved game", p.what);
  }
  // A slot in use lies on a tile; -1 is kept for a freed slot. The first building (the start
  // camp) and the first item (a summit marker) are in use.
  ASSERT_GT(saved[l.buildings + 4], 0) << "building 0 has a name";
  ASSERT_GT(saved[l.items + 4 + At<int32_t>(saved, l.items) * size_t{12}], 0) << "item 0 has a name";
  const Patch noTile[] = {
      {l.buildings + 4 + At<int32_t>(saved, l.buildings) * size_t{256}, -1, "a building stands off the planet"},
      {l.items + 4, -1, "an item lies off the planet or names no character or type"},
  };
  for (const Patch& p : noTile) {
    Bytes bad = saved;
    Put<int32_t>(&bad, p.offset, p.value);
    ExpectRefused(bad, p.what, p.what);
  }
  // The stored name is repaired rather than trusted: a length byte past the text is cut back.
  Bytes named = saved;
  named[8] = 250;
  WriteAll(SAVEFILENAME, named);
  std::unique_ptr<Wld> world(SaveGameLoad(SAVEFILENAME));
  ASSERT_NE(world, nullptr);
  EXPECT_STREQ(world->m_name.c_str(), "Headless");
  EXPECT_EQ(world->m_name.Length(), 8);
}

TEST_F(SaveTest, FloatsThatAreNoNumbersAreRefused) {
  // Every stored float the game computes with is checked on loading; one of each kind set to a
  // quiet NaN or an infinity must refuse the save with its own line.
  const Layout l = LayoutOf(saved);
  const size_t sz = static_cast<size_t>(l.tiles);
  const size_t buildings = static_cast<size_t>(At<int32_t>(saved, l.buildings));
  const size_t items = static_cast<size_t>(At<int32_t>(saved, l.items));
  size_t rocks = 0;
  for (int k = 0; k < 10; ++k) rocks += At<int32_t>(saved, l.rocks + 4 * k);
  ASSERT_GT(rocks, 0u);
  ASSERT_GT(At<int32_t>(saved, l.minerals) + At<int32_t>(saved, l.minerals + 4), 0);
  struct Patch {
    size_t offset;
    uint32_t bits;
    const char* line;
  };
  const Patch patches[] = {
      // After the names and tiles: the first building's transform.
      {l.buildings + 4 + buildings * (256 + 4), 0x7fc00000, "a building's place is not a number"},
      // After the formations of every tile: the first rock's transform.
      {l.rocks + 40 + sz * 24 + 12 * 4, 0x7f800000, "a rock's place is not a number"},
      // After the first kind's deposit map: its first transform.
      {l.minerals + 8 + sz * 4, 0x7fc00000, "a deposit's place is not a number"},
      // After tiles, carriers, claims, names, types and status: the pulse phase, then the speed.
      {l.items + 4 + items * (4 + 4 + 4 + 256 + 4 + 8), 0x7fc00000, "an item's pulse is not a number"},
      {l.items + 4 + items * (4 + 4 + 4 + 256 + 4 + 8 + 4), 0xff800000, "an item's pulse is not a number"},
      {l.trees + 20, 0x7fc00000, "the fruit clock is not a time"},
      // After the five tree maps and the grove bytes: the first tile's age, and the last one's.
      {l.trees + 24 + sz * 21, 0x7f800000, "a tree's age is not a time"},
      {l.trees + 24 + sz * 25 - 4, 0x7fc00000, "a tree's age is not a time"},
  };
  for (const Patch& p : patches) {
    Bytes bad = saved;
    Put<uint32_t>(&bad, p.offset, p.bits);
    ExpectRefused(bad, p.line, p.line);
  }
}

TEST_F(SaveTest, TreeCountsAreTheSumsOfTheTreeMaps) {
  // Stored counts that disagree with the maps (negative, near the 32-bit limit) are recounted
  // from the maps on loading, so they can neither go negative in play nor overflow a sum; and a
  // count is written as the sum of its map, never negative.
  const Layout l = LayoutOf(saved);
  std::unique_ptr<Wld> reference(SaveGameLoad(SAVEFILENAME));
  ASSERT_NE(reference, nullptr);
  int32_t sums[NUMTREEKINDS] = {};
  for (int k = 0; k < NUMTREEKINDS; ++k)
    for (int t = 0; t < reference->trees.m_sz; ++t) sums[k] += reference->trees.m_density[k][t];
  for (int k = 0; k < NUMTREEKINDS; ++k) EXPECT_EQ(At<int32_t>(saved, l.trees + 4 * k), sums[k]) << k;
  const int32_t wrong[] = {-3, 2147483000, sums[2] + 5, -2147483647, 1};
  Bytes bad = saved;
  for (int k = 0; k < NUMTREEKINDS; ++k) Put<int32_t>(&bad, l.trees + 4 * k, wrong[k]);
  WriteAll(SAVEFILENAME, bad);
  {
    CapturedLog log;
    std::unique_ptr<Wld> world(SaveGameLoad(SAVEFILENAME));
    ASSERT_NE(world, nullptr);
    EXPECT_TRUE(log.Has("recounted"));
    for (int k = 0; k < NUMTREEKINDS; ++k) EXPECT_EQ(world->trees.m_count[k], sums[k]) << k;
    // A count that went astray in play is not what is written.
    world->trees.m_count[1] = -7;
    ASSERT_TRUE(SaveGameWrite(world.get(), "again.dat"));
  }
  const Bytes again = ReadAll("again.dat");
  for (int k = 0; k < NUMTREEKINDS; ++k) EXPECT_EQ(At<int32_t>(again, l.trees + 4 * k), sums[k]) << k;
  // Maps whose sums reach the 32-bit limit in every kind are refused as impossible, without the
  // loader's own tally of them overflowing first (found by fuzzing; the sanitizer build sees it).
  Bytes huge = saved;
  const size_t maps = l.trees + 24;
  for (int k = 0; k < NUMTREEKINDS; ++k)
    for (int t = 0; t < 2; ++t) Put<int32_t>(&huge, maps + (size_t{4} * k * l.tiles) + 4 * t, 2147483000);
  ExpectRefused(huge, "a tile holds an impossible tree count", "huge tree maps");
  // The loader's tally of those maps is taken in 64 bits: five kinds each clamped to the 32-bit
  // limit add up to 5 x 2147483647, which a 32-bit tally would wrap to a negative number.
  CapturedLog log;
  std::unique_ptr<Wld> refused(SaveGameLoad(SAVEFILENAME));
  EXPECT_EQ(refused, nullptr);
  EXPECT_TRUE(log.Has("bytes for 10737418235 trees from disk.")) << "the tally must not wrap";
}

TEST_F(SaveTest, ASaveThatCannotBeOpenedIsNotCalledMissing) {
  // Held by another handle: there, but not readable now.
  {
    const FileHandle held = FileOpenWrite("held.dat", true);
    ASSERT_NE(held, 0u);
    CapturedLog log;
    EXPECT_EQ(SaveGameLoad("held.dat"), nullptr);
    EXPECT_FALSE(log.Has("No saved game present."));
    EXPECT_TRUE(log.Has("The saved game 'held.dat' is there but cannot be opened"));
    FileClose(held);
    FileRemove("held.dat", true);
  }
  // A FIFO of the save's name: refused at once, never waited on.
  std::filesystem::remove(UserPath("fifo.dat"));
  ASSERT_EQ(mkfifo(UserPath("fifo.dat").c_str(), 0600), 0);
  CapturedLog log;
  Wld* world = reinterpret_cast<Wld*>(1);
  RunBounded([&] { world = SaveGameLoad("fifo.dat"); }, 10.0);
  EXPECT_EQ(world, nullptr);
  EXPECT_TRUE(log.Has("is there but cannot be opened"));
  std::filesystem::remove(UserPath("fifo.dat"));
}

TEST_F(SaveTest, LoadingReplacesAPlanetOfAnotherSize) {
  // A world holding the 272-tile planet reads the 812-tile save: every per-tile map follows.
  CustomParamsReset();
  customParamValues[0] = 1;
  std::unique_ptr<Wld> made(TerraformNewWorld("Small"));
  ASSERT_NE(made, nullptr);
  ASSERT_EQ(made->Generate(0), WG_OK);
  ASSERT_EQ(made->globe.m_sz, 272);
  FileHandle f = FileOpenRead(SAVEFILENAME, true);
  ASSERT_NE(f, 0u);
  EXPECT_EQ(made->Serialize(f, false), saved.size());
  FileClose(f);
  EXPECT_EQ(made->globe.m_sz, 812);
  EXPECT_EQ(made->trees.m_sz, 812);
  EXPECT_EQ(made->rocks.m_sz, 812);
  EXPECT_EQ(made->minerals.m_sz, 812);
  ASSERT_TRUE(SaveGameWrite(made.get(), "again.dat"));
  EXPECT_EQ(ReadAll("again.dat").size(), saved.size());
}

TEST_F(SaveTest, AFailedWriteKeepsThePreviousSave) {
  std::unique_ptr<Wld> world(SaveGameLoad(SAVEFILENAME));
  ASSERT_NE(world, nullptr);
  world->m_age = 99.0;  // a save that would differ from the one on disk
  // The disk fills up half way: files of this process may not grow past 40000 bytes for a while.
  {
    ExpectAsserts asserts;
    CapturedLog log;
    signal(SIGXFSZ, SIG_IGN);
    rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 40000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = SaveGameWrite(world.get(), SAVEFILENAME);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    EXPECT_FALSE(ok);
    // A full disk is an error, not an impossible state: no assertion (a dialog each in the
    // game), and the failure is reported once, after the one line naming the disk's reason.
    EXPECT_EQ(asserts.Count(), 0);
    EXPECT_EQ(log.CountPrefix("Saving the game failed"), 1);
    EXPECT_LE(log.CountPrefix("FileWrite failed"), 1);
    EXPECT_TRUE(log.Has("the previous save 'autosave.dat' is kept"));
  }
  EXPECT_TRUE(ReadAll(SAVEFILENAME) == saved);
  EXPECT_FALSE(FileExists("autosave.dat.tmp", true));
  // The temporary file cannot be made at all: nothing is written, nothing asserted.
  std::filesystem::create_directory(UserPath("autosave.dat.tmp"));
  {
    CapturedLog log;
    EXPECT_FALSE(SaveGameWrite(world.get(), SAVEFILENAME));
    EXPECT_TRUE(log.Has("cannot be opened for writing"));
  }
  EXPECT_TRUE(ReadAll(SAVEFILENAME) == saved);
  std::filesystem::remove(UserPath("autosave.dat.tmp"));
  // And once writing works again the new save replaces the old one.
  ASSERT_TRUE(SaveGameWrite(world.get(), SAVEFILENAME));
  EXPECT_NEAR(At<double>(ReadAll(SAVEFILENAME), 264), 99.0, 1e-9);
}

// The disk fills up at each field of the save in turn, half way into it (a short write) or at
// its very start (a failed one): every time the previous save is kept whole, the failure is
// logged once and nothing is asserted.
TEST_F(SaveTest, AWriteFailingAtAnyFieldKeepsThePreviousSave) {
  std::unique_ptr<Wld> world(SaveGameLoad(SAVEFILENAME));
  ASSERT_NE(world, nullptr);
  world->m_age = 99.0;  // a save that would differ from the one on disk
  uint64_t ends[1024];
  const int fields = SaveGameMeasure(world.get(), ends, 1024);
  ASSERT_GT(fields, 60);
  ASSERT_LE(fields, 1024);
  ASSERT_EQ(ends[fields - 1], saved.size()) << "the measured layout is the file's";
  signal(SIGXFSZ, SIG_IGN);
  rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  for (int i = 0; i < fields; ++i) {
    const uint64_t begin = i ? ends[i - 1] : 0;
    const uint64_t half = begin + (ends[i] - begin) / 2;
    for (int cut = 0; cut < 2; ++cut) {
      if (cut == 1 && half == begin) continue;  // a field too small to cut in half
      const uint64_t limit = cut == 0 ? half : begin;
      ExpectAsserts asserts;
      CapturedLog log;
      rlimit small = old;
      small.rlim_cur = limit;
      ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
      const bool ok = SaveGameWrite(world.get(), SAVEFILENAME);
      ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
      EXPECT_FALSE(ok) << "field " << i << " cut at " << limit;
      EXPECT_EQ(asserts.Count(), 0) << "field " << i;
      EXPECT_EQ(log.CountPrefix("Saving the game failed"), 1) << "field " << i;
      EXPECT_TRUE(ReadAll(SAVEFILENAME) == saved) << "field " << i;
      EXPECT_FALSE(FileExists("autosave.dat.tmp", true)) << "field " << i;
    }
  }
}

TEST_F(SaveTest, AResumedGameRunsOnAndTheSaveMessageWritesIt) {
  // Through the headless runner, as the game resumes: the saved world keeps going.
  HeadlessOptions o = PlayedPlanet(2.0);
  o.resume = 1;
  o.saveAtEnd = 0;
  HeadlessResult r;
  ASSERT_EQ(HeadlessRun(o, &r), 0);
  EXPECT_EQ(r.resumed, 1);
  EXPECT_EQ(r.tiles, 812);
  EXPECT_EQ(r.steps, 480);
  EXPECT_NEAR(r.age, 5.0, 1e-6);  // 3 s before the save and 2 s after
  EXPECT_EQ(r.characters, At<int32_t>(saved, LayoutOf(saved).actors));

  // By hand: the loaded player's character walks where it is sent, and "savegame" stores the
  // world from inside a frame. Tile 430 lies 8 steps from the landing tile 436 of this planet
  // and variant (seen when first run).
  std::unique_ptr<Wld> world(SaveGameLoad(SAVEFILENAME));
  ASSERT_NE(world, nullptr);
  const int player = world->actors.FindPlayer();
  ASSERT_GE(player, 0);
  const bool ownPlanning = !PlanningServiceRunning() && PlanningServiceStart();
  const bool ownPathing = !PathingServiceRunning() && PathingServiceStart();
  Packet outbox;
  WldOutboxSet(&outbox, world.get());
  MailboxReset();
  SimFrameReset();
  const char* click = "leftclick down=0 moved=0 tile=430 actor=-1 modalt=0 modctl=0 modshf=0";
  EXPECT_TRUE(VisMessageHandle(world.get(), click));
  {
    // In lockstep, so that the walk does not wait on a pathing thread that a busy machine holds back.
    Lockstep lockstep;
    for (int frame = 0; frame < 2400 && world->actors.m_loca[player] != 430; ++frame) {
      if (frame % 240 == 0) VisMessageHandle(world.get(), click);  // again, should it come while landing
      SimFrame(&outbox, 4, c_simStep, world.get());
    }
  }
  EXPECT_EQ(world->actors.m_loca[player], 430) << "the resumed player's character did not walk";
  EXPECT_TRUE(VisMessageHandle(world.get(), "savegame"));
  world->ReleaseServices();
  if (ownPathing) PathingServiceStop();
  if (ownPlanning) PlanningServiceStop();
  MailboxReset();
  const Bytes after = ReadAll(SAVEFILENAME);
  ASSERT_GE(after.size(), size_t{272});
  EXPECT_GT(At<double>(after, 264), 5.0);  // written by the message, later than the resumed save
}

TEST_F(SaveTest, ResumingADamagedSaveRunsANewWorldAndKeepsTheFile) {
  Bytes bad = saved;
  Put<int32_t>(&bad, LayoutOf(saved).actors, 40);
  WriteAll(SAVEFILENAME, bad);
  // Asked to save at the end too, the run leaves the refused save as it is.
  for (const int saveAtEnd : {0, 1}) {
    HeadlessOptions o = PlayedPlanet(0.5);
    o.resume = 1;
    o.saveAtEnd = saveAtEnd;
    HeadlessResult r;
    ASSERT_EQ(HeadlessRun(o, &r), 0);
    EXPECT_EQ(r.resumed, 0);
    EXPECT_EQ(r.saved, 0);
    EXPECT_EQ(r.generateResult, WG_OK);
    EXPECT_NEAR(r.age, 0.5, 1e-6);
    EXPECT_TRUE(ReadAll(SAVEFILENAME) == bad) << "save at end " << saveAtEnd;
  }
}

TEST(SaveRefusal, PartsReadAloneRefuseCountsThatDoNotFitTheirArrays) {
  UseFolders();
  // Each block begins with its count; a count beyond the part's capacity is refused before any
  // array is touched, and the part keeps what it had.
  Wld world("Parts");
  world.items.m_cnt = 1;  // one slot in use
  const int32_t counts[] = {MAXITEMS + 1, -2};
  for (int32_t count : counts) {
    Bytes block(4 + 4096, 0x7f);
    Put<int32_t>(&block, 0, count);
    WriteAll("block.dat", block);
    FileHandle f = FileOpenRead("block.dat", true);
    ASSERT_NE(f, 0u);
    CapturedLog log;
    SaveStream stream1(f, false);
    EXPECT_EQ(world.items.Serialize(stream1), 4u);
    FileClose(f);
    EXPECT_EQ(world.items.m_cnt, 1);
    EXPECT_TRUE(log.Has("item count out of range"));
    f = FileOpenRead("block.dat", true);
    Put<int32_t>(&block, 0, count == -2 ? -2 : MAXBUILDINGS + 1);
    WriteAll("block.dat", block);
    SaveStream stream2(f, false);
    EXPECT_EQ(world.buildings.Serialize(stream2), 4u);
    FileClose(f);
    EXPECT_EQ(world.buildings.m_cnt, 0);
  }
  // A globe whose continents do not cover its tiles is refused and left empty, not half made.
  Bytes globe(12 + 8, 0);
  Put<int32_t>(&globe, 0, 100);
  Put<float>(&globe, 4, 0.1f);
  Put<int32_t>(&globe, 8, 2);
  Put<int32_t>(&globe, 12, 60);
  Put<int32_t>(&globe, 16, 30);
  WriteAll("block.dat", globe);
  FileHandle f = FileOpenRead("block.dat", true);
  ASSERT_NE(f, 0u);
  SaveStream stream3(f, false);
  EXPECT_EQ(world.globe.Serialize(stream3), 20u);
  FileClose(f);
  EXPECT_EQ(world.globe.m_sz, 0);
  EXPECT_EQ(world.globe.m_nodes, nullptr);
}

TEST(SaveRefusal, NoSaveMeansNoWorldAndAnEmptyWriteIsRefused) {
  UseFolders();
  FileRemove(SAVEFILENAME, true);
  CapturedLog log;
  EXPECT_EQ(SaveGameLoad(SAVEFILENAME), nullptr);
  EXPECT_TRUE(log.Has("No saved game present."));
  EXPECT_FALSE(SaveGameWrite(nullptr, SAVEFILENAME));
  EXPECT_FALSE(FileExists(SAVEFILENAME, true));
}

TEST(Dragons, HoldNothingAndSayGoodbye) {
  CapturedLog log;
  {
    Wld world("Dragon test");
    EXPECT_EQ(world.dragons.m_cnt, 0);
    EXPECT_EQ(world.dragons.m_wld, &world);
    EXPECT_EQ(sizeof(world.dragons.m_storage), 52352u);
    for (uint8_t b : world.dragons.m_storage) ASSERT_EQ(b, 0);
  }
  EXPECT_TRUE(log.HasLine("Cleaned up 0 dragons."));
}

}  // namespace
