// The X11 view on a private Xvfb: pixels on screen, mouse and keys through XTest, menus, text entry, boxes.
#include "X11TestRig.h"

#include <X11/keysym.h>

#include <array>
#include <atomic>
#include <cmath>

#include "pix/PIX_Bitmap.h"
#include "platform/headless/IGraphicsHeadless.h"
#include "PortalTestBus.h"

namespace {
using X11Window = X11Rig;

double Norm(GfxTestPlug& plug, int idx) { return plug.GetParam(idx)->GetNormalized(); }
}  // namespace

TEST_F(X11Window, WindowShowsExactlyTheBitmapAHeadlessSurfaceDraws) {
  const int errorsBefore = IGraphicsX11::XErrorCount();
  Open();
  const Window w = g->XWindowId();
  ASSERT_NE(0ul, w);
  const std::vector<uint32_t> screen = Grab(w, 300, 200);
  ASSERT_EQ(300u * 200u, screen.size());

  // The same controls and values drawn by the headless surface.
  GfxTestPlug twinPlug(4);
  twinPlug.GetParam(0)->InitDouble("Gain", 25.0, 0.0, 100.0, 0.01);
  twinPlug.GetParam(1)->InitBool("Switch", false);
  twinPlug.GetParam(2)->InitEnum("Mode", 0, 3);
  twinPlug.GetParam(2)->SetDisplayText(0, "A");
  twinPlug.GetParam(3)->InitInt("Steps", 1, 0, 99);
  auto* twin = new IGraphicsHeadless(&twinPlug, 300, 200);
  Build(twin);
  twinPlug.AttachGraphics(twin);
  IRECT full(0, 0, 300, 200);
  twin->Draw(&full);
  PIX_IBitmap* bm = twin->GetDrawBitmap();
  int differing = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) {
      const uint32_t want = bm->getBits()[y * bm->getRowSpan() + x] | 0xFFu;
      differing += screen[(size_t)y * 300 + (size_t)x] != want;
    }
  EXPECT_EQ(0, differing);
  EXPECT_EQ(errorsBefore, IGraphicsX11::XErrorCount());
}

TEST_F(X11Window, ValueFromThePlugInReachesTheScreenOnTheNextTicks) {
  Open();
  const Window w = g->XWindowId();
  const std::vector<uint32_t> before = Grab(w, 300, 200);
  g->SetParameterFromPlug(0, 100.0, false);
  Pump(2 * 1000 / g->FPS() + 20);  // at most one period, with room for a slow machine
  const std::vector<uint32_t> after = Grab(w, 300, 200);
  int changedInKnob = 0, changedElsewhere = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) {
      const bool diff = before[(size_t)y * 300 + (size_t)x] != after[(size_t)y * 300 + (size_t)x];
      (x >= 20 && x < 80 && y >= 20 && y < 80 ? changedInKnob : changedElsewhere) += diff;
    }
  EXPECT_GT(changedInKnob, 20);
  EXPECT_EQ(0, changedElsewhere);
}

TEST_F(X11Window, VerticalDragOnTheKnobMovesItsParameterByTheGearing) {
  Open();
  const double v0 = Norm(plug, 0);
  MoveTo(dpy, 50, 50);
  Pump(20);
  Button(dpy, 1, true);
  Pump(20);
  for (int y = 48; y >= 30; y -= 2) {
    MoveTo(dpy, 50, y);
    Pump(5);
  }
  Button(dpy, 1, false);
  Pump(40);
  // 20 pixels up on a 60 pixel knob with gearing 4: 20 / 60 / 4 of the range.
  EXPECT_NEAR(v0 + 20.0 / 60.0 / 4.0, Norm(plug, 0), 1e-9);
  EXPECT_EQ(1, plug.Count("begin 0"));
  EXPECT_EQ(1, plug.Count("end 0"));
}

TEST_F(X11Window, ClickOnTheSwitchTogglesItsParameter) {
  Open();
  Click(dpy, 140, 40);
  Pump(40);
  EXPECT_EQ(1.0, Norm(plug, 1));
  Sleep(450);  // not a double click
  Click(dpy, 140, 40);
  Pump(40);
  EXPECT_EQ(0.0, Norm(plug, 1));
}

