// Straightforward transcription of the drum voice's formulas, kept as the yardstick for the
// optimised voice: every exponential and every coefficient is recomputed each sample.
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "voice/VoiceTables.h"

namespace reference {

// The library's exponential, called at run time whatever the arguments. With constant settings the
// compiler could otherwise fold the call with its own correctly rounded arithmetic, which may
// differ from the library's result in the last place.
inline double libraryExp(double x)
{
    volatile double argument = x;
    return std::exp(argument);
}

struct Vco {
    float phase = 0.0f;
    double samplingRate = 0.0;

    float wrap(float x) const
    {
        if (static_cast<double>(x) >= 1.0)
            return x - 2.0f;
        if (x < -1.0f)
            return x + 2.0f;
        return x;
    }
    float ftri(float x) const
    {
        const float u = -std::fabs(x);
        const double d = u;
        double s = 0.99986f * u;
        s += 1.4878300428390503 * std::pow(d, 2.0);
        s -= 0.07976666589577992 * std::pow(d, 3.0);
        s -= 1.95882248878479 * std::pow(d, 4.0);
        s -= 0.6501880168914795 * std::pow(d, 5.0);
        s += 1.9188049634297688 * std::pow(d, 6.0);
        s += 1.9291086196899414 * std::pow(d, 7.0);
        s += 0.5450287461280823 * std::pow(d, 8.0);
        s += 0.20617266197999307;
        return static_cast<float>(s);
    }
    float getSample(float freq, float phaseOffset)
    {
        const float dt = static_cast<float>(2.0 * freq / samplingRate);
        const float w = static_cast<float>(freq * 4.0 / samplingRate);
        phase = wrap(dt + phase);
        const float p = wrap(phase + phaseOffset);
        const float q = wrap(static_cast<float>(p + 1.0));
        const float t = static_cast<float>(2.0 * std::fabs(p) - 1.0);
        const float r1 = w > std::fabs(static_cast<double>(p)) ? ftri(p / w) : 0.0f;
        const float r2 = w > std::fabs(static_cast<double>(q)) ? ftri(q / w) : 0.0f;
        return ((-4.0f * r2) * dt) + (t + (4.0f * r1) * dt);
    }
};

struct Noise {
    uint32_t seed = 0;
    float getSample()
    {
        seed = seed * 69069u + 1u;
        const float s = static_cast<float>(seed);
        return static_cast<float>(s / 2147483648.0 - 1.0);
    }
};

struct Ahd {
    float attackTime = 0.0f;
    double holdTime = 0.0, decayTime = 0.0, amp = 0.0, samplingRate = 0.0;
    double x1 = 1.0, y1 = 0.0;
    int sampleCount = 66666;
    float target = 1.0f, coefIn = 0.0f, coefFb = 0.0f;

