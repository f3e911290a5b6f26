// A small LV2 host on lilv for the tests: the world, a URID map, instances
// with their port buffers, MIDI and editor events per block, and state.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace lv2test {

constexpr const char* kUri = "urn:quorvane:kt412";

// URIs to numbers and back, as a host keeps them (not thread-safe; the tests map from one thread).
class UridMap {
public:
  UridMap() {
    mMap.handle = this;
    mMap.map = [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<UridMap*>(h)->Map(uri); };
    mUnmap.handle = this;
    mUnmap.unmap = [](LV2_URID_Unmap_Handle h, LV2_URID urid) {
      auto* self = static_cast<UridMap*>(h);
      return urid >= 1 && urid <= self->mUris.size() ? self->mUris[urid - 1].c_str() : nullptr;
    };
  }
  LV2_URID Map(const char* uri) {
    auto it = mIds.find(uri);
    if (it != mIds.end()) return it->second;
    mUris.push_back(uri);
    return mIds[uri] = static_cast<LV2_URID>(mUris.size());
  }
  LV2_URID_Map* MapFeature() { return &mMap; }
  LV2_URID_Unmap* UnmapFeature() { return &mUnmap; }

private:
  LV2_URID_Map mMap{};
  LV2_URID_Unmap mUnmap{};
  std::map<std::string, LV2_URID> mIds;
  std::vector<std::string> mUris;
};

// The world with the bundle found through LV2_PATH, and the plug-in in it.
class World {
public:
  World() {
    mWorld = lilv_world_new();
    lilv_world_load_all(mWorld);
    LilvNode* uri = lilv_new_uri(mWorld, kUri);
    mPlugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(mWorld), uri);
    lilv_node_free(uri);
  }
  ~World() { lilv_world_free(mWorld); }
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  LilvWorld* Get() const { return mWorld; }
  const LilvPlugin* Plugin() const { return mPlugin; }
  // An owned node for a URI; freed with the world's helper below.
  LilvNode* Uri(const char* uri) const { return lilv_new_uri(mWorld, uri); }

  int PortIndex(const char* symbol) const {
    LilvNode* sym = lilv_new_string(mWorld, symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(mPlugin, sym);
    lilv_node_free(sym);
    return port ? static_cast<int>(lilv_port_get_index(mPlugin, port)) : -1;
  }

private:
  LilvWorld* mWorld = nullptr;
  const LilvPlugin* mPlugin = nullptr;
};

// One running instance with buffers for every port, as a host sets it up.
class Instance {
public:
  static constexpr uint32_t kMaxBlock = 8192;
  static constexpr uint32_t kEventBytes = 16384;

  Instance(World& world, UridMap& urids, double rate, int maxBlock = 4096, bool withOptions = true)
      : mWorld(world), mUrids(urids) {
    mMaxBlock = maxBlock;
    mRate = static_cast<float>(rate);
    mOptions = {
        {LV2_OPTIONS_INSTANCE, 0, urids.Map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), urids.Map(LV2_ATOM__Int), &mMaxBlock},
        {LV2_OPTIONS_INSTANCE, 0, urids.Map(LV2_PARAMETERS__sampleRate), sizeof(float), urids.Map(LV2_ATOM__Float), &mRate},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    mMapFeature = {LV2_URID__map, urids.MapFeature()};
    mUnmapFeature = {LV2_URID__unmap, urids.UnmapFeature()};
    mOptionsFeature = {LV2_OPTIONS__options, mOptions.data()};
    mBoundedFeature = {LV2_BUF_SIZE__boundedBlockLength, nullptr};
    mFeatures = {&mMapFeature, &mUnmapFeature};
    if (withOptions) {
      mFeatures.push_back(&mOptionsFeature);
      mFeatures.push_back(&mBoundedFeature);
    }
    mFeatures.push_back(nullptr);
    mInstance = lilv_plugin_instantiate(world.Plugin(), rate, mFeatures.data());
    if (!mInstance) return;

    const uint32_t nPorts = lilv_plugin_get_num_ports(world.Plugin());
    mControls.assign(nPorts, 0.0f);
    mAudio.assign(nPorts, std::vector<float>());
    std::vector<float> mins(nPorts), maxs(nPorts), defs(nPorts);
    lilv_plugin_get_port_ranges_float(world.Plugin(), mins.data(), maxs.data(), defs.data());
    LilvNode* audio = world.Uri(LV2_CORE__AudioPort);
    LilvNode* atom = world.Uri(LV2_ATOM__AtomPort);
    LilvNode* output = world.Uri(LV2_CORE__OutputPort);
    for (uint32_t i = 0; i < nPorts; ++i) {
      const LilvPort* port = lilv_plugin_get_port_by_index(world.Plugin(), i);
      if (lilv_port_is_a(world.Plugin(), port, audio)) {
        mAudio[i].assign(kMaxBlock, 0.0f);
        lilv_instance_connect_port(mInstance, i, mAudio[i].data());
      } else if (lilv_port_is_a(world.Plugin(), port, atom) && lilv_port_is_a(world.Plugin(), port, output)) {
        lilv_instance_connect_port(mInstance, i, mNotify.data());
      } else if (lilv_port_is_a(world.Plugin(), port, atom)) {
        mEventPort = i;
        lilv_instance_connect_port(mInstance, i, mEvents.data());
      } else {
        mControls[i] = std::isnan(defs[i]) ? 0.0f : defs[i];
        lilv_instance_connect_port(mInstance, i, &mControls[i]);
      }
    }
    lilv_node_free(audio);
    lilv_node_free(atom);
    lilv_node_free(output);
    mSeqType = urids.Map(LV2_ATOM__Sequence);
    mMidiType = urids.Map(LV2_MIDI__MidiEvent);
    lv2_atom_forge_init(&mForge, urids.MapFeature());
    BeginEvents();
    lilv_instance_activate(mInstance);
  }
  ~Instance() {
    if (!mInstance) return;
    lilv_instance_deactivate(mInstance);
    lilv_instance_free(mInstance);
  }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  bool Ok() const { return mInstance != nullptr; }
  LV2_URID FloatType() const { return mUrids.Map(LV2_ATOM__Float); }
  LilvInstance* Get() const { return mInstance; }
  float& Control(int port) { return mControls[static_cast<size_t>(port)]; }
  const std::vector<float>& Audio(int port) const { return mAudio[static_cast<size_t>(port)]; }

