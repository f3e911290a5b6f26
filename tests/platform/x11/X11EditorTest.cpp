// The instrument's own editor in an X11 window: knob drag, trigger pad, preset menu, screenshots against snapshots.
#include <gtest/gtest.h>

#include "framework/IParam.h"
#include "instrument/ParamUnits.h"
#include "instrument/PresetFunctionsMenu.h"
#include "instrument/QiKt412.h"
#include "pix/PIX_Bitmap.h"
#include "pix/PIX_PNG.h"
#include "platform/cli/GraphicsFactory.h"
#include "platform/x11/IGraphicsX11.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/XTest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>

#include "XvfbServer.h"

namespace {

constexpr int kW = QiKt412::kEditorWidth, kH = QiKt412::kEditorHeight;
// Layout facts the tests aim at: the Decay knob (parameter 2, 64 x 64),
// the trigger pad and the preset field.
constexpr int kDecayX = 395 + 32, kDecayY = 127 + 32;
constexpr int kPadX = 480 + 48, kPadY = 100 + 15;
constexpr int kPresetX = 207 + 40, kPresetY = 21 + 8;
// A spot of the background far from every control.
constexpr int kQuietX = 20, kQuietY = 420;
// The value readout, which shows an edited value; a snapshot made with --set
// shows none, so the comparison after a drag leaves it out.
constexpr int kReadoutL = 496, kReadoutT = 346, kReadoutR = 544, kReadoutB = 358;

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class X11Editor : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (!XvfbServer::Installed()) return;
    sServer = new XvfbServer();
    if (!sServer->Start()) {
      delete sServer;
      sServer = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete sServer;
    sServer = nullptr;
  }

