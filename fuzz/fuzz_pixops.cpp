// Fuzz target: blits, fills and primitives with arbitrary coordinates, sizes,
// weights and modes on small bitmaps (plain and bottom-up). Clipping must keep
// every access inside the bitmaps.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "pix/PIX_Blit.h"
#include "pix/PIX_Primitives.h"

namespace {

class Reader
{
public:
  Reader(const uint8_t* d, size_t n) : m_d(d), m_n(n) {}
  uint32_t u32()
  {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | (m_pos < m_n ? m_d[m_pos++] : 0);
    return v;
  }
  int i32() { return (int)u32(); }
  // Mostly small coordinates, sometimes extreme ones.
  int coord()
  {
    const uint32_t v = u32();
    return (v & 0x80000000u) ? (int)v : (int)(v % 200) - 60;
  }
  float f32()
  {
    const uint32_t v = u32();
    if ((v & 0xC0000000u) == 0xC0000000u)
    {
      float f;
      memcpy(&f, &v, 4);
      return f;
    }
    return ((int)(v % 4000) - 1000) / 16.0f;
  }
  float weight() { return (float)(u32() % 300) / 256.0f; }
  bool more() const { return m_pos < m_n; }

private:
  const uint8_t* m_d;
  size_t m_n;
  size_t m_pos = 0;
};

// Bottom-up storage with no slack after the last row.
class Flipped : public PIX_IBitmap
{
public:
  Flipped(int w, int h) : m_w(w), m_h(h), m_px((size_t)w * h, 0x80808080u) {}
  PIX_pixel* getBits() override { return m_px.data(); }
  int getWidth() override { return m_w; }
  int getHeight() override { return m_h; }
  int getRowSpan() override { return m_w; }
  bool isFlipped() override { return true; }
  bool resize(int, int) override { return false; }

private:
  int m_w, m_h;
  std::vector<PIX_pixel> m_px;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  Reader r(data, size);
  PIX_MemBitmap a(37, 23, 1), b(16, 16, 4);
  Flipped c(19, 11);
  PIX_IBitmap* bms[3] = {&a, &b, &c};
  for (PIX_IBitmap* bm : bms) PIX_Clear(bm, 0x40C08020u);
  for (int step = 0; step < 16 && r.more(); ++step)
  {
    const uint32_t op = r.u32();
    PIX_IBitmap* dst = bms[(op >> 8) % 3];
    PIX_IBitmap* src = bms[(op >> 16) % 3];
    const int mode = (int)(r.u32() & 0x101FF);
    switch (op % 10)
    {
      case 0: PIX_Blit(dst, src, r.coord(), r.coord(), r.coord(), r.coord(), r.coord(), r.coord(), r.weight(), mode); break;
      case 1: PIX_ScaledBlit(dst, src, r.coord(), r.coord(), r.coord(), r.coord(), r.f32(), r.f32(), r.f32(), r.f32(), r.weight(), mode); break;
      case 2: PIX_RotatedBlit(dst, src, r.coord(), r.coord(), r.coord(), r.coord(), r.f32(), r.f32(), r.f32(), r.f32(), r.f32(), (op >> 24) & 1, r.weight(), mode, r.f32(), r.f32()); break;
      case 3: PIX_FillRect(dst, r.coord(), r.coord(), r.coord(), r.coord(), r.u32(), r.weight(), mode); break;
      case 4: PIX_Line(dst, r.coord(), r.coord(), r.coord(), r.coord(), r.u32(), r.weight(), mode, (op >> 24) & 1); break;
      case 5: PIX_Arc(dst, r.f32(), r.f32(), r.f32(), r.f32(), r.f32(), r.u32(), r.weight(), mode, (op >> 24) & 1); break;
      case 6: PIX_FillCircle(dst, r.coord(), r.coord(), r.coord() % 500, r.u32(), r.weight(), mode, (op >> 24) & 1); break;
      case 7: PIX_RoundRect(dst, r.coord(), r.coord(), r.coord(), r.coord(), r.coord(), r.u32(), r.weight(), mode, (op >> 24) & 1); break;
      case 8:
      {
        int xs[5], ys[5];
        for (int i = 0; i < 5; ++i) { xs[i] = r.coord(); ys[i] = r.coord(); }
        PIX_FillConvexPolygon(dst, xs, ys, 1 + (int)((op >> 24) % 5), r.u32(), r.weight(), mode);
        break;
      }
      default: PIX_PutPixel(dst, r.coord(), r.coord(), r.u32(), r.weight(), mode); break;
    }
  }
  return 0;
}
