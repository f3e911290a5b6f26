// The command-line host's binding of the plug-in base: the host operations a
// wrapper must supply, answered by our own render loop instead of a host.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "framework/IPluginBase.h"

// Stands where a host wrapper stands (between IPluginBase and the plug-in
// class) when the plug-in runs inside our own programs: the kt412 command,
// the tests and the benchmarks. There is no host application to notify, so
// every notification a host would receive (gesture begin and end, parameter
// value changes, program changes) is recorded in a fixed log that callers can
// read back; transport information comes from the render loop, which reports
// each rendered block with AdvanceSamplePos.
//
// Lifecycle: the plug-in class constructs it with its description; the
// caller sets sample rate and block size, calls Reset and then OnParamReset
// (as a wrapper does at initialisation), then renders block by block.
//
// Threads: the notification log takes no lock and never allocates, so it may
// be written from any thread, several at the same time; each call
// claims its own slot. Read the log back (HostEvent, NHostEvents) and clear
// it only while no notification is in flight, e.g. after joining the threads
// that made them. Tempo and sample position are atomics.
class IPluginCLI : public IPluginBase {
public:
  enum EHostEventKind { kBeginGesture = 1, kParamValueChange = 0, kEndGesture = 2, kProgramChange = 3 };

  // One notification as the host would have received it. The host reads a
  // changed value back itself, but the normalised value passed along is kept
  // so callers can see what was sent.
  struct HostEvent {
    EHostEventKind kind;
    int paramIdx;  // -1 for a program change
    double normalizedValue;  // only for kParamValueChange
  };

  // Our own programs (the kt412 command, the tests, the benchmarks) must not
  // depend on the files of whoever runs them: a plug-in on this binding reads
  // no user preset folder unless it is handed one. Host bindings leave this
  // out and get the user's folder.
  static constexpr bool kUsesUserPresetFolder = false;

  // Notifications beyond this many are counted but not kept.
  static constexpr int kMaxHostEvents = 4096;

  IPluginCLI(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
             const char* productName, const char* mfrName, int vendorVersion, int uniqueID,
             int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst);

  void BeginInformHostOfParamChange(int paramIdx) override;
  void InformHostOfParamChange(int paramIdx, double normalizedValue) override;
  void EndInformHostOfParamChange(int paramIdx) override;
  void InformHostOfProgramChange() override;
  // The command renders to a file, never to a sound card.
  bool IsRenderingOffline() override { return true; }
  // The base's interface holds the position in an int, which a render longer
  // than about 12 hours at 48 kHz would overflow: it stops at the largest int
  // there, while GetTime and SamplePosition carry the whole position.
  int GetSamplePos() override {
    const int64_t pos = SamplePosition();
    return pos > INT32_MAX ? INT32_MAX : static_cast<int>(pos);
  }
  int64_t SamplePosition() const { return mSamplePos.load(std::memory_order_relaxed); }
  double GetTempo() override { return mTempo.load(std::memory_order_relaxed); }
  void GetTimeSig(int* pNum, int* pDenom) override;
  void GetTime(ITimeInfo* pTimeInfo) override;
  void ResizeGraphics(int w, int h) override;
  // There is nowhere to send MIDI to.
  bool SendMidiMsg(IMidiMsg* /*pMsg*/) override { return false; }

  // ---- The command-line host's side. ----

  void SetTempo(double bpm) { mTempo.store(bpm, std::memory_order_relaxed); }
  // Called by the render loop after each block.
  void AdvanceSamplePos(int64_t nFrames) { mSamplePos.fetch_add(nFrames, std::memory_order_relaxed); }

  // Notifications made so far, kept or not.
  int NHostEvents() const { return mNumHostEvents.load(std::memory_order_acquire); }
  // Notification i (0 <= i < min(NHostEvents(), kMaxHostEvents)).
  const HostEvent& GetHostEvent(int i) const { return mHostEvents[static_cast<size_t>(i)]; }
  // Counts the kept notifications of one kind, optionally for one parameter (-1: any).
  int CountHostEvents(EHostEventKind kind, int paramIdx = -1) const;
  void ClearHostEvents() { mNumHostEvents.store(0, std::memory_order_release); }

private:
  void Record(EHostEventKind kind, int paramIdx, double normalizedValue);

  std::atomic<double> mTempo{120.0};
  std::atomic<int64_t> mSamplePos{0};
  std::array<HostEvent, kMaxHostEvents> mHostEvents{};
  std::atomic<int> mNumHostEvents{0};
};
