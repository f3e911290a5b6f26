// Row kernels: one specialised loop per combine rule and source-alpha
// variant, the word-wide shortcuts, and the choice between them and the
// vector kernels (PIX_KernelsX86.cpp), made once per call.
#include "pix/PIX_Kernels.h"

#include <cstring>

#include "pix/PIX_Blit.h"
#include "pix/PIX_Combine.h"
#include "pix/PIX_KernelsGeneric.h"
#include "pix/PIX_KernelsSIMD.h"

namespace {

using pix_detail::rowBlit;
using pix_detail::rowFill;

// Vector kernels in use (null: the generic loops only); see PIX_SetKernelLevel.
const PIX_SimdKernels* g_simd = PIX_GetSimdKernels(PIX_BestKernelLevel());

// ---- word-wide shortcuts ----------------------------------------------------

// weight 1.0: the rows as they are (memmove: the source may be the same bitmap).
void rowCopy(PIX_pixel* d, const PIX_pixel* s, int n, int, int)
{
  memmove(d, s, (size_t)n * sizeof(PIX_pixel));
}

// weight 0.5: d/2 + s/2 per byte, the low bit of each byte dropped first so
// that nothing carries into the next channel.
void rowHalf(PIX_pixel* d, const PIX_pixel* s, int n, int, int)
{
  for (int i = 0; i < n; ++i) d[i] = ((d[i] >> 1) & 0x7F7F7F7Fu) + ((s[i] >> 1) & 0x7F7F7F7Fu);
}

// channel copy: source byte (mode & 3) into destination byte ((mode >> 2) & 3).
void rowChanCopy(PIX_pixel* d, const PIX_pixel* s, int n, int, int mode)
{
  const int ss = (mode & 3) * 8, ds = ((mode >> 2) & 3) * 8;
  const PIX_pixel keep = ~((PIX_pixel)0xFF << ds);
  for (int i = 0; i < n; ++i) d[i] = (d[i] & keep) | (((s[i] >> ss) & 0xFF) << ds);
}

// fill 1.0: the colour.
void fill100(PIX_pixel* d, int n, PIX_pixel c, int)
{
  for (int i = 0; i < n; ++i) d[i] = c;
}
// fill 0.75: d/4 + c/2 + c/4.
void fill75(PIX_pixel* d, int n, PIX_pixel c, int)
{
  const PIX_pixel cc = ((c >> 1) & 0x7F7F7F7Fu) + ((c >> 2) & 0x3F3F3F3Fu);
  for (int i = 0; i < n; ++i) d[i] = ((d[i] >> 2) & 0x3F3F3F3Fu) + cc;
}
// fill 0.5: d/2 + c/2.
void fill50(PIX_pixel* d, int n, PIX_pixel c, int)
{
  const PIX_pixel cc = (c >> 1) & 0x7F7F7F7Fu;
  for (int i = 0; i < n; ++i) d[i] = ((d[i] >> 1) & 0x7F7F7F7Fu) + cc;
}
// fill 0.25: d/2 + d/4 + c/4.
void fill25(PIX_pixel* d, int n, PIX_pixel c, int)
{
  const PIX_pixel cc = (c >> 2) & 0x3F3F3F3Fu;
  for (int i = 0; i < n; ++i) d[i] = ((d[i] >> 1) & 0x7F7F7F7Fu) + ((d[i] >> 2) & 0x3F3F3F3Fu) + cc;
}


PIX_RowBlitFn selectRule(int mode, int w, const PIX_SimdKernels* v)
{
  const bool sa = (mode & PIX_BLIT_USE_SRC_ALPHA) != 0;
  switch (mode & PIX_BLIT_MODE_MASK)
  {
    case PIX_BLIT_MODE_COPY:
      if (sa)
      {
        if (w >= 256) return v ? v->copySAFull : rowBlit<PIX_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>;
        return v ? v->copySA : rowBlit<PIX_CombinePixelsCopySourceAlphaNoClamp>;
      }
      if (w >= 256) return rowBlit<PIX_CombinePixelsClobberNoClamp>;
      return v ? v->copyWeight : rowBlit<PIX_CombinePixelsCopyNoClamp>;
    case PIX_BLIT_MODE_ADD:
      if (sa) return rowBlit<PIX_CombinePixelsAddSourceAlpha>;
      if (v) return w >= 256 ? v->addFull : v->add;
      return rowBlit<PIX_CombinePixelsAdd>;
    case PIX_BLIT_MODE_DODGE:
      return sa ? rowBlit<PIX_CombinePixelsColorDodgeSourceAlpha> : rowBlit<PIX_CombinePixelsColorDodge>;
    case PIX_BLIT_MODE_MUL:
      if (sa) return rowBlit<PIX_CombinePixelsMulSourceAlphaNoClamp>;
      return v ? v->mul : rowBlit<PIX_CombinePixelsMulNoClamp>;
    case PIX_BLIT_MODE_OVERLAY:
      return sa ? rowBlit<PIX_CombinePixelsOverlaySourceAlpha> : rowBlit<PIX_CombinePixelsOverlay>;
    case PIX_BLIT_MODE_HSVADJ:
      return sa ? rowBlit<PIX_CombinePixelsHSVAdjustSourceAlpha> : rowBlit<PIX_CombinePixelsHSVAdjust>;
    default:
      return nullptr;
  }
}

// Integer weight from a float weight; NaN and negative weights give 0, and
// weights above 1.0 are held at 256 so that no rule extrapolates.
int weightOf(float alpha)
{
  if (!(alpha > 0.0f)) return 0;
  if (alpha >= 1.0f) return 256;
  return (int)(alpha * 256.0f);
}

}  // namespace

