// IPluginBase presets: making, restoring, naming, the preset list chunk and source dumps.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "TestPlug.h"
#include "util/Base64.h"

namespace {

// Three parameters of different types: int 0..10, double 0..1, bool.
void InitMixed(TestPlug& plug) {
  plug.GetParam(0)->InitInt("Steps", 2, 0, 10);
  plug.GetParam(1)->InitDouble("Level", 0.5, 0, 1, 0.001);
  plug.GetParam(2)->InitBool("On", false);
}

double ChunkValue(const ByteChunk& chunk, int i) {
  double v = 0;
  chunk.Get(&v, i * 8);
  return v;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string TempPath(const char* tag) {
  return std::string(::testing::TempDir()) + "fwcore_" + tag + "_" + std::to_string(getpid()) + ".txt";
}

}  // namespace

TEST(Presets, EmptyListHasNothingToRestore) {
  TestPlug plug(3);
  EXPECT_STREQ(plug.GetPresetName(0), "");
  EXPECT_FALSE(plug.RestorePreset("x"));
  EXPECT_FALSE(plug.RestorePreset(0));
  EXPECT_FALSE(plug.RestorePreset(-1));
  plug.ModifyCurrentPreset("nothing");  // no current preset: no effect
  EXPECT_EQ(plug.presetsChanged, 0);
}

TEST(Presets, MakePresetTakesIntsAndDoublesByType) {
  TestPlug plug(3, "0-2", 2);
  InitMixed(plug);
  plug.MakePreset("Fat", 7, 0.125, 1);
  IPreset* p = plug.Preset(0);
  EXPECT_TRUE(p->mInitialized);
  EXPECT_STREQ(p->mName, "Fat");
  ASSERT_EQ(p->mChunk.Size(), 24);
  EXPECT_EQ(ChunkValue(p->mChunk, 0), 7.0);
  EXPECT_EQ(ChunkValue(p->mChunk, 1), 0.125);
  EXPECT_EQ(ChunkValue(p->mChunk, 2), 1.0);

  EXPECT_TRUE(plug.RestorePreset(0));
  EXPECT_EQ(plug.GetParam(0)->Value(), 7.0);
  EXPECT_EQ(plug.GetParam(1)->Value(), 0.125);
  EXPECT_TRUE(plug.GetParam(2)->Bool());
  EXPECT_EQ(plug.presetsChanged, 1);

  plug.MakePreset("Second", 1, 0.5, 0);
  plug.MakePreset("No room", 1, 0.5, 0);  // no uninitialised preset left
  EXPECT_STREQ(plug.GetPresetName(1), "Second");
}

TEST(Presets, RestoreByNameAndByIndex) {
  TestPlug plug(3, "0-2", 3);
  InitMixed(plug);
  plug.MakePreset("Soft", 1, 0.1, 0);
  plug.MakePreset("Hard", 9, 0.9, 1);
  plug.MakePreset("Hard", 5, 0.5, 0);  // same name: the first one wins
  EXPECT_TRUE(plug.RestorePreset("Hard"));
  EXPECT_EQ(plug.GetCurrentPresetIdx(), 1);
  EXPECT_EQ(plug.GetParam(0)->Value(), 9.0);
  EXPECT_FALSE(plug.RestorePreset("hard"));  // exact match only
  EXPECT_FALSE(plug.RestorePreset(""));
  EXPECT_FALSE(plug.RestorePreset(static_cast<const char*>(nullptr)));
  EXPECT_TRUE(plug.RestorePreset(2));
  EXPECT_EQ(plug.GetParam(0)->Value(), 5.0);
  EXPECT_EQ(plug.GetCurrentPresetIdx(), 2);
  EXPECT_FALSE(plug.RestorePreset(3));
  EXPECT_EQ(plug.GetCurrentPresetIdx(), 2);
}

TEST(Presets, EmptySlotBecomesTheNextUserPreset) {
  TestPlug plug(3, "0-2", 3);
  InitMixed(plug);
  plug.MakePreset("user preset 1", 1, 0.1, 0);
  plug.MakePreset("my user preset", 2, 0.2, 0);
  plug.GetParam(0)->Set(8);
  EXPECT_TRUE(plug.RestorePreset(2));
  EXPECT_STREQ(plug.GetPresetName(2), "user preset 3");
  EXPECT_TRUE(plug.Preset(2)->mInitialized);
  EXPECT_EQ(ChunkValue(plug.Preset(2)->mChunk, 0), 8.0);  // the current state
  EXPECT_EQ(plug.GetCurrentPresetIdx(), 2);
  EXPECT_EQ(plug.presetsChanged, 1);
}

TEST(Presets, NamedParamsTakeCurrentValuesForTheRest) {
  TestPlug plug(3, "0-2", 2);
  InitMixed(plug);
  plug.GetParam(1)->Set(0.75);
  plug.MakePresetFromNamedParams("Named", 2, 2, 1, 0, 4);
  const ByteChunk& chunk = plug.Preset(0)->mChunk;
  ASSERT_EQ(chunk.Size(), 24);
  EXPECT_EQ(ChunkValue(chunk, 0), 4.0);
  EXPECT_EQ(ChunkValue(chunk, 1), 0.75);  // not named: current value
  EXPECT_EQ(ChunkValue(chunk, 2), 1.0);

  // Every value can be named, the unusual 9.999e-08 included.
  plug.MakePresetFromNamedParams("Tiny", 1, 1, 9.999e-08);
  EXPECT_EQ(ChunkValue(plug.Preset(1)->mChunk, 1), 9.999e-08);
}

TEST(PresetsDeathTest, NamedParamOutsideTheListStops) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TestPlug plug(3, "0-2", 1);
  InitMixed(plug);
  EXPECT_DEATH(plug.MakePresetFromNamedParams("Bad", 1, 3, 1), "paramIdx >= 0 && paramIdx < n");
  EXPECT_DEATH(plug.MakePresetFromNamedParams("Bad", 1, -1, 1), "paramIdx >= 0 && paramIdx < n");
}