  void SetUp() override {
    if (!XvfbServer::Installed()) GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh --test)";
    ASSERT_NE(nullptr, sServer);
    // A fresh home for whatever the instrument writes.
    char tmpl[] = "/tmp/kt412-editor-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    home = tmpl;
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    dpy = XOpenDisplay(nullptr);
    ASSERT_NE(nullptr, dpy);
    SetGraphicsFactory(&MakeGraphicsX11);
    // The preset folder tree, seeded with the factory presets on first use.
    presetDir = home + "/presets/";
    plug = std::make_unique<QiKt412>(presetDir);
    SetGraphicsFactory(nullptr);
    plug->SetSampleRate(48000);
    plug->SetBlockSize(512);
    plug->Reset();
    plug->OnParamReset();
    gui = dynamic_cast<IGraphicsX11*>(static_cast<IGraphics*>(plug->GetGUI()));
    ASSERT_NE(nullptr, gui);
    XSetWindowAttributes swa;
    swa.override_redirect = True;
    parent = XCreateWindow(dpy, DefaultRootWindow(dpy), 0, 0, kW, kH, 0, CopyFromParent, InputOutput, CopyFromParent,
                           CWOverrideRedirect, &swa);
    XMapRaised(dpy, parent);
    XSync(dpy, False);
  }

  void TearDown() override {
    plug.reset();
    if (dpy) {
      if (parent) XDestroyWindow(dpy, parent);
      XCloseDisplay(dpy);
    }
    if (!home.empty()) std::system(("rm -rf '" + home + "'").c_str());
  }

  void Open() {
    ASSERT_NE(nullptr, gui->OpenWindow((void*)(uintptr_t)parent));
    Pump(60);
  }
  void Pump(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      gui->Idle();
      Sleep(2);
    }
  }
  // Synced, not only flushed: the server has made the event before the
  // editor is pumped, so a loaded machine cannot reorder a press and a move.
  static void MoveTo(Display* d, int x, int y) {
    XTestFakeMotionEvent(d, 0, x, y, 0);
    XSync(d, False);
  }
  static void Button(Display* d, unsigned button, bool down) {
    XTestFakeButtonEvent(d, button, down ? True : False, 0);
    XSync(d, False);
  }
  void Type(const char* keys) {
    for (const char* k = keys; *k; ++k) {
      const char name[2] = {*k, 0};
      const KeySym sym = *k == '\n' ? XK_Return : *k == '\b' ? XK_BackSpace : XStringToKeysym(name);
      const KeyCode code = XKeysymToKeycode(dpy, sym);
      XTestFakeKeyEvent(dpy, code, True, 0);
      XTestFakeKeyEvent(dpy, code, False, 0);
    }
    XFlush(dpy);
    Pump(40);
  }
  static void Click(Display* d, int x, int y) {
    MoveTo(d, x, y);
    XTestFakeButtonEvent(d, 1, True, 0);
    XTestFakeButtonEvent(d, 1, False, 0);
    XFlush(d);
  }

  // The window's pixels, red, green and blue as 0xRRGGBB.
  std::vector<uint32_t> Grab(int w = kW, int h = kH) {
    std::vector<uint32_t> px;
    XImage* img = XGetImage(dpy, gui->XWindowId(), 0, 0, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
    if (!img) return px;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) px.push_back((uint32_t)XGetPixel(img, x, y) & 0xFFFFFF);
    XDestroyImage(img);
    return px;
  }

  // `kt412 snapshot` of the same state, as 0xRRGGBB (w x h: at a scale).
  std::vector<uint32_t> Snapshot(const std::string& extra, int w = kW, int h = kH) {
    const std::string png = home + "/snap.png";
    const std::string cmd = std::string("'") + KT412_BINARY + "' snapshot -o '" + png + "' --preset-dir '" + presetDir + "' " + extra + " >/dev/null";
    std::vector<uint32_t> px;
    if (std::system(cmd.c_str()) != 0) return px;
    std::unique_ptr<PIX_IBitmap> bm(PIX_LoadPNG(png.c_str()));
    if (!bm || bm->getWidth() != w || bm->getHeight() != h) return px;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const PIX_pixel p = bm->getBits()[y * bm->getRowSpan() + x];
        px.push_back((uint32_t)(PIX_R(p) << 16 | PIX_G(p) << 8 | PIX_B(p)));
      }
    return px;
  }

  static int CountDifferences(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, bool skipReadout) {
    int n = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        if (skipReadout && x >= kReadoutL && x < kReadoutR && y >= kReadoutT && y < kReadoutB) continue;
        n += a[(size_t)(y * kW + x)] != b[(size_t)(y * kW + x)];
      }
    return n;
  }

  inline static XvfbServer* sServer = nullptr;
  std::string home, presetDir;
  Display* dpy = nullptr;
  Window parent = 0;
  std::unique_ptr<QiKt412> plug;
  IGraphicsX11* gui = nullptr;
};

}  // namespace

TEST_F(X11Editor, ScreenEqualsTheSnapshotAtStartAndAfterADecayDragByTheKnobsGearing) {
  Open();
  const std::vector<uint32_t> start = Grab();
  const std::vector<uint32_t> snap = Snapshot("");
  ASSERT_EQ(start.size(), (size_t)kW * kH);
  ASSERT_EQ(snap.size(), start.size());
  EXPECT_EQ(0, CountDifferences(start, snap, false));

  const double before = plug->GetParam(kDecay)->GetNormalized();
  MoveTo(dpy, kDecayX, kDecayY);
  // The pointer resting on the knob shows its bubble; the comparisons below
  // are made with the pointer away from every control.
  Pump(20);
  Button(dpy, 1, true);
  Pump(20);
  for (int y = kDecayY - 2; y >= kDecayY - 20; y -= 2) {
    MoveTo(dpy, kDecayX, y);
    Pump(5);
  }
  Button(dpy, 1, false);
  MoveTo(dpy, kQuietX, kQuietY);
  // Several redraw ticks: the picture of the hit follows on the next one.
  Pump(400);
  // 20 pixels up on a 64-pixel knob with gearing 4.
  const double after = plug->GetParam(kDecay)->GetNormalized();
  EXPECT_NEAR(std::min(1.0, before + 20.0 / 64.0 / 4.0), after, 1e-9);

  const std::vector<uint32_t> dragged = Grab();
  EXPECT_GT(CountDifferences(start, dragged, true), 50);
  char set[96];
  std::snprintf(set, sizeof(set), "--set 'Decay=%.17g'", plug->GetParam(kDecay)->Value());
  const std::vector<uint32_t> snapDragged = Snapshot(set);
  ASSERT_EQ(snapDragged.size(), dragged.size());
  EXPECT_EQ(0, CountDifferences(dragged, snapDragged, true));
}

