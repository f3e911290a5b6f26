// The command-line host's binding, as the instrument sees it: the base class
// it derives from and the factory of its editor surface. Every binding has a
// header of this name in a folder its library puts on the include path, so the
// instrument's source names no binding and the build picks one per target.
#pragma once

#include "platform/cli/IPluginCLI.h"

class IGraphics;

using IPluginBinding = IPluginCLI;

// The editor surface for this binding: the headless surface, since our own
// programs draw the editor into a bitmap, unless a program has chosen another
// with SetGraphicsFactory (platform/cli/GraphicsFactory.h), as the player does
// for its window. fps 0 means the surface's default.
IGraphics* MakeGraphics(IPluginBinding* pPlug, int width, int height, int fps);
