#include "cli/history/machine.h"

#include <cstdlib>

#include "cli/history/history.h"
#include "cli/console/windows/wide_text.h"

namespace kestrin::cli {
std::string HostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (GetComputerNameW(name, &size) == 0 || size == 0) return "localhost";
  return Utf8Of(name);
}

long ProcessId() { return static_cast<long>(GetCurrentProcessId()); }

bool ProcessRunning(long pid) {
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;  // no such process
  DWORD code = 0;
  const bool running = GetExitCodeProcess(process, &code) == 0 || code == STILL_ACTIVE;
  CloseHandle(process);
  return running;
}

// %LOCALAPPDATA%\kestrin\history.sqlite: the machine's own profile, not one that roams.
std::string DefaultHistoryPath() {
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  const std::string base = local != nullptr && local[0] != L'\0' ? Utf8Of(local) : ".";
  return base + "\\kestrin\\history.sqlite";
}

}  // namespace kestrin::cli
