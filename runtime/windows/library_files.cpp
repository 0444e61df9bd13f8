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

// A missing file is an answer here, not a box for the user.
HMODULE LoadQuietly(const std::wstring& file, DWORD flags) {
  DWORD previous = 0;
  ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
  HMODULE library = ::LoadLibraryExW(file.c_str(), nullptr, flags);
  ::SetThreadErrorMode(previous, nullptr);
  return library;
}

}  // namespace

void* FunctionFromLibraryFile(const Text& file, const char* function) {
  const std::u16string name16 = GbkToUtf16(file);
  const std::wstring name(name16.begin(), name16.end());
  // A library loaded by its path finds the libraries it needs beside itself first.
  const bool path = name.find_first_of(L"\\/") != std::wstring::npos;
  return TakeFunction(LoadQuietly(name, path ? LOAD_WITH_ALTERED_SEARCH_PATH : 0), function);
}

// The system libraries stay loaded once loaded, whether or not they had the function: every
// windowed program keeps them anyway, and unloading user32 or gdi32 is never worth its risk.
void* FunctionFromSystemLibraries(const char* function) {
  for (const wchar_t* library : kSystemLibraries) {
    HMODULE module = ::GetModuleHandleW(library);
    if (module == nullptr) module = LoadQuietly(library, 0);
    if (module == nullptr) continue;
    if (void* address = reinterpret_cast<void*>(::GetProcAddress(module, function))) return address;
  }
  return nullptr;
}

}  // namespace kestrin
