// The render command in-process: option parsing, parameter settings, state
// files, the demo pattern and MIDI learn from a file.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstring>
#include <iomanip>
#include <limits>
#include <sstream>

#include "NumberList.h"
#include "ParamOptions.h"
#include "RenderCommand.h"
#include "RenderTestUtil.h"
#include "instrument/QiKt412.h"

using namespace rendertest;

namespace {

bool Parse(const std::vector<std::string>& args, RenderOptions* opts, std::string* error) {
  *opts = RenderOptions();
  return ParseRenderArgs(args, opts, error);
}

std::string ParseError(const std::vector<std::string>& args) {
  RenderOptions opts;
  std::string error;
  EXPECT_FALSE(Parse(args, &opts, &error)) << args.front();
  EXPECT_EQ(error.find('\n'), std::string::npos);
  return error;
}

void Prepared(QiKt412& plug) {
  plug.SetSampleRate(48000);
  plug.SetBlockSize(512);
  plug.Reset();
  plug.OnParamReset();
}

std::string StateBytes(const std::vector<double>& values) {
  std::string s(values.size() * 8, '\0');
  std::memcpy(s.data(), values.data(), s.size());  // x86-64: little-endian doubles
  return s;
}

std::vector<double> Defaults() {
  QiKt412 plug;
  std::vector<double> v;
  for (int i = 0; i < plug.NParams(); ++i) v.push_back(plug.GetParam(i)->GetDefault());
  return v;
}

}  // namespace

TEST(RenderArgs, DefaultsAreTheDemoAt48kHzIn512FrameBlocksAsFloat) {
  RenderOptions opts;
  std::string error;
  ASSERT_TRUE(Parse({}, &opts, &error));
  EXPECT_EQ(opts.inputPath, "");
  EXPECT_EQ(opts.outputPath, "");
  EXPECT_EQ(opts.sampleRate, 48000);
  EXPECT_EQ(opts.blockSize, 512);
  EXPECT_EQ(opts.format, WavSampleFormat::kFloat32);
  EXPECT_FALSE(opts.listParams);
}

TEST(RenderArgs, EveryOptionInShortLongAndInlineForm) {
  RenderOptions opts;
  std::string error;
  ASSERT_TRUE(Parse({"-o", "x.wav", "-r", "44100", "-b", "64", "-f", "16", "song.mid", "--set",
                     "Decay=0.9", "--set=Pitch=-5", "--learn", "7=Decay", "--state", "in.bin",
                     "--save-state=out.bin", "--list-params"},
                    &opts, &error))
      << error;
  EXPECT_EQ(opts.outputPath, "x.wav");
  EXPECT_EQ(opts.sampleRate, 44100);
  EXPECT_EQ(opts.blockSize, 64);
  EXPECT_EQ(opts.format, WavSampleFormat::kPcm16);
  EXPECT_EQ(opts.inputPath, "song.mid");
  EXPECT_EQ(opts.settings, (std::vector<std::string>{"Decay=0.9", "Pitch=-5"}));
  EXPECT_EQ(opts.learns, (std::vector<std::string>{"7=Decay"}));
  EXPECT_EQ(opts.stateIn, "in.bin");
  EXPECT_EQ(opts.stateOut, "out.bin");
  EXPECT_TRUE(opts.listParams);

  ASSERT_TRUE(Parse({"--output=y.wav", "--rate=8000", "--block=8192", "--format=24", "--", "-odd.mid"}, &opts, &error));
  EXPECT_EQ(opts.outputPath, "y.wav");
  EXPECT_EQ(opts.sampleRate, 8000);
  EXPECT_EQ(opts.blockSize, 8192);
  EXPECT_EQ(opts.format, WavSampleFormat::kPcm24);
  EXPECT_EQ(opts.inputPath, "-odd.mid");
}

