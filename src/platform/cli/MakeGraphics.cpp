// The command-line binding's editor surface.
#include "platform/cli/binding/IPluginBinding.h"
#include "platform/headless/IGraphicsHeadless.h"

IGraphics* MakeGraphics(IPluginBinding* pPlug, int width, int height, int fps) {
  return new IGraphicsHeadless(pPlug, width, height, fps);
}
