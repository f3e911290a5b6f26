// The LV2 binding of the plug-in base: ports, atom events, state and options mapped onto IPluginBase.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include "framework/IPluginBase.h"
#include "lv2/describe/Lv2PortLayout.h"

// What the binding needs to know of a plug-in beyond its IPluginBase: the
// role of each parameter among the ports, what an output port shows, and the
// instance's MIDI-learn bindings (saved with the host's session).
struct Lv2PlugHooks {
  std::vector<Lv2PortRole> roles;
  // Required. The plug-in takes a parameter change that the run call made
  // (a control port moved, an editor message) without waiting: no lock, no
  // allocation, nothing that blocks. The binding has set the value.
  void (*changedOnAudioThread)(IPluginBase* plug, int paramIdx) = nullptr;

  // Value an output port shows; null: the parameter's own value.
  double (*outputValue)(IPluginBase* plug, int paramIdx) = nullptr;
  // Controller bound to a parameter (0..127, or -1 for none); null: the
  // plug-in has no MIDI learn and the state carries no bindings.
  int (*controllerOf)(IPluginBase* plug, int paramIdx) = nullptr;
  // Makes the instance's bindings those of table (one entry per parameter,
  // each 0..127 or -1); called with the plug-in mutex held, before the
  // restored parameters are applied.
  void (*setControllers)(IPluginBase* plug, const std::vector<int>& table) = nullptr;
};

// Stands where a host wrapper stands, between IPluginBase and the plug-in
// class, when the plug-in is an LV2 plug-in. The control ports are the
// truth: at the top of every run each control port whose value differs from
// the one last taken is written into its parameter (clamped; a toggled port
// as 1 for any value above 0, else 0) and handed to the plug-in's
// changedOnAudioThread hook, so from the first run on the parameters follow
// the host's ports whatever the constructor loaded. MIDI events of the
// event port reach ProcessMidiMsg at their frame offsets; a run longer than
// the block size is rendered in block-size pieces, the MIDI queue carrying
// later events over. Parameters without a port (learn and clear) are set by
// the editor's own atom message on the event port, at its frame. Every
// parameter value the ports did not make (a learned controller, a restored
// state, learn switching itself off) goes out at the end of the run as the
// same message on the notification port, so the editor shows what sounds.
// Such a value can only come from a few places (a MIDI control change, an
// editor message, a restore, an editor asking for everything), and each of
// them marks the parameters for a look at the end of the run: a run in which
// none of them happened writes an empty notification without comparing a
// single value, which keeps the binding's cost at small blocks near nothing.
//
// Lifecycle: the entry creates the plug-in, then Lv2Instantiate (features,
// rate, block size, Reset), Lv2ConnectPort for each port, Lv2Activate, runs,
// Lv2Deactivate, delete. Activating again after a deactivation starts the
// instance afresh: the first run then renders what a new instance's would.
//
// Threads: Lv2Run is the audio thread's; it takes no lock, allocates
// nothing, does no file work and calls nothing that blocks: parameter
// values are atomics, and the plug-in takes port changes through its hook.
// Save may run beside it: it reads the published values (under the plug-in
// mutex, which the run never takes, so the run never waits for it).
// Restore, options and activation run while the host holds the run back, as
// LV2 requires; a restore hands its values to the audio thread through the
// plug-in's own lock-free change records, and only marks the ports to be
// taken as they stand at the next run, so the restored values are not
// overwritten by ports that were set before it.
class IPluginLV2 : public IPluginBase {
public:
  // Run-time URIDs of everything the binding reads or writes.
  struct Urids {
    LV2_URID atomChunk = 0, atomSequence = 0, atomObject = 0, atomBlank = 0, atomInt = 0, atomFloat = 0,
             atomDouble = 0, atomBeats = 0, beatUnit = 0, midiEvent = 0, maxBlockLength = 0, nominalBlockLength = 0,
             sampleRate = 0, paramsState = 0, controllersState = 0, editorParamMsg = 0, paramIndex = 0,
             paramValue = 0;
  };

  // The DSP side reads no preset folder: the host's ports and saved state
  // decide its sound, and a host may make hundreds of instances.
  static constexpr bool kUsesUserPresetFolder = false;

  // Largest block rendered at once when the host names no maximum.
  static constexpr int kDefaultBlockSize = 1024;

  IPluginLV2(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
             const char* productName, const char* mfrName, int vendorVersion, int uniqueID,
             int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst);

