// The X11 view's own-drawn text entry: a child window with caret, selection and input filter.
#include "platform/gdi/GDI.h"
#include "graphics/IControl.h"
#include "framework/IParam.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>

#include "pix/PIX_Blit.h"
#include "platform/x11/IGraphicsX11.h"
#include "platform/x11/X11ErrorTrap.h"
#include "platform/x11/X11View.h"

void IGraphicsX11::CreateTextEntry(IControl* pControl, IText* pText, IRECT* pTextRect, const char* pString,
                                   IParam* pParam) {
  X11ErrorTrap::Scope trap;
  if (!pControl || !pTextRect || !mView || mView->windowGone || mView->entry) return;
  X11View& v = *mView;
  IRECT r = IRECT(0, 0, Width(), Height()).Intersect(pTextRect);
  if (r.W() <= 0 || r.H() <= 0) return;
  auto e = std::make_unique<X11TextEntry>();
  e->control = pControl;
  e->param = pParam;
  e->rect = r;
  // The field's font is a little smaller than the control's, so that the
  // caret and a margin fit in the same rectangle.
  const IText& base = pText ? *pText : *pControl->GetText();
  e->style = IText((int)(0.9 * base.mSize), &base.mTextEntryFGColor, base.mFont, base.mStyle, base.mAlign);
  e->style.mTextEntryBGColor = base.mTextEntryBGColor;
  X11TextFilter filter = X11TextFilter::ForParam(pParam, pControl->GetTextEntryLength());
  e->field = X11TextField(pString ? pString : "", filter);
  const int s = v.scale;
  e->bitmap.resize(r.W() * s, r.H() * s);
  XSetWindowAttributes swa;
  swa.event_mask = ExposureMask | ButtonPressMask;
  swa.background_pixmap = None;
  e->win = XCreateWindow(v.dpy, v.win, r.L * s, r.T * s, (unsigned)(r.W() * s), (unsigned)(r.H() * s), 0, v.depth,
                         InputOutput, v.visual, CWEventMask | CWBackPixmap, &swa);
  // The field's bitmap is already at screen scale: it is put 1:1.
  e->out.Create(v.dpy, v.visual, v.depth, r.W() * s, r.H() * s, 1, false);
  v.entry = std::move(e);
  DrawEntry();
  XMapRaised(v.dpy, v.entry->win);
  XRaiseWindow(v.dpy, v.win);
  // The keyboard is the editor's only while the entry is open (the host
  // keeps it otherwise, for its own shortcuts); it goes back where it was.
  XGetInputFocus(v.dpy, &v.entry->prevFocus, &v.entry->prevRevert);
  XSetInputFocus(v.dpy, v.win, RevertToParent, CurrentTime);
  XFlush(v.dpy);
}

void IGraphicsX11::DrawEntry() {
  if (!mView || !mView->entry) return;
  X11TextEntry& e = *mView->entry;
  PIX_MemBitmap& bm = e.bitmap;
  const int s = mView->scale;
  const IColor& bg = e.style.mTextEntryBGColor;
  X11Draw::Fill(&bm, 0, 0, bm.getWidth(), bm.getHeight(), bg.R, bg.G, bg.B);
  // Text is laid out at editor scale and drawn at screen scale by using a
  // style of s times the size.
  IText style = e.style;
  style.mSize *= s;
  style.mCached = nullptr;
  const std::string& text = e.field.Text();
  int tw = 0, th = 0, cw = 0, ch = 0;
  X11Draw::Measure(&style, text.c_str(), (int)text.size(), &tw, &th);
  X11Draw::Measure(&style, text.c_str(), e.field.Caret(), &cw, &ch);
  if (th == 0) X11Draw::Measure(&style, "", 0, &tw, &th);
  const int margin = 2 * s, avail = bm.getWidth() - 2 * margin;
  int x0 = margin;
  if (tw < avail) {
    if (style.mAlign == IText::kAlignCenter) x0 = margin + (avail - tw) / 2;
    else if (style.mAlign == IText::kAlignFar) x0 = margin + avail - tw;
    e.scroll = 0;
  } else {
    // Long text scrolls so that the caret stays visible.
    if (cw - e.scroll > avail) e.scroll = cw - avail;
    if (cw - e.scroll < 0) e.scroll = cw;
    x0 = margin - e.scroll;
  }
  const int y0 = std::max(0, (bm.getHeight() - th) / 2);
  if (e.field.HasSelection()) {
    int sw = 0, sh = 0, ew = 0, eh = 0;
    X11Draw::Measure(&style, text.c_str(), e.field.SelStart(), &sw, &sh);
    X11Draw::Measure(&style, text.c_str(), e.field.SelEnd(), &ew, &eh);
    X11Draw::Fill(&bm, x0 + sw, y0, ew - sw, th, 170, 200, 255);
  }
  X11Draw::Text(&bm, &style, text.c_str(), x0, y0);
  const IColor& fg = e.style.mTextEntryFGColor;
  X11Draw::Fill(&bm, x0 + cw, y0, s, th > 0 ? th : bm.getHeight(), fg.R, fg.G, fg.B);
  e.out.Put(e.win, mView->gc, &bm, 0, 0, bm.getWidth(), bm.getHeight());
}

