// kt412 render --host au: the plug-in library driven through its component
// entry gives the same audio as the built-in path, for the demo and for a
// MIDI file whose controllers move learnt and default-bound parameters.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "RenderTestUtil.h"

#ifdef KT412_EXE

using namespace rendertest;

namespace {

int Kt(const ScratchDir& dir, const std::string& args) {
  const std::string cmd = "cd '" + dir.Path() + "' && '" KT412_EXE "' " + args + " >.out 2>.err </dev/null";
  const int raw = std::system(cmd.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Same frames and bit-identical samples in both channels. (The files'
// headers differ only in the peak chunk's time stamp.)
void ExpectSameAudio(const std::string& a, const std::string& b) {
  const Wav wa = ReadWav(a), wb = ReadWav(b);
  ASSERT_GT(wa.left.size(), 1000u);
  EXPECT_EQ(wa.rate, wb.rate);
  EXPECT_EQ(wa.format, wb.format);
  ASSERT_EQ(wa.left.size(), wb.left.size());
  size_t differing = 0;
  for (size_t i = 0; i < wa.left.size(); ++i)
    differing += (wa.left[i] != wb.left[i]) + (wa.right[i] != wb.right[i]);
  EXPECT_EQ(differing, 0u);
  const std::string da = ReadFile(a), db = ReadFile(b);
  ASSERT_EQ(da.size(), db.size());
  const size_t data = da.find("data");
  ASSERT_NE(data, std::string::npos);
  EXPECT_EQ(da.substr(data), db.substr(data)) << "data chunks differ";
}

}  // namespace

TEST(RenderAUHost, DemoMatchesTheBuiltInPathAtSeveralBlockSizes) {
  ScratchDir dir;
  ASSERT_EQ(Kt(dir, "render -o plain.wav"), 0);
  ASSERT_EQ(Kt(dir, "render --host au -o au.wav"), 0) << ReadFile(dir / ".err");
  ExpectSameAudio(dir / "plain.wav", dir / "au.wav");
  // An odd block size and another rate, 16-bit output.
  ASSERT_EQ(Kt(dir, "render -r 44100 -b 333 -f 16 -o plain16.wav"), 0);
  ASSERT_EQ(Kt(dir, "render --host au -r 44100 -b 333 -f 16 -o au16.wav"), 0);
  ExpectSameAudio(dir / "plain16.wav", dir / "au16.wav");
}

TEST(RenderAUHost, MidiFileWithControllersLearnSetAndStateMatches) {
  ScratchDir dir;
  // Hits with controller moves between them: controller 7 learnt to Decay,
  // controller 0 (Bank Select, bound to nothing: it moves no parameter).
  SmfBuilder smf;
  smf.Event(0, 0x90, 33, 100).Event(0, 0xB0, 7, 20).Event(240, 0x80, 33, 0).Event(240, 0xB0, 7, 120);
  smf.Event(0, 0x99, 40, 90).Event(100, 0xB0, 0, 127).Event(380, 0x90, 33, 64).Event(480, 0xB0, 7, 64);
  smf.Event(0, 0x90, 30, 127).Event(480, 0x90, 33, 0);
  WriteFile(dir / "ctl.mid", smf.Bytes());
  // A state file from a first render, then everything at once.
  ASSERT_EQ(Kt(dir, "render --set Pitch=-3 --set Hold=0.7 --list-params --save-state s.bin"), 0);
  const std::string opts = "ctl.mid --state s.bin --set Distort=0.45 --learn 7=Decay -b 100";
  ASSERT_EQ(Kt(dir, "render " + opts + " -o plain.wav"), 0) << ReadFile(dir / ".err");
  const std::string plainOut = ReadFile(dir / ".out");
  ASSERT_EQ(Kt(dir, "render --host au " + opts + " -o au.wav"), 0) << ReadFile(dir / ".err");
  ExpectSameAudio(dir / "plain.wav", dir / "au.wav");
  // Both report the same peak. The controller moves counted differ in kind:
  // the built-in path counts the moves the render made, the library's host
  // the notices its idle worker sent, one per tick for the latest value.
  EXPECT_NE(plainOut.find("3 controller moves"), std::string::npos) << plainOut;
  const std::string auOut = ReadFile(dir / ".out");
  auto peakOf = [](const std::string& out) { return out.substr(out.find("peak"), out.find("dBFS") - out.find("peak")); };
  EXPECT_EQ(peakOf(plainOut), peakOf(auOut));
}

TEST(RenderAUHost, AMissingLibraryFailsCleanly) {
  ScratchDir dir;
  EXPECT_EQ(Kt(dir, "render --host au --au-library ./nothing.so -o x.wav"), 2);
  EXPECT_NE(ReadFile(dir / ".err").find("cannot load"), std::string::npos);
  EXPECT_FALSE(Exists(dir / "x.wav"));
  EXPECT_EQ(Kt(dir, "render --host vst -o x.wav"), 2);
  EXPECT_EQ(Kt(dir, "validate ./nothing.so"), 2);
}

#endif
