// Development tool: runs a generated world in a window with the visualisation and writes PNG screenshots at given
// times (the landing, the camp, the whole planet from far out).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "graphics/gl/graphics.h"
#include "graphics/vis/vis.h"
#include "graphics/vis/vis_input.h"
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

// How a shot looks at the world.
enum ShotView {
  VIEW_GAME = 0,    // whatever camera the game has at that moment
  VIEW_CAMP = 1,    // the planet camera close over the player's character
  VIEW_PLANET = 2,  // the planet camera far out
  VIEW_GEM = 3,     // close over the first glowing item on the ground
};

struct Shot {
  double at;
  ShotView view;
  std::string path;
};

void Usage() {
  printf(
      "usage: vis_shots [options]\n"
      "  --size N            planet size 0..5 (default 4, the game's default planet)\n"
      "  --variant N         random variant (default 0)\n"
      "  --seconds S         simulated seconds to run (default: the last shot)\n"
      "  --steps-per-frame K fixed steps of 1/240 s per frame (default 8)\n"
      "  --shot T:FILE       a screenshot of the game's own camera at T seconds\n"
      "  --camp T:FILE       a screenshot from close over the player's character at T seconds\n"
      "  --planet T:FILE     a screenshot of the whole planet from far out at T seconds\n"
      "  --gem T:FILE        a screenshot from close over the first glowing item at T seconds\n"
      "  --click T:TILE      a click on a tile at T seconds (the player's character walks there)\n"
      "  --walk T:N          a click at T seconds on a land tile about N steps from the player's character\n"
      "  --fast T            fast forward (six times the steps) from T seconds\n"
      "  --crown T           the player's character wears a crown from T seconds (to look at it)\n"
      "  --width W --height H  window size (default 1280 x 720)\n"
      "  --bench N           after the run, time N frames of the world pass and print them\n"
      "  --no-cull           draw everything, also what the camera cannot see (to compare)\n");
}

bool ParseTimed(const char* text, double* at, std::string* rest) {
  const char* colon = strchr(text, ':');
  if (!colon) return false;
  char* end = nullptr;
  *at = strtod(text, &end);
  if (end != colon || *at < 0.0) return false;
  *rest = colon + 1;
  return !rest->empty();
}

// Points the planet camera at a tile (the player's character's by default) from the given height
// and makes it current.
void ViewFromAbove(Vis* vis, const Wld& world, float zoom, float tilt, int tile = -1) {
  if (tile < 0) tile = world.actors.PlayerLocation();
  if (!world.globe.IsValid(tile)) return;
  CameraLookFrom(&vis->m_camera, world.globe.m_trfs[tile].GetTranslation());
  vis->m_camera.m_zoom = vis->m_camera.m_zoomTarget = zoom;
  vis->m_camera.m_tilt = tilt;
  vis->m_camFrom = vis->m_camTo = c_camPlanet;
  vis->m_camBlend = 1.0f;
}

}  // namespace

