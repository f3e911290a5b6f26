// The editor surface: construction, controls, values in both directions, dirty tracking and routing.
#include "graphics/IGraphics.h"

#include <cmath>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "framework/IParam.h"
#include "framework/IPluginBase.h"
#include "graphics/IControl.h"
#include "graphics/IPopupMenu.h"
#include "graphics/IBitmapControl.h"
#include "graphics/IPanelControl.h"
#include "pix/PIX_Bitmap.h"
#include "pix/PIX_SysBitmap.h"

IGraphics::IGraphics(IPluginBase* pPlug, int w, int h, int refreshFPS)
    : mPlug(pPlug), mWidth(w), mHeight(h), mFPS(refreshFPS > 0 ? refreshFPS : DEFAULT_FPS) {}

IGraphics::~IGraphics() {
  // The key catcher is normally not in the list; if a layout attached it
  // there as well, the list's delete is the only one.
  bool catcherInList = false;
  for (IControl* pControl : mControls) catcherInList |= (pControl == mKeyCatcher);
  if (!catcherInList) delete mKeyCatcher;
  mKeyCatcher = nullptr;
  DeleteControls();
  delete mDrawBitmap;
  delete mTmpBitmap;
}

void IGraphics::DeleteControls() {
  mBubble.Follow(this, nullptr);  // it must not point at a deleted control
  std::vector<IControl*> controls;
  controls.swap(mControls);
  for (IControl* pControl : controls) {
    if (pControl != mKeyCatcher) delete pControl;
  }
}

void IGraphics::PrepDraw() {
  delete mDrawBitmap;
  delete mTmpBitmap;
  mDrawBitmap = new PIX_SysBitmap();
  mDrawBitmap->resize(DrawWidth(), DrawHeight());
  mTmpBitmap = new PIX_MemBitmap(0, 0, 4);
}

PIX_IBitmap* IGraphics::GetDrawBitmap() { return mDrawBitmap; }

void IGraphics::SetScale(float scale) {
  if (!(scale >= 1.0f && scale <= 4.0f)) scale = 1.0f;
  if (scale == mScale) return;
  mScale = scale;
  mScaledArt.clear();
  if (mDrawBitmap) PrepDraw();
  mDrawRECT = IRECT();
  SetAllControlsDirty();
}

int IGraphics::ToDraw(int v) const { return mScale == 1.0f ? v : (int)std::lround((float)v * mScale); }

int IGraphics::FromDraw(int v) const {
  if (mScale == 1.0f) return v;
  // The quotient is right but for rounding at cell edges; the steps settle it.
  int e = (int)std::floor((float)v / mScale);
  while (ToDraw(e + 1) <= v) ++e;
  while (ToDraw(e) > v) --e;
  return e;
}

IRECT IGraphics::ToDraw(const IRECT& r) const { return IRECT(ToDraw(r.L), ToDraw(r.T), ToDraw(r.R), ToDraw(r.B)); }

void* IGraphics::GetBits() { return mDrawBitmap ? (void*)mDrawBitmap->getBits() : nullptr; }

// ---------------------------------------------------------------------------
// Construction and layout

int IGraphics::AttachControl(IControl* pControl) {
  if (!pControl) return -1;  // a null entry would crash every later pass
  mControls.push_back(pControl);
  return GetNControls() - 1;
}

void IGraphics::AttachBackground(int id, const char* name) {
  IBitmap bg = LoadIBitmap(id, name, 1);
  IControl* pBG = new IBitmapControl(mPlug, 0, 0, -1, &bg, IChannelBlend::kBlendClobber);
  mControls.insert(mControls.begin(), pBG);
}

void IGraphics::AttachBackground(IControl* pControl) { mControls.insert(mControls.begin(), pControl); }

void IGraphics::AttachPanelBackground(const IColor* pColor) {
  IRECT r(0, 0, mWidth, mHeight);
  IControl* pBG = new IPanelControl(mPlug, &r, pColor);
  mControls.insert(mControls.begin(), pBG);
}

