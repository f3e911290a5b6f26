// What each parameter means to a musician: its unit, and its value in that unit as the voice takes it.
#pragma once

#include <string>

class IParam;
class kt412;

// The units a parameter is shown and typed in.
enum class EParamUnit {
  kNone,          // no musical meaning (buttons, the LED): the plain value
  kSemitones,     // Pitch
  kMilliseconds,  // the time-like parameters: the time constant the voice gets
  kPercent,       // the other sound parameters: 0..1 shown as 0..100 %
  kSwitch,        // off / on
};

EParamUnit ParamUnitOf(int paramIdx);
// "st", "ms", "%" or "" for the others.
const char* ParamUnitLabel(EParamUnit unit);

// The instrument's one mapping from a parameter value to the voice: the
// setter it calls and what it passes. The instrument drives its voice
// through this, and the units below are read back from a voice set by it,
// so what the editor shows is what the voice does.
void ApplyParamToVoice(kt412& voice, int paramIdx, double value);

// The parameter's plain value in its units (Pitch rounded to the semitone
// it plays at; times in ms as the voice's envelope holds them).
double ParamValueInUnits(int paramIdx, double value);

// "Decay 180 ms", "Pitch -8 st", "Accent 50 %", "MidiTuneFlag on": the
// name (from param) and the value in units, as the value bubble shows it.
std::string ParamBubbleText(const IParam& param, int paramIdx, double value);
// The value alone in units without the label ("180", "-8", "50", "on"),
// as a text entry starts with it.
std::string ParamUnitsText(int paramIdx, double value);

// Reads a value typed in the parameter's units (a trailing unit label is
// allowed: "180 ms", "-5 st", "40%"; switches take on/off/1/0) into the
// plain parameter value, snapped to the parameter's step. False with a
// message when the text is no number or lies outside the parameter's range
// in those units; *value is then untouched.
bool ParamValueFromUnitsText(const IParam& param, int paramIdx, const std::string& text, double* value,
                             std::string* error);
