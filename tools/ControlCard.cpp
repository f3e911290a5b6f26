// Draws one control of each class on a test background through the graphics core and writes a PNG.
//
// usage: control_card [output.png]   (default: control_card.png)
//
// The skin images are drawn here with the drawing library, written as PNG
// files into a temporary resource folder and loaded back through the
// surface's image loader, so the card also exercises PNG writing, decoding
// and the bitmap cache. The card is a 4 x 5 grid of 160 x 100 cells; each
// cell holds one control above a label naming its class.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "framework/IParam.h"
#include "framework/IPluginBase.h"
#include "graphics/IStandardControls.h"
#include "pix/PIX_Bitmap.h"
#include "pix/PIX_Blit.h"
#include "pix/PIX_PNG.h"
#include "pix/PIX_Primitives.h"
#include "platform/cli/IPluginCLI.h"
#include "platform/headless/IGraphicsHeadless.h"

namespace {

constexpr int kW = 640, kH = 500;
constexpr int kCellW = 160, kCellH = 100;
constexpr int kLabelH = 14;

// A plug-in on the command-line host binding; one parameter for the caption.
class CardPlug : public IPluginCLI {
public:
  CardPlug()
      : IPluginCLI(1, "0-1 0-2", 0, "Control card", "", "Tools", 0x10000, 0x43617264, 0x546f6f6c, 0, false, false,
                   true) {
    GetParam(0)->InitDouble("Decay", 42.5, 0.0, 100.0, 0.1, "ms");
  }
};

constexpr PIX_pixel Px(int r, int g, int b, int a = 255) { return PIX_RGBA(r, g, b, a); }
constexpr int kCopy = PIX_BLIT_MODE_COPY;

// Transparent canvas of the given size.
PIX_MemBitmap* Canvas(int w, int h) {
  auto* bmp = new PIX_MemBitmap(w, h);
  PIX_Clear(bmp, Px(0, 0, 0, 0));
  return bmp;
}

// A knob face with its pointer at `deg` degrees clockwise from twelve o'clock, centred in (x, y, size).
void DrawKnobFace(PIX_IBitmap* bmp, int x, int y, int size, double deg, PIX_pixel face, PIX_pixel pointer) {
  const int c = size / 2, r = size / 2 - 3;
  PIX_FillCircle(bmp, x + c, y + c, r, face, 1.0f, kCopy, true);
  PIX_Circle(bmp, (float)(x + c), (float)(y + c), (float)r, Px(20, 20, 20), 1.0f, kCopy, true);
  const double rad = deg * M_PI / 180.0;
  const int px = x + c + (int)std::lround((r - 4) * std::sin(rad));
  const int py = y + c - (int)std::lround((r - 4) * std::cos(rad));
  PIX_Line(bmp, x + c, y + c, px, py, pointer, 1.0f, kCopy, true);
  PIX_Line(bmp, x + c + 1, y + c, px + 1, py, pointer, 1.0f, kCopy, true);
}

// 64 frames of 48 x 48 stacked vertically: the pointer sweeps -135..135 degrees.
PIX_MemBitmap* MakeKnobStrip() {
  const int n = 64, s = 48;
  PIX_MemBitmap* bmp = Canvas(s, s * n);
  for (int k = 0; k < n; ++k)
    DrawKnobFace(bmp, 0, k * s, s, -135.0 + 270.0 * k / (n - 1), Px(70, 90, 140), Px(255, 230, 80));
  return bmp;
}

// n frames of w x h; frame k is a rounded button in colour cols[k] with a border.
PIX_MemBitmap* MakeButtonStrip(int w, int h, int n, const PIX_pixel* cols) {
  PIX_MemBitmap* bmp = Canvas(w, h * n);
  for (int k = 0; k < n; ++k) {
    PIX_FillRect(bmp, 2, k * h + 2, w - 4, h - 4, cols[k], 1.0f, kCopy);
    PIX_RoundRect(bmp, 1, k * h + 1, w - 3, h - 3, 4, Px(230, 230, 230), 1.0f, kCopy, false);
  }
  return bmp;
}

// Three frames of 90 x 24: frame k highlights the k-th third (a three-way selector).
PIX_MemBitmap* MakeSelectorStrip() {
  const int w = 90, h = 24;
  PIX_MemBitmap* bmp = Canvas(w, h * 3);
  for (int k = 0; k < 3; ++k) {
    for (int seg = 0; seg < 3; ++seg) {
      const PIX_pixel c = seg == k ? Px(250, 160, 40) : Px(60, 60, 70);
      PIX_FillRect(bmp, seg * 30 + 1, k * h + 1, 28, h - 2, c, 1.0f, kCopy);
    }
  }
  return bmp;
}

// Two frames of 16 x 16: an empty ring, and a ring with a dot.
PIX_MemBitmap* MakeRadioStrip() {
  PIX_MemBitmap* bmp = Canvas(16, 32);
  for (int k = 0; k < 2; ++k) {
    PIX_Circle(bmp, 7.5f, 7.5f + 16 * k, 6.5f, Px(240, 240, 240), 1.0f, kCopy, true);
    if (k == 1) PIX_FillCircle(bmp, 8, 8 + 16, 4, Px(80, 220, 120), 1.0f, kCopy, true);
  }
  return bmp;
}

PIX_MemBitmap* MakeFaderHandle() {
  PIX_MemBitmap* bmp = Canvas(30, 12);
  PIX_FillRect(bmp, 0, 0, 30, 12, Px(200, 200, 210), 1.0f, kCopy);
  PIX_FillRect(bmp, 0, 5, 30, 2, Px(220, 40, 40), 1.0f, kCopy);
  return bmp;
}

// One image, pointer straight up, for the rotating knob.
PIX_MemBitmap* MakeRotaterImage() {
  PIX_MemBitmap* bmp = Canvas(48, 48);
  DrawKnobFace(bmp, 0, 0, 48, 0.0, Px(150, 60, 60), Px(255, 255, 255));
  return bmp;
}

// Base (dark disc), mask (a bright wedge pointing up) and top (small cap) of the masked knob.
void MakeMaskImages(PIX_MemBitmap** base, PIX_MemBitmap** mask, PIX_MemBitmap** top) {
  *base = Canvas(48, 48);
  PIX_FillCircle(*base, 24, 24, 21, Px(40, 40, 50), 1.0f, kCopy, true);
  *mask = Canvas(48, 48);
  PIX_FillTriangle(*mask, 24, 4, 19, 24, 29, 24, Px(90, 240, 255), 1.0f, kCopy);
  *top = Canvas(48, 48);
  PIX_FillCircle(*top, 24, 24, 6, Px(200, 200, 200), 1.0f, kCopy, true);
}

// A half-transparent note card shown by the overlay control.
PIX_MemBitmap* MakeOverlayImage() {
  PIX_MemBitmap* bmp = Canvas(100, 40);
  PIX_FillRect(bmp, 0, 0, 100, 40, Px(255, 255, 160, 200), 1.0f, kCopy);
  PIX_RoundRect(bmp, 0, 0, 99, 39, 5, Px(120, 100, 0), 1.0f, kCopy, false);
  return bmp;
}

// A folder icon for the file selector.
PIX_MemBitmap* MakeFolderImage() {
  PIX_MemBitmap* bmp = Canvas(44, 32);
  PIX_FillRect(bmp, 2, 2, 16, 6, Px(220, 170, 60), 1.0f, kCopy);
  PIX_FillRect(bmp, 2, 6, 40, 24, Px(240, 190, 70), 1.0f, kCopy);
  return bmp;
}

// A checkerboard of two greys with thin cell borders, so that transparency
// and placement show.
PIX_MemBitmap* MakeBackground() {
  PIX_MemBitmap* bmp = new PIX_MemBitmap(kW, kH);
  for (int y = 0; y < kH; y += 10)
    for (int x = 0; x < kW; x += 10)
      PIX_FillRect(bmp, x, y, 10, 10, ((x + y) / 10) % 2 ? Px(52, 52, 58) : Px(64, 64, 72), 1.0f, kCopy);
  for (int x = 0; x <= kW; x += kCellW) PIX_FillRect(bmp, x - 1, 0, 1, kH, Px(120, 120, 130), 1.0f, kCopy);
  for (int y = 0; y <= kH; y += kCellH) PIX_FillRect(bmp, 0, y - 1, kW, 1, Px(120, 120, 130), 1.0f, kCopy);
  return bmp;
}

bool Save(const std::string& dir, const char* file, PIX_IBitmap* bmp) {
  const std::string path = dir + "/" + file;
  const bool ok = PIX_SavePNG(path.c_str(), bmp);
  if (!ok) std::fprintf(stderr, "control_card: cannot write %s\n", path.c_str());
  delete bmp;
  return ok;
}

// The top-left corner of grid cell (col, row) with a w x h control centred above the label.
int CellX(int col, int w) { return col * kCellW + (kCellW - w) / 2; }
int CellY(int row, int h) { return row * kCellH + (kCellH - kLabelH - h) / 2; }

}  // namespace

