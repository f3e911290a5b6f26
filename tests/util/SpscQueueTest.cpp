// The bounded lock-free queue between the plug-in's other threads and its audio thread.
#include <gtest/gtest.h>

#include <thread>

#include "util/UTIL_SpscQueue.h"

TEST(SpscQueue, KeepsOrderRefusesWhenFullAndWrapsAround) {
  UTIL_SpscQueue<int, 4> q;
  int out = -1;
  EXPECT_FALSE(q.Pop(&out));
  for (int round = 0; round < 3; ++round) {  // the ring wraps several times
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(q.Push(round * 10 + i));
    EXPECT_FALSE(q.Push(99));  // full: refused, nothing overwritten
    EXPECT_EQ(q.Size(), 4u);
    for (int i = 0; i < 4; ++i) {
      ASSERT_TRUE(q.Pop(&out));
      EXPECT_EQ(out, round * 10 + i);
    }
    EXPECT_FALSE(q.Pop(&out));
  }
}

TEST(SpscQueue, OneProducerAndOneConsumerOnTwoThreadsLoseAndReorderNothing) {
  UTIL_SpscQueue<int, 64> q;
  constexpr int kCount = 200000;
  std::thread producer([&] {
    for (int i = 0; i < kCount;)
      if (q.Push(i)) ++i;
  });
  int expected = 0, v = 0;
  while (expected < kCount) {
    if (q.Pop(&v)) {
      ASSERT_EQ(v, expected);
      ++expected;
    }
  }
  producer.join();
  EXPECT_FALSE(q.Pop(&v));
}
