// The Audio Unit binding: construction, the component dispatcher, parameters,
// host notification, buses and host time.
#include "au/IPluginAU.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/ILog.h"
#include "graphics/IGraphics.h"

namespace {

constexpr int kMaxArgs = 8;

// The arguments of one request, read only as far as the caller supplied them.
class Args {
public:
  explicit Args(const ComponentParameters* p)
      : mP(p), mN(static_cast<int>(p->paramSize / sizeof(intptr_t))) {}
  bool Has(int n) const { return n <= mN && n <= kMaxArgs; }
  intptr_t Raw(int i) const { return mP->params[i]; }
  UInt32 U32(int i) const { return static_cast<UInt32>(Raw(i)); }
  Float32 F32(int i) const { return ComponentArgFloat(Raw(i)); }
  template <typename T>
  T* Ptr(int i) const {
    return reinterpret_cast<T*>(Raw(i));
  }

private:
  const ComponentParameters* mP;
  int mN;
};

}  // namespace

IPluginAU::IPluginAU(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
                     const char* productName, const char* mfrName, int vendorVersion, int uniqueID, int mfrID,
                     int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst, int plugScChans)
    : IPluginBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName, vendorVersion, uniqueID, mfrID,
                  latency, plugDoesMidi, plugDoesChunks, plugIsInst, kAPIAU) {
  TRACE("%s", effectName);
  const int nIn = NInChannels();
  const int nOut = NOutChannels();
  auto addBus = [](std::vector<std::unique_ptr<BusChannels>>& list, int start, int n) {
    auto bus = std::make_unique<BusChannels>();
    bus->mPlugChannelStartIdx = start;
    bus->mNPlugChannels = n;
    list.push_back(std::move(bus));
  };
  if (nIn > 0) {
    if (plugScChans > 0 && plugScChans < nIn) {
      addBus(mInBuses, 0, nIn - plugScChans);
      addBus(mInBuses, nIn - plugScChans, plugScChans);
      SetInputBusLabel(0, "main input");
      SetInputBusLabel(1, "aux input");
    } else {
      addBus(mInBuses, 0, nIn);
      SetInputBusLabel(0, "input");
      SetInputBusLabel(1, "aux input");
    }
  }
  for (size_t i = 0; i < mInBuses.size(); ++i) mInBusConnections.push_back(std::make_unique<InputBusConnection>());
  if (plugIsInst) {
    for (int i = 0, start = 0; start < nOut; ++i, start += 2) {
      addBus(mOutBuses, start, std::min(2, nOut - start));
      char label[32];
      std::snprintf(label, sizeof label, "output %i", i + 1);
      SetOutputBusLabel(i, label);
    }
  } else {
    addBus(mOutBuses, 0, nOut);
    SetOutputBusLabel(0, "output");
  }
  AssessInputConnections();
  SetBlockSize(1024);
  mEditorBehind = std::make_unique<std::atomic<bool>[]>(static_cast<size_t>(NParams()));
}

IPluginAU::~IPluginAU() {
  StopIdleWorker();
  DetachViews();
  mRenderNotify.clear();
  mInBuses.clear();
  mOutBuses.clear();
  mInBusConnections.clear();
  mPropertyListeners.clear();
}

void IPluginAU::StartIdleWorker() {
  if (mIdleThread.joinable()) return;
  mIdleStop = false;
  mIdleThread = std::thread([this] {
    std::unique_lock<std::mutex> lock(mIdleWait);
    while (!mIdleWake.wait_for(lock, std::chrono::milliseconds(40), [this] { return mIdleStop; })) {
      lock.unlock();
      CatchUpEditor();
      OnIdle();
      lock.lock();
    }
  });
}

void IPluginAU::StopIdleWorker() {
  if (!mIdleThread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mIdleWait);
    mIdleStop = true;
  }
  mIdleWake.notify_all();
  mIdleThread.join();
}

