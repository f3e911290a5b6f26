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
  std::vector<std::string> inputs;  // every input given; more than one makes a batch
  std::string outputPath;  // empty: named after the input (or kt412-demo.wav) in the current folder
  int sampleRate = 48000;
  int blockSize = 512;
  WavSampleFormat format = WavSampleFormat::kFloat32;
  std::vector<std::string> settings;  // NAME=VALUE, applied in order
  std::vector<std::string> learns;    // CC=NAME, applied in order
  std::string stateIn;                // --state
  std::string stateOut;               // --save-state
  double gainDb = 0.0;                // --gain, applied to the output
  std::string presetFile;             // --preset: a .qipreset file loaded after --state
  std::string presetDir;              // --preset-dir: construct as a host does, with this preset folder
  std::string host;                   // "" (built in) or "au": through the plug-in library
  std::string auLibrary;              // --au-library; empty: the one built beside kt412
  bool listParams = false;
  bool help = false;
  // One-shot (--note): a single hit without a MIDI file.
  int note = -1;                      // -1: no one-shot
  int velocity = 127;
  double lengthSeconds = 0.0;         // --length SECONDS; 0: auto
  bool normalize = false;
  double normalizeDb = -0.3;
  // Filters on the MIDI played (the file's or the demo's).
  std::vector<int> notes;             // --notes: only note-ons of these notes; empty: all
  int channel = 0;                    // --channel 1..16: only this channel's events; 0: all
  int jobs = 0;                       // --jobs: workers of a batch; 0: one per core
};

constexpr int kMinSampleRate = 8000;
constexpr int kMaxSampleRate = 384000;
constexpr double kMinGainDb = -60.0;
constexpr double kMaxGainDb = 24.0;
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
// The output of a one-shot when none is given: kt412-<note>-v<velocity>.wav.
std::string DefaultOneShotPath(int note, int velocity);

// Keeps the events that the --notes and --channel filters let through.
void FilterSongEvents(const RenderOptions& opts, MidiFileSong* song);

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
  double peak = 0.0;          // largest magnitude written (after the gain), linear
  // Samples (each channel counted) beyond full scale that an integer format
  // flattened to its largest value; 0 for float output, which keeps them.
  int64_t clippedSamples = 0;
  int controllerMoves = 0;    // parameters moved by learned controllers
  int64_t hostSamplePos = 0;  // the host's transport position after the render
  double normalizeGainDb = 0.0;  // the gain --normalize applied
};

// Frames a render of the song lasts: its last event plus kTailSeconds.
int64_t RenderLengthFrames(const MidiFileSong& song, int sampleRate);
class QiKt412;
// --preset: loads the preset file as the editor's browser does. False with a
// one-line message when it is missing, unreadable, a folder, or holds no
// preset line at all.
bool LoadPresetOption(QiKt412& plug, const std::string& path, std::string* error);

// Runs the command: --help and --list-params print and return 0; a render
// prints where the WAV went, its length and peak level (and, when a 16- or
// 24-bit file had to clip, how many samples it clipped) and returns 0. Any
// error prints one line to err and returns 2, leaving nothing at the output
// path (an existing file there is kept as it was).
int RunRender(const RenderOptions& opts, std::ostream& out, std::ostream& err,
              RenderSummary* summary = nullptr);

// Renders each of several inputs (opts.inputs) to its own WAV file, named
// after the input in the current folder or in the folder -o names, on
// opts.jobs workers (every core by default). Each file is the one a render of
// that input alone makes. Prints one summary line per input in input order,
// progress on err while it is a terminal (progress true), and returns 0 when
// every file was written, else 2 with each failure on its own line.
int RunRenderBatch(const RenderOptions& opts, std::ostream& out, std::ostream& err, bool progress);
