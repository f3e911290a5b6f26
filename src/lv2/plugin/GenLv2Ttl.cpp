// Build-time generator of the KT-412 bundle's manifest.ttl and kt412.ttl from the instrument's own parameters.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

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

// A preset file: one "Name=value" line per parameter. Values it does not
// name keep the parameter's default; a file naming none is skipped.
bool ReadPreset(const std::filesystem::path& path, const IPluginBase& plug, Lv2BundleInfo::Preset* preset) {
  std::ifstream in(path);
  if (!in) return false;
  preset->name = path.stem().string();
  preset->values.clear();
  for (int i = 0; i < plug.NParams(); ++i) preset->values.push_back(plug.GetParam(i)->GetDefault());
  int named = 0;
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = line.substr(0, eq);
    char* end = nullptr;
    const double v = std::strtod(line.c_str() + eq + 1, &end);
    if (end == line.c_str() + eq + 1 || !std::isfinite(v)) continue;
    for (int i = 0; i < plug.NParams(); ++i) {
      const IParam* p = plug.GetParam(i);
      if (name != p->GetNameForHost()) continue;
      preset->values[static_cast<size_t>(i)] = std::clamp(v, p->GetMin(), p->GetMax());
      ++named;
    }
  }
  return named > 0;
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
      else std::cerr << "kt412_lv2_ttl: warning: " << file.string() << " names no parameter\n";
    }
  }
  info.units = Kt412PortUnits();
  const Lv2PortLayout layout(plug, Kt412PortRoles());
  if (!WriteFile(dir + "/manifest.ttl", Lv2ManifestTtl(info))) return 1;
  if (!WriteFile(dir + "/" + info.ttlFile, Lv2PluginTtl(plug, layout, info))) return 1;
  return 0;
}
