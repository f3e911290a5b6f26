// Lists of whole numbers on the command line.
#include "NumberList.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

bool ParseWhole(const std::string& s, long* v) {
  if (s.empty() || s.size() > 9) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  *v = std::stol(s);
  return true;
}

}  // namespace

bool ParseInt(const std::string& text, long* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (!end || *end != '\0' || errno == ERANGE) return false;
  *value = v;
  return true;
}

bool ParseDouble(const std::string& text, double* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (!end || *end != '\0' || errno == ERANGE || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

bool ParseRangedInt(const std::string& what, const std::string& text, long lo, long hi, int* out,
                    std::string* error) {
  long v = 0;
  if (!ParseInt(text, &v)) {
    *error = what + " '" + text + "' is not a whole number";
    return false;
  }
  if (v < lo || v > hi) {
    *error = what + " " + text + " is outside " + std::to_string(lo) + ".." + std::to_string(hi);
    return false;
  }
  *out = static_cast<int>(v);
  return true;
}


bool ParseNumberList(const std::string& what, const std::string& text, int lo, int hi, std::vector<int>* out,
                     std::string* error) {
  std::vector<int> list;
  size_t pos = 0;
  while (true) {
    const size_t comma = text.find(',', pos);
    const std::string piece = text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    const size_t dash = piece.find('-', 1);
    long a = 0, b = 0;
    const bool ok = dash == std::string::npos ? ParseWhole(piece, &a) && (b = a, true)
                                              : ParseWhole(piece.substr(0, dash), &a) &&
                                                    ParseWhole(piece.substr(dash + 1), &b);
    if (!ok) {
      *error = what + " list '" + text + "': '" + piece + "' is not a number or a range A-B";
      return false;
    }
    if (a < lo || b > hi || a > hi || b < lo) {
      *error = what + " list '" + text + "': " + piece + " is outside " + std::to_string(lo) + ".." +
               std::to_string(hi);
      return false;
    }
    if (b < a) {
      *error = what + " list '" + text + "': the range " + piece + " runs down";
      return false;
    }
    for (long v = a; v <= b; ++v)
      if (std::find(list.begin(), list.end(), static_cast<int>(v)) == list.end()) list.push_back(static_cast<int>(v));
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  *out = list;
  return true;
}