TEST(RenderArgs, SampleRateAndBlockSizeLimits) {
  EXPECT_EQ(ParseError({"-r", "7999"}), "sample rate 7999 is outside 8000..384000");
  EXPECT_EQ(ParseError({"-r", "384001"}), "sample rate 384001 is outside 8000..384000");
  EXPECT_EQ(ParseError({"-r", "48k"}), "sample rate '48k' is not a whole number");
  EXPECT_EQ(ParseError({"-b", "0"}), "block size 0 is outside 1..8192");
  EXPECT_EQ(ParseError({"-b", "8193"}), "block size 8193 is outside 1..8192");
  EXPECT_EQ(ParseError({"-b", "99999999999999999999"}), "block size '99999999999999999999' is not a whole number");
}

TEST(RenderArgs, UnknownOptionsMissingValuesAndSecondInputs) {
  EXPECT_EQ(ParseError({"--loud"}), "unknown option '--loud' (see kt412 render --help)");
  EXPECT_EQ(ParseError({"-x"}), "unknown option '-x' (see kt412 render --help)");
  EXPECT_EQ(ParseError({"-o"}), "option -o needs a value");
  EXPECT_EQ(ParseError({"--set"}), "option --set needs a value");
  EXPECT_EQ(ParseError({"--output="}), "option --output needs a path");
  EXPECT_EQ(ParseError({"--help=yes"}), "option --help takes no value");
  EXPECT_EQ(ParseError({"-f", "8"}), "unknown sample format '8' (use float, 16 or 24)");
  EXPECT_EQ(ParseError({"a.mid", "b.mid", "--save-state", "s"}),
            "--save-state goes with a single render, not with several inputs");
}

TEST(RenderArgs, OneShotsBatchesAndFilters) {
  RenderOptions opts;
  std::string error;
  ASSERT_TRUE(Parse({"a.mid", "b.mid", "c.mid", "--notes", "35,36,40-42", "--channel", "10"}, &opts, &error))
      << error;
  EXPECT_EQ(opts.inputs, (std::vector<std::string>{"a.mid", "b.mid", "c.mid"}));
  EXPECT_EQ(opts.inputPath, "a.mid");
  EXPECT_EQ(opts.notes, (std::vector<int>{35, 36, 40, 41, 42}));
  EXPECT_EQ(opts.channel, 10);
  ASSERT_TRUE(Parse({"--note", "36", "--velocity=90", "--length", "1.5", "--normalize"}, &opts, &error)) << error;
  EXPECT_EQ(opts.note, 36);
  EXPECT_EQ(opts.velocity, 90);
  EXPECT_EQ(opts.lengthSeconds, 1.5);
  EXPECT_TRUE(opts.normalize);
  EXPECT_EQ(opts.normalizeDb, -0.3);
  // The level after --normalize is optional: a number that follows is taken.
  ASSERT_TRUE(Parse({"--note", "36", "--normalize", "-6", "--length=auto"}, &opts, &error)) << error;
  EXPECT_EQ(opts.normalizeDb, -6.0);
  EXPECT_EQ(opts.lengthSeconds, 0.0);

  EXPECT_EQ(ParseError({"--note", "128"}), "note 128 is outside 0..127");
  EXPECT_EQ(ParseError({"--note", "36", "--velocity", "0"}), "velocity 0 is outside 1..127");
  EXPECT_EQ(ParseError({"--note", "36", "--length", "0"}),
            "length '0' is neither auto nor a number of seconds above 0 and up to 10");
  EXPECT_EQ(ParseError({"--note", "36", "--normalize=1"}), "normalize level '1' is not a number of dBFS within -60..0");
  EXPECT_EQ(ParseError({"--note", "36", "x.mid"}), "--note renders one hit without a MIDI file; leave out 'x.mid'");
  EXPECT_EQ(ParseError({"--note", "36", "--normalize", "--gain", "3"}),
            "--normalize sets the level itself; leave out --gain");
  EXPECT_EQ(ParseError({"--note", "36", "--notes", "36"}), "--notes and --channel filter MIDI, not a --note hit");
  EXPECT_EQ(ParseError({"--length", "2"}), "--velocity, --length and --normalize belong to a --note hit");
  EXPECT_EQ(ParseError({"--channel", "17"}), "channel 17 is outside 1..16");
}

