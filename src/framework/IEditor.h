// What the plug-in base needs of an editor surface, so the framework stays below the graphics core.
#pragma once

// The editor surface as the plug-in side sees it. The graphics core's surface
// implements it; the base owns the attached surface and deletes it through
// this interface.
//
// Threads: SetParameterFromPlug and SetControlFromPlug may be called from any
// thread and only store values and mark controls dirty; PrepDraw and the
// destructor run on the user-interface thread.
class IEditor {
public:
  virtual ~IEditor() = default;
  // Moves every control bound to paramIdx to value (normalised 0..1, or plain when !normalized).
  virtual void SetParameterFromPlug(int paramIdx, double value, bool normalized) = 0;
  // Moves control controlIdx to a normalised value.
  virtual void SetControlFromPlug(int controlIdx, double normalizedValue) = 0;
  // Called once after every parameter has been pushed in, before the first draw.
  virtual void PrepDraw() = 0;
};
