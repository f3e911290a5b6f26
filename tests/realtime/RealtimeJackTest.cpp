// The player's JACK process callback never waits: under a JACK server of its
// own (dummy driver, 64-frame cycles), with a second client sending notes and
// controllers every cycle, while the control thread works the same instance
// as the editor and the host do, the callback makes no call the interposer
// watches.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "JackDriver.h"
#include "RealtimeInterposer.h"
#include "StressDrive.h"

extern char** environ;

namespace {

// The process callback of a client registered while this is set runs with
// its thread marked as inside the render.
std::atomic<bool> gWatchProcess{false};

struct WatchedCallback {
  JackProcessCallback callback = nullptr;
  void* arg = nullptr;
};
WatchedCallback gWatched;
std::atomic<long> gWatchedCycles{0};

int WatchedProcess(jack_nframes_t nframes, void* arg) {
  const auto* w = static_cast<const WatchedCallback*>(arg);
  rtcheck::SetInRender(true);
  const int result = w->callback(nframes, w->arg);
  rtcheck::SetInRender(false);
  gWatchedCycles.fetch_add(1, std::memory_order_relaxed);
  return result;
}

// A jackd of our own under a unique name, stopped at the end.
class JackServer {
public:
  JackServer() : mName("kt412rt" + std::to_string(getpid())) {
    setenv("JACK_DEFAULT_SERVER", mName.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    // -r: no real-time scheduling, which a container may not grant.
    const char* argv[] = {"jackd", "-n", mName.c_str(), "-r", "-d", "dummy", "-r", "48000", "-p", "64", nullptr};
    if (posix_spawnp(&mPid, "jackd", &files, nullptr, const_cast<char**>(argv), environ) != 0) mPid = -1;
    posix_spawn_file_actions_destroy(&files);
  }
  ~JackServer() {
    if (mPid <= 0) return;
    kill(mPid, SIGTERM);
    waitpid(mPid, nullptr, 0);
  }
  // Waits up to 10 s for the server to take clients.
  bool Ready() const {
    for (int i = 0; mPid > 0 && i < 100; ++i) {
      if (jack_client_t* c = jack_client_open("kt412rt_probe", JackNoStartServer, nullptr)) {
        jack_client_close(c);
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

private:
  std::string mName;
  pid_t mPid = -1;
};

// A second client that plays a note every 40 cycles and moves controller 74 every cycle.
struct MidiSender {
  jack_client_t* client = nullptr;
  jack_port_t* out = nullptr;
  long cycle = 0;
  static int Process(jack_nframes_t nframes, void* arg) {
    auto* self = static_cast<MidiSender*>(arg);
    void* buf = jack_port_get_buffer(self->out, nframes);
    jack_midi_clear_buffer(buf);
    const long c = self->cycle++;
    if (c % 40 == 0) {
      const unsigned char note[3] = {0x90, static_cast<unsigned char>(33 + c % 24), 100};
      jack_midi_event_write(buf, static_cast<jack_nframes_t>(c % nframes), note, 3);
    }
    const unsigned char cc[3] = {0xB0, 74, static_cast<unsigned char>(c % 128)};
    jack_midi_event_write(buf, nframes - 1, cc, 3);
    return 0;
  }
};

}  // namespace

// Interposed for the whole program: libjack's own, unless a watched client registers.
extern "C" int jack_set_process_callback(jack_client_t* client, JackProcessCallback callback, void* arg) {
  using Fn = int (*)(jack_client_t*, JackProcessCallback, void*);
  static const Fn next = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "jack_set_process_callback"));
  if (!gWatchProcess.load()) return next(client, callback, arg);
  gWatched = {callback, arg};
  return next(client, &WatchedProcess, &gWatched);
}

TEST(RealtimeSafety, ThePlayersJackCallbackNeverWaitsWhileAnotherThreadWorksTheSameInstance) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "libjack is not built for ThreadSanitizer, which misreads its process-shared locks";
#endif
  if (system("command -v jackd >/dev/null 2>&1") != 0) GTEST_SKIP() << "jackd missing (scripts/install-deps.sh --test)";
  JackServer server;
  ASSERT_TRUE(server.Ready()) << "the JACK server did not start";

  MidiSender sender;
  sender.client = jack_client_open("kt412rt_sender", JackNoStartServer, nullptr);
  ASSERT_NE(sender.client, nullptr);
  sender.out = jack_port_register(sender.client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  ASSERT_NE(sender.out, nullptr);
  jack_set_process_callback(sender.client, &MidiSender::Process, &sender);
  ASSERT_EQ(jack_activate(sender.client), 0);

  QiKt412 plug("");
  JackDriver driver;
  std::string error;
  ASSERT_TRUE(driver.Open("kt412rt_player", &error)) << error;
  plug.SetSampleRate(driver.SampleRate());
  plug.SetBlockSize(driver.BufferSize());
  plug.Reset();
  plug.OnParamReset();
  plug.BindController(74, kDecay);
  rtcheck::ResetCounts();
  gWatchProcess = true;
  ASSERT_TRUE(driver.Start(&plug, &error)) << error;
  gWatchProcess = false;
  driver.ConnectAll();

  kttest::StressCounts counts;
  IText style;
  long ledOn = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
    kttest::ControlRound(plug, round, style, &counts);
    ledOn += plug.LedState();
  }
  const int notes = driver.NotesReceived(), midi = driver.MidiReceived();
  driver.Close();
  jack_client_close(sender.client);
  plug.AttachValueDisplay(nullptr);

  const long violations = rtcheck::Violations();
  std::printf("realtime jack: %ld cycles, %d MIDI messages (%d notes) in the callback, %ld control rounds (%ld editors "
              "attached, %ld states restored), LED lit in %ld rounds; %ld calls by the callback (%ld locks), "
              "first: %s\n",
              gWatchedCycles.load(), midi, notes, counts.controlRounds, counts.editorsAttached, counts.statesRestored, ledOn, violations,
              rtcheck::LocksInRender(), rtcheck::FirstViolation());
  EXPECT_EQ(violations, 0) << "first: " << rtcheck::FirstViolation();
  EXPECT_GT(gWatchedCycles.load(), 100) << "the callback ran, watched";
  EXPECT_GT(midi, 100) << "with the sender's events";
  EXPECT_GT(notes, 2);
  EXPECT_GT(counts.controlRounds, 10);
  EXPECT_GT(counts.editorsAttached, 2);
}
