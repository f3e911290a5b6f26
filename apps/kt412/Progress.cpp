// A progress counter on one terminal line.
#include "Progress.h"

#include <unistd.h>

#include <ostream>
#include <sstream>

Progress::Progress(std::ostream& err, bool enabled, int total) : mErr(err), mEnabled(enabled), mTotal(total) {}

Progress::~Progress() { Finish(); }

bool Progress::StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

void Progress::Step(const std::string& what) {
  std::lock_guard<std::mutex> lock(mMutex);
  ++mDone;
  if (!mEnabled) return;
  std::ostringstream text;
  text << '[' << mDone << '/' << mTotal << "] " << what;
  std::string line = text.str();
  // Long names are cut so that the line never wraps on a narrow terminal.
  if (line.size() > 78) {
    line.resize(75);
    line.append(3, '.');
  }
  const size_t width = line.size();
  if (width < mWidth) line.append(mWidth - width, ' ');
  mWidth = width;
  mErr << '\r' << line << std::flush;
}

void Progress::Finish() {
  std::lock_guard<std::mutex> lock(mMutex);
  if (!mEnabled || mWidth == 0) return;
  mErr << '\r' << std::string(mWidth, ' ') << '\r' << std::flush;
  mWidth = 0;
}
