// The Audio Unit binding's render path: argument checks, render
// notifications, input pulling for the bus model, output binding and one
// block of the base's processing. Nothing here allocates or locks.
#include <algorithm>
#include <cmath>

#include "au/IPluginAU.h"

namespace {
// Channels of one input bus pulled per render; the list lives on the stack.
constexpr int kMaxPulledChannels = 8;

struct StackBufferList {
  UInt32 mNumberBuffers;
  AudioBuffer mBuffers[kMaxPulledChannels];
};
}  // namespace

OSStatus IPluginAU::RenderProc(void* pPlug, AudioUnitRenderActionFlags* pFlags, const AudioTimeStamp* pTimestamp,
                               UInt32 outputBusIdx, UInt32 nFrames, AudioBufferList* pBufferList) {
  IPluginAU* plug = static_cast<IPluginAU*>(pPlug);
  if (!plug) return paramErr;
  return plug->RenderUnlocked(pFlags, pTimestamp, outputBusIdx, nFrames, pBufferList);
}

void IPluginAU::NotifyRender(AudioUnitRenderActionFlags flags, const AudioTimeStamp* pTimestamp, UInt32 bus,
                             UInt32 nFrames, AudioBufferList* pBufferList) {
  for (const AURenderCallbackStruct& cb : mRenderNotify) {
    AudioUnitRenderActionFlags f = flags;
    cb.inputProc(cb.inputProcRefCon, &f, pTimestamp, bus, nFrames, pBufferList);
  }
}

OSStatus IPluginAU::PullInputs(const AudioTimeStamp* pTimestamp, UInt32 nFrames) {
  for (size_t i = 0; i < mInBuses.size(); ++i) {
    BusChannels* bus = mInBuses[i].get();
    InputBusConnection* conn = mInBusConnections[i].get();
    if (!bus->mConnected) continue;
    const int nCh = std::min({bus->mNHostChannels, bus->mNPlugChannels, kMaxPulledChannels});
    if (nCh <= 0) continue;
    StackBufferList list{};
    list.mNumberBuffers = static_cast<UInt32>(nCh);
    for (int c = 0; c < nCh; ++c) {
      list.mBuffers[c].mNumberChannels = 1;
      list.mBuffers[c].mDataByteSize = nFrames * sizeof(float);
      list.mBuffers[c].mData = nullptr;
    }
    auto* pList = reinterpret_cast<AudioBufferList*>(&list);
    AudioUnitRenderActionFlags flags = 0;
    OSStatus r = noErr;
    switch (conn->mInputType) {
      case eDirectFastProc:
        r = conn->mUpstreamRenderProc(conn->mUpstreamObj, &flags, pTimestamp,
                                      static_cast<UInt32>(conn->mUpstreamBusIdx), nFrames, pList);
        break;
      case eDirectNoFastProc:
        r = AudioUnitRender(conn->mUpstreamUnit, &flags, pTimestamp, static_cast<UInt32>(conn->mUpstreamBusIdx),
                            nFrames, pList);
        break;
      case eRenderCallback: {
        float* base = mInScratchBuf.data() + static_cast<size_t>(bus->mPlugChannelStartIdx) * nFrames;
        for (int c = 0; c < nCh; ++c) list.mBuffers[c].mData = base + static_cast<size_t>(c) * nFrames;
        r = conn->mUpstreamRenderCallback.inputProc(conn->mUpstreamRenderCallback.inputProcRefCon, &flags, pTimestamp,
                                                    static_cast<UInt32>(i), nFrames, pList);
        break;
      }
      default: break;
    }
    if (r != noErr) return r;
    const int nGot = std::min(static_cast<int>(list.mNumberBuffers), nCh);
    for (int c = 0; c < nGot; ++c) {
      float* data = static_cast<float*>(list.mBuffers[c].mData);
      // An upstream unit that gave no memory, or less than asked, is read as silence.
      if (!data || list.mBuffers[c].mDataByteSize < nFrames * sizeof(float)) continue;
      AttachInputBuffers(bus->mPlugChannelStartIdx + c, 1, &data, static_cast<int>(nFrames));
    }
  }
  mLastRenderSampleTime = pTimestamp->mSampleTime;
  return noErr;
}

