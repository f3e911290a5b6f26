// Mouse buttons and modifier keys held during an editor event.
#pragma once

// L left button, R right button (also reported for a command-click), S shift,
// C control, A alt (option).
struct IMouseMod {
  bool L = false, R = false, S = false, C = false, A = false;

  IMouseMod(bool l = false, bool r = false, bool s = false, bool c = false, bool a = false)
      : L(l), R(r), S(s), C(c), A(a) {}
};
