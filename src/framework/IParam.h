// One automatable plug-in parameter: type, range, step, shape, value, host texts.
#pragma once

#include <atomic>

#include <vector>

// Maps a normalised position n in 0..1 to min + n^shape * (max - min). A shape
// above 1 spends more of a control's travel on the low end of the range.
double FromNormalizedParam(double normalized, double min, double max, double shape);
// The inverse of FromNormalizedParam: ((x - min) / (max - min))^(1 / shape).
double ToNormalizedParam(double nonNormalized, double min, double max, double shape);
// Decibels to linear amplitude.
double DBToAmp(double dB);

// One parameter of the plug-in. The plug-in base creates its parameters blank
// and the plug-in's constructor initialises each one with an Init operation;
// the outermost Init of a chain decides the type. Values are kept in the
// parameter's own units; editors work in the normalised range 0..1.
//
// IParam holds no lock: whoever changes a parameter while the audio thread may
// read it holds the plug-in mutex (IPluginBase::IMutexLock).
class IParam {
public:
  enum EParamType { kTypeNone = 0, kTypeBool = 1, kTypeInt = 2, kTypeEnum = 3, kTypeDouble = 4 };

  // Size of every text field, terminator included; longer texts are cut to 31 characters.
  static constexpr int kTextSize = 32;

  struct DisplayText {
    int mValue;
    char mText[kTextSize];
  };

  IParam();

  void InitBool(const char* name, bool defaultVal, const char* label = "", const char* group = "");
  void InitEnum(const char* name, int defaultVal, int nEnums, const char* label = "",
                const char* group = "");
  void InitInt(const char* name, int defaultVal, int minVal, int maxVal, const char* label = "",
               const char* group = "");
  void InitDouble(const char* name, double defaultVal, double minVal, double maxVal, double step,
                  const char* label = "", const char* group = "", double shape = 1.0);

  void SetDisplayText(int value, const char* text);
  // A zero shape would make the inverse curve divide by zero; it keeps the previous shape.
  void SetShape(double shape);
  void SetIsMeta(bool meta) { mIsMeta = meta; }
  // Shows the negated number in display strings (the stored value is unchanged).
  void SetDisplayNegated(bool negated) { mNegateDisplay = negated; }

  double Value() const { return mValue.load(std::memory_order_relaxed); }
  bool Bool() const { return Value() >= 0.5; }
  int Int() const;
  EParamType Type() const { return mType; }
  double GetDefault() const { return mDefault; }
  double GetStep() const { return mStep; }
  double GetShape() const { return mShape; }
  int GetPrecision() const { return mDisplayPrecision; }
  double GetMin() const { return mMin; }
  double GetMax() const { return mMax; }

  // Clamped to [min, max], not rounded to the step; a NaN keeps the current value.
  void Set(double value);
  void SetNormalized(double normalized);
  // The value SetNormalized(normalized) stores, without storing it.
  double ValueFromNormalized(double normalized) const;
  double GetNormalized() const;
  double GetNormalized(double nonNormalized) const;
  double GetNonNormalized(double normalized) const;
  void GetBounds(double* pMin, double* pMax) const;
  double DBToAmp() const;

  const char* GetNameForHost() const { return mName; }
  const char* GetLabelForHost() const;
  const char* GetParamGroupForHost() const { return mParamGroup; }

  // Writes the text shown for value (a plain value, or a normalised one when
  // normalized is true) into rDisplay, at most displaySize bytes with the
  // terminator. Display texts win over numbers when withDisplayText is true.
  void GetDisplayForHost(double value, bool normalized, char* rDisplay, bool withDisplayText = true,
                         int displaySize = kTextSize) const;
  void GetDisplayForHost(char* rDisplay, int displaySize = kTextSize) const {
    GetDisplayForHost(Value(), false, rDisplay, true, displaySize);
  }
  void GetDisplayForHostNoDisplayText(char* rDisplay, int displaySize = kTextSize) const {
    GetDisplayForHost(Value(), false, rDisplay, false, displaySize);
  }

  bool DisplayIsNegated() const { return mNegateDisplay; }
  bool GetCanAutomate() const { return mCanAutomate; }
  bool GetIsMeta() const { return mIsMeta; }

  int GetNDisplayTexts() const { return static_cast<int>(mDisplayTexts.size()); }
  const char* GetDisplayText(int value) const;
  // idx must lie within 0 .. GetNDisplayTexts() - 1; outside it the empty string is returned.
  const char* GetDisplayTextAtIdx(int idx, int* pValue = nullptr) const;
  bool MapDisplayText(const char* str, int* pValue) const;

private:
  EParamType mType;
  // Atomic so that the audio thread can move a parameter (a learned
  // controller) while another thread reads it, without a lock.
  std::atomic<double> mValue;
  double mMin;
  double mMax;
  double mStep;
  double mShape;
  double mDefault;
  int mDisplayPrecision;
  char mName[kTextSize];
  char mLabel[kTextSize];
  char mParamGroup[kTextSize];
  bool mNegateDisplay;
  bool mCanAutomate;
  bool mIsMeta;
  std::vector<DisplayText> mDisplayTexts;
};
