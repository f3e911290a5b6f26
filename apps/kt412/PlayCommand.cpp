// The kt412 play command: the instrument live with its editor on screen and a sound server for sound.
#include "PlayCommand.h"

#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <ostream>

#include "JackDriver.h"
#include "ParamOptions.h"
#include "PlayerEngine.h"
#include "RenderCommand.h"
#include "RtAudioDriver.h"
#include "StartingSound.h"
#include "instrument/PresetBrowser.h"
#include "instrument/QiKt412.h"
#include "platform/cli/GraphicsFactory.h"
#include "platform/x11/IGraphicsX11.h"
#include "platform/x11/X11Paths.h"

namespace {
std::atomic<bool> gStop{false};

// The window icon: one frame of the skin's knob strip.
constexpr int kIconImageId = 101;
constexpr const char* kIconImage = "resources/img/knob412_64Frames.png";
constexpr int kIconImageFrames = 64;
constexpr int kIconFrame = 32;

void OnSignal(int) { gStop.store(true); }

int Fail(std::ostream& err, const std::string& message) {
  err << "kt412: error: " << message << "\n";
  return 2;
}

// mkdir -p for the state folder.
bool MakeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    const std::string part = path.substr(0, i);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The sound server asked for, or the first that answers of JACK, PulseAudio
// (which PipeWire also serves) and ALSA. Null with one line naming each
// server tried and why it failed.
std::unique_ptr<PlayerDriver> OpenDriver(const PlayOptions& opts, std::string* error) {
  const bool any = opts.audio.empty();
  std::string why;
  auto note = [&](const std::string& e) { why += (why.empty() ? "" : "; ") + e; };
  std::string e;
  if (any || opts.audio == "jack") {
    auto jack = std::make_unique<JackDriver>();
    if (jack->Open(opts.clientName, &e)) return jack;
    note(e);
  }
  if (any || opts.audio == "pulse") {
    auto pulse = std::make_unique<RtAudioDriver>();
    if (pulse->Open(RtAudioDriver::Backend::kPulse, opts.clientName, &e)) return pulse;
    note(e);
  }
  if (any || opts.audio == "alsa") {
    auto alsa = std::make_unique<RtAudioDriver>();
    if (alsa->Open(RtAudioDriver::Backend::kAlsa, opts.clientName, &e)) return alsa;
    note(e);
  }
  *error = why + " (start one, or play without sound: kt412 play --no-audio)";
  return nullptr;
}

}  // namespace

std::string PlayUsage() {
  return "usage: kt412 play [options]\n"
         "Opens the editor in a window and plays the drum live: audio out and MIDI in\n"
         "through JACK, or when no JACK server runs through PulseAudio (or PipeWire)\n"
         "with MIDI from the ALSA sequencer, else ALSA. The last state is restored on\n"
         "start and saved on exit (" + PlayerStatePath() + ").\n"
         "If the sound server goes away the state is saved and the player exits with 3.\n"
         "  --audio jack|pulse|alsa  use this sound server only\n"
         "  --connect            connect the outputs to the system playback ports and\n"
         "                       every MIDI output to the MIDI input\n"
         "  --no-audio           open the editor alone, without a sound server\n"
         "  --state FILE         start from this state instead of the last one\n"
         "  --preset FILE        load a .qipreset file after the state\n"
         "  --preset-dir DIR     the preset folder tree to browse (default: the user's)\n"
         "  --set NAME=VALUE     set a parameter (after state and preset; repeatable)\n"
         "  --name NAME          the client's name for JACK and the sequencer (default kt412)\n";
}

std::string PlayerStatePath() { return X11ConfigHome() + "/kt412/state.bin"; }

bool ParsePlayArgs(const std::vector<std::string>& args, PlayOptions* opts, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string* v) {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        *error = "option " + arg + " needs a value";
        return false;
      }
      *v = args[++i];
      return true;
    };
    std::string v;
    if (arg == "-h" || arg == "--help") opts->help = true;
    else if (arg == "--connect") opts->connect = true;
    else if (arg == "--no-audio") opts->noAudio = true;
    else if (arg == "--audio") {
      if (!value(&opts->audio)) return false;
      if (opts->audio != "jack" && opts->audio != "pulse" && opts->audio != "alsa") {
        *error = "--audio takes jack, pulse or alsa, not '" + opts->audio + "'";
        return false;
      }
    }
    else if (arg == "--state") { if (!value(&opts->stateIn)) return false; }
    else if (arg == "--preset") { if (!value(&opts->presetFile)) return false; }
    else if (arg == "--preset-dir") { if (!value(&opts->presetDir)) return false; }
    else if (arg == "--name") { if (!value(&opts->clientName)) return false; }
    else if (arg == "--set") { if (!value(&v)) return false; opts->settings.push_back(v); }
    else {
      *error = "unknown option '" + arg + "' (see kt412 play --help)";
      return false;
    }
  }
  return true;
}

