// The KT-412 DSP library's one exported symbol: its LV2 descriptor.
#include <algorithm>
#include <new>
#include <vector>

#include <lv2/core/lv2.h>

#include "lv2/Lv2PluginEntry.h"
#include "lv2/plugin/Kt412Lv2.h"
#include "util/RenderPath.h"

namespace {

IPluginLV2* Create() { return new (std::nothrow) QiKt412(); }

UTIL_RENDER_PATH double OutputValue(IPluginBase* plug, int paramIdx) {
  // The LED is driven by hits, not by its parameter.
  if (paramIdx == kLed) return static_cast<QiKt412*>(plug)->LedState();
  return plug->GetParam(paramIdx)->Value();
}

int ControllerOf(IPluginBase* plug, int paramIdx) { return static_cast<QiKt412*>(plug)->BoundController(paramIdx); }

void SetControllers(IPluginBase* base, const std::vector<int>& table) {
  static_cast<QiKt412*>(base)->RestoreControllerTable(table);
}

void ChangedOnAudioThread(IPluginBase* plug, int paramIdx) {
  static_cast<QiKt412*>(plug)->OnParamChangeOnAudioThread(paramIdx);
}

void Describe(Lv2PlugHooks* hooks) {
  hooks->roles = Kt412PortRoles();
  hooks->changedOnAudioThread = ChangedOnAudioThread;
  hooks->outputValue = OutputValue;
  hooks->controllerOf = ControllerOf;
  hooks->setControllers = SetControllers;
}

const Lv2PluginEntry kEntry = MakeLv2PluginEntry(kKt412Lv2Uri, Create, Describe);

}  // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? &kEntry.descriptor : nullptr;
}
