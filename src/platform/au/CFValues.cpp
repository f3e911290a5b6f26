// Reference-counted values: the records behind the Core Foundation names.
#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/au/CoreFoundation.h"

namespace {

enum Kind : CFTypeID { kString = 7, kNumber, kData, kDictionary, kArray, kURL, kBundle };

// Every value starts with this header. The magic field lets the accessors
// refuse a pointer to something that is not one of our values of the asked
// kind instead of misreading it. The records have no virtual functions: a
// value made by the host's copy of this code is read and freed by the
// plug-in's copy, which has vtables of its own; the kind decides instead.
constexpr uint32_t kMagic = 0x43465631;  // "CFV1"

struct Value {
  uint32_t magic = kMagic;
  Kind kind;
  std::atomic<CFIndex> refs{1};
  explicit Value(Kind k) : kind(k) {}
  ~Value() { magic = 0; }
};

struct StringValue : Value {
  std::string text;
  StringValue() : Value(kString) {}
};
struct NumberValue : Value {
  bool isFloat = false;
  int64_t i = 0;
  double d = 0.0;
  NumberValue() : Value(kNumber) {}
};
struct DataValue : Value {
  std::vector<uint8_t> bytes;
  DataValue() : Value(kData) {}
};
struct DictionaryValue : Value {
  std::vector<std::pair<const void*, const void*>> pairs;
  DictionaryValue() : Value(kDictionary) {}
  ~DictionaryValue() {
    for (auto& p : pairs) {
      CFRelease(p.first);
      CFRelease(p.second);
    }
  }
};
struct ArrayValue : Value {
  std::vector<const void*> items;
  bool hasCallBacks = false;
  CFArrayCallBacks callBacks{};
  CFAllocatorRef allocator = nullptr;
  ArrayValue() : Value(kArray) {}
  ~ArrayValue() {
    if (hasCallBacks && callBacks.release)
      for (const void* v : items) callBacks.release(allocator, v);
  }
};
struct URLValue : Value {
  std::string path;
  URLValue() : Value(kURL) {}
};
struct BundleValue : Value {
  CFStringRef identifier = nullptr;  // owned; null: none
  std::string folder;
  BundleValue() : Value(kBundle) {}
  ~BundleValue() { CFRelease(identifier); }
};

const Value* AsValue(CFTypeRef cf) {
  const Value* v = static_cast<const Value*>(cf);
  return (v && v->magic == kMagic) ? v : nullptr;
}

template <typename T>
const T* As(CFTypeRef cf, Kind kind) {
  const Value* v = AsValue(cf);
  return (v && v->kind == kind) ? static_cast<const T*>(v) : nullptr;
}

template <typename T>
T* AsMutable(const void* cf, Kind kind) {
  return const_cast<T*>(As<T>(cf, kind));
}

bool ValidUtf8(const char* s) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
  while (*p) {
    int n = 0;
    if (*p < 0x80) n = 0;
    else if ((*p & 0xE0) == 0xC0 && *p >= 0xC2) n = 1;
    else if ((*p & 0xF0) == 0xE0) n = 2;
    else if ((*p & 0xF8) == 0xF0 && *p <= 0xF4) n = 3;
    else return false;
    ++p;
    for (int k = 0; k < n; ++k, ++p)
      if ((*p & 0xC0) != 0x80) return false;
  }
  return true;
}

void Destroy(const Value* v) {
  switch (v->kind) {
    case kString: delete static_cast<const StringValue*>(v); break;
    case kNumber: delete static_cast<const NumberValue*>(v); break;
    case kData: delete static_cast<const DataValue*>(v); break;
    case kDictionary: delete static_cast<const DictionaryValue*>(v); break;
    case kArray: delete static_cast<const ArrayValue*>(v); break;
    case kURL: delete static_cast<const URLValue*>(v); break;
    case kBundle: break;  // bundles belong to the system
  }
}

const void* TypeRetain(CFAllocatorRef, const void* v) { return CFRetain(v); }
void TypeRelease(CFAllocatorRef, const void* v) { CFRelease(v); }
Boolean TypeEqual(const void* a, const void* b) { return CFEqual(a, b); }

}  // namespace

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0};
const CFArrayCallBacks kCFTypeArrayCallBacks = {0, TypeRetain, TypeRelease, nullptr, TypeEqual};

