// The kt412 render command: options, the demo pattern and the render loop.
#include "RenderCommand.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <utility>
#include <ostream>
#include <sstream>

#include "AUHost.h"
#include "NumberList.h"
#include "OneShot.h"
#include "RenderLoop.h"
#include "framework/IPluginState.h"
#include "ParamOptions.h"
#include "instrument/PresetFile.h"
#include "instrument/QiKt412.h"

namespace {

const char* const kDemoOutput = "kt412-demo.wav";

// "CC=NAME" of --learn: a controller number and a parameter that controllers drive.
bool ApplyLearn(QiKt412& plug, const std::string& binding, std::string* error, int* pCC = nullptr,
                int* pIdx = nullptr) {
  size_t eq = binding.find('=');
  long cc = -1;
  if (eq == std::string::npos || !ParseInt(binding.substr(0, eq), &cc)) {
    *error = "--learn needs CC=NAME (a controller number and a parameter), got '" + binding + "'";
    return false;
  }
  if (cc < 0 || cc > 127) {
    *error = "--learn controller " + binding.substr(0, eq) + " is outside 0..127";
    return false;
  }
  std::string name = binding.substr(eq + 1);
  int idx = FindParamByName(plug, name);
  if (idx < 0) {
    *error = "unknown parameter '" + name + "' (see --list-params)";
    return false;
  }
  if (!plug.BindController(static_cast<int>(cc), idx)) {
    *error = std::string("controllers can drive only Pitch .. MidiAccentFlag (0..10), not ") +
             plug.GetParam(idx)->GetNameForHost();
    return false;
  }
  if (pCC) *pCC = static_cast<int>(cc);
  if (pIdx) *pIdx = idx;
  return true;
}

}  // namespace

bool LoadPresetOption(QiKt412& plug, const std::string& path, std::string* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    *error = "preset '" + path + "' is a folder, not a preset file";
    return false;
  }
  PresetValues values;
  if (!ReadPresetFile(path, &values, error)) return false;
  // A file with no line of the preset pattern is not a preset at all.
  if (values.Count() == 0) {
    *error = "preset '" + path + "' holds no NAME=VALUE line";
    return false;
  }
  return plug.loadProgram(path, error);
}

namespace {

int BytesPerSample(WavSampleFormat f) {
  switch (f) {
    case WavSampleFormat::kPcm16: return 2;
    case WavSampleFormat::kPcm24: return 3;
    default: return 4;
  }
}

std::string DbText(double peak) {
  if (!(peak > 0.0)) return "-inf dBFS";
  std::ostringstream s;
  s << std::fixed << std::setprecision(2) << 20.0 * std::log10(peak) << " dBFS";
  return s.str();
}

int Fail(std::ostream& err, const std::string& message) {
  err << "kt412: error: " << message << "\n";
  return 2;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::exists(a, ec) && std::filesystem::exists(b, ec) &&
         std::filesystem::equivalent(a, b, ec);
}

// Brings a prepared Audio Unit instance to the state the built-in path has
// reached in plug: every parameter value in full precision (a host's
// parameter calls carry only single precision) and the learned controllers,
// both through the class info as a host restores a song.
bool PrepareAUUnit(AUHostUnit& unit, QiKt412& plug) {
  ByteChunk chunk;
  if (!plug.SerializeState(&chunk)) return false;
  std::vector<uint8_t> bytes(chunk.GetBytes(), chunk.GetBytes() + chunk.Size());
  // The learn table in the tagged form the unit itself saves (the bare bytes
  // of older songs are read too, but are not what a host finds today).
  IPluginState learned;
  for (int i = 0; i < plug.NParams(); ++i) learned.controllers.push_back(plug.BoundController(i));
  ByteChunk table;
  learned.AppendControllers(&table);
  std::vector<int8_t> controllers(table.GetBytes(), table.GetBytes() + table.Size());
  CFMutableDictionaryRef state = MakeStateDictionary(KtComponentDescription(), bytes, &controllers);
  const OSStatus r = unit.RestoreState(state);
  CFRelease(state);
  ClearComponentEvents(unit.Unit());
  return r == noErr;
}

}  // namespace

std::string DefaultOutputPath(const std::string& inputPath) {
  if (inputPath.empty()) return kDemoOutput;
  std::filesystem::path stem = std::filesystem::path(inputPath).filename().stem();
  if (stem.empty() || stem == "." || stem == "..") return kDemoOutput;
  return stem.string() + ".wav";
}

namespace {
constexpr double kDemoBeatSeconds = 0.5;  // 120 beats per minute
constexpr int kDemoBeats = 16;            // four bars of 4/4
constexpr int kDemoNote = 33;             // A1, the voice's base note
}  // namespace

double DemoLastHitSeconds() { return (kDemoBeats - 1) * kDemoBeatSeconds; }

