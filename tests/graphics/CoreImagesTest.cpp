// Skin images: the shared bitmap cache, resource names, filmstrip frames, scaled and cropped copies.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "GfxRecordingControl.h"
#include "GfxTestPlug.h"
#include "graphics/IBitmapControl.h"
#include "pix/PIX_Blit.h"
#include "pix/PIX_PNG.h"
#include "platform/headless/IGraphicsHeadless.h"

namespace {

// Writes a w x h PNG whose frames (stacked along y, or along x when
// horizontal) are filled with frameColour(k).
IColor FrameColour(int k) { return IColor(255, 40 * (k + 1), 255 - 30 * k, 7 * k); }

bool WriteStrip(const std::string& path, int w, int h, int frames, bool horizontal) {
  PIX_MemBitmap bm(w, h, 4);
  for (int k = 0; k < frames; ++k) {
    if (horizontal) {
      PIX_FillRect(&bm, k * w / frames, 0, w / frames, h, FrameColour(k).ToPixel(), 1.0f, 0);
    } else {
      PIX_FillRect(&bm, 0, k * h / frames, w, h / frames, FrameColour(k).ToPixel(), 1.0f, 0);
    }
  }
  return PIX_SavePNG(path.c_str(), &bm);
}

// Each test gets its own resource folder and, since the cache is
// process-wide, its own resource ids.
struct ImagesFixture : ::testing::Test {
  GfxTestPlug plug;
  IGraphicsHeadless* g = nullptr;
  std::string dir;

  void SetUp() override {
    char tmpl[] = "/tmp/kt_gfx_img_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    dir = tmpl;
    g = new IGraphicsHeadless(&plug, 100, 60);
    g->SetResourcePath(dir.c_str());
    plug.AttachGraphics(g);
  }
  void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
};

}  // namespace

TEST_F(ImagesFixture, SecondLoadOfAnIdSharesTheFirstDecode) {
  ASSERT_TRUE(WriteStrip(dir + "/knob.png", 10, 40, 4, false));
  ASSERT_TRUE(WriteStrip(dir + "/other.png", 5, 5, 1, false));
  const int before = IGraphicsHeadless::DecodeCount();
  IBitmap first = g->LoadIBitmap(7101, "resources/img/knob.png", 4);
  IBitmap second = g->LoadIBitmap(7101, "resources/img/other.png");  // the id alone is the key
  // Loading sizes the image; its pixels are decoded when first asked for.
  EXPECT_EQ(before, IGraphicsHeadless::DecodeCount());
  ASSERT_NE(nullptr, first.mData);
  ASSERT_NE(nullptr, first.mData->getBits());
  EXPECT_EQ(10, first.mData->getWidth());
  EXPECT_NE(nullptr, second.mData->getBits());
  EXPECT_EQ(before + 1, IGraphicsHeadless::DecodeCount());
  EXPECT_EQ(first.mData, second.mData);
  EXPECT_EQ(10, first.W);
  EXPECT_EQ(40, first.H);
  EXPECT_EQ(4, first.N);
  EXPECT_EQ(10, first.FrameHeight());
  EXPECT_EQ(1, second.N);
  EXPECT_EQ(40, second.H);
}

TEST_F(ImagesFixture, TwoEditorsShareTheDecode) {
  ASSERT_TRUE(WriteStrip(dir + "/bg.png", 8, 8, 1, false));
  GfxTestPlug plug2;
  IGraphicsHeadless* g2 = new IGraphicsHeadless(&plug2, 100, 60);
  g2->SetResourcePath(dir.c_str());
  plug2.AttachGraphics(g2);
  const int before = IGraphicsHeadless::DecodeCount();
  IBitmap a = g->LoadIBitmap(7102, "bg.png");
  IBitmap b = g2->LoadIBitmap(7102, "bg.png");
  a.mData->getBits();
  b.mData->getBits();
  EXPECT_EQ(before + 1, IGraphicsHeadless::DecodeCount());
  EXPECT_EQ(a.mData, b.mData);
}

TEST_F(ImagesFixture, EditorsOnTwoThreadsDecodeOnce) {
  ASSERT_TRUE(WriteStrip(dir + "/shared.png", 64, 64, 1, false));
  for (int round = 0; round < 20; ++round) {
    const int id = 7200 + round;
    const int before = IGraphicsHeadless::DecodeCount();
    std::atomic<int> ready{0};
    PIX_IBitmap* seen[2] = {nullptr, nullptr};
    auto load = [&](int t) {
      GfxTestPlug p;
      IGraphicsHeadless* gt = new IGraphicsHeadless(&p, 10, 10);
      gt->SetResourcePath(dir.c_str());
      p.AttachGraphics(gt);
      ++ready;
      while (ready.load() < 2) {
      }
      seen[t] = gt->LoadIBitmap(id, "shared.png").mData;
      if (seen[t]) seen[t]->getBits();  // both threads ask for the pixels at once
    };
    std::thread t0(load, 0), t1(load, 1);
    t0.join();
    t1.join();
    ASSERT_NE(nullptr, seen[0]);
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_EQ(before + 1, IGraphicsHeadless::DecodeCount()) << "round " << round;
  }
}

