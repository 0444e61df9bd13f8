#include "runtime/windows/windows_api.h"

#include <mutex>
#include <string>

#include "runtime/codepage.h"
#include "runtime/run_directory.h"

namespace kestrin {

const char kPathSeparator = '\\';

namespace {

struct Directory {
  bool known = false;
  std::wstring wide;  // as the system names it, for making it the current directory
  Text path;          // in code page 936, as the program's texts are
};

// The full path of the program file; empty when the system will not say.
std::wstring ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    // A path that filled the buffer may have been cut: try again with more room.
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

const Directory& ProgramDirectory() {
  static const Directory directory = [] {
    Directory result;
    const std::wstring program = ProgramPath();
    // Cut in UTF-16, where a backslash is never the second half of a GBK character.
    const std::size_t backslash = program.rfind(L'\\');
    if (backslash == std::wstring::npos) return result;
    result.known = true;
    result.wide = program.substr(0, backslash);
    result.path = Utf16ToGbk(std::u16string_view(reinterpret_cast<const char16_t*>(result.wide.data()),
                                                 result.wide.size()));
    return result;
  }();
  return directory;
}

}  // namespace

void InitRunDirectory() {
  static std::once_flag once;
  std::call_once(once, [] {
    const Directory& directory = ProgramDirectory();
    if (!directory.known) return;
    // "C:" alone names the drive's current directory, not its root.
    const std::wstring target = directory.wide.size() == 2 && directory.wide[1] == L':' ? directory.wide + L"\\"
                                                                                        : directory.wide;
    // Nothing to fall back on: the program then runs where it was started.
    ::SetCurrentDirectoryW(target.c_str());
  });
}

Text RunDirectory() { return ProgramDirectory().path; }

}  // namespace kestrin
