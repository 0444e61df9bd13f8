#include "cli/console/terminal.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string_view>
#include <vector>

#include "cli/console/windows/wide_text.h"
// windows.h first.
#include <shellapi.h>

namespace kestrin::cli {
namespace {

HANDLE HandleOf(StandardStream stream) {
  return GetStdHandle(stream == StandardStream::kInput    ? STD_INPUT_HANDLE
                      : stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE
                                                          : STD_ERROR_HANDLE);
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

// The length of the front of `bytes` that ends between two UTF-8 sequences: a sequence cut by
// the end of one write waits for the next.
std::size_t WholeSequences(std::string_view bytes) {
  const std::size_t size = bytes.size();
  for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
    const auto byte = static_cast<unsigned char>(bytes[size - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length > back ? size - back : size;
  }
  return size;
}

// UTF-16 in `codePage`; a character the code page lacks goes out as the %-escapes of its UTF-8
// bytes, so that an address in a message still reads as the same address.
std::string InCodePage(std::wstring_view wide, UINT codePage) {
  const auto convert = [codePage](std::wstring_view part, std::string& out) {
    BOOL lossy = FALSE;
    const int size = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, part.data(), static_cast<int>(part.size()),
                                         nullptr, 0, nullptr, &lossy);
    if (size <= 0 || lossy) return false;
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(size));
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, part.data(), static_cast<int>(part.size()), out.data() + at,
                        size, nullptr, nullptr);
    return true;
  };
  std::string out;
  if (wide.empty() || convert(wide, out)) return out;
  out.clear();
  for (std::size_t i = 0; i < wide.size();) {
    const std::size_t length = IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() ? 2 : 1;
    const std::wstring_view character = wide.substr(i, length);
    if (!convert(character, out)) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      for (const char byte : Utf8Of(character)) {
        out += '%';
        out += kHex[static_cast<unsigned char>(byte) >> 4];
        out += kHex[static_cast<unsigned char>(byte) & 15];
      }
    }
    i += length;
  }
  return out;
}

// A stream buffer that takes UTF-8 and writes it to a console as UTF-16, or to a file or pipe in
// the ANSI code page.
class ConsoleBuffer final : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE handle) : handle_(handle), console_(IsConsole(handle)) {}
  ~ConsoleBuffer() override { Flush(); }

  bool Write(std::string_view bytes) {
    pending_.append(bytes);
    return Flush();
  }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    pending_ += traits_type::to_char_type(c);
    if (c == '\n' || pending_.size() >= 4096) Flush();
    return c;
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    pending_.append(text, static_cast<std::size_t>(count));
    if (pending_.size() >= 4096 || std::memchr(text, '\n', static_cast<std::size_t>(count)) != nullptr) Flush();
    return count;
  }
  int sync() override { return Flush() ? 0 : -1; }

 private:
  bool Flush() {
    const std::size_t whole = WholeSequences(pending_);
    if (whole == 0) return true;
    const std::u16string utf16 = Utf8ToUtf16(std::string_view(pending_).substr(0, whole));
    pending_.erase(0, whole);
    const std::wstring_view wide(reinterpret_cast<const wchar_t*>(utf16.data()), utf16.size());
    bool good = true;
    if (console_) {
      for (std::size_t at = 0; good && at < wide.size();) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - at, 8192));
        good = WriteConsoleW(handle_, wide.data() + at, chunk, &written, nullptr) != 0 && written > 0;
        at += written;
      }
    } else {
      const std::string bytes = InCodePage(wide, GetACP());
      for (std::size_t at = 0; good && at < bytes.size();) {
        DWORD written = 0;
        good = WriteFile(handle_, bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &written, nullptr) != 0 &&
               written > 0;
        at += written;
      }
    }
    return good;
  }

  HANDLE handle_;
  bool console_;
  std::string pending_;
};

ConsoleBuffer* gOutput = nullptr;  // standard output's, when it is a console
std::streambuf* gKeptOutput = nullptr;
ConsoleBuffer* gError = nullptr;
std::streambuf* gKeptError = nullptr;

// The console shows the tool's status lines, which end with an escape that clears the line.
void AllowEscapes(HANDLE console) {
  DWORD mode = 0;
  if (GetConsoleMode(console, &mode) != 0) SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

}  // namespace

bool IsTerminal(StandardStream stream) { return IsConsole(HandleOf(stream)); }

bool GbkMessages() { return false; }

bool SystemLanguageChinese() { return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE; }

ConsoleSession::ConsoleSession(int& argc, char**& argv) {
  static std::vector<std::string> arguments;
  static std::vector<char*> pointers;
  int count = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count); wide != nullptr) {
    arguments.clear();
    for (int i = 0; i < count; ++i) arguments.push_back(Utf8Of(wide[i]));
    LocalFree(wide);
    pointers.clear();
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    argc = count;
    argv = pointers.data();
  }
  // Bytes in and out as they are: no CR LF for LF, no end of input at a Ctrl-Z.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  if (const HANDLE output = HandleOf(StandardStream::kOutput); IsConsole(output)) {
    AllowEscapes(output);
    std::cout.flush();
    gOutput = new ConsoleBuffer(output);
    gKeptOutput = std::cout.rdbuf(gOutput);
  }
  const HANDLE error = HandleOf(StandardStream::kError);
  if (error != nullptr && error != INVALID_HANDLE_VALUE) {
    AllowEscapes(error);
    gError = new ConsoleBuffer(error);
    gKeptError = std::cerr.rdbuf(gError);
  }
}

ConsoleSession::~ConsoleSession() {
  if (gOutput != nullptr) {
    std::cout.flush();
    std::cout.rdbuf(gKeptOutput);
    delete gOutput;
    gOutput = nullptr;
  }
  if (gError != nullptr) {
    std::cerr.flush();
    std::cerr.rdbuf(gKeptError);
    delete gError;
    gError = nullptr;
  }
}

std::ptrdiff_t WriteStandardOutput(const char* data, std::size_t size) {
  if (gOutput != nullptr) return gOutput->Write(std::string_view(data, size)) ? static_cast<std::ptrdiff_t>(size) : -1;
  return _write(_fileno(stdout), data, static_cast<unsigned>(size));
}

std::tm LocalTime(std::time_t time) {
  std::tm local{};
  localtime_s(&local, &time);
  return local;
}

}  // namespace kestrin::cli
