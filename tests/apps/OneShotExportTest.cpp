// One-shots (their end against the measured tail), kt412 export (files,
// SFZ kits parsed back, broken presets) and batch renders against single ones.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include "ExportCommand.h"
#include "OneShot.h"
#include "Progress.h"
#include "RenderCommand.h"
#include "RenderTestUtil.h"
#include "instrument/InstrumentResources.h"
#include "instrument/QiKt412.h"

using namespace rendertest;

namespace {

std::string FactoryPresetText(const std::string& name) {
  const BuiltInResource* r = FindBuiltInResource("resources/presets/Factory Presets/" + name + ".qipreset");
  return r ? std::string(reinterpret_cast<const char*>(r->data), r->size) : std::string();
}

// A one-shot of the preset (or the defaults when none) through a fresh instrument.
OneShot Shot(const std::string& presetPath, const OneShotSpec& spec) {
  QiKt412 plug(std::string{});
  plug.SetSampleRate(48000);
  plug.SetBlockSize(512);
  plug.Reset();
  plug.OnParamReset();
  std::string error;
  if (!presetPath.empty()) {
    EXPECT_TRUE(LoadPresetOption(plug, presetPath, &error)) << error;
  }
  OneShot shot;
  EXPECT_TRUE(RenderOneShot(plug, 48000, 512, spec, &shot, &error)) << error;
  return shot;
}

// One region of an SFZ file as a sampler reads it.
struct Region {
  int key = -1, lovel = -1, hivel = -1;
  std::string sample;
};

std::vector<Region> ParseSfz(const std::string& text) {
  std::vector<Region> regions;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("<region>", 0) != 0) continue;
    Region r;
    // sample= runs to the end of the line (file names hold spaces).
    const size_t at = line.find("sample=");
    if (at != std::string::npos) r.sample = line.substr(at + 7);
    std::istringstream words(line.substr(8, at == std::string::npos ? std::string::npos : at - 8));
    std::string w;
    while (words >> w) {
      const size_t eq = w.find('=');
      const std::string key = w.substr(0, eq);
      const int value = std::stoi(w.substr(eq + 1));
      if (key == "key") r.key = value;
      else if (key == "lovel") r.lovel = value;
      else if (key == "hivel") r.hivel = value;
      else ADD_FAILURE() << "opcode " << key << " in " << line;
    }
    regions.push_back(r);
  }
  return regions;
}

}  // namespace

TEST(OneShotEnd, FoundOnCraftedTails) {
  const float floor = OneShotFloor();
  struct Case {
    const char* what;
    std::vector<float> left;  // right = left
    int64_t audible, fade;
  };
  std::vector<float> longTail(1000, floor * 0.5f);
  longTail[10] = 0.5f;
  std::vector<float> atFloor(300, 0.0f);
  atFloor[299 - 100] = floor;
  const Case cases[] = {
      {"silence: only a fade of silence", std::vector<float>(500, 0.0f), 0, 240},
      {"a hit with a long quiet tail", longTail, 11, 240},
      {"the floor itself counts as sound", atFloor, 200, 100},
      {"audible to the last frame", std::vector<float>(50, 0.1f), 50, 0},
  };
  for (const Case& c : cases) {
    std::vector<float> stereo;
    for (float x : c.left) stereo.insert(stereo.end(), {x, x});
    const OneShotEnd end = FindOneShotEnd(stereo, 48000, floor);
    EXPECT_EQ(end.audibleFrames, c.audible) << c.what;
    EXPECT_EQ(end.fadeFrames, c.fade) << c.what;
    TrimOneShot(&stereo, end);
    ASSERT_EQ(stereo.size(), static_cast<size_t>(2 * (c.audible + c.fade))) << c.what;
    for (int64_t f = 0; f < c.audible; ++f) ASSERT_EQ(stereo[2 * f], c.left[f]) << c.what;
    if (c.fade > 0) {
      EXPECT_EQ(stereo.back(), 0.0f) << c.what;
    }
  }
}

