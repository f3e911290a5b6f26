// Font objects: fontconfig matching, shared FreeType faces, per-font glyph caches.
#include "pix/gdi/GDI_Private.h"

#include FT_SIZES_H
#include FT_SYNTHESIS_H
#include FT_OUTLINE_H
#include FT_GLYPH_H
#include <dlfcn.h>
#include <fontconfig/fontconfig.h>
#include <link.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <numbers>
#include <unordered_set>

namespace gdi_detail {

std::mutex& Lock()
{
  static std::mutex m;
  return m;
}

namespace {

// The FreeType library, made on first use and released with this code: at exit
// for a program, at unload for a plug-in library, which would otherwise leave
// FreeType's modules behind in its host with nothing pointing at them. It is
// defined before the face and font lists so that it outlives them; a font freed
// even later (by another file's static) finds it gone and leaves FreeType alone,
// since releasing the library released every face and size made on it.
struct OwnFreeType {
  FT_Library library = nullptr;
  bool failed = false;
  bool released = false;
  ~OwnFreeType()
  {
    if (library) FT_Done_FreeType(library);
    library = nullptr;
    released = true;
  }
};
OwnFreeType g_freeType;

FT_Library Library()
{
  if (!g_freeType.library && !g_freeType.failed && !g_freeType.released) {
    if (FT_Init_FreeType(&g_freeType.library) != 0) {
      g_freeType.library = nullptr;
      g_freeType.failed = true;
    }
  }
  return g_freeType.library;
}

struct MatchKey {
  std::string family;
  int weight;
  bool italic;
  bool operator<(const MatchKey& o) const
  {
    if (family != o.family) return family < o.family;
    if (weight != o.weight) return weight < o.weight;
    return italic < o.italic;
  }
};

struct MatchResult {
  bool ok = false;
  std::string file;
  int index = 0;
  std::string family;
  int fcWeight = FC_WEIGHT_REGULAR;
  int fcSlant = FC_SLANT_ROMAN;
};

// fontconfig answers are cached: matching walks every installed font.
std::map<MatchKey, MatchResult> g_matches;

// True when this code is part of the program itself, not of a library it loaded
// (the program is the head of the dynamic linker's list).
bool InMainProgram()
{
  Dl_info info;
  link_map* map = nullptr;
  if (!dladdr1(reinterpret_cast<void*>(&InMainProgram), &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) ||
      !map)
    return false;
  return map->l_prev == nullptr;
}

// Fonts are matched in a fontconfig configuration of our own, never in the
// process's default one: inside a host that one is the host's, and releasing
// it when our library is unloaded would pull it from under the host's fonts.
// Ours goes with the library (or at exit); a program of our own also releases
// fontconfig's shared state then, which keeps leak checkers quiet. Matches are
// cached as plain strings, so nothing of ours points into fontconfig after.
struct OwnFontConfig {
  FcConfig* config = FcInitLoadConfigAndFonts();
  ~OwnFontConfig()
  {
    if (config) FcConfigDestroy(config);
  }
};

FcConfig* FontConfig()
{
  // The exit hook first, so that it runs after the configuration is gone.
  static const bool s_finiAtExit = InMainProgram() && std::atexit([] { FcFini(); }) == 0;
  (void)s_finiAtExit;
  static OwnFontConfig s_own;
  return s_own.config;
}

MatchResult Match(const MatchKey& key)
{
  auto it = g_matches.find(key);
  if (it != g_matches.end()) return it->second;

  MatchResult res;
  if (FcConfig* config = FontConfig()) {
    FcPattern* pat = FcPatternCreate();
    if (pat) {
      FcPatternAddString(pat, FC_FAMILY, (const FcChar8*)key.family.c_str());
      FcPatternAddInteger(pat, FC_WEIGHT, FcWeightFromOpenType(key.weight));
      FcPatternAddInteger(pat, FC_SLANT, key.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
      FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
      FcConfigSubstitute(config, pat, FcMatchPattern);
      FcDefaultSubstitute(pat);
      FcResult r = FcResultNoMatch;
      FcPattern* m = FcFontMatch(config, pat, &r);
      if (m) {
        FcChar8* file = nullptr;
        FcChar8* fam = nullptr;
        if (FcPatternGetString(m, FC_FILE, 0, &file) == FcResultMatch && file) {
          res.ok = true;
          res.file = (const char*)file;
          FcPatternGetInteger(m, FC_INDEX, 0, &res.index);
          FcPatternGetInteger(m, FC_WEIGHT, 0, &res.fcWeight);
          FcPatternGetInteger(m, FC_SLANT, 0, &res.fcSlant);
          if (FcPatternGetString(m, FC_FAMILY, 0, &fam) == FcResultMatch && fam)
            res.family = (const char*)fam;
        }
        FcPatternDestroy(m);
      }
      FcPatternDestroy(pat);
    }
  }
  g_matches[key] = res;
  return res;
}

}  // namespace

// One FreeType face per font file, shared by every font made from it; each font
// owns an FT_Size on it and activates it before loading glyphs.
struct SharedFace {
  std::string file;
  int index = 0;
  FT_Face face = nullptr;
  int refs = 0;
};

namespace {

std::vector<SharedFace*> g_faces;
std::unordered_set<HFONT> g_fonts;
HFONT g_defaultFont = nullptr;

SharedFace* AcquireFace(const std::string& file, int index)
{
  for (SharedFace* s : g_faces)
    if (s->file == file && s->index == index) {
      s->refs++;
      return s;
    }
  FT_Library lib = Library();
  if (!lib) return nullptr;
  FT_Face face = nullptr;
  if (FT_New_Face(lib, file.c_str(), index, &face) != 0) return nullptr;
  auto* s = new SharedFace{file, index, face, 1};
  g_faces.push_back(s);
  return s;
}

void ReleaseFace(SharedFace* s)
{
  if (!s || --s->refs > 0) return;
  g_faces.erase(std::remove(g_faces.begin(), g_faces.end(), s), g_faces.end());
  if (!g_freeType.released) FT_Done_Face(s->face);
  delete s;
}

// A weight of 600 or more asks for bold; fontconfig's demibold is the first
// weight a face must reach to count as bold.
constexpr int kBoldRequest = 600;
// Slant of synthesised italics: x moves 0.2 em per em of height, close to the
// 11-12 degree slant of most designed italics.
constexpr FT_Fixed kSlant = 0x3333;

HFONT MakeFont(int height, int width, int escapement, int weight, bool italic, bool underline,
               bool strikeOut, int quality, const char* faceName)
{
  if (weight <= 0) weight = FW_NORMAL;
  weight = std::clamp(weight, 1, 1000);
  MatchKey key{faceName && *faceName ? faceName : "sans-serif", weight, italic};
  MatchResult m = Match(key);
  if (!m.ok) return nullptr;
  SharedFace* shared = AcquireFace(m.file, m.index);
  if (!shared) return nullptr;

  auto* f = new GDI_Font;
  f->shared = shared;
  FT_Face face = shared->face;
  if (FT_New_Size(face, &f->size) != 0) {
    ReleaseFace(shared);
    delete f;
    return nullptr;
  }
  FT_Activate_Size(f->size);

  // Negative heights are the em size, positive ones the cell (ascent + descent),
  // as in GDI; 0 picks a 13 pixel em, a common default UI size.
  FT_Size_RequestRec req{};
  if (height > 0) {
    req.type = FT_IS_SCALABLE(face) ? FT_SIZE_REQUEST_TYPE_CELL : FT_SIZE_REQUEST_TYPE_NOMINAL;
    req.height = (FT_Long)std::min(height, 4000) << 6;
  } else {
    req.type = FT_SIZE_REQUEST_TYPE_NOMINAL;
    req.height = (FT_Long)std::min(height == 0 ? 13 : -(long)height, 4000L) << 6;
  }
  if (FT_Request_Size(face, &req) != 0 && FT_IS_SCALABLE(face)) {
    FT_Done_Size(f->size);
    ReleaseFace(shared);
    delete f;
    return nullptr;
  }

  const FT_Size_Metrics& sm = f->size->metrics;
  if (FT_IS_SCALABLE(face)) {
    // Round the unhinted ascent and the whole cell once each, so that a cell
    // request of h pixels gives a line of exactly h pixels as in GDI (rounding
    // ascent and descent up separately would often give h + 1).
    const double asc = FT_MulFix(face->ascender, sm.y_scale) / 64.0;
    const double desc = -FT_MulFix(face->descender, sm.y_scale) / 64.0;
    f->tm.tmHeight = std::max(1, (int)std::lround(asc + desc));
    f->tm.tmAscent = std::clamp((int)std::lround(asc), 0, f->tm.tmHeight);
    f->tm.tmDescent = f->tm.tmHeight - f->tm.tmAscent;
  } else {
    f->tm.tmAscent = (int)((sm.ascender + 63) >> 6);
    f->tm.tmDescent = (int)((-sm.descender + 63) >> 6);
    f->tm.tmHeight = f->tm.tmAscent + f->tm.tmDescent;
  }
  f->tm.tmInternalLeading = std::max(0, f->tm.tmHeight - (int)sm.y_ppem);
  f->tm.tmExternalLeading = std::max(0, (int)((sm.height >> 6) - f->tm.tmHeight));
  f->tm.tmMaxCharWidth = (int)((sm.max_advance + 63) >> 6);
  f->tm.tmWeight = weight;
  f->tm.tmItalic = italic ? 1 : 0;
  f->mono = quality == NONANTIALIASED_QUALITY;
  f->underline = underline;
  f->strikeOut = strikeOut;
  if (FT_IS_SCALABLE(face)) {
    f->underlinePos = (int)std::lround(-FT_MulFix(face->underline_position, sm.y_scale) / 64.0);
    f->underlineThickness =
        std::max(1, (int)std::lround(FT_MulFix(face->underline_thickness, sm.y_scale) / 64.0));
  } else {
    f->underlinePos = std::max(1, f->tm.tmDescent / 2);
  }

  f->emboldenSynthetic = weight >= kBoldRequest && m.fcWeight < FC_WEIGHT_DEMIBOLD;
  bool slant = italic && m.fcSlant == FC_SLANT_ROMAN;

  // Average width: advance of "x", GDI's usual stand-in.
  FT_UInt xi = FT_Get_Char_Index(face, 'x');
  if (xi && FT_Load_Glyph(face, xi, FT_LOAD_DEFAULT) == 0)
    f->tm.tmAveCharWidth = (int)((face->glyph->advance.x + 32) >> 6);
  else
    f->tm.tmAveCharWidth = std::max(1, (int)sm.x_ppem / 2);

  // Glyph transform (y up): width scaling, then slant, then rotation.
  FT_Matrix mtx{0x10000, 0, 0, 0x10000};
  if (width > 0 && f->tm.tmAveCharWidth > 0) {
    f->widthScale = (FT_Fixed)std::lround(65536.0 * width / f->tm.tmAveCharWidth);
    mtx.xx = f->widthScale;
  }
  if (slant) mtx.xy = kSlant;
  if (escapement % 3600 != 0) {
    f->angle = (escapement % 3600) * std::numbers::pi / 1800.0;
    FT_Fixed c = (FT_Fixed)std::lround(std::cos(f->angle) * 65536.0);
    FT_Fixed s = (FT_Fixed)std::lround(std::sin(f->angle) * 65536.0);
    FT_Matrix rot{c, -s, s, c};
    FT_Matrix_Multiply(&rot, &mtx);  // mtx = rot * mtx
  }
  f->matrix = mtx;
  f->transformed = mtx.xx != 0x10000 || mtx.xy != 0 || mtx.yx != 0 || mtx.yy != 0x10000;

  snprintf(f->info.family, sizeof f->info.family, "%s", m.family.c_str());
  snprintf(f->info.file, sizeof f->info.file, "%s", m.file.c_str());
  f->info.syntheticBold = f->emboldenSynthetic;
  f->info.syntheticItalic = slant;
  g_fonts.insert(f);
  return f;
}

void FreeFont(HFONT f)
{
  g_fonts.erase(f);
  UnselectEverywhere(f);
  if (!g_freeType.released) FT_Done_Size(f->size);
  ReleaseFace(f->shared);
  delete f;
}

// Loads (and with render, rasterises) a glyph with this font's size and style.
bool LoadGlyph(HFONT f, FT_UInt index, bool render, bool transform)
{
  FT_Face face = f->shared->face;
  FT_Activate_Size(f->size);
  FT_Set_Transform(face, transform ? &f->matrix : nullptr, nullptr);
  FT_Int32 flags = f->mono ? (FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) : FT_LOAD_TARGET_NORMAL;
  bool ok = FT_Load_Glyph(face, index, flags | FT_LOAD_NO_BITMAP) == 0 ||
            FT_Load_Glyph(face, index, flags) == 0;
  if (ok && f->emboldenSynthetic && face->glyph->format == FT_GLYPH_FORMAT_OUTLINE)
    FT_GlyphSlot_Embolden(face->glyph);
  if (ok && render && face->glyph->format != FT_GLYPH_FORMAT_BITMAP)
    ok = FT_Render_Glyph(face->glyph, f->mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) == 0;
  FT_Set_Transform(face, nullptr, nullptr);
  return ok;
}

}  // namespace

bool IsLiveFont(HFONT f) { return f && g_fonts.count(f) != 0; }

HFONT DefaultFont()
{
  if (!g_defaultFont) g_defaultFont = MakeFont(-13, 0, 0, FW_NORMAL, false, false, false, 0, nullptr);
  return g_defaultFont;
}

const Glyph& GetGlyph(HFONT f, uint32_t code)
{
  auto it = f->glyphs.find(code);
  if (it != f->glyphs.end()) return *it->second;

  // Codes the face lacks are not cached: the cache then holds at most the
  // face's own glyphs, whatever text it is shown.
  static const Glyph s_missing;
  FT_Face face = f->shared->face;
  FT_UInt index = FT_Get_Char_Index(face, code);
  if (!index) return s_missing;
  auto g = std::make_unique<Glyph>();
  // Advance along the unrotated line; the rotated load only supplies pixels.
  if (LoadGlyph(f, index, false, false)) {
    g->advance = FT_MulFix(face->glyph->advance.x, f->widthScale);
    if (LoadGlyph(f, index, true, f->transformed)) {
      g->present = true;
      const FT_Bitmap& bm = face->glyph->bitmap;
      g->left = face->glyph->bitmap_left;
      g->top = face->glyph->bitmap_top;
      g->width = (int)bm.width;
      g->height = (int)bm.rows;
      g->coverage.assign((size_t)g->width * (size_t)g->height, 0);
      for (int y = 0; y < g->height; y++) {
        const unsigned char* row = bm.buffer + (ptrdiff_t)y * bm.pitch;
        uint8_t* out = g->coverage.data() + (size_t)y * (size_t)g->width;
        for (int x = 0; x < g->width; x++) {
          if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
            out[x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
          else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY)
            out[x] = bm.num_grays == 256 ? row[x]
                                          : (uint8_t)(row[x] * 255 / std::max(1, bm.num_grays - 1));
          else if (bm.pixel_mode == FT_PIXEL_MODE_BGRA)
            out[x] = row[x * 4 + 3];  // colour glyphs: keep their alpha as coverage
        }
      }
    }
  }
  const Glyph& ref = *g;
  f->glyphs.emplace(code, std::move(g));
  return ref;
}

}  // namespace gdi_detail

using namespace gdi_detail;

HFONT CreateFont(int height, int width, int escapement, int /*orientation*/, int weight, int italic,
                 int underline, int strikeOut, int /*charset*/, int /*outPrecision*/,
                 int /*clipPrecision*/, int quality, int /*pitchAndFamily*/, const char* faceName)
{
  std::lock_guard<std::mutex> lock(Lock());
  return MakeFont(height, width, escapement, weight, italic != 0, underline != 0, strikeOut != 0,
                  quality, faceName);
}

bool DeleteObject(HGDIOBJ obj)
{
  std::lock_guard<std::mutex> lock(Lock());
  auto f = static_cast<HFONT>(obj);
  if (!IsLiveFont(f) || f == g_defaultFont) return false;
  FreeFont(f);
  return true;
}

bool GDI_GetFontInfo(HFONT font, GDI_FontInfo* info)
{
  std::lock_guard<std::mutex> lock(Lock());
  if (!IsLiveFont(font) || !info) return false;
  *info = font->info;
  return true;
}