void* CFAllocatorAllocate(CFAllocatorRef, CFIndex size, CFOptionFlags) {
  if (size <= 0) return nullptr;
  return std::malloc(static_cast<size_t>(size));
}

void CFAllocatorDeallocate(CFAllocatorRef, void* ptr) { std::free(ptr); }

CFTypeRef CFRetain(CFTypeRef cf) {
  const Value* v = AsValue(cf);
  if (v && v->kind != kBundle) const_cast<Value*>(v)->refs.fetch_add(1, std::memory_order_relaxed);
  return cf;
}

void CFRelease(CFTypeRef cf) {
  const Value* v = AsValue(cf);
  if (!v || v->kind == kBundle) return;  // bundles belong to the system
  if (const_cast<Value*>(v)->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) Destroy(v);
}

CFIndex CFGetRetainCount(CFTypeRef cf) {
  const Value* v = AsValue(cf);
  return v ? v->refs.load(std::memory_order_relaxed) : 0;
}

CFTypeID CFGetTypeID(CFTypeRef cf) {
  const Value* v = AsValue(cf);
  return v ? static_cast<CFTypeID>(v->kind) : CFTypeID{0};
}

CFTypeID CFStringGetTypeID() { return kString; }
CFTypeID CFNumberGetTypeID() { return kNumber; }
CFTypeID CFDataGetTypeID() { return kData; }
CFTypeID CFDictionaryGetTypeID() { return kDictionary; }
CFTypeID CFArrayGetTypeID() { return kArray; }
CFTypeID CFURLGetTypeID() { return kURL; }

Boolean CFEqual(CFTypeRef a, CFTypeRef b) {
  if (a == b) return a != nullptr;
  const Value* va = AsValue(a);
  const Value* vb = AsValue(b);
  if (!va || !vb || va->kind != vb->kind) return false;
  switch (va->kind) {
    case kString: return static_cast<const StringValue*>(va)->text == static_cast<const StringValue*>(vb)->text;
    case kData: return static_cast<const DataValue*>(va)->bytes == static_cast<const DataValue*>(vb)->bytes;
    case kURL: return static_cast<const URLValue*>(va)->path == static_cast<const URLValue*>(vb)->path;
    case kNumber: {
      auto* na = static_cast<const NumberValue*>(va);
      auto* nb = static_cast<const NumberValue*>(vb);
      double x = na->isFloat ? na->d : static_cast<double>(na->i);
      double y = nb->isFloat ? nb->d : static_cast<double>(nb->i);
      return x == y;
    }
    default: return false;
  }
}

// ---- Strings ----

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding) {
  if (!cStr || encoding != kCFStringEncodingUTF8 || !ValidUtf8(cStr)) return nullptr;
  auto* s = new StringValue;
  s->text = cStr;
  return reinterpret_cast<CFStringRef>(static_cast<Value*>(s));
}

