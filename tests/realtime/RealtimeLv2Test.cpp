// The LV2 plug-in's run call never waits: driven as a host drives it (every
// control port automated every block, MIDI, the editor's messages), while a
// second thread saves the state, connects an editor and reads the LED, the
// audio thread makes no call the interposer watches.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include "RealtimeInterposer.h"
#include "lv2/plugin/Kt412Lv2.h"
#include "util/UTIL_SpscQueue.h"

namespace {

// URIs to numbers as a host keeps them; guarded, since a host maps on any thread.
class UridMap {
public:
  UridMap() {
    mMap.handle = this;
    mMap.map = [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<UridMap*>(h)->Map(uri); };
  }
  LV2_URID Map(const std::string& uri) {
    std::lock_guard<std::mutex> lock(mMutex);
    auto it = mIds.find(uri);
    if (it != mIds.end()) return it->second;
    const LV2_URID id = static_cast<LV2_URID>(mIds.size() + 1);
    mIds[uri] = id;
    return id;
  }
  LV2_URID_Map* Feature() { return &mMap; }

private:
  LV2_URID_Map mMap{};
  std::mutex mMutex;
  std::map<std::string, LV2_URID> mIds;
};

// A change the editor sends: a parameter without a port and its value.
struct EditorMsg {
  int paramIdx = 0;
  double value = 0.0;
};

LV2_State_Status Store(LV2_State_Handle h, uint32_t, const void* value, size_t size, uint32_t, uint32_t) {
  static_cast<std::string*>(h)->append(static_cast<const char*>(value), size);
  return LV2_STATE_SUCCESS;
}

}  // namespace

