// The X11 view's popup menus: override-redirect windows drawn with our own drawing library.
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "graphics/IPopupMenu.h"
#include "pix/PIX_Blit.h"
#include "pix/PIX_Primitives.h"
#include "platform/x11/IGraphicsX11.h"
#include "platform/x11/X11ErrorTrap.h"
#include "platform/x11/X11MenuModel.h"
#include "platform/x11/X11View.h"

namespace {

// Sizes in editor pixels; a menu is laid out and drawn in window pixels
// (these times the view's scale, the font at the scaled size).
constexpr int kItemH = 20, kSeparatorH = 7, kPadL = 22, kPadR = 22, kTitleIndent = 12, kMinW = 80, kFontSize = 13;

// One open (sub)menu: its model, window and the rows' vertical extents.
struct MenuLevel {
  IPopupMenu* menu = nullptr;
  Window win = 0;
  int x = 0, y = 0, w = 0, h = 0;  // root coordinates, screen pixels
  int hover = -1;
  int openSub = -1;  // item whose submenu is the next level
  std::vector<int> rowTop;  // window pixels, one per item plus the end
  PIX_MemBitmap bitmap;
  X11Screen out;
};

class MenuSession {
public:
  MenuSession(X11View& v) : mV(v), mFont(v.Px(kFontSize), nullptr, "DejaVu Sans") {}
  ~MenuSession() {
    while (!mLevels.empty()) CloseLevel();
  }

  bool Open(IPopupMenu* menu, int rootX, int rootY) {
    if (!OpenLevel(menu, rootX, rootY)) return false;
    Window grabWin = mLevels[0]->win;
    // The grab sends every click to us, also outside the menu, so that a
    // click anywhere else can dismiss it.
    const unsigned mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
    for (int tries = 0; tries < 20; ++tries) {
      if (XGrabPointer(mV.dpy, grabWin, True, mask, GrabModeAsync, GrabModeAsync, None, None, CurrentTime) ==
          GrabSuccess)
        break;
      XSync(mV.dpy, False);
    }
    XGrabKeyboard(mV.dpy, grabWin, True, GrabModeAsync, GrabModeAsync, CurrentTime);
    XFlush(mV.dpy);
    mOpenedAt = std::chrono::steady_clock::now();
    return true;
  }

  void Close() {
    XUngrabPointer(mV.dpy, CurrentTime);
    XUngrabKeyboard(mV.dpy, CurrentTime);
    while (!mLevels.empty()) CloseLevel();
    XFlush(mV.dpy);
  }

  bool Done() const { return mDone; }
  IPopupMenu* Result() const { return mResult; }
  void Dismiss() { mDone = true; }

