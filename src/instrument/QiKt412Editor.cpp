// The instrument's calls into its editor, kept apart from the sound code.
#include "framework/IEditor.h"
#include "graphics/ITextControl.h"
#include "instrument/QiKt412.h"

namespace {
// Every display string of parameters 0..10 fits in 10 bytes; a little spare.
constexpr int kValueTextSize = 16;
}  // namespace

// None of these runs on the audio thread: the render publishes what the
// editor should show, and OnIdle (the editor's timer) calls these.

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
