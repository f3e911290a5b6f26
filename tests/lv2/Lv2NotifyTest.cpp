// The editor shows what sounds: every parameter change the ports did not
// make reaches the notification port at the end of the run, in a lilv host.
#include <gtest/gtest.h>

#include <lv2/atom/util.h>

#include <functional>
#include <map>
#include <string>

#include "instrument/QiKt412.h"
#include "lv2/Lv2Rig.h"

using lv2test::Instance;
using lv2test::UridMap;
using lv2test::World;

namespace {

// Parameter index -> value of the messages the last run wrote.
std::map<int, double> Notified(const Instance& inst, UridMap& urids) {
  std::map<int, double> out;
  const LV2_Atom_Sequence* seq = inst.Notifications();
  EXPECT_EQ(seq->atom.type, urids.Map(LV2_ATOM__Sequence));
  const LV2_URID msg = urids.Map("urn:quorvane:kt412#EditorParam");
  LV2_ATOM_SEQUENCE_FOREACH(seq, ev) {
    const auto* obj = reinterpret_cast<const LV2_Atom_Object*>(&ev->body);
    EXPECT_EQ(obj->body.otype, msg);
    const LV2_Atom* index = nullptr;
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(obj, urids.Map("urn:quorvane:kt412#paramIndex"), &index,
                        urids.Map("urn:quorvane:kt412#paramValue"), &value, 0);
    if (index && value)
      out[reinterpret_cast<const LV2_Atom_Int*>(index)->body] = reinterpret_cast<const LV2_Atom_Double*>(value)->body;
  }
  return out;
}

}  // namespace

TEST(Lv2Notify, LearnedControllersAndControllerZeroAreToldAndPortMovesAreNot) {
  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  UridMap urids;
  Instance inst(world, urids, 48000.0);
  ASSERT_TRUE(inst.Ok());
  inst.Run(64);
  // Learn controller 74 for Decay, as the editor and the host do it.
  inst.EditorParam(0, kLearn, 1.0);
  inst.Run(0);
  inst.Control(world.PortIndex("decay")) = 0.8f;
  inst.Run(0);
  EXPECT_EQ(Notified(inst, urids).count(kDecay), 0u) << "the host shows its own port";
  inst.Midi(0, 0xB0, 74, 127);
  inst.EditorParam(1, kLearn, 0.0);
  inst.Run(2);
  std::map<int, double> told = Notified(inst, urids);
  ASSERT_EQ(told.count(kDecay), 1u);
  EXPECT_EQ(told[kDecay], 1.0) << "the controller's value, not the port's 0.8";

  // Controller 0 (Bank Select) moves nothing until learned; learned for
  // MidiAccentFlag, it switches the accent to MIDI velocity; a moved port is not told.
  inst.Midi(5, 0xB0, 0, 127);
  inst.Run(32);
  EXPECT_TRUE(Notified(inst, urids).empty());
  inst.EditorParam(0, kLearn, 1.0);
  inst.Run(0);
  inst.Control(world.PortIndex("midi_accent_flag")) = 1.0f;  // the learn target
  inst.Run(0);
  inst.Control(world.PortIndex("midi_accent_flag")) = 0.0f;
  inst.Run(0);
  inst.Midi(0, 0xB0, 0, 0);
  inst.EditorParam(1, kLearn, 0.0);
  inst.Run(2);
  Notified(inst, urids);
  inst.Control(world.PortIndex("pitch")) = 3.0f;
  inst.Midi(5, 0xB0, 0, 127);
  inst.Run(32);
  told = Notified(inst, urids);
  EXPECT_EQ(told, (std::map<int, double>{{kMidiAccentFlag, 1.0}}));
  inst.Run(32);
  EXPECT_TRUE(Notified(inst, urids).empty()) << "told once";

  // An editor that opens asks for everything the ports do not show.
  inst.EditorParam(0, -1, 0.0);
  inst.Run(32);
  told = Notified(inst, urids);
  EXPECT_EQ(told.count(kDecay), 1u);
  EXPECT_EQ(told.count(kMidiAccentFlag), 1u);
  EXPECT_EQ(told.count(kLearn), 1u);
  EXPECT_EQ(told.count(kTrigger) + told.count(kLed) + told.count(kLeft) + told.count(kRight), 0u);
}

