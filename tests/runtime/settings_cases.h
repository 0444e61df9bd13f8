// The settings tables, run against our settings code on every platform and, on Windows, against
// the system's own private-profile functions as well.
#pragma once

#include <optional>
#include <string>

#include "runtime/text.h"

namespace kestrin {

inline const char kProfile[] =
    "; written by hand\r\n"
    "[General]\r\n"
    "Name=Kestrin\r\n"
    "  Spaced Key  =   spaced value   \r\n"
    "Quoted=\"  inside  \"\r\n"
    "Half=\"x\r\n"
    "Empty=\r\n"
    "Equals=a=b\r\n"
    "\x81\x41=two-byte name\r\n"
    "\x80" "euro=one-byte euro sign\r\n"
    "\r\n"
    "[版]\r\n"
    "本=v1.1\r\n";

struct ReadCase {
  const char* name;
  const char* section;
  const char* key;
  const char* fallback;
  const char* expected;
};

inline const ReadCase kReadCases[] = {
    {"plain", "General", "Name", "d", "Kestrin"},
    {"names in another case", "GENERAL", "nAME", "d", "Kestrin"},
    {"blanks around name and value", "General", "Spaced Key", "", "spaced value"},
    {"double quotes dropped", "General", "Quoted", "", "  inside  "},
    {"unmatched quote kept", "General", "Half", "", "\"x"},
    {"present but empty is not the default", "General", "Empty", "d", ""},
    {"only the first equals sign splits", "General", "Equals", "", "a=b"},
    {"missing key gives the default", "General", "Missing", "d", "d"},
    {"key of spaces gives empty, not the default", "General", "   ", "d", ""},
    {"GBK section and key, blanks around", " 版 ", "本", "", "v1.1"},
    {"two-byte name matches itself", "General", "\x81\x41", "d", "two-byte name"},
    {"second byte of a two-byte name is not a letter", "General", "\x81\x61", "d", "d"},
    {"the euro sign is one byte: the letter after it folds", "General", "\x80" "Euro", "d", "one-byte euro sign"},
};

struct WriteCase {
  const char* name;
  std::optional<std::string> before;  // nothing: no file
  const char* section;
  std::optional<Text> key;
  std::optional<Text> value;
  bool written;
  std::optional<std::string> after;
};

inline const WriteCase kWriteCases[] = {
    {"creates a missing file", std::nullopt, "版", "本", "v1.1", true, "[版]\r\n本=v1.1\r\n"},
    {"replaces a value, names in any case", "[a]\r\nk=1\r\nother=2\r\n", "A", "K", "3", true,
     "[a]\r\nk=3\r\nother=2\r\n"},
    {"adds a key before the blank lines of its section", "[a]\r\nk=1\r\n\r\n[b]\r\nx=1\r\n", "a", "n", "v",
     true, "[a]\r\nk=1\r\nn=v\r\n\r\n[b]\r\nx=1\r\n"},
    {"adds a section at the end", "[a]\r\nk=1\r\n", "b", "k", "2", true, "[a]\r\nk=1\r\n[b]\r\nk=2\r\n"},
    {"writes CR LF line ends", "[a]\nk=1\nz=9", "a", "k", "2", true, "[a]\r\nk=2\r\nz=9\r\n"},
    {"keeps other bytes", "; 注释 \xFE\r\n[a]\r\n说明 = 中文 \r\n", "a", "k", "值", true,
     "; 注释 \xFE\r\n[a]\r\n说明 = 中文 \r\nk=值\r\n"},
    {"omitted key deletes the section", "[a]\r\nk=1\r\n[b]\r\nx=2\r\n[A]\r\nj=3\r\n", "a", std::nullopt,
     std::nullopt, true, "[b]\r\nx=2\r\n"},
    {"omitted value deletes the key", "[a]\r\nk=1\r\nj=2\r\n", "a", "K", std::nullopt, true, "[a]\r\nj=2\r\n"},
    {"deleting what is not there changes nothing", "[a]\nk=1", "b", std::nullopt, std::nullopt, true,
     "[a]\nk=1"},
    {"deleting from a missing file creates none", std::nullopt, "a", "k", std::nullopt, true, std::nullopt},
    {"a line break in the value is refused", "[a]\r\nk=1\r\n", "a", "k", "x\r\n[b]", false,
     "[a]\r\nk=1\r\n"},
};

}  // namespace kestrin
