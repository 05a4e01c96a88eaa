// Reading keys out of the simulation's message text, and the crown's attachment frame on a figure.
#include "graphics/vis/vis_input.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "graphics/vis/vis_instances.h"
#include "test_support.h"

TEST(VisMessages, KeysAreFoundAfterTheKeyword) {
  struct Case {
    const char* text;
    const char* key;
    int expect;
  } ints[] = {
      {"intro ended=1 started=0", "ended", 1},
      {"intro ended=1 started=0", "started", 0},
      {"intro started", "started", INT_MIN},   // no '='
      {"intro started=", "started", INT_MIN},  // nothing after it
      {"intro", "ended", INT_MIN},             // nothing after the keyword
      {"ended=5 intro", "ended", INT_MIN},     // the keyword itself is not searched
      {"soundeffect name=x tile=-12", "tile", -12},
      {"x resended=7", "ended", 7},  // a key matches inside a longer word, as the simulation reads it
      // Too big for 32 bits: clamped, as the simulation reads it, not wrapped to 1215752191.
      {"soundeffect tile=99999999999", "tile", INT_MAX},
      {"soundeffect tile=-99999999999", "tile", INT_MIN},
  };
  for (const Case& c : ints) EXPECT_EQ(MessageIntValue(c.text, c.key), c.expect) << c.text;
  EXPECT_FLOAT_EQ(MessageFloatValue("soundeffect name=thud gain=2.0", "gain", 1.0f), 2.0f);
  EXPECT_FLOAT_EQ(MessageFloatValue("soundeffect name=thud", "gain", 1.0f), 1.0f);
  EXPECT_FLOAT_EQ(MessageFloatValue("soundeffect gain=-1e39", "gain", 1.0f), 1.0f);
  char word[80];
  MessageWordValue("soundeffect name=thud tile=3", "name", word, sizeof(word));
  EXPECT_STREQ(word, "thud");
  std::string longText = "x name=" + std::string(200, 'a');
  MessageWordValue(longText.c_str(), "name", word, sizeof(word));
  EXPECT_EQ(strlen(word), 79u);
  MessageWordValue("x other=1", "name", word, sizeof(word));
  EXPECT_STREQ(word, "");
}

TEST(VisMessages, CrownFrameSitsOnTheHeadPoints) {
  // A figure of 310 distinct vertices in two frames, all at the origin except the six points.
  const int verts = 310, frames = 2;
  std::vector<float> v(static_cast<size_t>(verts) * frames * 8, 0.0f);
  auto put = [&](int frame, int k, Vec3 a, Vec3 b) {
    float* p = &v[(static_cast<size_t>(frame) * verts + k) * 8];
    p[0] = a.x, p[1] = a.y, p[2] = a.z, p[3] = b.x, p[4] = b.y, p[5] = b.z;
  };
  // Head at (0, 0, 1) in frame 1's first position, moving to (0, 0, 2) in its second.
  const Vec3 offsets[6] = {{-0.1f, 0, 0}, {0.1f, 0, 0}, {0, 0.1f, 0}, {0, -0.1f, 0}, {0, 0, 0.1f}, {0, 0, -0.1f}};
  const int ids[6] = {82, 129, 119, 305, 134, 125};
  for (int i = 0; i < 6; ++i) put(1, ids[i], Vec3{0, 0, 1} + offsets[i], Vec3{0, 0, 2} + offsets[i]);
  Matrix44 m;
  ASSERT_TRUE(AttachFrameCompute(v.data(), verts, frames, 1, 0.5f, 2.0f, &m));
  EXPECT_NEAR(m.GetTranslation().z, 3.0f, 1e-5f);  // mean height 1.5, times the scale 2
  EXPECT_NEAR(m.GetZAxis().z, 1.0f, 1e-5f);        // up from bottom to top
  EXPECT_NEAR(m.GetYAxis().y, 1.0f, 1e-5f);        // toward the front point
  // Too small a figure, a frame outside it, or no data: refused, the output untouched.
  Matrix44 untouched;
  untouched.m[0] = 42.0f;
  EXPECT_FALSE(AttachFrameCompute(v.data(), 305, frames, 0, 0.0f, 1.0f, &untouched));
  EXPECT_FALSE(AttachFrameCompute(v.data(), verts, frames, 2, 0.0f, 1.0f, &untouched));
  EXPECT_FALSE(AttachFrameCompute(v.data(), verts, frames, -1, 0.0f, 1.0f, &untouched));
  EXPECT_FALSE(AttachFrameCompute(nullptr, verts, frames, 0, 0.0f, 1.0f, &untouched));
  EXPECT_EQ(untouched.m[0], 42.0f);
}
