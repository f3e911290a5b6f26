// Tracing and the small text and time utilities beside it.
#pragma once

#include <ctime>
#include <string>

// Tracing is switched off in this build. Framework code traces with
//   TRACE("%d %s %f", idx, name, value);
// which hands the calling function's name and line to Trace. The call sits in
// an if (false): the compiler still checks the format against its arguments,
// but neither Trace nor the arguments are evaluated, so a trace line has no
// effect (not even the side effects of computing its arguments).
#if defined(__GNUC__)
#define KT_PRINTF_LIKE(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define KT_PRINTF_LIKE(fmt, first)
#endif

// The single tracing entry: caller's function name, source line, printf-style
// format and arguments. Does nothing while tracing is off.
void Trace(const char* funcName, int line, const char* format, ...) KT_PRINTF_LIKE(3, 4);

#define TRACE(...)                                \
  do {                                            \
    if (false) Trace(__func__, __LINE__, __VA_ARGS__); \
  } while (0)

// Printable names of host-API selectors, properties and scopes for trace
// lines; with tracing off each is the empty string.
const char* VSTOpcodeStr(int opCode);
const char* AUSelectStr(int select);
const char* AUPropertyStr(int propID);
const char* AUScopeStr(int scope);

// Minutes by which local time is ahead of UTC, from the two broken-down times
// of one instant. Local and UTC may lie in different days (or years): a day
// difference beyond one is a year boundary and counts as a single day.
int UtcOffsetMinutes(const std::tm& local, const std::tm& utc);

// The local time of t as "%Y%m%d %H:%M +hhmm" (e.g. "20261206 23:42 +0100").
// Returns one static buffer that each call overwrites: not for two threads.
const char* TimeStr(std::time_t t);
// TimeStr of now.
const char* CurrentTime();

// Build stamp from __DATE__ ("Dec 16 2026", a one-digit day padded with a
// space) and __TIME__ ("14:03:22"): "[Dec16 14:03]", or "[Dec 6 14:03]".
void CompileTimestamp(const char* date, const char* time, std::string* pStr);
// cStr, a blank and the build stamp, in one static string that each call
// overwrites: not for two threads.
const char* AppendTimestamp(const char* date, const char* time, const char* cStr);

// A coarse periodic trigger on processor time (clock()).
class Timer {
public:
  Timer() : mLastTime(std::clock()) {}
  // True, and restarts, once more than the given seconds of processor time
  // have passed since the last restart.
  bool Every(double seconds);

private:
  std::clock_t mLastTime;
};

// Tab, line feed, space and carriage return.
bool IsWhitespace(char c);
// Lower-case copy of cSrc with its terminator; cDest may equal cSrc.
void ToLower(char* cDest, const char* cSrc);
