// Exponential fader: the settings and the decay factor they give.
#include "voice/Fader.h"

#include <cmath>

Fader::Fader()
{
    updateFactor();
}

void Fader::setTau(double seconds)
{
    tau = seconds;
    updateFactor();
}

void Fader::setSampleRate(double fs)
{
    sampleRate = fs;
    updateFactor();
}

// exp(-1 / (tau * fs)); a time constant or rate of 0 gives exp(-inf) = 0, a fader that jumps.
void Fader::updateFactor()
{
    k = std::exp(-1.0 / (tau * sampleRate));
}
