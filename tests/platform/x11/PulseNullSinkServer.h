// Starts a private PulseAudio server with one null sink for a test and stops it afterwards.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

extern char** environ;

// The server lives in a folder of its own (its socket, cookie and state), so
// parallel tests and a desktop's own server never meet; PULSE_SERVER is set
// for this process and the children it starts. It runs as whoever runs the
// test, root included (PulseAudio then only warns), with no D-Bus, no
// hardware modules and no idle exit. The sink "kt412test" plays nowhere; its
// monitor source "kt412test.monitor" records what was played to it.
class PulseNullSinkServer {
public:
  static constexpr const char* kSink = "kt412test";
  static bool Installed() { return ::access("/usr/bin/pulseaudio", X_OK) == 0 && ::access("/usr/bin/parec", X_OK) == 0; }

  bool Start(const std::string& folder) {
    mSocket = folder + "/native";
    const std::string sink = std::string("module-null-sink sink_name=") + kSink + " rate=48000";
    const std::string proto = "module-native-protocol-unix auth-anonymous=1 socket=" + mSocket;
    const char* argv[] = {"/usr/bin/pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes",
                          "--use-pid-file=no", "--system=no", "--log-target=stderr", "-L", sink.c_str(), "-L",
                          proto.c_str(), nullptr};
    // Its home and runtime folder are the test's, for the server only.
    const std::string home = "HOME=" + folder, runtime = "XDG_RUNTIME_DIR=" + folder;
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
      if (std::strncmp(*e, "HOME=", 5) != 0 && std::strncmp(*e, "XDG_RUNTIME_DIR=", 16) != 0) env.emplace_back(*e);
    env.push_back(home);
    env.push_back(runtime);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, (folder + "/pulseaudio.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int rc = posix_spawn(&mPid, argv[0], &fa, nullptr, (char**)argv, envp.data());
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) {
      mPid = -1;
      return false;
    }
    setenv("PULSE_SERVER", ("unix:" + mSocket).c_str(), 1);
    // Ready once its socket takes a connection.
    for (int i = 0; i < 200; ++i) {
      if (Answers()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    Stop();
    return false;
  }

  void Stop() {
    if (mPid > 0) {
      kill(mPid, SIGTERM);
      int status;
      waitpid(mPid, &status, 0);
      mPid = -1;
    }
  }
  ~PulseNullSinkServer() { Stop(); }

private:
  bool Answers() const {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, mSocket.c_str(), sizeof(addr.sun_path) - 1);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    ::close(fd);
    return ok;
  }

  pid_t mPid = -1;
  std::string mSocket;
};
