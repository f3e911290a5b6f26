// IPluginBase: construction, virtual defaults, parameter flow, host and version.
#include "framework/IPluginBase.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/IHost.h"
#include "framework/ILog.h"

namespace {

void CopyName(char* dst, const char* src) {
  if (!src) src = "";
  std::size_t n = std::strlen(src);
  if (n > static_cast<std::size_t>(IPluginBase::kNameSize - 1)) n = IPluginBase::kNameSize - 1;
  std::memcpy(dst, src, n);
  std::memset(dst + n, 0, static_cast<std::size_t>(IPluginBase::kNameSize) - n);
}

}  // namespace

IPluginBase::IPluginBase(int nParams, const char* channelIOStr, int nPresets,
                         const char* effectName, const char* productName, const char* mfrName,
                         int vendorVersion, int uniqueID, int mfrID, int latency, bool plugDoesMidi,
                         bool plugDoesChunks, bool plugIsInst, EAPI plugAPI)
    : mEffectName(),
      mProductName(),
      mMfrName(),
      mUniqueID(uniqueID),
      mMfrID(mfrID),
      mVersion(vendorVersion),
      mAPI(plugAPI),
      mHost(kHostUninit),
      mHostVersion(0),
      mStateChunks(plugDoesChunks),
      mIsInst(plugIsInst),
      mDoesMIDI(plugDoesMidi),
      mIsBypassed(false),
      mCurrentPresetIdx(0),
      mSampleRate(44100.0),
      mBlockSize(0),
      mLatency(latency),
      mTailSize(0),
      mGraphics(nullptr) {
  TRACE("%s:%s", effectName ? effectName : "", CurrentTime());

  for (int i = 0; i < nParams; ++i) mParams.push_back(std::make_unique<IParam>());
  for (int i = 0; i < nPresets; ++i) mPresets.push_back(std::make_unique<IPreset>(i));

  CopyName(mEffectName, effectName);
  CopyName(mProductName, productName);
  CopyName(mMfrName, mfrName);

  ParseChannelIO(channelIOStr);
}

IPluginBase::~IPluginBase() {
  // The editor's controls may still refer to parameters: it goes first.
  DeleteGraphics();
  mParams.clear();
  mPresets.clear();
  mInChannels.clear();
  mOutChannels.clear();
  mChannelIO.clear();
  mInputBusLabels.clear();
  mOutputBusLabels.clear();
}

// ---- Virtual defaults ----

void IPluginBase::Reset() { IMutexLock lock(this); }

void IPluginBase::OnParamChange(int /*paramIdx*/) { IMutexLock lock(this); }

void IPluginBase::OnActivate(bool /*active*/) { IMutexLock lock(this); }

void IPluginBase::ProcessMidiMsg(IMidiMsg* pMsg) { SendMidiMsg(pMsg); }

bool IPluginBase::MidiNoteName(int /*noteNumber*/, char* rName) {
  if (rName) rName[0] = '\0';
  return false;
}

bool IPluginBase::SerializeState(ByteChunk* pChunk) { return SerializeParams(pChunk); }

int IPluginBase::UnserializeState(ByteChunk* pChunk, int startPos) {
  return UnserializeParams(pChunk, startPos);
}

void IPluginBase::SetParameterFromGUI(int paramIdx, double normalizedValue) {
  TRACE("%d:%f", paramIdx, normalizedValue);
  IParam* pParam = GetParam(paramIdx);
  if (!pParam) return;  // an editor control bound to a parameter we do not have
  {
    IMutexLock lock(this);
    pParam->SetNormalized(normalizedValue);
    OnParamChange(paramIdx);
  }
  // The host is told after the mutex is released: a host may hold its own
  // lock while it waits for ours (around a render), and calling it with ours
  // held could then deadlock both.
  InformHostOfParamChange(paramIdx, normalizedValue);
}

// ---- Accessors ----

IParam* IPluginBase::GetParam(int idx) {
  return idx >= 0 && idx < NParams() ? mParams[static_cast<std::size_t>(idx)].get() : nullptr;
}

const IParam* IPluginBase::GetParam(int idx) const {
  return idx >= 0 && idx < NParams() ? mParams[static_cast<std::size_t>(idx)].get() : nullptr;
}

// ---- Host identification and version ----

void IPluginBase::SetHost(const char* host, int version) {
  mHost = LookUpHost(host);
  mHostVersion = version;
  char name[kMaxHostNameLen + 1];
  char versionStr[kMaxVersionStrLen + 1];
  GetHostNameStr(mHost, name);
  GetVersionStr(mHostVersion, versionStr);
  TRACE("host_%sknown:%s:%s", mHost == kHostUnknown ? "un" : "", name, versionStr);
}

int IPluginBase::GetEffectVersion(bool decimal) const {
  return decimal ? GetDecimalVersion(mVersion) : mVersion;
}

void IPluginBase::GetEffectVersionStr(char* rStr) const {
  GetVersionStr(mVersion, rStr);
  std::strcat(rStr, "D");  // build marker of this system
}

int IPluginBase::GetHostVersion(bool decimal) {
  GetHost();  // identifies the host on first use
  return decimal ? GetDecimalVersion(mHostVersion) : mHostVersion;
}

void IPluginBase::GetHostVersionStr(char* rStr) {
  GetHost();
  GetVersionStr(mHostVersion, rStr);
}

const char* IPluginBase::GetAPIString() { return APINameStr(GetAPI()); }

// ---- Parameter flow ----

void IPluginBase::OnParamReset() {
  for (int i = 0; i < NParams(); ++i) OnParamChange(i);
}

void IPluginBase::DirtyParameters() {
  IMutexLock lock(this);
  for (int i = 0; i < NParams(); ++i) {
    InformHostOfParamChange(i, mParams[static_cast<std::size_t>(i)]->GetNormalized());
  }
}

// ---- MIDI and timing ----

bool IPluginBase::SendMidiMsgs(std::vector<IMidiMsg>* pMsgs) {
  if (!pMsgs) return true;
  bool allSent = true;
  for (IMidiMsg& msg : *pMsgs) {
    // Every message is offered even after a failure.
    allSent = SendMidiMsg(&msg) && allSent;
  }
  return allSent;
}

double IPluginBase::GetSamplesPerBeat() {
  double tempo = GetTempo();
  return tempo > 0.0 ? mSampleRate * 60.0 / tempo : 0.0;
}
