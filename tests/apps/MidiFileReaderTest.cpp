// Standard MIDI File reader: tempo map, track merge, running status, bad files.
#include "MidiFileReader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void Be(Bytes& b, uint32_t v, int n) {
  for (int i = n - 1; i >= 0; --i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

void Vlq(Bytes& b, uint32_t v) {
  unsigned char tmp[4];
  int n = 0;
  do {
    tmp[n++] = v & 0x7F;
    v >>= 7;
  } while (v);
  while (n > 1) b.push_back(tmp[--n] | 0x80);
  b.push_back(tmp[0]);
}

// Track body builder: delta time then raw event bytes.
struct Track {
  Bytes b;
  Track& Ev(uint32_t delta, std::initializer_list<unsigned> bytes) {
    Vlq(b, delta);
    for (unsigned x : bytes) b.push_back(static_cast<unsigned char>(x));
    return *this;
  }
  Track& Tempo(uint32_t delta, uint32_t usPerQuarter) {
    return Ev(delta, {0xFF, 0x51, 0x03, usPerQuarter >> 16 & 0xFF, usPerQuarter >> 8 & 0xFF, usPerQuarter & 0xFF});
  }
  Track& End(uint32_t delta = 0) { return Ev(delta, {0xFF, 0x2F, 0x00}); }
};

Bytes File(int format, int division, const std::vector<Track>& tracks, int declared = -1) {
  Bytes f = {'M', 'T', 'h', 'd'};
  Be(f, 6, 4);
  Be(f, format, 2);
  Be(f, declared < 0 ? static_cast<int>(tracks.size()) : declared, 2);
  Be(f, static_cast<uint32_t>(division) & 0xFFFF, 2);
  for (const Track& t : tracks) {
    f.insert(f.end(), {'M', 'T', 'r', 'k'});
    Be(f, static_cast<uint32_t>(t.b.size()), 4);
    f.insert(f.end(), t.b.begin(), t.b.end());
  }
  return f;
}

bool Parse(const Bytes& f, int rate, MidiFileSong* song, std::string* error) {
  return ParseMidiFile(f.data(), f.size(), rate, song, error);
}

std::string ErrorOf(const Bytes& f) {
  MidiFileSong song;
  std::string error;
  EXPECT_FALSE(Parse(f, 44100, &song, &error));
  EXPECT_TRUE(song.events.empty());
  return error;
}

}  // namespace

TEST(MidiFileTempo, DefaultTempoIsHalfASecondPerQuarter) {
  Track t;
  t.Ev(0, {0x90, 36, 100}).Ev(480, {0x90, 36, 90}).Ev(240, {0x80, 36, 0}).End(240);
  MidiFileSong song;
  std::string error;
  ASSERT_TRUE(Parse(File(0, 480, {t}), 44100, &song, &error)) << error;
  ASSERT_EQ(song.events.size(), 2u);  // the note-off is not an event the instrument needs
  EXPECT_EQ(song.events[0].frame, 0);
  EXPECT_EQ(song.events[1].frame, 22050);  // one quarter at 120 bpm
  EXPECT_EQ(song.events[1].data2, 90);
  EXPECT_EQ(song.endFrame, 44100);         // 960 ticks
  EXPECT_EQ(song.format, 0);
  EXPECT_EQ(song.numTracks, 1);
  EXPECT_EQ(song.division, 480);
}

TEST(MidiFileTempo, TempoChangesApplyFromTheirTick) {
  Track t;
  // 96 ppq. Quarter at 500000 us, then 250000 us (240 bpm), then 1 s (60 bpm).
  t.Ev(0, {0x90, 36, 100})
      .Ev(96, {0x90, 37, 100})        // 0.5 s
      .Tempo(0, 250000)
      .Ev(96, {0x90, 38, 100})        // +0.25 s = 0.75 s
      .Tempo(48, 1000000)             // tempo change mid-way: +0.125 s
      .Ev(48, {0x90, 39, 100})        // +0.5 s = 1.375 s
      .End();
  MidiFileSong song;
  std::string error;
  ASSERT_TRUE(Parse(File(0, 96, {t}), 48000, &song, &error)) << error;
  ASSERT_EQ(song.events.size(), 4u);
  EXPECT_EQ(song.events[0].frame, 0);
  EXPECT_EQ(song.events[1].frame, 24000);
  EXPECT_EQ(song.events[2].frame, 36000);
  EXPECT_EQ(song.events[3].frame, 66000);
}

