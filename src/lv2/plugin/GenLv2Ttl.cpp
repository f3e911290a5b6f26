// Build-time generator of the KT-412 bundle's manifest.ttl and kt412.ttl from the instrument's own parameters.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "instrument/PresetFile.h"
#include "lv2/describe/Lv2TtlWriter.h"
#include "lv2/plugin/Kt412Lv2.h"

namespace {

bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) std::cerr << "kt412_lv2_ttl: error: cannot write " << path << "\n";
  return static_cast<bool>(out);
}

// A factory preset as the instrument itself reads the file, in plain port
// values; a file setting no parameter is skipped with a warning.
bool ReadPreset(const std::filesystem::path& path, const IPluginBase& plug, Lv2BundleInfo::Preset* preset) {
  PresetValues values;
  std::string error;
  if (!ReadPresetFile(path.string(), &values, &error)) {
    std::cerr << "kt412_lv2_ttl: warning: " << error << "\n";
    return false;
  }
  if (values.Count() == 0) {
    std::cerr << "kt412_lv2_ttl: warning: " << path.string() << " sets no parameter\n";
    return false;
  }
  preset->name = path.stem().string();
  preset->values = PresetPlainValues(plug, values);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Options first: --presets DIR takes the factory presets (*.qipreset) of DIR.
  std::string presetDir;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--presets" && i + 1 < argc) {
      presetDir = argv[++i];
    } else {
      args.push_back(argv[i]);
    }
  }
  if (args.size() < 2 || args.size() > 3) {
    std::cerr << "usage: kt412_lv2_ttl [--presets DIR] BUNDLE_DIR DSP_BINARY [UI_BINARY]\n";
    return 2;
  }
  const std::string dir = args[0];
  QiKt412 plug;
  Lv2BundleInfo info;
  info.uri = kKt412Lv2Uri;
  info.dspBinary = args[1];
  info.ttlFile = "kt412.ttl";
  info.shortDescription = kKt412Lv2ShortDescription;
  info.description = kKt412Lv2Description;
  info.licenseUri = kKt412Lv2LicenseUri;
  info.licenseLabel = kKt412Lv2LicenseLabel;
  if (args.size() == 3) {
    info.uiUri = kKt412Lv2UiUri;
    info.uiBinary = args[2];
  }
  if (!presetDir.empty()) {
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(presetDir, ec))
      if (entry.path().extension() == ".qipreset") files.push_back(entry.path());
    // Listed by name, so the description does not depend on the folder's order.
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      Lv2BundleInfo::Preset preset;
      if (ReadPreset(file, plug, &preset)) info.presets.push_back(preset);
    }
  }
  info.units = Kt412PortUnits();
  const Lv2PortLayout layout(plug, Kt412PortRoles());
  if (!WriteFile(dir + "/manifest.ttl", Lv2ManifestTtl(info))) return 1;
  if (!WriteFile(dir + "/" + info.ttlFile, Lv2PluginTtl(plug, layout, info))) return 1;
  return 0;
}
