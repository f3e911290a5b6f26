// Fuzz target: base64decode on arbitrary text never writes past its count,
// and whatever it decodes survives an encode/decode round trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "util/Base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the destination size, so short buffers are hit too.
  const int destsize = data[0];
  std::vector<char> text(data + 1, data + size);
  text.push_back('\0');

  // Exactly destsize bytes on the heap: ASan reports any write beyond them.
  unsigned char* dest = static_cast<unsigned char*>(std::malloc(destsize > 0 ? destsize : 1));
  const int n = base64decode(text.data(), dest, destsize);
  if (n < 0 || n > destsize) std::abort();
  // Four characters carry at most three bytes.
  if (static_cast<size_t>(n) > (size - 1) / 4 * 3 + 2) std::abort();

  std::vector<char> encoded(Base64EncodedSize(n));
  base64encode(dest, encoded.data(), n);
  if (std::strlen(encoded.data()) + 1 != encoded.size()) std::abort();
  std::vector<unsigned char> again(n + 1);
  const int m = base64decode(encoded.data(), again.data(), n + 1);
  if (m != n || std::memcmp(again.data(), dest, n) != 0) std::abort();
  std::free(dest);
  return 0;
}
