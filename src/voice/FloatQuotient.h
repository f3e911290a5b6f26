// A double-precision quotient rounded to float, formed by a multiplication where that is exact.
#pragma once

#include <bit>
#include <cstdint>

// Many steps of the voice divide a double by a constant (or by the sample rate) and round the
// quotient to single precision. A division takes many cycles and sits on the voice's longest
// chain, while x * (1 / c) is cheap but may differ from x / c in the last bit of a double. After
// the rounding to float that difference matters only when the quotient lies next to a point half
// way between two floats, the one place where the float rounding changes its direction.
//
// floatQuotient forms y = x * reciprocal with reciprocal = 1 / c rounded to double. The true
// quotient differs from y by at most about two double units in the last place (the rounding of the
// reciprocal and of the product) and from the correctly rounded double quotient by at most three,
// so unless a float half-way point lies within that distance, both round to the same float. In the
// bit pattern of a double inside the float range, the float half-way points are the values whose
// lowest 29 bits are 1 followed by 28 zeros; the pattern of a positive double grows with its value
// and one unit in the last place is one step of the pattern (two steps just below a power of two).
// A quotient within 16 steps of a half-way point, outside the normal float range (denormal floats
// round at other bits), zero, infinite or not a number is divided the slow way.
//
// The result is bit for bit static_cast<float>(x / c) for every x and c, with
// reciprocal == 1.0 / c. Allocates nothing; safe on any thread.
inline float floatQuotient(double x, double c, double reciprocal)
{
    constexpr uint64_t lowMask = (uint64_t{1} << 29) - 1;  // the bits a float drops
    constexpr uint64_t halfWay = uint64_t{1} << 28;         // pattern of a float half-way point
    constexpr uint64_t margin = 16;
    constexpr uint64_t minExponent = 1023 - 125;            // quotients from 2^-125
    constexpr uint64_t exponentSpan = 127 + 125;            // up to below 2^128
    const double y = x * reciprocal;
    const uint64_t pattern = std::bit_cast<uint64_t>(y) & ~(uint64_t{1} << 63);
    const uint64_t exponent = pattern >> 52;
    const uint64_t low = pattern & lowMask;
    if (exponent - minExponent <= exponentSpan && low - (halfWay - margin) > 2 * margin) [[likely]]
        return static_cast<float>(y);
    return static_cast<float>(x / c);
}
