// A control for editor tests that records every call the surface makes into it.
#pragma once

#include <string>
#include <vector>

#include "graphics/IControl.h"
#include "graphics/IGraphics.h"

// Fills its rectangle with its colour when drawn (unless mFill is false) and
// logs mouse, key and draw calls as strings ("down 5 5", "drag 7 9 2 4",
// "up 1 1", "dbl 3 3", "wheel 2 2 1", "key 0", "over 4 4", "out").
class GfxRecordingControl : public IControl {
public:
  GfxRecordingControl(IPluginBase* pPlug, IRECT r, int paramIdx = -1, IColor color = COLOR_RED)
      : IControl(pPlug, &r, paramIdx), mColor(color) {}

  void OnMouseDown(int x, int y, IMouseMod*) override { Log("down", x, y); }
  void OnMouseUp(int x, int y, IMouseMod*) override { Log("up", x, y); }
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod*) override {
    calls.push_back("drag " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(dX) + " " +
                    std::to_string(dY));
  }
  void OnMouseDblClick(int x, int y, IMouseMod*) override { Log("dbl", x, y); }
  void OnMouseWheel(int x, int y, IMouseMod*, int d) override {
    calls.push_back("wheel " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(d));
  }
  bool OnKeyDown(int, int, int key) override {
    calls.push_back("key " + std::to_string(key));
    return takesKeys;
  }
  void OnMouseOver(int x, int y, IMouseMod*) override { Log("over", x, y); }
  void OnMouseOut() override { calls.push_back("out"); }

  bool Draw(IGraphics* pGraphics) override {
    ++draws;
    drawRects.push_back(pGraphics->GetDrawRect());
    if (mFill) pGraphics->FillIRect(&mColor, &mRECT);
    return true;
  }

  void SetDblAsSingleClick(bool v) { mDblAsSingleClick = v; }
  void SetMOWhenGrayed(bool v) { mMOWhenGrayed = v; }

  IColor mColor;
  bool mFill = true;
  bool takesKeys = true;
  int draws = 0;
  std::vector<IRECT> drawRects;
  std::vector<std::string> calls;

private:
  void Log(const char* what, int x, int y) {
    calls.push_back(std::string(what) + " " + std::to_string(x) + " " + std::to_string(y));
  }
};