TEST_F(ImagesFixture, MissingImageIsNotCachedAndDrawsNothing) {
  IBitmap missing = g->LoadIBitmap(7103, "late.png", 2);
  EXPECT_EQ(nullptr, missing.mData);
  EXPECT_EQ(0, missing.W);
  IRECT dest(0, 0, 10, 10);
  EXPECT_TRUE(g->DrawBitmap(&missing, &dest, 2));
  // Once the file is there, the same id loads: the failure was not remembered.
  ASSERT_TRUE(WriteStrip(dir + "/late.png", 4, 4, 1, false));
  IBitmap later = g->LoadIBitmap(7103, "late.png");
  EXPECT_NE(nullptr, later.mData);
}

TEST_F(ImagesFixture, ResourceNamesResolveByFilePartAndPngExtension) {
  ASSERT_TRUE(WriteStrip(dir + "/button.png", 4, 4, 1, false));
  EXPECT_EQ(dir + "/button.png", g->ResolveResource("resources/img/button.png"));
  EXPECT_EQ(dir + "/button.png", g->ResolveResource("button.PNG"));
  EXPECT_EQ("", g->ResolveResource("resources/img/button.jpg"));
  EXPECT_EQ("", g->ResolveResource("resources/img/"));
  EXPECT_EQ("", g->ResolveResource(nullptr));
  EXPECT_EQ(nullptr, g->LoadIBitmap(7104, "button.gif").mData);
  EXPECT_NE(nullptr, g->LoadIBitmap(7105, "some/where/button.Png").mData);
}

TEST_F(ImagesFixture, AFileThatIsNotAPngGivesNoImage) {
  FILE* f = std::fopen((dir + "/broken.png").c_str(), "wb");
  ASSERT_NE(nullptr, f);
  std::fputs("not a png at all", f);
  std::fclose(f);
  EXPECT_EQ(nullptr, g->LoadIBitmap(7106, "broken.png").mData);
}

TEST_F(ImagesFixture, VerticalFilmstripFrameSelection) {
  ASSERT_TRUE(WriteStrip(dir + "/strip.png", 10, 40, 4, false));
  IBitmap strip = g->LoadIBitmap(7107, "strip.png", 4);
  IRECT dest(20, 5, 30, 15);
  for (int frame = -1; frame <= 6; ++frame) {
    g->DrawBitmap(&strip, &dest, frame, nullptr);
    // Frames below 1 show the first, frames past the end the last.
    int k = frame < 1 ? 0 : (frame > 4 ? 3 : frame - 1);
    EXPECT_EQ(FrameColour(k), g->GetPoint(25, 10)) << "frame " << frame;
    EXPECT_EQ(FrameColour(k), g->GetPoint(20, 5)) << "frame " << frame;
    EXPECT_EQ(FrameColour(k), g->GetPoint(29, 14)) << "frame " << frame;
  }
}

TEST_F(ImagesFixture, HorizontalFilmstripFrameSelection) {
  ASSERT_TRUE(WriteStrip(dir + "/hstrip.png", 30, 6, 3, true));
  IBitmap strip = g->LoadIBitmap(7108, "hstrip.png", 3, true);
  EXPECT_EQ(10, strip.FrameWidth());
  EXPECT_EQ(6, strip.FrameHeight());
  IRECT dest(0, 0, 10, 6);
  g->DrawBitmap(&strip, &dest, 2, nullptr);
  EXPECT_EQ(FrameColour(1), g->GetPoint(0, 0));
  EXPECT_EQ(FrameColour(1), g->GetPoint(9, 5));
}

