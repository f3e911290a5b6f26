// IPluginBase: channel configuration, buffer attachment and block processing.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/ILog.h"
#include "framework/IPluginBase.h"
#include "util/RenderPath.h"

namespace {

// The channel I/O string is a constant of the plug-in, never user data: a
// malformed one is a programming error and stops every build, not only debug.
void RequireValid(bool cond, const char* conditionText) {
  if (!cond) {
    std::fprintf(stderr, "Assertion failed: %s\n", conditionText);
    std::abort();
  }
}

// The channel range idx .. min(idx + n, count) - 1, empty for bad arguments.
struct ChannelRange {
  int begin;
  int end;
};

ChannelRange Range(int idx, int n, int count) {
  if (idx < 0 || n <= 0 || idx >= count) return {0, 0};
  return {idx, n > count - idx ? count : idx + n};
}

}  // namespace

void IPluginBase::ParseChannelIO(const char* channelIOStr) {
  int nInputs = 0, nOutputs = 0;
  const char* pos = channelIOStr;
  RequireValid(pos != nullptr, "channelIOStrValid");
  while (pos) {
    int nIn = 0, nOut = 0;
    bool channelIOStrValid = std::sscanf(pos, "%d-%d", &nIn, &nOut) == 2;
    RequireValid(channelIOStrValid, "channelIOStrValid");
    mChannelIO.push_back(std::make_unique<ChannelIO>(ChannelIO{nIn, nOut}));
    nInputs = std::max(nInputs, nIn);
    nOutputs = std::max(nOutputs, nOut);
    pos = std::strchr(pos, ' ');
    if (pos) ++pos;
  }

  // The data pointer arrays never change size again: channel slots point into them.
  mInData.assign(static_cast<std::size_t>(nInputs), nullptr);
  mOutData.assign(static_cast<std::size_t>(nOutputs), nullptr);
  for (int i = 0; i < nInputs; ++i) {
    auto pChannel = std::make_unique<InChannel>();
    pChannel->mSrc = &mInData[static_cast<std::size_t>(i)];
    mInChannels.push_back(std::move(pChannel));
  }
  for (int i = 0; i < nOutputs; ++i) {
    auto pChannel = std::make_unique<OutChannel>();
    pChannel->mDest = &mOutData[static_cast<std::size_t>(i)];
    mOutChannels.push_back(std::move(pChannel));
  }
}

bool IPluginBase::LegalIO(int nIn, int nOut) const {
  bool legal = false;
  for (const auto& pIO : mChannelIO) {
    // A negative count matches any count.
    if ((nIn < 0 || nIn == pIO->mIn) && (nOut < 0 || nOut == pIO->mOut)) {
      legal = true;
      break;
    }
  }
  TRACE("%d:%d:%s", nIn, nOut, legal ? "legal" : "illegal");
  return legal;
}

const IPluginBase::ChannelIO* IPluginBase::GetChannelIO(int idx) const {
  return idx >= 0 && idx < NChannelIO() ? mChannelIO[static_cast<std::size_t>(idx)].get() : nullptr;
}

bool IPluginBase::IsInChannelConnected(int chIdx) const {
  return chIdx >= 0 && chIdx < NInChannels() && mInChannels[static_cast<std::size_t>(chIdx)]->mConnected;
}

bool IPluginBase::IsOutChannelConnected(int chIdx) const {
  return chIdx >= 0 && chIdx < NOutChannels() &&
         mOutChannels[static_cast<std::size_t>(chIdx)]->mConnected;
}

void IPluginBase::SetInputChannelConnections(int idx, int n, bool connected) {
  ChannelRange r = Range(idx, n, NInChannels());
  for (int i = r.begin; i < r.end; ++i) {
    InChannel* pIn = mInChannels[static_cast<std::size_t>(i)].get();
    pIn->mConnected = connected;
    if (!connected) *(pIn->mSrc) = pIn->mScratchBuf.data();
  }
}

void IPluginBase::SetOutputChannelConnections(int idx, int n, bool connected) {
  ChannelRange r = Range(idx, n, NOutChannels());
  for (int i = r.begin; i < r.end; ++i) {
    OutChannel* pOut = mOutChannels[static_cast<std::size_t>(i)].get();
    pOut->mConnected = connected;
    if (!connected) {
      *(pOut->mDest) = pOut->mScratchBuf.data();
      pOut->mFDest = nullptr;  // nothing to convert into any more
    }
  }
}

