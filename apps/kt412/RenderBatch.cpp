// kt412 render with several MIDI files: one render per file, on every core.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <thread>

#include "Progress.h"
#include "RenderCommand.h"

namespace {

struct BatchJob {
  std::string input, output;
  int status = 0;
  std::string out, err;
};

}  // namespace

int RunRenderBatch(const RenderOptions& opts, std::ostream& out, std::ostream& err, bool progress) {
  // -o names the folder of the files; each is named after its input.
  std::string folder = opts.outputPath;
  if (!folder.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec)) {
      err << "kt412: error: cannot make the output folder '" << folder << "'\n";
      return 2;
    }
    if (folder.back() != '/') folder += '/';
  }
  std::vector<BatchJob> jobs;
  for (const std::string& in : opts.inputs) {
    const std::string output = folder + DefaultOutputPath(in);
    for (const BatchJob& j : jobs) {
      if (j.output == output) {
        err << "kt412: error: '" << j.input << "' and '" << in << "' would both be written to '" << output << "'\n";
        return 2;
      }
    }
    BatchJob job;
    job.input = in;
    job.output = output;
    jobs.push_back(job);
  }

  // One instrument per render, each in its own thread; the plug-in library of
  // --host au is one process-wide component, so its renders take turns.
  int workers = opts.jobs > 0 ? opts.jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  if (opts.host == "au") workers = 1;
  workers = std::min<int>(workers, static_cast<int>(jobs.size()));
  Progress bar(err, progress, static_cast<int>(jobs.size()));
  std::atomic<size_t> next{0};
  auto work = [&]() {
    for (size_t k = next++; k < jobs.size(); k = next++) {
      BatchJob& job = jobs[k];
      RenderOptions one = opts;
      one.inputs = {job.input};
      one.inputPath = job.input;
      one.outputPath = job.output;
      std::ostringstream o, e;
      job.status = RunRender(one, o, e);
      job.out = o.str();
      job.err = e.str();
      bar.Step(job.input);
    }
  };
  std::vector<std::thread> threads;
  for (int w = 1; w < workers; ++w) threads.emplace_back(work);
  work();
  for (std::thread& t : threads) t.join();
  bar.Finish();

  int failed = 0;
  for (const BatchJob& job : jobs) {
    out << job.out;
    err << job.err;
    failed += job.status != 0;
  }
  if (failed > 0) {
    err << "kt412: error: " << failed << " of " << jobs.size() << " renders failed\n";
    return 2;
  }
  return 0;
}
