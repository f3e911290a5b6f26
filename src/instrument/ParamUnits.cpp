// What each parameter means to a musician: its unit, and its value in that unit as the voice takes it.
#include "instrument/ParamUnits.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "framework/IParam.h"
#include "instrument/QiKt412.h"
#include "voice/kt412.h"

namespace {

// Removes leading and trailing blanks.
std::string Trimmed(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool EndsWith(const std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

std::string Format(const char* fmt, double v) {
  char text[48];
  std::snprintf(text, sizeof text, fmt, v);
  return text;
}

}  // namespace

EParamUnit ParamUnitOf(int paramIdx) {
  switch (paramIdx) {
    case kPitch: return EParamUnit::kSemitones;
    case kDecay:
    case kTuneDecay:
    case kHold:
    case kNoiseDecay: return EParamUnit::kMilliseconds;
    case kAccent:
    case kAttack:
    case kTuneDepth:
    case kDistort: return EParamUnit::kPercent;
    case kMidiTuneFlag:
    case kMidiAccentFlag:
    case kLearn:
    case kClear:
    case kTrigger:
    case kLeft:
    case kRight: return EParamUnit::kSwitch;
    default: return EParamUnit::kNone;
  }
}

const char* ParamUnitLabel(EParamUnit unit) {
  switch (unit) {
    case EParamUnit::kSemitones: return "st";
    case EParamUnit::kMilliseconds: return "ms";
    case EParamUnit::kPercent: return "%";
    default: return "";
  }
}

void ApplyParamToVoice(kt412& voice, int paramIdx, double v) {
  // The voice takes floats; sums such as v + v are formed in double first.
  switch (paramIdx) {
    case kPitch: voice.setTune(static_cast<float>(v)); break;
    case kAccent: voice.setAccent(static_cast<float>(v)); break;
    // Decay 0..1 maps to an amplitude decay time constant of 0.01551 + 0.33 v s.
    case kDecay: voice.setDecay(static_cast<float>(v + v)); break;
    // TuneDecay 0..1: pitch decay time constant 0.005808 + 0.0528 v s.
    case kTuneDecay: voice.setTuneDecay(static_cast<float>(v + v)); break;
    // Attack scales the click path by v squared.
    case kAttack: voice.setAttack(static_cast<float>(v)); break;
    // Hold 0..1: amplitude hold 0.005 + 0.2 v s.
    case kHold: voice.setHold(static_cast<float>(v + v)); break;
    // TuneDepth 0..1: pitch sweep of up to 14 x 2v x 14.8 Hz at the start of a hit.
    case kTuneDepth: voice.setTuneDepth(static_cast<float>(v + v)); break;
    // NoiseDecay 0..1: click decay time constant about 0.004158 + 0.2079 v^2 s.
    case kNoiseDecay: voice.setNoiseDecay(static_cast<float>(v)); break;
    // Distort 0..1: clipper drive factor 1 + v.
    case kDistort: voice.setDistortion(static_cast<float>(v)); break;
    case kMidiTuneFlag: voice.setMidiTuneFlag(static_cast<int>(v)); break;
    case kMidiAccentFlag: voice.setMidiAccentFlag(static_cast<int>(v)); break;
    default: break;
  }
}

double ParamValueInUnits(int paramIdx, double value) {
  switch (ParamUnitOf(paramIdx)) {
    case EParamUnit::kSemitones: return std::round(value);
    case EParamUnit::kPercent: return value * 100.0;
    case EParamUnit::kMilliseconds: {
      // Read back from a voice of its own, set exactly as the instrument sets its voice.
      kt412 voice;
      ApplyParamToVoice(voice, paramIdx, value);
      switch (paramIdx) {
        case kDecay: return voice.getAmpEnv().getDecay() * 1000.0;
        case kHold: return voice.getAmpEnv().getHold() * 1000.0;
        case kTuneDecay: return voice.getPitchEnv().getDecay() * 1000.0;
        default: return voice.getNoiseEnv().getDecay() * 1000.0;
      }
    }
    default: return value;
  }
}

std::string ParamUnitsText(int paramIdx, double value) {
  const double u = ParamValueInUnits(paramIdx, value);
  switch (ParamUnitOf(paramIdx)) {
    case EParamUnit::kSwitch: return value >= 0.5 ? "on" : "off";
    case EParamUnit::kSemitones: return Format("%.0f", u == 0.0 ? 0.0 : u);  // never "-0"
    // A tenth of a millisecond matters only for the short times.
    case EParamUnit::kMilliseconds: return Format(u < 100.0 ? "%.1f" : "%.0f", u);
    case EParamUnit::kPercent: return Format("%.0f", u);
    default: return Format("%g", u);
  }
}

std::string ParamBubbleText(const IParam& param, int paramIdx, double value) {
  std::string text = std::string(param.GetNameForHost()) + " " + ParamUnitsText(paramIdx, value);
  const char* label = ParamUnitLabel(ParamUnitOf(paramIdx));
  if (label[0]) text += std::string(" ") + label;
  return text;
}

bool ParamValueFromUnitsText(const IParam& param, int paramIdx, const std::string& typed, double* value,
                             std::string* error) {
  const EParamUnit unit = ParamUnitOf(paramIdx);
  const std::string name = param.GetNameForHost();
  std::string text = Trimmed(typed);
  if (unit == EParamUnit::kSwitch) {
    if (text == "on" || text == "1") {
      *value = 1.0;
    } else if (text == "off" || text == "0") {
      *value = 0.0;
    } else {
      if (error) *error = name + " is on or off";
      return false;
    }
    return true;
  }
  const char* label = ParamUnitLabel(unit);
  if (label[0] && EndsWith(text, label)) text = Trimmed(text.substr(0, text.size() - std::strlen(label)));
  errno = 0;
  char* end = nullptr;
  const double u = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
  if (text.empty() || !end || *end != '\0' || errno == ERANGE || !std::isfinite(u)) {
    if (error) {
      // Appended, not "'" + std::string: GCC 12 warns falsely (-Wrestrict) about that.
      std::string message(1, '\'');
      message.append(Trimmed(typed));
      message.append("' is not a number");
      *error = std::move(message);
    }
    return false;
  }
  const double lo = ParamValueInUnits(paramIdx, param.GetMin());
  const double hi = ParamValueInUnits(paramIdx, param.GetMax());
  // Half a shown digit of slack, so that a figure the bubble showed at an
  // end (rounded as ParamUnitsText rounds it) can be typed back.
  auto slack = [unit](double end) {
    if (unit == EParamUnit::kMilliseconds) return end < 100.0 ? 0.05 : 0.5;
    return unit == EParamUnit::kPercent ? 0.5 : 1e-9;
  };
  if (u < lo - slack(lo) || u > hi + slack(hi)) {
    if (error) *error = name + " lies between " + ParamUnitsText(paramIdx, param.GetMin()) + " and " +
                        ParamUnitsText(paramIdx, param.GetMax()) + " " + label;
    return false;
  }
  double v = 0.0;
  if (unit == EParamUnit::kSemitones || unit == EParamUnit::kNone) {
    v = u;
  } else if (unit == EParamUnit::kPercent) {
    v = u / 100.0;
  } else {
    // Every time grows with its parameter: the value is found by halving
    // the range, so the voice's own mapping is the only formula there is.
    double a = param.GetMin(), b = param.GetMax();
    for (int i = 0; i < 60; ++i) {
      const double m = 0.5 * (a + b);
      (ParamValueInUnits(paramIdx, m) < u ? a : b) = m;
    }
    v = 0.5 * (a + b);
  }
  const double step = param.GetStep();
  if (step > 0.0) v = param.GetMin() + std::round((v - param.GetMin()) / step) * step;
  *value = std::fmin(std::fmax(v, param.GetMin()), param.GetMax());
  return true;
}
