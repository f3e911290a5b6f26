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

private:
    uint32_t seed = 0;
};