TEST(RenderArgs, NumberLists) {
  struct Case {
    const char* text;
    std::vector<int> list;  // empty: refused with the message
    const char* message;
  };
  const Case cases[] = {
      {"36", {36}, ""},
      {"35,36", {35, 36}, ""},
      {"40-42,36,41", {40, 41, 42, 36}, ""},
      {"0-0,127", {0, 127}, ""},
      {"", {}, "note list '': '' is not a number or a range A-B"},
      {"36,", {}, "note list '36,': '' is not a number or a range A-B"},
      {"C1", {}, "note list 'C1': 'C1' is not a number or a range A-B"},
      {"-5", {}, "note list '-5': '-5' is not a number or a range A-B"},
      {"120-130", {}, "note list '120-130': 120-130 is outside 0..127"},
      {"42-40", {}, "note list '42-40': the range 42-40 runs down"},
  };
  for (const Case& c : cases) {
    std::vector<int> list;
    std::string error;
    const bool ok = ParseNumberList("note", c.text, 0, 127, &list, &error);
    EXPECT_EQ(ok, !c.list.empty()) << c.text;
    EXPECT_EQ(list, c.list) << c.text;
    EXPECT_EQ(error, c.message) << c.text;
  }
}

TEST(RenderArgs, GainIsANumberOfDbWithinItsRange) {
  RenderOptions opts;
  std::string error;
  ASSERT_TRUE(Parse({"--gain", "-6.5"}, &opts, &error)) << error;
  EXPECT_EQ(opts.gainDb, -6.5);
  ASSERT_TRUE(Parse({"--gain=24"}, &opts, &error)) << error;
  EXPECT_EQ(opts.gainDb, 24.0);
  ASSERT_TRUE(Parse({"-g", "-60"}, &opts, &error)) << error;
  EXPECT_EQ(opts.gainDb, -60.0);
  ASSERT_TRUE(Parse({}, &opts, &error));
  EXPECT_EQ(opts.gainDb, 0.0);
  EXPECT_EQ(ParseError({"--gain", "24.01"}), "gain 24.01 dB is outside -60..24 dB");
  EXPECT_EQ(ParseError({"--gain=-61"}), "gain -61 dB is outside -60..24 dB");
  for (const char* bad : {"loud", "3dB", "", "nan", "inf", "-inf", "1e999"})
    EXPECT_EQ(ParseError({"--gain", bad}), std::string("gain '") + bad + "' is not a number of dB");
  EXPECT_EQ(ParseError({"--gain"}), "option --gain needs a value");
}

TEST(RenderArgs, DefaultOutputIsNamedAfterTheInputInTheCurrentFolder) {
  EXPECT_EQ(DefaultOutputPath(""), "kt412-demo.wav");
  EXPECT_EQ(DefaultOutputPath("songs/beat.mid"), "beat.wav");
  EXPECT_EQ(DefaultOutputPath("/abs/path/groove.midi"), "groove.wav");
  EXPECT_EQ(DefaultOutputPath("noext"), "noext.wav");
}

TEST(RenderParams, SetTakesPlainValuesInTheParametersUnits) {
  QiKt412 plug;
  Prepared(plug);
  std::string error;
  ASSERT_TRUE(ApplyParamSetting(plug, "Decay=0.9", &error)) << error;
  EXPECT_EQ(plug.GetParam(kDecay)->Value(), 0.9);
  plug.Reset();  // no render runs yet: the change waits for the next block or a reset
  EXPECT_NEAR(plug.Voice().getAmpEnv().getDecay(), 0.01551 + 0.33 * 0.9, 5e-8);  // reached the voice
  ASSERT_TRUE(ApplyParamSetting(plug, "pitch=-5", &error)) << error;  // case does not matter
  EXPECT_EQ(plug.GetParam(kPitch)->Value(), -5.0);
  ASSERT_TRUE(ApplyParamSetting(plug, "MidiTuneFlag=on", &error)) << error;
  EXPECT_EQ(plug.GetParam(kMidiTuneFlag)->Value(), 1.0);
  ASSERT_TRUE(ApplyParamSetting(plug, "MidiTuneFlag=0", &error)) << error;
  EXPECT_EQ(plug.GetParam(kMidiTuneFlag)->Value(), 0.0);
  ASSERT_TRUE(ApplyParamSetting(plug, "Pitch=12", &error)) << error;
  ASSERT_TRUE(ApplyParamSetting(plug, "Pitch=-12", &error)) << error;
}