CFIndex CFStringGetLength(CFStringRef str) {
  const StringValue* s = As<StringValue>(str, kString);
  if (!s) return 0;
  CFIndex n = 0;
  for (unsigned char c : s->text)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

Boolean CFStringGetCString(CFStringRef str, char* buffer, CFIndex bufferSize, CFStringEncoding encoding) {
  const StringValue* s = As<StringValue>(str, kString);
  if (!buffer || bufferSize <= 0) return false;
  buffer[0] = '\0';
  if (!s || encoding != kCFStringEncodingUTF8) return false;
  if (static_cast<CFIndex>(s->text.size()) + 1 > bufferSize) return false;
  std::memcpy(buffer, s->text.c_str(), s->text.size() + 1);
  return true;
}

const char* CFStringGetCStringPtr(CFStringRef str, CFStringEncoding encoding) {
  const StringValue* s = As<StringValue>(str, kString);
  return (s && encoding == kCFStringEncodingUTF8) ? s->text.c_str() : nullptr;
}

// ---- Numbers ----

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* valuePtr) {
  if (!valuePtr) return nullptr;
  auto* n = new NumberValue;
  if (type == kCFNumberSInt32Type) {
    int32_t v;
    std::memcpy(&v, valuePtr, sizeof v);
    n->i = v;
  } else if (type == kCFNumberFloat64Type) {
    n->isFloat = true;
    std::memcpy(&n->d, valuePtr, sizeof n->d);
  } else {
    delete n;
    return nullptr;
  }
  return reinterpret_cast<CFNumberRef>(static_cast<Value*>(n));
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* valuePtr) {
  const NumberValue* n = As<NumberValue>(number, kNumber);
  if (!n || !valuePtr) return false;
  if (type == kCFNumberSInt32Type) {
    int32_t v = 0;
    bool exact = true;
    if (n->isFloat) {
      exact = n->d >= INT32_MIN && n->d <= INT32_MAX && static_cast<double>(static_cast<int32_t>(n->d)) == n->d;
      v = (n->d >= INT32_MIN && n->d <= INT32_MAX) ? static_cast<int32_t>(n->d) : 0;
    } else {
      exact = n->i >= INT32_MIN && n->i <= INT32_MAX;
      v = static_cast<int32_t>(n->i);
    }
    std::memcpy(valuePtr, &v, sizeof v);
    return exact;
  }
  if (type == kCFNumberFloat64Type) {
    double d = n->isFloat ? n->d : static_cast<double>(n->i);
    std::memcpy(valuePtr, &d, sizeof d);
    return true;
  }
  return false;
}

// ---- Data ----

CFDataRef CFDataCreate(CFAllocatorRef, const uint8_t* bytes, CFIndex length) {
  if (length < 0 || (length > 0 && !bytes)) return nullptr;
  auto* d = new DataValue;
  if (length > 0) d->bytes.assign(bytes, bytes + length);
  return reinterpret_cast<CFDataRef>(static_cast<Value*>(d));
}

CFIndex CFDataGetLength(CFDataRef data) {
  const DataValue* d = As<DataValue>(data, kData);
  return d ? static_cast<CFIndex>(d->bytes.size()) : 0;
}

const uint8_t* CFDataGetBytePtr(CFDataRef data) {
  const DataValue* d = As<DataValue>(data, kData);
  return (d && !d->bytes.empty()) ? d->bytes.data() : nullptr;
}

// ---- Dictionaries ----

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex capacity, const CFDictionaryKeyCallBacks*,
                                                 const CFDictionaryValueCallBacks*) {
  auto* d = new DictionaryValue;
  if (capacity > 0 && capacity < 1024) d->pairs.reserve(static_cast<size_t>(capacity));
  return reinterpret_cast<CFMutableDictionaryRef>(static_cast<Value*>(d));
}

void CFDictionarySetValue(CFMutableDictionaryRef dict, const void* key, const void* value) {
  DictionaryValue* d = AsMutable<DictionaryValue>(dict, kDictionary);
  if (!d || !AsValue(key) || !AsValue(value)) return;
  CFRetain(value);
  for (auto& p : d->pairs) {
    if (CFEqual(p.first, key)) {
      CFRelease(p.second);
      p.second = value;
      return;
    }
  }
  d->pairs.emplace_back(CFRetain(key), value);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef dict, const void* key) {
  DictionaryValue* d = AsMutable<DictionaryValue>(dict, kDictionary);
  if (!d) return;
  for (auto it = d->pairs.begin(); it != d->pairs.end(); ++it) {
    if (CFEqual(it->first, key)) {
      CFRelease(it->first);
      CFRelease(it->second);
      d->pairs.erase(it);
      return;
    }
  }
}

const void* CFDictionaryGetValue(CFDictionaryRef dict, const void* key) {
  const DictionaryValue* d = As<DictionaryValue>(dict, kDictionary);
  if (!d) return nullptr;
  for (const auto& p : d->pairs)
    if (CFEqual(p.first, key)) return p.second;
  return nullptr;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef dict) {
  const DictionaryValue* d = As<DictionaryValue>(dict, kDictionary);
  return d ? static_cast<CFIndex>(d->pairs.size()) : 0;
}