TEST(RealtimeSafety, TheLv2RunNeverWaitsWhileAnotherThreadSavesAndConnectsAnEditor) {
  void* lib = dlopen(KT_LV2_DSP, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto entry = reinterpret_cast<const LV2_Descriptor* (*)(uint32_t)>(dlsym(lib, "lv2_descriptor"));
  ASSERT_NE(entry, nullptr);
  const LV2_Descriptor* desc = entry(0);
  ASSERT_NE(desc, nullptr);

  constexpr int kFrames = 64;
  constexpr int kBlocks = 20000;
  UridMap urids;
  int32_t maxBlock = kFrames;
  const LV2_Options_Option options[] = {
      {LV2_OPTIONS_INSTANCE, 0, urids.Map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), urids.Map(LV2_ATOM__Int),
       &maxBlock},
      {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
  const LV2_Feature mapFeature = {LV2_URID__map, urids.Feature()};
  const LV2_Feature optionsFeature = {LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
  const LV2_Feature* features[] = {&mapFeature, &optionsFeature, nullptr};
  LV2_Handle h = desc->instantiate(desc, 48000.0, nullptr, features);
  ASSERT_NE(h, nullptr);
  const auto* state = static_cast<const LV2_State_Interface*>(desc->extension_data(LV2_STATE__interface));
  ASSERT_NE(state, nullptr);

  // The ports as the description lays them out, from the instrument's own table.
  QiKt412 ranges("");
  const Lv2PortLayout layout(ranges, Kt412PortRoles());
  std::vector<float> controls(static_cast<size_t>(layout.NPorts()), 0.0f);
  std::vector<float> left(kFrames), right(kFrames);
  std::vector<uint64_t> events(2048), notify(2048);
  int led = -1;
  for (const Lv2Port& port : layout.Ports()) {
    void* data = &controls[static_cast<size_t>(port.index)];
    if (port.kind == Lv2Port::kMidiIn) data = events.data();
    if (port.kind == Lv2Port::kNotifyOut) data = notify.data();
    if (port.index == Lv2PortLayout::kOutLeft) data = left.data();
    if (port.index == Lv2PortLayout::kOutRight) data = right.data();
    if (port.kind == Lv2Port::kControlOut) led = port.index;
    desc->connect_port(h, static_cast<uint32_t>(port.index), data);
  }
  ASSERT_GE(led, 0);
  desc->activate(h);

  const std::string uri = kKt412Lv2Uri;
  const LV2_URID midiType = urids.Map(LV2_MIDI__MidiEvent), editorMsg = urids.Map(uri + "#EditorParam"),
                 paramIndex = urids.Map(uri + "#paramIndex"), paramValue = urids.Map(uri + "#paramValue");
  LV2_Atom_Forge forge;
  lv2_atom_forge_init(&forge, urids.Feature());
  // The editor's messages travel to the audio thread as a host carries them.
  UTIL_SpscQueue<EditorMsg, 256> toDsp;
  std::atomic<float> ledShown{0.0f};
  std::atomic<bool> audioDone{false};
  long blocks = 0, unsound = 0, delivered = 0, litBlocks = 0;
  float peak = 0.0f;

  rtcheck::ResetCounts();
  std::thread audio([&] {
    for (int blk = 0; blk < kBlocks; ++blk) {
      // Every input port moves every block; the pad is pressed now and then.
      for (const Lv2Port& port : layout.Ports()) {
        if (port.kind != Lv2Port::kControlIn && port.kind != Lv2Port::kTriggerIn) continue;
        const IParam* p = ranges.GetParam(port.paramIdx);
        float v = static_cast<float>(p->GetMin() + ((blk + port.index) % 10) / 9.0 * (p->GetMax() - p->GetMin()));
        if (port.kind == Lv2Port::kTriggerIn) v = blk % 50 == 0 ? 1.0f : 0.0f;
        controls[static_cast<size_t>(port.index)] = v;
      }
      lv2_atom_forge_set_buffer(&forge, reinterpret_cast<uint8_t*>(events.data()), events.size() * sizeof(uint64_t));
      LV2_Atom_Forge_Frame seq;
      lv2_atom_forge_sequence_head(&forge, &seq, 0);
      auto midi = [&](int64_t frame, uint8_t status, uint8_t d1, uint8_t d2) {
        const uint8_t msg[3] = {status, d1, d2};
        lv2_atom_forge_frame_time(&forge, frame);
        lv2_atom_forge_atom(&forge, 3, midiType);
        lv2_atom_forge_write(&forge, msg, 3);
      };
      if (blk % 40 == 20) midi((blk * 13) % kFrames, 0x90, static_cast<uint8_t>(33 + blk % 24), 100);
      midi((blk * 7) % kFrames, 0xB0, 74, static_cast<uint8_t>(blk % 128));
      for (EditorMsg m; toDsp.Pop(&m);) {
        lv2_atom_forge_frame_time(&forge, kFrames / 2);
        LV2_Atom_Forge_Frame obj;
        lv2_atom_forge_object(&forge, &obj, 0, editorMsg);
        lv2_atom_forge_key(&forge, paramIndex);
        lv2_atom_forge_int(&forge, m.paramIdx);
        lv2_atom_forge_key(&forge, paramValue);
        lv2_atom_forge_double(&forge, m.value);
        lv2_atom_forge_pop(&forge, &obj);
        ++delivered;
      }
      lv2_atom_forge_pop(&forge, &seq);

      // The notification output's room, as a host hands it over before each run.
      auto* out = reinterpret_cast<LV2_Atom*>(notify.data());
      out->type = 0;
      out->size = static_cast<uint32_t>(notify.size() * sizeof(uint64_t) - sizeof(LV2_Atom));

      rtcheck::SetInRender(true);
      desc->run(h, kFrames);
      rtcheck::SetInRender(false);

      for (int i = 0; i < kFrames; ++i) {
        const float v = left[static_cast<size_t>(i)];
        if (!std::isfinite(v) || v != right[static_cast<size_t>(i)]) ++unsound;
        peak = std::max(peak, std::fabs(v));
      }
      // The host hands the LED's value to whoever shows it.
      const float lit = controls[static_cast<size_t>(led)];
      litBlocks += lit != 0.0f ? 1 : 0;
      ledShown.store(lit, std::memory_order_relaxed);
      ++blocks;
    }
    audioDone = true;
  });

  long saves = 0, editorsConnected = 0, ledReads = 0;
  std::thread control([&] {
    for (int round = 0; !audioDone.load(); ++round) {
      // The host saves the session meanwhile.
      std::string saved;
      if (state->save(h, Store, &saved, LV2_STATE_IS_POD, nullptr) == LV2_STATE_SUCCESS && !saved.empty()) ++saves;
      // An editor connects: it shows the LED and works learn and clear.
      if (round % 4 == 0) {
        ++editorsConnected;
        for (int idx : {kLearn, kClear})
          for (double v : {1.0, 0.0}) toDsp.Push(EditorMsg{idx, v});
      }
      ledReads += ledShown.load(std::memory_order_relaxed) >= 0.0f ? 1 : 0;
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
  });
  audio.join();
  control.join();

  const long violations = rtcheck::Violations();
  std::printf("realtime lv2: %ld runs, %ld states saved, %ld editors connected (%ld messages), %ld LED reads, "
              "%ld blocks lit; %ld calls by the audio thread in run (%ld locks), first: %s\n",
              blocks, saves, editorsConnected, delivered, ledReads, litBlocks, violations, rtcheck::LocksInRender(),
              rtcheck::FirstViolation());
  EXPECT_EQ(violations, 0) << "first: " << rtcheck::FirstViolation();
  EXPECT_EQ(rtcheck::LocksInRender(), 0);
  EXPECT_EQ(blocks, kBlocks);
  EXPECT_EQ(unsound, 0);
  EXPECT_GT(peak, 0.05f) << "the pad and the notes were heard";
  EXPECT_GT(litBlocks, kBlocks / 2);
  EXPECT_GT(saves, 10);
  EXPECT_GT(delivered, 10);

  desc->deactivate(h);
  desc->cleanup(h);
  dlclose(lib);
}
