// Puts rectangles of a drawing-library bitmap on an X window, through shared memory when it can.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include "platform/x11/X11Input.h"

class PIX_IBitmap;

// One image of the window's size that is kept between updates: each update converts only the changed rectangle into it
// and sends that rectangle. With MIT-SHM the image lives in a shared-memory
// segment and XShmPutImage sends no pixels over the wire; when the extension
// is missing, or attaching the segment fails (a remote display), the image
// is an ordinary one sent with XPutImage.
//
// Lifecycle: Create after the window exists, Destroy before the connection
// closes. One thread (the editor's).
class X11Screen {
public:
  X11Screen() = default;
  ~X11Screen() { Destroy(); }
  X11Screen(const X11Screen&) = delete;
  X11Screen& operator=(const X11Screen&) = delete;

  // w and h in window pixels, which are the bitmap's: whatever draws for the
  // window draws at its scale. False when the visual is not a 24/32-bit
  // true-colour one or no image can be made.
  bool Create(Display* dpy, Visual* visual, int depth, int w, int h, bool tryShm);
  void Destroy();
  // Converts and sends the rectangle (clipped to the bitmap)
  // to the window at the same place. False when there is no image.
  bool Put(Window win, GC gc, PIX_IBitmap* bitmap, int x, int y, int w, int h);
  bool UsingShm() const { return mShm; }

private:
  Display* mDpy = nullptr;
  XImage* mImage = nullptr;
  XShmSegmentInfo mShmInfo{};
  bool mShm = false;
  int mW = 0, mH = 0;
  X11PixelLayout mLayout;
};
