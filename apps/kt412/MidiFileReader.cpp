// Standard MIDI File parsing: chunks, track events, tempo map and frame placement.
#include "MidiFileReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// A bounded cursor over one chunk: every read checks the end first.
class Cursor {
public:
  Cursor(const unsigned char* data, size_t size) : mData(data), mSize(size) {}
  bool AtEnd() const { return mPos >= mSize; }
  size_t Pos() const { return mPos; }
  size_t Left() const { return mSize - mPos; }
  bool Byte(unsigned* v) {
    if (mPos >= mSize) return false;
    *v = mData[mPos++];
    return true;
  }
  bool Peek(unsigned* v) const {
    if (mPos >= mSize) return false;
    *v = mData[mPos];
    return true;
  }
  bool Skip(size_t n) {
    if (n > Left()) return false;
    mPos += n;
    return true;
  }
  bool BigEndian(int bytes, uint32_t* v) {
    if (Left() < static_cast<size_t>(bytes)) return false;
    uint32_t r = 0;
    for (int i = 0; i < bytes; ++i) r = r << 8 | mData[mPos++];
    *v = r;
    return true;
  }
  const unsigned char* Here() const { return mData + mPos; }

private:
  const unsigned char* mData;
  size_t mSize;
  size_t mPos = 0;
};

enum class VlqResult { kOk, kEnd, kTooLong };

// Variable-length quantity: at most four bytes of seven bits (0..0x0FFFFFFF).
VlqResult ReadVlq(Cursor& c, uint32_t* v) {
  uint32_t r = 0;
  for (int i = 0; i < 4; ++i) {
    unsigned b;
    if (!c.Byte(&b)) return VlqResult::kEnd;
    r = r << 7 | (b & 0x7F);
    if (!(b & 0x80)) {
      *v = r;
      return VlqResult::kOk;
    }
  }
  return VlqResult::kTooLong;
}

struct RawEvent {
  int64_t tick;
  int track;
  int64_t seq;  // place in the track, for a stable merge
  unsigned char status, data1, data2;
};

struct TempoChange {
  int64_t tick;
  int track;
  int64_t seq;
  uint32_t usPerQuarter;
};

std::string TrackMsg(const char* what, int track) {
  return std::string(what) + " track " + std::to_string(track);
}

// Reads one MTrk chunk's bytes. trackNo is 1-based for messages.
bool ParseTrack(const unsigned char* data, size_t size, int trackNo, std::vector<RawEvent>* events,
                std::vector<TempoChange>* tempos, int64_t* endTick, std::string* error) {
  Cursor c(data, size);
  int64_t tick = 0;
  int64_t seq = 0;
  unsigned running = 0;  // running status; 0 = none yet
  const std::string where = " in track " + std::to_string(trackNo);

  while (!c.AtEnd()) {
    uint32_t delta;
    switch (ReadVlq(c, &delta)) {
      case VlqResult::kOk: break;
      case VlqResult::kEnd: *error = TrackMsg("truncated", trackNo); return false;
      case VlqResult::kTooLong: *error = "bad delta time" + where; return false;
    }
    tick += delta;  // at most 2^28 per event and 2^24 events: no overflow
    if (tick > *endTick) *endTick = tick;

    unsigned b;
    if (!c.Peek(&b)) {
      *error = TrackMsg("truncated", trackNo);
      return false;
    }
    unsigned status;
    if (b & 0x80) {
      c.Byte(&status);
    } else {
      if (!running) {
        *error = "data byte without status" + where + " at tick " + std::to_string(tick);
        return false;
      }
      status = running;
    }

    if (status == 0xFF) {
      unsigned type;
      uint32_t len;
      if (!c.Byte(&type)) {
        *error = TrackMsg("truncated", trackNo);
        return false;
      }
      switch (ReadVlq(c, &len)) {
        case VlqResult::kOk: break;
        case VlqResult::kEnd: *error = TrackMsg("truncated", trackNo); return false;
        case VlqResult::kTooLong: *error = "bad meta event length" + where; return false;
      }
      if (len > c.Left()) {
        *error = TrackMsg("truncated", trackNo);
        return false;
      }
      const unsigned char* meta = c.Here();
      c.Skip(len);
      if (type == 0x2F) return true;  // end of track: later bytes are not events
      if (type == 0x51) {
        if (len < 3) {
          *error = "bad tempo event" + where + " at tick " + std::to_string(tick);
          return false;
        }
        const uint32_t us = static_cast<uint32_t>(meta[0]) << 16 | meta[1] << 8 | meta[2];
        if (us == 0) {
          *error = "tempo of zero" + where + " at tick " + std::to_string(tick);
          return false;
        }
        tempos->push_back({tick, trackNo, seq++, us});
      }
      continue;
    }
    if (status == 0xF0 || status == 0xF7) {
      uint32_t len;
      switch (ReadVlq(c, &len)) {
        case VlqResult::kOk: break;
        case VlqResult::kEnd: *error = TrackMsg("truncated", trackNo); return false;
        case VlqResult::kTooLong: *error = "bad sysex length" + where; return false;
      }
      if (!c.Skip(len)) {
        *error = TrackMsg("truncated", trackNo);
        return false;
      }
      continue;
    }
    // Stray system messages between events, as some writers leave them:
    // their length is fixed by the status byte, so they are skipped and the
    // rest of the track plays. Real-time bytes (0xF8..0xFE) are single bytes
    // that may interleave anything and leave running status alone. System
    // common messages cancel running status, as on a MIDI cable, so a data
    // byte right after one has no status. 0xF4 and 0xF5 are undefined: what
    // follows them cannot be told apart from data, so the file is refused.
    if (status >= 0xF8 && status != 0xFF) continue;
    if (status == 0xF1 || status == 0xF2 || status == 0xF3 || status == 0xF6) {
      running = 0;
      const int nData = status == 0xF2 ? 2 : status == 0xF6 ? 0 : 1;
      for (int i = 0; i < nData; ++i) {
        unsigned d;
        if (!c.Byte(&d)) {
          *error = TrackMsg("truncated", trackNo);
          return false;
        }
        if (d & 0x80) {
          *error = "bad data byte" + where + " at tick " + std::to_string(tick);
          return false;
        }
      }
      continue;
    }
    if (status >= 0xF0) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%02X", status);
      *error = std::string("unexpected status byte ") + hex + where + " at tick " + std::to_string(tick);
      return false;
    }

    // Channel message: one data byte for program change and channel
    // pressure, two for the others.
    running = status;
    const int nData = ((status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0) ? 1 : 2;
    unsigned d[2] = {0, 0};
    for (int i = 0; i < nData; ++i) {
      if (!c.Byte(&d[i])) {
        *error = TrackMsg("truncated", trackNo);
        return false;
      }
      if (d[i] & 0x80) {
        *error = "bad data byte" + where + " at tick " + std::to_string(tick);
        return false;
      }
    }
    const unsigned kind = status & 0xF0;
    if (kind == 0x90 || kind == 0xB0) {
      events->push_back({tick, trackNo, seq++, static_cast<unsigned char>(status),
                         static_cast<unsigned char>(d[0]), static_cast<unsigned char>(d[1])});
    }
  }
  return true;  // no end-of-track, but the last event was whole
}

