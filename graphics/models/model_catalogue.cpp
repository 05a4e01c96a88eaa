// The game's static models: every tree, rock, mineral field, item, annotation and building, made from code.
//
// Sizes are in model units; the drawing scales each group by a multiple of the tile width:
// trees 1.9, rocks 0.75, items 0.7, mineral fields and buildings 0.5, path marks 0.5, bridge
// marks 1.1 or 0.55. A tile's corners lie half a tile width from its centre, so a building may
// reach about 0.85 units from its origin, a tree's pile spreads over 0.2 units and an item's over
// 0.57. Buildings face +y: factories have their door there, roads run in from -y, a bridge spans
// y. Characters stand about 0.6 tile widths tall: a tree is taller, a factory taller still.
//
// Index of this file:
// [SECTION] Colours and shape helpers
// [SECTION] Trees (1.9 tile widths per unit)
// [SECTION] Rocks (0.75 tile widths per unit)
// [SECTION] Mineral fields (0.5 tile widths per unit)
// [SECTION] Items (0.7 tile widths per unit)
// [SECTION] Markers and sites
// [SECTION] Gems
// [SECTION] Annotations (0.5 tile widths per unit for the path; brdir 1.1 or 0.55)
// [SECTION] Buildings (0.5 tile widths per unit; door on +y)
// [SECTION] Bridges
// [SECTION] Roads
// [SECTION] The table
#include "graphics/models/model_catalogue.h"

#include <cmath>

#include "graphics/models/mesh_builder.h"
#include "world/planet/globe_construct.h"

