#include "runtime/windows/windows_api.h"

#include <string>

#include "runtime/codepage.h"
#include "runtime/library_files.h"

namespace kestrin {
namespace {

constexpr const wchar_t* kSystemLibraries[] = {
    L"Kernel32.dll", L"Gdi32.dll", L"User32.dll", L"Advapi32.dll", L"Mpr.dll", L"Shell32.dll",
};

// The function from a loaded library; a library without it is released again.
void* TakeFunction(HMODULE library, const char* function) {
  if (library == nullptr) return nullptr;
  void* address = reinterpret_cast<void*>(::GetProcAddress(library, function));
  if (address == nullptr) ::FreeLibrary(library);
  return address;
}

struct Loaded {
  HMODULE library;
  DWORD error;  // the loader's own error, taken before anything else can change it
};

// A missing file is an answer here, not a box for the user.
Loaded LoadQuietly(const std::wstring& file, DWORD flags) {
  DWORD previous = 0;
  ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
  const HMODULE library = ::LoadLibraryExW(file.c_str(), nullptr, flags);
  const DWORD error = library == nullptr ? ::GetLastError() : ERROR_SUCCESS;
  ::SetThreadErrorMode(previous, nullptr);
  return {library, error};
}

std::wstring Wide(const Text& text) {
  const std::u16string text16 = GbkToUtf16(text);
  return {text16.begin(), text16.end()};
}

// The library of that name in the system folder. The search flag keeps the system's list of
// known libraries in force; a system that refuses the flag (Windows 7 without its loader update)
// gets the file by its full path in the system folder instead.
Loaded LoadFromSystemFolder(const std::wstring& name) {
  const Loaded searched = LoadQuietly(name, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (searched.error != ERROR_INVALID_PARAMETER) return searched;
  wchar_t folder[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return searched;
  return LoadQuietly(std::wstring(folder, length) + L"\\" + name, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

std::optional<void*> FunctionFromSystemLibrary(const Text& name, const char* function) {
  const std::wstring wide = Wide(name);
  if (wide.empty() || wide.find_first_of(L"\\/:") != std::wstring::npos) return std::nullopt;
  const Loaded loaded = LoadFromSystemFolder(wide);
  // Only a library the system lacks may come from elsewhere: one it has but cannot load (access
  // denied, an initialisation that fails) is a failure, not a reason to take another copy.
  if (loaded.library == nullptr && loaded.error == ERROR_MOD_NOT_FOUND) return std::nullopt;
  return TakeFunction(loaded.library, function);
}

void KeepLibrarySearchToSystemFolder() { ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32); }

void* FunctionFromLibraryFile(const Text& file, const char* function) {
  const std::wstring name = Wide(file);
  // A library loaded by its path finds the libraries it needs beside itself first.
  const bool path = name.find_first_of(L"\\/") != std::wstring::npos;
  return TakeFunction(LoadQuietly(name, path ? LOAD_WITH_ALTERED_SEARCH_PATH : 0).library, function);
}

// The system libraries stay loaded once loaded, whether or not they had the function: every
// windowed program keeps them anyway, and unloading user32 or gdi32 is never worth its risk.
void* FunctionFromSystemLibraries(const char* function) {
  for (const wchar_t* library : kSystemLibraries) {
    HMODULE module = ::GetModuleHandleW(library);
    if (module == nullptr) module = LoadQuietly(library, 0).library;
    if (module == nullptr) continue;
    if (void* address = reinterpret_cast<void*>(::GetProcAddress(module, function))) return address;
  }
  return nullptr;
}

}  // namespace kestrin
