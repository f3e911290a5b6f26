// Lists of whole numbers on the command line: "35,36" or "24-36,48".
#pragma once

#include <string>
#include <vector>

// Parses comma-separated numbers and inclusive ranges A-B, each within
// lo..hi, into *out in the order given, without repeats. False with a
// one-line message naming what (e.g. "note") for an empty list, a piece that
// is not a number or a range, a number out of range or a range running down.
bool ParseNumberList(const std::string& what, const std::string& text, int lo, int hi, std::vector<int>* out,
                     std::string* error);
