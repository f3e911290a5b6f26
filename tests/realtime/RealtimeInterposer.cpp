// Interposes the calls an audio thread must never make. The test program
// defines them itself, so the dynamic linker binds every call in the
// process (ours, the standard libraries', the sanitizers') to these first;
// each is counted, checked against the calling thread's mark, and passed on
// to the next definition (dlsym with RTLD_NEXT, or glibc's own allocator).
//
// Under AddressSanitizer or ThreadSanitizer the allocator belongs to the
// sanitizer runtime and must stay its own: allocations are then seen through
// its malloc and free hooks instead of by replacing malloc.
#undef _FORTIFY_SOURCE
#ifndef _GNU_SOURCE
#define _GNU_SOURCE 1
#endif

#include "RealtimeInterposer.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define RT_SANITIZER_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define RT_SANITIZER_ALLOCATOR 1
#endif
#endif

#ifdef RT_SANITIZER_ALLOCATOR
// The sanitizer runtimes' hook entry (their header does not ship with every compiler).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                                         void (*free_hook)(const volatile void*));
#endif

namespace {

// Constant-initialised thread-local data of the program itself: reading it
// never allocates, so it is safe inside malloc.
thread_local bool tInRender = false;
thread_local bool tLocksAllowed = false;
std::atomic<long> gIntercepted{0};
std::atomic<long> gLocksTaken{0};
std::atomic<long> gViolations{0};
std::atomic<const char*> gFirstViolation{nullptr};
std::atomic<long> gLocksInRender{0};

void Check(const char* name, bool isLock = false) {
  gIntercepted.fetch_add(1, std::memory_order_relaxed);
  if (!tInRender) return;
  if (isLock && tLocksAllowed) {
    gLocksTaken.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  if (isLock) gLocksInRender.fetch_add(1, std::memory_order_relaxed);
  if (gViolations.fetch_add(1, std::memory_order_relaxed) == 0)
    gFirstViolation.store(name, std::memory_order_relaxed);
}

// The next definition of a symbol after ours, looked up once.
template <typename Fn>
Fn Next(std::atomic<Fn>& slot, const char* name, const char* version = nullptr) {
  Fn fn = slot.load(std::memory_order_acquire);
  if (!fn) {
    void* sym = version ? dlvsym(RTLD_NEXT, name, version) : nullptr;
    if (!sym) sym = dlsym(RTLD_NEXT, name);
    fn = reinterpret_cast<Fn>(sym);
    slot.store(fn, std::memory_order_release);
  }
  return fn;
}

using MutexLockFn = int (*)(pthread_mutex_t*);
using CondWaitFn = int (*)(pthread_cond_t*, pthread_mutex_t*);
using YieldFn = int (*)();
using NanosleepFn = int (*)(const struct timespec*, struct timespec*);
using ClockNanosleepFn = int (*)(clockid_t, int, const struct timespec*, struct timespec*);
using WriteFn = ssize_t (*)(int, const void*, size_t);
using OpenFn = int (*)(const char*, int, ...);
using FopenFn = FILE* (*)(const char*, const char*);

std::atomic<MutexLockFn> gMutexLock{nullptr};
std::atomic<CondWaitFn> gCondWait{nullptr};
std::atomic<YieldFn> gYield{nullptr};
std::atomic<NanosleepFn> gNanosleep{nullptr};
std::atomic<ClockNanosleepFn> gClockNanosleep{nullptr};
std::atomic<WriteFn> gWrite{nullptr};
std::atomic<OpenFn> gOpen{nullptr};
std::atomic<OpenFn> gOpen64{nullptr};
std::atomic<FopenFn> gFopen{nullptr};
std::atomic<FopenFn> gFopen64{nullptr};

#ifdef RT_SANITIZER_ALLOCATOR
void MallocHook(const volatile void*, size_t) { Check("malloc"); }
void FreeHook(const volatile void*) { Check("free"); }
#endif

// Looks every symbol up before main, so no lookup happens on a marked thread.
__attribute__((constructor)) void InstallInterposer() {
#ifdef RT_SANITIZER_ALLOCATOR
  __sanitizer_install_malloc_and_free_hooks(MallocHook, FreeHook);
#endif
  // The condition-variable functions come in two versions; the current one
  // is the one our pthread.h declares.
  Next(gCondWait, "pthread_cond_wait", "GLIBC_2.3.2");
  Next(gMutexLock, "pthread_mutex_lock");
  Next(gYield, "sched_yield");
  Next(gNanosleep, "nanosleep");
  Next(gClockNanosleep, "clock_nanosleep");
  Next(gWrite, "write");
  Next(gOpen, "open");
  Next(gOpen64, "open64");
  Next(gFopen, "fopen");
  Next(gFopen64, "fopen64");
}

int OpenWith(std::atomic<OpenFn>& slot, const char* name, const char* path, int flags, va_list args) {
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) mode = static_cast<mode_t>(va_arg(args, int));
  return Next(slot, name)(path, flags, mode);
}

}  // namespace

