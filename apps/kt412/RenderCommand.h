// The kt412 render command: options, the demo pattern and the render loop
// that plays MIDI through the instrument into a WAV file.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "MidiFileReader.h"
#include "WavWriter.h"

// Everything `kt412 render` can be told.
struct RenderOptions {
  std::string inputPath;   // Standard MIDI File; empty: the built-in demo pattern
  std::string outputPath;  // empty: named after the input (or kt412-demo.wav) in the current folder
  int sampleRate = 48000;
  int blockSize = 512;
  WavSampleFormat format = WavSampleFormat::kFloat32;
  std::vector<std::string> settings;  // NAME=VALUE, applied in order
  std::vector<std::string> learns;    // CC=NAME, applied in order
  std::string stateIn;                // --state
  std::string stateOut;               // --save-state
  std::string presetFile;             // --preset: a .qipreset file loaded after --state
  std::string presetDir;              // --preset-dir: construct as a host does, with this preset folder
  bool listParams = false;
  bool help = false;
};

constexpr int kMinSampleRate = 8000;
constexpr int kMaxSampleRate = 384000;
constexpr int kMinBlockSize = 1;
constexpr int kMaxBlockSize = 8192;
// Sound after the last MIDI event: a hit at the longest Decay and Hold has
// fallen silent well within it.
constexpr double kTailSeconds = 2.0;

// Parses the arguments that follow "render". False with a one-line message
// for an unknown option, a missing or malformed option value, a sample rate
// or block size out of range, or a second input file.
bool ParseRenderArgs(const std::vector<std::string>& args, RenderOptions* opts, std::string* error);

// The help text of the render command.
std::string RenderUsage();

// The output path used when none is given: the input's file name with the
// extension .wav, or kt412-demo.wav, in the current folder.
std::string DefaultOutputPath(const std::string& inputPath);

// The built-in demo: four bars of four-on-the-floor kicks at 120 beats per
// minute with varied velocities, a pick-up hit before the last downbeat; note
// A1 (33) on channel 1. Returns the song with its events at frames of
// sampleRate.
MidiFileSong DemoSong(int sampleRate);
// Seconds from the start of the demo to its last hit.
double DemoLastHitSeconds();

// What a successful render produced.
struct RenderSummary {
  std::string outputPath;
  int64_t frames = 0;
  double seconds = 0.0;
  double peak = 0.0;          // largest magnitude written, linear
  int controllerMoves = 0;    // parameters moved by learned controllers
};

class QiKt412;
// --preset: loads the preset file as the editor's browser does. False with a
// one-line message when it is missing, unreadable, a folder, or holds no
// preset line at all.
bool LoadPresetOption(QiKt412& plug, const std::string& path, std::string* error);

// Runs the command: --help and --list-params print and return 0; a render
// prints where the WAV went, its length and peak level and returns 0. Any
// error prints one line to err and returns 2, leaving nothing at the output
// path (an existing file there is kept as it was).
int RunRender(const RenderOptions& opts, std::ostream& out, std::ostream& err,
              RenderSummary* summary = nullptr);
