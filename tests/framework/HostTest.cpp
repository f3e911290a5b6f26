// Host identification, API names and packed versions.
#include "framework/IHost.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(HostLookUp, BundleIdentifiersAndProductNames) {
  EXPECT_EQ(LookUpHost("com.apple.logic10"), kHostLogic);
  EXPECT_EQ(LookUpHost("Ableton Live 9"), kHostAbletonLive);
  EXPECT_EQ(LookUpHost("com.apple.garageband10"), kHostGarageBand);
  EXPECT_EQ(LookUpHost("com.presonus.studioone5"), kHostStudioOne);
  EXPECT_EQ(LookUpHost("REAPER v6.82"), kHostReaper);
  EXPECT_EQ(LookUpHost("com.avid.ProTools"), kHostProTools);
  EXPECT_EQ(LookUpHost("com.motu.DigitalPerformer"), kHostDigitalPerformer);
  EXPECT_EQ(LookUpHost("com.apple.audio.aulab"), kHostAULab);
  EXPECT_EQ(LookUpHost("Melodyne"), kHostMelodyneStudio);
  EXPECT_EQ(LookUpHost("vstmanlib"), kHostVSTScanner);
  EXPECT_EQ(LookUpHost("Cakewalk"), kHostSonar);
  EXPECT_EQ(LookUpHost("FruityLoops"), kHostFL);
  EXPECT_EQ(LookUpHost("OpenMPT"), kHostOpenMPT);
  EXPECT_EQ(LookUpHost("Renoise"), kHostRenoise);
  EXPECT_EQ(LookUpHost("Ardour"), kHostArdour);
  EXPECT_EQ(LookUpHost("my standalone app"), kHostStandalone);
}

TEST(HostLookUp, ComparisonIgnoresCase) {
  EXPECT_EQ(LookUpHost("CUBASE"), kHostCubase);
  EXPECT_EQ(LookUpHost("SawStudio"), kHostSAWStudio);
  EXPECT_EQ(LookUpHost("VST3PluginTestHost"), kHostVST3TestHost);
}

TEST(HostLookUp, FirstEntryOfTheTableWins) {
  EXPECT_EQ(LookUpHost("nuendo and cubase"), kHostCubase);
  EXPECT_EQ(LookUpHost("logic live"), kHostAbletonLive);  // "live" is tested before "logic"
  EXPECT_EQ(LookUpHost("com.apple.logic.live"), kHostAbletonLive);
  EXPECT_EQ(LookUpHost("reaper standalone"), kHostReaper);
  // "deliverance" contains "live": any such name is Live once earlier entries failed.
  EXPECT_EQ(LookUpHost("deliverance"), kHostAbletonLive);
  // "digital" comes after "logic": a name with both is Logic.
  EXPECT_EQ(LookUpHost("digital logic"), kHostLogic);
}

TEST(HostLookUp, EmptyNullAndUnknownNamesGiveUnknown) {
  EXPECT_EQ(LookUpHost(""), kHostUnknown);
  EXPECT_EQ(LookUpHost(nullptr), kHostUnknown);
  EXPECT_EQ(LookUpHost("com.example.somehost"), kHostUnknown);
}

TEST(HostLookUp, OverlongNamesAreComparedOnTheirFirst255Characters) {
  std::string name(255 - 6, 'x');
  name += "Reaper";  // ends exactly at character 255
  EXPECT_EQ(LookUpHost(name.c_str()), kHostReaper);
  std::string tooLong(255, 'x');
  tooLong += "reaper";  // lies beyond what is compared
  EXPECT_EQ(LookUpHost(tooLong.c_str()), kHostUnknown);
  std::string huge(100000, 'a');
  EXPECT_EQ(LookUpHost(huge.c_str()), kHostUnknown);
}

