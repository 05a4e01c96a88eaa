// Static models' colour: the vertex colour lit by the one light, with some ambient so the night side stays readable.
#version 330 core
layout(std140) uniform CBMeshPerFramePS {
  vec4 cLight;  // direction toward the light, then 1.0
  vec4 cTime;   // game time in seconds
};

in vec3 gsWorld;
in vec3 gsNormal;
in vec4 gsColour;

out vec4 oColour;

void main() {
  float lit = 1.0;
  if (dot(gsNormal, gsNormal) > 0.0) {
    float diffuse = max(dot(normalize(gsNormal), normalize(cLight.xyz)), 0.0);
    lit = 0.35 + 0.65 * diffuse * cLight.w;
  }
  oColour = vec4(gsColour.rgb * lit, gsColour.a);
}
