// Preset files: one "name=value" line per parameter, read and written whatever the process locale.
#pragma once

#include <array>
#include <string>
#include <vector>

class IPluginBase;

// What a preset file holds for the parameters it sets: line k (from 0) gives
// the normalised value of parameter k, whatever name stands on the line.
// Only the first kLines lines are read; lines that do not match
// "<up to 32 characters>=<number>", numbers that are not finite, and lines
// past the end of the file leave their parameter unset. Values outside 0..1
// are clamped into it.
struct PresetValues {
  static constexpr int kLines = 15;
  std::array<double, kLines> value{};
  std::array<bool, kLines> present{};
  int Count() const;
};

// Parses the text of a preset file. The text is split as a reader with a
// 256-byte line buffer splits it: a line longer than 255 characters counts
// as several lines of at most 255 characters. Numbers use a point as decimal
// separator in every locale.
PresetValues ParsePresetText(const std::string& text);

// The plain value (in the parameter's own units) that loading the file gives
// each of the plug-in's parameters, through each parameter's own mapping from
// the normalised value, exactly as a load sets it; NaN for parameters the file
// leaves as they are. Everything that turns a preset file into settings other
// than a load itself (the LV2 description's factory presets) goes through
// this, so that it plays what a load plays.
std::vector<double> PresetPlainValues(const IPluginBase& plug, const PresetValues& values);

// Reads and parses the file. False with a one-line message when it cannot be
// opened or read (a missing file, a folder, no permission).
bool ReadPresetFile(const std::string& path, PresetValues* values, std::string* error);

// The text a save writes: "%s=%f\n" for every parameter of the plug-in in
// index order, the host name and the normalised value with six decimals,
// with a point whatever the locale. Parameters from index firstZeroed on are
// written as 0 (pass NParams() to write every value as it is). Takes the
// plug-in's mutex while it reads the values.
std::string PresetText(IPluginBase& plug, int firstZeroed);

// Writes text to path all or nothing (UTIL_AtomicFile), so an interrupted or
// failed save leaves the earlier file as it was. False with a message.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error);
// As WriteFileAtomically, but never replaces an existing file: false with an
// empty message when one exists, with the reason when the write failed.
bool WriteNewFile(const std::string& path, const std::string& text, std::string* error);
