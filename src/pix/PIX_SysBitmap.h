// Bitmap whose pixels live in a platform memory drawing context.
#pragma once

#include "pix/PIX_Bitmap.h"

// A PIX_IBitmap backed by a platform memory context (GDI_CreateMemContext), so
// that the platform text renderer can draw into it (getDC) and the view can
// hand its pixels to the screen. Resizing within the allocated row span and
// height reuses the context; otherwise the context is remade with the width
// rounded up to a multiple of 4. A failed context leaves a 0 x 0 bitmap.
// User-interface thread only.
class PIX_SysBitmap : public PIX_IBitmap
{
public:
  explicit PIX_SysBitmap(int w = 0, int h = 0);
  ~PIX_SysBitmap() override;
  PIX_SysBitmap(const PIX_SysBitmap&) = delete;
  PIX_SysBitmap& operator=(const PIX_SysBitmap&) = delete;

  PIX_pixel* getBits() override { return m_bits; }
  int getWidth() override { return m_width; }
  int getHeight() override { return m_height; }
  int getRowSpan() override { return m_allocw; }
  bool resize(int w, int h) override;
  GDI_GfxContext* getDC() override { return m_dc; }

private:
  int m_width = 0, m_height = 0;
  GDI_GfxContext* m_dc = nullptr;         // platform memory context, owned
  PIX_pixel* m_bits = nullptr;    // the context's pixel buffer
  int m_allocw = 0, m_alloch = 0;  // row span and height the context was made with
};
