// A minimal plug-in for the framework fuzz targets: 17 parameters of every type.
#pragma once

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/cli/IPluginCLI.h"

// The command-line host binding answers the host operations; the parameter set mixes the types and ranges a
// real plug-in declares, so that clamping and rounding paths are all reached.
class FuzzPlug : public IPluginCLI {
public:
  explicit FuzzPlug(int nPresets)
      : IPluginCLI(17, "0-1 0-2", nPresets, "Fuzz", "", "Fuzz", 0x10000, 1, 2, 0, true, false, true) {
    for (int i = 0; i < 17; ++i) {
      IParam* p = GetParam(i);
      switch (i % 4) {
        case 0: p->InitDouble("d", 0.5, 0.0, 1.0, 0.001, "", "", 1.0 + i % 3); break;
        case 1: p->InitInt("i", 2, -5, 10); break;
        case 2: p->InitEnum("e", 1, 4); break;
        default: p->InitBool("b", true); break;
      }
    }
  }

  // Stops the fuzzer when a parameter left its range or a preset name its field.
  void CheckInvariants() {
    for (int i = 0; i < NParams(); ++i) {
      const IParam* p = GetParam(i);
      double v = p->Value();
      if (!std::isfinite(v) || v < p->GetMin() || v > p->GetMax()) std::abort();
    }
    for (int i = 0; i < NPresets(); ++i) {
      const char* name = GetPresetName(i);
      if (std::memchr(name, 0, IPreset::kNameSize) == nullptr) std::abort();
    }
  }
};
