// PNG loading: every colour type and bit depth against ImageMagick's own
// decoding, broken files, the loader list, and the writer's round trip.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "pix/PIX_Blit.h"
#include "pix/PIX_PNG.h"
#include "pix/AllocWatch.h"
#include "pix/PixTestUtil.h"

using namespace pixtest;
namespace fs = std::filesystem;

namespace {

constexpr int kW = 37, kH = 23;  // odd sizes: no row happens to be aligned

bool haveConvert()
{
  return std::system("command -v convert >/dev/null 2>&1") == 0;
}

std::vector<unsigned char> readFile(const fs::path& p)
{
  std::ifstream f(p, std::ios::binary);
  return std::vector<unsigned char>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& p, const std::vector<unsigned char>& data)
{
  std::ofstream f(p, std::ios::binary);
  f.write((const char*)data.data(), (std::streamsize)data.size());
}

// The corpus is made once per test program run in a fresh temporary folder.
class PixPNGCorpus : public ::testing::Test
{
protected:
  static fs::path dir;
  static bool ready;

  static void SetUpTestSuite()
  {
    if (!haveConvert()) return;
    dir = fs::temp_directory_path() / ("pixpng-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // Source image: colour gradients, a band of random colours, and alpha
    // that runs through 0, partial values and 255.
    std::mt19937 rng(99);
    std::string pam = "P7\nWIDTH " + std::to_string(kW) + "\nHEIGHT " + std::to_string(kH) +
                      "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    std::vector<unsigned char> data(pam.begin(), pam.end());
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
      {
        unsigned char r = (unsigned char)(x * 7), g = (unsigned char)(y * 11), b = (unsigned char)((x + y) * 5);
        if (y > kH / 2)
        {
          r = (unsigned char)rng();
          g = (unsigned char)rng();
          b = (unsigned char)rng();
        }
        const unsigned char a = x < 3 ? 0 : (x > kW - 4 ? 255 : (unsigned char)(x * 255 / kW));
        data.insert(data.end(), {r, g, b, a});
      }
    writeFile(dir / "src.pam", data);
    ready = true;
  }
  static void TearDownTestSuite()
  {
    if (!dir.empty()) fs::remove_all(dir);
  }

  void SetUp() override
  {
    if (!haveConvert()) GTEST_SKIP() << "ImageMagick convert is not installed";
    ASSERT_TRUE(ready);
  }

  static bool run(const std::string& cmd)
  {
    return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0;
  }

  // Makes name.png from the source with the given options and returns its
  // path; checks the IHDR's colour type and bit depth.
  fs::path make(const std::string& name, const std::string& opts, int ctype, int depth,
               const std::string& prefix = "")
  {
    const fs::path out = dir / (name + ".png");
    EXPECT_TRUE(run("convert " + (dir / "src.pam").string() + " " + opts + " " + prefix + out.string()))
        << name;
    const std::vector<unsigned char> bytes = readFile(out);
    EXPECT_GT(bytes.size(), 33u) << name;
    if (bytes.size() > 33)
    {
      EXPECT_EQ((int)bytes[24], depth) << name << " bit depth";
      EXPECT_EQ((int)bytes[25], ctype) << name << " colour type";
    }
    return out;
  }

  // ImageMagick's decoding as 16-bit RGBA, each sample rounded to 8 bits
  // here (v / 257 to the nearest); for 8-bit and smaller images that is the
  // sample itself.
  std::vector<PIX_pixel> reference(const fs::path& png)
  {
    const fs::path raw = dir / (png.stem().string() + ".rgba");
    EXPECT_TRUE(run("convert " + png.string() + " -depth 16 -endian MSB rgba:" + raw.string()));
    const std::vector<unsigned char> b = readFile(raw);
    auto at = [&](size_t i) { return (int)((b[i] << 8 | b[i + 1]) * 255u + 32895u) >> 16; };
    std::vector<PIX_pixel> px;
    for (size_t i = 0; i + 8 <= b.size(); i += 8)  // big-endian 16-bit samples
      px.push_back(PIX_RGBA(at(i), at(i + 2), at(i + 4), at(i + 6)));
    return px;
  }

  void expectSameAsReference(const fs::path& png, bool expectOpaque)
  {
    PIX_IBitmap* bm = PIX_LoadPNG(png.string().c_str());
    ASSERT_NE(bm, nullptr) << png;
    EXPECT_EQ(bm->getWidth(), kW);
    EXPECT_EQ(bm->getHeight(), kH);
    const std::vector<PIX_pixel> want = reference(png);
    const std::vector<PIX_pixel> got = pixels(bm);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i)
    {
      ASSERT_EQ(got[i], want[i]) << png.filename() << " pixel " << i % kW << "," << i / kW;
      if (expectOpaque)
      {
        ASSERT_EQ(PIX_A(got[i]), 255);
      }
    }
    delete bm;
  }
};
fs::path PixPNGCorpus::dir;
bool PixPNGCorpus::ready = false;

}  // namespace