TEST_F(X11Window, DoubleClickWheelAndKeysReachTheControlUnderThePointer) {
  Open();
  Click(dpy, 240, 50);
  Click(dpy, 241, 51);
  Pump(40);
  Sleep(450);
  Click(dpy, 240, 50, 3);
  Click(dpy, 240, 50, 3);
  Pump(40);
  // Super-clicks stand for right clicks: two quick ones are no double click.
  Key(dpy, XK_Super_L, true);
  Click(dpy, 240, 50);
  Click(dpy, 240, 50);
  Key(dpy, XK_Super_L, false);
  Pump(40);
  Click(dpy, 240, 50, 4);
  Click(dpy, 240, 50, 5);
  Pump(20);
  Tap(dpy, XK_q);
  Tap(dpy, XK_Up);
  Tap(dpy, XK_Return);  // no key value: not delivered
  Pump(40);
  const std::vector<std::string> want = {"down 240 50", "up 240 50", "dbl 241 51", "up 241 51",
                                         "down 240 50", "up 240 50", "down 240 50", "up 240 50",
                                         "down 240 50", "up 240 50", "down 240 50", "up 240 50",
                                         "wheel 240 50 1", "wheel 240 50 -1", "key 31", "key 1"};
  EXPECT_EQ(want, recorder->calls);
}

TEST_F(X11Window, SuperClickOnTheKnobOpensItsTextEntryWhichRefusesLetters) {
  Open();
  Key(dpy, XK_Super_L, true);
  Click(dpy, 50, 50);
  Key(dpy, XK_Super_L, false);
  Pump(40);
  ASSERT_TRUE(g->TextEntryOpen());
  // The entry opens with its text selected: typing replaces it.
  for (KeySym k : {XK_7, XK_e, XK_5, XK_period, XK_5}) Tap(dpy, k);
  Tap(dpy, XK_Return);
  Pump(40);
  EXPECT_FALSE(g->TextEntryOpen());
  EXPECT_NEAR(75.5, plug.GetParam(0)->Value(), 1e-9);
}

TEST_F(X11Window, IntegerEntryRefusesTheDecimalPointAndEscapeCancels) {
  Open();
  Click(dpy, 200, 130);
  Pump(40);
  ASSERT_TRUE(g->TextEntryOpen());
  for (KeySym k : {XK_1, XK_period, XK_2}) Tap(dpy, k);
  Tap(dpy, XK_KP_Enter);
  Pump(40);
  EXPECT_EQ(12, plug.GetParam(3)->Int());
  Sleep(450);
  Click(dpy, 200, 130);
  Pump(40);
  ASSERT_TRUE(g->TextEntryOpen());
  Tap(dpy, XK_9);
  Tap(dpy, XK_Escape);
  Pump(40);
  EXPECT_FALSE(g->TextEntryOpen());
  EXPECT_EQ(12, plug.GetParam(3)->Int());
}

TEST_F(X11Window, ClickingElsewhereAppliesTheEntry) {
  Open();
  Click(dpy, 200, 130);
  Pump(40);
  ASSERT_TRUE(g->TextEntryOpen());
  Tap(dpy, XK_4);
  Tap(dpy, XK_2);
  Pump(20);
  Click(dpy, 140, 40);  // the switch: the entry loses the focus first
  Pump(40);
  EXPECT_FALSE(g->TextEntryOpen());
  EXPECT_EQ(42, plug.GetParam(3)->Int());
  EXPECT_EQ(1.0, Norm(plug, 1));
}

// Menus are modal: the editor's thread waits inside CreateIPopupMenu, so a
// helper thread with its own connection plays the user.
TEST_F(X11Window, ListParameterMenuPicksAValueWithASecondClick) {
  Open();
  std::thread user([] {
    Display* d = XOpenDisplay(nullptr);
    Sleep(200);
    // The menu sits 4 pixels below the caption (bottom 140), rows 20 high.
    Click(d, 40, 144 + 1 + 20 * 1 + 10);
    XCloseDisplay(d);
  });
  Click(dpy, 60, 130);
  Pump(400);
  user.join();
  EXPECT_FALSE(g->MenuOpen());
  EXPECT_EQ(1, plug.GetParam(2)->Int());
}

