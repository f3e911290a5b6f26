// The render command's options: the help text and the argument parser.
#include <sstream>

#include "NumberList.h"
#include "OneShot.h"
#include "RenderCommand.h"

std::string RenderUsage() {
  std::ostringstream s;
  s << "usage: kt412 render [options] [FILE.mid...]\n"
       "       kt412 render --note N [--velocity V] [--length auto|SECONDS] [--normalize [DBFS]]\n"
       "\n"
       "Plays a Standard MIDI File (format 0 or 1) through the KT-412 bass drum and\n"
       "writes the sound to a stereo WAV file. Without FILE it plays the built-in demo:\n"
       "four bars of kicks at 120 bpm with varied velocities. Every note-on with a\n"
       "velocity above 0, on any channel, starts a hit (velocity 0 is a note-off); the\n"
       "render continues "
    << kTailSeconds
    << " s past the last MIDI event. Several files are rendered at once, each to its\n"
       "own WAV file (named after it, in the folder -o names), one per core.\n"
       "\n"
       "options:\n"
       "  -o, --output PATH      WAV file to write (default: the input's name with .wav,\n"
       "                         or kt412-demo.wav, in the current folder)\n"
       "  -r, --rate HZ          sample rate, "
    << kMinSampleRate << ".." << kMaxSampleRate
    << " (default 48000)\n"
       "  -b, --block FRAMES     render block size, "
    << kMinBlockSize << ".." << kMaxBlockSize
    << " (default 512)\n"
       "  -f, --format FORMAT    float (32-bit float, default), 16 or 24 (integer PCM)\n"
       "  -g, --gain DB          gain applied to the output, "
    << kMinGainDb << ".." << kMaxGainDb
    << " dB (default 0). Hits\n"
       "                         closer than about 30 ms pile up past full scale;\n"
       "                         16- and 24-bit files clip them, and the summary then\n"
       "                         counts the clipped samples and names a gain that fits\n"
       "      --set NAME=VALUE   set a parameter to a plain value in its own units\n"
       "                         (e.g. --set Decay=0.9 --set Pitch=-5; switches take\n"
       "                         0/1 or off/on); may be repeated, applied in order\n"
       "      --learn CC=NAME    bind MIDI controller CC (0..127) to parameter NAME, as\n"
       "                         MIDI learn does; control changes of CC in the file then\n"
       "                         move it. Only Pitch .. MidiAccentFlag can be bound.\n"
       "                         Before any binding every parameter listens to\n"
       "                         controller 0, and MidiAccentFlag (the highest) takes it.\n"
       "      --state FILE       load a saved state (17 values, 136 bytes) first\n"
       "      --preset FILE      load a preset file (.qipreset) after --state\n"
       "      --preset-dir DIR   start as a host does, with DIR as the preset folder:\n"
       "                         seeded with the factory presets if it has none, and\n"
       "                         its first factory preset loaded (otherwise the render\n"
       "                         starts from the defaults and reads no preset folder)\n"
       "      --save-state FILE  save the state after all options are applied\n"
       "      --list-params      print the parameters (after --state and --set) and exit\n"
       "      --host au          render through the Audio Unit plug-in library, driving\n"
       "                         it as a host does (same output as the default path)\n"
       "      --au-library PATH  the plug-in library for --host au (default: the one\n"
       "                         built beside kt412)\n"
       "      --notes LIST       play only these notes, e.g. 35,36 or 35-36 (default: all)\n"
       "      --channel C        play only MIDI channel C, 1..16 (default: all)\n"
       "  -j, --jobs N           files rendered at once (default: one per core)\n"
       "      --note N           render one hit of MIDI note N (0..127), no MIDI file\n"
       "      --velocity V       its velocity, 1..127 (default 127)\n"
       "      --length L         auto (default): end where the tail falls below "
    << kOneShotFloorDb << " dBFS,\n"
       "                         then fade at most "
    << kOneShotFadeSeconds * 1000 << " ms of the silent tail; or SECONDS\n"
       "      --normalize [DBFS] scale the hit's peak to DBFS (default "
    << kDefaultNormalizeDb << ") and report the gain\n"
       "  -h, --help             print this help and exit\n"
       "\n"
       "Options are applied in this order: --preset-dir, --state, --preset, then each\n"
       "--set, then each --learn.\n"
       "Errors (bad options, unreadable or malformed input, unwritable output) print one\n"
       "line and exit with status 2, leaving nothing at the output path.\n";
  return s.str();
}