// Converts ticks to frames. Time is kept as an exact fraction num / den of a
// second, so events on whole samples land on them without rounding drift.
class TickClock {
public:
  TickClock(int division, int sampleRate, std::vector<TempoChange> tempos)
      : mDivision(division), mRate(sampleRate), mTempos(std::move(tempos)) {
    if (division > 0) {
      mDen = static_cast<__int128>(division) * 1000000;
    } else {
      // SMPTE: the high byte is minus the frames per second (29 = 30000/1001),
      // the low byte the ticks per frame; tempo does not apply.
      const int fps = -static_cast<signed char>(division >> 8 & 0xFF);
      const int ticksPerFrame = division & 0xFF;
      if (fps == 29) {
        mSmpteNum = 1001;
        mDen = static_cast<__int128>(30000) * ticksPerFrame;
      } else {
        mSmpteNum = 1;
        mDen = static_cast<__int128>(fps) * ticksPerFrame;
      }
    }
  }

  // Frame of a tick, rounded to the nearest; ticks must come in
  // non-decreasing order.
  int64_t FrameOf(int64_t tick) {
    __int128 num;
    if (mDivision > 0) {
      while (mNext < mTempos.size() && mTempos[mNext].tick <= tick) {
        mNum += static_cast<__int128>(mTempos[mNext].tick - mTick) * mTempo;
        mTick = mTempos[mNext].tick;
        mTempo = mTempos[mNext].usPerQuarter;
        ++mNext;
      }
      num = mNum + static_cast<__int128>(tick - mTick) * mTempo;
    } else {
      num = static_cast<__int128>(tick) * mSmpteNum;
    }
    // num < 2^75 and the rate < 2^20, so the product fits; the quotient is
    // capped before it is narrowed (absurd times are rejected by the caller).
    const __int128 frame = (num * mRate + mDen / 2) / mDen;
    const __int128 cap = static_cast<__int128>(INT64_MAX) / 2;
    return static_cast<int64_t>(frame > cap ? cap : frame);
  }

private:
  int mDivision;
  int mRate;
  std::vector<TempoChange> mTempos;
  size_t mNext = 0;
  int64_t mTick = 0;         // tick of the last tempo change applied
  uint32_t mTempo = 500000;  // microseconds per quarter until the first change
  __int128 mNum = 0;         // time of mTick, in units of 1 / mDen seconds
  __int128 mDen = 1;
  int mSmpteNum = 1;
};

}  // namespace

