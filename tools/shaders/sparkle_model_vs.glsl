// Sparkles on a static model: its vertices as twinkling points, each with its own phase.
#version 330 core
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec4 aColour;

layout(std140) uniform CBMeshPerFrameVS {
  mat4 cViewProjection;
  vec4 cCameraPosition;
};
layout(std140) uniform CBMeshPerFramePS {
  vec4 cLight;
  vec4 cTime;
};
layout(std140) uniform CBMeshPerInstVS {
  mat4 cModel;
};

out vec4 vsColour;

void main() {
  vec4 world = cModel * vec4(aPosition, 1.0);
  float phase = fract(sin(dot(aPosition, vec3(12.9898, 78.233, 37.719))) * 43758.5453);
  float twinkle = pow(max(sin(cTime.x * 2.5 + phase * 6.2831853), 0.0), 6.0);
  gl_Position = cViewProjection * world;
  gl_PointSize = clamp(twinkle * 0.06 * 720.0 / max(gl_Position.w, 0.05), 0.0, 48.0);
  vsColour = vec4(mix(aColour.rgb, vec3(1.0), 0.6), twinkle);
}
