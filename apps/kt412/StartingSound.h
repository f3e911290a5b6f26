// What the editor shows once a command has set up the instrument's starting sound.
#pragma once

#include <string>

class QiKt412;

// To be called once the start's saved state, preset file and single settings
// have all been applied, in that order: every control is moved to its
// parameter's value (a state or a setting changes parameters without telling
// the editor), and the preset field names the sound's origin: the preset file
// when one was loaded, none when a state replaced the preset taken at
// construction, else that preset (settings on top of a preset are edits of
// it, as knob moves are). presetFile and stateLoaded say what was applied.
void ShowStartingSound(QiKt412& plug, const std::string& presetFile, bool stateLoaded);

// The name a preset file goes by: its file name without ".qipreset".
std::string PresetNameOf(const std::string& path);
