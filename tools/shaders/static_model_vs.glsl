// One static model (the planet): its vertices placed by the per-instance model matrix, projected by the geometry stage.
#version 330 core
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec4 aColour;

layout(std140) uniform CBMeshPerFrameVS {
  mat4 cViewProjection;
  vec4 cCameraPosition;
};
layout(std140) uniform CBMeshPerInstVS {
  mat4 cModel;
};

out vec3 vsWorld;
out vec4 vsColour;

void main() {
  vec4 world = cModel * vec4(aPosition, 1.0);
  vsWorld = world.xyz;
  vsColour = aColour;
  gl_Position = cViewProjection * world;
}
