// The desktop portal's file chooser over libdbus. A private connection of our
// own, so a host that shares the process's bus connection never sees our
// match rules or messages, and we never see (or steal) its.
#include "platform/x11/X11Portal.h"

#include <dbus/dbus.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>

namespace {
constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kRequestIface = "org.freedesktop.portal.Request";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The session bus's address, without ever starting a bus: libdbus would
// autolaunch one through X11 when the variable is unset, leaving a daemon
// behind that no portal listens on.
std::string SessionBusAddress() {
  if (const char* env = std::getenv("DBUS_SESSION_BUS_ADDRESS"); env && env[0]) return env;
  if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && run[0]) {
    const std::string socket = std::string(run) + "/bus";
    struct stat st;
    if (::stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) return "unix:path=" + socket;
  }
  return std::string();
}

struct ConnectionCloser {
  void operator()(DBusConnection* c) const {
    dbus_connection_close(c);
    dbus_connection_unref(c);
  }
};
using Connection = std::unique_ptr<DBusConnection, ConnectionCloser>;

struct MessageUnref {
  void operator()(DBusMessage* m) const { dbus_message_unref(m); }
};
using Message = std::unique_ptr<DBusMessage, MessageUnref>;

Connection OpenSessionBus() {
  const std::string address = SessionBusAddress();
  if (address.empty()) return nullptr;
  DBusError err;
  dbus_error_init(&err);
  Connection c(dbus_connection_open_private(address.c_str(), &err));
  if (c) {
    dbus_connection_set_exit_on_disconnect(c.get(), FALSE);
    if (!dbus_bus_register(c.get(), &err)) c.reset();
  }
  dbus_error_free(&err);
  return c;
}

template <typename Fill>
void AppendOption(DBusMessageIter* dict, const char* key, const char* signature, Fill fill) {
  DBusMessageIter entry, variant;
  dbus_message_iter_open_container(dict, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
  dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key);
  dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, signature, &variant);
  fill(&variant);
  dbus_message_iter_close_container(&entry, &variant);
  dbus_message_iter_close_container(dict, &entry);
}

void AppendString(DBusMessageIter* it, const std::string& s) {
  const char* p = s.c_str();
  dbus_message_iter_append_basic(it, DBUS_TYPE_STRING, &p);
}

Message MakeCall(const X11PortalQuery& query, const X11PortalOptions& o) {
  Message msg(dbus_message_new_method_call(kPortalName, kPortalPath, "org.freedesktop.portal.FileChooser",
                                           query.save ? "SaveFile" : "OpenFile"));
  if (!msg) return nullptr;
  DBusMessageIter it, dict;
  dbus_message_iter_init_append(msg.get(), &it);
  AppendString(&it, query.parentWindow);
  AppendString(&it, o.title);
  dbus_message_iter_open_container(&it, DBUS_TYPE_ARRAY, "{sv}", &dict);
  AppendOption(&dict, "handle_token", "s", [&](DBusMessageIter* v) { AppendString(v, o.handleToken); });
  if (!o.currentName.empty())
    AppendOption(&dict, "current_name", "s", [&](DBusMessageIter* v) { AppendString(v, o.currentName); });
  if (!o.currentFolder.empty()) {
    AppendOption(&dict, "current_folder", "ay", [&](DBusMessageIter* v) {
      DBusMessageIter bytes;
      dbus_message_iter_open_container(v, DBUS_TYPE_ARRAY, "y", &bytes);
      const unsigned char* data = o.currentFolder.data();
      dbus_message_iter_append_fixed_array(&bytes, DBUS_TYPE_BYTE, &data, (int)o.currentFolder.size());
      dbus_message_iter_close_container(v, &bytes);
    });
  }
  if (!o.filters.empty()) {
    AppendOption(&dict, "filters", "a(sa(us))", [&](DBusMessageIter* v) {
      DBusMessageIter list;
      dbus_message_iter_open_container(v, DBUS_TYPE_ARRAY, "(sa(us))", &list);
      for (const auto& [label, patterns] : o.filters) {
        DBusMessageIter filter, rules;
        dbus_message_iter_open_container(&list, DBUS_TYPE_STRUCT, nullptr, &filter);
        AppendString(&filter, label);
        dbus_message_iter_open_container(&filter, DBUS_TYPE_ARRAY, "(us)", &rules);
        for (const std::string& pattern : patterns) {
          DBusMessageIter rule;
          dbus_uint32_t kind = 0;  // a glob
          dbus_message_iter_open_container(&rules, DBUS_TYPE_STRUCT, nullptr, &rule);
          dbus_message_iter_append_basic(&rule, DBUS_TYPE_UINT32, &kind);
          AppendString(&rule, pattern);
          dbus_message_iter_close_container(&rules, &rule);
        }
        dbus_message_iter_close_container(&filter, &rules);
        dbus_message_iter_close_container(&list, &filter);
      }
      dbus_message_iter_close_container(v, &list);
    });
  }
  dbus_message_iter_close_container(&it, &dict);
  return msg;
}

