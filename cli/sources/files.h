// The files a user names, on each platform (linux/, windows/files.cpp). Their names are UTF-8 on
// both; Windows opens them through its wide functions, so any name works whatever its ANSI code
// page.
#pragma once

#include <optional>
#include <string>

namespace kestrin::cli {

// A descriptor for read()/close(), reading bytes as they are; -1 with errno set on failure.
[[nodiscard]] int OpenToRead(const std::string& path);

// The folder `path` is in: "." for a bare name, the root for a file at the root.
[[nodiscard]] std::string FolderOf(const std::string& path);

// Whether `path` names a folder; whether anything is there.
[[nodiscard]] bool IsFolder(const std::string& path);
[[nodiscard]] bool Exists(const std::string& path);

// Makes the file `path` and its missing folders when they are not there, readable by the user
// alone: on Linux mode 0600 (SQLite gives its journals the file's own); on Windows they take
// their folder's access list, %LOCALAPPDATA% being the user's own. Failures are left to the open
// that follows, which tells why.
void MakePrivateFile(const std::string& path);

// Why the file `path`, which holds secrets, is open to others: on Linux a mode that lets anyone
// but its owner read or write it (PermissionProblem); on Windows an access list that lets anyone
// but its owner, SYSTEM and the Administrators read or change it. Empty when it is private;
// nothing when the file cannot be looked at.
[[nodiscard]] std::optional<std::string> SecretFileProblem(const std::string& path);

}  // namespace kestrin::cli
