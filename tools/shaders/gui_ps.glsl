// The GUI's fragment stage: the vertex colour times the font atlas.
#version 330 core
uniform sampler2D cSamp;
in vec2 vUV;
in vec4 vColour;
out vec4 oColour;
void main() {
  oColour = vColour * texture(cSamp, vUV);
}
