// Writes a plug-in's LV2 description (manifest.ttl and the plug-in's .ttl) from its parameter list.
#pragma once

#include <string>
#include <vector>

#include "lv2/describe/Lv2PortLayout.h"

class IPluginBase;

// What the bundle says beyond the parameters themselves.
struct Lv2BundleInfo {
  std::string uri;          // the plug-in's URI
  std::string dspBinary;    // file name of the DSP library inside the bundle
  std::string ttlFile;      // file name of the plug-in description
  std::string shortDescription;  // doap:shortdesc, one line; empty: none
  std::string description;       // rdfs:comment; empty: none
  std::string licenseUri;        // doap:license; empty: none
  std::string licenseLabel;      // the licence described at licenseUri in the file; empty: described elsewhere
  std::string uiUri;        // empty: no editor
  std::string uiBinary;
  // Unit of each parameter as an LV2 units: local name ("semitone12TET",
  // "db", "hz", ...); empty or missing: no unit.
  std::vector<std::string> units;
  // Factory presets, each a name and one plain value per parameter (NaN:
  // the preset leaves that parameter as it is).
  struct Preset {
    std::string name;
    std::vector<double> values;
  };
  std::vector<Preset> presets;
};

// Our own URIs below the plug-in's URI, shared by the DSP side, the editor
// and the description. The plug-in URI is joined with "#" and the name.
namespace Lv2Keys {
// State: the parameter chunk and the MIDI-learn bindings.
constexpr const char* kParamsState = "params";
constexpr const char* kControllersState = "controllers";
// Editor -> DSP message setting a parameter that has no port (learn, clear).
constexpr const char* kEditorParamMsg = "EditorParam";
constexpr const char* kParamIndex = "paramIndex";
constexpr const char* kParamValue = "paramValue";
// The same message the other way, DSP -> editor on the notification port: a
// parameter's value the ports did not set. From the editor with this index it
// asks for every parameter's value once (an editor that just opened).
constexpr int kAllParamsIndex = -1;
}  // namespace Lv2Keys

std::string Lv2Uri(const std::string& pluginUri, const char* key);

// The text of manifest.ttl.
std::string Lv2ManifestTtl(const Lv2BundleInfo& info);
// The text of the plug-in's description: identity, features, extension data,
// every port with its name, symbol, range, default, unit and properties, and
// the editor when there is one.
std::string Lv2PluginTtl(const IPluginBase& plug, const Lv2PortLayout& layout, const Lv2BundleInfo& info);
// Turtle literal for a double: always with a decimal point, shortest form
// that reads back to the same value.
std::string Lv2TtlDouble(double v);
// Turtle string literal with quotes and backslashes escaped.
std::string Lv2TtlString(const std::string& s);
