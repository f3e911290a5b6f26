// kt412_jack_probe: a tiny JACK client that plays one MIDI note into an
// instrument running in a JACK host and checks that sound comes back.
//
//   kt412_jack_probe CLIENT [SECONDS] [--listen]
//
// Connects its MIDI output to CLIENT:events_in and CLIENT:out_l/out_r to its
// inputs, listens to a stretch of silence, sends a note-on and reports the
// peak of each channel. Exits 0 when the silence was silent and the note
// was heard the same on both channels, 1 when not, 2 on a JACK error.
// With --listen it sends nothing and listens for SECONDS: something else
// (the editor's pad) is to make the sound.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

jack_port_t* gMidiOut = nullptr;
jack_port_t* gIn[2] = {nullptr, nullptr};
// 0: listening to silence, 1: note due, 2: note sent, listening.
std::atomic<int> gPhase{0};
std::atomic<float> gSilencePeak{0.0f};
std::atomic<float> gPeak[2] = {0.0f, 0.0f};
std::atomic<float> gMaxDiff{0.0f};
std::atomic<long> gFramesAfterNote{0};

void Raise(std::atomic<float>& peak, float v) {
  if (v > peak.load(std::memory_order_relaxed)) peak.store(v, std::memory_order_relaxed);
}

int Process(jack_nframes_t n, void*) {
  void* midi = jack_port_get_buffer(gMidiOut, n);
  jack_midi_clear_buffer(midi);
  const int phase = gPhase.load();
  if (phase == 1) {
    const jack_midi_data_t note[3] = {0x90, 36, 110};
    jack_midi_event_write(midi, 0, note, 3);
    gPhase.store(2);
  }
  const auto* l = static_cast<const float*>(jack_port_get_buffer(gIn[0], n));
  const auto* r = static_cast<const float*>(jack_port_get_buffer(gIn[1], n));
  for (jack_nframes_t i = 0; i < n; ++i) {
    if (phase == 0) {
      Raise(gSilencePeak, std::fabs(l[i]));
    } else if (phase == 2) {
      Raise(gPeak[0], std::fabs(l[i]));
      Raise(gPeak[1], std::fabs(r[i]));
      Raise(gMaxDiff, std::fabs(l[i] - r[i]));
    }
  }
  if (phase == 2) gFramesAfterNote.fetch_add(static_cast<long>(n));
  return 0;
}

bool WaitForPort(jack_client_t* c, const std::string& name, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!jack_port_by_name(c, name.c_str())) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// A host registers its ports before it activates its client, and a port of
// an inactive client cannot be connected yet: retry until the time is up.
// An existing connection counts as made.
bool ConnectWithin(jack_client_t* c, const std::string& from, const std::string& to, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    const int rc = jack_connect(c, from.c_str(), to.c_str());
    if (rc == 0 || rc == EEXIST) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: kt412_jack_probe CLIENT [SECONDS]\n");
    return 2;
  }
  const std::string target = argv[1];
  const double timeout = argc > 2 ? std::atof(argv[2]) : 20.0;
  const bool listen = argc > 3 && std::string(argv[3]) == "--listen";
  jack_status_t status;
  jack_client_t* c = jack_client_open("kt412_probe", JackNoStartServer, &status);
  if (!c) {
    std::fprintf(stderr, "kt412_jack_probe: no JACK server (status 0x%x)\n", static_cast<unsigned>(status));
    return 2;
  }
  gMidiOut = jack_port_register(c, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  gIn[0] = jack_port_register(c, "in_l", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  gIn[1] = jack_port_register(c, "in_r", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  if (!gMidiOut || !gIn[0] || !gIn[1] || jack_set_process_callback(c, Process, nullptr) || jack_activate(c)) {
    std::fprintf(stderr, "kt412_jack_probe: cannot set up the client\n");
    jack_client_close(c);
    return 2;
  }
  const std::string events = target + ":events_in", outL = target + ":out_l", outR = target + ":out_r";
  if (!WaitForPort(c, events, timeout) || !WaitForPort(c, outL, timeout) || !WaitForPort(c, outR, timeout)) {
    std::fprintf(stderr, "kt412_jack_probe: %s has no events_in, out_l and out_r ports\n", target.c_str());
    jack_client_close(c);
    return 1;
  }
  if (!ConnectWithin(c, jack_port_name(gMidiOut), events, timeout) || !ConnectWithin(c, outL, jack_port_name(gIn[0]), timeout) ||
      !ConnectWithin(c, outR, jack_port_name(gIn[1]), timeout)) {
    std::fprintf(stderr, "kt412_jack_probe: cannot connect to %s\n", target.c_str());
    jack_client_close(c);
    return 2;
  }
  const double rate = jack_get_sample_rate(c);
  // Half a second of silence, the note, then half a second of the hit.
  // Listening only: the whole time counts.
  if (!listen) std::this_thread::sleep_for(std::chrono::milliseconds(500));
  gPhase.store(listen ? 2 : 1);
  const long want = listen ? static_cast<long>(rate * timeout) : static_cast<long>(rate / 2);
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout + 5.0);
  while (gFramesAfterNote.load() < want && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  jack_deactivate(c);
  jack_client_close(c);

  const float silence = gSilencePeak.load(), l = gPeak[0].load(), r = gPeak[1].load(), diff = gMaxDiff.load();
  std::printf("kt412_jack_probe: %s: silence peak %g, after the note peak L %g R %g (L-R %g) over %ld frames\n",
              target.c_str(), silence, l, r, diff, gFramesAfterNote.load());
  const bool ok = silence == 0.0f && l > 0.05f && l == r && diff == 0.0f && gFramesAfterNote.load() >= want;
  return ok ? 0 : 1;
}
