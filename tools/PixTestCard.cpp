// Draws a test card of the drawing library into a PNG: every blend mode with
// and without source alpha, the fill shortcuts, primitives, scaled and
// rotated images. Usage: pix_testcard [out.png]
#include <cmath>
#include <cstdio>

#include "pix/PIX_Blit.h"
#include "pix/PIX_CachedFont.h"
#include "pix/PIX_PNG.h"
#include "pix/PIX_Primitives.h"
#include "pix/gdi/GDI.h"

namespace {

constexpr int kW = 592, kH = 442;
constexpr float kPi = 3.14159265f;

// A 64 x 64 sprite: colour gradient, a soft round alpha edge, fully clear
// corners; the kind of image a skin knob is.
void makeSprite(PIX_IBitmap* bm)
{
  bm->resize(64, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
    {
      const float dx = x - 31.5f, dy = y - 31.5f;
      const float d = std::sqrt(dx * dx + dy * dy);
      float a = (30.0f - d) / 6.0f;
      a = a < 0 ? 0 : (a > 1 ? 1 : a);
      int r = x * 4, g = y * 4, b = 255 - x * 2;
      if (std::fabs(dx) < 2.0f && dy < 0) r = g = b = 255;  // a pointer line, to see rotation
      PIX_PutPixel(bm, x, y, PIX_RGBA(r, g, b, (int)(a * 255)), 1.0f, 0);
    }
}

// Backdrop for one swatch: colour bars under a grey ramp.
void backdrop(PIX_IBitmap* card, int x, int y, int w, int h)
{
  const PIX_pixel bars[4] = {PIX_RGBA(200, 40, 40, 255), PIX_RGBA(40, 180, 60, 255),
                             PIX_RGBA(40, 80, 220, 255), PIX_RGBA(128, 128, 128, 255)};
  for (int i = 0; i < 4; ++i) PIX_FillRect(card, x + i * w / 4, y, w / 4 + 1, h / 2, bars[i], 1.0f, 0);
  for (int i = 0; i < w; ++i)
  {
    const int v = i * 255 / (w - 1);
    PIX_FillRect(card, x + i, y + h / 2, 1, h - h / 2, PIX_RGBA(v, v, v, 255), 1.0f, 0);
  }
}

// Row 1 and 2: the six rules, plain (top) and with source alpha (bottom),
// at weight 0.75; the last column shows the channel copy and the 0.5 shortcut.
void blendModes(PIX_IBitmap* card, PIX_IBitmap* sprite)
{
  for (int row = 0; row < 2; ++row)
    for (int m = 0; m < 6; ++m)
    {
      const int x = 8 + m * 74, y = 8 + row * 74;
      backdrop(card, x, y, 70, 70);
      PIX_Blit(card, sprite, x + 3, y + 3, 0, 0, 64, 64, 0.75f, m | (row ? PIX_BLIT_USE_SRC_ALPHA : 0));
    }
  backdrop(card, 8 + 6 * 74, 8, 70, 70);
  PIX_Blit(card, sprite, 8 + 6 * 74 + 3, 11, 0, 0, 64, 64, 1.0f,
           PIX_BLIT_MODE_CHANCOPY(PIX_CHAN_G, PIX_CHAN_B));
  backdrop(card, 8 + 6 * 74, 82, 70, 70);
  PIX_Blit(card, sprite, 8 + 6 * 74 + 3, 85, 0, 0, 64, 64, 0.5f, 0);
  // Source alpha at full weight (the editor's normal skin blit).
  backdrop(card, 8 + 7 * 74, 8, 70, 144);
  PIX_Blit(card, sprite, 8 + 7 * 74 + 3, 11, 0, 0, 64, 64, 1.0f, PIX_BLIT_USE_SRC_ALPHA);
  PIX_Blit(card, sprite, 8 + 7 * 74 + 3, 85, 0, 0, 64, 64, 0.3f, PIX_BLIT_USE_SRC_ALPHA);
}

// Row 3: fills at the shortcut weights and a generic weight, each mode.
void fills(PIX_IBitmap* card)
{
  const float weights[5] = {0.25f, 0.5f, 0.75f, 1.0f, 0.6f};
  for (int i = 0; i < 5; ++i)
  {
    backdrop(card, 8 + i * 40, 160, 36, 36);
    PIX_FillRect(card, 12 + i * 40, 164, 28, 28, PIX_RGBA(255, 220, 0, 255), weights[i], 0);
  }
  for (int m = 1; m < 6; ++m)
  {
    backdrop(card, 208 + (m - 1) * 40, 160, 36, 36);
    PIX_FillRect(card, 212 + (m - 1) * 40, 164, 28, 28, PIX_RGBA(180, 90, 200, 255), 0.8f, m);
  }
  // A translucent colour with the source-alpha flag.
  backdrop(card, 408, 160, 36, 36);
  PIX_FillRect(card, 412, 164, 28, 28, PIX_RGBA(0, 0, 0, 128), 1.0f, PIX_BLIT_USE_SRC_ALPHA);
}

// Row 4: primitives, aliased (left) and antialiased (right).
void primitives(PIX_IBitmap* card)
{
  PIX_FillRect(card, 8, 204, 576, 110, PIX_RGBA(24, 24, 32, 255), 1.0f, 0);
  for (int aa = 0; aa < 2; ++aa)
  {
    const int ox = 8 + aa * 288;
    const PIX_pixel c = PIX_RGBA(240, 240, 240, 255);
    for (int i = 0; i < 8; ++i)
    {
      const float a = i * kPi / 16;
      PIX_Line(card, ox + 10, 214, ox + 10 + (int)(80 * std::cos(a)), 214 + (int)(80 * std::sin(a)), c, 1.0f, 0, aa);
    }
    PIX_Circle(card, ox + 130.0f, 250.0f, 30.0f, PIX_RGBA(255, 120, 0, 255), 1.0f, 0, aa);
    PIX_Arc(card, ox + 130.0f, 250.0f, 22.0f, -0.75f * kPi, 0.75f * kPi, PIX_RGBA(0, 200, 255, 255), 1.0f, 0, aa);
    PIX_FillCircle(card, ox + 200, 250, 24, PIX_RGBA(120, 220, 90, 255), 0.8f, 0, aa);
    PIX_RoundRect(card, ox + 234, 222, 48, 60, 12, PIX_RGBA(255, 255, 0, 255), 1.0f, 0, aa);
    PIX_FillTriangle(card, ox + 20, 306, ox + 70, 290, ox + 40, 260, PIX_RGBA(230, 60, 90, 255), 0.9f, 0);
    const int xs[6] = {ox + 100, ox + 130, ox + 150, ox + 140, ox + 110, ox + 90};
    const int ys[6] = {290, 284, 296, 310, 312, 302};
    PIX_FillConvexPolygon(card, xs, ys, 6, PIX_RGBA(90, 140, 255, 255), 1.0f, 0);
  }
}

// Row 5: scaled (halved with averaging, doubled nearest and bilinear,
// mirrored) and rotated (0, 30, 90, 135 degrees, filtered) sprites.
void scaledAndRotated(PIX_IBitmap* card, PIX_IBitmap* sprite)
{
  backdrop(card, 8, 320, 576, 114);
  PIX_ScaledBlit(card, sprite, 12, 340, 32, 32, 0, 0, 64, 64, 1.0f, PIX_BLIT_USE_SRC_ALPHA | PIX_BLIT_FILTER_BILINEAR);
  PIX_ScaledBlit(card, sprite, 48, 324, 100, 100, 16, 16, 32, 32, 1.0f, PIX_BLIT_USE_SRC_ALPHA);
  PIX_ScaledBlit(card, sprite, 152, 324, 100, 100, 16, 16, 32, 32, 1.0f, PIX_BLIT_USE_SRC_ALPHA | PIX_BLIT_FILTER_BILINEAR);
  PIX_ScaledBlit(card, sprite, 256 + 64, 340, -64, 64, 0, 0, 64, 64, 1.0f, PIX_BLIT_USE_SRC_ALPHA);
  const float angles[4] = {0.0f, kPi / 6, kPi / 2, 0.75f * kPi};
  for (int i = 0; i < 4; ++i)
    PIX_RotatedBlit(card, sprite, 330 + i * 64, 340, 64, 64, 0, 0, 64, 64, angles[i], false, 1.0f,
                    PIX_BLIT_USE_SRC_ALPHA | PIX_BLIT_FILTER_BILINEAR);
}

// ---- Text section (cached fonts) -------------------------------------------
// Grows the card by kTextH rows and fills them with text: sizes and qualities
// (antialiased, monochrome, bold, italic, rotated) through the portable glyph
// cache (left) and the native renderer (right), the font effects, alignment in
// framed boxes and a translucent colour.
constexpr int kTextH = 252;

HFONT textFont(int height, int weight = FW_NORMAL, int italic = 0, int quality = ANTIALIASED_QUALITY,
               int escapement = 0, const char* face = "Verdana")
{
  return CreateFont(height, 0, escapement, escapement, weight, italic, 0, 0, DEFAULT_CHARSET,
                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, quality, DEFAULT_PITCH, face);
}

void frame(PIX_IBitmap* card, const RECT& r, PIX_pixel c)
{
  PIX_FillRect(card, r.left, r.top, r.right - r.left, 1, c, 1.0f, 0);
  PIX_FillRect(card, r.left, r.bottom - 1, r.right - r.left, 1, c, 1.0f, 0);
  PIX_FillRect(card, r.left, r.top, 1, r.bottom - r.top, c, 1.0f, 0);
  PIX_FillRect(card, r.right - 1, r.top, 1, r.bottom - r.top, c, 1.0f, 0);
}

void textSection(PIX_MemBitmap* card)
{
  // Make room below the other sections.
  PIX_MemBitmap grown(card->getWidth(), card->getHeight() + kTextH, 4);
  PIX_Clear(&grown, PIX_RGBA(48, 48, 56, 255));
  PIX_Blit(&grown, card, 0, 0, 0, 0, card->getWidth(), card->getHeight(), 1.0f, 0);
  PIX_IBitmap* bm = &grown;
  const int top = card->getHeight();
  const PIX_pixel ink = PIX_RGBA(16, 16, 24, 255), paper = PIX_RGBA(236, 234, 226, 255);
  PIX_FillRect(bm, 8, top, 576, kTextH - 8, paper, 1.0f, 0);

  // Sizes and qualities: each line twice, portable (left) and native (right).
  struct Style { int height, weight, italic, quality; const char* label; };
  const Style styles[] = {
      {10, FW_NORMAL, 0, ANTIALIASED_QUALITY, "10 px antialiased"},
      {12, FW_NORMAL, 0, NONANTIALIASED_QUALITY, "12 px monochrome"},
      {16, FW_NORMAL, 0, ANTIALIASED_QUALITY, "16 px Pitch 0.50"},
      {16, FW_BOLD, 0, ANTIALIASED_QUALITY, "16 px bold Accent"},
      {16, FW_NORMAL, 1, ANTIALIASED_QUALITY, "16 px italic Decay"},
      {24, FW_NORMAL, 0, ANTIALIASED_QUALITY, "24 px KT-412 \xC3\xA9\xE2\x82\xAC"},
  };
  {
    PIX_CachedFont caption;
    caption.SetFromHFont(textFont(11), PIX_FONT_FLAG_OWNS_HFONT);
    caption.SetTextColor(PIX_RGBA(120, 120, 130, 255));
    RECT r{12, top + 3, 236, top + 16};
    caption.DrawText(bm, "portable (glyph cache)", -1, &r, 0);
    r = RECT{240, top + 3, 464, top + 16};
    caption.DrawText(bm, "native (platform renderer)", -1, &r, 0);
  }
  int y = top + 20;
  for (const Style& st : styles)
  {
    for (int native = 0; native < 2; ++native)
    {
      PIX_CachedFont font;
      font.SetFromHFont(textFont(st.height, st.weight, st.italic, st.quality),
                        PIX_FONT_FLAG_OWNS_HFONT | (native ? PIX_FONT_FLAG_FORCE_NATIVE : 0));
      font.SetTextColor(ink);
      RECT r{12 + native * 228, y, 236 + native * 228, y + 40};
      font.DrawText(bm, st.label, -1, &r, DT_NOCLIP);
    }
    PIX_CachedFont probe;
    probe.SetFromHFont(textFont(st.height), PIX_FONT_FLAG_OWNS_HFONT);
    y += probe.GetLineHeight() + 3;
  }

  // Rotated through the native renderer (escapement 90 and 45 degrees), and
  // the portable path's own vertical flags.
  {
    PIX_CachedFont up, slope, down, bottomUp;
    up.SetFromHFont(textFont(14, FW_NORMAL, 0, ANTIALIASED_QUALITY, 900), PIX_FONT_FLAG_OWNS_HFONT | PIX_FONT_FLAG_FORCE_NATIVE);
    slope.SetFromHFont(textFont(14, FW_BOLD, 0, ANTIALIASED_QUALITY, 450), PIX_FONT_FLAG_OWNS_HFONT | PIX_FONT_FLAG_FORCE_NATIVE);
    down.SetFromHFont(textFont(14), PIX_FONT_FLAG_OWNS_HFONT | PIX_FONT_FLAG_VERTICAL);
    bottomUp.SetFromHFont(textFont(14), PIX_FONT_FLAG_OWNS_HFONT | PIX_FONT_FLAG_VERTICAL | PIX_FONT_FLAG_VERTICAL_BOTTOMUP);
    for (PIX_CachedFont* f : {&up, &slope, &down, &bottomUp}) f->SetTextColor(PIX_RGBA(30, 60, 160, 255));
    RECT r{468, top + 20, 490, top + 146};
    up.DrawText(bm, "Rotated 90", -1, &r, DT_NOCLIP);
    r = RECT{490, top + 20, 560, top + 96};
    slope.DrawText(bm, "45 deg", -1, &r, DT_NOCLIP);
    r = RECT{556, top + 20, 576, top + 146};
    down.DrawText(bm, "Vertical", -1, &r, DT_NOCLIP);
    r = RECT{500, top + 96, 520, top + 146};
    bottomUp.DrawText(bm, "Up", -1, &r, DT_NOCLIP);
  }

  // Effects on a dark strip: outline, shadow, mono flag, blur, invert.
  const int fy = top + 156;
  PIX_FillRect(bm, 12, fy, 448, 30, PIX_RGBA(40, 44, 60, 255), 1.0f, 0);
  struct Fx { int flags; const char* label; };
  const Fx fxs[] = {{PIX_FONT_FLAG_FX_OUTLINE, "Outline"}, {PIX_FONT_FLAG_FX_SHADOW, "Shadow"},
                    {PIX_FONT_FLAG_FX_MONO, "Mono"}, {PIX_FONT_FLAG_FX_BLUR, "Blur"},
                    {PIX_FONT_FLAG_FX_INVERT, "Invert"}};
  for (int i = 0; i < 5; ++i)
  {
    PIX_CachedFont font;
    font.SetFromHFont(textFont(18, FW_BOLD), PIX_FONT_FLAG_OWNS_HFONT | fxs[i].flags);
    font.SetTextColor(PIX_RGBA(255, 210, 60, 255));
    font.SetEffectColor(PIX_RGBA(230, 70, 70, 255));
    RECT r{16 + i * 90, fy + 5, 104 + i * 90, fy + 28};
    font.DrawText(bm, fxs[i].label, -1, &r, 0);
  }

  // Alignment in framed boxes, multi-line, opaque background, translucent colour.
  const int ay = top + 192;
  PIX_CachedFont font, native;
  font.SetFromHFont(textFont(13), PIX_FONT_FLAG_OWNS_HFONT);
  native.SetFromHFont(textFont(13), PIX_FONT_FLAG_OWNS_HFONT | PIX_FONT_FLAG_FORCE_NATIVE);
  const unsigned formats[4] = {0, DT_CENTER | DT_VCENTER, DT_RIGHT | DT_BOTTOM, DT_CENTER};
  const char* texts[4] = {"Left top", "Centred", "Right bottom", "Two lines\ncentred"};
  for (int i = 0; i < 4; ++i)
  {
    RECT r{12 + i * 112, ay, 118 + i * 112, ay + 48};
    frame(bm, r, PIX_RGBA(150, 150, 150, 255));
    PIX_CachedFont& f = (i & 1) ? native : font;
    f.SetTextColor(ink);
    RECT inside{r.left + 2, r.top + 1, r.right - 2, r.bottom - 1};
    f.DrawText(bm, texts[i], -1, &inside, formats[i]);
  }
  font.SetBkMode(1);
  font.SetBkColor(PIX_RGBA(255, 240, 120, 255));
  RECT r{468, ay, 584, ay + 20};
  font.DrawText(bm, "Opaque bg", -1, &r, 0);
  font.SetBkMode(0);
  font.SetTextColor(PIX_RGBA(200, 0, 0, 110));
  r = RECT{468, ay + 24, 584, ay + 48};
  font.DrawText(bm, "Alpha 110", -1, &r, PIX_DT_USEFGALPHA);

  PIX_Copy(card, &grown);
}

}  // namespace

int main(int argc, char** argv)
{
  const char* out = argc > 1 ? argv[1] : "pix_testcard.png";
  PIX_MemBitmap card(kW, kH, 4), sprite;
  PIX_Clear(&card, PIX_RGBA(48, 48, 56, 255));
  makeSprite(&sprite);
  blendModes(&card, &sprite);
  fills(&card);
  primitives(&card);
  scaledAndRotated(&card, &sprite);
  textSection(&card);
  if (!PIX_SavePNG(out, &card))
  {
    fprintf(stderr, "pix_testcard: cannot write %s\n", out);
    return 1;
  }
  printf("wrote %s\n", out);
  return 0;
}
