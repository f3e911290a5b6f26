// The shipped factory presets: every file is a complete preset in the
// instrument's line format, with the momentary and stepping parameters at 0,
// a name the browser shows in full, and a sound of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

const char* const kNames[17] = {"Pitch",      "Accent",       "Decay",          "TuneDecay",
                                "Attack",     "Hold",         "TuneDepth",      "NoiseDecay",
                                "Distort",    "MidiTuneFlag", "MidiAccentFlag", "Learn",
                                "clear",      "Trigger",      "Led",            "Left",
                                "Right"};

std::vector<std::filesystem::path> PresetFiles()
{
  std::vector<std::filesystem::path> files;
  for (const auto& e : std::filesystem::directory_iterator(PRESET_DIR))
    if (e.path().extension() == ".qipreset") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(FactoryPresets, AtLeastSixteenWithNamesTheBrowserShowsInFull)
{
  const auto files = PresetFiles();
  EXPECT_GE(files.size(), 16u);
  for (const auto& f : files)
  {
    const std::string name = f.stem().string();
    EXPECT_FALSE(name.empty());
    EXPECT_LE(name.size(), 20u) << name;
  }
}

TEST(FactoryPresets, EveryFileHoldsSeventeenNormalisedLinesInParameterOrder)
{
  std::set<std::vector<std::string>> sounds;
  for (const auto& f : PresetFiles())
  {
    SCOPED_TRACE(f.filename().string());
    std::ifstream in(f);
    std::string line;
    std::vector<std::string> values;
    int k = 0;
    while (std::getline(in, line))
    {
      ASSERT_LT(k, 17) << "extra line: " << line;
      const std::string prefix = std::string(kNames[k]) + "=";
      ASSERT_EQ(line.compare(0, prefix.size(), prefix), 0) << line;
      const std::string value = line.substr(prefix.size());
      // "%f": digits, a point, six decimals; a value from 0 to 1.
      ASSERT_EQ(value.size(), 8u) << line;
      ASSERT_EQ(value[1], '.') << line;
      double v = -1;
      char rest = 0;
      ASSERT_EQ(std::sscanf(value.c_str(), "%lf%c", &v, &rest), 1) << line;
      EXPECT_GE(v, 0.0);
      EXPECT_LE(v, 1.0);
      if (k >= 9 && k <= 10)
      {
        EXPECT_TRUE(v == 0.0 || v == 1.0) << line;  // switches
      }
      if (k >= 11)
      {
        EXPECT_EQ(v, 0.0) << line;  // learn, clear, trigger, LED, stepping
      }
      if (k < 11) values.push_back(value);
      ++k;
    }
    EXPECT_EQ(k, 17);
    EXPECT_TRUE(sounds.insert(values).second) << "same settings as another preset";
  }
}

}  // namespace
