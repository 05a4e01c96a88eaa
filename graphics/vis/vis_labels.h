// VisLabels: the texts written into the scene and onto the screen (site needs, full stores, the hovered tile, speech
// choices, the tutor box).
#pragma once

#include <cstdint>

#include "utility/fixed_string.h"
#include "utility/matrix44.h"

struct Vis;
struct Wld;

// One text to draw: the matrix and colour go into the text block "CBTextPerInstVS" (slot 3),
// the rest to the text-drawing operation (text, position, glyph size, alignments).
struct TextLabel {
  Matrix44 m_matrix;  // view-projection x label frame, or the identity for screen texts
  float m_colour[4] = {};
  FixedString m_text;
  float m_x = 0.0f, m_y = 0.0f;
  float m_glyphW = 0.0f, m_glyphH = 0.0f;
  const char* m_hAlign = "center";
  const char* m_vAlign = "center";
  bool m_blend = false;  // a panel background, drawn with blending on
};

// The 80 bytes of "CBTextPerInstVS": the matrix, then red, green, blue, alpha.
void TextLabelBlock(const TextLabel& label, float out[20]);

// Icon glyphs of the vector font used inside the texts.
constexpr char c_glyphStone = 5;
constexpr char c_glyphLumber = 6;
constexpr char c_glyphSpeechPanel = 17;
constexpr char c_glyphTutorBox = 24;

// The labels of construction sites (their material needs, red while trees or rocks still block
// the site) and of buildings on full storage tiles ("STORE\nFULL"), facing the camera whose Y and
// Z axes and position are given; labels beyond the planet's horizon seen from the camera are left
// out. At most limit are written; returns the number written. A building whose tile is not on the
// planet fires the assertion "loc>=0" and gets no label.
int BuildingLabels(const Wld& world, const Matrix44& viewProjection, const Vec3& cameraY, const Vec3& cameraZ,
                   const Vec3& cameraPos, TextLabel* out, int limit);
// Whether a point can be seen from the camera over the planet's curve (the planet's centre is the
// origin): the camera lies above the point's tangent plane.
bool AboveHorizon(const Vec3& point, const Vec3& camera);
// The width of the text's widest line at glyph width w, as the vector font lays it out.
float TextWidth(const char* text, float w);
// "tile%d" lying flat on the hovered tile; false (nothing written) when the tile is not on the planet.
bool TileLabel(const Wld& world, int tile, const Matrix44& viewProjection, TextLabel* out);
// The speech panel: its background, then each present line of the nine (line 0 the title,
// 1 to 8 the choices). hover is the speech menu's row under the pointer (choice i is
// highlighted at row i + 1); highlight is false while the camera is being dragged. Returns the
// number written (at most 10).
int SpeechChoiceLabels(const char* const lines[9], int hover, bool highlight, TextLabel out[10]);
// The tutor box: its background and the text; 0 when no tutorial runs (text null). A text too
// wide for the box is written with narrower glyphs.
int TutorLabels(const char* text, TextLabel out[2]);

// The text-drawing operation: text, position, glyph size, horizontal and vertical alignment;
// returns the text's width.
typedef float (*TextDrawFn)(const char* text, float x, float y, float w, float h, const char* hAlign,
                            const char* vAlign);
// The uniform slot of "CBTextPerInstVS".
constexpr int c_textBlockSlot = 3;
// Draws the labels in order: each one's block goes into the 80-byte uniform buffer textBlock
// (bound on slot 3), then draw is called. Panel backgrounds are drawn with alpha blending,
// which is put back as it was after each. The text program must be current. Empty texts are
// skipped; a null buffer or draw function draws nothing.
void TextLabelsDraw(uint64_t textBlock, const TextLabel* labels, int count, TextDrawFn draw);

// The drawing passes of the game frame. Each writes its labels through the text block of the Vis
// with the text-drawing operation; the caller has made the text program current.
// Site needs and full stores over the buildings, facing the planet camera (depth writes off).
void BuildingLabelsDraw(Vis* vis, const Wld& world, const Matrix44& viewProjection);
// The number of the tile under the pointer, only while the debug window's "Tile info" switch is on.
void TileLabelDraw(Vis* vis, const Wld& world, const Matrix44& viewProjection);
// The speech panel in the speech menu's viewport (the caller checks that the player greets).
void SpeechChoicesDraw(Vis* vis);
// The tutor's text box in the tutor inset, only while the tutorial runs; makes the text program
// current itself and leaves depth test and culling as it found them.
void TutorTextDraw(Vis* vis, const Wld& world);
