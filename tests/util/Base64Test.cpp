// Base64: RFC 4648 test vectors, round trips and bounded decoding.
#include "util/Base64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Encode(const std::string& s) {
  std::vector<char> out(Base64EncodedSize(static_cast<int>(s.size())), '#');
  base64encode(reinterpret_cast<const unsigned char*>(s.data()), out.data(), static_cast<int>(s.size()));
  EXPECT_EQ(std::strlen(out.data()) + 1, out.size()) << "encoder filled exactly its size";
  return out.data();
}

std::string Decode(const char* text, int destsize) {
  std::vector<unsigned char> out(destsize + 4, 0xEE);
  const int n = base64decode(text, out.data(), destsize);
  for (int i = destsize; i < destsize + 4; ++i) EXPECT_EQ(out[i], 0xEE) << "wrote past destsize";
  return std::string(out.begin(), out.begin() + n);
}

struct Vector {
  const char* plain;
  const char* encoded;
};
// RFC 4648, section 10.
const Vector kRfcVectors[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
                              {"foo", "Zm9v"},  {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
                              {"foobar", "Zm9vYmFy"}};

}  // namespace

TEST(Base64Encode, RfcTestVectors) {
  for (const Vector& v : kRfcVectors) EXPECT_EQ(Encode(v.plain), v.encoded) << v.plain;
}

TEST(Base64Encode, ShortExamples) {
  EXPECT_EQ(Encode("abc"), "YWJj");
  EXPECT_EQ(Encode("ab"), "YWI=");
}

TEST(Base64Decode, RfcTestVectors) {
  for (const Vector& v : kRfcVectors) EXPECT_EQ(Decode(v.encoded, 64), v.plain) << v.encoded;
}

TEST(Base64Decode, UsesTheWholeAlphabet) {
  // Every sextet value once, in order: 48 bytes of known content.
  const char* all = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes = Decode(all, 100);
  ASSERT_EQ(bytes.size(), 48u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x00);
  EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0x10);
  EXPECT_EQ(static_cast<unsigned char>(bytes[2]), 0x83);
  // "89+/" is 60 61 62 63: 111100 111101 111110 111111.
  EXPECT_EQ(static_cast<unsigned char>(bytes[45]), 0xF3);
  EXPECT_EQ(static_cast<unsigned char>(bytes[46]), 0xDF);
  EXPECT_EQ(static_cast<unsigned char>(bytes[47]), 0xBF);
  EXPECT_EQ(Encode(bytes), all);
}

TEST(Base64RoundTrip, EveryLengthAndEveryByteValue) {
  for (int len = 0; len < 300; ++len) {
    std::string s;
    for (int i = 0; i < len; ++i) s += static_cast<char>((i * 37 + len) & 0xFF);
    const std::string text = Encode(s);
    EXPECT_EQ(text.size() % 4, 0u);
    EXPECT_EQ(Decode(text.c_str(), len + 8), s) << len;
  }
}

TEST(Base64Decode, NeverWritesMoreThanTheGivenCount) {
  EXPECT_EQ(Decode("Zm9vYmFy", 4), "foob");
  EXPECT_EQ(Decode("Zm9vYmFy", 1), "f");
  EXPECT_EQ(Decode("Zm9vYmFy", 0), "");
  unsigned char b = 0x55;
  EXPECT_EQ(base64decode("Zm9v", &b, -3), 0);
  EXPECT_EQ(b, 0x55);
}

TEST(Base64Decode, StopsAtTheFirstCharacterOutsideTheAlphabet) {
  EXPECT_EQ(Decode("Zm9v YmFy", 64), "foo");
  EXPECT_EQ(Decode("Zm9v\nYmFy", 64), "foo");
  EXPECT_EQ(Decode("Zg==Zm9v", 64), "f");  // the pad ends the data
  EXPECT_EQ(Decode("-_-_", 64), "");        // URL-safe letters are not ours
  EXPECT_EQ(Decode("Zm\x80v", 64), "f");    // high bytes too
}

TEST(Base64Decode, UnpaddedTailsAndLoneSextets) {
  EXPECT_EQ(Decode("Zm8", 64), "fo");
  EXPECT_EQ(Decode("Zg", 64), "f");
  EXPECT_EQ(Decode("Z", 64), "");
  EXPECT_EQ(Decode("Zm9vY", 64), "foo");
}

TEST(Base64Decode, NullArgumentsWriteNothing) {
  unsigned char b[4] = {1, 2, 3, 4};
  EXPECT_EQ(base64decode(nullptr, b, 4), 0);
  EXPECT_EQ(base64decode("Zm9v", nullptr, 4), 0);
  EXPECT_EQ(b[0], 1);
}

TEST(Base64Encode, NullInputEncodesAsEmpty) {
  char out[8] = "junk";
  base64encode(nullptr, out, 5);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(Base64EncodedSize(0), 1);
  EXPECT_EQ(Base64EncodedSize(1533), 2045);  // fits the 2048-byte dump buffer
  EXPECT_EQ(Base64EncodedSize(1536), 2049);
}
