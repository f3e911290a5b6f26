// The player's JACK client: real-time render callback, port connections, the server going away.
#include "JackDriver.h"

#include <jack/midiport.h>

#include <cstring>

#include "instrument/QiKt412.h"

namespace {
// libjack writes its own diagnostics to stderr; the player reports in one line itself.
void Quiet(const char*) {}
}  // namespace

bool JackDriver::Open(const std::string& name, std::string* error) {
  jack_set_error_function(&Quiet);
  jack_set_info_function(&Quiet);
  jack_status_t status;
  mClient = jack_client_open(name.c_str(), JackNoStartServer, &status);
  if (!mClient) {
    *error = "no JACK server is running";
    return false;
  }
  mName = jack_get_client_name(mClient);
  return true;
}

int JackDriver::SampleRate() const { return mClient ? (int)jack_get_sample_rate(mClient) : 0; }
int JackDriver::BufferSize() const { return mClient ? (int)jack_get_buffer_size(mClient) : 0; }
int JackDriver::NotesReceived() const { return mEngine ? mEngine->NotesReceived() : 0; }

bool JackDriver::Start(PlayerEngine* engine, std::atomic<bool>* stop, std::string* error) {
  mEngine = engine;
  mStop = stop;
  mOut[0] = jack_port_register(mClient, "out_L", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  mOut[1] = jack_port_register(mClient, "out_R", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  mMidiIn = jack_port_register(mClient, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  if (!mOut[0] || !mOut[1] || !mMidiIn) {
    *error = "JACK refused our ports";
    return false;
  }
  jack_set_process_callback(mClient, &JackDriver::OnProcess, this);
  jack_set_buffer_size_callback(mClient, &JackDriver::OnBufferSize, this);
  jack_on_info_shutdown(mClient, &JackDriver::OnShutdown, this);
  if (jack_activate(mClient) != 0) {
    *error = "JACK did not activate the client";
    return false;
  }
  mActive = true;
  return true;
}

bool JackDriver::Start(QiKt412* plug, std::string* error) {
  mOwnEngine.Prepare(plug, (int)plug->GetSampleRate(), plug->GetBlockSize());
  return Start(&mOwnEngine, nullptr, error);
}

void JackDriver::ConnectAll() {
  if (!mClient) return;
  if (const char** playback = jack_get_ports(mClient, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                             JackPortIsPhysical | JackPortIsInput)) {
    for (int i = 0; i < 2 && playback[i]; ++i) jack_connect(mClient, jack_port_name(mOut[i]), playback[i]);
    // A mono playback device gets both channels.
    if (playback[0] && !playback[1]) jack_connect(mClient, jack_port_name(mOut[1]), playback[0]);
    jack_free(playback);
  }
  if (const char** sources = jack_get_ports(mClient, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput)) {
    for (int i = 0; sources[i]; ++i) jack_connect(mClient, sources[i], jack_port_name(mMidiIn));
    jack_free(sources);
  }
}

void JackDriver::Close() {
  if (!mClient) return;
  // A client whose server is gone is only freed: there is no one left to
  // deactivate it with, and asking would wait for an answer that never comes.
  if (mActive && !mServerLost.load()) jack_deactivate(mClient);
  mActive = false;
  jack_client_close(mClient);
  mClient = nullptr;
}

std::string JackDriver::ServerLostReason() const {
  std::string why = "the JACK server went away";
  if (mServerLost.load() && mLostReason[0]) why += std::string(" (") + mLostReason + ")";
  return why;
}

int JackDriver::OnBufferSize(jack_nframes_t nframes, void* arg) {
  // May come from a thread other than the process thread, even while it
  // renders: only noted. The engine renders each cycle whole at whatever
  // length it comes, with buffers sized before activation.
  static_cast<JackDriver*>(arg)->mEngine->NoteCycleLength((int)nframes);
  return 0;
}

void JackDriver::OnShutdown(jack_status_t, const char* reason, void* arg) {
  auto* self = static_cast<JackDriver*>(arg);
  if (reason) std::strncpy(self->mLostReason, reason, sizeof(self->mLostReason) - 1);
  self->mServerLost.store(true);
  if (self->mStop) self->mStop->store(true);
}

int JackDriver::OnProcess(jack_nframes_t nframes, void* arg) {
  auto* self = static_cast<JackDriver*>(arg);
  auto* left = static_cast<float*>(jack_port_get_buffer(self->mOut[0], nframes));
  auto* right = static_cast<float*>(jack_port_get_buffer(self->mOut[1], nframes));
  void* midi = jack_port_get_buffer(self->mMidiIn, nframes);
  const jack_nframes_t count = jack_midi_get_event_count(midi);
  int n = 0;
  for (jack_nframes_t i = 0; i < count && n < kMaxCycleMidi; ++i) {
    jack_midi_event_t ev;
    if (jack_midi_event_get(&ev, midi, i) != 0 || ev.size == 0 || ev.size > 3) continue;
    // Channel messages only; system messages (clock, sysex) are not the drum's.
    const unsigned char status = ev.buffer[0];
    if (status < 0x80 || status >= 0xF0) continue;
    self->mCycleMidi[(size_t)n++] =
        IMidiMsg((int)ev.time, status, ev.size > 1 ? ev.buffer[1] : 0, ev.size > 2 ? ev.buffer[2] : 0);
  }
  self->mEngine->Render(left, right, (int)nframes, self->mCycleMidi.data(), n);
  return 0;
}
