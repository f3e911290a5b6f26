// Ordered MIDI queue: appending, one stable sort per block when needed, block flushing and granular sizing.
#include "framework/IMidiQueue.h"
#include "util/RenderPath.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Storage comes in 4096-byte granules; at 8 bytes a message that is 512.
constexpr long long kGranuleBytes = 4096;
constexpr long long kMsgBytes = sizeof(IMidiMsg);
// From kRankSortMin to fewer than kRankSortMax waiting messages, with offsets
// as a block's, are sorted by rank; fewer, or with other offsets fewer than
// kInsertionSortMax, by insertion; more by radix.
constexpr int kRankSortMin = 8;
constexpr int kRankSortMax = 48;
constexpr int kInsertionSortMax = 24;
// A rank key is the offset above the arrival index, which takes 6 bits
// (kRankSortMax <= 64); offsets below 2^25 keep the key a positive int.
constexpr int kRankIndexBits = 6;
constexpr int kRankOffsetBits = 31 - kRankIndexBits;
// Keys are compared in groups of this many (the padding up to it holds the
// largest int, which no real key reaches).
constexpr int kRankGroup = 8;
static_assert(kRankSortMax <= 1 << kRankIndexBits && kRankSortMax % kRankGroup == 0);
// Fewer than this, with offsets as a block's (0 up to a few thousand), take
// two passes of short tables: a low digit of 5 bits and a high one of at
// most 8. More messages, or other offsets, take the general passes below.
constexpr int kBlockSortMax = 256;
constexpr int kLowDigitBits = 5;
constexpr int kLowDigits = 1 << kLowDigitBits;
constexpr int kMaxHighDigitBits = 8;
// Bits of the offset a general radix pass sorts by: at most 12 keeps its
// table (16 KiB) on the stack.
constexpr int kMaxDigitBits = 12;

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

// Turns the counts of a digit's table into the first place of each digit.
void FirstPlaces(int* table, unsigned size) {
  int sum = 0;
  for (unsigned d = 0; d < size; ++d) {
    const int c = table[d];
    table[d] = sum;
    sum += c;
  }
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

// The offset of message i, known to fit, above its index.
unsigned RankKey(const IMidiMsg* a, int i) {
  return static_cast<unsigned>(OffsetOf(Word(a + i))) << kRankIndexBits | static_cast<unsigned>(i);
}

// Each message goes straight to its rank, the count of keys below its own.
// Keys carry the arrival index in their low bits, so all differ and equal
// offsets keep their order. The counting has no branch that depends on the
// data and compares a group of keys at a time in vector registers, where an
// insertion sort guesses wrong at about every message of a shuffled block.
// The keys are padded to whole groups with the largest key, which no real
// key reaches.
void RankWide(IMidiMsg* a, int n, IMidiMsg* scratch) {
  int32_t keys[kRankSortMax];
  for (int i = 0; i < n; ++i)
    keys[i] = static_cast<int32_t>(RankKey(a, i));
  const int padded = (n + kRankGroup - 1) / kRankGroup * kRankGroup;
  for (int i = n; i < padded; ++i) keys[i] = INT32_MAX;
  for (int i = 0; i < n; ++i) {
    const int32_t key = keys[i];
    int rank = 0;
    for (int j = 0; j < padded; j += kRankGroup)
      for (int t = 0; t < kRankGroup; ++t) rank += keys[j + t] < key;
    Put(scratch + rank, Word(a + i));
  }
}

// The same with 16-bit keys, for offsets below 2^9: eight keys per compare.
void RankNarrow(IMidiMsg* a, int n, IMidiMsg* scratch) {
  alignas(16) int16_t keys[kRankSortMax];
  for (int i = 0; i < n; ++i)
    keys[i] = static_cast<int16_t>(RankKey(a, i));
  const int padded = (n + kRankGroup - 1) / kRankGroup * kRankGroup;
  for (int i = n; i < padded; ++i) keys[i] = INT16_MAX;
#if defined(__SSE2__)
  const __m128i ones = _mm_set1_epi16(1);
  for (int i = 0; i < n; ++i) {
    const __m128i key = _mm_set1_epi16(keys[i]);
    __m128i below = _mm_setzero_si128();  // true compares are -1: subtracted
    for (int j = 0; j < padded; j += 8)
      below = _mm_sub_epi16(below, _mm_cmplt_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(keys + j)), key));
    __m128i sum = _mm_madd_epi16(below, ones);  // four 32-bit pair sums
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4E));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0xB1));
    Put(scratch + _mm_cvtsi128_si32(sum), Word(a + i));
  }
#else
  for (int i = 0; i < n; ++i) {
    int rank = 0;
    for (int j = 0; j < padded; ++j) rank += keys[j] < keys[i];
    Put(scratch + rank, Word(a + i));
  }
#endif
}

