// A private X server, a test editor in a parent window, and synthetic input through XTest.
#pragma once

#include <gtest/gtest.h>

#include "framework/IParam.h"
#include "graphics/IControl.h"
#include "graphics/IPopupMenu.h"
#include "graphics/IStandardControls.h"
#include "graphics/GfxRecordingControl.h"
#include "graphics/GfxTestPlug.h"
#include "platform/x11/IGraphicsX11.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "XvfbServer.h"

// Opens a menu with a submenu when clicked and keeps what the menu returned.
class MenuButtonControl : public IControl {
public:
  MenuButtonControl(IPluginBase* plug, IRECT r) : IControl(plug, &r) {
    mSub.AddItem("x");
    mSub.AddItem("y");
    mTop.AddItem("alpha");
    mTop.AddSeparator();
    mTop.AddItem("folder", &mSub);
    mTop.AddItem("disabled", -1, IPopupMenuItem::kDisabled);
  }
  void OnMouseDown(int, int, IMouseMod*) override {
    mTop.SetChosenItemIdx(-1);
    mSub.SetChosenItemIdx(-1);
    ++shown;
    result = mGraphics->CreateIPopupMenu(&mTop, &mRECT);
  }
  bool Draw(IGraphics* g) override {
    mGraphics = g;
    IColor c(255, 40, 90, 160);
    return g->FillIRect(&c, &mRECT);
  }
  IPopupMenu mTop, mSub;
  IPopupMenu* result = nullptr;
  int shown = 0;
  IGraphics* mGraphics = nullptr;
};

// The test editor, 300 x 200, in a parent window at the screen's top-left
// corner, so that screen and editor coordinates agree.
//   knob     (20, 20, 80, 80)    parameter 0 "Gain" 0..100, prompts on command/right click
//   switch   (120, 20, 160, 60)  parameter 1 "Switch"
//   recorder (200, 20, 280, 80)  no parameter, logs every call
//   mode     (20, 120, 140, 140) parameter 2 "Mode", a list of three: its click opens a menu
//   steps    (160, 120, 280, 140) parameter 3 "Steps" 0..99: its click opens a text entry
//   menu     (200, 150, 280, 190) a menu with a submenu
class X11Rig : public ::testing::Test {
public:
  static void SetUpTestSuite() {
    if (XvfbServer::Installed()) {
      sServer = new XvfbServer();
      if (!sServer->Start()) {
        delete sServer;
        sServer = nullptr;
      }
    }
  }
  static void TearDownTestSuite() {
    delete sServer;
    sServer = nullptr;
  }

  void SetUp() override {
    if (!XvfbServer::Installed()) GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh --test)";
    ASSERT_NE(nullptr, sServer) << "Xvfb did not start";
    dpy = XOpenDisplay(nullptr);
    ASSERT_NE(nullptr, dpy);
    plug.GetParam(0)->InitDouble("Gain", 25.0, 0.0, 100.0, 0.01);
    plug.GetParam(1)->InitBool("Switch", false);
    plug.GetParam(2)->InitEnum("Mode", 0, 3);
    plug.GetParam(2)->SetDisplayText(0, "A");
    plug.GetParam(2)->SetDisplayText(1, "B");
    plug.GetParam(2)->SetDisplayText(2, "C");
    plug.GetParam(3)->InitInt("Steps", 1, 0, 99);
    g = new IGraphicsX11(&plug, 300, 200);
    Build(g);
    plug.AttachGraphics(g);
    plug.events.clear();
    parent = MakeParent();
  }

  void TearDown() override {
    if (dpy) {
      if (parent) XDestroyWindow(dpy, parent);
      XCloseDisplay(dpy);
    }
  }

  // Attaches the test controls to a surface (also used for a headless twin).
  void Build(IGraphics* gr) {
    IColor panel(255, 60, 60, 60);
    gr->AttachPanelBackground(&panel);
    IRECT kr(20, 20, 80, 80);
    auto* k = new IKnobLineControl(&plug, &kr, 0, &COLOR_WHITE, 5.0, 28.0);
    k->DisablePrompt(false);
    gr->AttachControl(k);
    IRECT sr(120, 20, 160, 60);
    gr->AttachControl(new IInvisibleSwitchControl(&plug, &sr, 1));
    auto* rec = new GfxRecordingControl(&plug, IRECT(200, 20, 280, 80), -1, COLOR_ORANGE);
    gr->AttachControl(rec);
    IText style(14, &COLOR_WHITE, "DejaVu Sans");
    IRECT mr(20, 120, 140, 140), tr(160, 120, 280, 140);
    gr->AttachControl(new ICaptionControl(&plug, &mr, 2, &style));
    gr->AttachControl(new ICaptionControl(&plug, &tr, 3, &style));
    auto* mb = new MenuButtonControl(&plug, IRECT(200, 150, 280, 190));
    gr->AttachControl(mb);
    if (gr == g) {
      recorder = rec;
      menuButton = mb;
    }
  }

  Window MakeParent(bool map = true) {
    XSetWindowAttributes swa;
    swa.override_redirect = True;
    swa.background_pixel = 0;
    Window w = XCreateWindow(dpy, DefaultRootWindow(dpy), 0, 0, 300, 200, 0, CopyFromParent, InputOutput,
                             CopyFromParent, CWOverrideRedirect | CWBackPixel, &swa);
    if (map) XMapRaised(dpy, w);
    XSync(dpy, False);
    return w;
  }

  void Open() {
    ASSERT_NE(nullptr, g->OpenWindow((void*)(uintptr_t)parent));
    Pump(60);
  }

  // Runs the editor's idle for about ms milliseconds.
  void Pump(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      g->Idle();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  // Synthetic input on the test's own connection (safe from a helper thread
  // while the editor runs a modal menu on its connection).
  static void MoveTo(Display* d, int x, int y) {
    XTestFakeMotionEvent(d, 0, x, y, 0);
    XFlush(d);
  }
  static void Button(Display* d, unsigned b, bool down) {
    XTestFakeButtonEvent(d, b, down, 0);
    XFlush(d);
  }
  static void Click(Display* d, int x, int y, unsigned b = 1) {
    MoveTo(d, x, y);
    Button(d, b, true);
    Button(d, b, false);
  }
  static void Key(Display* d, KeySym sym, bool down) {
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), down, 0);
    XFlush(d);
  }
  static void Tap(Display* d, KeySym sym) {
    Key(d, sym, true);
    Key(d, sym, false);
  }
  static void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

  // The window's pixels as the server holds them, in the drawing library's order.
  std::vector<uint32_t> Grab(Window w, int width, int height) {
    std::vector<uint32_t> px;
    XImage* img = XGetImage(dpy, w, 0, 0, (unsigned)width, (unsigned)height, AllPlanes, ZPixmap);
    if (!img) return px;
    px.resize((size_t)width * (size_t)height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const unsigned long v = XGetPixel(img, x, y);
        const uint32_t r = (v >> 16) & 0xFF, gg = (v >> 8) & 0xFF, b = v & 0xFF;
        px[(size_t)y * (size_t)width + (size_t)x] = 0xFFu | r << 8 | gg << 16 | b << 24;
      }
    XDestroyImage(img);
    return px;
  }

  inline static XvfbServer* sServer = nullptr;
  Display* dpy = nullptr;
  Window parent = 0;
  GfxTestPlug plug{4};
  IGraphicsX11* g = nullptr;
  GfxRecordingControl* recorder = nullptr;
  MenuButtonControl* menuButton = nullptr;
};
