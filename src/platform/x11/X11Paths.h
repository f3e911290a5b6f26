// Folders of the XDG base-directory and user-directory conventions.
#pragma once

#include <string>

// $HOME, or /tmp when it is unset.
std::string X11HomeFolder();
// A user folder from $XDG_CONFIG_HOME/user-dirs.dirs (key such as
// "XDG_DESKTOP_DIR", value "$HOME/..." or absolute), else $HOME/fallback.
std::string X11UserDir(const char* key, const char* fallback);
// $XDG_DATA_HOME, else $HOME/.local/share.
std::string X11DataHome();
// $XDG_CONFIG_HOME, else $HOME/.config.
std::string X11ConfigHome();
// The first executable file of that name in the folders of $PATH (/usr/bin:/bin
// when unset); empty when there is none.
std::string X11FindInPath(const char* program);
