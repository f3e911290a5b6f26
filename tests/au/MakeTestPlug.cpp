// The instance factory the wrapper calls on open, answered by the test plug-in.
#include "AUTestPlug.h"

IPluginAU* MakePlug() { return new TestAUPlug(); }
