// Buildings: adding and removing buildings, marking their tiles, and the per-step material flow to sites.
#include "world/parts/buildings.h"

#include <cstdio>
#include <cstring>

#include "utility/log.h"
#include "world/parts/items.h"
#include "world/parts/rocks.h"
#include "world/parts/trees.h"
#include "world/planet/globe.h"
#include "world/wld.h"

namespace {

constexpr uint64_t c_siteBits = AT_BRIDGECONSTRUCTION | AT_DECKCONSTRUCTION | AT_FACTCONSTRUCTION | AT_ROADCONSTRUCTION;

// Builders start once this much of every wanted material lies on a site, whatever its kind.
constexpr int c_suppliedThreshold = 3;

bool StartsWith(const char* text, const char* prefix) { return strncmp(text, prefix, strlen(prefix)) == 0; }

// Which material tally a loose item feeds, or which factory site it marks, judged from its name
// alone so the test stays cheap: 0 lumber, 1 stone, 2 a factory site, -1 nothing of interest.
int FlowRole(const FixedString& name) {
  switch (name.Length()) {
    case 6:
      return memcmp(name.c_str(), "lumber", 6) == 0 ? 0 : -1;
    case 5:
      return memcmp(name.c_str(), "stone", 5) == 0 ? 1 : -1;
    case 10:
      return memcmp(name.c_str(), "smithysite", 10) == 0 ? 2 : -1;
    case 11:
      return (memcmp(name.c_str(), "sawmillsite", 11) == 0 || memcmp(name.c_str(), "smeltersite", 11) == 0 ||
              memcmp(name.c_str(), "storagesite", 11) == 0)
                 ? 2
                 : -1;
    default:
      return -1;
  }
}

}  // namespace

Buildings::Buildings(Wld* wld) : m_wld(wld) {
  memset(static_cast<void*>(m_name), 0, sizeof(m_name));
  memset(m_loca, 0, sizeof(m_loca));
  memset(static_cast<void*>(m_trfs), 0, sizeof(m_trfs));
  memset(m_rsto, 0, sizeof(m_rsto));
  memset(m_rwoo, 0, sizeof(m_rwoo));
}

Buildings::~Buildings() {
  LOGI("Cleaned up %d buildings.", m_cnt);
  m_cnt = 0;
  delete[] m_lumberAt;
  delete[] m_stoneAt;
  m_lumberAt = m_stoneAt = nullptr;
}

int Buildings::Add(const char* name, int tile, uint64_t bits) {
  if (m_cnt >= MAXBUILDINGS) {
    LOGE("Exceeded maximum(%d) number of buildings.", MAXBUILDINGS);
    ASSERTT(m_cnt < MAXBUILDINGS, "m_cnt < MAXBUILDINGS");
    return -1;
  }
  Globe& globe = m_wld->globe;
  if (!name || !name[0] || !globe.IsValid(tile)) {
    LOGE("Cannot add building '%s' at illegal tile %d.", name ? name : "", tile);
    return -1;
  }
  const int n = m_cnt;
  m_name[n].Set(name);
  m_loca[n] = tile;
  m_trfs[n] = globe.m_trfs ? globe.m_trfs[tile] : Matrix44();
  m_rsto[n] = 0;
  m_rwoo[n] = 0;
  globe.AttribsSet(tile, bits | AT_URBAN);
  globe.ClaimOpen(tile);
  for (int k = 0; k < 6; ++k) {
    const int nb = globe.m_nodes[tile].neighbours[k];
    if (globe.IsValid(nb)) globe.AttribsSet(nb, AT_URBAN);
  }
  if (globe.Attribs(tile) & c_siteBits) {
    // A site under trees or rocks gets no material until it has been cleared.
    if (m_wld->trees.IsBlocked(tile, -1) > 0) {
      globe.AttribsClear(tile, AT_WOODCONSTRUCTION | AT_STONECONSTRUCTION);
      globe.AttribsSet(tile, AT_WOODYBLOCK);
    }
    if (m_wld->rocks.IsBlocked(tile, -1) > 0) {
      globe.AttribsClear(tile, AT_WOODCONSTRUCTION | AT_STONECONSTRUCTION);
      globe.AttribsSet(tile, AT_ROCKYBLOCK);
    }
  }
  m_cnt += 1;
  int wood = 0, stone = 0;
  if (SiteMaterials(n, &wood, nullptr, &stone, nullptr)) {
    m_rwoo[n] = wood;
    m_rsto[n] = stone;
  }
  return n;
}

