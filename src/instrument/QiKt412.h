// The KT-412 instrument: MIDI in, one bass drum voice out, seventeen parameters.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include "framework/IMidiQueue.h"
#include "IPluginBinding.h"
#include "instrument/PresetBrowser.h"
#include "util/UTIL_SpscQueue.h"
#include "voice/kt412.h"

class IGraphics;
class ITextControl;
class PresetFunctionsMenu;

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
// The render takes no lock, never spins or yields, allocates nothing (MIDI
// beyond the queue's room, sized at Reset, is dropped and counted in
// MidiQueue().Dropped()), touches no file, no host and no editor: what the
// editor and the host must hear of (the LED, controller moves, the readout
// text, preset steps asked for on the audio thread) is published
// in atomics and picked up by OnIdle on the editor's timer thread. Reset and
// OnParamChange take the re-entrant plug-in mutex and may run on any thread.
//
// Construction builds the editor (20 controls on the binding's surface; its
// skin images are decoded when it is first drawn) and then takes the first
// factory preset of the preset folder. A build for a host that only runs the
// sound (the LV2 DSP library) has no editor at all: QiKt412NoEditor.cpp
// stands in for QiKt412Editor.cpp, GetGUI() stays null and the control
// indices stay -1. Which folder:
// the user's (DefaultPresetBasePath, seeded with the factory presets on first
// use) for host bindings; none for a binding that says it reads no user
// folder (our own command line, tests and benchmarks), so that their results
// never depend on who runs them. The second constructor names the folder.
class QiKt412 : public IPluginBinding {
public:
  QiKt412();
  // presetBasePath: the preset folder to scan (seeded when it has no
  // factory folder); empty: none, the parameters keep their defaults.
  explicit QiKt412(const std::string& presetBasePath);
  ~QiKt412() override;

