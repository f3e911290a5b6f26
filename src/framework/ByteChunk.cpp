// ByteChunk appends and bounded reads.
#include "framework/ByteChunk.h"

#include <climits>
#include <cstdint>

int ByteChunk::PutBytes(const void* pSrc, int nBytesToCopy) {
  if (pSrc && nBytesToCopy > 0) {
    const unsigned char* p = static_cast<const unsigned char*>(pSrc);
    mBytes.insert(mBytes.end(), p, p + nBytesToCopy);
  }
  return Size();
}

int ByteChunk::GetBytes(void* pBuf, int size, int startPos) const {
  if (startPos < 0 || size < 0) return -1;
  // In 64 bits so that a huge size cannot wrap around past the check.
  std::int64_t endPos = static_cast<std::int64_t>(startPos) + size;
  if (endPos > Size()) return -1;
  if (size > 0) std::memcpy(pBuf, mBytes.data() + startPos, static_cast<std::size_t>(size));
  return static_cast<int>(endPos);
}

int ByteChunk::PutStr(const char* str) {
  if (!str) str = "";
  std::size_t len = std::strlen(str);
  int n = len > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(len);
  Put(&n);
  return PutBytes(str, n);
}

int ByteChunk::GetStr(std::string* pStr, int startPos) const {
  int len = 0;
  int strStartPos = Get(&len, startPos);
  // A negative length cannot come from PutStr; nothing sensible follows it.
  if (strStartPos < 0 || len < 0) return -1;
  std::int64_t strEndPos = static_cast<std::int64_t>(strStartPos) + len;
  if (strEndPos <= Size()) {
    pStr->assign(reinterpret_cast<const char*>(mBytes.data()) + strStartPos,
                 static_cast<std::size_t>(len));
  }
  // A position past the end makes the next read fail; one past INT_MAX cannot
  // be represented and is reported as the failure itself.
  return strEndPos > INT_MAX ? -1 : static_cast<int>(strEndPos);
}

int ByteChunk::PutBool(bool b) {
  unsigned char byte = b ? 1 : 0;
  return PutBytes(&byte, 1);
}

int ByteChunk::GetBool(bool* pB, int startPos) const {
  unsigned char byte = 0;
  int endPos = GetBytes(&byte, 1, startPos);
  if (endPos >= 0) *pB = byte != 0;
  return endPos;
}

int ByteChunk::PutChunk(const ByteChunk* pRHS) {
  if (!pRHS || pRHS == this) {
    if (pRHS == this) {
      std::vector<unsigned char> copy(mBytes);
      mBytes.insert(mBytes.end(), copy.begin(), copy.end());
    }
    return Size();
  }
  return PutBytes(pRHS->mBytes.data(), pRHS->Size());
}

int ByteChunk::Resize(int newSize) {
  int oldSize = Size();
  mBytes.resize(newSize > 0 ? static_cast<std::size_t>(newSize) : 0, 0);
  return oldSize;
}
