// The bundle as a host sees it through lilv: URI, features, and ports that
// match the instrument's own parameter list.
#include <gtest/gtest.h>

#include <lv2/port-groups/port-groups.h>
#include <lv2/port-props/port-props.h>
#include <lv2/ui/ui.h>
#include <lv2/units/units.h>

#include <utility>

#include "instrument/QiKt412.h"
#include "lv2/describe/Lv2PortLayout.h"
#include "lv2/describe/Lv2TtlWriter.h"
#include "lv2/Lv2Rig.h"

using lv2test::World;

namespace {

bool Has(const LilvNodes* nodes, const LilvNode* node) { return nodes && lilv_nodes_contains(nodes, node); }

bool HasUri(World& w, const LilvNodes* nodes, const char* uri) {
  LilvNode* n = w.Uri(uri);
  const bool has = Has(nodes, n);
  lilv_node_free(n);
  return has;
}

bool PortIs(World& w, const LilvPort* port, const char* classUri) {
  LilvNode* n = w.Uri(classUri);
  const bool is = lilv_port_is_a(w.Plugin(), port, n);
  lilv_node_free(n);
  return is;
}

bool PortHasProperty(World& w, const LilvPort* port, const char* propUri) {
  LilvNode* n = w.Uri(propUri);
  const bool has = lilv_port_has_property(w.Plugin(), port, n);
  lilv_node_free(n);
  return has;
}

}  // namespace

TEST(Lv2Bundle, FoundThroughLv2PathWithItsUriClassAndFeatures) {
  World w;
  ASSERT_NE(w.Plugin(), nullptr) << "the kt412.lv2 bundle was not found through LV2_PATH";
  EXPECT_STREQ(lilv_node_as_uri(lilv_plugin_get_uri(w.Plugin())), lv2test::kUri);
  EXPECT_TRUE(lilv_plugin_verify(w.Plugin()));
  LilvNode* name = lilv_plugin_get_name(w.Plugin());
  EXPECT_STREQ(lilv_node_as_string(name), "Quorvane KT-412");
  lilv_node_free(name);
  EXPECT_STREQ(lilv_node_as_uri(lilv_plugin_class_get_uri(lilv_plugin_get_class(w.Plugin()))),
               LV2_CORE__InstrumentPlugin);

  LilvNodes* required = lilv_plugin_get_required_features(w.Plugin());
  EXPECT_EQ(lilv_nodes_size(required), 1u);
  EXPECT_TRUE(HasUri(w, required, LV2_URID__map));
  lilv_nodes_free(required);
  LilvNodes* optional = lilv_plugin_get_optional_features(w.Plugin());
  EXPECT_TRUE(HasUri(w, optional, LV2_CORE__hardRTCapable));
  EXPECT_TRUE(HasUri(w, optional, LV2_OPTIONS__options));
  EXPECT_TRUE(HasUri(w, optional, LV2_BUF_SIZE__boundedBlockLength));
  lilv_nodes_free(optional);
  LilvNodes* ext = lilv_plugin_get_extension_data(w.Plugin());
  EXPECT_TRUE(HasUri(w, ext, LV2_STATE__interface));
  EXPECT_TRUE(HasUri(w, ext, LV2_OPTIONS__interface));
  lilv_nodes_free(ext);

  // Who keeps it, under what terms, in a line: what hosts list and checkers ask for.
  LilvNode* author = lilv_plugin_get_author_name(w.Plugin());
  ASSERT_NE(author, nullptr);
  EXPECT_STREQ(lilv_node_as_string(author), "Quorvane Instruments");
  lilv_node_free(author);
  for (const char* predicate : {"http://usefulinc.com/ns/doap#license", "http://usefulinc.com/ns/doap#shortdesc",
                                "http://www.w3.org/2000/01/rdf-schema#comment"}) {
    LilvNode* pred = w.Uri(predicate);
    LilvNodes* values = lilv_plugin_get_value(w.Plugin(), pred);
    EXPECT_EQ(lilv_nodes_size(values), 1u) << predicate;
    lilv_nodes_free(values);
    lilv_node_free(pred);
  }
}

