// The instance factory the wrapper calls on open, answered by the test plug-ins.
#include "AUTestPlug.h"

IPluginAU* MakePlug() {
  if (TestAUEffect::sMakeNext) return new TestAUEffect();
  return new TestAUPlug();
}
