// The LV2 binding's transport: the sample position it gives the plug-in
// counts every frame run since activation, however long the session.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "framework/ITimeInfo.h"
#include "lv2/IPluginLV2.h"
#include "lv2/Lv2Rig.h"

namespace {

// A plug-in with one parameter and no sound that notes, in every block it
// renders, the sample position the binding tells it.
class PositionPlug : public IPluginLV2 {
public:
  PositionPlug() : IPluginLV2(1, "0-1 0-2", 0, "Position", "", "Test", 0x10000, 1, 2, 0, true, false, true) {
    GetParam(0)->InitDouble("Gain", 0.5, 0.0, 1.0, 0.01);
  }
  void ProcessDoubleReplacing(double** /*inputs*/, double** outputs, int nFrames) override {
    ITimeInfo info;
    GetTime(&info);
    seenPos = info.mSamplePos;
    for (int c = 0; c < 2; ++c)
      for (int s = 0; s < nFrames; ++s) outputs[c][s] = 0.0;
  }
  double seenPos = -1.0;
};

}  // namespace

TEST(Lv2Transport, TheSamplePositionCountsPastTwoToThe31Frames) {
  constexpr uint32_t kGiant = 1u << 30;  // frames per run while the outputs are away
  struct Case {
    const char* name;
    std::vector<uint32_t> silentRuns;  // runs with the outputs unconnected
    int64_t position;                  // where the rendered block then starts
    int clampedPosition;               // the base's int view of it
  };
  const Case cases[] = {
      {"no run yet", {}, 0, 0},
      {"two ordinary blocks", {64, 512}, 576, 576},
      {"just below 2^31", {kGiant, kGiant - 1}, (int64_t{1} << 31) - 1, INT_MAX},
      {"three runs of 2^30", {kGiant, kGiant, kGiant}, 3 * int64_t{kGiant}, INT_MAX},
      {"past 2^32", {kGiant, kGiant, kGiant, kGiant, 100}, (int64_t{1} << 32) + 100, INT_MAX},
  };
  lv2test::UridMap urids;
  const LV2_Feature map{LV2_URID__map, urids.MapFeature()};
  const LV2_Feature* features[] = {&map, nullptr};
  Lv2PlugHooks hooks;
  hooks.roles = {Lv2PortRole::kControl};
  hooks.changedOnAudioThread = [](IPluginBase*, int) {};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PositionPlug plug;
    ASSERT_TRUE(plug.Lv2Instantiate(48000.0, features, hooks, "urn:test:position"));
    std::vector<float> left(64), right(64);
    float gain = 0.5f;
    plug.Lv2ConnectPort(Lv2PortLayout::kFirstControl, &gain);
    plug.Lv2Activate();
    // Frames with nowhere to go pass without a render: hours cost nothing.
    for (uint32_t n : c.silentRuns) plug.Lv2Run(n);
    EXPECT_EQ(plug.SamplePosition(), c.position);
    EXPECT_EQ(plug.GetSamplePos(), c.clampedPosition);
    plug.Lv2ConnectPort(Lv2PortLayout::kOutLeft, left.data());
    plug.Lv2ConnectPort(Lv2PortLayout::kOutRight, right.data());
    plug.Lv2Run(64);
    EXPECT_EQ(plug.seenPos, static_cast<double>(c.position)) << "GetTime carries the whole position";
    EXPECT_EQ(plug.SamplePosition(), c.position + 64);
    // A new activation starts the count again.
    plug.Lv2Activate();
    EXPECT_EQ(plug.SamplePosition(), 0);
  }
}
