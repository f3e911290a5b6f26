// The bass drum voice: oscillator, click and noise paths, two VCA models and a diode clipper.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "voice/Fader.h"
#include "voice/FloatQuotient.h"
#include "voice/VoiceTables.h"
#include "voice/ahd.h"
#include "voice/hp.h"
#include "voice/lp.h"
#include "voice/noise.h"
#include "voice/resampler.h"
#include "voice/vco.h"

// SSE2 is part of every x86-64 processor; elsewhere the voice takes its scalar path only. AVX2 is
// chosen at run time, where the processor has it (GCC and Clang on x86-64).
#if defined(__SSE2__) || defined(_M_X64)
#define KT412_SSE2 1
#else
#define KT412_SSE2 0
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KT412_AVX2 1
#else
#define KT412_AVX2 0
#endif

// kt412: a model of an analog bass drum circuit, one sample per getSample call. The tone path is a
// triangle oscillator swept down by the pitch envelope, driven into a diode clipper and through a
// transistor VCA opened by the amplitude envelope; the click path is the stored transient mixed
// with filtered white noise through a second VCA opened by the noise envelope. A de-click fader
// bridges the jump when a new hit cuts the previous one. Many constants are component values of
// the modelled circuit (22000, 47000 and 470000 ohms, 3.3e-7 farads, switching thresholds 0.45 and
// 1.86); in the formulas they are plain factors.
//
// The voice renders in blocks, stage by stage (noise, envelopes, oscillator, then clipper, VCAs and
// mix) over the block, so that the processor works on several samples at once instead of waiting
// on one long chain per sample; the output is the same, bit for bit, as if each sample were
// computed on its own. process(out, n) renders n samples straight into the caller's buffer.
// getSample hands out samples rendered a short block ahead; every operation that changes what the
// next sample would be first brings the building blocks back to the sample last handed out (from
// a copy of their state at the block's start, replaying the samples consumed). That block shrinks
// to the spacing of such calls and grows back when they stop. The two entries mix freely.
//
// A voice at rest costs next to nothing. Long after a hit (or before the first) every envelope
// sits at exactly 0 and the de-click bridge at a value that no longer changes, the two VCAs are
// shut, and every sample is the same constant. The block render notices that from the states
// themselves and writes the constant without computing anything; the oscillator and the noise
// filters, which go on running in the model but cannot be heard until the next hit, are left
// where they stood and brought forward, exactly, when they can be heard again (catchUpNoise,
// catchUpOscillator). The output is the same, bit for bit, as computing every sample.
//
// A hit that cut a negative sample leaves the bridge at -0 in the end, and -0 passes the sign of
// the shut VCAs' zeros on to the output: -0 where both the tone VCA's and the click VCA's transfer
// are negative (the oscillator in the upper part of its swing and the noise above a level set by
// the attack), +0 elsewhere. Such a voice rests quietly: only the noise filters and the
// oscillator's phase are computed, and the rare samples whose noise could turn the click VCA are
// mixed in full. Where even the loudest noise the filters can give cannot turn it (a weak
// attack), every sample is +0 and the voice rests as above, but with its oscillator's phase
// running, so that a later setting that lets the noise turn the click finds it in place.
//
// Lifecycle: construct (not on the audio thread: the transient player allocates its table), then
// setSamplingRate before the first sample; setters at any time between samples; restart per hit;
// getSample once per output frame, or process for a run of frames. There is no note-off: the
// envelopes decay for ever. Render with flush-to-zero set (util/ScopedFlushDenormals.h): after a
// hit has died away the envelopes otherwise end on subnormal floats, which cost ten times as much.
// Threads: no locks; the owner serialises calls (setters and getSample must not run at once).
class kt412 {
public:
    kt412();
    kt412(const kt412&) = delete;
    kt412& operator=(const kt412&) = delete;

    // Fixed settings of the building blocks; called by the constructor.
    void init();

    // Sample rate in Hz, passed to every building block. A voice that has not rendered a sample
    // yet is settled at the rate, so that its first hit sounds like every later one (see settle).
    void setSamplingRate(double fs);

