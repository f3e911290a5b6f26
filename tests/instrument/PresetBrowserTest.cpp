// The preset browser: folder scans and their order, the menu, stepping, per-instance folders, seeding.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "EditorTestUtil.h"
#include "InstrumentRig.h"
#include "instrument/InstrumentResources.h"
#include "instrument/PresetBrowser.h"
#include "instrument/PresetFile.h"
#include "instrument/PresetFunctionsMenu.h"
#include "platform/headless/IGraphicsHeadless.h"

using namespace kttest;

namespace {

// A preset whose Pitch line is pitchNorm, the rest defaults.
std::string Preset(double pitchNorm) {
  return PresetLines({pitchNorm, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0, 0, 0, 0, 0, 0, 0, 0});
}

// The base folder of the two-folder example: Factory Presets with Kick A and
// Kick B, and an empty User Presets.
void MakeTwoFolderExample(const ScratchFolder& base) {
  WriteText(base / "Factory Presets/Kick A.qipreset", Preset(0.25));
  WriteText(base / "Factory Presets/Kick B.qipreset", Preset(0.75));
  std::filesystem::create_directories(base / "User Presets");
}

std::vector<std::string> Texts(const IPopupMenu* menu) {
  std::vector<std::string> t;
  for (int i = 0; i < menu->GetNItems(); ++i) t.push_back(menu->GetItem(i)->GetText());
  return t;
}

// A press of a preset button, and the editor's next timer tick, which carries the step out.
void Press(QiKt412& plug, int paramIdx) {
  SetParam(plug, paramIdx, 1.0);
  SetParam(plug, paramIdx, 0.0);  // the release does nothing
  plug.OnIdle();
}

// The factory folder of the test alone: no shipped preset joins its files.
class NoShippedPresets {
public:
  NoShippedPresets() { UseShippedFactoryPresets(false); }
  ~NoShippedPresets() { UseShippedFactoryPresets(true); }
};

IGraphicsHeadless* Headless(QiKt412& plug) { return dynamic_cast<IGraphicsHeadless*>(plug.Graphics()); }

void ClickPresetField(QiKt412& plug) {
  IMouseMod left(true);
  plug.Graphics()->OnMouseDown(300, 28, &left);
  plug.Graphics()->OnMouseUp(300, 28, &left);
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
  ScopedEnv(const char* name, const char* value) : mName(name) {
    const char* old = std::getenv(name);
    mHad = old != nullptr;
    if (old) mOld = old;
    if (value) ::setenv(name, value, 1); else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (mHad) ::setenv(mName.c_str(), mOld.c_str(), 1); else ::unsetenv(mName.c_str());
  }

private:
  std::string mName, mOld;
  bool mHad = false;
};

}  // namespace

TEST(PresetBrowser, TheTwoFolderExampleLoadsKickAAndStepsAroundItsFolder) {
  NoShippedPresets own;
  ScratchFolder base;
  MakeTwoFolderExample(base);
  QiKt412 plug(base.Path());
  Prepare(plug, 512);

  std::shared_ptr<PresetTree> tree = plug.Presets().Scan();
  EXPECT_EQ(Texts(tree->Top()), (std::vector<std::string>{"Save File...", "", "Factory Presets", "User Presets"}));
  EXPECT_TRUE(tree->Top()->GetItem(1)->GetIsSeparator());
  ASSERT_NE(tree->Top()->GetItem(3)->GetSubmenu(), nullptr);
  EXPECT_EQ(tree->Top()->GetItem(3)->GetSubmenu()->GetNItems(), 0);

  EXPECT_EQ(plug.PresetName(), "Kick A");
  EXPECT_EQ(plug.GetParam(kPitch)->Value(), -6.0);
  // The press only asks for the step: the file is read at the next idle tick,
  // away from the mutex the press holds.
  SetParam(plug, kRight, 1.0);
  SetParam(plug, kRight, 0.0);
  EXPECT_EQ(plug.PendingPresetSteps(), 1);
  EXPECT_EQ(plug.PresetName(), "Kick A");
  EXPECT_EQ(plug.GetParam(kPitch)->Value(), -6.0);
  plug.OnIdle();
  EXPECT_EQ(plug.PendingPresetSteps(), 0);
  EXPECT_EQ(plug.PresetName(), "Kick B");
  EXPECT_EQ(plug.GetParam(kPitch)->Value(), 6.0);
  EXPECT_EQ(plug.Graphics()->GetControl(plug.KnobIdx(kPitch))->GetValue(), 0.75);
  Press(plug, kRight);
  EXPECT_EQ(plug.PresetName(), "Kick A");
  Press(plug, kLeft);
  EXPECT_EQ(plug.PresetName(), "Kick B");
}