TEST_F(PixPNGCorpus, PaletteWithoutTransparencyIsOpaque)
{
  expectSameAsReference(make("pal", "-alpha off -colors 16 -define png:bit-depth=4", 3, 4, "PNG8:"), true);
}
TEST_F(PixPNGCorpus, PaletteWithTransparencyChunkGetsThatAlpha)
{
  const fs::path p = make("paltrns", "-channel A -threshold 50% +channel -colors 16 -define png:bit-depth=4", 3, 4, "PNG8:");
  expectSameAsReference(p, false);
  PIX_IBitmap* bm = PIX_LoadPNG(p.string().c_str());
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(PIX_A(PIX_GetPixel(bm, 0, 0)), 0);
  EXPECT_EQ(PIX_A(PIX_GetPixel(bm, kW - 1, 0)), 255);
  delete bm;
}
TEST_F(PixPNGCorpus, GreyAtEveryBitDepth)
{
  for (int depth : {1, 2, 4, 8, 16})
  {
    const std::string d = std::to_string(depth);
    expectSameAsReference(make("grey" + d,
                               "-alpha off -colorspace Gray -depth " + d +
                                   " -define png:color-type=0 -define png:bit-depth=" + d,
                               0, depth),
                          true);
  }
}
TEST_F(PixPNGCorpus, GreyWithAlpha)
{
  expectSameAsReference(make("greya", "-colorspace Gray -define png:color-type=4 -depth 8", 4, 8), false);
  expectSameAsReference(make("greya16", "-colorspace Gray -define png:color-type=4 -depth 16 -define png:bit-depth=16", 4, 16), false);
}
TEST_F(PixPNGCorpus, TrueColourEightAndSixteenBits)
{
  expectSameAsReference(make("rgb8", "-alpha off -define png:color-type=2 -depth 8", 2, 8), true);
  expectSameAsReference(make("rgb16", "-alpha off -evaluate pow 0.9 -define png:color-type=2 -depth 16 -define png:bit-depth=16", 2, 16), true);
}
TEST_F(PixPNGCorpus, TrueColourWithAlphaEightAndSixteenBits)
{
  expectSameAsReference(make("rgba8", "-define png:color-type=6 -depth 8", 6, 8), false);
  expectSameAsReference(make("rgba16", "-evaluate pow 0.9 -define png:color-type=6 -depth 16 -define png:bit-depth=16", 6, 16), false);
}
TEST_F(PixPNGCorpus, InterlacedImages)
{
  expectSameAsReference(make("rgbai", "-interlace PNG -define png:color-type=6 -depth 8", 6, 8), false);
  expectSameAsReference(make("greyi", "-interlace PNG -alpha off -colorspace Gray -depth 4 "
                                      "-define png:color-type=0 -define png:bit-depth=4", 0, 4),
                        true);
  // Palette indices are gathered over all passes before they are looked up.
  expectSameAsReference(make("pali", "-interlace PNG -alpha off -colors 16 -define png:bit-depth=4", 3, 4, "PNG8:"),
                        true);
}

TEST_F(PixPNGCorpus, LoadsIntoAPassedBitmapAndIntoBottomUpStorage)
{
  const fs::path p = make("rgba8b", "-define png:color-type=6 -depth 8", 6, 8);
  const std::vector<PIX_pixel> want = reference(p);
  PIX_MemBitmap mem(3, 3, 16);
  EXPECT_EQ(PIX_LoadPNG(p.string().c_str(), &mem), &mem);
  EXPECT_EQ(pixels(&mem), want);
  FlippedBitmap flipped(1, 1);
  EXPECT_EQ(PIX_LoadPNG(p.string().c_str(), &flipped), &flipped);
  EXPECT_EQ(pixels(&flipped), want);
}