PIX_RowBlitFn PIX_SelectRowBlit(float alpha, int mode, int* w)
{
  *w = 0;
  if (!(alpha > 0.0f)) return nullptr;
  const int low = mode & PIX_BLIT_MODE_MASK;
  if (low >= PIX_BLIT_MODE_CHANCOPY_BASE)
  {
    *w = 256;
    return rowChanCopy;
  }
  if (low == PIX_BLIT_MODE_COPY && !(mode & PIX_BLIT_USE_SRC_ALPHA))
  {
    if (alpha == 1.0f)
    {
      *w = 256;
      return rowCopy;
    }
    if (alpha == 0.5f)
    {
      *w = 128;
      return rowHalf;
    }
  }
  *w = weightOf(alpha);
  if (*w == 0) return nullptr;
  return selectRule(mode, *w, g_simd);
}

PIX_RowBlitFn PIX_SelectRowBlitReference(int mode, int w)
{
  if (w <= 0) return nullptr;
  if ((mode & PIX_BLIT_MODE_MASK) >= PIX_BLIT_MODE_CHANCOPY_BASE) return rowChanCopy;
  return selectRule(mode, w > 256 ? 256 : w, nullptr);
}

PIX_RowFillFn PIX_SelectRowFill(float alpha, int mode, int* w)
{
  *w = weightOf(alpha);
  if (*w == 0) return nullptr;
  // The source-alpha flag is already folded into alpha by the caller.
  switch (mode & PIX_BLIT_MODE_MASK)
  {
    case PIX_BLIT_MODE_COPY:
      if (alpha == 1.0f || *w >= 256) return fill100;
      if (alpha == 0.75f) return fill75;
      if (alpha == 0.5f) return fill50;
      if (alpha == 0.25f) return fill25;
      return g_simd ? g_simd->fillCopy : rowFill<PIX_CombinePixelsCopyNoClamp>;
    case PIX_BLIT_MODE_ADD: return rowFill<PIX_CombinePixelsAdd>;
    case PIX_BLIT_MODE_DODGE: return rowFill<PIX_CombinePixelsColorDodge>;
    case PIX_BLIT_MODE_MUL: return rowFill<PIX_CombinePixelsMulNoClamp>;
    case PIX_BLIT_MODE_OVERLAY: return rowFill<PIX_CombinePixelsOverlay>;
    case PIX_BLIT_MODE_HSVADJ: return rowFill<PIX_CombinePixelsHSVAdjust>;
    default: return nullptr;
  }
}

bool PIX_SetKernelLevel(int level)
{
  if (level > PIX_BestKernelLevel()) return false;
  g_simd = PIX_GetSimdKernels(level);
  return true;
}
