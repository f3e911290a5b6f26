// The KT-412 instrument: rendering, note triggering, parameters and MIDI learn.
#include "instrument/QiKt412.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <thread>

#include "framework/IEditor.h"
#include "framework/ILog.h"
#include "instrument/ParamUnits.h"
#include "instrument/PresetFile.h"
#include "util/RenderPath.h"
#include "util/ScopedFlushDenormals.h"

namespace {

constexpr int FourCC(const char (&code)[5]) {
  return (static_cast<int>(static_cast<unsigned char>(code[0])) << 24) |
         (static_cast<int>(static_cast<unsigned char>(code[1])) << 16) |
         (static_cast<int>(static_cast<unsigned char>(code[2])) << 8) |
         static_cast<int>(static_cast<unsigned char>(code[3]));
}

constexpr int kVendorVersion = 0x10000;  // 1.0.0
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

QiKt412::QiKt412() : QiKt412(BindingPresetBasePath<IPluginBinding>()) {}

QiKt412::QiKt412(const std::string& presetBasePath)
    : IPluginBinding(kNumParams, "0-1 0-2", 0, "Quorvane KT-412", "", "Quorvane Instruments",
                 kVendorVersion, FourCC("Qip2"), FourCC("-QI-"), 0, true, false, true),
      mMidiQueue(IMidiQueue::CapacityForBlock(0)),
      mPresets(presetBasePath) {
  for (std::atomic<int>& cc : mParamCC) cc.store(-1, std::memory_order_relaxed);
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
  mVoice.setSamplingRate(GetSampleRate());
  // The queue never grows on the audio thread, so it gets its room here
  // (a block size of 0, none set yet, gives the room for runs of unknown size).
  mMidiQueue.SizeForBlock(GetBlockSize());
  // No render runs during a reset, so this thread may stand in for the
  // audio thread and apply what is waiting.
  ApplyChanges();
}

void QiKt412::PostChange(Change::Kind kind, int paramIdx) {
  if (mChanges.Push(Change{kind, static_cast<unsigned char>(paramIdx)})) return;
  // Full (the host has not rendered for a long while): a parameter is taken
  // afresh with all the others; a pad hit beyond a thousand waiting changes
  // is dropped.
  if (kind == Change::kParam) mResyncParams.store(true, std::memory_order_release);
}

UTIL_RENDER_PATH void QiKt412::ApplyChanges(bool playHits) {
  Change c;
  while (mChanges.Pop(&c)) {
    if (c.kind == Change::kHit) {
      if (playHits) TriggerHit();
    } else {
      ApplyToVoice(c.paramIdx, GetParam(c.paramIdx)->Value());
    }
  }
  if (mResyncParams.exchange(false, std::memory_order_acquire)) {
    for (int k = 0; k <= kLastRoutableParam; ++k) ApplyToVoice(k, GetParam(k)->Value());
  }
}

void QiKt412::TriggerHit() {
  mVoice.setMidiNote(kTriggerNote);
  mVoice.restart();
  mLedState.store(1, std::memory_order_relaxed);
  mLedCounter.store(0, std::memory_order_relaxed);
}

void QiKt412::StepPreset(int direction) {
  PresetBrowser::Choice choice;
  if (!mPresets.Step(direction, &choice)) return;
  // The name shows even when the file has gone since the scan.
  ShowPresetName(choice.name);
  loadProgram(choice.path);
}

void QiKt412::OnParamChange(int paramIdx) {
  if (paramIdx < 0 || paramIdx >= kNumParams) return;
  IMutexLock lock(this);

  // Clear mode: touching a parameter, from any source, removes its binding.
  if (mClear == 1) mParamCC[paramIdx].store(-1);

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
      if (v == 1.0) PostChange(Change::kHit, paramIdx);
      break;
    case kLed: break;  // the LED is driven through its control, not its parameter
    case kLeft:
    case kRight:
      if (v == 1.0) {
        const int direction = paramIdx == kLeft ? -1 : +1;
        // The press arrives with the plug-in mutex held (a host call, an
        // editor edit), perhaps on the audio thread. A step reads a file, and
        // neither the audio thread nor a holder of the mutex may wait for a
        // file, so OnIdle (the editor's next timer tick) carries it out.
        mDeferredSteps.fetch_add(direction, std::memory_order_relaxed);
      }
      break;
    default: PostChange(Change::kParam, paramIdx); break;
  }

