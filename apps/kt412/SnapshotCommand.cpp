// The kt412 snapshot command: draws the whole editor headless into a PNG file.
#include "SnapshotCommand.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>

#include "ParamOptions.h"
#include "RenderCommand.h"
#include "StartingSound.h"
#include "graphics/IControl.h"
#include "graphics/IGraphics.h"
#include "instrument/QiKt412.h"
#include "pix/PIX_Bitmap.h"
#include "pix/PIX_PNG.h"

namespace {

int Fail(std::ostream& err, const std::string& message) {
  err << "kt412: error: " << message << "\n";
  return 2;
}

}  // namespace

std::string SnapshotUsage() {
  return "usage: kt412 snapshot [options]\n"
         "\n"
         "Draws the whole editor (592 x 442) without a window and writes it as a PNG.\n"
         "\n"
         "options:\n"
         "  -o, --output PATH      PNG file to write (default editor.png)\n"
         "      --scale N          1 (default), 1.5 or 2: drawn natively at that scale, as a\n"
         "                         high-density screen shows the editor\n"
         "      --state FILE       load a saved state first\n"
         "      --preset FILE      load a preset file (.qipreset) after --state\n"
         "      --preset-dir DIR   start as a host does, with DIR as the preset folder\n"
         "      --set NAME=VALUE   set a parameter (may be repeated, applied in order)\n"
         "      --hover NAME       the pointer rests on NAME's knob or switch: its\n"
         "                         value bubble shows\n"
         "  -h, --help             print this help and exit\n";
}

bool ParseSnapshotArgs(const std::vector<std::string>& args, SnapshotOptions* opts, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::string value;
    bool inlineValue = false;
    if (arg.rfind("--", 0) == 0) {
      const size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
        inlineValue = true;
      }
    }
    auto takeValue = [&](std::string* out) {
      if (!inlineValue) {
        if (i + 1 >= args.size()) {
          *error = "option " + arg + " needs a value";
          return false;
        }
        value = args[++i];
      }
      if (value.empty()) {
        *error = "option " + arg + " needs a value";
        return false;
      }
      *out = value;
      return true;
    };
    std::string v;
    if ((arg == "-h" || arg == "--help") && !inlineValue) {
      opts->help = true;
    } else if (arg == "-o" || arg == "--output") {
      if (!takeValue(&opts->outputPath)) return false;
    } else if (arg == "--scale") {
      if (!takeValue(&v)) return false;
      if (v != "1" && v != "1.5" && v != "2") {
        *error = "--scale takes 1, 1.5 or 2, not '" + v + "'";
        return false;
      }
      opts->scale = v == "2" ? 2.0f : v == "1.5" ? 1.5f : 1.0f;
    } else if (arg == "--state") {
      if (!takeValue(&opts->stateIn)) return false;
    } else if (arg == "--preset") {
      if (!takeValue(&opts->presetFile)) return false;
    } else if (arg == "--preset-dir") {
      if (!takeValue(&opts->presetDir)) return false;
    } else if (arg == "--set") {
      if (!takeValue(&v)) return false;
      opts->settings.push_back(v);
    } else if (arg == "--hover") {
      if (!takeValue(&opts->hover)) return false;
    } else {
      *error = "unknown argument '" + args[i] + "' (see kt412 snapshot --help)";
      return false;
    }
  }
  return true;
}

int RunSnapshot(const SnapshotOptions& opts, std::ostream& out, std::ostream& err) {
  if (opts.help) {
    out << SnapshotUsage();
    return 0;
  }
  std::string error;
  QiKt412 plug(opts.presetDir);
  if (!opts.stateIn.empty() && !LoadStateFile(plug, opts.stateIn, &error)) return Fail(err, error);
  if (!opts.presetFile.empty() && !LoadPresetOption(plug, opts.presetFile, &error)) return Fail(err, error);
  for (const std::string& s : opts.settings)
    if (!ApplyParamSetting(plug, s, &error)) return Fail(err, error);
  // The controls and the preset field show exactly the sound set up above.
  ShowStartingSound(plug, opts.presetFile, !opts.stateIn.empty());

  // Drawn natively at the scale, as a high-density screen shows it.
  IGraphics* g = plug.Graphics();
  g->SetScale(opts.scale);
  if (!opts.hover.empty()) {
    const int paramIdx = FindParamByName(plug, opts.hover);
    IControl* control = nullptr;
    for (int i = 1; i < g->GetNControls() && paramIdx >= 0 && !control; ++i)
      if (g->GetControl(i)->ParamIdx() == paramIdx) control = g->GetControl(i);
    if (!control) return Fail(err, "--hover needs the name of a parameter with a control, not '" + opts.hover + "'");
    const IRECT* r = control->GetRECT();
    IMouseMod none;
    g->OnMouseOver(static_cast<int>(r->MW()), static_cast<int>(r->MH()), &none);
  }
  IRECT all(0, 0, g->Width(), g->Height());
  g->Draw(&all);
  PIX_IBitmap* editor = g->GetDrawBitmap();
  if (!editor || editor->getWidth() != g->DrawWidth() || editor->getHeight() != g->DrawHeight())
    return Fail(err, "out of memory for the editor's image");
  if (!editor || !PIX_SavePNG(opts.outputPath.c_str(), editor, &error)) return Fail(err, error);
  out << "kt412: wrote " << opts.outputPath << ": " << editor->getWidth() << " x " << editor->getHeight()
      << ", preset \"" << plug.PresetName() << "\"\n";
  return 0;
}
