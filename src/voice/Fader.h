// Exponential fader: a value that decays towards 0 with a time constant.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

// Fader: the de-click bridge of the voice. setStartValue replaces the value; each getFaderValue
// multiplies it by exp(-1 / (tau * fs)) and returns it, so the first call already returns
// start * k. Lifecycle: setTau and setSampleRate before use. Threads: audio thread only.
class Fader {
public:
    Fader();

    void setStartValue(double v) { value = v; }
    void setTau(double seconds);
    void setSampleRate(double fs);

    // True when the next value is this one, bit for bit, in the current flush mode, and it is not
    // -0: the bridge then adds the same to every sample, and a zero signal plus it gives the same
    // bits whatever the sign of the signal's zero.
    bool isStill() const
    {
        const double next = k * value;
        return !std::isnan(value) && std::bit_cast<uint64_t>(next) == std::bit_cast<uint64_t>(value)
            && std::bit_cast<uint64_t>(value) != std::bit_cast<uint64_t>(-0.0);
    }
    // True when the value stands at -0 for good (k * -0 is -0 for any factor that is a number not
    // below 0): the bridge then hands the sign of a zero signal on to the output.
    bool staysAtNegativeZero() const
    {
        const uint64_t negativeZero = std::bit_cast<uint64_t>(-0.0);
        return std::bit_cast<uint64_t>(value) == negativeZero && std::bit_cast<uint64_t>(k * value) == negativeZero;
    }
    double getValue() const { return value; }

    double getFaderValue()
    {
        value = k * value;
        return value;
    }

private:
    // The factor depends only on tau and the rate, so it is formed when they change.
    void updateFactor();

    double value = 0.0;
    double tau = 0.0;        // time constant, s
    double sampleRate = 0.0;
    double k = 0.0;          // decay factor per sample
};
