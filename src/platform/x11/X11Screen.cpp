// Screen output of the editor bitmap: MIT-SHM when available, plain XPutImage otherwise.
#include "platform/x11/X11Screen.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>

#include "pix/PIX_Bitmap.h"
#include "platform/x11/X11ErrorTrap.h"

bool X11Screen::Create(Display* dpy, Visual* visual, int depth, int w, int h, bool tryShm) {
  Destroy();
  if (!dpy || !visual || w <= 0 || h <= 0 || (depth != 24 && depth != 32)) return false;
  if (!X11LayoutFromMasks(visual->red_mask, visual->green_mask, visual->blue_mask, &mLayout)) return false;
  mDpy = dpy;
  mW = w;
  mH = h;

  if (tryShm && XShmQueryExtension(dpy)) {
    mImage = XShmCreateImage(dpy, visual, (unsigned)depth, ZPixmap, nullptr, &mShmInfo, (unsigned)w, (unsigned)h);
    if (mImage && mImage->bits_per_pixel == 32) {
      mShmInfo.shmid = shmget(IPC_PRIVATE, (size_t)mImage->bytes_per_line * (size_t)h, IPC_CREAT | 0600);
      if (mShmInfo.shmid >= 0) {
        mShmInfo.shmaddr = mImage->data = (char*)shmat(mShmInfo.shmid, nullptr, 0);
        mShmInfo.readOnly = False;
        if (mShmInfo.shmaddr != (char*)-1) {
          // A display on another machine cannot reach our memory: the attach
          // fails with an error, which the trap turns into a fallback.
          XSync(dpy, False);
          X11ErrorTrap::TakeLastError(dpy);
          XShmAttach(dpy, &mShmInfo);
          XSync(dpy, False);
          mShm = X11ErrorTrap::TakeLastError(dpy) == 0;
          if (!mShm) shmdt(mShmInfo.shmaddr);
        }
        // Marked for removal now: the segment goes away with its last
        // attachment even if this process dies.
        shmctl(mShmInfo.shmid, IPC_RMID, nullptr);
      }
    }
    if (!mShm && mImage) {
      mImage->data = nullptr;
      XDestroyImage(mImage);
      mImage = nullptr;
    }
  }
  if (!mImage) {
    mImage = XCreateImage(dpy, visual, (unsigned)depth, ZPixmap, 0, nullptr, (unsigned)w, (unsigned)h, 32, 0);
    if (!mImage) return false;
    if (mImage->bits_per_pixel != 32) {
      XDestroyImage(mImage);
      mImage = nullptr;
      return false;
    }
    mImage->data = (char*)std::calloc((size_t)mImage->bytes_per_line, (size_t)h);
    if (!mImage->data) {
      XDestroyImage(mImage);
      mImage = nullptr;
      return false;
    }
  }
  return true;
}

void X11Screen::Destroy() {
  if (!mImage) return;
  if (mShm) {
    XShmDetach(mDpy, &mShmInfo);
    XSync(mDpy, False);
    shmdt(mShmInfo.shmaddr);
    mImage->data = nullptr;
  }
  XDestroyImage(mImage);  // frees the data of an ordinary image
  mImage = nullptr;
  mShm = false;
}

bool X11Screen::Put(Window win, GC gc, PIX_IBitmap* bitmap, int x, int y, int w, int h) {
  if (!mImage || !bitmap || !bitmap->getBits()) return false;
  const int bw = std::min(bitmap->getWidth(), mW), bh = std::min(bitmap->getHeight(), mH);
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(x + w, bw), y1 = std::min(y + h, bh);
  if (x1 <= x0 || y1 <= y0) return true;
  // A flipped bitmap would need its rows reversed; the editor's is top-down.
  X11ConvertRect(bitmap->getBits(), bitmap->getRowSpan(), (uint32_t*)mImage->data, mImage->bytes_per_line / 4, x0, y0,
                 x1 - x0, y1 - y0, mLayout);
  if (mShm) {
    XShmPutImage(mDpy, win, gc, mImage, x0, y0, x0, y0, (unsigned)(x1 - x0), (unsigned)(y1 - y0), False);
    // The server reads the segment after the request arrives; wait for it,
    // so that the next update cannot change pixels it has not read yet.
    XSync(mDpy, False);
  } else {
    XPutImage(mDpy, win, gc, mImage, x0, y0, x0, y0, (unsigned)(x1 - x0), (unsigned)(y1 - y0));
  }
  return true;
}
