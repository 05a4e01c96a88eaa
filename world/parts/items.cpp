// Items: adding, removing, finding, carrying and dropping items, and the planner facts they give.
#include "world/parts/items.h"

#include <algorithm>
#include <cstring>

#include "quarnplan256/goap.h"
#include "utility/log.h"
#include "world/planet/globe.h"
#include "world/wld.h"

#define ITEMTYPE(n) \
  { n, "have" n, "near" n }

const ItemType itemTypes[NUMITEMTYPES] = {
    ITEMTYPE("lumber"),
    ITEMTYPE("stone"),
    ITEMTYPE("woodaxe"),
    ITEMTYPE("pickaxe"),
    ITEMTYPE("hammer"),
    ITEMTYPE("boltcutter"),
    ITEMTYPE("timber"),
    ITEMTYPE("emptybucket"),
    ITEMTYPE("basket"),
    ITEMTYPE("provisions"),
    ITEMTYPE("ironore"),
    ITEMTYPE("manure"),
    ITEMTYPE("ingot"),
    ITEMTYPE("fruit"),
    ITEMTYPE("sawmillmarker"),
    ITEMTYPE("sawmillsite"),
    ITEMTYPE("smeltermarker"),
    ITEMTYPE("smeltersite"),
    ITEMTYPE("smithymarker"),
    ITEMTYPE("smithysite"),
    ITEMTYPE("storagemarker"),
    ITEMTYPE("storagesite"),
    ITEMTYPE("roadmarker"),
    ITEMTYPE("roadsite"),
    ITEMTYPE("bridgemarker"),
    ITEMTYPE("summitmarker"),
    ITEMTYPE("buoy"),
    ITEMTYPE("poop"),
    ITEMTYPE("redgem"),
    ITEMTYPE("greengem"),
    ITEMTYPE("yellowgem"),
    ITEMTYPE("bluegem"),
    ITEMTYPE("cyangem"),
    ITEMTYPE("pinkgem"),
    ITEMTYPE("purplegem"),
    ITEMTYPE("orangegem"),
    ITEMTYPE("chest"),
    {},
    {},
    {},
    {},
    {},
    {},
};

#undef ITEMTYPE

static bool NameIs(const FixedString& s, const char* name) { return !name || !strcmp(s.c_str(), name); }

static void CountChange(Wld* world) {
  if (world) ++world->m_changes;
}

Items::Items(Wld* wld) : m_wld(wld) {
  memset(m_loca, 0, sizeof(m_loca));
  memset(m_carr, 0, sizeof(m_carr));
  memset(m_clai, 0, sizeof(m_clai));
  memset(static_cast<void*>(m_name), 0, sizeof(m_name));
  memset(m_type, 0, sizeof(m_type));
  memset(m_stat, 0, sizeof(m_stat));
  memset(m_tphs, 0, sizeof(m_tphs));
  memset(m_tspe, 0, sizeof(m_tspe));
}

Items::~Items() {
  LOGI("Cleaned up %d items.", m_cnt);
  m_cnt = 0;
}

int Items::Add(const char* name, int tile, uint64_t status) {
  // World generation passes -1 when it found no tile; such an item would sit nowhere.
  const int sz = m_wld ? m_wld->globe.m_sz : 0;
  if (tile < 0 || (m_wld && tile >= sz)) {
    LOGE("Cannot add item '%s' at illegal tile %d.", name ? name : "", tile);
    return -1;
  }
  int slot = 0;
  while (slot < MAXITEMS && !m_name[slot].Empty()) ++slot;
  if (slot == MAXITEMS) {
    // A full table stays full for a while and everything that makes items asks again every
    // step: one line for the run, and its length when a slot frees up.
    if (m_refusedAdds++ == 0) LOGE("Too many(%d) items in the world. Cannot add more.", MAXITEMS);
    m_roomWanted = std::max(m_roomWanted, 1);
    return -1;
  }
  if (m_refusedAdds > 1) LOGI("The full item table refused %d items in a row.", m_refusedAdds);
  m_refusedAdds = 0;
  m_loca[slot] = tile;
  m_carr[slot] = -1;
  m_clai[slot] = -1;
  m_name[slot].Set(name);
  m_type[slot] = TypeByName(name);
  m_stat[slot] = status;
  if (slot >= m_cnt) m_cnt = slot + 1;
  CountChange(m_wld);
  return slot;
}