OSStatus IPluginAU::RenderUnlocked(AudioUnitRenderActionFlags* pFlags, const AudioTimeStamp* pTimestamp,
                                   UInt32 outputBusIdx, UInt32 nFrames, AudioBufferList* pBufferList) {
  (void)pFlags;
  if (!mIsInitialized.load(std::memory_order_acquire)) return kAudioUnitErr_Uninitialized;
  mRenderThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
  if (!pTimestamp || !(pTimestamp->mFlags & kAudioTimeStampSampleTimeValid) || outputBusIdx >= mOutBuses.size() ||
      nFrames > static_cast<UInt32>(GetBlockSize()))
    return kAudioUnitErr_InvalidPropertyValue;
  BusChannels* bus = mOutBuses[outputBusIdx].get();
  // The buffer list is checked before anything is rendered or notified: a
  // missing list, fewer buffers than the configured channels, or a buffer
  // shorter than the frames would have the block written outside the host's memory.
  if (!pBufferList || pBufferList->mNumberBuffers == 0) return kAudioUnitErr_InvalidPropertyValue;
  const int nBuffers = static_cast<int>(std::min<UInt32>(pBufferList->mNumberBuffers, 64));
  if (bus->mNHostChannels > 0 && nBuffers < std::min(bus->mNHostChannels, bus->mNPlugChannels))
    return kAudioUnitErr_InvalidPropertyValue;
  const int nBound = std::min(nBuffers, bus->mNPlugChannels);
  for (int c = 0; c < nBound; ++c) {
    const AudioBuffer& b = pBufferList->mBuffers[c];
    if (b.mData && b.mDataByteSize < nFrames * sizeof(float)) return kAudioUnitErr_InvalidPropertyValue;
  }

  // Most hosts register no render notification: then no call at all.
  if (!mRenderNotify.empty())
    NotifyRender(kAudioUnitRenderAction_PreRender, pTimestamp, outputBusIdx, nFrames, pBufferList);

  if (pTimestamp->mSampleTime != mLastRenderSampleTime) {
    // An instrument has no input bus: nothing to pull, only the time to note.
    if (mInBuses.empty()) {
      mLastRenderSampleTime = pTimestamp->mSampleTime;
    } else {
      OSStatus r = PullInputs(pTimestamp, nFrames);
      if (r != noErr) return r;
    }
  }

  const int first = bus->mPlugChannelStartIdx;
  const int hostChannels = bus->mNHostChannels < 0 ? bus->mNPlugChannels : bus->mNHostChannels;
  if (!bus->mConnected || hostChannels != nBuffers) {
    const int n = std::min({hostChannels, nBuffers, bus->mNPlugChannels});
    const int unconnected = std::max(bus->mNPlugChannels - n, 0);
    SetOutputChannelConnections(first, n, true);
    SetOutputChannelConnections(first + n, unconnected, false);
    bus->mConnected = true;
  }
  for (int c = 0; c < nBound; ++c) {
    AudioBuffer& b = pBufferList->mBuffers[c];
    if (!b.mData) b.mData = mOutScratchBuf.data() + static_cast<size_t>(first + c) * nFrames;
    float* data = static_cast<float*>(b.mData);
    AttachOutputBuffers(first + c, 1, &data);
  }

  int lastConnected = -1;
  for (size_t i = 0; i < mOutBuses.size() && mOutBuses[i]->mConnected; ++i) lastConnected = static_cast<int>(i);
  if (static_cast<int>(outputBusIdx) == lastConnected) {
    const int nextStart = 2 * (lastConnected + 1);
    if (lastConnected + 1 < static_cast<int>(mOutBuses.size()) && nextStart < NOutChannels())
      SetOutputChannelConnections(nextStart, NOutChannels() - nextStart, false);
    if (IsBypassed()) {
      PassThroughBuffers(0.0f, static_cast<int>(nFrames));
      // What the host sent for this block is consumed all the same.
      SkipBlock(static_cast<int>(nFrames));
    } else {
      ProcessBuffers(0.0f, static_cast<int>(nFrames));
    }
  }

  if (!mRenderNotify.empty())
    NotifyRender(kAudioUnitRenderAction_PostRender, pTimestamp, outputBusIdx, nFrames, pBufferList);
  return noErr;
}
