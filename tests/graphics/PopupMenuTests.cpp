// Popup menu model and native menu construction: numbering, insertion, checks, picks in submenus.
#include <gtest/gtest.h>

#include "GfxTestPlug.h"
#include "graphics/INativeMenu.h"
#include "graphics/IPopupMenu.h"
#include "platform/headless/IGraphicsHeadless.h"

namespace {
std::vector<std::string> Texts(const IPopupMenu& m) {
  std::vector<std::string> out;
  for (int i = 0; i < m.GetNItems(); ++i) out.push_back(m.GetItemText(i));
  return out;
}
}  // namespace

// ---- The model ----

TEST(PopupMenu, InsertionAtNegativeIndexGoesFirstAndPastTheEndAppends) {
  IPopupMenu m;
  m.AddItem("a");
  m.AddItem("b");
  m.AddItem("c");
  m.AddItem(new IPopupMenuItem("end"), 100);
  m.AddItem(new IPopupMenuItem("front"), -5);
  m.AddItem("mid", 2);
  m.AddItem("tail", 6);  // exactly one past the end
  EXPECT_EQ(Texts(m), (std::vector<std::string>{"front", "a", "mid", "b", "c", "end", "tail"}));
}

TEST(PopupMenu, PrefixAcceptsOnlyZeroToThree) {
  IPopupMenu m(2);
  EXPECT_EQ(m.GetPrefix(), 2);
  m.SetPrefix(4);
  EXPECT_EQ(m.GetPrefix(), 2);
  m.SetPrefix(-1);
  EXPECT_EQ(m.GetPrefix(), 2);
  m.SetPrefix(0);
  EXPECT_EQ(m.GetPrefix(), 0);
  IPopupMenu bad(7);
  EXPECT_EQ(bad.GetPrefix(), 0);
}

TEST(PopupMenu, PrefixTexts) {
  EXPECT_EQ(IPopupMenu::PrefixText(0, 3), "");
  EXPECT_EQ(IPopupMenu::PrefixText(1, 3), "3: ");
  EXPECT_EQ(IPopupMenu::PrefixText(2, 3), "03: ");
  EXPECT_EQ(IPopupMenu::PrefixText(2, 11), "11: ");
  EXPECT_EQ(IPopupMenu::PrefixText(3, 7), "007: ");
  EXPECT_EQ(IPopupMenu::PrefixText(1, 12), "12: ");
}

TEST(PopupMenu, CheckItemAloneLeavesOnlyThatItemChecked) {
  IPopupMenu m;
  for (const char* t : {"a", "b", "c", "d", "e"}) m.AddItem(t, -1, IPopupMenuItem::kChecked);
  m.CheckItemAlone(2);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(m.IsItemChecked(i), i == 2) << i;
  EXPECT_TRUE(m.CheckItem(4, true));
  EXPECT_TRUE(m.IsItemChecked(4));
  EXPECT_TRUE(m.CheckItem(4, false));
  EXPECT_FALSE(m.IsItemChecked(4));
}

TEST(PopupMenu, OutOfRangeQueriesReturnNothing) {
  IPopupMenu m;
  m.AddItem("only");
  EXPECT_EQ(m.GetItem(1), nullptr);
  EXPECT_EQ(m.GetItem(-1), nullptr);
  EXPECT_EQ(m.GetItemText(5), nullptr);
  EXPECT_FALSE(m.CheckItem(3, true));
  EXPECT_FALSE(m.IsItemChecked(3));
  EXPECT_FALSE(m.IsItemChecked(-2));
  EXPECT_EQ(m.AddItem(static_cast<IPopupMenuItem*>(nullptr)), nullptr);
  EXPECT_EQ(m.GetNItems(), 1);
  EXPECT_EQ(m.GetChosenItemIdx(), -1);
}

