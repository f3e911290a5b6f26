// IParam: initialisation chains, normalisation, display strings and display texts.
#include "framework/IParam.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

std::string Display(const IParam& p, double value, bool normalized = false, bool withText = true) {
  char buf[IParam::kTextSize];
  std::memset(buf, 'x', sizeof buf);
  p.GetDisplayForHost(value, normalized, buf, withText);
  return buf;
}

}  // namespace

TEST(ParamInit, OutermostInitDecidesTheType) {
  IParam b, e, i, d;
  b.InitBool("b", false);
  e.InitEnum("e", 1, 3);
  i.InitInt("i", 2, 0, 10);
  d.InitDouble("d", 0.5, 0.0, 1.0, 0.01);
  EXPECT_EQ(b.Type(), IParam::kTypeBool);
  EXPECT_EQ(e.Type(), IParam::kTypeEnum);
  EXPECT_EQ(i.Type(), IParam::kTypeInt);
  EXPECT_EQ(d.Type(), IParam::kTypeDouble);
  // A second Init keeps the type the first one chose.
  b.InitDouble("b", 0.0, 0.0, 5.0, 0.1);
  EXPECT_EQ(b.Type(), IParam::kTypeBool);
}

TEST(ParamInit, BlankParameterIsNoneOverZeroToOne) {
  IParam p;
  EXPECT_EQ(p.Type(), IParam::kTypeNone);
  double lo = -1, hi = -1;
  p.GetBounds(&lo, &hi);
  EXPECT_EQ(lo, 0.0);
  EXPECT_EQ(hi, 1.0);
  EXPECT_STREQ(p.GetNameForHost(), "");
  EXPECT_TRUE(p.GetCanAutomate());
  EXPECT_FALSE(p.GetIsMeta());
}

TEST(ParamInit, EmptyRangeBecomesOneStepWide) {
  IParam p;
  p.InitDouble("x", 0, 0, 0, 1, "", "");
  double lo, hi;
  p.GetBounds(&lo, &hi);
  EXPECT_EQ(lo, 0.0);
  EXPECT_EQ(hi, 1.0);
  // Normalisation stays finite.
  EXPECT_EQ(p.GetNormalized(), 0.0);

  IParam q;
  q.InitDouble("y", 3, 3, 2, 0.25);  // max below min
  q.GetBounds(&lo, &hi);
  EXPECT_EQ(hi, 3.25);
}

TEST(ParamInit, EnumAndIntRanges) {
  IParam e;
  e.InitEnum("e", 2, 5, "lbl", "grp");
  double lo, hi;
  e.GetBounds(&lo, &hi);
  EXPECT_EQ(lo, 0.0);
  EXPECT_EQ(hi, 4.0);
  EXPECT_EQ(e.Value(), 2.0);
  EXPECT_EQ(e.GetStep(), 1.0);
  EXPECT_STREQ(e.GetParamGroupForHost(), "grp");
  EXPECT_STREQ(e.GetLabelForHost(), "lbl");
}

TEST(ParamInit, BoolDefaultsAndDisplayTexts) {
  IParam p;
  p.InitBool("Switch", true, "dB", "");
  EXPECT_EQ(p.Value(), 1.0);
  EXPECT_TRUE(p.Bool());
  double lo, hi;
  p.GetBounds(&lo, &hi);
  EXPECT_EQ(lo, 0.0);
  EXPECT_EQ(hi, 1.0);
  ASSERT_EQ(p.GetNDisplayTexts(), 2);
  int v = -1;
  EXPECT_STREQ(p.GetDisplayTextAtIdx(0, &v), "off");
  EXPECT_EQ(v, 0);
  EXPECT_STREQ(p.GetDisplayTextAtIdx(1, &v), "on");
  EXPECT_EQ(v, 1);
  // A bool never shows a unit, whatever its label.
  EXPECT_STREQ(p.GetLabelForHost(), "");
  // 0.7 truncates to 0, so it reads "off" although Bool() of it would be true.
  EXPECT_EQ(Display(p, 0.7), "off");
  EXPECT_EQ(Display(p, 1.0), "on");

  IParam q;
  q.InitBool("Other", false);
  EXPECT_EQ(q.Value(), 0.0);
  EXPECT_FALSE(q.Bool());
}

