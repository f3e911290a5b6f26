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

struct Plain {
  std::vector<float> interleaved;
  double peak;
  int64_t overs;
};

// Each step on its own, as a host writing a file would take them.
template <typename Sample>
Plain Reference(const std::vector<Sample>& left, const std::vector<Sample>& right, float gain, double peak,
                int64_t overs) {
  Plain p{{}, peak, overs};
  for (size_t i = 0; i < left.size(); ++i)
    for (float x : {static_cast<float>(left[i]) * gain, static_cast<float>(right[i]) * gain}) {
      p.interleaved.push_back(x);
      if (std::fabs(x) > p.peak) p.peak = std::fabs(x);
      if (std::fabs(x) > 1.0f) ++p.overs;
    }
  return p;
}

template <typename Sample>
void ExpectSameAsPlainOnce(const std::vector<Sample>& left, const std::vector<Sample>& right, float gain,
                           const std::string& what) {
  const Plain want = Reference(left, right, gain, 0.25, 3);
  std::vector<float> got(2 * left.size() + 1, 7.0f);  // one guard sample past the end
  double peak = 0.25;
  int64_t overs = 3;
  InterleaveScaled(left.data(), right.data(), static_cast<int64_t>(left.size()), gain, got.data(), &peak, &overs);
  EXPECT_TRUE(want.interleaved.empty() ||
              std::memcmp(got.data(), want.interleaved.data(), want.interleaved.size() * sizeof(float)) == 0)
      << what << ", " << left.size() << " frames, gain " << gain;
  EXPECT_EQ(got.back(), 7.0f) << what << ": wrote past the end";
  EXPECT_EQ(peak, want.peak) << what << ", " << left.size() << " frames, gain " << gain;
  EXPECT_EQ(overs, want.overs) << what << ", " << left.size() << " frames, gain " << gain;
}

// Every case is checked with and without AVX2.
template <typename Sample>
void ExpectSameAsPlain(const std::vector<Sample>& left, const std::vector<Sample>& right, float gain,
                       const char* what) {
  for (bool avx2 : {true, false}) {
    AllowInterleaveAvx2(avx2);
    ExpectSameAsPlainOnce(left, right, gain, std::string(what) + (avx2 ? "" : ", without AVX2"));
  }
  AllowInterleaveAvx2(true);
}

}  // namespace

TEST(InterleaveScaled, GivesTheBitsPeakAndOversOfThePlainSteps) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  // Samples a render can hand over: quiet and loud, exactly full scale, just
  // beyond it, doubles that round or overflow as floats, NaN, infinities,
  // negative zero and float subnormals.
  const std::vector<double> pool = {0.1,   -0.3, 1.0,  -1.0, 1.0000001, -1.5,   0.7071067811865476, 1e300,
                                    nan,   -inf, -0.0, 2.0,  1e-40,     0.0625, -0.999999,          0.5};
  struct Case {
    const char* what;
    float gain;
  };
  const Case cases[] = {{"unity gain", 1.0f}, {"-6 dB", 0.5f}, {"+12 dB", 3.98107f}, {"to subnormals", 1e-38f}};
  // 0..19 frames cover the eight-frame, four-frame and single-frame steps
  // and every tail; 513 a whole odd block.
  std::vector<int> lengths;
  for (int n = 0; n < 20; ++n) lengths.push_back(n);
  lengths.push_back(513);
  for (const Case& c : cases) {
    for (int n : lengths) {
      std::vector<double> l, r;
      for (int i = 0; i < n; ++i) {
        l.push_back(pool[static_cast<size_t>(i * 7 + n) % pool.size()]);
        r.push_back(pool[static_cast<size_t>(i * 5 + 3) % pool.size()]);
      }
      ExpectSameAsPlain(l, r, c.gain, c.what);
      std::vector<float> lf(l.begin(), l.end()), rf(r.begin(), r.end());
      ExpectSameAsPlain(lf, rf, c.gain, c.what);
    }
  }
}

TEST(InterleaveScaled, RandomBlocksWithNaNsInOneOrBothChannels) {
  // The instrument's two channels are the same samples; a NaN then stands in
  // both at once and must not wipe out what the frames before it measured.
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed >> 8) / static_cast<double>(1u << 24);
  };
  for (int trial = 0; trial < 400; ++trial) {
    const int n = trial % 40;
    const bool same = trial % 2 == 0;
    std::vector<double> l, r;
    for (int i = 0; i < n; ++i) {
      const double x = next() < 0.15 ? std::numeric_limits<double>::quiet_NaN() : 2.4 * next() - 1.2;
      l.push_back(x);
      r.push_back(same ? x : 2.4 * next() - 1.2);
    }
    const float gain = static_cast<float>(0.3 + next());
    ExpectSameAsPlain(l, r, gain, same ? "same channels" : "two channels");
    std::vector<float> lf(l.begin(), l.end()), rf(r.begin(), r.end());
    ExpectSameAsPlain(lf, rf, gain, same ? "same float channels" : "two float channels");
  }
}

TEST(InterleaveScaled, AQuietBlockKeepsTheEarlierPeakAndCount) {
  const std::vector<double> quiet(37, 0.125);
  std::vector<float> out(74);
  double peak = 1.75;
  int64_t overs = 41;
  InterleaveScaled(quiet.data(), quiet.data(), 37, 1.0f, out.data(), &peak, &overs);
  EXPECT_EQ(peak, 1.75);
  EXPECT_EQ(overs, 41);
}
