// The audio thread never waits: while it is inside the instrument (MIDI
// delivery and render) it makes no call that could block it, allocate or
// touch a file, however busy the other threads are with the same instance.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "RealtimeInterposer.h"
#include "instrument/StressDrive.h"

namespace {

// Runs call on a fresh thread marked as inside the render; returns how many
// violations it caused and the name of the first.
template <typename Call>
long ViolationsOf(Call call, std::string* name) {
  rtcheck::ResetCounts();
  std::thread t([&] {
    rtcheck::RenderScope scope;
    call();
  });
  t.join();
  *name = rtcheck::FirstViolation();
  return rtcheck::Violations();
}

}  // namespace

TEST(Interposer, CatchesEveryKindOfWaitingCallOnTheMarkedThreadOnly) {
  std::string name;
  // volatile keeps the optimiser from removing an allocation it can see through.
  void* volatile sink = nullptr;
  EXPECT_GE(ViolationsOf([&] { sink = std::malloc(16); }, &name), 1);
  EXPECT_EQ(name, "malloc");
  std::free(sink);
  EXPECT_GE(ViolationsOf([&] {
              sink = std::calloc(4, 4);
              std::free(sink);
            }, &name), 1);
  EXPECT_GE(ViolationsOf([&] { sink = new std::vector<int>(8); }, &name), 1);
  delete static_cast<std::vector<int>*>(sink);
  std::mutex m;
  EXPECT_EQ(ViolationsOf([&] { std::lock_guard<std::mutex> lock(m); }, &name), 1);
  EXPECT_EQ(name, "pthread_mutex_lock");
  EXPECT_EQ(ViolationsOf([] { sched_yield(); }, &name), 1);
  EXPECT_EQ(name, "sched_yield");
  EXPECT_GE(ViolationsOf([] { std::this_thread::sleep_for(std::chrono::microseconds(1)); }, &name), 1);
  EXPECT_TRUE(name == "nanosleep" || name == "clock_nanosleep") << name;
  EXPECT_GE(ViolationsOf([] { (void)!write(-1, "x", 1); }, &name), 1);
  EXPECT_EQ(name, "write");
  EXPECT_GE(ViolationsOf([] {
              if (FILE* f = std::fopen("/nonexistent-dir/x", "r")) std::fclose(f);
            }, &name), 1);
  EXPECT_EQ(name, "fopen");
  // The same calls on an unmarked thread, or after the mark is lifted, pass.
  rtcheck::ResetCounts();
  std::thread plain([&] {
    std::lock_guard<std::mutex> lock(m);
    std::free(std::malloc(16));
    sched_yield();
  });
  plain.join();
  EXPECT_EQ(rtcheck::Violations(), 0);
  EXPECT_GE(rtcheck::Intercepted(), 3);
}

TEST(RealtimeSafety, TheAudioThreadNeverWaitsWhileAnotherThreadWorksTheSameInstance) {
  rtcheck::ResetCounts();
  const kttest::StressCounts c = kttest::DriveAudioAndControlThreads(20000, [](bool inRender) {
    rtcheck::SetInRender(inRender);
  });
  const long intercepted = rtcheck::Intercepted();
  const long violations = rtcheck::Violations();
  std::printf("realtime: %ld blocks rendered, %ld control rounds (%ld editors attached, %ld states "
              "restored); %ld intercepted calls checked, %ld made by the audio thread in the render\n",
              c.blocks, c.controlRounds, c.editorsAttached, c.statesRestored, intercepted, violations);
  EXPECT_EQ(violations, 0) << "first: " << rtcheck::FirstViolation();
  EXPECT_EQ(c.blocks, 20000);
  EXPECT_EQ(c.unsoundSamples, 0);
  // The other thread really did its work meanwhile, through the calls the
  // interposer watches (locks and allocations).
  EXPECT_GT(c.controlRounds, 10);
  EXPECT_GT(c.editorsAttached, 2);
  EXPECT_GT(intercepted, 1000);
}

TEST(RealtimeSafety, HeavyMidiNeverMakesTheQueueAllocateAndWhatFindsItFullIsCounted) {
  // Each run's MIDI is queued before the run is rendered in blocks of the
  // block size, as the bindings do.
  struct Load {
    const char* what;
    int blockSize;  // what the binding set (1024: a plug-in host that gave none)
    int runFrames;
    int eventsPerRun;
    long droppedPerRun;
  };
  const int room = IMidiQueue::CapacityForBlock(1024);
  const Load loads[] = {
      {"40 events out of order in a 256-frame run", 256, 256, 40, 0},
      {"600 controllers in a 256-frame run", 256, 256, 600, 0},
      {"one event per frame in 4096-frame runs, no block size given", 1024, 4096, 4096, 0},
      {"twice the queue's room in one run", 1024, 4096, 2 * room, room},
  };
  for (const Load& load : loads) {
    SCOPED_TRACE(load.what);
    QiKt412 plug;
    kttest::Prepare(plug, load.blockSize);
    plug.BindController(74, kDecay);
    std::vector<IMidiMsg> msgs;
    for (int i = 0; i < load.eventsPerRun; ++i) {
      const int frame = static_cast<int>(static_cast<long long>(i) * 7919 % load.eventsPerRun) * load.runFrames /
                        load.eventsPerRun;  // every frame, out of order
      msgs.push_back(i % 5 == 0 ? IMidiMsg(frame, 0x90, 33, 100)
                                : IMidiMsg(frame, 0xB0, 74, static_cast<unsigned char>(i % 128)));
    }
    std::vector<double> left(static_cast<size_t>(load.blockSize)), right(left.size());
    double* outs[2] = {left.data(), right.data()};
    constexpr int kRuns = 8;
    rtcheck::ResetCounts();
    long unsound = 0;
    for (int run = 0; run < kRuns; ++run) {
      rtcheck::SetInRender(true);
      for (IMidiMsg& m : msgs) plug.ProcessMidiMsg(&m);
      for (int done = 0; done < load.runFrames; done += load.blockSize) {
        plug.ProcessDoubleReplacing(nullptr, outs, std::min(load.blockSize, load.runFrames - done));
        for (double v : left) unsound += !std::isfinite(v);
      }
      rtcheck::SetInRender(false);
    }
    EXPECT_EQ(rtcheck::Violations(), 0) << "first: " << rtcheck::FirstViolation();
    EXPECT_EQ(plug.MidiQueue().Dropped(), kRuns * load.droppedPerRun);
    EXPECT_EQ(plug.MidiQueue().Capacity(), IMidiQueue::CapacityForBlock(load.blockSize));
    EXPECT_EQ(unsound, 0);
  }
}
