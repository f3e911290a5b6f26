// Table player: plays the stored click transient once, linearly interpolated to the output rate.
#pragma once

// resampler: owns a copy of the 1000-sample transient recorded at recordedRate and plays it at
// samplingRate from setSampleCount(0) to the end of the table, then returns 0 until restarted.
// The last table entry is reached only as the right-hand neighbour of an interpolation.
//
// Lifecycle: the constructor allocates the 4000-byte table (not on the audio thread); set both
// rates before use; setSampleCount(0) restarts playback. Not copyable.
// Threads: getSample and the setters on the audio thread; nothing allocates after construction.
class resampler {
public:
    resampler();
    ~resampler();
    resampler(const resampler&) = delete;
    resampler& operator=(const resampler&) = delete;

    void setSamplingRate(double fs) { samplingRate = fs; finished = false; }
    void setSamplingRateOriginal(double fs) { recordedRate = fs; finished = false; }
    void setSampleCount(int count) { sampleCount = count; finished = false; }
    int getSampleCount() const { return sampleCount; }
    // Puts back a position and end flag read before (the flag is what getSample would find).
    void restore(int count, bool atEnd)
    {
        sampleCount = count;
        finished = atEnd;
    }
    // True once the end was reached: getSample returns 0 until a setter is called.
    bool isFinished() const { return finished; }

    float getSample();

private:
    double recordedRate = 0.0;  // rate at which the table was recorded, Hz
    double samplingRate = 0.0;  // output rate, Hz
    int sampleCount = 0;        // output samples played since the last setSampleCount
    float* table = nullptr;     // the stored transient, owned

    // Set once the end is reached: the position no longer moves, so the player stays silent until
    // a setter changes the count or a rate, and the per-sample division can be skipped.
    bool finished = false;
};

inline float resampler::getSample()
{
    if (finished)
        return 0.0f;
    const float pos = static_cast<float>(static_cast<double>(sampleCount) * recordedRate / samplingRate);
    // Past the end (the right-hand neighbour would lie beyond entry 999), before the start, or not
    // a number (an output rate of 0): silence. Testing before the conversion keeps the index valid.
    if (!(pos >= 0.0f && pos < 999.0f)) {
        finished = true;
        return 0.0f;
    }
    const int i = static_cast<int>(pos);
    const int j = i + 1;
    const float frac = pos - static_cast<float>(i);
    ++sampleCount;
    return table[i] + frac * (table[j] - table[i]);
}
