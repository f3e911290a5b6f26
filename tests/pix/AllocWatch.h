// The largest single allocation made while a piece of code runs, seen through
// the address sanitizer's allocator hooks. Loaders and text drawing must not
// ask for memory in proportion to what a forged input claims; without the
// sanitizer the watch sees nothing and reports zero.
#pragma once

#include <atomic>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define KT_HAVE_ALLOC_WATCH 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KT_HAVE_ALLOC_WATCH 1
#endif
#endif

#ifdef KT_HAVE_ALLOC_WATCH
// Part of the sanitizer runtime's allocator interface (GCC ships no header).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
#endif

namespace pixtest {

inline std::atomic<size_t> g_largestAlloc{0};

template <class F>
size_t LargestAllocDuring(F&& f)
{
#ifdef KT_HAVE_ALLOC_WATCH
  static const bool hooked = __sanitizer_install_malloc_and_free_hooks(
                                 [](const volatile void*, size_t size) {
                                   size_t seen = g_largestAlloc.load(std::memory_order_relaxed);
                                   while (size > seen && !g_largestAlloc.compare_exchange_weak(seen, size)) {}
                                 },
                                 [](const volatile void*) {}) != 0;
  (void)hooked;
#endif
  g_largestAlloc = 0;
  f();
  return g_largestAlloc.load();
}

}  // namespace pixtest
