// Vector-font text: glyph triangles in viewport units placed by the text matrix; the colour goes on to the fragments.
#version 330 core
layout(location = 0) in vec2 aPosition;

layout(std140) uniform CBTextPerInstVS {
  mat4 cTextMatrix;
  vec4 cTextColour;
};

flat out vec4 vsColour;

void main() {
  vsColour = cTextColour;
  gl_Position = cTextMatrix * vec4(aPosition, 0.0, 1.0);
}