TEST(Lv2Bundle, OutputsAreTheLeftAndRightOfTheMainStereoOutput) {
  World w;
  ASSERT_NE(w.Plugin(), nullptr);
  LilvNode* groupPred = w.Uri(LV2_PORT_GROUPS__group);
  LilvNode* mainOutput = w.Uri(LV2_PORT_GROUPS__mainOutput);
  LilvNodes* mains = lilv_plugin_get_value(w.Plugin(), mainOutput);
  ASSERT_EQ(lilv_nodes_size(mains), 1u);
  const LilvNode* group = lilv_nodes_get_first(mains);
  LilvNode* output = w.Uri(LV2_CORE__OutputPort);
  for (const auto& [index, channel] : {std::pair{1, LV2_PORT_GROUPS__left}, std::pair{2, LV2_PORT_GROUPS__right}}) {
    const LilvPort* port = lilv_plugin_get_port_by_index(w.Plugin(), static_cast<uint32_t>(index));
    LilvNodes* groups = lilv_port_get_value(w.Plugin(), port, groupPred);
    EXPECT_TRUE(Has(groups, group)) << index;
    lilv_nodes_free(groups);
    LilvNode* designation = w.Uri(channel);
    EXPECT_EQ(lilv_plugin_get_port_by_designation(w.Plugin(), output, designation), port);
    lilv_node_free(designation);
  }
  LilvNode* rdfType = w.Uri("http://www.w3.org/1999/02/22-rdf-syntax-ns#type");
  LilvNodes* types = lilv_world_find_nodes(w.Get(), group, rdfType, nullptr);
  EXPECT_TRUE(HasUri(w, types, LV2_PORT_GROUPS__StereoGroup));
  EXPECT_TRUE(HasUri(w, types, LV2_PORT_GROUPS__OutputGroup));
  lilv_nodes_free(types);
  lilv_node_free(rdfType);
  lilv_node_free(output);
  lilv_nodes_free(mains);
  lilv_node_free(mainOutput);
  lilv_node_free(groupPred);
}

TEST(Lv2Bundle, PortsFollowTheInstrumentsParameters) {
  World w;
  ASSERT_NE(w.Plugin(), nullptr);
  QiKt412 plug;  // the command-line build: the list the description was made from
  ASSERT_EQ(lilv_plugin_get_num_ports(w.Plugin()), 17u);

  const LilvPort* events = lilv_plugin_get_port_by_index(w.Plugin(), 0);
  EXPECT_TRUE(PortIs(w, events, LV2_CORE__InputPort));
  EXPECT_TRUE(PortIs(w, events, LV2_ATOM__AtomPort));
  LilvNode* midi = w.Uri(LV2_MIDI__MidiEvent);
  EXPECT_TRUE(lilv_port_supports_event(w.Plugin(), events, midi));
  lilv_node_free(midi);
  for (int i : {1, 2}) {
    const LilvPort* out = lilv_plugin_get_port_by_index(w.Plugin(), static_cast<uint32_t>(i));
    EXPECT_TRUE(PortIs(w, out, LV2_CORE__OutputPort));
    EXPECT_TRUE(PortIs(w, out, LV2_CORE__AudioPort));
  }

  // Last, the notifications to the editor.
  const LilvPort* notify = lilv_plugin_get_port_by_index(w.Plugin(), 16);
  EXPECT_TRUE(PortIs(w, notify, LV2_CORE__OutputPort));
  EXPECT_TRUE(PortIs(w, notify, LV2_ATOM__AtomPort));
  EXPECT_EQ(w.PortIndex("notify"), 16);

  std::vector<float> mins(17), maxs(17), defs(17);
  lilv_plugin_get_port_ranges_float(w.Plugin(), mins.data(), maxs.data(), defs.data());
  int controlPorts = 0;
  for (int p = 0; p < kNumParams; ++p) {
    const IParam* param = plug.GetParam(p);
    const std::string symbol = Lv2PortLayout::SymbolFromName(param->GetNameForHost());
    const int index = w.PortIndex(symbol.c_str());
    SCOPED_TRACE(symbol);
    if (p == kLearn || p == kClear || p == kLeft || p == kRight) {
      EXPECT_EQ(index, -1) << "editor-only buttons are no host ports";
      continue;
    }
    ASSERT_GE(index, 3);
    ++controlPorts;
    const LilvPort* port = lilv_plugin_get_port_by_index(w.Plugin(), static_cast<uint32_t>(index));
    LilvNode* name = lilv_port_get_name(w.Plugin(), port);
    EXPECT_STREQ(lilv_node_as_string(name), param->GetNameForHost());
    lilv_node_free(name);
    EXPECT_TRUE(PortIs(w, port, LV2_CORE__ControlPort));
    EXPECT_TRUE(PortIs(w, port, p == kLed ? LV2_CORE__OutputPort : LV2_CORE__InputPort));
    EXPECT_EQ(mins[static_cast<size_t>(index)], static_cast<float>(param->GetMin()));
    EXPECT_EQ(maxs[static_cast<size_t>(index)], static_cast<float>(param->GetMax()));
    EXPECT_EQ(defs[static_cast<size_t>(index)], static_cast<float>(param->GetDefault()));
    const bool isSwitch = param->Type() == IParam::kTypeBool || param->Type() == IParam::kTypeEnum;
    EXPECT_EQ(PortHasProperty(w, port, LV2_CORE__toggled), isSwitch);
    // A toggle's range and default are written as whole numbers.
    LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
    lilv_port_get_range(w.Plugin(), port, &def, &min, &max);
    for (LilvNode* n : {def, min, max}) {
      EXPECT_EQ(n && lilv_node_is_int(n), isSwitch);
      lilv_node_free(n);
    }
    EXPECT_EQ(PortHasProperty(w, port, LV2_PORT_PROPS__trigger), p == kTrigger);
    EXPECT_FALSE(PortHasProperty(w, port, LV2_CORE__integer)) << "Pitch takes fractions from automation";
  }
  EXPECT_EQ(controlPorts, 13);
  // The sound controls come in parameter order right after the outputs.
  EXPECT_EQ(w.PortIndex("pitch"), 3);
  EXPECT_EQ(w.PortIndex("midi_accent_flag"), 13);
  EXPECT_EQ(w.PortIndex("trigger"), 14);
  EXPECT_EQ(w.PortIndex("led"), 15);

  LilvNode* unitPred = w.Uri(LV2_UNITS__unit);
  LilvNodes* units = lilv_port_get_value(w.Plugin(), lilv_plugin_get_port_by_index(w.Plugin(), 3), unitPred);
  ASSERT_EQ(lilv_nodes_size(units), 1u);
  EXPECT_STREQ(lilv_node_as_uri(lilv_nodes_get_first(units)), LV2_UNITS__semitone12TET);
  lilv_nodes_free(units);
  lilv_node_free(unitPred);
}

