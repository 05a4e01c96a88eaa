// Triangles of the ".geo" meshes, which carry no normals: each face gets its own normal here, turned toward the camera.
#version 330 core
layout(triangles) in;
layout(triangle_strip, max_vertices = 3) out;

layout(std140) uniform CBMeshPerFrameVS {
  mat4 cViewProjection;
  vec4 cCameraPosition;
};

in vec3 vsWorld[];
in vec4 vsColour[];

out vec3 gsWorld;
out vec3 gsNormal;
out vec4 gsColour;

void main() {
  vec3 n = cross(vsWorld[1] - vsWorld[0], vsWorld[2] - vsWorld[0]);
  float len = length(n);
  // A degenerate face has no direction of its own: light it as if it faced the planet's outside.
  n = len > 1e-12 ? n / len : normalize(vsWorld[0] + vec3(1e-6));
  if (dot(n, cCameraPosition.xyz - vsWorld[0]) < 0.0) n = -n;
  for (int i = 0; i < 3; ++i) {
    gsWorld = vsWorld[i];
    gsNormal = n;
    gsColour = vsColour[i];
    gl_Position = gl_in[i].gl_Position;
    EmitVertex();
  }
  EndPrimitive();
}
