// Growable byte buffer with typed appends and position-based reads.
#pragma once

#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

// The plug-in state travels in a ByteChunk: the host stores it in songs, the
// preset list keeps one per preset. Values are stored in the machine's byte
// order (little-endian on every target we build for).
//
// Appends return the new size. Reads take a start position and return the
// position just after the item, or -1 when the item does not lie wholly
// inside the data or the start is negative; the destination is then left
// untouched. A ByteChunk is not shared between threads without a lock.
class ByteChunk {
public:
  ByteChunk() = default;

  template <class T>
  int Put(const T* pVal) {
    static_assert(std::is_trivially_copyable_v<T>, "only plain values go into a chunk");
    return PutBytes(pVal, static_cast<int>(sizeof(T)));
  }

  template <class T>
  int Get(T* pVal, int startPos) const {
    static_assert(std::is_trivially_copyable_v<T>, "only plain values come out of a chunk");
    return GetBytes(pVal, static_cast<int>(sizeof(T)), startPos);
  }

  int PutBytes(const void* pSrc, int nBytesToCopy);
  int GetBytes(void* pBuf, int size, int startPos) const;

  // Length as int32, then the bytes without the terminator.
  int PutStr(const char* str);
  // A string that runs past the end leaves *pStr unchanged and returns a
  // position beyond the end, so that the next read fails. A negative length
  // is not valid data: -1, *pStr unchanged.
  int GetStr(std::string* pStr, int startPos) const;

  int PutBool(bool b);
  // Any non-zero byte reads as true.
  int GetBool(bool* pB, int startPos) const;

  int PutChunk(const ByteChunk* pRHS);

  void Clear() { mBytes.clear(); }
  int Size() const { return static_cast<int>(mBytes.size()); }
  // Zero-fills new bytes; returns the old size. A negative size counts as 0.
  int Resize(int newSize);
  unsigned char* GetBytes() { return mBytes.data(); }
  const unsigned char* GetBytes() const { return mBytes.data(); }

private:
  std::vector<unsigned char> mBytes;
};