  // The most recently changed sound or switch parameter is what learning binds.
  if (paramIdx <= kLastRoutableParam && mLearn != 0) mLearnParam = paramIdx;
}

void QiKt412::OnParamChangeOnAudioThread(int paramIdx) {
  if (paramIdx < 0 || paramIdx >= kNumParams) return;
  if (mClear == 1) mParamCC[paramIdx].store(-1);
  const double v = GetParam(paramIdx)->Value();
  switch (paramIdx) {
    case kLearn:
    case kClear: {
      std::atomic<int>& mode = paramIdx == kLearn ? mLearn : mClear;
      std::atomic<int>& other = paramIdx == kLearn ? mClear : mLearn;
      mode = static_cast<int>(v);
      if (mode == 1 && other == 1) {
        other = 0;
        mModesMoved.store(true, std::memory_order_release);
      }
      break;
    }
    case kTrigger:
      if (v == 1.0) TriggerHit();
      break;
    case kLed: break;
    case kLeft:
    case kRight:
      if (v == 1.0) mDeferredSteps.fetch_add(paramIdx == kLeft ? -1 : +1, std::memory_order_relaxed);
      break;
    default: ApplyToVoice(paramIdx, v); break;
  }
  if (paramIdx <= kLastRoutableParam && mLearn != 0) mLearnParam = paramIdx;
}

void QiKt412::ApplyToVoice(int paramIdx, double v) { SetVoiceParameter(mVoice, paramIdx, v); }

// The one mapping lives with the units it is shown in (ParamUnits), so the
// editor's figures and the voices are set by the same code.
void QiKt412::SetVoiceParameter(kt412& voice, int paramIdx, double v) { ApplyParamToVoice(voice, paramIdx, v); }

UTIL_RENDER_PATH void QiKt412::RenderVoice(double* out, int n) {
  // The voice works in floats; a stack chunk keeps the render free of allocation.
  // Its mix writes eight samples a store: aligned to a cache line, none straddles two.
  constexpr int kChunk = 256;
  alignas(64) float buf[kChunk];
  while (n > 0) {
    const int m = n < kChunk ? n : kChunk;
    mVoice.process(buf, m);
    for (int i = 0; i < m; ++i) out[i] = static_cast<double>(buf[i] / 2.0f);
    out += m;
    n -= m;
  }
}

UTIL_RENDER_PATH void QiKt412::ProcessDoubleReplacing(double** /*inputs*/, double** outputs, int nFrames) {
  // A dying hit settles on subnormal floats, which cost the processor ten times
  // a normal sample; flushed to zero they cost nothing and sound the same.
  ScopedFlushDenormals flush;
  if (nFrames < 0) nFrames = 0;
  double* left = outputs[0];
  double* right = outputs[1];

  // What other threads changed since the last block takes effect at frame 0.
  ApplyChanges();

  // Each message acts at its own frame, in order of arrival among equal
  // offsets; the voice runs uninterrupted between two of them.
  int frame = 0;
  while (frame < nFrames) {
    while (!mMidiQueue.Empty() && mMidiQueue.Peek()->offset <= frame) {
      HandleMidi(*mMidiQueue.Peek());
      mMidiQueue.Remove();
    }
    int end = nFrames;
    if (!mMidiQueue.Empty() && mMidiQueue.Peek()->offset < end) end = mMidiQueue.Peek()->offset;
    RenderVoice(left + frame, end - frame);
    const int counted = mLedCounter.load(std::memory_order_relaxed);
    // Saturates after ~12 h instead of overflowing.
    mLedCounter.store(counted > INT_MAX - (end - frame) ? INT_MAX : counted + (end - frame),
                      std::memory_order_relaxed);
    frame = end;
  }

  for (int i = 0; i < nFrames; ++i) right[i] = left[i];

  if (mLedCounter.load(std::memory_order_relaxed) > kLedHoldFrames &&
      mLedState.load(std::memory_order_relaxed) == 1)
    mLedState.store(0, std::memory_order_relaxed);
  mMidiQueue.Flush(nFrames);
}

