// Translation of X11 input (keysyms, modifier state, buttons, press times) into editor terms.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/IMouseMod.h"

// Key value of the editor's key table for an X keysym: space 0, arrows 1-4
// (up, down, left, right), digits 5-14, letters 15-40 whatever their case;
// -1 for every other key (it is passed on, not handled).
int X11KeyValue(unsigned long keysym);

// Modifier bits of an X event's state, as Xlib defines them (ShiftMask etc.),
// repeated here so the translation can be tested without Xlib headers.
enum : unsigned {
  kX11ShiftMask = 1u << 0,
  kX11ControlMask = 1u << 2,
  kX11Mod1Mask = 1u << 3,  // alt on every common keyboard map
  kX11Mod4Mask = 1u << 6,  // the "super" key, our command key
  kX11Button1Mask = 1u << 8,
  kX11Button3Mask = 1u << 10,
};

// The editor's modifiers for a pointer event: button 1 is the left button and
// reports the right button too while the command (super) key is held, as a
// command-click does; button 3 is the right button. Any other button (or 0,
// for motion) reads the held buttons from the state.
IMouseMod X11MouseMod(unsigned state, unsigned button);

// Wheel step for a button press: +1 for button 4 (up), -1 for button 5, 0 otherwise.
int X11WheelDelta(unsigned button);

// Tells a double click from two single ones: a left press that follows the
// previous left press within the time limit and distance (in pixels on both
// axes) is a double click; the press after a double click starts afresh, so
// three quick clicks are a double click and a single click.
class X11DoubleClick {
public:
  static constexpr unsigned long kDefaultTimeMs = 400;
  static constexpr int kDefaultDistance = 4;

  explicit X11DoubleClick(unsigned long timeMs = kDefaultTimeMs, int distance = kDefaultDistance)
      : mTimeMs(timeMs), mDistance(distance) {}
  // Feeds a press of button (X server time in ms); true when it completes a double click.
  bool Press(unsigned button, unsigned long timeMs, int x, int y);
  void Reset() { mHavePrev = false; }

private:
  unsigned long mTimeMs;
  int mDistance;
  bool mHavePrev = false;
  unsigned long mPrevTime = 0;
  int mPrevX = 0, mPrevY = 0;
};

// Reads an integer setting ("Net/DoubleClickTime") from the XSETTINGS
// property data a desktop publishes; false when it is absent or the data is
// malformed (every length is checked against the buffer).
bool X11XSettingsInt(const unsigned char* data, size_t size, const char* name, int* value);

// The editor draws at 1, 1.5 or 2 (the scales its skin is drawn at). A
// desktop or host factor goes to the nearest of them, a tie to the larger
// (1.25 -> 1.5, 1.75 -> 2): an editor a little too large stays readable,
// one too small does not. Below 1 is 1, above 2 is 2; a factor that is not a
// positive number is 1.
float X11NearestScale(double factor);

// The output scale of the screen, as X11NearestScale makes it: from
// GDK_SCALE when it holds a positive number (desktops set whole numbers, but
// 1.5 is taken as it is), else from Xft.dpi over 96 (144 dpi is 1.5, 192 is
// 2), else 1. resources is the text of the RESOURCE_MANAGER property (may be
// null), gdkScale the environment value.
float X11OutputScale(const char* resources, const char* gdkScale);

// The shifts that put 8-bit red, green and blue where a visual's masks want
// them; false for a visual that is not 8 bits per channel (then no output).
struct X11PixelLayout {
  int redShift = 16, greenShift = 8, blueShift = 0;
  bool standard = true;  // 0x00RRGGBB: one byte swap per pixel does it
};
bool X11LayoutFromMasks(unsigned long red, unsigned long green, unsigned long blue, X11PixelLayout* layout);

// Copies the rectangle (x, y, w, h) of a bitmap in the drawing library's pixel
// order (bytes alpha, red, green, blue) into 32-bit X pixels at the same
// place. srcSpan and dstSpan count pixels.
void X11ConvertRect(const uint32_t* src, int srcSpan, uint32_t* dst, int dstSpan, int x, int y, int w, int h,
                    const X11PixelLayout& layout);
