// The player's audio-thread side, the same under every sound server: one server cycle of any length rendered whole.
#pragma once

#include <atomic>

#include "framework/IMidiMsg.h"

class QiKt412;

// A sound server asks for cycles of its own length, and that length may change
// while the client runs (JACK's buffer-size callback, which PipeWire's JACK
// layer calls from a thread of its own, or a PulseAudio stream that
// renegotiates). The instrument, however, renders into buffers sized once for
// its block size. So the engine fixes the block size before the server starts
// calling (Prepare) and never changes it afterwards: a cycle longer than the
// block is rendered in block-sized pieces, each piece's MIDI handed over at its
// own frames, and nothing is reallocated while the audio thread may render.
// A new cycle length reported from another thread (NoteCycleLength) is only
// recorded in an atomic; the audio thread goes by the length of each cycle.
//
// Render runs on the server's real-time thread: no allocation, lock, file,
// formatting or host call; the counters are relaxed atomics.
class PlayerEngine {
public:
  // Before the first Render, on the player's thread: sets the instrument's
  // sample rate and block size, resets it, connects both outputs and makes
  // the voice take every parameter.
  void Prepare(QiKt412* plug, int sampleRate, int blockSize);
  int BlockSize() const { return mBlockSize; }

  // Audio thread. Renders nframes frames into left and right. midi holds
  // count messages whose offsets are frames of this cycle in ascending
  // order (as JACK delivers them); each reaches the instrument at its frame.
  // Before Prepare it writes silence.
  void Render(float* left, float* right, int nframes, const IMidiMsg* midi, int count);

  // Any thread: the server announced a new cycle length.
  void NoteCycleLength(int nframes) { mAnnouncedCycle.store(nframes, std::memory_order_relaxed); }
  int AnnouncedCycleLength() const { return mAnnouncedCycle.load(std::memory_order_relaxed); }
  // The longest cycle rendered so far.
  int LongestCycle() const { return mLongestCycle.load(std::memory_order_relaxed); }

  int NotesReceived() const { return mNotes.load(std::memory_order_relaxed); }
  int MidiReceived() const { return mMidi.load(std::memory_order_relaxed); }

private:
  QiKt412* mPlug = nullptr;
  int mBlockSize = 0;
  std::atomic<int> mAnnouncedCycle{0};
  std::atomic<int> mLongestCycle{0};
  std::atomic<int> mNotes{0};
  std::atomic<int> mMidi{0};
};
