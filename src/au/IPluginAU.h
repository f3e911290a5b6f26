// The Audio Unit (version 2) binding of the plug-in base.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/IPluginBase.h"
#include "platform/au/AUComponent.h"
#include "platform/au/AUTypes.h"

class IGraphics;
class IPluginAU;

// A view's hold on the unit it shows. A unit clears the links of its views
// when it closes, so a view that outlives its unit finds no plug-in instead
// of a freed one. Views and units may close on different threads: the
// plug-in is used through a link only under the links' process-wide mutex,
// which a closing unit takes to clear them.
class AUViewLink {
public:
  AUViewLink() = default;
  ~AUViewLink() { Attach(nullptr); }
  AUViewLink(const AUViewLink&) = delete;
  AUViewLink& operator=(const AUViewLink&) = delete;

  // Links to plug, leaving any earlier unit; null only unlinks.
  void Attach(IPluginAU* plug);
  // Calls use(plug) under the links' mutex; false, without calling it,
  // when no unit is linked (never was, or has closed).
  template <typename Use>
  bool With(Use use);
  // The linked plug-in or null; only for a look, not for use.
  IPluginAU* Peek() const;

private:
  friend class IPluginAU;
  IPluginAU* mPlug = nullptr;
};

// What MakePlug hands a new instance: where its bundle is found and the
// name of its view factory class.
struct IPluginInstanceInfo {
  std::string mBundleID;
  std::string mViewFactoryClassName;
  // The instance's MIDI-learn bindings, saved in the class info beside the
  // parameters under "midi-learn" (IPluginState's learn table: "KTC1", then
  // one signed byte per parameter, the controller 0..127 or -1 for none), so
  // a host's song reloads with its controllers still bound. Null: the
  // plug-in has no bindings to keep.
  int (*controllerOf)(IPluginBase* plug, int paramIdx) = nullptr;
  // Makes the instance's bindings those of table (one entry per parameter);
  // called with the plug-in mutex held, before the parameters are restored
  // (IPluginState::Apply).
  void (*setControllers)(IPluginBase* plug, const std::vector<int>& table) = nullptr;
};

// Binds IPluginBase to the Audio Unit component interface: the component
// dispatcher, properties and saved state, parameters and host notification,
// rendering and MIDI delivery, factory presets and the editor's views.
//
// Lifecycle: the entry's open request makes the plug-in (MakePlug), lets it
// identify the host and keeps it as the instance's storage; the host sets
// rate, slice size and formats, initialises, renders; close clears the
// connections and deletes the plug-in.
//
// Threads: every request but open and close runs with the plug-in mutex
// held (re-entrant), so MIDI, parameter changes and renders arriving
// through the dispatcher never overlap. A render reached through the
// fast-dispatch procedure runs without the mutex. Rendering allocates
// nothing: scratch areas are sized when the block size is set.
//
// Host data is checked before it is used: sizes of property data, parameter
// ids, render arguments, sample rates, slice sizes and saved states; a bad
// request is refused with a status code and changes nothing.
class IPluginAU : public IPluginBase {
public:
  enum EAUInputType { eNotConnected = 0, eDirectFastProc, eDirectNoFastProc, eRenderCallback };

  struct BusChannels {
    bool mConnected = false;
    int mNHostChannels = -1;  // -1 while the host has not configured the bus
    int mNPlugChannels = 0;
    int mPlugChannelStartIdx = 0;
  };

  struct InputBusConnection {
    void* mUpstreamObj = nullptr;
    AudioUnit mUpstreamUnit = nullptr;
    int mUpstreamBusIdx = 0;
    AudioUnitRenderProc mUpstreamRenderProc = nullptr;
    AURenderCallbackStruct mUpstreamRenderCallback{};
    EAUInputType mInputType = eNotConnected;
  };

  struct PropertyListener {
    AudioUnitPropertyID mPropID;
    AudioUnitPropertyListenerProc mListenerProc;
    void* mProcArgs;
  };

  // Accepted sample rates and maximum slice sizes.
  static constexpr double kMinSampleRate = 8000.0;
  static constexpr double kMaxSampleRate = 384000.0;
  static constexpr int kMaxBlockSize = 8192;

  IPluginAU(int nParams, const char* channelIOStr, int nPresets, const char* effectName, const char* productName,
            const char* mfrName, int vendorVersion, int uniqueID, int mfrID, int latency, bool plugDoesMidi,
            bool plugDoesChunks, bool plugIsInst, int plugScChans = 0);
  ~IPluginAU() override;

  // Set by MakePlug right after construction.
  void SetInstanceInfo(const IPluginInstanceInfo& info);
  const char* GetBundleID() const { return mBundleIdentifier.c_str(); }
  const char* GetViewFactoryClassName() const { return mViewFactoryClassName.c_str(); }

