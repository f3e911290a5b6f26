// Menus, message boxes and file prompts never hold up the host's idle call:
// each returns at once while the prompt stays open, and the answer comes
// from a later idle call.
#include "X11TestRig.h"

#include <X11/keysym.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

namespace {
using X11Prompt = X11Rig;

// Calls the editor's idle until cond holds (at most about a second); false if it never did.
template <typename Cond>
bool IdleUntil(IGraphicsX11* g, Cond cond) {
  for (int i = 0; i < 200 && !cond(); ++i) {
    g->Idle();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return cond();
}
}  // namespace

TEST_F(X11Prompt, AListMenuStaysOpenAcrossIdleCallsAndAnswersFromALaterOne) {
  Open();
  // Should an idle call keep the menu to itself, this ends it after a while,
  // so the test fails instead of hanging.
  std::atomic<bool> finished{false};
  std::thread watchdog([&finished] {
    for (int i = 0; i < 500 && !finished; ++i) Sleep(10);
    if (finished) return;
    Display* d = XOpenDisplay(nullptr);
    Tap(d, XK_Escape);
    XCloseDisplay(d);
  });
  Click(dpy, 60, 130);  // the list parameter's caption opens its menu
  const bool opened = IdleUntil(g, [this] { return g->MenuOpen(); });
  // Returned from idle, the menu is still open; more idle calls leave it so.
  const bool stayed = opened && !IdleUntil(g, [this] { return !g->MenuOpen(); });
  finished = true;
  watchdog.join();
  EXPECT_TRUE(opened);
  EXPECT_TRUE(stayed);
  // The menu sits 4 pixels below the caption (bottom 140), rows 20 high: "C".
  Click(dpy, 40, 144 + 1 + 20 * 2 + 10);
  EXPECT_TRUE(IdleUntil(g, [this] { return plug.GetParam(2)->Int() == 2; }));
  EXPECT_FALSE(g->MenuOpen());
}

TEST_F(X11Prompt, MessageBoxAndPathFieldAnswerThroughIdleAndAClosedViewAnswersNothing) {
  Open();
  int answer = 0;
  g->ShowMessageBoxAsync("Replace the preset?", "Save", 4, [&answer](int a) { answer = a; });
  ASSERT_TRUE(g->MenuOpen());
  Pump(60);
  EXPECT_EQ(0, answer);
  Tap(dpy, XK_Escape);
  EXPECT_TRUE(IdleUntil(g, [&answer] { return answer != 0; }));
  EXPECT_EQ(7, answer) << "Escape answers the last button";

  // No portal, no chooser program: the own path field.
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string savedBus = bus ? bus : "";
  setenv("PATH", "/nonexistent-kt412", 1);
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent-kt412/bus", 1);
  std::string file = "-", folder;
  g->PromptForFileAsync("kick", kFileSave, "/tmp", "qi", [&](const std::string& f, const std::string& d) {
    file = f;
    folder = d;
  });
  setenv("PATH", path.c_str(), 1);
  if (savedBus.empty()) unsetenv("DBUS_SESSION_BUS_ADDRESS");
  else setenv("DBUS_SESSION_BUS_ADDRESS", savedBus.c_str(), 1);
  ASSERT_TRUE(g->MenuOpen());
  Pump(60);
  for (KeySym k : {XK_period, XK_q, XK_i}) Tap(dpy, k);
  Tap(dpy, XK_Return);
  EXPECT_TRUE(IdleUntil(g, [&file] { return file != "-"; }));
  EXPECT_EQ("/tmp/kick.qi", file);
  EXPECT_EQ("/tmp/", folder);

  // Closing the editor takes an open prompt away unanswered.
  bool called = false;
  g->ShowMessageBoxAsync("Still there?", "", 1, [&called](int) { called = true; });
  ASSERT_TRUE(g->MenuOpen());
  g->CloseWindow();
  EXPECT_FALSE(g->MenuOpen());
  EXPECT_FALSE(called);
}

TEST_F(X11Prompt, FocusIsTakenOnlyWhileATextEntryIsOpenAndThenGivenBack) {
  Open();
  // A window of the host's, away from the editor, holds the keyboard.
  const Window host = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 400, 300, 50, 50, 0, 0, 0);
  XMapWindow(dpy, host);
  XSync(dpy, False);
  XSetInputFocus(dpy, host, RevertToParent, CurrentTime);
  XSync(dpy, False);
  auto focus = [this] {
    Window w = 0;
    int revert = 0;
    XGetInputFocus(dpy, &w, &revert);
    return w;
  };
  Click(dpy, 140, 40);  // the switch
  Pump(60);
  EXPECT_EQ(host, focus()) << "a click leaves the keyboard with the host";
  Click(dpy, 200, 130);  // the steps caption opens a text entry
  Pump(60);
  ASSERT_TRUE(g->TextEntryOpen());
  EXPECT_EQ(g->XWindowId(), focus());
  Tap(dpy, XK_Return);
  Pump(60);
  EXPECT_FALSE(g->TextEntryOpen());
  EXPECT_EQ(host, focus());
  XDestroyWindow(dpy, host);
}
