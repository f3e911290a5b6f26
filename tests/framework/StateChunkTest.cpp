// ByteChunk reads and writes, and the parameter state chunk of IPluginBase.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "TestPlug.h"
#include "framework/ByteChunk.h"

namespace {

constexpr int kNParams = 17;

// Seventeen double parameters 0..100, each at a distinct value.
void InitSeventeen(TestPlug& plug) {
  for (int i = 0; i < kNParams; ++i) {
    std::string name = "P";
    name += std::to_string(i);
    plug.GetParam(i)->InitDouble(name.c_str(), 10.0 + i, 0.0, 100.0, 0.01);
  }
}

ByteChunk ChunkOfDoubles(int n, double first) {
  ByteChunk chunk;
  for (int i = 0; i < n; ++i) {
    double v = first + i;
    chunk.Put(&v);
  }
  return chunk;
}

}  // namespace

TEST(ByteChunkIO, ValuesRoundTripLittleEndian) {
  ByteChunk chunk;
  double d = -1.5;
  int i = 0x01020304;
  unsigned int u = 0xFFFFFFFEu;
  EXPECT_EQ(chunk.Put(&d), 8);
  EXPECT_EQ(chunk.Put(&i), 12);
  EXPECT_EQ(chunk.Put(&u), 16);
  EXPECT_EQ(chunk.GetBytes()[8], 0x04);  // least significant byte first
  EXPECT_EQ(chunk.GetBytes()[11], 0x01);

  double d2 = 0;
  int i2 = 0;
  unsigned int u2 = 0;
  EXPECT_EQ(chunk.Get(&d2, 0), 8);
  EXPECT_EQ(chunk.Get(&i2, 8), 12);
  EXPECT_EQ(chunk.Get(&u2, 12), 16);
  EXPECT_EQ(d2, d);
  EXPECT_EQ(i2, i);
  EXPECT_EQ(u2, u);
}

TEST(ByteChunkIO, ReadsOutsideTheDataFailAndLeaveTheDestination) {
  ByteChunk chunk;
  int i = 7;
  chunk.Put(&i);
  int out = 99;
  EXPECT_EQ(chunk.Get(&out, 1), -1);   // only 3 bytes left
  EXPECT_EQ(chunk.Get(&out, -1), -1);  // negative start
  EXPECT_EQ(chunk.Get(&out, INT_MAX), -1);
  EXPECT_EQ(out, 99);
  char buf[4] = {};
  EXPECT_EQ(chunk.GetBytes(buf, -2, 0), -1);
  EXPECT_EQ(chunk.GetBytes(buf, INT_MAX, 2), -1);
  EXPECT_EQ(chunk.GetBytes(buf, 0, 4), 4);  // an empty read at the end is fine
}

TEST(ByteChunkIO, EmptyStringIsFourZeroBytes) {
  ByteChunk chunk;
  EXPECT_EQ(chunk.PutStr(""), 4);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(chunk.GetBytes()[k], 0);
  std::string s = "old";
  EXPECT_EQ(chunk.GetStr(&s, 0), 4);
  EXPECT_EQ(s, "");
}

TEST(ByteChunkIO, StringsRoundTrip) {
  ByteChunk chunk;
  chunk.PutStr("kick");
  chunk.PutStr("snare drum");
  std::string a, b;
  int pos = chunk.GetStr(&a, 0);
  EXPECT_EQ(pos, 8);
  EXPECT_EQ(chunk.GetStr(&b, pos), 22);
  EXPECT_EQ(a, "kick");
  EXPECT_EQ(b, "snare drum");
}

TEST(ByteChunkIO, ShortStringLeavesTheStringAndPointsPastTheEnd) {
  ByteChunk chunk;
  chunk.PutStr("abcdef");
  chunk.Resize(7);  // length 6 but only 3 bytes follow
  std::string s = "keep";
  int pos = chunk.GetStr(&s, 0);
  EXPECT_EQ(pos, 10);
  EXPECT_EQ(s, "keep");
  bool b = false;
  EXPECT_EQ(chunk.GetBool(&b, pos), -1);  // the next read fails
}

TEST(ByteChunkIO, NegativeStringLengthIsRejected) {
  ByteChunk chunk;
  int len = -4;
  chunk.Put(&len);
  chunk.PutStr("payload");
  std::string s = "keep";
  EXPECT_EQ(chunk.GetStr(&s, 0), -1);
  EXPECT_EQ(s, "keep");
  len = INT_MIN;
  ByteChunk worst;
  worst.Put(&len);
  EXPECT_EQ(worst.GetStr(&s, 0), -1);
  EXPECT_EQ(s, "keep");
}

