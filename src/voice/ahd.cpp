// Attack-hold-decay envelope: setters and the per-phase coefficients.
#include "voice/ahd.h"
#include "util/RenderPath.h"

#include <algorithm>
#include <bit>
#include <cmath>

ahd::ahd()
{
    updateCoefficients();
}

void ahd::setSamplingRate(double fs)
{
    samplingRate = fs;
    updateCoefficients();
}

void ahd::setAttack(float seconds)
{
    attackTime = seconds;
    updateCoefficients();
}

void ahd::setHold(float seconds)
{
    holdTime = seconds;
    updateCoefficients();
}

void ahd::setDecay(float seconds)
{
    decayTime = seconds;
    updateCoefficients();
}

void ahd::setAmp(float amplitude)
{
    amp = amplitude;
}

void ahd::reset()
{
    sampleCount = 0;
    target = 1.0;
}

// One-pole coefficients for a time constant: feedback exp(-1 / (fs * tau)) and input 1 minus it.
// A time constant or rate of 0 gives exp(-inf) = 0, an envelope that jumps at once.
void ahd::updateCoefficients()
{
    const double decayK = std::exp(-1.0 / (samplingRate * decayTime));
    fall.in = static_cast<float>(1.0 - decayK);
    fall.fb = static_cast<float>(decayK);
    const double attackK = std::exp(-1.0 / (samplingRate * static_cast<double>(attackTime)));
    rise.in = static_cast<float>(1.0 - attackK);
    rise.fb = static_cast<float>(attackK);

    // For a whole count n, n > h holds exactly when n > floor(h). A hold that is not a number
    // never ends (every comparison with it is false); counts lie in the int range.
    const double h = holdTime * samplingRate;
    if (std::isnan(h) || h >= static_cast<double>(INT_MAX))
        riseLastCount = INT_MAX;
    else if (h < static_cast<double>(INT_MIN))
        riseLastCount = static_cast<int64_t>(INT_MIN) - 1;
    else
        riseLastCount = static_cast<int64_t>(std::floor(h));
}

UTIL_RENDER_PATH void ahd::getBlock(float* out, int n)
{
    int i = 0;
    while (i < n) {
        if (fallsFromHere()) {
            // The rest of the block falls. The first sample of the fall still has the rise's
            // target as its filter input; the chain takes over from the next.
            int start = i;
            if (!(x1 == 0.0 && !std::signbit(x1)))
                out[i++] = getFallingSample();
            FallChain chain;
            if (startFallChain(chain)) {
                for (; i < n; ++i)
                    out[i] = chain.step();
                endFallChain(chain);
            } else {
                for (; i < n; ++i)
                    out[i] = getFallingSample();
            }
            advanceCount(n - start);
            return;
        }
        // The next sample is in the rise while the count stays at or below the rise's last count.
        const bool rising = sampleCount < riseLastCount;
        const double before = y1;
        const double input = x1;
        out[i++] = getSample();
        if (rising && input == 1.0 && std::bit_cast<uint64_t>(y1) == std::bit_cast<uint64_t>(before)) {
            // in * 1 + fb * y gave y again: every further sample of the rise is the same value
            // (same coefficients, same input, same state) until the count passes riseLastCount.
            const int64_t left = riseLastCount - sampleCount;
            const int m = static_cast<int>(std::min<int64_t>(left, n - i));
            std::fill(out + i, out + i + m, out[i - 1]);
            sampleCount += m;
            i += m;
        }
    }
}