TEST_F(ImagesFixture, BlitClipsToTheDrawRectangleWithTheMatchingSourceOffset) {
  ASSERT_TRUE(WriteStrip(dir + "/tall.png", 10, 40, 4, false));
  IBitmap tall = g->LoadIBitmap(7109, "tall.png", 1);
  // A control draws the whole 10 x 40 image at (0, 0); only the dirty
  // region (rows 15-24) is redrawn and must show source rows 15-24.
  struct ImageControl : IControl {
    IBitmap bm;
    ImageControl(IPluginBase* p, IRECT r, IBitmap b) : IControl(p, &r), bm(b) {}
    bool Draw(IGraphics* pG) override { return pG->DrawBitmap(&bm, &mRECT, 1, &mBlend); }
  };
  g->AttachControl(new ImageControl(&plug, IRECT(0, 0, 10, 40), tall));
  IRECT all(0, 0, 100, 60);
  g->Draw(&all);
  IColor black(255, 0, 0, 0);
  IRECT top(0, 0, 10, 40);
  g->FillIRect(&black, &top);  // wipe, still clipped to the last draw rectangle (all)
  IRECT part(0, 15, 10, 25);
  g->SetAllControlsDirty();
  g->Draw(&part);
  EXPECT_EQ(black, g->GetPoint(5, 14));
  EXPECT_EQ(FrameColour(1), g->GetPoint(5, 15));
  EXPECT_EQ(FrameColour(1), g->GetPoint(5, 19));
  EXPECT_EQ(FrameColour(2), g->GetPoint(5, 20));
  EXPECT_EQ(FrameColour(2), g->GetPoint(5, 24));
  EXPECT_EQ(black, g->GetPoint(5, 25));
}

TEST_F(ImagesFixture, BackgroundImageGoesToIndexZeroUnblended) {
  ASSERT_TRUE(WriteStrip(dir + "/back.png", 100, 60, 1, false));
  GfxRecordingControl* c = new GfxRecordingControl(&plug, IRECT(10, 10, 20, 20));
  g->AttachControl(c);
  g->AttachBackground(7110, "resources/img/back.png");
  ASSERT_EQ(2, g->GetNControls());
  EXPECT_EQ(c, g->GetControl(1));
  IControl* bg = g->GetControl(0);
  EXPECT_EQ(IRECT(0, 0, 100, 60), *bg->GetRECT());
  EXPECT_EQ(-1, bg->ParamIdx());
  EXPECT_EQ(IChannelBlend::kBlendClobber, bg->GetBlend().mMethod);
  IRECT all(0, 0, 100, 60);
  g->Draw(&all);
  EXPECT_EQ(FrameColour(0), g->GetPoint(50, 50));
  EXPECT_EQ(COLOR_RED, g->GetPoint(15, 15));
}

TEST_F(ImagesFixture, ScaledCopyKeepsFramesAndLivesInTheCache) {
  ASSERT_TRUE(WriteStrip(dir + "/small.png", 4, 8, 2, false));
  IBitmap small = g->LoadIBitmap(7111, "small.png", 2);
  IBitmap big = g->ScaleBitmap(&small, 8, 16);
  ASSERT_NE(nullptr, big.mData);
  EXPECT_NE(small.mData, big.mData);
  EXPECT_EQ(8, big.W);
  EXPECT_EQ(16, big.H);
  EXPECT_EQ(2, big.N);
  EXPECT_EQ(8, big.mData->getWidth());
  // Well inside each frame the colour is the frame's own.
  EXPECT_EQ(FrameColour(0).ToPixel(), PIX_GetPixel(big.mData, 4, 2));
  EXPECT_EQ(FrameColour(1).ToPixel(), PIX_GetPixel(big.mData, 4, 13));
  g->ReleaseBitmap(&big);
  EXPECT_EQ(nullptr, big.mData);
}

TEST_F(ImagesFixture, CropCopiesTheRectangle) {
  ASSERT_TRUE(WriteStrip(dir + "/crop.png", 10, 40, 4, false));
  IBitmap src = g->LoadIBitmap(7112, "crop.png", 4);
  IRECT r(2, 8, 7, 13);  // straddles frames 0 and 1
  IBitmap cut = g->CropBitmap(&src, &r);
  ASSERT_NE(nullptr, cut.mData);
  EXPECT_EQ(5, cut.W);
  EXPECT_EQ(5, cut.H);
  EXPECT_EQ(4, cut.N);
  EXPECT_EQ(FrameColour(0).ToPixel(), PIX_GetPixel(cut.mData, 0, 1));
  EXPECT_EQ(FrameColour(1).ToPixel(), PIX_GetPixel(cut.mData, 4, 2));
  IRECT bad(5, 5, 5, 9);
  EXPECT_EQ(nullptr, g->CropBitmap(&src, &bad).mData);
  g->ReleaseBitmap(&cut);
}

TEST_F(ImagesFixture, ReleasingASkinImageLeavesItForOtherEditors) {
  ASSERT_TRUE(WriteStrip(dir + "/skin.png", 4, 4, 1, false));
  IBitmap a = g->LoadIBitmap(7113, "skin.png");
  IBitmap copy = a;
  g->ReleaseBitmap(&copy);
  EXPECT_EQ(a.mData, copy.mData);
  const int before = IGraphicsHeadless::DecodeCount();
  EXPECT_EQ(a.mData, g->LoadIBitmap(7113, "skin.png").mData);
  EXPECT_EQ(before, IGraphicsHeadless::DecodeCount());
  EXPECT_EQ(FrameColour(0).ToPixel(), PIX_GetPixel(a.mData, 1, 1));
}
