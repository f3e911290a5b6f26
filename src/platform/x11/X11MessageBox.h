// Buttons and results of the own-drawn message box.
#pragma once

#include <string>
#include <vector>

struct X11BoxButton {
  std::string label;
  int result;
};

// Type 4: "Yes" (default) and "No"; 3: "Yes", "No", "Cancel"; 1: "OK" and
// "Cancel"; any other: "OK". The first button answers 1, the second 7, the third 2.
std::vector<X11BoxButton> X11MessageBoxButtons(int type);

// The message cut into lines no wider than maxWidth as measured by width():
// explicit line breaks are kept, long lines break at spaces (a word wider
// than the limit stands alone).
template <typename WidthFn>
std::vector<std::string> X11WrapText(const std::string& text, int maxWidth, WidthFn width) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t nl = text.find('\n', start);
    const std::string para = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    std::string line;
    size_t p = 0;
    while (p <= para.size()) {
      size_t sp = para.find(' ', p);
      const std::string word = para.substr(p, sp == std::string::npos ? std::string::npos : sp - p);
      const std::string candidate = line.empty() ? word : line + " " + word;
      if (!line.empty() && width(candidate) > maxWidth) {
        lines.push_back(line);
        line = word;
      } else {
        line = candidate;
      }
      if (sp == std::string::npos) break;
      p = sp + 1;
    }
    lines.push_back(line);
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return lines;
}
