// Editor colour (alpha, red, green, blue, 0-255) and its drawing-library pixel form.
#pragma once

// Plain value. Channels are stored as ints so that callers may compute with
// them; conversion to a pixel masks each one to 8 bits.
struct IColor {
  int A = 255, R = 0, G = 0, B = 0;

  IColor() = default;
  IColor(int a, int r, int g, int b) : A(a), R(r), G(g), B(b) {}

  bool operator==(const IColor& o) const { return A == o.A && R == o.R && G == o.G && B == o.B; }
  bool operator!=(const IColor& o) const { return !(*this == o); }
  bool Empty() const { return A == 0 && R == 0 && G == 0 && B == 0; }

  // The drawing library keeps a pixel's bytes in memory as alpha, red,
  // green, blue, i.e. a little-endian word alpha | red << 8 | green << 16 |
  // blue << 24.
  unsigned int ToPixel() const {
    return (unsigned int)(A & 0xFF) | ((unsigned int)(R & 0xFF) << 8) | ((unsigned int)(G & 0xFF) << 16) |
           ((unsigned int)(B & 0xFF) << 24);
  }
  static IColor FromPixel(unsigned int p) {
    return IColor((int)(p & 0xFF), (int)((p >> 8) & 0xFF), (int)((p >> 16) & 0xFF), (int)((p >> 24) & 0xFF));
  }
};

inline const IColor COLOR_TRANSPARENT(0, 0, 0, 0);
inline const IColor COLOR_BLACK(255, 0, 0, 0);
inline const IColor COLOR_GRAY(255, 127, 127, 127);
inline const IColor COLOR_WHITE(255, 255, 255, 255);
inline const IColor COLOR_RED(255, 255, 0, 0);
inline const IColor COLOR_GREEN(255, 0, 255, 0);
inline const IColor COLOR_BLUE(255, 0, 0, 255);
inline const IColor COLOR_YELLOW(255, 255, 255, 0);
inline const IColor COLOR_ORANGE(255, 255, 127, 0);

inline const IColor DEFAULT_TEXT_COLOR = COLOR_BLACK;
inline const IColor DEFAULT_TEXT_ENTRY_BGCOLOR = COLOR_WHITE;
inline const IColor DEFAULT_TEXT_ENTRY_FGCOLOR = COLOR_BLACK;
