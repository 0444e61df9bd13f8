#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>

#include "runtime/run_directory.h"
#include "tests/runtime/library_cases.h"

namespace kestrin {
namespace {

using StrlenFn = std::size_t (*)(const char*);
using CosFn = double (*)(double);

bool WorksAsStrlen(void* address) { return reinterpret_cast<StrlenFn>(address)("abcd") == 4; }
bool WorksAsCos(void* address) { return reinterpret_cast<CosFn>(address)(0.0) == 1.0; }

// curl_version of the system's libcurl, not of a file in the program's folder.
bool IsTheSystemsCurlVersion(void* address) {
  Dl_info where{};
  if (dladdr(address, &where) == 0 || where.dli_fname == nullptr) return false;
  const std::string text = reinterpret_cast<const char* (*)()>(address)();
  return std::filesystem::path(where.dli_fname).parent_path() != std::filesystem::path(RunDirectory()) &&
         text.rfind("libcurl/", 0) == 0;
}

const BindCase kBindCases[] = {
    {"named C library", "libc.so.6", "strlen", WorksAsStrlen},
    {"named maths library", "libm.so.6", "cos", WorksAsCos},
    {"unnamed, already loaded", nullptr, "strlen", WorksAsStrlen},
    {"empty name counts as unnamed", "", "cos", WorksAsCos},
};

const FailureCase kFailureCases[] = {
    {"function missing from a real library", "libc.so.6", "KestrinNoSuchFunction",
     u8"运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件“libc.so.6”中的输出命令“KestrinNoSuchFunction”\r\n"},
    {"library that does not exist", "libkestrin-missing.so.9", "strlen",
     u8"运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件“libkestrin-missing.so.9”中的输出命令“strlen”\r\n"},
    {"unnamed function found nowhere", nullptr, "KestrinNoSuchFunction",
     u8"运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件中的输出命令“KestrinNoSuchFunction”\r\n"},
};

}  // namespace

std::span<const BindCase> BindCases() { return kBindCases; }
std::span<const FailureCase> FailureCases() { return kFailureCases; }

LibraryBesideProgram PlaceLibraryBesideProgram() {
  const std::string name = "libkestrin-probe-" + std::to_string(::getpid()) + ".so";
  std::filesystem::copy_file("/lib/x86_64-linux-gnu/libm.so.6", std::filesystem::path(RunDirectory()) / name,
                             std::filesystem::copy_options::overwrite_existing);
  return {name, "cos", WorksAsCos, true};
}

// The development link libm.so is a linker script, which the loader refuses.
const PlantedSystemLibrary kPlanted[] = {
    {"libcurl.so.4", "curl_version", IsTheSystemsCurlVersion},
    {"libm.so", "curl_version", nullptr},
};

std::span<const PlantedSystemLibrary> PlantedBesideProgram() { return kPlanted; }

}  // namespace kestrin
