// Fatal error reporting: one message box captioned "错误", then exit code -1.
#pragma once

#include <cstddef>

#include "runtime/text.h"

namespace kestrin {

// The report text: "运行时出错!" CR LF CR LF, then "错误代码：" code CR LF CR LF when code != 0,
// then "错误信息：" message CR LF when the message is not empty.
[[nodiscard]] Text RuntimeErrorText(int code, const Text& message);

// Shows the report and ends the process with exit code -1. Codes 1 and 4 carry their own
// messages when called with the code alone.
[[noreturn]] void ReportRuntimeError(int code, const Text& message);
[[noreturn]] void ReportRuntimeError(int code);

// How the report is shown. The window framework installs a message box here once it runs;
// without one the text goes to standard error as UTF-8. The hook returns when the box closes.
using ErrorBoxHook = void (*)(const Text& text);
void SetErrorBoxHook(ErrorBoxHook hook);

// Makes memory exhaustion a runtime error ("分配 %d 字节内存失败!"); see runtime/allocation.h.
void InstallOutOfMemoryReport();

// For the allocation functions: keeps back room for the box of an out-of-memory report.
void KeepOutOfMemoryReserve();
// For the allocation functions: reports that `size` bytes could not be had, building the report
// without memory. When a box is installed it is shown from the reserve; when that fails too,
// or there is no box, the report goes to standard error. Exits with -1.
[[noreturn]] void ReportOutOfMemory(std::size_t size);

}  // namespace kestrin
