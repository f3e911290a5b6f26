// Shared pieces of the validator's phases.
#pragma once

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "AUHost.h"
#include "ValidateCommand.h"

namespace validate {

// Collects the checks of one phase: the first failure is kept as the
// reason, later ones only counted.
class Checker {
public:
  bool Check(bool ok, const std::string& what) {
    ++mChecks;
    if (!ok) {
      if (mFailures == 0) mFirstFailure = what;
      ++mFailures;
    }
    return ok;
  }
  bool Passed() const { return mFailures == 0; }
  int Checks() const { return mChecks; }
  int Failures() const { return mFailures; }
  const std::string& FirstFailure() const { return mFirstFailure; }

private:
  int mChecks = 0;
  int mFailures = 0;
  std::string mFirstFailure;
};

struct PhaseResult {
  Checker check;
  std::string summary;  // counts shown after PASS
};

struct Context {
  const AUPluginLibrary& lib;
  const ValidateOptions& opts;
};

template <typename T>
std::string Str(const T& v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

// Renders frames with one block size into left/right (appended), sending
// the given MIDI before the first block; false on a refused render.
bool RenderFrames(AUHostUnit& unit, int frames, int block, std::vector<float>* left, std::vector<float>* right);

bool AllFiniteInRange(const std::vector<float>& v);
bool AllZero(const std::vector<float>& v);

PhaseResult PhaseOpenClose(const Context& ctx);
PhaseResult PhaseProperties(const Context& ctx);
PhaseResult PhaseParameters(const Context& ctx);
PhaseResult PhaseFormats(const Context& ctx);
PhaseResult PhaseRender(const Context& ctx);
PhaseResult PhaseMidi(const Context& ctx);
PhaseResult PhaseState(const Context& ctx);
PhaseResult PhaseListeners(const Context& ctx);
PhaseResult PhaseView(const Context& ctx);

}  // namespace validate
