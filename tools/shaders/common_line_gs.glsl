// Line segments of the ".geo" meshes (outlines): passed through unlit, marked by a zero normal.
#version 330 core
layout(lines) in;
layout(line_strip, max_vertices = 2) out;

in vec3 vsWorld[];
in vec4 vsColour[];

out vec3 gsWorld;
out vec3 gsNormal;
out vec4 gsColour;

void main() {
  for (int i = 0; i < 2; ++i) {
    gsWorld = vsWorld[i];
    gsNormal = vec3(0.0);
    gsColour = vsColour[i];
    gl_Position = gl_in[i].gl_Position;
    EmitVertex();
  }
  EndPrimitive();
}
