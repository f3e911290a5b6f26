// Where each parameter of a plug-in stands among its LV2 ports.
#pragma once

#include <string>
#include <vector>

class IPluginBase;

// What a parameter becomes in LV2. The plug-in's own table says so, one
// entry per parameter: the framework cannot tell a momentary pad or an
// editor-only button from an ordinary switch by its IParam alone.
enum class Lv2PortRole {
  kControl,  // an input control port the host automates
  kTrigger,  // an input control port the host sets for one run, then back to its default
  kOutput,   // an output control port (a meter or LED the host may show)
  kNone      // no port: the editor works it through an atom message of our own
};

// One port of the plug-in, in index order.
struct Lv2Port {
  enum EKind { kMidiIn, kAudioOut, kControlIn, kTriggerIn, kControlOut, kNotifyOut };
  EKind kind;
  int index;           // the LV2 port index
  int paramIdx;        // the parameter behind a control port; -1 for the others
  std::string symbol;  // lower case, digits and underscores, unique
  std::string name;
  // A two-state control (a switch or the pad, range 0..1): on for any value
  // above 0, as LV2 reads a toggled port, whatever the host writes.
  bool toggled = false;
};

// The ports of an instrument with MIDI in and stereo out: the event input
// (index 0), the audio outputs (1 and 2), one control port per parameter
// whose role is not kNone, in parameter order, and last the notification
// output: an atom port on which the plug-in tells its editor of parameter
// changes the ports did not make (learned controllers, restored state).
class Lv2PortLayout {
public:
  static constexpr int kEventsIn = 0;
  static constexpr int kOutLeft = 1;
  static constexpr int kOutRight = 2;
  static constexpr int kFirstControl = 3;

  // roles has one entry per parameter; missing entries count as kNone.
  Lv2PortLayout(const IPluginBase& plug, const std::vector<Lv2PortRole>& roles);

  int NPorts() const { return static_cast<int>(mPorts.size()); }
  const Lv2Port& Port(int index) const { return mPorts[static_cast<size_t>(index)]; }
  const std::vector<Lv2Port>& Ports() const { return mPorts; }
  // The port index of a parameter, or -1 when it has no port.
  int PortOfParam(int paramIdx) const;
  Lv2PortRole RoleOf(int paramIdx) const;
  int NotifyPort() const { return NPorts() - 1; }

  // "TuneDecay" -> "tune_decay", "MidiAccentFlag" -> "midi_accent_flag",
  // "clear" -> "clear": a valid LV2 symbol made from a parameter name.
  static std::string SymbolFromName(const char* name);

private:
  std::vector<Lv2Port> mPorts;
  std::vector<int> mPortOfParam;
  std::vector<Lv2PortRole> mRoles;
};