namespace rtcheck {

void SetInRender(bool inRender) { tInRender = inRender; }
void SetLocksAllowed(bool allowed) { tLocksAllowed = allowed; }
long LocksTaken() { return gLocksTaken.load(); }
long Intercepted() { return gIntercepted.load(); }
long Violations() { return gViolations.load(); }
long LocksInRender() { return gLocksInRender.load(); }
const char* FirstViolation() {
  const char* name = gFirstViolation.load();
  return name ? name : "";
}
void ResetCounts() {
  gIntercepted = 0;
  gLocksTaken = 0;
  gViolations = 0;
  gFirstViolation = nullptr;
  gLocksInRender = 0;
}

}  // namespace rtcheck

extern "C" {

#ifndef RT_SANITIZER_ALLOCATOR
// glibc's allocator under its internal names: no lookup, no recursion.
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);

void* malloc(size_t n) noexcept {
  Check("malloc");
  return __libc_malloc(n);
}
void* calloc(size_t n, size_t size) noexcept {
  Check("calloc");
  return __libc_calloc(n, size);
}
void* realloc(void* p, size_t n) noexcept {
  Check("realloc");
  return __libc_realloc(p, n);
}
void free(void* p) noexcept {
  if (p) Check("free");
  __libc_free(p);
}
#endif

int pthread_mutex_lock(pthread_mutex_t* m) noexcept {
  Check("pthread_mutex_lock", true);
  return Next(gMutexLock, "pthread_mutex_lock")(m);
}

int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m) {
  Check("pthread_cond_wait");
  return Next(gCondWait, "pthread_cond_wait", "GLIBC_2.3.2")(c, m);
}

int sched_yield() noexcept {
  Check("sched_yield");
  return Next(gYield, "sched_yield")();
}

int nanosleep(const struct timespec* req, struct timespec* rem) {
  Check("nanosleep");
  return Next(gNanosleep, "nanosleep")(req, rem);
}

int clock_nanosleep(clockid_t clock, int flags, const struct timespec* req, struct timespec* rem) {
  Check("clock_nanosleep");
  return Next(gClockNanosleep, "clock_nanosleep")(clock, flags, req, rem);
}

ssize_t write(int fd, const void* buf, size_t n) {
  Check("write");
  return Next(gWrite, "write")(fd, buf, n);
}

int open(const char* path, int flags, ...) {
  Check("open");
  va_list args;
  va_start(args, flags);
  const int fd = OpenWith(gOpen, "open", path, flags, args);
  va_end(args);
  return fd;
}

int open64(const char* path, int flags, ...) {
  Check("open");
  va_list args;
  va_start(args, flags);
  const int fd = OpenWith(gOpen64, "open64", path, flags, args);
  va_end(args);
  return fd;
}

FILE* fopen(const char* path, const char* mode) {
  Check("fopen");
  return Next(gFopen, "fopen")(path, mode);
}

FILE* fopen64(const char* path, const char* mode) {
  Check("fopen");
  return Next(gFopen64, "fopen64")(path, mode);
}

}  // extern "C"

// operator new and delete by name, so a violation says which it was. They
// allocate through malloc, which the checks above see as well.
void* operator new(std::size_t n) {
  Check("operator new");
  if (void* p = malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
  Check("operator new[]");
  if (void* p = malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  Check("operator new");
  return malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  Check("operator new[]");
  return malloc(n ? n : 1);
}
void operator delete(void* p) noexcept {
  if (p) Check("operator delete");
  free(p);
}
void operator delete[](void* p) noexcept {
  if (p) Check("operator delete[]");
  free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  if (p) Check("operator delete");
  free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  if (p) Check("operator delete[]");
  free(p);
}
