// The instrument's render entry: note timing within blocks, the two output
// channels, note-on kinds, the LED, and a render path free of locks.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "InstrumentRig.h"

using namespace kttest;

namespace {

// Renders blocks of `block` frames and returns the left channel of `total` frames.
std::vector<double> RenderFrames(QiKt412& plug, int total, int block) {
  std::vector<double> out;
  while (static_cast<int>(out.size()) < total) {
    int n = std::min(block, total - static_cast<int>(out.size()));
    Block b = Render(plug, n);
    out.insert(out.end(), b.left.begin(), b.left.end());
  }
  return out;
}

}  // namespace

TEST(RenderNoteTiming, NoteOnAtOffset37StartsTheHitAtFrame37) {
  QiKt412 plug;
  Prepare(plug, 64);
  RefVoice ref;
  // A first hit rings, so frames 0..36 of the second block carry its sound.
  NoteOn(plug, 0, 40, 100);
  ref.Hit(40, 100);
  Block first = Render(plug, 64);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(first.left[i], ref.Next()) << "frame " << i;

  NoteOn(plug, 37, 50, 90);
  Block second = Render(plug, 64);
  for (int i = 0; i < 64; ++i) {
    if (i == 37) ref.Hit(50, 90);
    ASSERT_EQ(second.left[i], ref.Next()) << "frame " << i;
  }
}

TEST(RenderNoteTiming, NoteOnBeyondTheBlockPlaysInTheNextBlock) {
  QiKt412 plug;
  Prepare(plug, 64);
  RefVoice ref;
  NoteOn(plug, 70, 33, 127);
  Block first = Render(plug, 64);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(first.left[i], ref.Next()) << "frame " << i;
  // Still waiting, now 6 frames into the next block.
  ASSERT_EQ(plug.MidiQueue().Count(), 1);
  EXPECT_EQ(plug.MidiQueue().Peek()->offset, 6);

  Block second = Render(plug, 64);
  for (int i = 0; i < 64; ++i) {
    if (i == 6) ref.Hit(33, 127);
    ASSERT_EQ(second.left[i], ref.Next()) << "frame " << i;
  }
  EXPECT_TRUE(plug.MidiQueue().Empty());
}

TEST(RenderNoteTiming, NoteOnsAtOneOffsetSoundWithTheLastNoteAndVelocity) {
  QiKt412 plug;
  Prepare(plug, 64);
  SetParam(plug, kMidiTuneFlag, 1.0);
  SetParam(plug, kMidiAccentFlag, 1.0);
  RefVoice ref;
  ref.voice.setMidiTuneFlag(1);
  ref.voice.setMidiAccentFlag(1);
  NoteOn(plug, 10, 45, 30);
  NoteOn(plug, 10, 57, 120);
  Block b = Render(plug, 64);
  for (int i = 0; i < 64; ++i) {
    if (i == 10) {
      ref.Hit(45, 30);
      ref.Hit(57, 120);
    }
    ASSERT_EQ(b.left[i], ref.Next()) << "frame " << i;
  }
  // Note 57 is A3: 220 Hz with Pitch 0.
  EXPECT_FLOAT_EQ(plug.Voice().getFrequency(), 220.0f);
}

TEST(RenderChannels, BothChannelsCarryHalfTheVoiceOutput) {
  QiKt412 plug;
  Prepare(plug, 256);
  RefVoice ref;
  NoteOn(plug, 3, 33, 100);
  int nonZero = 0;
  for (int blk = 0; blk < 8; ++blk) {
    Block b = Render(plug, 256);
    for (int i = 0; i < 256; ++i) {
      if (blk == 0 && i == 3) ref.Hit(33, 100);
      const double expected = ref.Next();
      ASSERT_EQ(b.left[i], expected) << "block " << blk << " frame " << i;
      ASSERT_EQ(b.right[i], b.left[i]) << "block " << blk << " frame " << i;
      if (expected != 0.0) ++nonZero;
    }
  }
  EXPECT_GT(nonZero, 1000);  // the comparison covered real sound, not silence
}

