// Internal: the generic row loops, each with one combine rule inlined.
#pragma once

#include "pix/PIX_Combine.h"

namespace pix_detail {

template <class R>
void rowBlit(PIX_pixel* d, const PIX_pixel* s, int n, int w, int)
{
  for (int i = 0; i < n; ++i)
  {
    const PIX_pixel p = s[i];
    R::doPix(d + i, PIX_R(p), PIX_G(p), PIX_B(p), PIX_A(p), w);
  }
}

// A fill passes its weight as the source alpha.
template <class R>
void rowFill(PIX_pixel* d, int n, PIX_pixel c, int w)
{
  const int r = PIX_R(c), g = PIX_G(c), b = PIX_B(c);
  for (int i = 0; i < n; ++i) R::doPix(d + i, r, g, b, w, w);
}

}  // namespace pix_detail