    // Sound setters. Each stores its argument; where noted it sets an envelope at once.
    void setTune(float semitones);   // pitch offset, applied at the next restart
    void setAccent(float accent);    // 0..1: tone amplitude 15x - 0.9757, click amplitude 15x
    void setDecay(float x);          // 0..2: amplitude decay (0.5x * 1e6 + 47000) * 3.3e-7 s
    void setTuneDecay(float x);      // 0..2: pitch decay 0.8 * (x * 1e5 + 22000) * 3.3e-7 s
    void setAttack(float attack);    // 0..1: the click path is scaled by attack^2
    void setHold(float x);           // 0..2: amplitude hold 0.005 + 0.1x s
    void setTuneDepth(float depth);  // 0..2: pitch sweep p * 14 * depth Hz
    void setNoiseDecay(float x);     // 0..1: click decay 0.004158 + x^2 * 0.2079 s
    void setDistortion(float drive); // 0..1: clipper drive factor 1 + drive

    // MIDI setters; they only store, the next restart applies them.
    void setMidiNote(int note) { midiNote = note; }
    void setMidiVelocity(double velocity) { midiVelocity = velocity; }  // 0..1
    void setMidiTuneFlag(int flag) { midiTuneFlag = flag; }      // 1: pitch follows the note
    void setMidiAccentFlag(int flag) { midiAccentFlag = flag; }  // 1: accent follows velocity

    // Starts a new hit; the envelopes rise from their present level.
    void restart();

    // Next output sample.
    float getSample();
    // The next n output samples, exactly what n successive getSample calls would return.
    void process(float* out, int n);

    // Model stages of getSample.
    float vca1besser(float x, float env) const;      // tone VCA
    float vca2besser(float env, float x) const;      // click VCA (envelope first)
    float diodeClipper2(float x, float dist) const;  // clipper curve lookup

    // Read-only views of the state, for the instrument's display and for checks.
    float getFrequency() const { return frequency; }
    double getSamplingRate() const { return samplingRate; }
    double getLastSample() const
    {
        if (aheadCount == 0)
            return lastSample;
        return aheadPos > 0 ? ahead[aheadPos - 1] : saved.lastSample;
    }
    uint32_t getSampleCount() const;
    // True when the next sample starts a stretch at rest: every sample the same constant, written
    // without computing, until a hit or a setting changes that.
    bool isResting() const { return aheadPos >= aheadCount && atRest(); }
    // True when the next sample starts a stretch at rest with the bridge at -0 in which only the
    // noise and the oscillator's phase are computed (see the class comment).
    bool isRestingQuietly() const { return aheadPos >= aheadCount && restHere() == Rest::quiet; }
    // The envelopes' settings. Their running state may stand up to one block ahead of the output.
    const ahd& getAmpEnv() const { return ampEnv; }
    const ahd& getNoiseEnv() const { return noiseEnv; }
    const ahd& getPitchEnv() const { return pitchEnv; }

    // The AVX2 forms of the block stages are used where the processor has them; false keeps this
    // voice on its SSE2 and scalar forms (the same samples, bit for bit), so that those can be
    // checked on any machine.
    void allowAvx2(bool allow) { avx2 = allow && cpuHasAvx2(); }
    bool usesAvx2() const { return avx2; }

    // Moves the running sample count, so that long-running behaviour can be checked without
    // rendering for days.
    void setSampleCount(uint32_t count)
    {
        catchUp();
        catchUpOscillator();  // its lag began at the old count
        sampleCount = count;
    }

private:
    void applyAccent(float accent);  // envelope amplitudes for an accent, without storing it
    // Puts a voice that has not rendered yet into the state an idle voice settles to.
    void settle();
    // How the next samples rest, if they do: constant, every further sample restOutput() until a
    // hit or a setting changes it; quiet, shut at rest with the bridge at -0 and the oscillator
    // running (past its start-up mute), where some noise may turn the click VCA.
    enum class Rest { none, constant, quiet };
    Rest restHere() const;
    bool atRest() const { return restHere() == Rest::constant; }
    // Envelopes at rest with both VCAs shut, the transient ended and the click input bounded:
    // what every rest has in common, whatever the de-click bridge does.
    bool shutAtRest() const;
    // Filtered noise within [clickTurnDown, clickTurnUp) leaves the click VCA's transfer at or
    // above 0 at rest, so a shut click VCA gives +0 (see updateClickTurn).
    void updateClickTurn() const;
    // No noise the filters can give from their present states turns the click VCA at rest.
    bool clickNeverTurns() const;
    // A quiet rest: the noise, the oscillator's phase and the few samples that may be -0.
    void renderQuiet(float* out, int n);
    // The oscillator's phase over n samples at rest (running past its mute), as render moves it.
    void advanceOscillatorAtRest(int n);
    // The scaled noise of the next n samples, advancing the generator.
    void noiseInput(float* w, int n);
    float restOutput() const { return static_cast<float>(0.0 + declick.getValue()); }
    // Brings the noise source and its filters, and the oscillator's phase, forward over the
    // samples rendered at rest (see the class comment).
    void catchUpNoise()
    {
        if (noiseBehind > 0)
            bringNoiseForward();
    }
    void catchUpOscillator()
    {
        if (oscBehind > 0)
            bringOscillatorForward();
    }
    void catchUpAll()
    {
        catchUpNoise();
        catchUpOscillator();
    }
    void bringNoiseForward();
    void bringOscillatorForward();
    // The noise filters' states after `span` samples from any states within +-noiseBound, when
    // those all end in the same states (see bringNoiseForward); false when they do not.
    bool noiseFromAnyState(uint64_t skip, uint64_t span);
    // The clipper for a drive factor dist + 1 already formed.
    static float clipDriven(float x, double drive);
    // The click VCA's quadratic transfer of the click-path input.
    static float clickTransfer(float x) { return ((-9275.0f * x) * x + (-523.7f * x)) + 1.161f; }
    // The click-path input for a transient sample c and filtered noise w.
    float clickInput(float c, float w) const
    {
        return floatQuotient(static_cast<double>(attack * attack)
            * (static_cast<double>(c) * 0.6496 + static_cast<double>(w) * 3.0409), 100.0, 1.0 / 100.0);
    }
    // The transistor stage behind both VCAs.
    static float transistorVca(float q, float env, double threshold, double c, double reciprocal);