// Puts kRankSortMin <= n < kRankSortMax messages at a in offset order, equal
// offsets in arrival order, at scratch (a is left as it was). False (nothing
// written) when an offset is negative or 2^25 or more.
bool RankSort(IMidiMsg* a, int n, IMidiMsg* scratch) {
  unsigned any = 0;
  for (int i = 0; i < n; ++i) any |= static_cast<unsigned>(OffsetOf(Word(a + i)));
  if (any >> kRankOffsetBits) return false;
  if (any >> (15 - kRankIndexBits))
    RankWide(a, n, scratch);
  else
    RankNarrow(a, n, scratch);
  return true;
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
  // Without a branch on the order: messages that come shuffled would have
  // the processor guess wrong at every other one.
  if (!Empty()) mUnsorted = mUnsorted | (msg->offset < mItems[mWritePos - 1].offset);
  IMidiMsg& slot = mItems[mWritePos];
  slot.offset = msg->offset;
  slot.status = msg->status;
  slot.data1 = msg->data1;
  slot.data2 = msg->data2;
  ++mWritePos;
}

bool IMidiQueue::SortBlockOffsets(IMidiMsg* a, int n) const {
  // One read tells whether every offset is non-negative and how many bits
  // the largest needs (those of all offsets or-ed), and counts the low digit.
  int low[kLowDigits] = {};
  unsigned any = 0;
  for (int i = 0; i < n; ++i) {
    const unsigned offset = static_cast<unsigned>(OffsetOf(Word(a + i)));
    any |= offset;
    ++low[offset & (kLowDigits - 1)];
  }
  const int keyBits = std::bit_width(any);  // 32 when an offset is negative
  if (keyBits > kLowDigitBits + kMaxHighDigitBits) return false;
  IMidiMsg* const scratch = mScratch;  // a local: stores through it cannot change it
  FirstPlaces(low, kLowDigits);
  if (keyBits <= kLowDigitBits) {
    for (int i = 0; i < n; ++i) {
      const uint64_t w = Word(a + i);
      Put(scratch + low[static_cast<unsigned>(OffsetOf(w))]++, w);
    }
    std::memcpy(static_cast<void*>(a), scratch, static_cast<size_t>(n) * sizeof(IMidiMsg));
    return true;
  }
  // By the low digit into the scratch array, counting the high digit on the
  // way; then by the high digit back.
  const unsigned highDigits = 1u << (keyBits - kLowDigitBits);
  int high[1 << kMaxHighDigitBits];
  std::memset(high, 0, highDigits * sizeof(int));
  for (int i = 0; i < n; ++i) {
    const uint64_t w = Word(a + i);
    const unsigned offset = static_cast<unsigned>(OffsetOf(w));
    Put(scratch + low[offset & (kLowDigits - 1)]++, w);
    ++high[offset >> kLowDigitBits];
  }
  FirstPlaces(high, highDigits);
  for (int i = 0; i < n; ++i) {
    const uint64_t w = Word(scratch + i);
    Put(a + high[static_cast<unsigned>(OffsetOf(w)) >> kLowDigitBits]++, w);
  }
  return true;
}

void IMidiQueue::SortWaiting() const {
  mUnsorted = false;
  IMidiMsg* a = mItems + mReadPos;
  const int n = mWritePos - mReadPos;
  if (n >= kRankSortMin && n < kRankSortMax && RankSort(a, n, mScratch + mReadPos)) {
    // The sorted messages sit where the waiting ones do, in the other
    // array: the two trade places rather than copy. Before mReadPos and
    // from mWritePos on, neither array holds anything still needed.
    std::swap(mItems, mScratch);
    return;
  }
  if (n < kInsertionSortMax) {
    InsertionSort(a, n);
    return;
  }
  // A few dozen messages for a block: two short passes, the first counted
  // while the offsets are checked.
  if (n < kBlockSortMax && SortBlockOffsets(a, n)) return;
  // Otherwise the offsets, counted from the smallest, are sorted as keys by
  // a least-significant-digit radix sort: stable at every pass, so equal
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
  // Many messages within a block's offsets take one pass: its table is not
  // much longer than the messages are many. Offsets far apart take a few.
  int passes = 1;
  while (passes * kMaxDigitBits < keyBits) ++passes;
  const int digitBits = (keyBits + passes - 1) / passes;
  const unsigned tableSize = 1u << digitBits;
  const unsigned mask = tableSize - 1;
  IMidiMsg* const scratch = mScratch;
  int start[1 << kMaxDigitBits];
  IMidiMsg* src = a;
  IMidiMsg* dst = scratch;
  for (int shift = 0; shift < keyBits; shift += digitBits) {
    std::memset(start, 0, tableSize * sizeof(int));
    for (int i = 0; i < n; ++i) ++start[key(Word(src + i)) >> shift & mask];
    FirstPlaces(start, tableSize);
    for (int i = 0; i < n; ++i) {
      const uint64_t w = Word(src + i);
      Put(dst + start[key(w) >> shift & mask]++, w);
    }
    IMidiMsg* t = src;
    src = dst;
    dst = t;
  }
  if (src != a) std::memcpy(static_cast<void*>(a), src, static_cast<size_t>(n) * sizeof(IMidiMsg));
}

UTIL_RENDER_PATH void IMidiQueue::Flush(int nFrames) {
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
