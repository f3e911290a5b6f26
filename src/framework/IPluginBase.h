// The host-neutral plug-in base: parameters, presets, identity, channels, locking.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "framework/ByteChunk.h"
#include "framework/IHost.h"
#include "framework/IMidiMsg.h"
#include "framework/IParam.h"
#include "framework/IPreset.h"
#include "framework/ITimeInfo.h"
#include "util/UTIL_Mutex.h"

class IEditor;

// The core of every plug-in. A host wrapper derives from it and implements the
// pure operations that only a host can perform (telling the host about
// parameter changes, time information, MIDI output, resizing); the plug-in
// class derives from the wrapper and overrides the processing hooks Reset,
// OnParamChange, ProcessDoubleReplacing and ProcessMidiMsg.
//
// Lifecycle: constructed with blank parameters and presets and host -1; the
// plug-in initialises its parameters and attaches its editor (the base then
// owns it); the wrapper identifies the host, sets sample rate and block size
// and calls Reset; then rendering and parameter traffic; on destruction the
// editor is deleted first, then parameters, presets and channel records.
//
// Threads: one re-entrant mutex per instance (take it with IMutexLock). The
// base holds it in SetParameterFromGUI, AttachGraphics, DirtyParameters,
// SerializeParams and UnserializeParams and in the defaults of Reset,
// OnParamChange and OnActivate. Buffer and render operations, OnParamReset,
// RedrawParamControls and the preset operations take no lock: callers that
// need exclusion hold the mutex. Render operations never allocate.
class IPluginBase {
public:
  // Scoped lock on a plug-in's mutex. A null plug-in makes it do nothing.
  class IMutexLock {
  public:
    explicit IMutexLock(IPluginBase* pPlug) : mpMutex(pPlug ? &pPlug->mMutex : nullptr) {
      if (mpMutex) mpMutex->Enter();
    }
    ~IMutexLock() { Destroy(); }
    // Leaves the mutex early; the destructor then does nothing.
    void Destroy() {
      if (mpMutex) mpMutex->Leave();
      mpMutex = nullptr;
    }
    IMutexLock(const IMutexLock&) = delete;
    IMutexLock& operator=(const IMutexLock&) = delete;

  private:
    UTIL_Mutex* mpMutex;
  };

  // One legal pair of input and output channel counts.
  struct ChannelIO {
    int mIn;
    int mOut;
  };

  // An input channel: mSrc points at this channel's entry in the input data
  // pointer array. Unconnected channels read their (silent) scratch buffer.
  struct InChannel {
    bool mConnected = false;
    double** mSrc = nullptr;
    std::vector<double> mScratchBuf;
    std::string mLabel;
  };

  // An output channel: mDest points at this channel's entry in the output data
  // pointer array; mFDest is the host's single-precision buffer, if any.
  struct OutChannel {
    bool mConnected = false;
    double** mDest = nullptr;
    float* mFDest = nullptr;
    std::vector<double> mScratchBuf;
    std::string mLabel;
  };

  static constexpr int kNameSize = 128;  // effect, product and manufacturer names, terminator included

  // channelIOStr is a constant of the plug-in, such as "0-1 0-2"; a malformed
  // one stops the program with the assertion "channelIOStrValid".
  IPluginBase(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
              const char* productName, const char* mfrName, int vendorVersion, int uniqueID,
              int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst,
              EAPI plugAPI);
  virtual ~IPluginBase();

  IPluginBase(const IPluginBase&) = delete;
  IPluginBase& operator=(const IPluginBase&) = delete;

  // ---- Virtual operations, in this order. ----

