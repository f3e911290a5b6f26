// Triangle oscillator: the operations that do not run per sample.
#include "voice/vco.h"

void vco::setSamplingRate(double fs)
{
    samplingRate = fs;
    reciprocalRate = 1.0 / fs;
    lastFreq = std::numeric_limits<float>::quiet_NaN();  // the cached step belongs to the old rate
}