TEST_F(X11Editor, ClickOnTheTriggerPadProducesAHit) {
  Open();
  std::vector<float> l(512), r(512);
  float* outs[2] = {l.data(), r.data()};
  plug->SetOutputChannelConnections(0, 2, true);
  plug->AttachOutputBuffers(0, 2, outs);
  for (int i = 0; i < 200; ++i) plug->ProcessBuffers(0.0f, 512);  // the start-up preset's tail dies away
  plug->ProcessBuffers(0.0f, 512);
  float quiet = 0.0f;
  for (float v : l) quiet = std::max(quiet, std::fabs(v));
  Click(dpy, kPadX, kPadY);
  Pump(60);
  plug->ProcessBuffers(0.0f, 512);
  float peak = 0.0f;
  for (float v : l) peak = std::max(peak, std::fabs(v));
  EXPECT_LT(quiet, 1e-4f);
  EXPECT_GT(peak, 0.01f);
  EXPECT_EQ(1, plug->LedState());
}

TEST_F(X11Editor, PresetFieldOpensOurMenuAndASecondClickLoadsAPreset) {
  Open();
  const std::string first = plug->PresetMenu()->GetDisplayText();
  std::vector<double> values;
  for (int i = 0; i < kNumParams; ++i) values.push_back(plug->GetParam(i)->Value());
  std::thread user([] {
    Display* d = XOpenDisplay(nullptr);
    Sleep(300);
    // Menu: "Save File...", a separator, "Factory Presets", "User Presets";
    // it opens 4 pixels below the field (bottom 37), rows 20 high.
    const int top = 37 + 4;
    MoveTo(d, kPresetX, top + 1 + 20 + 7 + 10);
    Sleep(150);
    // The submenu opens beside it; find it as the right-most menu window.
    Window root = DefaultRootWindow(d), rr, pr, *kids = nullptr;
    unsigned n = 0;
    int subX = -1, subY = -1;
    if (XQueryTree(d, root, &rr, &pr, &kids, &n)) {
      for (unsigned i = 0; i < n; ++i) {
        XWindowAttributes a;
        if (XGetWindowAttributes(d, kids[i], &a) && a.override_redirect && a.map_state == IsViewable && a.x > subX &&
            a.y > 0) {
          subX = a.x;
          subY = a.y;
        }
      }
      if (kids) XFree(kids);
    }
    MoveTo(d, subX + 20, subY + 1 + 10);
    Sleep(50);
    Click(d, subX + 20, subY + 1 + 20 + 10);  // the folder's second preset
    XCloseDisplay(d);
  });
  Click(dpy, kPresetX, kPresetY);
  Pump(800);
  user.join();
  EXPECT_FALSE(gui->MenuOpen());
  EXPECT_NE(first, plug->PresetMenu()->GetDisplayText());
  int changed = 0;
  for (int i = 0; i < kNumParams; ++i) changed += plug->GetParam(i)->Value() != values[(size_t)i];
  EXPECT_GT(changed, 0);
}

