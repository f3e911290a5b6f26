// MIDI queue: ordering by offset, block flushing, granular sizing, drops when full.
#include "framework/IMidiQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

namespace {

IMidiMsg Note(int offset, int note) { return IMidiMsg(offset, 0x90, static_cast<unsigned char>(note), 100); }

// Reads and removes everything waiting, as (offset, note) pairs.
std::vector<std::pair<int, int>> Drain(IMidiQueue& q) {
  std::vector<std::pair<int, int>> out;
  while (!q.Empty()) {
    out.emplace_back(q.Peek()->offset, q.Peek()->data1);
    q.Remove();
  }
  return out;
}

}  // namespace

TEST(IMidiQueueSizing, GranulizeRoundsUpToWholeGranules) {
  IMidiQueue q(0);
  EXPECT_EQ(q.Granulize(0), 0);
  EXPECT_EQ(q.Granulize(1), 512);
  EXPECT_EQ(q.Granulize(512), 512);
  EXPECT_EQ(q.Granulize(513), 1024);
  EXPECT_EQ(q.Granulize(1000), 1024);
  EXPECT_EQ(q.Granulize(1024), 1024);
  EXPECT_EQ(q.Granulize(-5), 0);
  EXPECT_EQ(q.Granulize(INT_MAX), IMidiQueue::kMaxCapacity);
}

TEST(IMidiQueueSizing, ConstructionAllocatesWholeGranules) {
  IMidiQueue q(1024);
  EXPECT_EQ(q.Capacity(), 1024);
  EXPECT_TRUE(q.Empty());
  EXPECT_EQ(q.Peek(), nullptr);
  IMidiQueue small(100);
  EXPECT_EQ(small.Capacity(), 512);
}

TEST(IMidiQueueSizing, ResizeFollowsTheBlockSize) {
  IMidiQueue q(1024);
  EXPECT_EQ(q.Resize(512), 512);
  EXPECT_EQ(q.Capacity(), 512);
  EXPECT_EQ(q.Resize(4096), 4096);
  EXPECT_EQ(q.Resize(4096), 4096);
  EXPECT_EQ(q.Resize(1), 512);
}

TEST(IMidiQueueSizing, BlockSizesGiveSeveralMessagesPerFrameAndRoomForLongRuns) {
  // No block size, or a small one: room for runs of 4096 frames.
  EXPECT_EQ(IMidiQueue::CapacityForBlock(0), 4096 * IMidiQueue::kMessagesPerFrame);
  EXPECT_EQ(IMidiQueue::CapacityForBlock(256), 4096 * IMidiQueue::kMessagesPerFrame);
  EXPECT_EQ(IMidiQueue::CapacityForBlock(8192), 8192 * IMidiQueue::kMessagesPerFrame);
  EXPECT_EQ(IMidiQueue::CapacityForBlock(INT_MAX), IMidiQueue::kMaxCapacity);
  IMidiQueue q(512);
  EXPECT_EQ(q.SizeForBlock(8192), 8192 * IMidiQueue::kMessagesPerFrame);
}

TEST(IMidiQueueSizing, ResizeKeepsRoomForWaitingMessages) {
  IMidiQueue q(2048);
  for (int i = 0; i < 700; ++i) {
    IMidiMsg m = Note(i, i & 0x7F);
    q.Add(&m);
  }
  EXPECT_EQ(q.Resize(512), 1024);  // 700 waiting need two granules
  EXPECT_EQ(q.Count(), 700);
  auto got = Drain(q);
  ASSERT_EQ(got.size(), 700u);
  for (int i = 0; i < 700; ++i) EXPECT_EQ(got[i].first, i);
}

TEST(IMidiQueueSizing, ResizeToZeroReleasesStorageAndDropsLaterMessages) {
  IMidiQueue q(512);
  EXPECT_EQ(q.Resize(0), 0);
  IMidiMsg m = Note(0, 60);
  q.Add(&m);  // no room: dropped without harm, and counted
  EXPECT_TRUE(q.Empty());
  EXPECT_EQ(q.Dropped(), 1);
  EXPECT_EQ(q.Resize(64), 512);
  q.Add(&m);
  EXPECT_EQ(q.Count(), 1);
}

