// The fuzz targets' runtime error: a crash that libFuzzer keeps, instead of a message box.
#include <cstdlib>

#include "runtime/runtime_error.h"

namespace kestrin {

void ReportRuntimeError(int, const Text&) { std::abort(); }
void ReportRuntimeError(int) { std::abort(); }

}  // namespace kestrin
