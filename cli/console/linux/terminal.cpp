#include "cli/console/terminal.h"

#include <langinfo.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <string_view>

#include "cli/console/messages.h"

namespace kestrin::cli {

bool IsTerminal(StandardStream stream) {
  const int fd = stream == StandardStream::kInput ? STDIN_FILENO
                 : stream == StandardStream::kOutput ? STDOUT_FILENO
                                                     : STDERR_FILENO;
  return isatty(fd) == 1;
}

bool GbkMessages() {
  // The tool otherwise runs in the "C" locale: only the codeset is asked, and put back.
  const char* previous = std::setlocale(LC_CTYPE, nullptr);
  const std::string kept = previous != nullptr ? previous : "C";
  if (std::setlocale(LC_CTYPE, "") != nullptr) {
    const bool known = GbkCodeset(nl_langinfo(CODESET));
    std::setlocale(LC_CTYPE, kept.c_str());
    return known;
  }
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') {
      return std::string_view(value).find('.') != std::string_view::npos && GbkCodeset(value);
    }
  }
  return false;
}

bool SystemLanguageChinese() { return false; }

ConsoleSession::ConsoleSession(int&, char**&) {}
ConsoleSession::~ConsoleSession() = default;

std::ptrdiff_t WriteStandardOutput(const char* data, std::size_t size) {
  for (;;) {
    const ssize_t n = write(STDOUT_FILENO, data, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

std::tm LocalTime(std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  return local;
}

}  // namespace kestrin::cli