TEST(RenderParams, SetRefusesUnknownNamesOutOfRangeValuesAndNonNumbers) {
  QiKt412 plug;
  Prepared(plug);
  std::string error;
  EXPECT_FALSE(ApplyParamSetting(plug, "Volume=1", &error));
  EXPECT_EQ(error, "unknown parameter 'Volume' (see --list-params)");
  EXPECT_FALSE(ApplyParamSetting(plug, "Decay=1.5", &error));
  EXPECT_EQ(error, "value 1.5 for Decay is out of range 0..1");
  EXPECT_FALSE(ApplyParamSetting(plug, "Pitch=-12.5", &error));
  EXPECT_EQ(error, "value -12.5 for Pitch is out of range -12..12");
  for (const char* bad : {"Decay=abc", "Decay=", "Decay=0.5x", "Decay=nan", "Decay=inf", "Decay=1e999"}) {
    EXPECT_FALSE(ApplyParamSetting(plug, bad, &error)) << bad;
    EXPECT_NE(error.find("is not a number (for Decay)"), std::string::npos) << bad << ": " << error;
  }
  EXPECT_FALSE(ApplyParamSetting(plug, "MidiTuneFlag=0.5", &error));
  EXPECT_EQ(error, "MidiTuneFlag takes a whole number (0..1) or off/on");
  EXPECT_FALSE(ApplyParamSetting(plug, "Decay", &error));
  EXPECT_EQ(error, "--set needs NAME=VALUE, got 'Decay'");
  EXPECT_FALSE(ApplyParamSetting(plug, "=3", &error));
  // Nothing was changed by the refused settings.
  for (int i = 0; i < plug.NParams(); ++i) EXPECT_EQ(plug.GetParam(i)->Value(), plug.GetParam(i)->GetDefault()) << i;
}

TEST(RenderParams, ListShowsIndexNameRangeDefaultCurrentValueAndLabel) {
  QiKt412 plug;
  Prepared(plug);
  std::string error;
  ASSERT_TRUE(ApplyParamSetting(plug, "Decay=0.9", &error));
  ASSERT_TRUE(ApplyParamSetting(plug, "Learn=on", &error));
  std::ostringstream out;
  ListParams(plug, out);
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(out.str());
  while (std::getline(in, line)) lines.push_back(line);
  ASSERT_EQ(lines.size(), 18u);  // heading and 17 parameters
  auto words = [](const std::string& l) {
    std::istringstream s(l);
    std::vector<std::string> w;
    std::string x;
    while (s >> x) w.push_back(x);
    return w;
  };
  EXPECT_EQ(words(lines[1]), (std::vector<std::string>{"0", "Pitch", "-12..12", "0", "0"}));
  EXPECT_EQ(words(lines[3]), (std::vector<std::string>{"2", "Decay", "0..1", "0.5000", "0.9000"}));
  EXPECT_EQ(words(lines[12]), (std::vector<std::string>{"11", "Learn", "0..1", "off", "on"}));
  EXPECT_EQ(words(lines[15]), (std::vector<std::string>{"14", "Led", "0..1", "0", "0"}));
}