TEST_F(X11Window, SubmenuPickReturnsTheSubmenuWithItsIndex) {
  Open();
  std::thread user([] {
    Display* d = XOpenDisplay(nullptr);
    Sleep(200);
    const int top = 190 + 4;
    MoveTo(d, 230, top + 1 + 20 + 7 + 10);  // "folder", below "alpha" and the separator
    Sleep(100);
    MoveTo(d, 300, top + 1 + 20 + 7 + 10);  // into the submenu, its first row
    Sleep(60);
    Click(d, 300, top + 20 + 7 + 20 + 10);  // its second row
    XCloseDisplay(d);
  });
  Click(dpy, 240, 170);
  Pump(500);
  user.join();
  ASSERT_EQ(1, menuButton->shown);
  EXPECT_EQ(&menuButton->mSub, menuButton->result);
  EXPECT_EQ(1, menuButton->mSub.GetChosenItemIdx());
  EXPECT_EQ(-1, menuButton->mTop.GetChosenItemIdx());
}

TEST_F(X11Window, MenuKeyboardNavigationAndDismissal) {
  Open();
  IGraphicsX11* gr = g;
  auto waitModal = [gr](bool open) {
    for (int i = 0; i < 500 && gr->MenuOpen() != open; ++i) Sleep(5);
    Sleep(30);
  };
  std::thread user([&waitModal] {
    Display* d = XOpenDisplay(nullptr);
    waitModal(true);
    // Down: alpha; Down: folder (separator skipped); Right: opens, first row; Down; Return.
    for (KeySym k : {XK_Down, XK_Down, XK_Right, XK_Down, XK_Return}) {
      Tap(d, k);
      Sleep(20);
    }
    waitModal(false);
    waitModal(true);
    Tap(d, XK_Escape);  // the second menu
    waitModal(false);
    waitModal(true);
    Click(d, 10, 10);  // the third: a click outside dismisses
    XCloseDisplay(d);
  });
  Click(dpy, 240, 170);
  Pump(100);
  EXPECT_EQ(&menuButton->mSub, menuButton->result);
  EXPECT_EQ(1, menuButton->mSub.GetChosenItemIdx());
  Sleep(450);
  Click(dpy, 240, 170);
  Pump(100);
  EXPECT_EQ(nullptr, menuButton->result);
  Sleep(450);
  Click(dpy, 240, 170);
  Pump(200);
  user.join();
  EXPECT_EQ(3, menuButton->shown);
  EXPECT_EQ(nullptr, menuButton->result);
  EXPECT_EQ(-1, menuButton->mTop.GetChosenItemIdx());
}

TEST_F(X11Window, MessageBoxAnswersReturnWithTheDefaultAndEscapeWithTheLastButton) {
  Open();
  std::thread user([] {
    Display* d = XOpenDisplay(nullptr);
    Sleep(200);
    Tap(d, XK_Return);
    Sleep(300);
    Tap(d, XK_Escape);
    XCloseDisplay(d);
  });
  EXPECT_EQ(1, g->ShowMessageBox("Replace the preset?", "Save", 4));
  EXPECT_EQ(2, g->ShowMessageBox("Quit without saving?", "", 3));
  user.join();
  EXPECT_TRUE(g->WindowIsOpen());
}

// The override-redirect windows mapped on the root (menus, boxes), as x, y, w, h.
static std::vector<std::array<int, 4>> PopupWindows(Display* d) {
  std::vector<std::array<int, 4>> found;
  Window root = DefaultRootWindow(d), rr, pr, *kids = nullptr;
  unsigned n = 0;
  if (!XQueryTree(d, root, &rr, &pr, &kids, &n)) return found;
  for (unsigned i = 0; i < n; ++i) {
    XWindowAttributes a;
    if (XGetWindowAttributes(d, kids[i], &a) && a.override_redirect && a.map_state == IsViewable && a.x + a.y > 0)
      found.push_back({a.x, a.y, a.width, a.height});
  }
  if (kids) XFree(kids);
  return found;
}