TEST(IMidiQueueSizing, ZeroSizedQueueDropsMessages) {
  IMidiQueue q(0);
  EXPECT_EQ(q.Capacity(), 0);
  IMidiMsg m = Note(3, 60);
  q.Add(&m);
  EXPECT_TRUE(q.Empty());
}

TEST(IMidiQueueSizing, FullQueueNeverGrowsButDropsTheRestAndCountsThem) {
  IMidiQueue q(512);
  const IMidiMsg* storage = nullptr;
  for (int i = 0; i < 600; ++i) {
    IMidiMsg m = Note(599 - i, i & 0x7F);
    q.Add(&m);
    if (!storage) storage = q.Peek();
  }
  EXPECT_EQ(q.Capacity(), 512);
  EXPECT_EQ(q.Count(), 512);
  EXPECT_EQ(q.Dropped(), 88);
  // The messages kept are the first 512 that came, in order.
  EXPECT_EQ(q.Peek(), storage);
  EXPECT_EQ(q.Peek()->offset, 88);
  q.Flush(0);
  IMidiMsg m = Note(0, 1);
  q.Add(&m);
  EXPECT_EQ(q.Dropped(), 89);  // the count goes on across blocks
}

TEST(IMidiQueueSizing, FullQueueCompactsInsteadOfGrowingAfterReads) {
  IMidiQueue q(512);
  for (int i = 0; i < 512; ++i) {
    IMidiMsg m = Note(i, 1);
    q.Add(&m);
  }
  q.Remove();
  q.Remove();
  IMidiMsg m = Note(1000, 2);
  q.Add(&m);
  EXPECT_EQ(q.Capacity(), 512);  // reused the two read slots
  EXPECT_EQ(q.Count(), 511);
  EXPECT_EQ(q.Peek()->offset, 2);
}

TEST(IMidiQueueOrder, OutOfOrderOffsetsAreSortedAndEqualOnesKeepArrivalOrder) {
  IMidiQueue q(1024);
  IMidiMsg a = Note(20, 1), b = Note(5, 2), c = Note(20, 3);
  q.Add(&a);
  q.Add(&b);
  q.Add(&c);
  auto got = Drain(q);
  std::vector<std::pair<int, int>> want = {{5, 2}, {20, 1}, {20, 3}};
  EXPECT_EQ(got, want);
}

TEST(IMidiQueueOrder, InsertBetweenEqualOffsetsGoesAfterThem) {
  IMidiQueue q(1024);
  for (auto [off, note] : std::vector<std::pair<int, int>>{{10, 1}, {10, 2}, {30, 3}, {10, 4}, {0, 5}, {30, 6}, {-3, 7}}) {
    IMidiMsg m = Note(off, note);
    q.Add(&m);
  }
  std::vector<std::pair<int, int>> want = {{-3, 7}, {0, 5}, {10, 1}, {10, 2}, {10, 4}, {30, 3}, {30, 6}};
  EXPECT_EQ(Drain(q), want);
}

TEST(IMidiQueueOrder, InsertionNeverMovesBeforeAlreadyReadMessages) {
  IMidiQueue q(1024);
  IMidiMsg a = Note(10, 1), b = Note(20, 2), c = Note(0, 3);
  q.Add(&a);
  q.Add(&b);
  q.Remove();  // 10 has been read
  q.Add(&c);   // earlier than everything: goes first of what still waits
  std::vector<std::pair<int, int>> want = {{0, 3}, {20, 2}};
  EXPECT_EQ(Drain(q), want);
}

TEST(IMidiQueueOrder, CopiesAllFourFields) {
  IMidiQueue q(16);
  IMidiMsg m(-2, 0xB3, 7, 99);
  q.Add(&m);
  m.Clear();
  ASSERT_FALSE(q.Empty());
  EXPECT_EQ(q.Peek()->offset, -2);
  EXPECT_EQ(q.Peek()->status, 0xB3);
  EXPECT_EQ(q.Peek()->data1, 7);
  EXPECT_EQ(q.Peek()->data2, 99);
}

