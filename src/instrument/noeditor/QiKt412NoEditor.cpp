// The instrument without an editor, for a host library that only runs the
// sound: it builds no surface, no control and no image, and links no drawing
// code. It stands in for QiKt412Editor.cpp in such a build.
#include "instrument/PresetBrowser.h"
#include "instrument/QiKt412.h"

QiKt412::~QiKt412() {}

void QiKt412::ShowLoadedPreset(const std::string& path) { mPresetName = PresetTree::NameOf(path); }

void QiKt412::UpdatePresetModified() {}

void QiKt412::BuildEditor() {}

void QiKt412::ShowControl(int /*controlIdx*/, double /*normalizedValue*/) {}

void QiKt412::ShowParameter(int /*paramIdx*/, double /*normalizedValue*/) {}

void QiKt412::ShowInValueDisplay(int /*paramIdx*/, double /*normalizedValue*/) {}

void QiKt412::ShowPresetName(const std::string& name) { mPresetName = name; }

std::string QiKt412::PresetName() const { return mPresetName; }