namespace {

// -------------------------------------------------------------------------------------------------
// [SECTION] Colours and shape helpers
// -------------------------------------------------------------------------------------------------
const Rgb c_bark{96, 64, 38}, c_barkDark{66, 44, 28}, c_wood{178, 128, 72}, c_woodLight{214, 176, 118},
    c_woodDark{120, 80, 45}, c_plank{196, 150, 92};
const Rgb c_pineDark{26, 84, 46}, c_pineLight{56, 124, 70};
const Rgb c_mapleDark{176, 62, 24}, c_mapleLight{236, 136, 38};
const Rgb c_appleDark{86, 150, 50}, c_appleLight{146, 200, 78}, c_appleRed{214, 28, 30};
const Rgb c_stone{150, 148, 142}, c_stoneDark{104, 102, 98}, c_stoneLight{186, 184, 176};
const Rgb c_iron{92, 96, 104}, c_ironDark{58, 60, 66}, c_steel{176, 182, 192}, c_gold{236, 192, 52};
const Rgb c_soil{108, 78, 50}, c_soilDark{74, 54, 36}, c_straw{222, 190, 96}, c_water{52, 120, 210};
const Rgb c_white{236, 232, 222}, c_black{34, 32, 30}, c_red{200, 40, 36}, c_glow{255, 150, 40};
const Rgb c_stake{232, 112, 32};
// Each factory's own colour, shared by its marker, its site and its roof.
const Rgb c_sawmillRoof{168, 58, 40}, c_smelterRoof{230, 120, 30}, c_smithyRoof{84, 96, 124},
    c_storageRoof{56, 108, 192};
// The smithy's roof is charcoal, so that it never reads as the storage's blue one.
const Rgb c_smithyTile{66, 64, 66};

// A small deterministic generator for the rocks' irregular shapes (integer state, no library).
struct Jitter {
  uint32_t s;
  // A value in [lo, hi).
  float Next(float lo, float hi) {
    s = s * 1664525u + 1013904223u;
    return lo + (hi - lo) * static_cast<float>(s >> 8) / 16777216.0f;
  }
};

float Cosd(float d) { return static_cast<float>(std::cos(d * 3.14159265358979323846 / 180.0)); }
float Sind(float d) { return static_cast<float>(std::sin(d * 3.14159265358979323846 / 180.0)); }

// A regular polygon of n corners and radius r, counter-clockwise, first corner at phase degrees.
std::vector<Pt2> Polygon(int n, float r, float phase, float cx = 0.0f, float cy = 0.0f) {
  std::vector<Pt2> p;
  for (int i = 0; i < n; ++i) {
    const float a = phase + 360.0f * static_cast<float>(i) / static_cast<float>(n);
    p.push_back(Pt2{cx + r * Cosd(a), cy + r * Sind(a)});
  }
  return p;
}

// An irregular lump (a boulder, a nugget): four rings narrowing upward, jittered.
void Lump(MeshBuilder& b, float cx, float cy, float r, float h, int sides, uint32_t seed, Rgb low, Rgb high,
          float squash = 1.0f) {
  Jitter j{seed * 2654435761u + 17u};
  const float levels[4][2] = {{0.0f, 0.8f}, {0.4f, 1.0f}, {0.78f, 0.72f}, {1.0f, 0.28f}};
  const float turn = j.Next(0.0f, 360.0f);
  std::vector<std::vector<Vec3>> rings(4);
  std::vector<float> spoke(sides);
  for (int i = 0; i < sides; ++i) spoke[i] = j.Next(0.78f, 1.18f);
  for (int k = 0; k < 4; ++k) {
    for (int i = 0; i < sides; ++i) {
      const float a = turn + 360.0f * static_cast<float>(i) / static_cast<float>(sides) + (k % 2) * 8.0f;
      const float rr = r * levels[k][1] * spoke[i] * j.Next(0.9f, 1.1f);
      rings[k].push_back(Vec3{cx + rr * Cosd(a), cy + rr * Sind(a) * squash, h * levels[k][0] * j.Next(0.92f, 1.0f)});
    }
  }
  for (int i = 0; i < sides; ++i) rings[0][i].z = 0.0f;
  b.Loft(rings, {Shade(low, 0.85f), low, Mix(low, high, 0.6f), high});
}

// A round crown of leaves: a low-poly ball.
void Crown(MeshBuilder& b, const Vec3& c, const Vec3& r, Rgb dark, Rgb light) { b.Sphere(c, r, 3, 7, dark, light); }

// -------------------------------------------------------------------------------------------------
// [SECTION] Trees (1.9 tile widths per unit)
// -------------------------------------------------------------------------------------------------

void Trunk(MeshBuilder& b, float r, float h) { b.Prism(5, r, r * 0.7f, 0.0f, h, c_barkDark, c_bark); }

void Pine(MeshBuilder& b) {
  Trunk(b, 0.018f, 0.12f);
  b.Prism(7, 0.088f, 0.0f, 0.07f, 0.27f, c_pineDark, Mix(c_pineDark, c_pineLight, 0.5f));
  b.Prism(7, 0.07f, 0.0f, 0.17f, 0.37f, Mix(c_pineDark, c_pineLight, 0.3f), c_pineLight, 25.0f);
  b.Prism(7, 0.05f, 0.0f, 0.28f, 0.47f, Mix(c_pineDark, c_pineLight, 0.5f), c_pineLight, 10.0f);
}

void Maple(MeshBuilder& b) {
  Trunk(b, 0.024f, 0.24f);
  b.Rod(Vec3{0, 0, 0.13f}, Vec3{0.055f, 0.02f, 0.25f}, 0.011f, 5, c_barkDark, c_bark);
  b.Rod(Vec3{0, 0, 0.15f}, Vec3{-0.05f, -0.03f, 0.26f}, 0.01f, 5, c_barkDark, c_bark);
  // A broad, flat-topped crown of several lobes, in autumn colours.
  Crown(b, Vec3{0, 0, 0.31f}, Vec3{0.095f, 0.095f, 0.075f}, c_mapleDark, c_mapleLight);
  Crown(b, Vec3{0.065f, 0.025f, 0.275f}, Vec3{0.06f, 0.06f, 0.05f}, c_mapleDark, c_mapleLight);
  Crown(b, Vec3{-0.055f, -0.04f, 0.285f}, Vec3{0.06f, 0.06f, 0.05f}, c_mapleDark, c_mapleLight);
  Crown(b, Vec3{-0.015f, 0.065f, 0.295f}, Vec3{0.055f, 0.055f, 0.045f}, c_mapleDark, c_mapleLight);
}

void Apple(MeshBuilder& b) {
  Trunk(b, 0.022f, 0.13f);
  b.Rod(Vec3{0, 0, 0.09f}, Vec3{0.05f, 0.0f, 0.15f}, 0.011f, 5, c_barkDark, c_bark);
  b.Rod(Vec3{0, 0, 0.09f}, Vec3{-0.04f, 0.03f, 0.15f}, 0.011f, 5, c_barkDark, c_bark);
  Crown(b, Vec3{0, 0, 0.2f}, Vec3{0.105f, 0.105f, 0.085f}, c_appleDark, c_appleLight);
  // Red apples hang on the outside of the crown.
  const float spots[7][3] = {{0.1f, 0.0f, 0.18f},    {-0.05f, 0.09f, 0.2f}, {-0.06f, -0.08f, 0.17f},
                             {0.04f, -0.09f, 0.23f}, {0.03f, 0.08f, 0.26f}, {-0.1f, 0.01f, 0.22f},
                             {0.07f, 0.06f, 0.15f}};
  for (const auto& s : spots)
    b.Sphere(Vec3{s[0], s[1], s[2]}, Vec3{0.019f, 0.019f, 0.019f}, 2, 5, Shade(c_appleRed, 0.8f), c_appleRed);
}

void Stump(MeshBuilder& b) {
  b.Prism(7, 0.034f, 0.03f, 0.0f, 0.036f, c_barkDark, c_bark);
  b.Prism(7, 0.027f, 0.027f, 0.036f, 0.04f, c_woodLight, c_woodLight);
  // Roots spread over the ground.
  for (int i = 0; i < 3; ++i) {
    const float a = 40.0f + 120.0f * static_cast<float>(i);
    b.Rod(Vec3{0.02f * Cosd(a), 0.02f * Sind(a), 0.012f}, Vec3{0.055f * Cosd(a), 0.055f * Sind(a), 0.004f}, 0.008f, 4,
          c_barkDark, c_barkDark);
  }
}

void Seedling(MeshBuilder& b) {
  b.Prism(6, 0.03f, 0.014f, 0.0f, 0.012f, c_soilDark, c_soil);
  b.Prism(4, 0.004f, 0.003f, 0.0f, 0.085f, Rgb{70, 120, 40}, Rgb{100, 170, 60});
  const Rgb leaf{110, 200, 60}, leafDark{70, 150, 40};
  b.Sphere(Vec3{0.02f, 0.0f, 0.07f}, Vec3{0.022f, 0.011f, 0.005f}, 2, 6, leafDark, leaf);
  b.Sphere(Vec3{-0.018f, 0.004f, 0.082f}, Vec3{0.02f, 0.01f, 0.005f}, 2, 6, leafDark, leaf);
  b.Sphere(Vec3{0.0f, 0.0f, 0.092f}, Vec3{0.009f, 0.009f, 0.008f}, 2, 5, leafDark, leaf);
}

// -------------------------------------------------------------------------------------------------
// [SECTION] Rocks (0.75 tile widths per unit)
// -------------------------------------------------------------------------------------------------

const Rgb c_rockTints[10][2] = {{{112, 110, 106}, {170, 168, 162}}, {{96, 98, 104}, {150, 152, 160}},
                                {{128, 122, 112}, {184, 176, 160}}, {{104, 104, 100}, {160, 160, 152}},
                                {{118, 114, 110}, {176, 172, 166}}, {{98, 104, 92}, {120, 150, 90}},
                                {{110, 108, 112}, {166, 164, 170}}, {{120, 116, 108}, {172, 166, 154}},
                                {{150, 108, 80}, {206, 158, 116}},  {{62, 62, 66}, {108, 108, 116}}};

void Rock(MeshBuilder& b, int kind) {
  const Rgb lo = c_rockTints[kind][0], hi = c_rockTints[kind][1];
  const uint32_t s = 101u + 37u * static_cast<uint32_t>(kind);
  switch (kind) {
    case 0:  // a round boulder
      Lump(b, 0, 0, 0.14f, 0.16f, 7, s, lo, hi);
      break;
    case 1:  // a tall crag
      Lump(b, 0, 0, 0.1f, 0.3f, 5, s, lo, hi);
      break;
    case 2:  // a flat slab
      Lump(b, 0, 0, 0.17f, 0.07f, 6, s, lo, hi, 0.7f);
      break;
    case 3:  // two boulders
      Lump(b, -0.06f, 0.0f, 0.1f, 0.13f, 6, s, lo, hi);
      Lump(b, 0.08f, 0.04f, 0.075f, 0.09f, 6, s + 1, lo, hi);
      break;
    case 4:  // a cluster of stones
      Lump(b, -0.07f, -0.03f, 0.06f, 0.07f, 5, s, lo, hi);
      Lump(b, 0.06f, -0.05f, 0.055f, 0.06f, 5, s + 1, lo, hi);
      Lump(b, 0.0f, 0.07f, 0.065f, 0.08f, 5, s + 2, lo, hi);
      break;
    case 5:  // a mossy boulder
      Lump(b, 0, 0, 0.13f, 0.14f, 6, s, lo, hi);
      break;
    case 6:  // a leaning pillar
      b.Push();
      b.RotateY(14.0f);
      Lump(b, 0, 0, 0.07f, 0.26f, 6, s, lo, hi);
      b.Pop();
      Lump(b, 0.07f, 0.05f, 0.05f, 0.05f, 5, s + 1, lo, hi);
      break;
    case 7:  // a wide mound
      Lump(b, 0, 0, 0.19f, 0.1f, 8, s, lo, hi);
      break;
    case 8:  // red sandstone
      Lump(b, 0, 0, 0.13f, 0.17f, 6, s, lo, hi, 0.8f);
      Lump(b, 0.09f, -0.07f, 0.05f, 0.06f, 5, s + 1, lo, hi);
      break;
    default:  // dark basalt columns
      b.Prism(6, 0.055f, 0.05f, 0.0f, 0.24f, lo, hi, 10.0f);
      b.Push();
      b.Translate(0.08f, 0.03f, 0.0f);
      b.Prism(6, 0.05f, 0.045f, 0.0f, 0.17f, lo, hi, 25.0f);
      b.Pop();
      b.Push();
      b.Translate(-0.02f, 0.09f, 0.0f);
      b.Prism(6, 0.045f, 0.04f, 0.0f, 0.11f, lo, hi, 0.0f);
      b.Pop();
      break;
  }
}

// -------------------------------------------------------------------------------------------------
// [SECTION] Mineral fields (0.5 tile widths per unit)
// -------------------------------------------------------------------------------------------------

void Field(MeshBuilder& b, Rgb ground, Rgb ore, Rgb oreLight, Rgb fleck, uint32_t seed) {
  Jitter j{seed};
  // A low patch of disturbed ground, raised a little so it never fights with the tile for depth.
  std::vector<std::vector<Vec3>> rings(2);
  for (int i = 0; i < 9; ++i) {
    const float a = 360.0f * static_cast<float>(i) / 9.0f;
    const float r = 0.72f * j.Next(0.85f, 1.05f);
    rings[0].push_back(Vec3{r * Cosd(a), r * Sind(a), 0.0f});
    rings[1].push_back(Vec3{r * 0.96f * Cosd(a), r * 0.96f * Sind(a), 0.02f});
  }
  b.Loft(rings, {Shade(ground, 0.8f), ground});
  for (int i = 0; i < 11; ++i) {
    const float a = j.Next(0.0f, 360.0f), d = (i == 0) ? 0.0f : j.Next(0.2f, 0.58f);
    const float r = j.Next(0.06f, 0.12f);
    Lump(b, d * Cosd(a), d * Sind(a), r, r * j.Next(0.9f, 1.4f), 5, seed + i, ore, (i % 3 == 0) ? fleck : oreLight);
  }
}

// -------------------------------------------------------------------------------------------------
// [SECTION] Items (0.7 tile widths per unit)
// -------------------------------------------------------------------------------------------------

void Bucket(MeshBuilder& b, Rgb inside) {
  b.Prism(8, 0.075f, 0.095f, 0.0f, 0.15f, c_woodDark, c_wood, 22.5f);
  b.Prism(8, 0.09f, 0.09f, 0.14f, 0.152f, inside, inside, 22.5f);
  b.Ring(8, 0.093f, 0.1f, 0.05f, 0.07f, c_iron, c_iron, 22.5f);
  b.Rod(Vec3{-0.095f, 0, 0.14f}, Vec3{-0.05f, 0, 0.23f}, 0.006f, 4, c_iron, c_iron);
  b.Rod(Vec3{-0.05f, 0, 0.23f}, Vec3{0.05f, 0, 0.23f}, 0.006f, 4, c_iron, c_iron);
  b.Rod(Vec3{0.05f, 0, 0.23f}, Vec3{0.095f, 0, 0.14f}, 0.006f, 4, c_iron, c_iron);
}

void Sack(MeshBuilder& b, Rgb cloth, Rgb tie) {
  b.Sphere(Vec3{0, 0, 0.09f}, Vec3{0.1f, 0.085f, 0.09f}, 4, 8, Shade(cloth, 0.8f), cloth);
  b.Prism(6, 0.03f, 0.022f, 0.16f, 0.2f, cloth, cloth);
  b.Prism(6, 0.026f, 0.026f, 0.165f, 0.18f, tie, tie);
  b.Prism(6, 0.02f, 0.04f, 0.2f, 0.23f, cloth, Shade(cloth, 1.08f));
}

void Handle(MeshBuilder& b, float x0, float x1, float r = 0.012f) { b.Log(5, r, x0, x1, c_wood, c_woodLight); }

void Stone(MeshBuilder& b) {
  b.Box(Vec3{-0.09f, -0.065f, 0}, Vec3{0.09f, 0.065f, 0.1f}, c_stoneDark, c_stoneLight);
  b.Push();
  b.Translate(0.02f, 0.0f, 0.1f);
  b.RotateZ(20.0f);
  b.Box(Vec3{-0.05f, -0.04f, 0}, Vec3{0.05f, 0.04f, 0.05f}, c_stone, c_stoneLight);
  b.Pop();
}

void Timber(MeshBuilder& b) {
  b.Log(7, 0.055f, -0.2f, 0.2f, c_bark, c_woodLight);
  b.Rod(Vec3{0.05f, 0.04f, 0.09f}, Vec3{0.09f, 0.08f, 0.13f}, 0.01f, 4, c_bark, c_bark);
}

void Lumber(MeshBuilder& b) {
  for (int layer = 0; layer < 3; ++layer) {
    const float z = 0.03f * static_cast<float>(layer);
    b.Push();
    b.RotateZ(layer == 1 ? 90.0f : 0.0f);
    for (int k = -1; k <= 1; ++k) {
      const float y = 0.075f * static_cast<float>(k);
      const Rgb c = Shade(c_plank, 0.9f + 0.08f * static_cast<float>(k + 1));
      b.Box(Vec3{-0.17f, y - 0.033f, z}, Vec3{0.17f, y + 0.033f, z + 0.028f}, Shade(c, 0.85f), c);
    }
    b.Pop();
  }
}

void Pickaxe(MeshBuilder& b) {
  Handle(b, -0.2f, 0.14f);
  // A curved head with two points, standing up across the handle's end.
  b.Push();
  b.Translate(0.13f, 0.0f, 0.0f);
  b.Box(Vec3{-0.02f, -0.03f, 0}, Vec3{0.02f, 0.03f, 0.04f}, c_ironDark, c_iron);
  b.Rod(Vec3{0, 0.02f, 0.02f}, Vec3{-0.03f, 0.16f, 0.012f}, 0.014f, 4, c_iron, c_steel);
  b.Rod(Vec3{0, -0.02f, 0.02f}, Vec3{-0.03f, -0.16f, 0.012f}, 0.014f, 4, c_iron, c_steel);
  b.Pop();
}

void Woodaxe(MeshBuilder& b) {
  Handle(b, -0.2f, 0.15f);
  // A broad wedge blade on one side, with a red-painted back.
  b.Extrude({{0.1f, 0.0f}, {0.17f, 0.0f}, {0.2f, 0.1f}, {0.07f, 0.1f}}, 0.0f, 0.024f, c_iron, c_steel);
  b.Box(Vec3{0.1f, -0.035f, 0}, Vec3{0.17f, 0.0f, 0.024f}, c_red, c_red);
}

void Hammer(MeshBuilder& b) {
  Handle(b, -0.16f, 0.1f);
  b.Box(Vec3{0.08f, -0.06f, 0}, Vec3{0.14f, 0.06f, 0.06f}, c_ironDark, c_iron);
  b.Box(Vec3{0.09f, -0.075f, 0.005f}, Vec3{0.13f, -0.06f, 0.055f}, c_steel, c_steel);
}

void Boltcutter(MeshBuilder& b) {
  // Two long red handles meeting at short steel jaws.
  b.Push();
  b.RotateZ(8.0f);
  b.Log(5, 0.011f, -0.2f, 0.06f, c_red, c_red);
  b.Pop();
  b.Push();
  b.RotateZ(-8.0f);
  b.Translate(0.0f, 0.0f, 0.0f);
  b.Log(5, 0.011f, -0.2f, 0.06f, c_red, c_red);
  b.Pop();
  b.Extrude({{0.05f, -0.025f}, {0.15f, -0.006f}, {0.15f, 0.006f}, {0.05f, 0.025f}}, 0.0f, 0.026f, c_iron, c_steel);
  b.Prism(6, 0.02f, 0.02f, 0.0f, 0.03f, c_ironDark, c_iron);
}

void Scythe(MeshBuilder& b) {
  Handle(b, -0.24f, 0.2f, 0.011f);
  b.Box(Vec3{-0.08f, -0.05f, 0}, Vec3{-0.06f, 0.0f, 0.02f}, c_wood, c_woodLight);
  // A long blade curving away from the handle's end.
  std::vector<Pt2> blade;
  for (int i = 0; i <= 6; ++i) {
    const float t = static_cast<float>(i) / 6.0f;
    blade.push_back(Pt2{0.2f - 0.06f * t * t, 0.22f * t});
  }
  for (int i = 6; i >= 1; --i) {
    const float t = static_cast<float>(i) / 6.0f;
    blade.push_back(Pt2{0.2f - 0.06f * t * t - 0.03f * (1.0f - t) - 0.008f, 0.22f * t});
  }
  blade.push_back(Pt2{0.16f, -0.005f});
  b.Extrude(blade, 0.0f, 0.016f, c_iron, c_steel);
}

void Water(MeshBuilder& b) { Bucket(b, c_water); }
void EmptyBucket(MeshBuilder& b) { Bucket(b, Rgb{58, 44, 30}); }

void Manure(MeshBuilder& b) {
  Lump(b, 0, 0, 0.15f, 0.09f, 8, 7u, Rgb{70, 50, 30}, Rgb{104, 76, 44});
  for (int i = 0; i < 5; ++i) {
    const float a = 30.0f + 72.0f * static_cast<float>(i);
    b.Rod(Vec3{0.04f * Cosd(a), 0.04f * Sind(a), 0.075f}, Vec3{0.13f * Cosd(a + 30), 0.13f * Sind(a + 30), 0.05f},
          0.007f, 4, c_straw, c_straw);
  }
}

void Basket(MeshBuilder& b) {
  const Rgb wicker{196, 150, 78}, wickerDark{150, 108, 52};
  b.Prism(8, 0.09f, 0.12f, 0.0f, 0.1f, wickerDark, wicker, 22.5f);
  b.Prism(8, 0.11f, 0.11f, 0.09f, 0.102f, Rgb{90, 64, 34}, Rgb{90, 64, 34}, 22.5f);
  b.Ring(8, 0.113f, 0.126f, 0.04f, 0.055f, wickerDark, wickerDark, 22.5f);
  b.Rod(Vec3{-0.11f, 0, 0.09f}, Vec3{-0.06f, 0, 0.2f}, 0.008f, 4, wicker, wicker);
  b.Rod(Vec3{-0.06f, 0, 0.2f}, Vec3{0.06f, 0, 0.2f}, 0.008f, 4, wicker, wicker);
  b.Rod(Vec3{0.06f, 0, 0.2f}, Vec3{0.11f, 0, 0.09f}, 0.008f, 4, wicker, wicker);
}

void Provisions(MeshBuilder& b) {
  // A bundle: a cloth sack, a loaf and a round cheese.
  b.Push();
  b.Translate(-0.04f, 0.0f, 0.0f);
  Sack(b, Rgb{196, 176, 128}, c_red);
  b.Pop();
  b.Sphere(Vec3{0.1f, -0.05f, 0.035f}, Vec3{0.06f, 0.035f, 0.035f}, 3, 6, Rgb{160, 100, 40}, Rgb{208, 146, 66});
  b.Prism(8, 0.05f, 0.05f, 0.0f, 0.045f, Rgb{220, 180, 60}, Rgb{248, 214, 96});
  b.Push();
  b.Translate(0.1f, 0.07f, 0.0f);
  b.Prism(8, 0.05f, 0.05f, 0.0f, 0.045f, Rgb{220, 180, 60}, Rgb{248, 214, 96});
  b.Pop();
}

void Grain(MeshBuilder& b) {
  // A sheaf: stalks bound in the middle, ears on top.
  for (int i = 0; i < 7; ++i) {
    const float a = 360.0f * static_cast<float>(i) / 7.0f;
    const float x = 0.025f * Cosd(a), y = 0.025f * Sind(a);
    b.Rod(Vec3{x * 1.6f, y * 1.6f, 0}, Vec3{x * 2.4f, y * 2.4f, 0.22f}, 0.008f, 4, Rgb{190, 160, 70}, c_straw);
    b.Sphere(Vec3{x * 2.5f, y * 2.5f, 0.24f}, Vec3{0.014f, 0.014f, 0.03f}, 2, 5, c_straw, Rgb{240, 214, 120});
  }
  b.Prism(8, 0.05f, 0.05f, 0.09f, 0.11f, Rgb{150, 100, 50}, Rgb{150, 100, 50});
}

void Flour(MeshBuilder& b) {
  Sack(b, c_white, Rgb{80, 120, 200});
  b.Box(Vec3{-0.03f, -0.092f, 0.06f}, Vec3{0.03f, -0.07f, 0.11f}, Rgb{80, 120, 200});
}

void Milk(MeshBuilder& b) {
  // A milk churn: white body, grey neck and lid.
  b.Prism(8, 0.07f, 0.07f, 0.0f, 0.16f, Rgb{210, 210, 206}, c_white, 22.5f);
  b.Prism(8, 0.07f, 0.035f, 0.16f, 0.2f, c_white, c_steel, 22.5f);
  b.Prism(8, 0.042f, 0.042f, 0.2f, 0.23f, c_steel, c_steel, 22.5f);
  b.Ring(8, 0.07f, 0.078f, 0.05f, 0.07f, Rgb{60, 110, 190}, Rgb{60, 110, 190}, 22.5f);
}

void Bread(MeshBuilder& b) {
  b.Sphere(Vec3{0, 0, 0.055f}, Vec3{0.12f, 0.065f, 0.055f}, 4, 8, Rgb{150, 90, 34}, Rgb{214, 150, 70});
  for (int k = -1; k <= 1; ++k)
    b.Box(Vec3{0.04f * static_cast<float>(k) - 0.008f, -0.035f, 0.09f},
          Vec3{0.04f * static_cast<float>(k) + 0.008f, 0.035f, 0.108f}, Rgb{236, 200, 130});
}

void IronOre(MeshBuilder& b) {
  const Rgb rust{140, 70, 44}, rustLight{188, 110, 70};
  Lump(b, -0.05f, -0.02f, 0.08f, 0.09f, 6, 11u, rust, rustLight);
  Lump(b, 0.06f, -0.03f, 0.06f, 0.07f, 5, 12u, rust, Rgb{110, 100, 104});
  Lump(b, 0.0f, 0.07f, 0.06f, 0.06f, 5, 13u, rust, rustLight);
}

void Ingot(MeshBuilder& b) {
  auto rect = [](float hx, float hy, float z) {
    return std::vector<Vec3>{{-hx, -hy, z}, {hx, -hy, z}, {hx, hy, z}, {-hx, hy, z}};
  };
  b.Loft({rect(0.12f, 0.055f, 0.0f), rect(0.09f, 0.035f, 0.06f)}, {c_ironDark, c_steel});
}

void Fruit(MeshBuilder& b) {
  b.Sphere(Vec3{0, 0, 0.05f}, Vec3{0.05f, 0.05f, 0.048f}, 4, 7, Shade(c_appleRed, 0.7f), c_appleRed);
  b.Rod(Vec3{0, 0, 0.09f}, Vec3{0.008f, 0.0f, 0.12f}, 0.005f, 4, c_bark, c_bark);
  b.Sphere(Vec3{0.025f, 0.0f, 0.11f}, Vec3{0.02f, 0.01f, 0.004f}, 2, 5, Rgb{60, 140, 40}, Rgb{100, 180, 60});
}

// -------------------------------------------------------------------------------------------------
// [SECTION] Markers and sites
// -------------------------------------------------------------------------------------------------

// The symbol of a factory on its sign: a saw blade, a flame, an anvil or a crate.
void Symbol(MeshBuilder& b, int factory) {
  switch (factory) {
    case 0:  // saw blade, standing
      b.Push();
      b.RotateX(90.0f);
      b.Prism(12, 0.06f, 0.06f, -0.008f, 0.008f, c_steel, c_steel);
      b.Prism(6, 0.015f, 0.015f, -0.012f, 0.012f, c_ironDark, c_ironDark);
      b.Pop();
      break;
    case 1:  // flame
      b.Prism(6, 0.045f, 0.0f, -0.05f, 0.07f, c_red, Rgb{255, 220, 60});
      break;
    case 2:  // anvil
      b.Box(Vec3{-0.025f, -0.02f, -0.05f}, Vec3{0.025f, 0.02f, 0.0f}, c_ironDark, c_iron);
      b.Box(Vec3{-0.06f, -0.025f, 0.0f}, Vec3{0.05f, 0.025f, 0.03f}, c_iron, c_steel);
      break;
    default:  // crate
      b.Box(Vec3{-0.045f, -0.045f, -0.045f}, Vec3{0.045f, 0.045f, 0.045f}, c_woodDark, c_wood);
      break;
  }
}

const Rgb c_factoryColours[4] = {c_sawmillRoof, c_smelterRoof, c_smithyRoof, c_storageRoof};

// A marker: a stake to be set on a site, with the factory's coloured sign and symbol.
void Marker(MeshBuilder& b, int factory) {
  b.Box(Vec3{-0.012f, -0.012f, 0}, Vec3{0.012f, 0.012f, 0.3f}, c_woodDark, c_wood);
  b.Box(Vec3{-0.08f, -0.014f, 0.17f}, Vec3{0.08f, 0.014f, 0.27f}, Shade(c_factoryColours[factory], 0.8f),
        c_factoryColours[factory]);
  b.Push();
  b.Translate(0.0f, 0.0f, 0.36f);
  Symbol(b, factory);
  b.Pop();
}

// Four corner stakes with tape between them, the outline of something to be built.
void StakedOutline(MeshBuilder& b, float hx, float hy, Rgb tape) {
  const float xs[4] = {-hx, hx, hx, -hx}, ys[4] = {-hy, -hy, hy, hy};
  for (int i = 0; i < 4; ++i) {
    b.Box(Vec3{xs[i] - 0.012f, ys[i] - 0.012f, 0}, Vec3{xs[i] + 0.012f, ys[i] + 0.012f, 0.13f}, c_woodDark, c_wood);
    b.Box(Vec3{xs[i] - 0.014f, ys[i] - 0.014f, 0.13f}, Vec3{xs[i] + 0.014f, ys[i] + 0.014f, 0.15f}, c_stake);
  }
  b.Box(Vec3{-hx, -hy - 0.004f, 0.1f}, Vec3{hx, -hy + 0.004f, 0.112f}, tape);
  b.Box(Vec3{-hx, hy - 0.004f, 0.1f}, Vec3{hx, hy + 0.004f, 0.112f}, tape);
  b.Box(Vec3{-hx - 0.004f, -hy, 0.1f}, Vec3{-hx + 0.004f, hy, 0.112f}, tape);
  b.Box(Vec3{hx - 0.004f, -hy, 0.1f}, Vec3{hx + 0.004f, hy, 0.112f}, tape);
}

// A site: the marker set in the ground inside a staked outline on a patch of bare earth.
void Site(MeshBuilder& b, int factory) {
  b.Extrude(Polygon(8, 0.3f, 22.5f), 0.0f, 0.01f, c_soilDark, c_soil);
  StakedOutline(b, 0.24f, 0.24f, c_factoryColours[factory]);
  Marker(b, factory);
}

void RoadMarker(MeshBuilder& b) {
  b.Box(Vec3{-0.012f, -0.012f, 0}, Vec3{0.012f, 0.012f, 0.3f}, c_woodDark, c_wood);
  // A sign with a grey cobbled face.
  b.Box(Vec3{-0.09f, -0.014f, 0.17f}, Vec3{0.09f, 0.014f, 0.27f}, c_stoneDark, c_stone);
  for (int k = 0; k < 3; ++k)
    b.Box(Vec3{-0.07f + 0.05f * static_cast<float>(k), -0.02f, 0.2f},
          Vec3{-0.03f + 0.05f * static_cast<float>(k), 0.02f, 0.24f}, c_stoneLight);
}

void RoadSite(MeshBuilder& b) {
  b.Box(Vec3{-0.27f, -0.08f, 0}, Vec3{0.27f, 0.08f, 0.012f}, c_soilDark, c_soil);
  for (int k = 0; k < 4; ++k) {
    const float x = -0.24f + 0.16f * static_cast<float>(k);
    b.Box(Vec3{x - 0.01f, -0.1f, 0}, Vec3{x + 0.01f, -0.08f, 0.12f}, c_woodDark, c_stake);
    b.Box(Vec3{x - 0.01f, 0.08f, 0}, Vec3{x + 0.01f, 0.1f, 0.12f}, c_woodDark, c_stake);
  }
  b.Box(Vec3{-0.05f, -0.04f, 0.012f}, Vec3{0.03f, 0.03f, 0.05f}, c_stone, c_stoneLight);
}

void BridgeMarker(MeshBuilder& b) {
  b.Box(Vec3{-0.012f, -0.012f, 0}, Vec3{0.012f, 0.012f, 0.3f}, c_woodDark, c_wood);
  // A plank sign carrying a little blue arch.
  b.Box(Vec3{-0.1f, -0.014f, 0.17f}, Vec3{0.1f, 0.014f, 0.22f}, c_woodDark, c_plank);
  b.Push();
  b.Translate(0.0f, 0.0f, 0.22f);
  b.RotateX(90.0f);
  b.Ring(8, 0.05f, 0.068f, -0.012f, 0.012f, c_water, c_water, 0.0f);
  b.Pop();
}

void SummitMarker(MeshBuilder& b) {
  // A cairn with a flag.
  Lump(b, 0, 0, 0.09f, 0.08f, 6, 21u, c_stoneDark, c_stone);
  b.Prism(5, 0.008f, 0.008f, 0.0f, 0.42f, c_woodDark, c_wood);
  b.Push();
  b.Translate(0.0f, 0.0f, 0.3f);
  b.RotateX(90.0f);
  b.Extrude({{0.0f, 0.0f}, {0.17f, 0.055f}, {0.0f, 0.11f}}, -0.005f, 0.005f, Rgb{200, 30, 40}, Rgb{230, 50, 50});
  b.Pop();
}

void Buoy(MeshBuilder& b) {
  const Rgb red{210, 40, 40};
  b.Prism(8, 0.07f, 0.09f, 0.0f, 0.06f, Shade(red, 0.8f), red);
  b.Prism(8, 0.09f, 0.06f, 0.06f, 0.12f, c_white, c_white);
  b.Prism(8, 0.06f, 0.03f, 0.12f, 0.2f, red, red);
  b.Sphere(Vec3{0, 0, 0.22f}, Vec3{0.025f, 0.025f, 0.025f}, 3, 6, Rgb{240, 200, 40}, Rgb{255, 240, 120});
}

void Poop(MeshBuilder& b) {
  const Rgb brown{92, 58, 30}, brownLight{130, 86, 46};
  b.Prism(9, 0.07f, 0.065f, 0.0f, 0.035f, Shade(brown, 0.8f), brown);
  b.Prism(9, 0.052f, 0.045f, 0.035f, 0.065f, brown, brownLight, 20.0f);
  b.Prism(9, 0.034f, 0.0f, 0.065f, 0.11f, brown, brownLight, 40.0f);
}

// -------------------------------------------------------------------------------------------------
// [SECTION] Gems
// -------------------------------------------------------------------------------------------------

// Gems: small octahedral stones, stretched upright. Few vertices: each one is also a sparkle.
void Gem(MeshBuilder& b, Rgb c) { b.Sphere(Vec3{0, 0, 0.05f}, Vec3{0.035f, 0.035f, 0.05f}, 2, 4, Shade(c, 0.7f), c); }

void Chest(MeshBuilder& b) {
  const Rgb wood{140, 84, 38}, woodDark{96, 56, 26};
  b.Box(Vec3{-0.15f, -0.1f, 0}, Vec3{0.15f, 0.1f, 0.13f}, woodDark, wood);
  // A rounded lid: a half-round section lofted along local z, then laid along the chest's x
  // (local x -> y, y -> z, z -> x).
  std::vector<std::vector<Vec3>> lid(2);
  for (int i = 0; i <= 6; ++i) {
    const float a = 180.0f * static_cast<float>(i) / 6.0f;
    lid[0].push_back(Vec3{0.1f * Cosd(a), 0.07f * Sind(a), 0.0f});
    lid[1].push_back(Vec3{0.1f * Cosd(a), 0.07f * Sind(a), 0.3f});
  }
  b.Push();
  b.Translate(-0.15f, 0.0f, 0.13f);
  Matrix44 axes;
  axes.SetAxis(0, Vec3{0, 1, 0});
  axes.SetAxis(1, Vec3{0, 0, 1});
  axes.SetAxis(2, Vec3{1, 0, 0});
  b.Apply(axes);
  b.Loft(lid, {Shade(wood, 0.9f), wood});
  b.Pop();
  for (int k = -1; k <= 1; k += 2) {
    const float x = 0.1f * static_cast<float>(k);
    b.Box(Vec3{x - 0.015f, -0.104f, 0}, Vec3{x + 0.015f, 0.104f, 0.135f}, c_ironDark, c_iron);
  }
  b.Box(Vec3{-0.025f, -0.11f, 0.08f}, Vec3{0.025f, -0.095f, 0.14f}, Shade(c_gold, 0.8f), c_gold);
}

void CrownItem(MeshBuilder& b) {
  // A gold band with five points and a red stone in front; it fits round a character's head.
  b.Ring(10, 0.036f, 0.042f, 0.0f, 0.022f, Shade(c_gold, 0.8f), c_gold);
  for (int i = 0; i < 5; ++i) {
    const float a = 90.0f + 72.0f * static_cast<float>(i);
    b.Push();
    b.Translate(0.039f * Cosd(a), 0.039f * Sind(a), 0.02f);
    b.Prism(4, 0.011f, 0.0f, 0.0f, 0.03f, c_gold, Rgb{255, 230, 120}, a);
    b.Pop();
  }
  b.Sphere(Vec3{0.0f, 0.043f, 0.011f}, Vec3{0.008f, 0.005f, 0.008f}, 2, 4, Rgb{150, 10, 20}, Rgb{230, 30, 40});
}

// -------------------------------------------------------------------------------------------------
// [SECTION] Annotations (0.5 tile widths per unit for the path; brdir 1.1 or 0.55)
// -------------------------------------------------------------------------------------------------

void Arrow(MeshBuilder& b) {
  // Floats above the tile and points along +x to the next tile of the path.
  b.Extrude(
      {{0.35f, -0.07f}, {1.0f, -0.07f}, {1.0f, -0.2f}, {1.42f, 0.0f}, {1.0f, 0.2f}, {1.0f, 0.07f}, {0.35f, 0.07f}},
      0.12f, 0.17f, Rgb{200, 160, 30}, Rgb{255, 214, 60});
}

void Target(MeshBuilder& b) {
  b.Ring(16, 0.36f, 0.5f, 0.06f, 0.1f, Rgb{170, 30, 30}, Rgb{236, 56, 50});
  for (int i = 0; i < 4; ++i) {
    b.Push();
    b.RotateZ(45.0f + 90.0f * static_cast<float>(i));
    b.Extrude({{0.34f, -0.06f}, {0.34f, 0.06f}, {0.16f, 0.0f}}, 0.06f, 0.1f, Rgb{200, 200, 200}, c_white);
    b.Pop();
  }
  b.Prism(8, 0.06f, 0.06f, 0.06f, 0.1f, Rgb{170, 30, 30}, Rgb{236, 56, 50});
}

void PointMark(MeshBuilder& b) {
  // A pin hovering over the tile, pointing down at it.
  b.Push();
  b.Translate(0.0f, 0.0f, 0.75f);
  b.RotateX(180.0f);
  b.Prism(6, 0.12f, 0.0f, 0.0f, 0.5f, Rgb{180, 40, 170}, Rgb{240, 90, 220});
  b.Pop();
  b.Sphere(Vec3{0, 0, 0.86f}, Vec3{0.16f, 0.16f, 0.16f}, 4, 8, Rgb{180, 40, 170}, Rgb{250, 130, 240});
}

void BridgeDirection(MeshBuilder& b) {
  // A double chevron at the shore, pointing out over the water where a bridge can start.
  const Rgb side{40, 140, 190}, top{90, 210, 250};
  b.Extrude({{-0.28f, -0.2f}, {-0.16f, -0.2f}, {0.02f, 0.0f}, {-0.16f, 0.2f}, {-0.28f, 0.2f}, {-0.1f, 0.0f}}, 0.05f,
            0.09f, side, top);
  b.Extrude({{0.0f, -0.2f}, {0.12f, -0.2f}, {0.3f, 0.0f}, {0.12f, 0.2f}, {0.0f, 0.2f}, {0.18f, 0.0f}}, 0.05f, 0.09f,
            side, top);
}

// -------------------------------------------------------------------------------------------------
// [SECTION] Buildings (0.5 tile widths per unit; door on +y)
// -------------------------------------------------------------------------------------------------

// Walls as a box, with a gable roof whose ridge runs along x.
void House(MeshBuilder& b, float hx, float hy, float wall, float ridge, Rgb walls, Rgb roof, float overhang = 0.06f) {
  b.Box(Vec3{-hx, -hy, 0}, Vec3{hx, hy, wall}, Shade(walls, 0.75f), walls);
  const float ox = hx + overhang, oy = hy + overhang;
  // The roof: a prism of triangular section lying along x.
  std::vector<std::vector<Vec3>> section(2);
  const float eave = wall - 0.04f;
  for (int s = 0; s < 2; ++s) {
    const float x = s ? ox : -ox;
    section[s] = {{x, -oy, eave}, {x, oy, eave}, {x, 0.0f, ridge}};
  }
  // Loft stacks along the ring order's normal; build the two gable triangles and slopes directly.
  const Rgb r0 = Shade(roof, 0.8f), r1 = roof;
  const Vec3 a0 = section[0][0], a1 = section[0][1], a2 = section[0][2];
  const Vec3 b0 = section[1][0], b1 = section[1][1], b2 = section[1][2];
  b.Triangle(a0, a2, a1, r0, r1, r0);  // gable at -x, facing -x
  b.Triangle(b0, b1, b2, r0, r0, r1);  // gable at +x
  b.Triangle(a0, b0, b2, r0, r0, r1);  // slope facing -y
  b.Triangle(a0, b2, a2, r0, r1, r1);
  b.Triangle(a1, a2, b2, r0, r1, r1);  // slope facing +y
  b.Triangle(a1, b2, b1, r0, r1, r0);
  b.Triangle(a0, a1, b1, r0, r0, r0);  // underside
  b.Triangle(a0, b1, b0, r0, r0, r0);
  const Rgb line = Shade(roof, 0.45f);
  b.Line(a2, b2, line);
  b.Line(a0, b0, line);
  b.Line(a1, b1, line);
  b.Line(a0, a2, line);
  b.Line(a1, a2, line);
  b.Line(b0, b2, line);
  b.Line(b1, b2, line);
}

void Door(MeshBuilder& b, float x, float y, float w, float h) {
  b.Box(Vec3{x - w * 0.5f, y - 0.02f, 0}, Vec3{x + w * 0.5f, y + 0.03f, h}, Rgb{60, 40, 24}, Rgb{84, 56, 32});
}

void Window(MeshBuilder& b, float x, float y, float z, float w, float h) {
  b.Box(Vec3{x - w * 0.5f, y - 0.02f, z}, Vec3{x + w * 0.5f, y + 0.025f, z + h}, Rgb{40, 50, 70}, Rgb{90, 120, 160});
}

void Crate(MeshBuilder& b, float x, float y, float z, float s) {
  b.Box(Vec3{x - s, y - s, z}, Vec3{x + s, y + s, z + 2 * s}, c_woodDark, c_wood);
}

void Barrel(MeshBuilder& b, float x, float y, float r, float h) {
  b.Push();
  b.Translate(x, y, 0.0f);
  b.Prism(8, r * 0.85f, r, 0.0f, h * 0.5f, c_woodDark, c_wood);
  b.Prism(8, r, r * 0.85f, h * 0.5f, h, c_wood, c_woodDark);
  b.Pop();
}

void LogPile(MeshBuilder& b, float x, float y, float len) {
  b.Push();
  b.Translate(x, y, 0.0f);
  b.RotateZ(90.0f);
  for (int k = 0; k < 3; ++k) {
    b.Push();
    b.Translate(0.0f, -0.09f + 0.09f * static_cast<float>(k), 0.0f);
    b.Log(7, 0.045f, -len * 0.5f, len * 0.5f, c_bark, c_woodLight);
    b.Pop();
  }
  for (int k = 0; k < 2; ++k) {
    b.Push();
    b.Translate(0.0f, -0.045f + 0.09f * static_cast<float>(k), 0.078f);
    b.Log(7, 0.045f, -len * 0.5f, len * 0.5f, c_bark, c_woodLight);
    b.Pop();
  }
  b.Pop();
}

void Depot(MeshBuilder& b) {
  // An open shed: a sloping green roof on four posts over crates and barrels.
  const Rgb roof{70, 130, 70};
  b.Box(Vec3{-0.7f, -0.55f, 0}, Vec3{0.7f, 0.55f, 0.05f}, c_stoneDark, c_stone);
  const float px[2] = {-0.62f, 0.62f}, py[2] = {-0.47f, 0.47f};
  for (float x : px)
    for (float y : py) {
      const float h = y < 0.0f ? 1.1f : 1.35f;
      b.Box(Vec3{x - 0.04f, y - 0.04f, 0.05f}, Vec3{x + 0.04f, y + 0.04f, h}, c_woodDark, c_wood);
    }
  std::vector<std::vector<Vec3>> slab(2);
  slab[0] = {{-0.72f, -0.6f, 1.08f}, {0.72f, -0.6f, 1.08f}, {0.72f, 0.6f, 1.34f}, {-0.72f, 0.6f, 1.34f}};
  slab[1] = {{-0.72f, -0.6f, 1.14f}, {0.72f, -0.6f, 1.14f}, {0.72f, 0.6f, 1.4f}, {-0.72f, 0.6f, 1.4f}};
  b.Loft(slab, {Shade(roof, 0.8f), roof});
  Crate(b, -0.35f, 0.1f, 0.05f, 0.14f);
  Crate(b, -0.35f, 0.1f, 0.33f, 0.1f);
  Crate(b, -0.05f, -0.2f, 0.05f, 0.12f);
  Barrel(b, 0.3f, 0.15f, 0.12f, 0.32f);
  Barrel(b, 0.4f, -0.2f, 0.11f, 0.3f);
}

void WaterWell(MeshBuilder& b) {
  b.Ring(10, 0.3f, 0.42f, 0.0f, 0.35f, c_stoneDark, c_stone);
  b.Prism(10, 0.31f, 0.31f, 0.0f, 0.25f, c_water, c_water);
  b.Box(Vec3{-0.42f, -0.04f, 0.3f}, Vec3{-0.35f, 0.04f, 1.3f}, c_woodDark, c_wood);
  b.Box(Vec3{0.35f, -0.04f, 0.3f}, Vec3{0.42f, 0.04f, 1.3f}, c_woodDark, c_wood);
  b.Log(6, 0.03f, -0.38f, 0.38f, c_wood, c_woodLight);
  b.Push();
  b.Translate(0.0f, 0.0f, 1.0f);
  b.Log(6, 0.03f, -0.38f, 0.38f, c_wood, c_woodLight);
  b.Pop();
  b.Push();
  b.Translate(0.0f, 0.0f, 0.05f);
  House(b, 0.01f, 0.01f, 1.25f, 1.65f, c_wood, Rgb{150, 70, 50}, 0.48f);
  b.Pop();
  b.Push();
  b.Translate(0.0f, 0.0f, 0.45f);
  Bucket(b, c_water);
  b.Pop();
}

void Watermill(MeshBuilder& b) {
  b.Push();
  b.Translate(-0.15f, 0.0f, 0.0f);
  House(b, 0.45f, 0.45f, 1.05f, 1.75f, c_white, Rgb{140, 80, 50});
  Door(b, 0.0f, 0.45f, 0.26f, 0.62f);
  b.Pop();
  // The wheel stands against the +x wall in a water race.
  b.Box(Vec3{0.32f, -0.5f, 0}, Vec3{0.75f, 0.5f, 0.06f}, c_stoneDark, c_water);
  b.Push();
  b.Translate(0.5f, 0.0f, 0.48f);
  b.RotateY(90.0f);
  b.Ring(12, 0.34f, 0.44f, -0.07f, 0.07f, c_woodDark, c_wood);
  for (int i = 0; i < 6; ++i) {
    b.Push();
    b.RotateZ(30.0f * static_cast<float>(i));
    b.Box(Vec3{-0.36f, -0.025f, -0.05f}, Vec3{0.36f, 0.025f, 0.05f}, c_woodDark, c_wood);
    b.Pop();
  }
  b.Pop();
}

void GrainFarm(MeshBuilder& b) {
  b.Push();
  b.Translate(-0.35f, 0.25f, 0.0f);
  House(b, 0.3f, 0.25f, 0.8f, 1.3f, Rgb{226, 214, 186}, Rgb{170, 110, 60});
  Door(b, 0.0f, 0.25f, 0.2f, 0.55f);
  b.Pop();
  // Rows of ripe grain.
  for (int k = 0; k < 5; ++k) {
    const float y = -0.66f + 0.13f * static_cast<float>(k);
    b.Box(Vec3{-0.6f, y - 0.045f, 0}, Vec3{0.6f, y + 0.045f, 0.16f}, Rgb{190, 150, 50}, Rgb{246, 214, 90});
  }
  b.Box(Vec3{0.1f, -0.02f, 0}, Vec3{0.62f, 0.6f, 0.02f}, c_soilDark, c_soil);
}

void DairyFarm(MeshBuilder& b) {
  // A red barn with a silo.
  const Rgb barn{170, 46, 36};
  b.Push();
  b.Translate(-0.15f, 0.0f, 0.0f);
  House(b, 0.5f, 0.4f, 0.9f, 1.55f, barn, Rgb{70, 70, 76});
  Door(b, 0.0f, 0.4f, 0.34f, 0.66f);
  b.Box(Vec3{-0.18f, 0.38f, 0.2f}, Vec3{0.18f, 0.44f, 0.23f}, c_white);
  b.Pop();
  b.Push();
  b.Translate(0.58f, -0.3f, 0.0f);
  b.Prism(10, 0.2f, 0.2f, 0.0f, 1.7f, Rgb{150, 150, 150}, Rgb{206, 206, 200});
  b.Sphere(Vec3{0, 0, 1.7f}, Vec3{0.2f, 0.2f, 0.14f}, 4, 10, Rgb{150, 150, 150}, Rgb{210, 210, 210});
  b.Pop();
}

void Bakery(MeshBuilder& b) {
  House(b, 0.5f, 0.38f, 1.0f, 1.6f, Rgb{226, 180, 110}, Rgb{130, 70, 40});
  Door(b, -0.15f, 0.38f, 0.24f, 0.62f);
  Window(b, 0.22f, 0.38f, 0.4f, 0.2f, 0.2f);
  b.Box(Vec3{0.25f, -0.2f, 1.1f}, Vec3{0.4f, -0.05f, 1.75f}, Rgb{120, 60, 40}, Rgb{150, 80, 56});
  // A round bread oven outside, and a loaf on the sign.
  b.Sphere(Vec3{-0.5f, -0.45f, 0.0f}, Vec3{0.2f, 0.18f, 0.26f}, 4, 8, Rgb{160, 120, 90}, Rgb{200, 160, 120});
  b.Box(Vec3{-0.15f, 0.45f, 0.72f}, Vec3{0.15f, 0.49f, 0.9f}, c_woodDark, c_wood);
  b.Sphere(Vec3{0.0f, 0.52f, 0.81f}, Vec3{0.1f, 0.04f, 0.05f}, 3, 6, Rgb{160, 100, 40}, Rgb{214, 150, 70});
}

void OreMine(MeshBuilder& b) {
  Lump(b, -0.1f, -0.2f, 0.6f, 1.05f, 8, 31u, c_stoneDark, Rgb{150, 120, 100});
  // A timbered entrance facing +y.
  b.Box(Vec3{-0.28f, 0.2f, 0}, Vec3{0.28f, 0.45f, 0.72f}, c_black);
  b.Box(Vec3{-0.34f, 0.4f, 0}, Vec3{-0.26f, 0.5f, 0.78f}, c_woodDark, c_wood);
  b.Box(Vec3{0.26f, 0.4f, 0}, Vec3{0.34f, 0.5f, 0.78f}, c_woodDark, c_wood);
  b.Box(Vec3{-0.38f, 0.4f, 0.78f}, Vec3{0.38f, 0.5f, 0.86f}, c_woodDark, c_wood);
  // Rails and a cart of ore.
  b.Box(Vec3{-0.16f, 0.45f, 0}, Vec3{-0.13f, 0.9f, 0.03f}, c_iron);
  b.Box(Vec3{0.13f, 0.45f, 0}, Vec3{0.16f, 0.9f, 0.03f}, c_iron);
  b.Box(Vec3{-0.2f, 0.55f, 0.03f}, Vec3{0.2f, 0.85f, 0.22f}, c_ironDark, c_iron);
  Lump(b, 0.0f, 0.7f, 0.15f, 0.14f, 6, 32u, Rgb{140, 70, 44}, Rgb{188, 110, 70});
}

void Sawmill(MeshBuilder& b) {
  // A plank hall with a red roof; the big saw stands in an open shed at +x, logs wait at -x.
  b.Push();
  b.Translate(-0.12f, 0.05f, 0.0f);
  House(b, 0.48f, 0.42f, 1.15f, 1.85f, Rgb{160, 108, 60}, c_sawmillRoof);
  Door(b, 0.0f, 0.42f, 0.36f, 0.72f);
  for (int k = -2; k <= 2; ++k)
    b.Box(Vec3{0.2f * static_cast<float>(k) - 0.012f, -0.45f, 0.0f},
          Vec3{0.2f * static_cast<float>(k) + 0.012f, -0.42f, 1.15f}, c_woodDark);
  b.Pop();
  b.Box(Vec3{0.4f, -0.34f, 0}, Vec3{0.74f, 0.34f, 0.28f}, c_woodDark, c_wood);
  b.Push();
  b.Translate(0.59f, 0.0f, 0.28f);
  b.RotateY(90.0f);
  b.Prism(16, 0.27f, 0.27f, -0.02f, 0.02f, c_steel, c_steel);
  b.Prism(6, 0.06f, 0.06f, -0.05f, 0.05f, c_ironDark, c_iron);
  b.Pop();
  for (int i = 0; i < 16; ++i) {
    b.Push();
    b.Translate(0.59f, 0.0f, 0.28f);
    b.RotateX(22.5f * static_cast<float>(i));
    b.Extrude({{-0.02f, 0.26f}, {0.02f, 0.26f}, {0.0f, 0.33f}}, -0.015f, 0.015f, c_steel, c_steel);
    b.Pop();
  }
  // The logs lie along x behind the hall (the pile's own turn undone).
  b.Push();
  b.Translate(-0.25f, -0.62f, 0.0f);
  b.RotateZ(-90.0f);
  LogPile(b, 0.0f, 0.0f, 0.55f);
  b.Pop();
}

void Smelter(MeshBuilder& b) {
  // A squat stone furnace with a tall brick chimney and a glowing mouth toward the door.
  b.Prism(8, 0.6f, 0.48f, 0.0f, 0.95f, c_stoneDark, c_stone, 22.5f);
  b.Prism(8, 0.48f, 0.3f, 0.95f, 1.25f, c_stone, Rgb{120, 110, 100}, 22.5f);
  b.Box(Vec3{-0.13f, -0.13f, 0.9f}, Vec3{0.13f, 0.13f, 2.05f}, Rgb{120, 56, 40}, Rgb{160, 80, 56});
  b.Box(Vec3{-0.16f, -0.16f, 2.05f}, Vec3{0.16f, 0.16f, 2.15f}, c_black);
  b.Box(Vec3{-0.22f, 0.4f, 0.05f}, Vec3{0.22f, 0.58f, 0.55f}, Rgb{255, 90, 20}, Rgb{255, 210, 80});
  b.Box(Vec3{-0.28f, 0.45f, 0.55f}, Vec3{0.28f, 0.6f, 0.64f}, c_ironDark, c_iron);
  // Bellows at the side, an ore heap and ingots by the door.
  b.Box(Vec3{0.5f, -0.2f, 0}, Vec3{0.75f, 0.2f, 0.2f}, c_woodDark, Rgb{120, 80, 50});
  Lump(b, -0.6f, 0.45f, 0.18f, 0.2f, 6, 41u, Rgb{140, 70, 44}, Rgb{188, 110, 70});
  b.Box(Vec3{0.3f, 0.55f, 0}, Vec3{0.5f, 0.65f, 0.06f}, c_iron, c_steel);
}

void Smithy(MeshBuilder& b) {
  // An open forge under a slate roof on posts: the anvil and the hearth stand in plain sight.
  b.Box(Vec3{-0.68f, -0.56f, 0}, Vec3{0.68f, 0.56f, 0.06f}, c_stoneDark, c_stone);
  const float px[2] = {-0.6f, 0.6f}, py[2] = {-0.48f, 0.48f};
  for (float x : px)
    for (float y : py) b.Box(Vec3{x - 0.05f, y - 0.05f, 0.06f}, Vec3{x + 0.05f, y + 0.05f, 1.15f}, c_woodDark, c_wood);
  b.Push();
  b.Translate(0.0f, 0.0f, 1.15f);
  {
    // A hipped roof: a lofted slab narrowing to a ridge.
    std::vector<std::vector<Vec3>> roof(3);
    roof[0] = {{-0.72f, -0.6f, 0}, {0.72f, -0.6f, 0}, {0.72f, 0.6f, 0}, {-0.72f, 0.6f, 0}};
    roof[1] = {{-0.72f, -0.6f, 0.06f}, {0.72f, -0.6f, 0.06f}, {0.72f, 0.6f, 0.06f}, {-0.72f, 0.6f, 0.06f}};
    roof[2] = {{-0.38f, -0.08f, 0.5f}, {0.38f, -0.08f, 0.5f}, {0.38f, 0.08f, 0.5f}, {-0.38f, 0.08f, 0.5f}};
    b.Loft(roof, {Shade(c_smithyTile, 0.7f), c_smithyTile, Shade(c_smithyTile, 1.25f)});
  }
  b.Pop();
  // The hearth with red coals and its chimney through the roof.
  b.Box(Vec3{-0.6f, -0.5f, 0.06f}, Vec3{-0.15f, -0.15f, 0.4f}, c_stoneDark, c_stone);
  b.Box(Vec3{-0.55f, -0.45f, 0.4f}, Vec3{-0.2f, -0.2f, 0.43f}, Rgb{200, 40, 20}, Rgb{255, 120, 40});
  b.Box(Vec3{-0.5f, -0.42f, 0.4f}, Vec3{-0.3f, -0.22f, 1.95f}, c_stoneDark, c_stone);
  // The anvil on a block.
  b.Prism(6, 0.1f, 0.09f, 0.06f, 0.3f, c_woodDark, c_wood);
  b.Box(Vec3{-0.06f, -0.05f, 0.3f}, Vec3{0.06f, 0.05f, 0.36f}, c_ironDark, c_ironDark);
  b.Box(Vec3{-0.16f, -0.07f, 0.36f}, Vec3{0.12f, 0.07f, 0.44f}, c_iron, c_steel);
  b.Extrude({{0.12f, -0.05f}, {0.24f, 0.0f}, {0.12f, 0.05f}}, 0.38f, 0.44f, c_iron, c_steel);
  b.Box(Vec3{0.3f, 0.1f, 0.06f}, Vec3{0.5f, 0.3f, 0.3f}, c_woodDark, c_water);
}

void Storage(MeshBuilder& b) {
  // A big warehouse with a blue roof, wide double doors and crates stacked beside them.
  House(b, 0.66f, 0.5f, 1.2f, 1.95f, Rgb{214, 204, 176}, c_storageRoof);
  b.Box(Vec3{-0.3f, 0.48f, 0}, Vec3{0.3f, 0.54f, 0.85f}, Rgb{60, 80, 120}, Rgb{80, 104, 150});
  b.Box(Vec3{-0.01f, 0.53f, 0}, Vec3{0.01f, 0.56f, 0.85f}, c_black);
  for (int k = -1; k <= 1; k += 2) {
    const float x = 0.5f * static_cast<float>(k);
    b.Box(Vec3{x - 0.12f, -0.52f, 0.7f}, Vec3{x + 0.12f, -0.48f, 0.9f}, Rgb{40, 50, 70}, Rgb{90, 120, 160});
  }
  Crate(b, 0.46f, 0.63f, 0.0f, 0.09f);
  Crate(b, 0.28f, 0.66f, 0.0f, 0.08f);
  Crate(b, 0.44f, 0.64f, 0.18f, 0.07f);
}

void CageFrame(MeshBuilder& b, bool broken) {
  const Rgb bar{70, 72, 78}, barLight{120, 122, 130};
  b.Box(Vec3{-0.45f, -0.45f, 0}, Vec3{0.45f, 0.45f, 0.06f}, c_woodDark, c_wood);
  if (broken) {
    // The roof has come loose at one side and sags onto the bars.
    b.Push();
    b.Translate(0.48f, 0.0f, 1.4f);
    b.RotateY(-9.0f);
    b.Box(Vec3{-0.96f, -0.48f, 0.0f}, Vec3{0.0f, 0.48f, 0.08f}, c_woodDark, c_wood);
    b.Pop();
  } else {
    b.Box(Vec3{-0.48f, -0.48f, 1.4f}, Vec3{0.48f, 0.48f, 1.48f}, c_woodDark, c_wood);
  }
  for (int side = 0; side < 4; ++side) {
    b.Push();
    b.RotateZ(90.0f * static_cast<float>(side));
    const bool front = side == 0;  // the side that faces +y
    for (int k = 0; k < 6; ++k) {
      const float x = -0.4f + 0.16f * static_cast<float>(k);
      if (front && broken && k >= 1 && k <= 4) continue;
      b.Box(Vec3{x - 0.018f, 0.4f, 0.06f}, Vec3{x + 0.018f, 0.436f, 1.4f}, bar, barLight);
    }
    b.Pop();
  }
  if (broken) {
    // The front bars lie bent on the floor and the door hangs open.
    b.Push();
    b.Translate(0.0f, 0.62f, 0.0f);
    b.RotateZ(12.0f);
    b.Box(Vec3{-0.3f, -0.02f, 0}, Vec3{0.3f, 0.02f, 0.04f}, bar, barLight);
    b.Pop();
    b.Push();
    b.Translate(0.1f, 0.75f, 0.0f);
    b.RotateZ(-25.0f);
    b.Box(Vec3{-0.28f, -0.02f, 0}, Vec3{0.28f, 0.02f, 0.04f}, bar, barLight);
    b.Pop();
    b.Push();
    b.Translate(0.4f, 0.42f, 0.06f);
    b.RotateZ(75.0f);
    b.Box(Vec3{0.0f, -0.02f, 0}, Vec3{0.4f, 0.02f, 1.2f}, Rgb{110, 70, 40}, Rgb{150, 100, 60});
    b.Pop();
  } else {
    // A padlock on the front.
    b.Box(Vec3{-0.05f, 0.44f, 0.6f}, Vec3{0.05f, 0.48f, 0.72f}, Shade(c_gold, 0.8f), c_gold);
  }
}

void Cage(MeshBuilder& b) { CageFrame(b, false); }
void Jailbreak(MeshBuilder& b) { CageFrame(b, true); }

// -------------------------------------------------------------------------------------------------
// [SECTION] Bridges
// -------------------------------------------------------------------------------------------------

// The raise of a tile a finished bridge piece stands on, and of one deck level, in model units
// (the world raises by tile widths; buildings are drawn at half a tile width per unit).
const float c_buildingScale = 0.5f;
const float c_bridgeDrop = c_bridgeRaise / c_buildingScale, c_deckLevel = c_deckRaise / c_buildingScale;

void Bridge(MeshBuilder& b) {
  // The walking surface is the origin; piers reach down to the water below.
  for (int k = 0; k < 9; ++k) {
    const float y0 = -0.9f + 0.2f * static_cast<float>(k);
    const Rgb c = Shade(c_plank, (k % 2) ? 0.9f : 1.0f);
    b.Box(Vec3{-0.32f, y0, -0.06f}, Vec3{0.32f, y0 + 0.2f, 0.0f}, Shade(c, 0.8f), c);
  }
  for (int s = -1; s <= 1; s += 2) {
    const float x = 0.3f * static_cast<float>(s);
    b.Box(Vec3{x - 0.025f, -0.9f, 0.2f}, Vec3{x + 0.025f, 0.9f, 0.25f}, c_woodDark, c_wood);
    for (int k = 0; k < 4; ++k) {
      const float y = -0.75f + 0.5f * static_cast<float>(k);
      b.Box(Vec3{x - 0.025f, y - 0.025f, 0.0f}, Vec3{x + 0.025f, y + 0.025f, 0.2f}, c_woodDark, c_wood);
    }
  }
  for (int k = -1; k <= 1; k += 2) {
    b.Push();
    b.Translate(0.0f, 0.5f * static_cast<float>(k), 0.0f);
    b.Box(Vec3{-0.22f, -0.08f, -c_bridgeDrop - 0.06f}, Vec3{0.22f, 0.08f, -0.06f}, c_stoneDark, c_stone);
    b.Pop();
  }
}

void BridgeSite(MeshBuilder& b) {
  // On the shore, facing the water (+y): the first planks laid out, stakes, lumber and stone.
  b.Box(Vec3{-0.3f, 0.2f, 0}, Vec3{0.3f, 0.9f, 0.03f}, c_soilDark, c_soil);
  for (int k = 0; k < 3; ++k) {
    const float y = 0.3f + 0.22f * static_cast<float>(k);
    b.Box(Vec3{-0.3f, y, 0.03f}, Vec3{0.3f, y + 0.14f, 0.07f}, Shade(c_plank, 0.8f), c_plank);
  }
  for (int s = -1; s <= 1; s += 2)
    for (int k = 0; k < 3; ++k) {
      const float x = 0.36f * static_cast<float>(s), y = 0.25f + 0.3f * static_cast<float>(k);
      b.Box(Vec3{x - 0.02f, y - 0.02f, 0}, Vec3{x + 0.02f, y + 0.02f, 0.3f}, c_woodDark, c_stake);
    }
  LogPile(b, -0.4f, -0.4f, 0.5f);
  Lump(b, 0.35f, -0.35f, 0.16f, 0.16f, 6, 51u, c_stoneDark, c_stone);
  Lump(b, 0.5f, -0.1f, 0.1f, 0.1f, 5, 52u, c_stoneDark, c_stone);
}

void DeckSite(MeshBuilder& b) {
  // Scaffolding: posts and beams of a platform going up, half its floor laid.
  const float r = 0.7f;
  for (int i = 0; i < 6; ++i) {
    const float a = 30.0f + 60.0f * static_cast<float>(i);
    const float x = r * Cosd(a), y = r * Sind(a);
    b.Box(Vec3{x - 0.04f, y - 0.04f, 0}, Vec3{x + 0.04f, y + 0.04f, 0.75f}, c_woodDark, c_wood);
    const float a2 = a + 60.0f;
    b.Rod(Vec3{x, y, 0.7f}, Vec3{r * Cosd(a2), r * Sind(a2), 0.7f}, 0.025f, 4, c_woodDark, c_wood);
    b.Rod(Vec3{x, y, 0.05f}, Vec3{r * Cosd(a2), r * Sind(a2), 0.6f}, 0.02f, 4, c_woodDark, c_wood);
  }
  for (int k = 0; k < 4; ++k) {
    const float y = -0.55f + 0.15f * static_cast<float>(k);
    b.Box(Vec3{-0.5f, y, 0.4f}, Vec3{0.5f, y + 0.13f, 0.44f}, Shade(c_plank, 0.8f), c_plank);
  }
  b.Box(Vec3{-0.5f, -0.58f, 0.36f}, Vec3{0.5f, -0.52f, 0.4f}, c_woodDark);
  b.Box(Vec3{-0.5f, 0.0f, 0.36f}, Vec3{0.5f, 0.06f, 0.4f}, c_woodDark);
  LogPile(b, 0.0f, 0.35f, 0.5f);
}

void Deck(MeshBuilder& b, int levels) {
  // A hexagonal platform filling the raised tile; each storey shows as a band with a beam and
  // windows, so one, two and three floors read apart from the side.
  const float r = 0.96f;
  const Rgb wallA{176, 146, 104}, wallB{150, 120, 84};
  for (int l = 0; l < levels; ++l) {
    const float z0 = -c_deckLevel * static_cast<float>(levels - l), z1 = z0 + c_deckLevel;
    const Rgb wall = (l % 2) ? wallB : wallA;
    b.Extrude(Polygon(6, r * 0.94f, 30.0f), z0, z1 - 0.03f, Shade(wall, 0.8f), wall);
    b.Extrude(Polygon(6, r * 0.98f, 30.0f), z1 - 0.03f, z1, c_woodDark, c_woodDark);
    for (int s = 0; s < 6; ++s) {
      const float a = 60.0f * static_cast<float>(s);
      b.Push();
      b.RotateZ(a);
      b.Box(Vec3{r * 0.94f * 0.866f - 0.01f, -0.08f, z0 + 0.06f}, Vec3{r * 0.94f * 0.866f + 0.02f, 0.08f, z1 - 0.07f},
            Rgb{40, 50, 70}, Rgb{90, 120, 160});
      b.Pop();
    }
  }
  // Plank lines across the top and a post at each corner.
  for (int k = -3; k <= 3; ++k) {
    const float y = 0.2f * static_cast<float>(k);
    const float half = r * 0.866f - std::fabs(y) * 0.577f;
    b.Box(Vec3{-half + 0.06f, y - 0.008f, -0.004f}, Vec3{half - 0.06f, y + 0.008f, 0.006f}, c_woodDark);
  }
  for (int i = 0; i < 6; ++i) {
    const float a = 30.0f + 60.0f * static_cast<float>(i);
    const float x = r * 0.9f * Cosd(a), y = r * 0.9f * Sind(a);
    b.Box(Vec3{x - 0.035f, y - 0.035f, -0.02f}, Vec3{x + 0.035f, y + 0.035f, 0.14f}, c_woodDark, c_wood);
  }
  for (int l = 0; l < levels; ++l) {
    // A small flag per storey on the first corner post, counted at a glance from above.
    const float a = 30.0f;
    const float x = r * 0.9f * Cosd(a) - 0.1f * static_cast<float>(l), y = r * 0.9f * Sind(a) - 0.18f;
    b.Box(Vec3{x - 0.02f, y - 0.02f, 0.0f}, Vec3{x + 0.02f, y + 0.02f, 0.3f}, c_woodDark, c_wood);
    b.Box(Vec3{x + 0.02f, y - 0.005f, 0.2f}, Vec3{x + 0.12f, y + 0.005f, 0.29f}, c_red, Rgb{236, 70, 60});
  }
}

// -------------------------------------------------------------------------------------------------
// [SECTION] Roads
// -------------------------------------------------------------------------------------------------

// Roads: a paved strip from the -y edge toward each exit angle (degrees from +x).
void Paving(MeshBuilder& b, float exitAngle, bool finished) {
  const float edge = 0.88f, w = 0.28f;
  const Rgb top = finished ? Rgb{150, 146, 136} : c_soil, side = finished ? Rgb{110, 106, 98} : c_soilDark;
  const float h = finished ? 0.03f : 0.015f;
  for (float a : {270.0f, exitAngle}) {
    b.Push();
    b.RotateZ(a);
    b.Box(Vec3{0.0f, -w, 0}, Vec3{edge, w, h}, side, top);
    if (finished) {
      // Kerbs and a few set stones.
      b.Box(Vec3{0.0f, -w - 0.05f, 0}, Vec3{edge, -w, h + 0.02f}, c_stoneDark, c_stone);
      b.Box(Vec3{0.0f, w, 0}, Vec3{edge, w + 0.05f, h + 0.02f}, c_stoneDark, c_stone);
      for (int k = 0; k < 3; ++k) {
        const float x = 0.25f + 0.25f * static_cast<float>(k);
        b.Box(Vec3{x - 0.06f, -0.12f + 0.1f * (k % 2), h}, Vec3{x + 0.06f, 0.0f + 0.1f * (k % 2), h + 0.006f},
              Rgb{124, 120, 112});
      }
    } else {
      for (int k = 0; k < 3; ++k) {
        const float x = 0.25f + 0.28f * static_cast<float>(k);
        b.Box(Vec3{x - 0.02f, w + 0.02f, 0}, Vec3{x + 0.02f, w + 0.06f, 0.2f}, c_woodDark, c_stake);
        b.Box(Vec3{x - 0.02f, -w - 0.06f, 0}, Vec3{x + 0.02f, -w - 0.02f, 0.2f}, c_woodDark, c_stake);
      }
    }
    b.Pop();
  }
  b.Prism(8, w * 1.1f, w * 1.1f, 0.0f, h + 0.0001f, side, top, 22.5f);
  if (!finished) {
    Lump(b, 0.35f, -0.45f, 0.12f, 0.12f, 6, 61u, c_stoneDark, c_stone);
    Lump(b, 0.5f, -0.3f, 0.09f, 0.09f, 5, 62u, c_stoneDark, c_stone);
  }
}

void StreetStraight(MeshBuilder& b) { Paving(b, 90.0f, true); }
void StreetRight(MeshBuilder& b) { Paving(b, 30.0f, true); }
void StreetLeft(MeshBuilder& b) { Paving(b, 150.0f, true); }
void StraightSite(MeshBuilder& b) { Paving(b, 90.0f, false); }
void RightSite(MeshBuilder& b) { Paving(b, 30.0f, false); }
void LeftSite(MeshBuilder& b) { Paving(b, 150.0f, false); }

void Plaza(MeshBuilder& b) {
  // A paved hexagon with a well-head column in the middle.
  b.Extrude(Polygon(6, 0.8f, 0.0f), 0.0f, 0.03f, Rgb{110, 106, 98}, Rgb{156, 150, 140});
  b.Ring(6, 0.8f, 0.86f, 0.0f, 0.05f, c_stoneDark, c_stone, 0.0f);
  b.Prism(8, 0.18f, 0.16f, 0.0f, 0.12f, c_stoneDark, c_stone);
  b.Prism(8, 0.06f, 0.05f, 0.12f, 0.5f, c_stone, c_stoneLight);
  b.Sphere(Vec3{0, 0, 0.55f}, Vec3{0.08f, 0.08f, 0.08f}, 3, 6, c_gold, Rgb{255, 230, 120});
}

void PlazaSite(MeshBuilder& b) {
  b.Extrude(Polygon(6, 0.75f, 0.0f), 0.0f, 0.015f, c_soilDark, c_soil);
  for (int i = 0; i < 6; ++i) {
    const float a = 60.0f * static_cast<float>(i);
    const float x = 0.72f * Cosd(a), y = 0.72f * Sind(a);
    b.Box(Vec3{x - 0.025f, y - 0.025f, 0}, Vec3{x + 0.025f, y + 0.025f, 0.22f}, c_woodDark, c_stake);
  }
  Lump(b, 0.0f, 0.0f, 0.18f, 0.16f, 6, 71u, c_stoneDark, c_stone);
  Lump(b, 0.25f, -0.15f, 0.1f, 0.1f, 5, 72u, c_stoneDark, c_stone);
}

void FactorySite(MeshBuilder& b) {
  // A stone footing, low walls begun, scaffold poles at the corners, lumber waiting.
  b.Box(Vec3{-0.62f, -0.5f, 0}, Vec3{0.62f, 0.5f, 0.06f}, c_stoneDark, c_stone);
  b.Box(Vec3{-0.58f, -0.46f, 0.06f}, Vec3{0.58f, -0.4f, 0.32f}, Rgb{140, 100, 60}, c_plank);
  b.Box(Vec3{-0.58f, -0.4f, 0.06f}, Vec3{-0.52f, 0.46f, 0.22f}, Rgb{140, 100, 60}, c_plank);
  b.Box(Vec3{0.52f, -0.4f, 0.06f}, Vec3{0.58f, 0.1f, 0.14f}, Rgb{140, 100, 60}, c_plank);
  const float px[2] = {-0.62f, 0.62f}, py[2] = {-0.5f, 0.5f};
  for (float x : px)
    for (float y : py) b.Box(Vec3{x - 0.03f, y - 0.03f, 0}, Vec3{x + 0.03f, y + 0.03f, 1.1f}, c_woodDark, c_wood);
  b.Box(Vec3{-0.64f, -0.53f, 0.9f}, Vec3{0.64f, -0.47f, 0.95f}, c_woodDark, c_wood);
  b.Box(Vec3{-0.64f, 0.47f, 0.9f}, Vec3{0.64f, 0.53f, 0.95f}, c_woodDark, c_wood);
  b.Rod(Vec3{-0.62f, -0.5f, 0.1f}, Vec3{0.62f, -0.5f, 0.88f}, 0.02f, 4, c_woodDark, c_wood);
  LogPile(b, 0.1f, 0.1f, 0.55f);
}

void Stargate(MeshBuilder& b) {
  // An upright ring on a round dais, bright at its inner rim.
  b.Prism(10, 0.82f, 0.76f, 0.0f, 0.1f, c_stoneDark, c_stoneLight);
  b.Prism(10, 0.6f, 0.55f, 0.1f, 0.16f, c_stone, Rgb{200, 196, 210});
  for (int s = -1; s <= 1; s += 2)
    b.Box(Vec3{0.6f * static_cast<float>(s) - 0.08f, -0.1f, 0.1f},
          Vec3{0.6f * static_cast<float>(s) + 0.08f, 0.1f, 0.55f}, c_stoneDark, c_stone);
  b.Push();
  b.Translate(0.0f, 0.0f, 0.95f);
  b.RotateX(90.0f);
  b.Ring(16, 0.58f, 0.76f, -0.09f, 0.09f, Rgb{110, 70, 170}, Rgb{190, 150, 240});
  b.Ring(16, 0.5f, 0.58f, -0.05f, 0.05f, Rgb{60, 200, 230}, Rgb{170, 250, 255});
  for (int i = 0; i < 8; ++i) {
    b.Push();
    b.RotateZ(45.0f * static_cast<float>(i) + 11.25f);
    b.Box(Vec3{0.7f, -0.05f, -0.12f}, Vec3{0.82f, 0.05f, 0.12f}, c_gold, Rgb{255, 230, 120});
    b.Pop();
  }
  b.Pop();
}

// -------------------------------------------------------------------------------------------------
// [SECTION] The table
// -------------------------------------------------------------------------------------------------

struct Entry {
  CatalogueModel model;
  void (*build)(MeshBuilder&);
  // Items and rocks are drawn with their own grow factor on top of the drawing's scale: at the
  // drawing's scale alone they came out too small to tell apart on a tile.
  float grow = 1.0f;
};

#define ROCK(k) [](MeshBuilder& b) { Rock(b, k); }
#define GEM(r, g, bl) [](MeshBuilder& b) { Gem(b, Rgb{r, g, bl}); }

const Entry c_entries[] = {
    {{"data/props/stmp.geo", 0, 0}, Stump},
    {{"data/props/pine.geo", 0, 0}, Pine},
    {{"data/props/mapl.geo", 0, 0}, Maple},
    {{"data/props/appl.geo", 0, 0}, Apple},
    {{"data/props/seedling.geo", 0, 0}, Seedling},
    {{"data/props/rock0.geo", 0, 0}, ROCK(0), 1.7f},
    {{"data/props/rock1.geo", 0, 0}, ROCK(1), 1.7f},
    {{"data/props/rock2.geo", 0, 0}, ROCK(2), 1.7f},
    {{"data/props/rock3.geo", 0, 0}, ROCK(3), 1.7f},
    {{"data/props/rock4.geo", 0, 0}, ROCK(4), 1.7f},
    {{"data/props/rock5.geo", 0, 0}, ROCK(5), 1.7f},
    {{"data/props/rock6.geo", 0, 0}, ROCK(6), 1.7f},
    {{"data/props/rock7.geo", 0, 0}, ROCK(7), 1.7f},
    {{"data/props/rock8.geo", 0, 0}, ROCK(8), 1.7f},
    {{"data/props/rock9.geo", 0, 0}, ROCK(9), 1.7f},
    {{"data/props/copperfield.geo", 0, 0},
     [](MeshBuilder& b) {
       Field(b, Rgb{96, 72, 52}, Rgb{150, 82, 46}, Rgb{214, 132, 72}, Rgb{70, 170, 130}, 81u);
     }},
    {{"data/props/coalfield.geo", 0, 0},
     [](MeshBuilder& b) {
       Field(b, Rgb{70, 66, 62}, Rgb{22, 22, 24}, Rgb{56, 56, 62}, Rgb{90, 90, 100}, 91u);
     }},
    {{"data/props/stone.geo", 0, 0}, Stone, 1.4f},
    {{"data/props/timber.geo", 0, 0}, Timber, 1.4f},
    {{"data/props/lumber.geo", 0, 0}, Lumber, 1.4f},
    {{"data/props/pickaxe.geo", 0, 0}, Pickaxe, 1.4f},
    {{"data/props/woodaxe.geo", 0, 0}, Woodaxe, 1.4f},
    {{"data/props/hammer.geo", 0, 0}, Hammer, 1.4f},
    {{"data/props/boltcutter.geo", 0, 0}, Boltcutter, 1.4f},
    {{"data/props/water.geo", 0, 0}, Water, 1.4f},
    {{"data/props/manure.geo", 0, 0}, Manure, 1.4f},
    {{"data/props/basket.geo", 0, 0}, Basket, 1.4f},
    {{"data/props/provisions.geo", 0, 0}, Provisions, 1.4f},
    {{"data/props/emptybucket.geo", 0, 0}, EmptyBucket, 1.4f},
    {{"data/props/scythe.geo", 0, 0}, Scythe, 1.4f},
    {{"data/props/grain.geo", 0, 0}, Grain, 1.4f},
    {{"data/props/flour.geo", 0, 0}, Flour, 1.4f},
    {{"data/props/milk.geo", 0, 0}, Milk, 1.4f},
    {{"data/props/bread.geo", 0, 0}, Bread, 1.4f},
    {{"data/props/ironore.geo", 0, 0}, IronOre, 1.4f},
    {{"data/props/ingot.geo", 0, 0}, Ingot, 1.4f},
    {{"data/props/fruit.geo", 0, 0}, Fruit, 1.4f},
    {{"data/props/sawmillmarker.geo", 0, 0}, [](MeshBuilder& b) { Marker(b, 0); }, 1.4f},
    {{"data/props/sawmillsite.geo", 0, 0}, [](MeshBuilder& b) { Site(b, 0); }, 1.4f},
    {{"data/props/smeltermarker.geo", 0, 0}, [](MeshBuilder& b) { Marker(b, 1); }, 1.4f},
    {{"data/props/smeltersite.geo", 0, 0}, [](MeshBuilder& b) { Site(b, 1); }, 1.4f},
    {{"data/props/smithymarker.geo", 0, 0}, [](MeshBuilder& b) { Marker(b, 2); }, 1.4f},
    {{"data/props/smithysite.geo", 0, 0}, [](MeshBuilder& b) { Site(b, 2); }, 1.4f},
    {{"data/props/storagemarker.geo", 0, 0}, [](MeshBuilder& b) { Marker(b, 3); }, 1.4f},
    {{"data/props/storagesite.geo", 0, 0}, [](MeshBuilder& b) { Site(b, 3); }, 1.4f},
    {{"data/props/roadmarker.geo", 0, 0}, RoadMarker, 1.4f},
    {{"data/props/roadsite.geo", 0, 0}, RoadSite, 1.4f},
    {{"data/props/bridgemarker.geo", 0, 0}, BridgeMarker, 1.4f},
    {{"data/props/summitmarker.geo", 0, 0}, SummitMarker, 1.4f},
    {{"data/props/buoy.geo", 0, 0}, Buoy, 1.4f},
    {{"data/props/poop.geo", 0, 0}, Poop, 1.4f},
    {{"data/props/redgem.geo", 0, 0}, GEM(230, 24, 30), 1.6f},
    {{"data/props/bluegem.geo", 0, 0}, GEM(30, 60, 240), 1.6f},
    {{"data/props/greengem.geo", 0, 0}, GEM(30, 200, 50), 1.6f},
    {{"data/props/cyangem.geo", 0, 0}, GEM(40, 220, 230), 1.6f},
    {{"data/props/purplegem.geo", 0, 0}, GEM(130, 40, 200), 1.6f},
    {{"data/props/pinkgem.geo", 0, 0}, GEM(255, 120, 190), 1.6f},
    {{"data/props/yellowgem.geo", 0, 0}, GEM(250, 226, 40), 1.6f},
    {{"data/props/orangegem.geo", 0, 0}, GEM(255, 128, 16), 1.6f},
    {{"data/props/chest.geo", 0, 0}, Chest, 1.4f},
    {{"data/props/crown.geo", 0, 0}, CrownItem},
    {{"data/annotations/arrow.geo", 1, 0}, Arrow},
    {{"data/annotations/target.geo", 1, 0}, Target},
    {{"data/annotations/pointmark.geo", 1, 0}, PointMark},
    {{"data/annotations/brdir.geo", 1, 0}, BridgeDirection},
    {{"data/buildings/depot.geo", 0, 0}, Depot},
    {{"data/buildings/waterwell.geo", 0, 0}, WaterWell},
    {{"data/buildings/watermill.geo", 0, 0}, Watermill},
    {{"data/buildings/grainfarm.geo", 0, 0}, GrainFarm},
    {{"data/buildings/dairyfarm.geo", 0, 0}, DairyFarm},
    {{"data/buildings/bakery.geo", 0, 0}, Bakery},
    {{"data/buildings/sawmill.geo", 0, 0}, Sawmill},
    {{"data/buildings/oremine.geo", 0, 0}, OreMine},
    {{"data/buildings/smelter.geo", 0, 0}, Smelter},
    {{"data/buildings/smithy.geo", 0, 0}, Smithy},
    {{"data/buildings/cage.geo", 0, 0}, Cage},
    {{"data/buildings/jailbreak.geo", 0, 0}, Jailbreak},
    {{"data/buildings/bridge.geo", 2, c_bridgeDrop + 0.06f}, Bridge},
    {{"data/buildings/brconstruction.geo", 0, 0}, BridgeSite},
    {{"data/buildings/dkconstruction.geo", 0, 0}, DeckSite},
    {{"data/buildings/streetstraight.geo", 0, 0}, StreetStraight},
    {{"data/buildings/streetright.geo", 0, 0}, StreetRight},
    {{"data/buildings/streetleft.geo", 0, 0}, StreetLeft},
    {{"data/buildings/plaza.geo", 0, 0}, Plaza},
    {{"data/buildings/plconstruction.geo", 0, 0}, PlazaSite},
    {{"data/buildings/ssconstruction.geo", 0, 0}, StraightSite},
    {{"data/buildings/slconstruction.geo", 0, 0}, LeftSite},
    {{"data/buildings/srconstruction.geo", 0, 0}, RightSite},
    {{"data/buildings/faconstruction.geo", 0, 0}, FactorySite},
    {{"data/buildings/singledeck.geo", 2, c_deckLevel}, [](MeshBuilder& b) { Deck(b, 1); }},
    {{"data/buildings/doubledeck.geo", 2, 2 * c_deckLevel}, [](MeshBuilder& b) { Deck(b, 2); }},
    {{"data/buildings/trippledeck.geo", 2, 3 * c_deckLevel}, [](MeshBuilder& b) { Deck(b, 3); }},
    {{"data/buildings/storage.geo", 0, 0}, Storage},
    {{"data/buildings/stargate.geo", 0, 0}, Stargate},
};

const int c_entryCount = static_cast<int>(sizeof(c_entries) / sizeof(c_entries[0]));

}  // namespace

int ModelCatalogueCount() { return c_entryCount; }

const CatalogueModel* ModelCatalogueAt(int i) { return (i >= 0 && i < c_entryCount) ? &c_entries[i].model : nullptr; }

std::vector<uint8_t> ModelCatalogueImage(int i) {
  if (i < 0 || i >= c_entryCount) return {};
  MeshBuilder b;
  const float grow = c_entries[i].grow;
  b.Scale(grow, grow, grow);
  c_entries[i].build(b);
  // Things that stand on the ground get their lowest point exactly on it.
  if (c_entries[i].model.placement == 0) b.SnapToGround();
  return b.GeoImage();
}