TEST(IMidiQueueOrder, ManyRandomOffsetsComeOutSortedAndStable) {
  // A handful, a few dozen within a block (small offsets, larger ones, and
  // negative or far apart), many within a block, offsets far apart, and
  // offsets over the whole int range (each sorted a different way). Each
  // case runs twice on one queue, after one message was read, so that the
  // sort starts past the front of the array and runs again after one.
  struct Case {
    int count;
    long long span;
  };
  for (const Case c : {Case{5, 512}, Case{20, 7}, Case{40, 32}, Case{30, 512}, Case{47, 1 << 24}, Case{20, 1LL << 32},
                        Case{47, 1LL << 32}, Case{64, 512}, Case{200, 8192}, Case{100, 1 << 14}, Case{100, 1LL << 32},
                        Case{3000, 97}, Case{3000, 1 << 20}, Case{3000, 1LL << 32}}) {
    SCOPED_TRACE(c.span);
    IMidiQueue q(4096);
    unsigned long long seed = 12345;
    for (int round = 0; round < 2; ++round) {
      SCOPED_TRACE(c.count);
      IMidiMsg first(0, 0x80);
      q.Add(&first);
      ASSERT_EQ(q.Peek()->status, 0x80);
      q.Remove();
      std::vector<std::pair<int, int>> ref;
      for (int i = 0; i < c.count; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        const int off = static_cast<int>(static_cast<long long>((seed >> 16) % c.span) + INT_MIN * (c.span >> 32));
        IMidiMsg m(off, 0x90, static_cast<unsigned char>(i & 0x7F), static_cast<unsigned char>(i >> 7));
        q.Add(&m);
        ref.emplace_back(off, i);
        if (i % 3 == 0) {  // every third arrives twice: equal offsets
          m.data1 = static_cast<unsigned char>(++i & 0x7F);
          m.data2 = static_cast<unsigned char>(i >> 7);
          q.Add(&m);
          ref.emplace_back(off, i);
        }
      }
      std::stable_sort(ref.begin(), ref.end(), [](auto& x, auto& y) { return x.first < y.first; });
      for (auto& r : ref) {
        ASSERT_FALSE(q.Empty());
        ASSERT_EQ(q.Peek()->offset, r.first);
        ASSERT_EQ(q.Peek()->data1 | q.Peek()->data2 << 7, r.second);
        q.Remove();
      }
      EXPECT_TRUE(q.Empty());
      q.Flush(512);
    }
  }
}

TEST(IMidiQueueOrder, ShuffledMessagesAddedBetweenReadsAndAcrossBlocksKeepArrivalOrderAmongEqualOffsets) {
  // As a binding delivers them: messages left from the last block, a
  // shuffled batch for this one, some read, another shuffled batch (after an
  // editor message rendered part of the run), then the rest. Every read
  // must follow offset order, arrival order among equal offsets.
  IMidiQueue q(8192);
  unsigned seed = 99;
  int serial = 0;
  std::vector<std::pair<int, int>> waiting;  // (offset, serial) in arrival order
  auto add = [&](int n, int span, int base) {
    for (int i = 0; i < n; ++i) {
      seed = seed * 1103515245u + 12345u;
      const int off = base + static_cast<int>((seed >> 16) % span);
      IMidiMsg m(off, 0x90, static_cast<unsigned char>(serial & 0x7F), static_cast<unsigned char>(serial >> 7));
      q.Add(&m);
      waiting.emplace_back(off, serial++);
    }
  };
  auto read = [&](int upTo) {
    std::stable_sort(waiting.begin(), waiting.end(), [](auto& x, auto& y) { return x.first < y.first; });
    size_t k = 0;
    while (!q.Empty() && q.Peek()->offset < upTo) {
      ASSERT_LT(k, waiting.size());
      ASSERT_EQ(q.Peek()->offset, waiting[k].first);
      ASSERT_EQ(q.Peek()->data1 | q.Peek()->data2 << 7, waiting[k].second);
      q.Remove();
      ++k;
    }
    waiting.erase(waiting.begin(), waiting.begin() + static_cast<long>(k));
  };
  for (int block = 0; block < 20; ++block) {
    add(700, 80, 0);    // mostly this block, some for the next
    read(20);
    add(300, 50, 10);   // arrive after reads, some before what waits
    read(64);
    q.Flush(64);
    for (auto& w : waiting) w.first -= 64;
  }
  read(INT_MAX);
  EXPECT_TRUE(q.Empty());
  EXPECT_EQ(q.Dropped(), 0);
}

