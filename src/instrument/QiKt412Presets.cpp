// The instrument's preset files: loading, saving and the preset taken at construction.
#include <cstdio>

#include "framework/IEditor.h"
#include "instrument/PresetFile.h"
#include "instrument/QiKt412.h"

bool QiKt412::loadProgram(const std::string& path, std::string* error) {
  // All file work first: the mutex is never held across a read.
  PresetValues values;
  if (!ReadPresetFile(path, &values, error)) return false;
  {
    IMutexLock lock(this);
    for (int k = 0; k < PresetValues::kLines; ++k) {
      if (!values.present[static_cast<size_t>(k)]) continue;
      GetParam(k)->SetNormalized(values.value[static_cast<size_t>(k)]);
      OnParamChange(k);
    }
  }
  for (int k = 0; k < PresetValues::kLines; ++k) {
    if (!values.present[static_cast<size_t>(k)]) continue;
    const double v = values.value[static_cast<size_t>(k)];
    if (IEditor* gui = GetGUI()) gui->SetParameterFromPlug(k, v, true);
    InformHostOfParamChange(k, v);
  }
  // Whoever loaded it (the menu, a step, the command line), the field names it.
  ShowLoadedPreset(path);
  return true;
}

bool QiKt412::SavePresetFile(const std::string& path, std::string* error) {
  // The mode switches and momentary buttons (Learn onwards) are not part of a
  // sound: stored as 0, a preset never switches learning on or plays a hit.
  if (!WriteFileAtomically(path, PresetText(*this, kLearn), error)) return false;
  // The sound is now that file's.
  ShowLoadedPreset(path);
  return true;
}

void QiKt412::LoadInitialPreset() {
  if (!mPresets.HasFolder()) return;
  // A folder that cannot be seeded (a full disk, no permission) is scanned
  // as it is; the host's log hears why, and the next start tries again.
  int copied = 0;
  std::string error;
  if (!SeedFactoryPresets(mPresets.BasePath(), &copied, &error))
    std::fprintf(stderr, "kt412: warning: %s\n", error.c_str());
  PresetBrowser::Choice choice;
  if (!mPresets.ChooseInitial(&choice)) return;
  ShowPresetName(choice.name);
  loadProgram(choice.path);
}
