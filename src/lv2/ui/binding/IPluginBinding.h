// The LV2 editor binding, as the instrument sees it: the base class it
// derives from and the factory of its editor surface (the UI library's
// window inside the host's parent window).
#pragma once

#include "lv2/ui/IPluginLV2UI.h"

class IGraphics;

using IPluginBinding = IPluginLV2UI;

IGraphics* MakeGraphics(IPluginBinding* pPlug, int width, int height, int fps);
