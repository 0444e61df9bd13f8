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

// A library the system provides, and the tests' own library of that name that the build plants
// beside the test program (tests/runtime/planted_library): a function the plant exports too.
struct PlantedSystemLibrary {
  const char* name;
  const char* function;
  bool (*isTheSystems)(void* address);  // whether the address lies in the system's own copy
};
[[nodiscard]] PlantedSystemLibrary PlantedBesideProgram();

}  // namespace kestrin
