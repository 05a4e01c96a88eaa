// The world record: construction and destruction of the parts, posting, the frame tick and the scene dump.
#include "world/wld.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "system/file.h"
#include "utility/log.h"
#include "utility/message.h"
#include "utility/simplex_noise.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/actors_planning.h"

Wld* wld = nullptr;

Dragons::Dragons(Wld* world) : m_wld(world) {}

Dragons::~Dragons() { LOGI("Cleaned up %d dragons.", m_cnt); }

Wld::Wld(const char* name)
    : m_version(WLD_VERSION),
      m_name(),
      m_age(0.0),
      globe(this),
      actors(this),
      dragons(this),
      items(this),
      trees(this),
      rocks(this),
      minerals(this),
      buildings(this),
      demand(this),
      tutor(this),
      m_outbox(nullptr) {
  m_name.Set(name);
  // The noise tables are process-wide but belong to the world: only one world exists at a time.
  SimplexNoiseInit();
}

Wld::~Wld() {
  // A worker may still search this world; it must be done with it before the first part goes.
  ReleaseServices();
  LOGI("Destroying world '%s'", m_name.c_str());
  m_name.Clear();
  m_outbox = nullptr;
  SimplexNoiseExit();
  // The parts are destroyed after this body, in reverse order of declaration.
}

void Wld::ReleaseServices() {
  PlanningServiceCancel(&actors);
  PathingServiceCancel(&actors);
  actors.ReapPlanRequest();
  PathRequestReap(actors);
}

bool Wld::Post(const char* text) { return !m_outbox || m_outbox->Append(text); }

bool Wld::PostF(const char* format, ...) {
  if (!m_outbox) return true;
  char text[256];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  return Post(text);
}

static bool PostStatText(Wld& world, const Wld::HeldStat& stat) {
  return world.PostF("intstat name=%s %s=%d%s", stat.name, stat.value ? "val" : "delta", stat.delta,
                     stat.sync ? " sync=1" : "");
}

// Posts the statistic, or holds it until a later frame: a delta is added to one held under the
// same name, a value replaces it.
static void PostOrHold(Wld& world, const Wld::HeldStat& stat) {
  if (!stat.name) return;
  // Held ones of the name go first, so their order is kept.
  world.RetryStats();
  for (int i = 0; i < world.m_heldStatCount; ++i) {
    Wld::HeldStat& held = world.m_heldStats[i];
    if (strcmp(held.name, stat.name) != 0 || held.value != stat.value) continue;
    held.delta = stat.value ? stat.delta : held.delta + stat.delta;
    held.sync |= stat.sync;
    return;
  }
  if (PostStatText(world, stat)) return;
  if (world.m_heldStatCount >= Wld::c_heldStatLimit) {
    LOGE("No room to hold the statistic %s; %s %d lost.", stat.name, stat.value ? "value" : "delta", stat.delta);
    return;
  }
  world.m_heldStats[world.m_heldStatCount++] = stat;
}

void Wld::PostStat(const char* name, int delta, bool sync) {
  PostOrHold(*this, HeldStat{name, delta, static_cast<uint8_t>(sync ? 1 : 0), 0});
}

void Wld::PostStatValue(const char* name, int value, bool sync) {
  PostOrHold(*this, HeldStat{name, value, static_cast<uint8_t>(sync ? 1 : 0), 1});
}

void Wld::RetryStats() {
  int kept = 0;
  for (int i = 0; i < m_heldStatCount; ++i) {
    const HeldStat held = m_heldStats[i];
    if (!PostStatText(*this, held)) m_heldStats[kept++] = held;
  }
  m_heldStatCount = kept;
}

void Wld::Update(int steps, float dt) {
  const float t = static_cast<float>(steps) * dt;
  tutor.Update(t);
  m_age += t;
}

int Wld::LoadTopology(const char* name) { return globe.LoadTopology(name, true); }

int Wld::WriteScene(const char* path) {
  FileHandle f = FileOpenWrite(path, false);
  if (!f) {
    LOGE("Failed to open '%s' for writing.", path);
    return -1;
  }
  static const char c_head[] =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.0\">\n"
      "  <library_visual_scenes>\n"
      "    <visual_scene id=\"Vyx\">\n";
  static const char c_tail[] =
      "    </visual_scene>\n"
      "  </library_visual_scenes>\n"
      "  <scene>\n"
      "    <instance_visual_scene url=\"#Vyx\" />\n"
      "  </scene>\n"
      "</COLLADA>\n";
  bool ok = FileWrite(f, c_head, sizeof(c_head) - 1) == sizeof(c_head) - 1;
  if (ok) {
    for (int k = 0; k < NUMTREEKINDS; ++k) trees.WriteScene(f, k, treeKindNames[k]);
    for (int k = 0; k < NUMROCKKINDS; ++k) rocks.WriteScene(f, k, rockKindNames[k]);
    buildings.WriteScene(f);
  }
  ok = ok && FileWrite(f, c_tail, sizeof(c_tail) - 1) == sizeof(c_tail) - 1;
  FileClose(f);
  if (!ok) {
    LOGE("Failed to write scene '%s'.", path);
    return -1;
  }
  LOGI("Wrote dump to %s", path);
  return 0;
}