TEST(RenderState, SavedStateLoadsBackBitForBit) {
  ScratchDir dir;
  QiKt412 a;
  Prepared(a);
  std::string error;
  ASSERT_TRUE(ApplyParamSetting(a, "Decay=0.123456789", &error));
  ASSERT_TRUE(ApplyParamSetting(a, "Pitch=-5.5", &error));
  ASSERT_TRUE(a.BindController(74, kDecay));
  ASSERT_TRUE(SaveStateFile(a, dir / "s.bin", &error)) << error;
  EXPECT_EQ(ReadFile(dir / "s.bin").size(), 136u + 4u + 17u);

  QiKt412 b;
  Prepared(b);
  ASSERT_TRUE(LoadStateFile(b, dir / "s.bin", &error)) << error;
  for (int i = 0; i < a.NParams(); ++i) {
    EXPECT_EQ(b.GetParam(i)->Value(), a.GetParam(i)->Value()) << i;
    EXPECT_EQ(b.BoundController(i), a.BoundController(i)) << i;
  }
  EXPECT_EQ(b.Voice().getAmpEnv().getDecay(), a.Voice().getAmpEnv().getDecay());

  // A file of the 17 values alone, as written before the bindings were kept,
  // sets the values and leaves the bindings as they are.
  WriteFile(dir / "old.bin", ReadFile(dir / "s.bin").substr(0, 136));
  QiKt412 c;
  Prepared(c);
  ASSERT_TRUE(c.BindController(20, kPitch));
  ASSERT_TRUE(LoadStateFile(c, dir / "old.bin", &error)) << error;
  EXPECT_EQ(c.GetParam(kDecay)->Value(), a.GetParam(kDecay)->Value());
  EXPECT_EQ(c.BoundController(kPitch), 20);
  EXPECT_EQ(c.BoundController(kDecay), 0);
}

TEST(RenderState, FilesThatAreNotAStateAreRefusedAndChangeNothing) {
  ScratchDir dir;
  std::vector<double> good = Defaults();
  good[kDecay] = 0.9;
  std::vector<double> nan = good, inf = good;
  nan[kAccent] = std::numeric_limits<double>::quiet_NaN();
  inf[kPitch] = -std::numeric_limits<double>::infinity();
  struct Case {
    const char* name;
    std::string bytes;
    const char* expect;
  } cases[] = {
      {"empty", "", "it has 0 bytes"},
      {"short", StateBytes(good).substr(0, 64), "it has 64 bytes"},
      {"one short", StateBytes(good).substr(0, 135), "it has 135 bytes"},
      {"long", StateBytes(good) + "x", "it is longer"},
      {"bad table tag", StateBytes(good) + "KTC2" + std::string(17, '\x01'), "it is longer"},
      {"short table", StateBytes(good) + "KTC1" + std::string(16, '\x01'), "MIDI-learn table"},
      {"bad controller", StateBytes(good) + "KTC1" + std::string(16, '\x01') + "\xF9", "entry 16 is -7"},
      {"nan", StateBytes(nan), "value 1 (Accent) is not a finite number"},
      {"inf", StateBytes(inf), "value 0 (Pitch) is not a finite number"},
  };
  for (const Case& c : cases) {
    WriteFile(dir / c.name, c.bytes);
    QiKt412 plug;
    Prepared(plug);
    std::string error;
    EXPECT_FALSE(LoadStateFile(plug, dir / c.name, &error)) << c.name;
    EXPECT_NE(error.find(c.expect), std::string::npos) << c.name << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_EQ(plug.GetParam(kDecay)->Value(), 0.5) << c.name;
  }
  QiKt412 plug;
  std::string error;
  EXPECT_FALSE(LoadStateFile(plug, dir / "missing", &error));
  EXPECT_NE(error.find("cannot read state file"), std::string::npos) << error;
}

