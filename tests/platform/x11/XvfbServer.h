// Starts a private Xvfb for a test or benchmark process and stops it afterwards.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

extern char** environ;

// Xvfb picks a free display number itself (-displayfd) and writes it to a
// pipe once it accepts connections, so parallel test processes never race
// for a number. DISPLAY is set for this process while the server runs.
class XvfbServer {
public:
  static bool Installed() { return ::access("/usr/bin/Xvfb", X_OK) == 0 || Find("Xvfb").size() > 0; }

  bool Start() {
    const std::string exe = ::access("/usr/bin/Xvfb", X_OK) == 0 ? "/usr/bin/Xvfb" : Find("Xvfb");
    if (exe.empty()) return false;
    int fds[2];
    if (pipe(fds) != 0) return false;
    std::string fdText = std::to_string(fds[1]);
    const char* argv[] = {exe.c_str(), "-displayfd", fdText.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
                          "tcp", "-noreset", nullptr};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    const int rc = posix_spawn(&mPid, exe.c_str(), &fa, nullptr, (char**)argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    if (rc != 0) {
      ::close(fds[0]);
      mPid = -1;
      return false;
    }
    std::string number;
    pollfd pfd = {fds[0], POLLIN, 0};
    while (poll(&pfd, 1, 10000) > 0) {
      char c;
      if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    ::close(fds[0]);
    if (number.empty()) {
      Stop();
      return false;
    }
    mDisplay = ":" + number;
    setenv("DISPLAY", mDisplay.c_str(), 1);
    return true;
  }

  void Stop() {
    if (mPid > 0) {
      kill(mPid, SIGTERM);
      int status;
      waitpid(mPid, &status, 0);
      mPid = -1;
    }
  }

  ~XvfbServer() { Stop(); }
  const std::string& Display() const { return mDisplay; }

private:
  static std::string Find(const char* name) {
    const char* path = std::getenv("PATH");
    std::string all = path ? path : "";
    size_t start = 0;
    while (start < all.size()) {
      size_t colon = all.find(':', start);
      std::string dir = all.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
      std::string candidate = dir + "/" + name;
      if (!dir.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
      if (colon == std::string::npos) break;
      start = colon + 1;
    }
    return std::string();
  }

  pid_t mPid = -1;
  std::string mDisplay;
};
