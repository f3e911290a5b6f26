// Re-entrant mutex and its scoped lock, shared by the framework and the editor.
#pragma once

#include <mutex>

// A thread that holds the mutex may enter it again; it is released when every
// Enter has been matched by a Leave. Safe to use from any thread.
class UTIL_Mutex {
public:
  void Enter() { mMutex.lock(); }
  bool TryEnter() { return mMutex.try_lock(); }
  void Leave() { mMutex.unlock(); }

private:
  std::recursive_mutex mMutex;
};

// Enters the mutex for the lifetime of the lock. A null mutex is allowed and
// makes the lock do nothing; Leave() releases early and only once.
class UTIL_MutexLock {
public:
  explicit UTIL_MutexLock(UTIL_Mutex* mutex) : mMutex(mutex) {
    if (mMutex) mMutex->Enter();
  }
  ~UTIL_MutexLock() { Leave(); }
  void Leave() {
    if (mMutex) mMutex->Leave();
    mMutex = nullptr;
  }
  UTIL_MutexLock(const UTIL_MutexLock&) = delete;
  UTIL_MutexLock& operator=(const UTIL_MutexLock&) = delete;

private:
  UTIL_Mutex* mMutex;
};