TEST(MidiFileTempo, FramesRoundToTheNearestSample) {
  // 120 bpm, 3 ppq: one tick is 1/6 s = 7350 frames at 44100 but 1/6 * 48000
  // = 8000; at 44101 Hz a tick is 7350.1666 frames, so 1 tick -> 7350,
  // 3 ticks -> 22050.5 -> 22051 (half rounds up).
  Track t;
  t.Ev(1, {0x90, 36, 1}).Ev(2, {0x90, 36, 1}).End();
  MidiFileSong song;
  std::string error;
  ASSERT_TRUE(Parse(File(0, 3, {t}), 44101, &song, &error)) << error;
  EXPECT_EQ(song.events[0].frame, 7350);
  EXPECT_EQ(song.events[1].frame, 22051);
}

TEST(MidiFileTempo, LongSongsDoNotDrift) {
  // 10000 quarters at 120 bpm, with a tempo event restating 120 bpm before
  // each: the last note is at exactly 5000 s.
  Track t;
  for (int i = 0; i < 10000; ++i) t.Tempo(i ? 480 : 0, 500000);
  t.Ev(480, {0x90, 36, 100}).End();
  MidiFileSong song;
  std::string error;
  ASSERT_TRUE(Parse(File(0, 480, {t}), 44100, &song, &error)) << error;
  ASSERT_EQ(song.events.size(), 1u);
  EXPECT_EQ(song.events[0].frame, 5000LL * 44100);
}

TEST(MidiFileTempo, SmpteDivision) {
  // 25 fps, 40 ticks per frame: 1000 ticks a second.
  Track t;
  t.Ev(250, {0x90, 36, 100}).Tempo(0, 1000000).Ev(750, {0x90, 36, 100}).End();
  MidiFileSong song;
  std::string error;
  ASSERT_TRUE(Parse(File(0, 0xE728, {t}), 44100, &song, &error)) << error;  // -25, 40
  ASSERT_EQ(song.events.size(), 2u);
  EXPECT_EQ(song.events[0].frame, 11025);
  EXPECT_EQ(song.events[1].frame, 44100);  // tempo events do not apply
  // 29.97 drop-frame rate: 30000/1001 frames a second, 1 tick per frame.
  Track d;
  d.Ev(30, {0x90, 36, 100}).End();
  ASSERT_TRUE(Parse(File(0, 0xE301, {d}), 48000, &song, &error)) << error;  // -29, 1
  EXPECT_EQ(song.events[0].frame, 48048);  // 30 * 1001 / 30000 s = 1.001 s
}

TEST(MidiFileMerge, FormatOneTracksShareTheTempoTrack) {
  Track tempo;
  tempo.Tempo(0, 1000000).Tempo(960, 250000).End();  // 60 bpm, then 240 bpm at beat 2
  Track drums;
  drums.Ev(480, {0x99, 36, 100}).Ev(960, {0x99, 38, 100}).End();
  Track cc;
  cc.Ev(960, {0xB0, 7, 64}).Ev(480, {0xB0, 7, 127}).End();
  MidiFileSong song;
  std::string error;
  ASSERT_TRUE(Parse(File(1, 480, {tempo, drums, cc}), 44100, &song, &error)) << error;
  EXPECT_EQ(song.format, 1);
  EXPECT_EQ(song.numTracks, 3);
  ASSERT_EQ(song.events.size(), 4u);
  // tick 480 (1 s), 960 (2 s), 1440 twice (2.25 s; the drum track before
  // the controller track).
  EXPECT_EQ(song.events[0].frame, 44100);
  EXPECT_TRUE(song.events[0].IsNoteOn());
  EXPECT_EQ(song.events[0].Channel(), 9);
  EXPECT_EQ(song.events[1].frame, 88200);
  EXPECT_TRUE(song.events[1].IsControlChange());
  EXPECT_EQ(song.events[1].data2, 64);
  EXPECT_EQ(song.events[2].frame, 88200 + 11025);  // one quarter at 240 bpm
  EXPECT_EQ(song.events[2].status, 0x99);
  EXPECT_EQ(song.events[2].data1, 38);
  EXPECT_EQ(song.events[3].frame, 88200 + 11025);
  EXPECT_EQ(song.events[3].data2, 127);
  EXPECT_EQ(song.endFrame, 88200 + 11025);
}

