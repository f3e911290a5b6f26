// IPluginBase parameter flow, locking, MIDI thru, timing, identity and version.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "TestPlug.h"

namespace {

void InitThree(TestPlug& plug) {
  plug.GetParam(0)->InitInt("Steps", 0, 0, 3);
  plug.GetParam(1)->InitDouble("Level", 0.25, 0, 1, 0.01, "", "", 2.0);
  plug.GetParam(2)->InitBool("On", true);
}

}  // namespace

TEST(ParamFlow, ConstructionDefaults) {
  TestPlug plug(3, "0-1 0-2", 2);
  EXPECT_EQ(plug.NParams(), 3);
  EXPECT_EQ(plug.NPresets(), 2);
  EXPECT_EQ(plug.GetParam(3), nullptr);
  EXPECT_EQ(plug.GetParam(-1), nullptr);
  EXPECT_EQ(plug.GetSampleRate(), 44100.0);
  EXPECT_EQ(plug.GetBlockSize(), 0);
  EXPECT_EQ(plug.GetHost(), kHostUninit);
  EXPECT_EQ(plug.GetGUI(), nullptr);
  EXPECT_EQ(plug.GetCurrentPresetIdx(), 0);
  EXPECT_STREQ(plug.GetPresetName(1), "empty");
  EXPECT_STREQ(plug.GetEffectName(), "Test Plug");
  EXPECT_TRUE(plug.IsInst());
  EXPECT_FALSE(plug.DoesStateChunks());
}

TEST(ParamFlow, LongNamesAreCut) {
  std::string longName(200, 'q');
  // The base copies names into 128-byte fields: longer ones keep 127 characters.
  struct Wide : IPluginBase {
    explicit Wide(const char* n)
        : IPluginBase(0, "0-2", 0, n, n, n, 0x10000, 1, 2, 0, true, false, true, kAPIAU) {}
    void BeginInformHostOfParamChange(int) override {}
    void InformHostOfParamChange(int, double) override {}
    void EndInformHostOfParamChange(int) override {}
    void InformHostOfProgramChange() override {}
    int GetSamplePos() override { return 0; }
    double GetTempo() override { return 0; }
    void GetTimeSig(int*, int*) override {}
    void GetTime(ITimeInfo*) override {}
    void ResizeGraphics(int, int) override {}
    bool SendMidiMsg(IMidiMsg*) override { return false; }
  } wide(longName.c_str());
  EXPECT_EQ(std::string(wide.GetEffectName()), std::string(127, 'q'));
  EXPECT_EQ(std::string(wide.GetMfrName()), std::string(127, 'q'));
}

TEST(ParamFlow, GuiEditTellsTheHostTheValueItWasGiven) {
  TestPlug plug(3);
  InitThree(plug);
  plug.SetParameterFromGUI(0, 0.5);  // 1.5 on 0..3, rounded up to 2
  EXPECT_EQ(plug.GetParam(0)->Value(), 2.0);
  ASSERT_EQ(plug.informed.size(), 1u);
  EXPECT_EQ(plug.informed[0].first, 0);
  EXPECT_EQ(plug.informed[0].second, 0.5);
  // The plug-in reacts under the mutex; the host hears after it is released,
  // so a host that holds its own lock while waiting for ours cannot deadlock.
  ASSERT_EQ(plug.calls.size(), 2u);
  EXPECT_EQ(plug.calls[0], "change 0");
  EXPECT_EQ(plug.calls[1], "inform 0");
  EXPECT_TRUE(plug.mutexFreeWhenInformed);
}

TEST(ParamFlow, GuiEditOfAnUnknownParameterDoesNothing) {
  TestPlug plug(1);
  plug.SetParameterFromGUI(5, 0.5);
  plug.SetParameterFromGUI(-1, 0.5);
  EXPECT_TRUE(plug.calls.empty());
}

TEST(ParamFlow, ResetCallsEveryParameterInOrder) {
  TestPlug plug(3);
  plug.OnParamReset();
  EXPECT_EQ(plug.changed, (std::vector<int>{0, 1, 2}));
  TestPlug none(0);
  none.OnParamReset();
  none.RedrawParamControls();
  none.DirtyParameters();
  EXPECT_TRUE(none.calls.empty());
}

TEST(ParamFlow, DirtyParametersSendsNormalisedValues) {
  TestPlug plug(3);
  InitThree(plug);
  plug.GetParam(0)->Set(3);
  plug.DirtyParameters();
  ASSERT_EQ(plug.informed.size(), 3u);
  EXPECT_EQ(plug.informed[0].second, 1.0);
  EXPECT_DOUBLE_EQ(plug.informed[1].second, 0.5);  // 0.25 under shape 2
  EXPECT_EQ(plug.informed[2].second, 1.0);
}

TEST(ParamFlow, SameThreadReentersTheMutex) {
  TestPlug plug(1);
  plug.GetParam(0)->InitDouble("p", 0, 0, 1, 0.01);
  plug.lockInOnParamChange = true;
  IPluginBase::IMutexLock outer(&plug);
  plug.SetParameterFromGUI(0, 0.3);  // locks twice more on this thread
  EXPECT_EQ(plug.nChanges.load(), 1);
}

