// A library named as one the system provides (wininet.dll, libcurl.so.4), which the tests plant
// beside a program. It exports the function the tests bind from that library, and once loaded it
// leaves the file "<its own path>.loaded", so that a test sees a load even if nothing was called.
#ifdef _WIN32
#include <windows.h>

#include <string>

extern "C" __declspec(dllexport) void* __stdcall InternetOpenA(const char*, unsigned long, const char*, const char*,
                                                               unsigned long) {
  return nullptr;
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void*) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  std::wstring path(MAX_PATH * 4, L'\0');
  path.resize(::GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size())));
  HANDLE mark = ::CreateFileW((path + L".loaded").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (mark != INVALID_HANDLE_VALUE) ::CloseHandle(mark);
  return TRUE;
}
#else
#include <dlfcn.h>

#include <cstdio>
#include <string>

extern "C" __attribute__((visibility("default"))) const char* curl_version() { return "planted"; }

__attribute__((constructor)) static void MarkLoaded() {
  Dl_info self{};
  if (dladdr(reinterpret_cast<void*>(&curl_version), &self) == 0 || self.dli_fname == nullptr) return;
  if (std::FILE* mark = std::fopen((std::string(self.dli_fname) + ".loaded").c_str(), "w")) std::fclose(mark);
}
#endif
