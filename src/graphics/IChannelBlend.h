// How a control's pixels combine with what is already drawn: method and weight.
#pragma once

struct IChannelBlend {
  enum EBlendMethod { kBlendNone = 0, kBlendClobber = 1, kBlendAdd = 2, kBlendColorDodge = 3 };

  int mMethod = kBlendNone;  // one of EBlendMethod
  float mWeight = 1.0f;

  IChannelBlend(int method = kBlendNone, float weight = 1.0f) : mMethod(method), mWeight(weight) {}
};

// Drawing-library mode bits used by the mapping below.
inline constexpr int kPixModeCopy = 0;
inline constexpr int kPixModeAdd = 1;
inline constexpr int kPixModeColorDodge = 2;
inline constexpr int kPixModeBilinear = 0x100;
inline constexpr int kPixModeSourceAlpha = 0x10000;

// Skin images carry their own transparency, so every method except clobber
// blends through the source alpha; clobber is the plain copy used for the
// opaque background. An unknown method falls back to the default (copy with
// source alpha) rather than drawing nothing.
inline int BlendToPixMode(const IChannelBlend* pBlend) {
  if (!pBlend) return kPixModeCopy | kPixModeSourceAlpha;
  switch (pBlend->mMethod) {
    case IChannelBlend::kBlendClobber: return kPixModeCopy;
    case IChannelBlend::kBlendAdd: return kPixModeAdd | kPixModeSourceAlpha;
    case IChannelBlend::kBlendColorDodge: return kPixModeColorDodge | kPixModeSourceAlpha;
    default: return kPixModeCopy | kPixModeSourceAlpha;
  }
}

inline float BlendToPixWeight(const IChannelBlend* pBlend) { return pBlend ? pBlend->mWeight : 1.0f; }