void QiKt412::SkipBlock(int nFrames) {
  if (nFrames < 0) nFrames = 0;
  ApplyChanges(false);
  while (!mMidiQueue.Empty() && mMidiQueue.Peek()->offset < nFrames) {
    const IMidiMsg& msg = *mMidiQueue.Peek();
    if (msg.status >> 4 == IMidiMsg::kControlChange) RouteControlChange(msg);
    mMidiQueue.Remove();
  }
  mMidiQueue.Flush(nFrames);
}

void QiKt412::Silence() {
  IMutexLock lock(this);
  ApplyChanges(false);
  while (!mMidiQueue.Empty()) mMidiQueue.Remove();
  mMidiQueue.Compact();
  // A voice built afresh is exactly a new instance's; it then takes the
  // rate and every value, as a new instance does when initialised.
  std::destroy_at(&mVoice);
  std::construct_at(&mVoice);
  mVoice.setSamplingRate(GetSampleRate());
  for (int k = 0; k <= kLastRoutableParam; ++k) ApplyToVoice(k, GetParam(k)->Value());
  mLedState.store(0, std::memory_order_relaxed);
  mLedCounter.store(0, std::memory_order_relaxed);
}

void QiKt412::HandleMidi(const IMidiMsg& msg) {
  switch (msg.status >> 4) {
    case IMidiMsg::kNoteOn:
      // A note-on with velocity 0 is a note-off by MIDI's own rule: it must
      // not cut the ringing hit.
      if (msg.data2 == 0) break;
      mVoice.setMidiNote(msg.data1);
      // Velocity 127 gives 0.9921875, 64 gives 0.5.
      mVoice.setMidiVelocity(static_cast<double>(static_cast<float>(msg.data2)) / 128.0);
      mVoice.restart();
      mLedState.store(1, std::memory_order_relaxed);
      mLedCounter.store(0, std::memory_order_relaxed);
      break;
    case IMidiMsg::kControlChange: RouteControlChange(msg); break;
    default: break;  // nothing else reaches the sound
  }
}

void QiKt412::ProcessMidiMsg(IMidiMsg* pMsg) {
  // Control changes wait in the queue with the notes, so that a controller
  // acts at its own frame, never before a note that precedes it.
  if (pMsg) mMidiQueue.Add(pMsg);
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
      mParamCC[k].compare_exchange_strong(expected, -1);
    }
    const int target = mLearnParam;
    if (target >= 0 && target < kNumParams) mParamCC[target].store(cc);
  }

  // The highest bound index among the routable parameters wins.
  int p = -1;
  for (int k = 0; k <= kLastRoutableParam; ++k)
    if (mParamCC[k].load() == cc) p = k;
  if (p < 0) return;

  // What OnParamChange does for a controller's parameter, without its lock:
  // the parameter's value is an atomic, the voice is this thread's own, and
  // the controller's binding goes in clear mode.
  IParam* param = GetParam(p);
  param->SetNormalized(v / 127.0);
  if (mClear == 1) mParamCC[p].store(-1);
  ApplyToVoice(p, param->Value());

  // The editor and the host hear of it from OnIdle.
  mMovedParams.fetch_or(1u << p, std::memory_order_release);
  const unsigned long long seq = (mLastMove.load(std::memory_order_relaxed) >> 16) + 1;
  mLastMove.store(seq << 16 | static_cast<unsigned long long>(p) << 8 | static_cast<unsigned>(v),
                  std::memory_order_release);
  mControllerMoves.fetch_add(1, std::memory_order_relaxed);
}

