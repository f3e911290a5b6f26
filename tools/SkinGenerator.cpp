// gen_skin: draws every image of the editor's skin with the drawing library
// and writes them as PNGs into OUTDIR.
//
//   gen_skin OUTDIR [--scale N] [--preview FILE]
//
// --scale (1, 1.5, 2, 2.5, 3, 3.5 or 4; default 1) multiplies every size, for
// high-density skins; type is set at the scaled size, never enlarged.
// --preview also writes the images put together as the editor shows them.
// The output is fully determined by this file, the drawing library and the
// "DejaVu Sans" font: the panel texture comes from a fixed-seed generator, so
// a second run writes the same pixels.
//
// How shapes are drawn and antialiased is told in SkinCanvas.h.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "SkinCanvas.h"
#include "pix/PIX_PNG.h"

namespace {

using namespace skin;

// ---- Palette ---------------------------------------------------------------
const PIX_pixel kPanelTop = PIX_RGBA(44, 46, 51, 255);
const PIX_pixel kPanelBottom = PIX_RGBA(29, 30, 34, 255);
const PIX_pixel kAmber = PIX_RGBA(255, 152, 38, 255);
const PIX_pixel kLabel = PIX_RGBA(214, 212, 204, 255);
const PIX_pixel kLabelDim = PIX_RGBA(138, 140, 146, 255);

// ---- Output ------------------------------------------------------------------
struct Output
{
  std::string dir;
  float scale = 1;
  bool ok = true;

