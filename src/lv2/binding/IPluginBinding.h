// The LV2 binding, as the instrument sees it: the base class it derives from
// and the factory of its editor surface (see the command-line binding's
// header of the same name for why every binding has one).
#pragma once

#include "lv2/IPluginLV2.h"

class IGraphics;

using IPluginBinding = IPluginLV2;

// The editor surface of the DSP library: headless. The window a user sees
// belongs to the separate UI library, which talks to the DSP only through ports.
IGraphics* MakeGraphics(IPluginBinding* pPlug, int width, int height, int fps);
