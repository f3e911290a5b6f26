// Base64 text of binary data (RFC 4648 standard alphabet, "=" padding, no line breaks).
#pragma once

// Characters base64encode writes for len bytes, the terminating NUL included.
constexpr int Base64EncodedSize(int len) { return len <= 0 ? 1 : (len + 2) / 3 * 4 + 1; }

// Encodes len bytes of in into out, which must hold Base64EncodedSize(len)
// characters; out ends with a NUL.
void base64encode(const unsigned char* in, char* out, int len);

// Decodes src into dest, writing at most destsize bytes. Decoding stops at
// the first character outside the alphabet (the pad "=" and the terminating
// NUL included); a trailing group of 2 or 3 characters gives 1 or 2 bytes.
// Returns the number of bytes written. A null src or dest writes nothing.
int base64decode(const char* src, unsigned char* dest, int destsize);
