// Triangle oscillator with polynomially rounded corners: the tone source of the bass drum.
#pragma once

#include <cfloat>
#include <cmath>
#include <limits>

#include "voice/FloatQuotient.h"

// vco: one running phase in -1..1 (a period spans 2). Each getSample advances the phase by
// 2 * freq / fs and returns a triangle whose two corners are smoothed by the polynomial ftri over
// a window two phase steps wide, which takes the sharp edge (and most of its aliasing) out of the
// corners.
//
// The frequency is held below half the sample rate: above it the step would pass the one-step wrap
// and the phase would run away (a frequency beyond the sample rate gives full-scale junk). Below
// it nothing changes.
//
// Lifecycle: setSamplingRate before the first getSample; reset (phase 0) at every hit.
// Threads: audio thread only; allocates nothing, takes no lock.
class vco {
public:
    void setSamplingRate(double fs);
    void reset() { phase = 0.0f; }

    // shape 2 is the smoothed triangle the voice uses; any other shape gives the plain triangle.
    float getSample(float freq, float phaseOffset, int shape);

    // Brings a phase back into -1..1 with a single step of 2 (the phase never moves further).
    float wrap(float x) const
    {
        if (x >= 1.0f)  // the same test as in double: widening a float is exact
            return x - 2.0f;
        if (x < -1.0f)
            return x + 2.0f;
        return x;
    }

    // Corner correction over the window -1 < x < 1, fitted so that adding 4 * ftri * dt to the
    // triangle rounds off its corner; ftri(0) = 0.20617266 and ftri(+-1) is practically 0.
    //
    // The polynomial's powers are those of the library's power function, whose results the
    // voice's samples must match bit for bit. Seven power calls per corner sample cost more than
    // the rest of the oscillator, so the powers are formed by products instead: u^2 exactly, the
    // others within 3 roundings (relative 2^-53 each), and the power function (correct to within
    // one unit in the last place) differs from them by at most 5. With the roundings of the
    // coefficient products (7 per term in all) and of the eight additions in both sums (2 each,
    // on partial sums no larger than the sum of the terms' sizes), the double sum moves by at
    // most 23 * 2^-53 times that sum of sizes, inside the margin of 2^-48 times it. When the float
    // rounding of the sum is the same at both ends of the margin, it is the float of the power
    // function's sum too; otherwise (for about 5 % of the corner samples, near the window's edges
    // where the terms cancel) the powers are taken from the power function.
    float ftri(float x) const
    {
        const float u = -std::fabs(x);
        const double ud = u;
        const double p2 = ud * ud;
        const double p3 = p2 * ud;
        const double p4 = p2 * p2;
        const double p5 = p4 * ud;
        const double p6 = p4 * p2;
        const double p7 = p6 * ud;
        const double p8 = p4 * p4;
        const double t1 = static_cast<double>(0.99986f * u);
        const double t2 = 1.4878300428390503 * p2;
        const double t3 = 0.07976666589577992 * p3;
        const double t4 = 1.95882248878479 * p4;
        const double t5 = 0.6501880168914795 * p5;
        const double t6 = 1.9188049634297688 * p6;
        const double t7 = 1.9291086196899414 * p7;
        const double t8 = 0.5450287461280823 * p8;
        const double s = (((((((t1 + t2) - t3) - t4) - t5) + t6) + t7) + t8) + 0.20617266197999307;
        const double size = std::fabs(t1) + std::fabs(t2) + std::fabs(t3) + std::fabs(t4) + std::fabs(t5)
            + std::fabs(t6) + std::fabs(t7) + std::fabs(t8) + 0.20617266197999307;
        const double margin = size * 0x1p-48;
        const float low = static_cast<float>(s - margin);
        if (low == static_cast<float>(s + margin)) [[likely]]
            return low;
        return ftriByPowers(u);
    }
    // The polynomial with every power from the power function (u = -|x|).
    float ftriByPowers(float u) const
    {
        const double ud = u;
        double s = static_cast<double>(0.99986f * u);
        s = s + 1.4878300428390503 * std::pow(ud, 2.0);
        s = s - 0.07976666589577992 * std::pow(ud, 3.0);
        s = s - 1.95882248878479 * std::pow(ud, 4.0);
        s = s - 0.6501880168914795 * std::pow(ud, 5.0);
        s = s + 1.9188049634297688 * std::pow(ud, 6.0);
        s = s + 1.9291086196899414 * std::pow(ud, 7.0);
        s = s + 0.5450287461280823 * std::pow(ud, 8.0);
        s = s + 0.20617266197999307;
        return static_cast<float>(s);
    }

