// The millisecond clock and aligned heap blocks.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>

#include "log_lines.h"
#include "system/memory.h"
#include "system/timer.h"

TEST(Timer, GrowsInMilliseconds) {
  ASSERT_TRUE(TimerInit());
  double start = TimerElapsedMs();
  EXPECT_GE(start, 0.0);
  // A sleep lasts at least as long as asked, so this is a lower bound only: it catches a
  // clock scaled to seconds or ticks, not a slow machine.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  double later = TimerElapsedMs();
  EXPECT_GE(later - start, 45.0);
  TimerExit();

  // A restart counts from zero again: without it the clock would read at least later + 200.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_TRUE(TimerInit());
  EXPECT_LT(TimerElapsedMs(), later + 200.0);
  TimerExit();
}

TEST(AlignedMemory, BlocksAreAlignedAndWritable) {
  void* blocks[64];
  for (int i = 0; i < 64; i++) {
    size_t size = static_cast<size_t>(i) * 13;  // 0 included: still a real block
    blocks[i] = AlignedAlloc(size, 32);
    ASSERT_NE(blocks[i], nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(blocks[i]) % 32, 0u);
    memset(blocks[i], 0xab, size);
  }
  for (void* block : blocks) AlignedFree(block);
  void* page = AlignedAlloc(100, 4096);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(page) % 4096, 0u);
  AlignedFree(page);
  void* small = AlignedAlloc(3, 2);  // below pointer alignment
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(small) % 2, 0u);
  AlignedFree(small);
  AlignedFree(nullptr);
}

TEST(AlignedMemory, BadRequestsGiveNullWithALine) {
  LogLines log;
  EXPECT_EQ(AlignedAlloc(64, 0), nullptr);
  EXPECT_EQ(AlignedAlloc(64, 48), nullptr);
  // A size computed as a negative number: refused before it reaches the allocator.
  EXPECT_EQ(AlignedAlloc(SIZE_MAX - 8, 32), nullptr);
  EXPECT_EQ(log.Count(), 3);
}
