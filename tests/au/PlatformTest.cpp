// The platform layer: reference-counted values, bundles, component records
// and the Audio Unit calls' argument passing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "platform/au/AUComponent.h"

namespace {

CFStringRef Str(const char* s) { return CFStringCreateWithCString(nullptr, s, kCFStringEncodingUTF8); }

}  // namespace

TEST(CFValues, ContainersRetainWhatTheyHoldAndReleaseItOnce) {
  CFStringRef key = Str("data");
  SInt32 v = -7;
  CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt32Type, &v);
  CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  CFDictionarySetValue(d, key, n);
  EXPECT_EQ(CFGetRetainCount(n), 2);
  // An equal key (another string object) finds and replaces the value.
  CFStringRef key2 = Str("data");
  EXPECT_EQ(CFDictionaryGetValue(d, key2), n);
  CFNumberRef n2 = CFNumberCreate(nullptr, kCFNumberSInt32Type, &v);
  CFDictionarySetValue(d, key2, n2);
  EXPECT_EQ(CFDictionaryGetCount(d), 1);
  EXPECT_EQ(CFGetRetainCount(n), 1);
  CFStringRef missing = Str("name");
  EXPECT_EQ(CFDictionaryGetValue(d, missing), nullptr);
  SInt32 back = 0;
  EXPECT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(d, key)), kCFNumberSInt32Type, &back));
  EXPECT_EQ(back, -7);
  CFDictionaryRemoveValue(d, key);
  EXPECT_EQ(CFDictionaryGetCount(d), 0);
  for (CFTypeRef x : {CFTypeRef(key), CFTypeRef(key2), CFTypeRef(n), CFTypeRef(n2), CFTypeRef(missing), CFTypeRef(d)})
    CFRelease(x);
  // Accessors refuse values of another kind instead of misreading them.
  CFStringRef s = Str("x");
  EXPECT_EQ(CFDataGetLength(reinterpret_cast<CFDataRef>(s)), 0);
  EXPECT_FALSE(CFNumberGetValue(reinterpret_cast<CFNumberRef>(s), kCFNumberSInt32Type, &back));
  EXPECT_EQ(CFDictionaryGetValue(reinterpret_cast<CFDictionaryRef>(s), s), nullptr);
  CFRelease(s);
}

TEST(CFValues, StringsNumbersAndDataReadBackExactly) {
  EXPECT_EQ(Str(nullptr), nullptr);
  EXPECT_EQ(Str("\xC3\x28"), nullptr);  // not UTF-8
  CFStringRef s = Str("Gr\xC3\xBC\xC3\x9F" "e");
  EXPECT_EQ(CFStringGetLength(s), 5);
  char buf[8];
  EXPECT_TRUE(CFStringGetCString(s, buf, 8, kCFStringEncodingUTF8));
  EXPECT_STREQ(buf, "Gr\xC3\xBC\xC3\x9F" "e");
  EXPECT_FALSE(CFStringGetCString(s, buf, 7, kCFStringEncodingUTF8));  // no room for the terminator
  EXPECT_EQ(buf[0], '\0');
  CFRelease(s);

  SInt32 big = INT32_MIN;
  CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt32Type, &big);
  SInt32 back = 0;
  EXPECT_TRUE(CFNumberGetValue(n, kCFNumberSInt32Type, &back));
  EXPECT_EQ(back, INT32_MIN);
  CFRelease(n);
  double frac = 2.5;
  n = CFNumberCreate(nullptr, kCFNumberFloat64Type, &frac);
  EXPECT_FALSE(CFNumberGetValue(n, kCFNumberSInt32Type, &back));  // not exact
  CFRelease(n);

  const uint8_t bytes[] = {0, 1, 2, 255};
  CFDataRef d = CFDataCreate(nullptr, bytes, 4);
  ASSERT_EQ(CFDataGetLength(d), 4);
  EXPECT_EQ(std::memcmp(CFDataGetBytePtr(d), bytes, 4), 0);
  CFDataRef d2 = CFDataCreate(nullptr, bytes, 4);
  EXPECT_TRUE(CFEqual(d, d2));
  CFRelease(d);
  CFRelease(d2);
  EXPECT_EQ(CFDataCreate(nullptr, nullptr, 3), nullptr);
}

namespace {
int gRetains = 0, gReleases = 0;
const void* CountRetain(CFAllocatorRef, const void* v) {
  ++gRetains;
  return v;
}
void CountRelease(CFAllocatorRef, const void*) { ++gReleases; }
}  // namespace

TEST(CFValues, ArraysUseTheirCallbacks) {
  gRetains = gReleases = 0;
  CFArrayCallBacks cb{0, CountRetain, CountRelease, nullptr, nullptr};
  int a = 1, b = 2;
  CFMutableArrayRef arr = CFArrayCreateMutable(nullptr, 0, &cb);
  CFArrayAppendValue(arr, &a);
  CFArrayAppendValue(arr, &b);
  EXPECT_EQ(gRetains, 2);
  EXPECT_EQ(CFArrayGetCount(arr), 2);
  EXPECT_EQ(CFArrayGetValueAtIndex(arr, 1), &b);
  EXPECT_EQ(CFArrayGetValueAtIndex(arr, 2), nullptr);
  EXPECT_EQ(CFArrayGetValueAtIndex(arr, -1), nullptr);
  EXPECT_TRUE(CFArrayContainsValue(arr, &a));
  CFRelease(arr);
  EXPECT_EQ(gReleases, 2);
}

