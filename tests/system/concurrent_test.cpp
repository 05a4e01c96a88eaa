// Threads, mutexes and conditions: a worker ring like the planning services', joins and failures.
#include "system/concurrent.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "log_lines.h"
#include "test_support.h"

namespace {

// Polls until the condition holds or the bound runs out; never an unbounded wait.
template <typename Condition>
bool WaitUntil(Condition condition, int seconds = 20) {
  for (int i = 0; i < seconds * 1000; i++) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

// Destroys (joins) the thread on a helper. A join that never returns ends the test program
// with a failure instead of hanging the CI run.
void DeleteWithinBound(Thread* thread) {
  std::atomic<bool> joined{false};
  std::thread helper([&] {
    delete thread;
    joined = true;
  });
  if (!WaitUntil([&] { return joined.load(); })) {
    fprintf(stderr, "The thread was not joined: its destruction hangs\n");
    fflush(stderr);
    std::_Exit(1);
  }
  helper.join();
}

// A small request ring served by one worker, built the way the planning and pathing
// services build theirs: one mutex, a has-work and a has-room condition.
struct Ring {
  static constexpr int c_slots = 4;
  static constexpr int c_requests = 24;
  Mutex lock;
  Cond hasWork;
  Cond hasRoom;
  // Guarded by lock.
  int slots[c_slots] = {};
  int first = 0;
  int count = 0;
  bool stop = false;
  bool idle = false;
  // Written by the worker only, each published by its done flag.
  int answers[c_requests] = {};
  std::atomic<bool> done[c_requests] = {};
};

int RingWorker(void* data) {
  Ring* ring = static_cast<Ring*>(data);
  ring->lock.Lock();
  for (;;) {
    while (ring->count == 0 && !ring->stop) {
      ring->idle = true;
      ring->hasWork.Wait(&ring->lock);
      ring->idle = false;
    }
    if (ring->stop) break;
    int request = ring->slots[ring->first];
    ring->first = (ring->first + 1) % Ring::c_slots;
    ring->count--;
    ring->hasRoom.Signal();
    ring->lock.Unlock();
    ring->answers[request] = request * request;
    ring->done[request].store(true, std::memory_order_release);
    ring->lock.Lock();
  }
  ring->lock.Unlock();
  return 0;
}

void RingSubmit(Ring* ring, int request) {
  ring->lock.Lock();
  while (ring->count == Ring::c_slots && !ring->stop) ring->hasRoom.Wait(&ring->lock);
  ring->slots[(ring->first + ring->count) % Ring::c_slots] = request;
  ring->count++;
  ring->hasWork.Signal();
  ring->lock.Unlock();
}

void RingStop(Ring* ring, Thread* worker) {
  ring->lock.Lock();
  ring->stop = true;
  ring->hasWork.Signal();
  ring->hasRoom.Signal();
  ring->lock.Unlock();
  DeleteWithinBound(worker);
}

std::atomic<bool> finished{false};
int ReturnAtOnce(void*) {
  finished = true;
  return 7;
}

struct Counter {
  Mutex lock;
  int value = 0;  // guarded by lock; a plain int so that ThreadSanitizer sees any unguarded step
};

int CountUp(void* data) {
  Counter* counter = static_cast<Counter*>(data);
  for (int i = 0; i < 20000; i++) {
    counter->lock.Lock();
    counter->value++;
    counter->lock.Unlock();
  }
  return 0;
}

}  // namespace

TEST(ConcurrentThread, WorkerRingServesAndStopsWhileWaiting) {
  Ring ring;
  ASSERT_NE(ring.lock.m_mutex, nullptr);
  Thread* worker = new Thread(RingWorker, "planningthread", &ring);
  ASSERT_NE(worker->m_thread, nullptr);
  EXPECT_STREQ(SDL_GetThreadName(worker->m_thread), "planningthread");
  // More requests than slots: the producer has to wait for room now and then.
  for (int i = 0; i < Ring::c_requests; i++) RingSubmit(&ring, i);
  ASSERT_TRUE(WaitUntil([&] {
    for (const std::atomic<bool>& d : ring.done)
      if (!d.load(std::memory_order_acquire)) return false;
    return true;
  }));
  for (int i = 0; i < Ring::c_requests; i++) EXPECT_EQ(ring.answers[i], i * i);
  // The worker is asleep on the has-work condition; the stop must wake it and the
  // destruction must join it.
  ASSERT_TRUE(WaitUntil([&] {
    ring.lock.Lock();
    bool idle = ring.idle;
    ring.lock.Unlock();
    return idle;
  }));
  RingStop(&ring, worker);
}

TEST(ConcurrentThread, DestroyAfterFunctionReturned) {
  finished = false;
  Thread* thread = new Thread(ReturnAtOnce, "shortthread", nullptr);
  ASSERT_NE(thread->m_thread, nullptr);
  ASSERT_TRUE(WaitUntil([] { return finished.load(); }));
  DeleteWithinBound(thread);
}

TEST(ConcurrentThread, WorksWithoutSdlInit) {
  // The services start before and stop after the rest of SDL; threads and mutexes must not
  // depend on SDL_Init.
  SDL_Quit();
  ASSERT_EQ(SDL_WasInit(SDL_INIT_EVERYTHING), 0u);
  Counter counter;
  Thread* a = new Thread(CountUp, "counta", &counter);
  Thread* b = new Thread(CountUp, "countb", &counter);
  ASSERT_NE(a->m_thread, nullptr);
  ASSERT_NE(b->m_thread, nullptr);
  DeleteWithinBound(a);
  DeleteWithinBound(b);
  EXPECT_EQ(counter.value, 40000);
}

TEST(ConcurrentThread, FailuresAreReportedAndSurvived) {
  LogLines log;
  {
    ExpectAsserts expect;
    Thread thread(nullptr, "nothing", nullptr);
    EXPECT_EQ(thread.m_thread, nullptr);
    EXPECT_TRUE(expect.Saw("m_thread"));
  }  // the destruction of a thread that never started returns at once

  // A mutex or condition that was never made fails each call with SDL's negative result.
  Mutex mutex;
  Cond cond;
  SDL_mutex* realMutex = mutex.m_mutex;
  SDL_cond* realCond = cond.m_cond;
  mutex.m_mutex = nullptr;
  EXPECT_LT(mutex.Lock(), 0);
  EXPECT_TRUE(log.Has("LockMutex failed with "));
  EXPECT_LT(mutex.Unlock(), 0);
  EXPECT_TRUE(log.Has("UnlockMutex failed with "));
  EXPECT_LT(cond.Wait(&mutex), 0);  // returns instead of sleeping forever
  EXPECT_TRUE(log.Has("CondWait failed with "));
  mutex.m_mutex = realMutex;
  cond.m_cond = nullptr;
  EXPECT_LT(cond.Signal(), 0);
  EXPECT_TRUE(log.Has("CondSignal failed with "));
  cond.m_cond = realCond;
  EXPECT_EQ(mutex.Lock(), 0);
  EXPECT_EQ(cond.Signal(), 0);
  EXPECT_EQ(mutex.Unlock(), 0);
}
