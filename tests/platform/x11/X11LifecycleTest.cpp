// The X11 view's life: many open/close cycles beside a rendering thread, vanished parents, close requests.
#include "X11TestRig.h"

#include <X11/Xatom.h>
#include <X11/keysym.h>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "instrument/QiKt412.h"

namespace {
using X11Life = X11Rig;

void SendCloseRequest(Display* d, Window w) {
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = w;
  ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
  ev.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, w, False, NoEventMask, &ev);
  XFlush(d);
}
}  // namespace

TEST_F(X11Life, TwoHundredOpenCloseCyclesWhileAnotherThreadRendersLeaveNoXError) {
  const int errorsBefore = IGraphicsX11::XErrorCount();
  QiKt412 synth;
  synth.SetSampleRate(48000);
  synth.SetBlockSize(256);
  synth.Reset();
  synth.OnParamReset();
  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  std::thread audio([&] {
    std::vector<float> l(256), r(256);
    float* outs[2] = {l.data(), r.data()};
    synth.SetOutputChannelConnections(0, 2, true);
    synth.AttachOutputBuffers(0, 2, outs);
    int n = 0;
    while (!stop.load()) {
      if (n++ % 40 == 0) {
        IMidiMsg on(0, 0x90, 36, 100);
        synth.ProcessMidiMsg(&on);
      }
      synth.ProcessBuffers(0.0f, 256);
      // The plug-in side moves a control of the open editor, as the LED does.
      g->SetControlFromPlug(1, (n / 10) % 2 ? 1.0 : 0.0);
      ++blocks;
    }
  });
  for (int i = 0; i < 200; ++i) {
    ASSERT_NE(nullptr, g->OpenWindow((void*)(uintptr_t)parent)) << "cycle " << i;
    g->Idle();
    g->CloseWindow();
    ASSERT_FALSE(g->WindowIsOpen());
  }
  stop = true;
  audio.join();
  EXPECT_GT(blocks.load(), 0);
  EXPECT_EQ(errorsBefore, IGraphicsX11::XErrorCount());
}

TEST_F(X11Life, ParentThatVanishesClosesTheViewWithoutAbort) {
  Open();
  ASSERT_TRUE(g->WindowIsOpen());
  XDestroyWindow(dpy, parent);
  XSync(dpy, False);
  parent = 0;
  Pump(60);
  EXPECT_FALSE(g->WindowIsOpen());
  // The surface lives on: values still arrive and drawing does nothing harmful.
  g->SetParameterFromPlug(0, 80.0, false);
  g->RedrawDirty();
  EXPECT_FALSE(g->Idle());
}

TEST_F(X11Life, ParentThatDoesNotExistOrNoDisplayGivesNoWindow) {
  EXPECT_EQ(nullptr, g->OpenWindow((void*)(uintptr_t)0x3fffff0ul));
  EXPECT_FALSE(g->WindowIsOpen());
  const std::string display = std::getenv("DISPLAY");
  setenv("DISPLAY", ":9999", 1);
  EXPECT_EQ(nullptr, g->OpenWindow(nullptr));
  setenv("DISPLAY", display.c_str(), 1);
  // Still usable afterwards.
  Open();
  EXPECT_TRUE(g->WindowIsOpen());
}

TEST_F(X11Life, TopLevelWindowIsTitledFixedSizeAndClosesOnRequest) {
  void* w = g->OpenWindow(nullptr);
  ASSERT_NE(nullptr, w);
  Pump(40);
  char* name = nullptr;
  ASSERT_TRUE(XFetchName(dpy, (Window)(uintptr_t)w, &name));
  EXPECT_STREQ("Test", name);
  XFree(name);
  XSizeHints hints;
  long supplied = 0;
  ASSERT_TRUE(XGetWMNormalHints(dpy, (Window)(uintptr_t)w, &hints, &supplied));
  EXPECT_EQ(300, hints.min_width);
  EXPECT_EQ(300, hints.max_width);
  EXPECT_EQ(200, hints.max_height);
  SendCloseRequest(dpy, (Window)(uintptr_t)w);
  Pump(60);
  EXPECT_TRUE(g->CloseRequested());
  EXPECT_FALSE(g->WindowIsOpen());
}

