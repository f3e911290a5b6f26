// The plug-in run by lilv renders what the command-line build renders: the
// same MIDI at the same frames, the same automation, sample for sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <set>

#include <lv2/presets/presets.h>

#include "RenderCommand.h"
#include "apps/RenderTestUtil.h"
#include "instrument/InstrumentResources.h"
#include "instrument/QiKt412.h"
#include "lv2/Lv2Rig.h"

using lv2test::Instance;
using lv2test::UridMap;
using lv2test::World;

namespace {

// A groove with everything the instrument must take at its exact frame:
// hits on several channels and velocities, two hits at one tick, a note-on
// with velocity 0 (a note-off), a note-off, a pitch bend and a controller.
std::string Groove() {
  rendertest::SmfBuilder smf;
  smf.Event(0, 0x90, 33, 100)
      .Event(37, 0x99, 40, 127)
      .Event(0, 0x90, 45, 64)
      .Event(200, 0x80, 45, 0)
      .Event(5, 0xE0, 0, 90)
      .Event(150, 0x90, 38, 0)
      .Event(90, 0xB3, 20, 99)
      .Event(1, 0x93, 30, 1)
      .Event(480, 0x90, 36, 127)
      .Event(333, 0x9F, 33, 80);
  return smf.Bytes();
}

// Renders the events through the plug-in in blocks whose sizes cycle
// through sizes; before each block, hook may set ports and queue events.
std::vector<float> RenderLv2(Instance& inst, const std::vector<MidiFileEvent>& events, int64_t total,
                             const std::vector<int>& sizes,
                             const std::function<void(Instance&, int block, int64_t start)>& hook = nullptr) {
  std::vector<float> out;
  size_t next = 0;
  int block = 0;
  for (int64_t start = 0; start < total; ++block) {
    const int n = static_cast<int>(std::min<int64_t>(sizes[static_cast<size_t>(block) % sizes.size()], total - start));
    if (hook) hook(inst, block, start);
    for (; next < events.size() && events[next].frame < start + n; ++next)
      inst.Midi(events[next].frame - start, events[next].status, events[next].data1, events[next].data2);
    inst.Run(static_cast<uint32_t>(n));
    const std::vector<float>& l = inst.Audio(1);
    const std::vector<float>& r = inst.Audio(2);
    EXPECT_TRUE(std::equal(l.begin(), l.begin() + n, r.begin())) << "both channels carry the same samples";
    out.insert(out.end(), l.begin(), l.begin() + n);
    start += n;
  }
  return out;
}

// The command-line build of the instrument driven the way `kt412 render`
// drives it, with the same hook points as RenderLv2.
struct CliRig {
  QiKt412 plug;
  std::vector<float> left, right;
  CliRig(double rate, int maxBlock) {
    plug.SetSampleRate(rate);
    plug.SetBlockSize(maxBlock);
    plug.Reset();
    plug.OnParamReset();
    left.resize(static_cast<size_t>(maxBlock));
    right.resize(static_cast<size_t>(maxBlock));
    float* outs[2] = {left.data(), right.data()};
    plug.SetOutputChannelConnections(0, 2, true);
    plug.AttachOutputBuffers(0, 2, outs);
  }
  void Set(int idx, double v) {
    plug.GetParam(idx)->Set(v);
    plug.OnParamChange(idx);
  }
  void Midi(int offset, int status, int d1, int d2) {
    IMidiMsg msg(offset, static_cast<unsigned char>(status), static_cast<unsigned char>(d1), static_cast<unsigned char>(d2));
    plug.ProcessMidiMsg(&msg);
  }
  std::vector<float> Render(int64_t total, const std::vector<int>& sizes,
                            const std::function<void(CliRig&, int block, int64_t start)>& hook) {
    std::vector<float> out;
    for (int64_t start = 0, block = 0; start < total; ++block) {
      const int n = static_cast<int>(std::min<int64_t>(sizes[static_cast<size_t>(block) % sizes.size()], total - start));
      if (hook) hook(*this, static_cast<int>(block), start);
      plug.ProcessBuffers(0.0f, n);
      out.insert(out.end(), left.begin(), left.begin() + n);
      start += n;
    }
    return out;
  }
};

// Index of the first differing sample, or -1.
int64_t FirstDifference(const std::vector<float>& a, const std::vector<float>& b) {
  if (a.size() != b.size()) return static_cast<int64_t>(std::min(a.size(), b.size()));
  for (size_t i = 0; i < a.size(); ++i)
    if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return static_cast<int64_t>(i);
  return -1;
}

}  // namespace

