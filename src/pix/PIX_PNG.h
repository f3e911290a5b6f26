// PNG decoding into bitmaps, PNG writing, and the image-loader list.
#pragma once

#include <cstddef>
#include <string>

#include "pix/PIX_Bitmap.h"

// Decodes a PNG file into bmp (resized to the image) or, when bmp is null, into
// a new PIX_MemBitmap (line alignment 4) that the caller owns. Alpha is not
// premultiplied; images without alpha get alpha 255. Returns the bitmap, or
// null when the file cannot be opened or decoded or bmp cannot take the size
// (a passed bitmap is then left in an undefined state but still owned by the
// caller). Never leaks, always closes the file.
// Palette indices past the end of the palette make the file fail, as do
// broken chunks, checksums and compressed data. 16-bit samples are rounded
// to 8 bits.
PIX_IBitmap* PIX_LoadPNG(const char* filename, PIX_IBitmap* bmp = nullptr);

// Why the last PIX_LoadPNG on the calling thread returned null, e.g.
// "palette index past the end of the palette" or libpng's "IDAT: CRC error";
// empty after a load that succeeded.
const char* PIX_LastPNGError();
// Decodes a PNG held in memory (an image built into the program), as PIX_LoadPNG.
PIX_IBitmap* PIX_LoadPNGFromMemory(const void* data, size_t size, PIX_IBitmap* bmp = nullptr);

// The width and height of a PNG file (or one held in memory) from its header,
// without decoding its pixels: what a later decode would make, or false when
// the header is unreadable or past the decoder's size limits.
bool PIX_ReadPNGSize(const char* filename, int* w, int* h);
bool PIX_ReadPNGSizeFromMemory(const void* data, size_t size, int* w, int* h);

// Loads "<main bundle folder>/Contents/Resources/<name>"; names longer than
// 400 characters fail. The bundle folder is the one set with
// PIX_SetMainBundlePath (default: the current folder).
PIX_IBitmap* PIX_LoadPNGFromNamedResource(const char* name, PIX_IBitmap* bmp = nullptr);
void PIX_SetMainBundlePath(const char* path);

// Writes the bitmap as an 8-bit RGBA PNG, all or nothing (UTIL_AtomicFile:
// an earlier file stays until the new one is whole; a device or pipe is
// written in place). Returns false on any failure, with a one-line message
// in *error when error is given.
bool PIX_SavePNG(const char* filename, PIX_IBitmap* bmp, std::string* error = nullptr);

// Global image-loader list, filled during static initialisation.
// loadfunc loads the file like PIX_LoadPNG; with checkFileName true it first
// refuses (returns null for) names it does not handle by their extension.
struct PIX_ImageLoader
{
  PIX_IBitmap* (*loadfunc)(const char* filename, bool checkFileName, PIX_IBitmap* bmp);
  const char* (*extlistfunc)();  // e.g. "PNG files (*.PNG)\0*.PNG\0\0"
  PIX_ImageLoader* _next;
};
extern PIX_ImageLoader* PIX_ImageLoader_list;

// The PNG entry of the loader list (registered at start-up at its head).
extern PIX_ImageLoader PIX_PNGLoader;

// Accepts names whose last extension is ".png" in any letter case.
bool PIX_IsPNGFileName(const char* filename);
