// The editor surface of one plug-in instance: controls, off-screen bitmap, dirty tracking, routing.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "graphics/IBitmap.h"
#include "graphics/IChannelBlend.h"
#include "graphics/IColor.h"
#include "graphics/IMouseMod.h"
#include "graphics/IRECT.h"
#include "graphics/IText.h"
#include "graphics/IValueBubble.h"
#include "framework/IEditor.h"

class IControl;
class IParam;
class IPluginBase;
class IPopupMenu;
class PIX_CachedFont;
class PIX_IBitmap;
class PIX_MemBitmap;
class PIX_SysBitmap;

enum EFileAction { kFileOpen = 0, kFileSave = 1 };

// Key values delivered to OnKeyDown by the platform layer.
enum EKeyValue {
  KEY_SPACE = 0, KEY_UPARROW = 1, KEY_DOWNARROW = 2, KEY_LEFTARROW = 3, KEY_RIGHTARROW = 4,
  KEY_DIGIT_0 = 5, KEY_DIGIT_9 = 14, KEY_ALPHA_A = 15, KEY_ALPHA_Z = 40
};

inline constexpr int DEFAULT_FPS = 25;

// Lifecycle: the plug-in class creates the surface through its platform
// subclass, attaches controls (the surface owns them), then hands it to
// IPluginBase::AttachGraphics, which pushes every parameter value in and calls
// PrepDraw; the base deletes the surface with the plug-in. The platform view
// comes and goes while the surface stays.
//
// Threads: everything runs on the host's user-interface thread, except
// SetParameterFromPlug and SetControlFromPlug, which the plug-in side may call
// from any thread; they only store values in controls and set dirty flags,
// and the next timer tick draws them. The image and font caches are
// process-wide and each guarded by its own mutex.
//
// The plug-in base reaches the surface only through IEditor (SetParameterFromPlug,
// SetControlFromPlug, PrepDraw, the destructor), so the framework neither
// includes nor links the graphics core.
class IGraphics : public IEditor {
public:
  IGraphics(IPluginBase* pPlug, int w, int h, int refreshFPS = 0);
  ~IGraphics() override;

