// IPluginBase and its editor: attaching, pushing values, ownership.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "TestPlug.h"
#include "platform/headless/IGraphicsHeadless.h"

namespace {

// A windowless surface that records what the plug-in side calls on it.
class RecordingGraphics : public IGraphicsHeadless {
public:
  RecordingGraphics(IPluginBase* pPlug, std::vector<std::string>* pLog)
      : IGraphicsHeadless(pPlug, 16, 16), mOwner(pPlug), mLog(pLog) {}
  // Notes how many parameters the owner still had when the editor went.
  ~RecordingGraphics() override { mLog->push_back("deleted " + std::to_string(mOwner->NParams())); }

  void PrepDraw() override {
    mLog->push_back("prep");
    IGraphicsHeadless::PrepDraw();
  }
  void SetParameterFromPlug(int paramIdx, double value, bool normalized) override {
    pushed.emplace_back(paramIdx, value, normalized);
    mLog->push_back("set " + std::to_string(paramIdx));
    IGraphicsHeadless::SetParameterFromPlug(paramIdx, value, normalized);
  }

  std::vector<std::tuple<int, double, bool>> pushed;

private:
  IPluginBase* mOwner;
  std::vector<std::string>* mLog;
};

}  // namespace

TEST(EditorFlow, AttachPushesNormalisedValuesThenPrepares) {
  std::vector<std::string> log;
  TestPlug plug(2);
  plug.GetParam(0)->InitInt("Steps", 3, 0, 4);
  plug.GetParam(1)->InitDouble("Level", 0.25, 0, 1, 0.01, "", "", 2.0);
  auto* pGraphics = new RecordingGraphics(&plug, &log);
  plug.AttachGraphics(pGraphics);
  EXPECT_EQ(plug.GetGUI(), pGraphics);
  ASSERT_EQ(pGraphics->pushed.size(), 2u);
  EXPECT_EQ(pGraphics->pushed[0], std::make_tuple(0, 0.75, true));
  EXPECT_EQ(std::get<1>(pGraphics->pushed[1]), 0.5);  // 0.25 under shape 2
  EXPECT_EQ(log.back(), "prep");

  plug.AttachGraphics(nullptr);  // does nothing
  EXPECT_EQ(plug.GetGUI(), pGraphics);
}

TEST(EditorFlow, WithoutParametersAttachOnlyPrepares) {
  std::vector<std::string> log;
  TestPlug plug(0);
  auto* pGraphics = new RecordingGraphics(&plug, &log);
  plug.AttachGraphics(pGraphics);
  EXPECT_EQ(log, std::vector<std::string>{"prep"});
  plug.RedrawParamControls();
  EXPECT_EQ(log.size(), 1u);
}

TEST(EditorFlow, RedrawPushesPlainValues) {
  std::vector<std::string> log;
  TestPlug plug(2);
  plug.GetParam(0)->InitInt("Steps", 3, 0, 4);
  plug.GetParam(1)->InitDouble("Level", 0.25, 0, 1, 0.01);
  auto* pGraphics = new RecordingGraphics(&plug, &log);
  plug.AttachGraphics(pGraphics);
  pGraphics->pushed.clear();
  plug.RedrawParamControls();
  ASSERT_EQ(pGraphics->pushed.size(), 2u);
  EXPECT_EQ(pGraphics->pushed[0], std::make_tuple(0, 3.0, false));
  EXPECT_EQ(pGraphics->pushed[1], std::make_tuple(1, 0.25, false));
}

TEST(EditorFlow, RestoringAPresetRedrawsTheControls) {
  std::vector<std::string> log;
  TestPlug plug(1, "0-2", 1);
  plug.GetParam(0)->InitInt("Steps", 3, 0, 4);
  plug.MakePreset("One", 1);
  auto* pGraphics = new RecordingGraphics(&plug, &log);
  plug.AttachGraphics(pGraphics);
  pGraphics->pushed.clear();
  ASSERT_TRUE(plug.RestorePreset(0));
  ASSERT_EQ(pGraphics->pushed.size(), 1u);
  EXPECT_EQ(pGraphics->pushed[0], std::make_tuple(0, 1.0, false));
}

TEST(EditorFlow, ThePlugInDeletesItsEditorsBeforeItsParameters) {
  std::vector<std::string> log;
  {
    TestPlug plug(1);
    plug.AttachGraphics(new RecordingGraphics(&plug, &log));
    // A second editor replaces the first, which is deleted, not leaked.
    plug.AttachGraphics(new RecordingGraphics(&plug, &log));
    EXPECT_EQ(std::count(log.begin(), log.end(), "deleted 1"), 1);
  }
  // Deleted while the parameters its controls may read still existed.
  EXPECT_EQ(std::count(log.begin(), log.end(), "deleted 1"), 2);
}
