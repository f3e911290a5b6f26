// Table player: construction and release of its copy of the stored transient.
#include "voice/resampler.h"

#include <algorithm>

#include "voice/VoiceTables.h"

resampler::resampler()
    : table(new float[clickTableSize])
{
    std::copy(clickTable, clickTable + clickTableSize, table);
}

resampler::~resampler()
{
    delete[] table;
}