TEST(Presets, DefaultPresetsCopyTheCurrentState) {
  TestPlug plug(3, "0-2", 3);
  InitMixed(plug);
  plug.MakeDefaultPreset(nullptr, 1);
  EXPECT_STREQ(plug.GetPresetName(0), "Empty");
  plug.GetParam(0)->Set(6);
  plug.EnsureDefaultPreset();
  EXPECT_STREQ(plug.GetPresetName(1), "Empty");
  EXPECT_STREQ(plug.GetPresetName(2), "Empty");
  EXPECT_EQ(ChunkValue(plug.Preset(0)->mChunk, 0), 2.0);
  EXPECT_EQ(ChunkValue(plug.Preset(2)->mChunk, 0), 6.0);
  EXPECT_EQ(plug.GetNextUninitializedPreset(), nullptr);
}

TEST(Presets, FromChunkAndFromBlob) {
  TestPlug plug(3, "0-2", 3);
  InitMixed(plug);
  ByteChunk state;
  plug.GetParam(0)->Set(3);
  plug.SerializeState(&state);
  plug.MakePresetFromChunk("Chunk", &state);
  EXPECT_EQ(plug.Preset(0)->mChunk.Size(), 24);

  std::vector<char> text(static_cast<std::size_t>(Base64EncodedSize(state.Size())));
  base64encode(state.GetBytes(), text.data(), state.Size());
  plug.MakePresetFromBlob("Blob", text.data(), state.Size());
  ASSERT_EQ(plug.Preset(1)->mChunk.Size(), 24);
  EXPECT_EQ(std::memcmp(plug.Preset(1)->mChunk.GetBytes(), state.GetBytes(), 24), 0);

  // A blob shorter than the chunk size leaves zeros behind it.
  plug.MakePresetFromBlob("Short", "AAAAAAAA8D8=", 24);  // 1.0 as a double
  EXPECT_EQ(ChunkValue(plug.Preset(2)->mChunk, 0), 1.0);
  EXPECT_EQ(ChunkValue(plug.Preset(2)->mChunk, 2), 0.0);
}

TEST(Presets, PruneKeepsTheInitialisedInOrder) {
  TestPlug plug(3, "0-2", 5);
  InitMixed(plug);
  plug.MakePreset("A", 1, 0.1, 0);
  plug.MakePreset("B", 2, 0.2, 0);
  plug.Preset(0)->mInitialized = false;  // slots 0, 3 and 4 are empty now
  plug.Preset(3)->mInitialized = true;
  plug.Preset(3)->SetName("D");
  plug.PruneUninitializedPresets();
  ASSERT_EQ(plug.NPresets(), 2);
  EXPECT_STREQ(plug.GetPresetName(0), "B");
  EXPECT_STREQ(plug.GetPresetName(1), "D");
}

TEST(Presets, ModifyCurrentPresetStoresTheState) {
  TestPlug plug(3, "0-2", 2);
  InitMixed(plug);
  plug.MakePreset("A", 1, 0.1, 0);
  plug.RestorePreset(0);
  plug.GetParam(1)->Set(0.9);
  plug.ModifyCurrentPreset();
  EXPECT_STREQ(plug.GetPresetName(0), "A");
  EXPECT_EQ(ChunkValue(plug.Preset(0)->mChunk, 1), 0.9);
  plug.ModifyCurrentPreset("Renamed");
  EXPECT_STREQ(plug.GetPresetName(0), "Renamed");
  EXPECT_EQ(plug.Preset(0)->mChunk.Size(), 24);
}

