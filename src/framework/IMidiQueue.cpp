// Ordered MIDI queue: appending, one stable sort per block when needed, block flushing and granular sizing.
#include "framework/IMidiQueue.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// Storage comes in 4096-byte granules; at 8 bytes a message that is 512.
constexpr long long kGranuleBytes = 4096;
constexpr long long kMsgBytes = sizeof(IMidiMsg);
// Fewer waiting messages than this are sorted by insertion; more by radix.
constexpr int kInsertionSortMax = 48;
// Offsets spanning fewer frames than this are sorted in one counting pass
// (its table, 16 KiB, lives on the stack).
constexpr unsigned kCountingSortKeys = 4096;

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
  // The offsets, counted from the smallest, are sorted as keys: stable at
  // every step, so equal offsets keep their arrival order.
  int lo = a[0].offset, hi = a[0].offset;
  for (int i = 1; i < n; ++i) {
    if (a[i].offset < lo) lo = a[i].offset;
    if (a[i].offset > hi) hi = a[i].offset;
  }
  const auto key = [lo](const IMidiMsg& m) {
    return static_cast<unsigned>(static_cast<long long>(m.offset) - lo);
  };
  const unsigned range = static_cast<unsigned>(static_cast<long long>(hi) - lo);
  if (range < kCountingSortKeys) {
    // A block's offsets span its frames, a few thousand at most: one
    // counting pass into the scratch array, and back.
    int start[kCountingSortKeys + 1];
    std::memset(start, 0, (range + 2) * sizeof(int));
    for (int i = 0; i < n; ++i) ++start[key(a[i]) + 1];
    for (unsigned d = 1; d <= range; ++d) start[d] += start[d - 1];
    for (int i = 0; i < n; ++i) mScratch[start[key(a[i])]++] = a[i];
    std::memcpy(a, mScratch, static_cast<size_t>(n) * sizeof(IMidiMsg));
    return;
  }
  // Offsets far apart (messages queued far ahead, or absurd ones): a
  // least-significant-digit radix sort, one byte of the key per pass.
  IMidiMsg* src = a;
  IMidiMsg* dst = mScratch;
  for (int shift = 0; shift < 32 && (range >> shift) != 0; shift += 8) {
    int start[257] = {};
    for (int i = 0; i < n; ++i) ++start[(key(src[i]) >> shift & 0xFF) + 1];
    for (int d = 1; d < 257; ++d) start[d] += start[d - 1];
    for (int i = 0; i < n; ++i) dst[start[key(src[i]) >> shift & 0xFF]++] = src[i];
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