  // Every input event belongs to the menu while it is open.
  bool Handle(XEvent& ev) {
    switch (ev.type) {
      case Expose:
        for (auto& l : mLevels)
          if (l->win == ev.xexpose.window) {
            Paint(*l);
            return true;
          }
        return false;
      case MotionNotify:
        while (XCheckTypedEvent(mV.dpy, MotionNotify, &ev)) {}
        Hover(ev.xmotion.x_root, ev.xmotion.y_root, ev.xmotion.state & (Button1Mask | Button3Mask));
        return true;
      case ButtonPress: {
        int li, item;
        if (!Find(ev.xbutton.x_root, ev.xbutton.y_root, &li, &item)) {
          mDone = true;  // a click outside every menu dismisses
          return true;
        }
        mPressed = true;
        return true;
      }
      case ButtonRelease: {
        int li, item;
        if (!Find(ev.xbutton.x_root, ev.xbutton.y_root, &li, &item)) return true;
        // The release of the click that opened the menu does not pick,
        // unless the pointer was dragged onto an item (press, drag, release).
        const bool quickRelease = !mPressed && !mDragged;
        if (!quickRelease && item >= 0) Pick(li, item);
        return true;
      }
      case KeyPress: {
        KeySym sym = XLookupKeysym(&ev.xkey, 0);
        Key((unsigned long)sym);
        return true;
      }
      case KeyRelease: case EnterNotify: case LeaveNotify: case FocusIn: case FocusOut:
        return true;
      default:
        return false;
    }
  }

private:
  bool OpenLevel(IPopupMenu* menu, int rootX, int rootY) {
    auto l = std::make_unique<MenuLevel>();
    l->menu = menu;
    const int n = menu->GetNItems();
    // Row edges are the editor layout's scaled, so rows stay evenly spaced.
    int y = 1, wMax = 0;
    for (int i = 0; i < n; ++i) {
      l->rowTop.push_back(mV.Px(y));
      IPopupMenuItem* item = menu->GetItem(i);
      if (item->GetIsSeparator()) {
        y += kSeparatorH;
        continue;
      }
      const std::string label = X11MenuItemLabel(menu, i);
      int tw = 0, th = 0;
      X11Draw::Measure(&mFont, label.c_str(), (int)label.size(), &tw, &th);
      wMax = std::max(wMax, tw + (item->GetIsTitle() ? mV.Px(kTitleIndent) : 0));
      y += kItemH;
    }
    l->rowTop.push_back(mV.Px(y));
    l->w = std::max(mV.Px(kMinW), mV.Px(kPadL) + wMax + mV.Px(kPadR));
    l->h = mV.Px(std::max(y + 1, 2 + kItemH / 2));
    // Kept on screen: a menu that would leave the right or bottom edge moves back.
    const int sw = DisplayWidth(mV.dpy, mV.screen), sh = DisplayHeight(mV.dpy, mV.screen);
    l->x = std::max(0, std::min(rootX, sw - l->w));
    l->y = std::max(0, std::min(rootY, sh - l->h));
    XSetWindowAttributes swa;
    swa.override_redirect = True;
    swa.save_under = True;
    swa.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask;
    swa.background_pixmap = None;
    swa.colormap = mV.colormap;
    swa.border_pixel = 0;
    l->win = XCreateWindow(mV.dpy, mV.root, l->x, l->y, (unsigned)l->w, (unsigned)l->h, 0, mV.depth, InputOutput,
                           mV.visual, CWOverrideRedirect | CWSaveUnder | CWEventMask | CWBackPixmap | CWColormap |
                           CWBorderPixel, &swa);
    if (!l->win) return false;
    l->bitmap.resize(l->w, l->h);
    l->out.Create(mV.dpy, mV.visual, mV.depth, l->w, l->h, false);
    XMapRaised(mV.dpy, l->win);
    mLevels.push_back(std::move(l));
    Paint(*mLevels.back());
    return true;
  }

  void CloseLevel() {
    MenuLevel& l = *mLevels.back();
    l.out.Destroy();
    XDestroyWindow(mV.dpy, l.win);
    mLevels.pop_back();
    if (!mLevels.empty()) mLevels.back()->openSub = -1;
  }