    void reset()
    {
        sampleCount = 0;
        target = 1.0f;
    }
    float getSample()
    {
        if (sampleCount < INT_MAX)
            ++sampleCount;
        if (sampleCount > holdTime * samplingRate) {
            target = 0.0f;
            coefIn = static_cast<float>(1.0 - libraryExp(-1.0 / (samplingRate * decayTime)));
            coefFb = static_cast<float>(libraryExp(-1.0 / (samplingRate * decayTime)));
        } else {
            coefIn = static_cast<float>(1.0 - libraryExp(-1.0 / (samplingRate * attackTime)));
            coefFb = static_cast<float>(libraryExp(-1.0 / (samplingRate * attackTime)));
            target = 1.0f;
        }
        const float y = static_cast<float>(coefIn * x1 + coefFb * y1);
        y1 = y;
        x1 = target;
        return static_cast<float>(amp * y);
    }
};

struct Lp {
    float stateY = 0.0f, stateX = 0.0f;
    double sampleRate = 0.0;
    float tau = 0.0f;
    float getSample(float x)
    {
        const float T = static_cast<float>(1.0 / sampleRate);
        const float a = (T - 2 * tau) / (T + 2 * tau);
        const float b = T / (T + 2 * tau);
        const float y = (b * x + b * stateX) - a * stateY;
        stateX = x;
        stateY = y;
        return y;
    }
};

struct Hp {
    float stateY = 0.0f, stateX = 0.0f;
    double sampleRate = 0.0;
    float tau = 0.0f;
    float getSample(float x)
    {
        const float T = static_cast<float>(1.0 / sampleRate);
        const float a = (T - 2 * tau) / (T + 2 * tau);
        const float b0 = 2 * tau / (T + 2 * tau);
        const float b1 = -(2 * tau) / (T + 2 * tau);
        const float y = (b0 * x + b1 * stateX) - a * stateY;
        stateX = x;
        stateY = y;
        return y;
    }
};

struct Fader {
    double value = 0.0, tau = 0.0, sampleRate = 0.0;
    double getFaderValue()
    {
        const double k = libraryExp(-1.0 / (tau * sampleRate));
        value = k * value;
        return value;
    }
};

struct Resampler {
    double recordedRate = 0.0, samplingRate = 0.0;
    int sampleCount = 0;
    float getSample()
    {
        const float pos = static_cast<float>(sampleCount * recordedRate / samplingRate);
        const int i = static_cast<int>(pos);
        const int j = i + 1;
        const float frac = pos - i;
        if (static_cast<unsigned>(j) > 999u)
            return 0.0f;
        const float r = clickTable[i] + frac * (clickTable[j] - clickTable[i]);
        ++sampleCount;
        return r;
    }
};

// The whole voice, field for field and step for step.
struct Voice {
    double samplingRate = 0.0;
    float attack = 0, accent = 0, tuneDecay = 0, decay = 0, hold = 0, tuneDepth = 0, tune = 0;
    float frequency = 0, distortion = 0, noiseDecay = 0;
    uint32_t sampleCount = 0;
    Ahd ampEnv, noiseEnv, pitchEnv;
    Hp noiseHp;
    Lp noiseLp;
    Noise noiseSource;
    Resampler clickPlayer;
    Vco osc;
    Fader declick;
    int midiNote = 0;
    double midiVelocity = 0.0;
    int midiTuneFlag = 0, midiAccentFlag = 0;
    double lastSample = 0.0;
    bool fresh = true;  // nothing rendered yet

    Voice()
    {
        ampEnv.attackTime = 0.000594f;
        noiseEnv.attackTime = 0.000726f;
        noiseEnv.holdTime = 0.002f;
        noiseEnv.decayTime = 0.02079f;
        pitchEnv.attackTime = 0.0010164f;
        pitchEnv.holdTime = 0.0023f;
        pitchEnv.amp = 14.8f;
        noiseHp.tau = 0.0062f;
        noiseHp.stateX = 1.2383f;
        noiseHp.stateY = 0.5041f;
        noiseLp.tau = 0.000285f;
        clickPlayer.recordedRate = 96000.0;
        declick.tau = 0.1;
    }

    void setSamplingRate(double fs)
    {
        samplingRate = fs;
        ampEnv.samplingRate = noiseEnv.samplingRate = pitchEnv.samplingRate = fs;
        noiseHp.sampleRate = noiseLp.sampleRate = fs;
        clickPlayer.samplingRate = fs;
        osc.samplingRate = fs;
        declick.sampleRate = fs;
        if (fresh)
            settle();
    }
    // A voice that has not rendered yet starts from rest: envelopes at 0, the transient past its
    // end, the noise filters run for 0.2 s (at most 65536 samples) over the noise that leads up to
    // the generator's first state, and the count past the oscillator's start-up mute.
    void settle()
    {
        for (Ahd* e : {&ampEnv, &noiseEnv, &pitchEnv}) {
            e->x1 = 0.0;
            e->y1 = 0.0;
            e->target = 0.0f;
        }
        clickPlayer.sampleCount = 1 << 20;
        noiseHp.stateX = 1.2383f;
        noiseHp.stateY = 0.5041f;
        noiseLp.stateX = 0.0f;
        noiseLp.stateY = 0.0f;
        const double length = std::ceil(0.2 * samplingRate);
        const uint32_t n = length > 0.0 ? static_cast<uint32_t>(std::min(length, 65536.0)) : 0u;
        // 69069 * inverse = 1 modulo 2^32 (Newton's iteration doubles the correct low bits).
        uint32_t inverse = 69069u;
        for (int i = 0; i < 5; ++i)
            inverse *= 2u - 69069u * inverse;
        Noise history;
        for (uint32_t i = 0; i < n; ++i)
            history.seed = (history.seed - 1u) * inverse;
        for (uint32_t i = 0; i < n; ++i) {
            float w = history.getSample();
            w = static_cast<float>(w * 7.5 + 7.5);
            w = static_cast<float>(w * 0.1);
            noiseLp.getSample(noiseHp.getSample(w));
        }
        sampleCount = n;
    }
    void setTune(float x) { tune = x; }
    void setAccent(float x)
    {
        accent = x;
        applyAccent(x);
    }
    void applyAccent(float x)
    {
        ampEnv.amp = static_cast<float>(x * 15 - 0.9757);
        noiseEnv.amp = x * 15;
    }
    void setDecay(float x)
    {
        decay = x;
        ampEnv.decayTime = static_cast<float>((0.5 * x * 1000000 + 47000) * 3.3e-7);
    }
    void setTuneDecay(float x)
    {
        tuneDecay = x;
        pitchEnv.decayTime = static_cast<float>(0.8 * (x * 100000.0 + 22000) * 3.3e-7);
    }
    void setHold(float x)
    {
        hold = x;
        ampEnv.holdTime = static_cast<float>(0.005 + x * 0.1);
    }
    void setNoiseDecay(float x)
    {
        noiseDecay = x;
        noiseEnv.decayTime = static_cast<float>(0.004157999999999999 + (x * x) * 3.3e-8 * 630000 * 10);
    }
    void setAttack(float x) { attack = x; }
    void setTuneDepth(float x) { tuneDepth = x; }
    void setDistortion(float x) { distortion = x; }
    void setMidiNote(int n) { midiNote = n; }
    void setMidiVelocity(double v) { midiVelocity = v; }
    void setMidiTuneFlag(int f) { midiTuneFlag = f; }
    void setMidiAccentFlag(int f) { midiAccentFlag = f; }

