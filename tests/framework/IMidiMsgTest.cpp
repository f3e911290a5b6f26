// MIDI and SysEx records: builders, decoders and their text forms.
#include "framework/IMidiMsg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <type_traits>

TEST(IMidiMsgRecord, IsAnEightByteValueRecordOfFourFields) {
  static_assert(std::is_trivially_copyable_v<IMidiMsg>);
  IMidiMsg a(-7, 0x93, 60, 100);
  IMidiMsg b = a;
  a.Clear();
  EXPECT_EQ(b.offset, -7);
  EXPECT_EQ(b.status, 0x93);
  EXPECT_EQ(b.data1, 60);
  EXPECT_EQ(b.data2, 100);
  EXPECT_EQ(a.offset, 0);
  EXPECT_EQ(a.status, 0);
  EXPECT_EQ(a.data1, 0);
  EXPECT_EQ(a.data2, 0);
}

TEST(IMidiMsgRecord, DefaultConstructionIsAllZero) {
  IMidiMsg m;
  EXPECT_EQ(m.offset, 0);
  EXPECT_EQ(m.status, 0);
  EXPECT_EQ(m.StatusMsg(), IMidiMsg::kNone);
}

TEST(IMidiMsgDecode, NoteOnOnChannelThree) {
  IMidiMsg m(5, 0x93, 60, 100);
  EXPECT_EQ(m.Channel(), 3);
  EXPECT_EQ(m.StatusMsg(), 9);
  EXPECT_EQ(m.NoteNumber(), 60);
  EXPECT_EQ(m.Velocity(), 100);
  EXPECT_EQ(m.PolyAfterTouch(), -1);
  EXPECT_EQ(m.ChannelAfterTouch(), -1);
  EXPECT_EQ(m.Program(), -1);
  EXPECT_EQ(m.PitchWheel(), 0.0);
  EXPECT_EQ(m.ControlChange(60), -1.0);
}

TEST(IMidiMsgDecode, NoteOnWithVelocityZeroStaysANoteOn) {
  IMidiMsg m(0, 0x90, 36, 0);
  EXPECT_EQ(m.StatusMsg(), IMidiMsg::kNoteOn);
  EXPECT_EQ(m.Velocity(), 0);
}

TEST(IMidiMsgDecode, ClockAndOtherSystemMessagesHaveNoKind) {
  for (int status : {0xF0, 0xF8, 0xFA, 0xFF, 0x00, 0x40, 0x7F}) {
    IMidiMsg m(0, static_cast<unsigned char>(status), 60, 100);
    EXPECT_EQ(m.StatusMsg(), IMidiMsg::kNone) << status;
    EXPECT_EQ(m.NoteNumber(), -1) << status;
    EXPECT_EQ(m.Velocity(), -1) << status;
    EXPECT_EQ(m.PolyAfterTouch(), -1) << status;
    EXPECT_EQ(m.ChannelAfterTouch(), -1) << status;
    EXPECT_EQ(m.Program(), -1) << status;
    EXPECT_EQ(m.PitchWheel(), 0.0) << status;
    EXPECT_EQ(m.ControlChange(60), -1.0) << status;
  }
}

TEST(IMidiMsgDecode, EveryChannelKindDecodesFromItsUpperNibble) {
  for (int k = 8; k <= 14; ++k) {
    for (int ch : {0, 9, 15}) {
      IMidiMsg m(0, static_cast<unsigned char>(k << 4 | ch), 1, 2);
      EXPECT_EQ(m.StatusMsg(), k);
      EXPECT_EQ(m.Channel(), ch);
    }
  }
}

TEST(IMidiMsgDecode, KindSpecificFieldsOnlyForTheirKinds) {
  IMidiMsg off(0, 0x80, 61, 64);
  EXPECT_EQ(off.NoteNumber(), 61);
  EXPECT_EQ(off.Velocity(), 64);
  IMidiMsg poly(0, 0xA2, 62, 33);
  EXPECT_EQ(poly.NoteNumber(), 62);
  EXPECT_EQ(poly.PolyAfterTouch(), 33);
  EXPECT_EQ(poly.Velocity(), -1);
  IMidiMsg prog(0, 0xC0, 12, 0);
  EXPECT_EQ(prog.Program(), 12);
  EXPECT_EQ(prog.NoteNumber(), -1);
  IMidiMsg chan(0, 0xD5, 90, 0);
  EXPECT_EQ(chan.ChannelAfterTouch(), 90);
  EXPECT_EQ(chan.PolyAfterTouch(), -1);
  IMidiMsg cc(0, 0xB0, 7, 64);
  EXPECT_EQ(cc.ControlChangeIdx(), 7);
  EXPECT_EQ(cc.NoteNumber(), -1);
}

