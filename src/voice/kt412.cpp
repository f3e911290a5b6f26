// The bass drum voice: construction, fixed settings, setters and the start of a hit.
#include "voice/kt412.h"

#include <cmath>

kt412::kt412()
{
    init();
}

// Fixed settings; the times are those of the modelled circuit's RC stages.
void kt412::init()
{
    ampEnv.setAttack(0.000594f);

    noiseEnv.setAttack(0.000726f);
    noiseEnv.setHold(0.002f);
    noiseEnv.setDecay(0.02079f);

    pitchEnv.setAttack(0.0010164f);
    pitchEnv.setHold(0.0023f);
    pitchEnv.setAmp(14.8f);

    // The highpass starts from the circuit's resting state, so the first hit has no settling thump.
    noiseHp.setTau(0.0062f);
    noiseHp.setStateX(1.2383f);
    noiseHp.setStateY(0.5041f);

    noiseLp.setTau(0.000285f);
    noiseLp.setStateX(0.0f);
    noiseLp.setStateY(0.0f);

    clickPlayer.setSamplingRateOriginal(clickTableRate);
    clickPlayer.setSampleCount(0);

    declick.setTau(0.1);
}

void kt412::setSamplingRate(double fs)
{
    samplingRate = fs;
    ampEnv.setSamplingRate(fs);
    noiseEnv.setSamplingRate(fs);
    pitchEnv.setSamplingRate(fs);
    noiseHp.setSampleRate(fs);
    noiseLp.setSampleRate(fs);
    clickPlayer.setSamplingRate(fs);
    osc.setSamplingRate(fs);
    declick.setSampleRate(fs);
    // n > h for a whole n exactly when n > floor(h); a rate that is not a number never starts
    // the oscillator (every comparison with it is false).
    const double start = 0.002 * samplingRate - 1.0;
    if (std::isnan(start) || start >= 4294967296.0)
        oscStartLastCount = INT64_MAX;
    else if (start < 0.0)
        oscStartLastCount = -1;
    else
        oscStartLastCount = static_cast<int64_t>(std::floor(start));
}

void kt412::setTune(float semitones)
{
    tune = semitones;
}

// The tone VCA opens only above 0.45, so the amplitude is offset by 0.9757: accents below
// 0.9757 / 15 = 0.065047 leave the tone shut.
void kt412::setAccent(float x)
{
    accent = x;
    applyAccent(x);
}

void kt412::applyAccent(float x)
{
    const float scaled = x * 15.0f;
    ampEnv.setAmp(static_cast<float>(static_cast<double>(scaled) - 0.9757));
    noiseEnv.setAmp(scaled);
}

// Decay pot (up to 1 megohm, half of it in circuit) in series with 47 kohm, on 330 nF.
void kt412::setDecay(float x)
{
    decay = x;
    ampEnv.setDecay(static_cast<float>((0.5 * static_cast<double>(x) * 1000000.0 + 47000.0) * 3.3e-7));
}

// Tune-decay pot (100 kohm) in series with 22 kohm, on 330 nF, scaled by 0.8.
void kt412::setTuneDecay(float x)
{
    tuneDecay = x;
    pitchEnv.setDecay(static_cast<float>(0.8 * (static_cast<double>(x) * 100000.0 + 22000.0) * 3.3e-7));
}

void kt412::setAttack(float x)
{
    attack = x;
    // |c| <= 12.4 and |w| < 1e6 give |k| < 3.1e4 * attack^2; below 1e10 the quadratic of the
    // click VCA stays far inside the float range.
    clickInputBounded = attack * attack < 1.0e10f;
}

void kt412::setHold(float x)
{
    hold = x;
    ampEnv.setHold(static_cast<float>(0.005 + static_cast<double>(x) * 0.1));
}

void kt412::setTuneDepth(float x)
{
    tuneDepth = x;
}

// Click decay: a fixed 4.158 ms plus a square-law pot (630 kohm on 33 nF, times 10).
void kt412::setNoiseDecay(float x)
{
    noiseDecay = x;
    const float squared = x * x;
    noiseEnv.setDecay(static_cast<float>(
        0.004157999999999999 + static_cast<double>(squared) * 3.3e-8 * 630000.0 * 10.0));
}

void kt412::setDistortion(float x)
{
    distortion = x;
    distortionDrive = static_cast<double>(x) + 1.0;
}

void kt412::restart()
{
    clickPlayer.setSampleCount(0);
    ampEnv.reset();
    noiseEnv.reset();
    pitchEnv.reset();
    osc.reset();
    declick.setStartValue(lastSample);  // bridge the cut from the last output

    // Equal temperament around A4 = 440 Hz; note 33 with no offset is 55 Hz.
    if (midiTuneFlag == 0 || midiTuneFlag == 1) {
        const int n = midiTuneFlag == 0 ? 33 : midiNote;
        const float semis = (static_cast<float>(n) + tune) - 69.0f;
        frequency = static_cast<float>(440.0 * std::pow(2.0, static_cast<double>(semis) / 12.0));
    }

    // The velocity sets the amplitudes of this hit only; the stored accent stays, so that switching
    // MIDI accent off brings back the accent last given to setAccent.
    if (midiAccentFlag == 0)
        applyAccent(accent);
    else if (midiAccentFlag == 1)
        applyAccent(static_cast<float>(midiVelocity));
}
