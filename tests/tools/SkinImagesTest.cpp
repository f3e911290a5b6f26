// The committed skin images: sizes and frame counts, the layout they make
// with the control positions, and what each picture must show.
#include <gtest/gtest.h>

#include <cmath>

#include "pix/PIX_Blit.h"
#include "tools/SkinTestUtil.h"

namespace {

using namespace skintest;

struct Rect
{
  int l, t, r, b;
  bool overlaps(const Rect& o) const { return l < o.r && o.l < r && t < o.b && o.t < b; }
};

std::string SkinPath(const char* file)
{
  return std::string(SKIN_DIR) + "/" + file;
}

double Luma(PIX_pixel p)
{
  return 0.299 * PIX_R(p) + 0.587 * PIX_G(p) + 0.114 * PIX_B(p);
}

bool IsAmber(PIX_pixel p)
{
  return PIX_A(p) > 128 && PIX_R(p) > 200 && PIX_G(p) > 90 && PIX_G(p) < 200 && PIX_B(p) < 100;
}

TEST(SkinImages, EveryImageDecodesWithItsFrameSizeAndCount)
{
  for (const SkinImage& im : Images())
  {
    SCOPED_TRACE(im.file);
    auto bm = Load(SkinPath(im.file));
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(bm->getWidth(), im.frameW);
    EXPECT_EQ(bm->getHeight(), im.frameH * im.frames);
  }
}

// Rectangles as the editor derives them: position plus the size of one frame
// of the image as decoded, or the code-drawn rectangle.
TEST(SkinImages, ControlRectanglesLieInsideTheEditorAndNeverOverlap)
{
  const std::vector<Control> controls = Controls();
  ASSERT_EQ(controls.size(), 20u);
  std::vector<Rect> rects;
  for (const Control& c : controls)
  {
    SCOPED_TRACE(c.name);
    Rect r{c.left, c.top, c.right, c.bottom};
    if (c.image)
    {
      auto bm = Load(SkinPath(c.image));
      ASSERT_NE(bm, nullptr);
      r.r = c.left + bm->getWidth();
      r.b = c.top + bm->getHeight() / Find(c.image)->frames;
    }
    EXPECT_GE(r.l, 0);
    EXPECT_GE(r.t, 0);
    EXPECT_LE(r.r, 592);
    EXPECT_LE(r.b, 442);
    EXPECT_LT(r.l, r.r);
    EXPECT_LT(r.t, r.b);
    rects.push_back(r);
  }
  EXPECT_EQ(rects[0].r, 592);  // the background is the editor's size
  EXPECT_EQ(rects[0].b, 442);
  for (size_t i = 1; i < rects.size(); ++i)
    for (size_t j = i + 1; j < rects.size(); ++j)
      EXPECT_FALSE(rects[i].overlaps(rects[j])) << controls[i].name << " and " << controls[j].name;
}

// Frame i of the knob strip shows the value i / 63 on a 270-degree scale
// from 7 to 5 o'clock: the amber value arc reaches exactly as far as the
// value, and the pointer points there.
TEST(SkinImages, KnobFramesShowAnArcAndAPointerAtTheirValue)
{
  auto bm = Load(SkinPath("knob412_64Frames.png"));
  ASSERT_NE(bm, nullptr);
  ASSERT_EQ(bm->getHeight(), 64 * 64);
  const double start = -0.75 * M_PI, sweep = 1.5 * M_PI, deg = M_PI / 180.0;
  int fullArc = 0;
  for (int f = 0; f < 64; ++f)
  {
    SCOPED_TRACE(f);
    const double value = f / 63.0;
    int arc = 0;
    double reach = 0, sx = 0, sy = 0, wsum = 0;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x)
      {
        const PIX_pixel p = PIX_GetPixel(bm.get(), x, f * 64 + y);
        const double dx = x + 0.5 - 32, dy = y + 0.5 - 32, d = std::sqrt(dx * dx + dy * dy);
        if (d > 26 && d < 30 && IsAmber(p))
        {
          ++arc;
          double a = std::atan2(dx, -dy) - start;  // clockwise from the scale's start
          if (a < -M_PI / 4) a += 2 * M_PI;
          reach = std::max(reach, a);
        }
        // The pointer is the only near-white part of the cap.
        if (d > 6 && d < 17 && Luma(p) > 200)
        {
          sx += dx;
          sy += dy;
          wsum += 1;
        }
      }
    if (f == 0)
      EXPECT_LT(arc, 3);
    else
      EXPECT_NEAR(reach, sweep * value, 6 * deg);
    if (f == 63) fullArc = arc;
    ASSERT_GT(wsum, 10);
    double diff = std::fabs(std::atan2(sx, -sy) - (start + sweep * value));
    if (diff > M_PI) diff = 2 * M_PI - diff;
    EXPECT_LT(diff, 6 * deg);
  }
  EXPECT_GT(fullArc, 150);

