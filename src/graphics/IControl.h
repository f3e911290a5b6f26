// Base class of the editor's controls: rectangle, bound parameter, normalised value, dirty flag.
#pragma once

#include <string>
#include <vector>

#include "graphics/IChannelBlend.h"
#include "graphics/IMouseMod.h"
#include "graphics/IRECT.h"
#include "graphics/IText.h"

class IGraphics;
class IParam;
class IPluginBase;
class ITextControl;

// Direction of drag for knobs and faders, and of layout for button rows.
enum EDirection { kVertical = 0, kHorizontal = 1 };

// A widget of the editor. It owns a drawing rectangle and a (usually equal)
// target rectangle where it is hit, an optional bound parameter, a value in
// the normalised range 0..1 and a dirty flag that the surface's redraw cycle
// reads (IsDirty) and clears (SetClean) after each drawing pass.
//
// Lifecycle: created by the editor layout and attached to an IGraphics, which
// owns and deletes it. A control is dirty from construction until its first
// drawing pass.
//
// Threads: everything runs on the user-interface thread, except that the
// plug-in side may call SetValueFromPlug (and ITextControl::SetTextFromPlug)
// while it pushes values; those only store values and set flags.
//
// A value change that equals the current value does nothing: no redraw and no
// notice to the plug-in. A control without a parameter never calls the plug-in.
class IControl {
public:
  // An auxiliary parameter: a second parameter the control follows besides its own.
  struct AuxParam {
    double mValue;
    int mParamIdx;
    AuxParam(double v, int idx) : mValue(v), mParamIdx(idx) {}
  };

  IControl(IPluginBase* pPlug, IRECT* pR, int paramIdx = -1, IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendNone);

  // Virtual operations, in slot order.
  virtual ~IControl() {}
  virtual void OnMouseDown(int x, int y, IMouseMod* pMod);
  virtual void OnMouseUp(int x, int y, IMouseMod* pMod) { (void)x; (void)y; (void)pMod; }
  virtual void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* pMod) {
    (void)x; (void)y; (void)dX; (void)dY; (void)pMod;
  }
  virtual void OnMouseDblClick(int x, int y, IMouseMod* pMod);
  virtual void OnMouseWheel(int x, int y, IMouseMod* pMod, int d) { (void)x; (void)y; (void)pMod; (void)d; }
  virtual bool OnKeyDown(int x, int y, int key) { (void)x; (void)y; (void)key; return false; }
  virtual void OnMouseOver(int x, int y, IMouseMod* pMod) { (void)x; (void)y; (void)pMod; }
  virtual void OnMouseOut() {}
  virtual bool Draw(IGraphics* pGraphics) = 0;
  virtual void SetValueFromPlug(double value);
  virtual void SetValueFromUserInput(double value);
  virtual void TextFromTextEntry(const char* txt) { (void)txt; }
  virtual void Hide(bool hide);
  virtual void GrayOut(bool gray);
  virtual bool IsHit(int x, int y) { return mTargetRECT.Contains(x, y); }
  virtual void SetDirty(bool pushParamToPlug = true);
  virtual void SetClean();
  virtual bool IsDirty() { return mDirty; }
  virtual void OnGUIIdle() {}
  virtual void SetAuxParamValueFromPlug(int auxParamIdx, double value);

  // Marks the control for one more drawing pass after the current one.
  void Redraw() { mRedraw = true; }
  // Stores the clamp range; it applies at the next SetDirty.
  void Clamp(double lo, double hi) { mClampLo = lo; mClampHi = hi; }

  // Opens the parameter's prompt (a menu of display texts or a text field)
  // when prompting is enabled and a parameter is bound.
  void PromptUserInput();
  void PromptUserInput(IRECT* pTextRect);

  void AddAuxParam(int paramIdx) { mAuxParams.emplace_back(0.0, paramIdx); }
  int NAuxParams() const { return (int)mAuxParams.size(); }
  // i must lie within 0 .. NAuxParams() - 1.
  AuxParam* GetAuxParam(int i);
  // Position of the first auxiliary entry bound to paramIdx, or -1.
  int AuxParamIdx(int paramIdx) const;
  void SetAllAuxParamsFromGUI();

  // The text control that user edits write "<display text> <label>" into.
  void SetValDisplayControl(ITextControl* pValDisplay) { mValDisplayControl = pValDisplay; }
  // The text control that user edits write the parameter's name into.
  void SetNameDisplayControl(ITextControl* pNameDisplay) { mNameDisplayControl = pNameDisplay; }

  int ParamIdx() const { return mParamIdx; }
  IParam* GetParam();
  IPluginBase* GetPlug() { return mPlug; }
  double GetValue() const { return mValue; }
  double GetDefaultValue() const { return mDefaultValue; }
  IRECT* GetRECT() { return &mRECT; }
  IRECT* GetTargetRECT() { return &mTargetRECT; }
  void SetTargetArea(IRECT r) { mTargetRECT = r; }
  IText* GetText() { return &mText; }
  int GetTextEntryLength() const { return mTextEntryLength; }
  void SetTextEntryLength(int len) { mTextEntryLength = len; }
  void SetTooltip(const char* tooltip) { mTooltip = tooltip ? tooltip : ""; }
  const char* GetTooltip() const { return mTooltip.c_str(); }
  bool IsHidden() const { return mHide; }
  bool IsGrayed() const { return mGrayed; }
  bool GetMOWhenGrayed() const { return mMOWhenGrayed; }
  bool MouseDblAsSingleClick() const { return mDblAsSingleClick; }
  const IChannelBlend& GetBlend() const { return mBlend; }
  bool IsPromptDisabled() const { return mDisablePrompt; }
  // Derived controls (and layouts) enable the right-click prompt with false.
  void DisablePrompt(bool disable) { mDisablePrompt = disable; }

protected:
  int mTextEntryLength = 7;
  IText mText;
  IPluginBase* mPlug;
  IRECT mRECT, mTargetRECT;
  int mParamIdx;
  std::vector<AuxParam> mAuxParams;
  double mValue = 0.0, mDefaultValue = -1.0, mClampLo = 0.0, mClampHi = 1.0;
  bool mDirty = true, mHide = false, mGrayed = false, mRedraw = false, mDisablePrompt = true,
       mDblAsSingleClick = false, mMOWhenGrayed = false;
  IChannelBlend mBlend;
  ITextControl* mValDisplayControl = nullptr;
  ITextControl* mNameDisplayControl = nullptr;
  std::string mTooltip;

private:
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;
};