TEST(HostNames, EveryNamedValueAndTheGaps) {
  struct Row {
    int host;
    const char* name;
  } rows[] = {{1, "Reaper"},      {2, "ProTools"},     {3, "Cubase"},    {4, "Nuendo"},
              {5, "Sonar"},       {6, "Vegas"},        {7, "FLStudio"},  {8, "Samplitude"},
              {9, "Live"},        {13, "VSTScanner"},  {14, "AULab"},    {15, "Forte"},
              {16, "Chainer"},    {17, "Audition"},    {18, "Orion"},    {20, "SAWStudio"},
              {21, "Logic"},      {22, "GarageBand"},  {23, "DigitalPerformer"},
              {24, "Standalone"}, {25, "AudioMulch"},  {26, "StudioOne"},
              {27, "VST3PluginTestHost"},              {28, "Ardour"},   {29, "Renoise"},
              {30, "OpenMPT"},    {0, "Unknown"},      {10, "Unknown"},  {11, "Unknown"},
              {12, "Unknown"},    {19, "Unknown"},     {-1, "Unknown"},  {31, "Unknown"}};
  for (const Row& r : rows) {
    char buf[kMaxHostNameLen + 1];
    std::memset(buf, 'Z', sizeof buf);
    GetHostNameStr(static_cast<EHost>(r.host), buf);
    EXPECT_STREQ(buf, r.name) << r.host;
    EXPECT_LE(std::strlen(r.name), static_cast<size_t>(kMaxHostNameLen));
  }
}

TEST(HostNames, LookUpAndNameAgreeForEveryTableEntry) {
  const char* names[] = {"Reaper", "ProTools", "Cubase", "Nuendo", "Samplitude", "Live",
                         "AULab", "Forte", "Chainer", "Audition", "Orion", "SAWStudio", "Logic",
                         "GarageBand", "DigitalPerformer", "Standalone", "AudioMulch",
                         "VST3PluginTestHost", "Ardour", "Renoise", "OpenMPT"};
  for (const char* n : names) EXPECT_STREQ(HostNameStr(LookUpHost(n)), n);
}

TEST(ApiNames, TextsAndOutOfRange) {
  EXPECT_STREQ(APINameStr(kAPIVST2), "VST2");
  EXPECT_STREQ(APINameStr(kAPIVST3), "VST3");
  EXPECT_STREQ(APINameStr(kAPIAU), "AU");
  EXPECT_STREQ(APINameStr(kAPIRTAS), "RTAS");
  EXPECT_STREQ(APINameStr(kAPIAAX), "AAX");
  EXPECT_STREQ(APINameStr(kAPISA), "Standalone");
  EXPECT_STREQ(APINameStr(6), "");
  EXPECT_STREQ(APINameStr(-1), "");
}

TEST(Versions, UnpackDecimalAndText) {
  int maj = -1, min = -1, patch = -1;
  GetVersionParts(0x010203, &maj, &min, &patch);
  EXPECT_EQ(maj, 1);
  EXPECT_EQ(min, 2);
  EXPECT_EQ(patch, 3);
  EXPECT_EQ(GetDecimalVersion(0x010203), 10203);
  char buf[kMaxVersionStrLen + 1];
  GetVersionStr(0x010203, buf);
  EXPECT_STREQ(buf, "v1.2.3");
  EXPECT_EQ(GetDecimalVersion(0x10000), 10000);
  GetVersionStr(0x10000, buf);
  EXPECT_STREQ(buf, "v1.0.0");
  EXPECT_EQ(GetDecimalVersion(0), 0);
}

TEST(Versions, FullFieldsAndWidestText) {
  EXPECT_EQ(GetDecimalVersion(0x7FFFFFFF), 32767 * 10000 + 255 * 100 + 255);
  char buf[kMaxVersionStrLen + 1];
  GetVersionStr(0x7FFFFFFF, buf);
  EXPECT_STREQ(buf, "v32767.255.255");
  GetVersionStr(static_cast<int>(0x8000FFFFu), buf);  // the widest text
  EXPECT_STREQ(buf, "v-32767.255.255");
  GetVersionParts(0x0A0B0C, nullptr, nullptr, nullptr);  // null outputs are skipped
}
