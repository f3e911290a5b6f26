// Short MIDI messages and system-exclusive records exchanged between the host
// wrapper and the plug-in.
#pragma once

// One short (three-byte) MIDI message stamped with the frame of the current
// render block at which it takes effect. A plain record of exactly four
// fields, copied by value; queues copy it whole. Safe on any thread: it owns
// nothing and never allocates.
struct IMidiMsg {
  // Status kinds: the upper four bits of status for channel messages.
  enum EStatusMsg {
    kNone = 0,
    kNoteOff = 8,
    kNoteOn = 9,
    kPolyAftertouch = 10,
    kControlChange = 11,
    kProgramChange = 12,
    kChannelAftertouch = 13,
    kPitchWheel = 14
  };

  int offset;            // frame within the current block
  unsigned char status;  // kind in the upper four bits, channel in the lower four
  unsigned char data1;   // note, controller, program, ...
  unsigned char data2;   // velocity, controller value, ...

  IMidiMsg(int offset = 0, unsigned char status = 0, unsigned char data1 = 0,
           unsigned char data2 = 0)
      : offset(offset), status(status), data1(data1), data2(data2) {}

  void Clear();

  // Builders start from Clear(); values keep only their low 8 bits.
  void MakeNoteOnMsg(int note, int velocity, int offset, int channel = 0);
  void MakeNoteOffMsg(int note, int offset, int channel = 0);
  // value -1..+1; +1 is limited to the largest 14-bit value.
  void MakePitchWheelMsg(double value, int channel = 0);
  // value 0..1, scaled to 0..127 by truncation.
  void MakeControlChangeMsg(int controller, double value, int channel = 0);

  int Channel() const { return status & 0x0F; }
  // The kind 8..14 of a channel message, otherwise kNone.
  EStatusMsg StatusMsg() const;

  // Each gives -1 when the message is not of a fitting kind.
  int NoteNumber() const;
  int Velocity() const;
  int PolyAfterTouch() const;
  int ChannelAfterTouch() const;
  int Program() const;

  // -1 .. 8191/8192 for a pitch-wheel message, otherwise 0.
  double PitchWheel() const;
  int ControlChangeIdx() const { return data1; }
  // data2/127 when this is a change of that controller, otherwise -1.
  double ControlChange(int controller) const;

  // Tracing hook; tracing is switched off, so it has no effect.
  void LogMsg();
};

static_assert(sizeof(IMidiMsg) == 8, "IMidiMsg is an 8-byte record");

// The text of a status kind ("noteon", "none", "unknown", ...).
const char* StatusMsgStr(int kind);

// A system-exclusive message. It does not own its bytes: they are valid only
// during the call that delivers the record.
struct ISysEx {
  int offset;
  int size;
  const unsigned char* data;

  ISysEx(int offset = 0, const unsigned char* data = nullptr, int size = 0)
      : offset(offset), size(size), data(data) {}

  void Clear();
  void LogMsg();
};

// Hex text ("F0 7E 7F") of as many bytes as fit in maxlen characters including
// the terminator; empty for no data. Returns str. str must not be null and
// maxlen must be at least 3.
char* SysExStr(char* str, int maxlen, const unsigned char* data, int size);
