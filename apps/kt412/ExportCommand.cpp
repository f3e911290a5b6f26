// The kt412 export command: options, presets, the workers.
#include "ExportCommand.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <iomanip>
#include <mutex>
#include <ostream>
#include <sstream>
#include <thread>

#include "NumberList.h"
#include "OneShot.h"
#include "Progress.h"
#include "RenderCommand.h"
#include "instrument/InstrumentResources.h"
#include "instrument/PresetFile.h"
#include "instrument/QiKt412.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kPresetExtension = ".qipreset";
constexpr const char* kFactoryFolder = "resources/presets/Factory Presets/";

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool IsPresetFile(const fs::path& p) {
  const std::string name = p.filename().string();
  return name.size() > std::string(kPresetExtension).size() &&
         name.compare(name.size() - 9, 9, kPresetExtension) == 0;
}

std::string PresetName(const std::string& fileName) { return fileName.substr(0, fileName.size() - 9); }

}  // namespace

std::string ExportUsage() {
  return "usage: kt412 export [options] -o FOLDER\n"
         "\n"
         "Renders presets as one-shots, one WAV file per note and velocity, named\n"
         "FOLDER/<preset>/<preset> <note> v<velocity>.wav, and writes FOLDER/README.txt\n"
         "listing what was rendered. Each one-shot ends where its tail falls below\n"
         "-90 dBFS, followed by a fade of at most 5 ms over the silent tail.\n"
         "\n"
         "options:\n"
         "  -o, --output FOLDER    where the pack goes (made if missing; files already\n"
         "                         there are replaced whole, never half-written)\n"
         "      --presets PATH...  preset files (.qipreset) and folders of them, up to the\n"
         "                         next option (default: the factory presets)\n"
         "      --notes LIST       MIDI notes, e.g. 36 or 35,36 or 24-48 (default 36)\n"
         "      --velocities LIST  velocities 1..127 (default 32,64,96,127)\n"
         "  -f, --format FORMAT    24 (default), 16 or float\n"
         "      --sfz              also write <preset>/<preset>.sfz, a kit mapping each\n"
         "                         note to its key and each velocity to a layer\n"
         "  -r, --rate HZ          sample rate (default 48000)\n"
         "  -b, --block FRAMES     render block size (default 512)\n"
         "  -j, --jobs N           presets rendered at once (default: one per core)\n"
         "  -h, --help             print this help and exit\n"
         "\n"
         "A preset that cannot be read is reported and skipped; the others are still\n"
         "exported and the exit status is 1. Bad options exit with status 2.\n";
}

bool ParseExportArgs(const std::vector<std::string>& args, ExportOptions* opts, std::string* error) {
  bool inPresets = false;
  size_t presetsBefore = 0;  // paths named before the latest --presets
  auto presetsWithoutPaths = [&]() { return inPresets && opts->presets.size() == presetsBefore; };
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg.empty() || arg[0] != '-' || arg == "-") {
      if (!inPresets) {
        *error = "unexpected '" + arg + "' (preset files and folders follow --presets)";
        return false;
      }
      opts->presets.push_back(arg);
      continue;
    }
    if (presetsWithoutPaths()) {
      *error = "--presets needs preset files or folders";
      return false;
    }
    inPresets = false;
    std::string value;
    bool inlineValue = false;
    if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
      value = arg.substr(arg.find('=') + 1);
      arg = arg.substr(0, arg.find('='));
      inlineValue = true;
    }
    auto take = [&](std::string* out) {
      if (inlineValue) {
        *out = value;
        return true;
      }
      if (i + 1 >= args.size()) {
        *error = "option " + arg + " needs a value";
        return false;
      }
      *out = args[++i];
      return true;
    };
    std::string v;
    if (arg == "-h" || arg == "--help") {
      opts->help = true;
    } else if (arg == "--sfz") {
      opts->sfz = true;
    } else if (arg == "--presets") {
      presetsBefore = opts->presets.size();
      if (inlineValue) opts->presets.push_back(value);
      inPresets = true;
    } else if (arg == "-o" || arg == "--output") {
      if (!take(&v)) return false;
      if (v.empty()) {
        *error = "option " + arg + " needs a folder";
        return false;
      }
      opts->outputDir = v;
    } else if (arg == "--notes") {
      if (!take(&v) || !ParseNumberList("note", v, 0, 127, &opts->notes, error)) return false;
    } else if (arg == "--velocities") {
      if (!take(&v) || !ParseNumberList("velocity", v, 1, 127, &opts->velocities, error)) return false;
    } else if (arg == "-f" || arg == "--format") {
      if (!take(&v)) return false;
      if (!ParseWavSampleFormat(v, &opts->format)) {
        *error = "unknown sample format '" + v + "' (use float, 16 or 24)";
        return false;
      }
    } else if (arg == "-r" || arg == "--rate") {
      if (!take(&v) || !ParseRangedInt("sample rate", v, kMinSampleRate, kMaxSampleRate, &opts->sampleRate, error))
        return false;
    } else if (arg == "-b" || arg == "--block") {
      if (!take(&v) || !ParseRangedInt("block size", v, kMinBlockSize, kMaxBlockSize, &opts->blockSize, error))
        return false;
    } else if (arg == "-j" || arg == "--jobs") {
      if (!take(&v) || !ParseRangedInt("jobs", v, 1, 256, &opts->jobs, error)) return false;
    } else {
      *error = "unknown option '" + args[i] + "' (see kt412 export --help)";
      return false;
    }
  }
  if (presetsWithoutPaths()) {
    *error = "--presets needs preset files or folders";
    return false;
  }
  if (!opts->help && opts->outputDir.empty()) {
    *error = "no output folder (give -o FOLDER)";
    return false;
  }
  std::sort(opts->notes.begin(), opts->notes.end());
  std::sort(opts->velocities.begin(), opts->velocities.end());
  return true;
}