int main(int argc, char** argv) {
  const char* outPath = argc > 1 ? argv[1] : "control_card.png";

  char dirTemplate[] = "/tmp/control_card_XXXXXX";
  if (!mkdtemp(dirTemplate)) {
    std::perror("control_card: mkdtemp");
    return 1;
  }
  const std::string resDir = dirTemplate;
  PIX_MemBitmap *maskBase, *maskMask, *maskTop;
  MakeMaskImages(&maskBase, &maskMask, &maskTop);
  const PIX_pixel switchCols[2] = {Px(110, 30, 30), Px(40, 200, 60)};
  const PIX_pixel padCols[2] = {Px(110, 110, 110), Px(255, 140, 0)};
  const PIX_pixel ledCols[2] = {Px(40, 60, 40), Px(120, 255, 120)};
  bool ok = Save(resDir, "background.png", MakeBackground()) && Save(resDir, "knob.png", MakeKnobStrip()) &&
            Save(resDir, "switch.png", MakeButtonStrip(40, 24, 2, switchCols)) &&
            Save(resDir, "pad.png", MakeButtonStrip(48, 40, 2, padCols)) &&
            Save(resDir, "led.png", MakeButtonStrip(20, 20, 2, ledCols)) &&
            Save(resDir, "selector.png", MakeSelectorStrip()) && Save(resDir, "radio.png", MakeRadioStrip()) &&
            Save(resDir, "fader.png", MakeFaderHandle()) && Save(resDir, "rotater.png", MakeRotaterImage()) &&
            Save(resDir, "maskbase.png", maskBase) && Save(resDir, "maskmask.png", maskMask) &&
            Save(resDir, "masktop.png", maskTop) && Save(resDir, "overlay.png", MakeOverlayImage()) &&
            Save(resDir, "folder.png", MakeFolderImage());
  if (!ok) {
    std::error_code ec;
    std::filesystem::remove_all(resDir, ec);
    return 1;
  }

  CardPlug plug;
  IGraphicsHeadless::SetDefaultResourcePath(resDir.c_str());
  auto* g = new IGraphicsHeadless(&plug, kW, kH);

  g->AttachBackground(200, "resources/img/background.png");
  IBitmap knob = g->LoadIBitmap(201, "knob.png", 64);
  IBitmap sw = g->LoadIBitmap(202, "switch.png", 2);
  IBitmap pad = g->LoadIBitmap(203, "pad.png", 2);
  IBitmap led = g->LoadIBitmap(204, "led.png", 2);
  IBitmap selector = g->LoadIBitmap(205, "selector.png", 3);
  IBitmap radio = g->LoadIBitmap(206, "radio.png", 2);
  IBitmap fader = g->LoadIBitmap(207, "fader.png");
  IBitmap rotater = g->LoadIBitmap(208, "rotater.png");
  IBitmap mBase = g->LoadIBitmap(209, "maskbase.png");
  IBitmap mMask = g->LoadIBitmap(210, "maskmask.png");
  IBitmap mTop = g->LoadIBitmap(211, "masktop.png");
  IBitmap overlay = g->LoadIBitmap(212, "overlay.png");
  IBitmap folder = g->LoadIBitmap(213, "folder.png");
  // Decoded images stay in the process-wide cache; the files are no longer needed.
  std::error_code ec;
  std::filesystem::remove_all(resDir, ec);
  for (const IBitmap* b : {&knob, &sw, &pad, &led, &selector, &radio, &fader, &rotater, &mBase, &mMask, &mTop,
                           &overlay, &folder}) {
    if (!b->mData) {
      std::fprintf(stderr, "control_card: an image failed to load\n");
      return 1;
    }
  }

  IColor labelColor(255, 235, 235, 235);
  IText labelStyle(11, &labelColor, "DejaVu Sans");
  IColor valueColor(255, 255, 230, 80);
  IText valueStyle(13, &valueColor, "DejaVu Sans", IText::kStyleBold);

  // (control, value to show, label) per cell, row by row.
  struct Cell {
    IControl* control;
    double value;
    const char* label;
  };
  IRECT panelR(CellX(0, 120), CellY(0, 60), CellX(0, 120) + 120, CellY(0, 60) + 60);
  IColor panelColor(255, 40, 110, 170);
  IRECT invisR(CellX(3, 80), CellY(2, 40), CellX(3, 80) + 80, CellY(2, 40) + 40);
  IRECT radioR(CellX(0, 120), CellY(3, 16), CellX(0, 120) + 120, CellY(3, 16) + 16);
  IRECT lineR(CellX(2, 48), CellY(3, 48), CellX(2, 48) + 48, CellY(3, 48) + 48);
  IRECT overlayTarget(CellX(1, 100), CellY(4, 40), CellX(1, 100) + 100, CellY(4, 40) + 40);
  IRECT captionR(CellX(2, 140), CellY(4, 16), CellX(2, 140) + 140, CellY(4, 16) + 16);
  IRECT urlR(CellX(3, 120), CellY(4, 20), CellX(3, 120) + 120, CellY(4, 20) + 20);
  IRECT textR(CellX(1, 140), CellY(2, 16), CellX(1, 140) + 140, CellY(2, 16) + 16);
  IRECT fileR(CellX(2, 44), CellY(2, 32), CellX(2, 44) + 44, CellY(2, 32) + 32);
  const int faderLen = 80;
  IRECT trackR(CellX(1, 30) + 13, CellY(3, faderLen), CellX(1, 30) + 17, CellY(3, faderLen) + faderLen);

  Cell cells[] = {
      {new IPanelControl(&plug, &panelR, &panelColor), 0.0, "IPanelControl"},
      {new IBitmapControl(&plug, CellX(1, 20), CellY(0, 20), &led), 1.0, "IBitmapControl 1.0"},
      {new IKnobMultiControl(&plug, CellX(2, 48), CellY(0, 48), -1, &knob), 0.5, "IKnobMultiControl 0.5"},
      {new IKnobMultiControl(&plug, CellX(3, 48), CellY(0, 48), -1, &knob), 0.0, "IKnobMultiControl 0.0"},
      {new ISwitchControl(&plug, CellX(0, 40), CellY(1, 24), -1, &sw), 1.0, "ISwitchControl on"},
      {new ISwitchControl(&plug, CellX(1, 40), CellY(1, 24), -1, &sw), 0.0, "ISwitchControl off"},
      {new IContactControl(&plug, CellX(2, 48), CellY(1, 40), -1, &pad), 1.0, "IContactControl held"},
      {new IContactControl(&plug, CellX(3, 48), CellY(1, 40), -1, &pad), 0.0, "IContactControl up"},
      {new ISwitchPopUpControl(&plug, CellX(0, 90), CellY(2, 24), -1, &selector), 0.5, "ISwitchPopUpControl 0.5"},
      {new ITextControl(&plug, &textR, &valueStyle, "ITextControl"), 0.0, "ITextControl"},
      {new IFileSelectorControl(&plug, &fileR, -1, &folder, kFileOpen), 0.0, "IFileSelectorControl"},
      {new IInvisibleSwitchControl(&plug, &invisR, -1), 1.0, "IInvisibleSwitch (none)"},
      {new IRadioButtonsControl(&plug, &radioR, -1, 4, &radio, kHorizontal), 2.0 / 3.0, "IRadioButtons 3 of 4"},
      {new IPanelControl(&plug, &trackR, &COLOR_BLACK), 0.0, nullptr},
      {new IFaderControl(&plug, CellX(1, 30), CellY(3, faderLen), faderLen, -1, &fader), 0.75, "IFaderControl 0.75"},
      {new IKnobLineControl(&plug, &lineR, -1, &COLOR_WHITE, 6.0, 22.0), 0.25, "IKnobLineControl 0.25"},
      {new IKnobRotaterControl(&plug, CellX(3, 48), CellY(3, 48), -1, &rotater), 0.75, "IKnobRotater 0.75"},
      {new IKnobRotatingMaskControl(&plug, CellX(0, 48), CellY(4, 48), -1, &mBase, &mMask, &mTop), 1.0,
       "IKnobRotatingMask 1.0"},
      {new IBitmapOverlayControl(&plug, CellX(1, 100), CellY(4, 40), &overlay, &overlayTarget), 1.0,
       "IBitmapOverlay shown"},
      {new ICaptionControl(&plug, &captionR, 0, &valueStyle), 0.0, "ICaptionControl"},
      {new IURLControl(&plug, &urlR, "http://example.invalid/"), 0.0, "IURLControl (none)"},
  };
  // A second switch-frames control shares the selector strip; it sits in the
  // panel cell's row, under the panel, so give it its own label position.
  auto* frames = new ISwitchFramesControl(&plug, CellX(0, 90), CellY(2, 24) + 26, -1, &selector, true);

  int i = 0;
  for (Cell& c : cells) {
    g->AttachControl(c.control);
    if (c.label) {
      const int col = i % 4, row = i / 4;
      IRECT r(col * kCellW + 2, row * kCellH + kCellH - kLabelH - 2, (col + 1) * kCellW - 2, row * kCellH + kCellH - 2);
      g->AttachControl(new ITextControl(&plug, &r, &labelStyle, c.label));
      ++i;
    }
  }
  g->AttachControl(frames);
  IRECT framesLabel(2, 2 * kCellH + 2, kCellW - 2, 2 * kCellH + 14);
  g->AttachControl(new ITextControl(&plug, &framesLabel, &labelStyle, "+ ISwitchFramesControl 1.0"));

  plug.AttachGraphics(g);  // pushes the caption's parameter and prepares the bitmaps
  for (Cell& c : cells)
    if (c.control->ParamIdx() < 0) c.control->SetValueFromPlug(c.value);
  frames->SetValueFromPlug(1.0);

  IRECT all(0, 0, kW, kH);
  g->Draw(&all);
  if (!PIX_SavePNG(outPath, g->GetDrawBitmap())) {
    std::fprintf(stderr, "control_card: cannot write %s\n", outPath);
    return 1;
  }
  std::printf("control_card: %d controls drawn into %s\n", g->GetNControls(), outPath);
  return 0;
}
