// The instrument's editor: its layout, built once in the constructor, and its calls into the editor.
// A build without an editor (QiKt412NoEditor.cpp) takes the place of this file.
#include "framework/IEditor.h"
#include "graphics/IGraphics.h"
#include "graphics/IKnobControl.h"
#include "graphics/ISwitchControl.h"
#include "graphics/ITextControl.h"
#include "instrument/HitBackgroundControl.h"
#include "instrument/INonClickable.h"
#include "instrument/ParamUnits.h"
#include "instrument/InstrumentResources.h"
#include "instrument/PresetFunctionsMenu.h"
#include "instrument/QiKt412.h"

namespace {
// Every display string of parameters 0..10 fits in 10 bytes; a little spare.
constexpr int kValueTextSize = 16;

// Skin images: resource id, file relative to the resource folder, frames
// (stacked vertically).
struct SkinImage {
  int id;
  const char* name;
  int frames;
};
constexpr SkinImage kBackground{102, "resources/img/backgroundPro.png", 1};
constexpr SkinImage kKnob{101, "resources/img/knob412_64Frames.png", 64};
constexpr SkinImage kKeyboard{104, "resources/img/kyb.png", 2};
constexpr SkinImage kTriggerPad{103, "resources/img/trigger412.png", 2};
constexpr SkinImage kLearnButton{106, "resources/img/learn.png", 2};
constexpr SkinImage kClearButton{107, "resources/img/clear.png", 2};
constexpr SkinImage kLedImage{105, "resources/img/led.png", 2};
constexpr SkinImage kPresetLeft{108, "resources/img/presetLeft.png", 2};
constexpr SkinImage kPresetRight{109, "resources/img/presetRight.png", 2};

// Top-left corners of the nine knobs, three rows of three, for parameters 0..8.
constexpr int kKnobX[3] = {95, 245, 395};
constexpr int kKnobY[3] = {127, 217, 308};

// The value bubble beside a knob or switch: text size, padding, gap to the
// control and corner radius in layout pixels, with the skin's colours.
constexpr int kBubbleTextSize = 12;
constexpr int kBubblePadding = 3;
constexpr int kBubbleGap = 4;
constexpr int kBubbleCorner = 3;
const IColor kBubbleFill(235, 250, 246, 228);
const IColor kBubbleBorder(255, 60, 52, 40);

IBitmap Load(IGraphics* pGraphics, const SkinImage& image) {
  return pGraphics->LoadIBitmap(image.id, image.name, image.frames);
}
}  // namespace

void QiKt412::BuildEditor() {
  // A skin file that is missing or does not decode is taken from the copy
  // built into the program; with neither, its control draws nothing. Images
  // are decoded when the editor is first drawn, not here.
  IGraphics::SetBuiltInImageLoader(&LoadBuiltInImage);
  IGraphics::SetBuiltInImageSizer(&BuiltInImageSize);

  IGraphics* pGraphics = MakeGraphics(this, kEditorWidth, kEditorHeight, 0);
  mGraphics = pGraphics;
  // The panel, with the picture of the current hit drawn on it.
  IBitmap background = Load(pGraphics, kBackground);
  pGraphics->AttachBackground(new HitBackgroundControl(this, &background));

  IBitmap knob = Load(pGraphics, kKnob);
  for (int p = kPitch; p <= kDistort; ++p) {
    mKnobIdx[p] = pGraphics->AttachControl(
        new IKnobMultiControl(this, kKnobX[p % 3], kKnobY[p / 3], p, &knob, kVertical, 4.0));
  }

  IBitmap keyboard = Load(pGraphics, kKeyboard);
  mMidiTuneSwitchIdx = pGraphics->AttachControl(
      new ISwitchControl(this, 34, 170, kMidiTuneFlag, &keyboard, IChannelBlend::kBlendNone));
  mMidiAccentSwitchIdx = pGraphics->AttachControl(
      new ISwitchControl(this, 184, 170, kMidiAccentFlag, &keyboard, IChannelBlend::kBlendNone));

  IBitmap pad = Load(pGraphics, kTriggerPad);
  mTriggerIdx = pGraphics->AttachControl(new IContactControl(this, 480, 100, kTrigger, &pad));

  IBitmap learn = Load(pGraphics, kLearnButton);
  mLearnIdx = pGraphics->AttachControl(new ISwitchControl(this, 498, 236, kLearn, &learn, IChannelBlend::kBlendNone));
  IBitmap clear = Load(pGraphics, kClearButton);
  mClearIdx = pGraphics->AttachControl(new ISwitchControl(this, 521, 236, kClear, &clear, IChannelBlend::kBlendNone));

  IBitmap led = Load(pGraphics, kLedImage);
  mLedIdx = pGraphics->AttachControl(new INonClickable(this, 511, 131, kLed, &led, IChannelBlend::kBlendNone));

  IRECT presetField(207, 21, 383, 37);
  mPresetMenu = new PresetFunctionsMenu(this, &presetField, &COLOR_BLUE);
  pGraphics->AttachControl(mPresetMenu);

  IBitmap left = Load(pGraphics, kPresetLeft);
  pGraphics->AttachControl(new IContactControl(this, 172, 18, kLeft, &left));
  IBitmap right = Load(pGraphics, kPresetRight);
  pGraphics->AttachControl(new IContactControl(this, 386, 18, kRight, &right));

  // The readout shows the value of the knob or switch the user moved last.
  IRECT readoutRect(496, 346, 544, 358);
  IText readoutStyle(12, &COLOR_BLACK, "Verdana", IText::kStyleNormal, IText::kAlignCenter, 0,
                     IText::kQualityNonAntiAliased);
  auto* readout = new ITextControl(this, &readoutRect, &readoutStyle, "0");
  for (int p = kPitch; p <= kDistort; ++p) pGraphics->GetControl(mKnobIdx[p])->SetValDisplayControl(readout);
  pGraphics->GetControl(mMidiTuneSwitchIdx)->SetValDisplayControl(readout);
  pGraphics->GetControl(mMidiAccentSwitchIdx)->SetValDisplayControl(readout);
  pGraphics->AttachControl(readout);
  mValueDisplay = readout;

  // Values in the musician's units: the bubble while a knob or switch is
  // dragged or pointed at, and the typed entry a right-click opens on a knob.
  pGraphics->HandleMouseOver(true);
  IValueBubble::Style bubble{IText(kBubbleTextSize, &COLOR_BLACK, "Verdana", IText::kStyleNormal, IText::kAlignCenter,
                                   0, IText::kQualityAntiAliased),
                             kBubbleFill, kBubbleBorder, kBubblePadding, kBubbleGap, kBubbleCorner};
  pGraphics->ValueBubble().Enable(bubble, [this](int paramIdx, double normalized) {
    const IParam* param = GetParam(paramIdx);
    return ParamBubbleText(*param, paramIdx, param->GetNonNormalized(normalized));
  });
  pGraphics->SetTypedValueText(
      [this](int paramIdx, double normalized) {
        return ParamUnitsText(paramIdx, GetParam(paramIdx)->GetNonNormalized(normalized));
      },
      [this](int paramIdx, const std::string& text, double* normalized, std::string* error) {
        const IParam* param = GetParam(paramIdx);
        double value = 0.0;
        if (!ParamValueFromUnitsText(*param, paramIdx, text, &value, error)) return false;
        *normalized = param->GetNormalized(value);
        return true;
      });
  for (int p = kPitch; p <= kDistort; ++p) pGraphics->GetControl(mKnobIdx[p])->DisablePrompt(false);

  AttachGraphics(pGraphics);
}

