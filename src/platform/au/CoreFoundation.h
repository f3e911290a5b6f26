// Reference-counted values under Core Foundation's names: the few kinds the
// Audio Unit wrapper hands to and takes from a host (dictionary, number,
// data, string, array with callbacks, URL) and the bundle lookups.
//
// Ownership follows the platform's rule: a Create or Copy call gives the
// caller one reference, which it ends with CFRelease; a Get call lends a
// value the caller does not release. Containers retain what they hold and
// release it when they go. Values are plain records tagged with their kind,
// so code built into a plug-in and code built into its host can share them.
//
// Threads: reference counts are atomic; a value may be read from several
// threads, but a mutable container is changed by one thread at a time.
#pragma once

#include <cstdint>

typedef unsigned char Boolean;
typedef long CFIndex;
typedef unsigned long CFTypeID;
typedef unsigned long CFOptionFlags;
typedef const void* CFTypeRef;
typedef CFTypeRef CFPropertyListRef;
typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFString* CFStringRef;
typedef const struct __CFNumber* CFNumberRef;
typedef const struct __CFData* CFDataRef;
typedef const struct __CFDictionary* CFDictionaryRef;
typedef struct __CFDictionary* CFMutableDictionaryRef;
typedef const struct __CFArray* CFArrayRef;
typedef struct __CFArray* CFMutableArrayRef;
typedef const struct __CFURL* CFURLRef;
typedef struct __CFBundle* CFBundleRef;

typedef uint32_t CFStringEncoding;
constexpr CFStringEncoding kCFStringEncodingUTF8 = 0x08000100;

typedef CFIndex CFNumberType;
constexpr CFNumberType kCFNumberSInt32Type = 3;
constexpr CFNumberType kCFNumberFloat64Type = 6;

typedef CFIndex CFURLPathStyle;
constexpr CFURLPathStyle kCFURLPOSIXPathStyle = 0;

// The default allocator is the C++ heap.
constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;
void* CFAllocatorAllocate(CFAllocatorRef allocator, CFIndex size, CFOptionFlags hint);
void CFAllocatorDeallocate(CFAllocatorRef allocator, void* ptr);

// ---- Every value ----
CFTypeRef CFRetain(CFTypeRef cf);
void CFRelease(CFTypeRef cf);
CFIndex CFGetRetainCount(CFTypeRef cf);
CFTypeID CFGetTypeID(CFTypeRef cf);
// Same kind and same contents (strings, numbers, data; others by identity).
Boolean CFEqual(CFTypeRef a, CFTypeRef b);
CFTypeID CFStringGetTypeID();
CFTypeID CFNumberGetTypeID();
CFTypeID CFDataGetTypeID();
CFTypeID CFDictionaryGetTypeID();
CFTypeID CFArrayGetTypeID();
CFTypeID CFURLGetTypeID();

// ---- Strings (UTF-8 inside) ----
// Null when cStr is null or not valid UTF-8.
CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr, CFStringEncoding encoding);
// Number of characters (code points).
CFIndex CFStringGetLength(CFStringRef str);
// Copies the text with its terminator into buffer; false (buffer untouched
// beyond a terminator at 0) when it does not fit in bufferSize bytes.
Boolean CFStringGetCString(CFStringRef str, char* buffer, CFIndex bufferSize, CFStringEncoding encoding);
// The text itself, valid while the string lives; null for a non-string.
const char* CFStringGetCStringPtr(CFStringRef str, CFStringEncoding encoding);

// ---- Numbers ----
CFNumberRef CFNumberCreate(CFAllocatorRef alloc, CFNumberType type, const void* valuePtr);
// False when the value does not fit the asked type exactly (it is still converted).
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* valuePtr);

// ---- Data ----
CFDataRef CFDataCreate(CFAllocatorRef alloc, const uint8_t* bytes, CFIndex length);
CFIndex CFDataGetLength(CFDataRef data);
const uint8_t* CFDataGetBytePtr(CFDataRef data);

// ---- Dictionaries ----
// Only the value-retaining callbacks exist here: keys and values are retained.
struct CFDictionaryKeyCallBacks {
  CFIndex version;
};
struct CFDictionaryValueCallBacks {
  CFIndex version;
};
extern const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
extern const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;
CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef alloc, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks);
// Replaces the value of an equal key, or adds the pair.
void CFDictionarySetValue(CFMutableDictionaryRef dict, const void* key, const void* value);
void CFDictionaryRemoveValue(CFMutableDictionaryRef dict, const void* key);
// Null for a missing key (or a dictionary that is not one).
const void* CFDictionaryGetValue(CFDictionaryRef dict, const void* key);
CFIndex CFDictionaryGetCount(CFDictionaryRef dict);

// ---- Arrays ----
typedef const void* (*CFArrayRetainCallBack)(CFAllocatorRef allocator, const void* value);
typedef void (*CFArrayReleaseCallBack)(CFAllocatorRef allocator, const void* value);
typedef CFStringRef (*CFArrayCopyDescriptionCallBack)(const void* value);
typedef Boolean (*CFArrayEqualCallBack)(const void* value1, const void* value2);
struct CFArrayCallBacks {
  CFIndex version;
  CFArrayRetainCallBack retain;
  CFArrayReleaseCallBack release;
  CFArrayCopyDescriptionCallBack copyDescription;
  CFArrayEqualCallBack equal;
};
extern const CFArrayCallBacks kCFTypeArrayCallBacks;
// callBacks null: the array holds plain pointers and retains nothing.
CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef alloc, CFIndex capacity, const CFArrayCallBacks* callBacks);
// Retains the value through the array's retain callback.
void CFArrayAppendValue(CFMutableArrayRef array, const void* value);
CFIndex CFArrayGetCount(CFArrayRef array);
// Null for an index outside the array.
const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex idx);
// Uses the equal callback (identity without one).
Boolean CFArrayContainsValue(CFArrayRef array, const void* value);

// ---- URLs (file system paths) ----
CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef alloc, CFStringRef filePath, CFURLPathStyle style,
                                       Boolean isDirectory);
CFStringRef CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle style);

// ---- Bundles ----
// Bundles are owned by the system and never released by their users.
// The host application's bundle. Programs here have no bundle identifier.
CFBundleRef CFBundleGetMainBundle();
CFStringRef CFBundleGetIdentifier(CFBundleRef bundle);
// The bundle of the plug-in binary that holds this code, named by its
// identifier: its location is the folder the binary was loaded from.
CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID);
CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle);
