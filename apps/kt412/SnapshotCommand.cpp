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
         "      --scale N          1 (default) or 2: every pixel doubled, as a\n"
         "                         high-density screen shows the editor\n"
         "      --state FILE       load a saved state first\n"
         "      --preset FILE      load a preset file (.qipreset) after --state\n"
         "      --preset-dir DIR   start as a host does, with DIR as the preset folder\n"
         "      --set NAME=VALUE   set a parameter (may be repeated, applied in order)\n"
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
      if (v != "1" && v != "2") {
        *error = "--scale takes 1 or 2, not '" + v + "'";
        return false;
      }
      opts->scale = v == "2" ? 2 : 1;
    } else if (arg == "--state") {
      if (!takeValue(&opts->stateIn)) return false;
    } else if (arg == "--preset") {
      if (!takeValue(&opts->presetFile)) return false;
    } else if (arg == "--preset-dir") {
      if (!takeValue(&opts->presetDir)) return false;
    } else if (arg == "--set") {
      if (!takeValue(&v)) return false;
      opts->settings.push_back(v);
    } else {
      *error = "unknown argument '" + args[i] + "' (see kt412 snapshot --help)";
      return false;
    }
  }
  return true;
}

PIX_IBitmap* ScaleUpPixels(PIX_IBitmap* src, int scale) {
  if (!src || scale < 1) return nullptr;
  const int w = src->getWidth(), h = src->getHeight();
  auto dest = std::make_unique<PIX_MemBitmap>(w * scale, h * scale, 4);
  if (dest->getWidth() != w * scale || dest->getHeight() != h * scale) return nullptr;
  const PIX_pixel* in = src->getBits();
  PIX_pixel* out = dest->getBits();
  const int inSpan = src->getRowSpan(), outSpan = dest->getRowSpan();
  for (int y = 0; y < h * scale; ++y) {
    const PIX_pixel* row = in + static_cast<ptrdiff_t>(y / scale) * inSpan;
    PIX_pixel* o = out + static_cast<ptrdiff_t>(y) * outSpan;
    for (int x = 0; x < w * scale; ++x) o[x] = row[x / scale];
  }
  return dest.release();
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

  IGraphics* g = plug.Graphics();
  IRECT all(0, 0, g->Width(), g->Height());
  g->Draw(&all);
  PIX_IBitmap* editor = g->GetDrawBitmap();
  std::unique_ptr<PIX_IBitmap> scaled;
  if (opts.scale != 1) {
    scaled.reset(ScaleUpPixels(editor, opts.scale));
    if (!scaled) return Fail(err, "out of memory for the scaled image");
    editor = scaled.get();
  }
  if (!editor || !PIX_SavePNG(opts.outputPath.c_str(), editor, &error)) return Fail(err, error);
  out << "kt412: wrote " << opts.outputPath << ": " << editor->getWidth() << " x " << editor->getHeight()
      << ", preset \"" << plug.PresetName() << "\"\n";
  return 0;
}
