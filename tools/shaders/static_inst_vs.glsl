// Instanced static models (trees, rocks, items, buildings, markers): each instance's matrix comes from the vertex buffer.
#version 330 core
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec4 aColour;
layout(location = 2) in mat4 aInstance;  // locations 2 to 5, one column each

layout(std140) uniform CBMeshPerFrameVS {
  mat4 cViewProjection;
  vec4 cCameraPosition;
};

out vec3 vsWorld;
out vec4 vsColour;

void main() {
  vec4 world = aInstance * vec4(aPosition, 1.0);
  vsWorld = world.xyz;
  vsColour = aColour;
  gl_Position = cViewProjection * world;
}
