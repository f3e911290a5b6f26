// Time-stamped MIDI queue that carries messages to their frame of a block.
#pragma once

#include <atomic>

#include "framework/IMidiMsg.h"

// Holds copies of IMidiMsg records ordered by frame offset; messages with equal
// offsets keep their order of arrival. Storage is one array of whole 4096-byte
// granules (512 messages), sized from the block size and never grown by Add.
//
// Lifecycle: constructed with a size, then sized by SizeForBlock(blockSize)
// from the plug-in's Reset, with room for several messages per frame (and for
// runs of a few thousand frames when the host gives only a small or no block
// size, since a binding queues a whole run's MIDI before it renders the run in
// blocks). A message that finds the queue full is dropped and counted.
//
// Order: Add appends; a message that arrives before the last one waiting
// marks the queue unsorted, and the first read after that sorts the waiting
// messages once, through a scratch array of the same size: up to a few
// dozen with a block's offsets each go straight to their rank, counted by
// compares with no branch on the data (the arrays then trade places); a
// handful, or a few with other offsets, by insertion; more by a stable radix
// sort on the offset (two passes with short tables for a few dozen messages,
// one pass for many sharing a block's offsets). Messages in order cost
// nothing extra.
//
// Threads: not locked. Add, Peek, Remove and Flush run on the thread that
// delivers MIDI and renders (the audio thread) and never allocate; Resize and
// SizeForBlock run from Reset while no render is in progress. Dropped may be
// read from any thread.
class IMidiQueue {
public:
  explicit IMidiQueue(int size = 0);
  ~IMidiQueue();
  IMidiQueue(const IMidiQueue&) = delete;
  IMidiQueue& operator=(const IMidiQueue&) = delete;

  // Stores a copy; it is read at its place by offset, after any message of
  // equal offset that came before it. A message that finds the queue full
  // is dropped and counted.
  void Add(const IMidiMsg* msg);

  bool Empty() const { return mReadPos == mWritePos; }
  // The first waiting message, or null when none is waiting.
  IMidiMsg* Peek() const {
    if (Empty()) return nullptr;
    if (mUnsorted) SortWaiting();
    return mItems + mReadPos;
  }
  // Drops the first waiting message (nothing when empty).
  void Remove() {
    if (Empty()) return;
    if (mUnsorted) SortWaiting();
    ++mReadPos;
  }

  // Ends a block of nFrames: waiting messages move into the next block.
  void Flush(int nFrames);

  // Sets the capacity to size messages rounded up to whole granules, or to
  // what the waiting messages need when more are waiting. Allocates; never
  // on the audio thread. Returns the capacity (the old one when the memory
  // could not be had).
  int Resize(int size);
  // Sizes the queue for blocks of blockSize frames (0: no size known).
  int SizeForBlock(int blockSize) { return Resize(CapacityForBlock(blockSize)); }
  // Messages a queue for blocks of blockSize frames holds:
  // kMessagesPerFrame for every frame of max(blockSize, kMinBlockFrames).
  static int CapacityForBlock(int blockSize);

  int Capacity() const { return mCapacity; }
  int Count() const { return mWritePos - mReadPos; }
  // Messages dropped so far because the queue was full.
  long Dropped() const { return mDropped.load(std::memory_order_relaxed); }

  // Moves the waiting messages to the start of the array.
  void Compact();
  // n rounded up to whole granules of 512 messages (0 for n <= 0).
  int Granulize(int n) const;

  // Room per frame of a block: controller sweeps and dense note patterns
  // reach a message or two per frame; four leave a margin.
  static constexpr int kMessagesPerFrame = 4;
  // A host that gives no block size, or a small one, may still hand over
  // runs of this many frames, each run's MIDI queued before it is rendered.
  static constexpr int kMinBlockFrames = 4096;
  // Upper bound on the capacity: 2^22 messages (32 MiB) is far beyond any
  // real traffic and keeps every size computation inside an int.
  static constexpr int kMaxCapacity = 1 << 22;

private:
  bool Reallocate(int capacity);
  // Puts the waiting messages in offset order, equal offsets in arrival order.
  void SortWaiting() const;
  // The same for n messages at a with offsets as a block has them (not
  // negative, below 2^13), in two short passes; false (nothing moved) for
  // other offsets.
  bool SortBlockOffsets(IMidiMsg* a, int n) const;

  // The sort may trade the two arrays (see mUnsorted on why a read may).
  mutable IMidiMsg* mItems = nullptr;
  mutable IMidiMsg* mScratch = nullptr;  // as large as mItems; where the sort's passes go
  int mCapacity = 0;
  int mReadPos = 0;
  int mWritePos = 0;
  // Set by an Add that came before the last waiting message; cleared by the
  // sort. The sort only reorders the waiting messages, which a const read
  // may do: what a reader sees is the same ordered queue either way.
  mutable bool mUnsorted = false;
  std::atomic<long> mDropped{0};
};