void IGraphics::AttachKeyCatcher(IControl* pControl) {
  // The surface owns its key catcher: a replaced one is deleted here unless
  // it also sits in the control list (which deletes it).
  if (mKeyCatcher && mKeyCatcher != pControl) {
    bool inList = false;
    for (IControl* pC : mControls) inList |= (pC == mKeyCatcher);
    if (!inList) delete mKeyCatcher;
  }
  mKeyCatcher = pControl;
}

void IGraphics::Resize(int w, int h) {
  mWidth = w;
  mHeight = h;
  ReleaseMouseCapture();
  mMouseOver = -1;
  DeleteControls();
  delete mDrawBitmap;
  mDrawBitmap = nullptr;
  delete mTmpBitmap;
  mTmpBitmap = nullptr;
  PrepDraw();
  if (mPlug) mPlug->ResizeGraphics(w, h);
}

void IGraphics::SetStrictDrawing(bool strict) {
  mStrict = strict;
  SetAllControlsDirty();
}

void IGraphics::ShowControlBounds(bool show) {
  mShowControlBounds = show;
  SetAllControlsDirty();
}

void IGraphics::HideControl(int paramIdx, bool hide) {
  for (IControl* pControl : mControls) {
    if (pControl->ParamIdx() == paramIdx) pControl->Hide(hide);
  }
}

void IGraphics::GrayOutControl(int paramIdx, bool gray) {
  for (IControl* pControl : mControls) {
    if (pControl->ParamIdx() == paramIdx) pControl->GrayOut(gray);
  }
}

void IGraphics::ClampControl(int paramIdx, double lo, double hi, bool normalized) {
  if (!normalized) {
    IParam* pParam = mPlug ? mPlug->GetParam(paramIdx) : nullptr;
    if (!pParam) return;  // plain values need the parameter's range
    lo = pParam->GetNormalized(lo);
    hi = pParam->GetNormalized(hi);
  }
  for (IControl* pControl : mControls) {
    if (pControl->ParamIdx() == paramIdx) pControl->Clamp(lo, hi);
  }
}

void IGraphics::AssignParamNameToolTips() {
  for (IControl* pControl : mControls) {
    IParam* pParam = pControl->ParamIdx() >= 0 ? pControl->GetParam() : nullptr;
    if (pParam) pControl->SetTooltip(pParam->GetNameForHost());
  }
}

// ---------------------------------------------------------------------------
// Values from the plug-in

void IGraphics::SetParameterFromPlug(int paramIdx, double value, bool normalized) {
  // -1 is "no parameter": a value for it must not move every unbound control.
  if (paramIdx < 0) return;
  if (!normalized) {
    // A plain value needs the parameter to be normalised; an index the
    // plug-in does not have moves nothing rather than reading a null parameter.
    IParam* pParam = mPlug ? mPlug->GetParam(paramIdx) : nullptr;
    if (!pParam) return;
    value = pParam->GetNormalized(value);
  }
  for (IControl* pControl : mControls) {
    if (pControl->ParamIdx() == paramIdx) pControl->SetValueFromPlug(value);
    int auxIdx = pControl->AuxParamIdx(paramIdx);
    if (auxIdx > -1) pControl->SetAuxParamValueFromPlug(auxIdx, value);
  }
}

void IGraphics::SetControlFromPlug(int controlIdx, double normalizedValue) {
  if (controlIdx >= 0 && controlIdx < GetNControls()) {
    mControls[(std::size_t)controlIdx]->SetValueFromPlug(normalizedValue);
  }
}

void IGraphics::SetAllControlsDirty() {
  for (IControl* pControl : mControls) pControl->SetDirty(false);
}

// ---------------------------------------------------------------------------
// Values from the editor

