#include "runtime/windows/windows_api.h"

#include "tests/runtime/library_cases.h"

namespace kestrin {
namespace {

// The address the system itself gives for the function.
template <const wchar_t* kLibrary, const char* kFunction>
bool IsTheSystemsOwn(void* address) {
  HMODULE library = ::LoadLibraryW(kLibrary);
  const bool same = library != nullptr && reinterpret_cast<void*>(::GetProcAddress(library, kFunction)) == address;
  if (library != nullptr) ::FreeLibrary(library);
  return same;
}

constexpr wchar_t kKernel32[] = L"kernel32.dll";
constexpr wchar_t kShlwapi[] = L"shlwapi.dll";
constexpr wchar_t kMpr[] = L"mpr.dll";
constexpr wchar_t kShell32[] = L"shell32.dll";
constexpr char kGetTickCount[] = "GetTickCount";
constexpr char kStrStrIA[] = "StrStrIA";
constexpr char kMultiByteToWideChar[] = "MultiByteToWideChar";
constexpr char kWNetGetConnectionA[] = "WNetGetConnectionA";
constexpr char kShellExecuteA[] = "ShellExecuteA";

bool WorksAsStrStrIA(void* address) {
  using Fn = char*(WINAPI*)(const char*, const char*);
  const char* text = "abcd";
  return reinterpret_cast<Fn>(address)(text, "BC") == text + 1;
}

// An address inside a library of the system folder.
bool IsInTheSystemFolder(void* address) {
  HMODULE library = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &library)) {
    return false;
  }
  wchar_t file[MAX_PATH] = {};
  wchar_t folder[MAX_PATH] = {};
  const DWORD fileLength = ::GetModuleFileNameW(library, file, MAX_PATH);
  const UINT folderLength = ::GetSystemDirectoryW(folder, MAX_PATH);
  return folderLength > 0 && fileLength > folderLength && file[folderLength] == L'\\' &&
         ::CompareStringOrdinal(file, static_cast<int>(folderLength), folder, static_cast<int>(folderLength), TRUE) ==
             CSTR_EQUAL;
}

bool WorksAsProbe(void* address) { return reinterpret_cast<int (*)()>(address)() == 936; }

const BindCase kBindCases[] = {
    {"named system library", "kernel32.dll", "GetTickCount", IsTheSystemsOwn<kKernel32, kGetTickCount>},
    {"named library loaded on demand", "shlwapi.dll", "StrStrIA", WorksAsStrStrIA},
    {"unnamed, in the first library of the list", nullptr, "MultiByteToWideChar",
     IsTheSystemsOwn<kKernel32, kMultiByteToWideChar>},
    {"unnamed, in the fifth", nullptr, "WNetGetConnectionA", IsTheSystemsOwn<kMpr, kWNetGetConnectionA>},
    {"empty name, in the last", "", "ShellExecuteA", IsTheSystemsOwn<kShell32, kShellExecuteA>},
};

const FailureCase kFailureCases[] = {
    {"function missing from a real library", "kernel32.dll", "KestrinNoSuchFunction",
     u8"运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件“kernel32.dll”中的输出命令“KestrinNoSuchFunction”\r\n"},
    {"library that does not exist", "kestrin-missing.dll", "GetTickCount",
     u8"运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件“kestrin-missing.dll”中的输出命令“GetTickCount”\r\n"},
    {"unnamed function found nowhere", nullptr, "KestrinNoSuchFunction",
     u8"运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件中的输出命令“KestrinNoSuchFunction”\r\n"},
};

}  // namespace

std::span<const BindCase> BindCases() { return kBindCases; }
std::span<const FailureCase> FailureCases() { return kFailureCases; }

// Built beside the test program (tests/runtime/CMakeLists.txt).
LibraryBesideProgram PlaceLibraryBesideProgram() { return {"kestrin_probe_library.dll", "KestrinProbe", WorksAsProbe, false}; }

// Tests run with Wine told to prefer a wininet.dll beside the program, as Windows does
// (scripts/wine.sh). The system folder's l_intl.nls is a table, not a library the loader takes.
const PlantedSystemLibrary kPlanted[] = {
    {"wininet.dll", "InternetOpenA", IsInTheSystemFolder},
    {"l_intl.nls", "InternetOpenA", nullptr},
};

std::span<const PlantedSystemLibrary> PlantedBesideProgram() { return kPlanted; }

}  // namespace kestrin
