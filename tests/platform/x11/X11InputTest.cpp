// Input translation, pixel conversion, text field, menu model and paths of the X11 view (no server needed).
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>
#include <sys/stat.h>

#include "graphics/IPopupMenu.h"
#include "framework/IParam.h"
#include "platform/x11/X11Input.h"
#include "platform/x11/X11MenuModel.h"
#include "platform/x11/X11MessageBox.h"
#include "platform/x11/X11Paths.h"
#include "platform/x11/X11TextField.h"

TEST(X11Keys, KeyTableCoversSpaceArrowsDigitsAndLettersOfEitherCase) {
  EXPECT_EQ(0, X11KeyValue(XK_space));
  EXPECT_EQ(1, X11KeyValue(XK_Up));
  EXPECT_EQ(2, X11KeyValue(XK_Down));
  EXPECT_EQ(3, X11KeyValue(XK_Left));
  EXPECT_EQ(4, X11KeyValue(XK_Right));
  EXPECT_EQ(10, X11KeyValue(XK_5));
  EXPECT_EQ(5, X11KeyValue(XK_KP_0));
  EXPECT_EQ(31, X11KeyValue(XK_q));
  EXPECT_EQ(31, X11KeyValue(XK_Q));
  EXPECT_EQ(15, X11KeyValue(XK_a));
  EXPECT_EQ(40, X11KeyValue(XK_Z));
  EXPECT_EQ(-1, X11KeyValue(XK_Return));
  EXPECT_EQ(-1, X11KeyValue(XK_F1));
  EXPECT_EQ(-1, X11KeyValue(XK_adiaeresis));
}

TEST(X11Mouse, SuperClickReportsTheRightButtonLikeACommandClick) {
  IMouseMod plain = X11MouseMod(0, 1);
  EXPECT_TRUE(plain.L);
  EXPECT_FALSE(plain.R);
  IMouseMod command = X11MouseMod(kX11Mod4Mask, 1);
  EXPECT_TRUE(command.L);
  EXPECT_TRUE(command.R);
  IMouseMod right = X11MouseMod(kX11ShiftMask | kX11ControlMask | kX11Mod1Mask, 3);
  EXPECT_FALSE(right.L);
  EXPECT_TRUE(right.R);
  EXPECT_TRUE(right.S);
  EXPECT_TRUE(right.C);
  EXPECT_TRUE(right.A);
  // Motion reads the held buttons from the state.
  IMouseMod drag = X11MouseMod(kX11Button1Mask | kX11ShiftMask, 0);
  EXPECT_TRUE(drag.L);
  EXPECT_FALSE(drag.R);
  EXPECT_TRUE(drag.S);
}

TEST(X11Mouse, WheelButtonsStepOneUpOrDown) {
  EXPECT_EQ(1, X11WheelDelta(4));
  EXPECT_EQ(-1, X11WheelDelta(5));
  EXPECT_EQ(0, X11WheelDelta(1));
  EXPECT_EQ(0, X11WheelDelta(6));
}

TEST(X11Mouse, DoubleClickNeedsTimeAndDistanceLimitsAndStartsAfreshAfterward) {
  X11DoubleClick d;
  EXPECT_FALSE(d.Press(1, 1000, 10, 10));
  EXPECT_TRUE(d.Press(1, 1400, 14, 6));  // 400 ms and 4 px: still a double click
  EXPECT_FALSE(d.Press(1, 1500, 14, 6));  // a third click starts again
  EXPECT_FALSE(d.Press(1, 1901, 14, 6));  // 401 ms later
  EXPECT_FALSE(d.Press(1, 2000, 19, 6));  // 5 px away
  EXPECT_FALSE(d.Press(3, 2050, 19, 6));  // right presses never pair
  EXPECT_FALSE(d.Press(1, 2100, 19, 6));
  EXPECT_TRUE(d.Press(1, 2200, 19, 6));
  // The server's millisecond clock wraps at 32 bits.
  EXPECT_FALSE(d.Press(1, 0xFFFFFF00ul, 0, 0));
  EXPECT_TRUE(d.Press(1, 0x10ul, 0, 0));
}

