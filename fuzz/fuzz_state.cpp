// Fuzz target: the host-stored state chunk. Any bytes, at any start position,
// leave every parameter finite and inside its range, and a state that read
// back whole serialises to the same doubles it was read from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "FuzzPlug.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the start position (a few of them negative).
  const int startPos = static_cast<int>(data[0] % 40) - 4;
  ByteChunk chunk;
  chunk.PutBytes(data + 1, static_cast<int>(size - 1));

  FuzzPlug plug(0);
  const int pos = plug.UnserializeState(&chunk, startPos);
  plug.CheckInvariants();
  if (startPos < 0 && pos != startPos) std::abort();
  if (pos > chunk.Size()) std::abort();
  if (startPos >= 0 && pos >= 0 && pos != startPos + 17 * 8) std::abort();

  // What was read is what the parameters now serialise to, clamped.
  ByteChunk out;
  if (!plug.SerializeState(&out) || out.Size() != 17 * 8) std::abort();
  FuzzPlug again(0);
  if (again.UnserializeState(&out, 0) != 17 * 8) std::abort();
  if (!again.CompareState(out.GetBytes(), 0)) std::abort();
  return 0;
}