int RunPlay(const PlayOptions& opts, std::ostream& out, std::ostream& err) {
  if (opts.help) {
    out << PlayUsage();
    return 0;
  }
  std::string error;
  std::unique_ptr<PlayerDriver> driver;
  if (!opts.noAudio && !(driver = OpenDriver(opts, &error))) return Fail(err, error);

  // The editor goes into a window: the instrument makes its surface through
  // the binding's factory, so it is chosen before the instrument exists.
  SetGraphicsFactory(&MakeGraphicsX11);
  // A musician's player browses the user's preset folder (seeded with the
  // factory presets on first use) unless told otherwise.
  QiKt412 plug(opts.presetDir.empty() ? DefaultPresetBasePath() : opts.presetDir);
  SetGraphicsFactory(nullptr);
  // The block size is fixed here, before the server calls us; cycles of
  // another length are rendered whole all the same.
  PlayerEngine engine;
  engine.Prepare(&plug, driver ? driver->SampleRate() : 48000, driver ? driver->BufferSize() : 512);

  const std::string statePath = PlayerStatePath();
  bool stateLoaded = false;
  if (!opts.stateIn.empty()) {
    if (!LoadStateFile(plug, opts.stateIn, &error)) return Fail(err, error);
    stateLoaded = true;
  } else if (FileExists(statePath)) {
    // A damaged saved state is reported, not fatal: the defaults play.
    stateLoaded = LoadStateFile(plug, statePath, &error);
    if (!stateLoaded) err << "kt412: warning: " << error << "\n";
  }
  if (!opts.presetFile.empty() && !LoadPresetOption(plug, opts.presetFile, &error)) return Fail(err, error);
  for (const std::string& s : opts.settings)
    if (!ApplyParamSetting(plug, s, &error)) return Fail(err, error);
  ShowStartingSound(plug, opts.presetFile, stateLoaded);

  auto* gui = dynamic_cast<IGraphicsX11*>(plug.Graphics());
  if (gui) {
    // The desktop matches the window with kt412.desktop (StartupWMClass) and
    // shows the knob at its middle position as its icon, the same picture
    // the installed icon file holds.
    gui->SetWindowClass(kPlayerWindowInstance, kPlayerWindowClass);
    const IBitmap knob = gui->LoadIBitmap(kIconImageId, kIconImage, kIconImageFrames);
    if (knob.mData)
      gui->SetWindowIcon(knob.mData, 0, kIconFrame * knob.FrameHeight(), knob.FrameWidth(), knob.FrameHeight());
  }
  if (!gui || !gui->OpenWindow(nullptr)) return Fail(err, "cannot open the X display (is DISPLAY set?)");

  gStop = false;
  if (driver) {
    if (!driver->Start(&engine, &gStop, &error)) {
      gui->CloseWindow();
      return Fail(err, error);
    }
    if (opts.connect) driver->ConnectAll();
  }
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  out << "kt412: playing " << (driver ? driver->Describe() : std::string("(no audio)"))
      << "; close the window to quit\n";
  if (driver && !driver->MidiNote().empty()) out << "kt412: " << driver->MidiNote() << "\n";
  out.flush();
  gui->RunEventLoop(&gStop);
  const bool lost = driver && driver->ServerLost();
  if (driver) driver->Close();  // the render has stopped before the state is read

  int rc = 0;
  const size_t slash = statePath.find_last_of('/');
  const bool saved = MakeFolders(statePath.substr(0, slash)) && SaveStateFile(plug, statePath, &error);
  if (lost) {
    err << "kt412: error: " << driver->ServerLostReason() << "; "
        << (saved ? "state saved to " + statePath : "state not saved: " + error) << "; exiting\n";
    rc = kPlayServerLost;
  } else if (!saved) {
    err << "kt412: error: state not saved: " << error << "\n";
    rc = 2;
  } else {
    out << "kt412: state saved to " << statePath << "\n";
  }
  if (driver) out << "kt412: " << driver->NotesReceived() << " notes received\n";
  return rc;
}
