// kt412 play under Xvfb and a dummy JACK server: MIDI in lights the LED, the window's close saves the state.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "JackDummyServer.h"
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
  Child player;
  ASSERT_TRUE(player.Start({KT412_BINARY, "play"}, home));
  EXPECT_EQ(2, player.Wait(10000));
  const std::string err = Child::Read(player.errPath);
  EXPECT_NE(std::string::npos, err.find("no JACK server")) << err;
  EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
}

TEST_F(X11Player, BadOptionsAndADamagedStateFile) {
  Child badSet;
  ASSERT_TRUE(badSet.Start({KT412_BINARY, "play", "--no-audio", "--set", "Nope=1"}, home));
  EXPECT_EQ(2, badSet.Wait(10000));
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
