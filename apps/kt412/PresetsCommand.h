// The kt412 presets command: prints the preset menu the editor's browser shows.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// kt412 presets [--preset-dir DIR]: the folder in use on the first line (the
// user's preset folder unless DIR is given; seeded with the factory presets
// as an instrument would seed it), then the menu tree: "Save File...", a
// separator, folders as "name/" with their entries indented below them,
// presets by name. 0 on success, 2 with one line on err for bad arguments.
int RunPresets(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
