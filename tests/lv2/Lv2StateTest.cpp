// Saved state through lilv and the state interface: round trips that render
// bit for bit the same, MIDI-learn bindings kept, corrupt state refused, and
// instances made and freed many times.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

#include "instrument/QiKt412.h"
#include "lv2/Lv2Rig.h"

using lv2test::Instance;
using lv2test::UridMap;
using lv2test::World;

namespace {

// A state as the store callback received it: key -> (type, bytes).
struct StoredState {
  struct Value {
    uint32_t type = 0;
    std::string bytes;
  };
  std::map<uint32_t, Value> values;
};

LV2_State_Status Store(LV2_State_Handle h, uint32_t key, const void* value, size_t size, uint32_t type, uint32_t) {
  static_cast<StoredState*>(h)->values[key] = {type, std::string(static_cast<const char*>(value), size)};
  return LV2_STATE_SUCCESS;
}

const void* Retrieve(LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags) {
  auto* s = static_cast<StoredState*>(h);
  auto it = s->values.find(key);
  if (it == s->values.end()) return nullptr;
  *size = it->second.bytes.size();
  *type = it->second.type;
  *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
  return it->second.bytes.data();
}

const LV2_State_Interface* StateOf(const Instance& inst) {
  return static_cast<const LV2_State_Interface*>(inst.Extension(LV2_STATE__interface));
}

StoredState Save(const Instance& inst) {
  StoredState s;
  EXPECT_EQ(StateOf(inst)->save(lilv_instance_get_handle(inst.Get()), Store, &s, 0, nullptr), LV2_STATE_SUCCESS);
  return s;
}

LV2_State_Status Restore(const Instance& inst, StoredState& s) {
  return StateOf(inst)->restore(lilv_instance_get_handle(inst.Get()), Retrieve, &s, 0, nullptr);
}

// n frames of the left output, run in 256-frame blocks, with a hit at the
// start and controller 74 moving at frame 300.
std::vector<float> Play(Instance& inst, int n) {
  std::vector<float> out;
  for (int start = 0; start < n; start += 256) {
    if (start == 0) inst.Midi(0, 0x90, 36, 110);
    if (start == 256) inst.Midi(44, 0xB0, 74, 10);
    if (start == 512) inst.Midi(0, 0x90, 36, 110);
    inst.Run(256);
    out.insert(out.end(), inst.Audio(1).begin(), inst.Audio(1).begin() + 256);
  }
  return out;
}

// Sets non-default ports and binds controller 74 to Decay through learning:
// learn on, Decay touched, the controller at frame 0 of a run, learn off
// right after it.
void Customise(World& world, Instance& inst) {
  // A short hold, so that Decay is heard within the renders compared.
  inst.Control(world.PortIndex("hold")) = 0.0f;
  inst.Control(world.PortIndex("pitch")) = -5.0f;
  inst.Control(world.PortIndex("distort")) = 0.9f;
  inst.Control(world.PortIndex("midi_accent_flag")) = 1.0f;
  inst.EditorParam(0, kLearn, 1.0);
  inst.Run(0);
  inst.Control(world.PortIndex("decay")) = 0.8f;
  inst.Run(0);
  inst.Midi(0, 0xB0, 74, 127);
  inst.EditorParam(1, kLearn, 0.0);
  inst.Run(2);
}

}  // namespace

