// Fuzz target: arbitrary bytes as a PNG file. Loading never crashes, never
// reads or writes outside its buffers and never leaks; an image that does
// load has the size it reports and can be drawn.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "pix/PIX_Blit.h"
#include "pix/PIX_PNG.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static const std::string path = "/tmp/fuzz_png_" + std::to_string(getpid()) + ".png";
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  fclose(f);

  static PIX_MemBitmap canvas(64, 64);
  PIX_IBitmap* bm = PIX_LoadPNG(path.c_str());
  if (bm)
  {
    if (bm->getWidth() <= 0 || bm->getHeight() <= 0 || !bm->getBits()) abort();
    PIX_Blit(&canvas, bm, -3, -3, 0, 0, bm->getWidth(), bm->getHeight(), 1.0f, PIX_BLIT_USE_SRC_ALPHA);
    delete bm;
  }
  // Into a passed bitmap as well (resize path).
  static PIX_MemBitmap reuse(1, 1, 4);
  PIX_LoadPNG(path.c_str(), &reuse);
  remove(path.c_str());
  return 0;
}
