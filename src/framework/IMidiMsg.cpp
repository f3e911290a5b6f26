// Builders, decoders and text forms of the MIDI and SysEx records.
#include "framework/IMidiMsg.h"

#include <cassert>
#include <cmath>
#include <cstddef>

namespace {

// The low 8 bits of trunc(x), as an integer cast would keep them, without the
// undefined behaviour of casting a value that does not fit an int.
unsigned char LowByteOfTruncated(double x) {
  if (!std::isfinite(x)) return 0;
  double t = std::fmod(std::trunc(x), 256.0);
  if (t < 0.0) t += 256.0;
  return static_cast<unsigned char>(static_cast<int>(t));
}

}  // namespace

void IMidiMsg::Clear() {
  offset = 0;
  status = data1 = data2 = 0;
}

void IMidiMsg::MakeNoteOnMsg(int note, int velocity, int offset, int channel) {
  Clear();
  status = static_cast<unsigned char>(0x90 | channel);
  data1 = static_cast<unsigned char>(note);
  data2 = static_cast<unsigned char>(velocity);
  this->offset = offset;
}

void IMidiMsg::MakeNoteOffMsg(int note, int offset, int channel) {
  Clear();
  status = static_cast<unsigned char>(0x80 | channel);
  data1 = static_cast<unsigned char>(note);
  this->offset = offset;
}

void IMidiMsg::MakePitchWheelMsg(double value, int channel) {
  Clear();
  status = static_cast<unsigned char>(0xE0 | channel);
  // 14-bit value centred on 8192. Values outside -1..+1 end at the limits
  // anyway, so limiting first only keeps the cast defined (NaN is centred).
  double v = value;
  if (std::isnan(v)) v = 0.0;
  if (v < -1.0) v = -1.0;
  if (v > 1.0) v = 1.0;
  int i = static_cast<int>(v * 8192.0) + 8192;
  if (i < 0) i = 0;
  if (i > 16383) i = 16383;
  data1 = static_cast<unsigned char>(i & 0x7F);
  data2 = static_cast<unsigned char>(i >> 7);
}

void IMidiMsg::MakeControlChangeMsg(int controller, double value, int channel) {
  Clear();
  status = static_cast<unsigned char>(0xB0 | channel);
  data1 = static_cast<unsigned char>(controller);
  data2 = LowByteOfTruncated(value * 127.0);
}

IMidiMsg::EStatusMsg IMidiMsg::StatusMsg() const {
  const int k = status >> 4;
  if (k >= kNoteOff && k <= kPitchWheel) return static_cast<EStatusMsg>(k);
  return kNone;
}

int IMidiMsg::NoteNumber() const {
  switch (StatusMsg()) {
    case kNoteOff:
    case kNoteOn:
    case kPolyAftertouch:
      return data1;
    default:
      return -1;
  }
}

int IMidiMsg::Velocity() const {
  switch (StatusMsg()) {
    case kNoteOff:
    case kNoteOn:
      return data2;
    default:
      return -1;
  }
}

int IMidiMsg::PolyAfterTouch() const {
  return StatusMsg() == kPolyAftertouch ? data2 : -1;
}

int IMidiMsg::ChannelAfterTouch() const {
  return StatusMsg() == kChannelAftertouch ? data1 : -1;
}

int IMidiMsg::Program() const {
  return StatusMsg() == kProgramChange ? data1 : -1;
}

double IMidiMsg::PitchWheel() const {
  if (StatusMsg() != kPitchWheel) return 0.0;
  const int i = (data2 << 7) + data1;
  return (i - 8192) / 8192.0;
}

double IMidiMsg::ControlChange(int controller) const {
  if (StatusMsg() == kControlChange && data1 == controller) return data2 / 127.0;
  return -1.0;
}

void IMidiMsg::LogMsg() {}

const char* StatusMsgStr(int kind) {
  switch (kind) {
    case IMidiMsg::kNone: return "none";
    case IMidiMsg::kNoteOff: return "noteoff";
    case IMidiMsg::kNoteOn: return "noteon";
    case IMidiMsg::kPolyAftertouch: return "aftertouch";
    case IMidiMsg::kControlChange: return "controlchange";
    case IMidiMsg::kProgramChange: return "programchange";
    case IMidiMsg::kChannelAftertouch: return "channelaftertouch";
    case IMidiMsg::kPitchWheel: return "pitchwheel";
    default: return "unknown";
  }
}

void ISysEx::Clear() {
  offset = 0;
  size = 0;
  data = nullptr;
}

void ISysEx::LogMsg() {}

char* SysExStr(char* str, int maxlen, const unsigned char* data, int size) {
  assert(str != NULL && maxlen >= 3);
  // Release builds keep the same contract without writing past a short buffer.
  if (!str || maxlen < 1) return str;
  str[0] = '\0';
  if (maxlen < 3 || !data || size <= 0) return str;

  // Three characters per byte ("F0 "), the last blank becoming the NUL.
  int n = maxlen / 3;
  if (n > size) n = size;
  // Written digit by digit: a "%02X " per byte would put its NUL one past
  // the buffer when maxlen is an exact multiple of three.
  static const char kHex[] = "0123456789ABCDEF";
  char* p = str;
  for (int i = 0; i < n; ++i) {
    *p++ = kHex[data[i] >> 4];
    *p++ = kHex[data[i] & 0x0F];
    *p++ = ' ';
  }
  p[-1] = '\0';
  return str;
}