bool ParseRenderArgs(const std::vector<std::string>& args, RenderOptions* opts, std::string* error) {
  bool optionsEnded = false;
  bool velocityGiven = false, lengthGiven = false;
  error->clear();
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      if (opts->inputs.empty()) opts->inputPath = arg;
      opts->inputs.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    // --name=value or --name value (or -x value).
    std::string value;
    bool inlineValue = false;
    if (arg.rfind("--", 0) == 0) {
      size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
        inlineValue = true;
      }
    }
    auto takeValue = [&](std::string* out) {
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
    auto noValue = [&]() {
      if (inlineValue) *error = "option " + arg + " takes no value";
      return !inlineValue;
    };

    std::string v;
    if (arg == "-h" || arg == "--help") {
      if (!noValue()) return false;
      opts->help = true;
    } else if (arg == "--list-params") {
      if (!noValue()) return false;
      opts->listParams = true;
    } else if (arg == "-o" || arg == "--output") {
      if (!takeValue(&v)) return false;
      if (v.empty()) {
        *error = "option " + arg + " needs a path";
        return false;
      }
      opts->outputPath = v;
    } else if (arg == "-r" || arg == "--rate" || arg == "--sample-rate") {
      if (!takeValue(&v) || !ParseRangedInt("sample rate", v, kMinSampleRate, kMaxSampleRate, &opts->sampleRate, error))
        return false;
    } else if (arg == "-b" || arg == "--block" || arg == "--block-size") {
      if (!takeValue(&v) || !ParseRangedInt("block size", v, kMinBlockSize, kMaxBlockSize, &opts->blockSize, error))
        return false;
    } else if (arg == "-f" || arg == "--format") {
      if (!takeValue(&v)) return false;
      if (!ParseWavSampleFormat(v, &opts->format)) {
        *error = "unknown sample format '" + v + "' (use float, 16 or 24)";
        return false;
      }
    } else if (arg == "-g" || arg == "--gain") {
      if (!takeValue(&v)) return false;
      double db = 0.0;
      if (!ParseDouble(v, &db)) {
        *error = "gain '" + v + "' is not a number of dB";
        return false;
      }
      if (db < kMinGainDb || db > kMaxGainDb) {
        std::ostringstream range;
        range << kMinGainDb << ".." << kMaxGainDb;
        *error = "gain " + v + " dB is outside " + range.str() + " dB";
        return false;
      }
      opts->gainDb = db;
    } else if (arg == "--set") {
      if (!takeValue(&v)) return false;
      opts->settings.push_back(v);
    } else if (arg == "--learn") {
      if (!takeValue(&v)) return false;
      opts->learns.push_back(v);
    } else if (arg == "--state") {
      if (!takeValue(&v)) return false;
      opts->stateIn = v;
    } else if (arg == "--preset" || arg == "--preset-dir") {
      if (!takeValue(&v)) return false;
      if (v.empty()) {
        *error = "option " + arg + " needs a path";
        return false;
      }
      (arg == "--preset" ? opts->presetFile : opts->presetDir) = v;
    } else if (arg == "--host") {
      if (!takeValue(&v)) return false;
      if (v != "au" && v != "cli") {
        *error = "unknown host '" + v + "' (use au, or leave --host out)";
        return false;
      }
      opts->host = v == "au" ? v : "";
    } else if (arg == "--au-library") {
      if (!takeValue(&v)) return false;
      opts->auLibrary = v;
    } else if (arg == "--save-state") {
      if (!takeValue(&v)) return false;
      opts->stateOut = v;
    } else if (arg == "--note") {
      if (!takeValue(&v) || !ParseRangedInt("note", v, 0, 127, &opts->note, error)) return false;
    } else if (arg == "--velocity") {
      if (!takeValue(&v) || !ParseRangedInt("velocity", v, 1, 127, &opts->velocity, error)) return false;
      velocityGiven = true;
    } else if (arg == "--length") {
      if (!takeValue(&v)) return false;
      lengthGiven = true;
      double seconds = 0.0;
      if (v == "auto") {
        opts->lengthSeconds = 0.0;
      } else if (!ParseDouble(v, &seconds) || seconds <= 0.0 || seconds > kOneShotMaxSeconds) {
        std::ostringstream range;
        range << kOneShotMaxSeconds;
        *error = "length '" + v + "' is neither auto nor a number of seconds above 0 and up to " + range.str();
        return false;
      } else {
        opts->lengthSeconds = seconds;
      }
    } else if (arg == "--normalize") {
      // The level is optional: inline, or the next word when it is a number.
      opts->normalize = true;
      double db = 0.0;
      if (!inlineValue && i + 1 < args.size() && ParseDouble(args[i + 1], &db)) value = args[++i], inlineValue = true;
      if (inlineValue) {
        if (!ParseDouble(value, &db) || db < kMinGainDb || db > 0.0) {
          std::ostringstream range;
          range << kMinGainDb << "..0";
          *error = "normalize level '" + value + "' is not a number of dBFS within " + range.str();
          return false;
        }
        opts->normalizeDb = db;
      }
    } else if (arg == "--notes") {
      if (!takeValue(&v) || !ParseNumberList("note", v, 0, 127, &opts->notes, error)) return false;
    } else if (arg == "--channel") {
      if (!takeValue(&v) || !ParseRangedInt("channel", v, 1, 16, &opts->channel, error)) return false;
    } else if (arg == "-j" || arg == "--jobs") {
      if (!takeValue(&v) || !ParseRangedInt("jobs", v, 1, 256, &opts->jobs, error)) return false;
    } else {
      *error = "unknown option '" + args[i] + "' (see kt412 render --help)";
      return false;
    }
  }
  if (opts->note >= 0) {
    if (!opts->inputs.empty()) *error = "--note renders one hit without a MIDI file; leave out '" + opts->inputs[0] + "'";
    else if (!opts->notes.empty() || opts->channel != 0) *error = "--notes and --channel filter MIDI, not a --note hit";
    else if (opts->host == "au") *error = "--note renders through the built-in instrument only";
    else if (opts->normalize && opts->gainDb != 0.0) *error = "--normalize sets the level itself; leave out --gain";
    if (!error->empty()) return false;
  } else if (velocityGiven || lengthGiven || opts->normalize) {
    *error = "--velocity, --length and --normalize belong to a --note hit";
    return false;
  }
  if (opts->inputs.size() > 1 && !opts->stateOut.empty()) {
    *error = "--save-state goes with a single render, not with several inputs";
    return false;
  }
  return true;
}

