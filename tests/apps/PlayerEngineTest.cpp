// The player's render of server cycles: every frame of a cycle longer than the block, MIDI at its frame, new lengths from another thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "PlayerEngine.h"
#include "instrument/QiKt412.h"

namespace {

constexpr int kRate = 48000;
constexpr float kStale = 1234.5f;  // what a server's buffer held before the cycle

// Renders cycles of the given lengths (a note-on at frame noteAt of the
// first cycle, a second at frame 10 of the third) and returns the left channel.
std::vector<float> Play(int blockSize, const std::vector<int>& cycles, int noteAt, PlayerEngine* useEngine = nullptr) {
  QiKt412 plug;
  PlayerEngine own;
  PlayerEngine& engine = useEngine ? *useEngine : own;
  engine.Prepare(&plug, kRate, blockSize);
  std::vector<float> all;
  for (size_t c = 0; c < cycles.size(); ++c) {
    const int n = cycles[c];
    std::vector<float> left((size_t)n, kStale), right((size_t)n, kStale);
    std::vector<IMidiMsg> midi;
    if (c == 0) midi.emplace_back(noteAt, 0x90, 36, 100);
    if (c == 2) midi.emplace_back(10, 0x90, 40, 64);
    engine.Render(left.data(), right.data(), n, midi.data(), (int)midi.size());
    for (int i = 0; i < n; ++i) EXPECT_EQ(left[(size_t)i], right[(size_t)i]) << "cycle " << c << " frame " << i;
    all.insert(all.end(), left.begin(), left.end());
  }
  return all;
}

}  // namespace

// A cycle longer than the block the instrument was prepared for is rendered
// to its last frame, sample for sample as with a block that fits it, with
// each note at its frame even when it lies past the first block.
TEST(PlayerEngine, CyclesLongerThanTheBlockAreRenderedWhole) {
  const std::vector<int> cycles = {1024, 1024, 4096, 100, 2048};
  const std::vector<float> whole = Play(8192, cycles, 700);
  for (int block : {256, 1000, 64}) {
    SCOPED_TRACE(block);
    const std::vector<float> pieces = Play(block, cycles, 700);
    ASSERT_EQ(whole.size(), pieces.size());
    int stale = 0, differ = 0;
    for (size_t i = 0; i < whole.size(); ++i) {
      stale += pieces[i] == kStale;
      differ += pieces[i] != whole[i];
    }
    EXPECT_EQ(0, stale);
    EXPECT_EQ(0, differ);
  }
  // The note really is at frame 700: silence before it, sound after.
  float before = 0.0f, after = 0.0f;
  for (int i = 0; i < 700; ++i) before = std::max(before, std::fabs(whole[(size_t)i]));
  for (int i = 700; i < 1024; ++i) after = std::max(after, std::fabs(whole[(size_t)i]));
  EXPECT_EQ(0.0f, before);
  EXPECT_GT(after, 0.01f);
}

// A new cycle length announced from another thread while the audio thread
// renders changes nothing under it: the output is that of a quiet run.
TEST(PlayerEngine, ANewCycleLengthFromAnotherThreadDoesNotDisturbTheRender) {
  std::vector<int> cycles;
  for (int i = 0; i < 300; ++i) cycles.push_back(64 << (i % 6));  // 64 .. 2048
  const std::vector<float> quiet = Play(256, cycles, 5);
  PlayerEngine engine;
  std::atomic<bool> running{true};
  std::thread announcer([&] {
    for (int i = 0; running.load(); ++i) engine.NoteCycleLength(32 << (i % 7));
  });
  const std::vector<float> busy = Play(256, cycles, 5, &engine);
  running = false;
  announcer.join();
  EXPECT_TRUE(quiet == busy);
  EXPECT_EQ(2048, engine.LongestCycle());
  EXPECT_GT(engine.AnnouncedCycleLength(), 0);
}