static double NowMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int main(int argc, char** argv) {
  int size = 4, variant = 0, stepsPerFrame = 8, width = 1280, height = 720, benchFrames = 0;
  double seconds = -1.0, fastFrom = -1.0, crownFrom = -1.0;
  bool cull = true;
  std::vector<Shot> shots;
  std::vector<std::pair<double, int>> clicks;  // tile >= 0, or -steps for a walk
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    double at = 0.0;
    std::string rest;
    if (a == "--help" || a == "-h") {
      Usage();
      return 0;
    }
    if (a == "--no-cull") {
      cull = false;
      continue;
    }
    if (!v) {
      Usage();
      return 2;
    }
    ++i;
    if (a == "--size") {
      size = atoi(v);
    } else if (a == "--variant") {
      variant = atoi(v);
    } else if (a == "--seconds") {
      seconds = atof(v);
    } else if (a == "--steps-per-frame") {
      stepsPerFrame = atoi(v);
    } else if (a == "--width") {
      width = atoi(v);
    } else if (a == "--height") {
      height = atoi(v);
    } else if (a == "--fast") {
      fastFrom = atof(v);
    } else if (a == "--crown") {
      crownFrom = atof(v);
    } else if (a == "--bench") {
      benchFrames = atoi(v);
    } else if ((a == "--shot" || a == "--camp" || a == "--planet" || a == "--gem") && ParseTimed(v, &at, &rest)) {
      shots.push_back({at,
                       a == "--shot"     ? VIEW_GAME
                       : a == "--camp"   ? VIEW_CAMP
                       : a == "--planet" ? VIEW_PLANET
                                         : VIEW_GEM,
                       rest});
    } else if (a == "--click" && ParseTimed(v, &at, &rest)) {
      clicks.push_back({at, atoi(rest.c_str())});
    } else if (a == "--walk" && ParseTimed(v, &at, &rest)) {
      clicks.push_back({at, -std::max(1, atoi(rest.c_str()))});
    } else {
      Usage();
      return 2;
    }
  }
  if (size < 0 || size > 5 || stepsPerFrame < 1 || stepsPerFrame > 72 || width < 64 || height < 64) {
    Usage();
    return 2;
  }
  for (const Shot& s : shots) seconds = std::max(seconds, s.at);
  if (seconds < 0.0) seconds = 1.0;

  std::string user;
  if (!ShotWindowOpen("shots", width, height, &user)) return 1;
  int status = 0;
  {
    Vis vis;
    vis.m_cullHidden = cull;
    static Packet outbox;
    Wld* world = ShotWorldMake(&vis, "Shots", size, variant, &outbox);
    if (!world) {
      status = 1;
    } else {
      const float dt = 1.0f / 240.0f;
      int64_t done = 0;
      const int64_t total = static_cast<int64_t>(std::llround(seconds * 240.0));
      size_t nextShot = 0, nextClick = 0;
      std::sort(shots.begin(), shots.end(), [](const Shot& a, const Shot& b) { return a.at < b.at; });
      std::sort(clicks.begin(), clicks.end());
      double visMs = 0.0;
      int64_t frames = 0;
      while (done < total || nextShot < shots.size()) {
        const double now = done * static_cast<double>(dt);
        while (nextClick < clicks.size() && clicks[nextClick].first <= now) {
          char text[160];
          int tile = clicks[nextClick].second;
          if (tile < 0) {
            // Straight on over land from the player's tile, as far as the steps go.
            int at = world->actors.PlayerLocation(), prev = -1;
            for (int k = 0; k < -clicks[nextClick].second && world->globe.IsValid(at); ++k) {
              const int next =
                  prev < 0 ? world->globe.m_nodes[at].neighbours[2] : world->globe.OppositeNeighbour(prev, at);
              if (!world->globe.IsValid(next) || world->globe.m_nodes[next].type == TP_WATR) break;
              prev = at;
              at = next;
            }
            tile = at;
          }
          for (int down : {1, 0}) {
            snprintf(text, sizeof(text), "leftclick down=%d moved=0 tile=%d actor=-1 modalt=0 modctl=0 modshf=0", down,
                     tile);
            SendToSim(&vis, text);
          }
          ++nextClick;
        }
        if (crownFrom >= 0.0 && now >= crownFrom) {
          const int p = world->actors.FindPlayer();
          if (p >= 0) world->actors.m_stat[p] |= ST_CROWNED;
        }
        int steps = stepsPerFrame * (fastFrom >= 0.0 && now >= fastFrom ? 6 : 1);
        if (steps > total - done && total > done) steps = static_cast<int>(total - done);
        if (done >= total) steps = 1;
        SimFrame(&outbox, steps, dt, world);
        done += steps;
        const double after = done * static_cast<double>(dt);
        bool capture = nextShot < shots.size() && shots[nextShot].at <= after;
        if (capture) {
          if (shots[nextShot].view == VIEW_CAMP) ViewFromAbove(&vis, *world, 0.07f, 0.2f);
          if (shots[nextShot].view == VIEW_PLANET) ViewFromAbove(&vis, *world, 2.0f, 0.0f);
          if (shots[nextShot].view == VIEW_GEM) {
            int tile = -1;
            for (int i = 0; i < world->items.m_cnt && tile < 0; ++i)
              if (world->items.InUse(i) && (world->items.m_stat[i] & IS_GLOWING) && world->items.m_carr[i] < 0)
                tile = world->items.m_loca[i];
            if (tile < 0) {
              // No gem lies about yet: put one beside the player's character to look at.
              tile = world->actors.PlayerLocation();
              if (world->globe.IsValid(tile) && world->globe.IsValid(world->globe.m_nodes[tile].neighbours[0]))
                tile = world->globe.m_nodes[tile].neighbours[0];
              world->items.Add("bluegem", tile, IS_GEM | IS_GLOWING);
              VisFrame(&vis, steps * dt, 1, dt, world);
            }
            ViewFromAbove(&vis, *world, 0.06f, 0.0f, tile);
          }
          // Two frames: the first settles the camera and the pick depth, the second is kept.
          VisFrame(&vis, steps * dt, 1, dt, world);
          vis.m_capturePath = shots[nextShot].path.c_str();
        }
        const double t0 = NowMs();
        if (!VisFrame(&vis, steps * dt, steps, dt, world)) break;
        visMs += NowMs() - t0;
        ++frames;
        if (capture) {
          const int p = world->actors.FindPlayer();
          LOGI("Shot %s at %.1f s: %s (player at tile %d, path %d at step %d)", shots[nextShot].path.c_str(), after,
               vis.m_captureOk ? "written" : "FAILED", p >= 0 ? world->actors.m_loca[p] : -1,
               p >= 0 ? world->actors.m_pasz[p] : 0, p >= 0 ? world->actors.m_pathStage[p] : 0);
          if (!vis.m_captureOk) status = 1;
          ++nextShot;
        }
      }
      LOGI("vis_frame_mean %.3f ms over %lld frames", frames ? visMs / frames : 0.0, static_cast<long long>(frames));
      if (benchFrames > 0) {
        const double t0 = NowMs();
        for (int f = 0; f < benchFrames; ++f) VisFrame(&vis, 1.0f / 60.0f, 4, dt, world);
        glFinish();
        printf("vis_frame_xvfb %.3f ms\n", (NowMs() - t0) / benchFrames);
      }
      ShotWorldFree(&vis, world);
    }
  }
  ShotWindowClose(user);
  return status;
}
