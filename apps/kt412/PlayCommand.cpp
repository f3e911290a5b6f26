// The kt412 play command: the instrument live with its editor on screen and JACK for sound.
#include "PlayCommand.h"

#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <ostream>

#include "JackDriver.h"
#include "ParamOptions.h"
#include "RenderCommand.h"
#include "instrument/PresetBrowser.h"
#include "instrument/QiKt412.h"
#include "platform/cli/GraphicsFactory.h"
#include "platform/x11/IGraphicsX11.h"
#include "platform/x11/X11Paths.h"

namespace {
std::atomic<bool> gStop{false};

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

}  // namespace

std::string PlayUsage() {
  return "usage: kt412 play [options]\n"
         "Opens the editor in a window and plays the drum live: audio out and MIDI in\n"
         "through JACK. The last state is restored on start and saved on exit\n"
         "(" + PlayerStatePath() + ").\n"
         "  --connect            connect the outputs to the system playback ports and\n"
         "                       every MIDI output to the MIDI input\n"
         "  --no-audio           open the editor alone, without JACK\n"
         "  --state FILE         start from this state instead of the last one\n"
         "  --preset FILE        load a .qipreset file after the state\n"
         "  --preset-dir DIR     the preset folder tree to browse (default: the user's)\n"
         "  --set NAME=VALUE     set a parameter (after state and preset; repeatable)\n"
         "  --name NAME          the JACK client's name (default kt412)\n";
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
  JackDriver jack;
  if (!opts.noAudio && !jack.Open(opts.clientName, &error)) return Fail(err, error);

  // The editor goes into a window: the instrument makes its surface through
  // the binding's factory, so it is chosen before the instrument exists.
  SetGraphicsFactory(&MakeGraphicsX11);
  // A musician's player browses the user's preset folder (seeded with the
  // factory presets on first use) unless told otherwise.
  QiKt412 plug(opts.presetDir.empty() ? DefaultPresetBasePath() : opts.presetDir);
  SetGraphicsFactory(nullptr);
  plug.SetSampleRate(opts.noAudio ? 48000 : jack.SampleRate());
  plug.SetBlockSize(opts.noAudio ? 512 : jack.BufferSize());
  plug.Reset();
  plug.OnParamReset();

  const std::string statePath = PlayerStatePath();
  if (!opts.stateIn.empty()) {
    if (!LoadStateFile(plug, opts.stateIn, &error)) return Fail(err, error);
  } else if (FileExists(statePath) && !LoadStateFile(plug, statePath, &error)) {
    // A damaged saved state is reported, not fatal: the defaults play.
    err << "kt412: warning: " << error << "\n";
  }
  if (!opts.presetFile.empty() && !LoadPresetOption(plug, opts.presetFile, &error)) return Fail(err, error);
  for (const std::string& s : opts.settings)
    if (!ApplyParamSetting(plug, s, &error)) return Fail(err, error);

  auto* gui = dynamic_cast<IGraphicsX11*>(plug.Graphics());
  if (!gui || !gui->OpenWindow(nullptr)) return Fail(err, "cannot open the X display (is DISPLAY set?)");

  if (!opts.noAudio) {
    if (!jack.Start(&plug, &error)) {
      gui->CloseWindow();
      return Fail(err, error);
    }
    if (opts.connect) jack.ConnectAll();
  }
  gStop = false;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  out << "kt412: playing" << (opts.noAudio ? " (no audio)" : " as JACK client " + opts.clientName)
      << "; close the window to quit\n";
  out.flush();
  gui->RunEventLoop(&gStop);
  jack.Close();  // the render has stopped before the state is read

  int rc = 0;
  const size_t slash = statePath.find_last_of('/');
  if (!MakeFolders(statePath.substr(0, slash)) || !SaveStateFile(plug, statePath, &error)) {
    err << "kt412: error: state not saved: " << error << "\n";
    rc = 2;
  } else {
    out << "kt412: state saved to " << statePath << "\n";
  }
  if (!opts.noAudio) out << "kt412: " << jack.NotesReceived() << " notes received\n";
  return rc;
}