TEST(PresetBrowser, ListsOnlyPresetFilesInCaseInsensitiveOrderAndStepsOverFolders) {
  NoShippedPresets own;
  ScratchFolder base;
  WriteText(base / "Factory Presets/b.qipreset", Preset(0.1));
  WriteText(base / "Factory Presets/A.qipreset", Preset(0.2));
  WriteText(base / "Factory Presets/C.qipreset", Preset(0.3));
  WriteText(base / "Factory Presets/a sub/Deep.qipreset", Preset(0.4));
  WriteText(base / "Factory Presets/notes.txt", "not a preset");
  WriteText(base / "Factory Presets/x.qipreset.bak", Preset(0.5));
  WriteText(base / "Factory Presets/Test.QIPRESET", Preset(0.5));  // the extension is matched exactly
  ASSERT_EQ(::symlink((base / "Factory Presets/A.qipreset").c_str(), (base / "Factory Presets/Link.qipreset").c_str()), 0);
  QiKt412 plug(base.Path());

  IPopupMenu* factory = plug.Presets().CurrentFolder();
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(Texts(factory), (std::vector<std::string>{"A", "a sub", "b", "C", "Link"}));
  EXPECT_EQ(factory->GetItem(0)->GetPath(), base / "Factory Presets/A.qipreset");
  EXPECT_TRUE(factory->GetItem(1)->mNotPreset);
  EXPECT_EQ(plug.PresetName(), "A");
  Press(plug, kLeft);  // wraps from the first preset to the last
  EXPECT_EQ(plug.PresetName(), "Link");
  Press(plug, kRight);
  EXPECT_EQ(plug.PresetName(), "A");
  Press(plug, kRight);  // over the sub-folder
  EXPECT_EQ(plug.PresetName(), "b");
}

TEST(PresetBrowser, LongNamesAreCutToTwentyAndStillLoad) {
  NoShippedPresets own;
  ScratchFolder base;
  WriteText(base / "Factory Presets/A Very Long Preset Name Indeed.qipreset", Preset(1.0));
  QiKt412 plug(base.Path());
  EXPECT_EQ(plug.PresetName(), "A Very Long Preset N");
  EXPECT_EQ(plug.GetParam(kPitch)->Value(), 12.0);
}

TEST(PresetMenu, ChoosingAPresetInAFolderLoadsItButATopLevelOneLoadsNothing) {
  NoShippedPresets own;
  ScratchFolder base;
  MakeTwoFolderExample(base);
  WriteText(base / "Loose.qipreset", Preset(1.0));
  QiKt412 plug(base.Path());
  IGraphicsHeadless* g = Headless(plug);
  ASSERT_NE(g, nullptr);

  // Top menu: Save File..., separator, Factory Presets, Loose, User Presets.
  g->QueueMenuAnswer({3});
  ClickPresetField(plug);
  ASSERT_EQ(g->LastMenu().size(), 5u);
  EXPECT_EQ(g->LastMenu()[3].text, "Loose");
  EXPECT_EQ(g->LastMenuRect(), IRECT(207, 21, 383, 37));
  EXPECT_EQ(plug.PresetName(), "Kick A");
  EXPECT_EQ(plug.GetParam(kPitch)->Value(), -6.0);

  g->QueueMenuAnswer({2, 1});
  ClickPresetField(plug);
  EXPECT_EQ(plug.PresetName(), "Kick B");
  EXPECT_EQ(plug.GetParam(kPitch)->Value(), 6.0);
  Press(plug, kRight);
  EXPECT_EQ(plug.PresetName(), "Kick A") << "stepping walks the folder the menu choice came from";

  // A dismissed menu changes nothing.
  ClickPresetField(plug);
  EXPECT_EQ(plug.PresetName(), "Kick A");
}

