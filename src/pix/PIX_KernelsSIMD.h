// Internal: vector versions of the busiest row kernels.
#pragma once

#include "pix/PIX_Kernels.h"

struct PIX_SimdKernels
{
  PIX_RowBlitFn copySAFull;  // copy with source alpha, w = 256
  PIX_RowBlitFn copySA;      // copy with source alpha, w < 256
  PIX_RowBlitFn copyWeight;  // copy, w < 256
  PIX_RowBlitFn add;         // add, any w
  PIX_RowBlitFn addFull;     // add, w = 256
  PIX_RowBlitFn mul;         // multiply
  PIX_RowFillFn fillCopy;    // fill in copy mode, w < 256
};

// Highest level the processor supports (0 when it has no vector unit we use).
int PIX_BestKernelLevel();
// The kernels of a level (1 SSE2, 2 AVX2), or null for level 0 or an
// unsupported level.
const PIX_SimdKernels* PIX_GetSimdKernels(int level);
