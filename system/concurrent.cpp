// Threads, mutexes and condition variables: thin wrappers that log SDL's failures.
#include "system/concurrent.h"

#include <SDL.h>

#include "utility/log.h"

Thread::Thread(ThreadFunction function, const char* name, void* data) {
  if (!name) name = "";
  // SDL would start a thread that jumps to address 0.
  if (function) m_thread = SDL_CreateThread(function, name, data);
  ASSERTM(m_thread, "failed to create thread for '%s'", name);
}

Thread::~Thread() {
  if (!m_thread) return;
  int status = 0;
  SDL_WaitThread(m_thread, &status);
  m_thread = nullptr;
}

Mutex::Mutex() {
  m_mutex = SDL_CreateMutex();
  if (!m_mutex) LOGE("CreateMutex failed with %s", SDL_GetError());
}

Mutex::~Mutex() {
  SDL_DestroyMutex(m_mutex);
  m_mutex = nullptr;
}

// A mutex that was never made is reported as a failure: treating it as locked would let
// two threads into the same ring at once.
int Mutex::Lock() {
  int result = m_mutex ? SDL_LockMutex(m_mutex) : SDL_SetError("no mutex");
  if (result < 0) LOGE("LockMutex failed with %s", SDL_GetError());
  return result;
}

int Mutex::Unlock() {
  int result = m_mutex ? SDL_UnlockMutex(m_mutex) : SDL_SetError("no mutex");
  if (result < 0) LOGE("UnlockMutex failed with %s", SDL_GetError());
  return result;
}

Cond::Cond() {
  m_cond = SDL_CreateCond();
  if (!m_cond) LOGE("CreateCond failed with %s", SDL_GetError());
}

Cond::~Cond() {
  SDL_DestroyCond(m_cond);
  m_cond = nullptr;
}

int Cond::Signal() {
  int result = m_cond ? SDL_CondSignal(m_cond) : SDL_SetError("no condition variable");
  if (result < 0) LOGE("CondSignal failed with %s", SDL_GetError());
  return result;
}

int Cond::Broadcast() {
  int result = m_cond ? SDL_CondBroadcast(m_cond) : SDL_SetError("no condition variable");
  if (result < 0) LOGE("CondBroadcast failed with %s", SDL_GetError());
  return result;
}

// A wait needs both the condition variable and a made mutex; otherwise it fails as SDL would.
static int WaitRefused(const SDL_cond* cond, const Mutex* mutex) {
  if (!cond) return SDL_SetError("no condition variable");
  if (!mutex || !mutex->m_mutex) return SDL_SetError("no mutex");
  return 0;
}

int Cond::Wait(Mutex* mutex) {
  int result = WaitRefused(m_cond, mutex);
  if (result == 0) result = SDL_CondWait(m_cond, mutex->m_mutex);
  if (result < 0) LOGE("CondWait failed with %s", SDL_GetError());
  return result;
}

int Cond::WaitTimeout(Mutex* mutex, unsigned milliseconds) {
  int result = WaitRefused(m_cond, mutex);
  if (result == 0) result = SDL_CondWaitTimeout(m_cond, mutex->m_mutex, milliseconds);
  if (result < 0) LOGE("CondWaitTimeout failed with %s", SDL_GetError());
  return result == SDL_MUTEX_TIMEDOUT ? 1 : result;
}