    // A transient-player position past the end of the table at any rate up to 1e8 Hz.
    static constexpr int clickRestCount = 1 << 20;
    // Longest settling run: 0.2 s up to 327 kHz.
    static constexpr uint32_t maxSettle = 1u << 16;
    // Longest block render works on; process splits longer runs.
    static constexpr int maxBlock = 64;
    // The stage outputs of one block, which the later stages read. The block lives on the stack,
    // where only 16-byte alignment is promised: at an odd multiple of 16 (where the benchmarks' and
    // the plug-in's call chains put it), half the eight-wide loads and stores of the AVX2 stages
    // straddle two cache lines. Aligned to a line, no access straddles, whoever calls.
    struct alignas(64) Lanes {
        float noiseIn[maxBlock];     // the noise, scaled and then filtered
        float hpPart[maxBlock];      // the highpass's output less its feedback
        float clickIn[maxBlock];     // the transient, times 11.25
        float noiseLevel[maxBlock];  // click-path envelope
        float pitch[maxBlock];       // pitch envelope
        float amp[maxBlock];         // amplitude envelope
        float freq[maxBlock];        // oscillator frequency, its step and its corner window
        float step[maxBlock];
        float window[maxBlock];
        float phase[maxBlock];       // oscillator phase after each step
        float osc45[maxBlock];       // oscillator output times 4.5
        double fade[maxBlock];       // de-click fader
    };

    // Renders the next block into ahead, keeping a copy of the state at its start.
    void renderAhead();
    // Advances the building blocks by n samples (n <= maxBlock), writing the outputs.
    void render(float* out, int n);
    float renderOne();
    void renderEnvelopes(Lanes& l, int n);
    // Side-by-side parts of renderEnvelopes: the highpass's parts from its inputs, and a lane of
    // envelope levels times the envelope's amplitude.
    static void highpassParts(const hp& filter, const float* x, float* part, int n);
    static void scaleLane(float* lane, float amp, int n);
    void oscSteps(Lanes& l, const vco& running, double depth, double base, int n) const;
    void oscShapes(Lanes& l, const vco& running, int n) const;
    void mix(const Lanes& l, float* out, int n) const;
    // Brings the building blocks back to the last sample handed out and drops the rest of the
    // block. Called before anything that changes what the next sample would be.
    void catchUp();
    // Clipper, VCAs, mix and de-click of one sample, from the stage outputs of render.
    float mixSample(float o45, float a, float e, float w, float c, double fade) const;
    // True when a zero tone's sign can reach the output, so the click mix must be formed.
    static bool signOfZeroMatters(float tone, double fade);
#if KT412_SSE2
    // The same for four samples at once (kt412Sse2.cpp); false (out untouched) when any of them
    // leaves the common case, which mixSample then handles.
    bool mixFour(const float* o45, const float* a, const float* e, const float* w, const float* c,
                 const double* fade, float* out) const;
    // Frequencies and oscillator steps of four pitch samples at once; false (outputs untouched)
    // when any of them needs the oscillator's own slow path.
    static bool oscSteps4(const vco& o, const float* pitch, double depth, double base, float* freq,
                          float* step, float* window);
    // The oscillator's output (times 4.5) for four phases as the plain triangle; returns the
    // lanes (bit k for lane k) that need the corner correction or another step, which shapeAt
    // must then put right.
    static int oscShape4(const float* phase, const float* step, const float* window, float* out);
#endif
    // Whole groups of four from sample i on (kt412Sse2.cpp); each returns where it stopped.
    static int oscStepsSse2(Lanes& l, const vco& running, double depth, double base, int i, int n);
    static int oscShapesSse2(Lanes& l, const vco& running, int i, int n);
    int mixSse2(const Lanes& l, float* out, int i, int n) const;
    // Eight samples at a time (kt412Avx2.cpp), for processors with AVX2. Each handles whole
    // groups of eight from the start, a group that leaves the common case by the scalar path, and
    // returns how many samples it did.
    static bool cpuHasAvx2();
    static int noiseAvx2(uint32_t& seed, float* w, int n);
    static int noiseSse2(uint32_t& seed, float* w, int n);
    static int oscStepsAvx2(const vco& o, const float* pitch, double depth, double base, float* freq,
                            float* step, float* window, int n);
    static int oscShapeAvx2(const vco& o, const float* phase, const float* step, const float* window,
                            float* out, int n);
    int mixAvx2(const Lanes& l, float* out, int n) const;

