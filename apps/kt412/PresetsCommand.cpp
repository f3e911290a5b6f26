// The kt412 presets command: prints the preset menu the editor's browser shows.
#include "PresetsCommand.h"

#include <ostream>

#include "instrument/PresetBrowser.h"
#include "instrument/QiKt412.h"

namespace {
int Fail(std::ostream& err, const std::string& message) {
  err << "kt412: error: " << message << "\n";
  return 2;
}
}  // namespace

int RunPresets(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string dir;
  bool dirGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help") {
      out << "usage: kt412 presets [--preset-dir DIR]\n"
             "\n"
             "Prints the preset menu of the editor: the preset folder on the first line,\n"
             "then its folders (indented) and presets by name, in the order the browser\n"
             "and the Left/Right buttons use. The folder is DIR, else $KT412_PRESET_DIR,\n"
             "else $XDG_DATA_HOME (~/.local/share) + /Quorvane Instruments/Quorvane KT-412\n"
             "Presets/; it receives the factory presets when it has none yet.\n";
      return 0;
    }
    if (a == "--preset-dir" || a.rfind("--preset-dir=", 0) == 0) {
      if (a == "--preset-dir") {
        if (i + 1 >= args.size()) return Fail(err, "option --preset-dir needs a value");
        dir = args[++i];
      } else {
        dir = a.substr(13);
      }
      if (dir.empty()) return Fail(err, "option --preset-dir needs a path");
      dirGiven = true;
      continue;
    }
    return Fail(err, "unknown argument '" + a + "' (see kt412 presets --help)");
  }
  if (!dirGiven) dir = DefaultPresetBasePath();
  if (dir.empty()) return Fail(err, "no preset folder: neither KT412_PRESET_DIR, XDG_DATA_HOME nor HOME is set");

  // Seeding is what an instrument does first; here its failure is worth a message.
  std::string error;
  int copied = 0;
  if (!SeedFactoryPresets(dir, &copied, &error)) return Fail(err, error);
  // Made as a host makes it, so the folder is seeded and scanned exactly as the editor would.
  QiKt412 plug(dir);
  out << "Preset folder: " << plug.Presets().BasePath() << "\n";
  std::string tree;
  plug.Presets().Scan()->Print(&tree);
  out << tree;
  return 0;
}