TEST_F(X11Editor, TwoHundredOpenCloseCyclesOfTheEditorWhileTheInstrumentRenders) {
  const int errorsBefore = IGraphicsX11::XErrorCount();
  std::atomic<bool> stop{false};
  std::thread audio([&] {
    std::vector<float> l(256), r(256);
    float* outs[2] = {l.data(), r.data()};
    plug->SetOutputChannelConnections(0, 2, true);
    plug->AttachOutputBuffers(0, 2, outs);
    int n = 0;
    while (!stop.load()) {
      if (n++ % 20 == 0) {
        IMidiMsg on(0, 0x90, 36, 100);
        plug->ProcessMidiMsg(&on);  // the LED lights from the audio side
      }
      plug->ProcessBuffers(0.0f, 256);
    }
  });
  for (int i = 0; i < 200; ++i) {
    ASSERT_NE(nullptr, gui->OpenWindow((void*)(uintptr_t)parent)) << "cycle " << i;
    gui->Idle();
    gui->CloseWindow();
  }
  stop = true;
  audio.join();
  EXPECT_EQ(errorsBefore, IGraphicsX11::XErrorCount());
}

TEST_F(X11Editor, ValueBubbleShowsOnHoverAndDragAndLeavesNoTraceAndATypedValueSetsDecayInMs) {
  Open();
  MoveTo(dpy, kQuietX, kQuietY);
  Pump(40);
  const IValueBubble& bubble = gui->ValueBubble();
  EXPECT_FALSE(bubble.Visible());
  const std::vector<uint32_t> plain = Grab();
  const IParam& decay = *plug->GetParam(kDecay);

  // Resting on the knob: the bubble beside it says what the voice gets.
  MoveTo(dpy, kDecayX, kDecayY);
  Pump(60);
  ASSERT_TRUE(bubble.Visible());
  EXPECT_EQ(bubble.Text(), ParamBubbleText(decay, kDecay, decay.Value()));
  EXPECT_EQ(bubble.Text().rfind("Decay ", 0), 0u);
  const IRECT r = bubble.Rect();
  const std::vector<uint32_t> hovered = Grab();
  int inside = 0, outside = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const bool differs = hovered[(size_t)(y * kW + x)] != plain[(size_t)(y * kW + x)];
      (r.Contains(x, y) ? inside : outside) += differs;
    }
  EXPECT_GT(inside, 50);
  EXPECT_EQ(outside, 0);

  // Dragging: the figure follows the value.
  const std::string atRest = bubble.Text();
  Button(dpy, 1, true);
  Pump(20);
  for (int y = kDecayY - 2; y >= kDecayY - 16; y -= 2) {
    MoveTo(dpy, kDecayX, y);
    Pump(5);
  }
  Pump(40);
  EXPECT_TRUE(bubble.Visible());
  EXPECT_NE(bubble.Text(), atRest);
  EXPECT_EQ(bubble.Text(), ParamBubbleText(decay, kDecay, decay.Value()));
  Button(dpy, 1, false);

  // Away from the controls: gone, and the screen is what a snapshot of the sound draws.
  MoveTo(dpy, kQuietX, kQuietY);
  Pump(100);
  EXPECT_FALSE(bubble.Visible());
  char set[96];
  std::snprintf(set, sizeof(set), "--set 'Decay=%.17g'", decay.Value());
  const std::vector<uint32_t> snap = Snapshot(set);
  ASSERT_EQ(snap.size(), (size_t)kW * kH);
  EXPECT_EQ(0, CountDifferences(Grab(), snap, true));

  // A right-click opens the entry in ms; out of range is refused and it stays open.
  MoveTo(dpy, kDecayX, kDecayY);
  Pump(20);
  Button(dpy, 3, true);
  Button(dpy, 3, false);
  Pump(60);
  ASSERT_TRUE(gui->TextEntryOpen());
  const double was = decay.Value();
  Type("999\n");
  EXPECT_TRUE(gui->TextEntryOpen());
  EXPECT_EQ(decay.Value(), was);
  for (int i = 0; i < 3; ++i) Type("\b");
  Type("abc\n");  // no number: refused as well
  EXPECT_TRUE(gui->TextEntryOpen());
  for (int i = 0; i < 3; ++i) Type("\b");
  Type("100ms\n");
  EXPECT_FALSE(gui->TextEntryOpen());
  EXPECT_NEAR(ParamValueInUnits(kDecay, decay.Value()), 100.0, 0.05);
}

