// IPreset construction and naming.
#include "framework/IPreset.h"

#include <cstring>

IPreset::IPreset(int /*idx*/) { SetName("empty"); }

void IPreset::SetName(const char* name) {
  if (!name) name = "";
  std::size_t n = std::strlen(name);
  if (n > static_cast<std::size_t>(kNameSize - 1)) n = kNameSize - 1;
  std::memcpy(mName, name, n);
  std::memset(mName + n, 0, kNameSize - n);
}
