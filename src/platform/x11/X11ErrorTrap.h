// X protocol errors on the editor's own connections are counted, never fatal.
#pragma once

#include <X11/Xlib.h>

// Xlib's default error handler prints and exits the process: unacceptable
// inside a host, where a parent window may vanish under us at any time. The
// editor's connections are registered here; errors on them are counted (per
// process and per connection) and otherwise ignored, so that a request on a
// vanished window only fails.
//
// The handler is process-wide in Xlib, and the host has one of its own. Ours
// is installed only while our code runs (a Scope around every entry into the
// view), chains errors of other connections to the handler it found, and is
// put back to that one when the last scope ends. Errors of our connections
// are only ever read inside our own calls, so none can arrive while the host
// runs; and once the editor's calls have returned, nothing in Xlib points into
// our code, so the library can be unloaded.
//
// Threads: registration, scopes and counting are guarded; the handler runs on
// the thread that reads the error from its connection.
namespace X11ErrorTrap {
// Adds a connection to ours (call inside a Scope).
void Register(Display* dpy);
void Unregister(Display* dpy);
// Errors seen on our connections since the process started.
int Count();
// The error code of the last error on dpy since the last call (0 = none); XSync first.
int TakeLastError(Display* dpy);

// Our handler for the lifetime of the scope. Scopes nest, on one thread or
// several: the first installs, the last restores. When the host put its own
// handler in place meanwhile, that one is kept.
class Scope {
public:
  Scope();
  ~Scope();
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
};
}  // namespace X11ErrorTrap
