// The windowless platform surface: scripted menus and dialogs, window state, cursor, paths.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "GfxRecordingControl.h"
#include "GfxTestPlug.h"
#include "pix/PIX_Blit.h"
#include "pix/PIX_PNG.h"
#include "platform/headless/IGraphicsHeadless.h"

#include <memory>
#include <unistd.h>

namespace {

struct HeadlessFixture : ::testing::Test {
  GfxTestPlug plug;
  IGraphicsHeadless* g = new IGraphicsHeadless(&plug, 120, 80);
  IRECT r{1, 2, 3, 4};
  void SetUp() override { plug.AttachGraphics(g); }
};

}  // namespace

TEST_F(HeadlessFixture, SubmenuPickReturnsTheSubmenuAndLeavesTheTopUnchosen) {
  IPopupMenu top, sub;
  top.AddItem("first");
  top.AddItem("folder", &sub);
  sub.AddItem("x");
  sub.AddItem("y");
  g->QueueMenuAnswer({1, 1});
  IPopupMenu* chosen = g->CreateIPopupMenu(&top, &r);
  EXPECT_EQ(&sub, chosen);
  EXPECT_EQ(1, sub.GetChosenItemIdx());
  EXPECT_EQ(-1, top.GetChosenItemIdx());
  ASSERT_EQ(2u, g->LastMenu().size());
  EXPECT_TRUE(g->LastMenu()[1].hasSubmenu);
}

TEST_F(HeadlessFixture, UnpickableItemsAndBadPathsDismiss) {
  IPopupMenu top, sub;
  top.AddItem("title", -1, IPopupMenuItem::kTitle);
  top.AddItem("off", -1, IPopupMenuItem::kDisabled);
  top.AddSeparator();
  top.AddItem("folder", &sub);
  g->QueueMenuAnswer({1});     // disabled
  g->QueueMenuAnswer({2});     // separator
  g->QueueMenuAnswer({3});     // a submenu entry itself
  g->QueueMenuAnswer({3, 0});  // empty submenu
  g->QueueMenuAnswer({9});     // beyond the list
  g->QueueMenuAnswer({0, 0});  // descends through an item without submenu
  g->QueueMenuAnswer({});      // explicit dismissal
  for (int i = 0; i < 8; ++i) EXPECT_EQ(nullptr, g->CreateIPopupMenu(&top, &r)) << i;
  EXPECT_EQ(-1, top.GetChosenItemIdx());
  EXPECT_EQ(8, g->MenusShown());
  // A title can be picked: it is a selectable item, only indented.
  g->QueueMenuAnswer({0});
  EXPECT_EQ(&top, g->CreateIPopupMenu(&top, &r));
  EXPECT_EQ(0, top.GetChosenItemIdx());
}

TEST_F(HeadlessFixture, ShowingAMenuReleasesMouseCapture) {
  g->AttachControl(new GfxRecordingControl(&plug, IRECT(0, 0, 10, 10)));
  g->OnMouseDown(5, 5, nullptr);
  ASSERT_EQ(0, g->GetMouseCapture());
  IPopupMenu menu;
  g->CreateIPopupMenu(&menu, &r);
  EXPECT_EQ(-1, g->GetMouseCapture());
}

TEST_F(HeadlessFixture, TextEntryWithoutParameterGoesToTheControl) {
  struct EntryControl : GfxRecordingControl {
    using GfxRecordingControl::GfxRecordingControl;
    void TextFromTextEntry(const char* txt) override { got = txt; }
    std::string got;
  };
  EntryControl* c = new EntryControl(&plug, IRECT(0, 0, 10, 10));
  g->AttachControl(c);
  g->QueueTextEntryAnswer("typed");
  g->CreateTextEntry(c, c->GetText(), &r, "start");
  EXPECT_EQ("typed", c->got);
  EXPECT_EQ("start", g->LastTextEntryString());
  g->CreateTextEntry(nullptr, nullptr, &r, "x");  // no control: nothing
  EXPECT_EQ(1, g->TextEntriesShown());
}

TEST_F(HeadlessFixture, ResizeEndsAnOpenTextEntry) {
  GfxRecordingControl* c = new GfxRecordingControl(&plug, IRECT(0, 0, 10, 10));
  g->AttachControl(c);
  g->CreateTextEntry(c, c->GetText(), &r, "1");
  ASSERT_TRUE(g->TextEntryOpen());
  g->Resize(60, 40);
  EXPECT_FALSE(g->TextEntryOpen());
  EXPECT_FALSE(g->CommitTextEntry("2"));  // the control is gone; nothing may reach it
}

TEST_F(HeadlessFixture, WindowOpensAndClosesWithoutAScreen) {
  EXPECT_FALSE(g->WindowIsOpen());
  EXPECT_EQ(nullptr, g->GetWindow());
  EXPECT_NE(nullptr, g->OpenWindow(nullptr));
  EXPECT_TRUE(g->WindowIsOpen());
  // The four-argument form keeps the base behaviour.
  EXPECT_EQ(nullptr, g->OpenWindow(nullptr, nullptr, 0, 0));
  g->CloseWindow();
  EXPECT_FALSE(g->WindowIsOpen());
  EXPECT_STREQ("Headless", g->GetGUIAPI());
}