  // Defaults enter and leave the mutex, so a caller waits for a holder to finish.
  virtual void Reset();
  virtual void OnParamChange(int paramIdx);
  // Copies inputs to outputs; outputs without a matching input get zeros.
  virtual void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames);
  virtual void OnGUIOpen() {}
  virtual void OnGUIClose() {}
  virtual void OnIdle() {}
  virtual void OnActivate(bool active);
  // MIDI thru: passes the message on through SendMidiMsg.
  virtual void ProcessMidiMsg(IMidiMsg* pMsg);
  virtual void ProcessSysEx(ISysEx* /*pSysEx*/) {}
  // A block of nFrames that nobody hears (the host bypasses the plug-in):
  // the plug-in consumes what was due in it, so that nothing piles up for
  // the next block it renders. Runs where a render would. Does nothing here.
  virtual void SkipBlock(int /*nFrames*/) {}
  // Ends whatever sounds and forgets what waits for later blocks, as a host
  // expects when it stops, relocates, bypasses or re-initialises. Reset only
  // re-tunes to the rate and block size; a binding's reset calls both. Never
  // runs beside a render. Does nothing here.
  virtual void Silence() {}
  virtual bool MidiNoteName(int noteNumber, char* rName);
  virtual bool SerializeState(ByteChunk* pChunk);
  // Returns the position after the state, or -1 when the chunk ran out.
  virtual int UnserializeState(ByteChunk* pChunk, int startPos);
  // True when the doubles at incomingState (starting startPos doubles in)
  // match the current values within 0.00001 in single precision.
  virtual bool CompareState(const unsigned char* incomingState, int startPos);
  virtual void OnWindowResize() {}
  virtual bool HostRequestingAboutBox() { return false; }
  virtual void OnHostIdentified() {}
  virtual void PopupHostContextMenuForParam(int /*paramIdx*/, int /*x*/, int /*y*/) {}
  // From the editor: set the normalised value and tell the plug-in under the
  // mutex, then tell the host once the mutex is released.
  virtual void SetParameterFromGUI(int paramIdx, double normalizedValue);
  virtual void BeginInformHostOfParamChange(int paramIdx) = 0;
  virtual void InformHostOfParamChange(int paramIdx, double normalizedValue) = 0;
  virtual void EndInformHostOfParamChange(int paramIdx) = 0;
  virtual void InformHostOfProgramChange() = 0;
  virtual bool IsRenderingOffline() { return false; }
  virtual int GetSamplePos() = 0;
  virtual double GetTempo() = 0;
  virtual void GetTimeSig(int* pNum, int* pDenom) = 0;
  virtual void GetTime(ITimeInfo* pTimeInfo) = 0;
  virtual EHost GetHost() { return mHost; }
  virtual EAPI GetAPI() { return mAPI; }
  virtual void ResizeGraphics(int w, int h) = 0;
  virtual void HostSpecificInit() {}
  // Pushes every parameter into the editor, prepares it and takes ownership.
  virtual void AttachGraphics(IEditor* pGraphics);
  virtual void SetLatency(int samples) { mLatency = samples; }
  virtual bool SendMidiMsg(IMidiMsg* pMsg) = 0;
  virtual bool SendSysEx(ISysEx* /*pSysEx*/) { return false; }
  // Pushes every parameter's plain value into the editor, if there is one.
  virtual void RedrawParamControls();
  virtual void DirtyPTCompareState() {}
  virtual void PresetsChangedByHost() {}
  // Resizes the scratch buffers; called outside rendering.
  virtual void SetBlockSize(int blockSize);

  // ---- Accessors. ----

  IParam* GetParam(int idx);
  const IParam* GetParam(int idx) const;
  int NParams() const { return static_cast<int>(mParams.size()); }
  int NPresets() const { return static_cast<int>(mPresets.size()); }
  IEditor* GetGUI() { return mGraphics; }
  double GetSampleRate() const { return mSampleRate; }
  void SetSampleRate(double sampleRate) { mSampleRate = sampleRate; }
  int GetBlockSize() const { return mBlockSize; }
  int GetLatency() const { return mLatency; }
  unsigned int GetTailSize() const { return mTailSize; }
  void SetTailSize(unsigned int tailSize) { mTailSize = tailSize; }
  int GetUniqueID() const { return mUniqueID; }
  int GetMfrID() const { return mMfrID; }
  int GetCurrentPresetIdx() const { return mCurrentPresetIdx; }
  bool DoesStateChunks() const { return mStateChunks; }
  bool IsInst() const { return mIsInst; }
  bool DoesMIDI() const { return mDoesMIDI; }
  bool IsBypassed() const { return mIsBypassed; }
  void SetBypassed(bool bypassed) { mIsBypassed = bypassed; }
  const char* GetEffectName() const { return mEffectName; }
  const char* GetProductName() const { return mProductName; }
  const char* GetMfrName() const { return mMfrName; }
  // Group names met so far (not owned); a group's host number is its position plus one.
  std::vector<const char*>& ParamGroups() { return mParamGroups; }

  // ---- Host identification and version. ----

  void SetHost(const char* host, int version);
  int GetEffectVersion(bool decimal) const;
  // The version text followed by the build marker "D", e.g. "v1.0.0D".
  void GetEffectVersionStr(char* rStr) const;
  int GetHostVersion(bool decimal);
  void GetHostVersionStr(char* rStr);
  const char* GetAPIString();
  const char* GetArchString() const { return "x64"; }

  // ---- Parameter flow. ----

  // OnParamChange for every parameter in index order; takes no lock of its own.
  void OnParamReset();
  // Tells the host every parameter's normalised value, under the mutex.
  void DirtyParameters();

  // ---- MIDI and timing. ----

  // Sends every message; true only when every send succeeded.
  bool SendMidiMsgs(std::vector<IMidiMsg>* pMsgs);
  // Sample rate * 60 / tempo, or 0 when the tempo is not positive.
  double GetSamplesPerBeat();

  // ---- Channel configuration and buffers. ----

  bool LegalIO(int nIn, int nOut) const;
  int NInChannels() const { return static_cast<int>(mInChannels.size()); }
  int NOutChannels() const { return static_cast<int>(mOutChannels.size()); }
  int NChannelIO() const { return static_cast<int>(mChannelIO.size()); }
  const ChannelIO* GetChannelIO(int idx) const;
  bool IsInChannelConnected(int chIdx) const;
  bool IsOutChannelConnected(int chIdx) const;
  void SetInputChannelConnections(int idx, int n, bool connected);
  void SetOutputChannelConnections(int idx, int n, bool connected);
  void AttachInputBuffers(int idx, int n, float** ppData, int nFrames);
  void AttachInputBuffers(int idx, int n, double** ppData, int nFrames);
  void AttachOutputBuffers(int idx, int n, float** ppData);
  void AttachOutputBuffers(int idx, int n, double** ppData);
  // The first argument only selects the host's sample type.
  void ProcessBuffers(float, int nFrames);
  void ProcessBuffers(double, int nFrames);
  void ProcessBuffersAccumulating(float, int nFrames);
  // The base's own copy, never the plug-in's override (used while bypassed).
  void PassThroughBuffers(float, int nFrames);
  void PassThroughBuffers(double, int nFrames);
  void ZeroScratchBuffers();
  void SetInputLabel(int idx, const char* label);
  void SetOutputLabel(int idx, const char* label);
  const char* GetInputLabel(int idx) const;
  const char* GetOutputLabel(int idx) const;
  // Only buses 0 and 1 have input labels.
  void SetInputBusLabel(int idx, const char* label);
  void SetOutputBusLabel(int idx, const char* label);
  const std::string* GetInputBusLabel(int idx) const;
  const std::string* GetOutputBusLabel(int idx) const;

  // ---- State and presets. ----

  bool SerializeParams(ByteChunk* pChunk);
  int UnserializeParams(ByteChunk* pChunk, int startPos);

  IPreset* GetNextUninitializedPreset();
  void MakeDefaultPreset(const char* name, int nPresets);
  void EnsureDefaultPreset();
  // One value per parameter follows the name: int for bool, int and enum
  // parameters, double for the others.
  void MakePreset(const char* name, ...);
  // nParamsNamed (index, value) pairs follow; value typed as in MakePreset.
  // An index outside the parameter list stops with the assertion
  // "paramIdx >= 0 && paramIdx < n".
  void MakePresetFromNamedParams(const char* name, int nParamsNamed, ...);
  void MakePresetFromChunk(const char* name, ByteChunk* pChunk);
  void MakePresetFromBlob(const char* name, const char* blob, int sizeOfChunk);
  void PruneUninitializedPresets();
  bool RestorePreset(int idx);
  bool RestorePreset(const char* name);
  const char* GetPresetName(int idx) const;
  void ModifyCurrentPreset(const char* name = nullptr);
  bool SerializePresets(ByteChunk* pChunk);
  int UnserializePresets(ByteChunk* pChunk, int startPos);
  // Writes "user preset N" into rName (at least 32 bytes), N one more than
  // the number of presets whose name contains "user preset".
  void MakeDefaultUserPresetName(char* rName, int size = IPreset::kNameSize) const;

  // Source text for developers writing factory presets into a constructor.
  void DumpPresetSrcCode(const char* filename, const char* paramEnumNames[]);
  void DumpPresetBlob(const char* filename);
  void DumpBankBlob(const char* filename);