bool CollectExportPresets(const ExportOptions& opts, std::vector<ExportPreset>* presets, std::string* error) {
  std::vector<ExportPreset> found;
  auto addFolder = [&](const std::string& folder) {
    std::vector<ExportPreset> inFolder;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->is_regular_file(ec) && IsPresetFile(it->path()))
        inFolder.push_back({PresetName(it->path().filename().string()), it->path().string(), ""});
    }
    std::sort(inFolder.begin(), inFolder.end(), [](const ExportPreset& a, const ExportPreset& b) {
      return Lower(a.name) != Lower(b.name) ? Lower(a.name) < Lower(b.name) : a.path < b.path;
    });
    found.insert(found.end(), inFolder.begin(), inFolder.end());
    return !inFolder.empty();
  };

  if (opts.presets.empty()) {
    if (!addFolder(InstrumentResourceFolder() + kFactoryFolder)) {
      for (const BuiltInResource* r : BuiltInResourcesUnder(kFactoryFolder)) {
        const std::string file = fs::path(r->path).filename().string();
        if (IsPresetFile(file))
          found.push_back({PresetName(file), "", std::string(reinterpret_cast<const char*>(r->data), r->size)});
      }
    }
  }
  for (const std::string& p : opts.presets) {
    std::error_code ec;
    if (fs::is_directory(p, ec)) {
      if (!addFolder(p)) {
        *error = "no preset files (.qipreset) in '" + p + "'";
        return false;
      }
    } else if (fs::exists(p, ec)) {
      // A named file is taken whatever its name ends with: a broken one is
      // reported when it is loaded.
      const std::string file = fs::path(p).filename().string();
      found.push_back({IsPresetFile(file) ? PresetName(file) : fs::path(p).stem().string(), p, ""});
    } else {
      *error = "preset '" + p + "' does not exist";
      return false;
    }
  }
  for (size_t a = 0; a < found.size(); ++a) {
    for (size_t b = 0; b < a; ++b) {
      if (found[a].name == found[b].name) {
        *error = "two presets are called '" + found[a].name + "' ('" + found[b].path + "' and '" + found[a].path +
                 "'): their files would collide";
        return false;
      }
    }
  }
  if (found.empty()) {
    *error = "no presets to export";
    return false;
  }
  *presets = found;
  return true;
}

std::string OneShotFileName(const std::string& preset, int note, int velocity) {
  return preset + " " + std::to_string(note) + " v" + std::to_string(velocity) + ".wav";
}