class Lv2MatchesRenderCommand : public ::testing::TestWithParam<int> {};

TEST_P(Lv2MatchesRenderCommand, EverySampleForSeveralBlockSizes) {
  const int rate = GetParam();
  rendertest::ScratchDir dir;
  rendertest::WriteFile(dir / "groove.mid", Groove());

  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  MidiFileSong song;
  std::string error;
  ASSERT_TRUE(ReadMidiFile(dir / "groove.mid", rate, &song, &error)) << error;

  for (const std::vector<int>& sizes : std::vector<std::vector<int>>{{64}, {512}, {1, 37, 256, 64, 1000, 3, 4096}}) {
    SCOPED_TRACE("first block size " + std::to_string(sizes[0]));
    // The command renders with a fixed block; a host may change it from call
    // to call, so the plug-in's varying blocks are held against 64-frame ones.
    RenderOptions opts;
    opts.inputPath = dir / "groove.mid";
    opts.outputPath = dir / "groove.wav";
    opts.sampleRate = rate;
    opts.blockSize = sizes.size() == 1 ? sizes[0] : 64;
    std::ostringstream out, err;
    ASSERT_EQ(RunRender(opts, out, err), 0) << err.str();
    const rendertest::Wav wav = rendertest::ReadWav(opts.outputPath);
    ASSERT_EQ(wav.rate, rate);

    UridMap urids;
    Instance inst(world, urids, rate);
    ASSERT_TRUE(inst.Ok());
    const std::vector<float> lv2 = RenderLv2(inst, song.events, static_cast<int64_t>(wav.left.size()), sizes);
    EXPECT_EQ(FirstDifference(lv2, wav.left), -1);
    EXPECT_GT(*std::max_element(lv2.begin(), lv2.end()), 0.1f) << "the groove is heard";
  }
}

INSTANTIATE_TEST_SUITE_P(Rates, Lv2MatchesRenderCommand, ::testing::Values(44100, 48000, 96000));

