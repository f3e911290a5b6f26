// Translation of X11 input into editor terms, and pixel conversion for the screen.
#include "platform/x11/X11Input.h"

#include <X11/keysym.h>

#include <charconv>
#include <cstdlib>
#include <system_error>
#include <cstring>

int X11KeyValue(unsigned long keysym) {
  switch (keysym) {
    case XK_space: return 0;
    case XK_Up: case XK_KP_Up: return 1;
    case XK_Down: case XK_KP_Down: return 2;
    case XK_Left: case XK_KP_Left: return 3;
    case XK_Right: case XK_KP_Right: return 4;
    default: break;
  }
  if (keysym >= XK_0 && keysym <= XK_9) return 5 + (int)(keysym - XK_0);
  if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return 5 + (int)(keysym - XK_KP_0);
  if (keysym >= XK_A && keysym <= XK_Z) return 15 + (int)(keysym - XK_A);
  if (keysym >= XK_a && keysym <= XK_z) return 15 + (int)(keysym - XK_a);
  return -1;
}

IMouseMod X11MouseMod(unsigned state, unsigned button) {
  const bool shift = state & kX11ShiftMask, ctrl = state & kX11ControlMask, alt = state & kX11Mod1Mask;
  const bool command = state & kX11Mod4Mask;
  bool left = false, right = false;
  if (button == 1) {
    left = true;
    right = command;
  } else if (button == 3) {
    right = true;
  } else {
    left = state & kX11Button1Mask;
    right = (state & kX11Button3Mask) || (left && command);
  }
  return IMouseMod(left, right, shift, ctrl, alt);
}

int X11WheelDelta(unsigned button) {
  if (button == 4) return 1;
  if (button == 5) return -1;
  return 0;
}

bool X11DoubleClick::Press(unsigned button, unsigned long timeMs, int x, int y) {
  if (button != 1) {
    mHavePrev = false;
    return false;
  }
  // X server time is a 32-bit millisecond counter; unsigned subtraction
  // survives its wrap.
  const unsigned long dt = (timeMs - mPrevTime) & 0xFFFFFFFFul;
  const bool dbl = mHavePrev && dt <= mTimeMs && std::abs(x - mPrevX) <= mDistance && std::abs(y - mPrevY) <= mDistance;
  if (dbl) {
    mHavePrev = false;
    return true;
  }
  mHavePrev = true;
  mPrevTime = timeMs;
  mPrevX = x;
  mPrevY = y;
  return false;
}

namespace {
// The XSETTINGS wire format: a byte-order byte, 3 pad bytes, a serial and a
// count (CARD32 each), then per setting: type byte (0 integer, 1 string,
// 2 colour), pad byte, name length (CARD16), the name padded to 4 bytes, a
// serial (CARD32) and the value (INT32; CARD32 length and padded bytes; 4 CARD16).
struct SettingsReader {
  const unsigned char* p;
  size_t size, pos;
  bool msb;
  bool Need(size_t n) const { return pos <= size && size - pos >= n; }
  uint32_t U32() {
    const unsigned char* b = p + pos;
    pos += 4;
    return msb ? (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3]
               : (uint32_t)b[3] << 24 | (uint32_t)b[2] << 16 | (uint32_t)b[1] << 8 | b[0];
  }
  uint16_t U16() {
    const unsigned char* b = p + pos;
    pos += 2;
    return msb ? (uint16_t)(b[0] << 8 | b[1]) : (uint16_t)(b[1] << 8 | b[0]);
  }
};
size_t Pad4(size_t n) { return (n + 3) & ~(size_t)3; }
}  // namespace

