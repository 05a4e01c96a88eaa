// Development tool: photographs the world labels and panels of a generated world (site needs, a full store, the
// hovered tile's number, the speech panel and the tutor box) so they can be looked at.
#include <SDL2/SDL.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "graphics/gl/graphics.h"
#include "graphics/vis/vis.h"
#include "system/file.h"
#include "system/input.h"
#include "system/window.h"
#include "tools/shot_world.h"
#include "utility/log.h"
#include "utility/message.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/actors_planning.h"
#include "world/planet/terraform.h"
#include "world/planet/worldgen.h"
#include "world/sim/sim_frame.h"
#include "world/wld.h"

namespace {

void Usage() {
  printf(
      "usage: label_shots [options] OUTDIR\n"
      "  --size N       planet size 0..5 (default 4)\n"
      "  --variant N    random variant (default 0)\n"
      "  --seconds S    simulated seconds before the shots (default 30)\n"
      "  --zoom Z       camera height over the player's character (default 0.07)\n"
      "writes OUTDIR/labels_sites.png (site needs, STORE FULL, the tile number under the pointer),\n"
      "OUTDIR/labels_speech.png (the speech panel) and OUTDIR/labels_game.png (the game's own camera).\n");
}

// A land tile around the centre that carries no building yet, searching outward ring by ring.
int FreeLandNear(const Wld& world, int centre, int skip) {
  const Globe& globe = world.globe;
  int ring[64], next[64 * 6];
  int n = 0, k = 0;
  ring[n++] = centre;
  for (int depth = 0; depth < 3; ++depth) {
    k = 0;
    for (int i = 0; i < n; ++i)
      for (int s = 0; s < 6 && k < 64 * 6; ++s) {
        const int t = globe.m_nodes[ring[i]].neighbours[s];
        if (!globe.IsValid(t)) continue;
        next[k++] = t;
        if (globe.m_nodes[t].type == TP_LAND && world.buildings.Find(t, nullptr) < 0 && skip-- <= 0) return t;
      }
    n = k < 64 ? k : 64;
    memcpy(ring, next, sizeof(int) * n);
  }
  return -1;
}

void LookFromAbove(Vis* vis, const Wld& world, int tile, float zoom) {
  CameraLookFrom(&vis->m_camera, world.globe.m_trfs[tile].GetTranslation());
  vis->m_camera.m_zoom = vis->m_camera.m_zoomTarget = zoom;
  vis->m_camera.m_tilt = 0.2f;
  vis->m_camFrom = vis->m_camTo = c_camPlanet;
  vis->m_camBlend = 1.0f;
}

// Two frames (the first settles the camera and the pointer's depth), the second written out.
bool Shoot(Vis* vis, Wld* world, const std::string& path) {
  VisFrame(vis, 1.0f / 240.0f, 1, 1.0f / 240.0f, world);
  VisFrame(vis, 1.0f / 240.0f, 1, 1.0f / 240.0f, world);
  vis->m_capturePath = path.c_str();
  VisFrame(vis, 1.0f / 240.0f, 1, 1.0f / 240.0f, world);
  vis->m_capturePath = nullptr;
  LOGI("Shot %s: %s", path.c_str(), vis->m_captureOk ? "written" : "FAILED");
  return vis->m_captureOk;
}

}  // namespace

