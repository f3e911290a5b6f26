// kt412 play under Xvfb and a dummy JACK server: MIDI in lights the LED, the window's close saves the state.
#include <gtest/gtest.h>

// Project headers before Xlib's, which defines Bool, Status and None as macros.
#include "PlayCommand.h"
#include "pix/PIX_Bitmap.h"
#include "pix/PIX_PNG.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "JackDummyServer.h"
#include "PulseNullSinkServer.h"
#include "XvfbServer.h"

namespace {

// A program run with its output collected in files.
struct Child {
  pid_t pid = -1;
  std::string outPath, errPath;

  bool Start(const std::vector<std::string>& args, const std::string& dir) {
    outPath = dir + "/out.txt";
    errPath = dir + "/err.txt";
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0;
  }
  // Exit status, or -1 when it did not end within the time (then it is killed).
  int Wait(int ms) {
    for (int i = 0; i < ms / 10; ++i) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
    return -1;
  }
  ~Child() {
    if (pid > 0) Wait(0);
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
};

// A JACK client with one MIDI output that sends a note-on every few cycles while asked to.
struct KeysClient {
  jack_client_t* client = nullptr;
  jack_port_t* port = nullptr;
  std::atomic<bool> playing{false};
  int cycle = 0;

  bool Open() {
    jack_status_t status;
    client = jack_client_open("kt412-keys", JackNoStartServer, &status);
    if (!client) return false;
    port = jack_port_register(client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client, &KeysClient::Process, this);
    return port && jack_activate(client) == 0;
  }
  static int Process(jack_nframes_t n, void* arg) {
    auto* self = static_cast<KeysClient*>(arg);
    void* buf = jack_port_get_buffer(self->port, n);
    jack_midi_clear_buffer(buf);
    if (self->playing.load() && self->cycle++ % 8 == 0) {
      const unsigned char on[3] = {0x90, 36, 110};
      jack_midi_event_write(buf, 0, on, 3);
    }
    return 0;
  }
  ~KeysClient() {
    if (client) {
      jack_deactivate(client);
      jack_client_close(client);
    }
  }
};

Window FindWindowNamed(Display* d, const char* name) {
  Window root = DefaultRootWindow(d), parent, *kids = nullptr;
  unsigned n = 0;
  Window found = 0;
  if (XQueryTree(d, root, &root, &parent, &kids, &n)) {
    for (unsigned i = 0; i < n && !found; ++i) {
      char* title = nullptr;
      if (XFetchName(d, kids[i], &title) && title) {
        if (std::string(title) == name) found = kids[i];
        XFree(title);
      }
    }
    if (kids) XFree(kids);
  }
  return found;
}

void SendClose(Display* d, Window w) {
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = w;
  ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
  XSendEvent(d, w, False, NoEventMask, &ev);
  XFlush(d);
}

std::vector<unsigned long> GrabRect(Display* d, Window w, int x, int y, int width, int height) {
  std::vector<unsigned long> px;
  XImage* img = XGetImage(d, w, x, y, (unsigned)width, (unsigned)height, AllPlanes, ZPixmap);
  if (!img) return px;
  for (int j = 0; j < height; ++j)
    for (int i = 0; i < width; ++i) px.push_back(XGetPixel(img, i, j) & 0xFFFFFF);
  XDestroyImage(img);
  return px;
}

// Runs a command through the shell and returns what it printed on stdout.
std::string Capture(const std::string& cmd, int* status) {
  std::string text;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return text;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), p)) > 0) text.append(buf, n);
  *status = pclose(p);
  return text;
}

constexpr int kEditorW = 592, kEditorH = 442;