void IGraphics::SetParameterFromGUI(int paramIdx, double normalizedValue) {
  if (paramIdx < 0) return;  // unbound controls are not "bound to -1"
  for (IControl* pControl : mControls) {
    if (pControl->ParamIdx() == paramIdx) pControl->SetValueFromUserInput(normalizedValue);
  }
}

void IGraphics::CreateIPopupMenuAsync(IPopupMenu* pMenu, IRECT* pAreaRect, PopupMenuDone done) {
  IPopupMenu* pChosen = CreateIPopupMenu(pMenu, pAreaRect);
  if (done) done(pChosen);
}

void IGraphics::PromptForFileAsync(const std::string& fileName, EFileAction action, const std::string& dir,
                                   const char* extensions, FileDone done) {
  std::string file = fileName, folder = dir, exts = extensions ? extensions : "";
  PromptForFile(&file, action, &folder, exts.empty() ? nullptr : exts.data());
  if (done) done(file, folder);
}

void IGraphics::ShowMessageBoxAsync(const char* pText, const char* pCaption, int type, MessageBoxDone done) {
  const int answer = ShowMessageBox(pText, pCaption, type);
  if (done) done(answer);
}

void IGraphics::PromptUserInput(IControl* pControl, IParam* pParam, IRECT* pTextRect) {
  if (!pControl || !pParam || !pTextRect) return;

  const IParam::EParamType type = pParam->Type();
  const int nDisplayTexts = pParam->GetNDisplayTexts();
  char currentText[IParam::kTextSize];

  if ((type == IParam::kTypeEnum || type == IParam::kTypeBool) && nDisplayTexts > 0) {
    pParam->GetDisplayForHost(currentText);
    auto menu = std::make_shared<IPopupMenu>();
    for (int i = 0; i < nDisplayTexts; ++i) {
      const char* str = pParam->GetDisplayTextAtIdx(i);
      const bool checked = std::string(str) == currentText;
      menu->AddItem(str, -1, checked ? IPopupMenuItem::kChecked : IPopupMenuItem::kNoFlags);
    }
    // The answer comes later; control and parameter live as long as the view
    // (the answer never comes once it is closed).
    CreateIPopupMenuAsync(menu.get(), pTextRect, [menu, pControl, pParam, nDisplayTexts](IPopupMenu* pChosen) {
      // Item i stands for display text i; its value is the text's own value,
      // which equals i when the texts were declared in value order (the usual
      // case) and stays right when they were not.
      const int chosen = pChosen == menu.get() ? menu->GetChosenItemIdx() : -1;
      if (chosen >= 0 && chosen < nDisplayTexts) {
        int value = chosen;
        pParam->GetDisplayTextAtIdx(chosen, &value);
        pControl->SetValueFromUserInput(pParam->GetNormalized((double)value));
      }
    });
  } else if (mTypedWriter) {
    const std::string text = mTypedWriter(pControl->ParamIdx(), pParam->GetNormalized());
    CreateTextEntry(pControl, pControl->GetText(), pTextRect, text.c_str(), pParam);
  } else {
    pParam->GetDisplayForHostNoDisplayText(currentText);
    CreateTextEntry(pControl, pControl->GetText(), pTextRect, currentText, pParam);
  }
}

void IGraphics::SetTypedValueText(TypedValueWriter writer, TypedValueReader reader) {
  mTypedWriter = std::move(writer);
  mTypedReader = std::move(reader);
}

bool IGraphics::AcceptsPromptText(IControl* pControl, IParam* pParam, const char* txt, std::string* error) {
  if (!pControl || !pParam) return true;
  if (!txt) txt = "";
  const IParam::EParamType type = pParam->Type();
  if (type == IParam::kTypeEnum || type == IParam::kTypeBool) return true;  // chosen from a menu
  // Without the plug-in's reader every text is taken, read as a number the
  // way strtod reads it (clamped to the range).
  if (!mTypedReader) return true;
  double normalized = 0.0;
  return mTypedReader(pControl->ParamIdx(), txt, &normalized, error);
}

