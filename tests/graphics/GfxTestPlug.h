// A plug-in for editor tests: implements the host operations and records what the editor told the host.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "framework/IPluginBase.h"

// Records the gesture brackets, value notices, parameter changes and resize
// requests as short strings ("begin 3", "inform 3 0.500", "change 3",
// "end 3", "resize 300 200") in call order. Single-threaded use.
class GfxTestPlug : public IPluginBase {
public:
  explicit GfxTestPlug(int nParams = 4)
      : IPluginBase(nParams, "0-1 0-2", 0, "Test", "", "Tests", 0x10000, 0x54657374, 0x54737473, 0, true, false, true,
                    kAPISA) {}

  void BeginInformHostOfParamChange(int idx) override { Log("begin %d", idx); }
  void InformHostOfParamChange(int idx, double v) override { Log("inform %d %.3f", idx, v); }
  void EndInformHostOfParamChange(int idx) override { Log("end %d", idx); }
  void InformHostOfProgramChange() override {}
  void OnParamChange(int idx) override { Log("change %d", idx); }
  void OnIdle() override { ++idles; }
  int idles = 0;
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return 120.0; }
  void GetTimeSig(int* pNum, int* pDenom) override { *pNum = 4; *pDenom = 4; }
  void GetTime(ITimeInfo*) override {}
  void ResizeGraphics(int w, int h) override { Log("resize %d %d", w, h); }
  bool SendMidiMsg(IMidiMsg*) override { return true; }

  std::vector<std::string> events;

  int Count(const std::string& event) const {
    int n = 0;
    for (const auto& e : events) n += (e == event);
    return n;
  }

private:
  template <typename... Args>
  void Log(const char* fmt, Args... args) {
    char buf[96];
    std::snprintf(buf, sizeof(buf), fmt, args...);
    events.emplace_back(buf);
  }
};