std::string MatchRule(const std::string& handle) {
  return std::string("type='signal',sender='") + kPortalName + "',interface='" + kRequestIface +
         "',member='Response',path='" + handle + "'";
}

// The Response signal's results: the first of "uris", if any.
X11PortalResult ReadResponse(DBusMessage* m) {
  DBusMessageIter it;
  if (!dbus_message_iter_init(m, &it) || dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_UINT32)
    return {X11PortalStatus::kFailed, {}};
  dbus_uint32_t response = 2;
  dbus_message_iter_get_basic(&it, &response);
  if (response == 1) return {X11PortalStatus::kCancelled, {}};
  if (response != 0) return {X11PortalStatus::kFailed, {}};
  if (!dbus_message_iter_next(&it) || dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_ARRAY)
    return {X11PortalStatus::kFailed, {}};
  DBusMessageIter dict;
  dbus_message_iter_recurse(&it, &dict);
  for (; dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY; dbus_message_iter_next(&dict)) {
    DBusMessageIter entry, variant, uris;
    dbus_message_iter_recurse(&dict, &entry);
    if (dbus_message_iter_get_arg_type(&entry) != DBUS_TYPE_STRING) continue;
    const char* key = nullptr;
    dbus_message_iter_get_basic(&entry, &key);
    if (std::string(key) != "uris" || !dbus_message_iter_next(&entry)) continue;
    dbus_message_iter_recurse(&entry, &variant);
    if (dbus_message_iter_get_arg_type(&variant) != DBUS_TYPE_ARRAY ||
        dbus_message_iter_get_element_type(&variant) != DBUS_TYPE_STRING)
      continue;
    dbus_message_iter_recurse(&variant, &uris);
    if (dbus_message_iter_get_arg_type(&uris) != DBUS_TYPE_STRING) continue;
    const char* uri = nullptr;
    dbus_message_iter_get_basic(&uris, &uri);
    if (std::optional<std::string> path = X11PortalUriToPath(uri)) return {X11PortalStatus::kChosen, *path};
    return {X11PortalStatus::kFailed, {}};
  }
  return {X11PortalStatus::kCancelled, {}};
}

void CloseRequest(DBusConnection* c, const std::string& handle) {
  Message msg(dbus_message_new_method_call(kPortalName, handle.c_str(), kRequestIface, "Close"));
  if (!msg) return;
  dbus_message_set_no_reply(msg.get(), TRUE);
  dbus_connection_send(c, msg.get(), nullptr);
  dbus_connection_flush(c);
}
}  // namespace

X11PortalOptions X11PortalMakeOptions(const X11PortalQuery& query, const std::string& token) {
  X11PortalOptions o;
  o.title = query.save ? "Save as" : "Open file";
  o.handleToken = token;
  if (query.save) o.currentName = query.proposedName;
  if (!query.folder.empty()) {
    o.currentFolder.assign(query.folder.begin(), query.folder.end());
    o.currentFolder.push_back(0);
  }
  std::vector<std::string> patterns;
  std::string label;
  for (const std::string& e : query.extensions) {
    if (e.empty()) continue;
    patterns.push_back("*." + e);
    label += (label.empty() ? "" : " ") + patterns.back();
  }
  if (!patterns.empty()) o.filters.emplace_back(label, patterns);
  return o;
}

std::string X11PortalRequestPath(const std::string& uniqueName, const std::string& token) {
  std::string sender = uniqueName;
  if (!sender.empty() && sender[0] == ':') sender.erase(0, 1);
  for (char& c : sender)
    if (c == '.') c = '_';
  return std::string(kPortalPath) + "/request/" + sender + "/" + token;
}

std::optional<std::string> X11PortalUriToPath(const std::string& uri) {
  const std::string scheme = "file://";
  if (uri.compare(0, scheme.size(), scheme) != 0) return std::nullopt;
  const size_t slash = uri.find('/', scheme.size());
  if (slash == std::string::npos) return std::nullopt;
  const std::string host = uri.substr(scheme.size(), slash - scheme.size());
  if (!host.empty() && host != "localhost") return std::nullopt;
  std::string path;
  for (size_t i = slash; i < uri.size(); ++i) {
    if (uri[i] != '%') {
      path += uri[i];
      continue;
    }
    if (i + 2 >= uri.size()) return std::nullopt;
    const int hi = HexValue(uri[i + 1]), lo = HexValue(uri[i + 2]);
    if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return std::nullopt;
    path += (char)(hi * 16 + lo);
    i += 2;
  }
  return path;
}

