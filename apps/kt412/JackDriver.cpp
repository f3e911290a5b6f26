// The player's JACK client: real-time render callback, port connections.
#include "JackDriver.h"

#include <jack/midiport.h>

#include "framework/IMidiMsg.h"
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
    *error = "no JACK server is running (start one, or play without sound: kt412 play --no-audio)";
    return false;
  }
  return true;
}

int JackDriver::SampleRate() const { return mClient ? (int)jack_get_sample_rate(mClient) : 0; }
int JackDriver::BufferSize() const { return mClient ? (int)jack_get_buffer_size(mClient) : 0; }

bool JackDriver::Start(QiKt412* plug, std::string* error) {
  mPlug = plug;
  mOut[0] = jack_port_register(mClient, "out_L", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  mOut[1] = jack_port_register(mClient, "out_R", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  mMidiIn = jack_port_register(mClient, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  if (!mOut[0] || !mOut[1] || !mMidiIn) {
    *error = "JACK refused our ports";
    return false;
  }
  plug->SetOutputChannelConnections(0, 2, true);
  jack_set_process_callback(mClient, &JackDriver::OnProcess, this);
  jack_set_buffer_size_callback(mClient, &JackDriver::OnBufferSize, this);
  if (jack_activate(mClient) != 0) {
    *error = "JACK did not activate the client";
    return false;
  }
  mActive = true;
  return true;
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
  if (mActive) jack_deactivate(mClient);
  mActive = false;
  jack_client_close(mClient);
  mClient = nullptr;
}

int JackDriver::OnBufferSize(jack_nframes_t nframes, void* arg) {
  auto* self = static_cast<JackDriver*>(arg);
  if (self->mPlug) {
    // Between cycles: the instrument may size its buffers here.
    self->mPlug->SetBlockSize((int)nframes);
    self->mPlug->Reset();
  }
  return 0;
}

int JackDriver::OnProcess(jack_nframes_t nframes, void* arg) {
  auto* self = static_cast<JackDriver*>(arg);
  QiKt412* plug = self->mPlug;
  float* outs[2] = {static_cast<float*>(jack_port_get_buffer(self->mOut[0], nframes)),
                    static_cast<float*>(jack_port_get_buffer(self->mOut[1], nframes))};
  void* midi = jack_port_get_buffer(self->mMidiIn, nframes);
  const jack_nframes_t count = jack_midi_get_event_count(midi);
  for (jack_nframes_t i = 0; i < count; ++i) {
    jack_midi_event_t ev;
    if (jack_midi_event_get(&ev, midi, i) != 0 || ev.size == 0 || ev.size > 3) continue;
    // Channel messages only; system messages (clock, sysex) are not the drum's.
    const unsigned char status = ev.buffer[0];
    if (status < 0x80 || status >= 0xF0) continue;
    IMidiMsg msg((int)ev.time, status, ev.size > 1 ? ev.buffer[1] : 0, ev.size > 2 ? ev.buffer[2] : 0);
    plug->ProcessMidiMsg(&msg);
    self->mMidi.fetch_add(1, std::memory_order_relaxed);
    if ((status & 0xF0) == 0x90 && ev.size > 2 && ev.buffer[2] > 0) self->mNotes.fetch_add(1, std::memory_order_relaxed);
  }
  plug->AttachOutputBuffers(0, 2, outs);
  plug->ProcessBuffers(0.0f, (int)nframes);
  plug->AdvanceSamplePos((int)nframes);
  return 0;
}
