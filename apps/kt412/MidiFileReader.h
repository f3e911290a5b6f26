// Standard MIDI File reader for the render command: note-ons and control
// changes placed at their exact sample frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One channel event of the file, at the sample frame where it takes effect.
// The three bytes are those of the MIDI message, so an IMidiMsg is built from
// them directly (offset = frame - first frame of the render block).
struct MidiFileEvent {
  int64_t frame;          // sample frame from the start of the file
  unsigned char status;   // 0x9n note-on or 0xBn control change, channel n
  unsigned char data1;    // note or controller number, 0..127
  unsigned char data2;    // velocity or controller value, 0..127

  bool IsNoteOn() const { return (status & 0xF0) == 0x90; }  // velocity 0 included
  bool IsControlChange() const { return (status & 0xF0) == 0xB0; }
  int Channel() const { return status & 0x0F; }
};

// What the reader extracts from a file.
struct MidiFileSong {
  int format = 0;      // 0 or 1
  int numTracks = 0;   // track chunks read
  int division = 0;    // the header's time division as stored (ticks per quarter when > 0)
  // Every note-on (velocity 0 ones included) and control change of every
  // track, ordered by frame; events at one frame keep the order of their
  // track number and then of their place in the track.
  std::vector<MidiFileEvent> events;
  // Frame of the last event of any kind, end-of-track included: the length
  // of the song.
  int64_t endFrame = 0;
};

// Reads a format 0 or 1 file. Event times follow the file's tempo map (tempo
// changes in any track apply to all tracks; 500000 us per quarter until the
// first) or its SMPTE division, converted at sampleRate and rounded to the
// nearest frame. Running status is honoured, also across meta and sysex
// events. Unknown chunks are skipped; bytes after a track's end-of-track are
// ignored; a track that ends at an event boundary without end-of-track is
// accepted. Stray system messages inside a track are skipped by their known
// length: real-time bytes (0xF8..0xFE) keep running status, system common
// messages (0xF1, 0xF2, 0xF3, 0xF6) cancel it; the undefined 0xF4 and 0xF5
// are refused ("unexpected status byte 0xF4 in track 1 at tick 0").
//
// Bad input never crashes or hangs: reads are bounded by the data, and a
// malformed file gives false with a one-line message in *error, e.g.
// "not a MIDI file", "truncated track 2", "data byte without status in track 1
// at tick 960", "format 2 MIDI files are not supported". Files are limited to
// kMaxMidiFileBytes and to events within kMaxMidiFileSeconds.
// On failure *song is left empty.
constexpr size_t kMaxMidiFileBytes = 16u << 20;
constexpr int64_t kMaxMidiFileSeconds = 24 * 3600;
constexpr int kMaxMidiSampleRate = 1000000;

// sampleRate must be 1..kMaxMidiSampleRate Hz.
bool ParseMidiFile(const unsigned char* data, size_t size, int sampleRate, MidiFileSong* song,
                   std::string* error);
// Reads the file at path (messages then begin with the path) and parses it.
bool ReadMidiFile(const std::string& path, int sampleRate, MidiFileSong* song, std::string* error);
