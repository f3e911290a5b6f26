// Decodes a PNG file with the drawing library's loader and writes its pixels
// as raw 8-bit red, green, blue, alpha bytes, row by row, for the conformance
// test that compares them with another decoder. Prints "WIDTH HEIGHT", or
// "refused: REASON" with exit status 1.
#include <cstdio>

#include "pix/PIX_Blit.h"
#include "pix/PIX_PNG.h"

int main(int argc, char** argv)
{
  if (argc != 3)
  {
    std::fprintf(stderr, "usage: png_rgba IN.png OUT.rgba\n");
    return 2;
  }
  PIX_IBitmap* bm = PIX_LoadPNG(argv[1]);
  if (!bm)
  {
    std::printf("refused: %s\n", PIX_LastPNGError());
    return 1;
  }
  FILE* out = std::fopen(argv[2], "wb");
  if (!out)
  {
    delete bm;
    return 2;
  }
  for (int y = 0; y < bm->getHeight(); ++y)
    for (int x = 0; x < bm->getWidth(); ++x)
    {
      const PIX_pixel p = PIX_GetPixel(bm, x, y);
      const unsigned char rgba[4] = {(unsigned char)PIX_R(p), (unsigned char)PIX_G(p), (unsigned char)PIX_B(p),
                                     (unsigned char)PIX_A(p)};
      std::fwrite(rgba, 1, 4, out);
    }
  const bool ok = std::fclose(out) == 0;
  std::printf("%d %d\n", bm->getWidth(), bm->getHeight());
  delete bm;
  return ok ? 0 : 2;
}
