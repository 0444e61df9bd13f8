#include "cli/sources/files.h"

#include <fcntl.h>
#include <io.h>

#include <string_view>

#include "cli/console/messages.h"
#include "cli/console/windows/wide_text.h"
// windows.h first.
#include <aclapi.h>
#include <sddl.h>

namespace kestrin::cli {
namespace {

// DOMAIN\name of an account, or its S-1-… form when it has no name.
std::string AccountName(PSID sid) {
  wchar_t name[256], domain[256];
  DWORD nameSize = 256, domainSize = 256;
  SID_NAME_USE use;
  if (LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use) != 0) {
    return domainSize > 0 ? Utf8Of(domain) + "\\" + Utf8Of(name) : Utf8Of(name);
  }
  wchar_t* text = nullptr;
  if (ConvertSidToStringSidW(sid, &text) == 0) return "?";
  std::string out = Utf8Of(text);
  LocalFree(text);
  return out;
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
  BYTE known[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof known;
  return CreateWellKnownSid(type, nullptr, known, &size) != 0 && EqualSid(sid, known) != 0;
}

// The account the tool runs as: the owner of what it makes.
bool IsCurrentUser(PSID sid) {
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) == 0) return false;
  BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  const bool same = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) != 0 &&
                    EqualSid(sid, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid) != 0;
  CloseHandle(token);
  return same;
}

}  // namespace

int OpenToRead(const std::string& path) { return _wopen(Wide(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT); }

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ".";
  // "C:\" and "\" are roots; "C:\x" is in "C:\".
  return slash == 0 || (slash == 2 && path[1] == ':') ? path.substr(0, slash + 1) : path.substr(0, slash);
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Exists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

void MakePrivateFile(const std::string& path) {
  const std::wstring wide = Wide(path);
  // Past the drive ("C:\") or the share ("\\server\share\"), each level from the top down.
  std::size_t at = wide.find_first_of(L"\\/", wide.starts_with(L"\\\\") ? wide.find_first_of(L"\\/", 2) + 1 : 0);
  if (at == 0 || (at != std::wstring::npos && at > 0 && wide[at - 1] == L':')) at = wide.find_first_of(L"\\/", at + 1);
  for (; at != std::wstring::npos; at = wide.find_first_of(L"\\/", at + 1)) {
    if (CreateDirectoryW(wide.substr(0, at).c_str(), nullptr) == 0 && GetLastError() != ERROR_ALREADY_EXISTS) return;
  }
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

std::optional<std::string> SecretFileProblem(const std::string& path) {
  std::wstring wide = Wide(path);
  PSID owner = nullptr;
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES ||
      GetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            &owner, nullptr, &acl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  constexpr ACCESS_MASK kReadOrChange = FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA | WRITE_DAC |
                                        WRITE_OWNER | GENERIC_READ | GENERIC_WRITE | GENERIC_ALL;
  std::string others;
  if (acl == nullptr) {
    others = Tr("everyone", "所有人");  // no access list at all: nothing is kept from anyone
  } else {
    for (DWORD i = 0; i < acl->AceCount; ++i) {
      void* entry = nullptr;
      if (GetAce(acl, i, &entry) == 0) continue;
      const auto* header = static_cast<const ACE_HEADER*>(entry);
      // Denials are not weighed: a grant to another account is refused whatever else the list says.
      if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;
      const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
      const PSID sid = const_cast<DWORD*>(&allowed->SidStart);
      if ((allowed->Mask & kReadOrChange) == 0 || (owner != nullptr && EqualSid(sid, owner) != 0) ||
          IsCurrentUser(sid) || IsWellKnown(sid, WinLocalSystemSid) || IsWellKnown(sid, WinBuiltinAdministratorsSid)) {
        continue;
      }
      others += (others.empty() ? "" : ", ") + AccountName(sid);
    }
  }
  LocalFree(descriptor);
  if (others.empty()) return std::string();
  return Tr("too open: readable by {}: it holds tokens, so only its owner may read it "
            "(icacls \"{}\" /inheritance:r /grant:r %USERNAME%:F)",
            "权限过于开放：可被 {} 读取：文件中有令牌，只能由其所有者读取（icacls \"{}\" /inheritance:r /grant:r %USERNAME%:F）",
            {others, path});
}

}  // namespace kestrin::cli
