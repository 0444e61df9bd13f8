// Where the program keeps its settings file, bb.ini. Backends: linux/ and windows/settings_path.cpp.
#pragma once

#include "runtime/text.h"

namespace kestrin {

// The settings file's path. On Linux $XDG_CONFIG_HOME/kestrin/bb.ini, or ~/.config/kestrin/bb.ini
// when that variable is unset, empty or not an absolute path, as the desktop's base directories
// have it; empty when HOME is unusable too. On Windows bb.ini beside the program (RunDirectory),
// which runs from any folder; empty when the program's folder is unknown.
[[nodiscard]] Text SettingsFilePath();

// Makes the folder of SettingsFilePath with its missing parents, readable by the user alone as
// the desktop's configuration folders are. True when it is there afterwards; on Windows the
// program's folder, which is.
[[nodiscard]] bool MakeSettingsFolder();

// Makes `folder` (absolute) with its missing parents, each readable by the user alone; one made
// meanwhile by another process is as good. True when it is there afterwards. Linux only.
[[nodiscard]] bool MakePrivateFolder(const Text& folder);

}  // namespace kestrin