TEST(IMidiMsgBuild, NoteOnAndNoteOffKeepLowBytesAndChannel) {
  IMidiMsg m(99, 0xFF, 1, 1);
  m.MakeNoteOnMsg(60, 127, 17, 2);
  EXPECT_EQ(m.status, 0x92);
  EXPECT_EQ(m.data1, 60);
  EXPECT_EQ(m.data2, 127);
  EXPECT_EQ(m.offset, 17);
  m.MakeNoteOnMsg(0x1FF, 0x180, 0);
  EXPECT_EQ(m.status, 0x90);
  EXPECT_EQ(m.data1, 0xFF);
  EXPECT_EQ(m.data2, 0x80);
  m.MakeNoteOffMsg(48, 3, 15);
  EXPECT_EQ(m.status, 0x8F);
  EXPECT_EQ(m.data1, 48);
  EXPECT_EQ(m.data2, 0);  // the builder starts from a cleared record
  EXPECT_EQ(m.offset, 3);
}

TEST(IMidiMsgBuild, PitchWheelCentreHalfAndLimits) {
  IMidiMsg m;
  m.MakePitchWheelMsg(0.0);
  EXPECT_EQ(m.status, 0xE0);
  EXPECT_EQ(m.data1, 0x00);
  EXPECT_EQ(m.data2, 0x40);
  EXPECT_EQ(m.PitchWheel(), 0.0);

  m.MakePitchWheelMsg(0.5, 4);
  EXPECT_EQ(m.status, 0xE4);
  EXPECT_EQ(m.data1, 0);
  EXPECT_EQ(m.data2, 96);
  EXPECT_EQ(m.PitchWheel(), 0.5);

  m.MakePitchWheelMsg(1.0);
  EXPECT_EQ((m.data2 << 7) + m.data1, 16383);
  EXPECT_EQ(m.PitchWheel(), 8191.0 / 8192.0);

  m.MakePitchWheelMsg(-1.0);
  EXPECT_EQ(m.data1, 0);
  EXPECT_EQ(m.data2, 0);
  EXPECT_EQ(m.PitchWheel(), -1.0);
}

TEST(IMidiMsgBuild, PitchWheelOutOfRangeAndNotANumberStayInside14Bits) {
  IMidiMsg m;
  m.MakePitchWheelMsg(1e300);
  EXPECT_EQ((m.data2 << 7) + m.data1, 16383);
  m.MakePitchWheelMsg(-1e300);
  EXPECT_EQ((m.data2 << 7) + m.data1, 0);
  m.MakePitchWheelMsg(std::nan(""));
  EXPECT_EQ(m.data2, 0x40);
  EXPECT_EQ(m.data1, 0);
}

TEST(IMidiMsgBuild, PitchWheelTruncatesTowardZero) {
  IMidiMsg m;
  // -0.00001 * 8192 = -0.08 truncates to 0, so the centre value.
  m.MakePitchWheelMsg(-0.00001);
  EXPECT_EQ((m.data2 << 7) + m.data1, 8192);
  // 0.25 * 8192 = 2048 exactly.
  m.MakePitchWheelMsg(-0.25);
  EXPECT_EQ((m.data2 << 7) + m.data1, 8192 - 2048);
}

TEST(IMidiMsgBuild, ControlChangeScalesAndDecodes) {
  IMidiMsg m;
  m.MakeControlChangeMsg(7, 1.0);
  EXPECT_EQ(m.status, 0xB0);
  EXPECT_EQ(m.data1, 7);
  EXPECT_EQ(m.data2, 127);
  EXPECT_EQ(m.ControlChange(7), 1.0);
  EXPECT_EQ(m.ControlChange(8), -1.0);

  m.MakeControlChangeMsg(74, 0.5, 9);
  EXPECT_EQ(m.status, 0xB9);
  EXPECT_EQ(m.data2, 63);  // 63.5 truncated
  EXPECT_DOUBLE_EQ(m.ControlChange(74), 63.0 / 127.0);
}

