// Skin images: the process-wide bitmap cache, loading by resource id, scaled and cropped copies.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "graphics/IGraphics.h"
#include "pix/PIX_Bitmap.h"
#include "pix/PIX_Blit.h"
#include "pix/PIX_PNG.h"

namespace {

constexpr int kRunTimeBitmapId = -1;

std::atomic<IGraphics::BuiltInImageLoader> s_builtInLoader{nullptr};
std::atomic<IGraphics::BuiltInImageSizer> s_builtInSizer{nullptr};
std::atomic<int> s_decoded{0};

// A skin image whose size is known from its header and whose pixels are
// decoded the first time anything asks for them: a surface that is built
// but never drawn (a render from the command line, a plug-in whose editor is
// never opened) costs no decode. The cache hands out this object, so the
// handles copied into controls stay valid before and after the decode.
// Decoding happens once, under the object's own mutex, on whichever thread
// first draws (the user-interface thread); a failed decode is not retried
// and the image then draws nothing.
class DeferredBitmap final : public PIX_IBitmap {
public:
  // path: the file (empty: only the built-in copy of name is there).
  DeferredBitmap(std::string path, std::string name) : mPath(std::move(path)), mName(std::move(name)) {}

  PIX_pixel* getBits() override {
    PIX_IBitmap* b = Decoded();
    return b ? b->getBits() : nullptr;
  }
  int getWidth() override {
    PIX_IBitmap* b = Decoded();
    return b ? b->getWidth() : 0;
  }
  int getHeight() override {
    PIX_IBitmap* b = Decoded();
    return b ? b->getHeight() : 0;
  }
  int getRowSpan() override {
    PIX_IBitmap* b = Decoded();
    return b ? b->getRowSpan() : 0;
  }
  bool isFlipped() override {
    PIX_IBitmap* b = Decoded();
    return b && b->isFlipped();
  }
  bool resize(int w, int h) override {
    PIX_IBitmap* b = Decoded();
    return b && b->resize(w, h);
  }
  GDI_GfxContext* getDC() override {
    PIX_IBitmap* b = Decoded();
    return b ? b->getDC() : nullptr;
  }
  intptr_t Extended(int id, void* data) override {
    PIX_IBitmap* b = Decoded();
    return b ? b->Extended(id, data) : 0;
  }

private:
  PIX_IBitmap* Decoded() {
    if (mTried.load(std::memory_order_acquire)) return mPixels.get();
    std::lock_guard<std::mutex> lock(mMutex);
    if (!mTried.load(std::memory_order_relaxed)) {
      PIX_IBitmap* b = mPath.empty() ? nullptr : PIX_LoadPNG(mPath.c_str());
      // A file that does not decode after all falls back to the built-in copy.
      IGraphics::BuiltInImageLoader builtIn = s_builtInLoader.load();
      if (!b && builtIn) b = builtIn(mName.c_str());
      if (b) s_decoded.fetch_add(1);
      mPixels.reset(b);
      mTried.store(true, std::memory_order_release);
    }
    return mPixels.get();
  }

  const std::string mPath, mName;
  std::mutex mMutex;
  std::atomic<bool> mTried{false};
  std::unique_ptr<PIX_IBitmap> mPixels;
};

struct CacheEntry {
  int id;
  std::unique_ptr<PIX_IBitmap> bitmap;
  int w, h;  // the image's size, known before any decode
};

// Every editor instance in the process shares one decoded copy of each skin
// image. Entries are (resource id, bitmap); run-time images made by
// ScaleBitmap and CropBitmap live under id -1. The cache owns the bitmaps and
// never deletes one while the process runs (except run-time images released
// explicitly), so IBitmap handles copied into controls stay valid.
class BitmapCache {
public:
  const CacheEntry* Find(int id) {
    for (auto& e : mEntries) {
      if (e.id == id) return &e;
    }
    return nullptr;
  }
  const CacheEntry* Add(int id, PIX_IBitmap* pBitmap, int w, int h) {
    mEntries.push_back(CacheEntry{id, std::unique_ptr<PIX_IBitmap>(pBitmap), w, h});
    return &mEntries.back();
  }
  bool RemoveRunTime(PIX_IBitmap* pBitmap) {
    for (auto it = mEntries.begin(); it != mEntries.end(); ++it) {
      if (it->id == kRunTimeBitmapId && it->bitmap.get() == pBitmap) {
        mEntries.erase(it);
        return true;
      }
    }
    return false;
  }
  bool Holds(PIX_IBitmap* pBitmap) {
    for (auto& e : mEntries) {
      if (e.bitmap.get() == pBitmap) return true;
    }
    return false;
  }

