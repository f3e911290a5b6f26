// The kt412 validate command: loads the Audio Unit plug-in library and
// checks it in nine phases the way a host's validation tool checks a
// component before the host will load it.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

struct ValidateOptions {
  std::string library;        // empty: the one built beside kt412
  int openCloseCount = 100;   // phase 1
  int corruptStates = 1000;   // phase 7
  double stateSeconds = 10.0; // phase 7, rendered by both instances
  int viewCycles = 100;       // phase 9
  bool help = false;
};

// Arguments after "validate": [LIBRARY] and the counts. False with a message.
bool ParseValidateArgs(const std::vector<std::string>& args, ValidateOptions* opts, std::string* error);
std::string ValidateUsage();

// One PASS or FAIL line per phase, then a summary. 0 when every phase
// passed, 1 when one failed, 2 when the library could not be loaded.
int RunValidate(const ValidateOptions& opts, std::ostream& out, std::ostream& err);