protected:
  UTIL_Mutex* GetMutex() { return &mMutex; }

  std::vector<std::unique_ptr<ChannelIO>> mChannelIO;
  UTIL_Mutex mMutex;
  char mEffectName[kNameSize];
  char mProductName[kNameSize];
  char mMfrName[kNameSize];
  int mUniqueID;
  int mMfrID;
  int mVersion;
  EAPI mAPI;
  EHost mHost;
  int mHostVersion;
  bool mStateChunks;
  bool mIsInst;
  bool mDoesMIDI;
  bool mIsBypassed;
  int mCurrentPresetIdx;
  double mSampleRate;
  int mBlockSize;
  int mLatency;
  unsigned int mTailSize;
  std::vector<const char*> mParamGroups;
  IEditor* mGraphics;
  std::vector<std::unique_ptr<IParam>> mParams;
  std::vector<std::unique_ptr<IPreset>> mPresets;
  // Sized once in the constructor: the channels' slots point into them.
  std::vector<double*> mInData;
  std::vector<double*> mOutData;
  std::vector<std::unique_ptr<InChannel>> mInChannels;
  std::vector<std::unique_ptr<OutChannel>> mOutChannels;
  std::vector<std::unique_ptr<std::string>> mInputBusLabels;
  std::vector<std::unique_ptr<std::string>> mOutputBusLabels;

private:
  void ParseChannelIO(const char* channelIOStr);
  void DeleteGraphics();
  // nFrames limited to what every channel's memory holds (0 when a channel has none).
  int SafeFrames(int nFrames) const;
  void ConvertOutputs(int nFrames, bool accumulate);
  void FillPresetChunk(IPreset* pPreset, const std::vector<double>& values);
  static void DumpBlob(FILE* fp, const ByteChunk& chunk);
};
