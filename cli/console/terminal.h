// The tool's console on each platform (linux/, windows/terminal.cpp): whether a standard stream
// is a terminal, which character set messages are written in, and the local time.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

namespace kestrin::cli {

enum class StandardStream { kInput, kOutput, kError };

// Whether the stream is a terminal (on Windows a console) rather than a file or a pipe.
[[nodiscard]] bool IsTerminal(StandardStream stream);

// Whether messages go out in GBK rather than UTF-8. On Linux the terminal's character set: the
// locale's codeset when the system knows the locale, else the ".CODESET" part of the first of
// LC_ALL, LC_CTYPE and LANG that is set. On Windows never: the text is UTF-8 inside, and the
// console session writes it as the console or the ANSI code page wants it.
[[nodiscard]] bool GbkMessages();

// Whether the system asks for Chinese when no locale variable says: never on Linux; on Windows
// when the user's display language is Chinese.
[[nodiscard]] bool SystemLanguageChinese();

// The arguments and the standard streams of one run. On Linux nothing changes. On Windows the
// arguments become UTF-8 (from the wide command line, whatever the ANSI code page); input and
// output are binary; a console is written through the wide console functions, so that every
// character shows, and standard error, when redirected, in the ANSI code page (GBK on a Chinese
// Windows), where a character that code page lacks goes out %-escaped, as in an address.
// Standard output, when redirected, stays UTF-8 as on Linux: it is data for the next command.
class ConsoleSession {
 public:
  ConsoleSession(int& argc, char**& argv);
  ~ConsoleSession();
  ConsoleSession(const ConsoleSession&) = delete;
  ConsoleSession& operator=(const ConsoleSession&) = delete;
};

// `time` in the machine's local time.
[[nodiscard]] std::tm LocalTime(std::time_t time);

// Writes bytes to standard output unbuffered, past std::cout: the count written, or -1.
[[nodiscard]] std::ptrdiff_t WriteStandardOutput(const char* data, std::size_t size);

}  // namespace kestrin::cli
