// wav_hit_stats: measures one drum hit in a rendered WAV file - how long its
// tail stays above a level relative to its peak, and its fundamental.
//
//   wav_hit_stats FILE --onset SECONDS [--floor DB] [--from S --to S]
//
// The hit is the one that starts at --onset and must be the last in the file
// (everything from the onset to the end of the file counts as its sound). The tail length is the time from the onset to
// the last sample whose magnitude is at least peak x 10^(floor/20)
// (floor -60 dB by default). The fundamental is measured on the window
// [onset + from, onset + to] (default 0.20 .. 0.45 s, after the pitch sweep
// has settled) twice: by counting rising zero crossings of the signal with its
// mean removed, and by the largest bin of a Hann-windowed DFT scanned in
// 0.05 Hz steps between 20 and 400 Hz.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Args {
  std::string path;
  double onset = -1.0;
  double floorDb = -60.0;
  double from = 0.20;
  double to = 0.45;
};

bool ParseArgs(int argc, char** argv, Args* args) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&](double* out) {
      if (i + 1 >= argc) return false;
      char* end = nullptr;
      *out = std::strtod(argv[++i], &end);
      return end && *end == '\0';
    };
    if (a == "--onset") {
      if (!next(&args->onset)) return false;
    } else if (a == "--floor") {
      if (!next(&args->floorDb)) return false;
    } else if (a == "--from") {
      if (!next(&args->from)) return false;
    } else if (a == "--to") {
      if (!next(&args->to)) return false;
    } else if (args->path.empty() && a[0] != '-') {
      args->path = a;
    } else {
      return false;
    }
  }
  return !args->path.empty() && args->onset >= 0.0 && args->to > args->from;
}

// Rising zero crossings of x - mean, with the fractional crossing position
// interpolated linearly; the frequency is (crossings - 1) periods over the
// time between the first and the last crossing.
double ZeroCrossingHz(const std::vector<double>& x, double rate) {
  double mean = 0.0;
  for (double v : x) mean += v;
  mean /= x.empty() ? 1.0 : static_cast<double>(x.size());
  double first = -1.0, last = -1.0;
  int count = 0;
  for (size_t i = 1; i < x.size(); ++i) {
    double a = x[i - 1] - mean, b = x[i] - mean;
    if (a < 0.0 && b >= 0.0) {
      double t = static_cast<double>(i - 1) + a / (a - b);
      if (first < 0.0) first = t;
      last = t;
      ++count;
    }
  }
  if (count < 2) return 0.0;
  return (count - 1) * rate / (last - first);
}

double DftPeakHz(const std::vector<double>& x, double rate) {
  const size_t n = x.size();
  std::vector<double> w(n);
  double mean = 0.0;
  for (double v : x) mean += v;
  mean /= n ? static_cast<double>(n) : 1.0;
  for (size_t i = 0; i < n; ++i) {
    double hann = 0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(i) / static_cast<double>(n - 1));
    w[i] = (x[i] - mean) * hann;
  }
  double bestHz = 0.0, bestMag = -1.0;
  for (double hz = 20.0; hz <= 400.0; hz += 0.05) {
    double re = 0.0, im = 0.0, step = 2.0 * M_PI * hz / rate;
    for (size_t i = 0; i < n; ++i) {
      re += w[i] * std::cos(step * static_cast<double>(i));
      im -= w[i] * std::sin(step * static_cast<double>(i));
    }
    double mag = re * re + im * im;
    if (mag > bestMag) {
      bestMag = mag;
      bestHz = hz;
    }
  }
  return bestHz;
}

}  // namespace

int main(int argc, char** argv) {
  Args args;
  if (!ParseArgs(argc, argv, &args)) {
    std::fprintf(stderr, "usage: wav_hit_stats FILE --onset SECONDS [--floor DB] [--from S --to S]\n");
    return 2;
  }
  SF_INFO info{};
  SNDFILE* f = sf_open(args.path.c_str(), SFM_READ, &info);
  if (!f) {
    std::fprintf(stderr, "error: cannot read %s: %s\n", args.path.c_str(), sf_strerror(nullptr));
    return 2;
  }
  std::vector<double> all(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
  sf_count_t got = sf_readf_double(f, all.data(), info.frames);
  sf_close(f);
  std::vector<double> x(static_cast<size_t>(got));
  for (sf_count_t i = 0; i < got; ++i) x[static_cast<size_t>(i)] = all[static_cast<size_t>(i * info.channels)];

  const double rate = info.samplerate;
  const size_t start = static_cast<size_t>(std::llround(args.onset * rate));
  if (start >= x.size()) {
    std::fprintf(stderr, "error: onset %.3f s lies beyond the file's %.3f s\n", args.onset, x.size() / rate);
    return 2;
  }
  double peak = 0.0;
  for (size_t i = start; i < x.size(); ++i) peak = std::fmax(peak, std::fabs(x[i]));
  const double level = peak * std::pow(10.0, args.floorDb / 20.0);
  size_t lastAbove = start;
  for (size_t i = start; i < x.size(); ++i)
    if (std::fabs(x[i]) >= level) lastAbove = i;

  size_t a = start + static_cast<size_t>(args.from * rate);
  size_t b = std::min(x.size(), start + static_cast<size_t>(args.to * rate));
  std::vector<double> window;
  if (a < b) window.assign(x.begin() + static_cast<long>(a), x.begin() + static_cast<long>(b));

  std::printf("file %s: %d Hz, %.3f s\n", args.path.c_str(), info.samplerate, x.size() / rate);
  std::printf("hit at %.3f s: peak %.2f dBFS\n", args.onset, 20.0 * std::log10(peak > 0 ? peak : 1e-300));
  std::printf("tail above %.0f dB of peak: %.3f s\n", args.floorDb, static_cast<double>(lastAbove - start + 1) / rate);
  if (window.size() > 16) {
    std::printf("fundamental (%.2f..%.2f s): %.2f Hz by zero crossings, %.2f Hz by DFT peak\n", args.from, args.to,
                ZeroCrossingHz(window, rate), DftPeakHz(window, rate));
  }
  return 0;
}