    float getPhase() const { return phase; }
    // Puts back a phase moved on outside the oscillator, by the same steps advancePhase takes.
    void setPhase(float p) { phase = p; }

    // Phase step 2 f / fs of a frequency, and in window the corner window 4 f / fs: what
    // getSample works out (and keeps) for a new frequency.
    float stepFor(float freq, float& window) const;
    // Hands getSample the step and window of freq formed beforehand (by stepFor, or by the same
    // operations on several frequencies at once), so that it need not form them itself.
    void setStep(float freq, float dt, float window)
    {
        lastFreq = freq;
        lastDt = dt;
        lastWindow = window;
    }
    // The two halves of getSample with shape 2, for running the phase over a block first:
    // advancePhase moves the phase on by a step and returns it; shapeAt is the output for that
    // phase, step, window and phase offset.
    float advancePhase(float dt)
    {
        phase = wrap(dt + phase);
        return phase;
    }
    float shapeAt(float ph, float dt, float w, float phaseOffset) const;
    double getSamplingRate() const { return samplingRate; }
    double getReciprocalRate() const { return reciprocalRate; }  // 1.0 / the sampling rate
    // The highest frequency the oscillator plays, the largest float below half the sample rate
    // (infinite while the rate is not a positive number); any |freq| above is played as this.
    float getMaxFrequency() const { return maxFreq; }
    float limitFrequency(float freq) const
    {
        // Not-a-number passes (and spoils the phase, as it would anyway).
        return std::fabs(freq) > maxFreq ? std::copysign(maxFreq, freq) : freq;
    }

private:
    float phase = 0.0f;
    double samplingRate = 0.0;
    double reciprocalRate = 0.0;  // 1 / samplingRate, for the phase step
    float maxFreq = std::numeric_limits<float>::infinity();

    // Phase step and corner window of the last frequency: the pitch settles after the sweep, and
    // then the two divisions need not be repeated (the same inputs give the same results).
    float lastFreq = std::numeric_limits<float>::quiet_NaN();
    float lastDt = 0.0f;
    float lastWindow = 0.0f;
};

inline float vco::stepFor(float freq, float& window) const
{
    freq = limitFrequency(freq);
    const float dt = floatQuotient(2.0 * static_cast<double>(freq), samplingRate, reciprocalRate);
    // 4 f / fs is exactly twice 2 f / fs before and after each rounding, as long as both
    // stay normal floats; otherwise (a silent voice whose pitch decays to nothing) divide.
    const float size = std::fabs(dt);
    if (size >= FLT_MIN && size < 0x1p126f)
        window = 2.0f * dt;
    else
        window = static_cast<float>(static_cast<double>(freq) * 4.0 / samplingRate);
    return dt;
}

inline float vco::getSample(float freq, float phaseOffset, int shape)
{
    if (!(freq == lastFreq)) {
        float window;
        const float dt = stepFor(freq, window);
        setStep(freq, dt, window);
    }
    const float dt = lastDt;  // phase step per sample
    const float w = lastWindow;  // corner window, two phase steps wide

    phase = wrap(dt + phase);
    if (shape == 2)
        return shapeAt(phase, dt, w, phaseOffset);
    // The plain triangle (see shapeAt).
    return 2.0f * std::fabs(wrap(phase + phaseOffset)) - 1.0f;
}

inline float vco::shapeAt(float ph, float dt, float w, float phaseOffset) const
{
    const float p = wrap(ph + phaseOffset);
    // The plain triangle, -1 at p = 0 and +1 at p = +-1. Formed in single precision: in double the
    // result is exact whenever it differs from -1 by more than 2^-29, so rounding once to single
    // gives the same float as the double step rounded afterwards.
    const float t = 2.0f * std::fabs(p) - 1.0f;

    const float q = wrap(p + 1.0f);  // half a period away (same argument as for t)
    const bool lower = w > std::fabs(p);
    const bool upper = w > std::fabs(q);
    // Away from both corners the corrections are zero: for a positive finite step the sum below
    // is -0 + (t + 0), which is t itself (t is never -0: 2|p| - 1 = 0 only as 1 - 1 = +0).
    if (!lower && !upper && dt > 0.0f && dt <= FLT_MAX)
        return t;
    const float r1 = lower ? ftri(p / w) : 0.0f;  // lower corner
    const float r2 = upper ? ftri(q / w) : 0.0f;  // upper corner
    return ((-4.0f * r2) * dt) + (t + (4.0f * r1) * dt);
}