MidiFileSong DemoSong(int sampleRate) {
  // Accented downbeats, softer off-beats, a ghost pick-up into the last bar.
  static const int kVelocities[kDemoBeats] = {127, 64, 96, 72, 120, 60, 100, 80,
                                              127, 70, 90, 56, 124, 84, 104, 112};
  struct Hit {
    double beat;
    int velocity;
  };
  std::vector<Hit> hits;
  for (int b = 0; b < kDemoBeats; ++b) {
    hits.push_back({static_cast<double>(b), kVelocities[b]});
    if (b == 11) hits.push_back({11.5, 40});
  }
  auto frameAt = [sampleRate](double seconds) {
    return static_cast<int64_t>(std::llround(seconds * sampleRate));
  };
  MidiFileSong song;
  song.format = 0;
  song.numTracks = 1;
  song.division = 480;
  for (const Hit& h : hits) {
    const double t = h.beat * kDemoBeatSeconds;
    song.events.push_back({frameAt(t), 0x90, kDemoNote, static_cast<unsigned char>(h.velocity)});
    // Released an eighth later the way keyboards send it: a note-on of velocity 0.
    song.events.push_back({frameAt(t + kDemoBeatSeconds / 2), 0x90, kDemoNote, 0});
  }
  song.endFrame = frameAt(kDemoBeats * kDemoBeatSeconds);
  return song;
}

int64_t RenderLengthFrames(const MidiFileSong& song, int sampleRate) {
  return song.endFrame + static_cast<int64_t>(std::llround(kTailSeconds * sampleRate));
}

namespace {

bool OutputIsAnInput(const RenderOptions& opts, const std::string& outputPath) {
  return SameFile(outputPath, opts.inputPath) || SameFile(outputPath, opts.stateIn) ||
         SameFile(outputPath, opts.presetFile) || SameFile(outputPath, opts.stateOut) ||
         outputPath == opts.stateOut;
}

// Streams the render into the WAV writer.
class WavSink : public RenderSink {
public:
  explicit WavSink(WavWriter& writer) : mWriter(writer) {}
  bool Take(const float* interleaved, int64_t frames, std::string* error) override {
    return mWriter.Write(interleaved, frames, error);
  }

private:
  WavWriter& mWriter;
};

void PrintSummary(const RenderSummary& s, double gainDb, std::ostream& out) {
  out << "kt412: wrote " << s.outputPath << ": " << std::fixed << std::setprecision(3) << s.seconds
      << " s, peak " << DbText(s.peak);
  if (s.normalizeGainDb != 0.0)
    out << ", normalized by " << std::showpos << std::setprecision(2) << s.normalizeGainDb << std::noshowpos
        << " dB";
  if (s.clippedSamples > 0) {
    // The gain that brings this peak down to full scale, to a tenth of a dB.
    const double fit = gainDb - std::ceil(20.0 * std::log10(s.peak) * 10.0) / 10.0;
    out << ", " << s.clippedSamples << " samples clipped (try --gain " << std::setprecision(1) << fit << ")";
  }
  if (s.controllerMoves > 0) out << ", " << s.controllerMoves << " controller moves";
  out << "\n";
}

int RenderOneShotCommand(QiKt412& plug, const RenderOptions& opts, std::ostream& out, std::ostream& err,
                         RenderSummary* summary) {
  std::string error;
  const std::string outputPath =
      opts.outputPath.empty() ? DefaultOneShotPath(opts.note, opts.velocity) : opts.outputPath;
  if (OutputIsAnInput(opts, outputPath)) return Fail(err, "output '" + outputPath + "' is also an input or state file");
  if (!opts.stateOut.empty() && !SaveStateFile(plug, opts.stateOut, &error)) return Fail(err, error);
  OneShotSpec spec;
  spec.note = opts.note;
  spec.velocity = opts.velocity;
  spec.lengthSeconds = opts.lengthSeconds;
  spec.normalize = opts.normalize;
  spec.normalizeDb = opts.normalizeDb;
  spec.gain = static_cast<float>(std::pow(10.0, opts.gainDb / 20.0));
  OneShot shot;
  if (!RenderOneShot(plug, opts.sampleRate, opts.blockSize, spec, &shot, &error) ||
      !WriteWavFile(outputPath, opts.sampleRate, 2, opts.format, shot.samples.data(), shot.frames, &error))
    return Fail(err, error);
  RenderSummary s;
  s.outputPath = outputPath;
  s.frames = shot.frames;
  s.seconds = static_cast<double>(shot.frames) / opts.sampleRate;
  s.peak = shot.peak;
  s.clippedSamples = opts.format != WavSampleFormat::kFloat32 ? shot.overs : 0;
  s.hostSamplePos = plug.SamplePosition();
  s.normalizeGainDb = shot.gainDb;
  PrintSummary(s, opts.gainDb, out);
  if (summary) *summary = s;
  return 0;
}

}  // namespace

