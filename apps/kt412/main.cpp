// kt412: command-line front end of the KT-412 bass drum.
#include <iostream>
#include <string>
#include <vector>

#include "RenderCommand.h"
#include "ValidateCommand.h"

namespace {
void Usage(std::ostream& out) {
  out << "usage: kt412 render [options] [FILE.mid] | kt412 validate [options] [LIBRARY]   (--help after either)\n";
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage(std::cerr);
    return 2;
  }
  const std::string command = argv[1];
  if (command == "-h" || command == "--help" || command == "help") {
    Usage(std::cout);
    return 0;
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  std::string error;
  if (command == "validate") {
    ValidateOptions vopts;
    if (!ParseValidateArgs(args, &vopts, &error)) {
      std::cerr << "kt412: error: " << error << "\n";
      return 2;
    }
    return RunValidate(vopts, std::cout, std::cerr);
  }
  if (command != "render") {
    std::cerr << "kt412: error: unknown command '" << command << "' (the commands are render and validate)\n";
    return 2;
  }
  RenderOptions opts;
  if (!ParseRenderArgs(args, &opts, &error)) {
    std::cerr << "kt412: error: " << error << "\n";
    return 2;
  }
  return RunRender(opts, std::cout, std::cerr);
}
