// The saved state of a plug-in, its parameters and MIDI-learn table, in the one layout every binding and file uses.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class ByteChunk;
class IPluginBase;

// A plug-in's saved state: every parameter's plain value and, for a plug-in
// with MIDI learn, the controller bound to each parameter. Every binding and
// every file stores it in the same two parts:
//
//   parameters  one little-endian IEEE 754 double per parameter, in index
//               order, nothing else (136 bytes for 17 parameters): what
//               SerializeState writes, the Audio Unit class info's "data"
//               and the LV2 state's parameter chunk.
//   learn table "KTC1", then one signed byte per parameter: the controller
//               0..127, or -1 for none. The class info's "midi-learn" and
//               the LV2 state's controller chunk.
//
// A state file (the command line's --state/--save-state, the player's
// state.bin) is the parameter part followed by the learn table when the
// plug-in has one; a file of the parameter part alone still loads.
//
// Every reader checks everything before anything changes, and refuses what
// no plug-in ever saved: a value that is not finite, not a normal number (a
// file written in the other byte order shows up so) or outside its
// parameter's range; a table entry that is not -1..127. Nothing is clamped
// into shape. (A switch between its two values is taken: hosts may set one so.)
struct IPluginState {
  // The binding's way to the plug-in's MIDI-learn table (see Capture, Apply).
  using ControllerOfFn = int (*)(IPluginBase* plug, int paramIdx);
  using SetControllersFn = void (*)(IPluginBase* plug, const std::vector<int>& table);

  static constexpr char kControllersTag[4] = {'K', 'T', 'C', '1'};

  std::vector<double> values;    // one plain value per parameter
  std::vector<int> controllers;  // one per parameter, or empty: no table kept

  // The plug-in's current state (SerializeState, under its mutex), with the
  // table when controllerOf is given. False when serialising fails.
  bool Capture(IPluginBase& plug, ControllerOfFn controllerOf);

  // Appends the parameter part, the learn table part (nothing without a
  // table), or both: the bytes of a state file.
  void AppendParams(ByteChunk* chunk) const;
  void AppendControllers(ByteChunk* chunk) const;
  void AppendFile(ByteChunk* chunk) const;

  // Readers: true when the bytes are a whole, valid part for plug; false
  // with a one-line reason otherwise, this state unchanged either way on failure.
  bool ReadParams(const IPluginBase& plug, const void* bytes, size_t size, std::string* error);
  bool ReadControllers(const IPluginBase& plug, const void* bytes, size_t size, std::string* error);
  bool ReadFile(const IPluginBase& plug, const void* bytes, size_t size, std::string* error);

  // Makes plug hold this state, under its mutex: first the table (when there
  // is one and setControllers is given; the bindings as a user would set
  // them), then the parameters through UnserializeState, which calls
  // OnParamChange for each. False when the parameters do not match plug.
  bool Apply(IPluginBase& plug, SetControllersFn setControllers) const;
};