TEST(MidiFileMerge, EqualTicksKeepTrackThenFileOrder) {
  Track a, b;
  a.Ev(10, {0x90, 1, 1}).Ev(0, {0x90, 2, 1}).End();
  b.Ev(10, {0x90, 3, 1}).Ev(0, {0xB0, 4, 1}).End();
  MidiFileSong song;
  std::string error;
  ASSERT_TRUE(Parse(File(1, 480, {b, a}), 44100, &song, &error)) << error;
  ASSERT_EQ(song.events.size(), 4u);
  EXPECT_EQ(song.events[0].data1, 3);
  EXPECT_EQ(song.events[1].data1, 4);
  EXPECT_EQ(song.events[2].data1, 1);
  EXPECT_EQ(song.events[3].data1, 2);
}

TEST(MidiFileEvents, RunningStatusAndVelocityZeroNoteOns) {
  Track t;
  // 0x90 once, then data only: a note-on, a velocity-0 "note-off", a note-on.
  t.Ev(0, {0x90, 36, 100}).Ev(10, {36, 0}).Ev(10, {38, 80});
  // Running status for control changes, across a meta event in between.
  t.Ev(0, {0xB3, 1, 10}).Ev(0, {0xFF, 0x01, 0x02, 'h', 'i'}).Ev(5, {1, 20});
  // Program change (one data byte) under running status, then pitch bend.
  t.Ev(0, {0xC0, 5}).Ev(0, {6}).Ev(0, {0xE0, 0, 64}).End();
  MidiFileSong song;
  std::string error;
  ASSERT_TRUE(Parse(File(0, 480, {t}), 44100, &song, &error)) << error;
  ASSERT_EQ(song.events.size(), 5u);
  EXPECT_EQ(song.events[1].status, 0x90);  // still a note-on kind
  EXPECT_EQ(song.events[1].data2, 0);
  EXPECT_TRUE(song.events[1].IsNoteOn());
  EXPECT_EQ(song.events[2].data1, 38);
  EXPECT_EQ(song.events[2].data2, 80);
  EXPECT_EQ(song.events[3].status, 0xB3);
  EXPECT_EQ(song.events[4].status, 0xB3);
  EXPECT_EQ(song.events[4].data2, 20);
}

// A C-major scale, one quarter note (480 ticks) apart, with a stray system
// message before every note: every note must still be heard on its beat.
TEST(MidiFileEvents, StraySystemMessagesAreSkippedByTheirLength) {
  const std::vector<std::vector<unsigned>> strays = {
      {0xF1, 0x12}, {0xF2, 0x01, 0x02}, {0xF3, 0x05}, {0xF6}, {0xF8}, {0xF9},
      {0xFA},       {0xFB},             {0xFC},       {0xFD}, {0xFE}};
  for (const auto& stray : strays) {
    Track t;
    const unsigned scale[] = {60, 62, 64, 65, 67, 69, 71, 72};
    for (int i = 0; i < 8; ++i) {
      Vlq(t.b, i == 0 ? 0 : 240);  // the stray message's delta counts too
      t.b.insert(t.b.end(), stray.begin(), stray.end());
      t.Ev(i == 0 ? 0 : 240, {0x90, scale[i], 100});
    }
    t.End(480);
    MidiFileSong song;
    std::string error;
    ASSERT_TRUE(Parse(File(0, 480, {t}), 48000, &song, &error)) << std::hex << stray[0] << ": " << error;
    ASSERT_EQ(song.events.size(), 8u) << std::hex << stray[0];
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(song.events[i].frame, i * 24000) << std::hex << stray[0] << " note " << i;
      EXPECT_EQ(song.events[i].data1, scale[i]);
    }
    EXPECT_EQ(song.endFrame, 8 * 24000);
  }
}

