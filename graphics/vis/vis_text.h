// Screen text: the one text-drawing operation over the vector font, the action buttons, the waiting markers and the
// label, speech-menu and tutor-box passes.
#pragma once

#include "graphics/gl/graphics.h"
#include "utility/matrix44.h"

struct Vis;
struct Wld;

// The horizontal offset of an aligned text of that width: "left" none, "center" half the width
// to the left, "right" all of it; any other word none. The vertical one likewise for "center"
// (half the height up) and "bottom" (all of it up). Words are compared exactly.
float TextAlignX(const char* align, float width);
float TextAlignY(const char* align, float height);
// An action's name as its button shows it: every '_' a blank, cut to the buffer.
void ActionButtonText(const char* name, char* out, int size);

// Breaks the text into lines no wider than maxWidth at glyph width w: at blanks, and inside a word
// only when the word alone is wider. Writes the lines, joined by newlines, into out (cut to size,
// always terminated) and returns their number (0 for an empty text). Blanks at a break are dropped.
int TextWrap(const char* text, float w, float maxWidth, char* out, size_t size);

// Draws the text with the text program and the "CBTextPerInstVS" block the caller made current,
// at (x, y) of the viewport with the glyph size (w, h) and the alignments; returns its width.
// One vertex buffer and array serve every call: they are made on the first call and refilled.
float VisDrawText(const char* text, float x, float y, float w, float h, const char* hAlign, const char* vAlign);
// Frees the text buffers (before the GL context goes).
void VisTextShutdown();
// Uploads the text block (matrix, colour) into the Vis's "CBTextPerInstVS" on slot 3.
void VisTextBlock(Vis* vis, const Matrix44& matrix, float r, float g, float b, float a);

// Button i of the head-up row, with the viewport already set to its rectangle.
void ActionButtonDraw(Vis* vis, int button);
// The hourglass over every character that waits for a plan or a path, facing the planet camera.
void WaitingMarkersDraw(Vis* vis, const Wld& world, const Matrix44& viewProjection);
// The text part of the world pass, after the characters: tile label, waiting markers, building
// labels, then the action buttons and (while the player's character greets) the speech menu, each
// in its own viewport. Leaves the viewport on the whole window.
void VisDrawTextPass(Vis* vis, const Wld& world);
