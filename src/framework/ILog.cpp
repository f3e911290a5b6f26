// Tracing entry (switched off), time stamps and text helpers.
#include "framework/ILog.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

void Trace(const char* /*funcName*/, int /*line*/, const char* /*format*/, ...) {}

const char* VSTOpcodeStr(int /*opCode*/) { return ""; }
const char* AUSelectStr(int /*select*/) { return ""; }
const char* AUPropertyStr(int /*propID*/) { return ""; }
const char* AUScopeStr(int /*scope*/) { return ""; }

int UtcOffsetMinutes(const std::tm& local, const std::tm& utc) {
  int offset = (local.tm_hour * 60 + local.tm_min) - (utc.tm_hour * 60 + utc.tm_min);
  int dayDiff = local.tm_yday - utc.tm_yday;
  // Across a year boundary the day numbers jump by 364 or 365; zones are
  // never more than a day apart.
  if (dayDiff > 1) dayDiff = -1;
  if (dayDiff < -1) dayDiff = 1;
  return offset + 1440 * dayDiff;
}

const char* TimeStr(std::time_t t) {
  static char buf[64];
  std::tm local{};
  std::tm utc{};
  if (!localtime_r(&t, &local) || !gmtime_r(&t, &utc)) {
    buf[0] = '\0';
    return buf;
  }
  const size_t n = std::strftime(buf, sizeof buf, "%Y%m%d %H:%M ", &local);
  const int offset = UtcOffsetMinutes(local, utc);
  const int magnitude = std::abs(offset);
  std::snprintf(buf + n, sizeof buf - n, "%c%02d%02d", offset < 0 ? '-' : '+', magnitude / 60,
                magnitude % 60);
  return buf;
}

const char* CurrentTime() { return TimeStr(std::time(nullptr)); }

void CompileTimestamp(const char* date, const char* time, std::string* pStr) {
  if (!pStr) return;
  std::string s = "[";
  if (date) s += date;
  if (s.size() > 7) s.resize(7);  // "[Dec 16"
  if (s.size() > 4) s.erase(4, 1);  // the blank after the month: "[Dec16"
  s += ' ';
  if (time) s += time;
  if (s.size() > 12) s.resize(12);  // hours and minutes only
  s += ']';
  *pStr = s;
}

const char* AppendTimestamp(const char* date, const char* time, const char* cStr) {
  static std::string text;
  std::string stamp;
  CompileTimestamp(date, time, &stamp);
  text = cStr ? cStr : "";
  text += ' ';
  text += stamp;
  return text.c_str();
}

bool Timer::Every(double seconds) {
  const std::clock_t now = std::clock();
  // CLOCKS_PER_SEC is 1000000 on POSIX systems.
  if (static_cast<double>(now - mLastTime) > seconds * CLOCKS_PER_SEC) {
    mLastTime = now;
    return true;
  }
  return false;
}

bool IsWhitespace(char c) { return c == '\t' || c == '\n' || c == ' ' || c == '\r'; }

void ToLower(char* cDest, const char* cSrc) {
  if (!cDest || !cSrc) return;
  size_t i = 0;
  for (; cSrc[i]; ++i) cDest[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(cSrc[i])));
  cDest[i] = '\0';
}