// The automatic end against the tail measured in a long render of the same
// hit: every audible sample kept as it was, the end right after the last one,
// at most 5 ms of the silent tail after it, faded, never louder than it was.
TEST(OneShotEnd, AutomaticLengthEndsWhereTheMeasuredTailFallsSilent) {
  ScratchDir dir;
  WriteFile(dir / "blip.qipreset", FactoryPresetText("Short Blip"));
  WriteFile(dir / "long.qipreset", FactoryPresetText("Boomy Long Tail"));
  struct Case {
    std::string preset;
    int velocity;
    bool normalize;
  };
  const Case cases[] = {{dir / "blip.qipreset", 127, false},
                        {dir / "long.qipreset", 30, false},
                        {dir / "long.qipreset", 100, true},
                        {"", 64, false}};
  const double floor = std::pow(10.0, -90.0 / 20.0);
  std::vector<int64_t> lengths;
  for (const Case& c : cases) {
    OneShotSpec spec;
    spec.velocity = c.velocity;
    spec.normalize = c.normalize;
    const OneShot shot = Shot(c.preset, spec);
    spec.lengthSeconds = kOneShotMaxSeconds;
    const OneShot whole = Shot(c.preset, spec);
    ASSERT_EQ(whole.frames, 480000);
    int64_t last = -1;
    for (int64_t f = 0; f < whole.frames; ++f)
      if (std::fabs(whole.samples[2 * f]) >= floor) last = f;
    ASSERT_GT(last, 0) << c.preset;
    EXPECT_EQ(shot.audibleFrames, last + 1) << c.preset;
    EXPECT_EQ(shot.frames, last + 1 + 240) << c.preset;
    for (int64_t i = 0; i < 2 * (last + 1); ++i) ASSERT_EQ(shot.samples[i], whole.samples[i]) << c.preset << " " << i;
    for (int64_t i = 2 * (last + 1); i < 2 * shot.frames; ++i) {
      ASSERT_LE(std::fabs(shot.samples[i]), std::fabs(whole.samples[i])) << c.preset;
      ASSERT_LT(std::fabs(shot.samples[i]), floor) << c.preset;
    }
    if (c.normalize) {
      EXPECT_NEAR(20.0 * std::log10(shot.peak), -0.3, 0.01);
    }
    lengths.push_back(shot.frames);
  }
  // A short blip is short and a long tail long.
  EXPECT_LT(lengths[0], 48000 / 5);
  EXPECT_GT(lengths[1], 48000);
}

#ifdef KT412_EXE