  void save(const char* name, PIX_IBitmap* bm)
  {
    const std::string path = dir + "/" + name;
    if (!PIX_SavePNG(path.c_str(), bm))
    {
      fprintf(stderr, "gen_skin: cannot write %s\n", path.c_str());
      ok = false;
    }
  }
};

// Stacks frames vertically into one strip and writes it.
void SaveStrip(Output& out, const char* name, std::vector<PIX_MemBitmap*>& frames)
{
  const int w = frames[0]->getWidth(), h = frames[0]->getHeight();
  PIX_MemBitmap strip(w, h * (int)frames.size(), 4);
  for (size_t i = 0; i < frames.size(); ++i)
  {
    PIX_Blit(&strip, frames[i], 0, (int)i * h, 0, 0, w, h, 1.0f, 0);
    delete frames[i];
  }
  frames.clear();
  out.save(name, &strip);
}

// ---- Knob ------------------------------------------------------------------
// 64 x 64: a value arc from 7 to 5 o'clock (270 degrees) round a machined cap
// with a pointer. Frame i shows the value i / 63.
constexpr float kKnobSweep = 1.5f * kPi;  // 270 degrees

PIX_MemBitmap* KnobFrame(float scale, float value)
{
  Sprite s(64, 64, scale, true);
  const float cx = 32, cy = 32;
  const float a0 = -kKnobSweep / 2, a = a0 + kKnobSweep * value;
  // Track and value arc.
  s.arcBand(cx, cy, 26.5f, 29.5f, a0, a0 + kKnobSweep, PIX_RGBA(16, 17, 19, 255));
  s.arcBand(cx, cy, 27.0f, 29.0f, a0, a0 + kKnobSweep, PIX_RGBA(68, 70, 77, 255));
  if (value > 0) s.arcBand(cx, cy, 27.0f, 29.0f, a0, a, kAmber);
  // Drop shadow, skirt, cap.
  s.disc(cx + 0.8f, cy + 2.2f, 22.5f, kBlack, kBlack, 1.0f, 0.45f);
  s.disc(cx, cy, 22.0f, PIX_RGBA(92, 95, 102, 255), PIX_RGBA(22, 23, 26, 255));
  s.disc(cx, cy, 20.5f, PIX_RGBA(58, 60, 66, 255), PIX_RGBA(30, 31, 35, 255));
  // Grip ridges on the skirt: short dark notches every 20 degrees.
  for (int i = 0; i < 18; ++i)
  {
    const float g = a + i * (2 * kPi / 18);
    s.stroke(cx + 18.6f * std::sin(g), cy - 18.6f * std::cos(g), cx + 20.6f * std::sin(g),
             cy - 20.6f * std::cos(g), 1.1f, PIX_RGBA(20, 21, 24, 255));
  }
  s.disc(cx, cy, 16.0f, PIX_RGBA(112, 116, 124, 255), PIX_RGBA(36, 38, 43, 255));
  s.disc(cx, cy, 15.0f, PIX_RGBA(74, 77, 84, 255), PIX_RGBA(44, 46, 52, 255));
  // Pointer: a light line from near the centre to the skirt, tipped amber.
  const float sx = std::sin(a), sy = -std::cos(a);
  s.stroke(cx + 5.0f * sx, cy + 5.0f * sy, cx + 19.0f * sx, cy + 19.0f * sy, 2.6f,
           PIX_RGBA(240, 238, 230, 255));
  s.disc(cx + 19.0f * sx, cy + 19.0f * sy, 1.6f, kAmber, kAmber);
  PIX_MemBitmap* bm = s.Resolve();
  s.FinishAlpha(bm);
  return bm;
}

void DrawKnob(Output& out)
{
  std::vector<PIX_MemBitmap*> frames;
  for (int i = 0; i < 64; ++i) frames.push_back(KnobFrame(out.scale, (float)i / 63.0f));
  SaveStrip(out, "knob412_64Frames.png", frames);
}

// ---- Keyboard switch --------------------------------------------------------
// 56 x 36: a small keyboard; off it lies dark, on its keys glow amber.
PIX_MemBitmap* KybFrame(float scale, bool on)
{
  Sprite s(56, 36, scale, true);
  s.roundRect(0.5f, 1.5f, 55, 34.5f, 5, kBlack, kBlack, 1.0f, 0.5f);  // shadow
  s.roundRect(0.5f, 0.5f, 55, 34, 5, PIX_RGBA(86, 89, 96, 255), PIX_RGBA(20, 21, 24, 255));
  s.roundRect(1.5f, 1.5f, 53, 32, 4.2f, PIX_RGBA(50, 52, 58, 255), PIX_RGBA(30, 31, 35, 255));
  if (on) s.glow(28, 18, 27, kAmber, 0.35f);
  // Seven white keys and five black keys in a 44 x 22 well.
  const float kx = 6, ky = 7, kw = 44, kh = 22;
  s.rect(kx - 1, ky - 1, kw + 2, kh + 2, PIX_RGBA(10, 10, 12, 255));
  const float w = kw / 7;
  for (int i = 0; i < 7; ++i)
  {
    const PIX_pixel top = on ? PIX_RGBA(255, 224, 170, 255) : PIX_RGBA(150, 150, 146, 255);
    const PIX_pixel bot = on ? PIX_RGBA(255, 166, 60, 255) : PIX_RGBA(104, 104, 102, 255);
    s.roundRect(kx + i * w + 0.4f, ky, w - 0.8f, kh, 0.8f, top, bot);
  }
  const int blacks[5] = {1, 2, 4, 5, 6};
  for (int b : blacks)
  {
    const float bx = kx + b * w - w * 0.3f;
    s.roundRect(bx, ky, w * 0.6f, kh * 0.6f, 0.6f, PIX_RGBA(40, 40, 44, 255),
                on ? PIX_RGBA(70, 40, 16, 255) : PIX_RGBA(14, 14, 16, 255));
  }
  // Status dot, top right.
  s.disc(50, 4.3f, 1.6f, on ? kAmber : PIX_RGBA(60, 40, 30, 255), on ? kAmber : PIX_RGBA(40, 28, 22, 255));
  PIX_MemBitmap* bm = s.Resolve();
  s.FinishAlpha(bm);
  return bm;
}

void DrawKyb(Output& out)
{
  std::vector<PIX_MemBitmap*> frames{KybFrame(out.scale, false), KybFrame(out.scale, true)};
  SaveStrip(out, "kyb.png", frames);
}

// ---- Trigger pad ---------------------------------------------------------------
// 96 x 30: a rubber pad that reads TRIGGER; pressed, it sinks and lights.
PIX_MemBitmap* TriggerFrame(float scale, bool pressed)
{
  Sprite s(96, 30, scale, true);
  s.roundRect(0.5f, 0.5f, 95, 29, 6, PIX_RGBA(12, 12, 14, 255), PIX_RGBA(70, 72, 78, 255));
  if (!pressed)
  {
    s.roundRect(2, 2, 92, 25.5f, 5, PIX_RGBA(104, 106, 112, 255), PIX_RGBA(40, 41, 46, 255));
    s.roundRect(3, 3, 90, 23.5f, 4.5f, PIX_RGBA(72, 74, 80, 255), PIX_RGBA(50, 52, 57, 255));
  }
  else
  {
    s.roundRect(2, 2.5f, 92, 25.5f, 5, PIX_RGBA(255, 190, 100, 255), PIX_RGBA(170, 80, 10, 255));
    s.roundRect(3, 3.5f, 90, 23.5f, 4.5f, PIX_RGBA(255, 170, 70, 255), PIX_RGBA(228, 120, 24, 255));
  }
  PIX_MemBitmap* bm = s.Resolve();
  Font f(11, true, scale);
  if (pressed)
    f.centred(bm, "TRIGGER", 48, 15.5f, PIX_RGBA(60, 26, 4, 255));
  else
    f.centred(bm, "TRIGGER", 48, 14.5f, kLabel, PIX_RGBA(16, 16, 18, 255));
  s.FinishAlpha(bm);
  return bm;
}

void DrawTrigger(Output& out)
{
  std::vector<PIX_MemBitmap*> frames{TriggerFrame(out.scale, false), TriggerFrame(out.scale, true)};
  SaveStrip(out, "trigger412.png", frames);
}

// ---- Small buttons ---------------------------------------------------------------
// 22 x 16 push buttons with an indicator bar that lights in the given colour.
PIX_MemBitmap* SmallButtonFrame(float scale, bool on, PIX_pixel lit)
{
  Sprite s(22, 16, scale, true);
  s.roundRect(0.5f, 0.5f, 21, 15, 3, PIX_RGBA(10, 10, 12, 255), PIX_RGBA(74, 76, 82, 255));
  s.roundRect(1.5f, 1.5f, 19, 12.5f, 2.5f, PIX_RGBA(96, 99, 106, 255), PIX_RGBA(42, 44, 49, 255));
  if (on)
  {
    s.rect(5, 6, 12, 4, lit);
    s.rect(5, 6, 12, 1.5f, Mix(lit, kWhite, 0.5f));
  }
  else
  {
    s.rect(5, 6, 12, 4, PIX_RGBA(26, 26, 28, 255));
  }
  PIX_MemBitmap* bm = s.Resolve();
  s.FinishAlpha(bm);
  return bm;
}

void DrawSmallButtons(Output& out)
{
  std::vector<PIX_MemBitmap*> frames{SmallButtonFrame(out.scale, false, kAmber),
                                     SmallButtonFrame(out.scale, true, kAmber)};
  SaveStrip(out, "learn.png", frames);
  frames = {SmallButtonFrame(out.scale, false, PIX_RGBA(255, 70, 50, 255)),
            SmallButtonFrame(out.scale, true, PIX_RGBA(255, 70, 50, 255))};
  SaveStrip(out, "clear.png", frames);
}

// ---- LED --------------------------------------------------------------------------
PIX_MemBitmap* LedFrame(float scale, bool lit)
{
  Sprite s(16, 16, scale, true);
  if (lit) s.glow(8, 8, 8, PIX_RGBA(255, 60, 30, 255), 0.9f, 10);
  s.disc(8, 8, 5.6f, PIX_RGBA(14, 14, 16, 255), PIX_RGBA(90, 92, 98, 255));  // bezel
  if (lit)
  {
    s.disc(8, 8, 4.4f, PIX_RGBA(255, 120, 80, 255), PIX_RGBA(220, 30, 14, 255));
    s.disc(7, 6.6f, 1.7f, PIX_RGBA(255, 236, 220, 255), PIX_RGBA(255, 200, 170, 255));
  }
  else
  {
    s.disc(8, 8, 4.4f, PIX_RGBA(70, 22, 18, 255), PIX_RGBA(36, 12, 10, 255));
    s.disc(7, 6.6f, 1.4f, PIX_RGBA(110, 70, 66, 255), PIX_RGBA(80, 40, 36, 255), 0.6f);
  }
  PIX_MemBitmap* bm = s.Resolve();
  s.FinishAlpha(bm);
  return bm;
}

void DrawLed(Output& out)
{
  std::vector<PIX_MemBitmap*> frames{LedFrame(out.scale, false), LedFrame(out.scale, true)};
  SaveStrip(out, "led.png", frames);
}

// ---- Preset arrows -----------------------------------------------------------------
PIX_MemBitmap* ArrowFrame(float scale, bool right, bool pressed)
{
  Sprite s(32, 18, scale, true);
  s.roundRect(0.5f, 0.5f, 31, 17, 3.5f, PIX_RGBA(10, 10, 12, 255), PIX_RGBA(70, 72, 78, 255));
  if (pressed)
    s.roundRect(1.5f, 1.5f, 29, 15, 3, PIX_RGBA(40, 42, 47, 255), PIX_RGBA(70, 72, 78, 255));
  else
    s.roundRect(1.5f, 1.5f, 29, 14.5f, 3, PIX_RGBA(96, 99, 106, 255), PIX_RGBA(42, 44, 49, 255));
  const PIX_pixel c = pressed ? kAmber : kLabel;
  const float cy = pressed ? 9.5f : 9.0f;
  if (right)
    s.poly({12.5f, cy - 4.5f, 20.0f, cy, 12.5f, cy + 4.5f}, c);
  else
    s.poly({19.5f, cy - 4.5f, 12.0f, cy, 19.5f, cy + 4.5f}, c);
  PIX_MemBitmap* bm = s.Resolve();
  s.FinishAlpha(bm);
  return bm;
}

void DrawArrows(Output& out)
{
  std::vector<PIX_MemBitmap*> frames{ArrowFrame(out.scale, false, false), ArrowFrame(out.scale, false, true)};
  SaveStrip(out, "presetLeft.png", frames);
  frames = {ArrowFrame(out.scale, true, false), ArrowFrame(out.scale, true, true)};
  SaveStrip(out, "presetRight.png", frames);
}

// ---- Background -------------------------------------------------------------------
constexpr int kBgW = 592, kBgH = 442;
const float kKnobX[3] = {95, 245, 395}, kKnobY[3] = {127, 217, 308};
constexpr float kLearnLabelX = 490, kClearLabelX = 552;  // caption centres
const char* const kKnobLabels[9] = {"PITCH", "ACCENT", "DECAY", "TUNE DECAY", "ATTACK",
                                    "HOLD", "TUNE DEPTH", "NOISE DECAY", "DISTORT"};

// Brushed-metal grain: per-row streaks (smoothed noise along x) plus fine
// grain, as a grey image around 128, laid over the panel with overlay.
void Texture(PIX_IBitmap* bm, float scale)
{
  const int W = bm->getWidth(), H = bm->getHeight();
  PIX_MemBitmap grain(W, H, 4);
  Rng rng(0x4B540412u);
  // Streaks keep their length in design units at every scale.
  const float keep = scale == 1 ? 0.94f : std::pow(0.94f, 1.0f / scale);
  for (int y = 0; y < H; ++y)
  {
    float streak = rng.uni() * 0.5f;
    const float rowBias = rng.uni() * 4.0f;
    for (int x = 0; x < W; ++x)
    {
      streak = streak * keep + rng.uni() * (1.0f - keep) * 4.0f;
      const float v = 128.0f + rowBias + streak * 9.0f + rng.uni() * 5.0f;
      const int g = (int)std::lround(std::fmin(255.0f, std::fmax(0.0f, v)));
      PIX_PutPixel(&grain, x, y, PIX_RGBA(g, g, g, 255), 1.0f, 0);
    }
  }
  PIX_Blit(bm, &grain, 0, 0, 0, 0, W, H, 0.6f, PIX_BLIT_MODE_OVERLAY);
}

// Draws a right-pointing arrow (shaft and head) of the given length at
// (x, cy) in design units.
void Arrow(Sprite& s, float x, float cy, float len, PIX_pixel c)
{
  s.stroke(x, cy, x + len - 3.0f, cy, 1.4f, c);
  s.poly({x + len - 4.2f, cy - 3.0f, x + len, cy, x + len - 4.2f, cy + 3.0f}, c);
}

void DrawBackground(Output& out)
{
  const float sc = out.scale;
  Sprite s(kBgW, kBgH, sc, false, kPanelBottom);
  // Panel with a soft vertical light fall-off; header and footer bands.
  s.roundRect(0, 0, kBgW, kBgH, 0, kPanelTop, kPanelBottom);
  s.rect(0, 0, kBgW, 50, PIX_RGBA(20, 21, 24, 255));
  s.rect(0, 50, kBgW, 1, PIX_RGBA(8, 8, 9, 255));
  s.rect(0, 51, kBgW, 1, PIX_RGBA(70, 72, 78, 255));
  s.rect(0, 407, kBgW, 1, PIX_RGBA(10, 10, 11, 255));
  s.rect(0, 408, kBgW, kBgH - 408, PIX_RGBA(22, 23, 26, 255));
  s.rect(14, 48, 120, 2, kAmber);  // accent under the name

  // Knob section: a recessed field behind the nine knobs.
  s.roundRect(14, 62, 452, 336, 8, PIX_RGBA(18, 19, 22, 255), PIX_RGBA(58, 60, 66, 255));
  s.roundRect(15, 63, 450, 334, 7, PIX_RGBA(34, 36, 40, 255), PIX_RGBA(28, 29, 33, 255));
  // Right column: trigger, LED, learn, readout.
  s.roundRect(472, 62, 108, 336, 8, PIX_RGBA(18, 19, 22, 255), PIX_RGBA(58, 60, 66, 255));
  s.roundRect(473, 63, 106, 334, 7, PIX_RGBA(36, 38, 43, 255), PIX_RGBA(28, 29, 33, 255));

  // Switch wells behind the two keyboard switches.
  const float swx[2] = {34, 184};
  for (float x : swx)
  {
    s.roundRect(x - 4, 166, 64, 44, 6, PIX_RGBA(14, 14, 16, 255), PIX_RGBA(56, 58, 64, 255));
    s.roundRect(x - 3, 167, 62, 42, 5, PIX_RGBA(24, 25, 28, 255), PIX_RGBA(30, 31, 35, 255));
  }
  // Preset field bezel (the field itself is drawn by the editor) in the header.
  s.roundRect(168, 14, 254, 26, 5, PIX_RGBA(6, 6, 7, 255), PIX_RGBA(60, 62, 68, 255));
  s.roundRect(205, 19, 180, 20, 2, PIX_RGBA(120, 140, 176, 255), PIX_RGBA(176, 192, 220, 255));
  // Value readout window: a pale LCD that black text reads well on.
  s.roundRect(488, 340, 64, 24, 4, PIX_RGBA(8, 8, 9, 255), PIX_RGBA(64, 66, 72, 255));
  s.roundRect(491, 343, 58, 18, 2, PIX_RGBA(160, 172, 136, 255), PIX_RGBA(198, 210, 172, 255));
  // LED bezel ring and learn/clear well.
  s.roundRect(494, 232, 53, 24, 4, PIX_RGBA(14, 14, 16, 255), PIX_RGBA(50, 52, 58, 255));
  // Engraved rules dividing the right column into trigger, MIDI and readout.
  for (float y : {186.0f, 290.0f})
  {
    s.rect(484, y, 74, 1, PIX_RGBA(14, 14, 16, 255));
    s.rect(484, y + 1, 74, 1, PIX_RGBA(62, 64, 70, 255));
  }
  // Leader lines from the LEARN and CLEAR captions down to their buttons.
  const PIX_pixel lead = PIX_RGBA(120, 122, 128, 255);
  s.rect(kLearnLabelX, 229, 509 - kLearnLabelX + 0.5f, 1, lead);
  s.rect(509, 229, 1, 4, lead);
  s.rect(532, 229, kClearLabelX - 532, 1, lead);
  s.rect(532, 229, 1, 4, lead);
  s.rect(kLearnLabelX, 228, 1, 2, lead);
  s.rect(kClearLabelX - 1, 228, 1, 2, lead);
  // Screws in the footer corners.
  const float screws[2][2] = {{12, 424}, {580, 424}};
  for (int i = 0; i < 2; ++i)
  {
    const float x = screws[i][0], y = screws[i][1];
    s.disc(x, y + 0.6f, 5.2f, kBlack, kBlack, 0.6f);
    s.disc(x, y, 5.0f, PIX_RGBA(150, 152, 158, 255), PIX_RGBA(60, 62, 68, 255));
    s.stroke(x - 3.2f, y - 1.6f, x + 3.2f, y + 1.6f, 1.1f, PIX_RGBA(30, 30, 34, 255));
  }
  // Arrows of the switch captions ("NOTE -> PITCH", "VELOCITY -> ACCENT"):
  // drawn as shapes so that they never depend on the font having the glyph.
  Font cap(9, true, sc);
  const float arrowLen = 9.0f, gap = 3.0f;
  const char* from[2] = {"NOTE", "VELOCITY"};
  const char* to[2] = {"PITCH", "ACCENT"};
  float toX[2];
  for (int i = 0; i < 2; ++i)
  {
    const float cx = swx[i] + 28;
    const float w2 = arrowLen + gap + cap.width(to[i]);
    const float x2 = cx - w2 / 2;
    Arrow(s, x2, 156.5f, arrowLen, kAmber);
    toX[i] = x2 + arrowLen + gap;
  }

  PIX_MemBitmap* bm = s.Resolve();
  Texture(bm, sc);

  // ---- Text ----
  {
    // The name fills the header left of the preset arrows (x 16..164):
    // the largest size at which it fits.
    int px = 20;
    for (; px > 10; --px)
    {
      Font a(px, true, sc), b(px, false, sc);
      if (a.width("Quorvane ") + b.width("KT-412") <= 148.0f) break;
    }
    Font title(px, true, sc), titleNum(px, false, sc);
    const float w1 = title.width("Quorvane ");
    title.draw(bm, "Quorvane", 16, 25, PIX_RGBA(236, 234, 226, 255), kBlack);
    titleNum.draw(bm, "KT-412", 16 + w1, 25, kAmber, kBlack);
    Font sub(8, true, sc);
    sub.draw(bm, "ANALOG", 436, 21, kLabelDim);
    sub.draw(bm, "BASS DRUM SYNTHESIZER", 436, 32, kLabel);
  }
  Font label(9, true, sc);
  for (int i = 0; i < 9; ++i)
  {
    const float cx = kKnobX[i % 3] + 32, top = kKnobY[i / 3] + 64;
    label.centred(bm, kKnobLabels[i], cx, top + 7.5f, kLabel, kBlack);
  }
  for (int i = 0; i < 2; ++i)
  {
    const float cx = swx[i] + 28;
    cap.centred(bm, from[i], cx, 144.5f, kLabel, kBlack);
    cap.draw(bm, to[i], toX[i], 156.5f, kLabel, kBlack);
  }
  Font small(8, true, sc);
  small.centred(bm, "MIDI", 521, 204, kLabelDim, kBlack);
  small.centred(bm, "LEARN", kLearnLabelX, 223, kLabel, kBlack);
  small.centred(bm, "CLEAR", kClearLabelX, 223, kLabel, kBlack);
  small.centred(bm, "HIT", 519, 156, kLabelDim, kBlack);
  small.centred(bm, "VALUE", 520, 332, kLabelDim, kBlack);
  small.draw(bm, "SINGLE-VOICE ANALOG KICK MODEL", 24, 425, kLabelDim, kBlack);
  small.draw(bm, "QUORVANE INSTRUMENTS", 568 - small.width("QUORVANE INSTRUMENTS"), 425, kLabelDim, kBlack);

  s.FinishAlpha(bm);
  out.save("backgroundPro.png", bm);
  delete bm;
}

// Puts the written images together as the editor would show them (knobs at
// assorted values, some switches on, sample texts in the code-drawn fields),
// so that the skin can be judged as a whole.
bool WritePreview(const Output& out, const std::string& file)
{
  const float sc = out.scale;
  auto px = [sc](int v) { return (int)std::lround((float)v * sc); };
  auto load = [&](const char* name) { return PIX_LoadPNG((out.dir + "/" + name).c_str()); };
  PIX_IBitmap* bg = load("backgroundPro.png");
  if (!bg) return false;
  PIX_MemBitmap view(bg->getWidth(), bg->getHeight(), 4);
  PIX_Blit(&view, bg, 0, 0, 0, 0, bg->getWidth(), bg->getHeight(), 1.0f, 0);
  delete bg;
  struct Place { const char* name; int frames, frame, x, y; };
  const Place places[] = {
      {"knob412_64Frames.png", 64, 32, 95, 127}, {"knob412_64Frames.png", 64, 40, 245, 127},
      {"knob412_64Frames.png", 64, 20, 395, 127}, {"knob412_64Frames.png", 64, 0, 95, 217},
      {"knob412_64Frames.png", 64, 63, 245, 217}, {"knob412_64Frames.png", 64, 10, 395, 217},
      {"knob412_64Frames.png", 64, 48, 95, 308}, {"knob412_64Frames.png", 64, 5, 245, 308},
      {"knob412_64Frames.png", 64, 55, 395, 308}, {"kyb.png", 2, 0, 34, 170},
      {"kyb.png", 2, 1, 184, 170}, {"trigger412.png", 2, 0, 480, 100},
      {"learn.png", 2, 1, 498, 236}, {"clear.png", 2, 0, 521, 236},
      {"led.png", 2, 1, 511, 131}, {"presetLeft.png", 2, 0, 172, 18},
      {"presetRight.png", 2, 1, 386, 18}};
  for (const Place& p : places)
  {
    PIX_IBitmap* img = load(p.name);
    if (!img) return false;
    const int fh = img->getHeight() / p.frames;
    PIX_Blit(&view, img, px(p.x), px(p.y), 0, p.frame * fh, img->getWidth(), fh, 1.0f,
             PIX_BLIT_USE_SRC_ALPHA);
    delete img;
  }
  PIX_CachedFont f16, f12;
  f16.SetFromHFont(CreateFont(px(16), 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                              NONANTIALIASED_QUALITY, 0, "Verdana"), PIX_FONT_FLAG_OWNS_HFONT);
  f12.SetFromHFont(CreateFont(px(12), 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                              NONANTIALIASED_QUALITY, 0, "Verdana"), PIX_FONT_FLAG_OWNS_HFONT);
  RECT r{px(207), px(20), px(383), px(37)};
  f16.DrawText(&view, "Tight Short Kick", -1, &r, DT_CENTER);
  r = RECT{px(496), px(346), px(544), px(358)};
  f12.DrawText(&view, "0.5000", -1, &r, DT_CENTER);
  return PIX_SavePNG(file.c_str(), &view);
}

bool MakeDir(const std::string& dir)
{
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  return mkdir(dir.c_str(), 0777) == 0;
}

int Usage()
{
  fprintf(stderr, "usage: gen_skin OUTDIR [--scale N] [--preview FILE]   (N = 1..4 in steps of 0.5, default 1)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv)
{
  Output out;
  std::string preview;
  for (int i = 1; i < argc; ++i)
  {
    const std::string a = argv[i];
    if (a == "--scale")
    {
      if (i + 1 >= argc) return Usage();
      char* end = nullptr;
      errno = 0;
      const double v = std::strtod(argv[++i], &end);
      // Halves only: every design size of the skin is even, so each lands on whole pixels.
      if (errno || !end || *end || !(v >= 1 && v <= 4) || v * 2 != std::floor(v * 2)) return Usage();
      out.scale = (float)v;
    }
    else if (a == "--preview")
    {
      if (i + 1 >= argc) return Usage();
      preview = argv[++i];
    }
    else if (out.dir.empty() && !a.empty() && a[0] != '-')
      out.dir = a;
    else
      return Usage();
  }
  if (out.dir.empty()) return Usage();
  if (!MakeDir(out.dir))
  {
    fprintf(stderr, "gen_skin: cannot use folder %s\n", out.dir.c_str());
    return 2;
  }
  {
    Font probe(9, true, 1);
    if (!probe.ok())
    {
      fprintf(stderr, "gen_skin: no font \"%s\" (or any fallback) could be opened\n", kFace);
      return 1;
    }
  }
  DrawBackground(out);
  DrawKnob(out);
  DrawKyb(out);
  DrawTrigger(out);
  DrawSmallButtons(out);
  DrawLed(out);
  DrawArrows(out);
  if (!out.ok) return 1;
  if (!preview.empty() && !WritePreview(out, preview))
  {
    fprintf(stderr, "gen_skin: cannot write the preview %s\n", preview.c_str());
    return 1;
  }
  printf("gen_skin: wrote the skin at scale %g into %s\n", out.scale, out.dir.c_str());
  return 0;
}
