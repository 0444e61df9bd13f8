// The libraries each platform's declared-function tests bind from.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace kestrin {

struct BindCase {
  const char* name;
  const char* library;  // nullptr or "" for the system's fixed list
  const char* function;
  bool (*works)(void* address);  // whether the bound address is the function named
};

struct FailureCase {
  const char* name;
  const char* library;
  const char* function;
  std::u8string_view report;  // how standard error ends
};

// Named libraries, unnamed entries found early and late in the fixed list, an empty name.
[[nodiscard]] std::span<const BindCase> BindCases();
[[nodiscard]] std::span<const FailureCase> FailureCases();

// A library that only the program's directory holds, and a function of it.
struct LibraryBesideProgram {
  std::string name;
  const char* function;
  bool (*works)(void* address);
  bool removeAfterwards;  // a copy made for the test
};
[[nodiscard]] LibraryBesideProgram PlaceLibraryBesideProgram();

// Libraries the system provides, and the tests' own library of each name beside the test program:
// the build plants the first row's (tests/runtime/planted_library), the test copies it for the
// others. The function is one the plant exports too.
struct PlantedSystemLibrary {
  const char* name;
  const char* function;
  // Whether the address lies in the system's own copy; nullptr where the system's copy exists but
  // cannot be loaded, so that binding is a fatal error.
  bool (*isTheSystems)(void* address);
};
[[nodiscard]] std::span<const PlantedSystemLibrary> PlantedBesideProgram();

}  // namespace kestrin