// At 2 and at 1.5 the editor draws natively at the window's size, the
// pointer lands on the control drawn under it (on a control's first and
// last pixels, and not on the pixels beside them), a drag moves a knob as
// far as the same drag at scale 1, and the own-drawn menu, text entry and
// message box are laid out at the same scale.
TEST_F(X11Window, AtTwoAndOneAndAHalfTheWindowIsTheScaledEditorAndThePointerHitsWhatIsDrawnUnderIt) {
  struct Case {
    const char* gdkScale;
    float scale;
    int w, h;
  };
  for (const Case& c : {Case{"2", 2.0f, 600, 400}, Case{"1.5", 1.5f, 450, 300}}) {
    SCOPED_TRACE(c.gdkScale);
    auto px = [&c](int v) { return (int)std::lround(v * c.scale); };
    setenv("GDK_SCALE", c.gdkScale, 1);
    XResizeWindow(dpy, parent, (unsigned)c.w, (unsigned)c.h);
    XSync(dpy, False);
    void* w = g->OpenWindow((void*)(uintptr_t)parent);
    unsetenv("GDK_SCALE");
    ASSERT_NE(nullptr, w);
    Pump(60);
    EXPECT_EQ(c.scale, g->OutputScale());
    XWindowAttributes a;
    ASSERT_TRUE(XGetWindowAttributes(dpy, (Window)(uintptr_t)w, &a));
    EXPECT_EQ(c.w, a.width);
    EXPECT_EQ(c.h, a.height);
    // The editor draws at the window's size, and the window shows that
    // bitmap pixel for pixel.
    PIX_IBitmap* bm = g->GetDrawBitmap();
    ASSERT_EQ(c.w, bm->getWidth());
    ASSERT_EQ(c.h, bm->getHeight());
    const std::vector<uint32_t> screen = Grab((Window)(uintptr_t)w, c.w, c.h);
    int differing = 0;
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x)
        differing += screen[(size_t)y * c.w + (size_t)x] != (bm->getBits()[y * bm->getRowSpan() + x] | 0xFFu);
    EXPECT_EQ(0, differing);

    // The recorder (200, 20, 280, 80) gets the presses on its first and last
    // drawn pixels, at its own corners, and none on the pixels beside it.
    recorder->calls.clear();
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{
             {px(200), px(20)}, {px(280) - 1, px(80) - 1}, {px(200) - 1, px(50)}, {px(280), px(50)}, {px(240), px(80)}}) {
      Click(dpy, x, y);
      Pump(20);
    }
    std::vector<std::string> downs;
    for (const std::string& call : recorder->calls)
      if (call.rfind("down", 0) == 0) downs.push_back(call);
    EXPECT_EQ((std::vector<std::string>{"down 200 20", "down 279 79"}), downs);

    Sleep(450);  // not a double click
    const double switchWas = Norm(plug, 1);
    Click(dpy, px(140), px(40));
    Pump(40);
    EXPECT_EQ(1.0 - switchWas, Norm(plug, 1));
    Sleep(450);
    // A drag of 20 editor pixels moves the knob as far as the same drag at
    // scale 1 does: 20 / 60 / 4 of the range.
    const double v0 = Norm(plug, 0);
    MoveTo(dpy, px(50), px(50));
    Pump(20);
    Button(dpy, 1, true);
    Pump(20);
    for (int step = 1; step <= 10; ++step) {
      MoveTo(dpy, px(50), px(50 - 2 * step));
      Pump(5);
    }
    Button(dpy, 1, false);
    Pump(40);
    EXPECT_NEAR(v0 + 20.0 / 60.0 / 4.0, Norm(plug, 0), 1e-9);

    // The list's menu: three rows of 20 editor pixels, 4 below the caption
    // (bottom 140), scaled; a click on a scaled row picks it.
    const int pick = (plug.GetParam(2)->Int() + 1) % 3;
    std::vector<std::array<int, 4>> menus;
    std::thread user([&] {
      Display* d = XOpenDisplay(nullptr);
      for (int i = 0; i < 200 && PopupWindows(d).empty(); ++i) Sleep(5);
      menus = PopupWindows(d);
      Click(d, px(40), px(144) + px(1 + 20 * pick) + px(10));
      XCloseDisplay(d);
    });
    Sleep(450);
    Click(dpy, px(60), px(130));
    Pump(400);
    user.join();
    ASSERT_EQ(1u, menus.size());
    EXPECT_EQ(px(144), menus[0][1]);
    EXPECT_EQ(px(62), menus[0][3]);
    EXPECT_EQ(pick, plug.GetParam(2)->Int());

    // The text entry covers the text of the steps caption, (200, 122, 240,
    // 138) in the editor, scaled.
    Sleep(450);
    Click(dpy, px(200), px(130));
    Pump(40);
    ASSERT_TRUE(g->TextEntryOpen());
    Window root, par, *kids = nullptr;
    unsigned n = 0;
    ASSERT_TRUE(XQueryTree(dpy, (Window)(uintptr_t)w, &root, &par, &kids, &n));
    ASSERT_EQ(1u, n);
    ASSERT_TRUE(XGetWindowAttributes(dpy, kids[0], &a));
    XFree(kids);
    EXPECT_EQ((std::array<int, 4>{px(200), px(122), px(240) - px(200), px(138) - px(122)}),
              (std::array<int, 4>{a.x, a.y, a.width, a.height}));
    Tap(dpy, XK_Escape);
    Pump(40);

    // A message box is 380 editor pixels wide, scaled.
    std::vector<std::array<int, 4>> boxes;
    std::thread answer([&] {
      Display* d = XOpenDisplay(nullptr);
      for (int i = 0; i < 200 && PopupWindows(d).empty(); ++i) Sleep(5);
      boxes = PopupWindows(d);
      Tap(d, XK_Return);
      XCloseDisplay(d);
    });
    EXPECT_EQ(1, g->ShowMessageBox("Replace the preset?", "Save", 4));
    answer.join();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(px(380), boxes[0][2]);

    // A tooltip shows 12 and 18 editor pixels off the pointer, scaled, and
    // holds a line of its 12-pixel font and 6 pixels of margin, scaled.
    recorder->SetTooltip("Records every call");
    g->EnableTooltips(true);
    MoveTo(dpy, px(240), px(50));
    Pump(800);
    ASSERT_TRUE(g->TooltipShown());
    const std::vector<std::array<int, 4>> tips = PopupWindows(dpy);
    ASSERT_EQ(1u, tips.size());
    EXPECT_EQ(px(240) + px(12), tips[0][0]);
    EXPECT_EQ(px(50) + px(18), tips[0][1]);
    EXPECT_GE(tips[0][3], px(12) + px(6)) << "font and margins at the scale";
    g->EnableTooltips(false);
    g->CloseWindow();
  }
}