void IPluginAU::CatchUpEditor() {
  if (!mEditorBehindAny.exchange(false, std::memory_order_acquire)) return;
  IMutexLock lock(this);
  IEditor* gui = GetGUI();
  for (int i = 0; i < NParams(); ++i)
    if (mEditorBehind[static_cast<size_t>(i)].exchange(false, std::memory_order_acq_rel) && gui)
      gui->SetParameterFromPlug(i, GetParam(i)->Value(), false);
}

void IPluginAU::ResetAndSilence() {
  Reset();
  Silence();
}

// ---- Views ----

std::mutex& AUViewLinkMutex() {
  static std::mutex sMutex;
  return sMutex;
}

void AUViewLink::Attach(IPluginAU* plug) {
  std::lock_guard<std::mutex> lock(AUViewLinkMutex());
  if (mPlug) std::erase(mPlug->mViewLinks, this);
  mPlug = plug;
  if (mPlug) mPlug->mViewLinks.push_back(this);
}

IPluginAU* AUViewLink::Peek() const {
  std::lock_guard<std::mutex> lock(AUViewLinkMutex());
  return mPlug;
}

void IPluginAU::DetachViews() {
  std::lock_guard<std::mutex> lock(AUViewLinkMutex());
  for (AUViewLink* link : mViewLinks) link->mPlug = nullptr;
  mViewLinks.clear();
}

void IPluginAU::SetInstanceInfo(const IPluginInstanceInfo& info) {
  mBundleIdentifier = info.mBundleID;
  mViewFactoryClassName = info.mViewFactoryClassName;
  mControllerOf = info.controllerOf;
  mSetControllers = info.setControllers;
}

IGraphics* IPluginAU::GetGraphics() { return dynamic_cast<IGraphics*>(GetGUI()); }

// ---- Entries ----

ComponentResult IPluginAU::IPluginAUEntry(ComponentParameters* params, void* pPlug) {
  if (!params) return paramErr;
  Args args(params);
  IPluginAU* plug = static_cast<IPluginAU*>(pPlug);
  TRACE("(%d)", params->what);
  switch (params->what) {
    case kComponentOpenSelect: {
      if (!args.Has(1)) return paramErr;
      ComponentInstance ci = args.Ptr<ComponentRecord>(0);
      if (!ci || plug) return paramErr;
      IPluginAU* made = MakePlug();
      if (!made) return paramErr;
      made->HostSpecificInit();
      made->PruneUninitializedPresets();
      made->mComponentInstance = ci;
      SetComponentInstanceStorage(ci, reinterpret_cast<Handle>(made));
      made->StartIdleWorker();
      return noErr;
    }
    case kComponentCloseSelect: {
      if (plug) {
        ComponentInstance ci = plug->mComponentInstance;
        // Before the plug-in goes: the worker calls into it, and a view
        // closed later must find it gone.
        plug->StopIdleWorker();
        plug->DetachViews();
        plug->ClearConnections();
        delete plug;
        SetComponentInstanceStorage(ci, nullptr);
      }
      return noErr;
    }
    case kComponentCanDoSelect: {
      if (!args.Has(1)) return paramErr;
      switch (static_cast<SInt16>(args.Raw(0))) {
        case kAudioUnitInitializeSelect:
        case kAudioUnitUninitializeSelect:
        case kAudioUnitGetPropertyInfoSelect:
        case kAudioUnitGetPropertySelect:
        case kAudioUnitSetPropertySelect:
        case kAudioUnitGetParameterSelect:
        case kAudioUnitSetParameterSelect:
        case kAudioUnitResetSelect:
        case kAudioUnitAddPropertyListenerSelect:
        case kAudioUnitRemovePropertyListenerSelect:
        case kAudioUnitRenderSelect:
        case kAudioUnitAddRenderNotifySelect:
        case kAudioUnitRemoveRenderNotifySelect:
        case kAudioUnitScheduleParametersSelect: return 1;
        default: return 0;
      }
    }
    default: break;
  }
  if (!plug) return badComponentSelector;
  if (params->what == kComponentVersionSelect) return plug->GetEffectVersion(false);
  IMutexLock lock(plug);
  return plug->Dispatch(params);
}

