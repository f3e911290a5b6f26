// The KT-412 as an LV2 plug-in: its URIs and what each of its parameters becomes among the ports.
#pragma once

#include <string>
#include <vector>

#include "instrument/QiKt412.h"
#include "lv2/describe/Lv2PortLayout.h"

constexpr const char* kKt412Lv2Uri = "urn:quorvane:kt412";
constexpr const char* kKt412Lv2UiUri = "urn:quorvane:kt412#ui";
// What the description says of the plug-in beyond its parameters.
constexpr const char* kKt412Lv2ShortDescription = "Analog-modelled bass drum synthesizer";
constexpr const char* kKt412Lv2Description =
    "A single-voice bass drum modelled on an analog drum circuit: every MIDI note-on restarts the voice at "
    "its frame, nine sound controls, pitch and accent from the note and velocity, MIDI learn.";
// The plug-in is not distributed under a public licence; the description
// names its own licence terms.
constexpr const char* kKt412Lv2LicenseUri = "urn:quorvane:kt412#license";
constexpr const char* kKt412Lv2LicenseLabel = "Quorvane Instruments licence: all rights reserved";

// The sound controls and MIDI switches are automatable ports; the pad is a
// trigger port and the LED an output. Learn, clear and the preset-stepping
// buttons work the editor's own state and have no port.
inline std::vector<Lv2PortRole> Kt412PortRoles() {
  std::vector<Lv2PortRole> roles(kNumParams, Lv2PortRole::kControl);
  roles[kTrigger] = Lv2PortRole::kTrigger;
  roles[kLed] = Lv2PortRole::kOutput;
  roles[kLearn] = roles[kClear] = roles[kLeft] = roles[kRight] = Lv2PortRole::kNone;
  return roles;
}

// Pitch is in semitones; the other sound controls are unitless 0..1 amounts.
inline std::vector<std::string> Kt412PortUnits() {
  std::vector<std::string> units(kNumParams);
  units[kPitch] = "semitone12TET";
  return units;
}