TEST_F(X11Editor, PresetFieldMarksAKnobMoveAndSaysTheSavedName) {
  Open();
  const std::string name = plug->PresetName();
  const std::string path = plug->PresetMenu()->LoadedPath();
  ASSERT_FALSE(name.empty());
  ASSERT_FALSE(path.empty());
  MoveTo(dpy, kDecayX, kDecayY);
  Pump(20);
  Button(dpy, 1, true);
  Pump(20);
  MoveTo(dpy, kDecayX, kDecayY - 12);
  Pump(20);
  Button(dpy, 1, false);
  Pump(60);
  EXPECT_EQ(plug->PresetName(), name + "*");
  ASSERT_TRUE(plug->SavePresetFile(presetDir + "User Presets/Mine.qipreset"));
  Pump(60);
  EXPECT_EQ(plug->PresetName(), "Mine");
  ASSERT_TRUE(plug->loadProgram(path));
  Pump(60);
  EXPECT_EQ(plug->PresetName(), name);
}

// A host asking for 1.5: the window is 888 x 663 and shows what `kt412
// snapshot --scale 1.5` draws; the Decay knob (395, 127, 459, 191: odd
// edges, which fall inside window pixels) takes a drag from its first and
// last window columns and none from the columns beside them; a Super-click
// on it opens the typed entry as a right-click does.
TEST_F(X11Editor, AtOneAndAHalfTheScreenEqualsTheSnapshotAndTheKnobsEdgesTakeTheDrag) {
  constexpr int kW15 = 888, kH15 = 663;
  XResizeWindow(dpy, parent, kW15, kH15);
  XSync(dpy, False);
  gui->SetOutputScale(1.5);
  Open();
  EXPECT_EQ(1.5f, gui->OutputScale());
  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(dpy, gui->XWindowId(), &a));
  EXPECT_EQ(kW15, a.width);
  EXPECT_EQ(kH15, a.height);
  MoveTo(dpy, 30, 640);  // away from every control
  Pump(60);
  const std::vector<uint32_t> screen = Grab(kW15, kH15), snap = Snapshot("--scale 1.5", kW15, kH15);
  ASSERT_EQ(screen.size(), (size_t)kW15 * kH15);
  ASSERT_EQ(snap.size(), screen.size());
  int differing = 0;
  for (size_t i = 0; i < screen.size(); ++i) differing += screen[i] != snap[i];
  EXPECT_EQ(0, differing);

  // Window columns 593 and 688 are the knob's first and last (395 and 458 at
  // 1.5 are 592.5 and 687, rounded to 593 and 687..688); 592 and 689 are not.
  struct Column {
    int x;
    bool moves;
  };
  IParam& decay = *plug->GetParam(kDecay);
  for (const Column& c : {Column{593, true}, Column{592, false}, Column{688, true}, Column{689, false}}) {
    SCOPED_TRACE(c.x);
    const double before = decay.GetNormalized();
    MoveTo(dpy, c.x, 270);
    Pump(20);
    Button(dpy, 1, true);
    Pump(20);
    for (int y = 267; y >= 240; y -= 3) {  // 30 window pixels: 20 editor pixels
      MoveTo(dpy, c.x, y);
      Pump(5);
    }
    Button(dpy, 1, false);
    Pump(20);
    EXPECT_NEAR(c.moves ? std::min(1.0, before + 20.0 / 64.0 / 4.0) : before, decay.GetNormalized(), 1e-9);
    Sleep(450);  // the next press is no double click
  }

  MoveTo(dpy, 640, 240);
  Pump(20);
  XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, XK_Super_L), True, 0);
  Button(dpy, 1, true);
  Button(dpy, 1, false);
  XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, XK_Super_L), False, 0);
  XSync(dpy, False);
  Pump(60);
  ASSERT_TRUE(gui->TextEntryOpen());
  Type("80 ms\n");
  EXPECT_FALSE(gui->TextEntryOpen());
  EXPECT_NEAR(ParamValueInUnits(kDecay, decay.Value()), 80.0, 0.05);
}