  // Corners are clear so the knob sits on the panel without a square.
  for (int f = 0; f < 64; f += 9)
  {
    EXPECT_EQ(PIX_A(PIX_GetPixel(bm.get(), 0, f * 64)), 0);
    EXPECT_EQ(PIX_A(PIX_GetPixel(bm.get(), 63, f * 64 + 63)), 0);
    EXPECT_EQ(PIX_A(PIX_GetPixel(bm.get(), 32, f * 64 + 32)), 255);
  }
}

// Mean brightness of one frame, each pixel weighted by its alpha.
double FrameLuma(PIX_IBitmap* bm, int frame, int frames)
{
  const int h = bm->getHeight() / frames;
  double sum = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < bm->getWidth(); ++x)
    {
      const PIX_pixel p = PIX_GetPixel(bm, x, frame * h + y);
      sum += Luma(p) * PIX_A(p) / 255.0;
    }
  return sum / (h * bm->getWidth());
}

TEST(SkinImages, TwoStateImagesShowTwoPlainlyDifferentStates)
{
  for (const SkinImage& im : Images())
  {
    if (im.frames != 2) continue;
    SCOPED_TRACE(im.file);
    auto bm = Load(SkinPath(im.file));
    ASSERT_NE(bm, nullptr);
    int differing = 0;
    for (int y = 0; y < im.frameH; ++y)
      for (int x = 0; x < im.frameW; ++x)
        if (PIX_GetPixel(bm.get(), x, y) != PIX_GetPixel(bm.get(), x, y + im.frameH)) ++differing;
    EXPECT_GT(differing, im.frameW * im.frameH / 20);
  }
  // The LED is dark, then lit: much brighter and red.
  auto led = Load(SkinPath("led.png"));
  ASSERT_NE(led, nullptr);
  EXPECT_GT(FrameLuma(led.get(), 1, 2), 2.5 * FrameLuma(led.get(), 0, 2));
  const PIX_pixel core = PIX_GetPixel(led.get(), 9, 16 + 9);
  EXPECT_GT(PIX_R(core), 200);
  EXPECT_GT(PIX_R(core), PIX_G(core) + 80);
  const PIX_pixel dark = PIX_GetPixel(led.get(), 9, 9);
  EXPECT_LT(PIX_R(dark), 110);
}

TEST(SkinImages, BackgroundIsADarkTexturedPanelWithALightReadoutWindow)
{
  auto bg = Load(SkinPath("backgroundPro.png"));
  ASSERT_NE(bg, nullptr);
  // Opaque everywhere.
  for (int y = 0; y < 442; y += 13)
    for (int x = 0; x < 592; x += 7) ASSERT_EQ(PIX_A(PIX_GetPixel(bg.get(), x, y)), 255);
  double sum = 0;
  for (int y = 0; y < 442; ++y)
    for (int x = 0; x < 592; ++x) sum += Luma(PIX_GetPixel(bg.get(), x, y));
  EXPECT_LT(sum / (592 * 442), 70.0);
  // Texture: an empty stretch of panel is not one flat colour.
  int changes = 0;
  for (int x = 30; x < 90; ++x)
    if (PIX_GetPixel(bg.get(), x, 90) != PIX_GetPixel(bg.get(), x + 1, 90)) ++changes;
  EXPECT_GT(changes, 20);
  // Black 12-pixel text is drawn into the readout by code: the window under
  // it must be light.
  for (int y = 346; y < 358; ++y)
    for (int x = 496; x < 544; ++x) ASSERT_GT(Luma(PIX_GetPixel(bg.get(), x, y)), 140.0) << x << "," << y;
}

// Each knob has its label just under it, and no control covers the label.
TEST(SkinImages, EveryKnobHasALabelBelowItThatNoControlCovers)
{
  auto bg = Load(SkinPath("backgroundPro.png"));
  ASSERT_NE(bg, nullptr);
  const std::vector<Control> controls = Controls();
  for (int k = 1; k <= 9; ++k)
  {
    const Control& knob = controls[k];
    SCOPED_TRACE(knob.name);
    // The box round the bright (text) pixels in a band under the knob.
    Rect box{10000, 10000, -1, -1};
    int bright = 0;
    for (int y = knob.top + 64; y < knob.top + 78; ++y)
      for (int x = knob.left - 16; x < knob.left + 80; ++x)
        if (Luma(PIX_GetPixel(bg.get(), x, y)) > 150)
        {
          ++bright;
          box = Rect{std::min(box.l, x), std::min(box.t, y), std::max(box.r, x + 1), std::max(box.b, y + 1)};
        }
    EXPECT_GT(bright, 25);
    // Centred under the knob.
    EXPECT_NEAR((box.l + box.r) / 2.0, knob.left + 32, 2.0);
    for (size_t c = 1; c < controls.size(); ++c)
    {
      const Control& o = controls[c];
      Rect r{o.left, o.top, o.right, o.bottom};
      if (o.image)
      {
        const SkinImage* im = Find(o.image);
        r.r = o.left + im->frameW;
        r.b = o.top + im->frameH;
      }
      EXPECT_FALSE(box.overlaps(r)) << o.name;
    }
  }
}

}  // namespace