TEST(Lv2State, SavedByLilvAndRestoredIntoANewInstanceRendersBitForBit) {
  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  UridMap urids;
  Instance a(world, urids, 48000.0);
  ASSERT_TRUE(a.Ok());
  Customise(world, a);

  // The host's own state: port values and ours, through its text form.
  std::pair<World*, Instance*> ctx{&world, &a};
  LilvState* state = lilv_state_new_from_instance(
      world.Plugin(), a.Get(), urids.MapFeature(), nullptr, nullptr, nullptr, nullptr,
      [](const char* sym, void* data, uint32_t* size, uint32_t* type) -> const void* {
        auto* c = static_cast<std::pair<World*, Instance*>*>(data);
        const int idx = c->first->PortIndex(sym);
        const LilvPort* port = lilv_plugin_get_port_by_index(c->first->Plugin(), static_cast<uint32_t>(idx));
        LilvNode* input = c->first->Uri(LV2_CORE__InputPort);
        LilvNode* control = c->first->Uri(LV2_CORE__ControlPort);
        const bool wanted = lilv_port_is_a(c->first->Plugin(), port, input) && lilv_port_is_a(c->first->Plugin(), port, control);
        lilv_node_free(input);
        lilv_node_free(control);
        if (!wanted) return nullptr;
        *size = sizeof(float);
        *type = c->second->FloatType();
        return &c->second->Control(idx);
      },
      &ctx, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, nullptr);
  ASSERT_NE(state, nullptr);
  char* text = lilv_state_to_string(world.Get(), urids.MapFeature(), urids.UnmapFeature(), state,
                                    "urn:quorvane:test-state", nullptr);
  ASSERT_NE(text, nullptr);
  EXPECT_NE(std::string(text).find("#params"), std::string::npos);
  EXPECT_NE(std::string(text).find("#controllers"), std::string::npos);
  LilvState* reread = lilv_state_new_from_string(world.Get(), urids.MapFeature(), text);
  lilv_free(text);
  lilv_state_free(state);
  ASSERT_NE(reread, nullptr);

  Instance b(world, urids, 48000.0);
  ASSERT_TRUE(b.Ok());
  std::pair<World*, Instance*> bctx{&world, &b};
  lilv_state_restore(
      reread, b.Get(),
      [](const char* sym, void* data, const void* value, uint32_t size, uint32_t) {
        auto* c = static_cast<std::pair<World*, Instance*>*>(data);
        if (size == sizeof(float)) std::memcpy(&c->second->Control(c->first->PortIndex(sym)), value, size);
      },
      &bctx, 0, nullptr);
  lilv_state_free(reread);
  EXPECT_EQ(b.Control(world.PortIndex("pitch")), -5.0f);
  // Our part of the state came through: Decay stands where the controller put it.
  const StoredState restored = Save(b);
  double values[17];
  std::memcpy(values, restored.values.at(urids.Map("urn:quorvane:kt412#params")).bytes.data(), sizeof values);
  EXPECT_EQ(values[kDecay], 1.0);

  // The voice carries the history of its settings into later hits, so the
  // restored instance is held against one given the same settings live at
  // the same frames: ports and learning in runs of no frames, the controller
  // at frame 0 of the first block, where the restored one hears it too.
  Instance c(world, urids, 48000.0);
  ASSERT_TRUE(c.Ok());
  c.Control(world.PortIndex("hold")) = 0.0f;
  c.Control(world.PortIndex("pitch")) = -5.0f;
  c.Control(world.PortIndex("distort")) = 0.9f;
  c.Control(world.PortIndex("midi_accent_flag")) = 1.0f;
  c.Control(world.PortIndex("decay")) = 0.5f;
  c.EditorParam(0, kLearn, 1.0);
  c.Run(0);
  c.Control(world.PortIndex("decay")) = 1.0f;
  c.Run(0);
  for (Instance* i : {&b, &c}) {
    i->Midi(0, 0xB0, 74, 127);
    i->EditorParam(1, kLearn, 0.0);
    i->Run(2);
  }
  const std::vector<float> rb = Play(b, 256 * 12);
  const std::vector<float> rc = Play(c, 256 * 12);
  size_t first = 0;
  while (first < rb.size() && std::memcmp(&rb[first], &rc[first], sizeof(float)) == 0) ++first;
  EXPECT_EQ(first, rb.size());
  // Controller 74 moved Decay in both: the binding came back with the state.
  const LV2_URID paramsKey = urids.Map("urn:quorvane:kt412#params");
  std::memcpy(values, Save(b).values.at(paramsKey).bytes.data(), sizeof values);
  EXPECT_EQ(values[kDecay], 10.0 / 127.0);
}