  // --- Platform operations (implemented by the platform class) ---
  virtual bool DrawScreen(IRECT* pR) = 0;
  virtual bool MeasureIText(IText* pTxt, const char* str, IRECT* pR) { return DrawIText(pTxt, str, pR, true); }
  virtual void ForceEndUserEdit() = 0;
  virtual void Resize(int w, int h);
  virtual bool WindowIsOpen() { return GetWindow() != nullptr; }
  virtual const char* GetGUIAPI() { return ""; }
  virtual int ShowMessageBox(const char* pText, const char* pCaption, int type) = 0;
  virtual IPopupMenu* CreateIPopupMenu(IPopupMenu* pMenu, IRECT* pAreaRect) = 0;
  virtual void CreateTextEntry(IControl* pControl, IText* pText, IRECT* pTextRect, const char* pString = nullptr,
                               IParam* pParam = nullptr) = 0;
  virtual void HostPath(std::string* pPath) = 0;
  virtual void PluginPath(std::string* pPath) = 0;
  virtual void DesktopPath(std::string* pPath) = 0;
  virtual void AppSupportPath(std::string* pPath, bool isSystem = false) = 0;
  virtual void SandboxSafeAppSupportPath(std::string* pPath) = 0;
  virtual void PromptForFile(std::string* pFilename, EFileAction action = kFileOpen, std::string* pDir = nullptr,
                             char* extensions = nullptr) = 0;
  virtual bool PromptForColor(IColor* pColor, char* prompt = nullptr) = 0;
  // Non-blocking forms of the menu, the file prompt and the message box: they
  // return at once, and the answer reaches done later on the user-interface
  // thread while the view keeps running, so a host's own window keeps working
  // meanwhile. done is not called when the view closes first. pMenu stays the
  // caller's and must live until done (or the view's closing). A file prompt
  // answers an empty file when cancelled, and the folder of the file chosen.
  // The defaults wait for the answer with the blocking forms above, for views
  // that have no other way.
  using PopupMenuDone = std::function<void(IPopupMenu* pChosen)>;
  using FileDone = std::function<void(const std::string& file, const std::string& dir)>;
  using MessageBoxDone = std::function<void(int answer)>;
  virtual void CreateIPopupMenuAsync(IPopupMenu* pMenu, IRECT* pAreaRect, PopupMenuDone done);
  virtual void PromptForFileAsync(const std::string& fileName, EFileAction action, const std::string& dir,
                                  const char* extensions, FileDone done);
  virtual void ShowMessageBoxAsync(const char* pText, const char* pCaption, int type, MessageBoxDone done);
  virtual bool OpenURL(const char* url, const char* msgWindowTitle = nullptr, const char* confirmMsg = nullptr,
                       const char* errMsgOnFailure = nullptr) = 0;
  virtual void* OpenWindow(void* pParentWnd) = 0;
  virtual void* OpenWindow(void* pParentWnd, void* pParentControl, short leftOffset = 0, short topOffset = 0) {
    (void)pParentWnd; (void)pParentControl; (void)leftOffset; (void)topOffset;
    return nullptr;
  }
  virtual void AttachSubWindow(void* hostWindow) = 0;
  virtual void RemoveSubWindow() = 0;
  virtual void CloseWindow() = 0;
  virtual void* GetWindow() = 0;
  virtual bool GetTextFromClipboard(std::string* pStr) = 0;
  virtual void HideMouseCursor() {}
  virtual void ShowMouseCursor() {}
  virtual void UpdateTooltips() {}
  // Decodes the image named by a resource; a new bitmap the caller owns, or null.
  virtual PIX_IBitmap* OSLoadBitmap(int id, const char* name) = 0;
  // The PNG file that holds the image named by a resource, for a platform
  // whose images are plain files: LoadIBitmap then reads only its size and
  // decodes it when its pixels are first wanted. False (the default): the
  // platform has no such file and LoadIBitmap decodes through OSLoadBitmap.
  virtual bool OSLocateBitmap(int id, const char* name, std::string* pPath) {
    (void)id, (void)name, (void)pPath;
    return false;
  }

  // --- Called by the plug-in base (virtual: the framework does not link us) ---
  void PrepDraw() override;
  void SetParameterFromPlug(int paramIdx, double value, bool normalized) override;
  void SetControlFromPlug(int controlIdx, double normalizedValue) override;

  // --- Construction and layout ---
  int AttachControl(IControl* pControl);
  void AttachBackground(int id, const char* name);
  void AttachPanelBackground(const IColor* pColor);
  // A background control of the editor's own making (one that draws more
  // than its image), inserted at index 0; the surface owns it.
  void AttachBackground(IControl* pControl);
  void AttachKeyCatcher(IControl* pControl);

  int Width() const { return mWidth; }
  int Height() const { return mHeight; }

  // --- Output scale ---
  // Layout, controls, mouse and draw rectangles stay in editor pixels
  // (Width() x Height()); the drawing bitmap is the editor times the scale
  // (1, 1.5 or 2), and every drawing operation maps its coordinates onto it:
  // images come from the skin drawn for that scale (the file of the same
  // name in the "2x" or "1.5x" folder beside the image, decoded once per
  // process), text is set at the scaled size, shapes are drawn at the scaled
  // size. An image without artwork for the scale is enlarged from its 1x
  // pixels (pixel doubling at 2x). Scales outside 1..4 count as 1. Setting
  // another scale remakes the drawing bitmap and marks everything dirty.
  void SetScale(float scale);
  float Scale() const { return mScale; }
  // The drawing bitmap's size: the editor's times the scale, rounded.
  int DrawWidth() const { return ToDraw(mWidth); }
  int DrawHeight() const { return ToDraw(mHeight); }
  // A length or coordinate in editor pixels on the drawing bitmap, rounded.
  int ToDraw(int v) const;
  IRECT ToDraw(const IRECT& r) const;
  // The editor pixel whose scaled cell holds a pixel of the drawing bitmap:
  // the largest e with ToDraw(e) <= v, so that a pointer on the first or
  // last pixel drawn for a control lands inside that control's rectangle.
  int FromDraw(int v) const;
  // The image drawn for the current scale in place of a 1x skin image, or
  // null when the skin has none (the caller then enlarges the 1x pixels).
  PIX_IBitmap* ScaledArtwork(PIX_IBitmap* base);
  int FPS() const { return mFPS; }
  IPluginBase* GetPlug() { return mPlug; }
  int GetNControls() const { return (int)mControls.size(); }
  IControl* GetControl(int idx) { return idx >= 0 && idx < GetNControls() ? mControls[(std::size_t)idx] : nullptr; }
  IControl* GetKeyCatcher() { return mKeyCatcher; }
  const IRECT& GetDrawRect() const { return mDrawRECT; }
  PIX_IBitmap* GetDrawBitmap();

