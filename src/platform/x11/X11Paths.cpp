// XDG folder lookup for the X11 view and the player.
#include "platform/x11/X11Paths.h"

#include <cstdlib>
#include <fstream>

#include <unistd.h>

std::string X11HomeFolder() {
  const char* home = std::getenv("HOME");
  return home && home[0] ? std::string(home) : std::string("/tmp");
}

std::string X11ConfigHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  return xdg && xdg[0] == '/' ? std::string(xdg) : X11HomeFolder() + "/.config";
}

std::string X11DataHome() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  return xdg && xdg[0] == '/' ? std::string(xdg) : X11HomeFolder() + "/.local/share";
}

std::string X11UserDir(const char* key, const char* fallback) {
  const std::string home = X11HomeFolder();
  std::ifstream in(X11ConfigHome() + "/user-dirs.dirs");
  std::string line;
  const std::string prefix = std::string(key) + "=";
  while (std::getline(in, line)) {
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    std::string value = line.substr(prefix.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.compare(0, 5, "$HOME") == 0) value = home + value.substr(5);
    // Only absolute paths are allowed by the file's format; anything else is ignored.
    if (!value.empty() && value[0] == '/') {
      while (value.size() > 1 && value.back() == '/') value.pop_back();
      return value;
    }
  }
  return home + "/" + fallback;
}

std::string X11FindInPath(const char* program) {
  const char* path = std::getenv("PATH");
  const std::string all = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= all.size()) {
    const size_t colon = all.find(':', start);
    const std::string dir = all.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (!dir.empty()) {
      const std::string candidate = dir + "/" + program;
      if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return std::string();
}