TEST_F(X11Window, HiddenCursorComesBackWhereItWasHidden) {
  Open();
  MoveTo(dpy, 50, 50);
  Pump(20);
  g->HideMouseCursor();
  EXPECT_TRUE(g->CursorHidden());
  MoveTo(dpy, 120, 90);
  Pump(20);
  g->ShowMouseCursor();
  EXPECT_FALSE(g->CursorHidden());
  Window root, child;
  int rx = 0, ry = 0, wx, wy;
  unsigned mask;
  ASSERT_TRUE(XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &rx, &ry, &wx, &wy, &mask));
  EXPECT_EQ(50, rx);
  EXPECT_EQ(50, ry);
}

TEST_F(X11Window, ClipboardTextComesFromTheSelectionOwnerAndPastesIntoAnEntry) {
  Open();
  std::string text;
  EXPECT_FALSE(g->GetTextFromClipboard(&text));  // nobody owns the clipboard
  // Another client owns CLIPBOARD and answers requests for UTF8_STRING.
  std::atomic<bool> stop{false};
  std::atomic<bool> owning{false};
  std::thread owner([&] {
    Display* d = XOpenDisplay(nullptr);
    Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    const Atom clipboard = XInternAtom(d, "CLIPBOARD", False), utf8 = XInternAtom(d, "UTF8_STRING", False);
    XSetSelectionOwner(d, clipboard, w, CurrentTime);
    XSync(d, False);
    owning = true;
    while (!stop) {
      while (XPending(d)) {
        XEvent ev;
        XNextEvent(d, &ev);
        if (ev.type != SelectionRequest) continue;
        XSelectionRequestEvent& rq = ev.xselectionrequest;
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.requestor = rq.requestor;
        reply.xselection.selection = rq.selection;
        reply.xselection.target = rq.target;
        reply.xselection.time = rq.time;
        reply.xselection.property = None;
        if (rq.target == utf8) {
          const char* answer = "4";
          XChangeProperty(d, rq.requestor, rq.property, utf8, 8, PropModeReplace, (const unsigned char*)answer, 1);
          reply.xselection.property = rq.property;
        }
        XSendEvent(d, rq.requestor, False, NoEventMask, &reply);
        XFlush(d);
      }
      Sleep(2);
    }
    XDestroyWindow(d, w);
    XCloseDisplay(d);
  });
  while (!owning) Sleep(2);
  EXPECT_TRUE(g->GetTextFromClipboard(&text));
  EXPECT_EQ("4", text);
  // Control-V in an entry pastes it in place of the selected text.
  Click(dpy, 200, 130);
  Pump(40);
  ASSERT_TRUE(g->TextEntryOpen());
  Key(dpy, XK_Control_L, true);
  Tap(dpy, XK_v);
  Key(dpy, XK_Control_L, false);
  Tap(dpy, XK_2);
  Tap(dpy, XK_Return);
  Pump(40);
  stop = true;
  owner.join();
  EXPECT_EQ(42, plug.GetParam(3)->Int());
}