TEST(ByteChunkIO, HugeStringLengthDoesNotWrap) {
  ByteChunk chunk;
  int len = INT_MAX;
  chunk.Put(&len);
  std::string s = "keep";
  EXPECT_EQ(chunk.GetStr(&s, 0), -1);  // the end lies beyond what a position can say
  EXPECT_EQ(s, "keep");
  len = INT_MAX - 8;
  ByteChunk other;
  other.Put(&len);
  int pos = other.GetStr(&s, 0);
  EXPECT_GT(pos, other.Size());
  EXPECT_EQ(s, "keep");
}

TEST(ByteChunkIO, BoolsAndResize) {
  ByteChunk chunk;
  chunk.PutBool(true);
  chunk.PutBool(false);
  unsigned char two = 2;
  chunk.PutBytes(&two, 1);
  bool b = false;
  EXPECT_EQ(chunk.GetBool(&b, 0), 1);
  EXPECT_TRUE(b);
  EXPECT_EQ(chunk.GetBool(&b, 1), 2);
  EXPECT_FALSE(b);
  EXPECT_EQ(chunk.GetBool(&b, 2), 3);
  EXPECT_TRUE(b);  // any non-zero byte

  EXPECT_EQ(chunk.Resize(6), 3);
  EXPECT_EQ(chunk.Size(), 6);
  EXPECT_EQ(chunk.GetBytes()[5], 0);
  EXPECT_EQ(chunk.Resize(-3), 6);
  EXPECT_EQ(chunk.Size(), 0);
}

TEST(ByteChunkIO, PutChunkAppends) {
  ByteChunk a = ChunkOfDoubles(2, 1.0), b = ChunkOfDoubles(1, 9.0);
  EXPECT_EQ(a.PutChunk(&b), 24);
  double v = 0;
  a.Get(&v, 16);
  EXPECT_EQ(v, 9.0);
  EXPECT_EQ(a.PutChunk(&a), 48);  // appending to itself doubles it
  a.Get(&v, 40);
  EXPECT_EQ(v, 9.0);
  a.Clear();
  EXPECT_EQ(a.Size(), 0);
}

TEST(StateChunk, SeventeenParametersMake136Bytes) {
  TestPlug plug(kNParams);
  InitSeventeen(plug);
  ByteChunk chunk;
  ASSERT_TRUE(plug.SerializeState(&chunk));
  EXPECT_EQ(chunk.Size(), 136);
  double first;
  std::memcpy(&first, chunk.GetBytes(), 8);
  EXPECT_EQ(first, 10.0);
}

TEST(StateChunk, RoundTripRestoresEveryValueAndNotifies) {
  TestPlug source(kNParams), target(kNParams);
  InitSeventeen(source);
  InitSeventeen(target);
  for (int i = 0; i < kNParams; ++i) source.GetParam(i)->Set(i * 3.25);
  ByteChunk chunk;
  source.SerializeState(&chunk);
  EXPECT_EQ(target.UnserializeState(&chunk, 0), 136);
  for (int i = 0; i < kNParams; ++i) EXPECT_EQ(target.GetParam(i)->Value(), i * 3.25);
  EXPECT_EQ(target.changed.size(), static_cast<std::size_t>(kNParams));
  EXPECT_TRUE(target.CompareState(chunk.GetBytes(), 0));
}

TEST(StateChunk, ShortChunkKeepsTheMissingValues) {
  TestPlug plug(kNParams);
  InitSeventeen(plug);
  ByteChunk chunk = ChunkOfDoubles(8, 50.0);  // 64 bytes: parameters 0..7
  EXPECT_EQ(plug.UnserializeParams(&chunk, 0), -1);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(plug.GetParam(i)->Value(), 50.0 + i);
  // Parameter 8 has no value in the chunk: it is not overwritten with 0.
  for (int i = 8; i < kNParams; ++i) EXPECT_EQ(plug.GetParam(i)->Value(), 10.0 + i);
  EXPECT_EQ(plug.changed.size(), static_cast<std::size_t>(kNParams));
}

TEST(StateChunk, ExtraDataIsIgnored) {
  TestPlug plug(kNParams);
  InitSeventeen(plug);
  ByteChunk chunk = ChunkOfDoubles(25, 1.0);  // 200 bytes
  EXPECT_EQ(plug.UnserializeParams(&chunk, 0), 136);
  EXPECT_EQ(plug.GetParam(16)->Value(), 17.0);
}

