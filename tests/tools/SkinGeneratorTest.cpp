// The skin generator: the committed images are exactly what it draws, it
// scales every size, and it refuses bad command lines without writing.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "tools/SkinTestUtil.h"

namespace {

using namespace skintest;

// The skin is committed at each scale the editor draws natively, each in
// its own folder; the generator must redraw every one pixel for pixel, at
// the design sizes times the scale.
struct CommittedScale
{
  const char* arg;     // --scale
  const char* folder;  // under resources/img
  double factor;
};
const CommittedScale kScales[] = {{"1", "", 1.0}, {"1.5", "/1.5x", 1.5}, {"2", "/2x", 2.0}};

TEST(SkinGenerator, RedrawsTheCommittedImagesPixelForPixelAtEveryScale)
{
  for (const CommittedScale& sc : kScales)
  {
    SCOPED_TRACE(std::string("scale ") + sc.arg);
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    ASSERT_EQ(RunGenerator({dir.path(), "--scale", sc.arg}), 0);
    for (const SkinImage& im : Images())
    {
      SCOPED_TRACE(im.file);
      auto made = Load(dir.path() + "/" + im.file);
      auto committed = Load(std::string(SKIN_DIR) + sc.folder + "/" + im.file);
      ASSERT_NE(made, nullptr);
      ASSERT_NE(committed, nullptr);
      EXPECT_EQ(made->getWidth(), (int)std::lround(sc.factor * im.frameW));
      EXPECT_EQ(made->getHeight(), (int)std::lround(sc.factor * im.frameH) * im.frames);
      ASSERT_EQ(made->getWidth(), committed->getWidth());
      ASSERT_EQ(made->getHeight(), committed->getHeight());
      int differing = 0, firstX = -1, firstY = -1;
      for (int y = 0; y < made->getHeight(); ++y)
        for (int x = 0; x < made->getWidth(); ++x)
        {
          const PIX_pixel a = made->getBits()[(size_t)y * made->getRowSpan() + x];
          const PIX_pixel b = committed->getBits()[(size_t)y * committed->getRowSpan() + x];
          if (a != b && differing++ == 0)
          {
            firstX = x;
            firstY = y;
          }
        }
      EXPECT_EQ(differing, 0) << "first difference at " << firstX << "," << firstY
                              << "; regenerate with gen_skin resources/img" << sc.folder << " --scale " << sc.arg;
    }
  }
}

TEST(SkinGenerator, BadCommandLinesExitWithStatusTwoAndWriteNothing)
{
  TempDir dir;
  const std::string out = dir.path() + "/out";
  const std::vector<std::vector<std::string>> bad = {
      {},
      {out, "--scale"},
      {out, "--scale", "0"},
      {out, "--scale", "5"},
      {out, "--scale", "2x"},
      {out, "--scale", "1.25"},
      {out, "--scale", "0.5"},
      {out, "--scale", "nan"},
      {out, "--scale", "99999999999999999999"},
      {out, "--bogus"},
      {out, "second-folder"},
      {"--scale", "2"},
  };
  for (const auto& args : bad)
  {
    std::string line;
    for (const auto& a : args) line += a + " ";
    SCOPED_TRACE(line);
    EXPECT_EQ(RunGenerator(args), 2);
    EXPECT_FALSE(std::filesystem::exists(out));
  }
  // A file where the folder should be.
  const std::string file = dir.path() + "/plain-file";
  std::ofstream(file) << "x";
  EXPECT_EQ(RunGenerator({file}), 2);
  EXPECT_EQ(std::filesystem::file_size(file), 1u);
}

}  // namespace
