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

// Whether `path` names a folder.
[[nodiscard]] bool IsFolder(const std::string& path);

// Makes the folders above the file `path` that are missing, readable by the user alone (on
// Windows they take the parent's access list: %LOCALAPPDATA% is the user's own). Failures are
// left to the open that follows, which tells why.
void MakeParentFolders(const std::string& path);

// Why the file `path`, which holds secrets, is open to others: on Linux a mode that lets anyone
// but its owner read or write it (PermissionProblem); on Windows an access list that lets anyone
// but its owner, SYSTEM and the Administrators read or change it. Empty when it is private;
// nothing when the file cannot be looked at.
[[nodiscard]] std::optional<std::string> SecretFileProblem(const std::string& path);

}  // namespace kestrin::cli
