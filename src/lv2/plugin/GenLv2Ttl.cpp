// Build-time generator of the KT-412 bundle's manifest.ttl and kt412.ttl from the instrument's own parameters.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::cerr << "usage: kt412_lv2_ttl BUNDLE_DIR DSP_BINARY [UI_BINARY]\n";
    return 2;
  }
  const std::string dir = argv[1];
  QiKt412 plug;
  Lv2BundleInfo info;
  info.uri = kKt412Lv2Uri;
  info.dspBinary = argv[2];
  info.ttlFile = "kt412.ttl";
  if (argc == 4) {
    info.uiUri = kKt412Lv2UiUri;
    info.uiBinary = argv[3];
  }
  info.units = Kt412PortUnits();
  const Lv2PortLayout layout(plug, Kt412PortRoles());
  if (!WriteFile(dir + "/manifest.ttl", Lv2ManifestTtl(info))) return 1;
  if (!WriteFile(dir + "/" + info.ttlFile, Lv2PluginTtl(plug, layout, info))) return 1;
  return 0;
}