namespace {

// The preset's values, or false with the reason it cannot be exported.
bool LoadExportPreset(const ExportPreset& preset, PresetValues* values, std::string* error) {
  if (preset.path.empty()) {
    *values = ParsePresetText(preset.text);
  } else if (!ReadPresetFile(preset.path, values, error)) {
    return false;
  }
  if (values->Count() == 0) {
    *error = "preset '" + (preset.path.empty() ? preset.name : preset.path) + "' holds no NAME=VALUE line";
    return false;
  }
  return true;
}

// Renders one hit of the preset into a fresh instrument, prepared as
// `kt412 render --preset FILE --note N --velocity V` prepares its own, so the
// file is the one that command writes.
bool ExportOneShot(const ExportOptions& opts, const PresetValues& values, int note, int velocity,
                   const std::string& path, int64_t* frames, std::string* error) {
  QiKt412 plug(std::string{});
  plug.SetSampleRate(opts.sampleRate);
  plug.SetBlockSize(opts.blockSize);
  plug.Reset();
  plug.OnParamReset();
  {
    IPluginBase::IMutexLock lock(&plug);
    for (int k = 0; k < PresetValues::kLines; ++k) {
      if (!values.present[static_cast<size_t>(k)]) continue;
      plug.GetParam(k)->SetNormalized(values.value[static_cast<size_t>(k)]);
      plug.OnParamChange(k);
    }
  }
  OneShotSpec spec;
  spec.note = note;
  spec.velocity = velocity;
  OneShot shot;
  if (!RenderOneShot(plug, opts.sampleRate, opts.blockSize, spec, &shot, error) ||
      !WriteWavFile(path, opts.sampleRate, 2, opts.format, shot.samples.data(), shot.frames, error))
    return false;
  *frames = shot.frames;
  return true;
}

void ExportPresetFiles(const ExportOptions& opts, const ExportPreset& preset, Progress& bar,
                       ExportedPreset* result) {
  result->name = preset.name;
  result->source = preset.path.empty() ? "built-in factory preset" : preset.path;
  PresetValues values;
  if (!LoadExportPreset(preset, &values, &result->error)) {
    for (size_t k = 0; k < opts.notes.size() * opts.velocities.size(); ++k) bar.Step(preset.name + " (skipped)");
    return;
  }
  const std::string folder = (fs::path(opts.outputDir) / preset.name).string();
  std::error_code ec;
  fs::create_directories(folder, ec);
  for (int note : opts.notes) {
    for (int velocity : opts.velocities) {
      ExportedFile f{note, velocity, OneShotFileName(preset.name, note, velocity), 0};
      bar.Step(f.file);
      std::string error;
      if (!ExportOneShot(opts, values, note, velocity, folder + "/" + f.file, &f.frames, &error)) {
        if (result->error.empty()) result->error = error;
        continue;
      }
      result->files.push_back(f);
    }
  }
  if (opts.sfz && !result->files.empty()) {
    std::string error;
    if (!WriteFileAtomically(folder + "/" + preset.name + ".sfz", SfzText(*result, opts.velocities), &error) &&
        result->error.empty())
      result->error = error;
  }
}

std::string Seconds(int64_t frames, int rate) {
  std::ostringstream s;
  s << std::fixed << std::setprecision(3) << static_cast<double>(frames) / rate << " s";
  return s.str();
}

}  // namespace

std::string SfzText(const ExportedPreset& preset, const std::vector<int>& velocities) {
  std::ostringstream s;
  s << "// " << preset.name << ": one-shots of the KT-412 bass drum, one region per note and velocity layer\n"
    << "<group>\nloop_mode=one_shot\n";
  for (const ExportedFile& f : preset.files) {
    // The layer reaches down to one above the next softer velocity rendered.
    const auto at = std::find(velocities.begin(), velocities.end(), f.velocity);
    const int lo = at == velocities.begin() || at == velocities.end() ? 1 : *(at - 1) + 1;
    const int hi = at == velocities.end() || at + 1 == velocities.end() ? 127 : f.velocity;
    // sample= comes last: its value may hold spaces and runs to the end of the line.
    s << "<region> key=" << f.note << " lovel=" << lo << " hivel=" << hi << " sample=" << f.file << "\n";
  }
  return s.str();
}

