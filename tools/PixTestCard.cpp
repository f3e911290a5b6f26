// Draws a test card of the drawing library into a PNG: every blend mode with
// and without source alpha, the fill shortcuts, primitives, scaled and
// rotated images. Usage: pix_testcard [out.png]
#include <cmath>
#include <cstdio>

#include "pix/PIX_Blit.h"
#include "pix/PIX_PNG.h"
#include "pix/PIX_Primitives.h"

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
  if (!PIX_SavePNG(out, &card))
  {
    fprintf(stderr, "pix_testcard: cannot write %s\n", out);
    return 1;
  }
  printf("wrote %s\n", out);
  return 0;
}
