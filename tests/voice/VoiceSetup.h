// Shared set-up of the drum voice for tests and benchmarks: the instrument's default sound.
#pragma once

// Applies the setter values the instrument derives from its default parameters (every sound knob
// at its middle, pitch 0), in the instrument's order. Works for the voice and the reference.
template <typename Voice>
void applyDefaultSound(Voice& v)
{
    v.setTune(0.0f);
    v.setAccent(0.5f);
    v.setDecay(1.0f);
    v.setTuneDecay(1.0f);
    v.setAttack(0.5f);
    v.setHold(1.0f);
    v.setTuneDepth(1.0f);
    v.setNoiseDecay(0.5f);
    v.setDistortion(0.5f);
    v.setMidiTuneFlag(0);
    v.setMidiAccentFlag(0);
}