    void restart()
    {
        clickPlayer.sampleCount = 0;
        ampEnv.reset();
        noiseEnv.reset();
        pitchEnv.reset();
        osc.phase = 0.0f;
        declick.value = lastSample;
        int n = 0;
        bool tuned = true;
        if (midiTuneFlag == 0)
            n = 33;
        else if (midiTuneFlag == 1)
            n = midiNote;
        else
            tuned = false;
        if (tuned)
            frequency = static_cast<float>(440.0 * std::pow(2.0, ((n + tune) - 69.0f) / 12.0));
        if (midiAccentFlag == 0)
            applyAccent(accent);
        else if (midiAccentFlag == 1)
            applyAccent(static_cast<float>(midiVelocity));
    }

    float vca1besser(float x, float env) const
    {
        const float g = env < 0.45 ? 0.0f : static_cast<float>((env - 0.45) / 470000);
        const float q = ((-2.251f * x) * x + (-9.76f * x)) + 0.4633f;
        return static_cast<float>((g * q) / 0.000027);
    }
    float vca2besser(float env, float x) const
    {
        const float g = env < 1.86 ? 0.0f : static_cast<float>((env - 1.86) / 470000);
        const float q = ((-9275.0f * x) * x + (-523.7f * x)) + 1.161f;
        return static_cast<float>((g * q) / 0.000024);
    }
    float diodeClipper2(float x, float dist) const
    {
        const float v = static_cast<float>(x * (dist + 1.0));
        const float pos = static_cast<float>((v + 9.0) * 1000 / 18);
        const int i = static_cast<int>(pos);
        int j = i + 1;
        if (j > 1000)
            j = 1000;
        const float frac = pos - i;
        return kennlinie[i] + frac * (kennlinie[j] - kennlinie[i]);
    }

    float getSample()
    {
        fresh = false;
        float w = noiseSource.getSample();
        w = static_cast<float>(w * 7.5 + 7.5);
        w = static_cast<float>(w * 0.1);
        w = noiseHp.getSample(w);
        w = noiseLp.getSample(w);
        float c = clickPlayer.getSample();
        c = static_cast<float>(c * 7.5 * 1.5);
        const float k = static_cast<float>((attack * attack) * (c * 0.6496 + w * 3.0409) / 100);
        const float e = noiseEnv.getSample();
        const float click = vca2besser(e, k);
        const float p = pitchEnv.getSample();
        const float f = static_cast<float>(p * 14.0 * tuneDepth + frequency);
        float o = 0.0f;
        if (static_cast<double>(sampleCount) > 0.002 * samplingRate - 1)
            o = osc.getSample(f, 0.5f);
        o = static_cast<float>(o * 4.5);
        const float d = diodeClipper2(o, distortion);
        const float a = ampEnv.getSample();
        const float tone = vca1besser(d, a);
        float m = static_cast<float>(0.3 * click + tone);
        m = m / 4;
        const float out = static_cast<float>(m + declick.getFaderValue());
        lastSample = out;
        if (sampleCount != UINT32_MAX)
            ++sampleCount;
        return out;
    }
};

}  // namespace reference
