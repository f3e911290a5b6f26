// Time-stamped MIDI queue that carries messages to their frame of a block.
#pragma once

#include "framework/IMidiMsg.h"

// Holds copies of IMidiMsg records ordered by frame offset; messages with equal
// offsets keep their order of arrival. Storage is one array that grows in whole
// 4096-byte granules (512 messages).
//
// Lifecycle: constructed with a size (the instrument uses 1024) and re-sized by
// Resize(blockSize) from the plug-in's Reset, so a block's worth of messages
// (one per frame) fits without growing. Add grows the array only when more
// messages are waiting than that; this is the one place where the queue may
// allocate, and normal traffic never reaches it.
//
// Threads: not locked. Add, Peek, Remove and Flush run on the thread that
// delivers MIDI and renders (the audio thread); Resize runs from Reset while
// no render is in progress.
class IMidiQueue {
public:
  explicit IMidiQueue(int size = 0);
  ~IMidiQueue();
  IMidiQueue(const IMidiQueue&) = delete;
  IMidiQueue& operator=(const IMidiQueue&) = delete;

  // Stores a copy at its place by offset, after any message of equal offset.
  // A message that finds the queue full and unable to grow is dropped.
  void Add(const IMidiMsg* msg);

  bool Empty() const { return mReadPos == mWritePos; }
  // The first waiting message, or null when none is waiting.
  IMidiMsg* Peek() const { return Empty() ? nullptr : mItems + mReadPos; }
  // Drops the first waiting message (nothing when empty).
  void Remove() {
    if (!Empty()) ++mReadPos;
  }

  // Ends a block of nFrames: waiting messages move into the next block.
  void Flush(int nFrames);

  // Sets the growth step and capacity from a block size; keeps room for the
  // messages already waiting. Returns the capacity.
  int Resize(int size);

  int Capacity() const { return mCapacity; }
  int GrowStep() const { return mGrowStep; }
  int Count() const { return mWritePos - mReadPos; }

  // Moves the waiting messages to the start of the array.
  void Compact();
  // Grows the array by one growth step; false when it cannot.
  bool Expand();
  // n rounded up to whole granules of 512 messages (0 for n <= 0).
  int Granulize(int n) const;

  // Upper bound on the capacity: 2^22 messages (32 MiB) is far beyond any
  // real traffic and keeps every size computation inside an int.
  static constexpr int kMaxCapacity = 1 << 22;

private:
  bool Reallocate(int capacity);

  IMidiMsg* mItems = nullptr;
  int mCapacity = 0;
  int mGrowStep = 0;
  int mReadPos = 0;
  int mWritePos = 0;
};