  // Events for the next run, in frame order.
  void Midi(int64_t frame, uint8_t status, uint8_t d1, uint8_t d2, uint32_t size = 3) {
    const uint8_t msg[3] = {status, d1, d2};
    lv2_atom_forge_frame_time(&mForge, frame);
    lv2_atom_forge_atom(&mForge, size, mMidiType);
    lv2_atom_forge_write(&mForge, msg, size);
  }
  // The editor's message setting a parameter that has no port.
  void EditorParam(int64_t frame, int paramIdx, double value) {
    lv2_atom_forge_frame_time(&mForge, frame);
    LV2_Atom_Forge_Frame obj;
    lv2_atom_forge_object(&mForge, &obj, 0, mUrids.Map((std::string(kUri) + "#EditorParam").c_str()));
    lv2_atom_forge_key(&mForge, mUrids.Map((std::string(kUri) + "#paramIndex").c_str()));
    lv2_atom_forge_int(&mForge, paramIdx);
    lv2_atom_forge_key(&mForge, mUrids.Map((std::string(kUri) + "#paramValue").c_str()));
    lv2_atom_forge_double(&mForge, value);
    lv2_atom_forge_pop(&mForge, &obj);
  }
  // Runs one block with the queued events, then starts a new, empty sequence.
  void Run(uint32_t nFrames) {
    // As a host does: the notification port's capacity as its atom's size.
    auto* notify = reinterpret_cast<LV2_Atom*>(mNotify.data());
    notify->type = 0;
    notify->size = static_cast<uint32_t>(mNotifyCapacity - sizeof(LV2_Atom));
    if (mMisaligned) {
      const auto* seq = reinterpret_cast<const LV2_Atom*>(mEvents.data());
      std::memcpy(reinterpret_cast<char*>(mShadow.data()) + 4, mEvents.data(), sizeof(LV2_Atom) + seq->size);
    }
    lilv_instance_run(mInstance, nFrames);
    BeginEvents();
  }
  // From now on the events reach the plug-in in a buffer aligned to 4
  // bytes only, as some hosts hand them over.
  void MisalignEvents() {
    mMisaligned = true;
    lilv_instance_connect_port(mInstance, mEventPort, reinterpret_cast<char*>(mShadow.data()) + 4);
  }

  const void* Extension(const char* uri) const { return lilv_instance_get_extension_data(mInstance, uri); }
  // What the last run wrote on the notification port (a sequence).
  const LV2_Atom_Sequence* Notifications() const {
    return reinterpret_cast<const LV2_Atom_Sequence*>(mNotify.data());
  }
  // The room the next runs give the notification port, header included.
  void SetNotifyCapacity(size_t bytes) { mNotifyCapacity = std::min(bytes, mNotify.size() * sizeof(uint64_t)); }

private:
  void BeginEvents() {
    // The sequence stays open while events are added; the forge keeps a
    // pointer to its frame, so the frame lives as long as the instance.
    lv2_atom_forge_set_buffer(&mForge, reinterpret_cast<uint8_t*>(mEvents.data()), kEventBytes);
    lv2_atom_forge_sequence_head(&mForge, &mSeqFrame, 0);
  }

  World& mWorld;
  UridMap& mUrids;
  int32_t mMaxBlock;
  float mRate;
  std::vector<LV2_Options_Option> mOptions;
  LV2_Feature mMapFeature{}, mUnmapFeature{}, mOptionsFeature{}, mBoundedFeature{};
  std::vector<const LV2_Feature*> mFeatures;
  LilvInstance* mInstance = nullptr;
  std::vector<float> mControls;
  std::vector<std::vector<float>> mAudio;
  std::vector<uint64_t> mEvents = std::vector<uint64_t>(kEventBytes / sizeof(uint64_t));
  std::vector<uint64_t> mShadow = std::vector<uint64_t>(kEventBytes / sizeof(uint64_t) + 1);
  std::vector<uint64_t> mNotify = std::vector<uint64_t>(kEventBytes / sizeof(uint64_t));
  size_t mNotifyCapacity = kEventBytes;
  bool mMisaligned = false;
  uint32_t mEventPort = 0;
  LV2_URID mSeqType = 0, mMidiType = 0;
  LV2_Atom_Forge mForge{};
  LV2_Atom_Forge_Frame mSeqFrame{};
};

}  // namespace lv2test