void IGraphicsX11::HandleEntryClick(int x, int y, bool extend) {
  (void)y;
  X11TextEntry& e = *mView->entry;
  IText style = e.style;
  const std::string& text = e.field.Text();
  // The caret goes to the character boundary nearest the click.
  int best = 0, bestDist = 1 << 30;
  int tw = 0, th = 0;
  X11Draw::Measure(&style, text.c_str(), (int)text.size(), &tw, &th);
  const int avail = e.rect.W() - 4;
  int x0 = 2 - e.scroll / mView->scale;
  if (tw < avail) {
    if (style.mAlign == IText::kAlignCenter) x0 = 2 + (avail - tw) / 2;
    else if (style.mAlign == IText::kAlignFar) x0 = 2 + avail - tw;
  }
  for (int i = 0; i <= (int)text.size(); ++i) {
    if (i < (int)text.size() && ((unsigned char)text[(size_t)i] & 0xC0) == 0x80) continue;
    int w = 0, h = 0;
    X11Draw::Measure(&style, text.c_str(), i, &w, &h);
    const int d = std::abs(x - e.rect.L - x0 - w);
    if (d < bestDist) {
      bestDist = d;
      best = i;
    }
  }
  e.field.SetCaret(best, extend);
  DrawEntry();
}

void IGraphicsX11::HandleEntryKey(unsigned long keysym, const char* typed, unsigned state) {
  X11TextEntry& e = *mView->entry;
  const bool shift = state & ShiftMask, ctrl = state & ControlMask;
  switch (keysym) {
    case XK_Return: case XK_KP_Enter: EndTextEntry(true); return;
    case XK_Escape: EndTextEntry(false); return;
    case XK_BackSpace: e.field.Backspace(); break;
    case XK_Delete: case XK_KP_Delete: e.field.Delete(); break;
    case XK_Left: case XK_KP_Left: e.field.Left(shift); break;
    case XK_Right: case XK_KP_Right: e.field.Right(shift); break;
    case XK_Home: case XK_KP_Home: e.field.Home(shift); break;
    case XK_End: case XK_KP_End: e.field.End(shift); break;
    default:
      if (ctrl && (keysym == XK_a || keysym == XK_A)) {
        e.field.SelectAll();
      } else if (ctrl && (keysym == XK_v || keysym == XK_V)) {
        std::string clip;
        if (GetTextFromClipboard(&clip)) {
          clip.erase(std::remove_if(clip.begin(), clip.end(), [](char c) { return c == '\n' || c == '\r'; }),
                     clip.end());
          if (mView && mView->entry) mView->entry->field.Insert(clip);
        }
      } else if (!ctrl && typed && (unsigned char)typed[0] >= 0x20 && typed[0] != 0x7F) {
        e.field.Insert(typed);  // a refused character leaves the field as it was
      }
      break;
  }
  DrawEntry();
}

void IGraphicsX11::EndTextEntry(bool apply) {
  if (!mView || !mView->entry) return;
  std::unique_ptr<X11TextEntry> e = std::move(mView->entry);
  const std::string text = e->field.Text();
  e->out.Destroy();
  if (!mView->windowGone) {
    XDestroyWindow(mView->dpy, e->win);
    // Given back only while it is still ours (a click into another window
    // took it already), to whatever had it, PointerRoot or None included.
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(mView->dpy, &focus, &revert);
    if (focus == mView->win || focus == e->win) XSetInputFocus(mView->dpy, e->prevFocus, e->prevRevert, CurrentTime);
  }
  IControl* pControl = e->control;
  IParam* pParam = e->param;
  e.reset();
  if (!apply) return;
  // Applying may open another prompt; the entry is closed already.
  if (pParam) SetFromStringAfterPrompt(pControl, pParam, text.c_str());
  else pControl->TextFromTextEntry(text.c_str());
}

void IGraphicsX11::ForceEndUserEdit() {
  X11ErrorTrap::Scope trap;
  EndTextEntry(false);
}
