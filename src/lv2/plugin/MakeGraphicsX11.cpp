// The LV2 editor library's surface: the X11 view.
#include "IPluginBinding.h"
#include "platform/x11/IGraphicsX11.h"

IGraphics* MakeGraphics(IPluginBinding* pPlug, int width, int height, int fps) {
  return new IGraphicsX11(pPlug, width, height, fps);
}