TEST(MidiFileEvents, RealTimeBytesKeepRunningStatusAndSystemCommonCancelsIt) {
  // Clock, start and active sensing between note-ons sent with running status.
  Track realTime;
  realTime.Ev(0, {0x90, 60, 100}).Ev(10, {0xF8}).Ev(10, {62, 100}).Ev(0, {0xFA}).Ev(0, {0xFE}).Ev(5, {64, 0}).End();
  MidiFileSong song;
  std::string error;
  ASSERT_TRUE(Parse(File(0, 480, {realTime}), 44100, &song, &error)) << error;
  ASSERT_EQ(song.events.size(), 3u);
  EXPECT_EQ(song.events[1].status, 0x90);
  EXPECT_EQ(song.events[1].data1, 62);
  EXPECT_EQ(song.events[2].data1, 64);
  EXPECT_EQ(song.events[2].data2, 0);

  // After a system common message, data bytes need a new status byte ...
  for (std::initializer_list<unsigned> common : {std::initializer_list<unsigned>{0xF6},
                                                 std::initializer_list<unsigned>{0xF3, 0x01},
                                                 std::initializer_list<unsigned>{0xF2, 0x01, 0x02}}) {
    Track t;
    t.Ev(0, {0x90, 60, 100}).Ev(0, common).Ev(480, {62, 100}).End();
    EXPECT_EQ(ErrorOf(File(0, 480, {t})), "data byte without status in track 1 at tick 480") << std::hex
                                                                                            << *common.begin();
  }
  // ... and with one the track goes on.
  Track restated;
  restated.Ev(0, {0x90, 60, 100}).Ev(0, {0xF6}).Ev(480, {0x90, 62, 100}).Ev(0, {64, 100}).End();
  ASSERT_TRUE(Parse(File(0, 480, {restated}), 44100, &song, &error)) << error;
  EXPECT_EQ(song.events.size(), 3u);
}

TEST(MidiFileErrors, BrokenSystemCommonMessages) {
  Track statusInData;
  statusInData.Ev(0, {0xF2, 0x01, 0x90, 0x40});  // song position with a status byte inside
  EXPECT_EQ(ErrorOf(File(0, 480, {statusInData})), "bad data byte in track 1 at tick 0");
  Track cut;
  cut.Ev(9, {0xF2, 0x01});  // the track ends inside the message
  EXPECT_EQ(ErrorOf(File(0, 480, {cut})), "truncated track 1");
  Track cutQuarterFrame;
  cutQuarterFrame.Ev(0, {0xF1});
  EXPECT_EQ(ErrorOf(File(0, 480, {cutQuarterFrame})), "truncated track 1");
}

TEST(MidiFileEvents, SysexAndForeignChunksAreSkipped) {
  Track t;
  t.Ev(0, {0xF0, 0x03, 0x7E, 0x7F, 0xF7}).Ev(0, {0xF7, 0x01, 0x00}).Ev(0, {0x90, 36, 1}).End();
  Bytes f = File(0, 480, {});
  f[11] = 1;  // one track, placed after a foreign chunk
  f.insert(f.end(), {'X', 'F', 'I', 'H', 0, 0, 0, 2, 0xAA, 0xBB});
  f.insert(f.end(), {'M', 'T', 'r', 'k'});
  Be(f, static_cast<uint32_t>(t.b.size()), 4);
  f.insert(f.end(), t.b.begin(), t.b.end());
  MidiFileSong song;
  std::string error;
  ASSERT_TRUE(Parse(f, 44100, &song, &error)) << error;
  ASSERT_EQ(song.events.size(), 1u);
}

