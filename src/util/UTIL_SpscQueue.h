// Bounded lock-free queue from one producer to one consumer.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <type_traits>

// A ring of N plain records (N a power of two). Push and Pop never block,
// never allocate and never take a lock: Push fails when the ring is full, Pop
// when it is empty. Records come out in the order they went in.
//
// Threads: at any moment at most one thread pushes and at most one pops.
// Several producers may share the queue if they serialise among themselves
// (the plug-in's producers all hold the plug-in mutex when they push); the
// consumer never takes that lock, so it cannot be kept waiting by them.
template <typename T, std::size_t N>
class UTIL_SpscQueue {
  static_assert(N >= 2 && (N & (N - 1)) == 0, "capacity must be a power of two");
  static_assert(std::is_trivially_copyable_v<T>, "records are copied as plain bytes");

public:
  static constexpr std::size_t kCapacity = N;

  bool Push(const T& item) {
    const std::size_t head = mHead.load(std::memory_order_relaxed);
    const std::size_t tail = mTail.load(std::memory_order_acquire);
    if (head - tail >= N) return false;
    mItems[head & (N - 1)] = item;
    mHead.store(head + 1, std::memory_order_release);
    return true;
  }

  bool Pop(T* item) {
    const std::size_t tail = mTail.load(std::memory_order_relaxed);
    const std::size_t head = mHead.load(std::memory_order_acquire);
    if (tail == head) return false;
    *item = mItems[tail & (N - 1)];
    mTail.store(tail + 1, std::memory_order_release);
    return true;
  }

  // A snapshot; exact only when neither side is active.
  std::size_t Size() const {
    return mHead.load(std::memory_order_acquire) - mTail.load(std::memory_order_acquire);
  }

private:
  std::array<T, N> mItems{};
  // Apart, so that the two sides do not bounce one cache line between them.
  alignas(64) std::atomic<std::size_t> mHead{0};  // written by the producer only
  alignas(64) std::atomic<std::size_t> mTail{0};  // written by the consumer only
};
