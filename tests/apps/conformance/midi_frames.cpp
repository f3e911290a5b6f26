// Prints what the render command makes of a MIDI file at one sample rate,
// for the conformance test that compares it with an independent reader:
//   note FRAME CHANNEL NOTE VELOCITY   (every note-on, velocity 0 included)
//   length FRAMES                      (the render's length)
// or one line "error MESSAGE" and exit status 1.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "MidiFileReader.h"
#include "RenderCommand.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: midi_frames FILE.mid RATE\n");
    return 2;
  }
  const int rate = std::atoi(argv[2]);
  MidiFileSong song;
  std::string error;
  if (!ReadMidiFile(argv[1], rate, &song, &error)) {
    std::printf("error %s\n", error.c_str());
    return 1;
  }
  for (const MidiFileEvent& e : song.events)
    if (e.IsNoteOn())
      std::printf("note %lld %d %d %d\n", static_cast<long long>(e.frame), e.Channel(), e.data1, e.data2);
  std::printf("length %lld\n", static_cast<long long>(RenderLengthFrames(song, rate)));
  return 0;
}
