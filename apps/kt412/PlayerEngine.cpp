// The player's audio-thread side: whole server cycles in block-sized pieces.
#include "PlayerEngine.h"

#include <algorithm>
#include <cstring>

#include "instrument/QiKt412.h"

void PlayerEngine::Prepare(QiKt412* plug, int sampleRate, int blockSize) {
  mBlockSize = std::max(1, blockSize);
  plug->SetSampleRate(sampleRate);
  plug->SetBlockSize(mBlockSize);
  plug->SetOutputChannelConnections(0, 2, true);
  plug->Reset();
  plug->OnParamReset();
  mPlug = plug;
}

void PlayerEngine::Render(float* left, float* right, int nframes, const IMidiMsg* midi, int count) {
  if (nframes <= 0) return;
  if (!mPlug) {
    std::memset(left, 0, sizeof(float) * static_cast<size_t>(nframes));
    std::memset(right, 0, sizeof(float) * static_cast<size_t>(nframes));
    return;
  }
  if (nframes > mLongestCycle.load(std::memory_order_relaxed)) mLongestCycle.store(nframes, std::memory_order_relaxed);
  int next = 0;
  for (int done = 0; done < nframes;) {
    const int n = std::min(mBlockSize, nframes - done);
    const bool last = done + n == nframes;
    // This piece's messages, at frames relative to it; a stray offset past
    // the cycle plays at the cycle's last frame rather than never.
    for (; next < count && (midi[next].offset < done + n || last); ++next) {
      IMidiMsg msg = midi[next];
      msg.offset = std::clamp(msg.offset - done, 0, n - 1);
      mPlug->ProcessMidiMsg(&msg);
      mMidi.fetch_add(1, std::memory_order_relaxed);
      if ((msg.status & 0xF0) == 0x90 && msg.data2 > 0) mNotes.fetch_add(1, std::memory_order_relaxed);
    }
    float* outs[2] = {left + done, right + done};
    mPlug->AttachOutputBuffers(0, 2, outs);
    mPlug->ProcessBuffers(0.0f, n);
    mPlug->AdvanceSamplePos(n);
    done += n;
  }
}
