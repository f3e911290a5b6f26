// Writes a plug-in's LV2 description from its parameter list, so the two never disagree.
#include "lv2/describe/Lv2TtlWriter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "framework/IPluginBase.h"

namespace {

const char* const kPrefixes =
    "@prefix atom:   <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix bufsz:  <http://lv2plug.in/ns/ext/buf-size#> .\n"
    "@prefix doap:   <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf:   <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2:    <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix midi:   <http://lv2plug.in/ns/ext/midi#> .\n"
    "@prefix opts:   <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix param:  <http://lv2plug.in/ns/ext/parameters#> .\n"
    "@prefix pg:     <http://lv2plug.in/ns/ext/port-groups#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix pset:   <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf:    <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs:   <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix rsz:    <http://lv2plug.in/ns/ext/resize-port#> .\n"
    "@prefix state:  <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix ui:     <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units:  <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid:   <http://lv2plug.in/ns/ext/urid#> .\n\n";

std::string Iri(const std::string& uri) { return "<" + uri + ">"; }

// The stereo output group's URI: the plug-in URI with "#out".
std::string OutputGroupUri(const Lv2BundleInfo& info) { return info.uri + "#out"; }

// A number a host reads as whole: toggles and integer ports take "0", not "0.0".
std::string WholeOrDouble(double v, bool whole) {
  if (whole && std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15) return std::to_string(static_cast<long long>(v));
  return Lv2TtlDouble(v);
}

// A preset's URI: the plug-in URI with "#preset-" and the name's symbol.
std::string PresetUri(const Lv2BundleInfo& info, const std::string& name) {
  return info.uri + "#preset-" + Lv2PortLayout::SymbolFromName(name.c_str());
}

void WritePort(std::ostringstream& out, const IPluginBase& plug, const Lv2Port& port,
               const Lv2BundleInfo& info) {
  out << "    a ";
  switch (port.kind) {
    case Lv2Port::kMidiIn:
      out << "lv2:InputPort, atom:AtomPort ;\n"
          << "    atom:bufferType atom:Sequence ;\n"
          << "    atom:supports midi:MidiEvent ;\n"
          << "    lv2:designation lv2:control ;\n";
      break;
    case Lv2Port::kAudioOut:
      // Both outputs form the main stereo output, so hosts (and wrappers that
      // insist on channel roles) know which is left.
      out << "lv2:OutputPort, lv2:AudioPort ;\n"
          << "    pg:group " << Iri(OutputGroupUri(info)) << " ;\n"
          << "    lv2:designation " << (port.index == Lv2PortLayout::kOutLeft ? "pg:left" : "pg:right") << " ;\n";
      break;
    case Lv2Port::kControlIn:
    case Lv2Port::kTriggerIn: out << "lv2:InputPort, lv2:ControlPort ;\n"; break;
    case Lv2Port::kControlOut: out << "lv2:OutputPort, lv2:ControlPort ;\n"; break;
    case Lv2Port::kNotifyOut:
      // Room for every parameter's message in one run.
      out << "lv2:OutputPort, atom:AtomPort ;\n"
          << "    atom:bufferType atom:Sequence ;\n"
          << "    rsz:minimumSize 4096 ;\n";
      break;
  }
  out << "    lv2:index " << port.index << " ;\n"
      << "    lv2:symbol " << Lv2TtlString(port.symbol) << " ;\n"
      << "    lv2:name " << Lv2TtlString(port.name);
  if (port.paramIdx < 0) {
    out << " ;\n";
    return;
  }
  const IParam* param = plug.GetParam(port.paramIdx);
  const bool integer = param->Type() == IParam::kTypeInt || param->Type() == IParam::kTypeEnum;
  const bool whole = port.toggled || integer;
  out << " ;\n"
      << "    lv2:default " << WholeOrDouble(param->GetDefault(), whole) << " ;\n"
      << "    lv2:minimum " << WholeOrDouble(param->GetMin(), whole) << " ;\n"
      << "    lv2:maximum " << WholeOrDouble(param->GetMax(), whole) << " ;\n";
  std::vector<std::string> props;
  if (port.toggled) {
    props.push_back("lv2:toggled");
  } else if (integer) {
    props.push_back("lv2:integer");
  }
  if (port.kind == Lv2Port::kTriggerIn) props.push_back("pprops:trigger");
  // A button the editor owns is not something to draw a host slider for,
  // nor to record as automation; the LED is for looking at.
  if (port.kind == Lv2Port::kControlOut) props.push_back("pprops:notAutomatic");
  if (!props.empty()) {
    out << "    lv2:portProperty ";
    for (size_t i = 0; i < props.size(); ++i) out << (i ? ", " : "") << props[i];
    out << " ;\n";
  }
  const size_t p = static_cast<size_t>(port.paramIdx);
  if (p < info.units.size() && !info.units[p].empty()) out << "    units:unit units:" << info.units[p] << " ;\n";
}

}  // namespace

