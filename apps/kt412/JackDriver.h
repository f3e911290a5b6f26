// The player's JACK client: two audio outputs and one MIDI input driving the instrument.
#pragma once

#include <jack/jack.h>

#include <array>
#include <atomic>
#include <string>

#include "PlayerDriver.h"
#include "PlayerEngine.h"
#include "framework/IMidiMsg.h"

class QiKt412;

// Lifecycle: Open (fails without a server), Start (ports active, the engine
// renders from now on), optionally ConnectAll, then Close.
//
// Threads: JACK calls OnProcess on its real-time thread. It copies the
// cycle's MIDI into a fixed array and has the engine render the whole cycle:
// no allocation, lock, file or formatting. The buffer-size callback (which
// PipeWire's JACK layer calls from a thread of its own) and the shutdown
// callback only store atomics; the engine never resizes while JACK runs us.
class JackDriver : public PlayerDriver {
public:
  // MIDI messages taken per cycle; more in one cycle are dropped.
  static constexpr int kMaxCycleMidi = 1024;

  ~JackDriver() override { Close(); }

  // Connects to the running server under name; false with a message when
  // there is none. Nothing is started on our behalf.
  bool Open(const std::string& name, std::string* error);
  int SampleRate() const override;
  int BufferSize() const override;
  // Registers the ports, installs the callbacks and activates the client.
  bool Start(PlayerEngine* engine, std::atomic<bool>* stop, std::string* error) override;
  // For a caller that has set the instrument up itself: an engine of the
  // driver's own renders it, prepared with the instrument's sample rate and
  // block size.
  bool Start(QiKt412* plug, std::string* error);
  // Outputs to the first two physical playback ports, every MIDI output to our input.
  void ConnectAll() override;
  void Close() override;
  bool ServerLost() const override { return mServerLost.load(); }
  std::string ServerLostReason() const override;
  std::string Describe() const override { return "as JACK client " + mName; }
  int NotesReceived() const override;
  int MidiReceived() const { return mEngine ? mEngine->MidiReceived() : 0; }

private:
  static int OnProcess(jack_nframes_t nframes, void* arg);
  static int OnBufferSize(jack_nframes_t nframes, void* arg);
  static void OnShutdown(jack_status_t code, const char* reason, void* arg);

  std::string mName;
  jack_client_t* mClient = nullptr;
  jack_port_t* mOut[2] = {nullptr, nullptr};
  jack_port_t* mMidiIn = nullptr;
  PlayerEngine* mEngine = nullptr;
  PlayerEngine mOwnEngine;  // when started with an instrument only
  std::atomic<bool>* mStop = nullptr;
  bool mActive = false;
  std::atomic<bool> mServerLost{false};
  // The server's reason, copied by the shutdown callback before mServerLost is set.
  char mLostReason[128] = {};
  std::array<IMidiMsg, kMaxCycleMidi> mCycleMidi;
};
