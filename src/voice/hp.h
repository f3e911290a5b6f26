// One-pole highpass by the bilinear transform of a CR stage, in single precision.
#pragma once

// hp: y[n] = b0 * x[n] + b1 * x[n-1] - a * y[n-1] with T = 1 / fs, a = (T - 2 tau) / (T + 2 tau),
// b0 = 2 tau / (T + 2 tau) and b1 = -b0. The states can be preset so that the filter starts where
// the circuit rests.
//
// Lifecycle: setSampleRate and setTau before the first getSample. Threads: audio thread only.
class hp {
public:
    hp() { updateCoefficients(); }

    void setTau(float seconds) { tau = seconds; updateCoefficients(); }
    void setStateX(float x) { stateX = x; }
    void setStateY(float y) { stateY = y; }
    void setSampleRate(double fs) { sampleRate = fs; updateCoefficients(); }
    float getStateX() const { return stateX; }
    float getStateY() const { return stateY; }
    // True when the output never falls as the previous output rises (a <= 0, every rate above
    // 1 / (2 tau)): a larger state then stays larger, whatever the input, rounding included.
    float getFeedback() const { return a; }
    bool keepsOrder() const { return a <= 0.0f; }

    float getSample(float x)
    {
        const float y = (b0 * x + b1 * stateX) - a * stateY;
        stateX = x;
        stateY = y;
        return y;
    }

    // The filter split for runs over a block: the part of the output that depends only on the
    // inputs (b0 * x + b1 * x_prev), which can be formed for many samples at once, and the chain
    // through the previous output that is left. run(inputPart(x, sx)) is getSample(x) exactly.
    float inputPart(float x, float previousX) const { return b0 * x + b1 * previousX; }
    float getB0() const { return b0; }
    float getB1() const { return b1; }
    struct Chain {
        float a;  // feedback coefficient
        float y;  // previous output
        float run(float part)
        {
            y = part - a * y;
            return y;
        }
    };
    Chain startChain() const { return Chain{a, stateY}; }
    // Stores the chain's state back; lastX is the last input.
    void endChain(const Chain& chain, float lastX)
    {
        stateX = lastX;
        stateY = chain.y;
    }

private:
    // The coefficients depend only on the rate and tau; they are formed when those change.
    void updateCoefficients()
    {
        const float T = static_cast<float>(1.0 / sampleRate);
        a = (T - 2.0f * tau) / (T + 2.0f * tau);
        b0 = 2.0f * tau / (T + 2.0f * tau);
        b1 = -(2.0f * tau) / (T + 2.0f * tau);
    }

    float stateY = 0.0f;     // previous output
    float stateX = 0.0f;     // previous input
    double sampleRate = 0.0;
    float tau = 0.0f;        // time constant RC, s
    float a = 0.0f;
    float b0 = 0.0f;
    float b1 = 0.0f;
};
