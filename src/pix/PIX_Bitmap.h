// 32-bit pixels and the bitmaps every drawing operation works on.
#pragma once

#include <bit>
#include <cstdint>

// One pixel is one 32-bit word whose bytes lie in memory as alpha, red, green,
// blue. Read as a (little-endian) integer that is alpha in bits 0-7, red in
// 8-15, green in 16-23 and blue in 24-31. Channels are not premultiplied.
typedef uint32_t PIX_pixel;

// Platform memory drawing context (HDC of the GDI-style platform layer).
struct GDI_GfxContext;

static_assert(std::endian::native == std::endian::little,
              "the pixel channel shifts assume a little-endian machine");

// Byte positions of the channels inside a pixel; the channel copy blit mode
// numbers channels by these positions.
enum { PIX_CHAN_A = 0, PIX_CHAN_R = 1, PIX_CHAN_G = 2, PIX_CHAN_B = 3 };

constexpr int PIX_A(PIX_pixel p) { return (int)(p & 0xFF); }
constexpr int PIX_R(PIX_pixel p) { return (int)((p >> 8) & 0xFF); }
constexpr int PIX_G(PIX_pixel p) { return (int)((p >> 16) & 0xFF); }
constexpr int PIX_B(PIX_pixel p) { return (int)((p >> 24) & 0xFF); }

// Builds a pixel from channels 0-255 (each masked to 8 bits).
constexpr PIX_pixel PIX_RGBA(int r, int g, int b, int a)
{
  return ((PIX_pixel)(a & 0xFF)) | ((PIX_pixel)(r & 0xFF) << 8) |
         ((PIX_pixel)(g & 0xFF) << 16) | ((PIX_pixel)(b & 0xFF) << 24);
}

// Abstract bitmap: a block of pixels, rows getRowSpan() pixels apart.
// Row 0 is always the top row as far as callers are concerned; a flipped
// bitmap stores it last, and getBits() then still points at the first stored
// row (the bottom one). Not thread-safe: a bitmap belongs to one thread at a
// time (the editor's user-interface thread).
class PIX_IBitmap
{
public:
  virtual ~PIX_IBitmap() {}
  // First stored pixel, or null when there is no storage.
  virtual PIX_pixel* getBits() = 0;
  virtual int getWidth() = 0;
  virtual int getHeight() = 0;
  // Distance between rows in pixels (not bytes).
  virtual int getRowSpan() = 0;
  // True when rows are stored bottom-up.
  virtual bool isFlipped() { return false; }
  // Returns true when the size changed, false when it already was w x h.
  // Contents are undefined afterwards.
  virtual bool resize(int w, int h) = 0;
  // Platform drawing context behind the pixels, if any.
  virtual GDI_GfxContext* getDC() { return nullptr; }
  // Extension hook for subclasses; unknown ids return 0.
  virtual intptr_t Extended(int id, void* data) { (void)id; (void)data; return 0; }
};

// Heap bitmap. Rows are padded to a multiple of the line alignment (in pixels)
// and the first row starts on a 64-byte boundary. Growing reserves a quarter
// more than needed so that repeated resizing does not reallocate; shrinking
// keeps the buffer. When storage cannot be had the bitmap reports 0 x 0, so
// blits into or out of it draw nothing.
class PIX_MemBitmap : public PIX_IBitmap
{
public:
  explicit PIX_MemBitmap(int w = 0, int h = 0, int linealign = 1);
  ~PIX_MemBitmap() override;
  PIX_MemBitmap(const PIX_MemBitmap&) = delete;
  PIX_MemBitmap& operator=(const PIX_MemBitmap&) = delete;

  PIX_pixel* getBits() override;
  int getWidth() override { return m_w; }
  int getHeight() override { return m_h; }
  int getRowSpan() override { return (m_w + m_linealign) & ~m_linealign; }
  bool resize(int w, int h) override;

  // Bytes held by the heap block (without the alignment slack); for tests.
  int getAllocatedBytes() const { return m_allocsize; }

private:
  void* m_allocd = nullptr;  // heap block, 63 bytes larger than m_allocsize
  int m_w = 0, m_h = 0;
  int m_allocsize = 0;
  int m_linealign = 0;  // alignment in pixels minus 1 (a power of two minus 1)
};
