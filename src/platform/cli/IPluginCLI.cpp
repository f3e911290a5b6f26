// The command-line host's binding of the plug-in base.
#include "platform/cli/IPluginCLI.h"

namespace {
// Our own programs are neither a host plug-in API nor a host: they identify
// as a stand-alone application.
constexpr EAPI kCLIAPI = kAPISA;
}  // namespace

IPluginCLI::IPluginCLI(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
                       const char* productName, const char* mfrName, int vendorVersion,
                       int uniqueID, int mfrID, int latency, bool plugDoesMidi,
                       bool plugDoesChunks, bool plugIsInst)
    : IPluginBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName, vendorVersion,
                  uniqueID, mfrID, latency, plugDoesMidi, plugDoesChunks, plugIsInst, kCLIAPI) {}

void IPluginCLI::Record(EHostEventKind kind, int paramIdx, double normalizedValue) {
  // Each caller claims its own slot, so concurrent callers never share one.
  int slot = mNumHostEvents.fetch_add(1, std::memory_order_acq_rel);
  if (slot < 0 || slot >= kMaxHostEvents) return;
  mHostEvents[static_cast<size_t>(slot)] = HostEvent{kind, paramIdx, normalizedValue};
}

void IPluginCLI::BeginInformHostOfParamChange(int paramIdx) { Record(kBeginGesture, paramIdx, 0.0); }

void IPluginCLI::InformHostOfParamChange(int paramIdx, double normalizedValue) {
  Record(kParamValueChange, paramIdx, normalizedValue);
}

void IPluginCLI::EndInformHostOfParamChange(int paramIdx) { Record(kEndGesture, paramIdx, 0.0); }

void IPluginCLI::InformHostOfProgramChange() { Record(kProgramChange, -1, 0.0); }

int IPluginCLI::CountHostEvents(EHostEventKind kind, int paramIdx) const {
  int n = NHostEvents();
  if (n > kMaxHostEvents) n = kMaxHostEvents;
  int count = 0;
  for (int i = 0; i < n; ++i) {
    const HostEvent& e = mHostEvents[static_cast<size_t>(i)];
    if (e.kind == kind && (paramIdx < 0 || e.paramIdx == paramIdx)) ++count;
  }
  return count;
}

void IPluginCLI::GetTimeSig(int* pNum, int* pDenom) {
  // The render loop plays in 4/4; MIDI files bring their own meter only as events.
  if (pNum) *pNum = 4;
  if (pDenom) *pDenom = 4;
}

void IPluginCLI::GetTime(ITimeInfo* pTimeInfo) {
  if (!pTimeInfo) return;
  double tempo = GetTempo();
  const double pos = static_cast<double>(SamplePosition());
  pTimeInfo->mTempo = tempo;
  pTimeInfo->mSamplePos = pos;
  double samplesPerBeat = GetSamplesPerBeat();
  if (samplesPerBeat > 0.0) {
    pTimeInfo->mPPQPos = pos / samplesPerBeat;
    pTimeInfo->mLastBar = 4.0 * static_cast<double>(static_cast<long long>(pTimeInfo->mPPQPos / 4.0));
  }
  GetTimeSig(&pTimeInfo->mNumerator, &pTimeInfo->mDenominator);
  pTimeInfo->mTransportIsRunning = true;
  pTimeInfo->mTransportLoopEnabled = false;
}

void IPluginCLI::ResizeGraphics(int /*w*/, int /*h*/) {
  // The window is the editor's own; the plug-in only learns that it changed.
  if (GetGUI()) OnWindowResize();
}
