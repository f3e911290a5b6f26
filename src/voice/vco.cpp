// Triangle oscillator: the operations that do not run per sample.
#include "voice/vco.h"

void vco::setSamplingRate(double fs)
{
    samplingRate = fs;
    reciprocalRate = 1.0 / fs;
    lastFreq = std::numeric_limits<float>::quiet_NaN();  // the cached step belongs to the old rate
    // The largest float below fs / 2 (halving a double is exact): with it the step 2 f / fs stays
    // at most 1, which the one-step wrap always brings back into -1..1.
    const double half = fs / 2.0;
    if (half > 0.0 && half < std::numeric_limits<double>::infinity()) {
        float limit = static_cast<float>(half);
        if (static_cast<double>(limit) >= half)
            limit = std::nextafter(limit, 0.0f);
        maxFreq = limit;
    } else {
        maxFreq = std::numeric_limits<float>::infinity();
    }
}
