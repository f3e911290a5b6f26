// A prompt open over the editor (menu, message box, file prompt), driven by the view's idle calls.
#pragma once

#include <X11/Xlib.h>

// The view holds at most one. It never waits: the view hands it each event
// first and polls it after every round of events, so a host's idle call
// returns at once while the prompt is open.
//
// Lifecycle: made and shown by the view's prompt operation; Poll turns true
// once answered; the view then takes it off and calls Finish, which releases
// its windows (and child process or portal request) and then calls back, so
// that the callback may start the next prompt. A session destroyed without
// Finish (the view closes) releases everything and calls nobody.
class X11Session {
public:
  virtual ~X11Session() = default;
  // True when the event was the session's: the editor below does not see it.
  virtual bool Handle(XEvent& ev) = 0;
  // After each round of events; true once the answer is known.
  virtual bool Poll() = 0;
  virtual void Finish() = 0;
};
