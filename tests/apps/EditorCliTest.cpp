// The real kt412 program's editor side: snapshot images, the preset listing, render --preset and --preset-dir.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <memory>

#include "RenderTestUtil.h"
#include "pix/PIX_Bitmap.h"
#include "pix/PIX_PNG.h"

#ifdef KT412_EXE

using namespace rendertest;

namespace {

// Runs kt412 inside dir with HOME and XDG_DATA_HOME pointing into dir (so
// the user's real preset folder is never touched) plus the given variables.
CliRun Kt412(const ScratchDir& dir, const std::vector<std::string>& args, const std::string& env = "") {
  return RunInDir(dir, "env -u KT412_PRESET_DIR HOME=" + Quote(dir / "home") + " XDG_DATA_HOME= " + env, KT412_EXE, args);
}

std::unique_ptr<PIX_IBitmap> LoadPNG(const std::string& path) { return std::unique_ptr<PIX_IBitmap>(PIX_LoadPNG(path.c_str())); }

PIX_pixel At(PIX_IBitmap* bm, int x, int y) { return bm->getBits()[static_cast<ptrdiff_t>(y) * bm->getRowSpan() + x]; }

const char* kPresetDirName = "Quorvane Instruments/Quorvane KT-412 Presets/";

}  // namespace

TEST(Kt412Snapshot, WritesTheEditorDrawnNativelyAtEachScale) {
  ScratchDir dir;
  CliRun r = Kt412(dir, {"snapshot", "-o", "editor.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto one = LoadPNG(dir / "editor.png");
  ASSERT_TRUE(one);
  EXPECT_EQ(one->getWidth(), 592);
  EXPECT_EQ(one->getHeight(), 442);
  EXPECT_NE(At(one.get(), 5, 5), 0u) << "the background is drawn";

  struct Scaled {
    const char* arg;
    int w, h;
  };
  for (const Scaled& sc : {Scaled{"1.5", 888, 663}, Scaled{"2", 1184, 884}}) {
    SCOPED_TRACE(sc.arg);
    const std::string file = std::string("editor") + sc.arg + ".png";
    r = Kt412(dir, {"snapshot", "-o", file, "--scale", sc.arg});
    ASSERT_EQ(r.status, 0) << r.err;
    auto big = LoadPNG(dir / file);
    ASSERT_TRUE(big);
    ASSERT_EQ(big->getWidth(), sc.w);
    ASSERT_EQ(big->getHeight(), sc.h);
    // Native, not enlarged: the knob labels and the title have detail finer
    // than a 1x pixel, so many 2 x 2 blocks are not of one colour. (A
    // doubled image has none; 1.5x is checked the same way on the pairs.)
    int mixedBlocks = 0;
    for (int y = 0; y + 1 < sc.h; y += 2)
      for (int x = 0; x + 1 < sc.w; x += 2) {
        const PIX_pixel p = At(big.get(), x, y);
        mixedBlocks += At(big.get(), x + 1, y) != p || At(big.get(), x, y + 1) != p || At(big.get(), x + 1, y + 1) != p;
      }
    EXPECT_GT(mixedBlocks, sc.w * sc.h / 4 / 4);
  }
  EXPECT_FALSE(Exists(dir / "home")) << "a snapshot reads no preset folder";
}

TEST(Kt412Snapshot, SettingsMoveTheKnobsAndThePictureOfTheHitInTheImage) {
  ScratchDir dir;
  ASSERT_EQ(Kt412(dir, {"snapshot", "-o", "a.png"}).status, 0);
  ASSERT_EQ(Kt412(dir, {"snapshot", "-o", "b.png", "--set", "Decay=1"}).status, 0);
  auto a = LoadPNG(dir / "a.png"), b = LoadPNG(dir / "b.png");
  ASSERT_TRUE(a && b);
  int inside = 0, picture = 0, outside = 0;
  for (int y = 0; y < 442; ++y)
    for (int x = 0; x < 592; ++x) {
      if (At(a.get(), x, y) == At(b.get(), x, y)) continue;
      const bool inDecayKnob = x >= 395 && x < 459 && y >= 127 && y < 191;
      const bool inPicture = x >= 29 && x <= 452 && y >= 73 && y <= 115;
      (inDecayKnob ? inside : inPicture ? picture : outside)++;
    }
  EXPECT_GT(inside, 20);
  EXPECT_GT(picture, 100) << "the waveform shows the longer decay";
  EXPECT_EQ(outside, 0);
}

TEST(Kt412Snapshot, BadArgumentsExitWith2OnOneLine) {
  ScratchDir dir;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"snapshot", "--scale", "3"}, {"snapshot", "--bogus"}, {"snapshot", "-o"},
        {"snapshot", "--preset", "missing.qipreset"}, {"snapshot", "-o", "no/such/folder/x.png"}}) {
    CliRun r = Kt412(dir, args);
    EXPECT_EQ(r.status, 2) << args[1];
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.rfind("kt412: error: ", 0), 0u) << r.err;
  }
}

