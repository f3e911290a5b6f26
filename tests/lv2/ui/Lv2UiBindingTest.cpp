// The editor side of the LV2 plug-in talks to the DSP only through the
// host: control edits become port writes between touch notices, learn and
// clear become our atom message, port events move the controls and never
// echo back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>

#include "framework/IEditor.h"
#include "lv2/ui/IPluginLV2UI.h"

namespace {

enum { kGain, kPitch, kLearnP, kTrig, kLedP, kNextP, kNum };

// A plug-in with one of each kind of parameter the editor deals with.
class UiPlug : public IPluginLV2UI {
public:
  UiPlug() : IPluginLV2UI(kNum, "0-2", 0, "ui test", "", "us", 0x10000, 1, 2, 0, true, false, true) {
    GetParam(kGain)->InitDouble("Gain", 0.5, 0.0, 1.0, 0.01);
    GetParam(kPitch)->InitDouble("Pitch", 0.0, -12.0, 12.0, 1.0);
    GetParam(kLearnP)->InitBool("Learn", false);
    GetParam(kTrig)->InitBool("Trigger", false);
    GetParam(kLedP)->InitEnum("Led", 0, 2);
    GetParam(kNextP)->InitBool("Next", false);
    GetParam(kNextP)->SetIsMeta(true);
  }
  void OnParamChange(int idx) override { changes.push_back(idx); }
  std::vector<int> changes;
};

// What the editor surface was told.
struct Editor : IEditor {
  void SetParameterFromPlug(int idx, double value, bool normalized) override {
    moves.push_back({idx, value, normalized});
  }
  void SetControlFromPlug(int, double) override {}
  void PrepDraw() override {}
  struct Move {
    int idx;
    double value;
    bool normalized;
  };
  std::vector<Move> moves;
};

struct Host {
  std::map<std::string, LV2_URID> ids;
  std::vector<std::string> names;
  LV2_URID_Map map{this, [](LV2_URID_Map_Handle h, const char* uri) {
                     auto* self = static_cast<Host*>(h);
                     auto it = self->ids.find(uri);
                     if (it != self->ids.end()) return it->second;
                     self->names.push_back(uri);
                     return self->ids[uri] = static_cast<LV2_URID>(self->names.size());
                   }};
  struct Write {
    uint32_t port, size, format;
    std::string bytes;
  };
  std::vector<Write> writes;
  std::vector<std::pair<uint32_t, bool>> touches;
  std::vector<std::pair<int, int>> resizes;
  LV2UI_Touch touch{this, [](LV2UI_Feature_Handle h, uint32_t port, bool grabbed) {
                      static_cast<Host*>(h)->touches.push_back({port, grabbed});
                    }};
  LV2UI_Resize resize{this, [](LV2UI_Feature_Handle h, int w, int hgt) {
                        static_cast<Host*>(h)->resizes.push_back({w, hgt});
                        return 0;
                      }};
  LV2_Feature mapF{LV2_URID__map, &map}, touchF{LV2_UI__touch, &touch}, resizeF{LV2_UI__resize, &resize};
  static void WriteFn(LV2UI_Controller c, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    static_cast<Host*>(const_cast<void*>(c))->writes.push_back(
        {port, size, format, std::string(static_cast<const char*>(buffer), size)});
  }
  LV2_URID Map(const char* uri) { return map.map(this, uri); }
};

const std::vector<Lv2PortRole> kRoles = {Lv2PortRole::kControl, Lv2PortRole::kControl, Lv2PortRole::kNone,
                                         Lv2PortRole::kTrigger, Lv2PortRole::kOutput, Lv2PortRole::kNone};

struct Rig {
  Host host;
  UiPlug plug;
  Editor* editor = new Editor;
  explicit Rig(bool withTouch = true) {
    std::vector<const LV2_Feature*> f = {&host.mapF, &host.resizeF};
    if (withTouch) f.push_back(&host.touchF);
    f.push_back(nullptr);
    EXPECT_TRUE(plug.Lv2UiInstantiate("urn:test", f.data(), Host::WriteFn, &host, kRoles));
    plug.AttachGraphics(editor);
    editor->moves.clear();
  }
  float Written(size_t i) const {
    float v;
    std::memcpy(&v, host.writes[i].bytes.data(), sizeof v);
    return v;
  }
};

}  // namespace