TEST(Lv2Notify, ARestoredStateIsToldAndWhatDoesNotFitComesNextRun) {
  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  UridMap urids;
  Instance a(world, urids, 48000.0), b(world, urids, 48000.0);
  ASSERT_TRUE(a.Ok() && b.Ok());
  a.Control(world.PortIndex("pitch")) = -8.0f;
  a.Control(world.PortIndex("distort")) = 0.25f;
  a.Run(16);
  b.Run(16);
  const auto* state = static_cast<const LV2_State_Interface*>(a.Extension(LV2_STATE__interface));
  std::map<uint32_t, std::string> saved;
  auto store = [](LV2_State_Handle h, uint32_t key, const void* value, size_t size, uint32_t, uint32_t) {
    (*static_cast<std::map<uint32_t, std::string>*>(h))[key] = std::string(static_cast<const char*>(value), size);
    return LV2_STATE_SUCCESS;
  };
  ASSERT_EQ(state->save(lilv_instance_get_handle(a.Get()), store, &saved, 0, nullptr), LV2_STATE_SUCCESS);
  struct Ctx {
    std::map<uint32_t, std::string>* values;
    uint32_t chunk;
  } ctx{&saved, urids.Map(LV2_ATOM__Chunk)};
  auto retrieve = [](LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags) -> const void* {
    auto* c = static_cast<Ctx*>(h);
    auto it = c->values->find(key);
    if (it == c->values->end()) return nullptr;
    *size = it->second.size();
    *type = c->chunk;
    *flags = 0;
    return it->second.data();
  };
  ASSERT_EQ(state->restore(lilv_instance_get_handle(b.Get()), retrieve, &ctx, 0, nullptr), LV2_STATE_SUCCESS);
  // Room for one message only: the second waits for the next run.
  b.SetNotifyCapacity(sizeof(LV2_Atom_Sequence) + 80);
  b.Run(16);
  std::map<int, double> told = Notified(b, urids);
  EXPECT_EQ(told, (std::map<int, double>{{kPitch, -8.0}}));
  b.SetNotifyCapacity(4096);
  b.Run(16);
  told = Notified(b, urids);
  EXPECT_EQ(told, (std::map<int, double>{{kDistort, static_cast<double>(0.25f)}}));
}

// Only a few things change a value off the ports; whichever it was, the
// editor hears of it once, also when the notification port was away from
// the run in which it changed, and a port the host moved is never told.
TEST(Lv2Notify, EachChangeOffThePortsIsToldOnceWhenThePortIsThere) {
  World world;
  ASSERT_NE(world.Plugin(), nullptr);
  UridMap urids;
  struct Case {
    const char* name;
    std::function<void(Instance&)> change;
    std::map<int, double> told;
  };
  const Case cases[] = {
      {"a learned controller", [](Instance& i) { i.Midi(3, 0xB0, 74, 127); }, {{kDecay, 1.0}}},
      {"a controller nobody learned", [](Instance& i) { i.Midi(3, 0xB0, 75, 127); }, {}},
      {"the editor switching learn on", [](Instance& i) { i.EditorParam(3, kLearn, 1.0); }, {{kLearn, 1.0}}},
      {"a note", [](Instance& i) { i.Midi(3, 0x90, 40, 100); }, {}},
      {"a port", [&world](Instance& i) { i.Control(world.PortIndex("pitch")) = 5.0f; }, {}},
  };
  for (const bool away : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (away ? ", the port away" : ""));
      Instance inst(world, urids, 48000.0);
      ASSERT_TRUE(inst.Ok());
      // Controller 74 learned for Decay at 0, then everything told.
      inst.EditorParam(0, kLearn, 1.0);
      inst.Run(0);
      inst.Control(world.PortIndex("decay")) = 0.8f;
      inst.Run(0);
      inst.Midi(0, 0xB0, 74, 0);
      inst.EditorParam(1, kLearn, 0.0);
      inst.Run(16);
      inst.Run(16);
      ASSERT_TRUE(Notified(inst, urids).empty());

      const int notify = world.PortIndex("notify");
      void* buffer = const_cast<LV2_Atom_Sequence*>(inst.Notifications());
      if (away) lilv_instance_connect_port(inst.Get(), static_cast<uint32_t>(notify), nullptr);
      c.change(inst);
      inst.Run(16);
      if (away) {
        lilv_instance_connect_port(inst.Get(), static_cast<uint32_t>(notify), buffer);
        inst.Run(16);
      }
      EXPECT_EQ(Notified(inst, urids), c.told);
      inst.Run(16);
      EXPECT_TRUE(Notified(inst, urids).empty()) << "told once";
    }
  }
}