// None of these runs on the audio thread: the render publishes what the
// editor should show, and OnIdle (the editor's timer) calls these.

void QiKt412::ShowPresetName(const std::string& name) {
  mPresetName = name;
  if (mPresetMenu) mPresetMenu->SetDisplayText(name);
}

// The field's text: a preset chosen from its menu shows there first.
std::string QiKt412::PresetName() const { return mPresetMenu ? mPresetMenu->GetDisplayText() : mPresetName; }

void QiKt412::ShowControl(int controlIdx, double normalizedValue) {
  if (IEditor* gui = GetGUI()) gui->SetControlFromPlug(controlIdx, normalizedValue);
}

void QiKt412::ShowParameter(int paramIdx, double normalizedValue) {
  if (IEditor* gui = GetGUI()) gui->SetParameterFromPlug(paramIdx, normalizedValue, true);
}

void QiKt412::ShowInValueDisplay(int paramIdx, double normalizedValue) {
  if (!mValueDisplay) return;
  char text[kValueTextSize];
  GetParam(paramIdx)->GetDisplayForHost(normalizedValue, true, text, true, kValueTextSize);
  mValueDisplay->SetTextFromPlug(text);
}

// The preset field: what is loaded, and whether the sound still equals it.
QiKt412::~QiKt412() {
  // The base deletes the editor after this instrument is gone: the field
  // must not call back then.
  if (mPresetMenu) mPresetMenu->ForgetInstrument();
}

void QiKt412::ForgetPresetMenu(PresetFunctionsMenu* menu) {
  IMutexLock lock(this);
  if (mPresetMenu == menu) mPresetMenu = nullptr;
}

void QiKt412::ShowLoadedPreset(const std::string& path) {
  IMutexLock lock(this);  // the editor, and the field with it, may be replaced meanwhile
  mPresetName = PresetTree::NameOf(path);
  if (!mPresetMenu) return;
  double values[PresetFunctionsMenu::kComparedParams];
  for (int k = 0; k < PresetFunctionsMenu::kComparedParams; ++k) values[k] = GetParam(k)->GetNormalized();
  mPresetMenu->SetLoaded(PresetTree::NameOf(path), path, values);
}

void QiKt412::UpdatePresetModified() {
  IMutexLock lock(this);
  if (!mPresetMenu) return;
  double values[PresetFunctionsMenu::kComparedParams];
  for (int k = 0; k < PresetFunctionsMenu::kComparedParams; ++k) values[k] = GetParam(k)->GetNormalized();
  mPresetMenu->UpdateModified(values);
}
