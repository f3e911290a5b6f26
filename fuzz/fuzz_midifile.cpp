// Fuzz target: the Standard MIDI File reader on arbitrary bytes never crashes
// or hangs, and what it accepts is well-formed and in frame order.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "MidiFileReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int kRates[] = {44100, 48000, 1, 96000};
  const int rate = kRates[size % 4];
  MidiFileSong song;
  std::string error;
  if (!ParseMidiFile(data, size, rate, &song, &error)) {
    if (error.empty() || !song.events.empty()) std::abort();
    return 0;
  }
  if (song.format < 0 || song.format > 1 || song.numTracks < 1) std::abort();
  int64_t last = 0;
  for (const MidiFileEvent& e : song.events) {
    if (e.frame < last || e.frame > song.endFrame) std::abort();
    if (!e.IsNoteOn() && !e.IsControlChange()) std::abort();
    if (e.data1 > 127 || e.data2 > 127) std::abort();
    last = e.frame;
  }
  return 0;
}