TEST(MidiFileEvents, BytesAfterEndOfTrackAndMissingEndOfTrack) {
  Track t;
  t.Ev(0, {0x90, 36, 1}).End().Ev(0, {0x90, 99, 99}).b.push_back(0xFF);  // garbage after the end
  Track noEnd;
  noEnd.Ev(5, {0x90, 40, 1});
  MidiFileSong song;
  std::string error;
  ASSERT_TRUE(Parse(File(1, 480, {t, noEnd}), 44100, &song, &error)) << error;
  ASSERT_EQ(song.events.size(), 2u);
  EXPECT_EQ(song.events[1].data1, 40);
}

TEST(MidiFileErrors, NotAMidiFile) {
  EXPECT_EQ(ErrorOf({}), "not a MIDI file");
  EXPECT_EQ(ErrorOf({'R', 'I', 'F', 'F', 0, 0, 0, 0}), "not a MIDI file");
  EXPECT_EQ(ErrorOf({'M', 'T', 'h'}), "not a MIDI file");
}

TEST(MidiFileErrors, HeaderProblems) {
  Track t;
  t.End();
  EXPECT_EQ(ErrorOf({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0}), "truncated MIDI header");
  EXPECT_EQ(ErrorOf({'M', 'T', 'h', 'd', 0, 0, 0, 2, 0, 0}), "truncated MIDI header");
  EXPECT_EQ(ErrorOf(File(2, 480, {t})), "format 2 MIDI files are not supported");
  EXPECT_EQ(ErrorOf(File(7, 480, {t})), "unknown MIDI file format 7");
  EXPECT_EQ(ErrorOf(File(1, 480, {})), "MIDI file has no tracks");
  EXPECT_EQ(ErrorOf(File(0, 0, {t})), "bad time division 0");
  EXPECT_EQ(ErrorOf(File(0, 0xE500, {t})), "bad SMPTE time division");  // -27 fps
  EXPECT_EQ(ErrorOf(File(0, 0xE700, {t})), "bad SMPTE time division");  // 0 ticks per frame
}

TEST(MidiFileErrors, TruncatedAndMissingTracks) {
  Track a, b;
  a.Ev(0, {0x90, 36, 1}).End();
  b.Ev(0, {0x90, 36, 1}).Ev(0, {0x90, 37, 1}).End();
  Bytes f = File(1, 480, {a, b});
  Bytes cut(f.begin(), f.end() - 3);  // the chunk says more than the file has
  EXPECT_EQ(ErrorOf(cut), "truncated track 2");
  EXPECT_EQ(ErrorOf(File(1, 480, {a, b}, 3)), "missing track 3 of 3");
  Bytes header(f.begin(), f.begin() + 14 + 8 + a.b.size() + 5);  // half a chunk header
  EXPECT_EQ(ErrorOf(header), "truncated track 2");
}

TEST(MidiFileErrors, EventsCutInsideATrack) {
  Track midNote;
  midNote.Ev(0, {0x90, 36});  // the velocity byte is missing
  EXPECT_EQ(ErrorOf(File(0, 480, {midNote})), "truncated track 1");
  Track midMeta;
  midMeta.Ev(0, {0xFF, 0x01, 0x10, 'a'});  // says 16 bytes, has 1
  EXPECT_EQ(ErrorOf(File(0, 480, {midMeta})), "truncated track 1");
  Track midSysex;
  midSysex.Ev(0, {0xF0, 0x7F});
  EXPECT_EQ(ErrorOf(File(0, 480, {midSysex})), "truncated track 1");
  Track midDelta;
  midDelta.b = {0x81};
  EXPECT_EQ(ErrorOf(File(0, 480, {midDelta})), "truncated track 1");
  Track afterDelta;
  afterDelta.b = {0x00};
  EXPECT_EQ(ErrorOf(File(0, 480, {afterDelta})), "truncated track 1");
}