TEST(Presets, LongNamesAreCut) {
  TestPlug plug(3, "0-2", 1);
  InitMixed(plug);
  std::string longName(400, 'n');
  plug.MakePreset(longName.c_str(), 1, 0.1, 0);
  EXPECT_EQ(std::string(plug.GetPresetName(0)), std::string(255, 'n'));
}

TEST(PresetList, ChunkRoundTrip) {
  TestPlug source(3, "0-2", 3), target(3, "0-2", 3);
  InitMixed(source);
  InitMixed(target);
  source.MakePreset("Soft", 1, 0.1, 0);
  source.MakePreset("Hard", 9, 0.9, 1);  // preset 2 stays empty
  ByteChunk chunk;
  ASSERT_TRUE(source.SerializePresets(&chunk));
  // 4 + 4 + 1 + 24, 4 + 4 + 1 + 24, 4 + 5 + 1
  EXPECT_EQ(chunk.Size(), 33 + 33 + 10);

  EXPECT_EQ(target.UnserializePresets(&chunk, 0), chunk.Size());
  EXPECT_STREQ(target.GetPresetName(0), "Soft");
  EXPECT_STREQ(target.GetPresetName(1), "Hard");
  EXPECT_STREQ(target.GetPresetName(2), "empty");
  EXPECT_FALSE(target.Preset(2)->mInitialized);
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(target.Preset(i)->mChunk.Size(), 24);
    EXPECT_EQ(std::memcmp(target.Preset(i)->mChunk.GetBytes(), source.Preset(i)->mChunk.GetBytes(), 24), 0);
  }
  // The current preset (0) is recalled at the end.
  EXPECT_EQ(target.GetParam(0)->Value(), 1.0);
  EXPECT_DOUBLE_EQ(target.GetParam(1)->Value(), 0.1);
}

TEST(PresetList, TruncatedChunkFailsWithoutTouchingLaterPresets) {
  TestPlug source(3, "0-2", 2), target(3, "0-2", 2);
  InitMixed(source);
  InitMixed(target);
  source.MakePreset("Soft", 1, 0.1, 0);
  source.MakePreset("Hard", 9, 0.9, 1);
  target.MakePreset("Keep A", 3, 0.3, 0);
  target.MakePreset("Keep B", 4, 0.4, 0);
  ByteChunk chunk;
  source.SerializePresets(&chunk);
  chunk.Resize(33 + 6);  // the second name is cut
  EXPECT_EQ(target.UnserializePresets(&chunk, 0), -1);
  EXPECT_STREQ(target.GetPresetName(0), "Soft");
  EXPECT_STREQ(target.GetPresetName(1), "Keep B");
  EXPECT_EQ(ChunkValue(target.Preset(1)->mChunk, 0), 4.0);
}

TEST(PresetDumps, SourceCodeOfTheCurrentValues) {
  TestPlug plug(3);
  InitMixed(plug);
  plug.GetParam(2)->Set(1);
  const char* names[] = {"kSteps", "kLevel", "kOn"};
  std::string path = TempPath("src");
  plug.DumpPresetSrcCode(path.c_str(), names);
  EXPECT_EQ(ReadFile(path),
            "  MakePresetFromNamedParams(\"name\", 3,\n"
            "    kSteps, 2,\n"
            "    kLevel, 0.500000,\n"
            "    kOn, true);\n");
  std::remove(path.c_str());
  plug.DumpPresetSrcCode("/nonexistent-dir/x.txt", names);  // cannot open: nothing happens
}

TEST(PresetDumps, BlobsOfPresets) {
  TestPlug plug(1, "0-2", 2);
  plug.GetParam(0)->InitDouble("p", 1.0, 0, 2, 0.01);
  plug.MakePreset("One", 1.0);
  plug.MakePreset("Two", 2.0);
  std::string path = TempPath("blob");
  plug.DumpPresetBlob(path.c_str());
  EXPECT_EQ(ReadFile(path), "MakePresetFromBlob(\"name\", \"AAAAAAAA8D8=\", 8);\n");
  plug.DumpBankBlob(path.c_str());
  EXPECT_EQ(ReadFile(path),
            "MakePresetFromBlob(\"One\", \"AAAAAAAA8D8=\", 8);\n"
            "MakePresetFromBlob(\"Two\", \"AAAAAAAAAEA=\", 8);\n");
  std::remove(path.c_str());

  TestPlug empty(1);
  empty.DumpPresetBlob(path.c_str());  // no current preset: nothing written
  EXPECT_EQ(access(path.c_str(), F_OK), -1);
}

