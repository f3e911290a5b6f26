// The X11 view's own-drawn text entry: a child window with caret, selection and input filter.
#include "pix/gdi/GDI.h"
#include "graphics/IControl.h"
#include "framework/IParam.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>

#include "pix/PIX_Blit.h"
#include "platform/x11/IGraphicsX11.h"
#include "platform/x11/X11ErrorTrap.h"
#include "platform/x11/X11View.h"

namespace {
// Where the field's text starts, in the field's pixels: placed as the style
// aligns it while it fits, else scrolled so that the caret stays in view
// (the scroll follows the caret only when follow is set; a click reads it).
int EntryTextLeft(X11TextEntry& e, int fieldW, int margin, int textW, int caretX, bool follow) {
  const int avail = fieldW - 2 * margin;
  if (textW < avail) {
    e.scroll = 0;
    if (e.style.mAlign == IText::kAlignCenter) return margin + (avail - textW) / 2;
    if (e.style.mAlign == IText::kAlignFar) return margin + avail - textW;
    return margin;
  }
  if (follow) {
    if (caretX - e.scroll > avail) e.scroll = caretX - avail;
    if (caretX - e.scroll < 0) e.scroll = caretX;
  }
  return margin - e.scroll;
}
}  // namespace

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
  // caret and a margin fit in the same rectangle; the field is drawn at the
  // window's scale, so the style carries the scaled size.
  const IText& base = pText ? *pText : *pControl->GetText();
  e->style = IText(v.Px((int)(0.9 * base.mSize)), &base.mTextEntryFGColor, base.mFont, base.mStyle, base.mAlign);
  e->style.mTextEntryBGColor = base.mTextEntryBGColor;
  X11TextFilter filter = X11TextFilter::ForParam(pParam, pControl->GetTextEntryLength());
  // Room for a unit after the number ("12.5 ms").
  if (pParam && ReadsTypedValues()) filter = X11TextFilter{std::string(), pControl->GetTextEntryLength() + 3, 0};
  e->field = X11TextField(pString ? pString : "", filter);
  // The window covers the rectangle's pixels on the editor's bitmap.
  const IRECT d = ToDraw(r);
  e->bitmap.resize(d.W(), d.H());
  XSetWindowAttributes swa;
  swa.event_mask = ExposureMask | ButtonPressMask;
  swa.background_pixmap = None;
  e->win = XCreateWindow(v.dpy, v.win, d.L, d.T, (unsigned)d.W(), (unsigned)d.H(), 0, v.depth, InputOutput, v.visual,
                         CWEventMask | CWBackPixmap, &swa);
  e->out.Create(v.dpy, v.visual, v.depth, d.W(), d.H(), false);
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
  const IColor& bg = e.style.mTextEntryBGColor;
  X11Draw::Fill(&bm, 0, 0, bm.getWidth(), bm.getHeight(), bg.R, bg.G, bg.B);
  IText& style = e.style;
  const std::string& text = e.field.Text();
  int tw = 0, th = 0, cw = 0, ch = 0;
  X11Draw::Measure(&style, text.c_str(), (int)text.size(), &tw, &th);
  X11Draw::Measure(&style, text.c_str(), e.field.Caret(), &cw, &ch);
  if (th == 0) X11Draw::Measure(&style, "", 0, &tw, &th);
  const int x0 = EntryTextLeft(e, bm.getWidth(), mView->Px(2), tw, cw, true);
  const int y0 = std::max(0, (bm.getHeight() - th) / 2);
  if (e.field.HasSelection()) {
    int sw = 0, sh = 0, ew = 0, eh = 0;
    X11Draw::Measure(&style, text.c_str(), e.field.SelStart(), &sw, &sh);
    X11Draw::Measure(&style, text.c_str(), e.field.SelEnd(), &ew, &eh);
    X11Draw::Fill(&bm, x0 + sw, y0, ew - sw, th, 170, 200, 255);
  }
  X11Draw::Text(&bm, &style, text.c_str(), x0, y0);
  const IColor& fg = e.style.mTextEntryFGColor;
  X11Draw::Fill(&bm, x0 + cw, y0, std::max(1, mView->Px(1)), th > 0 ? th : bm.getHeight(), fg.R, fg.G, fg.B);
  e.out.Put(e.win, mView->gc, &bm, 0, 0, bm.getWidth(), bm.getHeight());
}

void IGraphicsX11::HandleEntryClick(int x, bool extend) {
  X11TextEntry& e = *mView->entry;
  const std::string& text = e.field.Text();
  // The caret goes to the character boundary nearest the click, measured in
  // the field's own (window) pixels, as it is drawn.
  int tw = 0, th = 0;
  X11Draw::Measure(&e.style, text.c_str(), (int)text.size(), &tw, &th);
  const int x0 = EntryTextLeft(e, e.bitmap.getWidth(), mView->Px(2), tw, 0, false);
  int best = 0, bestDist = 1 << 30;
  for (int i = 0; i <= (int)text.size(); ++i) {
    if (i < (int)text.size() && ((unsigned char)text[(size_t)i] & 0xC0) == 0x80) continue;
    int w = 0, h = 0;
    X11Draw::Measure(&e.style, text.c_str(), i, &w, &h);
    const int d = std::abs(x - x0 - w);
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
    case XK_Return: case XK_KP_Enter:
      // Text the plug-in would not take (no number, out of range) keeps the
      // field open with what was typed, so it can be mended. (Ended any
      // other way, such text changes nothing.)
      if (e.param && !AcceptsPromptText(e.control, e.param, e.field.Text().c_str())) {
        XBell(mView->dpy, 0);
        break;
      }
      EndTextEntry(true);
      return;
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
