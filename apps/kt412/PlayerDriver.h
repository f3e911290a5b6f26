// What the player needs from a sound server: a rate, a cycle length, a start, connections and a stop.
#pragma once

#include <atomic>
#include <string>

class PlayerEngine;

// One sound server connection of the player (JACK, PulseAudio, ALSA).
// Lifecycle: made open (it failed when the server did not answer), then
// Start with a prepared engine, optionally ConnectAll, then Close.
class PlayerDriver {
public:
  virtual ~PlayerDriver() = default;
  virtual int SampleRate() const = 0;
  // The frames the server asks for per cycle as it stands now.
  virtual int BufferSize() const = 0;
  // Starts the server calling engine->Render. stop is set (from whatever
  // thread the server tells us on) when the server goes away.
  virtual bool Start(PlayerEngine* engine, std::atomic<bool>* stop, std::string* error) = 0;
  // Outputs to the system's playback, every MIDI source to our input.
  virtual void ConnectAll() = 0;
  virtual void Close() = 0;
  // True once the server went away under us; ServerLostReason says so in words.
  virtual bool ServerLost() const = 0;
  virtual std::string ServerLostReason() const = 0;
  // How the start line names us: "as JACK client kt412", "through PulseAudio".
  virtual std::string Describe() const = 0;
  // Notes and messages that came in, and why MIDI is off when it is ("" when on).
  virtual int NotesReceived() const = 0;
  virtual std::string MidiNote() const { return std::string(); }
};
