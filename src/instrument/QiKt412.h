// The KT-412 instrument: MIDI in, one bass drum voice out, seventeen parameters.
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>

#include "framework/IMidiQueue.h"
#include "IPluginBinding.h"
#include "util/UTIL_SpscQueue.h"
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
// ProcessDoubleReplacing per block; OnIdle now and then on another thread
// (the editor's timer does it while an editor is open).
//
// Threads: ProcessMidiMsg and ProcessDoubleReplacing run on the audio thread
// (ProcessMidiMsg between two renders). The voice, the MIDI queue and the LED
// count belong to that thread alone. Every other thread reaches the voice
// through a bounded lock-free queue of small change records (a parameter
// changed, the pad was hit), pushed by OnParamChange under the plug-in mutex
// and drained by the render at the start of each block, in order; a pad hit
// thus sounds at frame 0 of the next block. While no render runs the records
// wait; Reset applies them at once (a host never resets while it renders).
// The render takes no lock, never spins or yields, allocates nothing (unless
// more MIDI arrives than a block's worth), touches no file, no host and no
// editor: what the editor and the host must hear of (the LED, controller moves,
// the readout text, preset steps asked for on the audio thread) is published
// in atomics and picked up by OnIdle on the editor's timer thread. Reset and
// OnParamChange take the re-entrant plug-in mutex and may run on any thread.
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

  // MIDI learn's controller table, one per instance: the controller bound to
  // a parameter (0..127), or -1 for none. Every entry starts at 0.
  int BoundController(int paramIdx) const;
  // Binds controller cc to parameter paramIdx exactly as learning does (the
  // controller is first removed from every other parameter), without moving
  // the parameter. Used by the command line's --learn. False when cc is not
  // 0..127 or the parameter is not one that controllers can drive (0..10).
  bool BindController(int cc, int paramIdx);
  // Controller moves the render has routed to a parameter so far.
  long ControllerMoves() const { return mControllerMoves.load(std::memory_order_relaxed); }
  // Preset steps asked for on the audio thread and not yet carried out by OnIdle.
  int PendingPresetSteps() const { return mDeferredSteps.load(std::memory_order_relaxed); }

  // Editor-thread work handed over by the audio thread: moves the LED and
  // the controls of controller-moved parameters, writes the readout, tells
  // the host of controller moves, and carries out deferred preset steps.
  // Called by the editor's timer (IGraphics::OnGUIIdle) or, without an
  // editor, by whoever drives the plug-in; never on the audio thread.
  void OnIdle() override;

  // The editor's value readout, which shows a controller-moved value; the
  // instrument does not own it (the editor does). Null detaches it. Only
  // OnIdle writes to it, on the editor's thread.
  void AttachValueDisplay(ITextControl* readout);

private:
  // A change handed from another thread to the audio thread. A parameter
  // record carries only the index: the render reads the parameter's current
  // value when it applies it, so the voice always ends with the value the
  // parameter holds, whichever thread set it last.
  struct Change {
    enum Kind : unsigned char { kParam, kHit };
    Kind kind;
    unsigned char paramIdx;
  };
  static constexpr std::size_t kChangeQueueSize = 1024;

  void InitParameters();
  // Hands the value of a sound or MIDI switch parameter (0..10) to its voice setter.
  void ApplyToVoice(int paramIdx, double v);
  // Producer side (any thread, under the plug-in mutex).
  void PostChange(Change::Kind kind, int paramIdx);
  // Consumer side: the render at the start of a block, or Reset.
  void ApplyChanges();
  // Audio thread: restarts the voice with the pad's note and lights the LED.
  void TriggerHit();
  // Audio thread: one MIDI message at its frame.
  void HandleMidi(const IMidiMsg& msg);
  // Audio thread: learning, then the bound parameter, at the message's frame.
  void RouteControlChange(const IMidiMsg& msg);
  // Audio thread: n voice samples, halved, into out; the stretch between two
  // events. The voice's block entry slots in here.
  void RenderVoice(double* out, int n);
  bool OnAudioThread() const;
  // Calls into the editor; each does nothing while there is no editor.
  // The LED and the learn and clear buttons are moved through their controls.
  void ShowControl(int controlIdx, double normalizedValue);
  // Moves the control of a parameter that a MIDI controller changed.
  void ShowParameter(int paramIdx, double normalizedValue);
  // Writes a controller-moved value into the editor's readout (editor thread).
  void ShowInValueDisplay(int paramIdx, double normalizedValue);
  // Parameters 15 "Left" and 16 "Right" step to the previous (-1) or next (+1)
  // preset of the current preset folder. THE PRESET BROWSER PLUGS IN HERE:
  // the step reads and parses the preset file first, then takes the plug-in
  // mutex only to apply the parsed values. It never runs on the audio thread:
  // a step asked for there is counted in mDeferredSteps and done by OnIdle.
  void StepPreset(int direction);

  kt412 mVoice;
  IMidiQueue mMidiQueue;
  ITextControl* mValueDisplay = nullptr;  // created with the editor; editor thread only
  std::atomic<int> mLearn{0};
  std::atomic<int> mClear{0};
  std::atomic<int> mLedState{0};    // written by the audio thread only
  std::atomic<int> mLedCounter{0};  // written by the audio thread only
  std::atomic<int> mLearnParam{-1};
  int mLedIdx = -1;    // editor control indices; -1 while there is no editor
  int mLearnIdx = -1;
  int mClearIdx = -1;
  std::atomic<int> mParamCC[kNumParams] = {};

  UTIL_SpscQueue<Change, kChangeQueueSize> mChanges;
  // Set when a parameter record found the queue full: the render then takes
  // every sound parameter afresh, so no change is lost, only merged.
  std::atomic<bool> mResyncParams{false};
  // The thread of the latest render, to tell the audio thread apart.
  std::atomic<std::thread::id> mRenderThread{};

  // Audio thread -> editor thread.
  std::atomic<unsigned> mMovedParams{0};  // bit p: controller moved parameter p
  // Latest controller move for the readout: sequence << 16 | param << 8 | value.
  std::atomic<unsigned long long> mLastMove{0};
  std::atomic<long> mControllerMoves{0};
  std::atomic<int> mDeferredSteps{0};  // net preset steps asked for on the audio thread
  // Editor-thread bookkeeping of OnIdle (under the plug-in mutex).
  int mLedShown = -1;
  unsigned long long mMoveShown = 0;
  const void* mIdleEditor = nullptr;
};