TEST(PresetDumps, LargeChunksAreDumpedWhole) {
  const int n = 300;  // 2400 bytes of state, beyond a fixed 2048-byte text buffer
  TestPlug plug(n, "0-2", 1);
  for (int i = 0; i < n; ++i) plug.GetParam(i)->InitDouble("p", i * 0.5, 0, 1000, 0.5);
  plug.EnsureDefaultPreset();
  std::string path = TempPath("bank");
  plug.DumpBankBlob(path.c_str());
  std::string text = ReadFile(path);
  std::remove(path.c_str());
  std::string prefix = "MakePresetFromBlob(\"Empty\", \"";
  ASSERT_EQ(text.compare(0, prefix.size(), prefix), 0);
  std::size_t end = text.find('"', prefix.size());
  ASSERT_NE(end, std::string::npos);
  std::string blob = text.substr(prefix.size(), end - prefix.size());
  EXPECT_EQ(blob.size(), 3200u);  // 2400 bytes in Base64
  EXPECT_EQ(text.substr(end), "\", 2400);\n");
  std::vector<unsigned char> decoded(2400);
  EXPECT_EQ(base64decode(blob.c_str(), decoded.data(), 2400), 2400);
  EXPECT_EQ(std::memcmp(decoded.data(), plug.Preset(0)->mChunk.GetBytes(), 2400), 0);
}

TEST(PresetList, CutStateKeepsThePresetAsItWas) {
  TestPlug source(3, "0-2", 2), target(3, "0-2", 2);
  InitMixed(source);
  InitMixed(target);
  source.MakePreset("Soft", 1, 0.1, 0);
  source.MakePreset("Hard", 9, 0.9, 1);
  target.MakePreset("Keep", 4, 0.4, 0);  // preset 1 of the target stays empty
  ByteChunk chunk;
  source.SerializePresets(&chunk);
  chunk.Resize(33 + 9 + 16);  // the second preset's state lacks its last value
  EXPECT_EQ(target.UnserializePresets(&chunk, 0), -1);
  EXPECT_STREQ(target.GetPresetName(0), "Soft");
  // Not marked as holding a state it could not read.
  EXPECT_FALSE(target.Preset(1)->mInitialized);
  EXPECT_EQ(target.Preset(1)->mChunk.Size(), 0);
  // The live parameters end at the current preset again.
  EXPECT_EQ(target.GetParam(0)->Value(), 1.0);
}

namespace {

// A target whose preset 1 was emptied by reading a list in which it is empty:
// its flag is cleared but it still holds the bytes of its former state (0.9).
void EmptySecondPresetFromList(TestPlug& target) {
  TestPlug source(1, "0-2", 2);
  source.GetParam(0)->InitDouble("p", 0.5, 0, 1, 0.001);
  target.GetParam(0)->InitDouble("p", 0.5, 0, 1, 0.001);
  source.MakePreset("Only", 0.2);  // preset 1 of the source stays empty
  target.MakePreset("A", 0.3);
  target.MakePreset("B", 0.9);
  ByteChunk list;
  ASSERT_TRUE(source.SerializePresets(&list));
  ASSERT_EQ(target.UnserializePresets(&list, 0), list.Size());
  ASSERT_FALSE(target.Preset(1)->mInitialized);
}

}  // namespace

TEST(Presets, DefaultPresetIntoAnEmptiedSlotHoldsOnlyTheCurrentState) {
  TestPlug target(1, "0-2", 2);
  EmptySecondPresetFromList(target);
  target.GetParam(0)->Set(0.75);
  target.EnsureDefaultPreset();
  ASSERT_TRUE(target.Preset(1)->mInitialized);
  EXPECT_EQ(target.Preset(1)->mChunk.Size(), 8);
  target.GetParam(0)->Set(0.1);
  ASSERT_TRUE(target.RestorePreset(1));
  EXPECT_EQ(target.GetParam(0)->Value(), 0.75);
}

TEST(Presets, PresetFromChunkIntoAnEmptiedSlotHoldsOnlyThatChunk) {
  TestPlug target(1, "0-2", 2);
  EmptySecondPresetFromList(target);
  ByteChunk chunk;
  double v = 0.625;
  chunk.Put(&v);
  target.MakePresetFromChunk("C", &chunk);
  EXPECT_EQ(target.Preset(1)->mChunk.Size(), 8);
  ASSERT_TRUE(target.RestorePreset(1));
  EXPECT_EQ(target.GetParam(0)->Value(), 0.625);
}