int main(int argc, char** argv) {
  int size = 4, variant = 0;
  double seconds = 30.0;
  float zoom = 0.07f;
  std::string out;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (a == "--size" && v) {
      size = atoi(v), ++i;
    } else if (a == "--variant" && v) {
      variant = atoi(v), ++i;
    } else if (a == "--seconds" && v) {
      seconds = atof(v), ++i;
    } else if (a == "--zoom" && v) {
      zoom = static_cast<float>(atof(v)), ++i;
    } else if (a[0] != '-' && out.empty()) {
      out = a;
    } else {
      Usage();
      return 2;
    }
  }
  if (out.empty() || size < 0 || size > 5 || seconds < 0.0) {
    Usage();
    return 2;
  }
  std::error_code ec;
  std::filesystem::create_directories(out, ec);
  const int width = 1280, height = 720;
  std::string user;
  if (!ShotWindowOpen("labels", width, height, &user)) return 1;
  int status = 0;
  {
    Vis vis;
    static Packet outbox;
    Wld* world = ShotWorldMake(&vis, "Labels", size, variant, &outbox);
    if (!world) {
      status = 1;
    } else {
      const float dt = 1.0f / 240.0f;
      // Coarse frames until the shots: the window's drawing is what takes the time here.
      for (double t = 0.0; t < seconds; t += 32 * dt) {
        SimFrame(&outbox, 32, dt, world);
        if (!VisFrame(&vis, 32 * dt, 32, dt, world)) break;
      }
      const int player = world->actors.FindPlayer();
      int home = -1;
      for (int b = 0; b < world->buildings.m_cnt && home < 0; ++b)
        if (world->buildings.InUse(b) && (world->globe.Attribs(world->buildings.m_loca[b]) & AT_STORAGE))
          home = world->buildings.m_loca[b];
      if (player < 0 || !world->globe.IsValid(home)) {
        LOGE("No player's character or no store to look at.");
        status = 1;
      } else {
        // A street site with one stone brought, a factory site blocked by trees, and every
        // storage building full.
        const int street = FreeLandNear(*world, home, 0), factory = FreeLandNear(*world, home, 3);
        if (street >= 0) {
          world->buildings.Add("ssconstruction", street, AT_STONECONSTRUCTION | AT_ROADCONSTRUCTION);
          world->items.Add("stone", street, IS_MATERIAL);
        }
        if (factory >= 0) {
          world->buildings.Add("faconstruction", factory, AT_FACTCONSTRUCTION);
          world->items.Add("lumber", factory, IS_MATERIAL);
          world->globe.AttribsSet(factory, AT_WOODYBLOCK);
        }
        for (int b = 0; b < world->buildings.m_cnt; ++b)
          if (world->buildings.InUse(b) && (world->globe.Attribs(world->buildings.m_loca[b]) & AT_STORAGE))
            world->globe.AttribsSet(world->buildings.m_loca[b], AT_FILLEDSTORAGE);
        LOGI("Street site on tile %d, factory site on tile %d, store on tile %d.", street, factory, home);

        // The tile number follows the pointer, put beside the store.
        vis.m_overlay.GetOptions().m_debugFlags |= DF_TILE_INFO;
        SDL_WarpMouseInWindow(SDL_GL_GetCurrentWindow(), width / 2 + 200, height / 2 + 120);
        LookFromAbove(&vis, *world, home, zoom);
        if (!Shoot(&vis, world, out + "/labels_sites.png")) status = 1;
        LOGI("Tile under the pointer: %d.", vis.m_pick.m_hoverTile);

        // The speech panel, with the pointer on its second choice.
        world->actors.m_planActions[player][0] = "greet";
        world->actors.m_planSize[player] = 1;
        world->actors.m_planStage[player] = 0;
        const int partner = player == 0 ? 1 : 0;  // whoever is greeted gives the panel its title
        const uint64_t partnerStat = world->actors.m_stat[partner];
        world->actors.m_stat[partner] |= ST_ENGAGED;
        vis.m_overlay.GetOptions().m_debugFlags &= ~DF_TILE_INFO;
        SDL_WarpMouseInWindow(SDL_GL_GetCurrentWindow(), width / 2, 16 + height * 4 / 10 * 4 / 11);
        if (!Shoot(&vis, world, out + "/labels_speech.png")) status = 1;
        world->actors.m_planSize[player] = 0;
        world->actors.m_planStage[player] = -1;
        world->actors.m_stat[partner] = partnerStat;
        if (!Shoot(&vis, world, out + "/labels_game.png")) status = 1;
      }
      ShotWorldFree(&vis, world);
    }
  }
  ShotWindowClose(user);
  return status;
}