TEST(Lv2State, TheStateHoldsTheParametersAndTheLearnedBindings) {
  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  UridMap urids;
  Instance a(world, urids, 48000.0);
  ASSERT_TRUE(a.Ok());
  Customise(world, a);
  StoredState s = Save(a);
  const LV2_URID params = urids.Map("urn:quorvane:kt412#params");
  const LV2_URID controllers = urids.Map("urn:quorvane:kt412#controllers");
  ASSERT_EQ(s.values.count(params), 1u);
  ASSERT_EQ(s.values[params].bytes.size(), 136u);
  EXPECT_EQ(s.values[params].type, urids.Map(LV2_ATOM__Chunk));
  double values[17];
  std::memcpy(values, s.values[params].bytes.data(), sizeof values);
  EXPECT_EQ(values[kPitch], -5.0);
  EXPECT_EQ(values[kDecay], 1.0) << "controller 74 at 127 moved Decay after the port";
  EXPECT_EQ(values[kDistort], static_cast<double>(0.9f));
  ASSERT_EQ(s.values.count(controllers), 1u);
  const std::string& table = s.values[controllers].bytes;
  ASSERT_EQ(table.size(), 4u + 17u);
  EXPECT_EQ(table.substr(0, 4), "KTC1");
  EXPECT_EQ(static_cast<signed char>(table[4 + kDecay]), 74);

  // Restored into a new instance whose ports stand at their defaults: the
  // restored values hold until the host moves a port.
  Instance b(world, urids, 48000.0);
  ASSERT_TRUE(b.Ok());
  b.Run(64);
  ASSERT_EQ(Restore(b, s), LV2_STATE_SUCCESS);
  StoredState again = Save(b);
  EXPECT_EQ(again.values[params].bytes, s.values[params].bytes);
  b.Run(64);
  EXPECT_EQ(Save(b).values[params].bytes, s.values[params].bytes);
  b.Control(world.PortIndex("pitch")) = 7.0f;
  b.Run(64);
  std::memcpy(values, Save(b).values[params].bytes.data(), sizeof values);
  EXPECT_EQ(values[kPitch], 7.0);
  EXPECT_EQ(values[kDecay], 1.0);

  // A state without bindings (from a host that dropped them) is taken.
  StoredState paramsOnly;
  paramsOnly.values[params] = s.values[params];
  EXPECT_EQ(Restore(b, paramsOnly), LV2_STATE_SUCCESS);
}

TEST(Lv2State, LearnedAndClearedBindingsComeBackIntoAFreshInstance) {
  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  UridMap urids;
  Instance a(world, urids, 48000.0);
  ASSERT_TRUE(a.Ok());
  Customise(world, a);
  // Clear mode takes Pitch's controller away.
  a.EditorParam(0, kClear, 1.0);
  a.Run(0);
  a.Control(world.PortIndex("pitch")) = 2.0f;
  a.Run(0);
  a.EditorParam(0, kClear, 0.0);
  a.Run(0);
  StoredState s = Save(a);
  const LV2_URID controllers = urids.Map("urn:quorvane:kt412#controllers");
  const std::string table = s.values[controllers].bytes;
  ASSERT_EQ(table.size(), 21u);
  EXPECT_EQ(static_cast<signed char>(table[4 + kDecay]), 74);
  EXPECT_EQ(static_cast<signed char>(table[4 + kPitch]), -1);
  EXPECT_EQ(static_cast<signed char>(table[4 + kAccent]), -1) << "never learned: unbound from the start";

  Instance b(world, urids, 48000.0);
  ASSERT_TRUE(b.Ok());
  ASSERT_EQ(Restore(b, s), LV2_STATE_SUCCESS);
  EXPECT_EQ(Save(b).values[controllers].bytes, table);

  // Controller 74 moves Decay in the restored instance only; a fresh one
  // with the same ports keeps Decay where its port put it.
  Instance c(world, urids, 48000.0);
  ASSERT_TRUE(c.Ok());
  for (int port = 3; port < 16; ++port) c.Control(port) = b.Control(port) = a.Control(port);
  const std::vector<float> rb = Play(b, 256 * 12);
  const std::vector<float> rc = Play(c, 256 * 12);
  EXPECT_NE(std::memcmp(rb.data(), rc.data(), rb.size() * sizeof(float)), 0);
  double values[17];
  std::memcpy(values, Save(b).values.at(urids.Map("urn:quorvane:kt412#params")).bytes.data(), sizeof values);
  EXPECT_EQ(values[kDecay], 10.0 / 127.0);
  std::memcpy(values, Save(c).values.at(urids.Map("urn:quorvane:kt412#params")).bytes.data(), sizeof values);
  EXPECT_EQ(values[kDecay], static_cast<double>(0.8f));
}