// ---- Arrays ----

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef alloc, CFIndex capacity, const CFArrayCallBacks* callBacks) {
  auto* a = new ArrayValue;
  a->allocator = alloc;
  if (callBacks) {
    a->hasCallBacks = true;
    a->callBacks = *callBacks;
  }
  if (capacity > 0 && capacity < 1024) a->items.reserve(static_cast<size_t>(capacity));
  return reinterpret_cast<CFMutableArrayRef>(static_cast<Value*>(a));
}

void CFArrayAppendValue(CFMutableArrayRef array, const void* value) {
  ArrayValue* a = AsMutable<ArrayValue>(array, kArray);
  if (!a) return;
  if (a->hasCallBacks && a->callBacks.retain) value = a->callBacks.retain(a->allocator, value);
  a->items.push_back(value);
}

CFIndex CFArrayGetCount(CFArrayRef array) {
  const ArrayValue* a = As<ArrayValue>(array, kArray);
  return a ? static_cast<CFIndex>(a->items.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex idx) {
  const ArrayValue* a = As<ArrayValue>(array, kArray);
  if (!a || idx < 0 || idx >= static_cast<CFIndex>(a->items.size())) return nullptr;
  return a->items[static_cast<size_t>(idx)];
}

Boolean CFArrayContainsValue(CFArrayRef array, const void* value) {
  const ArrayValue* a = As<ArrayValue>(array, kArray);
  if (!a) return false;
  for (const void* v : a->items) {
    if (a->hasCallBacks && a->callBacks.equal ? a->callBacks.equal(v, value) : v == value) return true;
  }
  return false;
}

// ---- URLs ----

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef filePath, CFURLPathStyle style, Boolean) {
  const StringValue* s = As<StringValue>(filePath, kString);
  if (!s || style != kCFURLPOSIXPathStyle) return nullptr;
  auto* u = new URLValue;
  u->path = s->text;
  return reinterpret_cast<CFURLRef>(static_cast<Value*>(u));
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle style) {
  const URLValue* u = As<URLValue>(url, kURL);
  if (!u || style != kCFURLPOSIXPathStyle) return nullptr;
  return CFStringCreateWithCString(nullptr, u->path.c_str(), kCFStringEncodingUTF8);
}

// ---- Bundles ----

namespace {
// The folder of the binary this code was linked into: inside a plug-in's
// shared library that is the plug-in's folder, which is what a bundle
// lookup by the plug-in's identifier answers on the platform.
std::string ThisBinaryFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ThisBinaryFolder), &info) && info.dli_fname) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(info.dli_fname, ec);
    if (!ec) return p.parent_path().string();
  }
  return std::string();
}

struct BundleRegistry {
  std::mutex mutex;
  BundleValue main;
  std::map<std::string, std::unique_ptr<BundleValue>> byIdentifier;
};

BundleRegistry& Bundles() {
  static BundleRegistry registry;
  return registry;
}
}  // namespace

CFBundleRef CFBundleGetMainBundle() {
  return reinterpret_cast<CFBundleRef>(static_cast<Value*>(&Bundles().main));
}

CFStringRef CFBundleGetIdentifier(CFBundleRef bundle) {
  const BundleValue* b = As<BundleValue>(bundle, kBundle);
  return b ? b->identifier : nullptr;
}

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID) {
  const StringValue* s = As<StringValue>(bundleID, kString);
  if (!s || s->text.empty()) return nullptr;
  BundleRegistry& reg = Bundles();
  std::lock_guard<std::mutex> lock(reg.mutex);
  auto& slot = reg.byIdentifier[s->text];
  if (!slot) {
    slot = std::make_unique<BundleValue>();
    slot->identifier = CFStringCreateWithCString(nullptr, s->text.c_str(), kCFStringEncodingUTF8);
    slot->folder = ThisBinaryFolder();
  }
  return reinterpret_cast<CFBundleRef>(static_cast<Value*>(slot.get()));
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle) {
  const BundleValue* b = As<BundleValue>(bundle, kBundle);
  if (!b || b->folder.empty()) return nullptr;
  auto* u = new URLValue;
  u->path = b->folder;
  return reinterpret_cast<CFURLRef>(static_cast<Value*>(u));
}