void IGraphics::SetFromStringAfterPrompt(IControl* pControl, IParam* pParam, const char* txt) {
  if (!pControl || !pParam) return;
  if (!txt) txt = "";
  double v;
  const IParam::EParamType type = pParam->Type();
  if (type == IParam::kTypeEnum || type == IParam::kTypeBool) {
    int vi = 0;
    pParam->MapDisplayText(txt, &vi);
    v = (double)vi;
  } else if (mTypedReader) {
    double normalized = 0.0;
    if (!mTypedReader(pControl->ParamIdx(), txt, &normalized, nullptr)) return;
    pControl->SetValueFromUserInput(normalized);
    return;
  } else {
    v = std::strtod(txt, nullptr);
    if (pParam->DisplayIsNegated()) v = -v;
  }
  pControl->SetValueFromUserInput(pParam->GetNormalized(v));
}

// ---------------------------------------------------------------------------
// Dirty tracking and drawing

bool IGraphics::IsDirty(IRECT* pR) {
  if (mShowControlBounds) {
    // Before the first pass there is no draw rectangle: ask for all of it.
    *pR = mDrawRECT.Empty() ? IRECT(0, 0, mWidth, mHeight) : mDrawRECT;
    return true;
  }
  bool dirty = false;
  for (IControl* pControl : mControls) {
    if (pControl->IsDirty()) {
      *pR = pR->Union(pControl->GetRECT());
      dirty = true;
    }
  }
  if (!mBubbleDirty.Empty()) {
    *pR = dirty ? pR->Union(&mBubbleDirty) : mBubbleDirty;
    dirty = true;
  }
  // The bubble lies over the controls: whatever they repaint under it, it is drawn again.
  if (dirty && mBubble.Visible() && mBubble.Rect().Intersects(pR)) *pR = pR->Union(&mBubble.Rect());
  return dirty;
}

bool IGraphics::DrawControl(int idx) { return mControls[(std::size_t)idx]->Draw(this); }

bool IGraphics::Draw(IRECT* pR) {
  if (mControls.empty()) return true;
  const int n = GetNControls();

  // A control draws when its own rectangle intersects the region; a control
  // touching the region along its right or bottom edge counts (IRECT rules).
  if (mStrict) {
    mDrawRECT = *pR;
    for (int i = 0; i < n; ++i) {
      IControl* pControl = mControls[(std::size_t)i];
      if (!pControl->IsHidden() && pControl->GetRECT()->Intersects(pR)) DrawControl(i);
    }
    for (IControl* pControl : mControls) pControl->SetClean();
  } else {
    IControl* pBG = mControls[0];
    if (pBG->IsDirty()) {
      mDrawRECT = *pBG->GetRECT();
      for (int i = 0; i < n; ++i) {
        IControl* pControl = mControls[(std::size_t)i];
        if (i == 0 || !pControl->IsHidden()) DrawControl(i);
        pControl->SetClean();
      }
    } else {
      for (int j = 1; j < n; ++j) {
        IControl* pDirty = mControls[(std::size_t)j];
        if (!pDirty->IsDirty()) continue;
        mDrawRECT = *pDirty->GetRECT();
        for (int k = 0; k < n; ++k) {
          IControl* pControl = mControls[(std::size_t)k];
          if (!pControl->IsHidden() && (k == j || pControl->GetRECT()->Intersects(&mDrawRECT))) DrawControl(k);
        }
        pDirty->SetClean();
      }
      // Where the bubble was (or now is): what lies beneath it.
      if (!mBubbleDirty.Empty()) {
        mDrawRECT = mBubbleDirty;
        for (int k = 0; k < n; ++k) {
          IControl* pControl = mControls[(std::size_t)k];
          if ((k == 0 || !pControl->IsHidden()) && pControl->GetRECT()->Intersects(&mDrawRECT)) DrawControl(k);
        }
      }
    }
  }
  mBubbleDirty = IRECT();
  if (mBubble.Visible() && mBubble.Rect().Intersects(pR)) {
    mDrawRECT = mBubble.Rect();
    mBubble.Draw(this);
  }

  if (mShowControlBounds) DrawControlBounds();
  return DrawScreen(pR);
}

