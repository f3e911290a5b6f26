// kt412: command-line front end of the KT-412 bass drum.
#include <iostream>
#include <string>
#include <vector>

#include "ExportCommand.h"
#include "PresetsCommand.h"
#include "Progress.h"
#include "PlayCommand.h"
#include "RenderCommand.h"
#include "SnapshotCommand.h"
#include "ValidateCommand.h"
#include "util/UTIL_AtomicFile.h"

namespace {
void Usage(std::ostream& out) {
  out << "usage: kt412 render [options] [FILE.mid...] render MIDI (or the demo, or one --note) to WAV\n"
         "       kt412 export [options] -o FOLDER     render presets as one-shots and SFZ kits\n"
         "       kt412 snapshot [options]             draw the editor into a PNG file\n"
         "       kt412 play [options]                 play live with the editor open (JACK)\n"
         "       kt412 presets [--preset-dir DIR]     list the preset folder as the editor's menu\n"
         "       kt412 validate [options] [LIBRARY]   check the Audio Unit library as a host would\n"
         "(kt412 COMMAND --help for the options of each)\n";
}
}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// The leak checker of sanitizer builds: RtAudio's PulseAudio back end keeps
// a few blocks of its own (and of libpulse's) to the end of the process,
// even after its stream is closed. They are not ours to free.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:librtaudio.so\nleak:libpulse.so\n";
}
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif

int main(int argc, char** argv) {
  // A program may take over its signals; a plug-in's library never does.
  UTIL_AtomicFile::RemoveTemporaryFilesOnSignals();
  if (argc < 2) {
    std::cerr << "kt412: error: no command (render, export, snapshot, presets or play; see kt412 --help)\n";
    return 2;
  }
  const std::string command = argv[1];
  if (command == "-h" || command == "--help" || command == "help") {
    Usage(std::cout);
    return 0;
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "presets") return RunPresets(args, std::cout, std::cerr);
  std::string error;
  if (command == "play") {
    PlayOptions opts;
    if (!ParsePlayArgs(args, &opts, &error)) {
      std::cerr << "kt412: error: " << error << "\n";
      return 2;
    }
    return RunPlay(opts, std::cout, std::cerr);
  }
  if (command == "snapshot") {
    SnapshotOptions opts;
    if (!ParseSnapshotArgs(args, &opts, &error)) {
      std::cerr << "kt412: error: " << error << "\n";
      return 2;
    }
    return RunSnapshot(opts, std::cout, std::cerr);
  }
  if (command == "validate") {
    ValidateOptions vopts;
    if (!ParseValidateArgs(args, &vopts, &error)) {
      std::cerr << "kt412: error: " << error << "\n";
      return 2;
    }
    return RunValidate(vopts, std::cout, std::cerr);
  }
  if (command == "export") {
    ExportOptions eopts;
    if (!ParseExportArgs(args, &eopts, &error)) {
      std::cerr << "kt412: error: " << error << "\n";
      return 2;
    }
    return RunExport(eopts, std::cout, std::cerr, Progress::StderrIsTerminal());
  }
  if (command != "render") {
    std::cerr << "kt412: error: unknown command '" << command
              << "' (commands: render, export, snapshot, presets, play, validate)\n";
    return 2;
  }
  RenderOptions opts;
  if (!ParseRenderArgs(args, &opts, &error)) {
    std::cerr << "kt412: error: " << error << "\n";
    return 2;
  }
  if (opts.inputs.size() > 1 && !opts.help && !opts.listParams)
    return RunRenderBatch(opts, std::cout, std::cerr, Progress::StderrIsTerminal());
  return RunRender(opts, std::cout, std::cerr);
}