TEST(Lv2State, AThousandCorruptStatesAreRefusedAndChangeNothing) {
  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  UridMap urids;
  Instance a(world, urids, 48000.0);
  Instance twin(world, urids, 48000.0);
  ASSERT_TRUE(a.Ok() && twin.Ok());
  Customise(world, a);
  Customise(world, twin);
  const StoredState good = Save(a);
  const LV2_URID params = urids.Map("urn:quorvane:kt412#params");
  const LV2_URID controllers = urids.Map("urn:quorvane:kt412#controllers");
  // A state that would change every value if it were taken.
  StoredState other = good;
  double values[17];
  std::memcpy(values, other.values[params].bytes.data(), sizeof values);
  for (int i = 0; i <= kDistort; ++i) values[i] = i == kPitch ? 3.0 : 0.125;
  other.values[params].bytes.assign(reinterpret_cast<const char*>(values), sizeof values);

  std::mt19937 rng(412);
  int refused = 0;
  for (int round = 0; round < 1000; ++round) {
    StoredState bad = other;
    std::string& p = bad.values[params].bytes;
    std::string& c = bad.values[controllers].bytes;
    const double nan = std::nan(""), inf = HUGE_VAL;
    switch (round % 10) {
      case 0: p.resize(rng() % 136); break;                      // short
      case 1: p.append(1 + rng() % 64, '\0'); break;             // long
      case 2: std::memcpy(&p[8 * (rng() % 17)], &nan, 8); break;  // not a number
      case 3: std::memcpy(&p[8 * (rng() % 17)], &inf, 8); break;
      case 4: {                                                   // out of its range
        const double v = (rng() % 2 ? 1.0 : -1.0) * (13.0 + rng() % 1000);
        std::memcpy(&p[8 * (rng() % 17)], &v, 8);
        break;
      }
      case 5: bad.values[params].type = urids.Map(LV2_ATOM__String); break;  // foreign type
      case 6: bad.values.erase(params); break;                                // missing
      case 7: c[rng() % 4] ^= static_cast<char>(1 + rng() % 255); break;      // foreign tag
      case 8: c[4 + rng() % 17] = static_cast<char>(-2 - static_cast<int>(rng() % 126)); break;
      case 9: c.resize(rng() % 21); break;
    }
    if (Restore(a, bad) != LV2_STATE_SUCCESS) ++refused;
  }
  EXPECT_EQ(refused, 1000);
  const StoredState after = Save(a);
  EXPECT_EQ(after.values.at(params).bytes, good.values.at(params).bytes);
  EXPECT_EQ(after.values.at(controllers).bytes, good.values.at(controllers).bytes);
  const std::vector<float> ra = Play(a, 256 * 8);
  const std::vector<float> rt = Play(twin, 256 * 8);
  EXPECT_EQ(std::memcmp(ra.data(), rt.data(), ra.size() * sizeof(float)), 0);
}

TEST(Lv2Instances, FiveHundredInstantiateAndFreeCyclesAtChangingRates) {
  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  UridMap urids;
  const double rates[] = {44100.0, 48000.0, 96000.0, 22050.0, 192000.0};
  for (int i = 0; i < 500; ++i) {
    Instance inst(world, urids, rates[i % 5], 64 << (i % 4), i % 3 != 0);
    ASSERT_TRUE(inst.Ok()) << i;
    inst.Midi(i % 64, 0x90, 36, 100);
    inst.Run(static_cast<uint32_t>(1 + i % 700));
  }
}

TEST(Lv2Instances, WithoutAUridMapOrWithABadRateNoInstanceIsMade) {
  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  const LV2_Feature* none[] = {nullptr};
  EXPECT_EQ(lilv_plugin_instantiate(world.Plugin(), 48000.0, none), nullptr);
  UridMap urids;
  LV2_Feature map = {LV2_URID__map, urids.MapFeature()};
  const LV2_Feature* withMap[] = {&map, nullptr};
  EXPECT_EQ(lilv_plugin_instantiate(world.Plugin(), 0.0, withMap), nullptr);
  EXPECT_EQ(lilv_plugin_instantiate(world.Plugin(), std::nan(""), withMap), nullptr);
  LilvInstance* ok = lilv_plugin_instantiate(world.Plugin(), 48000.0, withMap);
  ASSERT_NE(ok, nullptr);
  lilv_instance_free(ok);
}