TEST(ParamInit, LongTextsAreCutToThirtyOneCharacters) {
  const std::string longText(50, 'n');
  IParam p;
  p.InitDouble(longText.c_str(), 0, 0, 1, 0.1, longText.c_str(), longText.c_str());
  p.SetDisplayText(1, longText.c_str());
  EXPECT_EQ(std::string(p.GetNameForHost()), std::string(31, 'n'));
  EXPECT_EQ(std::string(p.GetParamGroupForHost()), std::string(31, 'n'));
  EXPECT_EQ(std::string(p.GetDisplayText(1)), std::string(31, 'n'));
  p.Set(0.5);
  EXPECT_EQ(std::string(p.GetLabelForHost()), std::string(31, 'n'));
  // Exactly 31 characters fit unchanged.
  IParam q;
  q.InitInt(std::string(31, 'a').c_str(), 0, 0, 1);
  EXPECT_EQ(std::string(q.GetNameForHost()), std::string(31, 'a'));
}

TEST(ParamInit, NullTextsReadAsEmpty) {
  IParam p;
  p.InitDouble(nullptr, 0, 0, 1, 0.1, nullptr, nullptr);
  EXPECT_STREQ(p.GetNameForHost(), "");
  EXPECT_STREQ(p.GetLabelForHost(), "");
}

TEST(ParamPrecision, FollowsTheStep) {
  struct Case {
    double step;
    int precision;
  } cases[] = {{1, 0}, {0.5, 1}, {0.01, 2}, {0.001, 3}, {0.25, 2}, {1e-9, 6}, {2.5, 1}, {10, 0}};
  for (const Case& c : cases) {
    IParam p;
    p.InitDouble("p", 0, 0, 100, c.step);
    EXPECT_EQ(p.GetPrecision(), c.precision) << "step " << c.step;
    EXPECT_EQ(p.GetStep(), c.step);  // the stored step is not touched
  }
}

TEST(ParamDisplay, NumbersAtThePrecisionOfTheStep) {
  IParam p;
  p.InitDouble("p", 0.25, 0, 1, 0.001);
  char buf[IParam::kTextSize];
  p.GetDisplayForHost(buf);
  EXPECT_STREQ(buf, "0.250");
  EXPECT_EQ(Display(p, 0.5, true), "0.500");
}

TEST(ParamDisplay, WholeStepsRoundToTheNearestWholeNumber) {
  IParam p;
  p.InitDouble("p", 0, -10, 10, 1);
  EXPECT_EQ(Display(p, 2.7), "3");
  EXPECT_EQ(Display(p, -2.7), "-3");
  EXPECT_EQ(Display(p, 2.4), "2");
  // A value that plays as -8 (a preset's six decimals) reads -8, not -7.
  EXPECT_EQ(Display(p, -7.99999), "-8");
  EXPECT_EQ(Display(p, -0.2), "0");  // never "-0"
}

TEST(ParamDisplay, NegatedDisplayShowsTheNegatedNumber) {
  IParam p;
  p.InitDouble("Gain", 3.5, -10, 10, 0.5);
  p.SetDisplayNegated(true);
  EXPECT_TRUE(p.DisplayIsNegated());
  char buf[IParam::kTextSize];
  p.GetDisplayForHostNoDisplayText(buf);
  EXPECT_STREQ(buf, "-3.5");
  EXPECT_EQ(p.Value(), 3.5);
}

TEST(ParamDisplay, DisplayTextWinsUnlessSwitchedOff) {
  IParam p;
  p.InitEnum("Mode", 1, 3);
  p.SetDisplayText(0, "slow");
  p.SetDisplayText(1, "fast");
  EXPECT_EQ(Display(p, 1.0), "fast");
  EXPECT_EQ(Display(p, 1.0, false, false), "1");
  EXPECT_EQ(Display(p, 2.0), "2");  // no text for 2: the number
  char buf[IParam::kTextSize];
  p.GetDisplayForHostNoDisplayText(buf);
  EXPECT_STREQ(buf, "1");
  // The label is hidden only where a display text exists.
  IParam q;
  q.InitEnum("Mode", 2, 3, "x");
  q.SetDisplayText(0, "zero");
  EXPECT_STREQ(q.GetLabelForHost(), "x");
  q.Set(0);
  EXPECT_STREQ(q.GetLabelForHost(), "");
}

