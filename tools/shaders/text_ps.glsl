// Vector-font text: one flat colour.
#version 330 core
flat in vec4 vsColour;
out vec4 oColour;

void main() { oColour = vsColour; }