void IGraphics::DrawControlBounds() {
  // Outlines may fall outside the region being redrawn; draw them over the
  // whole editor so they do not get cut at the draw rectangle.
  IRECT saved = mDrawRECT;
  mDrawRECT = IRECT(0, 0, mWidth, mHeight);
  for (int i = 1; i < GetNControls(); ++i) DrawRect(&COLOR_GREEN, mControls[(std::size_t)i]->GetRECT());
  char str[64];
  std::snprintf(str, sizeof(str), "x: %i, y: %i", mMouseX, mMouseY);
  IText txt(20, &COLOR_GREEN);
  IRECT rect(mWidth - 150, mHeight - 20, mWidth, mHeight);
  DrawIText(&txt, str, &rect);
  mDrawRECT = saved;
}

void IGraphics::OnGUIIdle() {
  ++mIdleTicks;
  // The timer tick is the plug-in's chance to do, on this thread, what its
  // audio thread handed over (values to show, work it must not do itself).
  if (mPlug) mPlug->OnIdle();
  for (IControl* pControl : mControls) pControl->OnGUIIdle();
  // The value may have moved by other means (the host, a controller, a typed entry).
  RefreshBubble();
}

// ---------------------------------------------------------------------------
// Mouse and keys
//
// A caller without modifier state may pass null; controls then see no
// buttons and no keys held rather than a null pointer.

int IGraphics::GetMouseControlIdx(int x, int y, bool mo) {
  if (mMouseCapture >= 0) return mMouseCapture;
  for (int i = GetNControls() - 1; i >= 0; --i) {
    IControl* pControl = mControls[(std::size_t)i];
    if (pControl->IsHidden()) continue;
    if (pControl->IsGrayed() && !(mo && pControl->GetMOWhenGrayed())) continue;
    if (pControl->IsHit(x, y)) return i;
  }
  return -1;
}

void IGraphics::OnMouseDown(int x, int y, IMouseMod* pMod) {
  IMouseMod noMod;
  if (!pMod) pMod = &noMod;
  ReleaseMouseCapture();
  int c = GetMouseControlIdx(x, y);
  if (c < 0) return;
  mMouseCapture = c;
  mMouseX = x;
  mMouseY = y;
  IControl* pControl = mControls[(std::size_t)c];
  int paramIdx = pControl->ParamIdx();
  if (paramIdx >= 0 && mPlug) mPlug->BeginInformHostOfParamChange(paramIdx);
  pControl->OnMouseDown(x, y, pMod);
  // A handler may have rebuilt the editor: look the control up again.
  FollowWithBubble(GetControl(c) == pControl ? pControl : nullptr);
}

void IGraphics::OnMouseUp(int x, int y, IMouseMod* pMod) {
  IMouseMod noMod;
  if (!pMod) pMod = &noMod;
  int c = GetMouseControlIdx(x, y);
  mMouseCapture = mMouseX = mMouseY = -1;
  if (c < 0 || c >= GetNControls()) return;
  IControl* pControl = mControls[(std::size_t)c];
  // Read before the handler runs: a handler may rebuild the editor.
  const int paramIdx = pControl->ParamIdx();
  pControl->OnMouseUp(x, y, pMod);
  if (paramIdx >= 0 && mPlug) mPlug->EndInformHostOfParamChange(paramIdx);
  // After a drag the bubble stays only while the pointer rests on a control.
  const int over = mHandleMouseOver ? GetMouseControlIdx(x, y, true) : -1;
  FollowWithBubble(over >= 0 ? mControls[(std::size_t)over] : nullptr);
}

