// One-pole lowpass by the bilinear transform of an RC stage, in single precision.
#pragma once

// lp: y[n] = b * x[n] + b * x[n-1] - a * y[n-1] with T = 1 / fs, a = (T - 2 tau) / (T + 2 tau) and
// b = T / (T + 2 tau). The states can be preset so that the filter starts where the circuit rests.
//
// Lifecycle: setSampleRate and setTau before the first getSample. Threads: audio thread only.
class lp {
public:
    lp() { updateCoefficients(); }

    void setTau(float seconds) { tau = seconds; updateCoefficients(); }
    void setStateX(float x) { stateX = x; }
    void setStateY(float y) { stateY = y; }
    void setSampleRate(double fs) { sampleRate = fs; updateCoefficients(); }
    float getStateX() const { return stateX; }
    float getStateY() const { return stateY; }
    // True when the output never falls as the input or either state rises (b >= 0 and a <= 0).
    float getFeedback() const { return a; }
    bool keepsOrder() const { return b >= 0.0f && a <= 0.0f; }

    float getSample(float x)
    {
        const float y = (b * x + b * stateX) - a * stateY;
        stateX = x;
        stateY = y;
        return y;
    }

    // The filter as a chain for runs over a block: b * x of one sample is b * stateX of the next,
    // so each sample takes one product of the input instead of two. run(x) is getSample(x) exactly
    // (the sum of the two products does not depend on their order).
    struct Chain {
        float a, b;
        float bx;  // b * the previous input
        float y;   // previous output
        float x;   // previous input
        float run(float in)
        {
            const float product = b * in;
            y = (product + bx) - a * y;
            bx = product;
            x = in;
            return y;
        }
    };
    Chain startChain() const { return Chain{a, b, b * stateX, stateY, stateX}; }
    void endChain(const Chain& chain)
    {
        stateX = chain.x;
        stateY = chain.y;
    }

private:
    // The coefficients depend only on the rate and tau; they are formed when those change.
    void updateCoefficients()
    {
        const float T = static_cast<float>(1.0 / sampleRate);
        a = (T - 2.0f * tau) / (T + 2.0f * tau);
        b = T / (T + 2.0f * tau);
    }

    float stateY = 0.0f;     // previous output
    float stateX = 0.0f;     // previous input
    double sampleRate = 0.0;
    float tau = 0.0f;        // time constant RC, s
    float a = 0.0f;
    float b = 0.0f;
};