  void Paint(MenuLevel& l) {
    PIX_MemBitmap& bm = l.bitmap;
    const int w = bm.getWidth(), h = bm.getHeight(), one = std::max(1, mV.Px(1));
    X11Draw::Fill(&bm, 0, 0, w, h, 90, 90, 90);  // border
    X11Draw::Fill(&bm, one, one, w - 2 * one, h - 2 * one, 242, 242, 242);
    for (int i = 0; i < l.menu->GetNItems(); ++i) {
      IPopupMenuItem* item = l.menu->GetItem(i);
      const int top = l.rowTop[(size_t)i], rowH = l.rowTop[(size_t)i + 1] - top;
      if (item->GetIsSeparator()) {
        X11Draw::Fill(&bm, mV.Px(6), top + rowH / 2, w - mV.Px(12), one, 190, 190, 190);
        continue;
      }
      const bool hot = i == l.hover || i == l.openSub;
      if (hot) X11Draw::Fill(&bm, one, top, w - 2 * one, rowH, 51, 102, 204);
      IText style = mFont;
      style.mColor = !item->GetEnabled() ? IColor(255, 150, 150, 150) : hot ? COLOR_WHITE : COLOR_BLACK;
      style.mCached = mFont.mCached;
      int tw = 0, th = 0;
      const std::string label = X11MenuItemLabel(l.menu, i);
      X11Draw::Measure(&style, label.c_str(), (int)label.size(), &tw, &th);
      const int ty = top + (rowH - th) / 2;
      X11Draw::Text(&bm, &style, label.c_str(), mV.Px(kPadL + (item->GetIsTitle() ? kTitleIndent : 0)), ty);
      const PIX_pixel ink = style.mColor.ToPixel();
      const int cy = top + rowH / 2;
      if (item->GetChecked()) {
        // The tick is drawn once per window pixel of its thickness.
        for (int t = 0; t < one; ++t) {
          PIX_Line(&bm, mV.Px(7), cy + t, mV.Px(10), cy + mV.Px(3) + t, ink, 1.0f, PIX_BLIT_MODE_COPY, true);
          PIX_Line(&bm, mV.Px(10), cy + mV.Px(3) + t, mV.Px(16), cy - mV.Px(4) + t, ink, 1.0f, PIX_BLIT_MODE_COPY, true);
        }
      }
      if (item->GetSubmenu())
        PIX_FillTriangle(&bm, w - mV.Px(14), cy - mV.Px(4), w - mV.Px(14), cy + mV.Px(4), w - mV.Px(9), cy, ink, 1.0f,
                         PIX_BLIT_MODE_COPY);
    }
    l.out.Put(l.win, mV.gc, &bm, 0, 0, w, h);
  }

  // Level and item under a root point; item -1 over a separator or the border.
  bool Find(int rx, int ry, int* level, int* item) {
    for (int li = (int)mLevels.size() - 1; li >= 0; --li) {
      MenuLevel& l = *mLevels[(size_t)li];
      if (rx < l.x || rx >= l.x + l.w || ry < l.y || ry >= l.y + l.h) continue;
      *level = li;
      *item = -1;
      const int ey = ry - l.y;
      for (int i = 0; i < l.menu->GetNItems(); ++i)
        if (ey >= l.rowTop[(size_t)i] && ey < l.rowTop[(size_t)i + 1] && X11MenuItemSelectable(l.menu, i))
          *item = i;
      return true;
    }
    return false;
  }

  void Hover(int rx, int ry, bool buttonHeld) {
    int li, item;
    if (!Find(rx, ry, &li, &item)) return;
    if (buttonHeld && std::chrono::steady_clock::now() - mOpenedAt > std::chrono::milliseconds(150)) mDragged = true;
    SetHover(li, item);
    // Resting on a submenu entry opens its submenu.
    if (item >= 0 && mLevels[(size_t)li]->menu->GetItem(item)->GetSubmenu()) OpenSub(li, item, false);
  }

  void SetHover(int li, int item) {
    // Moving back into a parent menu closes the submenus below it, except
    // the one belonging to the entry under the pointer.
    while ((int)mLevels.size() > li + 1 && mLevels[(size_t)li]->openSub != item) CloseLevel();
    MenuLevel& l = *mLevels[(size_t)li];
    if (l.hover != item) {
      l.hover = item;
      Paint(l);
    }
  }

  void OpenSub(int li, int item, bool highlightFirst) {
    MenuLevel& l = *mLevels[(size_t)li];
    if (l.openSub == item && (int)mLevels.size() > li + 1) return;
    while ((int)mLevels.size() > li + 1) CloseLevel();
    IPopupMenu* sub = l.menu->GetItem(item)->GetSubmenu();
    l.openSub = item;
    const int x = l.x + l.w - mV.Px(2), y = l.y + l.rowTop[(size_t)item] - mV.Px(1);
    Paint(l);
    if (!OpenLevel(sub, x, y)) return;
    if (highlightFirst) SetHover(li + 1, X11MenuStep(sub, -1, 1));
  }

