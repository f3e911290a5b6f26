// The LV2 descriptor's callbacks, forwarding to the plug-in behind each handle.
#include "lv2/Lv2PluginEntry.h"

#include <cstring>
#include <new>
#include <string>

#include <lv2/options/options.h>
#include <lv2/state/state.h>

namespace {

IPluginLV2* Plug(LV2_Handle h) { return static_cast<IPluginLV2*>(h); }

LV2_Handle Instantiate(const LV2_Descriptor* descriptor, double rate, const char* /*bundlePath*/,
                       const LV2_Feature* const* features) {
  const auto* entry = reinterpret_cast<const Lv2PluginEntry*>(descriptor);
  IPluginLV2* plug = entry->create ? entry->create() : nullptr;
  if (!plug) return nullptr;
  Lv2PlugHooks hooks;
  if (entry->describe) entry->describe(&hooks);
  if (!plug->Lv2Instantiate(rate, features, hooks, descriptor->URI)) {
    delete plug;
    return nullptr;
  }
  return plug;
}

void ConnectPort(LV2_Handle h, uint32_t port, void* data) { Plug(h)->Lv2ConnectPort(port, data); }
void Activate(LV2_Handle h) { Plug(h)->Lv2Activate(); }
void Run(LV2_Handle h, uint32_t nFrames) { Plug(h)->Lv2Run(nFrames); }
void Deactivate(LV2_Handle h) { Plug(h)->Lv2Deactivate(); }
void Cleanup(LV2_Handle h) { delete Plug(h); }

LV2_State_Status Save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle,
                      uint32_t /*flags*/, const LV2_Feature* const* /*features*/) {
  return Plug(h)->Lv2Save(store, handle);
}

LV2_State_Status Restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                         uint32_t /*flags*/, const LV2_Feature* const* /*features*/) {
  return Plug(h)->Lv2Restore(retrieve, handle);
}

uint32_t GetOptions(LV2_Handle h, LV2_Options_Option* options) { return Plug(h)->Lv2GetOptions(options); }
uint32_t SetOptions(LV2_Handle h, const LV2_Options_Option* options) { return Plug(h)->Lv2SetOptions(options); }

const LV2_State_Interface kStateInterface = {Save, Restore};
const LV2_Options_Interface kOptionsInterface = {GetOptions, SetOptions};

const void* ExtensionData(const char* uri) {
  if (!uri) return nullptr;
  if (!std::strcmp(uri, LV2_STATE__interface)) return &kStateInterface;
  if (!std::strcmp(uri, LV2_OPTIONS__interface)) return &kOptionsInterface;
  return nullptr;
}

}  // namespace

Lv2PluginEntry MakeLv2PluginEntry(const char* uri, IPluginLV2* (*create)(), void (*describe)(Lv2PlugHooks*)) {
  Lv2PluginEntry entry{};
  entry.descriptor = {uri, Instantiate, ConnectPort, Activate, Run, Deactivate, Cleanup, ExtensionData};
  entry.create = create;
  entry.describe = describe;
  return entry;
}

std::string Lv2ResourcePath(const char* bundlePath) {
  std::string path = bundlePath ? bundlePath : "";
  if (!path.empty() && path.back() != '/') path += '/';
  return path + "resources/img";
}