ComponentResult IPluginAU::Dispatch(ComponentParameters* params) {
  Args args(params);
  switch (params->what) {
    case kAudioUnitInitializeSelect: {
      if (!CheckLegalIO()) return badComponentSelector;
      // A fresh start: nothing of what sounded or waited before.
      Silence();
      mIsInitialized.store(true, std::memory_order_release);
      OnParamReset();
      OnActivate(true);
      return noErr;
    }
    case kAudioUnitUninitializeSelect: {
      mIsInitialized.store(false, std::memory_order_release);
      OnActivate(false);
      return noErr;
    }
    case kAudioUnitGetPropertyInfoSelect: {
      if (!args.Has(5)) return paramErr;
      UInt32 size = 0;
      Boolean writeable = false;
      ComponentResult r = GetProperty(args.U32(0), args.U32(1), args.U32(2), &size, &writeable, nullptr);
      if (UInt32* pSize = args.Ptr<UInt32>(3)) *pSize = size;
      if (Boolean* pW = args.Ptr<Boolean>(4)) *pW = writeable;
      return r;
    }
    case kAudioUnitGetPropertySelect: {
      if (!args.Has(5)) return paramErr;
      void* pData = args.Ptr<void>(3);
      UInt32* pSize = args.Ptr<UInt32>(4);
      if (!pData || !pSize) return kAudioUnitErr_InvalidPropertyValue;
      Boolean writeable = false;
      return GetProperty(args.U32(0), args.U32(1), args.U32(2), pSize, &writeable, pData);
    }
    case kAudioUnitSetPropertySelect: {
      if (!args.Has(5)) return paramErr;
      UInt32 size = args.U32(4);
      return SetProperty(args.U32(0), args.U32(1), args.U32(2), &size, args.Ptr<const void>(3));
    }
    case kAudioUnitGetParameterSelect:
      if (!args.Has(4)) return paramErr;
      return GetParamProc(this, args.U32(0), args.U32(1), args.U32(2), args.Ptr<AudioUnitParameterValue>(3));
    case kAudioUnitSetParameterSelect:
      if (!args.Has(5)) return paramErr;
      return SetParamProc(this, args.U32(0), args.U32(1), args.U32(2), args.F32(3), args.U32(4));
    case kAudioUnitResetSelect: ResetAndSilence(); return noErr;
    case kAudioUnitAddPropertyListenerSelect: {
      if (!args.Has(3)) return paramErr;
      auto proc = reinterpret_cast<AudioUnitPropertyListenerProc>(args.Raw(1));
      if (!proc) return kAudioUnitErr_InvalidPropertyValue;
      for (const auto& l : mPropertyListeners)
        if (l->mPropID == args.U32(0) && l->mListenerProc == proc) return noErr;
      mPropertyListeners.push_back(std::make_unique<PropertyListener>(PropertyListener{args.U32(0), proc, args.Ptr<void>(2)}));
      return noErr;
    }
    case kAudioUnitRemovePropertyListenerSelect:
    case kAudioUnitRemovePropertyListenerWithUserDataSelect: {
      const bool withData = params->what == kAudioUnitRemovePropertyListenerWithUserDataSelect;
      if (!args.Has(withData ? 3 : 2)) return paramErr;
      auto proc = reinterpret_cast<AudioUnitPropertyListenerProc>(args.Raw(1));
      for (auto it = mPropertyListeners.begin(); it != mPropertyListeners.end(); ++it) {
        if ((*it)->mPropID == args.U32(0) && (*it)->mListenerProc == proc &&
            (!withData || (*it)->mProcArgs == args.Ptr<void>(2))) {
          mPropertyListeners.erase(it);
          break;
        }
      }
      return noErr;
    }
    case kAudioUnitRenderSelect:
      if (!args.Has(5)) return paramErr;
      return RenderUnlocked(args.Ptr<AudioUnitRenderActionFlags>(0), args.Ptr<const AudioTimeStamp>(1), args.U32(2),
                            args.U32(3), args.Ptr<AudioBufferList>(4));
    case kAudioUnitAddRenderNotifySelect: {
      if (!args.Has(2)) return paramErr;
      auto proc = reinterpret_cast<AURenderCallback>(args.Raw(0));
      if (!proc) return kAudioUnitErr_InvalidPropertyValue;
      mRenderNotify.push_back(AURenderCallbackStruct{proc, args.Ptr<void>(1)});
      return noErr;
    }
    case kAudioUnitRemoveRenderNotifySelect: {
      if (!args.Has(1)) return paramErr;
      auto proc = reinterpret_cast<AURenderCallback>(args.Raw(0));
      for (auto it = mRenderNotify.begin(); it != mRenderNotify.end(); ++it) {
        if (it->inputProc == proc) {
          mRenderNotify.erase(it);
          break;
        }
      }
      return noErr;
    }
    case kAudioUnitScheduleParametersSelect: {
      if (!args.Has(2)) return paramErr;
      const auto* events = args.Ptr<const AudioUnitParameterEvent>(0);
      const UInt32 n = args.U32(1);
      if (n > 0 && !events) return kAudioUnitErr_InvalidPropertyValue;
      for (UInt32 i = 0; i < n; ++i) {
        const AudioUnitParameterEvent& e = events[i];
        if (e.eventType != kParameterEvent_Immediate) continue;
        OSStatus r = SetParamProc(this, e.parameter, e.scope, e.element, e.eventValues.immediate.value,
                                  e.eventValues.immediate.bufferOffset);
        if (r != noErr) return r;
      }
      return noErr;
    }
    case kMusicDeviceMIDIEventSelect: {
      if (!args.Has(4)) return paramErr;
      const UInt32 offset = args.U32(3);
      IMidiMsg msg(offset > INT_MAX ? INT_MAX : static_cast<int>(offset), static_cast<unsigned char>(args.U32(0)),
                   static_cast<unsigned char>(args.U32(1)), static_cast<unsigned char>(args.U32(2)));
      ProcessMidiMsg(&msg);
      return noErr;
    }
    case kMusicDeviceSysExSelect: {
      if (!args.Has(2)) return paramErr;
      const auto* data = args.Ptr<const UInt8>(0);
      const UInt32 length = args.U32(1);
      if ((length > 0 && !data) || length > INT_MAX) return kAudioUnitErr_InvalidPropertyValue;
      ISysEx sysex(0, data, static_cast<int>(length));
      ProcessSysEx(&sysex);
      return noErr;
    }
    case kMusicDevicePrepareInstrumentSelect:
    case kMusicDeviceReleaseInstrumentSelect: return noErr;
    case kMusicDeviceStartNoteSelect: {
      if (!args.Has(5)) return paramErr;
      const auto* note = args.Ptr<const MusicDeviceNoteParams>(4);
      if (!note) return kAudioUnitErr_InvalidPropertyValue;
      // A pitch or velocity that is no MIDI number is refused, not wrapped.
      if (!(note->mPitch >= 0.0f && note->mPitch < 128.0f) || !(note->mVelocity >= 0.0f && note->mVelocity < 128.0f))
        return kAudioUnitErr_InvalidPropertyValue;
      const int pitch = static_cast<int>(note->mPitch);
      const UInt32 offset = args.U32(3);
      if (auto* pId = args.Ptr<NoteInstanceID>(2)) *pId = static_cast<NoteInstanceID>(pitch);
      IMidiMsg msg;
      msg.MakeNoteOnMsg(pitch, static_cast<int>(note->mVelocity), offset > INT_MAX ? INT_MAX : static_cast<int>(offset), 0);
      ProcessMidiMsg(&msg);
      return noErr;
    }
    case kMusicDeviceStopNoteSelect: {
      if (!args.Has(3)) return paramErr;
      const UInt32 offset = args.U32(2);
      IMidiMsg msg;
      msg.MakeNoteOffMsg(static_cast<int>(args.U32(1) & 0x7F), offset > INT_MAX ? INT_MAX : static_cast<int>(offset), 0);
      ProcessMidiMsg(&msg);
      return noErr;
    }
    default: return badComponentSelector;
  }
}

