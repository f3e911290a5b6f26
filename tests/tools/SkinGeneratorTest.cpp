// The skin generator: the committed images are exactly what it draws, it
// scales every size, and it refuses bad command lines without writing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tools/SkinTestUtil.h"

namespace {

using namespace skintest;

TEST(SkinGenerator, RedrawsTheCommittedImagesPixelForPixel)
{
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  ASSERT_EQ(RunGenerator({dir.path()}), 0);
  for (const SkinImage& im : Images())
  {
    SCOPED_TRACE(im.file);
    auto made = Load(dir.path() + "/" + im.file);
    auto committed = Load(std::string(SKIN_DIR) + "/" + im.file);
    ASSERT_NE(made, nullptr);
    ASSERT_NE(committed, nullptr);
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
                            << "; regenerate with gen_skin resources/img";
  }
}

TEST(SkinGenerator, ScaleTwoDoublesEverySizeAndKeepsTheFrameCounts)
{
  TempDir dir;
  ASSERT_EQ(RunGenerator({dir.path(), "--scale", "2"}), 0);
  for (const SkinImage& im : Images())
  {
    SCOPED_TRACE(im.file);
    auto bm = Load(dir.path() + "/" + im.file);
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(bm->getWidth(), 2 * im.frameW);
    EXPECT_EQ(bm->getHeight(), 2 * im.frameH * im.frames);
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
