// The instrument's calls into its editor, kept apart from the sound code.
#include "graphics/IGraphics.h"
#include "instrument/QiKt412.h"

namespace {
// Every display string of parameters 0..10 fits in 10 bytes; a little spare.
constexpr int kValueTextSize = 16;
}  // namespace

// These run on the audio thread as well (LED, learned controllers): the
// editor's SetControlFromPlug and SetParameterFromPlug only store a value and
// mark the control dirty, and drawing happens later on the editor's thread.

void QiKt412::ShowControl(int controlIdx, double normalizedValue) {
  if (IGraphics* gui = GetGUI()) gui->SetControlFromPlug(controlIdx, normalizedValue);
}

void QiKt412::ShowParameter(int paramIdx, double normalizedValue) {
  if (IGraphics* gui = GetGUI()) gui->SetParameterFromPlug(paramIdx, normalizedValue, true);
}

void QiKt412::ShowInValueDisplay(int paramIdx, double normalizedValue) {
  if (!mValueDisplay) return;
  char text[kValueTextSize];
  GetParam(paramIdx)->GetDisplayForHost(normalizedValue, true, text, true, kValueTextSize);
  // The readout is an editor text control (ITextControl::SetTextFromPlug).
  // The editor, and with it the readout and the graphics library that draws
  // it, is not part of the instrument yet: mValueDisplay stays null and this
  // is where the text will be handed over.
  (void)text;
}
