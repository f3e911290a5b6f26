// The preset browser field of the editor: shows the current preset's name; a click opens the preset menu.
#include "instrument/PresetFunctionsMenu.h"

#include "graphics/IGraphics.h"
#include "graphics/IPopupMenu.h"
#include "instrument/PresetBrowser.h"
#include "instrument/QiKt412.h"

namespace {
// The name is drawn one pixel above the field's own rectangle.
constexpr int kTextRaise = 1;
constexpr int kTextSize = 16;
}  // namespace

PresetFunctionsMenu::PresetFunctionsMenu(QiKt412* pPlug, IRECT* pR, const IColor* pColor)
    : IPanelControl(pPlug, pR, pColor),
      mInstrument(pPlug),
      mTextStyle(kTextSize, &COLOR_BLACK, "Verdana", IText::kStyleNormal, IText::kAlignCenter, 0,
                 IText::kQualityNonAntiAliased) {}

void PresetFunctionsMenu::OnMouseDown(int /*x*/, int /*y*/, IMouseMod* pMod) {
  if (pMod && pMod->L) doPopupMenu();
  Redraw();
  SetDirty(true);
}

void PresetFunctionsMenu::doPopupMenu() {
  IGraphics* pGraphics = mInstrument ? mInstrument->Graphics() : nullptr;
  if (!pGraphics) return;
  // Read afresh on every click, so new and deleted files show at once. The
  // tree stays alive while the menu is open and the browser holds it.
  std::shared_ptr<PresetTree> tree = mInstrument->Presets().Scan();
  IPopupMenu* top = tree->Top();
  // The menu and the file prompt answer later, while the editor runs on; the
  // control lives as long as the view, whose closing drops the answer.
  pGraphics->CreateIPopupMenuAsync(top, &mRECT, [this, tree, top](IPopupMenu* chosenMenu) {
    if (!chosenMenu) return;
    const int chosen = chosenMenu->GetChosenItemIdx();
    IPopupMenuItem* item = chosenMenu->GetItem(chosen);
    if (!item) return;
    PresetBrowser& browser = mInstrument->Presets();
    if (chosenMenu == top) {
      // Only "Save File..." acts at the top; a preset lying directly in the
      // base folder belongs to no folder that could be stepped through.
      if (chosen != 0 || !browser.HasFolder()) return;
      IGraphics* g = mInstrument->Graphics();
      if (!g) return;
      g->PromptForFileAsync("", kFileSave, browser.UserBasePath(), "qipreset",
                            [this](const std::string& file, const std::string&) {
                              if (file.empty()) return;
                              // Only ".qipreset" files are listed: a name typed without it gets it.
                              std::string fileName = file;
                              const std::string ext = PresetTree::kExtension;
                              if (fileName.size() < ext.size() ||
                                  fileName.compare(fileName.size() - ext.size(), ext.size(), ext) != 0)
                                fileName += ext;
                              // A save that fails (a full disk, a folder without write permission)
                              // says why; the file there before, if any, is kept as it was.
                              std::string error;
                              if (mInstrument->SavePresetFile(fileName, &error)) return;
                              if (IGraphics* g = mInstrument->Graphics())
                                g->ShowMessageBoxAsync(error.c_str(), "Save File", 0, nullptr);
                            });
      return;
    }
    browser.SetCurrent(tree, chosenMenu, chosen);
    SetDisplayText(item->GetText());
    mInstrument->loadProgram(item->GetPath());
  });
}

void PresetFunctionsMenu::SetDisplayText(const std::string& name) {
  {
    std::lock_guard<std::mutex> lock(mTextMutex);
    mDisplayText = name.substr(0, kMaxShownChars);
  }
  Redraw();
  SetDirty(false);
}

std::string PresetFunctionsMenu::GetDisplayText() const {
  std::lock_guard<std::mutex> lock(mTextMutex);
  return mDisplayText;
}

bool PresetFunctionsMenu::Draw(IGraphics* pGraphics) {
  const IColor clear(0, 0, 0, 0);
  pGraphics->FillIRect(&clear, &mRECT);
  const std::string text = GetDisplayText();
  IRECT textRect(mRECT.L, mRECT.T - kTextRaise, mRECT.R, mRECT.B);
  pGraphics->DrawIText(&mTextStyle, text.c_str(), &textRect);
  return true;
}
