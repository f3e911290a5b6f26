// The kt412 snapshot command: draws the whole editor headless into a PNG file.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

struct SnapshotOptions {
  std::string outputPath = "editor.png";
  float scale = 1;                    // 1, 1.5 or 2: drawn natively for a high-density screen
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

// Builds the instrument, applies --preset-dir, --state, --preset and --set as
// the render command does, draws every control and writes the editor
// (592 x 442 times --scale) as a PNG through a temporary
// file. 0 on success; 2 with one line on err otherwise.
int RunSnapshot(const SnapshotOptions& opts, std::ostream& out, std::ostream& err);
