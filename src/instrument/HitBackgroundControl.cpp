// The background with the live picture of the hit.
#include "instrument/HitBackgroundControl.h"

#include <algorithm>
#include <cmath>

#include "framework/IPluginBase.h"
#include "graphics/IGraphics.h"

namespace {
// The panel's silk-screen ink (its amber mixed into the field's dark grey)
// for the waveform, and the amber itself, half covering, for the envelope.
const IColor kInk(255, 132, 87, 38);
const IColor kEnvelope(255, 255, 152, 38);
const IChannelBlend kEnvelopeBlend(IChannelBlend::kBlendNone, 0.55f);
}  // namespace

HitBackgroundControl::HitBackgroundControl(IPluginBase* pPlug, IBitmap* pBitmap)
    : IBitmapControl(pPlug, 0, 0, -1, pBitmap, IChannelBlend::kBlendClobber), mPicture(kRight - kLeft) {}

bool HitBackgroundControl::Update() {
  double values[HitPicture::kNumValues];
  for (int p = 0; p < HitPicture::kNumValues; ++p) values[p] = mPlug->GetParam(p)->Value();
  return mPicture.Render(values);
}

void HitBackgroundControl::OnGUIIdle() {
  // No push to the plug-in: the background has no parameter.
  if (Update()) SetDirty(false);
}

bool HitBackgroundControl::Draw(IGraphics* pGraphics) {
  // The first drawing (a snapshot may come before any timer tick) makes
  // the first picture; later ones come from OnGUIIdle only, so that a
  // partial redraw never shows a picture the rest of the strip lacks.
  // One column per pixel of the drawing bitmap, so that the picture is as
  // sharp as the skin at every scale.
  const int columns = pGraphics->ToDraw(kRight - kLeft);
  if (mPicture.Renders() == 0 || mPicture.Columns() != columns) {
    mPicture.SetColumns(columns);
    Update();
  }
  IBitmapControl::Draw(pGraphics);
  // The envelope blends, so drawn again over pixels not repainted it would
  // thicken: every line is kept to the region being redrawn, and a segment
  // that crosses the region's edge gives the pixels inside exactly what a
  // whole redraw gives them. Nothing is drawn when the region misses the
  // strip (a knob or button redrawn alone).
  const IRECT& region = pGraphics->GetDrawRect();
  IRECT strip(kLeft, kMid - kAmplitude - 1, kRight + 1, kMid + kAmplitude + 2);
  if (!region.Empty() && !region.Intersects(&strip)) return true;
  // Columns one step beyond either edge still reach into the region.
  const float clipL = region.Empty() ? (float)kLeft - 2.0f : (float)region.L - 1.0f;
  const float clipR = region.Empty() ? (float)kRight + 2.0f : (float)region.R + 1.0f;
  const float step = (float)(kRight - kLeft) / (float)columns;
  const auto& low = mPicture.Low();
  const auto& high = mPicture.High();
  const auto& peak = mPicture.Peak();
  const float amp = (float)kAmplitude;
  auto y = [&](float v) { return (float)kMid - amp * v; };
  // The waveform: each column spans its lowest to highest sample, joined to
  // the column before so that a steep stretch draws without gaps.
  float prevTop = y(0.0f), prevBottom = prevTop;
  for (int c = 0; c < mPicture.Columns(); ++c) {
    const float top = y(high[(std::size_t)c]), bottom = y(low[(std::size_t)c]);
    const float x = (float)kLeft + step * (float)c;
    if (x >= clipL && x < clipR)
      pGraphics->DrawLineInRegion(&kInk, x, std::min(top, prevBottom), x, std::max(bottom, prevTop));
    prevTop = top;
    prevBottom = bottom;
  }
  // The envelope, above and below the centre line.
  for (int c = 1; c < mPicture.Columns(); ++c) {
    const float x0 = (float)kLeft + step * (float)(c - 1), x1 = x0 + step;
    if (x1 < clipL || x0 >= clipR) continue;
    const float p0 = peak[(std::size_t)c - 1], p1 = peak[(std::size_t)c];
    pGraphics->DrawLineInRegion(&kEnvelope, x0, y(p0), x1, y(p1), &kEnvelopeBlend, true);
    pGraphics->DrawLineInRegion(&kEnvelope, x0, y(-p0), x1, y(-p1), &kEnvelopeBlend, true);
  }
  return true;
}