TEST(IMidiQueueFlush, WaitingMessagesMoveIntoTheNextBlock) {
  IMidiQueue q(1024);
  IMidiMsg early = Note(37, 1), late = Note(70, 2);
  q.Add(&early);
  q.Add(&late);
  // Render of a 64-frame block takes what is due.
  while (!q.Empty() && q.Peek()->offset < 64) q.Remove();
  q.Flush(64);
  ASSERT_EQ(q.Count(), 1);
  EXPECT_EQ(q.Peek()->offset, 6);
  EXPECT_EQ(q.Peek()->data1, 2);
}

TEST(IMidiQueueFlush, FlushOfZeroChangesNothing) {
  IMidiQueue q(1024);
  IMidiMsg m = Note(12, 1);
  q.Add(&m);
  q.Flush(0);
  EXPECT_EQ(q.Peek()->offset, 12);
}

TEST(IMidiQueueFlush, ExtremeOffsetsSaturateInsteadOfWrapping) {
  IMidiQueue q(1024);
  IMidiMsg m = Note(INT_MIN + 5, 1);
  q.Add(&m);
  q.Flush(64);
  EXPECT_EQ(q.Peek()->offset, INT_MIN);
  q.Flush(-100);
  EXPECT_EQ(q.Peek()->offset, INT_MIN + 100);
}

TEST(IMidiQueueFlush, RemoveOnEmptyQueueIsHarmless) {
  IMidiQueue q(16);
  q.Remove();
  EXPECT_TRUE(q.Empty());
  IMidiMsg m = Note(1, 1);
  q.Add(&m);
  EXPECT_EQ(q.Count(), 1);
  q.Add(nullptr);
  EXPECT_EQ(q.Count(), 1);
}

TEST(IMidiQueueAudioThread, ABlockOfMessagesPerBlockNeverReallocates) {
  // Sized at Reset to the block: a full block of messages (one per frame,
  // several sharing offsets, arriving out of order) is taken every block
  // without the storage moving or growing.
  IMidiQueue q(1024);
  ASSERT_EQ(q.Resize(512), 512);
  const IMidiMsg* storage = nullptr;
  unsigned seed = 7;
  for (int block = 0; block < 200; ++block) {
    for (int i = 0; i < 512; ++i) {
      seed = seed * 1103515245u + 12345u;
      IMidiMsg m(static_cast<int>((seed >> 16) % 512), 0x90, 36, 100);
      q.Add(&m);
    }
    if (!storage) storage = q.Peek();
    EXPECT_EQ(q.Peek(), storage);
    int last = -1;
    while (!q.Empty()) {
      EXPECT_GE(q.Peek()->offset, last);
      last = q.Peek()->offset;
      q.Remove();
    }
    q.Flush(512);
    ASSERT_EQ(q.Capacity(), 512);
  }
}

TEST(IMidiQueueAudioThread, MessagesForTheNextBlockAlsoFitWithoutGrowth) {
  // Half of each block's messages lie in the next block (offsets 512..639
  // become 0..127 after the flush): at most 384 wait at any time.
  IMidiQueue q(512);
  for (int block = 0; block < 50; ++block) {
    for (int i = 0; i < 256; ++i) {
      IMidiMsg m(384 + i, 0x90, 36, 100);
      q.Add(&m);
    }
    EXPECT_EQ(q.Count(), block ? 384 : 256);
    while (!q.Empty() && q.Peek()->offset < 512) q.Remove();
    q.Flush(512);
  }
  EXPECT_EQ(q.Capacity(), 512);
}