int Items::Remove(int slot) {
  if (!InUse(slot)) {
    LOGE("Failed to remove non existing item %d", slot);
    return -1;
  }
  m_name[slot].Clear();
  m_stat[slot] = 0;
  m_tphs[slot] = 0.0f;
  m_tspe[slot] = 0.0f;
  m_carr[slot] = -1;
  m_loca[slot] = -1;
  m_type[slot] = -1;
  m_clai[slot] = -1;
  if (m_roomWanted) {
    CountChange(m_wld);
    if (FreeSlots() >= m_roomWanted) m_roomWanted = 0;
  }
  return slot;
}

int Items::FreeSlots() const {
  int free = MAXITEMS - m_cnt;
  for (int i = 0; i < m_cnt; ++i) free += m_name[i].Empty();
  return free;
}

bool Items::HasRoomFor(int count) {
  if (FreeSlots() >= count) return true;
  m_roomWanted = std::max(m_roomWanted, count);
  return false;
}

int Items::TypeByName(const char* name) {
  if (name) {
    for (int t = 0; t < NUMITEMTYPES && itemTypes[t].name; ++t)
      if (!strcmp(itemTypes[t].name, name)) return t;
  }
  LOGI("No Type for '%s'", name ? name : "");
  return -1;
}

// The first slot from `from` on (below `count`) whose carrier is the character, or `count`. Demand
// and goal choice ask this for every character every step over a table of thousands of slots of
// which a handful are carried, so sixteen carriers are compared at a time.
static int NextCarriedBy(const int32_t* carr, int from, int count, int character) {
  typedef int32_t V4i __attribute__((vector_size(16)));
  const V4i who = {character, character, character, character};
  int i = from;
  for (; i + 16 <= count; i += 16) {
    V4i c[4];
    memcpy(c, carr + i, sizeof(c));
    const V4i hit = (c[0] == who) | (c[1] == who) | (c[2] == who) | (c[3] == who);
    if (hit[0] | hit[1] | hit[2] | hit[3]) break;
  }
  for (; i < count; ++i)
    if (carr[i] == character) return i;
  return count;
}

int Items::FindCarried(const char* name, int character) const {
  for (int i = NextCarriedBy(m_carr, 0, m_cnt, character); i < m_cnt;
       i = NextCarriedBy(m_carr, i + 1, m_cnt, character))
    if (!m_name[i].Empty() && NameIs(m_name[i], name)) return i;
  return -1;
}

int Items::CountCarried(const char* name, int character) const {
  int count = 0;
  for (int i = NextCarriedBy(m_carr, 0, m_cnt, character); i < m_cnt;
       i = NextCarriedBy(m_carr, i + 1, m_cnt, character))
    if (!m_name[i].Empty() && NameIs(m_name[i], name)) ++count;
  return count;
}

int Items::Count(const char* name) const {
  int count = 0;
  for (int i = 0; i < m_cnt; ++i)
    if (!m_name[i].Empty() && NameIs(m_name[i], name)) ++count;
  return count;
}

int Items::CountAt(const char* name, int tile, bool includeCarried) const {
  int count = 0;
  for (int i = 0; i < m_cnt; ++i)
    if (!m_name[i].Empty() && m_loca[i] == tile && (includeCarried || m_carr[i] == -1) && NameIs(m_name[i], name))
      ++count;
  return count;
}

int Items::FindAt(const char* name, int tile, bool includeCarried) const {
  for (int i = 0; i < m_cnt; ++i)
    if (!m_name[i].Empty() && m_loca[i] == tile && (includeCarried || m_carr[i] == -1) && NameIs(m_name[i], name))
      return i;
  return -1;
}

int Items::FindNamed(const char* name, int* out, int capacity) const {
  int count = 0;
  for (int i = 0; i < m_cnt && count < capacity; ++i)
    if (!m_name[i].Empty() && NameIs(m_name[i], name)) out[count++] = i;
  return count;
}

int Items::PickUp(const char* name, int tile, int character) {
  const int slot = FindAt(name, tile, false);
  if (slot < 0 || IsOnSite(slot)) return -1;
  m_clai[slot] = -1;
  m_carr[slot] = character;
  return slot;
}