TEST(ParamDisplay, StringsStayInsideTheBuffer) {
  IParam p;
  p.InitDouble("p", 0, -1e300, 1e300, 1e-6);
  char buf[IParam::kTextSize + 8];
  std::memset(buf, '#', sizeof buf);
  p.GetDisplayForHost(1e300, false, buf, false);
  EXPECT_EQ(std::strlen(buf), static_cast<std::size_t>(IParam::kTextSize - 1));
  EXPECT_EQ(buf[IParam::kTextSize], '#');  // nothing written past the field

  // A huge value printed as an integer saturates instead of overflowing int.
  IParam q;
  q.InitDouble("q", 0, -1e300, 1e300, 1);
  EXPECT_EQ(Display(q, 1e300), "2147483647");
  EXPECT_EQ(Display(q, -1e300), "-2147483648");

  // A caller's smaller buffer is respected.
  char small[4];
  q.GetDisplayForHost(123456.0, false, small, false, sizeof small);
  EXPECT_STREQ(small, "123");
}

TEST(ParamNormalize, RoundsIntAndEnumToTheStep) {
  IParam i;
  i.InitInt("i", 0, 0, 10);
  i.SetNormalized(0.5);
  EXPECT_EQ(i.Value(), 5.0);
  i.SetNormalized(0.34);  // 3.4
  EXPECT_EQ(i.Value(), 3.0);

  IParam e;
  e.InitEnum("e", 0, 3);
  e.SetNormalized(0.5);
  EXPECT_EQ(e.Value(), 1.0);

  // Half-way between two steps goes to the higher one.
  IParam h;
  h.InitInt("h", 0, 0, 3);
  h.SetNormalized(0.5);  // 1.5
  EXPECT_EQ(h.Value(), 2.0);

  IParam b;
  b.InitBool("b", false);
  b.SetNormalized(0.49);
  EXPECT_EQ(b.Value(), 0.0);
  b.SetNormalized(0.5);
  EXPECT_EQ(b.Value(), 1.0);
}

TEST(ParamNormalize, DoubleKeepsTheUnroundedCurveValue) {
  IParam d;
  d.InitDouble("d", 0, 0, 100, 1, "", "", 2.0);
  d.SetNormalized(0.3);
  EXPECT_DOUBLE_EQ(d.Value(), 9.0);  // 0.3^2 * 100, not rounded to the step
  d.SetNormalized(1.7);              // no lower clamp, but the upper one holds
  EXPECT_EQ(d.Value(), 100.0);
}

TEST(ParamNormalize, CurveMatchesTheFormula) {
  EXPECT_DOUBLE_EQ(FromNormalizedParam(0.5, 0, 100, 2), 25.0);
  EXPECT_DOUBLE_EQ(FromNormalizedParam(0.5, 10, 20, 1), 15.0);
  EXPECT_DOUBLE_EQ(ToNormalizedParam(25, 0, 100, 2), 0.5);
  EXPECT_DOUBLE_EQ(ToNormalizedParam(15, 10, 20, 1), 0.5);
  EXPECT_DOUBLE_EQ(FromNormalizedParam(0.25, -1, 1, 0.5), -1 + std::pow(0.25, 0.5) * 2);
}

TEST(ParamNormalize, RoundTripsForEveryShape) {
  for (double shape : {0.25, 0.5, 1.0, 2.0, 3.0}) {
    IParam p;
    p.InitDouble("p", 0, -20, 40, 0.01, "", "", shape);
    for (double n = 0.0; n <= 1.0; n += 0.125) {
      p.SetNormalized(n);
      EXPECT_NEAR(p.GetNormalized(), n, 1e-12) << "shape " << shape;
      EXPECT_DOUBLE_EQ(p.GetNonNormalized(n), p.Value());
    }
  }
}

