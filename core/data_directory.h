#pragma once

#include "core/text.h"

namespace pw {

// Where the program keeps 3.swf, the lesson caches, their .part files and update files.
// The program's own folder when the program may write there (the build folder, an
// unpacked copy); otherwise $XDG_DATA_HOME/pebblewick, or $HOME/.local/share/pebblewick
// when XDG_DATA_HOME is unset, empty or relative. That folder is made (with its parents)
// when missing; it is answered even when it cannot be made, so that the writes which
// need it fail and report as they always did. With neither variable usable the answer is
// the program's folder. The environment comes in as arguments: nothing here reads it.
Text ChooseDataDirectory(const Text& programDirectory, const char* xdgDataHome, const char* home);

// The same, with XDG_DATA_HOME and HOME (or the password entry's home) of this process.
Text ChooseDataDirectory(const Text& programDirectory);

// $XDG_DATA_HOME/pebblewick or $HOME/.local/share/pebblewick as the rule above says;
// empty when neither is an absolute path. Touches no file.
Text XdgDataDirectory(const char* xdgDataHome, const char* home);

// The program's folder under one of the user's XDG base folders, by the same rule:
// $<variable>/pebblewick, else $HOME/<underHome>/pebblewick, with the variable and HOME
// (or the password entry's home) of this process; empty when neither is usable.
// XdgUserDirectory("XDG_STATE_HOME", ".local/state"). Touches no file.
Text XdgUserDirectory(const char* variable, const char* underHome);

// mkdir -p, each new folder private to the user (0700, as the XDG rule asks). True when
// the folder is there afterwards.
bool MakeDirectories(const Text& path);

// True when this process can create and remove a file in `directory`. access() alone is
// not enough: root passes it for folders that take no files (read-only mounts, /proc).
bool IsWritableDirectory(const Text& directory);

}  // namespace pw
