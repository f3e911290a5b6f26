// The KT-412 instrument: rendering, note triggering, parameters and MIDI learn.
#include "instrument/QiKt412.h"

#include <climits>
#include <thread>

#include "framework/IEditor.h"
#include "instrument/PresetFile.h"
#include "instrument/PresetFunctionsMenu.h"


std::atomic<int> paramCC[kNumParams] = {};

namespace {

constexpr int FourCC(const char (&code)[5]) {
  return (static_cast<int>(static_cast<unsigned char>(code[0])) << 24) |
         (static_cast<int>(static_cast<unsigned char>(code[1])) << 16) |
         (static_cast<int>(static_cast<unsigned char>(code[2])) << 8) |
         static_cast<int>(static_cast<unsigned char>(code[3]));
}

constexpr int kVendorVersion = 0x10000;  // 1.0.0
// Room for 1024 queued messages until Reset sizes the queue from the block size.
constexpr int kInitialQueueSize = 1024;
// Parameters 0..10 (the sound controls and the two MIDI switches) are the
// ones a controller can drive; the learn, trigger, LED and preset buttons are not.
constexpr int kLastRoutableParam = kMidiAccentFlag;

// The preset folder of an instrument made without naming one. A binding may
// say that its programs read no user folder (kUsesUserPresetFolder = false);
// a binding that says nothing is a host's, and its instrument uses the
// user's folder.
template <class Binding>
std::string BindingPresetBasePath() {
  if constexpr (requires { Binding::kUsesUserPresetFolder; }) {
    if (!Binding::kUsesUserPresetFolder) return std::string();
  }
  return DefaultPresetBasePath();
}

}  // namespace

class QiKt412::VoiceAccess {
public:
  explicit VoiceAccess(std::atomic_flag& busy) : mBusy(busy) {
    // The other side holds the voice for one setter or one block's frame
    // loop, so a short spin almost always suffices; after that the thread
    // gives way rather than burn the core the holder may need.
    for (int spins = 0; mBusy.test_and_set(std::memory_order_acquire); ++spins)
      if (spins >= 64) std::this_thread::yield();
  }
  ~VoiceAccess() { mBusy.clear(std::memory_order_release); }
  VoiceAccess(const VoiceAccess&) = delete;
  VoiceAccess& operator=(const VoiceAccess&) = delete;

private:
  std::atomic_flag& mBusy;
};

QiKt412::QiKt412() : QiKt412(BindingPresetBasePath<IPluginBinding>()) {}

QiKt412::QiKt412(const std::string& presetBasePath)
    : IPluginBinding(kNumParams, "0-1 0-2", 0, "Quorvane KT-412", "", "Quorvane Instruments",
                 kVendorVersion, FourCC("Qip2"), FourCC("-QI-"), 0, true, false, true),
      mMidiQueue(kInitialQueueSize),
      mPresets(presetBasePath) {
  InitParameters();
  // The voice computes nothing sensible at rate 0 (every sample is NaN), and
  // a host may render at the base's 44100 Hz without ever setting a rate, so
  // the voice starts at that rate; Reset re-tunes it when the rate is set.
  mVoice.setSamplingRate(GetSampleRate());
  BuildEditor();
  // The LED and learn state start cleared, with no learn target.
  mLedState = 0;
  mLedCounter = 0;
  mLearn = 0;
  mClear = 0;
  mLearnParam = -1;
  LoadInitialPreset();
}

void QiKt412::InitParameters() {
  // The order of these calls is the order the parameters were first declared
  // in; the host-visible order is the index order.
  GetParam(kPitch)->InitDouble("Pitch", 0.0, -12.0, 12.0, 1.0);
  GetParam(kAccent)->InitDouble("Accent", 0.5, 0.0, 1.0, 0.0001);
  GetParam(kDecay)->InitDouble("Decay", 0.5, 0.0, 1.0, 0.0001);
  GetParam(kTuneDecay)->InitDouble("TuneDecay", 0.5, 0.0, 1.0, 0.0001);
  GetParam(kAttack)->InitDouble("Attack", 0.5, 0.0, 1.0, 0.0001);
  GetParam(kHold)->InitDouble("Hold", 0.5, 0.0, 1.0, 0.0001);
  GetParam(kTuneDepth)->InitDouble("TuneDepth", 0.5, 0.0, 1.0, 0.0001);
  GetParam(kNoiseDecay)->InitDouble("NoiseDecay", 0.5, 0.0, 1.0, 0.0001);
  GetParam(kDistort)->InitDouble("Distort", 0.5, 0.0, 1.0, 0.0001);
  GetParam(kTrigger)->InitBool("Trigger", false);
  GetParam(kMidiTuneFlag)->InitBool("MidiTuneFlag", false, "images");
  GetParam(kMidiAccentFlag)->InitBool("MidiAccentFlag", false, "images");
  GetParam(kLed)->InitEnum("Led", 0, 2);
  GetParam(kLearn)->InitBool("Learn", false, "images");
  GetParam(kClear)->InitBool("clear", false, "images");
  GetParam(kLeft)->InitBool("Left", false);
  GetParam(kRight)->InitBool("Right", false);
  // Stepping loads a preset, which changes other parameters.
  GetParam(kLeft)->SetIsMeta(true);
  GetParam(kRight)->SetIsMeta(true);
}