bool X11XSettingsInt(const unsigned char* data, size_t size, const char* name, int* value) {
  if (!data || !name || !value || size < 12) return false;
  SettingsReader r{data, size, 4, data[0] == 1};
  r.U32();  // serial
  const uint32_t n = r.U32();
  const size_t nameLen = std::strlen(name);
  for (uint32_t i = 0; i < n; ++i) {
    if (!r.Need(4)) return false;
    const unsigned type = data[r.pos];
    r.pos += 2;
    const size_t len = r.U16();
    if (!r.Need(Pad4(len) + 4)) return false;
    const bool match = len == nameLen && std::memcmp(data + r.pos, name, len) == 0;
    r.pos += Pad4(len);
    r.U32();  // last-change serial
    if (type == 0) {
      if (!r.Need(4)) return false;
      const int32_t v = (int32_t)r.U32();
      if (match) {
        *value = v;
        return true;
      }
    } else if (type == 1) {
      if (!r.Need(4)) return false;
      const size_t slen = r.U32();
      if (!r.Need(Pad4(slen))) return false;
      r.pos += Pad4(slen);
    } else if (type == 2) {
      if (!r.Need(8)) return false;
      r.pos += 8;
    } else {
      return false;
    }
  }
  return false;
}

float X11NearestScale(double factor) {
  if (!(factor >= 1.25)) return 1.0f;  // also NaN
  return factor < 1.75 ? 1.5f : 2.0f;
}

namespace {
// A number at the start of text (after blanks), read the same in every
// locale: a host's German LC_NUMERIC must not turn "1.5" into 1.
bool LeadingNumber(const char* text, const char* end, double* value) {
  while (text < end && (*text == ' ' || *text == '\t')) ++text;
  const std::from_chars_result r = std::from_chars(text, end, *value);
  return r.ec == std::errc() && r.ptr != text;
}
}  // namespace

float X11OutputScale(const char* resources, const char* gdkScale) {
  double v = 0.0;
  if (gdkScale && LeadingNumber(gdkScale, gdkScale + std::strlen(gdkScale), &v) && v > 0.0)
    return X11NearestScale(v);
  if (!resources) return 1.0f;
  // RESOURCE_MANAGER is "name:\tvalue" lines; only the exact Xft.dpi entry counts.
  const char* p = resources;
  while (p && *p) {
    const char* eol = std::strchr(p, '\n');
    const size_t len = eol ? (size_t)(eol - p) : std::strlen(p);
    if (len > 8 && std::strncmp(p, "Xft.dpi:", 8) == 0)
      return LeadingNumber(p + 8, p + len, &v) ? X11NearestScale(v / 96.0) : 1.0f;
    p = eol ? eol + 1 : nullptr;
  }
  return 1.0f;
}

namespace {
int ShiftOf8BitMask(unsigned long mask) {
  for (int s = 0; s <= 24; ++s)
    if (mask == (0xFFul << s)) return s;
  return -1;
}
}  // namespace

bool X11LayoutFromMasks(unsigned long red, unsigned long green, unsigned long blue, X11PixelLayout* layout) {
  const int r = ShiftOf8BitMask(red), g = ShiftOf8BitMask(green), b = ShiftOf8BitMask(blue);
  if (r < 0 || g < 0 || b < 0 || !layout) return false;
  layout->redShift = r;
  layout->greenShift = g;
  layout->blueShift = b;
  layout->standard = r == 16 && g == 8 && b == 0;
  return true;
}

namespace {
inline uint32_t ToX(uint32_t p, const X11PixelLayout& l) {
  // Drawing-library pixels read as integers are a | r << 8 | g << 16 | b << 24;
  // the common 0x00RRGGBB visual is exactly their byte swap (the alpha byte
  // lands in the unused top byte, which the server ignores at depth 24).
  if (l.standard) return __builtin_bswap32(p);
  const uint32_t r = (p >> 8) & 0xFF, g = (p >> 16) & 0xFF, b = (p >> 24) & 0xFF;
  return (r << l.redShift) | (g << l.greenShift) | (b << l.blueShift);
}
}  // namespace

void X11ConvertRect(const uint32_t* src, int srcSpan, uint32_t* dst, int dstSpan, int x, int y, int w, int h,
                    const X11PixelLayout& layout) {
  if (!src || !dst || w <= 0 || h <= 0) return;
  for (int j = 0; j < h; ++j) {
    const uint32_t* s = src + (size_t)(y + j) * (size_t)srcSpan + x;
    uint32_t* d = dst + (size_t)(y + j) * (size_t)dstSpan + x;
    for (int i = 0; i < w; ++i) d[i] = ToX(s[i], layout);
  }
}