TEST(Lv2Describe, SymbolsAreValidLv2SymbolsMadeFromNames) {
  EXPECT_EQ(Lv2PortLayout::SymbolFromName("TuneDecay"), "tune_decay");
  EXPECT_EQ(Lv2PortLayout::SymbolFromName("MidiAccentFlag"), "midi_accent_flag");
  EXPECT_EQ(Lv2PortLayout::SymbolFromName("clear"), "clear");
  EXPECT_EQ(Lv2PortLayout::SymbolFromName("Gain (Hz)"), "gain_hz");
  EXPECT_EQ(Lv2PortLayout::SymbolFromName("2nd Osc"), "p_2nd_osc");
  EXPECT_EQ(Lv2PortLayout::SymbolFromName(""), "p_");
  EXPECT_EQ(Lv2PortLayout::SymbolFromName(nullptr), "p_");
}

TEST(Lv2Describe, NumbersAndStringsAreTurtleLiteralsThatReadBackExactly) {
  EXPECT_EQ(Lv2TtlDouble(1.0), "1.0");
  EXPECT_EQ(Lv2TtlDouble(-12.0), "-12.0");
  EXPECT_EQ(Lv2TtlDouble(0.0001), "0.0001");
  EXPECT_EQ(std::stod(Lv2TtlDouble(0.1 + 0.2)), 0.1 + 0.2);
  EXPECT_EQ(Lv2TtlDouble(1e-20), "1e-20");
  EXPECT_EQ(Lv2TtlDouble(std::nan("")), "0.0");
  EXPECT_EQ(Lv2TtlString("a\"b\\c\nd"), "\"a\\\"b\\\\c\\nd\"");
}

TEST(Lv2Describe, NamesFoldingToOneSymbolAreNumbered) {
  // A plug-in with two parameters whose names fold to one symbol.
  QiKt412 plug;
  plug.GetParam(kAccent)->InitDouble("Pitch", 0.5, 0.0, 1.0, 0.01);
  std::vector<Lv2PortRole> roles(kNumParams, Lv2PortRole::kNone);
  roles[kPitch] = roles[kAccent] = Lv2PortRole::kControl;
  Lv2PortLayout layout(plug, roles);
  ASSERT_EQ(layout.NPorts(), 6);  // the notification port last
  EXPECT_EQ(layout.Port(3).symbol, "pitch");
  EXPECT_EQ(layout.Port(4).symbol, "pitch_2");
  EXPECT_EQ(layout.PortOfParam(kAccent), 4);
  EXPECT_EQ(layout.PortOfParam(kDecay), -1);
  EXPECT_EQ(layout.PortOfParam(99), -1);
}

TEST(Lv2Bundle, EditorDeclaresIdleAndScaleFactorButNotTheDeprecatedResize) {
  World w;
  ASSERT_NE(w.Plugin(), nullptr);
  LilvUIs* uis = lilv_plugin_get_uis(w.Plugin());
  ASSERT_EQ(lilv_uis_size(uis), 1u);
  const LilvNode* ui = lilv_ui_get_uri(lilv_uis_get(uis, lilv_uis_begin(uis)));
  auto values = [&](const char* predicate) {
    LilvNode* p = w.Uri(predicate);
    LilvNodes* nodes = lilv_world_find_nodes(w.Get(), ui, p, nullptr);
    lilv_node_free(p);
    return nodes;
  };
  LilvNodes* optional = values(LV2_CORE__optionalFeature);
  LilvNodes* required = values(LV2_CORE__requiredFeature);
  LilvNodes* ext = values(LV2_CORE__extensionData);
  LilvNodes* options = values(LV2_OPTIONS__supportedOption);
  EXPECT_TRUE(HasUri(w, optional, LV2_UI__idleInterface) || HasUri(w, required, LV2_UI__idleInterface));
  EXPECT_TRUE(HasUri(w, ext, LV2_UI__idleInterface));
  EXPECT_TRUE(HasUri(w, options, LV2_UI__scaleFactor));
  EXPECT_FALSE(HasUri(w, optional, LV2_UI__resize) || HasUri(w, required, LV2_UI__resize));
  for (LilvNodes* n : {optional, required, ext, options}) lilv_nodes_free(n);
  lilv_uis_free(uis);
}
