// A progress counter on one terminal line, for long exports and batch renders.
#pragma once

#include <iosfwd>
#include <mutex>
#include <string>

// Shows "[done/total] what" on one line of err, rewritten in place, while
// enabled (the caller enables it only when err is a terminal, so files and
// pipes get nothing). Any thread may report; the line is cleared by Finish
// or the destructor.
class Progress {
public:
  Progress(std::ostream& err, bool enabled, int total);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // One more item done (what names the next or the finished one).
  void Step(const std::string& what);
  void Finish();

  // True when standard error is a terminal.
  static bool StderrIsTerminal();

private:
  std::ostream& mErr;
  bool mEnabled;
  int mTotal;
  int mDone = 0;
  size_t mWidth = 0;
  std::mutex mMutex;
};