std::string Lv2Uri(const std::string& pluginUri, const char* key) { return pluginUri + "#" + key; }

std::string Lv2TtlDouble(double v) {
  if (!std::isfinite(v)) v = 0.0;
  char text[64];
  // The shortest of these that reads back exactly.
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(text, sizeof text, "%.*g", precision, v);
    if (std::strtod(text, nullptr) == v) break;
  }
  std::string s = text;
  // Turtle reads "1" as an integer and "1e-05" as a double: add the point only
  // where neither a point nor an exponent is there.
  if (s.find_first_of(".eEn") == std::string::npos) s += ".0";
  return s;
}

std::string Lv2TtlString(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + "\"";
}

std::string Lv2ManifestTtl(const Lv2BundleInfo& info) {
  std::ostringstream out;
  out << kPrefixes;
  out << Iri(info.uri) << "\n"
      << "    a lv2:Plugin, lv2:InstrumentPlugin ;\n"
      << "    lv2:binary " << Iri(info.dspBinary) << " ;\n"
      << "    rdfs:seeAlso " << Iri(info.ttlFile) << " .\n";
  if (!info.uiUri.empty()) {
    out << "\n"
        << Iri(info.uiUri) << "\n"
        << "    a ui:X11UI ;\n"
        << "    ui:binary " << Iri(info.uiBinary) << " ;\n"
        << "    rdfs:seeAlso " << Iri(info.ttlFile) << " .\n";
  }
  for (const Lv2BundleInfo::Preset& preset : info.presets) {
    out << "\n"
        << Iri(PresetUri(info, preset.name)) << "\n"
        << "    a pset:Preset ;\n"
        << "    lv2:appliesTo " << Iri(info.uri) << " ;\n"
        << "    rdfs:seeAlso " << Iri(info.ttlFile) << " .\n";
  }
  return out.str();
}

