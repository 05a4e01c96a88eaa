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

static bool PostStatText(Wld& world, const char* name, int delta, bool sync) {
  return world.PostF("intstat name=%s delta=%d%s", name, delta, sync ? " sync=1" : "");
}

void Wld::PostStat(const char* name, int delta, bool sync) {
  if (!name) return;
  // Held deltas of the name go first, so the order of the sums is kept.
  RetryStats();
  for (int i = 0; i < m_heldStatCount; ++i) {
    if (strcmp(m_heldStats[i].name, name) != 0) continue;
    m_heldStats[i].delta += delta;
    m_heldStats[i].sync |= sync ? 1 : 0;
    return;
  }
  if (PostStatText(*this, name, delta, sync)) return;
  if (m_heldStatCount >= c_heldStatLimit) {
    LOGE("No room to hold the statistic %s; delta %d lost.", name, delta);
    return;
  }
  m_heldStats[m_heldStatCount++] = HeldStat{name, delta, static_cast<uint8_t>(sync ? 1 : 0)};
}

void Wld::RetryStats() {
  int kept = 0;
  for (int i = 0; i < m_heldStatCount; ++i) {
    const HeldStat held = m_heldStats[i];
    if (!PostStatText(*this, held.name, held.delta, held.sync != 0)) m_heldStats[kept++] = held;
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
