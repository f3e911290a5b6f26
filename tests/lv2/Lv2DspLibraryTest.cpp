// The DSP library, which a host loads to run the sound, carries no drawing
// code: none of the image, font or window libraries among what it needs, and
// no editor built into it (the UI library has the editor).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "lv2/Lv2Rig.h"

namespace {

std::string OutputOf(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

}  // namespace

TEST(Lv2DspLibrary, NeedsNoImageFontOrWindowLibraryAndHoldsNoEditor) {
  lv2test::World world;
  ASSERT_NE(world.Plugin(), nullptr);
  char* path = lilv_file_uri_parse(lilv_node_as_uri(lilv_plugin_get_library_uri(world.Plugin())), nullptr);
  ASSERT_NE(path, nullptr);
  const std::string library = path;
  lilv_free(path);

  const std::string dynamic = OutputOf("readelf -d '" + library + "' 2>&1");
  ASSERT_NE(dynamic.find("libstdc++"), std::string::npos) << dynamic;  // the listing is there
  for (const char* lib : {"libpng", "libz.", "libfreetype", "libfontconfig", "libX11", "libxcb", "libXext", "libdbus"})
    EXPECT_EQ(dynamic.find(lib), std::string::npos) << lib << " is needed:\n" << dynamic;

  const std::string symbols = OutputOf("nm -C '" + library + "' 2>&1");
  ASSERT_NE(symbols.find("QiKt412::ProcessDoubleReplacing"), std::string::npos) << "no symbol table to look at";
  for (const char* code : {"IGraphics", "IControl::", "IKnobMultiControl", "PresetFunctionsMenu", "PIX_", "png_", "GDI_"})
    EXPECT_EQ(symbols.find(code), std::string::npos) << code << " is built in";
}
