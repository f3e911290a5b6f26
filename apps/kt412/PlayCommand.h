// The kt412 play command: the editor in a window, audio out and MIDI in through JACK, PulseAudio or ALSA.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

struct PlayOptions {
  bool connect = false;   // --connect: to the system playback ports and every MIDI output
  bool noAudio = false;   // --no-audio: the editor alone, no sound server
  std::string audio;      // --audio jack|pulse|alsa; empty: JACK, else PulseAudio, else ALSA
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

// The player window's WM_CLASS; kt412.desktop names the class.
constexpr const char* kPlayerWindowInstance = "kt412";
constexpr const char* kPlayerWindowClass = "Kt412";

// Exit status when the sound server went away while playing (the state is saved).
constexpr int kPlayServerLost = 3;

// Runs the player until its window is closed (or SIGINT/SIGTERM): restores
// the last state (or --state), applies --preset and --set, opens the editor
// showing exactly that and plays. On the way out it saves the state and
// prints how many notes it received. 0 on success; 2 with one line on err
// when no sound server answers (without --no-audio), there is no display, or
// an option value is bad; kPlayServerLost with one line on err when the
// server goes away while playing.
int RunPlay(const PlayOptions& opts, std::ostream& out, std::ostream& err);
