// Heap bitmap storage: aligned rows, growth with headroom.
#include "pix/PIX_Bitmap.h"

#include <climits>
#include <cstdlib>

namespace {
// Line alignment in pixels -> mask (alignment - 1). Only the lowest set bit
// counts, so the alignment is always a power of two; 16 pixels (64 bytes) is
// the largest, which already matches the buffer's start alignment.
int alignMask(int linealign)
{
  if (linealign < 2) return 0;
  const int lowbit = linealign & -linealign;
  return (lowbit > 16 ? 16 : lowbit) - 1;
}
}  // namespace

PIX_MemBitmap::PIX_MemBitmap(int w, int h, int linealign) : m_linealign(alignMask(linealign))
{
  if (w > 0 && h > 0) resize(w, h);
}

PIX_MemBitmap::~PIX_MemBitmap()
{
  free(m_allocd);
}

PIX_pixel* PIX_MemBitmap::getBits()
{
  if (!m_allocd) return nullptr;
  const uintptr_t p = ((uintptr_t)m_allocd + 63) & ~(uintptr_t)63;
  return (PIX_pixel*)p;
}

bool PIX_MemBitmap::resize(int w, int h)
{
  if (w < 0) w = 0;
  if (h < 0) h = 0;
  if (w == m_w && h == m_h) return false;

  // 64-bit arithmetic: a large width times height must fail cleanly rather
  // than wrap into a small allocation that later blits would overrun.
  const long long span = ((long long)w + m_linealign) & ~(long long)m_linealign;
  const long long need = span * h * (long long)sizeof(PIX_pixel);
  if (need <= 0)
  {
    free(m_allocd);
    m_allocd = nullptr;
    m_allocsize = 0;
    m_w = w;
    m_h = h;
    return true;
  }

  if (need > m_allocsize)
  {
    // The byte count is kept as an int; anything that would not fit (with
    // the headroom and the alignment slack) cannot be had.
    const long long limit = INT_MAX - 64;
    if (!m_allocd)
    {
      m_allocd = need <= limit ? malloc((size_t)need + 63) : nullptr;
      m_allocsize = m_allocd ? (int)need : 0;
    }
    else
    {
      const long long grow = need / 4 * 5;
      void* p = grow <= limit ? realloc(m_allocd, (size_t)grow + 63) : nullptr;
      if (p)
      {
        m_allocd = p;
        m_allocsize = (int)grow;
      }
      else
      {
        free(m_allocd);
        m_allocd = need <= limit ? malloc((size_t)need + 63) : nullptr;
        m_allocsize = m_allocd ? (int)need : 0;
      }
    }
  }

  if (!m_allocd)
  {
    const bool changed = m_w != 0 || m_h != 0;
    m_w = m_h = 0;
    return changed;
  }
  m_w = w;
  m_h = h;
  return true;
}
