// Trace switch, time stamps, build stamps and text helpers.
#include "framework/ILog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Sets a fixed time zone for one test and restores the previous one.
class ScopedTimeZone {
public:
  explicit ScopedTimeZone(const char* tz) {
    const char* old = std::getenv("TZ");
    mHad = old != nullptr;
    if (mHad) mOld = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (mHad)
      setenv("TZ", mOld.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

private:
  bool mHad = false;
  std::string mOld;
};

// 2026-12-31 12:00:00 UTC and 2027-01-01 05:00:00 UTC.
constexpr std::time_t kNewYearsEveNoon = 1798718400;
constexpr std::time_t kNewYearsDayFive = 1798779600;

int gEvaluations = 0;
int CountedArgument() { return ++gEvaluations; }

}  // namespace

TEST(Tracing, TraceLinesEvaluateNothing) {
  gEvaluations = 0;
  TRACE("%d", CountedArgument());
  TRACE("%s:%s", "name", CurrentTime());
  TRACE("no arguments");
  EXPECT_EQ(gEvaluations, 0);
  Trace("f", 1, "%d %s %f", 1, "x", 2.0);  // the entry itself accepts and does nothing
}

TEST(Tracing, SelectorNamesAreEmptyWhileTracingIsOff) {
  EXPECT_STREQ(VSTOpcodeStr(0), "");
  EXPECT_STREQ(AUSelectStr(-1), "");
  EXPECT_STREQ(AUPropertyStr(19), "");
  EXPECT_STREQ(AUScopeStr(0), "");
}

TEST(TimeStamp, UtcHasZeroOffset) {
  ScopedTimeZone tz("UTC0");
  EXPECT_STREQ(TimeStr(kNewYearsEveNoon), "20261231 12:00 +0000");
}

TEST(TimeStamp, EastOfUtcAcrossTheYearBoundary) {
  // POSIX zones count the other way: UTC-14 is fourteen hours ahead.
  ScopedTimeZone tz("XXX-14");
  EXPECT_STREQ(TimeStr(kNewYearsEveNoon), "20270101 02:00 +1400");
}

TEST(TimeStamp, WestOfUtcAcrossTheYearBoundary) {
  ScopedTimeZone tz("XXX+11");
  EXPECT_STREQ(TimeStr(kNewYearsDayFive), "20261231 18:00 -1100");
}

TEST(TimeStamp, HalfHourZonesAndOrdinaryDayChanges) {
  ScopedTimeZone tz("XXX-5:30");
  EXPECT_STREQ(TimeStr(kNewYearsEveNoon), "20261231 17:30 +0530");
  // 2026-12-31 20:00 UTC is 01:30 the next day (and year) in this zone.
  EXPECT_STREQ(TimeStr(kNewYearsEveNoon + 8 * 3600), "20270101 01:30 +0530");
  // Mid-year, within one year: 2026-07-01 22:00 UTC.
  EXPECT_STREQ(TimeStr(1782943200), "20260702 03:30 +0530");
}

TEST(TimeStamp, NegativeOffsetWithMinutes) {
  ScopedTimeZone tz("XXX+3:30");
  EXPECT_STREQ(TimeStr(kNewYearsDayFive), "20270101 01:30 -0330");
}

TEST(TimeStamp, OffsetRuleOnBrokenDownTimes) {
  std::tm local{}, utc{};
  // Local on day 0 of a new year, UTC on day 364 of the old one.
  local.tm_yday = 0;
  local.tm_hour = 1;
  utc.tm_yday = 364;
  utc.tm_hour = 23;
  EXPECT_EQ(UtcOffsetMinutes(local, utc), 120);
  std::swap(local, utc);
  EXPECT_EQ(UtcOffsetMinutes(local, utc), -120);
  // Leap year: day 365 against day 0.
  local.tm_yday = 365;
  EXPECT_EQ(UtcOffsetMinutes(local, utc), -120);
}

TEST(TimeStamp, CurrentTimeHasTheFormatsShape) {
  const char* s = CurrentTime();
  ASSERT_EQ(std::strlen(s), 20u);
  EXPECT_EQ(s[8], ' ');
  EXPECT_EQ(s[11], ':');
  EXPECT_EQ(s[14], ' ');
  EXPECT_TRUE(s[15] == '+' || s[15] == '-');
}

TEST(BuildStamp, TwoDigitDay) {
  std::string s;
  CompileTimestamp("Dec 16 2026", "14:03:22", &s);
  EXPECT_EQ(s, "[Dec16 14:03]");
}

TEST(BuildStamp, OneDigitDayIsSpacePadded) {
  std::string s;
  CompileTimestamp("Dec  6 2026", "14:03:22", &s);
  EXPECT_EQ(s, "[Dec 6 14:03]");
}

TEST(BuildStamp, ShortOrMissingInputsDoNotOverrun) {
  std::string s;
  CompileTimestamp("", "", &s);
  EXPECT_EQ(s, "[ ]");
  CompileTimestamp(nullptr, nullptr, &s);
  EXPECT_EQ(s, "[ ]");
  CompileTimestamp("Jan 1", "1", &s);
  EXPECT_EQ(s, "[Jan1 1]");
  CompileTimestamp("Dec 16 2026", "14:03:22", nullptr);
}

TEST(BuildStamp, AppendTimestampOverwritesOneStaticString) {
  const char* a = AppendTimestamp("Dec 16 2026", "14:03:22", "KT-412");
  EXPECT_STREQ(a, "KT-412 [Dec16 14:03]");
  const char* b = AppendTimestamp("Jan  2 2027", "09:15:00", "v1.0.0");
  EXPECT_STREQ(b, "v1.0.0 [Jan 2 09:15]");
}

TEST(TextHelpers, Whitespace) {
  for (char c : {'\t', '\n', ' ', '\r'}) EXPECT_TRUE(IsWhitespace(c)) << int(c);
  for (char c : {'a', '\0', '\v', '\f', '_', '\x85'}) EXPECT_FALSE(IsWhitespace(c)) << int(c);
}

TEST(TextHelpers, ToLowerCopiesWithTerminator) {
  char buf[32];
  std::memset(buf, 'Z', sizeof buf);
  ToLower(buf, "Hello, World 42!");
  EXPECT_STREQ(buf, "hello, world 42!");
  char inPlace[] = "ABC\xC3\x89";  // bytes above 127 are left as they are
  ToLower(inPlace, inPlace);
  EXPECT_STREQ(inPlace, "abc\xC3\x89");
  ToLower(buf, "");
  EXPECT_STREQ(buf, "");
}

TEST(PeriodicTimer, FiresOnceTheIntervalOfProcessorTimeHasPassed) {
  Timer t;
  EXPECT_FALSE(t.Every(1000.0));
  // Burn processor time until a 2 ms interval has passed; bounded so that a
  // broken timer fails instead of hanging.
  volatile double sink = 0.0;
  bool fired = false;
  for (long i = 0; i < 2000000000L && !fired; ++i) {
    sink = sink + 1.0;
    if ((i & 0xFFFF) == 0) fired = t.Every(0.002);
  }
  EXPECT_TRUE(fired);
  // Just restarted: the next interval has not passed yet.
  EXPECT_FALSE(t.Every(1000.0));
}
