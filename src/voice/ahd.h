// Attack-hold-decay envelope: a one-pole smoother that runs towards 1, then towards 0.
#pragma once

#include <bit>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>

// ahd: after reset the envelope rises towards 1 with the attack time constant for holdTime
// seconds, then falls towards 0 with the decay time constant, for ever. The filter input is the
// target of the previous sample, so a change of phase reaches the output one sample late. A reset
// restarts the rise from the present level, not from 0.
//
// After construction the count stands at 66666 samples, far in the fall phase, so a voice that was
// never triggered stays silent. The count saturates instead of wrapping, so an envelope left
// running for days never starts a rise of its own.
//
// Lifecycle: setSamplingRate and the times before use; reset per hit. Setters may be called
// between samples. Threads: audio thread only; allocates nothing.
class ahd {
public:
    ahd();

    void setSamplingRate(double fs);
    void setAttack(float seconds);
    void setHold(float seconds);
    void setDecay(float seconds);
    void setAmp(float amplitude);
    void setSampleCount(int count) { sampleCount = count; }
    void reset();
    // Puts the envelope where it comes to rest long after a hit: in its fall, at exactly 0 (every
    // further sample is 0 then, with or without flush-to-zero).
    void rest()
    {
        x1 = 0.0;
        y1 = 0.0;
        target = 0.0;
    }
    float getSample();
    // True when the envelope sits at rest: in its fall for good, with a +0 input and a level that
    // the next step gives again, bit for bit, in the current flush mode, with finite coefficients
    // and amplitude. That level is +0 (with flush-to-zero, or from the settled start), or without
    // it the smallest subnormal, which fb * y rounds back to. Every further sample is restValue.
    bool atRest() const
    {
        return fallsFromHere() && std::bit_cast<uint64_t>(x1) == 0 && !std::signbit(y1)
            && std::isfinite(fall.in) && std::isfinite(fall.fb) && std::isfinite(amp)
            && std::bit_cast<uint64_t>(static_cast<double>(static_cast<float>(fall.fb * y1)))
                == std::bit_cast<uint64_t>(y1);
    }
    float restValue() const { return static_cast<float>(amp * y1); }
    // A fast form of getSample for runs in which the phase cannot change: while fallsFromHere,
    // n calls of getFallingSample followed by advanceCount(n) are the same as n getSample calls.
    bool fallsFromHere() const;
    float getFallingSample();
    // The fall in single precision, for runs of several envelopes side by side. When
    // startFallChain gives true, each chain.step() is the same as a getFallingSample; endFallChain
    // then stores the chain's state back (advanceCount still moves the count).
    struct FallChain {
        float fb;   // feedback coefficient
        float amp;  // output scale
        float y;    // filter output of the previous sample
        float step()
        {
            y = fb * y;
            return amp * y;
        }
    };
    bool startFallChain(FallChain& chain) const;
    void endFallChain(const FallChain& chain)
    {
        y1 = chain.y;
        x1 = 0.0;
    }
    void advanceCount(int n);
    // n successive getSample results into out, in bulk: the fall runs as a FallChain where it
    // can, and a rise that has reached its level (the filter's fixed point, where the next value
    // is exactly the last) is held without recomputing it until the rise ends.
    void getBlock(float* out, int n);

    float getAttack() const { return attackTime; }
    double getHold() const { return holdTime; }
    double getDecay() const { return decayTime; }
    double getAmp() const { return amp; }
    int getSampleCount() const { return sampleCount; }

private:
    void updateCoefficients();

    float attackTime = 0.0f;   // time constant of the rise, s
    double holdTime = 0.0;     // length of the rise phase from reset, s
    double decayTime = 0.0;    // time constant of the fall, s
    double amp = 0.0;          // output scale
    double samplingRate = 0.0;
    double x1 = 1.0;           // filter input of the previous sample (the previous target)
    double y1 = 0.0;           // filter output of the previous sample
    int sampleCount = 66666;   // samples since reset, saturating
    double target = 1.0;       // 1 while rising, 0 while falling

    // The coefficients of each phase depend only on the rate and the time constants, so they are
    // worked out when those change rather than with two exponentials per sample. Each is rounded
    // to float, as the filter's formula wants, and kept widened to double (exactly), the width in
    // which the filter step uses it.
    struct Phase {
        double in;
        double fb;
    };
    Phase rise{};
    Phase fall{};
    // Last count of the rise: sampleCount > holdTime * samplingRate exactly when the count exceeds
    // this whole number, so the per-sample test needs no conversion.
    int64_t riseLastCount = 0;
};

inline float ahd::getSample()
{
    if (sampleCount < INT_MAX)
        ++sampleCount;
    const bool falling = sampleCount > riseLastCount;
    const Phase& c = falling ? fall : rise;
    target = falling ? 0.0 : 1.0;
    const float y = static_cast<float>(c.in * x1 + c.fb * y1);
    y1 = y;
    x1 = target;
    return static_cast<float>(amp * y);
}

// True when every further sample is in the fall: the count stands at or past the last count of the
// rise, and only grows (saturating above it). A hold that never ends never qualifies.
inline bool ahd::fallsFromHere() const
{
    return sampleCount >= riseLastCount && riseLastCount < INT_MAX;
}

// getSample for an envelope that fallsFromHere, less the count, which advanceCount moves on
// afterwards for the whole run.
inline float ahd::getFallingSample()
{
    const float y = static_cast<float>(fall.in * x1 + fall.fb * y1);
    y1 = y;
    x1 = 0.0;
    return static_cast<float>(amp * y);
}

inline void ahd::advanceCount(int n)
{
    target = 0.0;
    sampleCount = sampleCount > INT_MAX - n ? INT_MAX : sampleCount + n;
}

// In the fall the filter input is +0 after the first sample, and in * +0 + fb * y1 in double is
// then fb * y1 itself: the product of two floats is exact in double, and adding the zero changes
// nothing when the product is not a negative zero, which it cannot be with 0 < fb <= 1 and y1 a
// finite float without sign bit (the chain then stays in that range). Rounding the exact product
// to float is the single-precision product, so the chain can run in single precision, a quarter
// of the latency of the double steps and conversions. amp is set from a float, so amp * y rounds
// the same way. Other cases (a filter input still 1, odd coefficients, a not-a-number or negative
// level) take getFallingSample.
inline bool ahd::startFallChain(FallChain& chain) const
{
    const float fb = static_cast<float>(fall.fb);
    if (!(x1 == 0.0 && !std::signbit(x1)) || !std::isfinite(fall.in) || !(fb > 0.0f && fb <= 1.0f)
        || std::signbit(y1) || !(y1 <= static_cast<double>(FLT_MAX)))
        return false;
    chain.fb = fb;
    chain.amp = static_cast<float>(amp);
    chain.y = static_cast<float>(y1);
    return true;
}