TEST(PopupMenu, ItemFlagsAndFields) {
  IPopupMenu sub;
  IPopupMenu m(0, true);
  EXPECT_TRUE(m.GetCanMultiCheck());
  IPopupMenuItem* sep = m.AddSeparator();
  IPopupMenuItem* title = m.AddItem("Factory", -1, IPopupMenuItem::kTitle | IPopupMenuItem::kDisabled);
  IPopupMenuItem* folder = m.AddItem("Kits", &sub);
  EXPECT_TRUE(sep->GetIsSeparator());
  EXPECT_STREQ(sep->GetText(), "");
  EXPECT_TRUE(title->GetIsTitle());
  EXPECT_FALSE(title->GetEnabled());
  EXPECT_FALSE(title->GetChecked());
  EXPECT_EQ(folder->GetSubmenu(), &sub);
  EXPECT_TRUE(folder->GetEnabled());
  EXPECT_TRUE(folder->mNotPreset);
  folder->SetPath("/presets/Kits/");
  EXPECT_STREQ(folder->GetPath(), "/presets/Kits/");
  title->SetChecked(true);
  EXPECT_TRUE(title->GetChecked());
  EXPECT_TRUE(title->GetIsTitle()) << "checking keeps the other flags";
}

TEST(PopupMenu, SubmenuPickThroughThePlatformReturnsTheSubmenu) {
  GfxTestPlug plug;
  IGraphicsHeadless gfx(&plug, 100, 100);
  IPopupMenu sub;
  sub.AddItem("x");
  sub.AddItem("y");
  IPopupMenu top;
  top.AddItem("first");
  top.AddItem("folder", &sub);
  gfx.QueueMenuAnswer({1, 1});
  IRECT r(0, 0, 10, 10);
  IPopupMenu* chosen = gfx.CreateIPopupMenu(&top, &r);
  EXPECT_EQ(chosen, &sub);
  EXPECT_EQ(sub.GetChosenItemIdx(), 1);
  EXPECT_EQ(top.GetChosenItemIdx(), -1);
}

// ---- Native menu construction ----

TEST(NativeMenu, TitlesCarryTheNumberingOfTheirMenu) {
  IPopupMenu m(2);
  for (int i = 1; i <= 11; ++i) m.AddItem(("item" + std::to_string(i)).c_str());
  auto native = BuildNativeMenu(&m);
  ASSERT_EQ(native->mEntries.size(), 11u);
  EXPECT_EQ(native->mEntries[2].mTitle, "03: item3");
  EXPECT_EQ(native->mEntries[10].mTitle, "11: item11");
  EXPECT_EQ(native->mTitle, "");
  EXPECT_FALSE(native->mAutoEnablesItems);
  EXPECT_EQ(native->mModel, &m);
}

TEST(NativeMenu, SubmenusRestartNumberingWithTheirOwnPrefix) {
  IPopupMenu sub(3);
  sub.AddItem("deep");
  sub.AddItem("soft");
  IPopupMenu top(1);
  top.AddItem("init");
  top.AddItem("Kits", &sub);
  IPopupMenu plain;
  plain.AddItem("no number");
  top.AddItem("Other", &plain);
  auto native = BuildNativeMenu(&top);
  ASSERT_EQ(native->mEntries.size(), 3u);
  const INativeMenuEntry& kits = native->mEntries[1];
  EXPECT_EQ(kits.mKind, INativeMenuEntry::kSubmenu);
  EXPECT_EQ(kits.mTitle, "2: Kits");
  ASSERT_TRUE(kits.mSubmenu);
  EXPECT_EQ(kits.mSubmenu->mModel, &sub);
  EXPECT_EQ(kits.mSubmenu->mEntries[0].mTitle, "001: deep");
  EXPECT_EQ(kits.mSubmenu->mEntries[1].mTitle, "002: soft");
  EXPECT_EQ(native->mEntries[2].mSubmenu->mEntries[0].mTitle, "no number");
}