TEST(Lv2UiBinding, AnEditorGestureIsAPortWriteBetweenTouches) {
  Rig rig;
  // Ports: 0 events, 1-2 audio, 3 Gain, 4 Pitch, 5 Trigger, 6 Led.
  rig.plug.BeginInformHostOfParamChange(kPitch);
  rig.plug.SetParameterFromGUI(kPitch, 0.75);
  rig.plug.EndInformHostOfParamChange(kPitch);
  ASSERT_EQ(rig.host.writes.size(), 1u);
  EXPECT_EQ(rig.host.writes[0].port, 4u);
  EXPECT_EQ(rig.host.writes[0].format, 0u);
  EXPECT_EQ(rig.Written(0), 6.0f) << "the plain value, not the normalised one";
  ASSERT_EQ(rig.host.touches.size(), 2u);
  EXPECT_EQ(rig.host.touches[0], (std::pair<uint32_t, bool>{4u, true}));
  EXPECT_EQ(rig.host.touches[1], (std::pair<uint32_t, bool>{4u, false}));
  // The editor's own instance hears the change too (its controls, its modes).
  EXPECT_EQ(rig.plug.changes, std::vector<int>{kPitch});

  // The pad is a trigger port: press and release are both written.
  rig.plug.SetParameterFromGUI(kTrig, 1.0);
  rig.plug.SetParameterFromGUI(kTrig, 0.0);
  ASSERT_EQ(rig.host.writes.size(), 3u);
  EXPECT_EQ(rig.host.writes[1].port, 5u);
  EXPECT_EQ(rig.Written(1), 1.0f);
  EXPECT_EQ(rig.Written(2), 0.0f);
}

TEST(Lv2UiBinding, WithoutTouchTheValueStillGoesOut) {
  Rig rig(false);
  rig.plug.BeginInformHostOfParamChange(kGain);
  rig.plug.SetParameterFromGUI(kGain, 0.25);
  rig.plug.EndInformHostOfParamChange(kGain);
  EXPECT_TRUE(rig.host.touches.empty());
  ASSERT_EQ(rig.host.writes.size(), 1u);
  EXPECT_EQ(rig.Written(0), 0.25f);
}

TEST(Lv2UiBinding, LearnGoesAsOurMessageAndPresetButtonsAndTheLedStayHome) {
  Rig rig;
  rig.plug.SetParameterFromGUI(kLearnP, 1.0);
  ASSERT_EQ(rig.host.writes.size(), 1u);
  const Host::Write& w = rig.host.writes[0];
  EXPECT_EQ(w.port, 0u);
  EXPECT_EQ(w.format, rig.host.Map(LV2_ATOM__eventTransfer));
  const auto* obj = reinterpret_cast<const LV2_Atom_Object*>(w.bytes.data());
  ASSERT_EQ(w.size, sizeof(LV2_Atom) + obj->atom.size);
  EXPECT_EQ(obj->atom.type, rig.host.Map(LV2_ATOM__Object));
  EXPECT_EQ(obj->body.otype, rig.host.Map("urn:test#EditorParam"));
  const LV2_Atom* index = nullptr;
  const LV2_Atom* value = nullptr;
  lv2_atom_object_get(obj, rig.host.Map("urn:test#paramIndex"), &index, rig.host.Map("urn:test#paramValue"), &value, 0);
  ASSERT_TRUE(index && value);
  EXPECT_EQ(reinterpret_cast<const LV2_Atom_Int*>(index)->body, kLearnP);
  EXPECT_EQ(reinterpret_cast<const LV2_Atom_Double*>(value)->body, 1.0);

  rig.plug.SetParameterFromGUI(kNextP, 1.0);  // the editor steps presets itself
  rig.plug.InformHostOfParamChange(kLedP, 1.0);
  rig.plug.InformHostOfParamChange(99, 1.0);
  rig.plug.InformHostOfParamChange(-1, 1.0);
  EXPECT_EQ(rig.host.writes.size(), 1u);
}

TEST(Lv2UiBinding, PortEventsMoveControlsWithoutEchoingBack) {
  Rig rig;
  const float pitch = -7.0f, led = 1.0f, nan = std::nanf("");
  rig.plug.Lv2PortEvent(4, sizeof pitch, 0, &pitch);
  rig.plug.Lv2PortEvent(6, sizeof led, 0, &led);
  ASSERT_EQ(rig.editor->moves.size(), 2u);
  EXPECT_EQ(rig.editor->moves[0].idx, kPitch);
  EXPECT_EQ(rig.editor->moves[0].value, -7.0);
  EXPECT_FALSE(rig.editor->moves[0].normalized);
  EXPECT_EQ(rig.editor->moves[1].idx, kLedP);
  EXPECT_EQ(rig.plug.GetParam(kPitch)->Value(), -7.0);
  EXPECT_TRUE(rig.host.writes.empty());
  EXPECT_TRUE(rig.plug.changes.empty());

  // Wrong ports, sizes, protocols and values change nothing.
  const float big = 99.0f;
  rig.plug.Lv2PortEvent(0, sizeof pitch, 0, &pitch);
  rig.plug.Lv2PortEvent(1, sizeof pitch, 0, &pitch);
  rig.plug.Lv2PortEvent(40, sizeof pitch, 0, &pitch);
  rig.plug.Lv2PortEvent(4, 2, 0, &pitch);
  rig.plug.Lv2PortEvent(4, sizeof pitch, 77, &pitch);
  rig.plug.Lv2PortEvent(4, sizeof pitch, 0, nullptr);
  rig.plug.Lv2PortEvent(4, sizeof nan, 0, &nan);
  EXPECT_EQ(rig.editor->moves.size(), 2u);
  rig.plug.Lv2PortEvent(4, sizeof big, 0, &big);
  EXPECT_EQ(rig.plug.GetParam(kPitch)->Value(), 12.0) << "clamped to the range";

  // A toggled port shows on for any value above 0, as the sound takes it.
  for (const float v : {0.3f, 0.0f, 0.7f, -0.5f, 0.5f}) {
    rig.plug.Lv2PortEvent(5, sizeof v, 0, &v);
    EXPECT_EQ(rig.editor->moves.back().idx, kTrig);
    EXPECT_EQ(rig.editor->moves.back().value, v > 0.0f ? 1.0 : 0.0) << v;
  }
}

