// Ordered MIDI queue: appending, one stable sort per block when needed, block flushing and granular sizing.
#include "framework/IMidiQueue.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Storage comes in 4096-byte granules; at 8 bytes a message that is 512.
constexpr long long kGranuleBytes = 4096;
constexpr long long kMsgBytes = sizeof(IMidiMsg);
// Fewer waiting messages than this are sorted by insertion; more by radix.
constexpr int kInsertionSortMax = 24;
// Bits of the offset a radix pass sorts by: at least 4 keeps few messages
// from taking many passes, at most 12 keeps the tables of all passes (16 KiB
// for all) on the stack.
constexpr int kMinDigitBits = 4;
constexpr int kMaxDigitBits = 12;
constexpr int kSortTableInts = 1 << kMaxDigitBits;

// The sort moves whole messages as 64-bit words: one load and one store
// each, and the offset taken from the word in a register.
static_assert(sizeof(IMidiMsg) == sizeof(uint64_t) && offsetof(IMidiMsg, offset) == 0);
uint64_t Word(const IMidiMsg* m) {
  uint64_t w;
  std::memcpy(&w, m, sizeof w);
  return w;
}
void Put(IMidiMsg* m, uint64_t w) { std::memcpy(static_cast<void*>(m), &w, sizeof w); }
int OffsetOf(uint64_t w) {
  int32_t offset;
  std::memcpy(&offset, &w, sizeof offset);
  return offset;
}

// Stable insertion sort of a[0..n).
void InsertionSort(IMidiMsg* a, int n) {
  for (int i = 1; i < n; ++i) {
    const IMidiMsg m = a[i];
    int j = i - 1;
    while (j >= 0 && m.offset < a[j].offset) {
      a[j + 1] = a[j];
      --j;
    }
    a[j + 1] = m;
  }
}

}  // namespace

IMidiQueue::IMidiQueue(int size) { Reallocate(Granulize(size)); }

IMidiQueue::~IMidiQueue() {
  std::free(mItems);
  std::free(mScratch);
}

int IMidiQueue::Granulize(int n) const {
  if (n <= 0) return 0;
  if (n > kMaxCapacity) n = kMaxCapacity;
  const long long bytes = n * kMsgBytes;
  if (bytes % kGranuleBytes == 0) return n;
  return static_cast<int>((bytes - bytes % kGranuleBytes + kGranuleBytes) / kMsgBytes);
}

int IMidiQueue::CapacityForBlock(int blockSize) {
  const long long frames = blockSize > kMinBlockFrames ? blockSize : kMinBlockFrames;
  const long long n = frames * kMessagesPerFrame;
  return n > kMaxCapacity ? kMaxCapacity : static_cast<int>(n);
}

bool IMidiQueue::Reallocate(int capacity) {
  if (capacity == 0) {
    // realloc(p, 0) may free p and return null, which would read as a failure
    // while the old storage is gone; an empty array is released explicitly.
    std::free(mItems);
    std::free(mScratch);
    mItems = mScratch = nullptr;
    mCapacity = 0;
    return true;
  }
  const size_t bytes = static_cast<size_t>(capacity) * sizeof(IMidiMsg);
  // The scratch half holds nothing between sorts: a fresh block will do.
  void* scratch = std::malloc(bytes);
  if (!scratch) return false;
  void* items = std::realloc(mItems, bytes);
  if (!items) {
    std::free(scratch);
    return false;
  }
  std::free(mScratch);
  mItems = static_cast<IMidiMsg*>(items);
  mScratch = static_cast<IMidiMsg*>(scratch);
  mCapacity = capacity;
  return true;
}

void IMidiQueue::Compact() {
  const int count = mWritePos - mReadPos;
  if (count > 0 && mReadPos > 0)
    std::memmove(mItems, mItems + mReadPos, static_cast<size_t>(count) * sizeof(IMidiMsg));
  mWritePos = count;
  mReadPos = 0;
}

