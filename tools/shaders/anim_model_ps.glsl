// Animated characters' colour: the skin texture, lit by the one light with face normals from the screen derivatives.
#version 330 core
layout(std140) uniform CBMeshPerFramePS {
  vec4 cLight;
  vec4 cTime;
};
uniform sampler2D cSkin;  // texture unit 0

in vec3 vsWorld;
in vec2 vsTexCoord;

out vec4 oColour;

void main() {
  vec3 n = cross(dFdx(vsWorld), dFdy(vsWorld));
  float len = length(n);
  float lit = 1.0;
  if (len > 1e-20) {
    n /= len;
    lit = 0.45 + 0.55 * abs(dot(n, normalize(cLight.xyz))) * cLight.w;
  }
  vec4 skin = texture(cSkin, vsTexCoord);
  oColour = vec4(skin.rgb * lit, 1.0);
}
