// Fuzz target: ByteChunk::GetStr walked along arbitrary bytes never reads
// outside the chunk, and reports positions consistently with what it read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "framework/ByteChunk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteChunk chunk;
  chunk.PutBytes(data, static_cast<int>(size));
  int pos = 0;
  for (int guard = 0; guard < 4096 && pos >= 0 && pos <= chunk.Size(); ++guard) {
    std::string s = "\x01sentinel";
    const int next = chunk.GetStr(&s, pos);
    if (next < 0) {
      if (s != "\x01sentinel") std::abort();  // a failed read leaves the string
      break;
    }
    if (next <= chunk.Size()) {
      // The string was read whole: its bytes sit right before the new position.
      if (next != pos + 4 + static_cast<int>(s.size())) std::abort();
      if (s.compare(0, std::string::npos, reinterpret_cast<const char*>(chunk.GetBytes()) + pos + 4,
                    s.size()) != 0)
        std::abort();
    } else if (s != "\x01sentinel") {
      std::abort();  // past the end: unchanged
    }
    if (next == pos) break;  // cannot happen (the length takes 4 bytes), but never loop
    pos = next;
  }
  return 0;
}
