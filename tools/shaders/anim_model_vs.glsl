// Animated characters: each vertex blended between this frame's and the following frame's position by the weight.
#version 330 core
layout(location = 0) in vec3 aPosition;      // this frame
layout(location = 1) in vec3 aNextPosition;  // the following frame
layout(location = 2) in vec2 aTexCoord;

layout(std140) uniform CBMeshPerFrameVS {
  mat4 cViewProjection;
  vec4 cCameraPosition;
};
layout(std140) uniform CBAnimPerInstVS {
  mat4 cModel;
  vec4 cAnim;  // x: weight of the following frame
};

out vec3 vsWorld;
out vec2 vsTexCoord;

void main() {
  vec3 p = mix(aPosition, aNextPosition, cAnim.x);
  vec4 world = cModel * vec4(p, 1.0);
  vsWorld = world.xyz;
  vsTexCoord = aTexCoord;
  gl_Position = cViewProjection * world;
}
