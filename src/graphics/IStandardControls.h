// Every control class of the editor framework, for layouts that use several.
#pragma once

#include "graphics/IBitmapControl.h"
#include "graphics/IControl.h"
#include "graphics/IFaderControl.h"
#include "graphics/IFileSelectorControl.h"
#include "graphics/IKnobControl.h"
#include "graphics/IPanelControl.h"
#include "graphics/ISwitchControl.h"
#include "graphics/ITextControl.h"
#include "graphics/IURLControl.h"