TEST_F(PixPNGCorpus, TruncatedAndCorruptFilesGiveNull)
{
  const fs::path good = make("rgba8c", "-define png:color-type=6 -depth 8", 6, 8);
  const std::vector<unsigned char> bytes = readFile(good);
  const fs::path bad = dir / "bad.png";
  for (size_t len : {(size_t)0, (size_t)4, (size_t)8, (size_t)20, (size_t)40, bytes.size() / 2, bytes.size() - 13})
  {
    writeFile(bad, std::vector<unsigned char>(bytes.begin(), bytes.begin() + (ptrdiff_t)len));
    EXPECT_EQ(PIX_LoadPNG(bad.string().c_str()), nullptr) << "truncated at " << len;
    // A passed bitmap is not deleted; the call just fails.
    PIX_MemBitmap keep(2, 2);
    EXPECT_EQ(PIX_LoadPNG(bad.string().c_str(), &keep), nullptr);
  }
  std::mt19937 rng(5);
  for (int i = 0; i < 40; ++i)
  {
    std::vector<unsigned char> broken = bytes;
    const size_t at = 8 + rng() % (broken.size() - 8);
    broken[at] ^= (unsigned char)(1 + rng() % 255);
    writeFile(bad, broken);
    PIX_IBitmap* bm = PIX_LoadPNG(bad.string().c_str());  // any outcome but a crash or leak
    delete bm;
  }
  // Not a PNG at all, and a header claiming an enormous image.
  writeFile(bad, std::vector<unsigned char>(100, 'x'));
  EXPECT_EQ(PIX_LoadPNG(bad.string().c_str()), nullptr);
  std::vector<unsigned char> huge = bytes;
  huge[16] = 0x00; huge[17] = 0x01; huge[18] = 0x00; huge[19] = 0x00;  // width 65536
  writeFile(bad, huge);
  EXPECT_EQ(PIX_LoadPNG(bad.string().c_str()), nullptr);
}

TEST_F(PixPNGCorpus, ABitmapThatCannotTakeTheSizeFails)
{
  const fs::path p = make("rgb8d", "-alpha off -define png:color-type=2 -depth 8", 2, 8);
  // A fixed-size bitmap whose resize never succeeds.
  class Fixed : public FlippedBitmap
  {
  public:
    Fixed() : FlippedBitmap(4, 4) {}
    bool resize(int, int) override { return false; }
  } fixed;
  EXPECT_EQ(PIX_LoadPNG(p.string().c_str(), &fixed), nullptr);
}

TEST_F(PixPNGCorpus, NamedResourceLoadsFromTheBundleResourceFolder)
{
  const fs::path bundle = dir / "Test.bundle";
  fs::create_directories(bundle / "Contents" / "Resources");
  make("knob", "-define png:color-type=6 -depth 8", 6, 8);
  fs::copy_file(dir / "knob.png", bundle / "Contents" / "Resources" / "knob.png");
  PIX_SetMainBundlePath(bundle.string().c_str());
  PIX_IBitmap* bm = PIX_LoadPNGFromNamedResource("knob.png");
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(bm->getWidth(), kW);
  delete bm;
  EXPECT_EQ(PIX_LoadPNGFromNamedResource("missing.png"), nullptr);
  EXPECT_EQ(PIX_LoadPNGFromNamedResource(std::string(401, 'a').c_str()), nullptr);
  EXPECT_EQ(PIX_LoadPNGFromNamedResource(nullptr), nullptr);
  PIX_SetMainBundlePath(nullptr);
}

