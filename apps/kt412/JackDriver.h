// The player's JACK client: two audio outputs and one MIDI input driving the instrument.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <string>

class QiKt412;

// Lifecycle: Open (fails without a server), Start (ports active, the
// instrument renders from now on), optionally ConnectAll, then Close.
//
// Threads: JACK calls Process on its real-time thread. It only hands the
// cycle's MIDI events to the instrument and renders into JACK's buffers: no
// allocation, lock, file or formatting; the counters are relaxed atomics.
// A buffer-size change arrives between cycles and re-sizes the instrument.
class JackDriver {
public:
  ~JackDriver() { Close(); }

  // Connects to the running server under name; false with a message when
  // there is none. Nothing is started on our behalf.
  bool Open(const std::string& name, std::string* error);
  int SampleRate() const;
  int BufferSize() const;
  // Registers the ports, installs the callbacks and activates the client.
  bool Start(QiKt412* plug, std::string* error);
  // Outputs to the first two physical playback ports, every MIDI output to our input.
  void ConnectAll();
  void Close();

  int NotesReceived() const { return mNotes.load(std::memory_order_relaxed); }
  int MidiReceived() const { return mMidi.load(std::memory_order_relaxed); }

private:
  static int OnProcess(jack_nframes_t nframes, void* arg);
  static int OnBufferSize(jack_nframes_t nframes, void* arg);

  jack_client_t* mClient = nullptr;
  jack_port_t* mOut[2] = {nullptr, nullptr};
  jack_port_t* mMidiIn = nullptr;
  QiKt412* mPlug = nullptr;
  bool mActive = false;
  std::atomic<int> mNotes{0};
  std::atomic<int> mMidi{0};
};
