// Preset files: what the reader takes from good and bad files, the writer's text, locales, safe saving.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <locale.h>
#include <random>
#include <algorithm>

#include "EditorTestUtil.h"
#include "InstrumentRig.h"
#include "instrument/PresetFile.h"

using namespace kttest;

TEST(PresetParse, LinesGoByPositionAndOnlyTheFirstFifteenCount) {
  std::vector<double> v;
  for (int i = 0; i < 17; ++i) v.push_back(i / 20.0);
  PresetValues p = ParsePresetText(PresetLines(v));
  EXPECT_EQ(p.Count(), 15);
  for (int i = 0; i < 15; ++i) EXPECT_NEAR(p.value[static_cast<size_t>(i)], i / 20.0, 1e-7);
  // The name on a line is not read: a first line naming Decay still sets parameter 0.
  p = ParsePresetText("Decay=0.25\n");
  EXPECT_TRUE(p.present[0]);
  EXPECT_NEAR(p.value[0], 0.25, 1e-7);
  EXPECT_FALSE(p.present[2]);
}

TEST(PresetParse, BadLinesNumbersAndRangesLeaveOrClampTheirParameter) {
  const std::string text =
      "Pitch=0.5\n"          // 0 fine
      "no equals sign\n"     // 1 no match
      "=0.3\n"               // 2 empty name
      "Decay=abc\n"          // 3 not a number
      "Attack=nan\n"         // 4 not finite
      "Hold=inf\n"           // 5 not finite
      "TuneDepth=1e60\n"     // 6 beyond single precision
      "NoiseDecay=1.7\n"     // 7 clamped to 1
      "Distort=-0.4\n"       // 8 clamped to 0
      "MidiTuneFlag= +1\n"   // 9 blanks and a plus sign, as scanf takes them
      "AnameThatIsLongerThanThirtyTwoChars=0.5\n"  // 10 name too long
      "Learn=0.75xyz\n";     // 11 the number's prefix counts
  PresetValues p = ParsePresetText(text);
  EXPECT_TRUE(p.present[0]);
  for (int i : {1, 2, 3, 4, 5, 6, 10}) EXPECT_FALSE(p.present[static_cast<size_t>(i)]) << "line " << i;
  EXPECT_EQ(p.value[7], 1.0);
  EXPECT_EQ(p.value[8], 0.0);
  EXPECT_EQ(p.value[9], 1.0);
  EXPECT_NEAR(p.value[11], 0.75, 1e-7);
  for (int i : {12, 13, 14}) EXPECT_FALSE(p.present[static_cast<size_t>(i)]) << "past the end";
  // Empty and binary input read nothing and never fail.
  EXPECT_EQ(ParsePresetText("").Count(), 0);
  EXPECT_EQ(ParsePresetText(std::string("\0\xff\xfe=\n=", 6)).Count(), 0);
}

TEST(PresetParse, ALineLongerThanTheBufferCountsAsSeveralLines) {
  // 300 characters then "\n": pieces of 255 and 46 characters, lines 0 and 1.
  std::string text = std::string(300, 'x') + "\nAccent=0.5\n";
  PresetValues p = ParsePresetText(text);
  EXPECT_FALSE(p.present[0]);
  EXPECT_FALSE(p.present[1]);
  EXPECT_TRUE(p.present[2]);
  EXPECT_NEAR(p.value[2], 0.5, 1e-7);
}

TEST(PresetFile, SaveThenLoadRoundTripsToSixDecimalsAndStoresModesAsZero) {
  ScratchFolder folder;
  QiKt412 a;
  Prepare(a, 512);
  std::mt19937 rng(412);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (int p = kPitch; p <= kDistort; ++p) {
    a.GetParam(p)->SetNormalized(u(rng));
    a.OnParamChange(p);
  }
  SetParam(a, kMidiAccentFlag, 1.0);
  SetParam(a, kLearn, 1.0);
  const std::string path = folder / "Round.qipreset";
  std::string error;
  ASSERT_TRUE(a.SavePresetFile(path, &error)) << error;

  const std::string text = ReadText(path);
  int lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, 17);
  EXPECT_EQ(text.rfind("Pitch=", 0), 0u);
  EXPECT_NE(text.find("\nLearn=0.000000\n"), std::string::npos) << "learn mode is not part of a sound";
  EXPECT_NE(text.find("\nMidiAccentFlag=1.000000\n"), std::string::npos);
  EXPECT_NE(text.find("\nRight=0.000000\n"), std::string::npos);

  QiKt412 b;
  Prepare(b, 512);
  ASSERT_TRUE(b.loadProgram(path, &error)) << error;
  for (int p = kPitch; p <= kMidiAccentFlag; ++p)
    EXPECT_NEAR(b.GetParam(p)->GetNormalized(), a.GetParam(p)->GetNormalized(), 5e-7) << "parameter " << p;
  // The load reached the voice (same hit, to float precision of the stored values), the controls and the host.
  NoteOn(a, 0, 40, 100);
  NoteOn(b, 0, 40, 100);
  Block ha = Render(a, 2048), hb = Render(b, 2048);
  double diff = 0.0, peak = 0.0;
  for (size_t i = 0; i < ha.left.size(); ++i) {
    diff = std::max(diff, std::fabs(ha.left[i] - hb.left[i]));
    peak = std::max(peak, std::fabs(ha.left[i]));
  }
  EXPECT_GT(peak, 0.05);
  EXPECT_LT(diff, 1e-3 * peak);
  EXPECT_NEAR(b.Graphics()->GetControl(b.KnobIdx(kDecay))->GetValue(), a.GetParam(kDecay)->GetNormalized(), 5e-7);
  EXPECT_EQ(b.CountHostEvents(IPluginCLI::kParamValueChange), 15);
}