TEST(StateChunk, ValuesAreClampedToTheRange) {
  TestPlug plug(2);
  plug.GetParam(0)->InitDouble("a", 0.5, 0, 1, 0.01);
  plug.GetParam(1)->InitDouble("b", 0.5, 0, 1, 0.01);
  ByteChunk chunk;
  double lo = -7, hi = 7;
  chunk.Put(&lo);
  chunk.Put(&hi);
  EXPECT_EQ(plug.UnserializeParams(&chunk, 0), 16);
  EXPECT_EQ(plug.GetParam(0)->Value(), 0.0);
  EXPECT_EQ(plug.GetParam(1)->Value(), 1.0);
}

TEST(StateChunk, NonFiniteValuesAreNotApplied) {
  TestPlug plug(3);
  for (int i = 0; i < 3; ++i) plug.GetParam(i)->InitDouble("p", 0.5, 0, 1, 0.01);
  for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity()}) {
    ByteChunk chunk;
    double a = 0.25, c = 0.75;
    chunk.Put(&a);
    chunk.Put(&bad);
    chunk.Put(&c);
    plug.changed.clear();
    EXPECT_EQ(plug.UnserializeParams(&chunk, 0), -1);
    EXPECT_EQ(plug.GetParam(0)->Value(), 0.25);
    EXPECT_EQ(plug.GetParam(1)->Value(), 0.5);  // kept
    EXPECT_EQ(plug.GetParam(2)->Value(), 0.75);
    EXPECT_EQ(plug.changed.size(), 3u);
  }
}

TEST(StateChunk, NegativeStartReadsNothing) {
  TestPlug plug(2);
  ByteChunk chunk = ChunkOfDoubles(2, 0.5);
  EXPECT_EQ(plug.UnserializeParams(&chunk, -3), -3);
  EXPECT_EQ(plug.GetParam(0)->Value(), 0.0);
  EXPECT_EQ(plug.changed.size(), 2u);  // OnParamReset still runs
  EXPECT_EQ(plug.UnserializeParams(nullptr, 0), -1);
  EXPECT_FALSE(plug.SerializeParams(nullptr));
}

TEST(StateChunk, ReadsFromAnOffset) {
  TestPlug plug(2);
  plug.GetParam(0)->InitDouble("a", 0, 0, 100, 1);
  plug.GetParam(1)->InitDouble("b", 0, 0, 100, 1);
  ByteChunk chunk;
  chunk.PutStr("hdr");
  ByteChunk values = ChunkOfDoubles(2, 40.0);
  chunk.PutChunk(&values);
  EXPECT_EQ(plug.UnserializeState(&chunk, 7), 23);
  EXPECT_EQ(plug.GetParam(1)->Value(), 41.0);
}

TEST(StateChunk, CompareStateInSinglePrecision) {
  TestPlug plug(2);
  plug.GetParam(0)->InitDouble("a", 0.5, 0, 1, 0.000001);
  plug.GetParam(1)->InitDouble("b", 0.25, 0, 1, 0.000001);
  double close[] = {99.0, 0.500001, 0.25};
  double far[] = {0.5, 0.251};
  double nan[] = {std::numeric_limits<double>::quiet_NaN(), 0.25};
  unsigned char bytes[sizeof close];
  std::memcpy(bytes, close, sizeof close);
  EXPECT_TRUE(plug.CompareState(bytes, 1));  // starts one double in
  EXPECT_FALSE(plug.CompareState(bytes, 0));
  std::memcpy(bytes, far, sizeof far);
  EXPECT_FALSE(plug.CompareState(bytes, 0));
  std::memcpy(bytes, nan, sizeof nan);
  EXPECT_FALSE(plug.CompareState(bytes, 0));
  EXPECT_FALSE(plug.CompareState(nullptr, 0));
}

TEST(StateChunk, CompareStateLimitIsTheDecimalNotItsFloat) {
  TestPlug plug(1);
  plug.GetParam(0)->InitDouble("a", 0.0, 0, 1, 0.000001);
  // The single-precision difference is the float nearest 0.00001, which lies
  // just below the decimal 0.00001: a match.
  double incoming = static_cast<double>(0.00001f);
  ASSERT_LT(incoming, 0.00001);
  unsigned char bytes[sizeof incoming];
  std::memcpy(bytes, &incoming, sizeof incoming);
  EXPECT_TRUE(plug.CompareState(bytes, 0));
  // The next float up lies above 0.00001: a difference.
  incoming = static_cast<double>(std::nextafter(0.00001f, 1.0f));
  std::memcpy(bytes, &incoming, sizeof incoming);
  EXPECT_FALSE(plug.CompareState(bytes, 0));
}
