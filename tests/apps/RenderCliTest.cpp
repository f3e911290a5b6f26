// The real kt412 program: exit codes, one-line errors, nothing left behind
// on failure, --set and --list-params, and states that reproduce a render.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>

#include "RenderTestUtil.h"

#ifdef KT412_EXE

using namespace rendertest;

namespace {

// Runs kt412 with args inside dir (so default outputs land there).
CliRun Kt412(const ScratchDir& dir, const std::vector<std::string>& args) { return RunInDir(dir, "", KT412_EXE, args); }

int Lines(const std::string& s) {
  int n = 0;
  for (char c : s) n += c == '\n';
  return n;
}

}  // namespace

TEST(Kt412Cli, RenderWithNoArgumentsWritesTheDemoInTheCurrentFolder) {
  ScratchDir dir;
  CliRun r = Kt412(dir, {"render"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out.rfind("kt412: wrote kt412-demo.wav: 10.000 s, peak -", 0), 0u) << r.out;
  EXPECT_NE(r.out.find(" dBFS\n"), std::string::npos);
  Wav w = ReadWav(dir / "kt412-demo.wav");
  EXPECT_EQ(w.left.size(), 480000u);
}

TEST(Kt412Cli, OutputFormatsAndRates) {
  ScratchDir dir;
  ASSERT_EQ(Kt412(dir, {"render", "-f", "16", "-r", "8000", "-o", "a.wav"}).status, 0);
  Wav a = ReadWav(dir / "a.wav");
  EXPECT_EQ(a.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
  EXPECT_EQ(a.rate, 8000);
  EXPECT_EQ(a.left.size(), 80000u);
  ASSERT_EQ(Kt412(dir, {"render", "--format=24", "--rate=96000", "-o", "b.wav"}).status, 0);
  Wav b = ReadWav(dir / "b.wav");
  EXPECT_EQ(b.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_24);
  EXPECT_EQ(b.rate, 96000);
}

TEST(Kt412Cli, OutputIsNamedAfterTheMidiFile) {
  ScratchDir dir;
  WriteFile(dir / "groove.mid", SmfBuilder().Event(0, 0x90, 33, 100).Event(480, 0x90, 33, 0).Bytes());
  CliRun r = Kt412(dir, {"render", "groove.mid"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Exists(dir / "groove.wav"));
  EXPECT_NE(r.out.find("wrote groove.wav: 2.500 s"), std::string::npos) << r.out;
}

TEST(Kt412Cli, ErrorsExitWith2OnOneLineAndLeaveNothingAtTheOutput) {
  ScratchDir dir;
  WriteFile(dir / "garbage.mid", "this is not a MIDI file at all");
  WriteFile(dir / "cut.mid", SmfBuilder().Event(0, 0x90, 33, 100).Bytes().substr(0, 20));
  WriteFile(dir / "short.state", std::string(64, '\0'));
  std::string nanState(136, '\0');
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::memcpy(nanState.data() + 16, &nan, 8);
  WriteFile(dir / "nan.state", nanState);
  // Values no instrument ever saved: the valid zero state with one slot changed.
  auto stateWith = [&](const char* name, int slot, double v) {
    std::string bytes(136, '\0');
    std::memcpy(bytes.data() + 8 * slot, &v, 8);
    WriteFile(dir / name, bytes);
  };
  stateWith("huge.state", 2, 1e300);
  stateWith("half.state", 9, 2.5);
  stateWith("minus.state", 10, -7.0);
  // Decay 0.5 written in the other byte order.
  stateWith("swapped.state", 2, 0.5);
  {
    std::string bytes = ReadFile(dir / "swapped.state");
    std::reverse(bytes.begin() + 16, bytes.begin() + 24);
    WriteFile(dir / "swapped.state", bytes);
  }
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--volume", "3"}, "unknown option '--volume'"},
      {{"missing.mid"}, "missing.mid"},
      {{"garbage.mid"}, "not a MIDI file"},
      {{"cut.mid"}, "truncated"},
      {{"-r", "7999"}, "sample rate 7999 is outside 8000..384000"},
      {{"-r", "384001"}, "sample rate 384001 is outside 8000..384000"},
      {{"-b", "0"}, "block size 0 is outside 1..8192"},
      {{"-b", "8193"}, "block size 8193 is outside 1..8192"},
      {{"-f", "32"}, "unknown sample format '32'"},
      {{"--set", "Volume=1"}, "unknown parameter 'Volume'"},
      {{"--set", "Decay=1.01"}, "value 1.01 for Decay is out of range 0..1"},
      {{"--set", "Pitch=high"}, "'high' is not a number (for Pitch)"},
      {{"--learn", "300=Decay"}, "controller 300 is outside 0..127"},
      {{"--state", "short.state"}, "is not a saved state"},
      {{"--state", "nan.state"}, "value 2 (Decay) is not a finite number"},
      {{"--state", "huge.state"}, "value 2 (Decay) 1e+300 is out of range 0..1"},
      {{"--state", "half.state"}, "value 9 (MidiTuneFlag) 2.5 is out of range 0..1"},
      {{"--state", "minus.state"}, "value 10 (MidiAccentFlag) -7 is out of range 0..1"},
      {{"--state", "swapped.state"}, "value 2 (Decay) is not a plain number"},
      {{"--state", "absent.state"}, "cannot read state file"},
      {{"--gain", "30"}, "gain 30 dB is outside -60..24 dB"},
      {{"--gain", "-6dB"}, "gain '-6dB' is not a number of dB"},
  };
  for (const auto& [args, expect] : cases) {
    std::vector<std::string> full = {"render", "-o", "out.wav"};
    full.insert(full.end(), args.begin(), args.end());
    CliRun r = Kt412(dir, full);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_EQ(Lines(r.err), 1) << r.err;
    EXPECT_EQ(r.err.rfind("kt412: error: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(expect), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "") << args[0];
    EXPECT_FALSE(Exists(dir / "out.wav")) << args[0];
  }
}

TEST(Kt412Cli, AnUnwritableOutputFailsAndAnExistingFileIsKept) {
  ScratchDir dir;
  CliRun r = Kt412(dir, {"render", "-o", "no/such/folder/x.wav"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(Lines(r.err), 1) << r.err;
  EXPECT_FALSE(Exists(dir / "no"));

  WriteFile(dir / "keep.wav", "precious");
  r = Kt412(dir, {"render", "-o", "keep.wav", "--set", "Decay=7"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(ReadFile(dir / "keep.wav"), "precious");
  // Nothing else was left in the folder either (no temporary files).
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

// A render stopped by a signal, caught or not, leaves nothing in the folder.
TEST(Kt412Cli, AnInterruptedRenderLeavesNothingBehind) {
  ScratchDir dir;
  // One hit now and one an hour later: an hour of sound to write, in blocks
  // of one frame, so that even an optimised build is still writing it when
  // the signal comes (in 512-frame blocks, mostly silence, it can be done
  // before that).
  WriteFile(dir / "long.mid", SmfBuilder().Event(0, 0x90, 36, 100).Event(960 * 3600, 0x90, 36, 100).Bytes());
  for (int sig : {SIGINT, SIGTERM, SIGKILL}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (chdir(dir.Path().c_str()) != 0) _exit(127);
      (void)!freopen("/dev/null", "w", stdout);
      execl(KT412_EXE, KT412_EXE, "render", "long.mid", "-b", "1", "-o", "out.wav", static_cast<char*>(nullptr));
      _exit(127);
    }
    // Stopped while it writes: the file grows for far longer than this.
    usleep(1500 * 1000);
    kill(child, sig);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status)) << sig;
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) files += e.path().filename() != "long.mid";
    EXPECT_EQ(files, 0) << "signal " << sig;
  }
}

TEST(Kt412Cli, UnknownCommandAndMissingCommand) {
  ScratchDir dir;
  CliRun r = Kt412(dir, {"dance"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kt412: error: unknown command 'dance' (commands: render, export, snapshot, presets, play, validate)\n");
  r = Kt412(dir, {});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(Lines(r.err), 1);
}

TEST(Kt412Cli, HelpDocumentsTheOptions) {
  ScratchDir dir;
  CliRun r = Kt412(dir, {"render", "--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* opt : {"--output", "--rate", "--block", "--format", "--set NAME=VALUE", "--learn CC=NAME",
                          "--state FILE", "--save-state FILE", "--list-params"})
    EXPECT_NE(r.out.find(opt), std::string::npos) << opt;
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(Kt412Cli, ListParamsShowsSettingsAndRendersNothing) {
  ScratchDir dir;
  CliRun r = Kt412(dir, {"render", "--set", "Decay=0.9", "--set", "Pitch=-5", "--list-params"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.out), 18);
  EXPECT_NE(r.out.find("Decay           0..1        0.5000    0.9000"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Pitch           -12..12     0         -5"), std::string::npos) << r.out;
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(Kt412Cli, ASavedStateReproducesTheRenderBitForBit) {
  ScratchDir dir;
  CliRun a = Kt412(dir, {"render", "--set", "Decay=0.9", "--set", "Pitch=-5", "--set", "Distort=0.123456",
                      "--set", "MidiAccentFlag=on", "--save-state", "s.state", "-o", "a.wav"});
  ASSERT_EQ(a.status, 0) << a.err;
  // The 17 values, then "KTC1" and the 17 learned controllers.
  ASSERT_EQ(ReadFile(dir / "s.state").size(), 157u);
  double pitch = 0.0;
  std::memcpy(&pitch, ReadFile(dir / "s.state").data(), 8);
  EXPECT_EQ(pitch, -5.0);

  CliRun b = Kt412(dir, {"render", "--state", "s.state", "-o", "b.wav"});
  ASSERT_EQ(b.status, 0) << b.err;
  CliRun plain = Kt412(dir, {"render", "-o", "plain.wav"});
  ASSERT_EQ(plain.status, 0);

  Wav wa = ReadWav(dir / "a.wav"), wb = ReadWav(dir / "b.wav"), wp = ReadWav(dir / "plain.wav");
  ASSERT_EQ(wa.left.size(), 480000u);
  ASSERT_EQ(wb.left.size(), wa.left.size());
  EXPECT_EQ(std::memcmp(wa.left.data(), wb.left.data(), wa.left.size() * sizeof(float)), 0);
  EXPECT_EQ(std::memcmp(wa.right.data(), wb.right.data(), wa.right.size() * sizeof(float)), 0);
  EXPECT_FALSE(wa.left == wp.left);  // the state really changed the sound
  // And the state written by the second run equals the first.
  ASSERT_EQ(Kt412(dir, {"render", "--state", "s.state", "--save-state", "t.state", "--list-params"}).status, 0);
  EXPECT_EQ(ReadFile(dir / "t.state"), ReadFile(dir / "s.state"));
}

TEST(Kt412Cli, LearnedControllersGiveTheSameFileForEveryBlockSize) {
  ScratchDir dir;
  // Hits and three learned controllers at ticks that fall inside blocks of
  // every size tried (960 ticks per second: one tick is 50 frames).
  SmfBuilder smf;
  for (int i = 0; i < 8; ++i) {
    smf.Event(i == 0 ? 0 : 173, 0xB0, 1, static_cast<unsigned char>(i * 17))  // Pitch, before the note
        .Event(0, 0x90, 33, static_cast<unsigned char>(60 + i * 8))
        .Event(0, 0xB0, 74, static_cast<unsigned char>(127 - i * 15))  // Decay, after it
        .Event(37, 0xB0, 71, static_cast<unsigned char>(i * 13))       // TuneDepth mid-hit
        .Event(11, 0xB0, 74, static_cast<unsigned char>(i * 9));
  }
  WriteFile(dir / "song.mid", smf.Bytes());
  std::string reference;
  for (const char* block : {"1", "64", "512", "8192"}) {
    const std::string out = std::string("b") + block + ".wav";
    CliRun r = Kt412(dir, {"render", "song.mid", "--learn", "1=Pitch", "--learn", "74=Decay", "--learn",
                           "71=TuneDepth", "-b", block, "-o", out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("32 controller moves"), std::string::npos) << r.out;
    const std::string bytes = ReadFile(dir / out);
    ASSERT_GT(bytes.size(), 44u);
    if (reference.empty()) reference = bytes;
    EXPECT_TRUE(bytes == reference) << "-b " << block << " differs from -b 1";
  }
}

TEST(Kt412Cli, SetOverridesALoadedState) {
  ScratchDir dir;
  ASSERT_EQ(Kt412(dir, {"render", "--set", "Decay=0.9", "--save-state", "s.state", "--list-params"}).status, 0);
  CliRun r = Kt412(dir, {"render", "--state", "s.state", "--set", "Decay=0.1", "--list-params"});
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("0.5000    0.1000"), std::string::npos) << r.out;
}

#endif  // KT412_EXE
