// Reading and replacing the settings file as a whole. Backends: linux/ and windows/settings_file.cpp.
#pragma once

#include <string>
#include <string_view>

namespace kestrin {

enum class FileState { kRead, kMissing, kFailed };

struct FileContent {
  FileState state = FileState::kFailed;
  std::string bytes;  // the whole file when kRead
};

// The file at `path` (GBK on Windows), read whole; kMissing when there is no such file.
[[nodiscard]] FileContent ReadWholeFile(const std::string& path);

// Makes `content` the file's whole content, creating the file when missing. The new content is
// written beside the file and put in its place at once, so that a failure at any point leaves
// the old file whole and no stray file behind.
[[nodiscard]] bool ReplaceFileContent(const std::string& path, std::string_view content);

}  // namespace kestrin