TEST(OneShotCli, RendersOneHitNamedAfterItsNoteAndVelocityAndReportsTheGain) {
  ScratchDir dir;
  ASSERT_EQ(RunInDir(dir, "", KT412_EXE, {"render", "--note", "36", "--velocity", "100"}).status, 0);
  const Wav w = ReadWav(dir / "kt412-36-v100.wav");
  EXPECT_GT(w.left.size(), 4800u);
  EXPECT_LT(w.left.size(), 48000u * 3);
  CliRun r = RunInDir(dir, "", KT412_EXE, {"render", "--note", "36", "--normalize", "-6", "-o", "n.wav"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("peak -6.00 dBFS, normalized by +"), std::string::npos) << r.out;
  r = RunInDir(dir, "", KT412_EXE, {"render", "--note", "36", "--length", "0.25", "-o", "q.wav"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadWav(dir / "q.wav").left.size(), 12000u);
}

// Several MIDI files at once, on every core: file for file what single renders write.
TEST(RenderBatch, EachFileEqualsItsSingleRender) {
  ScratchDir dir;
  WriteFile(dir / "a.mid", SmfBuilder().Event(0, 0x90, 33, 100).Event(480, 0x90, 40, 60).Bytes());
  WriteFile(dir / "b.mid", SmfBuilder().Event(100, 0x99, 36, 127).Event(960, 0x80, 36, 0).Bytes());
  WriteFile(dir / "c.mid", SmfBuilder().Event(0, 0xB0, 0, 127).Event(10, 0x90, 33, 20).Bytes());
  CliRun r = RunInDir(dir, "", KT412_EXE, {"render", "a.mid", "b.mid", "c.mid", "-f", "24", "-o", "out"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");  // no progress when standard error is not a terminal
  // Summaries in the order of the inputs, whichever finished first.
  const size_t a = r.out.find("wrote out/a.wav"), b = r.out.find("wrote out/b.wav"), c = r.out.find("wrote out/c.wav");
  EXPECT_TRUE(a < b && b < c && c != std::string::npos) << r.out;
  for (const char* name : {"a", "b", "c"}) {
    const std::string single = std::string(name) + ".wav";
    ASSERT_EQ(RunInDir(dir, "", KT412_EXE, {"render", std::string(name) + ".mid", "-f", "24"}).status, 0);
    const std::string batch = ReadFile(dir / ("out/" + single));
    EXPECT_FALSE(batch.empty()) << name;
    EXPECT_EQ(batch, ReadFile(dir / single)) << name;
  }
  // A missing input is reported; the others are still written.
  r = RunInDir(dir, "", KT412_EXE, {"render", "a.mid", "missing.mid", "-o", "more"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("missing.mid"), std::string::npos);
  EXPECT_TRUE(Exists(dir / "more/a.wav"));
  // Two inputs that would write one file are refused before anything is rendered.
  r = RunInDir(dir, "", KT412_EXE, {"render", "a.mid", "./a.mid", "-o", "twice"});
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(Exists(dir / "twice/a.wav"));
}

// An export with a broken preset among good ones: the good ones are
// exported, the broken one reported, the exit status says not everything
// was; every SFZ region, read back, names a file that is there, for its key
// and velocity layer; and an exported file is the one kt412 render writes.
TEST(Export, KitsOfTheGoodPresetsAndABrokenOneReported) {
  ScratchDir dir;
  std::filesystem::create_directories(dir / "presets/more");
  WriteFile(dir / "presets/Short Blip.qipreset", FactoryPresetText("Short Blip"));
  WriteFile(dir / "presets/more/Deep Thud.qipreset", FactoryPresetText("Deep Thud"));
  WriteFile(dir / "presets/Broken.qipreset", "this is no preset\n");
  ExportOptions opts;
  opts.presets = {dir / "presets"};
  opts.notes = {36, 38};
  opts.velocities = {40, 100};
  opts.sfz = true;
  opts.outputDir = dir / "pack";
  std::ostringstream out, err;
  EXPECT_EQ(RunExport(opts, out, err, false), 1);
  EXPECT_NE(err.str().find("Broken: preset '" + (dir / "presets/Broken.qipreset") + "' holds no NAME=VALUE line"),
            std::string::npos)
      << err.str();
  EXPECT_NE(out.str().find("exported 8 one-shots of 2 of 3 presets"), std::string::npos) << out.str();
  EXPECT_FALSE(Exists(dir / "pack/Broken/Broken.sfz"));
  const std::string readme = ReadFile(dir / "pack/README.txt");
  EXPECT_NE(readme.find("Deep Thud 38 v100.wav"), std::string::npos);
  EXPECT_NE(readme.find("NOT EXPORTED"), std::string::npos);

  for (const std::string preset : {"Short Blip", "Deep Thud"}) {
    const std::vector<Region> regions = ParseSfz(ReadFile(dir / ("pack/" + preset + "/" + preset + ".sfz")));
    ASSERT_EQ(regions.size(), 4u) << preset;
    std::map<std::pair<int, int>, int> layers;  // (key, lovel) -> hivel
    for (const Region& r : regions) {
      const std::string file = dir / ("pack/" + preset + "/" + r.sample);
      EXPECT_TRUE(Exists(file)) << file;
      EXPECT_EQ(r.sample.rfind(preset + " " + std::to_string(r.key) + " v", 0), 0u) << r.sample;
      EXPECT_EQ(ReadWav(file).rate, 48000) << file;
      layers[{r.key, r.lovel}] = r.hivel;
      // Each file plays in the layer of its own velocity.
      const int velocity = std::stoi(r.sample.substr(r.sample.rfind(" v") + 2));
      EXPECT_TRUE(r.lovel <= velocity && velocity <= r.hivel) << r.sample;
    }
    const std::map<std::pair<int, int>, int> expected = {
        {{36, 1}, 40}, {{36, 41}, 127}, {{38, 1}, 40}, {{38, 41}, 127}};
    EXPECT_EQ(layers, expected) << preset;
  }

  ASSERT_EQ(RunInDir(dir, "", KT412_EXE,
                     {"render", "--preset", "presets/more/Deep Thud.qipreset", "--note", "38", "--velocity", "40",
                      "-f", "24", "-o", "single.wav"})
                .status,
            0);
  EXPECT_EQ(ReadFile(dir / "single.wav"), ReadFile(dir / "pack/Deep Thud/Deep Thud 38 v40.wav"));
}

#endif  // KT412_EXE

TEST(Export, OptionsAndTheFactoryPresetsByDefault) {
  ExportOptions opts;
  std::string error;
  ASSERT_TRUE(ParseExportArgs({"--presets", "a.qipreset", "dir", "--notes=36,35", "--sfz", "-f", "16", "-o", "p"},
                              &opts, &error))
      << error;
  EXPECT_EQ(opts.presets, (std::vector<std::string>{"a.qipreset", "dir"}));
  EXPECT_EQ(opts.notes, (std::vector<int>{35, 36}));
  EXPECT_EQ(opts.velocities, (std::vector<int>{32, 64, 96, 127}));
  EXPECT_EQ(opts.format, WavSampleFormat::kPcm16);
  EXPECT_TRUE(opts.sfz);
  ExportOptions bad;
  EXPECT_FALSE(ParseExportArgs({"--sfz"}, &bad, &error));
  EXPECT_EQ(error, "no output folder (give -o FOLDER)");
  EXPECT_FALSE(ParseExportArgs({"stray", "-o", "p"}, &bad, &error));
  EXPECT_EQ(error, "unexpected 'stray' (preset files and folders follow --presets)");
  EXPECT_FALSE(ParseExportArgs({"-o", "p", "--presets", "--sfz"}, &bad, &error));
  EXPECT_EQ(error, "--presets needs preset files or folders");

  std::vector<ExportPreset> presets;
  ASSERT_TRUE(CollectExportPresets(ExportOptions(), &presets, &error)) << error;
  ASSERT_EQ(presets.size(), 20u);
  EXPECT_EQ(presets.front().name, "Basic Kick");
  ScratchDir dir;
  WriteFile(dir / "x.qipreset", "Pitch=0.5\n");
  std::filesystem::create_directories(dir / "sub");
  WriteFile(dir / "sub/x.qipreset", "Pitch=0.5\n");
  opts.presets = {dir.Path()};
  EXPECT_FALSE(CollectExportPresets(opts, &presets, &error));
  EXPECT_NE(error.find("two presets are called 'x'"), std::string::npos) << error;
  opts.presets = {dir / "none"};
  EXPECT_FALSE(CollectExportPresets(opts, &presets, &error));
  EXPECT_EQ(error, "preset '" + (dir / "none") + "' does not exist");
}

TEST(Progress, RewritesOneLineWhenEnabledAndPrintsNothingOtherwise) {
  std::ostringstream shown, quiet;
  {
    Progress bar(shown, true, 3);
    Progress off(quiet, false, 3);
    bar.Step("Deep Thud 36 v127.wav");
    bar.Step("x");
    off.Step("x");
  }
  // The shorter line blanks the rest of the longer one; the end clears the line.
  EXPECT_EQ(shown.str(), "\r[1/3] Deep Thud 36 v127.wav\r[2/3] x" + std::string(20, ' ') + "\r" +
                             std::string(7, ' ') + "\r");
  EXPECT_EQ(quiet.str(), "");
}
