// A private session bus and a stand-in desktop portal on it, for the file
// chooser's tests.
#pragma once

#include <dbus/dbus.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/x11/X11Portal.h"

extern char** environ;

// A session bus of our own, with no service activation, so nothing of the
// machine's desktop answers in place of the stand-in portal.
class PrivateBus {
 public:
  PrivateBus() {
    config_ = "/tmp/kt412-portal-bus-" + std::to_string(::getpid()) + ".conf";
    std::ofstream(config_) << "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                              "<auth>EXTERNAL</auth><policy context=\"default\">"
                              "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                              "<allow own=\"*\"/></policy></busconfig>";
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    std::string cfg = "--config-file=" + config_;
    const char* argv[] = {"dbus-daemon", cfg.c_str(), "--nofork", "--print-address=1", nullptr};
    if (posix_spawnp(&pid_, "dbus-daemon", &fa, nullptr, (char**)argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    char c;
    while (pid_ > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') address_ += c;
    ::close(fds[0]);
  }
  ~PrivateBus() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    std::remove(config_.c_str());
  }
  const std::string& Address() const { return address_; }

 private:
  pid_t pid_ = -1;
  std::string config_, address_;
};

enum class PortalAnswer { kChoose, kCancel, kSilent, kRefuse };

// Owns org.freedesktop.portal.Desktop on the bus and answers file chooser
// calls as told, remembering what it was sent.
class FakePortal {
 public:
  FakePortal(const std::string& address, PortalAnswer answer) : answer_(answer) {
    DBusError err;
    dbus_error_init(&err);
    c_ = dbus_connection_open_private(address.c_str(), &err);
    if (c_ && dbus_bus_register(c_, &err) &&
        dbus_bus_request_name(c_, "org.freedesktop.portal.Desktop", DBUS_NAME_FLAG_DO_NOT_QUEUE, &err) ==
            DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER)
      ready_ = true;
    dbus_error_free(&err);
    if (ready_) thread_ = std::thread([this] { Run(); });
  }
  ~FakePortal() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (c_) {
      dbus_connection_close(c_);
      dbus_connection_unref(c_);
    }
  }
  bool Ready() const { return ready_; }

  std::mutex m;
  std::string method, parent, token, currentName, handle, closed;
  std::vector<unsigned char> folder;
  std::vector<std::string> patterns;

 private:
  void Run() {
    while (!stop_ && dbus_connection_read_write(c_, 20)) {
      while (DBusMessage* msg = dbus_connection_pop_message(c_)) {
        Handle(msg);
        dbus_message_unref(msg);
      }
    }
  }
  void Handle(DBusMessage* msg) {
    std::lock_guard<std::mutex> lock(m);
    if (dbus_message_is_method_call(msg, "org.freedesktop.portal.Request", "Close")) {
      closed = dbus_message_get_path(msg);
      return;
    }
    const bool open = dbus_message_is_method_call(msg, "org.freedesktop.portal.FileChooser", "OpenFile");
    if (!open && !dbus_message_is_method_call(msg, "org.freedesktop.portal.FileChooser", "SaveFile")) return;
    method = open ? "OpenFile" : "SaveFile";
    if (answer_ == PortalAnswer::kRefuse) {
      DBusMessage* e = dbus_message_new_error(msg, DBUS_ERROR_NOT_SUPPORTED, "no chooser here");
      dbus_connection_send(c_, e, nullptr);
      dbus_message_unref(e);
      return;
    }
    ReadOptions(msg);
    handle = X11PortalRequestPath(dbus_message_get_sender(msg), token);
    DBusMessage* reply = dbus_message_new_method_return(msg);
    const char* path = handle.c_str();
    dbus_message_append_args(reply, DBUS_TYPE_OBJECT_PATH, &path, DBUS_TYPE_INVALID);
    dbus_connection_send(c_, reply, nullptr);
    dbus_message_unref(reply);
    if (answer_ == PortalAnswer::kSilent) return;

    DBusMessage* sig = dbus_message_new_signal(path, "org.freedesktop.portal.Request", "Response");
    DBusMessageIter it, dict, entry, var, arr;
    dbus_message_iter_init_append(sig, &it);
    dbus_uint32_t response = answer_ == PortalAnswer::kChoose ? 0 : 1;
    dbus_message_iter_append_basic(&it, DBUS_TYPE_UINT32, &response);
    dbus_message_iter_open_container(&it, DBUS_TYPE_ARRAY, "{sv}", &dict);
    if (answer_ == PortalAnswer::kChoose) {
      const char* key = "uris";
      const char* uri = "file:///tmp/my%20drums/kick%20one.kt412";
      dbus_message_iter_open_container(&dict, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
      dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key);
      dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, "as", &var);
      dbus_message_iter_open_container(&var, DBUS_TYPE_ARRAY, "s", &arr);
      dbus_message_iter_append_basic(&arr, DBUS_TYPE_STRING, &uri);
      dbus_message_iter_close_container(&var, &arr);
      dbus_message_iter_close_container(&entry, &var);
      dbus_message_iter_close_container(&dict, &entry);
    }
    dbus_message_iter_close_container(&it, &dict);
    dbus_connection_send(c_, sig, nullptr);
    dbus_message_unref(sig);
  }
  void ReadOptions(DBusMessage* msg) {
    DBusMessageIter it, dict;
    if (!dbus_message_iter_init(msg, &it)) return;
    const char* s = nullptr;
    if (dbus_message_iter_get_arg_type(&it) == DBUS_TYPE_STRING) {
      dbus_message_iter_get_basic(&it, &s);
      parent = s;
    }
    dbus_message_iter_next(&it);
    dbus_message_iter_next(&it);  // title
    if (dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_ARRAY) return;
    for (dbus_message_iter_recurse(&it, &dict); dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY;
         dbus_message_iter_next(&dict)) {
      DBusMessageIter entry, var, inner;
      dbus_message_iter_recurse(&dict, &entry);
      const char* key = nullptr;
      dbus_message_iter_get_basic(&entry, &key);
      dbus_message_iter_next(&entry);
      dbus_message_iter_recurse(&entry, &var);
      const std::string k = key;
      if (k == "handle_token" || k == "current_name") {
        dbus_message_iter_get_basic(&var, &s);
        (k == "handle_token" ? token : currentName) = s;
      } else if (k == "current_folder") {
        dbus_message_iter_recurse(&var, &inner);
        const unsigned char* bytes = nullptr;
        int n = 0;
        dbus_message_iter_get_fixed_array(&inner, &bytes, &n);
        folder.assign(bytes, bytes + n);
      } else if (k == "filters") {
        DBusMessageIter filter, rules, rule;
        for (dbus_message_iter_recurse(&var, &inner); dbus_message_iter_get_arg_type(&inner) == DBUS_TYPE_STRUCT;
             dbus_message_iter_next(&inner)) {
          dbus_message_iter_recurse(&inner, &filter);
          dbus_message_iter_next(&filter);  // label
          for (dbus_message_iter_recurse(&filter, &rules); dbus_message_iter_get_arg_type(&rules) == DBUS_TYPE_STRUCT;
               dbus_message_iter_next(&rules)) {
            dbus_message_iter_recurse(&rules, &rule);
            dbus_message_iter_next(&rule);  // kind
            dbus_message_iter_get_basic(&rule, &s);
            patterns.push_back(s);
          }
        }
      }
    }
  }

  DBusConnection* c_ = nullptr;
  PortalAnswer answer_;
  bool ready_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
