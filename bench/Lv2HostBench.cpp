// A small LV2 host on lilv that measures what a plug-in costs a host: it runs
// any installed LV2 instrument (ours by default) for 600 s of audio with a
// hit every 0.5 s, and prints the CPU time of the run calls per second of
// audio. Any LV2 plug-in on the machine can be put beside ours this way:
//
//   bench_lv2_host [URI] [--block N] [--seconds S] [--rate HZ] [--note N] [--runs N]
//   bench_lv2_host [URI] --instantiate-only
//
// The second form prints how long the first instantiation in a fresh process
// takes (the library loaded, the instance made and activated), wall and CPU
// time: run it several times beside another build (LV2_PATH) and compare
// medians.
//
// The plug-in is instantiated with a URID map and unmap, and the options
// (sample rate, nominal and maximum block length) hosts usually give. Audio
// inputs and CV ports get silence, control inputs their default values, the
// first MIDI (atom sequence) input a note-on every half second (and its
// note-off a quarter second later), atom outputs an empty buffer each run.
// Only the run calls are counted, on this thread's CPU clock: a pass over the
// audio without them (filling the event buffers) is timed first and taken off;
// instantiation and activation are not counted.
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/urid/urid.h>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lv2/Lv2Rig.h"

namespace {

constexpr const char* kOurUri = "urn:quorvane:kt412";

struct Options {
  std::string uri = kOurUri;
  int block = 512;
  double seconds = 600.0;
  double rate = 48000.0;
  int note = 36;
  int runs = 1;
  bool instantiateOnly = false;
};

using lv2test::UridMap;  // the tests' host map, shared

double WallSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

bool ParseArgs(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&](double* v) {
      if (i + 1 >= argc) return false;
      char* end = nullptr;
      *v = std::strtod(argv[++i], &end);
      return end && *end == '\0' && std::isfinite(*v);
    };
    double v = 0.0;
    if (a == "--block" && next(&v) && v >= 1 && v <= 8192) {
      o->block = static_cast<int>(v);
    } else if (a == "--seconds" && next(&v) && v > 0 && v <= 36000) {
      o->seconds = v;
    } else if (a == "--rate" && next(&v) && v >= 8000 && v <= 384000) {
      o->rate = v;
    } else if (a == "--note" && next(&v) && v >= 0 && v <= 127) {
      o->note = static_cast<int>(v);
    } else if (a == "--runs" && next(&v) && v >= 1 && v <= 100) {
      o->runs = static_cast<int>(v);
    } else if (a == "--instantiate-only") {
      o->instantiateOnly = true;
    } else if (!a.empty() && a[0] != '-') {
      o->uri = a;
    } else {
      std::fprintf(stderr, "bench_lv2_host: bad argument %s\n", a.c_str());
      return false;
    }
  }
  return true;
}

// One MIDI event of a sequence: the event header and three bytes, padded to 8.
struct MidiEvent {
  LV2_Atom_Event head;
  uint8_t msg[8];
};

}  // namespace

