// PNG reading (straight into bitmap rows) and writing with libpng, and the
// PNG entry of the image-loader list.
//
// libpng reports errors by longjmp back into the function that called
// setjmp. Those functions therefore hold no C++ objects with destructors,
// and every local that changes after setjmp and is used on the error path is
// volatile.
#include "pix/PIX_PNG.h"

#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "pix/PIX_View.h"
#include "util/UTIL_AtomicFile.h"

namespace {

// Image limits: a skin image is a few hundred pixels and a long filmstrip a
// few million; a forged header must not make the loader ask for gigabytes.
constexpr png_uint_32 kMaxSide = 16384;
constexpr unsigned long long kMaxPixels = 1ull << 24;

// Ancillary chunks the loader has no use for. libpng would read text,
// profile and metadata chunks whole into memory at whatever length the file
// claims (a forged tEXt length asks for a gigabyte before the read fails);
// skipped chunks are streamed past instead. tRNS and PLTE stay: they shape
// the pixels.
constexpr png_byte kSkippedChunks[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf\0tIME\0pCAL\0"
                                      "sCAL\0hIST\0oFFs\0pHYs\0sBIT\0sRGB\0gAMA\0cHRM\0bKGD";

// Why the last load on this thread failed (libpng's message or ours).
thread_local char t_lastError[128] = "";

void setError(const char* msg)
{
  snprintf(t_lastError, sizeof(t_lastError), "%s", msg ? msg : "unknown error");
}

[[noreturn]] void pngError(png_structp png, png_const_charp msg)
{
  setError(msg);
  png_longjmp(png, 1);
}
void pngWarning(png_structp, png_const_charp) {}

PIX_IBitmap* decode(FILE* fp, PIX_IBitmap* bmp)
{
  setError("out of memory");
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
  if (!png) return nullptr;
  png_infop info = png_create_info_struct(png);
  if (!info)
  {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return nullptr;
  }
  setError("");
  PIX_IBitmap* volatile made = nullptr;  // bitmap created here, freed on failure
  if (setjmp(png_jmpbuf(png)))
  {
    png_destroy_read_struct(&png, &info, nullptr);
    delete made;
    return nullptr;
  }

  png_init_io(png, fp);
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_set_chunk_cache_max(png, 32);
  png_set_chunk_malloc_max(png, 1u << 20);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks, (int)(sizeof(kSkippedChunks) / 5));
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, ctype = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &ctype, nullptr, nullptr, nullptr);
  if ((unsigned long long)width * height > kMaxPixels) png_error(png, "image too large");

  // Every colour type is brought to 8-bit alpha, red, green, blue bytes.
  // Palette images are the exception: libpng's expansion would draw indices
  // past the palette's end as black, where other decoders refuse the file.
  // Their rows are read as one index byte per pixel and expanded afterwards.
  const bool paletted = ctype == PNG_COLOR_TYPE_PALETTE;
  bool alpha = (ctype & PNG_COLOR_MASK_ALPHA) != 0;
  if (paletted)
  {
    if (depth < 8) png_set_packing(png);
  }
  else
  {
    if (ctype == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS))
    {
      png_set_tRNS_to_alpha(png);
      alpha = true;
    }
    // Rounded, not truncated, to 8 bits, as other decoders do.
    if (depth == 16) png_set_scale_16(png);
    if (ctype == PNG_COLOR_TYPE_GRAY || ctype == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if (alpha)
      png_set_swap_alpha(png);  // RGBA -> ARGB
    else
      png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);
  }
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != (size_t)width * (paletted ? 1 : 4)) png_error(png, "unexpected row layout");

  // The palette as ARGB pixels; a tRNS chunk gives the first entries alpha.
  PIX_pixel palette[256];
  int paletteSize = 0;
  if (paletted)
  {
    png_colorp entries = nullptr;
    if (!png_get_PLTE(png, info, &entries, &paletteSize) || !entries) png_error(png, "palette image without palette");
    png_bytep trans = nullptr;
    int nTrans = 0;
    if (!png_get_tRNS(png, info, &trans, &nTrans, nullptr)) nTrans = 0;
    for (int i = 0; i < paletteSize && i < 256; ++i)
      palette[i] = PIX_RGBA(entries[i].red, entries[i].green, entries[i].blue,
                            trans && i < nTrans ? trans[i] : 255);
  }

  PIX_IBitmap* target = bmp;
  if (!target)
  {
    made = new PIX_MemBitmap((int)width, (int)height, 4);
    target = made;
  }
  else
  {
    target->resize((int)width, (int)height);
  }
  PIX_View v;
  if (!v.from(target) || v.w != (int)width || v.h != (int)height)
  {
    setError("the bitmap cannot take the image's size");
    png_destroy_read_struct(&png, &info, nullptr);
    delete made;
    return nullptr;
  }

  // Rows go straight into the bitmap; interlaced passes refine them in place.
  // Index rows take the first quarter of their pixel row.
  for (int pass = 0; pass < passes; ++pass)
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, (png_bytep)v.row((int)y), nullptr);
  png_read_end(png, nullptr);
  if (paletted)
  {
    for (png_uint_32 y = 0; y < height; ++y)
    {
      PIX_pixel* row = v.row((int)y);
      const unsigned char* index = (const unsigned char*)row;
      // Back to front, so that no index is overwritten before it is read.
      for (png_uint_32 x = width; x-- > 0;)
      {
        const int i = index[x];
        if (i >= paletteSize) png_error(png, "palette index past the end of the palette");
        row[x] = palette[i];
      }
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return target;
}

// Reads the chunks before the image data and reports the image's size,
// within the same limits as a decode; no pixel is decoded.
bool readSize(FILE* fp, int* w, int* h)
{
  setError("out of memory");
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info)
  {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  setError("");
  if (setjmp(png_jmpbuf(png)))
  {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_init_io(png, fp);
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_set_chunk_cache_max(png, 32);
  png_set_chunk_malloc_max(png, 1u << 20);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks, (int)(sizeof(kSkippedChunks) / 5));
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
  if ((unsigned long long)width * height > kMaxPixels) png_error(png, "image too large");
  *w = (int)width;
  *h = (int)height;
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

bool encode(FILE* fp, const PIX_View& v)
{
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info)
  {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png)))
  {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, fp);
  png_set_IHDR(png, info, (png_uint_32)v.w, (png_uint_32)v.h, 8, PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_swap_alpha(png);  // ARGB in memory -> RGBA in the file
  for (int y = 0; y < v.h; ++y) png_write_row(png, (png_const_bytep)v.row(y));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

char g_bundlePath[1024] = ".";

PIX_IBitmap* pngLoad(const char* filename, bool checkFileName, PIX_IBitmap* bmp)
{
  if (checkFileName && !PIX_IsPNGFileName(filename)) return nullptr;
  return PIX_LoadPNG(filename, bmp);
}
const char* pngExtensions()
{
  return "PNG files (*.PNG)\0*.PNG\0\0";
}

// Puts the PNG loader at the head of the list during static initialisation.
struct PNGLoaderRegistration
{
  PNGLoaderRegistration()
  {
    PIX_PNGLoader._next = PIX_ImageLoader_list;
    PIX_ImageLoader_list = &PIX_PNGLoader;
  }
};

}  // namespace