void QiKt412::OnIdle() {
  // Preset steps the audio thread was asked for: the file work happens here.
  for (int steps = mDeferredSteps.exchange(0, std::memory_order_relaxed); steps != 0;) {
    const int direction = steps > 0 ? +1 : -1;
    StepPreset(direction);
    steps -= direction;
  }

  const long dropped = mMidiQueue.Dropped();
  if (dropped != mDroppedTraced) {
    TRACE("%ld MIDI messages dropped so far: more than a block's room arrived", dropped);
    mDroppedTraced = dropped;
  }

  const unsigned moved = mMovedParams.exchange(0, std::memory_order_acquire);
  {
    // The editor may be replaced or closed by another thread; the mutex
    // keeps it alive while it is moved here.
    IMutexLock lock(this);
    if (GetGUI() != mIdleEditor) {  // a new editor shows the LED afresh
      mIdleEditor = GetGUI();
      mLedShown = -1;
    }
    if (mModesMoved.exchange(false, std::memory_order_acquire)) {
      ShowControl(mLearnIdx, mLearn.load());
      ShowControl(mClearIdx, mClear.load());
    }
    const int led = mLedState.load(std::memory_order_relaxed);
    if (GetGUI() && led != mLedShown) {
      ShowControl(mLedIdx, led);
      mLedShown = led;
    }
    for (int p = 0; p <= kLastRoutableParam; ++p)
      if (moved & (1u << p)) ShowParameter(p, GetParam(p)->GetNormalized());
    const unsigned long long last = mLastMove.load(std::memory_order_acquire);
    if (last != mMoveShown && mValueDisplay) {
      mMoveShown = last;
      ShowInValueDisplay(static_cast<int>(last >> 8 & 0xFF), static_cast<double>(last & 0xFF) / 127.0);
    }
    UpdatePresetModified();
  }
  // The host is told without our mutex held, as SetParameterFromGUI does.
  for (int p = 0; p <= kLastRoutableParam; ++p)
    if (moved & (1u << p)) InformHostOfParamChange(p, GetParam(p)->GetNormalized());
}

void QiKt412::AttachValueDisplay(ITextControl* readout) {
  IMutexLock lock(this);
  mValueDisplay = readout;
  mMoveShown = 0;  // a new readout shows the latest move at the next tick
}

int QiKt412::BoundController(int paramIdx) const {
  return paramIdx >= 0 && paramIdx < kNumParams ? mParamCC[paramIdx].load() : -1;
}

bool QiKt412::BindController(int cc, int paramIdx) {
  if (cc < 0 || cc > 127 || paramIdx < 0 || paramIdx > kLastRoutableParam) return false;
  for (int k = 0; k < kNumParams; ++k) {
    int expected = cc;
    mParamCC[k].compare_exchange_strong(expected, -1);
  }
  mParamCC[paramIdx].store(cc);
  return true;
}

void QiKt412::RestoreControllerTable(const std::vector<int>& table) {
  const int n = std::min<int>(static_cast<int>(table.size()), kLastRoutableParam + 1);
  auto touchInClearMode = [this](const std::vector<int>& params) {
    if (params.empty()) return;
    IParam* clear = GetParam(kClear);
    const double was = clear->Value();
    clear->Set(1.0);
    OnParamChange(kClear);
    for (int p : params) OnParamChange(p);
    clear->Set(was);
    OnParamChange(kClear);
  };
  // All zeros: the table of an instance that never learned, saved when
  // every entry started at 0. Restoring it as bindings would bring back
  // controller 0 driving MidiAccentFlag; it means "nothing bound".
  const bool neverLearned =
      n > 0 && std::all_of(table.begin(), table.begin() + n, [](int cc) { return cc == 0; });
  if (neverLearned) {
    RestoreControllerTable(std::vector<int>(static_cast<size_t>(n), -1));
    return;
  }
  std::vector<int> unbind;
  for (int p = 0; p < n; ++p)
    if (table[static_cast<size_t>(p)] < 0 && BoundController(p) >= 0) unbind.push_back(p);
  touchInClearMode(unbind);
  for (int p = 0; p < n; ++p) {
    const int cc = table[static_cast<size_t>(p)];
    if (cc > 0 && BoundController(p) != cc) BindController(cc, p);
  }
  int zeros = 0, highestZero = -1;
  bool zerosKept = true;
  for (int p = 0; p < n; ++p) {
    if (table[static_cast<size_t>(p)] != 0) continue;
    ++zeros;
    highestZero = p;
    zerosKept = zerosKept && BoundController(p) == 0;
  }
  if (zeros > 0 && !zerosKept) BindController(0, highestZero);
}
