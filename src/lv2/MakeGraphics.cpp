// The LV2 DSP side's editor surface: headless, since the editor a user sees is the UI library's own.
#include "IPluginBinding.h"
#include "platform/headless/IGraphicsHeadless.h"

IGraphics* MakeGraphics(IPluginBinding* pPlug, int width, int height, int fps) {
  return new IGraphicsHeadless(pPlug, width, height, fps);
}
