// Ordered MIDI queue: insertion by offset, block flushing and granular growth.
#include "framework/IMidiQueue.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// Storage grows in 4096-byte granules; at 8 bytes a message that is 512.
constexpr long long kGranuleBytes = 4096;
constexpr long long kMsgBytes = sizeof(IMidiMsg);

}  // namespace

IMidiQueue::IMidiQueue(int size) {
  mGrowStep = Granulize(size);
  Expand();
}

IMidiQueue::~IMidiQueue() { std::free(mItems); }

int IMidiQueue::Granulize(int n) const {
  if (n <= 0) return 0;
  if (n > kMaxCapacity) n = kMaxCapacity;
  const long long bytes = n * kMsgBytes;
  if (bytes % kGranuleBytes == 0) return n;
  return static_cast<int>((bytes - bytes % kGranuleBytes + kGranuleBytes) / kMsgBytes);
}

bool IMidiQueue::Reallocate(int capacity) {
  if (capacity == 0) {
    // realloc(p, 0) may free p and return null, which would read as a failure
    // while the old storage is gone; an empty array is released explicitly.
    std::free(mItems);
    mItems = nullptr;
    mCapacity = 0;
    return true;
  }
  void* items = std::realloc(mItems, static_cast<size_t>(capacity) * sizeof(IMidiMsg));
  if (!items) return false;
  mItems = static_cast<IMidiMsg*>(items);
  mCapacity = capacity;
  return true;
}

bool IMidiQueue::Expand() {
  if (mGrowStep <= 0) return false;
  const long long capacity = (mCapacity / mGrowStep + 1LL) * mGrowStep;
  if (capacity > kMaxCapacity) return false;
  return Reallocate(static_cast<int>(capacity));
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
    if (mReadPos > 0) {
      Compact();
    } else if (!Expand()) {
      return;
    }
  }

  int pos = mWritePos;
  if (!Empty() && msg->offset < mItems[mWritePos - 1].offset) {
    // Walk back past every later message; stopping at the first one that is
    // not later keeps equal offsets in arrival order.
    int i = mWritePos - 2;
    while (i >= mReadPos && msg->offset < mItems[i].offset) --i;
    pos = i + 1;
    std::memmove(mItems + pos + 1, mItems + pos,
                 static_cast<size_t>(mWritePos - pos) * sizeof(IMidiMsg));
  }
  mItems[pos].offset = msg->offset;
  mItems[pos].status = msg->status;
  mItems[pos].data1 = msg->data1;
  mItems[pos].data2 = msg->data2;
  ++mWritePos;
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
  mGrowStep = Granulize(size);
  int capacity = mGrowStep;
  if (mWritePos > capacity) capacity = Granulize(mWritePos);
  if (capacity == mCapacity) return mCapacity;
  Reallocate(capacity);
  return mCapacity;
}