// ---- Parameters ----

OSStatus IPluginAU::GetParamProc(void* pPlug, AudioUnitParameterID paramID, AudioUnitScope scope, AudioUnitElement,
                                 AudioUnitParameterValue* pValue) {
  IPluginAU* plug = static_cast<IPluginAU*>(pPlug);
  if (!plug) return paramErr;
  if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidProperty;
  if (!plug->ValidParam(paramID)) return kAudioUnitErr_InvalidParameter;
  if (!pValue) return kAudioUnitErr_InvalidPropertyValue;
  IMutexLock lock(plug);
  *pValue = static_cast<AudioUnitParameterValue>(plug->GetParam(static_cast<int>(paramID))->Value());
  return noErr;
}

OSStatus IPluginAU::SetParamProc(void* pPlug, AudioUnitParameterID paramID, AudioUnitScope scope, AudioUnitElement,
                                 AudioUnitParameterValue value, UInt32) {
  IPluginAU* plug = static_cast<IPluginAU*>(pPlug);
  if (!plug) return paramErr;
  if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidProperty;
  if (!plug->ValidParam(paramID)) return kAudioUnitErr_InvalidParameter;
  if (!std::isfinite(value)) return kAudioUnitErr_InvalidPropertyValue;
  IMutexLock lock(plug);
  const int idx = static_cast<int>(paramID);
  plug->GetParam(idx)->Set(value);
  if (IEditor* gui = plug->GetGUI()) {
    // The editor belongs to the user-interface thread, and moving a control
    // may allocate: a change arriving on the render thread (a host that
    // automates from there) leaves the control to the idle worker.
    if (std::this_thread::get_id() == plug->mRenderThread.load(std::memory_order_relaxed)) {
      plug->mEditorBehind[idx].store(true, std::memory_order_release);
      plug->mEditorBehindAny.store(true, std::memory_order_release);
    } else {
      gui->SetParameterFromPlug(idx, value, false);
    }
  }
  plug->OnParamChange(idx);
  return noErr;
}