int Buildings::Remove(int slot) {
  if (!InUse(slot)) {
    LOGE("Cannot remove building %d: no such building.", slot);
    return -1;
  }
  const int tile = m_loca[slot];
  m_name[slot].Clear();
  m_loca[slot] = -1;
  return tile;
}

int Buildings::Find(int tile, const char* name) const {
  if (tile < 0) return -1;
  for (int i = 0; i < m_cnt; ++i)
    if (m_loca[i] == tile && !m_name[i].Empty() && (!name || m_name[i].Equals(name))) return i;
  return -1;
}

int Buildings::CountNamed(const char* prefix) const {
  if (!prefix) return 0;
  int count = 0;
  for (int i = 0; i < m_cnt; ++i)
    if (!m_name[i].Empty() && StartsWith(m_name[i].c_str(), prefix)) ++count;
  return count;
}

bool Buildings::FaceTowards(int slot, int tile, bool away) {
  const Globe& globe = m_wld->globe;
  if (!InUse(slot) || !globe.IsValid(tile) || !globe.m_trfs) {
    LOGE("Cannot turn building %d towards tile %d.", slot, tile);
    return false;
  }
  m_trfs[slot] = FacingFrame(m_trfs[slot], globe.m_trfs[tile].GetTranslation(), away);
  return true;
}

bool Buildings::SiteMaterials(int slot, int* woodNeeded, int* lumberLying, int* stoneNeeded, int* stoneLying) const {
  if (!InUse(slot)) return false;
  const FixedString& name = m_name[slot];
  int wood = 0, stone = 0;
  if (name.Equals("brconstruction")) {
    wood = 3, stone = 3;
  } else if (StartsWith(name.c_str(), "dkconstruction") || name.Equals("faconstruction")) {
    wood = 3;
  } else if (name.Equals("ssconstruction") || name.Equals("slconstruction") || name.Equals("srconstruction") ||
             name.Equals("plconstruction")) {
    stone = 3;
  } else {
    return false;
  }
  const Items& items = m_wld->items;
  if (woodNeeded) *woodNeeded = wood;
  if (stoneNeeded) *stoneNeeded = stone;
  if (lumberLying) *lumberLying = items.CountAt("lumber", m_loca[slot], false);
  if (stoneLying) *stoneLying = items.CountAt("stone", m_loca[slot], false);
  return true;
}

