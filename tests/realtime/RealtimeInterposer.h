// Catches calls that may wait (allocation, locks, yields, sleeps, files) made
// by the thread marked as the audio thread while it is inside the render.
#pragma once

namespace rtcheck {

// Marks the calling thread as inside (true) or outside (false) the render.
void SetInRender(bool inRender);

// Every intercepted call so far, from any thread.
long Intercepted();
// Intercepted calls made by a marked thread inside the render.
long Violations();
// Of those, the mutex locks.
long LocksInRender();
// Name of the first such call, or "" when there was none.
const char* FirstViolation();
void ResetCounts();

// While set on the calling thread, a mutex lock it takes inside the render
// is counted by LocksTaken instead of as a violation: for host calls that
// are specified to take the plug-in's mutex (a dispatcher's requests).
// Allocations, files and every other waiting call still count.
void SetLocksAllowed(bool allowed);
long LocksTaken();

// Marks the calling thread for its lifetime.
class RenderScope {
public:
  RenderScope() { SetInRender(true); }
  ~RenderScope() { SetInRender(false); }
  RenderScope(const RenderScope&) = delete;
  RenderScope& operator=(const RenderScope&) = delete;
};

}  // namespace rtcheck