TEST(RenderNoteKinds, NoteOnWithVelocityZeroIsANoteOffAndDoesNotCutTheHit) {
  QiKt412 plug;
  Prepare(plug, 512);
  RefVoice ref;
  NoteOn(plug, 0, 33, 100);
  ref.Hit(33, 100);
  Render(plug, 512);
  for (int i = 0; i < 512; ++i) ref.Next();

  NoteOn(plug, 100, 33, 0);  // running-status note-off
  Block b = Render(plug, 512);
  for (int i = 0; i < 512; ++i) ASSERT_EQ(b.left[i], ref.Next()) << "frame " << i;
  // The LED counter was not restarted either: two whole blocks since the hit.
  EXPECT_EQ(plug.LedCounter(), 1024);
  EXPECT_TRUE(plug.MidiQueue().Empty());
}

TEST(RenderNoteKinds, NoteOffPitchBendProgramChangeAndAftertouchLeaveTheSoundAlone) {
  QiKt412 plug;
  Prepare(plug, 128);
  RefVoice ref;
  NoteOn(plug, 0, 33, 100);
  ref.Hit(33, 100);
  const unsigned char statuses[] = {0x80, 0xE0, 0xC0, 0xA0, 0xD0, 0xF8};
  int offset = 5;
  for (unsigned char status : statuses) {
    IMidiMsg msg(offset, status, 60, 64);
    plug.ProcessMidiMsg(&msg);
    offset += 7;
  }
  Block b = Render(plug, 128);
  for (int i = 0; i < 128; ++i) ASSERT_EQ(b.left[i], ref.Next()) << "frame " << i;
  EXPECT_TRUE(plug.MidiQueue().Empty());
}

TEST(RenderNoteKinds, NoteOnOnAnyChannelTriggers) {
  QiKt412 plug;
  Prepare(plug, 64);
  NoteOn(plug, 0, 33, 100, 9);
  Render(plug, 64);
  EXPECT_EQ(plug.LedState(), 1);
  EXPECT_EQ(plug.LedCounter(), 64);
}

TEST(RenderLed, LitAtFrameZeroGoesDarkAtTheEndOfTheBlockWhereTheCountPasses10000) {
  QiKt412 plug;
  Prepare(plug, 512);
  EXPECT_EQ(plug.LedState(), 0);
  NoteOn(plug, 0, 33, 100);
  // 512 frames per block: after block k the count is 512 (k + 1); it first
  // exceeds 10000 in block 19 (10240 frames), whose end turns the LED off.
  for (int k = 0; k < 19; ++k) {
    Render(plug, 512);
    ASSERT_EQ(plug.LedState(), 1) << "after block " << k;
  }
  Render(plug, 512);
  EXPECT_EQ(plug.LedCounter(), 10240);
  EXPECT_EQ(plug.LedState(), 0);
}

TEST(RenderLed, AHitDuringTheLitPeriodRestartsTheCount) {
  QiKt412 plug;
  Prepare(plug, 512);
  NoteOn(plug, 0, 33, 100);
  for (int k = 0; k < 15; ++k) Render(plug, 512);
  NoteOn(plug, 500, 33, 100);
  Render(plug, 512);
  EXPECT_EQ(plug.LedCounter(), 12);
  for (int k = 0; k < 19; ++k) Render(plug, 512);
  EXPECT_EQ(plug.LedState(), 1);
  Render(plug, 512);
  EXPECT_EQ(plug.LedState(), 0);
}

TEST(RenderEdges, ZeroFramesWritesNothingAndKeepsQueuedOffsets) {
  QiKt412 plug;
  Prepare(plug, 64);
  NoteOn(plug, 20, 33, 100);
  double left = 7.0, right = 8.0;
  double* outs[2] = {&left, &right};
  plug.ProcessDoubleReplacing(nullptr, outs, 0);
  EXPECT_EQ(left, 7.0);
  EXPECT_EQ(right, 8.0);
  ASSERT_EQ(plug.MidiQueue().Count(), 1);
  EXPECT_EQ(plug.MidiQueue().Peek()->offset, 20);
}

