// The editor after a command's start: controls at the parameters' values, the preset field naming the origin.
#include "StartingSound.h"

#include "instrument/PresetFunctionsMenu.h"
#include "instrument/QiKt412.h"

std::string PresetNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string ext = PresetTree::kExtension;
  if (name.size() > ext.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0)
    name.resize(name.size() - ext.size());
  return name;
}

void ShowStartingSound(QiKt412& plug, const std::string& presetFile, bool stateLoaded) {
  {
    IPluginBase::IMutexLock lock(&plug);
    plug.RedrawParamControls();
  }
  PresetFunctionsMenu* field = plug.PresetMenu();
  if (!field) return;
  if (!presetFile.empty()) field->SetDisplayText(PresetNameOf(presetFile));
  else if (stateLoaded) field->SetDisplayText(std::string());
}