  int GetMouseOver() const { return mMouseOver; }
  int GetMouseCapture() const { return mMouseCapture; }
  int GetMouseX() const { return mMouseX; }
  int GetMouseY() const { return mMouseY; }
  bool CanHandleMouseOver() const { return mHandleMouseOver; }
  void HandleMouseOver(bool canHandle) { mHandleMouseOver = canHandle; }
  bool TooltipsEnabled() const { return mEnableTooltips; }
  void EnableTooltips(bool enable) { mEnableTooltips = enable; }
  bool ShowControlBounds() const { return mShowControlBounds; }
  void ShowControlBounds(bool show);
  bool StrictDrawing() const { return mStrict; }
  void SetStrictDrawing(bool strict);
  bool CursorHidden() const { return mCursorHidden; }

  void HideControl(int paramIdx, bool hide);
  void GrayOutControl(int paramIdx, bool gray);
  void ClampControl(int paramIdx, double lo, double hi, bool normalized);
  void AssignParamNameToolTips();

  // --- Values between the plug-in and the controls ---
  void SetAllControlsDirty();
  void SetParameterFromGUI(int paramIdx, double normalizedValue);
  void PromptUserInput(IControl* pControl, IParam* pParam, IRECT* pTextRect);
  // The value bubble: shown beside a control while it is dragged or pointed
  // at (mouse-over handling must be on for the latter), once the plug-in has
  // enabled it with its style and text function.
  IValueBubble& ValueBubble() { return mBubble; }
  // The plug-in's own reading of typed values: text in the units it shows,
  // to a normalised value; false (with a message) refuses the text, and the
  // entry then stays open. Without it a prompt reads the parameter's plain
  // number.
  using TypedValueReader = std::function<bool(int paramIdx, const std::string& text, double* normalized,
                                              std::string* error)>;
  using TypedValueWriter = std::function<std::string(int paramIdx, double normalized)>;
  void SetTypedValueText(TypedValueWriter writer, TypedValueReader reader);
  // Whether typed values are the plug-in's to read: an entry then takes any
  // character (units such as "ms" included) and leaves the judging to it.
  bool ReadsTypedValues() const { return static_cast<bool>(mTypedReader); }
  // Whether a prompt's text would be taken (SetFromStringAfterPrompt would
  // apply it); the message says why not. Only the plug-in's reader refuses.
  bool AcceptsPromptText(IControl* pControl, IParam* pParam, const char* txt, std::string* error = nullptr);
  void SetFromStringAfterPrompt(IControl* pControl, IParam* pParam, const char* txt);

  // --- Dirty tracking and drawing ---
  bool IsDirty(IRECT* pR);
  bool Draw(IRECT* pR);
  // The editor timer tick: the plug-in's OnIdle, then every control's.
  void OnGUIIdle();