TEST(ParamFlow, SecondThreadWaitsForTheHolder) {
  TestPlug plug(1);
  plug.GetParam(0)->InitDouble("p", 0, 0, 1, 0.01);
  std::atomic<bool> started{false};
  std::thread editor;
  {
    IPluginBase::IMutexLock lock(&plug);  // as the audio thread inside OnParamChange
    editor = std::thread([&] {
      started = true;
      plug.SetParameterFromGUI(0, 0.75);
    });
    while (!started) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // Still held here: the editor thread cannot have changed anything.
    EXPECT_EQ(plug.nChanges.load(), 0);
    EXPECT_EQ(plug.GetParam(0)->Value(), 0.0);
  }
  editor.join();
  EXPECT_EQ(plug.nChanges.load(), 1);
  EXPECT_EQ(plug.GetParam(0)->Value(), 0.75);
}

TEST(ParamFlow, DefaultHooksTakeTheMutex) {
  TestPlug plug(0);
  std::atomic<int> done{0};
  std::thread worker;
  {
    IPluginBase::IMutexLock lock(&plug);
    worker = std::thread([&] {
      plug.Reset();
      plug.OnActivate(true);
      plug.IPluginBase::OnParamChange(0);
      done = 1;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(done.load(), 0);
  }
  worker.join();
  EXPECT_EQ(done.load(), 1);
}

TEST(ParamFlow, MutexLockReleasesEarlyOnce) {
  TestPlug plug(0);
  {
    IPluginBase::IMutexLock lock(&plug);
    lock.Destroy();
    std::atomic<bool> entered{false};
    std::thread other([&] {
      IPluginBase::IMutexLock inner(&plug);
      entered = true;
    });
    other.join();
    EXPECT_TRUE(entered.load());
  }  // the destructor must not leave a second time
  IPluginBase::IMutexLock again(&plug);
  IPluginBase::IMutexLock nullLock(nullptr);
}

TEST(MidiThru, DefaultForwardsAndSendsAll) {
  TestPlug plug(0);
  IMidiMsg msg(3, 0x90, 60, 100);
  plug.ProcessMidiMsg(&msg);
  ASSERT_EQ(plug.sent.size(), 1u);
  EXPECT_EQ(plug.sent[0].data1, 60);

  plug.sent.clear();
  plug.sendResults = {true, false, true};
  std::vector<IMidiMsg> msgs = {IMidiMsg(0, 0x90, 1, 1), IMidiMsg(1, 0x90, 2, 1), IMidiMsg(2, 0x90, 3, 1)};
  EXPECT_FALSE(plug.SendMidiMsgs(&msgs));
  EXPECT_EQ(plug.sent.size(), 3u);  // the failure does not stop the rest
  plug.sent.clear();
  plug.sendResults.clear();
  EXPECT_TRUE(plug.SendMidiMsgs(&msgs));

  char name[8] = "x";
  EXPECT_FALSE(plug.MidiNoteName(60, name));
  EXPECT_STREQ(name, "");
}

TEST(Timing, SamplesPerBeat) {
  TestPlug plug(0);
  plug.tempo = 120.0;
  EXPECT_EQ(plug.GetSamplesPerBeat(), 22050.0);
  plug.SetSampleRate(48000.0);
  plug.tempo = 90.0;
  EXPECT_DOUBLE_EQ(plug.GetSamplesPerBeat(), 32000.0);
  plug.tempo = 0.0;
  EXPECT_EQ(plug.GetSamplesPerBeat(), 0.0);
  plug.tempo = -5.0;
  EXPECT_EQ(plug.GetSamplesPerBeat(), 0.0);
}

TEST(Identity, HostAndVersions) {
  TestPlug plug(0);
  plug.SetHost("com.apple.logic10", 0x0A0203);
  EXPECT_EQ(plug.GetHost(), kHostLogic);
  EXPECT_EQ(plug.GetHostVersion(false), 0x0A0203);
  EXPECT_EQ(plug.GetHostVersion(true), 100203);
  char text[32];
  plug.GetHostVersionStr(text);
  EXPECT_STREQ(text, "v10.2.3");
  plug.SetHost("", 0);
  EXPECT_EQ(plug.GetHost(), kHostUnknown);

  EXPECT_EQ(plug.GetEffectVersion(false), 0x10000);
  EXPECT_EQ(plug.GetEffectVersion(true), 10000);
  plug.GetEffectVersionStr(text);
  EXPECT_STREQ(text, "v1.0.0D");
  EXPECT_STREQ(plug.GetAPIString(), "AU");
  EXPECT_STREQ(plug.GetArchString(), "x64");
  EXPECT_EQ(plug.GetUniqueID(), 0x54737431);
}

TEST(Identity, LatencyIsStored) {
  TestPlug plug(0);
  EXPECT_EQ(plug.GetLatency(), 0);
  plug.SetLatency(64);
  EXPECT_EQ(plug.GetLatency(), 64);
  EXPECT_EQ(plug.GetTailSize(), 0u);
}