TEST(MidiFileErrors, MalformedEvents) {
  Track noStatus;
  noStatus.Ev(0, {0xFF, 0x03, 0x00}).Ev(960, {36, 100});
  EXPECT_EQ(ErrorOf(File(0, 480, {noStatus})), "data byte without status in track 1 at tick 960");
  Track longVlq;
  longVlq.b = {0x81, 0x82, 0x83, 0x84, 0x05, 0x90, 1, 1};
  EXPECT_EQ(ErrorOf(File(0, 480, {longVlq})), "bad delta time in track 1");
  Track badData;
  badData.Ev(0, {0x90, 36, 0x90});
  EXPECT_EQ(ErrorOf(File(0, 480, {badData})), "bad data byte in track 1 at tick 0");
  // Undefined system common bytes: nothing tells how many data bytes follow.
  Track undefinedF4;
  undefinedF4.Ev(0, {0x90, 60, 100}).Ev(3, {0xF4}).Ev(0, {0x90, 62, 100}).End();
  EXPECT_EQ(ErrorOf(File(0, 480, {undefinedF4})), "unexpected status byte 0xF4 in track 1 at tick 3");
  Track undefinedF5;
  undefinedF5.Ev(7, {0xF5, 0x01});
  EXPECT_EQ(ErrorOf(File(0, 480, {undefinedF5})), "unexpected status byte 0xF5 in track 1 at tick 7");
  Track zeroTempo;
  zeroTempo.Tempo(0, 0);
  EXPECT_EQ(ErrorOf(File(0, 480, {zeroTempo})), "tempo of zero in track 1 at tick 0");
  Track shortTempo;
  shortTempo.Ev(0, {0xFF, 0x51, 0x01, 0x07});
  EXPECT_EQ(ErrorOf(File(0, 480, {shortTempo})), "bad tempo event in track 1 at tick 0");
}

TEST(MidiFileErrors, AbsurdLengthsAreRefused) {
  // The longest delta at the slowest tempo on one tick per quarter: far
  // beyond a day.
  Track t;
  t.Tempo(0, 0xFFFFFF).Ev(0x0FFFFFFF, {0x90, 36, 1}).End();
  EXPECT_EQ(ErrorOf(File(0, 1, {t})), "MIDI file lasts longer than 24 hours");
  Track endOnly;
  endOnly.Tempo(0, 0xFFFFFF).End(0x0FFFFFFF);
  EXPECT_EQ(ErrorOf(File(0, 1, {endOnly})), "MIDI file lasts longer than 24 hours");
  Track fine;
  fine.End();
  MidiFileSong song;
  std::string error;
  EXPECT_FALSE(Parse(File(0, 480, {fine}), 0, &song, &error));
  EXPECT_EQ(error, "sample rate 0 Hz is out of range");
  Bytes big = File(0, 480, {fine});
  big.resize(kMaxMidiFileBytes + 1);
  EXPECT_EQ(ErrorOf(big), "MIDI file too large");
}

TEST(MidiFileRead, FromDiskAndErrorsNameThePath) {
  Track t;
  t.Ev(0, {0x90, 36, 1}).End();
  const Bytes f = File(0, 480, {t});
  const std::string path = testing::TempDir() + "kt412_reader_test.mid";
  FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(f.data(), 1, f.size(), out);
  std::fclose(out);
  MidiFileSong song;
  std::string error;
  ASSERT_TRUE(ReadMidiFile(path, 44100, &song, &error)) << error;
  EXPECT_EQ(song.events.size(), 1u);

  out = std::fopen(path.c_str(), "wb");
  std::fwrite("MThd", 1, 4, out);
  std::fclose(out);
  EXPECT_FALSE(ReadMidiFile(path, 44100, &song, &error));
  EXPECT_EQ(error, path + ": truncated MIDI header");
  std::remove(path.c_str());

  EXPECT_FALSE(ReadMidiFile(path, 44100, &song, &error));
  EXPECT_EQ(error, path + ": No such file or directory");
  EXPECT_FALSE(ReadMidiFile(testing::TempDir(), 44100, &song, &error));
  EXPECT_EQ(error, testing::TempDir() + ": not a regular file");
}