TEST_F(X11Window, FilePromptWithoutAChooserProgramUsesOurPathFieldAndEscapeCancels) {
  Open();
  // No zenity or kdialog on this PATH: the own-drawn path field answers.
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", "/nonexistent-kt412", 1);
  setenv("XDG_CONFIG_HOME", "/nonexistent-kt412", 1);
  // Nor a desktop portal on the session bus.
  const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string savedBus = bus ? bus : "";
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent-kt412/bus", 1);
  IGraphicsX11* gr = g;
  std::thread user([gr] {
    Display* d = XOpenDisplay(nullptr);
    for (int round = 0; round < 2; ++round) {
      for (int i = 0; i < 500 && !gr->MenuOpen(); ++i) Sleep(5);
      Sleep(50);
      if (round == 0) {
        for (KeySym k : {XK_period, XK_q, XK_i}) Tap(d, k);
        Tap(d, XK_Return);
      } else {
        Tap(d, XK_Escape);
      }
      for (int i = 0; i < 500 && gr->MenuOpen(); ++i) Sleep(5);
    }
    XCloseDisplay(d);
  });
  std::string name = "kick", dir;
  char ext[] = "qi";
  g->PromptForFile(&name, kFileSave, &dir, ext);
  std::string desktop;
  g->DesktopPath(&desktop);
  EXPECT_EQ(desktop + "/kick.qi", name);
  EXPECT_EQ(desktop + "/", dir);
  std::string again = "snare", dir2 = "/tmp";
  g->PromptForFile(&again, kFileOpen, &dir2, ext);
  user.join();
  setenv("PATH", path.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  if (savedBus.empty()) unsetenv("DBUS_SESSION_BUS_ADDRESS");
  else setenv("DBUS_SESSION_BUS_ADDRESS", savedBus.c_str(), 1);
  EXPECT_EQ("", again);
  EXPECT_EQ("/tmp", dir2);
}

TEST_F(X11Window, SavingOverAFileInOurPathFieldAsksFirstAndNoGoesBackToThePath) {
  Open();
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", "/nonexistent-kt412", 1);
  const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string savedBus = bus ? bus : "";
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent-kt412/bus", 1);
  char tmpl[] = "/tmp/kt412-overwrite-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(tmpl));
  const std::string dir = tmpl;
  std::fclose(std::fopen((dir + "/kick.qi").c_str(), "w"));
  IGraphicsX11* gr = g;
  // First prompt: the path field, "Replace?" answered No, the path field
  // again with another name. Second: the path field, then Yes.
  std::thread user([gr] {
    Display* d = XOpenDisplay(nullptr);
    for (int round = 0; round < 5; ++round) {
      for (int i = 0; i < 500 && !gr->MenuOpen(); ++i) Sleep(5);
      Sleep(50);
      if (round == 0 || round == 3) for (KeySym k : {XK_period, XK_q, XK_i}) Tap(d, k);
      if (round == 2) Tap(d, XK_x);
      Tap(d, round == 1 ? XK_Escape : XK_Return);
      for (int i = 0; i < 500 && gr->MenuOpen(); ++i) Sleep(5);
    }
    XCloseDisplay(d);
  });
  std::string name = "kick", where = dir;
  char ext[] = "qi";
  g->PromptForFile(&name, kFileSave, &where, ext);
  std::string again = "kick";
  g->PromptForFile(&again, kFileSave, &where, ext);
  user.join();
  setenv("PATH", path.c_str(), 1);
  if (savedBus.empty()) unsetenv("DBUS_SESSION_BUS_ADDRESS");
  else setenv("DBUS_SESSION_BUS_ADDRESS", savedBus.c_str(), 1);
  std::system(("rm -rf '" + dir + "'").c_str());
  EXPECT_EQ(dir + "/kick.qix", name);
  EXPECT_EQ(dir + "/kick.qi", again);
}

TEST_F(X11Window, FilePromptAsksTheDesktopPortalFirstAndKeepsTheWindowAlive) {
  PrivateBus bus;
  if (bus.Address().empty()) GTEST_SKIP() << "dbus-daemon is not installed (scripts/install-deps.sh --test)";
  FakePortal portal(bus.Address(), PortalAnswer::kChoose);
  ASSERT_TRUE(portal.Ready());
  const char* before = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string saved = before ? before : "";
  setenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().c_str(), 1);
  Open();
  std::string name = "kick", dir = "/tmp";
  char ext[] = "qi";
  g->PromptForFile(&name, kFileSave, &dir, ext);
  if (saved.empty()) unsetenv("DBUS_SESSION_BUS_ADDRESS");
  else setenv("DBUS_SESSION_BUS_ADDRESS", saved.c_str(), 1);
  EXPECT_EQ("/tmp/my drums/kick one.kt412", name);
  EXPECT_EQ("/tmp/my drums/", dir);
  EXPECT_FALSE(g->MenuOpen());
  std::lock_guard<std::mutex> lock(portal.m);
  EXPECT_EQ("SaveFile", portal.method);
  EXPECT_EQ("kick", portal.currentName);
  char parent[32];
  std::snprintf(parent, sizeof(parent), "x11:%lx", (unsigned long)g->XWindowId());
  EXPECT_EQ(parent, portal.parent);
}

