#include "tests/cli/cli_process.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "cli/console/windows/wide_text.h"
// windows.h first.
#include <aclapi.h>
#include <sddl.h>
#include <gtest/gtest.h>

namespace kestrin::testsupport {
namespace {

using cli::Wide;

std::string ReadAll(const std::string& path) {
  std::ifstream file(std::filesystem::path(Wide(path)), std::ios::binary);
  std::ostringstream out;
  out << file.rdbuf();
  return out.str();
}

// A fresh folder in the temporary folder, named `prefix` and a random number.
std::string MakeFolder(const char* prefix) {
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring path = std::wstring(temp, length) + Wide(prefix) + std::to_wstring(random());
    if (CreateDirectoryW(path.c_str(), nullptr) != 0) return std::filesystem::path(path).string();
  }
  return {};
}

// One argument as the C runtime splits a command line: quoted, with the backslashes before a
// quote doubled.
std::wstring Quoted(const std::wstring& argument) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

HANDLE Inherited(const std::string& path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(Wide(path).c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &inherit, write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

// The build names the program by its path on the machine that builds it; Wine sees that file
// system as drive Z:.
std::string CliPath() {
  std::string path = KESTRIN_CLI_PATH;
  if (path.starts_with('/')) {
    for (char& c : path) c = c == '/' ? '\\' : c;
    path = "Z:" + path;
  }
  return path;
}

std::string NoPrivateFiles() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return {};
  return "Wine grants Everyone read in every file's access list and keeps none a program sets";
}

std::string AsLogged(const std::string& text) {
  const std::wstring wide = Wide(text);
  const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(std::max(size, 0)), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size, nullptr, nullptr);
  return out;
}

TempFolder::TempFolder() : path_(MakeFolder("kestrin-cli-test-")) {}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(std::filesystem::path(Wide(path_)), ignored);
}

std::string TempFolder::Write(const std::string& name, const std::string& content, unsigned mode) const {
  const std::string path = path_ + "\\" + name;
  {
    std::ofstream file(std::filesystem::path(Wide(path)), std::ios::binary | std::ios::trunc);
    file << content;
  }
  // Windows' temporary folder is its user's own; a mode that lets others read grants the
  // machine's users reading too.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PACL acl = nullptr;
  BOOL present = FALSE, defaulted = FALSE;
  std::wstring wide = Wide(path);
  if ((mode & 044) != 0 &&
      (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;FA;;;OW)(A;;FR;;;BU)", SDDL_REVISION_1,
                                                            &descriptor, nullptr) == 0 ||
       GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) == 0 ||
       SetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, acl,
                             nullptr) != ERROR_SUCCESS)) {
    ADD_FAILURE() << "no access list for " << path;
  }
  LocalFree(descriptor);
  return path;
}

CliProcess::CliProcess(const CliCall& call) : timeoutMs_(call.timeoutMs), folder_(MakeFolder("kestrin-cli-run-")) {
  if (call.shell || call.terminal) return;  // no POSIX shell, no terminal: those rows are skipped here
  {
    std::ofstream input(std::filesystem::path(Wide(folder_ + "\\in")), std::ios::binary);
    input << call.input;
  }
  // The test's own environment without what would change the run: the locale (messages in
  // English unless a row asks), the proxies; the profile's folders in the run's own folder.
  std::map<std::wstring, std::wstring> env;
  if (wchar_t* block = GetEnvironmentStringsW(); block != nullptr) {
    for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
      const std::wstring text = entry;
      const auto equals = text.find(L'=', 1);
      if (equals == std::wstring::npos) continue;
      std::wstring name = text.substr(0, equals);
      for (wchar_t& c : name) c = static_cast<wchar_t>(towupper(c));
      if (name.starts_with(L"LC_") || name == L"LANG" || name == L"LANGUAGE" || name.ends_with(L"_PROXY")) continue;
      env[name] = text.substr(equals + 1);
    }
    FreeEnvironmentStringsW(block);
  }
  env[L"LANG"] = L"C";
  env[L"LOCALAPPDATA"] = Wide(folder_);
  env[L"APPDATA"] = Wide(folder_);
  env[L"USERPROFILE"] = Wide(folder_);
  for (const auto& [name, value] : call.env) {
    if (value.empty()) {
      env.erase(Wide(name));  // a row without the variable
    } else {
      env[name == "HOME" ? L"USERPROFILE" : Wide(name)] = Wide(value);
    }
  }
  std::wstring block;
  for (const auto& [name, value] : env) block += name + L"=" + value + L'\0';
  block += L'\0';

  std::wstring commandLine = Quoted(Wide(CliPath()));
  for (const std::string& arg : call.args) commandLine += L" " + Quoted(Wide(arg));

  const HANDLE in = Inherited(folder_ + "\\in", false);
  const HANDLE out = Inherited(folder_ + "\\out", true);
  const HANDLE err = Inherited(folder_ + "\\err", true);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION started{};
  if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW,
                     block.data(), nullptr, &startup, &started) != 0) {
    CloseHandle(started.hThread);
    process_ = started.hProcess;
  }
  for (const HANDLE handle : {in, out, err}) {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
}

CliProcess::~CliProcess() {
  if (process_ != nullptr) {
    TerminateProcess(process_, 137);
    WaitForSingleObject(process_, INFINITE);
    CloseHandle(process_);
  }
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(std::filesystem::path(Wide(folder_)), ignored);
}

CliRun CliProcess::Wait() {
  CliRun run;
  if (process_ == nullptr) return run;
  if (WaitForSingleObject(process_, static_cast<DWORD>(timeoutMs_)) != WAIT_OBJECT_0) {
    TerminateProcess(process_, 137);
    WaitForSingleObject(process_, INFINITE);
  } else {
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    run.exitCode = static_cast<int>(code);
  }
  CloseHandle(process_);
  process_ = nullptr;
  run.out = ReadAll(folder_ + "\\out");
  run.err = ReadAll(folder_ + "\\err");
  return run;
}

CliRun RunCli(const CliCall& call) { return CliProcess(call).Wait(); }

}  // namespace kestrin::testsupport