TEST(PresetFile, ALoadAppliesOnlyTheValuesItReadAndAMissingFileChangesNothing) {
  ScratchFolder folder;
  QiKt412 plug;
  Prepare(plug, 512);
  WriteText(folder / "short.qipreset", "Pitch=1.0\nAccent=oops\nDecay=0.9\n");
  std::string error;
  ASSERT_TRUE(plug.loadProgram(folder / "short.qipreset", &error));
  EXPECT_EQ(plug.GetParam(kPitch)->Value(), 12.0);
  EXPECT_EQ(plug.GetParam(kAccent)->Value(), 0.5) << "a value that did not parse is left alone";
  EXPECT_NEAR(plug.GetParam(kDecay)->Value(), 0.9, 1e-7);
  EXPECT_EQ(plug.GetParam(kHold)->Value(), 0.5) << "lines past the end leave their parameters";

  plug.ClearHostEvents();
  EXPECT_FALSE(plug.loadProgram(folder / "gone.qipreset", &error));
  EXPECT_NE(error.find("gone.qipreset"), std::string::npos);
  EXPECT_FALSE(plug.loadProgram(folder.Path(), &error)) << "a folder is not a preset";
  EXPECT_EQ(plug.NHostEvents(), 0);
  EXPECT_EQ(plug.GetParam(kPitch)->Value(), 12.0);
}

TEST(PresetFile, NumbersUseAPointUnderACommaLocale) {
  locale_t comma = newlocale(LC_ALL_MASK, "de_DE.UTF-8", static_cast<locale_t>(nullptr));
  if (!comma) GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed (scripts/install-deps.sh --test makes it)";
  locale_t previous = uselocale(comma);
  char probe[16];
  std::snprintf(probe, sizeof(probe), "%.1f", 0.5);
  EXPECT_STREQ(probe, "0,5") << "the locale really uses a comma";

  ScratchFolder folder;
  QiKt412 plug;
  SetParam(plug, kDecay, 0.25);
  std::string error;
  const bool saved = plug.SavePresetFile(folder / "comma.qipreset", &error);
  QiKt412 other;
  const bool loaded = other.loadProgram(folder / "comma.qipreset", &error);
  uselocale(previous);
  freelocale(comma);

  ASSERT_TRUE(saved);
  ASSERT_TRUE(loaded);
  EXPECT_NE(ReadText(folder / "comma.qipreset").find("\nDecay=0.250000\n"), std::string::npos);
  EXPECT_EQ(other.GetParam(kDecay)->Value(), 0.25);
}

TEST(PresetFile, AFailedSaveKeepsWhatWasThereAndLeavesNoTemporaryFile) {
  ScratchFolder folder;
  QiKt412 plug;
  // The target is a folder with something in it: the final rename must fail.
  WriteText(folder / "taken.qipreset/inside", "keep me");
  std::string error;
  EXPECT_FALSE(plug.SavePresetFile(folder / "taken.qipreset", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ReadText(folder / "taken.qipreset/inside"), "keep me");
  // A save into a folder that does not exist fails cleanly too.
  EXPECT_FALSE(plug.SavePresetFile(folder / "no/such/folder/x.qipreset", &error));
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder.Path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1) << "a temporary file was left behind";

  // Saving over an existing preset replaces it whole.
  WriteText(folder / "old.qipreset", "Pitch=0.000000\n");
  ASSERT_TRUE(plug.SavePresetFile(folder / "old.qipreset", &error)) << error;
  EXPECT_EQ(ReadText(folder / "old.qipreset").rfind("Pitch=0.500000\n", 0), 0u);
}

TEST(PresetFile, WriteNewFileNeverReplacesAFile) {
  ScratchFolder folder;
  WriteText(folder / "mine.qipreset", "mine");
  EXPECT_FALSE(WriteNewFile(folder / "mine.qipreset", "factory", nullptr));
  EXPECT_EQ(ReadText(folder / "mine.qipreset"), "mine");
  EXPECT_TRUE(WriteNewFile(folder / "new.qipreset", "factory", nullptr));
  EXPECT_EQ(ReadText(folder / "new.qipreset"), "factory");
}
