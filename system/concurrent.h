// Threads, mutexes and condition variables over SDL, for the planning and pathing services.
#pragma once

// SDL's own types, declared here so that the simulation can use these classes without
// seeing an SDL header.
struct SDL_Thread;
struct SDL_mutex;
struct SDL_cond;

// A thread's function: takes the data pointer; the value it returns is not used.
typedef int (*ThreadFunction)(void* data);

// A running thread. The constructor starts it; the destructor waits for its function to
// return. A failed start asserts "m_thread" and leaves m_thread null, so the later
// destruction returns at once.
class Thread {
 public:
  Thread(ThreadFunction function, const char* name, void* data);
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  SDL_Thread* m_thread = nullptr;  // null after a failed start and after the join
};

// A mutex. Lock and Unlock give SDL's result (0 on success); a failure logs one line and
// returns the negative result, and the caller goes on.
class Mutex {
 public:
  Mutex();
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  int Lock();
  int Unlock();

  SDL_mutex* m_mutex = nullptr;  // null when creation failed and after destruction
};

// A condition variable. Signal wakes one waiter; Wait releases the locked mutex while it
// sleeps and holds it again when it returns. Waits can wake without a signal, so callers
// test their condition in a loop.
class Cond {
 public:
  Cond();
  ~Cond();
  Cond(const Cond&) = delete;
  Cond& operator=(const Cond&) = delete;
  int Signal();
  // Wakes every waiter.
  int Broadcast();
  int Wait(Mutex* mutex);
  // As Wait, but gives up after `milliseconds`: 0 when woken, 1 when the time ran out, negative on failure.
  int WaitTimeout(Mutex* mutex, unsigned milliseconds);

  SDL_cond* m_cond = nullptr;  // null when creation failed and after destruction
};
