// A test-only plug-in: implements the host operations of IPluginBase by recording them.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "framework/IPluginBase.h"

// Records what the base tells the host and the plug-in, so that tests can
// check order and values. Its ProcessDoubleReplacing writes channel i + 1 + s
// / 1000 into output i (s the frame), unless passThrough is set.
class TestPlug : public IPluginBase {
public:
  explicit TestPlug(int nParams, const char* channelIOStr = "0-1 0-2", int nPresets = 0)
      : IPluginBase(nParams, channelIOStr, nPresets, "Test Plug", "", "Test Mfr", 0x10000, 0x54737431,
                    0x544D6672, 0, true, false, true, kAPIAU) {}

  // Every call the base makes into the plug-in or the host, in order.
  std::vector<std::string> calls;
  std::vector<std::pair<int, double>> informed;
  std::vector<int> changed;
  std::atomic<int> nChanges{0};
  std::vector<IMidiMsg> sent;
  std::vector<bool> sendResults;  // per call; missing entries succeed
  double tempo = 120.0;
  int presetsChanged = 0;
  bool lockInOnParamChange = false;
  // Set by InformHostOfParamChange: whether another thread could take the
  // plug-in mutex at that moment (i.e. nobody held it while the host was told).
  bool mutexFreeWhenInformed = false;

  void OnParamChange(int paramIdx) override {
    if (lockInOnParamChange) {
      IMutexLock lock(this);  // re-enters the mutex SetParameterFromGUI holds
      Record(paramIdx);
    } else {
      Record(paramIdx);
    }
  }

  void ProcessDoubleReplacing(double** /*inputs*/, double** outputs, int nFrames) override {
    for (int i = 0; i < NOutChannels(); ++i) {
      for (int s = 0; s < nFrames; ++s) outputs[i][s] = i + 1 + s / 1000.0;
    }
  }

  void BeginInformHostOfParamChange(int paramIdx) override {
    calls.push_back("begin " + std::to_string(paramIdx));
  }
  void InformHostOfParamChange(int paramIdx, double normalizedValue) override {
    calls.push_back("inform " + std::to_string(paramIdx));
    informed.emplace_back(paramIdx, normalizedValue);
    std::thread probe([this] {
      mutexFreeWhenInformed = GetMutex()->TryEnter();
      if (mutexFreeWhenInformed) GetMutex()->Leave();
    });
    probe.join();
  }
  void EndInformHostOfParamChange(int paramIdx) override {
    calls.push_back("end " + std::to_string(paramIdx));
  }
  void InformHostOfProgramChange() override { calls.push_back("program"); }
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return tempo; }
  void GetTimeSig(int* pNum, int* pDenom) override { *pNum = 4, *pDenom = 4; }
  void GetTime(ITimeInfo* /*pTimeInfo*/) override {}
  void ResizeGraphics(int /*w*/, int /*h*/) override {}
  bool SendMidiMsg(IMidiMsg* pMsg) override {
    bool ok = sent.size() >= sendResults.size() || sendResults[sent.size()];
    sent.push_back(*pMsg);
    return ok;
  }
  void PresetsChangedByHost() override {
    calls.push_back("presets changed");
    ++presetsChanged;
  }

  // Lets tests look at the data pointer arrays the plug-in is handed.
  double* InData(int i) { return mInData[static_cast<std::size_t>(i)]; }
  double* OutData(int i) { return mOutData[static_cast<std::size_t>(i)]; }
  std::vector<double>& OutScratch(int i) { return mOutChannels[static_cast<std::size_t>(i)]->mScratchBuf; }
  IPreset* Preset(int i) { return mPresets[static_cast<std::size_t>(i)].get(); }

private:
  void Record(int paramIdx) {
    calls.push_back("change " + std::to_string(paramIdx));
    changed.push_back(paramIdx);
    ++nChanges;
  }
};
