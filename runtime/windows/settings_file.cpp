#include "runtime/windows/windows_api.h"

#include <algorithm>
#include <atomic>
#include <string>

#include "runtime/codepage.h"
#include "runtime/settings_file.h"

namespace kestrin {
namespace {

std::atomic<unsigned> g_temporaryCounter{0};

// The program's paths are GBK texts; the system is asked in UTF-16 so that the answer does not
// hang on the user's ANSI code page.
std::wstring WidePath(const std::string& path) {
  const std::u16string wide = GbkToUtf16(path);
  return std::wstring(wide.begin(), wide.end());
}

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() {
    if (Valid()) ::CloseHandle(handle_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  [[nodiscard]] bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  [[nodiscard]] HANDLE Get() const { return handle_; }
  // Closes now, so that the file can be moved; false when the close fails.
  bool Close() {
    const bool closed = ::CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

}  // namespace

FileContent ReadWholeFile(const std::string& path) {
  FileContent file;
  FileHandle handle(::CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle.Valid()) {
    const DWORD error = ::GetLastError();
    file.state = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileState::kMissing
                                                                                 : FileState::kFailed;
    return file;
  }
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(handle.Get(), buffer, sizeof buffer, &got, nullptr)) return file;
    if (got == 0) break;
    file.bytes.append(buffer, got);
  }
  file.state = FileState::kRead;
  return file;
}

// The new content is moved over the old file once it is safely on disk.
bool ReplaceFileContent(const std::string& path, std::string_view content) {
  const std::wstring target = WidePath(path);
  const DWORD oldAttributes = ::GetFileAttributesW(target.c_str());
  // Windows refuses to move a file over a read-only one, Wine does not: refuse here, on both.
  if (oldAttributes != INVALID_FILE_ATTRIBUTES && (oldAttributes & FILE_ATTRIBUTE_READONLY) != 0) return false;
  std::wstring temporary;
  HANDLE created = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = target + L".tmp" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(g_temporaryCounter++);
    created = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  FileHandle file(created);
  if (!file.Valid()) return false;
  bool ok = WriteAll(file.Get(), content) && ::FlushFileBuffers(file.Get());
  ok = file.Close() && ok;
  // A hidden or system settings file stays so.
  const DWORD kept = oldAttributes == INVALID_FILE_ATTRIBUTES ? 0 : oldAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  if (ok && kept != 0) ::SetFileAttributesW(temporary.c_str(), kept);
  if (!ok || !::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileW(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace kestrin