// A PNG's pixels as 0xRRGGBB, row by row (empty when unreadable).
std::vector<unsigned long> PngPixels(const std::string& path, int* w, int* h, bool withAlpha = false) {
  std::vector<unsigned long> px;
  std::unique_ptr<PIX_IBitmap> bm(PIX_LoadPNG(path.c_str()));
  if (!bm) return px;
  *w = bm->getWidth();
  *h = bm->getHeight();
  for (int y = 0; y < *h; ++y)
    for (int x = 0; x < *w; ++x) {
      const PIX_pixel p = bm->getBits()[y * bm->getRowSpan() + x];
      px.push_back((withAlpha ? (unsigned long)PIX_A(p) << 24 : 0ul) | (unsigned long)PIX_R(p) << 16 |
                   (unsigned long)PIX_G(p) << 8 | (unsigned long)PIX_B(p));
    }
  return px;
}

class X11Player : public ::testing::Test {
protected:
  void SetUp() override {
    if (!XvfbServer::Installed()) GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh --test)";
    if (!JackDummyServer::Installed()) GTEST_SKIP() << "jackd is not installed (scripts/install-deps.sh --test)";
    ASSERT_TRUE(xvfb.Start());
    char tmpl[] = "/tmp/kt412-play-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    home = tmpl;
    // The player writes its state and seeds its preset folder here, not in the user's home.
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    dpy = XOpenDisplay(nullptr);
    ASSERT_NE(nullptr, dpy);
  }
  void TearDown() override {
    if (dpy) XCloseDisplay(dpy);
    if (!home.empty()) std::system(("rm -rf '" + home + "'").c_str());
  }
  Window WaitForWindow() {
    for (int i = 0; i < 500; ++i) {
      if (Window w = FindWindowNamed(dpy, "Quorvane KT-412")) return w;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
  }

  std::string PresetDir() const { return home + "/data/Quorvane Instruments/Quorvane KT-412 Presets/"; }

  // The player's window pixel for pixel against `kt412 snapshot` with the
  // same options; returns the differing pixels and the preset name the
  // snapshot reports. The window is grabbed until it matches or 3 s pass
  // (its first picture may still be on its way to the server).
  int DifferencesFromSnapshot(Window w, const std::string& snapshotArgs, std::string* name) {
    int status = -1;
    const std::string png = home + "/snap.png";
    const std::string said = Capture(std::string("'") + KT412_BINARY + "' snapshot -o '" + png + "' --preset-dir '" +
                                         PresetDir() + "' " + snapshotArgs,
                                     &status);
    const size_t q = said.find("preset \"");
    *name = q == std::string::npos ? "?" : said.substr(q + 8, said.find('"', q + 8) - q - 8);
    int pw = 0, ph = 0;
    const std::vector<unsigned long> snap = PngPixels(png, &pw, &ph);
    if (status != 0 || pw != kEditorW || ph != kEditorH) return -1;
    int diff = -1;
    for (int i = 0; i < 150 && diff != 0; ++i) {
      const std::vector<unsigned long> shown = GrabRect(dpy, w, 0, 0, kEditorW, kEditorH);
      if (shown.size() != snap.size()) return -1;
      diff = 0;
      for (size_t k = 0; k < snap.size(); ++k) diff += shown[k] != snap[k];
      if (diff) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return diff;
  }

  XvfbServer xvfb;
  std::string home;
  Display* dpy = nullptr;
};

}  // namespace