std::string Lv2PluginTtl(const IPluginBase& plug, const Lv2PortLayout& layout, const Lv2BundleInfo& info) {
  std::ostringstream out;
  out << kPrefixes;
  const std::string maintainer = "[ foaf:name " + Lv2TtlString(plug.GetMfrName()) + " ]";
  // Also a project of its own, so that it may name its maintainer and
  // licence itself, where hosts and checkers look for them first.
  out << Iri(info.uri) << "\n"
      << "    a lv2:Plugin, lv2:InstrumentPlugin, doap:Project ;\n"
      << "    doap:name " << Lv2TtlString(plug.GetEffectName()) << " ;\n";
  if (!info.shortDescription.empty()) out << "    doap:shortdesc " << Lv2TtlString(info.shortDescription) << " ;\n";
  if (!info.description.empty()) out << "    rdfs:comment " << Lv2TtlString(info.description) << " ;\n";
  if (!info.licenseUri.empty()) out << "    doap:license " << Iri(info.licenseUri) << " ;\n";
  out << "    doap:maintainer " << maintainer << " ;\n"
      << "    lv2:project [\n"
      << "        a doap:Project ;\n"
      << "        doap:name " << Lv2TtlString(plug.GetEffectName()) << " ;\n"
      << "        doap:maintainer " << maintainer << "\n"
      << "    ] ;\n"
      << "    pg:mainOutput " << Iri(OutputGroupUri(info)) << " ;\n";
  // LV2 versions are minor.micro (the URI stands for the major version):
  // both even mark a stable release, and a minor 0 an experimental one, so
  // 1.0.0 becomes 200.0.
  int maj = 0, min = 0, patch = 0;
  GetVersionParts(plug.GetEffectVersion(false), &maj, &min, &patch);
  out << "    lv2:minorVersion " << (maj * 100 + min) * 2 << " ;\n"
      << "    lv2:microVersion " << patch * 2 << " ;\n"
      << "    lv2:requiredFeature urid:map ;\n"
      << "    lv2:optionalFeature lv2:hardRTCapable, opts:options, bufsz:boundedBlockLength ;\n"
      << "    lv2:extensionData state:interface, opts:interface ;\n"
      << "    opts:supportedOption bufsz:maxBlockLength, bufsz:nominalBlockLength, param:sampleRate ;\n";
  if (!info.uiUri.empty()) out << "    ui:ui " << Iri(info.uiUri) << " ;\n";
  out << "    lv2:port ";
  for (int i = 0; i < layout.NPorts(); ++i) {
    out << (i ? " , " : "") << "[\n";
    WritePort(out, plug, layout.Port(i), info);
    out << "    ]";
  }
  out << " .\n";

  out << "\n"
      << Iri(OutputGroupUri(info)) << "\n"
      << "    a pg:StereoGroup, pg:OutputGroup ;\n"
      << "    lv2:symbol \"out\" ;\n"
      << "    rdfs:label \"Output\" .\n";
  if (!info.licenseUri.empty() && !info.licenseLabel.empty())
    out << "\n" << Iri(info.licenseUri) << "\n    rdfs:label " << Lv2TtlString(info.licenseLabel) << " .\n";

  if (!info.uiUri.empty()) {
    out << "\n"
        << Iri(info.uiUri) << "\n"
        << "    a ui:X11UI ;\n"
        << "    lv2:requiredFeature urid:map, ui:parent ;\n"
        // The host's LV2UI_Resize is used when given, but is no longer listed
        // (deprecated as a declared feature); the size is fixed for the user.
        << "    lv2:optionalFeature ui:idleInterface, ui:noUserResize, opts:options ;\n"
        << "    lv2:extensionData ui:idleInterface ;\n"
        << "    opts:supportedOption ui:scaleFactor ;\n";
    // The editor follows every control port, the LED included, and the
    // plug-in's own notifications.
    for (const Lv2Port& port : layout.Ports()) {
      if (port.paramIdx < 0 && port.kind != Lv2Port::kNotifyOut) continue;
      out << "    ui:portNotification [ ui:plugin " << Iri(info.uri) << " ; lv2:symbol "
          << Lv2TtlString(port.symbol) << " ; ui:protocol "
          << (port.kind == Lv2Port::kNotifyOut ? "atom:eventTransfer" : "ui:floatProtocol") << " ] ;\n";
    }
    out << "    ui:binary " << Iri(info.uiBinary) << " .\n";
  }

  for (const Lv2BundleInfo::Preset& preset : info.presets) {
    out << "\n"
        << Iri(PresetUri(info, preset.name)) << "\n"
        << "    a pset:Preset ;\n"
        << "    lv2:appliesTo " << Iri(info.uri) << " ;\n"
        << "    rdfs:label " << Lv2TtlString(preset.name);
    for (const Lv2Port& port : layout.Ports()) {
      if (port.kind != Lv2Port::kControlIn || port.paramIdx < 0) continue;
      if (port.paramIdx >= static_cast<int>(preset.values.size())) continue;
      if (!std::isfinite(preset.values[static_cast<size_t>(port.paramIdx)])) continue;
      out << " ;\n    lv2:port [ lv2:symbol " << Lv2TtlString(port.symbol) << " ; pset:value "
          << Lv2TtlDouble(preset.values[static_cast<size_t>(port.paramIdx)]) << " ]";
    }
    out << " .\n";
  }
  return out.str();
}