struct X11PortalRequest::Impl {
  Connection bus;
  std::string handle;
  dbus_uint32_t serial = 0;
  bool accepted = false;
  std::chrono::steady_clock::time_point deadline;
  std::optional<X11PortalResult> answer;
};

X11PortalRequest::X11PortalRequest(const X11PortalQuery& query, int timeoutMs) : mImpl(std::make_unique<Impl>()) {
  Impl& r = *mImpl;
  auto fail = [&r](X11PortalStatus status) { r.answer = X11PortalResult{status, {}}; };
  r.bus = OpenSessionBus();
  if (!r.bus) {
    fail(X11PortalStatus::kUnavailable);
    return;
  }
  DBusConnection* c = r.bus.get();
  DBusError err;
  dbus_error_init(&err);
  const bool owned = dbus_bus_name_has_owner(c, kPortalName, &err);
  dbus_error_free(&err);
  if (!owned) {
    fail(X11PortalStatus::kUnavailable);
    return;
  }

  static std::atomic<unsigned> counter{0};
  const std::string token = "kt412_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
  r.handle = X11PortalRequestPath(dbus_bus_get_unique_name(c), token);
  // Listening before calling: a fast portal may answer before the call returns.
  dbus_bus_add_match(c, MatchRule(r.handle).c_str(), &err);
  const bool matched = !dbus_error_is_set(&err);
  dbus_error_free(&err);
  if (!matched) {
    fail(X11PortalStatus::kFailed);
    return;
  }

  Message call = MakeCall(query, X11PortalMakeOptions(query, token));
  if (!call || !dbus_connection_send(c, call.get(), &r.serial)) {
    fail(X11PortalStatus::kFailed);
    return;
  }
  dbus_connection_flush(c);
  r.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
}

X11PortalRequest::~X11PortalRequest() { Abort(); }

bool X11PortalRequest::Taken() const { return mImpl->accepted; }

void X11PortalRequest::Abort() {
  Impl& r = *mImpl;
  if (r.answer || !r.bus) return;
  CloseRequest(r.bus.get(), r.handle);
  r.answer = X11PortalResult{X11PortalStatus::kAborted, {}};
}

std::optional<X11PortalResult> X11PortalRequest::Poll(int waitMs) {
  Impl& r = *mImpl;
  if (r.answer) return r.answer;
  DBusConnection* c = r.bus.get();
  if (!dbus_connection_read_write(c, waitMs)) return r.answer = X11PortalResult{X11PortalStatus::kFailed, {}};
  while (DBusMessage* raw = dbus_connection_pop_message(c)) {
    Message m(raw);
    const int type = dbus_message_get_type(m.get());
    if ((type == DBUS_MESSAGE_TYPE_METHOD_RETURN || type == DBUS_MESSAGE_TYPE_ERROR) &&
        dbus_message_get_reply_serial(m.get()) == r.serial) {
      if (type == DBUS_MESSAGE_TYPE_ERROR) return r.answer = X11PortalResult{X11PortalStatus::kFailed, {}};
      r.accepted = true;
      // An old portal ignores the token and names the request itself.
      const char* returned = nullptr;
      DBusMessageIter it;
      if (dbus_message_iter_init(m.get(), &it) && dbus_message_iter_get_arg_type(&it) == DBUS_TYPE_OBJECT_PATH) {
        dbus_message_iter_get_basic(&it, &returned);
        if (r.handle != returned) {
          r.handle = returned;
          dbus_bus_add_match(c, MatchRule(r.handle).c_str(), nullptr);
        }
      }
    } else if (dbus_message_is_signal(m.get(), kRequestIface, "Response") &&
               r.handle == (dbus_message_get_path(m.get()) ? dbus_message_get_path(m.get()) : "")) {
      return r.answer = ReadResponse(m.get());
    }
  }
  if (std::chrono::steady_clock::now() >= r.deadline) {
    CloseRequest(c, r.handle);
    return r.answer = X11PortalResult{r.accepted ? X11PortalStatus::kTimedOut : X11PortalStatus::kFailed, {}};
  }
  return std::nullopt;
}

X11PortalResult X11PortalChooseFile(const X11PortalQuery& query, const std::function<bool()>& keepWaiting,
                                    int pollMs, int timeoutMs) {
  X11PortalRequest request(query, timeoutMs);
  while (true) {
    if (std::optional<X11PortalResult> answer = request.Poll(pollMs)) return *answer;
    if (keepWaiting && !keepWaiting()) {
      request.Abort();
      return {X11PortalStatus::kAborted, {}};
    }
  }
}