  // --- Mouse and keys (editor coordinates) ---
  int GetMouseControlIdx(int x, int y, bool mo = false);
  void OnMouseDown(int x, int y, IMouseMod* pMod);
  void OnMouseUp(int x, int y, IMouseMod* pMod);
  void OnMouseDrag(int x, int y, IMouseMod* pMod);
  bool OnMouseDblClick(int x, int y, IMouseMod* pMod);
  void OnMouseWheel(int x, int y, IMouseMod* pMod, int d);
  bool OnMouseOver(int x, int y, IMouseMod* pMod);
  void OnMouseOut();
  bool OnKeyDown(int x, int y, int key);
  void ReleaseMouseCapture();
  int GetParamIdxForPTAutomation(int x, int y);
  int GetLastClickedParamForPTAutomation();

  // --- Drawing operations used by controls; all draw into the drawing bitmap ---
  bool DrawBitmap(IBitmap* pBitmap, IRECT* pDest, int frame = 1, const IChannelBlend* pBlend = nullptr);
  bool DrawBitmap(IBitmap* pBitmap, IRECT* pDest, int srcX, int srcY, const IChannelBlend* pBlend = nullptr);
  bool DrawRotatedBitmap(IBitmap* pBitmap, int destCtrX, int destCtrY, double angle, int yOffsetZeroDeg = 0,
                         const IChannelBlend* pBlend = nullptr);
  bool DrawRotatedMask(IBitmap* pBase, IBitmap* pMask, IBitmap* pTop, int x, int y, double angle,
                       const IChannelBlend* pBlend = nullptr);
  bool DrawPoint(const IColor* pColor, float x, float y, const IChannelBlend* pBlend = nullptr, bool antiAlias = false);
  bool ForcePixel(const IColor* pColor, int x, int y);
  bool DrawLine(const IColor* pColor, float x1, float y1, float x2, float y2, const IChannelBlend* pBlend = nullptr,
                bool antiAlias = false);
  // DrawLine that changes only pixels inside the region being redrawn, each
  // exactly as DrawLine would: for pictures that blend and are redrawn in parts.
  bool DrawLineInRegion(const IColor* pColor, float x1, float y1, float x2, float y2,
                        const IChannelBlend* pBlend = nullptr, bool antiAlias = false);
  bool DrawArc(const IColor* pColor, float cx, float cy, float r, float minAngle, float maxAngle,
               const IChannelBlend* pBlend = nullptr, bool antiAlias = false);
  bool DrawCircle(const IColor* pColor, float cx, float cy, float r, const IChannelBlend* pBlend = nullptr,
                  bool antiAlias = false);
  bool RoundRect(const IColor* pColor, IRECT* pR, const IChannelBlend* pBlend, int cornerRadius, bool antiAlias);
  bool FillRoundRect(const IColor* pColor, IRECT* pR, const IChannelBlend* pBlend, int cornerRadius, bool antiAlias);
  bool FillIRect(const IColor* pColor, IRECT* pR, const IChannelBlend* pBlend = nullptr);
  bool FillCircle(const IColor* pColor, int cx, int cy, float r, const IChannelBlend* pBlend = nullptr,
                  bool antiAlias = false);
  bool FillTriangle(const IColor* pColor, int x1, int y1, int x2, int y2, int x3, int y3,
                    const IChannelBlend* pBlend = nullptr);
  bool FillIConvexPolygon(const IColor* pColor, int* x, int* y, int nPoints, const IChannelBlend* pBlend = nullptr);
  bool DrawRect(const IColor* pColor, IRECT* pR);
  bool DrawVerticalLine(const IColor* pColor, int xi, int yLo, int yHi);
  bool DrawHorizontalLine(const IColor* pColor, int yi, int xLo, int xHi);
  // Angle in radians clockwise from twelve o'clock; radii from the centre.
  bool DrawRadialLine(const IColor* pColor, float cx, float cy, float angle, float rMin, float rMax,
                      const IChannelBlend* pBlend = nullptr, bool antiAlias = false);

  IColor GetPoint(int x, int y);
  void* GetBits();