TEST(X11Screen, ScaleIsTheNearestOfOneOneAndAHalfAndTwoFromGdkScaleElseXftDpi) {
  struct Case {
    const char* resources;
    const char* gdkScale;
    float scale;
  };
  const Case cases[] = {
      {nullptr, nullptr, 1.0f},
      {"Xft.dpi:\t96\nXft.antialias:\t1\n", nullptr, 1.0f},
      {"Xft.dpi:\t119\n", nullptr, 1.0f},
      {"Xft.dpi:\t120\n", nullptr, 1.5f},  // 1.25: the tie goes up
      {"Xft.dpi:\t144\n", nullptr, 1.5f},
      {"Xft.dpi:\t167.9\n", nullptr, 1.5f},
      {"Xft.dpi:\t168\n", nullptr, 2.0f},  // 1.75
      {"Xcursor.size:\t48\nXft.dpi:\t192\n", nullptr, 2.0f},
      {"Xft.dpi:\t288\n", nullptr, 2.0f},  // no scale above 2
      {"Xft.dpi:\t72\n", nullptr, 1.0f},   // nor below 1
      {"Xft.dpi:\tlarge\n", nullptr, 1.0f},
      {"MyXft.dpi:\t300\n", nullptr, 1.0f},
      {nullptr, "2", 2.0f},
      {nullptr, "1", 1.0f},
      {nullptr, "1.5", 1.5f},
      {nullptr, "3", 2.0f},
      {"Xft.dpi:\t192\n", "1", 1.0f},    // GDK_SCALE decides over Xft.dpi
      {"Xft.dpi:\t144\n", "0", 1.5f},    // ... when it is a positive number
      {"Xft.dpi:\t144\n", "", 1.5f},
      {"Xft.dpi:\t144\n", "big", 1.5f},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.scale, X11OutputScale(c.resources, c.gdkScale))
        << (c.resources ? c.resources : "-") << " / " << (c.gdkScale ? c.gdkScale : "-");
  // A host's factor goes the same way.
  for (const auto& [factor, scale] : std::vector<std::pair<double, float>>{
           {0.5, 1.0f}, {1.0, 1.0f}, {1.2, 1.0f}, {1.25, 1.5f}, {1.5, 1.5f}, {1.74, 1.5f}, {1.75, 2.0f}, {4.0, 2.0f},
           {std::nan(""), 1.0f}})
    EXPECT_EQ(scale, X11NearestScale(factor)) << factor;
}

TEST(X11Screen, ConversionMatchesTheVisualsMasksPixelForPixel) {
  // Pixel bytes in memory: alpha, red, green, blue.
  const uint32_t src[4] = {0x332211FFu, 0x00000080u, 0xFFFFFFFFu, 0x0A0B0C0Du};
  uint32_t dst[4] = {};
  X11PixelLayout std;
  ASSERT_TRUE(X11LayoutFromMasks(0xFF0000, 0x00FF00, 0x0000FF, &std));
  EXPECT_TRUE(std.standard);
  X11ConvertRect(src, 4, dst, 4, 0, 0, 4, 1, std);
  EXPECT_EQ(0x112233u, dst[0] & 0xFFFFFFu);
  EXPECT_EQ(0x000000u, dst[1] & 0xFFFFFFu);
  EXPECT_EQ(0xFFFFFFu, dst[2] & 0xFFFFFFu);
  EXPECT_EQ(0x0C0B0Au, dst[3] & 0xFFFFFFu);
  X11PixelLayout bgr;
  ASSERT_TRUE(X11LayoutFromMasks(0x0000FF, 0x00FF00, 0xFF0000, &bgr));
  EXPECT_FALSE(bgr.standard);
  X11ConvertRect(src, 4, dst, 4, 0, 0, 1, 1, bgr);
  EXPECT_EQ(0x332211u, dst[0]);
  X11PixelLayout bad;
  EXPECT_FALSE(X11LayoutFromMasks(0xF800, 0x07E0, 0x001F, &bad));  // 16-bit visuals are not served
}

TEST(X11TextEntry, DoubleParameterRefusesLettersAndIntegerRefusesTheDecimalPoint) {
  IParam dbl, integer;
  dbl.InitDouble("Gain", 0.0, -10.0, 10.0, 0.1);
  integer.InitInt("Steps", 1, 0, 99);
  X11TextField d("", X11TextFilter::ForParam(&dbl, 7));
  EXPECT_TRUE(d.Insert("1"));
  EXPECT_FALSE(d.Insert("e"));
  EXPECT_TRUE(d.Insert(".5"));
  EXPECT_EQ("1.5", d.Text());
  X11TextField i("", X11TextFilter::ForParam(&integer, 7));
  EXPECT_TRUE(i.Insert("-4"));
  EXPECT_FALSE(i.Insert("."));
  EXPECT_EQ("-4", i.Text());
}

TEST(X11TextEntry, MaximumLengthRefusesTheWholeEditAndReplacingASelectionCountsTheResult) {
  IParam p;
  p.InitDouble("Gain", 0.0, -10.0, 10.0, 0.1);
  X11TextField f("12345", X11TextFilter::ForParam(&p, 6));
  EXPECT_TRUE(f.HasSelection());  // the entry opens with everything selected
  EXPECT_FALSE(f.Insert("9876543")) << "replacing all by 7 characters is too long";
  EXPECT_EQ("12345", f.Text());
  EXPECT_TRUE(f.Insert("987654"));
  EXPECT_EQ("987654", f.Text());
  EXPECT_FALSE(f.Insert("1"));
  X11TextFilter maxValue;
  maxValue.maxValue = 127;
  EXPECT_TRUE(maxValue.Accepts("127"));
  EXPECT_FALSE(maxValue.Accepts("128"));
}

