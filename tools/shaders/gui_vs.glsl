// The GUI's vertex stage: window-unit positions through the projection, uv and colour passed on.
#version 330 core
layout(location = 0) in vec2 aPos;
layout(location = 1) in vec2 aUV;
layout(location = 2) in vec4 aColour;
uniform mat4 cProj;
out vec2 vUV;
out vec4 vColour;
void main() {
  vUV = aUV;
  vColour = aColour;
  gl_Position = cProj * vec4(aPos, 0.0, 1.0);
}