TEST(IMidiMsgBuild, ControlChangeOutsideZeroToOneKeepsLowByte) {
  IMidiMsg m;
  m.MakeControlChangeMsg(1, 2.0);  // 254
  EXPECT_EQ(m.data2, 254);
  m.MakeControlChangeMsg(1, 3.0);  // 381 & 0xFF = 125
  EXPECT_EQ(m.data2, 125);
  m.MakeControlChangeMsg(1, -1.0 / 127.0);  // -1 -> 0xFF
  EXPECT_EQ(m.data2, 0xFF);
  m.MakeControlChangeMsg(1, 1e300);  // no crash, defined result
  m.MakeControlChangeMsg(1, -1e300);
}

TEST(IMidiMsgText, StatusNames) {
  EXPECT_STREQ(StatusMsgStr(0), "none");
  EXPECT_STREQ(StatusMsgStr(8), "noteoff");
  EXPECT_STREQ(StatusMsgStr(9), "noteon");
  EXPECT_STREQ(StatusMsgStr(10), "aftertouch");
  EXPECT_STREQ(StatusMsgStr(11), "controlchange");
  EXPECT_STREQ(StatusMsgStr(12), "programchange");
  EXPECT_STREQ(StatusMsgStr(13), "channelaftertouch");
  EXPECT_STREQ(StatusMsgStr(14), "pitchwheel");
  EXPECT_STREQ(StatusMsgStr(3), "unknown");
  EXPECT_STREQ(StatusMsgStr(15), "unknown");
  EXPECT_STREQ(StatusMsgStr(-1), "unknown");
}

TEST(ISysExRecord, ConstructAndClear) {
  const unsigned char bytes[] = {0xF0, 0x01, 0xF7};
  ISysEx s(12, bytes, 3);
  EXPECT_EQ(s.offset, 12);
  EXPECT_EQ(s.data, bytes);
  EXPECT_EQ(s.size, 3);
  s.Clear();
  EXPECT_EQ(s.offset, 0);
  EXPECT_EQ(s.size, 0);
  EXPECT_EQ(s.data, nullptr);
}

TEST(SysExText, AllBytesFitInAWideBuffer) {
  const unsigned char bytes[] = {0xF0, 0x7E, 0x7F};
  char buf[64];
  EXPECT_EQ(SysExStr(buf, 64, bytes, 3), buf);
  EXPECT_STREQ(buf, "F0 7E 7F");
  EXPECT_EQ(std::strlen(buf) + 1, 9u);
}

TEST(SysExText, NarrowBufferKeepsOnlyWholeBytes) {
  const unsigned char bytes[] = {0xF0, 0x7E, 0x7F};
  char buf[7];
  SysExStr(buf, 7, bytes, 3);
  EXPECT_STREQ(buf, "F0 7E");
  char three[3];
  SysExStr(three, 3, bytes, 3);
  EXPECT_STREQ(three, "F0");
}

TEST(SysExText, ExactMultipleOfThreeNeverWritesPastTheBuffer) {
  const unsigned char bytes[] = {0x0a, 0xb1, 0xff, 0x00};
  // Guard bytes after a 6-character buffer must stay untouched.
  char buf[8];
  std::memset(buf, '#', sizeof buf);
  SysExStr(buf, 6, bytes, 4);
  EXPECT_STREQ(buf, "0A B1");
  EXPECT_EQ(buf[6], '#');
  EXPECT_EQ(buf[7], '#');
}

TEST(SysExText, NoDataGivesEmptyText) {
  const unsigned char bytes[] = {0xF0};
  char buf[16] = "junk";
  SysExStr(buf, 16, bytes, 0);
  EXPECT_STREQ(buf, "");
  std::strcpy(buf, "junk");
  SysExStr(buf, 16, nullptr, 5);
  EXPECT_STREQ(buf, "");
  std::strcpy(buf, "junk");
  SysExStr(buf, 16, bytes, -4);
  EXPECT_STREQ(buf, "");
}

#ifndef NDEBUG
TEST(SysExTextDeathTest, ShortBufferIsAProgrammingError) {
  const unsigned char bytes[] = {0xF0};
  char buf[2];
  EXPECT_DEATH(SysExStr(buf, 2, bytes, 1), "str != NULL && maxlen >= 3");
  EXPECT_DEATH(SysExStr(nullptr, 16, bytes, 1), "str != NULL && maxlen >= 3");
}
#endif
