// The render path must not allocate: every operator new in this test program
// is counted while a render is in progress.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "InstrumentRig.h"

namespace {
std::atomic<bool> gCounting{false};
std::atomic<int> gAllocations{0};

void* CountedAlloc(std::size_t size) {
  if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1, std::memory_order_relaxed);
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  return p;
}
}  // namespace

void* operator new(std::size_t size) { return CountedAlloc(size); }
void* operator new[](std::size_t size) { return CountedAlloc(size); }
// The nothrow forms too, so that every form of delete below frees what came from here.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

using namespace kttest;

TEST(RenderAllocation, RenderingBlocksWithHitsAndParameterMovesAllocatesNothing) {
  QiKt412 plug;
  Prepare(plug, 512);
  std::vector<double> left(512), right(512);
  double* outs[2] = {left.data(), right.data()};
  int allocationsDuringRender = 0;
  for (int blk = 0; blk < 64; ++blk) {
    NoteOn(plug, blk % 512, 33, 100);
    ControlChange(plug, 0, blk % 128);  // routed to parameter 10 before any learning
    gAllocations = 0;
    gCounting = true;
    plug.ProcessDoubleReplacing(nullptr, outs, 512);
    gCounting = false;
    allocationsDuringRender += gAllocations.load();
  }
  EXPECT_EQ(allocationsDuringRender, 0);
}

TEST(RenderAllocation, TheCounterSeesAllocations) {
  // Guards the test above against an operator new that is never called.
  gAllocations = 0;
  gCounting = true;
  auto* p = new std::vector<int>(10);
  gCounting = false;
  delete p;
  EXPECT_GE(gAllocations.load(), 1);
}
