// Bitmap over a platform memory context.
#include "pix/PIX_SysBitmap.h"

#include "pix/gdi/GDI.h"

PIX_SysBitmap::PIX_SysBitmap(int w, int h)
{
  if (w > 0 && h > 0) resize(w, h);
}

PIX_SysBitmap::~PIX_SysBitmap()
{
  if (m_dc) GDI_DeleteGfxContext(m_dc);
}

bool PIX_SysBitmap::resize(int w, int h)
{
  if (w < 0) w = 0;
  if (h < 0) h = 0;
  if (w == m_width && h == m_height) return false;

  if (m_dc && w <= m_allocw && h <= m_alloch && w > 0 && h > 0)
  {
    m_width = w;
    m_height = h;
    return true;
  }

  if (m_dc) GDI_DeleteGfxContext(m_dc);
  m_dc = nullptr;
  m_bits = nullptr;
  m_allocw = m_alloch = 0;
  if (w > 0 && h > 0 && w <= 0x7FFFFFFF - 3)
  {
    // Rows padded to 4 pixels, as the platform's image wrapping prefers.
    const int span = (w + 3) & ~3;
    m_dc = GDI_CreateMemContext(nullptr, span, h);
    m_bits = m_dc ? (PIX_pixel*)GDI_GetCtxFrameBuffer(m_dc) : nullptr;
    if (m_dc && !m_bits)
    {
      GDI_DeleteGfxContext(m_dc);
      m_dc = nullptr;
    }
    if (m_dc)
    {
      m_allocw = span;
      m_alloch = h;
    }
  }
  if (!m_dc)
  {
    const bool changed = m_width != 0 || m_height != 0;
    m_width = m_height = 0;
    return changed;
  }
  m_width = w;
  m_height = h;
  return true;
}