  // --- Images and text ---
  // The handle carries the image's size at once; where the platform locates
  // image files (OSLocateBitmap) or the built-in copy can be sized, the pixels
  // are decoded only when something first asks for them (an editor's first
  // draw), so a surface built and never shown decodes nothing.
  IBitmap LoadIBitmap(int id, const char* name, int nStates = 1, bool framesAreHorizontal = false);
  // Process-wide second source of skin images: LoadIBitmap asks it (with the
  // resource name) when OSLoadBitmap finds or decodes nothing. It returns a
  // new bitmap the cache then owns, or null. Null switches it off.
  using BuiltInImageLoader = PIX_IBitmap* (*)(const char* name);
  static void SetBuiltInImageLoader(BuiltInImageLoader loader);
  // Its size without decoding it (false when it has no such image); with
  // it, a built-in image is decoded when its pixels are first wanted too.
  using BuiltInImageSizer = bool (*)(const char* name, int* pW, int* pH);
  static void SetBuiltInImageSizer(BuiltInImageSizer sizer);
  // Skin images decoded so far in this process (each id once, whatever its source).
  static int DecodedImageCount();
  IBitmap ScaleBitmap(IBitmap* pSrcBitmap, int destW, int destH);
  IBitmap CropBitmap(IBitmap* pSrcBitmap, IRECT* pR);
  void RetainBitmap(IBitmap* pBitmap);
  void ReleaseBitmap(IBitmap* pBitmap);
  static PIX_CachedFont* CacheFont(IText* pTxt);
  // The height asked for on CacheFont's one retry, when a font requested at
  // height h came out with another line height: h * h / lineHeight rounded,
  // at least 2; h itself when the line height is unknown (0 or less).
  static int FontRetryHeight(int h, int lineHeight);
  bool DrawIText(IText* pTxt, const char* str, IRECT* pR, bool measure = false);

protected:
  std::vector<IControl*> mControls;  // attach order; index 0 is the background; owned
  IPluginBase* mPlug;
  IRECT mDrawRECT;
  bool mCursorHidden = false;
  int mHiddenMousePointX = -1, mHiddenMousePointY = -1;
  PIX_SysBitmap* mDrawBitmap = nullptr;
  PIX_MemBitmap* mTmpBitmap = nullptr;
  int mWidth, mHeight;
  float mScale = 1.0f;
  // The artwork this editor has looked up for its scale: 1x image -> image
  // for the scale (null: none). Cleared when the scale changes.
  std::vector<std::pair<PIX_IBitmap*, PIX_IBitmap*>> mScaledArt;
  int mFPS;
  int mIdleTicks = 0;
  int mMouseCapture = -1, mMouseOver = -1;
  int mMouseX = 0, mMouseY = 0;
  int mLastClickedParam = -1;
  bool mHandleMouseOver = false;
  bool mStrict = true;
  bool mEnableTooltips = false;
  bool mShowControlBounds = false;
  IControl* mKeyCatcher = nullptr;
  IValueBubble mBubble;
  IRECT mBubbleDirty;  // where the bubble was or now is, still to be repainted
  TypedValueWriter mTypedWriter;
  TypedValueReader mTypedReader;

private:
  // Moves the bubble to pControl (null: hides it) or re-reads its value.
  void FollowWithBubble(IControl* pControl);
  void RefreshBubble();
  void AddBubbleDirty(const IRECT& r);
  void DeleteControls();
  void DrawControlBounds();
  bool DrawControl(int idx);
  // The part of the bitmap a text may touch, when it reaches outside the
  // draw rectangle during a pass; empty otherwise.
  // DrawBitmap at a scale other than 1: r is the clipped part of pDest.
  bool DrawScaledBitmap(IBitmap* pBitmap, IRECT* pDest, const IRECT& r, int srcX, int srcY,
                        const IChannelBlend* pBlend);
  IRECT TextBoxOutsideDrawRect(IText* pTxt, PIX_CachedFont* font, const char* str, IRECT* pR, unsigned fmt);

  IGraphics(const IGraphics&) = delete;
  IGraphics& operator=(const IGraphics&) = delete;
};
