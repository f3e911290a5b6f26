// The built-in copies of the skin images, for the editor (a build without an editor leaves this file out).
#include "instrument/InstrumentResources.h"
#include "pix/PIX_PNG.h"

PIX_IBitmap* LoadBuiltInImage(const char* name) {
  const BuiltInResource* res = name ? FindBuiltInResource(name) : nullptr;
  return res ? PIX_LoadPNGFromMemory(res->data, res->size) : nullptr;
}

bool BuiltInImageSize(const char* name, int* pW, int* pH) {
  const BuiltInResource* res = name ? FindBuiltInResource(name) : nullptr;
  return res && PIX_ReadPNGSizeFromMemory(res->data, res->size, pW, pH);
}
