// The Audio Unit binding, as the instrument sees it: the base class it
// derives from and the factory of its editor surface.
#pragma once

#include "au/IPluginAU.h"

class IGraphics;

using IPluginBinding = IPluginAU;

// The editor surface for this binding. On this platform it is the headless
// surface until the windowed one replaces it through this same factory.
IGraphics* MakeGraphics(IPluginBinding* pPlug, int width, int height, int fps);
