// The simulation's side of the mailbox keeps in step when the visualisation posts two packets in one frame.
#include <gtest/gtest.h>

#include <memory>

#include "test_support.h"
#include "utility/message.h"
#include "world/sim/sim_frame.h"
#include "world/wld.h"

namespace {

TEST(SimFramePump, TwoPacketsOfOneFrameAreBothTakenInThatFrame) {
  MailboxReset();
  SimFrameReset();
  std::unique_ptr<Wld> world(new Wld("pump"));
  // An overflowing frame of the visualisation: the first packet, then the rest in a second one.
  Packet first, second;
  first.Append("simspeed accelerated=1 musicff=0");
  second.Append("simspeed accelerated=0 musicff=0");
  MailboxPost(c_mailboxVis, first);
  MailboxPost(c_mailboxVis, second);
  SimFrame(nullptr, 0, c_simStep, world.get());
  EXPECT_EQ(SimFastForward(), 0);  // the later message of the frame has been read too
  // The next frame's packet is read in that frame, not one behind.
  Packet third;
  third.Append("simspeed accelerated=1 musicff=0");
  MailboxPost(c_mailboxVis, third);
  SimFrame(nullptr, 0, c_simStep, world.get());
  EXPECT_EQ(SimFastForward(), 1);
  Packet none;
  EXPECT_FALSE(MailboxReceive(c_mailboxSim, &none));
  MailboxReset();
  SimFrameReset();
}

}  // namespace