  void Pick(int li, int item) {
    MenuLevel& l = *mLevels[(size_t)li];
    if (!X11MenuItemPickable(l.menu, item)) return;
    l.menu->SetChosenItemIdx(item);
    mResult = l.menu;
    mDone = true;
  }

  void Key(unsigned long sym) {
    const int li = (int)mLevels.size() - 1;
    MenuLevel& l = *mLevels[(size_t)li];
    switch (sym) {
      case XK_Escape: mDone = true; break;
      case XK_Up: case XK_KP_Up: SetHover(li, X11MenuStep(l.menu, l.hover, -1)); break;
      case XK_Down: case XK_KP_Down: SetHover(li, X11MenuStep(l.menu, l.hover, 1)); break;
      case XK_Left: case XK_KP_Left:
        if (li > 0) CloseLevel(), Paint(*mLevels.back());
        break;
      case XK_Right: case XK_KP_Right: case XK_Return: case XK_KP_Enter:
        if (l.hover < 0) break;
        if (l.menu->GetItem(l.hover)->GetSubmenu()) OpenSub(li, l.hover, true);
        else if (sym == XK_Return || sym == XK_KP_Enter) Pick(li, l.hover);
        break;
      default: break;
    }
  }

  X11View& mV;
  IText mFont;
  std::vector<std::unique_ptr<MenuLevel>> mLevels;
  bool mDone = false, mPressed = false, mDragged = false;
  IPopupMenu* mResult = nullptr;
  std::chrono::steady_clock::time_point mOpenedAt;
};

}  // namespace

namespace {
// The menu as the view's open prompt.
class MenuPrompt : public X11Session {
public:
  MenuPrompt(X11View& v, IGraphics::PopupMenuDone done) : mMenu(v), mDone(std::move(done)) {}
  ~MenuPrompt() override {
    if (!mClosed) mMenu.Close();
  }
  bool Open(IPopupMenu* menu, int rootX, int rootY) { return mMenu.Open(menu, rootX, rootY); }
  bool Handle(XEvent& ev) override { return mMenu.Handle(ev); }
  bool Poll() override { return mMenu.Done(); }
  void Finish() override {
    mMenu.Close();
    mClosed = true;
    if (mDone) mDone(mMenu.Result());
  }

private:
  MenuSession mMenu;
  IGraphics::PopupMenuDone mDone;
  bool mClosed = false;
};
}  // namespace

void IGraphicsX11::CreateIPopupMenuAsync(IPopupMenu* pMenu, IRECT* pAreaRect, PopupMenuDone done) {
  X11ErrorTrap::Scope trap;
  ReleaseMouseCapture();
  if (!pMenu || !mView || mView->windowGone || mView->session || pMenu->GetNItems() == 0) {
    if (done) done(nullptr);
    return;
  }
  X11View& v = *mView;
  EndTextEntry(true);
  // Below the lower-left corner of the area, 4 pixels down.
  const IRECT area = pAreaRect ? *pAreaRect : IRECT(v.prevX, v.prevY, v.prevX, v.prevY);
  int rx = 0, ry = 0;
  Window child;
  XTranslateCoordinates(v.dpy, v.win, v.root, ToDraw(area.L), ToDraw(area.B + 4), &rx, &ry, &child);
  auto prompt = std::make_unique<MenuPrompt>(v, std::move(done));
  if (!prompt->Open(pMenu, rx, ry)) {
    prompt->Finish();  // answers "nothing picked"
    return;
  }
  StartSession(std::move(prompt));
}

IPopupMenu* IGraphicsX11::CreateIPopupMenu(IPopupMenu* pMenu, IRECT* pAreaRect) {
  X11ErrorTrap::Scope trap;
  IPopupMenu* result = nullptr;
  bool done = false;
  CreateIPopupMenuAsync(pMenu, pAreaRect, [&](IPopupMenu* chosen) {
    result = chosen;
    done = true;
  });
  WaitFor(done);
  return done ? result : nullptr;
}