TEST(PresetMenu, SaveFileWritesIntoTheChosenFileAndTheNextMenuListsIt) {
  NoShippedPresets own;
  ScratchFolder base;
  MakeTwoFolderExample(base);
  QiKt412 plug(base.Path());
  IGraphicsHeadless* g = Headless(plug);
  SetParam(plug, kDecay, 0.125);
  g->QueueMenuAnswer({0});
  g->QueueFileAnswer((base / "User Presets/Mine").c_str());  // the extension is added
  ClickPresetField(plug);
  EXPECT_NE(ReadText(base / "User Presets/Mine.qipreset").find("\nDecay=0.125000\n"), std::string::npos);
  EXPECT_EQ(plug.PresetName(), "Kick A") << "saving does not change the shown name";

  g->QueueMenuAnswer({0});  // cancelled dialog: nothing written
  ClickPresetField(plug);
  std::shared_ptr<PresetTree> tree = plug.Presets().Scan();
  EXPECT_EQ(Texts(tree->Top()->GetItem(3)->GetSubmenu()), (std::vector<std::string>{"Mine"}));
}

TEST(PresetBrowser, EachInstanceStepsThroughItsOwnFolder) {
  NoShippedPresets own;
  ScratchFolder one, two;
  MakeTwoFolderExample(one);
  WriteText(two / "Factory Presets/X.qipreset", Preset(0.0));
  WriteText(two / "Factory Presets/Y.qipreset", Preset(0.5));
  WriteText(two / "Factory Presets/Z.qipreset", Preset(1.0));
  QiKt412 a(one.Path());
  QiKt412 b(two.Path());
  Press(b, kRight);
  Press(a, kRight);
  EXPECT_EQ(a.PresetName(), "Kick B");
  EXPECT_EQ(b.PresetName(), "Y");
  Press(b, kRight);
  EXPECT_EQ(b.PresetName(), "Z");
  EXPECT_EQ(a.PresetName(), "Kick B");
}

TEST(PresetBrowser, OldMenuTreesLiveWhileHeldAndGoWhenReplaced) {
  NoShippedPresets own;
  ScratchFolder base;
  MakeTwoFolderExample(base);
  QiKt412 plug(base.Path());
  std::weak_ptr<PresetTree> first;
  {
    std::shared_ptr<PresetTree> tree = plug.Presets().Scan();
    first = tree;
    plug.Presets().SetCurrent(tree, tree->FactoryFolder(), 0);
  }
  EXPECT_FALSE(first.expired()) << "the browser holds the tree of its current folder";
  for (int i = 0; i < 1000; ++i) {
    std::shared_ptr<PresetTree> tree = plug.Presets().Scan();
    if (i == 0) plug.Presets().SetCurrent(tree, tree->FactoryFolder(), 1);
  }
  EXPECT_TRUE(first.expired()) << "a replaced tree is freed";
  Press(plug, kRight);  // the held folder's items are still valid
  EXPECT_EQ(plug.PresetName(), "Kick A");
}

TEST(PresetBrowser, AFolderThatCannotBeMadeGivesOnlyTheCommandsAndNoPreset) {
  ScratchFolder scratch;
  WriteText(scratch / "file", "a file where a folder should be");
  QiKt412 plug(scratch / "file/presets/");
  EXPECT_EQ(plug.PresetName(), "");
  EXPECT_EQ(plug.GetParam(kPitch)->Value(), 0.0);
  EXPECT_EQ(plug.Presets().Scan()->Top()->GetNItems(), 2);
  Press(plug, kRight);
  EXPECT_EQ(plug.PresetName(), "");
}

TEST(PresetSeeding, AFolderWithoutFactoryPresetsGetsTheShippedOnesButNothingIsReplaced) {
  ScratchFolder base;
  WriteText(base / "User Presets/Mine.qipreset", Preset(0.9));
  int copied = -1;
  std::string error;
  ASSERT_TRUE(SeedFactoryPresets(base.Path(), &copied, &error)) << error;
  const int shipped = static_cast<int>(BuiltInResourcesUnder("resources/presets/Factory Presets/").size());
  EXPECT_GE(shipped, 16) << "the factory presets are built into the program";
  EXPECT_EQ(copied, shipped);
  EXPECT_EQ(ReadText(base / "User Presets/Mine.qipreset"), Preset(0.9));

  // Once there, the folder is left alone: a factory file the user changed stays as it is.
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(base / "Factory Presets")) files.push_back(e.path().string());
  ASSERT_FALSE(files.empty());
  WriteText(files.front(), Preset(0.0));
  ASSERT_TRUE(SeedFactoryPresets(base.Path(), &copied, &error));
  EXPECT_EQ(copied, 0);
  EXPECT_EQ(ReadText(files.front()), Preset(0.0));

  // An instrument on the seeded folder starts on the first factory preset.
  QiKt412 plug(base.Path());
  EXPECT_FALSE(plug.PresetName().empty());
  EXPECT_EQ(plug.Presets().CurrentIndex(), 0);
}