void FilterSongEvents(const RenderOptions& opts, MidiFileSong* song) {
  if (opts.notes.empty() && opts.channel == 0) return;
  std::vector<MidiFileEvent> kept;
  for (const MidiFileEvent& e : song->events) {
    if (opts.channel != 0 && e.Channel() != opts.channel - 1) continue;
    if (e.IsNoteOn() && !opts.notes.empty() &&
        std::find(opts.notes.begin(), opts.notes.end(), e.data1) == opts.notes.end())
      continue;
    kept.push_back(e);
  }
  song->events = std::move(kept);
}

std::string DefaultOneShotPath(int note, int velocity) {
  return "kt412-" + std::to_string(note) + "-v" + std::to_string(velocity) + ".wav";
}

int RunRender(const RenderOptions& opts, std::ostream& out, std::ostream& err, RenderSummary* summary) {
  if (opts.help) {
    out << RenderUsage();
    return 0;
  }
  std::string error;

  // Without --preset-dir no preset folder is read: a render depends on its options only.
  QiKt412 plug(opts.presetDir);
  plug.SetSampleRate(opts.sampleRate);
  plug.SetBlockSize(opts.blockSize);
  plug.Reset();
  plug.OnParamReset();  // every parameter's default reaches the voice

  if (!opts.stateIn.empty() && !LoadStateFile(plug, opts.stateIn, &error)) return Fail(err, error);
  if (!opts.presetFile.empty() && !LoadPresetOption(plug, opts.presetFile, &error)) return Fail(err, error);
  for (const std::string& s : opts.settings)
    if (!ApplyParamSetting(plug, s, &error)) return Fail(err, error);
  for (const std::string& l : opts.learns)
    if (!ApplyLearn(plug, l, &error)) return Fail(err, error);

  if (opts.listParams) {
    if (!opts.stateOut.empty() && !SaveStateFile(plug, opts.stateOut, &error)) return Fail(err, error);
    ListParams(plug, out);
    return 0;
  }

  if (opts.note >= 0) return RenderOneShotCommand(plug, opts, out, err, summary);

  MidiFileSong song;
  if (opts.inputPath.empty()) {
    song = DemoSong(opts.sampleRate);
  } else if (!ReadMidiFile(opts.inputPath, opts.sampleRate, &song, &error)) {
    return Fail(err, error);
  }
  FilterSongEvents(opts, &song);

  const std::string outputPath = opts.outputPath.empty() ? DefaultOutputPath(opts.inputPath) : opts.outputPath;
  if (OutputIsAnInput(opts, outputPath)) return Fail(err, "output '" + outputPath + "' is also an input or state file");

  const int64_t totalFrames = RenderLengthFrames(song, opts.sampleRate);
  if (totalFrames * 2 * BytesPerSample(opts.format) > kMaxWavDataBytes)
    return Fail(err, "the render would be " + std::to_string(totalFrames / opts.sampleRate) +
                         " s long, more than a WAV file can hold at this rate and format");

  WavWriter writer;
  if (!writer.Open(outputPath, opts.sampleRate, 2, opts.format, &error)) return Fail(err, error);
  if (!opts.stateOut.empty() && !SaveStateFile(plug, opts.stateOut, &error)) {
    writer.Abort();
    return Fail(err, error);
  }

  // With --host au the same blocks come from the plug-in library, driven
  // through its component entry as a host drives it.
  AUPluginLibrary lib;
  std::unique_ptr<AUHostUnit> unit;
  if (opts.host == "au") {
    if (!lib.Load(opts.auLibrary.empty() ? DefaultAULibraryPath() : opts.auLibrary, &error)) {
      writer.Abort();
      return Fail(err, error);
    }
    unit = std::make_unique<AUHostUnit>(lib);
    if (!unit->IsOpen() || unit->Prepare(opts.sampleRate, static_cast<UInt32>(opts.blockSize)) != noErr ||
        !PrepareAUUnit(*unit, plug)) {
      writer.Abort();
      return Fail(err, "the plug-in library refused to open or prepare an instance");
    }
  }

  // The gain scales the instrument's output, as a fader after it would; the
  // sound itself is rendered as the model prescribes.
  const float gain = static_cast<float>(std::pow(10.0, opts.gainDb / 20.0));
  WavSink sink(writer);
  RenderLoopResult loop;
  if (!RunRenderLoop(plug, unit.get(), song.events, totalFrames, opts.blockSize, gain, sink, &loop, &error)) {
    writer.Abort();
    return Fail(err, error);
  }
  if (!writer.Commit(&error)) return Fail(err, error);

  const bool integerFormat = opts.format != WavSampleFormat::kFloat32;
  RenderSummary s;
  s.outputPath = outputPath;
  s.frames = totalFrames;
  s.seconds = static_cast<double>(totalFrames) / opts.sampleRate;
  s.peak = loop.peak;
  s.clippedSamples = integerFormat ? loop.overs : 0;
  s.controllerMoves = unit ? ComponentEventCount(unit->Unit()) : static_cast<int>(plug.ControllerMoves());
  s.hostSamplePos = plug.SamplePosition();
  PrintSummary(s, opts.gainDb, out);
  if (summary) *summary = s;
  return 0;
}