TEST_F(X11Window, TooltipShowsWhenThePointerRestsOnAControlAndGoesWhenItMoves) {
  recorder->SetTooltip("Records every call");
  Open();
  MoveTo(dpy, 240, 50);
  Pump(300);
  EXPECT_FALSE(g->TooltipShown()) << "tooltips are off by default";
  g->EnableTooltips(true);
  MoveTo(dpy, 241, 50);
  Pump(200);
  EXPECT_FALSE(g->TooltipShown()) << "too early";
  Pump(500);
  ASSERT_TRUE(g->TooltipShown());
  MoveTo(dpy, 60, 50);
  Pump(60);
  EXPECT_FALSE(g->TooltipShown());
  // The knob has no tooltip: resting there shows nothing.
  Pump(700);
  EXPECT_FALSE(g->TooltipShown());
}

TEST_F(X11Window, ResizeWithAnOpenWindowResizesItAndDrawsTheNewControls) {
  XResizeWindow(dpy, parent, 400, 300);  // the host makes room
  XSync(dpy, False);
  Open();
  g->Resize(400, 300);  // deletes every control; the caller attaches new ones
  recorder = nullptr;
  menuButton = nullptr;
  IColor green(255, 0, 160, 0);
  g->AttachPanelBackground(&green);
  g->SetAllControlsDirty();
  Pump(100);
  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(dpy, g->XWindowId(), &a));
  EXPECT_EQ(400, a.width);
  EXPECT_EQ(300, a.height);
  EXPECT_EQ(1, plug.Count("resize 400 300"));
  const std::vector<uint32_t> px = Grab(g->XWindowId(), 400, 300);
  EXPECT_EQ(green.ToPixel() | 0xFFu, px[299 * 400 + 399]);
  g->Resize(400, 300);  // the same size: nothing happens
  EXPECT_EQ(1, plug.Count("resize 400 300"));
}
