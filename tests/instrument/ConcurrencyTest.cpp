// The editor's thread changing parameters and pressing the pad while the
// audio thread renders the same instance: the voice is never entered from
// both at once, so the output stays sound.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "InstrumentRig.h"

using namespace kttest;

TEST(RenderConcurrency, ChangesFromTheEditorThreadDuringRenderingKeepTheOutputSound) {
  QiKt412::ResetControllerTable();
  QiKt412 plug;
  Prepare(plug, 64);
  std::atomic<bool> done{false};
  std::atomic<int> changes{0};
  std::thread editor([&] {
    for (int i = 0; !done.load(); ++i) {
      const double v = (i % 100) / 100.0;
      SetParam(plug, kDecay, v);
      SetParam(plug, kAccent, v);
      SetParam(plug, kTuneDepth, 1.0 - v);
      SetParam(plug, kTrigger, (i % 7 == 0) ? 1.0 : 0.0);
      changes.fetch_add(1);
    }
  });
  while (changes.load() == 0) std::this_thread::yield();

  std::vector<double> l(64), r(64);
  double* outs[2] = {l.data(), r.data()};
  int unsound = 0, mismatched = 0, overlaps = 0;
  double peak = 0.0;
  for (int blk = 0; blk < 6000; ++blk) {
    if (blk % 50 == 0) {
      NoteOn(plug, blk % 64, 33, 100);
      // Like a host between two blocks, give the editor room: wait (at most
      // a second) for its next change, so the threads surely interleave.
      const int seen = changes.load();
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
      while (changes.load() == seen && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
      if (changes.load() != seen) ++overlaps;
    }
    plug.ProcessDoubleReplacing(nullptr, outs, 64);
    // A voice rewound under the render reads past its look-ahead buffer:
    // garbage, or the sanitizers stop the program.
    for (int i = 0; i < 64; ++i) {
      if (!std::isfinite(l[i])) ++unsound;
      else peak = std::max(peak, std::fabs(l[i]));
      if (r[i] != l[i]) ++mismatched;
    }
  }
  done = true;
  editor.join();
  EXPECT_EQ(unsound, 0);
  EXPECT_EQ(mismatched, 0);
  // Quick retriggers at full accent reach a few units; what a rewound voice
  // reads from past its buffer is far larger (or stops the sanitizers first).
  EXPECT_LT(peak, 50.0);
  EXPECT_GT(overlaps, 100);  // the editor's changes fell between the blocks
}