TEST(PresetSeeding, EveryShippedPresetLoadsWithModesAndButtonsAtZero) {
  for (const BuiltInResource* r : BuiltInResourcesUnder("resources/presets/Factory Presets/")) {
    PresetValues v = ParsePresetText(std::string(reinterpret_cast<const char*>(r->data), r->size));
    EXPECT_EQ(v.Count(), 15) << r->path;
    for (int k = kLearn; k <= kLed; ++k) EXPECT_EQ(v.value[static_cast<size_t>(k)], 0.0) << r->path << " line " << k;
  }
}

TEST(PresetFolder, TheDefaultFolderFollowsTheEnvironment) {
  {
    ScopedEnv dir("KT412_PRESET_DIR", "/srv/kicks");
    EXPECT_EQ(DefaultPresetBasePath(), "/srv/kicks/");
  }
  ScopedEnv noDir("KT412_PRESET_DIR", nullptr);
  {
    ScopedEnv xdg("XDG_DATA_HOME", "/data");
    EXPECT_EQ(DefaultPresetBasePath(), "/data/Quorvane Instruments/Quorvane KT-412 Presets/");
  }
  ScopedEnv home("HOME", "/home/drummer");
  {
    ScopedEnv relative("XDG_DATA_HOME", "relative/path");
    EXPECT_EQ(DefaultPresetBasePath(), "/home/drummer/.local/share/Quorvane Instruments/Quorvane KT-412 Presets/");
  }
  ScopedEnv unset("XDG_DATA_HOME", nullptr);
  EXPECT_EQ(DefaultPresetBasePath(), "/home/drummer/.local/share/Quorvane Instruments/Quorvane KT-412 Presets/");
  EXPECT_EQ(PresetBrowser(DefaultPresetBasePath()).UserBasePath(),
            "/home/drummer/.local/share/Quorvane Instruments/Quorvane KT-412 Presets/User Presets/");
}

TEST(PresetFolder, OurOwnProgramsReadNoPresetFolderUnlessGivenOne) {
  ScratchFolder base;
  MakeTwoFolderExample(base);
  ScopedEnv dir("KT412_PRESET_DIR", base.Path().c_str());
  QiKt412 plug;
  EXPECT_FALSE(plug.Presets().HasFolder());
  EXPECT_EQ(plug.PresetName(), "");
  EXPECT_EQ(plug.GetParam(kPitch)->Value(), 0.0);
}

TEST(PresetMenu, AFailedSaveFileSaysWhy) {
  ScratchFolder base;
  NoShippedPresets own;
  MakeTwoFolderExample(base);
  QiKt412 plug(base.Path());
  IGraphicsHeadless* g = Headless(plug);
  g->QueueMenuAnswer({0});
  g->QueueFileAnswer((base / "gone/Mine").c_str());
  ClickPresetField(plug);
  EXPECT_NE(g->LastMessageBoxText().find("cannot write '" + base / "gone/Mine.qipreset'"), std::string::npos)
      << g->LastMessageBoxText();
  EXPECT_NE(g->LastMessageBoxText().find("No such file or directory"), std::string::npos);
}

TEST(PresetSeeding, EveryMissingFactoryPresetIsCopiedWheneverOneIsMissingAndFailuresAreReported) {
  ScratchFolder base;
  const int shipped = static_cast<int>(BuiltInResourcesUnder("resources/presets/Factory Presets/").size());
  int copied = -1;
  std::string error;
  // Files as big as a byte stand in for a full disk: every copy fails.
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit tiny = old;
  tiny.rlim_cur = 1;
  void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
  const bool seeded = SeedFactoryPresets(base.Path(), &copied, &error);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(seeded);
  EXPECT_EQ(copied, 0);
  EXPECT_NE(error.find("could not put " + std::to_string(shipped) + " of " + std::to_string(shipped)), std::string::npos) << error;
  EXPECT_NE(error.find("File too large"), std::string::npos) << error;

  // The next start finishes the job, though the folder is there by now.
  ASSERT_TRUE(SeedFactoryPresets(base.Path(), &copied, &error)) << error;
  EXPECT_EQ(copied, shipped);
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(base / "Factory Presets")) files.push_back(e.path().string());
  ASSERT_EQ(static_cast<int>(files.size()), shipped);
  std::filesystem::remove(files[0]);
  std::filesystem::remove(files[1]);
  ASSERT_TRUE(SeedFactoryPresets(base.Path(), &copied, &error)) << error;
  EXPECT_EQ(copied, 2);
  EXPECT_TRUE(std::filesystem::exists(files[0]));
}

