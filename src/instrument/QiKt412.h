// The KT-412 instrument: MIDI in, one bass drum voice out, seventeen parameters.
#pragma once

#include <atomic>

#include "framework/IMidiQueue.h"
#include "IPluginBinding.h"
#include "voice/kt412.h"

class ITextControl;

// Parameter indices, in the order the host and the state chunk see them.
enum EQiKt412Param {
  kPitch = 0,
  kAccent,
  kDecay,
  kTuneDecay,
  kAttack,
  kHold,
  kTuneDepth,
  kNoiseDecay,
  kDistort,
  kMidiTuneFlag,
  kMidiAccentFlag,
  kLearn,
  kClear,
  kTrigger,
  kLed,
  kLeft,
  kRight,
  kNumParams
};

// MIDI controller bound to each parameter by MIDI learn, or -1 for none.
// One table per process, shared on purpose by every instance: a controller
// learnt in one instance drives the same parameter in all of them. Entries
// are atomics because instances run on different threads; the table starts
// all 0 and is never saved.
extern std::atomic<int> paramCC[kNumParams];

// The instrument plug-in. Every MIDI note-on restarts the one drum voice at
// the exact frame of its offset; the voice's output, halved, goes to both
// output channels. Parameter changes from every source end in OnParamChange,
// the only path by which values reach the voice. MIDI control changes are
// routed to parameters through MIDI learn.
//
// Lifecycle: construct (parameters initialised, no OnParamChange yet, so the
// voice keeps its own initial settings); set the sample rate and block size
// and call Reset; call OnParamReset so the voice takes every parameter; then
// ProcessMidiMsg for each message of the coming block and one
// ProcessDoubleReplacing per block.
//
// Threads: ProcessMidiMsg and ProcessDoubleReplacing run on the audio thread;
// the render takes no mutex and allocates nothing, and a learned controller
// reaches the voice through OnParamChange. Reset and OnParamChange take the
// re-entrant plug-in mutex and may run on any thread. The voice itself
// must never be entered from two threads at once (it renders a few samples
// ahead and rewinds when a setter comes), so every call into it goes through
// a short spin guard, mVoiceBusy: the render holds it for its frame loop, a
// change on another thread holds it for one setter. Nothing else is done
// while it is held, so neither side waits longer than the other's voice call.
// The learn flags and LED state are atomics because both sides touch them.
// The editor (GetGUI()) and the value readout are called only when they exist.
class QiKt412 : public IPluginBinding {
public:
  QiKt412();
  ~QiKt412() override = default;

  void Reset() override;
  void OnParamChange(int paramIdx) override;
  void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) override;
  void ProcessMidiMsg(IMidiMsg* pMsg) override;

  // MIDI note used by the trigger pad: A1, so that with Pitch 0 a pad hit
  // sounds at the 55 Hz base pitch whatever the MIDI tune switch says.
  static constexpr int kTriggerNote = 33;
  // The LED goes dark at the end of the first block in which more than this
  // many frames have passed since the last hit.
  static constexpr int kLedHoldFrames = 10000;

  // Read-only views for tests and diagnostics.
  const kt412& Voice() const { return mVoice; }
  const IMidiQueue& MidiQueue() const { return mMidiQueue; }
  int LedState() const { return mLedState.load(std::memory_order_relaxed); }
  int LedCounter() const { return mLedCounter.load(std::memory_order_relaxed); }
  int LearnMode() const { return mLearn.load(std::memory_order_relaxed); }
  int ClearMode() const { return mClear.load(std::memory_order_relaxed); }
  int LearnParam() const { return mLearnParam.load(std::memory_order_relaxed); }

  // Binds controller cc to parameter paramIdx exactly as learning does (the
  // controller is first removed from every other parameter), without moving
  // the parameter. Used by the command line's --learn. False when cc is not
  // 0..127 or the parameter is not one that controllers can drive (0..10).
  static bool BindController(int cc, int paramIdx);
  // Every entry back to the load-time 0.
  static void ResetControllerTable();

  // The editor's value readout, which shows a controller-moved value; the
  // instrument does not own it (the editor does). Null detaches it.
  void AttachValueDisplay(ITextControl* readout) { mValueDisplay = readout; }

private:
  // Scoped hold of mVoiceBusy (spins, then yields, until the voice is free).
  class VoiceAccess;

  void InitParameters();
  // Hands the value of a sound or MIDI switch parameter (0..10) to its voice setter.
  void ApplyToVoice(int paramIdx, double v);
  void TriggerHit();
  // Control-change half of the MIDI entry: learning, then the bound parameter.
  void RouteControlChange(const IMidiMsg& msg);
  // Calls into the editor; each does nothing while there is no editor.
  // The LED and the learn and clear buttons are moved through their controls.
  void ShowControl(int controlIdx, double normalizedValue);
  // Moves the control of a parameter that a MIDI controller changed.
  void ShowParameter(int paramIdx, double normalizedValue);
  // Shows a controller-moved value in the editor's readout (only when it exists).
  void ShowInValueDisplay(int paramIdx, double normalizedValue);
  // Parameters 15 "Left" and 16 "Right" step to the previous (-1) or next (+1)
  // preset of the current preset folder. The preset browser that owns the
  // folder is not part of the instrument yet; this is where it plugs in.
  void StepPreset(int direction);

  kt412 mVoice;
  IMidiQueue mMidiQueue;
  ITextControl* mValueDisplay = nullptr;  // created with the editor
  std::atomic<int> mLearn{0};
  std::atomic<int> mClear{0};
  std::atomic<int> mLedState{0};
  std::atomic<int> mLedCounter{0};
  std::atomic<int> mLearnParam{-1};
  int mLedIdx = -1;    // editor control indices; -1 while there is no editor
  int mLearnIdx = -1;
  int mClearIdx = -1;
  std::atomic_flag mVoiceBusy;  // set while a thread is inside mVoice; starts clear
};
