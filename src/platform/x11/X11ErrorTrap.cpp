// X error handler of the editor's connections, installed only while the editor's own code runs.
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
// Guarded by TrapMutex: the handler found when the outermost scope began,
// and how many scopes are open.
XErrorHandler gPrevious = nullptr;
int gDepth = 0;
std::atomic<int> gCount{0};

int OnXError(Display* dpy, XErrorEvent* ev) {
  XErrorHandler previous;
  {
    std::lock_guard<std::mutex> lock(TrapMutex());
    auto it = Connections().find(dpy);
    if (it != Connections().end()) {
      it->second = ev->error_code;
      ++gCount;
      return 0;
    }
    previous = gPrevious;
  }
  // Not ours: the host's error, for the host's handler (called unlocked, it may do anything).
  return previous ? previous(dpy, ev) : 0;
}
}  // namespace

namespace X11ErrorTrap {
Scope::Scope() {
  std::lock_guard<std::mutex> lock(TrapMutex());
  if (gDepth++ == 0) gPrevious = XSetErrorHandler(OnXError);
}

Scope::~Scope() {
  std::lock_guard<std::mutex> lock(TrapMutex());
  if (--gDepth > 0) return;
  const XErrorHandler current = XSetErrorHandler(gPrevious);
  // Someone else replaced ours while we ran: theirs stays.
  if (current != OnXError) XSetErrorHandler(current);
  gPrevious = nullptr;
}

void Register(Display* dpy) {
  std::lock_guard<std::mutex> lock(TrapMutex());
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
