// Test helpers for the instrument's editor and presets: scratch folders, files, pixels.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "graphics/IGraphics.h"
#include "graphics/IControl.h"
#include "pix/PIX_Bitmap.h"

namespace kttest {

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchFolder {
public:
  ScratchFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kt412-editor-XXXXXX").string();
    mPath = ::mkdtemp(tmpl.data()) ? tmpl : std::string();
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(mPath, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The folder with a trailing "/".
  std::string Path() const { return mPath + "/"; }
  std::string operator/(const std::string& rel) const { return mPath + "/" + rel; }

private:
  std::string mPath;
};

inline void WriteText(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A preset file text with the given normalised values on lines 0.. (names as the instrument writes them).
inline std::string PresetLines(const std::vector<double>& values) {
  static const char* kNames[] = {"Pitch", "Accent", "Decay", "TuneDecay", "Attack", "Hold",
                                 "TuneDepth", "NoiseDecay", "Distort", "MidiTuneFlag", "MidiAccentFlag",
                                 "Learn", "clear", "Trigger", "Led", "Left", "Right"};
  std::string text;
  for (size_t i = 0; i < values.size() && i < 17; ++i) {
    char line[80];
    std::snprintf(line, sizeof(line), "%s=%.6f\n", kNames[i], values[i]);
    text += line;
  }
  return text;
}

// The drawing bitmap's pixels, row by row (row span removed).
inline std::vector<PIX_pixel> Pixels(IGraphics* g) {
  PIX_IBitmap* bm = g->GetDrawBitmap();
  std::vector<PIX_pixel> px;
  if (!bm) return px;
  const PIX_pixel* bits = bm->getBits();
  for (int y = 0; y < bm->getHeight(); ++y)
    for (int x = 0; x < bm->getWidth(); ++x) px.push_back(bits[static_cast<ptrdiff_t>(y) * bm->getRowSpan() + x]);
  return px;
}

// Draws every control, as a window's first paint does.
inline void DrawAll(IGraphics* g) {
  IRECT all(0, 0, g->Width(), g->Height());
  g->Draw(&all);
}

}  // namespace kttest