TEST(Lv2UiBinding, ResizeGoesToTheHostAtTheWindowsScaleAndAMissingMapIsRefused) {
  Rig rig;
  rig.plug.ResizeGraphics(592, 442);
  rig.plug.ResizeGraphics(0, 10);
  rig.plug.SetWindowScale(2.0f);
  rig.plug.ResizeGraphics(592, 442);
  rig.plug.SetWindowScale(1.5f);
  rig.plug.ResizeGraphics(592, 442);
  ASSERT_EQ(rig.host.resizes.size(), 3u);
  EXPECT_EQ(rig.host.resizes[0], (std::pair<int, int>{592, 442}));
  EXPECT_EQ(rig.host.resizes[1], (std::pair<int, int>{1184, 884}));
  EXPECT_EQ(rig.host.resizes[2], (std::pair<int, int>{888, 663}));

  UiPlug lone;
  const LV2_Feature* none[] = {nullptr};
  EXPECT_FALSE(lone.Lv2UiInstantiate("urn:test", none, Host::WriteFn, nullptr, kRoles));
  lone.SetParameterFromGUI(kGain, 1.0);  // no host to tell: nothing happens
  const float v = 1.0f;
  lone.Lv2PortEvent(3, sizeof v, 0, &v);
  EXPECT_EQ(lone.WritesSent(), 0);
}

TEST(Lv2UiBinding, TheDspsNotificationsMoveControlsAndAnOpeningEditorAsksForThem) {
  Rig rig;
  // Ports: ..., 6 Led, 7 notifications.
  auto message = [&](int idx, double value, LV2_URID otype) {
    alignas(8) uint8_t buffer[128];
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, &rig.host.map);
    lv2_atom_forge_set_buffer(&forge, buffer, sizeof buffer);
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_object(&forge, &frame, 0, otype);
    lv2_atom_forge_key(&forge, rig.host.Map("urn:test#paramIndex"));
    lv2_atom_forge_int(&forge, idx);
    lv2_atom_forge_key(&forge, rig.host.Map("urn:test#paramValue"));
    lv2_atom_forge_double(&forge, value);
    lv2_atom_forge_pop(&forge, &frame);
    return std::string(reinterpret_cast<const char*>(buffer), sizeof(LV2_Atom) + reinterpret_cast<LV2_Atom*>(buffer)->size);
  };
  const LV2_URID transfer = rig.host.Map(LV2_ATOM__eventTransfer), msg = rig.host.Map("urn:test#EditorParam");
  const std::string learned = message(kPitch, 5.0, msg);
  rig.plug.Lv2PortEvent(7, static_cast<uint32_t>(learned.size()), transfer, learned.data());
  ASSERT_EQ(rig.editor->moves.size(), 1u);
  EXPECT_EQ(rig.editor->moves[0].idx, kPitch);
  EXPECT_EQ(rig.plug.GetParam(kPitch)->Value(), 5.0);
  const std::string learnOff = message(kLearnP, 0.0, msg);
  rig.plug.Lv2PortEvent(7, static_cast<uint32_t>(learnOff.size()), transfer, learnOff.data());
  EXPECT_EQ(rig.editor->moves.size(), 2u) << "a parameter without a port is shown too";

  // Another object type, a wrong index, a cut message, a float protocol: nothing.
  const std::string other = message(kPitch, 1.0, rig.host.Map("urn:test#Other"));
  const std::string badIndex = message(99, 1.0, msg);
  rig.plug.Lv2PortEvent(7, static_cast<uint32_t>(other.size()), transfer, other.data());
  rig.plug.Lv2PortEvent(7, static_cast<uint32_t>(badIndex.size()), transfer, badIndex.data());
  rig.plug.Lv2PortEvent(7, static_cast<uint32_t>(learned.size() - 8), transfer, learned.data());
  rig.plug.Lv2PortEvent(7, 4, 0, learned.data());
  EXPECT_EQ(rig.editor->moves.size(), 2u);
  EXPECT_TRUE(rig.host.writes.empty()) << "nothing echoes back";

  rig.plug.RequestPublishedValues();
  ASSERT_EQ(rig.host.writes.size(), 1u);
  EXPECT_EQ(rig.host.writes[0].port, 0u);
  const auto* obj = reinterpret_cast<const LV2_Atom_Object*>(rig.host.writes[0].bytes.data());
  const LV2_Atom* index = nullptr;
  lv2_atom_object_get(obj, rig.host.Map("urn:test#paramIndex"), &index, 0);
  ASSERT_TRUE(index);
  EXPECT_EQ(reinterpret_cast<const LV2_Atom_Int*>(index)->body, -1);
}