void IPluginBase::AttachInputBuffers(int idx, int n, float** ppData, int nFrames) {
  ChannelRange r = Range(idx, n, NInChannels());
  for (int i = r.begin; i < r.end; ++i) {
    InChannel* pIn = mInChannels[static_cast<std::size_t>(i)].get();
    if (!pIn->mConnected) continue;  // unconnected channels take no host buffer
    const float* pSrc = *(ppData++);
    // The scratch buffer holds a block; a longer request converts what fits.
    int frames = std::clamp(nFrames, 0, static_cast<int>(pIn->mScratchBuf.size()));
    double* pDest = pIn->mScratchBuf.data();
    for (int s = 0; s < frames; ++s) pDest[s] = static_cast<double>(pSrc[s]);
    *(pIn->mSrc) = pDest;
  }
}

void IPluginBase::AttachInputBuffers(int idx, int n, double** ppData, int /*nFrames*/) {
  ChannelRange r = Range(idx, n, NInChannels());
  for (int i = r.begin; i < r.end; ++i) {
    InChannel* pIn = mInChannels[static_cast<std::size_t>(i)].get();
    if (!pIn->mConnected) continue;
    *(pIn->mSrc) = *(ppData++);
  }
}

UTIL_RENDER_PATH void IPluginBase::AttachOutputBuffers(int idx, int n, float** ppData) {
  ChannelRange r = Range(idx, n, NOutChannels());
  for (int i = r.begin; i < r.end; ++i) {
    OutChannel* pOut = mOutChannels[static_cast<std::size_t>(i)].get();
    if (!pOut->mConnected) continue;
    *(pOut->mDest) = pOut->mScratchBuf.data();
    pOut->mFDest = *(ppData++);
  }
}

void IPluginBase::AttachOutputBuffers(int idx, int n, double** ppData) {
  ChannelRange r = Range(idx, n, NOutChannels());
  for (int i = r.begin; i < r.end; ++i) {
    OutChannel* pOut = mOutChannels[static_cast<std::size_t>(i)].get();
    if (!pOut->mConnected) continue;
    *(pOut->mDest) = *(ppData++);
    pOut->mFDest = nullptr;  // the host reads our doubles directly
  }
}

UTIL_RENDER_PATH int IPluginBase::SafeFrames(int nFrames) const {
  if (nFrames <= 0) return 0;
  // A channel with no memory behind it (nothing attached and no block size
  // set yet) cannot be processed at all; a channel on its scratch buffer
  // limits the block to what that buffer holds.
  int frames = nFrames;
  for (const auto& pIn : mInChannels) {
    const double* pSlot = *(pIn->mSrc);
    if (!pSlot) return 0;
    if (pSlot == pIn->mScratchBuf.data()) frames = std::min(frames, static_cast<int>(pIn->mScratchBuf.size()));
  }
  for (const auto& pOut : mOutChannels) {
    const double* pSlot = *(pOut->mDest);
    if (!pSlot) return 0;
    if (pSlot == pOut->mScratchBuf.data()) frames = std::min(frames, static_cast<int>(pOut->mScratchBuf.size()));
  }
  return frames;
}

UTIL_RENDER_PATH void IPluginBase::ConvertOutputs(int nFrames, bool accumulate) {
  for (const auto& pOut : mOutChannels) {
    if (!pOut->mConnected || !pOut->mFDest || !*(pOut->mDest)) continue;
    const double* pSrc = *(pOut->mDest);
    float* pDest = pOut->mFDest;
    if (accumulate) {
      for (int s = 0; s < nFrames; ++s) pDest[s] += static_cast<float>(pSrc[s]);
    } else {
      for (int s = 0; s < nFrames; ++s) pDest[s] = static_cast<float>(pSrc[s]);
    }
  }
}

UTIL_RENDER_PATH void IPluginBase::ProcessBuffers(float, int nFrames) {
  nFrames = SafeFrames(nFrames);
  ProcessDoubleReplacing(mInData.data(), mOutData.data(), nFrames);
  ConvertOutputs(nFrames, false);
}

void IPluginBase::ProcessBuffers(double, int nFrames) {
  nFrames = SafeFrames(nFrames);
  ProcessDoubleReplacing(mInData.data(), mOutData.data(), nFrames);
}

void IPluginBase::ProcessBuffersAccumulating(float, int nFrames) {
  nFrames = SafeFrames(nFrames);
  ProcessDoubleReplacing(mInData.data(), mOutData.data(), nFrames);
  ConvertOutputs(nFrames, true);
}

void IPluginBase::PassThroughBuffers(float, int nFrames) {
  nFrames = SafeFrames(nFrames);
  IPluginBase::ProcessDoubleReplacing(mInData.data(), mOutData.data(), nFrames);
  ConvertOutputs(nFrames, false);
}