    double samplingRate = 0.0;
    float attack = 0.0f;      // click level; the click path is scaled by its square
    float accent = 0.0f;
    float tuneDecay = 0.0f;
    float decay = 0.0f;
    float hold = 0.0f;
    float tuneDepth = 0.0f;   // pitch-sweep depth factor
    float tune = 0.0f;        // pitch offset in semitones
    float frequency = 0.0f;   // base oscillator frequency in Hz, set by restart
    float distortion = 0.0f;  // clipper drive, 0 = clean
    float noiseDecay = 0.0f;
    uint32_t sampleCount = 0; // getSample calls since construction; saturates, never resets
    ahd ampEnv;               // amplitude envelope of the tone path
    ahd noiseEnv;             // envelope of the click path
    ahd pitchEnv;             // pitch envelope
    hp noiseHp;
    lp noiseLp;
    noise noiseSource;
    resampler clickPlayer;    // player of the stored transient
    vco osc;
    Fader declick;
    int midiNote = 0;
    double midiVelocity = 0.0;
    int midiTuneFlag = 0;     // 1: pitch follows midiNote; 0: fixed base note 33
    int midiAccentFlag = 0;   // 1: accent follows midiVelocity; 0: accent from setAccent
    double lastSample = 0.0;

    // The oscillator stays silent for the first 2 ms after construction (the circuit's supply
    // settling): it runs once the count exceeds 0.002 * samplingRate - 1. For a whole count that
    // is the count exceeding this whole number, kept with the rate so the test needs no
    // conversion per sample.
    int64_t oscStartLastCount = -1;
    // No sample rendered yet: setSamplingRate settles the voice at the new rate.
    bool fresh = true;
    // Samples rendered at rest for which the noise source and filters, and the oscillator, have
    // not been advanced yet, and the running count when the oscillator's lag began.
    uint64_t noiseBehind = 0;
    uint64_t oscBehind = 0;
    uint32_t oscBehindFrom = 0;
    // distortion + 1 in double, the clipper's drive factor, formed when the distortion is set.
    double distortionDrive = 1.0;
    // attack^2 is small enough that the click-path input cannot overflow the click VCA's transfer
    // (false for absurd or not-a-number attacks, which then take the full path every sample).
    bool clickInputBounded = true;

    // The noise levels at which the click VCA turns at rest, for the attack in clickTurnAttack;
    // formed when first needed after the attack changes (mutable: a cache of the attack's).
    mutable float clickTurnAttack = std::numeric_limits<float>::quiet_NaN();
    mutable float clickTurnDown = 0.0f;
    mutable float clickTurnUp = 0.0f;

    bool avx2 = cpuHasAvx2();

    // Samples rendered ahead: ahead[aheadPos .. aheadCount) are still to be handed out.
    static constexpr int maxAhead = 32;
    float ahead[maxAhead] = {};
    int aheadPos = 0;
    int aheadCount = 0;
    int aheadSize = maxAhead;  // length of the next block
    bool blockInterrupted = false;  // catchUp was called since the block was rendered
    int handedSinceCall = 0;        // samples of whole blocks handed out since the last catchUp
    // The running state at the start of the block in ahead.
    struct Saved {
        ahd ampEnv, noiseEnv, pitchEnv;
        hp noiseHp;
        lp noiseLp;
        noise noiseSource;
        vco osc;
        Fader declick;
        int clickCount = 0;
        bool clickAtEnd = false;
        uint64_t noiseBehind = 0;
        uint64_t oscBehind = 0;
        uint32_t oscBehindFrom = 0;
        uint32_t sampleCount = 0;
        double lastSample = 0.0;
    };
    Saved saved;
};