void IMidiQueue::Add(const IMidiMsg* msg) {
  if (!msg) return;
  if (mWritePos >= mCapacity) {
    if (mReadPos == 0) {
      // Growing here would allocate on the audio thread: the rest of a
      // block that brings more than the queue was sized for is dropped.
      mDropped.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    Compact();
  }
  if (!Empty() && msg->offset < mItems[mWritePos - 1].offset) mUnsorted = true;
  IMidiMsg& slot = mItems[mWritePos];
  slot.offset = msg->offset;
  slot.status = msg->status;
  slot.data1 = msg->data1;
  slot.data2 = msg->data2;
  ++mWritePos;
}

void IMidiQueue::SortWaiting() const {
  mUnsorted = false;
  IMidiMsg* a = mItems + mReadPos;
  const int n = mWritePos - mReadPos;
  if (n < kInsertionSortMax) {
    InsertionSort(a, n);
    return;
  }
  // The offsets, counted from the smallest, are sorted as keys by a
  // least-significant-digit radix sort: stable at every pass, so equal
  // offsets keep their arrival order.
  int lo = a[0].offset, hi = a[0].offset;
  for (int i = 1; i < n; ++i) {
    lo = std::min(lo, a[i].offset);
    hi = std::max(hi, a[i].offset);
  }
  // Exact in unsigned arithmetic: the keys span less than 2^32.
  const unsigned base = static_cast<unsigned>(lo);
  const auto key = [base](uint64_t w) { return static_cast<unsigned>(OffsetOf(w)) - base; };
  const int keyBits = std::bit_width(static_cast<unsigned>(hi) - base);
  if (keyBits == 0) return;  // one offset for all: arrival order is the order
  // A pass costs a move per message and a sum over its digit's table. One
  // pass is best while the table is not much longer than the messages are
  // many (a block's offsets, a few hundred frames, under a crowded block);
  // a few dozen messages spread over the block take two passes with short
  // tables instead of one with a long one.
  const int widest = std::clamp(static_cast<int>(std::bit_width(static_cast<unsigned>(n))) + 1, kMinDigitBits,
                                kMaxDigitBits);
  int passes = (keyBits + widest - 1) / widest;
  int digitBits = (keyBits + passes - 1) / passes;
  while (passes << digitBits > kSortTableInts) {  // wide keys: more, shorter passes
    ++passes;
    digitBits = (keyBits + passes - 1) / passes;
  }
  const unsigned tableSize = 1u << digitBits;
  const unsigned mask = tableSize - 1;
  // Every pass's counts are taken in one read of the messages; one and two
  // passes (every block's offsets) are spelt out, more are looped.
  int start[kSortTableInts];
  std::memset(start, 0, static_cast<size_t>(passes) * tableSize * sizeof(int));
  if (passes == 1) {
    for (int i = 0; i < n; ++i) ++start[key(Word(a + i))];
  } else if (passes == 2) {
    int* high = start + tableSize;
    for (int i = 0; i < n; ++i) {
      const unsigned k = key(Word(a + i));
      ++start[k & mask];
      ++high[k >> digitBits];
    }
  } else {
    for (int i = 0; i < n; ++i) {
      const unsigned k = key(Word(a + i));
      for (int p = 0; p < passes; ++p) ++start[p * tableSize + (k >> (p * digitBits) & mask)];
    }
  }
  // Counts to the first place of each digit.
  for (int p = 0; p < passes; ++p) {
    int* table = start + p * tableSize;
    int sum = 0;
    for (unsigned d = 0; d < tableSize; ++d) {
      const int c = table[d];
      table[d] = sum;
      sum += c;
    }
  }
  if (passes == 1) {
    for (int i = 0; i < n; ++i) {
      const uint64_t w = Word(a + i);
      Put(mScratch + start[key(w)]++, w);
    }
    std::memcpy(a, mScratch, static_cast<size_t>(n) * sizeof(IMidiMsg));
    return;
  }
  IMidiMsg* src = a;
  IMidiMsg* dst = mScratch;
  for (int p = 0; p < passes; ++p) {
    int* table = start + p * tableSize;
    const int shift = p * digitBits;
    for (int i = 0; i < n; ++i) {
      const uint64_t w = Word(src + i);
      Put(dst + table[key(w) >> shift & mask]++, w);
    }
    IMidiMsg* t = src;
    src = dst;
    dst = t;
  }
  if (src != a) std::memcpy(a, src, static_cast<size_t>(n) * sizeof(IMidiMsg));
}

void IMidiQueue::Flush(int nFrames) {
  if (mReadPos > 0) Compact();
  for (int i = 0; i < mWritePos; ++i) {
    // Saturating: a host's absurd offset must not overflow into a wrong sign.
    const long long offset = static_cast<long long>(mItems[i].offset) - nFrames;
    mItems[i].offset = offset < INT_MIN ? INT_MIN : offset > INT_MAX ? INT_MAX : static_cast<int>(offset);
  }
}

int IMidiQueue::Resize(int size) {
  if (mReadPos > 0) Compact();
  int capacity = Granulize(size);
  if (mWritePos > capacity) capacity = Granulize(mWritePos);
  if (capacity == mCapacity) return mCapacity;
  Reallocate(capacity);
  return mCapacity;
}