TEST(NativeMenu, SeparatorsTitlesChecksAndEnabledState) {
  IPopupMenu m(1);
  m.AddItem("Factory", -1, IPopupMenuItem::kTitle);
  m.AddSeparator();
  m.AddItem("on", -1, IPopupMenuItem::kChecked);
  m.AddItem("gone", -1, IPopupMenuItem::kDisabled);
  auto native = BuildNativeMenu(&m);
  const auto& e = native->mEntries;
  ASSERT_EQ(e.size(), 4u);
  EXPECT_EQ(e[0].mKind, INativeMenuEntry::kItem);
  EXPECT_EQ(e[0].mIndentation, 1);
  EXPECT_EQ(e[0].mTitle, "1: Factory");
  EXPECT_EQ(e[1].mKind, INativeMenuEntry::kSeparator);
  EXPECT_EQ(e[1].mTitle, "");
  EXPECT_EQ(e[2].mIndentation, 0);
  EXPECT_TRUE(e[2].mChecked);
  EXPECT_TRUE(e[2].mEnabled);
  EXPECT_FALSE(e[3].mEnabled);
  EXPECT_FALSE(e[3].mChecked);
}

TEST(NativeMenu, PickIsWrittenIntoTheMenuItWasMadeIn) {
  IPopupMenu sub;
  sub.AddItem("x");
  sub.AddItem("y");
  IPopupMenu top;
  top.AddItem("first");
  top.AddSeparator();
  top.AddItem("folder", &sub);
  top.AddItem("last");
  auto native = BuildNativeMenu(&top);

  INativeMenu* pSub = FindNativeSubmenu(native.get(), {2});
  ASSERT_NE(pSub, nullptr);
  EXPECT_EQ(ApplyNativeMenuPick(pSub, 1), &sub);
  EXPECT_EQ(sub.GetChosenItemIdx(), 1);
  EXPECT_EQ(top.GetChosenItemIdx(), -1);

  // Separators and submenu entries count, so the position is the model index.
  EXPECT_EQ(ApplyNativeMenuPick(native.get(), 3), &top);
  EXPECT_EQ(top.GetChosenItemIdx(), 3);
  EXPECT_STREQ(top.GetItemText(top.GetChosenItemIdx()), "last");
}

TEST(NativeMenu, NonPicksLeaveTheModelAlone) {
  IPopupMenu sub;
  IPopupMenu m;
  m.AddSeparator();
  m.AddItem("folder", &sub);
  m.AddItem("off", -1, IPopupMenuItem::kDisabled);
  auto native = BuildNativeMenu(&m);
  EXPECT_EQ(ApplyNativeMenuPick(native.get(), 0), nullptr);
  EXPECT_EQ(ApplyNativeMenuPick(native.get(), 1), nullptr);
  EXPECT_EQ(ApplyNativeMenuPick(native.get(), 2), nullptr);
  EXPECT_EQ(ApplyNativeMenuPick(native.get(), 3), nullptr);
  EXPECT_EQ(ApplyNativeMenuPick(native.get(), -1), nullptr);
  EXPECT_EQ(ApplyNativeMenuPick(nullptr, 0), nullptr);
  EXPECT_EQ(m.GetChosenItemIdx(), -1);
  EXPECT_EQ(FindNativeSubmenu(native.get(), {0}), nullptr);
  EXPECT_EQ(FindNativeSubmenu(native.get(), {9}), nullptr);
  EXPECT_EQ(FindNativeSubmenu(native.get(), {}), native.get());
}

TEST(NativeMenu, CyclicTreeIsCutInsteadOfRecursingForever) {
  IPopupMenu a, b;
  a.AddItem("to b", &b);
  b.AddItem("back to a", &a);
  b.AddItem("leaf");
  auto native = BuildNativeMenu(&a);
  INativeMenu* pB = FindNativeSubmenu(native.get(), {0});
  ASSERT_NE(pB, nullptr);
  EXPECT_EQ(pB->mModel, &b);
  EXPECT_EQ(pB->mEntries[0].mKind, INativeMenuEntry::kSubmenu);
  EXPECT_EQ(pB->mEntries[0].mSubmenu, nullptr);
  EXPECT_EQ(ApplyNativeMenuPick(pB, 1), &b);
}

TEST(NativeMenu, NullMenuGivesAnEmptyDescription) {
  auto native = BuildNativeMenu(nullptr);
  EXPECT_EQ(native->mModel, nullptr);
  EXPECT_TRUE(native->mEntries.empty());
}
