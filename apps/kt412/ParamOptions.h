// Command-line access to the instrument's parameters: names, values, the
// parameter listing and state chunk files.
#pragma once

#include <iosfwd>
#include <string>

class IPluginBase;
class IParam;
class QiKt412;

// Index of the parameter called name: an exact match first, then one that
// differs only in letter case ("decay" finds "Decay"); -1 when none.
int FindParamByName(const IPluginBase& plug, const std::string& name);

// Reads a plain value for param from text: a number in the parameter's units
// within its range (whole numbers for switches and lists), or one of its
// display texts ("on", "off"). False with a one-line message otherwise.
bool ParseParamValue(const IParam& param, const std::string& text, double* value,
                     std::string* error);

// Applies NAME=VALUE: sets the plain value and tells the plug-in, as a host
// does. False with a message for an unknown name or a bad value.
bool ApplyParamSetting(IPluginBase& plug, const std::string& setting, std::string* error);

// One line per parameter: index, name, range, default, current display text
// and label.
void ListParams(IPluginBase& plug, std::ostream& out);

// The saved state (IPluginState's file layout): the instrument's parameter
// values and its MIDI-learn table. A file is accepted only when every value
// is one the instrument can hold (finite, a normal number, in range) and
// the table, when there is one, is whole; a file of the values alone (as
// written before the table was kept) loads too. Nothing is changed when it is refused.
bool LoadStateFile(QiKt412& plug, const std::string& path, std::string* error);
// Writes the current state to path all or nothing (UTIL_AtomicFile).
bool SaveStateFile(QiKt412& plug, const std::string& path, std::string* error);
