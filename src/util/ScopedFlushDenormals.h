// Flush-to-zero and denormals-are-zero for the lifetime of a scope, as audio renders set them.
#pragma once

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define UTIL_HAS_MXCSR 1
#include <xmmintrin.h>
#else
#define UTIL_HAS_MXCSR 0
#endif

// A decaying signal ends on subnormal floats, and on x86 every operation on one (or producing one)
// takes a slow microcode assist, many times the cost of a normal operation: a voice whose
// envelopes have died away would cost far more than a playing one. The guard sets the
// processor's flush-to-zero (subnormal results become zero) and denormals-are-zero (subnormal
// inputs count as zero) modes on construction and puts both bits back as the caller had them on
// destruction; the rest of the control word (rounding, exception masks, sticky flags) is left
// alone. Guards nest. Where the processor has no such control word (or it is not reachable) the
// guard does nothing.
//
// Threads: the modes belong to the calling thread; construct and destroy on the same thread,
// without allocation or system call, so it is safe on the audio thread.
class ScopedFlushDenormals {
public:
#if UTIL_HAS_MXCSR
    ScopedFlushDenormals()
        : saved(_mm_getcsr() & modeBits)
    {
        _mm_setcsr(_mm_getcsr() | modeBits);
    }
    ~ScopedFlushDenormals() { _mm_setcsr((_mm_getcsr() & ~modeBits) | saved); }

    // True when the calling thread flushes subnormals, guard or not.
    static bool active() { return (_mm_getcsr() & modeBits) == modeBits; }
#else
    ScopedFlushDenormals() = default;
    ~ScopedFlushDenormals() = default;
    static bool active() { return false; }
#endif
    ScopedFlushDenormals(const ScopedFlushDenormals&) = delete;
    ScopedFlushDenormals& operator=(const ScopedFlushDenormals&) = delete;

private:
#if UTIL_HAS_MXCSR
    static constexpr unsigned flushToZero = 0x8000;     // MXCSR bit 15
    static constexpr unsigned denormalsAreZero = 0x0040; // MXCSR bit 6
    static constexpr unsigned modeBits = flushToZero | denormalsAreZero;
    unsigned saved;  // the caller's two mode bits
#endif
};
