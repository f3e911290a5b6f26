// Numbers on the command line: whole numbers, decimals, and lists of whole
// numbers such as "35,36" or "24-36,48".
#pragma once

#include <string>
#include <vector>

// A whole decimal number and nothing else, within long.
bool ParseInt(const std::string& text, long* value);
// A decimal number with nothing after it; inf and nan are not numbers here.
bool ParseDouble(const std::string& text, double* value);
// A whole number within lo..hi into *out; false with "WHAT 'x' is not a
// whole number" or "WHAT x is outside lo..hi".
bool ParseRangedInt(const std::string& what, const std::string& text, long lo, long hi, int* out,
                    std::string* error);

// Parses comma-separated numbers and inclusive ranges A-B, each within
// lo..hi, into *out in the order given, without repeats. False with a
// one-line message naming what (e.g. "note") for an empty list, a piece that
// is not a number or a range, a number out of range or a range running down.
bool ParseNumberList(const std::string& what, const std::string& text, int lo, int hi, std::vector<int>* out,
                     std::string* error);
