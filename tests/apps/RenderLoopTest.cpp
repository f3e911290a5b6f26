// The pass that takes a rendered block to the file: interleaving, gain and
// level metering must give the bits and figures of doing each step plainly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "RenderLoop.h"

namespace {

// Each step on its own, from an earlier peak 0.25 and count 3, checked
// against the pass with and without AVX2.
template <typename Sample>
void ExpectSameAsPlain(const std::vector<Sample>& left, const std::vector<Sample>& right, float gain,
                       const std::string& what) {
  std::vector<float> want;
  double wantPeak = 0.25;
  int64_t wantOvers = 3;
  for (size_t i = 0; i < left.size(); ++i)
    for (float x : {static_cast<float>(left[i]) * gain, static_cast<float>(right[i]) * gain}) {
      want.push_back(x);
      if (std::fabs(x) > wantPeak) wantPeak = std::fabs(x);
      wantOvers += std::fabs(x) > 1.0f;
    }
  for (bool avx2 : {true, false}) {
    AllowInterleaveAvx2(avx2);
    const std::string where = what + ", " + std::to_string(left.size()) + " frames" + (avx2 ? "" : ", no AVX2");
    std::vector<float> got(want.size() + 1, 7.0f);  // one guard sample past the end
    double peak = 0.25;
    int64_t overs = 3;
    InterleaveScaled(left.data(), right.data(), static_cast<int64_t>(left.size()), gain, got.data(), &peak, &overs);
    EXPECT_TRUE(want.empty() || std::memcmp(got.data(), want.data(), want.size() * sizeof(float)) == 0) << where;
    EXPECT_EQ(got.back(), 7.0f) << where << ": wrote past the end";
    EXPECT_EQ(peak, wantPeak) << where;
    EXPECT_EQ(overs, wantOvers) << where;
  }
  AllowInterleaveAvx2(true);
}

}  // namespace

TEST(InterleaveScaled, GivesTheBitsPeakAndOversOfThePlainSteps) {
  // Besides ordinary samples, what a render can hand over: exactly full
  // scale, just beyond it, doubles that round or overflow as floats, NaN,
  // infinity, negative zero and float subnormals.
  const double special[] = {1.0, -1.0, 1.0000001, -1.5, 0.7071067811865476, 1e300,
                            std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::infinity(),
                            -0.0, 1e-40};
  const float gains[] = {1.0f, 0.5f, 3.98107f, 1e-38f};
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed >> 8) / static_cast<double>(1u << 24);
  };
  auto sample = [&] { return next() < 0.2 ? special[static_cast<size_t>(next() * 10)] : 2.4 * next() - 1.2; };
  for (int trial = 0; trial < 480; ++trial) {
    // 0..23 frames reach the eight-frame, four-frame and single-frame steps
    // and every tail; some trials take a whole odd block.
    const int n = trial % 48 == 47 ? 513 : trial % 24;
    // The instrument's two channels are the same samples: a NaN then stands
    // in both at once and must not wipe out what the frames before it measured.
    const bool same = trial % 2 == 0;
    std::vector<double> l, r;
    for (int i = 0; i < n; ++i) {
      l.push_back(sample());
      r.push_back(same ? l.back() : sample());
    }
    const float gain = gains[(trial / 2) % 4];
    const std::string what = std::string(same ? "same" : "two") + " channels, gain " + std::to_string(gain);
    ExpectSameAsPlain(l, r, gain, what);
    ExpectSameAsPlain(std::vector<float>(l.begin(), l.end()), std::vector<float>(r.begin(), r.end()), gain,
                      what + ", float input");
  }
}
