// The player through the desktop's sound server (PulseAudio, which PipeWire also serves) or straight to ALSA.
#pragma once

#include <RtAudio.h>
#include <RtMidi.h>

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "PlayerDriver.h"
#include "framework/IMidiMsg.h"
#include "util/UTIL_SpscQueue.h"

// Sound through RtAudio's PulseAudio or ALSA back end, MIDI from the ALSA
// sequencer through RtMidi: a port "midi_in" that any sequencer client can
// connect to (and, with ConnectAll, every source the sequencer lists).
//
// Threads: RtAudio calls OnAudio on its stream thread. It takes the MIDI
// that arrived since the last cycle from one bounded lock-free queue per
// input (each filled by that input's RtMidi thread) and has the engine render
// the whole cycle: no allocation, lock, file or formatting in our code. A
// message that arrives while its queue is full is dropped and counted. MIDI
// plays at the start of the next cycle, so its timing is as fine as the
// cycle (kBufferFrames) is short. A stream error reported after the start
// means the server went away: the stop flag is set.
class RtAudioDriver : public PlayerDriver {
public:
  enum class Backend { kPulse, kAlsa };
  static constexpr int kSampleRate = 48000;
  // Frames per cycle asked for: 5.3 ms at 48 kHz.
  static constexpr int kBufferFrames = 256;
  static constexpr int kMaxInputs = 16;
  static constexpr int kMaxCycleMidi = 1024;

  RtAudioDriver();
  ~RtAudioDriver() override;

  // Opens an output stream (not yet running) on the back end's default
  // device and the MIDI input; false with a message when the server does not
  // answer. Without an ALSA sequencer the stream still opens: MidiNote says
  // why no MIDI comes in.
  bool Open(Backend backend, const std::string& name, std::string* error);
  int SampleRate() const override { return mSampleRate; }
  int BufferSize() const override { return (int)mBufferFrames; }
  bool Start(PlayerEngine* engine, std::atomic<bool>* stop, std::string* error) override;
  void ConnectAll() override;
  void Close() override;
  bool ServerLost() const override { return mServerLost.load(); }
  std::string ServerLostReason() const override;
  std::string Describe() const override;
  int NotesReceived() const override;
  std::string MidiNote() const override { return mMidiNote; }
  // MIDI messages dropped because the audio thread had not taken the earlier ones.
  long MidiDropped() const { return mMidiDropped.load(std::memory_order_relaxed); }

private:
  // One sequencer input and the queue from its thread to the audio thread.
  struct Input {
    RtAudioDriver* owner = nullptr;
    std::unique_ptr<RtMidiIn> in;
    UTIL_SpscQueue<IMidiMsg, 512> queue;
  };
  static int OnAudio(void* output, void* input, unsigned int nFrames, double streamTime,
                     RtAudioStreamStatus status, void* arg);
  static void OnMidi(double timeStamp, std::vector<unsigned char>* message, void* arg);
  static void OnStreamError(RtAudioError::Type type, const std::string& text);
  bool AddInput(int port, std::string* error);

  Backend mBackend = Backend::kPulse;
  std::string mName;
  std::unique_ptr<RtAudio> mAudio;
  int mSampleRate = kSampleRate;
  unsigned int mBufferFrames = kBufferFrames;
  PlayerEngine* mEngine = nullptr;
  std::atomic<bool>* mStop = nullptr;
  std::atomic<bool> mRunning{false};
  std::atomic<bool> mServerLost{false};
  // Filled in order; mInputCount publishes each to the audio thread once it is open.
  std::array<std::unique_ptr<Input>, kMaxInputs> mInputs;
  std::atomic<int> mInputCount{0};
  std::string mMidiNote;
  std::atomic<long> mMidiDropped{0};
  std::array<IMidiMsg, kMaxCycleMidi> mCycleMidi;
};
