// The KT-412 DSP library's one exported symbol: its LV2 descriptor.
#include <algorithm>
#include <new>
#include <vector>

#include <lv2/core/lv2.h>

#include "lv2/Lv2PluginEntry.h"
#include "lv2/plugin/Kt412Lv2.h"

namespace {

IPluginLV2* Create() { return new (std::nothrow) QiKt412(); }

double OutputValue(IPluginBase* plug, int paramIdx) {
  // The LED is driven by hits, not by its parameter.
  if (paramIdx == kLed) return static_cast<QiKt412*>(plug)->LedState();
  return plug->GetParam(paramIdx)->Value();
}

int ControllerOf(IPluginBase* plug, int paramIdx) { return static_cast<QiKt412*>(plug)->BoundController(paramIdx); }

// Rebuilds the learned bindings of a saved table with what the instrument
// offers: binding as learning binds (which takes the controller from every
// other parameter) and unbinding as clear mode does (touching a parameter
// while it is on). Only parameters 0..10 are ever routed, so only they are
// set. Several parameters on controller 0 happen only in a table never
// learned into; they are kept where the instance still has them, else
// controller 0 goes to the highest of them, the one it reaches.
void SetControllers(IPluginBase* base, const std::vector<int>& table) {
  auto* plug = static_cast<QiKt412*>(base);
  const int n = std::min<int>(static_cast<int>(table.size()), kMidiAccentFlag + 1);
  auto touchInClearMode = [plug](const std::vector<int>& params) {
    if (params.empty()) return;
    IParam* clear = plug->GetParam(kClear);
    const double was = clear->Value();
    clear->Set(1.0);
    plug->OnParamChange(kClear);
    for (int p : params) plug->OnParamChange(p);
    clear->Set(was);
    plug->OnParamChange(kClear);
  };
  std::vector<int> unbind;
  for (int p = 0; p < n; ++p)
    if (table[static_cast<size_t>(p)] < 0 && plug->BoundController(p) >= 0) unbind.push_back(p);
  touchInClearMode(unbind);
  for (int p = 0; p < n; ++p) {
    const int cc = table[static_cast<size_t>(p)];
    if (cc > 0 && plug->BoundController(p) != cc) plug->BindController(cc, p);
  }
  int zeros = 0, highestZero = -1;
  bool zerosKept = true;
  for (int p = 0; p < n; ++p) {
    if (table[static_cast<size_t>(p)] != 0) continue;
    ++zeros;
    highestZero = p;
    zerosKept = zerosKept && plug->BoundController(p) == 0;
  }
  if (zeros > 0 && !zerosKept) plug->BindController(0, highestZero);
}

void Describe(Lv2PlugHooks* hooks) {
  hooks->roles = Kt412PortRoles();
  hooks->outputValue = OutputValue;
  hooks->controllerOf = ControllerOf;
  hooks->setControllers = SetControllers;
}

const Lv2PluginEntry kEntry = MakeLv2PluginEntry(kKt412Lv2Uri, Create, Describe);

}  // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? &kEntry.descriptor : nullptr;
}
