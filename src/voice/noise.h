// White-noise source: a 32-bit linear congruential generator scaled to -1..1.
#pragma once

#include <cstdint>

// noise: the same sequence every time an object is created (seed 0), so every voice sounds alike.
// Threads: audio thread only; allocates nothing.
class noise {
public:
    // Next value in -1..1, both ends included (the largest seeds round up to 2^32 as a float).
    float getSample()
    {
        seed = seed * 69069u + 1u;  // modulo 2^32 by unsigned wrap-around
        const float s = static_cast<float>(seed);
        return static_cast<float>(static_cast<double>(s) / 2147483648.0 - 1.0);
    }

    // The generator state, for running several steps of the sequence at once elsewhere.
    uint32_t getSeed() const { return seed; }
    void setSeed(uint32_t s) { seed = s; }

    // The sequence is a bijection of the 32-bit states, so it runs both ways: skip moves the
    // state on by any number of steps at once (state * a^n + c_n, the step composed with itself
    // by squaring), and the state n steps back is the one that n steps on lead to this one.
    void skip(uint64_t steps)
    {
        uint32_t mul = 69069u, add = 1u;  // one step: s * mul + add
        uint32_t totalMul = 1u, totalAdd = 0u;
        for (; steps > 0; steps >>= 1) {
            if (steps & 1u) {
                totalMul *= mul;
                totalAdd = totalAdd * mul + add;
            }
            add = add * mul + add;
            mul *= mul;
        }
        seed = seed * totalMul + totalAdd;
    }
    void rewind(uint32_t steps)
    {
        // 2^32 - n steps on is n steps back, the sequence's period being 2^32.
        skip((uint64_t{1} << 32) - steps);
    }

private:
    uint32_t seed = 0;
};
