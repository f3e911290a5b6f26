// Fuzz target: a preset file of arbitrary bytes yields at most fifteen
// values, each finite and within 0..1, and the parser's view of the text
// survives being written back as preset lines and read again.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "instrument/PresetFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const PresetValues values = ParsePresetText(text);
  if (values.Count() > PresetValues::kLines) std::abort();
  std::string again;
  for (int k = 0; k < PresetValues::kLines; ++k) {
    const double v = values.value[static_cast<size_t>(k)];
    if (!std::isfinite(v) || v < 0.0 || v > 1.0) std::abort();
    if (!values.present[static_cast<size_t>(k)] && v != 0.0) std::abort();
    char line[64];
    if (values.present[static_cast<size_t>(k)])
      std::snprintf(line, sizeof(line), "P%d=%f\n", k, v);
    else
      std::snprintf(line, sizeof(line), "no value here\n");
    again += line;
  }
  const PresetValues reread = ParsePresetText(again);
  for (int k = 0; k < PresetValues::kLines; ++k) {
    const size_t i = static_cast<size_t>(k);
    if (reread.present[i] != values.present[i]) std::abort();
    // Six decimals written, single precision read: a few units of 1e-7 apart.
    if (std::fabs(reread.value[i] - values.value[i]) > 1e-6) std::abort();
  }
  return 0;
}