TEST(RenderEdges, LateMessageWithNegativeOffsetPlaysAtFrameZero) {
  QiKt412 plug;
  Prepare(plug, 64);
  RefVoice ref;
  NoteOn(plug, -3, 33, 100);
  ref.Hit(33, 100);
  Block b = Render(plug, 64);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(b.left[i], ref.Next()) << "frame " << i;
}

TEST(RenderEdges, BlockSizeSplitDoesNotChangeTheSound) {
  // The same MIDI at the same absolute frames, rendered in blocks of 512 and
  // of 37, gives the same samples.
  auto run = [](int block) {
    QiKt412 plug;
    Prepare(plug, block);
    std::vector<double> out;
    const int hits[] = {0, 1000, 4321};
    int frame = 0;
    while (frame < 6000) {
      int n = std::min(block, 6000 - frame);
      for (int h : hits)
        if (h >= frame && h < frame + n) NoteOn(plug, h - frame, 33, 100);
      Block b = Render(plug, n);
      out.insert(out.end(), b.left.begin(), b.left.end());
      frame += n;
    }
    return out;
  };
  EXPECT_EQ(run(512), run(37));
}

TEST(RenderReset, ResetTunesTheVoiceAndSizesTheQueueFromTheBlockSize) {
  QiKt412 plug;
  EXPECT_EQ(plug.MidiQueue().Capacity(), IMidiQueue::CapacityForBlock(0));
  plug.SetSampleRate(44100.0);
  plug.SetBlockSize(8192);
  plug.Reset();
  EXPECT_EQ(plug.Voice().getSamplingRate(), 44100.0);
  EXPECT_EQ(plug.MidiQueue().Capacity(), 8192 * IMidiQueue::kMessagesPerFrame);
}

TEST(RenderReset, ResetBeforeAnyBlockSizeKeepsRoomForMessages) {
  // A host that resets before it sets a block size must not leave the queue
  // with no room: every note would be dropped.
  QiKt412 plug;
  plug.SetSampleRate(48000.0);
  plug.Reset();
  plug.OnParamReset();
  EXPECT_EQ(plug.MidiQueue().Capacity(), IMidiQueue::CapacityForBlock(0));
  NoteOn(plug, 0, 33, 100);
  EXPECT_EQ(plug.MidiQueue().Count(), 1);
}

TEST(RenderThreads, RenderRunsWhileAnotherThreadHoldsThePluginMutex) {
  QiKt412 plug;
  Prepare(plug, 256);
  NoteOn(plug, 0, 33, 100);
  std::atomic<bool> held{false}, release{false}, timedOut{false};
  std::thread holder([&] {
    IPluginBase::IMutexLock lock(&plug);
    held = true;
    // Gives up after 10 s so that a render that waits for the mutex fails
    // the test instead of hanging it.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!release) {
      if (std::chrono::steady_clock::now() > deadline) {
        timedOut = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  while (!held) std::this_thread::yield();
  std::vector<double> out = RenderFrames(plug, 4096, 256);
  release = true;
  holder.join();
  EXPECT_FALSE(timedOut) << "the render waited for the plug-in mutex";
  EXPECT_EQ(out.size(), 4096u);
  EXPECT_EQ(plug.LedState(), 1);
}

TEST(RenderReset, RenderingBeforeAnyResetPlaysAtTheDefaultRateInsteadOfNaN) {
  // A host that keeps the default 44100 Hz may never set a rate, so Reset
  // never runs: the unit is initialised (every parameter handed over) and
  // renders.
  QiKt412 plug;
  ASSERT_EQ(plug.GetSampleRate(), 44100.0);
  plug.OnParamReset();
  RefVoice ref(44100.0);
  NoteOn(plug, 0, 33, 100);
  ref.Hit(33, 100);
  Block b = Render(plug, 2048);
  int sounding = 0;
  for (int i = 0; i < 2048; ++i) {
    ASSERT_EQ(b.left[static_cast<size_t>(i)], ref.Next()) << i;
    if (b.left[static_cast<size_t>(i)] != 0.0) ++sounding;
  }
  EXPECT_GT(sounding, 1000);
}
