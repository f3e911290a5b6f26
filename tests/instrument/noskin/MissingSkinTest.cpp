// An instrument whose skin images are missing or broken still builds its editor and plays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "graphics/IBitmapControl.h"
#include "instrument/EditorTestUtil.h"
#include "instrument/InstrumentResources.h"
#include "instrument/InstrumentRig.h"
#include "platform/headless/IGraphicsHeadless.h"

using namespace kttest;

// One test on purpose: the process-wide image cache keeps every image it
// once decoded, so the no-image case must come first in a fresh process.
TEST(MissingSkin, BrokenFilesWithoutBuiltInsDrawNothingAndBuiltInsStandInForThem) {
  ScratchFolder folder;
  // Every skin file present but not a PNG, and the built-in copies switched off.
  for (const char* name : {"backgroundPro", "knob412_64Frames", "kyb", "trigger412", "learn", "clear", "led",
                           "presetLeft", "presetRight"})
    WriteText(folder / (std::string(name) + ".png"), "not a png at all");
  IGraphicsHeadless::SetDefaultResourcePath(folder.Path().c_str());
  UseBuiltInResources(false);
  {
    QiKt412 plug;
    Prepare(plug, 512);
    IGraphics* g = plug.Graphics();
    ASSERT_EQ(g->GetNControls(), 20);
    DrawAll(g);
    const std::vector<PIX_pixel> px = Pixels(g);
    // Nothing but the readout's "0" may have drawn: the panel and knob areas stay empty.
    for (int y = 0; y < 442; y += 7)
      for (int x = 0; x < 480; x += 7) ASSERT_EQ(px[static_cast<size_t>(y * 592 + x)], 0u) << x << "," << y;
    // The sound does not depend on the editor.
    NoteOn(plug, 0, 33, 127);
    Block b = Render(plug, 4096);
    double peak = 0.0;
    for (double s : b.left) peak = std::max(peak, std::fabs(s));
    EXPECT_GT(peak, 0.1);
    // A control without its image has no area: a click where the knob would
    // be reaches nothing, and nothing breaks.
    IMouseMod left(true);
    g->OnMouseDown(420, 150, &left);
    g->OnMouseDrag(420, 120, &left);
    g->OnMouseUp(420, 120, &left);
    EXPECT_EQ(plug.GetParam(kDecay)->Value(), 0.5);
  }
  // With the built-in copies on, the broken files are replaced by them.
  UseBuiltInResources(true);
  QiKt412 plug;
  IGraphics* g = plug.Graphics();
  DrawAll(g);
  const std::vector<PIX_pixel> px = Pixels(g);
  EXPECT_NE(px[static_cast<size_t>(5 * 592 + 5)], 0u) << "the background came from the built-in copy";
  auto* ledControl = dynamic_cast<IBitmapControl*>(g->GetControl(plug.LedIdx()));
  ASSERT_NE(ledControl, nullptr);
  EXPECT_NE(ledControl->GetBitmap().mData, nullptr);

  // The built-in copies are the 1x skin only: at 1.5 and 2 the editor draws
  // them enlarged (interpolated at 1.5, each pixel a 2 x 2 block at 2), with
  // text and shapes still set at the scaled size. Sampled at the middle of
  // each editor pixel's cell, the picture is the 1x one but where text and
  // lines fall.
  struct Scale {
    float scale;
    int w, h;
    int tolerance;  // per channel: interpolation blends neighbours at 1.5
  };
  for (const Scale& sc : {Scale{1.5f, 888, 663, 40}, Scale{2.0f, 1184, 884, 0}}) {
    SCOPED_TRACE(sc.scale);
    g->SetScale(sc.scale);
    DrawAll(g);
    PIX_IBitmap* bm = g->GetDrawBitmap();
    ASSERT_EQ(bm->getWidth(), sc.w);
    ASSERT_EQ(bm->getHeight(), sc.h);
    int samples = 0, alike = 0;
    for (int y = 0; y < 442; y += 3)
      for (int x = 0; x < 592; x += 3) {
        const int cx = (g->ToDraw(x) + g->ToDraw(x + 1) - 1) / 2, cy = (g->ToDraw(y) + g->ToDraw(y + 1) - 1) / 2;
        const PIX_pixel a = px[static_cast<size_t>(y * 592 + x)], b = bm->getBits()[cy * bm->getRowSpan() + cx];
        const int d = std::max({std::abs(PIX_R(a) - PIX_R(b)), std::abs(PIX_G(a) - PIX_G(b)), std::abs(PIX_B(a) - PIX_B(b))});
        ++samples;
        alike += d <= sc.tolerance;
      }
    EXPECT_GT(alike, samples * 95 / 100);
  }
}