  // ---- Entries (the exported C functions forward here) ----
  static ComponentResult IPluginAUEntry(ComponentParameters* params, void* pPlug);
  static ComponentResult IPluginAUCarbonViewEntry(ComponentParameters* params, void* pView);

  // ---- Fast-dispatch procedures ----
  static OSStatus GetParamProc(void* pPlug, AudioUnitParameterID paramID, AudioUnitScope scope,
                               AudioUnitElement element, AudioUnitParameterValue* pValue);
  static OSStatus SetParamProc(void* pPlug, AudioUnitParameterID paramID, AudioUnitScope scope,
                               AudioUnitElement element, AudioUnitParameterValue value, UInt32 offsetFrames);
  static OSStatus RenderProc(void* pPlug, AudioUnitRenderActionFlags* pFlags, const AudioTimeStamp* pTimestamp,
                             UInt32 outputBusIdx, UInt32 nFrames, AudioBufferList* pBufferList);

  // ---- IPluginBase host operations ----
  void BeginInformHostOfParamChange(int idx) override;
  void InformHostOfParamChange(int idx, double normalizedValue) override;
  void EndInformHostOfParamChange(int idx) override;
  void InformHostOfProgramChange() override;
  bool IsRenderingOffline() override { return mIsOfflineRender; }
  int GetSamplePos() override;
  double GetTempo() override;
  void GetTimeSig(int* pNum, int* pDenom) override;
  void GetTime(ITimeInfo* pTimeInfo) override;
  EHost GetHost() override;
  void ResizeGraphics(int w, int h) override;
  void HostSpecificInit() override;
  void SetLatency(int samples) override;
  bool SendMidiMsg(IMidiMsg* /*pMsg*/) override { return false; }
  void SetBlockSize(int blockSize) override;

  // ---- For hosts and tests ----
  ComponentInstance GetComponentInstance() const { return mComponentInstance; }
  bool IsInitialized() const { return mIsInitialized.load(std::memory_order_acquire); }
  int NInputBuses() const { return static_cast<int>(mInBuses.size()); }
  int NOutputBuses() const { return static_cast<int>(mOutBuses.size()); }
  const BusChannels* GetBus(AudioUnitScope scope, AudioUnitElement busIdx) const;
  // The editor as the view entries see it (null without one).
  IGraphics* GetGraphics();

  // Component requests other than open and close, with the mutex held.
  ComponentResult Dispatch(ComponentParameters* params);
  ComponentResult GetProperty(AudioUnitPropertyID propID, AudioUnitScope scope, AudioUnitElement element,
                              UInt32* pDataSize, Boolean* pWriteable, void* pData);
  // Makes the change and, only when it was taken, tells the property's
  // listeners, who can then read the new value.
  ComponentResult SetProperty(AudioUnitPropertyID propID, AudioUnitScope scope, AudioUnitElement element,
                              UInt32* pDataSize, const void* pData);

private:
  friend class AUViewLink;

  ComponentResult ChangeProperty(AudioUnitPropertyID propID, AudioUnitScope scope, AudioUnitElement element,
                                 UInt32* pDataSize, const void* pData);
  // The binding's reset: the plug-in re-tuned (Reset) and silenced (Silence).
  void ResetAndSilence();
  // Clears the links of every view of this unit (at close).
  void DetachViews();
  // Moves the editor's controls of parameters the host set on the render
  // thread, which must not touch the editor (idle worker).
  void CatchUpEditor();
  BusChannels* GetBusMutable(AudioUnitScope scope, AudioUnitElement busIdx);
  int NHostChannelsConnected(const std::vector<std::unique_ptr<BusChannels>>& buses,
                             const BusChannels* pExclude = nullptr) const;
  bool CheckLegalIO(AudioUnitScope scope, int busIdx, int nChannels);
  bool CheckLegalIO();
  void AssessInputConnections();
  void ClearConnections();
  void InformListeners(AudioUnitPropertyID propID, AudioUnitScope scope);
  void SendAUEvent(AudioUnitEventType type, int idx);
  bool ValidParam(AudioUnitParameterID id) const { return id < static_cast<UInt32>(NParams()); }

  ComponentResult GetState(CFPropertyListRef* ppPropList);
  ComponentResult SetState(CFPropertyListRef pPropList);
  void GetParamInfo(int idx, AudioUnitParameterInfo* pInfo);
  OSStatus RenderUnlocked(AudioUnitRenderActionFlags* pFlags, const AudioTimeStamp* pTimestamp, UInt32 outputBusIdx,
                          UInt32 nFrames, AudioBufferList* pBufferList);
  OSStatus PullInputs(const AudioTimeStamp* pTimestamp, UInt32 nFrames);
  void NotifyRender(AudioUnitRenderActionFlags flags, const AudioTimeStamp* pTimestamp, UInt32 bus, UInt32 nFrames,
                    AudioBufferList* pBufferList);