TEST(RenderState, SavingIntoAMissingFolderFailsAndLeavesNothing) {
  ScratchDir dir;
  QiKt412 plug;
  std::string error;
  EXPECT_FALSE(SaveStateFile(plug, dir / "no/such/state.bin", &error));
  EXPECT_NE(error.find("cannot write state file"), std::string::npos) << error;
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(RenderDemo, FourBarsOfKicksWithVariedVelocitiesAndVelocityZeroReleases) {
  MidiFileSong song = DemoSong(48000);
  int hits = 0, releases = 0;
  std::vector<int> velocities;
  for (const MidiFileEvent& e : song.events) {
    ASSERT_TRUE(e.IsNoteOn());
    if (e.data2 > 0) {
      ++hits;
      velocities.push_back(e.data2);
    } else {
      ++releases;
    }
  }
  EXPECT_EQ(hits, 17);
  EXPECT_EQ(releases, 17);
  std::sort(velocities.begin(), velocities.end());
  EXPECT_GT(std::unique(velocities.begin(), velocities.end()) - velocities.begin(), 8);
  EXPECT_EQ(song.endFrame, 8 * 48000);
  EXPECT_EQ(song.events.back().frame, static_cast<int64_t>(std::llround((DemoLastHitSeconds() + 0.25) * 48000)));
  for (size_t i = 1; i < song.events.size(); ++i) ASSERT_LE(song.events[i - 1].frame, song.events[i].frame);
}

TEST(RenderRun, DemoRendersTenSecondsOfIdenticalChannelsWithItsPeakReported) {
  ScratchDir dir;
  RenderOptions opts;
  opts.outputPath = dir / "demo.wav";
  std::ostringstream out, err;
  RenderSummary summary;
  ASSERT_EQ(RunRender(opts, out, err, &summary), 0) << err.str();
  Wav w = ReadWav(opts.outputPath);
  ASSERT_EQ(w.channels, 2);
  EXPECT_EQ(w.rate, 48000);
  EXPECT_EQ(w.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
  ASSERT_EQ(w.left.size(), 480000u);
  EXPECT_EQ(w.left, w.right);
  float peak = 0.0f;
  for (float x : w.left) peak = std::max(peak, std::fabs(x));
  EXPECT_EQ(summary.peak, peak);
  EXPECT_GT(peak, 0.1f);
  std::ostringstream expected;
  expected << "kt412: wrote " << opts.outputPath << ": 10.000 s, peak " << std::fixed
           << std::setprecision(2) << 20.0 * std::log10(peak) << " dBFS\n";
  EXPECT_EQ(out.str(), expected.str());
  EXPECT_EQ(err.str(), "");
}

TEST(RenderRun, TheHostsTransportAdvancesOnceByEveryBlock) {
  ScratchDir dir;
  for (int block : {512, 37}) {
    RenderOptions opts;
    opts.outputPath = dir / "demo.wav";
    opts.blockSize = block;
    std::ostringstream out, err;
    RenderSummary summary;
    ASSERT_EQ(RunRender(opts, out, err, &summary), 0) << err.str();
    EXPECT_EQ(summary.hostSamplePos, summary.frames) << block;
  }
}

// --notes and --channel: a filtered file sounds as the file holding only
// what the filter lets through.
TEST(RenderRun, NoteAndChannelFiltersPlayOnlyWhatTheyLetThrough) {
  ScratchDir dir;
  // Kick 36 on channel 10, hi-hat 42 on channel 10, note 36 on channel 1.
  WriteFile(dir / "all.mid", SmfBuilder()
                                 .Event(0, 0x99, 36, 110)
                                 .Event(240, 0x99, 42, 90)
                                 .Event(240, 0x90, 36, 70)
                                 .Event(240, 0x99, 36, 100)
                                 .Event(480, 0x89, 36, 0)
                                 .Bytes());
  WriteFile(dir / "kicks.mid", SmfBuilder()
                                   .Event(0, 0x99, 36, 110)
                                   .Event(480, 0x90, 36, 70)
                                   .Event(240, 0x99, 36, 100)
                                   .Event(480, 0x89, 36, 0)
                                   .Bytes());
  WriteFile(dir / "ch10.mid", SmfBuilder()
                                  .Event(0, 0x99, 36, 110)
                                  .Event(240, 0x99, 42, 90)
                                  .Event(480, 0x99, 36, 100)
                                  .Event(480, 0x89, 36, 0)
                                  .Bytes());
  auto render = [&](const std::string& in, std::vector<int> notes, int channel) {
    RenderOptions opts;
    opts.inputPath = dir / in;
    opts.outputPath = dir / "out.wav";
    opts.notes = notes;
    opts.channel = channel;
    std::ostringstream out, err;
    EXPECT_EQ(RunRender(opts, out, err), 0) << err.str();
    return ReadWav(opts.outputPath).left;
  };
  const std::vector<float> everything = render("all.mid", {}, 0);
  EXPECT_EQ(render("all.mid", {35, 36}, 0), render("kicks.mid", {}, 0));
  EXPECT_EQ(render("all.mid", {}, 10), render("ch10.mid", {}, 0));
  EXPECT_NE(render("all.mid", {35, 36}, 0), everything);
  EXPECT_EQ(render("all.mid", {0, 1, 2}, 16).size(), everything.size());
}

TEST(RenderRun, TheBlockSizeDoesNotChangeTheDemo) {
  ScratchDir dir;
  RenderOptions a, b;
  a.outputPath = dir / "a.wav";
  b.outputPath = dir / "b.wav";
  b.blockSize = 37;
  std::ostringstream out, err;
  ASSERT_EQ(RunRender(a, out, err), 0);
  ASSERT_EQ(RunRender(b, out, err), 0);
  // Samples, not file bytes: the float format's PEAK chunk carries a time stamp.
  Wav wa = ReadWav(a.outputPath), wb = ReadWav(b.outputPath);
  ASSERT_EQ(wa.left.size(), 480000u);
  EXPECT_TRUE(wa.left == wb.left);
}

TEST(RenderRun, LearnedControllersInTheFileMoveTheirParameters) {
  ScratchDir dir;
  // A hit every half second (480 ticks) and controller 74 sweeping from 0 up.
  SmfBuilder smf;
  for (int i = 0; i < 6; ++i) smf.Event(i == 0 ? 0 : 400, 0xB0, 74, static_cast<unsigned char>(i * 25)).Event(80, 0x90, 33, 100);
  WriteFile(dir / "cc.mid", smf.Bytes());

  RenderOptions plain;
  plain.inputPath = dir / "cc.mid";
  plain.outputPath = dir / "plain.wav";
  RenderOptions learnt = plain;
  learnt.outputPath = dir / "learnt.wav";
  learnt.learns = {"74=Decay"};
  std::ostringstream out, err;
  RenderSummary s1, s2;
  ASSERT_EQ(RunRender(plain, out, err, &s1), 0) << err.str();
  ASSERT_EQ(RunRender(learnt, out, err, &s2), 0) << err.str();
  EXPECT_EQ(s1.controllerMoves, 0);
  EXPECT_EQ(s2.controllerMoves, 6);
  EXPECT_NE(ReadWav(plain.outputPath).left, ReadWav(learnt.outputPath).left);
  // The render's length follows the file: last event at 6 x 480 ticks = 3 s, then the tail.
  EXPECT_NEAR(s1.seconds, 3.0 - 400.0 / 960.0 + kTailSeconds, 0.01);
}

TEST(RenderRun, LearnRefusesBadControllersAndParametersThatCannotBeDriven) {
  ScratchDir dir;
  for (auto [binding, expect] : std::vector<std::pair<std::string, std::string>>{
           {"128=Decay", "--learn controller 128 is outside 0..127"},
           {"x=Decay", "--learn needs CC=NAME"},
           {"7=Nope", "unknown parameter 'Nope'"},
           {"7=Learn", "controllers can drive only Pitch .. MidiAccentFlag (0..10), not Learn"}}) {
    RenderOptions opts;
    opts.outputPath = dir / "x.wav";
    opts.learns = {binding};
    std::ostringstream out, err;
    EXPECT_EQ(RunRender(opts, out, err), 2) << binding;
    EXPECT_NE(err.str().find(expect), std::string::npos) << err.str();
    EXPECT_FALSE(Exists(opts.outputPath));
  }
}

namespace {

// A roll of 40 hits 5 ticks (about 5 ms) apart at full velocity: the
// de-click piles the hits far past full scale.
std::string FastRoll() {
  SmfBuilder smf;
  for (int i = 0; i < 40; ++i) smf.Event(i == 0 ? 0 : 5, 0x90, 33, 127);
  return smf.Bytes();
}

int64_t CountOver(const std::vector<float>& v) {
  return std::count_if(v.begin(), v.end(), [](float x) { return std::fabs(x) > 1.0f; });
}

}  // namespace

TEST(RenderRun, IntegerFormatsCountTheSamplesTheyClipAndFloatKeepsTheOvers) {
  ScratchDir dir;
  WriteFile(dir / "roll.mid", FastRoll());
  RenderOptions flt;
  flt.inputPath = dir / "roll.mid";
  flt.outputPath = dir / "roll-float.wav";
  std::ostringstream out, err;
  RenderSummary fs;
  ASSERT_EQ(RunRender(flt, out, err, &fs), 0) << err.str();
  const Wav f = ReadWav(flt.outputPath);
  const int64_t over = CountOver(f.left) + CountOver(f.right);
  ASSERT_GT(over, 100);  // the roll does go past full scale
  EXPECT_GT(fs.peak, 2.0);
  EXPECT_EQ(fs.clippedSamples, 0);  // float keeps them: nothing clipped
  EXPECT_EQ(out.str().find("clipped"), std::string::npos) << out.str();

  for (WavSampleFormat format : {WavSampleFormat::kPcm16, WavSampleFormat::kPcm24}) {
    RenderOptions pcm = flt;
    pcm.format = format;
    pcm.outputPath = dir / "roll-pcm.wav";
    std::ostringstream pout;
    RenderSummary ps;
    ASSERT_EQ(RunRender(pcm, pout, err, &ps), 0) << err.str();
    EXPECT_EQ(ps.clippedSamples, over);
    EXPECT_NE(pout.str().find(", " + std::to_string(over) + " samples clipped (try --gain -"), std::string::npos)
        << pout.str();
    // Every sample over full scale is at full scale in the file.
    const Wav p = ReadWav(pcm.outputPath);
    ASSERT_EQ(p.left.size(), f.left.size());
    for (size_t i = 0; i < f.left.size(); ++i) {
      if (std::fabs(f.left[i]) > 1.0f) {
        ASSERT_GE(std::fabs(p.left[i]), 0.9999f) << i;
      }
    }
  }
}

TEST(RenderRun, GainScalesTheOutputAndTheSuggestedGainStopsTheClipping) {
  ScratchDir dir;
  WriteFile(dir / "roll.mid", FastRoll());
  RenderOptions plain;
  plain.inputPath = dir / "roll.mid";
  plain.outputPath = dir / "plain.wav";
  RenderOptions quieter = plain;
  quieter.outputPath = dir / "quieter.wav";
  quieter.gainDb = -6.0;
  std::ostringstream out, err;
  RenderSummary sp, sq;
  ASSERT_EQ(RunRender(plain, out, err, &sp), 0) << err.str();
  ASSERT_EQ(RunRender(quieter, out, err, &sq), 0) << err.str();
  const Wav a = ReadWav(plain.outputPath), b = ReadWav(quieter.outputPath);
  ASSERT_EQ(a.left.size(), b.left.size());
  const float g = static_cast<float>(std::pow(10.0, -6.0 / 20.0));
  for (size_t i = 0; i < a.left.size(); ++i) ASSERT_EQ(b.left[i], a.left[i] * g) << i;
  EXPECT_NEAR(20.0 * std::log10(sq.peak), 20.0 * std::log10(sp.peak) - 6.0, 1e-4);

  // The 16-bit render names a gain; rendering with it clips nothing.
  RenderOptions pcm = plain;
  pcm.format = WavSampleFormat::kPcm16;
  pcm.outputPath = dir / "pcm.wav";
  std::ostringstream first;
  ASSERT_EQ(RunRender(pcm, first, err), 0) << err.str();
  const std::string line = first.str();
  const size_t at = line.find("--gain ");
  ASSERT_NE(at, std::string::npos) << line;
  pcm.gainDb = std::stod(line.substr(at + 7));
  EXPECT_LT(pcm.gainDb, -6.0);
  std::ostringstream second;
  RenderSummary s2;
  ASSERT_EQ(RunRender(pcm, second, err, &s2), 0) << err.str();
  EXPECT_EQ(s2.clippedSamples, 0);
  EXPECT_LE(s2.peak, 1.0);
  EXPECT_EQ(second.str().find("clipped"), std::string::npos) << second.str();
}