// ---- Host notification ----

void IPluginAU::SendAUEvent(AudioUnitEventType type, int idx) {
  if (!mComponentInstance) return;
  AudioUnitEvent e{};
  e.mEventType = type;
  e.mArgument.mParameter.mAudioUnit = mComponentInstance;
  e.mArgument.mParameter.mParameterID = static_cast<AudioUnitParameterID>(idx);
  e.mArgument.mParameter.mScope = kAudioUnitScope_Global;
  e.mArgument.mParameter.mElement = 0;
  AUEventListenerNotify(nullptr, nullptr, &e);
}

void IPluginAU::BeginInformHostOfParamChange(int idx) {
  TRACE("%d", idx);
  SendAUEvent(kAudioUnitEvent_BeginParameterChangeGesture, idx);
}

void IPluginAU::InformHostOfParamChange(int idx, double normalizedValue) {
  TRACE("%d:%f", idx, normalizedValue);
  SendAUEvent(kAudioUnitEvent_ParameterValueChange, idx);
}

void IPluginAU::EndInformHostOfParamChange(int idx) {
  TRACE("%d", idx);
  SendAUEvent(kAudioUnitEvent_EndParameterChangeGesture, idx);
}

void IPluginAU::InformHostOfProgramChange() { InformListeners(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global); }

void IPluginAU::InformListeners(AudioUnitPropertyID propID, AudioUnitScope scope) {
  // A listener may remove itself while it is called; walk a copy.
  std::vector<PropertyListener> listeners;
  for (const auto& l : mPropertyListeners)
    if (l->mPropID == propID) listeners.push_back(*l);
  for (const PropertyListener& l : listeners) l.mListenerProc(l.mProcArgs, mComponentInstance, propID, scope, 0);
}

// ---- Other host operations ----

EHost IPluginAU::GetHost() {
  EHost host = IPluginBase::GetHost();
  if (host == kHostUninit) {
    CFStringRef id = CFBundleGetIdentifier(CFBundleGetMainBundle());
    if (const char* text = CFStringGetCStringPtr(id, kCFStringEncodingUTF8)) SetHost(text, 0);
    host = IPluginBase::GetHost();
  }
  if (host == kHostUninit) {
    SetHost("", 0);
    host = IPluginBase::GetHost();
  }
  return host;
}

