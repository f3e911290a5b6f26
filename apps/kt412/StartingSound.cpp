// The editor after a command's start: controls at the parameters' values, the preset field naming the origin.
#include "StartingSound.h"

#include "instrument/PresetFunctionsMenu.h"
#include "instrument/QiKt412.h"

std::string PresetNameOf(const std::string& path) { return PresetTree::NameOf(path); }

void ShowStartingSound(QiKt412& plug, const std::string& presetFile, bool stateLoaded) {
  {
    IPluginBase::IMutexLock lock(&plug);
    plug.RedrawParamControls();
  }
  PresetFunctionsMenu* field = plug.PresetMenu();
  if (!field) return;
  if (presetFile.empty() && stateLoaded) field->SetDisplayText(std::string());
  // A loaded preset names itself; settings on top of it mark it modified.
  plug.UpdatePresetModified();
}
