#include "tests/cli/cli_process.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <utility>

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
  return {std::istreambuf_iterator<char>(file), {}};
}

std::string MakeFolder(const std::string& prefix) {
  std::random_device random;
  for (std::error_code failed; !failed;) {
    const auto path = std::filesystem::temp_directory_path(failed) / (prefix + std::to_string(random()));
    if (std::filesystem::create_directory(path, failed)) return path.string();
  }
  return {};
}

// One argument as the C runtime splits a command line: quoted, the backslashes before a quote doubled.
std::wstring Quoted(const std::wstring& argument) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'"') out.append(backslashes + 1, L'\\');
    backslashes = c == L'\\' ? backslashes + 1 : 0;
    out += c;
  }
  out.append(backslashes, L'\\');
  return out + L"\"";
}

HANDLE Inherited(const std::string& path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(Wide(path).c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &inherit, write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

// The build names the program by its path on the building machine, whose file system Wine shows as Z:.
std::string CliPath() {
  std::string path = KESTRIN_CLI_PATH;
  std::ranges::replace(path, '/', '\\');
  return path.starts_with('\\') ? "Z:" + path : path;
}

std::string NoPrivateFiles() {
  if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr) return {};
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
  std::ofstream(std::filesystem::path(Wide(path)), std::ios::binary | std::ios::trunc) << content;
  // Windows' temporary folder is its user's own; a mode that lets others read grants the
  // machine's users reading too.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PACL acl = nullptr;
  BOOL present = FALSE, defaulted = FALSE;
  if ((mode & 044) != 0 &&
      (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;FA;;;OW)(A;;FR;;;BU)", SDDL_REVISION_1,
                                                            &descriptor, nullptr) == 0 ||
       GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) == 0 ||
       SetNamedSecurityInfoW(Wide(path).data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, acl,
                             nullptr) != ERROR_SUCCESS)) {
    ADD_FAILURE() << "no access list for " << path;
  }
  LocalFree(descriptor);
  return path;
}

CliProcess::CliProcess(const CliCall& call) : timeoutMs_(call.timeoutMs), folder_(MakeFolder("kestrin-cli-run-")) {
  if (call.shell || call.terminal) return;  // no POSIX shell, no terminal: those rows are skipped here
  std::ofstream(std::filesystem::path(Wide(folder_ + "\\in")), std::ios::binary) << call.input;
  // The test's own environment without what would change the run: the locale (messages in
  // English unless a row asks), the proxies; the profile's folders in the run's own folder.
  std::map<std::wstring, std::wstring> env;
  wchar_t* const inherited = GetEnvironmentStringsW();
  for (const wchar_t* entry = inherited; *entry != L'\0'; entry += wcslen(entry) + 1) {
    const std::wstring text = entry;
    const auto equals = text.find(L'=', 1);
    std::wstring name = text.substr(0, equals);
    for (wchar_t& c : name) c = static_cast<wchar_t>(towupper(c));
    const bool dropped = equals == std::wstring::npos || name.starts_with(L"LC_") || name == L"LANG" ||
                         name == L"LANGUAGE" || name.ends_with(L"_PROXY");
    if (!dropped) env[name] = text.substr(equals + 1);
  }
  FreeEnvironmentStringsW(inherited);
  env[L"LANG"] = L"C";
  for (const wchar_t* name : {L"LOCALAPPDATA", L"APPDATA", L"USERPROFILE"}) env[name] = Wide(folder_);
  for (const auto& [name, value] : call.env) {
    const std::wstring key = name == "HOME" ? L"USERPROFILE" : Wide(name);
    if (value.empty()) {
      env.erase(key);  // a row without the variable
    } else {
      env[key] = Wide(value);
    }
  }
  std::wstring block;
  for (const auto& [name, value] : env) block += name + L"=" + value + L'\0';
  block += L'\0';

  std::wstring commandLine = Quoted(Wide(CliPath()));
  for (const std::string& arg : call.args) commandLine += L" " + Quoted(Wide(arg));

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = Inherited(folder_ + "\\in", false);
  startup.hStdOutput = Inherited(folder_ + "\\out", true);
  startup.hStdError = Inherited(folder_ + "\\err", true);
  PROCESS_INFORMATION started{};
  if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW,
                     block.data(), nullptr, &startup, &started) != 0) {
    CloseHandle(started.hThread);
    process_ = started.hProcess;
  }
  for (const HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
}

CliProcess::~CliProcess() {
  timeoutMs_ = 0;
  (void)Wait();  // with no time left, ends one not waited for
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(std::filesystem::path(Wide(folder_)), ignored);
}

CliRun CliProcess::Wait() {
  CliRun run;
  if (process_ == nullptr) return run;
  DWORD code = 0;
  const bool ended = WaitForSingleObject(process_, static_cast<DWORD>(timeoutMs_)) == WAIT_OBJECT_0;
  if (ended && GetExitCodeProcess(process_, &code) != 0) run.exitCode = static_cast<int>(code);
  TerminateProcess(process_, 137);  // one that outran its time; nothing to one that has ended
  WaitForSingleObject(process_, INFINITE);
  CloseHandle(std::exchange(process_, nullptr));
  run.out = ReadAll(folder_ + "\\out");
  run.err = ReadAll(folder_ + "\\err");
  return run;
}

CliRun RunCli(const CliCall& call) { return CliProcess(call).Wait(); }

}  // namespace kestrin::testsupport