TEST_F(X11Player, NoteThroughJackLightsTheLedAndClosingSavesTheState) {
  JackDummyServer jack;
  ASSERT_TRUE(jack.Start());
  KeysClient keys;
  ASSERT_TRUE(keys.Open());
  Child player;
  ASSERT_TRUE(player.Start({KT412_BINARY, "play", "--connect", "--set", "Decay=0.25"}, home));
  const Window w = WaitForWindow();
  ASSERT_NE(0ul, w) << Child::Read(player.errPath);
  // --connect joined our MIDI output to the player's input.
  for (int i = 0; i < 200 && !jack_port_connected(keys.port); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_GT(jack_port_connected(keys.port), 0);

  // The LED (16 x 16 at 511, 131) is dark until a hit.
  const std::vector<unsigned long> dark = GrabRect(dpy, w, 511, 131, 16, 16);
  ASSERT_EQ(256u, dark.size());
  keys.playing = true;
  bool lit = false;
  for (int i = 0; i < 300 && !lit; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    lit = GrabRect(dpy, w, 511, 131, 16, 16) != dark;
  }
  keys.playing = false;
  EXPECT_TRUE(lit);

  SendClose(dpy, w);
  EXPECT_EQ(0, player.Wait(10000)) << Child::Read(player.errPath);
  const std::string out = Child::Read(player.outPath);
  EXPECT_NE(std::string::npos, out.find("state saved")) << out;
  EXPECT_EQ(std::string::npos, out.find(" 0 notes received")) << out;
  struct stat st;
  ASSERT_EQ(0, ::stat((home + "/config/kt412/state.bin").c_str(), &st));
  EXPECT_EQ(17 * 8 + 4 + 17, st.st_size);  // the values, then the MIDI-learn table

  // The next start, without --set, restores the saved Decay and saves it again.
  Child second;
  ASSERT_TRUE(second.Start({KT412_BINARY, "play", "--no-audio"}, home));
  const Window w2 = WaitForWindow();
  ASSERT_NE(0ul, w2);
  SendClose(dpy, w2);
  EXPECT_EQ(0, second.Wait(10000));
  std::ifstream a(home + "/config/kt412/state.bin", std::ios::binary);
  double values[17] = {};
  a.read(reinterpret_cast<char*>(values), sizeof(values));
  EXPECT_DOUBLE_EQ(0.25, values[2]);
}

TEST_F(X11Player, WithoutAJackServerItSaysSoInOneLineAndExitsTwo) {
  setenv("JACK_DEFAULT_SERVER", "kt412-no-such-server", 1);
  setenv("JACK_NO_START_SERVER", "1", 1);
  // Nor a PulseAudio server, whatever the machine runs.
  setenv("PULSE_SERVER", ("unix:" + home + "/no-pulse").c_str(), 1);
  Child player;
  ASSERT_TRUE(player.Start({KT412_BINARY, "play"}, home));
  EXPECT_EQ(2, player.Wait(10000));
  const std::string err = Child::Read(player.errPath);
  EXPECT_NE(std::string::npos, err.find("no JACK server")) << err;
  EXPECT_NE(std::string::npos, err.find("no PulseAudio server")) << err;
  EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
}

TEST_F(X11Player, BadOptionsAndADamagedStateFile) {
  Child badSet;
  ASSERT_TRUE(badSet.Start({KT412_BINARY, "play", "--no-audio", "--set", "Nope=1"}, home));
  EXPECT_EQ(2, badSet.Wait(10000));
  Child badAudio;
  ASSERT_TRUE(badAudio.Start({KT412_BINARY, "play", "--audio", "oss"}, home));
  EXPECT_EQ(2, badAudio.Wait(10000));
  EXPECT_NE(std::string::npos, Child::Read(badAudio.errPath).find("--audio takes jack, pulse or alsa"));
  Child badState;
  const std::string state = home + "/short.bin";
  std::ofstream(state) << "abc";
  ASSERT_TRUE(badState.Start({KT412_BINARY, "play", "--no-audio", "--state", state}, home));
  EXPECT_EQ(2, badState.Wait(10000));
  EXPECT_NE(std::string::npos, Child::Read(badState.errPath).find("kt412: error:"));
  // A damaged saved state (here a value far out of range) only warns: the
  // editor opens on the first factory preset.
  std::system(("mkdir -p '" + home + "/config/kt412'").c_str());
  {
    double values[17] = {};
    values[2] = 1e300;
    std::ofstream(home + "/config/kt412/state.bin", std::ios::binary).write(reinterpret_cast<const char*>(values), sizeof values);
  }
  Child warned;
  ASSERT_TRUE(warned.Start({KT412_BINARY, "play", "--no-audio"}, home));
  const Window w = WaitForWindow();
  ASSERT_NE(0ul, w);
  SendClose(dpy, w);
  EXPECT_EQ(0, warned.Wait(10000));
  EXPECT_NE(std::string::npos, Child::Read(warned.errPath).find("warning: state file")) << Child::Read(warned.errPath);
  EXPECT_NE(std::string::npos, Child::Read(warned.errPath).find("out of range"));
  struct stat st;
  ASSERT_EQ(0, ::stat((home + "/config/kt412/state.bin").c_str(), &st));
  EXPECT_EQ(17 * 8 + 4 + 17, st.st_size);
}

// The editor shows the sound that plays: settings, a restored state and a
// preset reach the knobs, and the preset field names where the sound came
// from. Each start is compared with `kt412 snapshot` of the same options.
TEST_F(X11Player, TheWindowShowsTheSoundThatPlays) {
  const std::string state = home + "/config/kt412/state.bin";
  const std::string deep = PresetDir() + "Factory Presets/Deep Thud.qipreset";
  struct Case {
    std::vector<std::string> playArgs;
    std::string snapshotArgs;
    std::string name;  // in the preset field
  } cases[] = {
      // No saved state yet: the first factory preset with two knobs moved,
      // so it is marked modified.
      {{"--set", "Decay=0.95", "--set", "Distort=1"}, "--set Decay=0.95 --set Distort=1", "Basic Kick*"},
      // The state the first run saved: not a preset any more.
      {{}, "--state '" + state + "'", ""},
      {{"--preset", deep}, "--state '" + state + "' --preset '" + deep + "'", "Deep Thud"},
      {{"--preset", deep, "--set", "Pitch=-7"}, "--state '" + state + "' --preset '" + deep + "' --set Pitch=-7",
       "Deep Thud*"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.snapshotArgs);
    std::vector<std::string> args = {KT412_BINARY, "play", "--no-audio"};
    args.insert(args.end(), c.playArgs.begin(), c.playArgs.end());
    Child player;
    ASSERT_TRUE(player.Start(args, home));
    const Window w = WaitForWindow();
    ASSERT_NE(0ul, w) << Child::Read(player.errPath);
    std::string name;
    EXPECT_EQ(0, DifferencesFromSnapshot(w, c.snapshotArgs, &name));
    EXPECT_EQ(c.name, name);
    SendClose(dpy, w);
    EXPECT_EQ(0, player.Wait(10000)) << Child::Read(player.errPath);
  }
}

// Killing the JACK server under a connected player: one line that says so,
// the state saved, and exit status 3 instead of a window left up.
TEST_F(X11Player, AJackServerThatGoesAwayIsReportedTheStateSavedAndTheExitThree) {
  for (int signal : {SIGKILL, SIGTERM}) {
    SCOPED_TRACE(signal);
    JackDummyServer jack;
    ASSERT_TRUE(jack.Start());
    Child player;
    ASSERT_TRUE(player.Start({KT412_BINARY, "play", "--connect", "--set", "Decay=0.3"}, home));
    ASSERT_NE(0ul, WaitForWindow()) << Child::Read(player.errPath);
    // The window opens first; the client is active once the start line is out.
    for (int i = 0; i < 500 && Child::Read(player.outPath).find("playing") == std::string::npos; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    jack.Stop(signal);
    EXPECT_EQ(kPlayServerLost, player.Wait(10000)) << Child::Read(player.errPath);
    const std::string err = Child::Read(player.errPath);
    EXPECT_NE(std::string::npos, err.find("the JACK server went away")) << err;
    EXPECT_NE(std::string::npos, err.find("state saved")) << err;
    EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
    std::ifstream saved(home + "/config/kt412/state.bin", std::ios::binary);
    double values[17] = {};
    saved.read(reinterpret_cast<char*>(values), sizeof(values));
    EXPECT_DOUBLE_EQ(0.3, values[2]);
    std::remove((home + "/config/kt412/state.bin").c_str());
  }
}

// The window introduces itself as the installed .desktop file expects: the
// class it names in StartupWMClass, and the icon it names as the window's icon.
TEST_F(X11Player, TheWindowCarriesTheClassAndIconThatTheInstalledDesktopFileNames) {
  const std::string prefix = home + "/prefix";
  int status = -1;
  Capture(std::string("'") + KT_CMAKE_COMMAND + "' --install '" + KT_BUILD_DIR + "' --component desktop --prefix '" +
              prefix + "' >/dev/null 2>&1",
          &status);
  ASSERT_EQ(0, status);
  const std::string desktop = Child::Read(prefix + "/share/applications/kt412.desktop");
  ASSERT_NE(std::string::npos, desktop.find("[Desktop Entry]")) << desktop;
  EXPECT_NE(std::string::npos, desktop.find("\nExec=kt412 play\n")) << desktop;
  EXPECT_NE(std::string::npos, desktop.find("\nIcon=kt412\n")) << desktop;
  if (::access("/usr/bin/desktop-file-validate", X_OK) == 0) {
    const std::string complaints =
        Capture("desktop-file-validate '" + prefix + "/share/applications/kt412.desktop' 2>&1", &status);
    EXPECT_EQ(0, status) << complaints;
    EXPECT_EQ("", complaints);
  }

  Child player;
  ASSERT_TRUE(player.Start({KT412_BINARY, "play", "--no-audio"}, home));
  const Window w = WaitForWindow();
  ASSERT_NE(0ul, w) << Child::Read(player.errPath);
  XClassHint hint{};
  ASSERT_TRUE(XGetClassHint(dpy, w, &hint));
  const std::string instance = hint.res_name, cls = hint.res_class;
  XFree(hint.res_name);
  XFree(hint.res_class);
  EXPECT_EQ("kt412", instance);
  EXPECT_NE(std::string::npos, desktop.find("\nStartupWMClass=" + cls + "\n")) << cls;

  // _NET_WM_ICON: width, height, then ARGB pixels; the installed icon file
  // holds the same picture.
  Atom type = 0;
  int format = 0;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  ASSERT_EQ(Success, XGetWindowProperty(dpy, w, XInternAtom(dpy, "_NET_WM_ICON", False), 0, 1 << 20, False,
                                        XA_CARDINAL, &type, &format, &n, &after, &data));
  ASSERT_NE(nullptr, data);
  const auto* icon = reinterpret_cast<const unsigned long*>(data);
  // Xlib hands 32-bit items back as longs, sign-extended.
  std::vector<unsigned long> shown;
  for (unsigned long k = 2; k < n; ++k) shown.push_back(icon[k] & 0xFFFFFFFFul);
  const unsigned long iw = n > 2 ? icon[0] : 0, ih = n > 2 ? icon[1] : 0;
  XFree(data);
  int fw = 0, fh = 0;
  const std::vector<unsigned long> file =
      PngPixels(prefix + "/share/icons/hicolor/64x64/apps/kt412.png", &fw, &fh, true);
  EXPECT_EQ(64ul, iw);
  EXPECT_EQ(64ul, ih);
  EXPECT_EQ(iw * ih, shown.size());
  EXPECT_TRUE(file == shown) << "window icon and installed icon differ";
  SendClose(dpy, w);
  EXPECT_EQ(0, player.Wait(10000));
}

// No JACK server, but the desktop's sound server: the player plays through
// PulseAudio. This sandbox has no ALSA sequencer (no /dev/snd/seq), so the
// note goes in through the pad, clicked in the window; the hit is heard at
// the null sink's monitor, recorded with parec, and nothing before it.
// When the server then stops, the player says so and exits with 3.
TEST_F(X11Player, WithoutJackAPadHitIsHeardThroughPulseAudio) {
  if (!PulseNullSinkServer::Installed()) GTEST_SKIP() << "pulseaudio is not installed (scripts/install-deps.sh --test)";
  PulseNullSinkServer pulse;
  ASSERT_TRUE(pulse.Start(home)) << Child::Read(home + "/pulseaudio.log");
  setenv("JACK_DEFAULT_SERVER", "kt412-no-such-server", 1);
  setenv("JACK_NO_START_SERVER", "1", 1);
  const std::string recDir = home + "/rec";
  ASSERT_EQ(0, ::mkdir(recDir.c_str(), 0700));
  Child rec;
  ASSERT_TRUE(rec.Start({"/usr/bin/parec", "--raw", "-d", std::string(PulseNullSinkServer::kSink) + ".monitor",
                         "--format=s16le", "--rate=48000", "--channels=2", "--latency-msec=20"},
                        recDir));
  Child player;
  ASSERT_TRUE(player.Start({KT412_BINARY, "play", "--set", "Decay=0.5"}, home));
  const Window w = WaitForWindow();
  ASSERT_NE(0ul, w) << Child::Read(player.errPath);
  for (int i = 0; i < 500 && Child::Read(player.outPath).find("playing") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const std::string said = Child::Read(player.outPath);
  EXPECT_NE(std::string::npos, said.find("playing through PulseAudio")) << said << Child::Read(player.errPath);

  // The recorder delivers once it runs; half a second of the player idle, then the pad (96 x 30 at 480, 100).
  auto recorded = [&] {
    struct stat st;
    return ::stat(rec.outPath.c_str(), &st) == 0 ? (size_t)st.st_size : (size_t)0;
  };
  for (int i = 0; i < 500 && recorded() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const size_t quietBytes = recorded();
  ASSERT_GT(quietBytes, 0u) << Child::Read(rec.errPath);
  int rx = 0, ry = 0;
  Window child;
  XTranslateCoordinates(dpy, w, DefaultRootWindow(dpy), 480 + 48, 100 + 15, &rx, &ry, &child);
  XTestFakeMotionEvent(dpy, -1, rx, ry, 0);
  XFlush(dpy);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  XTestFakeButtonEvent(dpy, 1, True, 0);
  XFlush(dpy);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  XTestFakeButtonEvent(dpy, 1, False, 0);
  XFlush(dpy);
  // Half a second (4 bytes a frame) recorded after the click.
  for (int i = 0; i < 500 && recorded() < quietBytes + 96000; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));

  // Then the server goes away: the player says so, saves and exits with 3.
  kill(rec.pid, SIGINT);
  rec.Wait(5000);
  pulse.Stop();
  EXPECT_EQ(kPlayServerLost, player.Wait(10000)) << Child::Read(player.errPath);
  const std::string err = Child::Read(player.errPath);
  EXPECT_NE(std::string::npos, err.find("PulseAudio stopped the stream")) << err;
  EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
  const std::string raw = Child::Read(rec.outPath);
  ASSERT_GT(raw.size(), quietBytes + 48000) << Child::Read(rec.errPath);
  int peakBefore = 0, peakAfter = 0;
  for (size_t i = 0; i + 1 < raw.size(); i += 2) {
    const int v = std::abs((int)(int16_t)((unsigned char)raw[i] | (unsigned char)raw[i + 1] << 8));
    (i < quietBytes ? peakBefore : peakAfter) = std::max(i < quietBytes ? peakBefore : peakAfter, v);
  }
  EXPECT_EQ(0, peakBefore);
  EXPECT_GT(peakAfter, 3000) << "the hit's peak, of 32767";
  std::printf("pad hit through PulseAudio: peak %d of 32767 (%d before the click)\n", peakAfter, peakBefore);
}