TEST_F(X11Life, CloseRequestWhileAMenuIsOpenEndsTheMenuAndCloses) {
  void* w = g->OpenWindow(nullptr);
  ASSERT_NE(nullptr, w);
  Pump(40);
  std::thread user([w] {
    Display* d = XOpenDisplay(nullptr);
    Sleep(250);
    SendCloseRequest(d, (Window)(uintptr_t)w);
    XCloseDisplay(d);
  });
  IRECT area(10, 10, 50, 30);
  IPopupMenu menu;
  menu.AddItem("one");
  EXPECT_EQ(nullptr, g->CreateIPopupMenu(&menu, &area));
  user.join();
  EXPECT_FALSE(g->WindowIsOpen());
  EXPECT_EQ(nullptr, g->CreateIPopupMenu(&menu, &area));  // closed: no menu
  IRECT r(0, 0, 10, 10);
  g->CreateTextEntry(recorder, nullptr, &r, "x", nullptr);
  EXPECT_FALSE(g->TextEntryOpen());
}

TEST_F(X11Life, RunEventLoopReturnsWhenTheWindowIsClosedAndStopsOnRequest) {
  void* w = g->OpenWindow(nullptr);
  ASSERT_NE(nullptr, w);
  std::thread user([w] {
    Display* d = XOpenDisplay(nullptr);
    Sleep(200);
    SendCloseRequest(d, (Window)(uintptr_t)w);
    XCloseDisplay(d);
  });
  g->RunEventLoop();
  user.join();
  EXPECT_FALSE(g->WindowIsOpen());
  ASSERT_NE(nullptr, g->OpenWindow(nullptr));
  std::atomic<bool> stop{true};
  g->RunEventLoop(&stop);
  EXPECT_FALSE(g->WindowIsOpen());
}

TEST_F(X11Life, DestroyingTheSurfaceWithAnOpenWindowAndEntryIsClean) {
  auto other = std::make_unique<GfxTestPlug>(1);
  other->GetParam(0)->InitInt("Steps", 1, 0, 99);
  auto* surface = new IGraphicsX11(other.get(), 120, 40);
  IText style(12);
  IRECT r(0, 0, 120, 40);
  auto* caption = new ICaptionControl(other.get(), &r, 0, &style);
  surface->AttachControl(caption);
  other->AttachGraphics(surface);
  ASSERT_NE(nullptr, surface->OpenWindow((void*)(uintptr_t)parent));
  caption->PromptUserInput();
  ASSERT_TRUE(surface->TextEntryOpen());
  const int errorsBefore = IGraphicsX11::XErrorCount();
  other.reset();  // the plug-in deletes its surface, and with it window and entry
  XSync(dpy, False);
  EXPECT_EQ(errorsBefore, IGraphicsX11::XErrorCount());
}

// Forks of this process, counted here: the editor lives inside hosts, whose
// threads and memory a fork would copy; it starts programs with posix_spawn.
namespace {
std::atomic<int> gForks{0};
}
extern "C" pid_t fork() {
  ++gForks;
  static auto real = reinterpret_cast<pid_t (*)()>(dlsym(RTLD_NEXT, "fork"));
  return real();
}

TEST(X11Programs, OpenURLStartsTheOpenerWithoutForkingAndWaitsForNothing) {
  char dir[] = "/tmp/kt412_opener_XXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  const std::string folder = dir, opener = folder + "/xdg-open", out = folder + "/opened";
  {
    std::ofstream script(opener);
    script << "#!/bin/sh\nsleep 2\necho \"$1\" > " << out << ".tmp && mv " << out << ".tmp " << out << "\n";
  }
  chmod(opener.c_str(), 0755);
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (folder + ":" + oldPath).c_str(), 1);
  QiKt412 synth;
  IGraphicsX11 g(&synth, 100, 100);
  const int forks = gForks.load();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(g.OpenURL("https://example.invalid/manual"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500)) << "the opener is not waited for";
  EXPECT_EQ(gForks.load(), forks);
  setenv("PATH", oldPath.c_str(), 1);
  std::string opened;
  for (int i = 0; i < 100 && opened.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ifstream in(out);
    std::getline(in, opened);
  }
  EXPECT_EQ(opened, "https://example.invalid/manual");
  std::filesystem::remove_all(folder);
}
