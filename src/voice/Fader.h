// Exponential fader: a value that decays towards 0 with a time constant.
#pragma once

// Fader: the de-click bridge of the voice. setStartValue replaces the value; each getFaderValue
// multiplies it by exp(-1 / (tau * fs)) and returns it, so the first call already returns
// start * k. Lifecycle: setTau and setSampleRate before use. Threads: audio thread only.
class Fader {
public:
    Fader();

    void setStartValue(double v) { value = v; }
    void setTau(double seconds);
    void setSampleRate(double fs);

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
