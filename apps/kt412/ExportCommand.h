// The kt412 export command: presets rendered as one-shots at chosen notes
// and velocities into a sample pack, with an SFZ kit per preset.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "WavWriter.h"

struct ExportOptions {
  std::vector<std::string> presets;  // preset files and folders; empty: the factory presets
  std::vector<int> notes = {36};
  std::vector<int> velocities = {32, 64, 96, 127};
  WavSampleFormat format = WavSampleFormat::kPcm24;
  int sampleRate = 48000;
  int blockSize = 512;
  bool sfz = false;
  std::string outputDir;
  int jobs = 0;  // workers; 0: one per core
  bool help = false;
};

// Parses the arguments that follow "export". False with a one-line message.
bool ParseExportArgs(const std::vector<std::string>& args, ExportOptions* opts, std::string* error);
std::string ExportUsage();

// One preset to export: its name (the file name without .qipreset) and
// either the file it comes from or, for the presets built into the program,
// its text.
struct ExportPreset {
  std::string name;
  std::string path;  // empty for a built-in preset
  std::string text;  // a built-in preset's content
};

// The presets the options name, in order: each file as it is, each folder's
// .qipreset files (in its sub-folders too) in name order; the factory
// presets when none are named (the resource folder's copy, else the built-in
// one). False with a message for a missing path, a folder without presets
// or two presets of one name.
bool CollectExportPresets(const ExportOptions& opts, std::vector<ExportPreset>* presets, std::string* error);

// A one-shot that was written.
struct ExportedFile {
  int note = 0, velocity = 0;
  std::string file;      // name within the preset's folder
  int64_t frames = 0;
};

// What happened to one preset.
struct ExportedPreset {
  std::string name, source;
  std::string error;     // why it was skipped or left incomplete; empty when all went well
  std::vector<ExportedFile> files;
};

// "<preset> <note> v<velocity>.wav"
std::string OneShotFileName(const std::string& preset, int note, int velocity);

// The SFZ kit of one preset: a region per file with its key, the velocity
// layer it covers (from one above the next softer file's velocity, the
// softest from 1 and the loudest up to 127) and its file, relative to the
// SFZ file beside it.
std::string SfzText(const ExportedPreset& preset, const std::vector<int>& velocities);

// The README.txt of the pack: the settings and each preset's files and lengths.
std::string PackReadmeText(const ExportOptions& opts, const std::vector<ExportedPreset>& presets);

// Runs the command: renders every preset on opts.jobs workers (one preset
// per worker), writes each file atomically, reports a preset that cannot be
// loaded or written and goes on with the others. Prints a summary to out and
// progress to err when progress is true. Returns 0 when everything was
// exported, 1 when some preset was not, 2 for bad options or an unusable
// output folder.
int RunExport(const ExportOptions& opts, std::ostream& out, std::ostream& err, bool progress);
