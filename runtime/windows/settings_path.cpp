#include "runtime/settings_path.h"

#include "runtime/run_directory.h"

namespace kestrin {

Text SettingsFilePath() {
  const Text directory = RunDirectory();
  // A program at a drive's root has "C:" here, which still names that root's file.
  return directory.empty() ? Text() : directory + "\\bb.ini";
}

bool MakeSettingsFolder() { return !RunDirectory().empty(); }

}  // namespace kestrin
