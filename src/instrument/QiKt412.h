// The KT-412 instrument: MIDI in, one bass drum voice out, seventeen parameters.
#pragma once

#include <atomic>
#include <string>

#include "framework/IMidiQueue.h"
#include "IPluginBinding.h"
#include "instrument/PresetBrowser.h"
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
//
// Construction builds the editor (20 controls on the binding's surface) and
// then takes the first factory preset of the preset folder. Which folder:
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
  // The name the preset field shows (empty before any preset).
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

private:
  // Scoped hold of mVoiceBusy (spins, then yields, until the voice is free).
  class VoiceAccess;

  void InitParameters();
  // Creates the editor surface and its 20 controls and attaches it.
  void BuildEditor();
  // Scans the preset folder (seeding it first) and loads its first factory preset.
  void LoadInitialPreset();
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
  // preset of the current preset folder: the name is shown and the file loaded.
  void StepPreset(int direction);

  kt412 mVoice;
  IMidiQueue mMidiQueue;
  ITextControl* mValueDisplay = nullptr;  // created with the editor
  std::atomic<int> mLearn{0};
  std::atomic<int> mClear{0};
  std::atomic<int> mLedState{0};
  std::atomic<int> mLedCounter{0};
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
  std::atomic_flag mVoiceBusy;  // set while a thread is inside mVoice; starts clear
};
