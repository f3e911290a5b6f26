// A double-precision quotient rounded to float, formed by a multiplication where that is exact.
#pragma once

// Many steps of the voice divide a double by a constant (or by the sample rate) and round the
// quotient to single precision. A division takes many cycles and sits on the voice's longest
// chain, while x * (1 / c) is cheap but may differ from x / c in the last bit of a double. After
// the rounding to float that difference matters only when the quotient lies next to a point half
// way between two floats, the one place where the float rounding changes its direction.
//
// floatQuotient forms y = x * reciprocal with reciprocal = 1 / c rounded to double. y differs from
// the true quotient by at most about two double units in the last place (the rounding of the
// reciprocal and of the product), and from the correctly rounded double quotient by at most about
// four, less than 2^-50 of its size. If y * (1 - 2^-48) and y * (1 + 2^-48) round to the same float,
// then so does everything between them (rounding is monotonic), the double quotient included: the
// float of y is the float of the division. Otherwise, a float half-way point lies close by and the
// quotient is divided the slow way. The test holds across the whole range, zeros, denormal floats
// and overflow to infinity included (the double quotient then overflows the float range as well);
// a quotient that is not a number fails the comparison and is divided.
//
// The result is bit for bit static_cast<float>(x / c) for every x and c, with
// reciprocal == 1.0 / c. Allocates nothing; safe on any thread.
inline float floatQuotient(double x, double c, double reciprocal)
{
    constexpr double below = 1.0 - 0x1p-48;
    constexpr double above = 1.0 + 0x1p-48;
    const double y = x * reciprocal;
    const float low = static_cast<float>(y * below);
    const float high = static_cast<float>(y * above);
    if (low == high) [[likely]]
        return low;
    return static_cast<float>(x / c);
}