void IPluginBase::PassThroughBuffers(double, int nFrames) {
  nFrames = SafeFrames(nFrames);
  IPluginBase::ProcessDoubleReplacing(mInData.data(), mOutData.data(), nFrames);
}

void IPluginBase::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) {
  if (!outputs || nFrames <= 0) return;
  const std::size_t bytes = static_cast<std::size_t>(nFrames) * sizeof(double);
  int nIn = NInChannels(), nOut = NOutChannels();
  int i = 0;
  for (; i < nIn && i < nOut; ++i) {
    if (outputs[i] && inputs && inputs[i] && outputs[i] != inputs[i]) {
      std::memmove(outputs[i], inputs[i], bytes);
    } else if (outputs[i] && !(inputs && inputs[i])) {
      std::memset(outputs[i], 0, bytes);
    }
  }
  for (; i < nOut; ++i) {
    if (outputs[i]) std::memset(outputs[i], 0, bytes);
  }
}

void IPluginBase::ZeroScratchBuffers() {
  for (auto& pIn : mInChannels) std::fill(pIn->mScratchBuf.begin(), pIn->mScratchBuf.end(), 0.0);
  for (auto& pOut : mOutChannels) std::fill(pOut->mScratchBuf.begin(), pOut->mScratchBuf.end(), 0.0);
}

void IPluginBase::SetBlockSize(int blockSize) {
  if (blockSize < 0) blockSize = 0;
  if (blockSize == mBlockSize) return;
  const std::size_t size = static_cast<std::size_t>(blockSize);
  // Resizing may move a scratch buffer: slots that pointed at the old memory
  // follow it, or the next render would write into freed memory.
  for (auto& pIn : mInChannels) {
    bool onScratch = *(pIn->mSrc) == pIn->mScratchBuf.data();
    pIn->mScratchBuf.resize(size, 0.0);
    if (onScratch) *(pIn->mSrc) = pIn->mScratchBuf.data();
  }
  for (auto& pOut : mOutChannels) {
    bool onScratch = *(pOut->mDest) == pOut->mScratchBuf.data();
    pOut->mScratchBuf.resize(size, 0.0);
    if (onScratch) *(pOut->mDest) = pOut->mScratchBuf.data();
  }
  mBlockSize = blockSize;
}

void IPluginBase::SetInputLabel(int idx, const char* label) {
  if (idx >= 0 && idx < NInChannels()) mInChannels[static_cast<std::size_t>(idx)]->mLabel = label ? label : "";
}

void IPluginBase::SetOutputLabel(int idx, const char* label) {
  if (idx >= 0 && idx < NOutChannels()) mOutChannels[static_cast<std::size_t>(idx)]->mLabel = label ? label : "";
}

const char* IPluginBase::GetInputLabel(int idx) const {
  return idx >= 0 && idx < NInChannels() ? mInChannels[static_cast<std::size_t>(idx)]->mLabel.c_str() : "";
}

const char* IPluginBase::GetOutputLabel(int idx) const {
  return idx >= 0 && idx < NOutChannels() ? mOutChannels[static_cast<std::size_t>(idx)]->mLabel.c_str() : "";
}

namespace {

void StoreBusLabel(std::vector<std::unique_ptr<std::string>>& labels, int idx, const char* label) {
  auto pLabel = std::make_unique<std::string>(label ? label : "");
  if (idx < static_cast<int>(labels.size())) {
    labels[static_cast<std::size_t>(idx)] = std::move(pLabel);
  } else {
    labels.push_back(std::move(pLabel));  // positions are filled in order
  }
}

}  // namespace

void IPluginBase::SetInputBusLabel(int idx, const char* label) {
  if (idx == 0 || idx == 1) StoreBusLabel(mInputBusLabels, idx, label);  // two input buses at most
}

void IPluginBase::SetOutputBusLabel(int idx, const char* label) {
  if (idx >= 0) StoreBusLabel(mOutputBusLabels, idx, label);
}

const std::string* IPluginBase::GetInputBusLabel(int idx) const {
  return idx >= 0 && idx < static_cast<int>(mInputBusLabels.size())
             ? mInputBusLabels[static_cast<std::size_t>(idx)].get()
             : nullptr;
}

const std::string* IPluginBase::GetOutputBusLabel(int idx) const {
  return idx >= 0 && idx < static_cast<int>(mOutputBusLabels.size())
             ? mOutputBusLabels[static_cast<std::size_t>(idx)].get()
             : nullptr;
}