TEST(X11TextEntry, CaretAndSelectionEditing) {
  X11TextField f("abc", X11TextFilter());
  f.End(false);
  f.Left(false);
  f.Backspace();
  EXPECT_EQ("ac", f.Text());
  EXPECT_EQ(1, f.Caret());
  f.Home(false);
  f.Right(true);
  EXPECT_EQ(0, f.SelStart());
  EXPECT_EQ(1, f.SelEnd());
  f.Insert("XY");
  EXPECT_EQ("XYc", f.Text());
  f.Delete();
  EXPECT_EQ("XY", f.Text());
  f.Delete();  // at the end: nothing
  EXPECT_EQ("XY", f.Text());
  // Multi-byte characters move and delete as one.
  X11TextField u("a\xC3\xA9", X11TextFilter());
  u.End(false);
  u.Left(false);
  EXPECT_EQ(1, u.Caret());
  u.End(false);
  u.Backspace();
  EXPECT_EQ("a", u.Text());
  u.SetCaret(99, false);
  EXPECT_EQ(1, u.Caret());
}

TEST(X11Menu, LabelsCarryTheMenusNumberingAndSteppingSkipsSeparatorsAndDisabledItems) {
  IPopupMenu menu(2);
  for (int i = 0; i < 11; ++i) menu.AddItem(("item" + std::to_string(i)).c_str());
  EXPECT_EQ("03: item2", X11MenuItemLabel(&menu, 2));
  EXPECT_EQ("11: item10", X11MenuItemLabel(&menu, 10));
  EXPECT_EQ("", X11MenuItemLabel(&menu, 11));

  IPopupMenu sub;
  sub.AddItem("deep");
  IPopupMenu m;
  m.AddItem("first", -1, IPopupMenuItem::kDisabled);
  m.AddSeparator();
  m.AddItem("third");
  m.AddItem("folder", &sub);
  EXPECT_EQ("third", X11MenuItemLabel(&m, 2));
  EXPECT_EQ(2, X11MenuStep(&m, -1, 1));
  EXPECT_EQ(3, X11MenuStep(&m, 2, 1));
  EXPECT_EQ(2, X11MenuStep(&m, 3, 1));  // wraps past the disabled and separator items
  EXPECT_EQ(3, X11MenuStep(&m, -1, -1));
  EXPECT_TRUE(X11MenuItemPickable(&m, 2));
  EXPECT_FALSE(X11MenuItemPickable(&m, 3));  // a submenu entry opens, it is not picked
  EXPECT_FALSE(X11MenuItemPickable(&m, 0));
  EXPECT_FALSE(X11MenuItemSelectable(&m, 1));
  IPopupMenu empty;
  EXPECT_EQ(-1, X11MenuStep(&empty, -1, 1));
}

TEST(X11MessageBox, ButtonsAndResultsByType) {
  auto yesNo = X11MessageBoxButtons(4);
  ASSERT_EQ(2u, yesNo.size());
  EXPECT_EQ("Yes", yesNo[0].label);
  EXPECT_EQ(1, yesNo[0].result);
  EXPECT_EQ(7, yesNo[1].result);
  auto three = X11MessageBoxButtons(3);
  ASSERT_EQ(3u, three.size());
  EXPECT_EQ("Cancel", three[2].label);
  EXPECT_EQ(2, three[2].result);
  EXPECT_EQ("Cancel", X11MessageBoxButtons(1)[1].label);
  EXPECT_EQ(1u, X11MessageBoxButtons(0).size());
  EXPECT_EQ(1u, X11MessageBoxButtons(99).size());
}

TEST(X11MessageBox, WrapKeepsLineBreaksAndBreaksLongLinesAtSpaces) {
  auto width = [](const std::string& s) { return (int)s.size() * 10; };
  auto lines = X11WrapText("one two three four\nfive", 100, width);
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ("one two", lines[0]);
  EXPECT_EQ("three four", lines[1]);
  EXPECT_EQ("five", lines[2]);
  auto lone = X11WrapText("averyveryverylongword x", 50, width);
  ASSERT_EQ(2u, lone.size());
  EXPECT_EQ("averyveryverylongword", lone[0]);
}