bool ParseMidiFile(const unsigned char* data, size_t size, int sampleRate, MidiFileSong* song,
                   std::string* error) {
  std::string localError;
  if (!error) error = &localError;
  if (!song) {
    *error = "no song to fill";
    return false;
  }
  *song = MidiFileSong();
  if (sampleRate < 1 || sampleRate > kMaxMidiSampleRate) {
    *error = "sample rate " + std::to_string(sampleRate) + " Hz is out of range";
    return false;
  }
  if (!data || size < 4 || std::memcmp(data, "MThd", 4) != 0) {
    *error = "not a MIDI file";
    return false;
  }
  if (size > kMaxMidiFileBytes) {
    *error = "MIDI file too large";
    return false;
  }

  Cursor file(data, size);
  file.Skip(4);
  uint32_t headerLen, format, nTracks, division;
  if (!file.BigEndian(4, &headerLen) || headerLen < 6 || headerLen > file.Left()) {
    *error = "truncated MIDI header";
    return false;
  }
  file.BigEndian(2, &format);
  file.BigEndian(2, &nTracks);
  file.BigEndian(2, &division);
  file.Skip(headerLen - 6);  // longer headers of later versions: extra bytes skipped

  if (format == 2) {
    *error = "format 2 MIDI files are not supported";
    return false;
  }
  if (format > 2) {
    *error = "unknown MIDI file format " + std::to_string(format);
    return false;
  }
  if (nTracks == 0) {
    *error = "MIDI file has no tracks";
    return false;
  }
  int signedDivision = static_cast<int16_t>(division);
  if (signedDivision == 0) {
    *error = "bad time division 0";
    return false;
  }
  if (signedDivision < 0) {
    const int fps = -static_cast<signed char>(division >> 8 & 0xFF);
    if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || (division & 0xFF) == 0) {
      *error = "bad SMPTE time division";
      return false;
    }
  }

  std::vector<RawEvent> events;
  std::vector<TempoChange> tempos;
  int64_t endTick = 0;
  int tracksRead = 0;
  while (tracksRead < static_cast<int>(nTracks)) {
    if (file.AtEnd()) {
      *error = "missing track " + std::to_string(tracksRead + 1) + " of " + std::to_string(nTracks);
      return false;
    }
    uint32_t len = 0;
    const unsigned char* id = file.Here();
    if (file.Left() < 8) {
      *error = TrackMsg("truncated", tracksRead + 1);
      return false;
    }
    file.Skip(4);
    file.BigEndian(4, &len);
    const bool isTrack = std::memcmp(id, "MTrk", 4) == 0;
    if (len > file.Left()) {
      *error = isTrack ? TrackMsg("truncated", tracksRead + 1) : "truncated chunk";
      return false;
    }
    const unsigned char* body = file.Here();
    file.Skip(len);
    if (!isTrack) continue;  // foreign chunks are skipped
    ++tracksRead;
    if (!ParseTrack(body, len, tracksRead, &events, &tempos, &endTick, error)) return false;
  }

  // Merge the tracks: by tick, then track number, then place in the track.
  auto byTime = [](const auto& a, const auto& b) {
    if (a.tick != b.tick) return a.tick < b.tick;
    if (a.track != b.track) return a.track < b.track;
    return a.seq < b.seq;
  };
  std::sort(events.begin(), events.end(), byTime);
  std::sort(tempos.begin(), tempos.end(), byTime);

  TickClock clock(signedDivision, sampleRate, std::move(tempos));
  const int64_t maxFrame = kMaxMidiFileSeconds * sampleRate;
  std::vector<MidiFileEvent> placed;
  placed.reserve(events.size());
  for (const RawEvent& e : events) {
    const int64_t frame = clock.FrameOf(e.tick);
    if (frame > maxFrame) {
      *error = "MIDI file lasts longer than " + std::to_string(kMaxMidiFileSeconds / 3600) + " hours";
      return false;
    }
    placed.push_back({frame, e.status, e.data1, e.data2});
  }
  const int64_t endFrame = clock.FrameOf(endTick);
  if (endFrame > maxFrame) {
    *error = "MIDI file lasts longer than " + std::to_string(kMaxMidiFileSeconds / 3600) + " hours";
    return false;
  }

  song->format = static_cast<int>(format);
  song->numTracks = tracksRead;
  song->division = signedDivision;
  song->events = std::move(placed);
  song->endFrame = endFrame;
  return true;
}

bool ReadMidiFile(const std::string& path, int sampleRate, MidiFileSong* song, std::string* error) {
  std::string localError;
  if (!error) error = &localError;
  if (song) *song = MidiFileSong();
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = path + ": not a regular file";
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) > kMaxMidiFileBytes) {
    *error = path + ": MIDI file too large";
    return false;
  }
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  // Read at most one byte more than the limit: a file that grew since stat
  // is still caught.
  std::vector<unsigned char> bytes(static_cast<size_t>(st.st_size) + 1);
  size_t got = 0;
  while (got < bytes.size()) {
    const size_t n = std::fread(bytes.data() + got, 1, bytes.size() - got, f);
    if (n == 0) break;
    got += n;
  }
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) {
    *error = path + ": read error";
    return false;
  }
  if (got != static_cast<size_t>(st.st_size)) {
    *error = path + ": file changed while it was read";
    return false;
  }
  if (!ParseMidiFile(bytes.data(), got, sampleRate, song, error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}
