// Parameter initialisation, value mapping and host-facing texts.
#include "framework/IParam.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Copies src into a fixed text field of size bytes, cut to size - 1
// characters so that the field always ends in a terminator. Callers are
// trusted to keep within the field, but an over-long name must not overrun it.
void CopyText(char* dst, const char* src, int size) {
  if (!src) src = "";
  std::size_t n = std::strlen(src);
  if (n > static_cast<std::size_t>(size - 1)) n = static_cast<std::size_t>(size - 1);
  std::memcpy(dst, src, n);
  std::memset(dst + n, 0, static_cast<std::size_t>(size) - n);
}

// Truncation toward zero that stays defined for values outside the int range.
int TruncToInt(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(v);
}

}  // namespace

double FromNormalizedParam(double normalized, double min, double max, double shape) {
  return min + std::pow(normalized, shape) * (max - min);
}

double ToNormalizedParam(double nonNormalized, double min, double max, double shape) {
  return std::pow((nonNormalized - min) / (max - min), 1.0 / shape);
}

double DBToAmp(double dB) {
  // ln(10) / 20 cut to 13 decimals; kept as written so that gains match
  // earlier builds bit for bit.
  return std::exp(0.1151292546497 * dB);
}

IParam::IParam()
    : mType(kTypeNone),
      mValue(0.0),
      mMin(0.0),
      mMax(1.0),
      mStep(1.0),
      mShape(1.0),
      mDefault(0.0),
      mDisplayPrecision(0),
      mName(),
      mLabel(),
      mParamGroup(),
      mNegateDisplay(false),
      mCanAutomate(true),
      mIsMeta(false) {
  // The table grows in 4096-byte steps, like the framework's other buffers.
  mDisplayTexts.reserve(4096 / sizeof(DisplayText));
}

void IParam::InitBool(const char* name, bool defaultVal, const char* label, const char* group) {
  if (mType == kTypeNone) mType = kTypeBool;
  InitEnum(name, defaultVal ? 1 : 0, 2, label, group);
  SetDisplayText(0, "off");
  SetDisplayText(1, "on");
}

void IParam::InitEnum(const char* name, int defaultVal, int nEnums, const char* label,
                      const char* group) {
  if (mType == kTypeNone) mType = kTypeEnum;
  InitInt(name, defaultVal, 0, nEnums - 1, label, group);
}

void IParam::InitInt(const char* name, int defaultVal, int minVal, int maxVal, const char* label,
                     const char* group) {
  if (mType == kTypeNone) mType = kTypeInt;
  InitDouble(name, defaultVal, minVal, maxVal, 1.0, label, group, 1.0);
}

void IParam::InitDouble(const char* name, double defaultVal, double minVal, double maxVal,
                        double step, const char* label, const char* group, double shape) {
  if (mType == kTypeNone) mType = kTypeDouble;
  CopyText(mName, name, kTextSize);
  CopyText(mLabel, label, kTextSize);
  CopyText(mParamGroup, group, kTextSize);
  mDefault = defaultVal;
  mValue.store(defaultVal, std::memory_order_relaxed);
  mMin = minVal;
  // An empty range would make normalisation divide by zero: it becomes one step wide.
  mMax = std::fmax(maxVal, minVal + step);
  mStep = step;

  // One decimal per power of ten the step needs to become whole; at most 6.
  mDisplayPrecision = 0;
  for (double s = step; mDisplayPrecision < 6 && s != std::floor(s); s *= 10.0) {
    ++mDisplayPrecision;
  }
  SetShape(shape);
}

void IParam::SetDisplayText(int value, const char* text) {
  DisplayText dt;
  dt.mValue = value;
  CopyText(dt.mText, text, kTextSize);
  mDisplayTexts.push_back(dt);
}

void IParam::SetShape(double shape) {
  if (shape != 0.0) mShape = shape;
}

int IParam::Int() const { return TruncToInt(Value()); }

void IParam::Set(double value) {
  // NaN has no place in the range and would pass both comparisons below; the
  // value stays as it was rather than reach the sound as NaN.
  if (std::isnan(value)) return;
  mValue.store(value < mMin ? mMin : (value > mMax ? mMax : value), std::memory_order_relaxed);
}

void IParam::SetNormalized(double normalized) {
  // Worked out aside and stored once, so a reader never sees a half-way value.
  mValue.store(ValueFromNormalized(normalized), std::memory_order_relaxed);
}

double IParam::ValueFromNormalized(double normalized) const {
  double v = FromNormalizedParam(normalized, mMin, mMax, mShape);
  if (mType != kTypeDouble) {
    // Half-way values go to the higher step.
    v = std::floor(0.5 + v / mStep) * mStep;
  }
  return std::fmin(v, mMax);
}

double IParam::GetNormalized() const { return GetNormalized(Value()); }

double IParam::GetNormalized(double nonNormalized) const {
  double x = nonNormalized < mMin ? mMin : (nonNormalized > mMax ? mMax : nonNormalized);
  return ToNormalizedParam(x, mMin, mMax, mShape);
}

double IParam::GetNonNormalized(double normalized) const {
  return FromNormalizedParam(normalized, mMin, mMax, mShape);
}

void IParam::GetBounds(double* pMin, double* pMax) const {
  if (pMin) *pMin = mMin;
  if (pMax) *pMax = mMax;
}

double IParam::DBToAmp() const { return ::DBToAmp(Value()); }

const char* IParam::GetLabelForHost() const {
  const char* displayText = GetDisplayText(Int());
  return displayText[0] ? "" : mLabel;
}

void IParam::GetDisplayForHost(double value, bool normalized, char* rDisplay, bool withDisplayText,
                               int displaySize) const {
  if (!rDisplay || displaySize <= 0) return;
  if (normalized) value = FromNormalizedParam(value, mMin, mMax, mShape);

  if (withDisplayText) {
    const char* displayText = GetDisplayText(TruncToInt(value));
    if (displayText[0]) {
      CopyText(rDisplay, displayText, displaySize);
      return;
    }
  }

  double displayValue = mNegateDisplay ? -value : value;
  if (mDisplayPrecision == 0) {
    // To the nearest whole number: a value stored as -7.99999 plays as -8
    // and must not read -7. (Through int: saturated, and never "-0".)
    std::snprintf(rDisplay, static_cast<std::size_t>(displaySize), "%d", TruncToInt(std::round(displayValue)));
  } else {
    std::snprintf(rDisplay, static_cast<std::size_t>(displaySize), "%.*f", mDisplayPrecision,
                  displayValue);
  }
}

const char* IParam::GetDisplayText(int value) const {
  for (const DisplayText& dt : mDisplayTexts) {
    if (dt.mValue == value) return dt.mText;
  }
  return "";
}

const char* IParam::GetDisplayTextAtIdx(int idx, int* pValue) const {
  if (idx < 0 || idx >= GetNDisplayTexts()) return "";
  const DisplayText& dt = mDisplayTexts[static_cast<std::size_t>(idx)];
  if (pValue) *pValue = dt.mValue;
  return dt.mText;
}

bool IParam::MapDisplayText(const char* str, int* pValue) const {
  if (!str) return false;
  for (const DisplayText& dt : mDisplayTexts) {
    if (std::strcmp(dt.mText, str) == 0) {
      if (pValue) *pValue = dt.mValue;
      return true;
    }
  }
  return false;
}