PIX_ImageLoader* PIX_ImageLoader_list = nullptr;
PIX_ImageLoader PIX_PNGLoader = {pngLoad, pngExtensions, nullptr};
static PNGLoaderRegistration s_pngLoaderRegistration;

PIX_IBitmap* PIX_LoadPNG(const char* filename, PIX_IBitmap* bmp)
{
  setError("");
  if (!filename)
  {
    setError("no file name");
    return nullptr;
  }
  FILE* fp = fopen(filename, "rb");
  if (!fp)
  {
    setError(strerror(errno));
    return nullptr;
  }
  PIX_IBitmap* result = decode(fp, bmp);
  fclose(fp);
  return result;
}

PIX_IBitmap* PIX_LoadPNGFromMemory(const void* data, size_t size, PIX_IBitmap* bmp)
{
  if (!data || size == 0) return nullptr;
  // fmemopen only reads through the buffer; the cast drops a const it never uses.
  FILE* fp = fmemopen(const_cast<void*>(data), size, "rb");
  if (!fp) return nullptr;
  PIX_IBitmap* result = decode(fp, bmp);
  fclose(fp);
  return result;
}

bool PIX_ReadPNGSize(const char* filename, int* w, int* h)
{
  if (!filename || !w || !h) return false;
  FILE* fp = fopen(filename, "rb");
  if (!fp)
  {
    setError(strerror(errno));
    return false;
  }
  const bool ok = readSize(fp, w, h);
  fclose(fp);
  return ok;
}

bool PIX_ReadPNGSizeFromMemory(const void* data, size_t size, int* w, int* h)
{
  if (!data || size == 0 || !w || !h) return false;
  FILE* fp = fmemopen(const_cast<void*>(data), size, "rb");
  if (!fp) return false;
  const bool ok = readSize(fp, w, h);
  fclose(fp);
  return ok;
}

void PIX_SetMainBundlePath(const char* path)
{
  if (!path) path = ".";
  snprintf(g_bundlePath, sizeof(g_bundlePath), "%s", path);
}

PIX_IBitmap* PIX_LoadPNGFromNamedResource(const char* name, PIX_IBitmap* bmp)
{
  if (!name || strlen(name) > 400) return nullptr;
  char path[2048];
  const int n = snprintf(path, sizeof(path), "%s/Contents/Resources/%s", g_bundlePath, name);
  if (n < 0 || n >= (int)sizeof(path)) return nullptr;
  return PIX_LoadPNG(path, bmp);
}

bool PIX_SavePNG(const char* filename, PIX_IBitmap* bmp, std::string* error)
{
  PIX_View v;
  if (!filename || !v.from(bmp))
  {
    if (error) *error = "no image to write";
    return false;
  }
  // All or nothing: an earlier file at the name stays until the new one is whole.
  UTIL_AtomicFile file;
  if (!file.Open(filename, error)) return false;
  const int fd = dup(file.Fd());
  FILE* fp = fd >= 0 ? fdopen(fd, "wb") : nullptr;
  if (!fp)
  {
    if (error) *error = std::string("cannot write '") + filename + "': " + strerror(errno);
    if (fd >= 0) close(fd);
    return false;
  }
  const bool encoded = encode(fp, v);
  const int err = ferror(fp) ? errno : 0;
  if (fclose(fp) != 0 || !encoded)
  {
    if (error) *error = std::string("cannot write '") + filename + "': " + (err ? strerror(err) : "PNG encoding failed");
    return false;
  }
  return file.Commit(error);
}

bool PIX_IsPNGFileName(const char* filename)
{
  if (!filename) return false;
  const char* dot = strrchr(filename, '.');
  if (!dot || strchr(dot, '/')) return false;
  return strcasecmp(dot, ".png") == 0;
}

const char* PIX_LastPNGError()
{
  return t_lastError;
}
