// The tutorial: a figure that speaks one line per stage and moves on when the player has done what it asked.
#include "world/parts/tutor.h"

#include <cstring>

#include "quarnplan256/goap.h"
#include "utility/log.h"
#include "world/actors/actors_interventions.h"
#include "world/save/save_stream.h"
#include "world/wld.h"

const char* const tutorTexts[NUMTUTORSTAGES + 1] = {
    "Vozi says:\nWelcome, chosen one! Let us\nstart with freeing your peers.",
    "Vozi says:\nOne of the chests should have\na bolt cutter in it.",
    "Vozi says:\nPick up the bolt cutter.",
    "Vozi says:\nWalk over to that poor friend,\nso cruely imprisoned by humans.",
    "Vozi says:\nFreedom for all Orcs!",
    "Vozi says:\nWe should build a sawmill. Go\npick up that red/white stick.",
    "Vozi says:\nFind some flat terrain and\nstake out the building site.",
    "Vozi says:\nTell your friend to procure\nthe wood for the decks.",
    "Vozi says:\nFind a hammer to build the\ndecks. Maybe delegate?",
    "Vozi says:\nBuild the sawmill.",
    "Vozi says:\nGreat! now build a bridge to\nanother island.",
    "Vozi says:\nYou can accelerate time by\nholding down the TAB key.",
    nullptr,
};

static const char c_idle[] = "idle";
static const char c_talk[] = "talk";

Tutor::Tutor(Wld* wld) : m_wld(wld), m_animation(c_idle) {}

void Tutor::SetStage(int stage) {
  if (stage < -1 || stage > NUMTUTORSTAGES) {
    LOGE("Tutorial stage %d does not exist; the tutorial stays at stage %d.", stage, m_stage);
    return;
  }
  m_stage = stage;
  if (stage >= 0 && tutorTexts[stage]) {
    m_animation = c_talk;
    m_timer = 0.0;
    if (m_wld) m_wld->Post("soundeffect name=ting tile=-1");
  } else {
    m_stage = -1;
  }
}

void Tutor::Start() {
  m_stage = 0;
  m_startTile = -1;
}

const char* Tutor::Text() const {
  if (m_stage < 0 || m_stage >= NUMTUTORSTAGES) return nullptr;
  return tutorTexts[m_stage];
}

// True when one of the tile's neighbours has any of the attribute bits.
static bool NeighbourHas(const Globe& globe, int tile, uint64_t bits) {
  if (!globe.IsValid(tile) || !globe.m_nodes) return false;
  const GridNode& node = globe.m_nodes[tile];
  for (int k = 0; k < 6; ++k) {
    const int n = node.neighbours[k];
    if (globe.IsValid(n) && (globe.Attribs(n) & bits)) return true;
  }
  return false;
}

static bool Listed(const char* const* names, int count, const char* name) {
  for (int i = 0; i < count; ++i)
    if (names[i] && !strcmp(names[i], name)) return true;
  return false;
}

void Tutor::Update(double dt) {
  if (m_stage < 0 || !m_wld) return;
  m_timer += dt;
  if (m_timer > c_tutorTalkSeconds && !strcmp(m_animation, c_talk)) {
    m_animation = c_idle;
    m_timer = 0.0;
  }
  const Actors& actors = m_wld->actors;
  const Items& items = m_wld->items;
  const Globe& globe = m_wld->globe;
  const int p = actors.FindPlayer();
  if (p < 0) return;
  const int loc = actors.m_loca[p];

  if (m_stage == 0) {
    if (m_startTile < 0) m_startTile = loc;
    if (loc != m_startTile) return SetStage(1);
  }
  if (m_stage < 2 && items.FindAt("boltcutter", loc, true) >= 0) return SetStage(2);
  if (m_stage < 3 && items.FindCarried("boltcutter", p) >= 0) return SetStage(3);
  if (m_stage < 5) {
    // Every action the character could start is looked at: a short list could leave "free" or
    // "greet" out when many actions are possible, and the tutorial would then wait for ever.
    const char* names[MAXACTIONS] = {};
    const int count = AvailableActions(actors, p, names, MAXACTIONS);
    if (m_stage < 4 && Listed(names, count, "free")) return SetStage(4);
    if (Listed(names, count, "greet")) return SetStage(5);
  }
  if (m_stage < 6 && items.FindCarried("sawmillmarker", p) >= 0) return SetStage(6);
  if (m_stage < 7 && items.FindAt("sawmillsite", loc, true) >= 0) return SetStage(7);
  if (m_stage < 9) {
    int sites[4];
    if (items.FindNamed("sawmillsite", sites, 4) > 0) {
      const int siteTile = items.m_loca[sites[0]];
      if (m_stage < 8 && NeighbourHas(globe, siteTile, AT_SUPPLIEDDECKWORK)) return SetStage(8);
      if (globe.IsValid(siteTile) && (globe.Attribs(siteTile) & AT_FACTCONSTRUCTION)) return SetStage(9);
    }
  }
  if (m_stage <= 9 && m_wld->buildings.CountNamed("sawmill") > 0) return SetStage(10);
  if (m_stage == 10 && m_wld->buildings.CountNamed("brconstruction") > 0) return SetStage(11);
  if (m_stage == 11 && m_fastForward) return SetStage(12);
}

size_t Tutor::Serialize(SaveStream& s) {
  const bool write = s.Writing();
  int32_t stage = m_stage;
  const size_t got = s.Field(&stage, sizeof(stage), "written == sizeof(m_stage)");
  if (!write) {
    if (got != sizeof(stage)) {
      stage = -1;
    } else if (stage < -1 || stage >= NUMTUTORSTAGES) {
      LOGW("Stored tutorial stage %d is out of range; the tutorial is skipped.", stage);
      stage = -1;
    }
    m_stage = stage;
    m_timer = 0.0;
    m_animation = c_idle;
    m_startTile = -1;
  }
  LOGI("Serialized %zu bytes for tutor %s disk.", got, s.Direction());
  return got;
}