void IGraphics::OnMouseDrag(int x, int y, IMouseMod* pMod) {
  IMouseMod noMod;
  if (!pMod) pMod = &noMod;
  int c = mMouseCapture;
  if (c < 0 || c >= GetNControls()) return;
  int dX = x - mMouseX, dY = y - mMouseY;
  if (dX == 0 && dY == 0) return;
  mMouseX = x;
  mMouseY = y;
  mControls[(std::size_t)c]->OnMouseDrag(x, y, dX, dY, pMod);
  RefreshBubble();
}

bool IGraphics::OnMouseDblClick(int x, int y, IMouseMod* pMod) {
  IMouseMod noMod;
  if (!pMod) pMod = &noMod;
  ReleaseMouseCapture();
  int c = GetMouseControlIdx(x, y);
  if (c < 0) return false;
  IControl* pControl = mControls[(std::size_t)c];
  if (pControl->MouseDblAsSingleClick()) {
    mMouseCapture = c;
    mMouseX = x;
    mMouseY = y;
    pControl->OnMouseDown(x, y, pMod);
    return true;
  }
  pControl->OnMouseDblClick(x, y, pMod);
  return false;
}

void IGraphics::OnMouseWheel(int x, int y, IMouseMod* pMod, int d) {
  IMouseMod noMod;
  if (!pMod) pMod = &noMod;
  int c = GetMouseControlIdx(x, y);
  if (c >= 0) mControls[(std::size_t)c]->OnMouseWheel(x, y, pMod, d);
}

bool IGraphics::OnMouseOver(int x, int y, IMouseMod* pMod) {
  IMouseMod noMod;
  if (!pMod) pMod = &noMod;
  if (!mHandleMouseOver) return false;
  int c = GetMouseControlIdx(x, y, true);
  if (c >= 0) {
    mMouseX = x;
    mMouseY = y;
    mControls[(std::size_t)c]->OnMouseOver(x, y, pMod);
    if (mMouseOver >= 0 && mMouseOver != c && mMouseOver < GetNControls()) {
      mControls[(std::size_t)mMouseOver]->OnMouseOut();
    }
    mMouseOver = c;
  }
  // While a drag holds a control, the bubble stays with it.
  if (mMouseCapture < 0) FollowWithBubble(c >= 0 ? mControls[(std::size_t)c] : nullptr);
  return mHandleMouseOver;
}

void IGraphics::OnMouseOut() {
  for (IControl* pControl : mControls) pControl->OnMouseOut();
  mMouseOver = -1;
  if (mMouseCapture < 0) FollowWithBubble(nullptr);
}

void IGraphics::FollowWithBubble(IControl* pControl) { AddBubbleDirty(mBubble.Follow(this, pControl)); }

void IGraphics::RefreshBubble() { AddBubbleDirty(mBubble.Refresh(this)); }

void IGraphics::AddBubbleDirty(const IRECT& r) {
  if (r.Empty()) return;
  mBubbleDirty = mBubbleDirty.Empty() ? r : mBubbleDirty.Union(&r);
}

bool IGraphics::OnKeyDown(int x, int y, int key) {
  int c = GetMouseControlIdx(x, y);
  if (c > 0) return mControls[(std::size_t)c]->OnKeyDown(x, y, key);
  if (mKeyCatcher) return mKeyCatcher->OnKeyDown(x, y, key);
  return false;
}

void IGraphics::ReleaseMouseCapture() { mMouseCapture = mMouseX = mMouseY = -1; }

int IGraphics::GetParamIdxForPTAutomation(int x, int y) {
  int c = GetMouseControlIdx(x, y);
  mLastClickedParam = c > 0 ? mControls[(std::size_t)c]->ParamIdx() : -1;
  return mLastClickedParam;
}

int IGraphics::GetLastClickedParamForPTAutomation() {
  int p = mLastClickedParam;
  mLastClickedParam = -1;
  return p;
}