TEST(PresetBrowser, TheScanLimitTakesTheFactoryFolderFirstCutsInNameOrderAndSaysSo) {
  ScratchFolder base;
  NoShippedPresets own;
  WriteText(base / "Factory Presets/Kick.qipreset", Preset(0.25));
  // More loose presets than the limit, all named before "Factory Presets".
  const int loose = PresetTree::kMaxEntries + 2000;
  for (int i = 0; i < loose; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "a%05d.qipreset", i);
    std::FILE* f = std::fopen((base / name).c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  QiKt412 plug(base.Path());
  EXPECT_EQ(plug.PresetName(), "Kick");
  std::shared_ptr<PresetTree> tree = plug.Presets().Scan();
  const IPopupMenu* top = tree->Top();
  // The factory folder and its preset, then the first loose files in name
  // order; the rest (and "User Presets", last in name order) are cut, as the
  // last line says.
  const int listedTop = PresetTree::kMaxEntries - 1;
  ASSERT_EQ(top->GetNItems(), 2 + listedTop + 1);
  EXPECT_EQ(std::string(top->GetItem(2)->GetText()), "a00000");
  EXPECT_EQ(std::string(top->GetItem(2 + listedTop - 2)->GetText()), "a09997");
  EXPECT_EQ(std::string(top->GetItem(2 + listedTop - 1)->GetText()), "Factory Presets");
  const IPopupMenuItem* notice = top->GetItem(2 + listedTop);
  EXPECT_EQ(std::string(notice->GetText()), PresetTree::CutNotice(loose + 2 - listedTop));
  EXPECT_FALSE(notice->GetEnabled());
  EXPECT_TRUE(notice->mNotPreset);
  EXPECT_EQ(Texts(tree->FactoryFolder()), (std::vector<std::string>{"Kick"}));
}

TEST(PresetBrowser, LinkedFoldersAndPresetsAreListedSeededAndLoadAndLoopsAreHarmless) {
  ScratchFolder base, elsewhere;
  WriteText(elsewhere / "factory/Kick L.qipreset", Preset(0.75));
  WriteText(elsewhere / "mine.qipreset", Preset(1.0));
  ASSERT_EQ(::symlink((elsewhere / "factory").c_str(), (base / "Factory Presets").c_str()), 0);
  std::filesystem::create_directories(base / "User Presets");
  ASSERT_EQ(::symlink((elsewhere / "mine.qipreset").c_str(), (base / "User Presets/Mine.qipreset").c_str()), 0);
  ASSERT_EQ(::symlink("..", (base / "User Presets/loop").c_str()), 0);
  {
    NoShippedPresets own;
    QiKt412 plug(base.Path());
    EXPECT_EQ(plug.PresetName(), "Kick L");
    EXPECT_EQ(plug.GetParam(kPitch)->Value(), 6.0);
    std::shared_ptr<PresetTree> tree = plug.Presets().Scan();
    const IPopupMenu* user = tree->Top()->GetItem(3)->GetSubmenu();
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(Texts(user), (std::vector<std::string>{"loop", "Mine"}));
    EXPECT_EQ(user->GetItem(0)->GetSubmenu()->GetNItems(), 0) << "a folder below itself is not entered";
    ASSERT_TRUE(plug.loadProgram(user->GetItem(1)->GetPath()));
    EXPECT_EQ(plug.GetParam(kPitch)->Value(), 12.0);
  }
  // Seeding goes through the link into the folder it leads to.
  int copied = 0;
  std::string error;
  ASSERT_TRUE(SeedFactoryPresets(base.Path(), &copied, &error)) << error;
  EXPECT_GE(copied, 16);
  EXPECT_TRUE(std::filesystem::is_symlink(base / "Factory Presets"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(elsewhere / "factory"), {}), copied + 1);
}
