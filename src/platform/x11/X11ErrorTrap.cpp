// Process-wide X error handler that keeps the editor's errors away from the host's handler.
#include "platform/x11/X11ErrorTrap.h"

#include <atomic>
#include <map>
#include <mutex>

namespace {
std::mutex& TrapMutex() {
  static std::mutex m;
  return m;
}
std::map<Display*, int>& Connections() {
  static std::map<Display*, int> c;  // connection -> last error code
  return c;
}
XErrorHandler gPrevious = nullptr;
bool gInstalled = false;
std::atomic<int> gCount{0};

int OnXError(Display* dpy, XErrorEvent* ev) {
  {
    std::lock_guard<std::mutex> lock(TrapMutex());
    auto it = Connections().find(dpy);
    if (it != Connections().end()) {
      it->second = ev->error_code;
      ++gCount;
      return 0;
    }
  }
  return gPrevious ? gPrevious(dpy, ev) : 0;
}
}  // namespace

namespace X11ErrorTrap {
void Register(Display* dpy) {
  std::lock_guard<std::mutex> lock(TrapMutex());
  if (!gInstalled) {
    gPrevious = XSetErrorHandler(OnXError);
    gInstalled = true;
  }
  Connections()[dpy] = 0;
}

void Unregister(Display* dpy) {
  std::lock_guard<std::mutex> lock(TrapMutex());
  Connections().erase(dpy);
}

int Count() { return gCount.load(); }

int TakeLastError(Display* dpy) {
  std::lock_guard<std::mutex> lock(TrapMutex());
  auto it = Connections().find(dpy);
  if (it == Connections().end()) return 0;
  const int code = it->second;
  it->second = 0;
  return code;
}
}  // namespace X11ErrorTrap
