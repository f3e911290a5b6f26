// X protocol errors on the editor's own connections are counted, never fatal.
#pragma once

#include <X11/Xlib.h>

// Xlib's default error handler prints and exits the process: unacceptable
// inside a host, where a parent window may vanish under us at any time. The
// editor's connections are registered here; errors on them are counted (per
// process and per scope) and otherwise ignored, so that a request on a
// vanished window only fails. Errors on connections that are not ours go to
// the handler that was installed before ours, so the host's own handling
// stays as it was.
//
// Threads: registration and counting are guarded; the handler runs on the
// thread that reads the error from its connection.
namespace X11ErrorTrap {
// Installs the handler once (first call) and adds the connection to ours.
void Register(Display* dpy);
void Unregister(Display* dpy);
// Errors seen on our connections since the process started.
int Count();
// The error code of the last error on dpy since the last call (0 = none); XSync first.
int TakeLastError(Display* dpy);
}  // namespace X11ErrorTrap
