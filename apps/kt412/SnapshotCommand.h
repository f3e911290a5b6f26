// The kt412 snapshot command: draws the whole editor headless into a PNG file.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

class PIX_IBitmap;

struct SnapshotOptions {
  std::string outputPath = "editor.png";
  int scale = 1;                      // 1, or 2 for the doubled high-density image
  std::string stateIn;                // --state
  std::string presetFile;             // --preset
  std::string presetDir;              // --preset-dir
  std::vector<std::string> settings;  // --set NAME=VALUE, in order
  std::string hover;                  // --hover NAME: the pointer rests on that parameter's control
  bool help = false;
};

// Parses the arguments that follow "snapshot". False with a one-line message.
bool ParseSnapshotArgs(const std::vector<std::string>& args, SnapshotOptions* opts, std::string* error);
std::string SnapshotUsage();

// Each pixel of src becomes a scale x scale block of a new bitmap (the
// caller owns it); null when the size cannot be made.
PIX_IBitmap* ScaleUpPixels(PIX_IBitmap* src, int scale);

// Builds the instrument, applies --preset-dir, --state, --preset and --set as
// the render command does, draws every control and writes the editor
// (592 x 442, or twice that with --scale 2) as a PNG through a temporary
// file. 0 on success; 2 with one line on err otherwise.
int RunSnapshot(const SnapshotOptions& opts, std::ostream& out, std::ostream& err);
