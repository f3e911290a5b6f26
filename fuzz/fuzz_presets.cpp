// Fuzz target: the preset list chunk. Any bytes leave every parameter inside
// its range and every preset name terminated inside its field; the list the
// plug-in then writes reads back to the same list.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "FuzzPlug.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteChunk chunk;
  chunk.PutBytes(data, static_cast<int>(size));

  FuzzPlug plug(4);
  plug.UnserializePresets(&chunk, 0);
  plug.CheckInvariants();

  ByteChunk out;
  if (!plug.SerializePresets(&out)) std::abort();
  FuzzPlug again(4);
  if (again.UnserializePresets(&out, 0) != out.Size()) std::abort();
  for (int i = 0; i < 4; ++i) {
    if (std::strcmp(plug.GetPresetName(i), again.GetPresetName(i)) != 0) std::abort();
  }
  again.CheckInvariants();
  return 0;
}