  std::mutex mMutex;

private:
  // An entry found or added is read under the mutex, before another is added.
  std::vector<CacheEntry> mEntries;
};

// Made on first use so that editors created during static initialisation of
// another unit still find it; destroyed (with its bitmaps) at process exit.
BitmapCache& s_bitmapCache() {
  static BitmapCache cache;
  return cache;
}

// Makes the cache entry of an image not yet in it (cache mutex held); null
// when the image is nowhere to be found.
const CacheEntry* AddToCache(IGraphics* g, BitmapCache& cache, int id, const char* name) {
  IGraphics::BuiltInImageLoader builtIn = s_builtInLoader.load();
  IGraphics::BuiltInImageSizer builtInSize = s_builtInSizer.load();
  int w = 0, h = 0;
  // A file the platform can name is sized now and decoded when drawn.
  std::string path;
  if (g->OSLocateBitmap(id, name, &path) && PIX_ReadPNGSize(path.c_str(), &w, &h))
    return cache.Add(id, new DeferredBitmap(path, name ? name : ""), w, h);
  // Otherwise the platform decodes at once, when it can.
  if (PIX_IBitmap* pBitmap = g->OSLoadBitmap(id, name)) {
    s_decoded.fetch_add(1);
    return cache.Add(id, pBitmap, pBitmap->getWidth(), pBitmap->getHeight());
  }
  // A file the platform cannot find or read falls back to the copy built
  // into the program, when there is one: sized now and decoded when drawn
  // when it can be sized, else decoded now.
  if (!name || !builtIn) return nullptr;
  if (builtInSize && builtInSize(name, &w, &h)) return cache.Add(id, new DeferredBitmap(std::string(), name), w, h);
  if (PIX_IBitmap* pBitmap = builtIn(name)) {
    s_decoded.fetch_add(1);
    return cache.Add(id, pBitmap, pBitmap->getWidth(), pBitmap->getHeight());
  }
  return nullptr;
}

}  // namespace

void IGraphics::SetBuiltInImageLoader(BuiltInImageLoader loader) { s_builtInLoader.store(loader); }
void IGraphics::SetBuiltInImageSizer(BuiltInImageSizer sizer) { s_builtInSizer.store(sizer); }
int IGraphics::DecodedImageCount() { return s_decoded.load(); }

IBitmap IGraphics::LoadIBitmap(int id, const char* name, int nStates, bool framesAreHorizontal) {
  // A strip has at least one frame: frame sizes divide by N.
  if (nStates < 1) nStates = 1;
  BitmapCache& cache = s_bitmapCache();
  PIX_IBitmap* pBitmap = nullptr;
  int w = 0, h = 0;
  {
    // Under the lock, so that two editors opened at the same time on two
    // threads make one entry (and one decode) of an image, not one each.
    std::lock_guard<std::mutex> lock(cache.mMutex);
    const CacheEntry* entry = cache.Find(id);
    if (!entry) entry = AddToCache(this, cache, id, name);
    if (entry) {
      pBitmap = entry->bitmap.get();
      w = entry->w;
      h = entry->h;
    }
  }
  // A missing image gives an empty handle; drawing it does nothing.
  if (!pBitmap) return IBitmap(nullptr, 0, 0, nStates, framesAreHorizontal);
  return IBitmap(pBitmap, w, h, nStates, framesAreHorizontal);
}

void IGraphics::RetainBitmap(IBitmap* pBitmap) {
  if (!pBitmap || !pBitmap->mData) return;
  BitmapCache& cache = s_bitmapCache();
  std::lock_guard<std::mutex> lock(cache.mMutex);
  // Retaining twice would make the cache delete the image twice.
  if (!cache.Holds(pBitmap->mData)) cache.Add(kRunTimeBitmapId, pBitmap->mData, pBitmap->W, pBitmap->H);
}

void IGraphics::ReleaseBitmap(IBitmap* pBitmap) {
  if (!pBitmap || !pBitmap->mData) return;
  BitmapCache& cache = s_bitmapCache();
  std::lock_guard<std::mutex> lock(cache.mMutex);
  // Only run-time images may go: a skin image is shared with every other
  // editor in the process, whose handles would dangle.
  if (cache.RemoveRunTime(pBitmap->mData)) pBitmap->mData = nullptr;
}

IBitmap IGraphics::ScaleBitmap(IBitmap* pSrc, int destW, int destH) {
  if (!pSrc || !pSrc->mData || destW <= 0 || destH <= 0) return IBitmap();
  PIX_MemBitmap* pDest = new PIX_MemBitmap(destW, destH, 4);
  if (pDest->getWidth() != destW || pDest->getHeight() != destH) {
    delete pDest;
    return IBitmap();
  }
  PIX_Clear(pDest, 0);
  PIX_ScaledBlit(pDest, pSrc->mData, 0, 0, destW, destH, 0.0f, 0.0f, (float)pSrc->W, (float)pSrc->H, 1.0f,
                 PIX_BLIT_MODE_COPY | PIX_BLIT_FILTER_BILINEAR);
  IBitmap bm(pDest, destW, destH, pSrc->N, pSrc->mFramesAreHorizontal);
  RetainBitmap(&bm);
  return bm;
}

IBitmap IGraphics::CropBitmap(IBitmap* pSrc, IRECT* pR) {
  if (!pSrc || !pSrc->mData || !pR || pR->W() <= 0 || pR->H() <= 0) return IBitmap();
  const int w = pR->W(), h = pR->H();
  PIX_MemBitmap* pDest = new PIX_MemBitmap(w, h, 4);
  if (pDest->getWidth() != w || pDest->getHeight() != h) {
    delete pDest;
    return IBitmap();
  }
  // Parts of the rectangle outside the source stay transparent.
  PIX_Clear(pDest, 0);
  PIX_Blit(pDest, pSrc->mData, 0, 0, pR->L, pR->T, w, h, 1.0f, PIX_BLIT_MODE_COPY);
  IBitmap bm(pDest, w, h, pSrc->N, pSrc->mFramesAreHorizontal);
  RetainBitmap(&bm);
  return bm;
}