  // The idle worker: OnIdle 25 times a second from open to close, so that
  // what the audio thread hands over (controller moves for the host, preset
  // steps) is carried out even while no editor's timer runs. Started by the
  // open request and stopped by close, both outside the plug-in mutex, which
  // OnIdle takes.
  void StartIdleWorker();
  void StopIdleWorker();

  std::string mBundleIdentifier;
  std::string mViewFactoryClassName;
  int (*mControllerOf)(IPluginBase*, int) = nullptr;
  void (*mSetControllers)(IPluginBase*, const std::vector<int>&) = nullptr;
  std::thread mIdleThread;
  std::mutex mIdleWait;
  std::condition_variable mIdleWake;
  bool mIdleStop = false;
  char mValueStringBuffer[32] = {};
  ComponentInstance mComponentInstance = nullptr;
  // Read by a fast-dispatch render, which takes no mutex.
  std::atomic<bool> mIsInitialized{false};
  // The thread of the latest render, and the parameters whose controls it
  // left for the idle worker to move (one flag each, plus one for any).
  std::atomic<std::thread::id> mRenderThread{};
  std::unique_ptr<std::atomic<bool>[]> mEditorBehind;
  std::atomic<bool> mEditorBehindAny{false};
  std::vector<AUViewLink*> mViewLinks;  // under the links' mutex
  bool mIsOfflineRender = false;
  double mLastRenderSampleTime = -1.0;
  double mTempo = 120.0;
  HostCallbackInfo mHostCallbackInfo{};
  std::vector<float> mInScratchBuf;
  std::vector<float> mOutScratchBuf;
  std::vector<AURenderCallbackStruct> mRenderNotify;
  AUMIDIOutputCallbackStruct mMidiCallback{};  // never used: the plug-in sends no MIDI
  std::vector<std::unique_ptr<BusChannels>> mInBuses;
  std::vector<std::unique_ptr<BusChannels>> mOutBuses;
  std::vector<std::unique_ptr<InputBusConnection>> mInBusConnections;
  std::vector<std::unique_ptr<PropertyListener>> mPropertyListeners;
};

// Makes the plug-in for an open request; the plug-in's entry file defines it.
IPluginAU* MakePlug();

// ---- Factory preset records (property 24) ----
struct CFAUPreset {
  AUPreset au;
  UInt32 reserved;
  CFAllocatorRef allocator;
  CFIndex retainCount;
};
typedef CFAUPreset* CFAUPresetRef;

CFAUPresetRef CFAUPresetCreate(CFAllocatorRef allocator, SInt32 presetNumber, CFStringRef presetName);
CFAUPresetRef CFAUPresetRetain(void* preset);
void CFAUPresetRelease(void* preset);
const void* CFAUPresetArrayRetainCallBack(CFAllocatorRef allocator, const void* preset);
void CFAUPresetArrayReleaseCallBack(CFAllocatorRef allocator, const void* preset);
Boolean CFAUPresetArrayEqualCallBack(const void* preset1, const void* preset2);
CFStringRef CFAUPresetArrayCopyDescriptionCallBack(const void* preset);
void CFAUPresetArrayCallBacks_Init(CFArrayCallBacks* callBacks);
extern CFArrayCallBacks kCFAUPresetArrayCallBacks;

// ---- The view factory named by property 31 ----
// The platform creates it by class name and asks it for the view of a unit.
class QiKt412_View {
public:
  QiKt412_View* init();
  // The editor's view for the unit, opened with no parent window; null when
  // the unit has no plug-in or the plug-in no editor.
  void* uiViewForAudioUnit(AudioUnit unit, Float32 width, Float32 height);
  unsigned interfaceVersion() const { return 0; }
  const char* description() const { return "Quorvane KT-412 View"; }
  // The unit's plug-in, or null once the unit has closed.
  IPluginAU* Plug() const { return mPlug.Peek(); }

private:
  AUViewLink mPlug;
};

// The Carbon view component's record, one per view instance.
struct CarbonViewRecord {
  explicit CarbonViewRecord(ComponentInstance viewInstance) : mViewInstance(viewInstance) {}
  ComponentInstance mViewInstance;
  AUViewLink mPlug;  // the unit shown, unlinked when it closes
};

std::mutex& AUViewLinkMutex();

template <typename Use>
bool AUViewLink::With(Use use) {
  std::lock_guard<std::mutex> lock(AUViewLinkMutex());
  if (!mPlug) return false;
  use(mPlug);
  return true;
}
