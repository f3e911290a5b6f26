// The file chooser through the desktop portal: the pure pieces, then the whole
// exchange against a stand-in portal of our own on a private session bus.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "PortalTestBus.h"

TEST(X11Portal, FileUrisDecodeToPathsAndEverythingElseIsRefused) {
  EXPECT_EQ("/tmp/my drums/kick.kt412", X11PortalUriToPath("file:///tmp/my%20drums/kick.kt412"));
  EXPECT_EQ("/a/b", X11PortalUriToPath("file://localhost/a/b"));
  EXPECT_EQ("/x%y/\xc3\xa9", X11PortalUriToPath("file:///x%25y/%C3%a9"));
  EXPECT_EQ(std::nullopt, X11PortalUriToPath("http://host/a"));
  EXPECT_EQ(std::nullopt, X11PortalUriToPath("file://otherhost/a"));
  EXPECT_EQ(std::nullopt, X11PortalUriToPath("file://"));
  EXPECT_EQ(std::nullopt, X11PortalUriToPath("file:///a%zz"));
  EXPECT_EQ(std::nullopt, X11PortalUriToPath("file:///a%2"));
  EXPECT_EQ(std::nullopt, X11PortalUriToPath("file:///a%00b"));
}

TEST(X11Portal, RequestPathAndOptionsTakeThePortalsForms) {
  EXPECT_EQ("/org/freedesktop/portal/desktop/request/1_42/tok", X11PortalRequestPath(":1.42", "tok"));

  X11PortalQuery q;
  q.save = true;
  q.folder = "/home/u";
  q.proposedName = "Kick.kt412";
  q.extensions = {"kt412", "", "fxp"};
  X11PortalOptions o = X11PortalMakeOptions(q, "t1");
  EXPECT_EQ("Save as", o.title);
  EXPECT_EQ("t1", o.handleToken);
  EXPECT_EQ("Kick.kt412", o.currentName);
  EXPECT_EQ((std::vector<unsigned char>{'/', 'h', 'o', 'm', 'e', '/', 'u', 0}), o.currentFolder);
  ASSERT_EQ(1u, o.filters.size());
  EXPECT_EQ((std::vector<std::string>{"*.kt412", "*.fxp"}), o.filters[0].second);

  q.save = false;
  q.folder.clear();
  q.extensions.clear();
  o = X11PortalMakeOptions(q, "t2");
  EXPECT_EQ("Open file", o.title);
  EXPECT_TRUE(o.currentName.empty());  // a name is only proposed when saving
  EXPECT_TRUE(o.currentFolder.empty());
  EXPECT_TRUE(o.filters.empty());
}

namespace {
class X11PortalBus : public testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS")) saved_ = old;
    bus_ = std::make_unique<PrivateBus>();
    if (bus_->Address().empty()) GTEST_SKIP() << "dbus-daemon is not installed (scripts/install-deps.sh --test)";
    setenv("DBUS_SESSION_BUS_ADDRESS", bus_->Address().c_str(), 1);
    query_.folder = "/tmp/presets";
    query_.proposedName = "Deep.kt412";
    query_.extensions = {"kt412"};
  }
  void TearDown() override {
    if (saved_.empty()) unsetenv("DBUS_SESSION_BUS_ADDRESS");
    else setenv("DBUS_SESSION_BUS_ADDRESS", saved_.c_str(), 1);
  }
  std::unique_ptr<PrivateBus> bus_;
  X11PortalQuery query_;
  std::string saved_;
};
}  // namespace

TEST_F(X11PortalBus, ChosenFileComesBackDecodedAndTheCallCarriesTheQuery) {
  FakePortal portal(bus_->Address(), PortalAnswer::kChoose);
  ASSERT_TRUE(portal.Ready());
  for (bool save : {false, true}) {
    query_.save = save;
    const X11PortalResult r = X11PortalChooseFile(query_, nullptr, 20, 10000);
    EXPECT_EQ(X11PortalStatus::kChosen, r.status);
    EXPECT_EQ("/tmp/my drums/kick one.kt412", r.path);
    std::lock_guard<std::mutex> lock(portal.m);
    EXPECT_EQ(save ? "SaveFile" : "OpenFile", portal.method);
    EXPECT_EQ(save ? "Deep.kt412" : "", portal.currentName);
    EXPECT_EQ(std::string("/tmp/presets") + '\0', std::string(portal.folder.begin(), portal.folder.end()));
    EXPECT_EQ(std::vector<std::string>{"*.kt412"}, portal.patterns);
    EXPECT_FALSE(portal.token.empty());
    portal.currentName.clear();
    portal.patterns.clear();
  }
}

TEST_F(X11PortalBus, CancelGivesNothingAndARefusedCallFallsBack) {
  {
    FakePortal portal(bus_->Address(), PortalAnswer::kCancel);
    ASSERT_TRUE(portal.Ready());
    const X11PortalResult r = X11PortalChooseFile(query_, nullptr, 20, 10000);
    EXPECT_EQ(X11PortalStatus::kCancelled, r.status);
    EXPECT_TRUE(r.path.empty());
  }
  FakePortal refusing(bus_->Address(), PortalAnswer::kRefuse);
  ASSERT_TRUE(refusing.Ready());
  EXPECT_EQ(X11PortalStatus::kFailed, X11PortalChooseFile(query_, nullptr, 20, 10000).status);
}

TEST_F(X11PortalBus, WithoutAPortalOrABusTheOtherChoosersAreUsed) {
  int waited = 0;
  EXPECT_EQ(X11PortalStatus::kUnavailable, X11PortalChooseFile(query_, [&] { return ++waited < 100; }).status);
  EXPECT_EQ(0, waited);  // nothing was waited for

  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kt412-bus", 1);
  EXPECT_EQ(X11PortalStatus::kUnavailable, X11PortalChooseFile(query_, nullptr).status);
}

TEST_F(X11PortalBus, GivingUpOrTimingOutClosesTheRequest) {
  FakePortal portal(bus_->Address(), PortalAnswer::kSilent);
  ASSERT_TRUE(portal.Ready());
  int waited = 0;
  X11PortalResult r = X11PortalChooseFile(query_, [&] { return ++waited < 5; }, 10, 60000);
  EXPECT_EQ(X11PortalStatus::kAborted, r.status);
  EXPECT_EQ(5, waited);
  auto closedHandle = [&] {
    for (int i = 0; i < 200; ++i) {
      {
        std::lock_guard<std::mutex> lock(portal.m);
        if (!portal.closed.empty()) return portal.closed;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::string();
  };
  std::string handle;
  {
    std::lock_guard<std::mutex> lock(portal.m);
    handle = portal.handle;
  }
  EXPECT_FALSE(handle.empty());
  EXPECT_EQ(handle, closedHandle());

  {
    std::lock_guard<std::mutex> lock(portal.m);
    portal.closed.clear();
  }
  r = X11PortalChooseFile(query_, nullptr, 10, 300);
  EXPECT_EQ(X11PortalStatus::kTimedOut, r.status);
  EXPECT_FALSE(closedHandle().empty());
}
