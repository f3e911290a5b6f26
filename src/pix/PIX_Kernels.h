// Row kernels behind the blits and fills, and their selection by mode.
// Internal to the drawing library (and its tests and benchmark).
#pragma once

#include "pix/PIX_Bitmap.h"

// Combines n source pixels into n destination pixels at weight w (0-256).
// mode is passed through for the channel copy. d and s may be the same row
// only when d <= s (forward walk).
typedef void (*PIX_RowBlitFn)(PIX_pixel* d, const PIX_pixel* s, int n, int w, int mode);
// Combines one colour into n destination pixels at weight w.
typedef void (*PIX_RowFillFn)(PIX_pixel* d, int n, PIX_pixel color, int w);

// The row kernel for a blit mode and weight (the word-wide shortcuts at 1.0
// and 0.5 in copy mode, the channel copy, or the rule of the low byte).
// Returns null when nothing is to be drawn; *w receives the integer weight.
PIX_RowBlitFn PIX_SelectRowBlit(float alpha, int mode, int* w);

// The row kernel for a fill (shortcuts at 0.25, 0.5, 0.75 and 1.0 in copy
// mode); alpha must already include the colour's alpha when asked for.
PIX_RowFillFn PIX_SelectRowFill(float alpha, int mode, int* w);

// Straightforward per-pixel versions of every blit rule (no SIMD, no
// shortcuts), for comparing the fast kernels with.
PIX_RowBlitFn PIX_SelectRowBlitReference(int mode, int w);

// Vector level of the fast kernels: 0 generic loops, 1 SSE2, 2 AVX2. The best
// level the processor has is chosen at start-up; tests lower it to check every
// level against the reference. Returns false (and changes nothing) when the
// processor lacks the level. Not thread-safe: call before drawing starts.
bool PIX_SetKernelLevel(int level);
