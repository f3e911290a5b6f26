// The plug-in library's class info keeps the MIDI-learn bindings of an instance.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "AUHost.h"

namespace {

constexpr UInt32 kDecay = 2;
constexpr UInt32 kLearn = 11;
constexpr int kParams = 17;

class AUStateLearn : public ::testing::Test {
protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(lib.Load(DefaultAULibraryPath(), &error)) << error;
  }

  // Moves controller cc to value in a rendered block.
  static void MoveController(AUHostUnit& unit, int cc, int value) {
    std::vector<float> l(256), r(256);
    MusicDeviceMIDIEvent(unit.Unit(), 0xB0, static_cast<UInt32>(cc), static_cast<UInt32>(value), 10);
    ASSERT_EQ(unit.Render(256, l.data(), r.data()), noErr);
  }

  // The class info of unit with its "midi-learn" entry replaced by table.
  static CFMutableDictionaryRef StateWithTable(AUHostUnit& unit, const std::vector<int8_t>& table) {
    return MakeStateDictionary(KtComponentDescription(), unit.StateBytes(), &table);
  }

  AUPluginLibrary lib;
};

TEST_F(AUStateLearn, ASavedStateBindsItsControllersInANewInstance) {
  AUHostUnit learner(lib);
  ASSERT_EQ(learner.Prepare(48000.0, 256), noErr);
  ASSERT_EQ(learner.SetParam(kLearn, 1.0f), noErr);
  ASSERT_EQ(learner.SetParam(kDecay, 0.25f), noErr);
  MoveController(learner, 74, 30);  // learns controller 74 for Decay
  ASSERT_EQ(learner.SetParam(kLearn, 0.0f), noErr);
  CFPropertyListRef saved = nullptr;
  ASSERT_EQ(learner.SaveState(&saved), noErr);

  AUHostUnit restored(lib);
  ASSERT_EQ(restored.Prepare(48000.0, 256), noErr);
  ASSERT_EQ(restored.RestoreState(saved), noErr);
  CFRelease(saved);
  MoveController(restored, 74, 127);
  EXPECT_EQ(restored.GetParam(kDecay), 1.0f) << "controller 74 should drive Decay after the restore";

  // A state without the entry (saved before bindings were kept) still restores.
  AUHostUnit older(lib);
  ASSERT_EQ(older.Prepare(48000.0, 256), noErr);
  CFMutableDictionaryRef plain = MakeStateDictionary(KtComponentDescription(), learner.StateBytes());
  EXPECT_EQ(older.RestoreState(plain), noErr);
  CFRelease(plain);
}

TEST_F(AUStateLearn, AMalformedBindingTableIsRefusedAndChangesNothing) {
  AUHostUnit unit(lib);
  ASSERT_EQ(unit.Prepare(48000.0, 256), noErr);
  ASSERT_EQ(unit.SetParam(kDecay, 0.5f), noErr);
  const std::vector<uint8_t> before = unit.StateBytes();

  AUHostUnit other(lib);
  ASSERT_EQ(other.Prepare(48000.0, 256), noErr);
  ASSERT_EQ(other.SetParam(kDecay, 0.75f), noErr);
  std::vector<int8_t> good(kParams, -1);
  std::vector<int8_t> shortTable(kParams - 1, -1), longTable(kParams + 1, -1), negative(kParams, -1);
  negative[3] = -7;
  for (const auto& table : {shortTable, longTable, negative}) {
    CFMutableDictionaryRef state = StateWithTable(other, table);
    EXPECT_NE(unit.RestoreState(state), noErr);
    CFRelease(state);
    EXPECT_EQ(unit.StateBytes(), before) << "a refused state must leave every parameter as it was";
  }
  CFMutableDictionaryRef state = StateWithTable(other, good);
  EXPECT_EQ(unit.RestoreState(state), noErr);
  CFRelease(state);
  EXPECT_EQ(unit.GetParam(kDecay), 0.75f);
}

}  // namespace