TEST(CFValues, BundleLookupAnswersTheFolderOfThisBinary) {
  EXPECT_EQ(CFBundleGetIdentifier(CFBundleGetMainBundle()), nullptr);
  CFStringRef id = Str("com.example.test");
  CFBundleRef bundle = CFBundleGetBundleWithIdentifier(id);
  ASSERT_NE(bundle, nullptr);
  EXPECT_EQ(CFBundleGetBundleWithIdentifier(id), bundle);
  EXPECT_TRUE(CFEqual(CFBundleGetIdentifier(bundle), id));
  CFURLRef url = CFBundleCopyBundleURL(bundle);
  CFStringRef path = CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle);
  const auto self = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  EXPECT_TRUE(std::filesystem::equivalent(CFStringGetCStringPtr(path, kCFStringEncodingUTF8), self));
  CFRelease(path);
  CFRelease(url);
  CFRelease(bundle);  // bundles are the system's: releasing does nothing
  CFURLRef again = CFBundleCopyBundleURL(bundle);
  EXPECT_NE(again, nullptr);
  CFRelease(again);
  CFRelease(id);
}

namespace {
struct Seen {
  SInt16 what = 0;
  int nArgs = 0;
  intptr_t args[8] = {};
};
Seen gSeen;
ComponentResult Recorder(ComponentParameters* p, void* storage) {
  gSeen.what = p->what;
  gSeen.nArgs = p->paramSize / static_cast<int>(sizeof(intptr_t));
  for (int i = 0; i < gSeen.nArgs && i < 8; ++i) gSeen.args[i] = p->params[i];
  if (p->what == kComponentOpenSelect) SetComponentInstanceStorage(reinterpret_cast<ComponentInstance>(p->params[0]), reinterpret_cast<Handle>(&gSeen));
  return storage == &gSeen || p->what == kComponentOpenSelect ? noErr : paramErr;
}
}  // namespace

TEST(Components, RequestsCarryTheirArgumentsInCallOrder) {
  ComponentInstance ci = nullptr;
  const ComponentDescription cd{1, 2, 3, 0, 0};
  ASSERT_EQ(OpenAComponent(Recorder, cd, &ci), noErr);
  EXPECT_EQ(GetComponentInstanceStorage(ci), reinterpret_cast<Handle>(&gSeen));
  ComponentDescription back{};
  EXPECT_EQ(GetComponentInfo(ci, &back, nullptr, nullptr, nullptr), noErr);
  EXPECT_EQ(back.componentSubType, 2u);
  EXPECT_EQ(GetComponentInfo(nullptr, &back, nullptr, nullptr, nullptr), paramErr);

  EXPECT_EQ(AudioUnitSetParameter(ci, 3, 0, 1, 0.25f, 17), noErr);
  EXPECT_EQ(gSeen.what, kAudioUnitSetParameterSelect);
  ASSERT_EQ(gSeen.nArgs, 5);
  EXPECT_EQ(gSeen.args[0], 3);
  EXPECT_EQ(gSeen.args[2], 1);
  EXPECT_EQ(ComponentArgFloat(gSeen.args[3]), 0.25f);
  EXPECT_EQ(gSeen.args[4], 17);
  EXPECT_EQ(CloseComponent(ci), noErr);
  EXPECT_EQ(gSeen.what, kComponentCloseSelect);
}

TEST(Components, ParameterEventsAreRecordedOnTheirUnit) {
  ComponentRecord rec;
  AudioUnitEvent e{};
  e.mEventType = kAudioUnitEvent_BeginParameterChangeGesture;
  e.mArgument.mParameter = {&rec, 4, 0, 0};
  EXPECT_EQ(AUEventListenerNotify(nullptr, nullptr, &e), noErr);
  ASSERT_EQ(ComponentEventCount(&rec), 1);
  EXPECT_EQ(ComponentEventAt(&rec, 0)->mArgument.mParameter.mParameterID, 4u);
  EXPECT_EQ(ComponentEventAt(&rec, 1), nullptr);
  e.mArgument.mParameter.mAudioUnit = nullptr;
  EXPECT_EQ(AUEventListenerNotify(nullptr, nullptr, &e), paramErr);
  for (int i = 0; i < ComponentRecord::kMaxEvents + 10; ++i) {
    e.mArgument.mParameter.mAudioUnit = &rec;
    AUEventListenerNotify(nullptr, nullptr, &e);
  }
  EXPECT_EQ(ComponentEventCount(&rec), ComponentRecord::kMaxEvents);  // the rest only counted
  ClearComponentEvents(&rec);
  EXPECT_EQ(ComponentEventCount(&rec), 0);
}