void QiKt412::Reset() {
  IMutexLock lock(this);
  {
    VoiceAccess voice(mVoiceBusy);
    mVoice.setSamplingRate(GetSampleRate());
  }
  // A block size of 0 means none has been set yet; sizing the queue from it
  // would leave no room at all and every message would be dropped.
  if (GetBlockSize() > 0) mMidiQueue.Resize(GetBlockSize());
}

void QiKt412::TriggerHit() {
  {
    VoiceAccess voice(mVoiceBusy);
    mVoice.setMidiNote(kTriggerNote);
    mVoice.restart();
  }
  mLedState = 1;
  ShowControl(mLedIdx, 1.0);
  mLedCounter = 0;
}

void QiKt412::StepPreset(int direction) {
  PresetBrowser::Choice choice;
  if (!mPresets.Step(direction, &choice)) return;
  // The name shows even when the file has gone since the scan.
  if (mPresetMenu) mPresetMenu->SetDisplayText(choice.name);
  loadProgram(choice.path);
}

void QiKt412::OnParamChange(int paramIdx) {
  if (paramIdx < 0 || paramIdx >= kNumParams) return;
  IMutexLock lock(this);

  // Clear mode: touching a parameter, from any source, removes its binding.
  if (mClear == 1) paramCC[paramIdx].store(-1);

  const double v = GetParam(paramIdx)->Value();
  switch (paramIdx) {
    case kLearn:
      // Learn and clear exclude each other: switching one on shows the other off.
      mLearn = static_cast<int>(v);
      if (mLearn == 1 && mClear == 1) {
        ShowControl(mClearIdx, 0.0);
        mClear = 0;
      }
      break;
    case kClear:
      mClear = static_cast<int>(v);
      if (mLearn == 1 && mClear == 1) {
        ShowControl(mLearnIdx, 0.0);
        mLearn = 0;
      }
      break;
    // The pad sets 1 when pressed and 0 when released; only the press plays.
    case kTrigger:
      if (v == 1.0) TriggerHit();
      break;
    case kLed: break;  // the LED is driven through its control, not its parameter
    case kLeft:
      if (v == 1.0) StepPreset(-1);
      break;
    case kRight:
      if (v == 1.0) StepPreset(+1);
      break;
    default: ApplyToVoice(paramIdx, v); break;
  }

  // The most recently changed sound or switch parameter is what learning binds.
  if (paramIdx <= kLastRoutableParam && mLearn != 0) mLearnParam = paramIdx;
}

void QiKt412::ApplyToVoice(int paramIdx, double v) {
  VoiceAccess voice(mVoiceBusy);
  // The voice takes floats; sums such as v + v are formed in double first.
  switch (paramIdx) {
    case kPitch: mVoice.setTune(static_cast<float>(v)); break;
    case kAccent: mVoice.setAccent(static_cast<float>(v)); break;
    // Decay 0..1 maps to an amplitude decay time constant of 0.01551 + 0.33 v s.
    case kDecay: mVoice.setDecay(static_cast<float>(v + v)); break;
    // TuneDecay 0..1: pitch decay time constant 0.005808 + 0.0528 v s.
    case kTuneDecay: mVoice.setTuneDecay(static_cast<float>(v + v)); break;
    // Attack scales the click path by v squared.
    case kAttack: mVoice.setAttack(static_cast<float>(v)); break;
    // Hold 0..1: amplitude hold 0.005 + 0.2 v s.
    case kHold: mVoice.setHold(static_cast<float>(v + v)); break;
    // TuneDepth 0..1: pitch sweep of up to 14 x 2v x 14.8 Hz at the start of a hit.
    case kTuneDepth: mVoice.setTuneDepth(static_cast<float>(v + v)); break;
    // NoiseDecay 0..1: click decay time constant about 0.004158 + 0.2079 v^2 s.
    case kNoiseDecay: mVoice.setNoiseDecay(static_cast<float>(v)); break;
    // Distort 0..1: clipper drive factor 1 + v.
    case kDistort: mVoice.setDistortion(static_cast<float>(v)); break;
    case kMidiTuneFlag: mVoice.setMidiTuneFlag(static_cast<int>(v)); break;
    case kMidiAccentFlag: mVoice.setMidiAccentFlag(static_cast<int>(v)); break;
    default: break;
  }
}