void IPluginAU::HostSpecificInit() {
  GetHost();
  OnHostIdentified();
}

void IPluginAU::ResizeGraphics(int, int) {
  if (GetGUI()) OnWindowResize();
}

void IPluginAU::SetLatency(int samples) {
  InformListeners(kAudioUnitProperty_Latency, kAudioUnitScope_Global);
  IPluginBase::SetLatency(samples);
}

void IPluginAU::SetBlockSize(int blockSize) {
  if (blockSize < 0) blockSize = 0;
  mInScratchBuf.assign(static_cast<size_t>(blockSize) * static_cast<size_t>(NInChannels()), 0.0f);
  mOutScratchBuf.assign(static_cast<size_t>(blockSize) * static_cast<size_t>(NOutChannels()), 0.0f);
  IPluginBase::SetBlockSize(blockSize);
}

int IPluginAU::GetSamplePos() {
  Float64 samplePos = 0.0;
  Boolean playing = false, changed = false, cycling = false;
  Float64 cycleStart = 0.0, cycleEnd = 0.0;
  if (mHostCallbackInfo.transportStateProc) {
    mHostCallbackInfo.transportStateProc(mHostCallbackInfo.hostUserData, &playing, &changed, &samplePos, &cycling,
                                         &cycleStart, &cycleEnd);
    if (std::isfinite(samplePos) && samplePos + 0.5 > INT_MIN && samplePos + 0.5 < INT_MAX)
      return static_cast<int>(samplePos + 0.5);
  }
  return 0;
}

double IPluginAU::GetTempo() {
  if (mHostCallbackInfo.beatAndTempoProc) {
    Float64 beat = 0.0, tempo = 0.0;
    mHostCallbackInfo.beatAndTempoProc(mHostCallbackInfo.hostUserData, &beat, &tempo);
    if (tempo > 0.0 && std::isfinite(tempo)) mTempo = tempo;
  }
  return mTempo;
}

void IPluginAU::GetTimeSig(int* pNum, int* pDenom) {
  if (!mHostCallbackInfo.musicalTimeLocationProc) return;
  UInt32 deltaToBeat = 0, denom = 0;
  Float32 num = 0.0f;
  Float64 downBeat = 0.0;
  mHostCallbackInfo.musicalTimeLocationProc(mHostCallbackInfo.hostUserData, &deltaToBeat, &num, &denom, &downBeat);
  if (pNum && std::isfinite(num) && std::fabs(num) < 1e6f) *pNum = static_cast<int>(num);
  if (pDenom) *pDenom = static_cast<int>(denom);
}

void IPluginAU::GetTime(ITimeInfo* pTimeInfo) {
  if (!pTimeInfo) return;
  const HostCallbackInfo& cb = mHostCallbackInfo;
  if (cb.beatAndTempoProc) {
    Float64 beat = 0.0, tempo = 0.0;
    cb.beatAndTempoProc(cb.hostUserData, &beat, &tempo);
    if (tempo > 0.0) pTimeInfo->mTempo = tempo;
    if (beat > 0.0) pTimeInfo->mPPQPos = beat;
  }
  if (cb.transportStateProc) {
    Float64 samplePos = 0.0, cycleStart = 0.0, cycleEnd = 0.0;
    Boolean playing = false, changed = false, cycling = false;
    cb.transportStateProc(cb.hostUserData, &playing, &changed, &samplePos, &cycling, &cycleStart, &cycleEnd);
    pTimeInfo->mSamplePos = samplePos;
    if (cycleStart > 0.0) pTimeInfo->mCycleStart = cycleStart;
    if (cycleEnd > 0.0) pTimeInfo->mCycleEnd = cycleEnd;
    pTimeInfo->mTransportIsRunning = playing;
    pTimeInfo->mTransportLoopEnabled = cycling;
  }
  if (cb.musicalTimeLocationProc) {
    UInt32 deltaToBeat = 0, denom = 0;
    Float32 num = 0.0f;
    Float64 downBeat = 0.0;
    cb.musicalTimeLocationProc(cb.hostUserData, &deltaToBeat, &num, &denom, &downBeat);
    if (std::isfinite(num) && std::fabs(num) < 1e6f) pTimeInfo->mNumerator = static_cast<int>(num);
    pTimeInfo->mDenominator = static_cast<int>(denom);
    if (downBeat > 0.0) pTimeInfo->mLastBar = downBeat;
  }
}

