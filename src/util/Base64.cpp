// Base64 encoder and bounded decoder.
#include "util/Base64.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The 6-bit value of an alphabet character, or -1 for any other byte.
int SextetOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

void base64encode(const unsigned char* in, char* out, int len) {
  if (!out) return;
  if (!in) len = 0;
  int o = 0;
  int i = 0;
  for (; i + 2 < len; i += 3) {
    const unsigned v = in[i] << 16 | in[i + 1] << 8 | in[i + 2];
    out[o++] = kAlphabet[v >> 18 & 63];
    out[o++] = kAlphabet[v >> 12 & 63];
    out[o++] = kAlphabet[v >> 6 & 63];
    out[o++] = kAlphabet[v & 63];
  }
  const int rest = len - i;
  if (rest > 0) {
    // One or two bytes left: pad the group of four with "=".
    const unsigned v = in[i] << 16 | (rest == 2 ? in[i + 1] << 8 : 0);
    out[o++] = kAlphabet[v >> 18 & 63];
    out[o++] = kAlphabet[v >> 12 & 63];
    out[o++] = rest == 2 ? kAlphabet[v >> 6 & 63] : '=';
    out[o++] = '=';
  }
  out[o] = '\0';
}

int base64decode(const char* src, unsigned char* dest, int destsize) {
  if (!src || !dest || destsize <= 0) return 0;
  int written = 0;
  unsigned accum = 0;
  int bits = 0;
  for (const char* p = src; written < destsize; ++p) {
    const int v = SextetOf(*p);
    if (v < 0) break;
    accum = (accum << 6 | static_cast<unsigned>(v)) & 0xFFFFFF;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      dest[written++] = static_cast<unsigned char>(accum >> bits);
    }
  }
  return written;
}