int Items::Drop(int slot, int tile) {
  if (tile < 0) AssertFailed("location>=0", __FILE__, __LINE__, "Cannot drop item at illegal location %d", tile);
  const int sz = m_wld ? m_wld->globe.m_sz : 0;
  if (tile < 0 || (m_wld && tile >= sz)) {
    LOGE("Cannot drop item %d at illegal tile %d.", slot, tile);
    return -1;
  }
  if (!InUse(slot) || m_carr[slot] == -1) return -1;
  m_loca[slot] = tile;
  m_carr[slot] = -1;
  CountChange(m_wld);
  return slot;
}

void Items::DropAll(int character) {
  bool dropped = false;
  for (int i = 0; i < m_cnt; ++i)
    if (!m_name[i].Empty() && m_carr[i] == character) {
      m_carr[i] = -1;
      dropped = true;
    }
  if (dropped) CountChange(m_wld);
}

void Items::MoveCarried(int character, int tile) {
  for (int i = 0; i < m_cnt; ++i)
    if (!m_name[i].Empty() && m_carr[i] == character) m_loca[i] = tile;
}

bool Items::IsOnSite(int slot) const {
  if (!InUse(slot) || m_carr[slot] != -1 || !m_wld || !m_wld->globe.IsValid(m_loca[slot])) return false;
  const uint64_t bits = m_wld->globe.Attribs(m_loca[slot]);
  return ((bits & AT_WOODCONSTRUCTION) && m_name[slot].Equals("lumber")) ||
         ((bits & AT_STONECONSTRUCTION) && m_name[slot].Equals("stone"));
}

int Items::DemandFor(const char* name) const {
  // Material lying on a storage tile counts as near only while some site or mill wants it, so the
  // answer comes from the demand tracker's tallies of this step.
  if (!m_wld || !name) return 0;
  const Demand& demand = m_wld->demand;
  if (strcmp(name, "lumber") == 0) return demand.Count(DS_WOOD);
  if (strcmp(name, "stone") == 0) return demand.Count(DS_STONE);
  if (strcmp(name, "timber") == 0) return demand.Count(DS_SAWMILL);
  return demand.Count(-1);
}

int Items::StackIndex(int slot) const {
  if (!InUse(slot)) return 0;
  int below = 0;
  for (int i = 0; i < slot; ++i)
    if (!m_name[i].Empty() && m_carr[i] == -1 && m_loca[i] == m_loca[slot]) ++below;
  return below;
}

int Items::SetAtoms(ActionPlanner* ap, WorldState* ws, int character, int tile) const {
  ASSERTT_OR_RETURN(tile >= 0, 0, "location>=0");
  if (!ap || !ws) return 0;
  const uint64_t s = (m_wld && m_wld->globe.IsValid(tile)) ? m_wld->globe.Attribs(tile) : 0;
  const uint64_t site = s & (AT_WATERMILL | AT_BAKERY | AT_WOODCONSTRUCTION | AT_STONECONSTRUCTION |
                             AT_SUPPLIEDBRIDGEWORK | AT_SUPPLIEDROADWORK | AT_SUPPLIEDDECKWORK | AT_SUPPLIEDFACTWORK);
  const bool store = (s & (AT_STORAGE | AT_FILLEDSTORAGE)) != 0;
  int count = 0;
  bool handsFull = false;
  for (int i = 0; i < m_cnt; ++i) {
    if (m_name[i].Empty()) continue;
    const int tp = m_type[i];
    const uint64_t st = m_stat[i];
    if (m_carr[i] == -1 && m_loca[i] == tile) {
      const bool demanded = (st & (IS_TIMBER | IS_MATERIAL)) ? DemandFor(m_name[i].c_str()) > 0 : false;
      const bool delivered = (st & IS_MATERIAL) && site;
      const bool stocked = store && (st & (IS_MATERIAL | IS_TIMBER)) && !demanded;
      if (!delivered && !stocked) {
        ASSERTT(tp >= 0, "tp >= 0");
        if (tp >= 0) {
          StateSet(ap, ws, itemTypes[tp].near, true);
          ++count;
        }
      }
    }
    if (m_carr[i] == character) {
      handsFull = true;
      ASSERTT(tp >= 0, "tp >= 0");
      if (tp >= 0) {
        StateSet(ap, ws, itemTypes[tp].have, true);
        ++count;
      }
    }
  }
  if (handsFull) {
    StateSet(ap, ws, "handsfull", true);
    ++count;
  }
  return count;
}
