// The LV2 binding, as the instrument sees it: the base class it derives from
// (see the command-line binding's header of the same name for why every
// binding has one). The DSP library builds no editor, so this binding has no
// editor factory: the window a user sees belongs to the separate UI library,
// which talks to the DSP only through ports.
#pragma once

#include "lv2/IPluginLV2.h"

using IPluginBinding = IPluginLV2;
