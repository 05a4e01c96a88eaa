// The glow around highlighted characters: a soft, slowly breathing silhouette drawn once per pixel.
#version 330 core
layout(std140) uniform CBMeshPerFramePS {
  vec4 cLight;
  vec4 cTime;
};
layout(std140) uniform CBGlowPerInstPS {
  vec4 cGlowColour;  // colour and base opacity
  vec4 cGlowTint;    // tint, then the breathing depth
  vec4 cGlowRate;    // x: breathing speed in radians per second
};

in vec3 vsWorld;
in vec2 vsTexCoord;

out vec4 oColour;

void main() {
  float breath = 0.5 + 0.5 * sin(cTime.x * cGlowRate.x * 0.3);
  oColour = vec4(cGlowColour.rgb * cGlowTint.rgb, cGlowColour.a + cGlowTint.a * breath);
}
