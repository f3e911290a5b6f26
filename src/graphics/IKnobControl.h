// Knobs: drag and wheel handling, and the filmstrip, line, rotating-image and rotating-mask knobs.
#pragma once

#include "graphics/IBitmap.h"
#include "graphics/IColor.h"
#include "graphics/IControl.h"

// Pixels of drag per full range are the control's extent times the gearing:
// with 4.0 a vertical drag over four knob heights covers 0..1.
inline constexpr double DEFAULT_GEARING = 4.0;

// Knob angles are in degrees clockwise from twelve o'clock; by default the
// travel runs from seven to five o'clock.
inline constexpr double DEFAULT_KNOB_MIN_ANGLE = -135.0;
inline constexpr double DEFAULT_KNOB_MAX_ANGLE = 135.0;

// Base of the knobs: turns drags and wheel steps into values. Upward drags
// (vertical knobs) or rightward drags (horizontal knobs) raise the value;
// shift or control makes both ten times finer. Clicks keep the base
// behaviour (right click prompts when enabled; double click returns to the
// default). Drawing is left to the derived class.
class IKnobControl : public IControl {
public:
  IKnobControl(IPluginBase* pPlug, IRECT* pR, int paramIdx, EDirection direction = kVertical,
               double gearing = DEFAULT_GEARING)
      : IControl(pPlug, pR, paramIdx), mDirection(direction), mGearing(gearing) {}

  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* pMod) override;
  void OnMouseWheel(int x, int y, IMouseMod* pMod, int d) override;

  void SetGearing(double gearing) { mGearing = gearing; }
  double GetGearing() const { return mGearing; }
  EDirection GetDirection() const { return mDirection; }

protected:
  EDirection mDirection;
  double mGearing;
};

// A filmstrip knob: the value picks one of the image's frames.
class IKnobMultiControl : public IKnobControl {
public:
  IKnobMultiControl(IPluginBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                    EDirection direction = kVertical, double gearing = DEFAULT_GEARING);

  bool Draw(IGraphics* pGraphics) override;

protected:
  IBitmap mBitmap;
};

// A knob drawn as a line from the inner to the outer radius around the
// centre of its rectangle, at the angle taken from the value. An outer radius
// of 0 reaches the nearer edge of the rectangle.
class IKnobLineControl : public IKnobControl {
public:
  IKnobLineControl(IPluginBase* pPlug, IRECT* pR, int paramIdx, const IColor* pColor, double innerRadius = 0.0,
                   double outerRadius = 0.0, double minAngle = DEFAULT_KNOB_MIN_ANGLE,
                   double maxAngle = DEFAULT_KNOB_MAX_ANGLE, EDirection direction = kVertical,
                   double gearing = DEFAULT_GEARING);

  bool Draw(IGraphics* pGraphics) override;
  // Angle in degrees for the current value.
  double Angle() const { return mMinAngle + mValue * (mMaxAngle - mMinAngle); }

private:
  IColor mColor;
  float mInnerRadius, mOuterRadius;
  double mMinAngle, mMaxAngle;
};

// A knob drawn by turning one image about the centre of its rectangle.
class IKnobRotaterControl : public IKnobControl {
public:
  IKnobRotaterControl(IPluginBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                      double minAngle = DEFAULT_KNOB_MIN_ANGLE, double maxAngle = DEFAULT_KNOB_MAX_ANGLE,
                      int yOffsetZeroDeg = 0, EDirection direction = kVertical, double gearing = DEFAULT_GEARING);

  bool Draw(IGraphics* pGraphics) override;
  double Angle() const { return mMinAngle + mValue * (mMaxAngle - mMinAngle); }

private:
  IBitmap mBitmap;
  double mMinAngle, mMaxAngle;
  int mYOffset;
};

// A knob composed of a fixed base image, a mask turned with the value and a
// fixed top image.
class IKnobRotatingMaskControl : public IKnobControl {
public:
  IKnobRotatingMaskControl(IPluginBase* pPlug, int x, int y, int paramIdx, IBitmap* pBase, IBitmap* pMask,
                           IBitmap* pTop, double minAngle = DEFAULT_KNOB_MIN_ANGLE,
                           double maxAngle = DEFAULT_KNOB_MAX_ANGLE, EDirection direction = kVertical,
                           double gearing = DEFAULT_GEARING);

  bool Draw(IGraphics* pGraphics) override;
  double Angle() const { return mMinAngle + mValue * (mMaxAngle - mMinAngle); }

private:
  IBitmap mBase, mMask, mTop;
  double mMinAngle, mMaxAngle;
};