TEST(X11Paths, UserDirsFileDecidesTheDesktopFolderElseHomeDesktop) {
  char tmpl[] = "/tmp/kt412-xdg-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(tmpl));
  const std::string home = tmpl;
  const char* oldHome = std::getenv("HOME");
  const std::string savedHome = oldHome ? oldHome : "";
  setenv("HOME", home.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(home + "/Desktop", X11UserDir("XDG_DESKTOP_DIR", "Desktop"));
  EXPECT_EQ(home + "/.local/share", X11DataHome());
  EXPECT_EQ(home + "/.config", X11ConfigHome());
  mkdir((home + "/.config").c_str(), 0700);
  {
    std::ofstream f(home + "/.config/user-dirs.dirs");
    f << "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch/\"\nXDG_MUSIC_DIR=\"relative\"\n";
  }
  EXPECT_EQ(home + "/Schreibtisch", X11UserDir("XDG_DESKTOP_DIR", "Desktop"));
  EXPECT_EQ(home + "/Music", X11UserDir("XDG_MUSIC_DIR", "Music"));  // not absolute: ignored
  setenv("XDG_DATA_HOME", "/data/here", 1);
  EXPECT_EQ("/data/here", X11DataHome());
  unsetenv("XDG_DATA_HOME");
  std::remove((home + "/.config/user-dirs.dirs").c_str());
  rmdir((home + "/.config").c_str());
  rmdir(home.c_str());
  if (oldHome) setenv("HOME", savedHome.c_str(), 1);
}

namespace {
// XSETTINGS data as a desktop publishes it, in either byte order.
struct SettingsWriter {
  bool msb;
  std::vector<unsigned char> bytes;
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back((unsigned char)(msb ? v >> (24 - 8 * i) : v >> (8 * i)));
  }
  void U16(uint16_t v) {
    bytes.push_back((unsigned char)(msb ? v >> 8 : v));
    bytes.push_back((unsigned char)(msb ? v : v >> 8));
  }
  void Str(const std::string& s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    while (bytes.size() % 4) bytes.push_back(0);
  }
  void Head(int type, const std::string& name) {
    bytes.push_back((unsigned char)type);
    bytes.push_back(0);
    U16((uint16_t)name.size());
    Str(name);
    U32(7);  // serial
  }
  static std::vector<unsigned char> Sample(bool msb) {
    SettingsWriter w{msb, {}};
    w.bytes = {(unsigned char)(msb ? 1 : 0), 0, 0, 0};
    w.U32(1);
    w.U32(4);
    w.Head(1, "Net/ThemeName");
    w.U32(7);
    w.Str("Adwaita");
    w.Head(2, "Gtk/Color");
    w.U16(1), w.U16(2), w.U16(3), w.U16(4);
    w.Head(0, "Net/DoubleClickTime");
    w.U32(250);
    w.Head(0, "Net/DoubleClickDistance");
    w.U32((uint32_t)-1);
    return w.bytes;
  }
};
}  // namespace

TEST(X11Settings, IntegerSettingsAreFoundPastStringsAndColoursInEitherByteOrder) {
  for (bool msb : {false, true}) {
    const std::vector<unsigned char> data = SettingsWriter::Sample(msb);
    int v = 0;
    EXPECT_TRUE(X11XSettingsInt(data.data(), data.size(), "Net/DoubleClickTime", &v));
    EXPECT_EQ(250, v);
    EXPECT_TRUE(X11XSettingsInt(data.data(), data.size(), "Net/DoubleClickDistance", &v));
    EXPECT_EQ(-1, v);
    EXPECT_FALSE(X11XSettingsInt(data.data(), data.size(), "Net/ThemeName", &v));  // a string, not an integer
    EXPECT_FALSE(X11XSettingsInt(data.data(), data.size(), "Net/DoubleClick", &v));
  }
}

TEST(X11Settings, TruncatedOrLyingDataIsRefusedWithoutReadingPastIt) {
  const std::vector<unsigned char> data = SettingsWriter::Sample(false);
  const size_t full = data.size();
  for (size_t n = 0; n + 4 < full; ++n) {
    // An exact-size copy, so AddressSanitizer sees any read past the end.
    std::vector<unsigned char> cut(data.begin(), data.begin() + (long)n);
    int v = 0;
    EXPECT_FALSE(X11XSettingsInt(cut.data(), cut.size(), "Net/DoubleClickDistance", &v)) << n;
  }
  std::vector<unsigned char> lying = data;
  lying[8] = 200;  // more settings than there are
  int v = 0;
  EXPECT_FALSE(X11XSettingsInt(lying.data(), lying.size(), "Net/Missing", &v));
  std::vector<unsigned char> longName = data;
  longName[14] = 0xFF;  // the first name's length far past the end
  EXPECT_FALSE(X11XSettingsInt(longName.data(), longName.size(), "Net/DoubleClickTime", &v));
}