TEST_F(PixPNGCorpus, LoaderListHasThePNGLoaderWhichChecksTheExtension)
{
  ASSERT_NE(PIX_ImageLoader_list, nullptr);
  bool found = false;
  for (PIX_ImageLoader* l = PIX_ImageLoader_list; l; l = l->_next) found |= l == &PIX_PNGLoader;
  EXPECT_TRUE(found);
  const fs::path p = make("list", "-define png:color-type=6 -depth 8", 6, 8);
  const fs::path upper = dir / "LIST.PnG";
  fs::copy_file(p, upper);
  PIX_IBitmap* bm = PIX_PNGLoader.loadfunc(upper.string().c_str(), true, nullptr);
  ASSERT_NE(bm, nullptr);
  delete bm;
  const fs::path other = dir / "list.png.bak";
  fs::copy_file(p, other);
  EXPECT_EQ(PIX_PNGLoader.loadfunc(other.string().c_str(), true, nullptr), nullptr);
  bm = PIX_PNGLoader.loadfunc(other.string().c_str(), false, nullptr);  // no name check
  EXPECT_NE(bm, nullptr);
  delete bm;
  EXPECT_TRUE(PIX_IsPNGFileName("a/b.PNG"));
  EXPECT_FALSE(PIX_IsPNGFileName("a.png/b"));
  EXPECT_FALSE(PIX_IsPNGFileName("png"));
  EXPECT_STREQ(PIX_PNGLoader.extlistfunc(), "PNG files (*.PNG)");
}

TEST(PixPNG, MissingFileGivesNull)
{
  EXPECT_EQ(PIX_LoadPNG("/nonexistent/dir/x.png"), nullptr);
  EXPECT_EQ(PIX_LoadPNG(nullptr), nullptr);
}

TEST(PixPNG, SavedBitmapLoadsBackUnchanged)
{
  PIX_MemBitmap bm(19, 11, 4);
  fillRandom(&bm, 40);
  const fs::path p = fs::temp_directory_path() / ("pixsave-" + std::to_string(::getpid()) + ".png");
  ASSERT_TRUE(PIX_SavePNG(p.string().c_str(), &bm));
  PIX_IBitmap* back = PIX_LoadPNG(p.string().c_str());
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(pixels(back), pixels(&bm));
  delete back;
  fs::remove(p);
  PIX_MemBitmap empty;
  EXPECT_FALSE(PIX_SavePNG(p.string().c_str(), &empty));
  EXPECT_FALSE(PIX_SavePNG("/nonexistent/dir/x.png", &bm));
}

// ---------------------------------------------------------------------------
// Forged sizes: the loader must fail without first asking for the memory a
// forged header or chunk length claims.

namespace {

void storeBE32(unsigned char* p, uint32_t x)
{
  for (int i = 0; i < 4; ++i) p[i] = (unsigned char)(x >> (24 - 8 * i));
}

// A chunk with a correct CRC; `claimed` overrides the length field. Built in
// place at its final size (growing the vector piece by piece draws false
// out-of-bounds warnings from GCC 12 in optimised builds).
std::vector<unsigned char> chunk(const char* type, const std::string& data, int64_t claimed = -1)
{
  std::vector<unsigned char> c(12 + data.size());
  storeBE32(c.data(), claimed >= 0 ? (uint32_t)claimed : (uint32_t)data.size());
  std::memcpy(c.data() + 4, type, 4);
  if (!data.empty()) std::memcpy(c.data() + 8, data.data(), data.size());
  storeBE32(c.data() + 8 + data.size(), (uint32_t)crc32(0, c.data() + 4, (uInt)(4 + data.size())));
  return c;
}

class PixPNGForged : public ::testing::Test
{
protected:
  fs::path path = fs::temp_directory_path() / ("pixforged-" + std::to_string(::getpid()) + ".png");
  PIX_MemBitmap src{13, 7, 4};
  std::vector<unsigned char> good;

  void SetUp() override
  {
    fillRandom(&src, 8);
    ASSERT_TRUE(PIX_SavePNG(path.string().c_str(), &src));
    good = readFile(path);
    ASSERT_GT(good.size(), 33u);
  }
  void TearDown() override { fs::remove(path); }

  // The good file with extra bytes placed right after the IHDR chunk.
  void writeWithAfterHeader(const std::vector<unsigned char>& extra)
  {
    std::vector<unsigned char> f(good.size() + extra.size());
    std::copy(good.begin(), good.begin() + 33, f.begin());
    std::copy(extra.begin(), extra.end(), f.begin() + 33);
    std::copy(good.begin() + 33, good.end(), f.begin() + 33 + (std::ptrdiff_t)extra.size());
    writeFile(path, f);
  }