// Every factory preset of the description, restored by lilv's state API
// into a fresh instance, plays what `kt412 render --preset` of the same file
// plays: the description holds each parameter's plain value, not the file's
// normalised one.
TEST(Lv2Presets, EachFactoryPresetPlaysAsTheRenderCommandLoadsItsFile) {
  rendertest::ScratchDir dir;
  rendertest::WriteFile(dir / "groove.mid", Groove());
  const std::string prefix = "resources/presets/Factory Presets/";
  const std::vector<const BuiltInResource*> files = BuiltInResourcesUnder(prefix);
  ASSERT_GT(files.size(), 10u);

  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  UridMap urids;
  MidiFileSong song;
  std::string error;
  ASSERT_TRUE(ReadMidiFile(dir / "groove.mid", 48000, &song, &error)) << error;
  LilvNode* presetClass = world.Uri(LV2_PRESETS__Preset);
  LilvNodes* presets = lilv_plugin_get_related(world.Plugin(), presetClass);
  lilv_node_free(presetClass);
  std::set<std::string> played;
  LILV_FOREACH (nodes, it, presets) {
    const LilvNode* node = lilv_nodes_get(presets, it);
    lilv_world_load_resource(world.Get(), node);
    LilvState* state = lilv_state_new_from_world(world.Get(), urids.MapFeature(), node);
    ASSERT_NE(state, nullptr);
    const std::string name = lilv_state_get_label(state);
    SCOPED_TRACE(name);
    const BuiltInResource* file = FindBuiltInResource(prefix + name + ".qipreset");
    ASSERT_NE(file, nullptr) << "a preset of the description without a file";
    rendertest::WriteFile(dir / "preset.qipreset", std::string(reinterpret_cast<const char*>(file->data), file->size));

    RenderOptions opts;
    opts.inputPath = dir / "groove.mid";
    opts.outputPath = dir / "groove.wav";
    opts.presetFile = dir / "preset.qipreset";
    opts.blockSize = 256;
    std::ostringstream out, err;
    ASSERT_EQ(RunRender(opts, out, err), 0) << err.str();
    const rendertest::Wav wav = rendertest::ReadWav(opts.outputPath);

    Instance inst(world, urids, 48000.0);
    ASSERT_TRUE(inst.Ok());
    // A host's port setter: lilv hands each value over as the atom the text
    // read as (a decimal reads as a double).
    struct Ports {
      World* world;
      Instance* inst;
      LV2_URID floatType, doubleType;
    } ports{&world, &inst, urids.Map(LV2_ATOM__Float), urids.Map(LV2_ATOM__Double)};
    lilv_state_restore(
        state, inst.Get(),
        [](const char* symbol, void* data, const void* value, uint32_t size, uint32_t type) {
          auto* p = static_cast<Ports*>(data);
          float& port = p->inst->Control(p->world->PortIndex(symbol));
          if (type == p->floatType && size == sizeof(float)) std::memcpy(&port, value, sizeof(float));
          if (type == p->doubleType && size == sizeof(double))
            port = static_cast<float>(*static_cast<const double*>(value));
        },
        &ports, 0, nullptr);
    lilv_state_free(state);
    const std::vector<float> lv2 = RenderLv2(inst, song.events, static_cast<int64_t>(wav.left.size()), {256});
    EXPECT_EQ(FirstDifference(lv2, wav.left), -1);
    played.insert(name);
  }
  lilv_nodes_free(presets);
  EXPECT_EQ(played.size(), files.size()) << "every factory preset is in the description";
}

TEST(Lv2Run, ControlPortsAutomatedBetweenBlocksMatchTheInstrumentSetTheSameWay) {
  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  const int decay = world.PortIndex("decay"), pitch = world.PortIndex("pitch"), trigger = world.PortIndex("trigger"),
            accentFlag = world.PortIndex("midi_accent_flag"), distort = world.PortIndex("distort");
  const std::vector<int> sizes = {128, 77, 300};
  const int64_t total = 48000;

  // Every 7th block moves Decay and Pitch, block 20 switches the accent to
  // the MIDI velocity, the pad is pressed in block 30 and let go in 31, and
  // a note comes every 25th block.
  auto pitchAt = [](int block) { return static_cast<float>((block * 5) % 25 - 12); };
  auto decayAt = [](int block) { return static_cast<float>((block % 10) / 9.0); };

  UridMap urids;
  Instance inst(world, urids, 48000.0);
  ASSERT_TRUE(inst.Ok());
  const std::vector<float> lv2 = RenderLv2(inst, {}, total, sizes, [&](Instance& in, int block, int64_t) {
    if (block % 7 == 3) {
      in.Control(decay) = decayAt(block);
      in.Control(pitch) = pitchAt(block);
    }
    if (block == 20) in.Control(accentFlag) = 1.0f;
    if (block == 21) in.Control(distort) = 0.25f;
    if (block == 30) in.Control(trigger) = 1.0f;
    if (block == 31) in.Control(trigger) = 0.0f;
    if (block % 25 == 1) in.Midi(block % 50, 0x90, 40 + block % 12, 30 + block);
  });

  CliRig cli(48000.0, 4096);
  const std::vector<float> ref = cli.Render(total, sizes, [&](CliRig& c, int block, int64_t) {
    if (block % 7 == 3) {
      c.Set(kDecay, decayAt(block));
      c.Set(kPitch, pitchAt(block));
    }
    if (block == 20) c.Set(kMidiAccentFlag, 1.0);
    if (block == 21) c.Set(kDistort, 0.25);
    if (block == 30) c.Set(kTrigger, 1.0);
    if (block == 31) c.Set(kTrigger, 0.0);
    if (block % 25 == 1) c.Midi(block % 50, 0x90, 40 + block % 12, 30 + block);
  });
  EXPECT_EQ(FirstDifference(lv2, ref), -1);
}