TEST(Kt412Presets, AFreshMachineGetsTheFactoryFolderListed) {
  ScratchDir dir;
  CliRun r = Kt412(dir, {"presets"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string folder = dir / "home/.local/share/" + kPresetDirName;
  EXPECT_EQ(r.out.rfind("Preset folder: " + folder + "\n", 0), 0u) << r.out;
  // Presets only: the menu's "Save File..." and its separator are no presets.
  EXPECT_NE(r.out.find("\nFactory Presets/\n  "), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Save File"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("---"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nUser Presets/\n"), std::string::npos);
  // Sixteen presets or more, each indented under the factory folder.
  size_t presets = 0;
  for (size_t pos = r.out.find("Factory Presets/\n"); (pos = r.out.find("\n  ", pos + 1)) != std::string::npos;) ++presets;
  EXPECT_GE(presets, 16u);

  // KT412_PRESET_DIR and --preset-dir choose other folders.
  r = Kt412(dir, {"presets"}, "KT412_PRESET_DIR=" + Quote(dir / "env"));
  EXPECT_EQ(r.out.rfind("Preset folder: " + dir / "env/\n", 0), 0u) << r.out;
  r = Kt412(dir, {"presets", "--preset-dir", dir / "opt"});
  EXPECT_EQ(r.out.rfind("Preset folder: " + dir / "opt/\n", 0), 0u) << r.out;
  EXPECT_EQ(Kt412(dir, {"presets", "--what"}).status, 2);
}

TEST(Kt412RenderPresets, APresetFileChangesTheSoundAndRendersNeverReadTheUsersFolder) {
  ScratchDir dir;
  ASSERT_EQ(Kt412(dir, {"presets"}).status, 0);  // seeds the user folder
  const std::string factory = dir / "home/.local/share/" + kPresetDirName + "Factory Presets/";
  ASSERT_EQ(Kt412(dir, {"render", "-o", "plain.wav"}).status, 0);
  CliRun r = Kt412(dir, {"render", "-o", "long.wav", "--preset", factory + "Long Sub Kick.qipreset"});
  ASSERT_EQ(r.status, 0) << r.err;
  Wav plain = ReadWav(dir / "plain.wav"), withPreset = ReadWav(dir / "long.wav");
  ASSERT_EQ(plain.left.size(), withPreset.left.size());
  EXPECT_FALSE(plain.left == withPreset.left);

  // With a user folder full of presets a plain render is still the default sound...
  ASSERT_EQ(Kt412(dir, {"render", "-o", "again.wav"}).status, 0);
  EXPECT_TRUE(ReadWav(dir / "again.wav").left == plain.left);
  // ...and --set after --preset wins.
  r = Kt412(dir, {"render", "--preset", factory + "Long Sub Kick.qipreset", "--set", "Decay=0.1234", "--list-params"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("0.1234"), std::string::npos) << r.out;

  // --preset-dir constructs as a host does: the first factory preset is loaded.
  r = Kt412(dir, {"render", "-o", "host.wav", "--preset-dir", dir / "fresh"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Exists(dir / "fresh/Factory Presets"));
  EXPECT_FALSE(ReadWav(dir / "host.wav").left == plain.left);
}

TEST(Kt412RenderPresets, AMissingOrUnreadablePresetExitsWith2) {
  ScratchDir dir;
  WriteFile(dir / "junk.qipreset", "this is not a preset\n");
  for (const std::string& preset : {dir / "missing.qipreset", dir.Path(), dir / "junk.qipreset"}) {
    CliRun r = Kt412(dir, {"render", "-o", "out.wav", "--preset", preset});
    EXPECT_EQ(r.status, 2) << preset;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(Exists(dir / "out.wav"));
  }
}

#endif  // KT412_EXE