  // Loads and returns the bitmap (or null), noting the largest single
  // allocation made while loading.
  PIX_IBitmap* load(size_t& largest)
  {
    PIX_IBitmap* bm = nullptr;
    largest = LargestAllocDuring([&] { bm = PIX_LoadPNG(path.string().c_str()); });
    return bm;
  }
};

}  // namespace

TEST_F(PixPNGForged, MetadataChunksAreSkippedAndTheImageStillLoads)
{
  std::vector<unsigned char> extra;
  for (const auto& c : {chunk("tEXt", std::string("Comment\0made by a test", 22)), chunk("gAMA", std::string("\0\0\xb1\x8f", 4)),
                        chunk("pHYs", std::string(9, '\1')), chunk("tIME", std::string("\x07\xea\x0c\x07\x15\x2a\x00", 7)),
                        chunk("zTXt", std::string("k\0\0x", 4))})
    extra.insert(extra.end(), c.begin(), c.end());
  writeWithAfterHeader(extra);
  size_t largest = 0;
  PIX_IBitmap* bm = load(largest);
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(pixels(bm), pixels(&src));
  delete bm;
}

TEST_F(PixPNGForged, AHugeClaimedLengthOrImageSizeFailsWithoutAllocatingIt)
{
  constexpr size_t kBound = 16u << 20;
  size_t largest = 0;
  // A text chunk claiming about a gigabyte, with the file ending long before.
  for (const char* type : {"tEXt", "zTXt", "iTXt", "iCCP", "eXIf", "sPLT", "abCd"})
  {
    writeWithAfterHeader(chunk(type, "xyz", 0x3C000000));
    EXPECT_EQ(load(largest), nullptr) << type;
    EXPECT_LT(largest, kBound) << type;
  }
  // An image of 8192 x 8192 pixels: within the side limit, but a quarter of a
  // gigabyte of pixels for a header of a few bytes.
  std::vector<unsigned char> big = good;
  const unsigned char side[4] = {0x00, 0x00, 0x20, 0x00};
  std::copy(side, side + 4, big.begin() + 16);
  std::copy(side, side + 4, big.begin() + 20);
  const uint32_t crc = (uint32_t)crc32(0, big.data() + 12, 17);
  for (int i = 0; i < 4; ++i) big[29 + i] = (unsigned char)(crc >> (24 - 8 * i));
  writeFile(path, big);
  EXPECT_EQ(load(largest), nullptr);
  EXPECT_LT(largest, kBound);
}

// ---------------------------------------------------------------------------
// Palette images built byte by byte: indices are checked against the
// palette's length before they are looked up.

namespace {

// A palette PNG of the given bit depth whose rows hold `indices` (one per
// pixel, packed here), with `entries` palette colours (entry i is
// (10 i, 20 i, 30 i)) and optional tRNS alphas.
std::vector<unsigned char> palettePNG(int w, int h, int depth, int entries, const std::vector<int>& indices,
                                      const std::string& trns = "")
{
  std::vector<unsigned char> f = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::string ihdr;
  for (uint32_t v : {(uint32_t)w, (uint32_t)h})
    for (int s = 24; s >= 0; s -= 8) ihdr.push_back((char)(v >> s));
  ihdr += {(char)depth, 3, 0, 0, 0};
  std::string plte;
  for (int i = 0; i < entries; ++i) plte += {(char)(10 * i), (char)(20 * i), (char)(30 * i)};
  std::string raw;
  for (int y = 0; y < h; ++y)
  {
    raw.push_back(0);  // filter: none
    int bits = 0, acc = 0;
    for (int x = 0; x < w; ++x)
    {
      acc = acc << depth | indices[(size_t)(y * w + x)];
      bits += depth;
      if (bits == 8)
      {
        raw.push_back((char)acc);
        bits = acc = 0;
      }
    }
    if (bits) raw.push_back((char)(acc << (8 - bits)));
  }
  std::vector<unsigned char> z(compressBound((uLong)raw.size()));
  uLongf zlen = (uLongf)z.size();
  compress(z.data(), &zlen, (const Bytef*)raw.data(), (uLong)raw.size());
  for (const auto& c : {chunk("IHDR", ihdr), chunk("PLTE", plte)}) f.insert(f.end(), c.begin(), c.end());
  if (!trns.empty())
  {
    const auto c = chunk("tRNS", trns);
    f.insert(f.end(), c.begin(), c.end());
  }
  for (const auto& c : {chunk("IDAT", std::string((const char*)z.data(), zlen)), chunk("IEND", "")})
    f.insert(f.end(), c.begin(), c.end());
  return f;
}

class PixPNGPalette : public ::testing::Test
{
protected:
  fs::path path = fs::temp_directory_path() / ("pixpal-" + std::to_string(::getpid()) + ".png");
  void TearDown() override { fs::remove(path); }
  PIX_IBitmap* load(const std::vector<unsigned char>& bytes, PIX_IBitmap* into = nullptr)
  {
    writeFile(path, bytes);
    return PIX_LoadPNG(path.string().c_str(), into);
  }
};

}  // namespace

