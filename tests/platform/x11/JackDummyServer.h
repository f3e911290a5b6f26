// Starts a private jackd with the dummy driver for a test and stops it afterwards.
#pragma once

#include <jack/jack.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

extern char** environ;

// The server gets a name of its own (JACK_DEFAULT_SERVER is set for this
// process and the children it starts), so parallel tests and a user's own
// server never meet. No sound card, no real-time scheduling, no D-Bus.
class JackDummyServer {
public:
  static bool Installed() { return ::access("/usr/bin/jackd", X_OK) == 0; }

  bool Start() {
    mName = "kt412test" + std::to_string(::getpid());
    setenv("JACK_DEFAULT_SERVER", mName.c_str(), 1);
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    const char* argv[] = {"/usr/bin/jackd", "--no-realtime", "-n", mName.c_str(), "-d", "dummy", "-r", "48000",
                          "-p", "256", nullptr};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    const int rc = posix_spawn(&mPid, argv[0], &fa, nullptr, (char**)argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) {
      mPid = -1;
      return false;
    }
    // Ready when a client can connect; libjack's complaints meanwhile are noise.
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    for (int i = 0; i < 100; ++i) {
      jack_status_t status;
      if (jack_client_t* c = jack_client_open("kt412probe", JackNoStartServer, &status)) {
        jack_client_close(c);
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Stop();
    return false;
  }

  // SIGTERM lets the server say goodbye to its clients; SIGKILL does not.
  void Stop(int signal = SIGTERM) {
    if (mPid > 0) {
      kill(mPid, signal);
      int status;
      waitpid(mPid, &status, 0);
      mPid = -1;
    }
  }
  ~JackDummyServer() { Stop(); }

private:
  pid_t mPid = -1;
  std::string mName;
};