TEST(Lv2Run, TheTriggerPortPlaysAHitAndTheLedPortFollowsIt) {
  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  UridMap urids;
  Instance inst(world, urids, 48000.0);
  ASSERT_TRUE(inst.Ok());
  const int trigger = world.PortIndex("trigger"), led = world.PortIndex("led");
  inst.Run(256);
  EXPECT_EQ(inst.Control(led), 0.0f);
  EXPECT_EQ(*std::max_element(inst.Audio(1).begin(), inst.Audio(1).begin() + 256), 0.0f);

  inst.Control(trigger) = 1.0f;
  inst.Run(256);
  EXPECT_EQ(inst.Control(led), 1.0f);
  float peak = 0.0f;
  for (int i = 0; i < 256; ++i) peak = std::max(peak, std::fabs(inst.Audio(1)[static_cast<size_t>(i)]));
  EXPECT_GT(peak, 0.05f);
  // A host resets a trigger port to its default after the run; the release
  // plays nothing and the LED stays lit until 10000 frames have passed.
  inst.Control(trigger) = 0.0f;
  int frames = 256;
  while (frames <= 10000) {
    inst.Run(256);
    frames += 256;
    if (frames <= 10000) {
      ASSERT_EQ(inst.Control(led), 1.0f) << "after " << frames;
    }
  }
  EXPECT_EQ(inst.Control(led), 0.0f);
}

