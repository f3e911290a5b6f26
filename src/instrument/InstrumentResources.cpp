// Where the instrument finds its shipped files: resources/ next to its binary, else built in.
#include "instrument/InstrumentResources.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>


namespace {

std::atomic<bool> s_useBuiltIn{true};

std::string FolderOf(const std::string& file) {
  const size_t slash = file.find_last_of('/');
  return slash == std::string::npos ? std::string("./") : file.substr(0, slash + 1);
}

std::string RealPath(const char* path) {
  char buf[PATH_MAX];
  return path && ::realpath(path, buf) ? std::string(buf) : std::string();
}

}  // namespace

std::string InstrumentResourceFolder() {
  // The object that holds this function is the instrument's binary: a
  // plug-in's shared object inside a host, or our own program when linked
  // statically. For the main program dladdr may report the name it was
  // started by (possibly without a folder), so that case asks the kernel.
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&InstrumentResourceFolder), &info) && info.dli_fname &&
      std::strchr(info.dli_fname, '/')) {
    std::string path = RealPath(info.dli_fname);
    if (!path.empty()) return FolderOf(path);
  }
  std::string exe = RealPath("/proc/self/exe");
  return exe.empty() ? std::string("./") : FolderOf(exe);
}

const BuiltInResource* FindBuiltInResource(const std::string& relPath) {
  if (!s_useBuiltIn.load()) return nullptr;
  for (int i = 0; i < kNumBuiltInResources; ++i)
    if (relPath == kBuiltInResources[i].path) return &kBuiltInResources[i];
  return nullptr;
}

std::vector<const BuiltInResource*> BuiltInResourcesUnder(const std::string& prefix) {
  std::vector<const BuiltInResource*> found;
  if (!s_useBuiltIn.load()) return found;
  for (int i = 0; i < kNumBuiltInResources; ++i)
    if (std::strncmp(kBuiltInResources[i].path, prefix.c_str(), prefix.size()) == 0)
      found.push_back(&kBuiltInResources[i]);
  std::sort(found.begin(), found.end(),
            [](const BuiltInResource* a, const BuiltInResource* b) { return std::strcmp(a->path, b->path) < 0; });
  return found;
}

void UseBuiltInResources(bool use) { s_useBuiltIn.store(use); }