TEST(ParamNormalize, ShapeZeroKeepsThePreviousShape) {
  IParam p;
  p.InitDouble("p", 0, 0, 1, 0.01, "", "", 2.0);
  p.SetShape(0.0);
  EXPECT_EQ(p.GetShape(), 2.0);
  p.SetShape(3.0);
  EXPECT_EQ(p.GetShape(), 3.0);
}

TEST(ParamValue, SetClampsWithoutRounding) {
  IParam p;
  p.InitInt("p", 0, 0, 1);
  p.Set(-5);
  EXPECT_EQ(p.Value(), 0.0);
  p.Set(7);
  EXPECT_EQ(p.Value(), 1.0);
  p.Set(0.4);
  EXPECT_EQ(p.Value(), 0.4);  // no rounding to the step
  EXPECT_EQ(p.Int(), 0);
  EXPECT_FALSE(p.Bool());
}

TEST(ParamValue, SetKeepsTheValueForNaNAndClampsInfinities) {
  IParam p;
  p.InitDouble("p", 0.25, 0, 1, 0.01);
  p.Set(std::nan(""));
  EXPECT_EQ(p.Value(), 0.25);
  p.Set(HUGE_VAL);
  EXPECT_EQ(p.Value(), 1.0);
  p.Set(-HUGE_VAL);
  EXPECT_EQ(p.Value(), 0.0);
}

TEST(ParamValue, GetNormalizedClampsItsArgument) {
  IParam p;
  p.InitDouble("p", 5, 0, 10, 0.1, "", "", 2.0);
  EXPECT_EQ(p.GetNormalized(-3.0), 0.0);
  EXPECT_EQ(p.GetNormalized(30.0), 1.0);
  EXPECT_DOUBLE_EQ(p.GetNormalized(2.5), 0.5);
}

TEST(ParamValue, IntTruncatesTowardZero) {
  IParam p;
  p.InitDouble("p", 0, -5, 5, 0.1);
  p.Set(-2.7);
  EXPECT_EQ(p.Int(), -2);
  p.Set(2.7);
  EXPECT_EQ(p.Int(), 2);
}

TEST(ParamValue, DecibelsToAmplitudeUseTheCutFactor) {
  EXPECT_EQ(DBToAmp(0.0), 1.0);
  EXPECT_EQ(DBToAmp(-6.0), std::exp(0.1151292546497 * -6.0));
  EXPECT_NEAR(DBToAmp(20.0), 10.0, 1e-9);
  IParam p;
  p.InitDouble("Gain", -12, -60, 12, 0.1);
  EXPECT_EQ(p.DBToAmp(), DBToAmp(-12.0));
}

TEST(ParamDisplayTexts, FirstMatchWinsAndLookupsAreExact) {
  IParam p;
  p.InitBool("b", false);
  p.SetDisplayText(1, "yes");  // a second text for 1 does not replace "on"
  EXPECT_EQ(p.GetNDisplayTexts(), 3);
  EXPECT_STREQ(p.GetDisplayText(1), "on");
  EXPECT_STREQ(p.GetDisplayText(5), "");

  int v = 42;
  EXPECT_FALSE(p.MapDisplayText("On", &v));  // case matters
  EXPECT_EQ(v, 42);
  EXPECT_TRUE(p.MapDisplayText("on", &v));
  EXPECT_EQ(v, 1);
  EXPECT_TRUE(p.MapDisplayText("yes", &v));
  EXPECT_EQ(v, 1);
  EXPECT_FALSE(p.MapDisplayText(nullptr, &v));
}

TEST(ParamDisplayTexts, EmptyTableAndBadIndex) {
  IParam p;
  p.InitInt("i", 0, 0, 3);
  int v = 9;
  EXPECT_STREQ(p.GetDisplayText(0), "");
  EXPECT_FALSE(p.MapDisplayText("", &v));
  EXPECT_STREQ(p.GetDisplayTextAtIdx(0, &v), "");
  EXPECT_STREQ(p.GetDisplayTextAtIdx(-1, &v), "");
  EXPECT_EQ(v, 9);
}