TEST_F(HeadlessFixture, CursorHidesOnceAndComesBack) {
  EXPECT_FALSE(g->CursorHidden());
  g->HideMouseCursor();
  g->HideMouseCursor();
  EXPECT_TRUE(g->CursorHidden());
  g->ShowMouseCursor();
  EXPECT_FALSE(g->CursorHidden());
}

TEST_F(HeadlessFixture, MessageBoxAnswersFromTheQueueThenTheDefault) {
  g->QueueMessageBoxAnswer(7);
  EXPECT_EQ(7, g->ShowMessageBox("Overwrite?", "Save", 4));
  EXPECT_EQ("Overwrite?", g->LastMessageBoxText());
  EXPECT_EQ(1, g->ShowMessageBox("Again?", "Save", 4));
}

TEST_F(HeadlessFixture, FileDialogFillsNameAndFolderOrClearsOnCancel) {
  std::string name = "proposed", dir;
  g->PromptForFile(&name, kFileOpen, &dir, nullptr);
  EXPECT_EQ("", name);  // cancelled
  EXPECT_NE(std::string::npos, dir.find("/Desktop"));
  g->QueueFileAnswer("/tmp/presets/kick.qipreset");
  name = "x";
  g->PromptForFile(&name, kFileSave, &dir, nullptr);
  EXPECT_EQ("/tmp/presets/kick.qipreset", name);
  EXPECT_EQ("/tmp/presets/", dir);
}

TEST_F(HeadlessFixture, PathsAndClipboard) {
  std::string p;
  g->HostPath(&p);
  EXPECT_FALSE(p.empty());
  g->PluginPath(&p);
  ASSERT_FALSE(p.empty());
  EXPECT_EQ('/', p.back());
  g->SandboxSafeAppSupportPath(&p);
  EXPECT_EQ("/Music", p.substr(p.size() - 6));
  EXPECT_FALSE(g->GetTextFromClipboard(&p));
  EXPECT_EQ("", p);
  g->SetClipboardText("3.5");
  EXPECT_TRUE(g->GetTextFromClipboard(&p));
  EXPECT_EQ("3.5", p);
  IColor c;
  EXPECT_FALSE(g->PromptForColor(&c));
}

TEST_F(HeadlessFixture, OpenURLRecordsTheAddress) {
  EXPECT_FALSE(g->OpenURL("https://example.invalid/manual"));
  g->SetOpenURLResult(true);
  EXPECT_TRUE(g->OpenURL("/tmp/readme.txt"));
  ASSERT_EQ(2u, g->OpenedURLs().size());
  EXPECT_EQ("/tmp/readme.txt", g->OpenedURLs()[1]);
}

TEST(HeadlessResources, NewSurfacesTakeTheDefaultFolder) {
  const std::string saved = IGraphicsHeadless::GetDefaultResourcePath();
  IGraphicsHeadless::SetDefaultResourcePath("/opt/skins");
  GfxTestPlug plug;
  IGraphicsHeadless g(&plug, 10, 10);
  EXPECT_EQ("/opt/skins", g.GetResourcePath());
  EXPECT_EQ("/opt/skins/knob.png", g.ResolveResource("resources/img/knob.png"));
  g.SetResourcePath("/elsewhere");
  EXPECT_EQ("/elsewhere/knob.png", g.ResolveResource("knob.png"));
  IGraphicsHeadless::SetDefaultResourcePath(saved.c_str());
}

TEST_F(HeadlessFixture, ScreenshotRoundTripsThePixels) {
  g->AttachControl(new GfxRecordingControl(&plug, IRECT(0, 0, 120, 80), -1, COLOR_BLUE));
  g->AttachControl(new GfxRecordingControl(&plug, IRECT(10, 20, 30, 40), -1, COLOR_ORANGE));
  IRECT all(0, 0, 120, 80);
  g->Draw(&all);
  char path[] = "/tmp/kt_gfx_shot_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  ASSERT_TRUE(g->SaveScreenshot(path));
  std::unique_ptr<PIX_IBitmap> back(PIX_LoadPNG(path));
  unlink(path);
  ASSERT_NE(nullptr, back);
  ASSERT_EQ(120, back->getWidth());
  ASSERT_EQ(80, back->getHeight());
  for (int y = 0; y < 80; y += 7)
    for (int x = 0; x < 120; x += 5) ASSERT_EQ(g->GetPoint(x, y).ToPixel(), PIX_GetPixel(back.get(), x, y));
  EXPECT_EQ(COLOR_ORANGE.ToPixel(), PIX_GetPixel(back.get(), 15, 25));
  EXPECT_FALSE(g->SaveScreenshot("/nonexistent-folder/shot.png"));
}