TEST_F(PixPNGPalette, IndicesWithinThePaletteLoadWithItsColoursAndTransparency)
{
  // 5 x 2 at 8 bits; the last entry of the palette is used, tRNS covers two.
  PIX_IBitmap* bm = load(palettePNG(5, 2, 8, 4, {0, 1, 2, 3, 3, 3, 2, 1, 0, 0}, std::string("\x00\x80", 2)));
  ASSERT_NE(bm, nullptr) << PIX_LastPNGError();
  EXPECT_STREQ(PIX_LastPNGError(), "");
  EXPECT_EQ(PIX_GetPixel(bm, 0, 0), PIX_RGBA(0, 0, 0, 0));
  EXPECT_EQ(PIX_GetPixel(bm, 1, 0), PIX_RGBA(10, 20, 30, 0x80));
  EXPECT_EQ(PIX_GetPixel(bm, 3, 0), PIX_RGBA(30, 60, 90, 255));
  EXPECT_EQ(PIX_GetPixel(bm, 4, 1), PIX_RGBA(0, 0, 0, 0));
  EXPECT_EQ(PIX_GetPixel(bm, 1, 1), PIX_RGBA(20, 40, 60, 255));
  delete bm;
  // Packed 2-bit indices, into a bottom-up bitmap.
  FlippedBitmap flipped(1, 1);
  ASSERT_EQ(load(palettePNG(7, 3, 2, 3, {0, 1, 2, 0, 1, 2, 0, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 0}), &flipped),
            &flipped);
  EXPECT_EQ(PIX_GetPixel(&flipped, 6, 0), PIX_RGBA(0, 0, 0, 255));
  EXPECT_EQ(PIX_GetPixel(&flipped, 0, 1), PIX_RGBA(20, 40, 60, 255));
  EXPECT_EQ(PIX_GetPixel(&flipped, 5, 2), PIX_RGBA(10, 20, 30, 255));
}

TEST_F(PixPNGPalette, IndicesPastThePalettesEndAreRefused)
{
  // The first index past the end, at 8 bits and packed at 1 and 4 bits, in
  // the last pixel of the image (the check must cover every row to its end).
  struct Case
  {
    int depth, entries, bad;
  } cases[] = {{8, 4, 4}, {8, 4, 255}, {8, 255, 255}, {4, 5, 5}, {1, 1, 1}};
  for (const Case& c : cases)
  {
    std::vector<int> idx(6 * 3, 0);
    idx.back() = c.bad;
    EXPECT_EQ(load(palettePNG(6, 3, c.depth, c.entries, idx)), nullptr) << c.depth << " bits, index " << c.bad;
    EXPECT_STREQ(PIX_LastPNGError(), "palette index past the end of the palette");
    PIX_MemBitmap keep(2, 2);
    EXPECT_EQ(load(palettePNG(6, 3, c.depth, c.entries, idx), &keep), nullptr);
    // The same image with the palette's last index loads.
    idx.back() = c.entries - 1;
    PIX_IBitmap* bm = load(palettePNG(6, 3, c.depth, c.entries, idx));
    EXPECT_NE(bm, nullptr) << PIX_LastPNGError();
    delete bm;
  }
}