int main(int argc, char** argv) {
  Options opts;
  if (!ParseArgs(argc, argv, &opts)) {
    std::fprintf(stderr, "usage: bench_lv2_host [URI] [--block N] [--seconds S] [--rate HZ] [--note N] [--runs N]\n"
                         "       bench_lv2_host [URI] --instantiate-only\n");
    return 2;
  }

  LilvWorld* world = lilv_world_new();
  lilv_world_load_all(world);
  LilvNode* uri = lilv_new_uri(world, opts.uri.c_str());
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
#ifdef KT_LV2_BUILD_BUNDLE
  if (!plugin && opts.uri == kOurUri) {
    // Ours from the build tree when it is not installed.
    LilvNode* bundle = lilv_new_file_uri(world, nullptr, KT_LV2_BUILD_BUNDLE "/");
    lilv_world_load_bundle(world, bundle);
    lilv_node_free(bundle);
    plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
  }
#endif
  if (!plugin) {
    std::fprintf(stderr, "bench_lv2_host: no LV2 plug-in %s (LV2_PATH?)\n", opts.uri.c_str());
    return 1;
  }

  UridMap urids;
  const LV2_URID atomInt = urids.Map(LV2_ATOM__Int), atomFloat = urids.Map(LV2_ATOM__Float);
  const LV2_URID atomSequence = urids.Map(LV2_ATOM__Sequence), atomChunk = urids.Map(LV2_ATOM__Chunk);
  const LV2_URID midiEvent = urids.Map(LV2_MIDI__MidiEvent);
  int32_t blockLength = opts.block, minBlock = 1;
  float rate = static_cast<float>(opts.rate);
  const LV2_Options_Option options[] = {
      {LV2_OPTIONS_INSTANCE, 0, urids.Map(LV2_BUF_SIZE__minBlockLength), sizeof(int32_t), atomInt, &minBlock},
      {LV2_OPTIONS_INSTANCE, 0, urids.Map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), atomInt, &blockLength},
      {LV2_OPTIONS_INSTANCE, 0, urids.Map(LV2_BUF_SIZE__nominalBlockLength), sizeof(int32_t), atomInt, &blockLength},
      {LV2_OPTIONS_INSTANCE, 0, urids.Map(LV2_PARAMETERS__sampleRate), sizeof(float), atomFloat, &rate},
      {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
  const LV2_Feature mapFeature{LV2_URID__map, urids.MapFeature()};
  const LV2_Feature unmapFeature{LV2_URID__unmap, urids.UnmapFeature()};
  const LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
  const LV2_Feature boundedFeature{LV2_BUF_SIZE__boundedBlockLength, nullptr};
  const LV2_Feature* features[] = {&mapFeature, &unmapFeature, &optionsFeature, &boundedFeature, nullptr};

  const double wall0 = WallSeconds(), cpu0 = ThreadCpuSeconds();
  LilvInstance* instance = lilv_plugin_instantiate(plugin, opts.rate, features);
  if (!instance) {
    std::fprintf(stderr, "bench_lv2_host: %s did not instantiate (a feature it requires is missing?)\n",
                 opts.uri.c_str());
    return 1;
  }
  if (opts.instantiateOnly) {
    lilv_instance_activate(instance);
    const double wall = WallSeconds() - wall0, cpu = ThreadCpuSeconds() - cpu0;
    std::printf("%s  first instantiation and activation: %.3f ms wall, %.3f ms CPU\n", opts.uri.c_str(), wall * 1e3,
                cpu * 1e3);
    lilv_instance_deactivate(instance);
    lilv_instance_free(instance);
    lilv_node_free(uri);
    lilv_world_free(world);
    return 0;
  }

  LilvNode* audioClass = lilv_new_uri(world, LV2_CORE__AudioPort);
  LilvNode* controlClass = lilv_new_uri(world, LV2_CORE__ControlPort);
  LilvNode* cvClass = lilv_new_uri(world, LV2_CORE__CVPort);
  LilvNode* inputClass = lilv_new_uri(world, LV2_CORE__InputPort);
  LilvNode* atomClass = lilv_new_uri(world, LV2_ATOM__AtomPort);
  LilvNode* midiClass = lilv_new_uri(world, LV2_MIDI__MidiEvent);

  const uint32_t nPorts = lilv_plugin_get_num_ports(plugin);
  std::vector<float> mins(nPorts), maxs(nPorts), defaults(nPorts);
  lilv_plugin_get_port_ranges_float(plugin, mins.data(), maxs.data(), defaults.data());
  const size_t block = static_cast<size_t>(opts.block);
  std::vector<float> silence(block, 0.0f);
  std::vector<std::vector<float>> audioOut;
  std::vector<float> controls(nPorts, 0.0f);
  constexpr size_t kAtomCapacity = 8192;
  struct AtomBuffer {
    std::vector<uint64_t> mem;  // 8-byte aligned
    bool input;
  };
  std::vector<AtomBuffer> atomBuffers;
  std::vector<uint64_t> midiIn(kAtomCapacity / 8, 0);
  int midiPort = -1;
  audioOut.reserve(nPorts);
  atomBuffers.reserve(nPorts);
  for (uint32_t i = 0; i < nPorts; ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
    const bool input = lilv_port_is_a(plugin, port, inputClass);
    if (lilv_port_is_a(plugin, port, audioClass) || lilv_port_is_a(plugin, port, cvClass)) {
      if (input) {
        lilv_instance_connect_port(instance, i, silence.data());
      } else {
        audioOut.emplace_back(block, 0.0f);
        lilv_instance_connect_port(instance, i, audioOut.back().data());
      }
    } else if (lilv_port_is_a(plugin, port, controlClass)) {
      controls[i] = std::isnan(defaults[i]) ? (std::isnan(mins[i]) ? 0.0f : mins[i]) : defaults[i];
      lilv_instance_connect_port(instance, i, &controls[i]);
    } else if (lilv_port_is_a(plugin, port, atomClass)) {
      if (input && midiPort < 0 && lilv_port_supports_event(plugin, port, midiClass)) {
        midiPort = static_cast<int>(i);
        lilv_instance_connect_port(instance, i, midiIn.data());
      } else {
        atomBuffers.push_back(AtomBuffer{std::vector<uint64_t>(kAtomCapacity / 8, 0), input});
        // An input we feed nothing gets an empty sequence.
        auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(atomBuffers.back().mem.data());
        seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
        seq->atom.type = atomSequence;
        lilv_instance_connect_port(instance, i, seq);
      }
    } else {
      lilv_instance_connect_port(instance, i, nullptr);
    }
  }
  if (midiPort < 0) {
    std::fprintf(stderr, "bench_lv2_host: %s has no MIDI input\n", opts.uri.c_str());
    lilv_instance_free(instance);
    return 1;
  }

  const long long total = static_cast<long long>(std::llround(opts.seconds * opts.rate));
  const long long hitEvery = static_cast<long long>(std::llround(0.5 * opts.rate));
  const long long offAfter = hitEvery / 2;
  auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(midiIn.data());

  // One pass over the whole stretch of audio: the events of every block
  // written, and the plug-in run when run is true. Returns this thread's CPU
  // seconds. The clock is read around the whole pass, not around each run:
  // reading it costs a system call, as much as a small block of audio.
  auto pass = [&](bool run) {
    const double t0 = ThreadCpuSeconds();
    for (long long pos = 0; pos < total; pos += opts.block) {
      const uint32_t n = static_cast<uint32_t>(std::min<long long>(opts.block, total - pos));
      seq->atom.type = atomSequence;
      seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
      seq->body.unit = 0;
      seq->body.pad = 0;
      auto* ev = reinterpret_cast<MidiEvent*>(seq + 1);
      // Note-ons on multiples of hitEvery, note-offs half-way between.
      for (long long t = (pos + offAfter - 1) / offAfter * offAfter; t < pos + n; t += offAfter) {
        const bool on = t % hitEvery == 0;
        ev->head.time.frames = t - pos;
        ev->head.body.size = 3;
        ev->head.body.type = midiEvent;
        ev->msg[0] = on ? 0x90 : 0x80;
        ev->msg[1] = static_cast<uint8_t>(opts.note);
        ev->msg[2] = on ? 100 : 0;
        seq->atom.size += sizeof(MidiEvent);
        ++ev;
      }
      // Outputs get their whole capacity back each run.
      for (AtomBuffer& b : atomBuffers) {
        if (b.input) continue;
        auto* o = reinterpret_cast<LV2_Atom*>(b.mem.data());
        o->type = atomChunk;
        o->size = kAtomCapacity - sizeof(LV2_Atom);
      }
      if (run) lilv_instance_run(instance, n);
    }
    return ThreadCpuSeconds() - t0;
  };

  // What the host's own part of a pass costs, taken off every measurement.
  const double hostShare = pass(false);
  std::vector<double> perSecond;
  lilv_instance_activate(instance);
  for (int r = 0; r < opts.runs; ++r) {
    const double cpu = std::max(0.0, pass(true) - hostShare);
    perSecond.push_back(cpu / opts.seconds * 1e3);
    std::printf("%s  block %d  %.0f s of audio at %.0f Hz: %.3f s CPU, %.4f ms per second of audio\n",
                opts.uri.c_str(), opts.block, opts.seconds, opts.rate, cpu, perSecond.back());
  }
  lilv_instance_deactivate(instance);
  lilv_instance_free(instance);
  std::sort(perSecond.begin(), perSecond.end());
  std::printf("median of %d: %.4f ms CPU per second of audio\n", opts.runs, perSecond[perSecond.size() / 2]);

  for (LilvNode* node : {audioClass, controlClass, cvClass, inputClass, atomClass, midiClass, uri}) lilv_node_free(node);
  lilv_world_free(world);
  return 0;
}
