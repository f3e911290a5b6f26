// Fuzz target: state files and the bindings' state parts as IPluginState
// reads them. A refused input leaves the state as it was and says why; an
// accepted one writes back to the very bytes it was read from and applies
// to a plug-in without moving any parameter out of its range.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzPlug.h"
#include "framework/IPluginState.h"

namespace {
void SetTable(IPluginBase*, const std::vector<int>& table) {
  for (int cc : table)
    if (cc < -1 || cc > 127) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzPlug plug(0);
  IPluginState state;
  state.values.assign(17, 0.25);
  const IPluginState before = state;
  std::string error;

  if (!state.ReadFile(plug, data, size, &error)) {
    if (error.empty() || state.values != before.values || !state.controllers.empty()) std::abort();
    // The parts alone are refused the same way, never half taken.
    IPluginState part = before;
    if (!part.ReadParams(plug, data, size, &error) && part.values != before.values) std::abort();
    if (!part.ReadControllers(plug, data, size, &error) && !part.controllers.empty()) std::abort();
    return 0;
  }
  if (state.values.size() != 17 || (!state.controllers.empty() && state.controllers.size() != 17)) std::abort();

  ByteChunk out;
  state.AppendFile(&out);
  if (static_cast<size_t>(out.Size()) != size || (size > 0 && std::memcmp(out.GetBytes(), data, size) != 0))
    std::abort();

  if (!state.Apply(plug, SetTable)) std::abort();
  plug.CheckInvariants();
  return 0;
}
