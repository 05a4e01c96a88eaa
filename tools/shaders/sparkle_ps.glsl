// Sparkle points: the star texture tinted by the point's colour and faded by its twinkle.
#version 330 core
uniform sampler2D cSparkle;  // texture unit 0

in vec4 vsColour;
out vec4 oColour;

void main() {
  vec4 star = texture(cSparkle, gl_PointCoord);
  oColour = vec4(star.rgb * vsColour.rgb, star.a * vsColour.a);
}