void QiKt412::ProcessDoubleReplacing(double** /*inputs*/, double** outputs, int nFrames) {
  if (nFrames < 0) nFrames = 0;
  double* left = outputs[0];
  double* right = outputs[1];
  const int ledCounterAtStart = mLedCounter.load(std::memory_order_relaxed);
  int ledCounter = ledCounterAtStart;

  // Held for the frame loop: a change from another thread waits for the
  // block instead of rewinding the voice under the render. Nothing outside
  // the voice is called while it is held, so the editor hears of a hit just
  // after the loop (it only stores the value; drawing comes later anyway).
  bool lit = false;
  {
    VoiceAccess voice(mVoiceBusy);
    for (int i = 0; i < nFrames; ++i) {
      while (!mMidiQueue.Empty()) {
        const IMidiMsg* msg = mMidiQueue.Peek();
        if (msg->offset > i) break;
        // A note-on with velocity 0 is a note-off by MIDI's own rule: it must
        // not cut the ringing hit. Everything but a real note-on is dropped.
        if ((msg->status >> 4) == IMidiMsg::kNoteOn && msg->data2 > 0) {
          mVoice.setMidiNote(msg->data1);
          // Velocity 127 gives 0.9921875, 64 gives 0.5.
          mVoice.setMidiVelocity(static_cast<double>(static_cast<float>(msg->data2)) / 128.0);
          mVoice.restart();
          mLedState.store(1, std::memory_order_relaxed);
          lit = true;
          ledCounter = 0;
        }
        mMidiQueue.Remove();
      }
      left[i] = static_cast<double>(mVoice.getSample() / 2.0f);
      if (ledCounter < INT_MAX) ++ledCounter;  // saturates after ~12 h instead of overflowing
    }
  }

  if (lit) ShowControl(mLedIdx, 1.0);

  for (int i = 0; i < nFrames; ++i) right[i] = left[i];

  // The pad may restart the count from another thread during the block; its
  // restart then stands, and the LED it lit stays lit.
  int expected = ledCounterAtStart;
  if (mLedCounter.compare_exchange_strong(expected, ledCounter, std::memory_order_relaxed) &&
      ledCounter > kLedHoldFrames && mLedState.load(std::memory_order_relaxed) == 1) {
    mLedState.store(0, std::memory_order_relaxed);
    ShowControl(mLedIdx, 0.0);
  }
  mMidiQueue.Flush(nFrames);
}

void QiKt412::ProcessMidiMsg(IMidiMsg* pMsg) {
  if (!pMsg) return;
  mMidiQueue.Add(pMsg);
  if ((pMsg->status >> 4) == IMidiMsg::kControlChange) RouteControlChange(*pMsg);
}

void QiKt412::RouteControlChange(const IMidiMsg& msg) {
  const int cc = msg.data1;
  const int v = msg.data2;
  // Data bytes carry seven bits; anything larger is not MIDI and moves nothing.
  if (cc > 127 || v > 127) return;

  if (mLearn == 1) {
    // The controller leaves every parameter it drove and goes to the target.
    for (int k = 0; k < kNumParams; ++k) {
      int expected = cc;
      paramCC[k].compare_exchange_strong(expected, -1);
    }
    int target = mLearnParam;
    if (target >= 0 && target < kNumParams) paramCC[target].store(cc);
  }

  const double norm = v / 127.0;
  // The highest bound index among the routable parameters wins.
  int p = -1;
  for (int k = 0; k <= kLastRoutableParam; ++k)
    if (paramCC[k].load() == cc) p = k;
  if (p < 0) return;

  if (mValueDisplay) ShowInValueDisplay(p, norm);
  {
    // The value is written under the plug-in mutex, as every other writer
    // of a parameter does, so it never interleaves with a state restore.
    IMutexLock lock(this);
    GetParam(p)->SetNormalized(norm);
    OnParamChange(p);
  }
  ShowParameter(p, norm);
  InformHostOfParamChange(p, norm);
}

bool QiKt412::BindController(int cc, int paramIdx) {
  if (cc < 0 || cc > 127 || paramIdx < 0 || paramIdx > kLastRoutableParam) return false;
  for (int k = 0; k < kNumParams; ++k) {
    int expected = cc;
    paramCC[k].compare_exchange_strong(expected, -1);
  }
  paramCC[paramIdx].store(cc);
  return true;
}

void QiKt412::ResetControllerTable() {
  for (auto& entry : paramCC) entry.store(0);
}