std::string PackReadmeText(const ExportOptions& opts, const std::vector<ExportedPreset>& presets) {
  std::ostringstream s;
  const char* format = opts.format == WavSampleFormat::kPcm16   ? "16-bit"
                       : opts.format == WavSampleFormat::kPcm24 ? "24-bit"
                                                                : "32-bit float";
  s << "One-shots of the Quorvane KT-412 bass drum, made by kt412 export.\n\n"
    << "Stereo " << format << " WAV at " << opts.sampleRate << " Hz. Each file is one hit of one preset at one\n"
    << "MIDI note and velocity, ending where its tail falls below " << kOneShotFloorDb << " dBFS, followed by at\n"
    << "most " << kOneShotFadeSeconds * 1000 << " ms of that silent tail faded to zero.\n";
  s << "Notes:";
  for (int n : opts.notes) s << " " << n;
  s << "\nVelocities:";
  for (int v : opts.velocities) s << " " << v;
  s << "\n";
  if (opts.sfz) s << "Each preset folder also holds <preset>.sfz, a kit of its files.\n";
  for (const ExportedPreset& p : presets) {
    s << "\n" << p.name << "/  (" << p.source << ")\n";
    for (const ExportedFile& f : p.files) s << "  " << f.file << "  " << Seconds(f.frames, opts.sampleRate) << "\n";
    if (!p.error.empty()) s << "  NOT EXPORTED: " << p.error << "\n";
  }
  return s.str();
}

int RunExport(const ExportOptions& opts, std::ostream& out, std::ostream& err, bool progress) {
  if (opts.help) {
    out << ExportUsage();
    return 0;
  }
  std::string error;
  std::vector<ExportPreset> presets;
  if (!CollectExportPresets(opts, &presets, &error)) {
    err << "kt412: error: " << error << "\n";
    return 2;
  }
  std::error_code ec;
  fs::create_directories(opts.outputDir, ec);
  if (!fs::is_directory(opts.outputDir, ec)) {
    err << "kt412: error: cannot make the output folder '" << opts.outputDir << "'\n";
    return 2;
  }

  const auto start = std::chrono::steady_clock::now();
  std::vector<ExportedPreset> results(presets.size());
  const int perPreset = static_cast<int>(opts.notes.size() * opts.velocities.size());
  Progress bar(err, progress, static_cast<int>(presets.size()) * perPreset);
  // One preset per worker at a time: each renders into instruments of its own.
  int workers = opts.jobs > 0 ? opts.jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  workers = std::min<int>(workers, static_cast<int>(presets.size()));
  std::atomic<size_t> next{0};
  auto work = [&]() {
    for (size_t k = next++; k < presets.size(); k = next++) ExportPresetFiles(opts, presets[k], bar, &results[k]);
  };
  std::vector<std::thread> threads;
  for (int w = 1; w < workers; ++w) threads.emplace_back(work);
  work();
  for (std::thread& t : threads) t.join();
  bar.Finish();

  if (!WriteFileAtomically((fs::path(opts.outputDir) / "README.txt").string(), PackReadmeText(opts, results), &error))
    err << "kt412: error: " << error << "\n";
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  int files = 0, failed = 0;
  const ExportedFile* shortest = nullptr;
  const ExportedFile* longest = nullptr;
  std::string shortestOf, longestOf;
  for (const ExportedPreset& p : results) {
    if (!p.error.empty()) {
      ++failed;
      err << "kt412: error: " << p.name << ": " << p.error << "\n";
    }
    for (const ExportedFile& f : p.files) {
      ++files;
      if (!shortest || f.frames < shortest->frames) shortest = &f, shortestOf = p.name;
      if (!longest || f.frames > longest->frames) longest = &f, longestOf = p.name;
    }
  }
  out << "kt412: exported " << files << " one-shots of " << (results.size() - static_cast<size_t>(failed)) << " of "
      << results.size() << " presets to " << opts.outputDir << " in " << std::fixed << std::setprecision(2)
      << seconds << " s with " << workers << (workers == 1 ? " worker" : " workers");
  if (shortest)
    out << "; shortest " << shortest->file << " (" << Seconds(shortest->frames, opts.sampleRate) << "), longest "
        << longest->file << " (" << Seconds(longest->frames, opts.sampleRate) << ")";
  out << "\n";
  return failed > 0 || !error.empty() ? 1 : 0;
}
