// The descriptor a plug-in's entry hands to LV2 hosts, driving plug-ins of the LV2 binding.
#pragma once

#include <string>

#include <lv2/core/lv2.h>

#include "lv2/IPluginLV2.h"

// One LV2 plug-in of a shared library. The descriptor comes first, so the
// pointer a host passes back to instantiate is this entry's: the callbacks
// find the factory through it and need no global of their own.
struct Lv2PluginEntry {
  LV2_Descriptor descriptor;
  // Makes a new plug-in; null when it cannot.
  IPluginLV2* (*create)();
  // Fills the plug-in's port roles and hooks.
  void (*describe)(Lv2PlugHooks* hooks);
};

// An entry for the plug-in with this URI whose instances come from create.
// uri must outlive the entry (a string literal).
Lv2PluginEntry MakeLv2PluginEntry(const char* uri, IPluginLV2* (*create)(), void (*describe)(Lv2PlugHooks*));

// Folder of the skin images inside a bundle: bundlePath + "resources/img".
std::string Lv2ResourcePath(const char* bundlePath);
