// The kt412 play command: the editor in a window, audio out and MIDI in through JACK.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

struct PlayOptions {
  bool connect = false;   // --connect: to the system playback ports and every MIDI output
  bool noAudio = false;   // --no-audio: the editor alone, no JACK
  std::string stateIn;    // --state (instead of the last saved state)
  std::string presetFile; // --preset, loaded after the state
  std::string presetDir;  // --preset-dir
  std::vector<std::string> settings;  // --set NAME=VALUE, applied last, in order
  std::string clientName = "kt412";   // --name: the JACK client's name
  bool help = false;
};

// Parses the arguments that follow "play". False with a one-line message.
bool ParsePlayArgs(const std::vector<std::string>& args, PlayOptions* opts, std::string* error);
std::string PlayUsage();

// Where the player keeps the state between runs: kt412/state.bin in the XDG
// config folder ($XDG_CONFIG_HOME, else ~/.config).
std::string PlayerStatePath();

// Runs the player until its window is closed (or SIGINT/SIGTERM): restores
// the last state (or --state), applies --preset and --set, opens
// the editor and plays. On the way out it saves the state and prints how
// many notes it received. 0 on success; 2 with one line on err when there is
// no JACK server (without --no-audio), no display, or a bad option value.
int RunPlay(const PlayOptions& opts, std::ostream& out, std::ostream& err);