  void Reset() override;
  void OnParamChange(int paramIdx) override;
  void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) override;
  void ProcessMidiMsg(IMidiMsg* pMsg) override;
  // A bypassed block consumes its MIDI: notes are dropped, since a hit kept
  // for later would sound out of time, all at once, when the bypass ends;
  // controllers still move their learned parameters (and learn), since a
  // knob's position stays true after the bypass. Changes from other
  // threads reach the voice; a pad hit among them is dropped like a note.
  void SkipBlock(int nFrames) override;
  // The voice as a new instance's (no hit ringing, filters and fader at
  // rest) with the current parameters, the MIDI queue empty, the LED off
  // and any waiting pad hit dropped. For a binding's reset; Reset itself
  // keeps the hit.
  void Silence() override;

  // What OnParamChange does, for a change made on the audio thread itself
  // between two renders (a host's control port, an editor message the host
  // delivers with its run): the voice takes it at once, with no lock, no
  // change record and no editor call, so the audio thread never waits. Only
  // the audio thread calls it, and never from inside a render.
  void OnParamChangeOnAudioThread(int paramIdx);

  // MIDI note used by the trigger pad: A1, so that with Pitch 0 a pad hit
  // sounds at the 55 Hz base pitch whatever the MIDI tune switch says.
  static constexpr int kTriggerNote = 33;
  // Hands the value of a sound or MIDI switch parameter (0..10), as the
  // parameter holds it, to a voice's setter: the one mapping from the
  // parameters to the voice, used by the instrument's voice and the
  // editor's picture of the hit alike. Other indices do nothing.
  static void SetVoiceParameter(kt412& voice, int paramIdx, double v);
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
  // a parameter (0..127), or -1 for none. Every entry starts unbound, so no
  // controller moves anything until one is learned (many hosts send Bank
  // Select, controller 0, when playback starts).
  int BoundController(int paramIdx) const;
  // Binds controller cc to parameter paramIdx exactly as learning does (the
  // controller is first removed from every other parameter), without moving
  // the parameter. Used by the command line's --learn. False when cc is not
  // 0..127 or the parameter is not one that controllers can drive (0..10).
  bool BindController(int cc, int paramIdx);
  // Makes the bindings those of a saved table (one entry per parameter, each
  // 0..127 or -1), as a user would: binding as learning binds and unbinding
  // as clear mode does. Only parameters 0..10 are ever routed, so only they
  // are set. A table whose routable entries are all 0 is one saved before
  // tables started unbound, never learned into: it binds nothing. Otherwise
  // several parameters on controller 0 are kept where the instance still
  // has them, else controller 0 goes to the highest of them, the one it
  // reaches. Hosts restore a song's bindings through this.
  void RestoreControllerTable(const std::vector<int>& table);
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

  // ---- Presets ----
  // Reads the preset file at path and applies its values to parameters
  // 0..14 as a host change would (handler, controls, host notice). The file
  // is read and parsed before the plug-in mutex is taken; the host hears of
  // the changes after it is released. False with a message when the file
  // cannot be read (nothing changes then). A file with missing, malformed or
  // non-finite values applies the others; out-of-range ones are clamped.
  bool loadProgram(const std::string& path, std::string* error = nullptr);
  // Writes the current sound to path (atomically; an earlier file there is
  // kept if the save fails). The mode and momentary parameters (Learn,
  // clear, Trigger, Led, Left, Right) are stored as 0, so loading a preset
  // never switches a mode or plays a hit.
  bool SavePresetFile(const std::string& path, std::string* error = nullptr);
  PresetBrowser& Presets() { return mPresets; }
  // Marks the preset field's name modified ("*") when the sound left the
  // loaded preset's, or clears the mark when it came back. OnIdle does it
  // on every editor tick; commands that draw without a timer call it.
  void UpdatePresetModified();
  // The name the preset field shows (empty before any preset), with a
  // trailing "*" when the sound was changed since the preset was loaded or saved.
  std::string PresetName() const;

  // ---- Editor ----
  // The editor surface as built here (the base sees it as GetGUI()).
  IGraphics* Graphics() { return mGraphics; }
  static constexpr int kEditorWidth = 592;
  static constexpr int kEditorHeight = 442;
  static constexpr int kNumKnobs = 9;
  int KnobIdx(int paramIdx) const { return paramIdx >= 0 && paramIdx < kNumKnobs ? mKnobIdx[paramIdx] : -1; }
  int LedIdx() const { return mLedIdx; }
  int LearnIdx() const { return mLearnIdx; }
  int ClearIdx() const { return mClearIdx; }
  int TriggerIdx() const { return mTriggerIdx; }
  int MidiTuneSwitchIdx() const { return mMidiTuneSwitchIdx; }
  int MidiAccentSwitchIdx() const { return mMidiAccentSwitchIdx; }
  ITextControl* ValueDisplay() { return mValueDisplay; }
  PresetFunctionsMenu* PresetMenu() { return mPresetMenu; }
  // Called by the preset field as it goes with its editor (a host or test
  // may attach another editor, which deletes ours).
  void ForgetPresetMenu(PresetFunctionsMenu* menu);

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
  // Creates the editor surface and its 20 controls and attaches it.
  void BuildEditor();
  // Scans the preset folder (seeding it first) and loads its first factory preset.
  void LoadInitialPreset();
  // Hands the value of a sound or MIDI switch parameter (0..10) to its voice setter.
  void ApplyToVoice(int paramIdx, double v);
  // Producer side (any thread, under the plug-in mutex).
  void PostChange(Change::Kind kind, int paramIdx);
  // Consumer side: the render at the start of a block, or Reset; a pad hit
  // is played, or dropped when playHits is false.
  void ApplyChanges(bool playHits = true);
  // Audio thread: restarts the voice with the pad's note and lights the LED.
  void TriggerHit();
  // Audio thread: one MIDI message at its frame.
  void HandleMidi(const IMidiMsg& msg);
  // Audio thread: learning, then the bound parameter, at the message's frame.
  void RouteControlChange(const IMidiMsg& msg);
  // Audio thread: n voice samples, halved, into out; the stretch between two
  // events. The voice's block entry slots in here.
  void RenderVoice(double* out, int n);
  // Calls into the editor; each does nothing while there is no editor.
  // The LED and the learn and clear buttons are moved through their controls.
  void ShowControl(int controlIdx, double normalizedValue);
  // Moves the control of a parameter that a MIDI controller changed.
  void ShowParameter(int paramIdx, double normalizedValue);
  // Writes a controller-moved value into the editor's readout (editor thread).
  void ShowInValueDisplay(int paramIdx, double normalizedValue);
  // The name of the preset just taken, for PresetName and the preset field.
  void ShowPresetName(const std::string& name);
  // Parameters 15 "Left" and 16 "Right" step to the previous (-1) or next (+1)
  // preset of the current preset folder: the name is shown and the file
  // loaded. The file is read and parsed first; the plug-in mutex is taken
  // only to apply the parsed values. It never runs on the audio thread: a
  // step asked for there is counted in mDeferredSteps and done by OnIdle.
  void StepPreset(int direction);
  // Names the preset at path in the field as loaded, with the sound as it is now.
  void ShowLoadedPreset(const std::string& path);

  kt412 mVoice;
  IMidiQueue mMidiQueue;
  ITextControl* mValueDisplay = nullptr;  // created with the editor; editor thread only
  std::atomic<int> mLearn{0};
  std::atomic<int> mClear{0};
  std::atomic<int> mLedState{0};    // written by the audio thread only
  std::atomic<int> mLedCounter{0};  // written by the audio thread only
  std::atomic<int> mLearnParam{-1};
  IGraphics* mGraphics = nullptr;  // owned by the base once attached
  int mKnobIdx[kNumKnobs] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};
  int mMidiTuneSwitchIdx = -1;  // editor control indices; -1 while there is no editor
  int mMidiAccentSwitchIdx = -1;
  int mTriggerIdx = -1;
  int mLedIdx = -1;
  int mLearnIdx = -1;
  int mClearIdx = -1;
  PresetFunctionsMenu* mPresetMenu = nullptr;  // owned by the editor
  PresetBrowser mPresets;
  std::string mPresetName;  // the preset last taken by name (the field may show another)
  // Filled with -1 (unbound) by the constructor.
  std::atomic<int> mParamCC[kNumParams];

  UTIL_SpscQueue<Change, kChangeQueueSize> mChanges;
  // Set when a parameter record found the queue full: the render then takes
  // every sound parameter afresh, so no change is lost, only merged.
  std::atomic<bool> mResyncParams{false};

  // Audio thread -> editor thread.
  std::atomic<unsigned> mMovedParams{0};  // bit p: controller moved parameter p
  // Latest controller move for the readout: sequence << 16 | param << 8 | value.
  std::atomic<unsigned long long> mLastMove{0};
  std::atomic<long> mControllerMoves{0};
  std::atomic<int> mDeferredSteps{0};  // net preset steps asked for on the audio thread
  // Learn or clear mode was switched off on the audio thread (one excludes
  // the other); OnIdle moves their buttons.
  std::atomic<bool> mModesMoved{false};
  // Editor-thread bookkeeping of OnIdle (under the plug-in mutex).
  int mLedShown = -1;
  unsigned long long mMoveShown = 0;
  long mDroppedTraced = 0;  // the queue's drop count when OnIdle last traced it
  const void* mIdleEditor = nullptr;
};