int Buildings::UpdateFlows() {
  Globe& globe = m_wld->globe;
  const Items& items = m_wld->items;
  const int sz = globe.m_sz;
  if (sz <= 0) return 0;
  if (m_tallySize != sz) {
    delete[] m_lumberAt;
    delete[] m_stoneAt;
    m_lumberAt = new uint16_t[sz]();
    m_stoneAt = new uint16_t[sz]();
    m_tallySize = sz;
  }

  // One pass over the items: loose lumber and stone per tile, and the factory-site markers.
  int touched[MAXITEMS];
  int numTouched = 0;
  int siteItems[MAXITEMS];
  int numSiteItems = 0;
  const int itemCount = items.m_cnt < MAXITEMS ? items.m_cnt : MAXITEMS;
  for (int i = 0; i < itemCount; ++i) {
    if (items.m_name[i].Empty()) continue;
    const int role = FlowRole(items.m_name[i]);
    if (role < 0) continue;
    const int t = items.m_loca[i];
    if (t < 0 || t >= sz) continue;
    if (role == 2) {
      siteItems[numSiteItems++] = i;
      continue;
    }
    if (items.m_carr[i] != -1) continue;
    uint16_t* tally = role == 0 ? m_lumberAt : m_stoneAt;
    if (m_lumberAt[t] == 0 && m_stoneAt[t] == 0) touched[numTouched++] = t;
    if (tally[t] < UINT16_MAX) tally[t] += 1;
  }

  int examined = 0;
  for (int b = 0; b < m_cnt; ++b) {
    if (m_name[b].Empty()) continue;
    const int loc = m_loca[b];
    if (!(loc >= 0 && loc < globe.m_sz)) {
      ASSERTM(loc >= 0 && loc < globe.m_sz, "Loc of building nr %d named '%s' is %d, which is out of range 0..%d", b,
              m_name[b].c_str(), loc, globe.m_sz - 1);
      continue;
    }
    const uint64_t a = globe.Attribs(loc);
    if ((a & c_siteBits) == 0 || (a & (AT_WOODYBLOCK | AT_ROCKYBLOCK))) continue;
    const int need = (a & AT_BRIDGECONSTRUCTION) ? 8 : 3;
    const bool wantsWood = (a & (AT_BRIDGECONSTRUCTION | AT_DECKCONSTRUCTION | AT_FACTCONSTRUCTION)) != 0;
    const bool wantsStone = (a & (AT_BRIDGECONSTRUCTION | AT_ROADCONSTRUCTION)) != 0;
    const int lumber = m_lumberAt[loc];
    const int stone = m_stoneAt[loc];
    if ((a & AT_WOODCONSTRUCTION) && lumber >= need) {
      globe.AttribsClear(loc, AT_WOODCONSTRUCTION);
      LOGI("Stopped the flow of wood to tile %d", loc);
    }
    if ((a & AT_STONECONSTRUCTION) && stone >= need) {
      globe.AttribsClear(loc, AT_STONECONSTRUCTION);
      LOGI("Stopped the flow of stone to tile %d", loc);
    }
    if (wantsWood && lumber < need) globe.AttribsSet(loc, AT_WOODCONSTRUCTION);
    if (wantsStone && stone < need) globe.AttribsSet(loc, AT_STONECONSTRUCTION);
    const bool supplied =
        (!wantsWood || lumber >= c_suppliedThreshold) && (!wantsStone || stone >= c_suppliedThreshold);
    if (supplied) {
      uint64_t s = 0;
      if (a & AT_BRIDGECONSTRUCTION) s |= AT_SUPPLIEDBRIDGEWORK;
      if (a & AT_ROADCONSTRUCTION) s |= AT_SUPPLIEDROADWORK;
      if (a & AT_DECKCONSTRUCTION) s |= AT_SUPPLIEDDECKWORK;
      if (a & AT_FACTCONSTRUCTION) s |= AT_SUPPLIEDFACTWORK;
      globe.AttribsSet(loc, s);
    }
    ++examined;
  }

  // The tallies go back to zero for the next step; only the tiles written are touched.
  for (int i = 0; i < numTouched; ++i) m_lumberAt[touched[i]] = m_stoneAt[touched[i]] = 0;

  for (int i = 0; i < numSiteItems; ++i) {
    const int t = items.m_loca[siteItems[i]];
    if ((globe.Attribs(t) & AT_FACTCONSTRUCTION) || !globe.IsLevel(t)) continue;
    // A full table would leave the tile marked as a site that no building stands on, and the
    // attempt would repeat every step: leave the marker waiting instead, and say so once.
    if (m_cnt >= MAXBUILDINGS) {
      if (!m_fullReported) LOGW("No room for another building: the site on tile %d waits.", t);
      m_fullReported = true;
      continue;
    }
    globe.AttribsSet(t, AT_WOODCONSTRUCTION | AT_FACTCONSTRUCTION);
    if (Add("faconstruction", t, 0) < 0) {
      globe.AttribsClear(t, AT_WOODCONSTRUCTION | AT_FACTCONSTRUCTION);
      continue;
    }
    LogEvent("Building site is now level. Commencing construction.");
  }
  return examined;
}

int Buildings::WriteScene(FileHandle file) const {
  const float s = 0.5f * m_wld->globe.m_hexw;
  const Matrix44 scale = Matrix44::Scale(Vec3{s, s, s});
  char line[1024];
  int written = 0;
  for (int b = 0; b < m_cnt; ++b) {
    if (m_name[b].Empty()) continue;
    const Matrix44 m = m_trfs[b] * scale;
    const int len = snprintf(line, sizeof(line),
                             "      <node><matrix>%f %f %f %f %f %f %f %f %f %f %f %f %f %f %f "
                             "%f</matrix><instance_node url=\"buildings.dae#%s\" /></node>\n",
                             m.m[0], m.m[4], m.m[8], m.m[12], m.m[1], m.m[5], m.m[9], m.m[13], m.m[2], m.m[6], m.m[10],
                             m.m[14], m.m[3], m.m[7], m.m[11], m.m[15], m_name[b].c_str());
    if (len > 0) FileWrite(file, line, static_cast<size_t>(len));
    ++written;
  }
  return written;
}