// ---- Buses ----

const IPluginAU::BusChannels* IPluginAU::GetBus(AudioUnitScope scope, AudioUnitElement busIdx) const {
  const auto* list = scope == kAudioUnitScope_Input ? &mInBuses : scope == kAudioUnitScope_Output ? &mOutBuses : nullptr;
  if (!list || busIdx >= list->size()) return nullptr;
  return (*list)[busIdx].get();
}

IPluginAU::BusChannels* IPluginAU::GetBusMutable(AudioUnitScope scope, AudioUnitElement busIdx) {
  return const_cast<BusChannels*>(GetBus(scope, busIdx));
}

int IPluginAU::NHostChannelsConnected(const std::vector<std::unique_ptr<BusChannels>>& buses,
                                      const BusChannels* pExclude) const {
  bool any = false;
  int n = 0;
  for (const auto& bus : buses) {
    if (bus.get() == pExclude || bus->mNHostChannels < 0) continue;
    any = true;
    n += bus->mNHostChannels;
  }
  return any ? n : -1;
}

bool IPluginAU::CheckLegalIO() {
  const int nIn = NHostChannelsConnected(mInBuses);
  const int nOut = NHostChannelsConnected(mOutBuses);
  return (nIn == 0 && nOut == 0) || LegalIO(nIn, nOut);
}

bool IPluginAU::CheckLegalIO(AudioUnitScope scope, int busIdx, int nChannels) {
  const BusChannels* bus = GetBus(scope, static_cast<AudioUnitElement>(busIdx));
  if (!bus) return false;
  if (scope == kAudioUnitScope_Input) {
    const int others = std::max(NHostChannelsConnected(mInBuses, bus), 0);
    const int nOut = mIsInitialized ? NHostChannelsConnected(mOutBuses) : -1;
    return LegalIO(others + nChannels, nOut);
  }
  const int others = std::max(NHostChannelsConnected(mOutBuses, bus), 0);
  const int nIn = mIsInitialized ? NHostChannelsConnected(mInBuses) : -1;
  return LegalIO(nIn, others + nChannels);
}

void IPluginAU::AssessInputConnections() {
  IMutexLock lock(this);
  SetInputChannelConnections(0, NInChannels(), false);
  for (size_t i = 0; i < mInBuses.size(); ++i) {
    BusChannels* bus = mInBuses[i].get();
    InputBusConnection* conn = mInBusConnections[i].get();
    if (conn->mUpstreamRenderProc && conn->mUpstreamObj) conn->mInputType = eDirectFastProc;
    else if (conn->mUpstreamUnit) conn->mInputType = eDirectNoFastProc;
    else if (conn->mUpstreamRenderCallback.inputProc) conn->mInputType = eRenderCallback;
    else conn->mInputType = eNotConnected;
    bus->mConnected = conn->mInputType != eNotConnected;
    if (!bus->mConnected) continue;
    if (bus->mNHostChannels < 0) bus->mNHostChannels = bus->mNPlugChannels;
    const int nConnected = std::min(bus->mNHostChannels, bus->mNPlugChannels);
    SetInputChannelConnections(bus->mPlugChannelStartIdx, nConnected, true);
    if (bus->mNPlugChannels > nConnected)
      SetInputChannelConnections(bus->mPlugChannelStartIdx + nConnected, bus->mNPlugChannels - nConnected, false);
  }
}

void IPluginAU::ClearConnections() {
  for (size_t i = 0; i < mInBuses.size(); ++i) {
    mInBuses[i]->mConnected = false;
    mInBuses[i]->mNHostChannels = -1;
    *mInBusConnections[i] = InputBusConnection();
  }
  for (auto& bus : mOutBuses) {
    bus->mConnected = false;
    bus->mNHostChannels = -1;
  }
}