// A port is taken when its value changes, not its bits: a value that is no
// number is skipped, and the same value again is no new press.
TEST(Lv2Run, ThePadPlaysOnceForEachPressWhateverThePortReadsBetween) {
  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  UridMap urids;
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  struct Step {
    float trigger;
    uint32_t frames;
  };
  struct Case {
    const char* name;
    std::vector<Step> runs;
    float led;  // after the last run: lit by a hit in the last 10000 frames
  };
  const Case cases[] = {
      {"a press plays", {{1, 64}}, 1},
      {"a press held on plays once", {{1, 64}, {1, 6000}, {1, 6000}, {1, 64}}, 0},
      {"NaN and then the same press", {{1, 64}, {1, 6000}, {1, 6000}, {nan, 64}, {1, 64}}, 0},
      {"infinity and then the same press", {{1, 64}, {1, 6000}, {1, 6000}, {inf, 64}, {1, 64}}, 0},
      {"minus zero between two presses", {{1, 64}, {1, 6000}, {1, 6000}, {-0.0f, 64}, {1, 64}}, 1},
      {"released and pressed again", {{1, 64}, {1, 6000}, {1, 6000}, {0, 64}, {1, 64}}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Instance inst(world, urids, 48000.0);
    ASSERT_TRUE(inst.Ok());
    inst.Run(64);
    for (const Step& step : c.runs) {
      inst.Control(world.PortIndex("trigger")) = step.trigger;
      inst.Run(step.frames);
    }
    EXPECT_EQ(inst.Control(world.PortIndex("led")), c.led);
  }
}

// LV2 reads a toggled port as on for any value above 0: a host's 0.5 or 0.7
// plays as 1, and 0 or below as off.
TEST(Lv2Run, ToggledPortsAreOnForAnyValueAboveZero) {
  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  UridMap urids;
  auto play = [&](const char* symbol, float v) {
    Instance inst(world, urids, 48000.0);
    EXPECT_TRUE(inst.Ok());
    inst.Control(world.PortIndex(symbol)) = v;
    inst.Midi(100, 0x90, 45, 30);
    inst.Run(1024);
    return std::vector<float>(inst.Audio(1).begin(), inst.Audio(1).begin() + 1024);
  };
  for (const char* symbol : {"midi_tune_flag", "midi_accent_flag", "trigger"}) {
    SCOPED_TRACE(symbol);
    const std::vector<float> on = play(symbol, 1.0f), off = play(symbol, 0.0f);
    ASSERT_NE(FirstDifference(on, off), -1) << "the switch is heard";
    for (const float v : {0.01f, 0.5f, 0.7f}) EXPECT_EQ(FirstDifference(play(symbol, v), on), -1) << v;
    EXPECT_EQ(FirstDifference(play(symbol, -0.5f), off), -1);
  }
}

// Activating again after a deactivation starts afresh: the ringing hit, the
// waiting MIDI and the noise's progress are gone, and the first run renders
// what a new instance's first run renders.
TEST(Lv2Run, ActivatingAgainRendersAsANewInstance) {
  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  UridMap urids;
  Instance used(world, urids, 48000.0), fresh(world, urids, 48000.0);
  ASSERT_TRUE(used.Ok() && fresh.Ok());
  for (Instance* inst : {&used, &fresh}) inst->Control(world.PortIndex("decay")) = 0.9f;
  used.Control(world.PortIndex("pitch")) = 5.0f;
  used.Midi(10, 0x90, 36, 127);
  used.Run(4096);
  used.Midi(1000, 0x90, 36, 127);  // still waiting when the run ends
  used.Run(500);
  used.Control(world.PortIndex("pitch")) = 0.0f;
  lilv_instance_deactivate(used.Get());
  lilv_instance_activate(used.Get());

  for (int block = 0; block < 3; ++block) {
    SCOPED_TRACE(block);
    if (block == 1) {
      used.Midi(7, 0x90, 40, 90);
      fresh.Midi(7, 0x90, 40, 90);
    }
    used.Run(2048);
    fresh.Run(2048);
    auto first = [](const Instance& inst) { return std::vector<float>(inst.Audio(1).begin(), inst.Audio(1).begin() + 2048); };
    EXPECT_EQ(FirstDifference(first(used), first(fresh)), -1);
  }
}

TEST(Lv2Run, NotesWhileAnOutputIsUnconnectedAreDroppedNotPlayedLater) {
  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  UridMap urids;
  // Both lose their left output for 200 runs; only one is sent notes then.
  Instance played(world, urids, 48000.0), quiet(world, urids, 48000.0);
  ASSERT_TRUE(played.Ok() && quiet.Ok());
  const uint32_t left = static_cast<uint32_t>(world.PortIndex("out_l"));
  for (Instance* inst : {&played, &quiet}) lilv_instance_connect_port(inst->Get(), left, nullptr);
  for (int run = 0; run < 200; ++run) {
    played.Midi(run % 256, 0x90, 36, 127);
    played.Run(256);
    quiet.Run(256);
  }
  for (Instance* inst : {&played, &quiet}) {
    lilv_instance_connect_port(inst->Get(), left, const_cast<float*>(inst->Audio(static_cast<int>(left)).data()));
    inst->Run(256);
  }
  auto block = [&](const Instance& inst) {
    return std::vector<float>(inst.Audio(static_cast<int>(left)).begin(), inst.Audio(static_cast<int>(left)).begin() + 256);
  };
  EXPECT_EQ(FirstDifference(block(played), block(quiet)), -1);
}

TEST(Lv2Run, LearnedControllerMovesItsParameterAsOnTheCommandLine) {
  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  const int decay = world.PortIndex("decay");
  const std::vector<int> sizes = {256};
  // Learn on (the editor's message), touch Decay, then controller 74 binds
  // to it and moves it; learn off; the controller keeps moving it; a hit
  // after each move.
  UridMap urids;
  Instance inst(world, urids, 48000.0);
  ASSERT_TRUE(inst.Ok());
  const int hold = world.PortIndex("hold");
  const std::vector<float> lv2 = RenderLv2(inst, {}, 256 * 40, sizes, [&](Instance& in, int block, int64_t) {
    if (block == 0) in.Control(hold) = 0.0f;
    if (block == 1) in.EditorParam(0, kLearn, 1.0);
    if (block == 2) in.Control(decay) = 0.2f;
    if (block == 3) in.Midi(10, 0xB0, 74, 120);
    if (block == 4) in.EditorParam(0, kLearn, 0.0);
    if (block == 5) in.Midi(0, 0x90, 36, 100);
    if (block == 20) in.Midi(3, 0xB5, 74, 5);
    if (block == 21) in.Midi(0, 0x90, 36, 100);
  });
  auto cliRender = [&](bool withController) {
    CliRig cli(48000.0, 4096);
    return cli.Render(256 * 40, sizes, [&](CliRig& c, int block, int64_t) {
      if (block == 0) c.Set(kHold, 0.0);
      if (block == 1) c.Set(kLearn, 1.0);
      if (block == 2) c.Set(kDecay, 0.2f);
      if (block == 3 && withController) c.Midi(10, 0xB0, 74, 120);
      if (block == 4) c.Set(kLearn, 0.0);
      if (block == 5) c.Midi(0, 0x90, 36, 100);
      if (block == 20 && withController) c.Midi(3, 0xB5, 74, 5);
      if (block == 21) c.Midi(0, 0x90, 36, 100);
    });
  };
  EXPECT_EQ(FirstDifference(lv2, cliRender(true)), -1);
  // The controller is heard: without it the first hit already differs.
  const int64_t diff = FirstDifference(lv2, cliRender(false));
  EXPECT_GT(diff, 5 * 256);
  EXPECT_LT(diff, 20 * 256);
}

TEST(Lv2Run, MalformedEventsAndPortsAreIgnored) {
  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  UridMap urids;
  Instance inst(world, urids, 48000.0);
  Instance twin(world, urids, 48000.0);
  ASSERT_TRUE(inst.Ok() && twin.Ok());
  // Running status, system messages, empty and oversized events, an editor
  // message for a parameter that has a port (the host's) or none at all,
  // and a port index the plug-in does not have.
  lilv_instance_connect_port(inst.Get(), 99, nullptr);
  inst.Midi(0, 0x40, 1, 2);
  inst.Midi(1, 0xF8, 0, 0, 1);
  inst.Midi(2, 0x90, 0, 0, 0);
  inst.EditorParam(3, kDecay, 0.0);
  inst.EditorParam(3, 99, 1.0);
  inst.EditorParam(3, -1, 1.0);
  inst.Midi(4, 0x90, 36, 100);
  inst.Midi(100000, 0x90, 40, 100);  // stamped past the block: played at its last frame
  twin.Midi(4, 0x90, 36, 100);
  twin.Midi(511, 0x90, 40, 100);
  inst.Run(512);
  twin.Run(512);
  EXPECT_EQ(FirstDifference(inst.Audio(1), twin.Audio(1)), -1);
  // Non-finite port values are not taken.
  inst.Control(world.PortIndex("decay")) = std::nanf("");
  inst.Run(512);
  twin.Run(512);
  EXPECT_EQ(FirstDifference(inst.Audio(1), twin.Audio(1)), -1);
}

TEST(Lv2Run, EventsInABufferAlignedToFourBytesOnlyAreHeard) {
  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  UridMap urids;
  Instance inst(world, urids, 48000.0);
  Instance twin(world, urids, 48000.0);
  ASSERT_TRUE(inst.Ok() && twin.Ok());
  inst.MisalignEvents();
  for (Instance* i : {&inst, &twin}) {
    i->EditorParam(0, kLearn, 1.0);
    i->Midi(5, 0x90, 36, 100);
    i->Midi(300, 0x90, 48, 20);
    i->Run(512);
  }
  EXPECT_EQ(FirstDifference(inst.Audio(1), twin.Audio(1)), -1);
  EXPECT_GT(*std::max_element(inst.Audio(1).begin(), inst.Audio(1).begin() + 512), 0.1f);
}