// The two VCAs are one transistor stage: shut while the envelope is below its threshold, open
// with a gain (env - threshold) / 470k applied to the quadratic transfer q and divided by the
// stage's constant c.
inline float kt412::transistorVca(float q, float env, double threshold, double c, double reciprocal)
{
    // Shut: g = 0 gives +-0 (or NaN), which dividing would not change.
    if (static_cast<double>(env) < threshold)
        return 0.0f * q;
    // Open: env is at least the float next above the threshold, so g is never 0.
    const float g = floatQuotient(static_cast<double>(env) - threshold, 470000.0, 1.0 / 470000.0);
    return floatQuotient(static_cast<double>(g * q), c, reciprocal);
}

// Tone VCA: opens once the envelope exceeds 0.45; the constant term of q lets an open VCA pass a
// pulse that follows the envelope.
inline float kt412::vca1besser(float x, float env) const
{
    const float q = ((-2.251f * x) * x + (-9.76f * x)) + 0.4633f;
    return transistorVca(q, env, 0.45, 0.000027, 1.0 / 0.000027);
}

// Click VCA: the same stage with a threshold of 1.86 and a steeper transfer.
inline float kt412::vca2besser(float env, float x) const
{
    return transistorVca(clickTransfer(x), env, 1.86, 0.000024, 1.0 / 0.000024);
}

// Diode clipper: drive, then look up the measured curve (-9..+9 over 1000 steps) with linear
// interpolation. Inputs beyond the curve are held at its ends, so no drive can read outside it.
inline float kt412::diodeClipper2(float x, float dist) const
{
    return clipDriven(x, static_cast<double>(dist) + 1.0);
}

inline float kt412::clipDriven(float x, double drive)
{
    const float v = static_cast<float>(static_cast<double>(x) * drive);
    float pos = floatQuotient((static_cast<double>(v) + 9.0) * 1000.0, 18.0, 1.0 / 18.0);
    if (!(pos >= 0.0f))
        pos = 0.0f;
    else if (pos > 1000.0f)
        pos = 1000.0f;
    const int i = static_cast<int>(pos);
    const int j = i + 1 > kennlinieSize - 1 ? kennlinieSize - 1 : i + 1;
    const float frac = pos - static_cast<float>(i);
    return kennlinie[i] + frac * (kennlinie[j] - kennlinie[i]);
}

// Clipper, VCAs, mix and de-click of one sample. A shut click VCA gives 0 * q, a zero whose sign
// follows q, and 0.3 * +-0 + tone is tone itself unless tone is -0 (the sum is then +0 when q is
// positive). q is finite as long as the click-path input is, which the bounds on attack^2 and on
// the filtered noise guarantee (the transient is bounded by its table). In that common case the
// click mix is left out. Even for a tone of -0 the sign of the mix matters only when the fader is
// at -0 too: m / 4 + fade is fade itself for any other fade, and +0 for a fade of +0. So a voice
// whose tone VCA has shut long after a hit does not compute the click path every sample.
inline bool kt412::signOfZeroMatters(float tone, double fade)
{
    return tone == 0.0f && std::signbit(tone) && fade == 0.0 && std::signbit(fade);
}

inline float kt412::mixSample(float o45, float a, float e, float w, float c, double fade) const
{
    const float d = clipDriven(o45, distortionDrive);
    const float tone = vca1besser(d, a);
    float m;
    // 1.86f is the float next above 1.86, so e < 1.86f is the threshold test in double.
    if (e < 1.86f && !signOfZeroMatters(tone, fade) && clickInputBounded && std::fabs(w) < 1.0e6f) {
        m = tone;
    } else {
        // Click-path input: transient and noise in the circuit's proportions.
        const float click = vca2besser(e, clickInput(c, w));
        m = static_cast<float>(0.3 * static_cast<double>(click) + static_cast<double>(tone));
    }
    m = m / 4.0f;
    return static_cast<float>(static_cast<double>(m) + fade);
}

inline float kt412::getSample()
{
    // >= rather than ==: should a caller ever break the one-thread rule and
    // leave the read position past the block, the voice renders afresh
    // instead of reading beyond its buffer.
    if (aheadPos >= aheadCount)
        renderAhead();
    return ahead[aheadPos++];
}