  // The LV2 plug-in side has no way to tell the host of a change: the ports
  // are the host's, and the editor reports gestures through its own channel.
  void BeginInformHostOfParamChange(int /*paramIdx*/) override {}
  void InformHostOfParamChange(int /*paramIdx*/, double /*normalizedValue*/) override {}
  void EndInformHostOfParamChange(int /*paramIdx*/) override {}
  void InformHostOfProgramChange() override {}
  // The base's interface holds the position in an int, which runs 12 hours
  // long at 48 kHz would overflow: it stops at the largest int there, while
  // GetTime and SamplePosition carry the whole position.
  int GetSamplePos() override {
    const int64_t pos = SamplePosition();
    return pos > INT32_MAX ? INT32_MAX : static_cast<int>(pos);
  }
  // Frames run since activation.
  int64_t SamplePosition() const { return mSamplePos.load(std::memory_order_relaxed); }
  double GetTempo() override { return 120.0; }
  void GetTimeSig(int* pNum, int* pDenom) override;
  void GetTime(ITimeInfo* pTimeInfo) override;
  void ResizeGraphics(int w, int h) override;
  // The plug-in has no MIDI output port.
  bool SendMidiMsg(IMidiMsg* /*pMsg*/) override { return false; }

  // ---- The LV2 side, called through the descriptor. ----

  // Takes the host's features (urid:map is required, options are read when
  // given), sets sample rate and block size and resets. False when urid:map
  // is missing or the rate is not a positive number.
  bool Lv2Instantiate(double rate, const LV2_Feature* const* features, const Lv2PlugHooks& hooks,
                      const char* pluginUri);
  // Ports with an index outside the layout are ignored.
  void Lv2ConnectPort(uint32_t port, void* data);
  void Lv2Activate();
  void Lv2Deactivate() {}
  void Lv2Run(uint32_t nFrames);
  LV2_State_Status Lv2Save(LV2_State_Store_Function store, LV2_State_Handle handle);
  // Refuses (changing nothing) state that is not ours: a missing parameter
  // chunk, a wrong type or size, a value that is not finite or out of its
  // range, a malformed controller table.
  LV2_State_Status Lv2Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);
  uint32_t Lv2GetOptions(LV2_Options_Option* options);
  uint32_t Lv2SetOptions(const LV2_Options_Option* options);

  const Lv2PortLayout* Layout() const { return mLayout.get(); }
  const Urids& GetUrids() const { return mUrids; }

  // Says that parameter values changed other than through the ports, the
  // run's events or a restore (which say so themselves): the next run tells
  // the editor of every parameter whose value it has not shown. Any thread.
  void ParamsChangedElsewhere() { mChangedElsewhere.store(true, std::memory_order_release); }

private:
  // A parameter change from the host's side on the audio thread: clamped
  // value, then the plug-in's hook.
  void SetParamFromHost(int paramIdx, double value);
  // Whether a control port may hold a value not taken yet (or all must be
  // looked at); cheap, for every run.
  bool PortsMayHaveMoved() const;
  void ApplyControlPorts();
  // Takes the event port's events in order while rendering the run.
  void RenderEvents(uint32_t nFrames);
  void ReadEditorMessage(const uint8_t* body, uint32_t size);
  // Renders frames from .. to - 1 of the run into the output ports.
  void Render(uint32_t from, uint32_t to);
  // Writes the notification port when something may have changed a value
  // off the ports: each parameter whose value is not the one the editor was
  // last shown (by its port or by us), as far as room allows.
  void PublishParams();
  void TakeOption(const LV2_Options_Option& option);

  Urids mUrids;
  Lv2PlugHooks mHooks;
  std::unique_ptr<Lv2PortLayout> mLayout;
  // One pointer per port, as the host connected them.
  std::vector<void*> mPortData;
  // The control input ports, gathered once so that a run looks at them
  // only, each with its host's pointer (kept by Lv2ConnectPort; an
  // unconnected port points at a NaN of ours, which is never taken).
  struct InPort {
    const float* data;
    uint32_t seenBits;  // the bits last read: a run compares bits only
    float seen;         // the value last taken; NaN: never taken
    int paramIdx;
    bool toggled;
  };
  std::vector<InPort> mInPorts;
  size_t mNumInPorts = 0;  // its size, kept at hand for the run's compare
  // Port index -> its entry in mInPorts, or -1.
  std::vector<int> mInPortOfPort;
  struct OutPort {
    int index;
    int paramIdx;
  };
  std::vector<OutPort> mOutPorts;
  std::atomic<bool> mAdoptPorts{false};
  // Audio thread: the next run looks at every port, whatever its bits.
  bool mCheckPorts = true;
  // The parameters the notification port tells of (not the pad, the LED or
  // the ones that load presets), with what the editor shows of each as far
  // as we know (NaN: unknown). Audio thread only, like the forge.
  struct Published {
    const IParam* param;
    int paramIdx;
    double shown;
  };
  std::vector<Published> mPublished;
  // Published index of each parameter, or -1.
  std::vector<int> mPublishedOfParam;
  LV2_Atom_Forge mForge{};
  LV2_Atom_Sequence* mNotify = nullptr;  // the notification port's buffer
  // Audio thread: this run may have changed a value off the ports, or an
  // earlier one could not tell all it found; the end of the run looks.
  bool mSweepPending = true;
  // Audio thread: the editor asked for every value (it shows none yet).
  bool mRepublish = false;
  // Another thread changed values (a restore): the next run looks.
  std::atomic<bool> mChangedElsewhere{false};
  std::atomic<int64_t> mSamplePos{0};
};
