// The desktop's file chooser, asked over the session bus (the XDG desktop
// portal). Preferred to a chooser program because it is the desktop's own
// dialog, and it works from inside sandboxes where no program can be started.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct X11PortalQuery {
  bool save = false;
  std::string parentWindow;          // "x11:<hex id>", or empty
  std::string folder;                // where the chooser starts, may be empty
  std::string proposedName;          // file name offered when saving
  std::vector<std::string> extensions;  // without the dot, e.g. "kt412"
};

// What travels as the call's options: each piece of the query in the form the
// portal expects.
struct X11PortalOptions {
  std::string title;
  std::string handleToken;
  std::string currentName;                 // empty: not sent
  std::vector<unsigned char> currentFolder;  // the path's bytes and a closing NUL; empty: not sent
  // One filter per list: a label and glob patterns (kind 0 = glob).
  std::vector<std::pair<std::string, std::vector<std::string>>> filters;
};

X11PortalOptions X11PortalMakeOptions(const X11PortalQuery& query, const std::string& token);

// The object path the portal gives the request, known before the call so the
// answer can be listened for first: the caller's unique name without its
// colon and with dots as underscores, then the token.
std::string X11PortalRequestPath(const std::string& uniqueName, const std::string& token);

// A local path from a file:// URI, percent escapes decoded; nothing for other
// schemes, remote hosts, malformed escapes or an encoded NUL.
std::optional<std::string> X11PortalUriToPath(const std::string& uri);

enum class X11PortalStatus {
  kChosen,       // path holds the file
  kCancelled,    // the user dismissed the chooser
  kUnavailable,  // no session bus or no portal on it: use another chooser
  kFailed,       // the portal refused the call or did not take it: use another chooser
  kTimedOut,     // the chooser was shown but no answer came in time; the request was closed
  kAborted       // keepWaiting said stop; the request was closed
};

struct X11PortalResult {
  X11PortalStatus status = X11PortalStatus::kUnavailable;
  std::string path;
};

// One question to the portal, asked at construction and answered through
// Poll, so that the caller never waits on it: a view polls it from its idle
// calls. Destroying an unanswered request closes it (the chooser goes away).
class X11PortalRequest {
public:
  explicit X11PortalRequest(const X11PortalQuery& query, int timeoutMs = 15 * 60 * 1000);
  ~X11PortalRequest();
  X11PortalRequest(const X11PortalRequest&) = delete;
  X11PortalRequest& operator=(const X11PortalRequest&) = delete;
  // Reads what arrived (waiting at most waitMs); the answer once there is one
  // (kUnavailable or kFailed at once when the portal could not be asked).
  std::optional<X11PortalResult> Poll(int waitMs = 0);
  // True once the portal took the call (a chooser is showing).
  bool Taken() const;
  // Closes an unanswered request; its answer becomes kAborted.
  void Abort();

private:
  struct Impl;
  std::unique_ptr<Impl> mImpl;
};

// Asks the portal and waits for the answer. keepWaiting is called about every
// pollMs while waiting (the caller draws there); returning false closes the
// request. Gives up after timeoutMs.
X11PortalResult X11PortalChooseFile(const X11PortalQuery& query, const std::function<bool()>& keepWaiting,
                                    int pollMs = 40, int timeoutMs = 15 * 60 * 1000);
