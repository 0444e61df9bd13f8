#include "runtime/runtime_error.h"

#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <new>
#include <string>

#include "runtime/codepage.h"
#include "runtime/events.h"

namespace kestrin {
namespace {

std::atomic<ErrorBoxHook> g_errorBoxHook{nullptr};
std::atomic<bool> g_reportClaimed{false};

// Kept back while memory lasts, so that the out-of-memory report has room to build its text.
std::atomic<void*> g_reserve{nullptr};
constexpr std::size_t kReserveBytes = 256 * 1024;

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

[[noreturn]] void EndProcess() {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  std::_Exit(-1);
}

void ReportOutOfMemory();

}  // namespace

Text RuntimeErrorText(int code, const Text& message) {
  Text text = "运行时出错!\r\n\r\n";
  if (code != 0) text += "错误代码：" + std::to_string(code) + "\r\n\r\n";
  if (!message.empty()) text += "错误信息：" + message + "\r\n";
  return text;
}

void ReportRuntimeError(int code, const Text& message) {
  // A fault inside the report itself (the box, the conversion) must not loop or deadlock.
  thread_local bool reportingHere = false;
  if (reportingHere) {
    WriteAll(STDERR_FILENO, "runtime error while reporting a runtime error\n");
    EndProcess();
  }
  reportingHere = true;

  // Only the first report is shown; a thread failing alongside waits for the process to end.
  // It keeps letting window events through: when it is the window thread, the first report's box
  // may be queued to it by a worker, and would otherwise never be shown.
  if (g_reportClaimed.exchange(true)) {
    for (;;) {
      ProcessPendingEvents();
      ::usleep(10000);
    }
  }

  const Text text = RuntimeErrorText(code, message);
  if (ErrorBoxHook hook = g_errorBoxHook.load()) {
    hook(text);
  } else {
    WriteAll(STDERR_FILENO, GbkToUtf8(text));
  }
  EndProcess();
}

void ReportRuntimeError(int code) {
  switch (code) {
    case 1:
      ReportRuntimeError(code, "数组成员引用下标超出定义范围");
    case 4:
      ReportRuntimeError(code, "数组成员引用下标必须大于等于1");
    default:
      ReportRuntimeError(code, Text());
  }
}

void SetErrorBoxHook(ErrorBoxHook hook) { g_errorBoxHook.store(hook); }

void InstallOutOfMemoryReport() {
  if (g_reserve.load() == nullptr) {
    void* reserve = std::malloc(kReserveBytes);
    void* expected = nullptr;
    if (!g_reserve.compare_exchange_strong(expected, reserve)) std::free(reserve);
  }
  std::set_new_handler(ReportOutOfMemory);
}

namespace {

// The size of the request that failed, handed from operator new to the handler on its thread.
thread_local std::size_t t_failedRequest = 0;

void ReportOutOfMemory() {
  std::free(g_reserve.exchange(nullptr));
  ReportRuntimeError(0, "分配 " + std::to_string(t_failedRequest) + " 字节内存失败!");
}

// Allocation with the standard retry loop; it records the size so the handler can name it.
void* Allocate(std::size_t size, std::size_t alignment) {
  if (size == 0) size = 1;
  for (;;) {
    void* block = nullptr;
    if (alignment <= alignof(std::max_align_t)) {
      block = std::malloc(size);
    } else if (::posix_memalign(&block, alignment, size) != 0) {
      block = nullptr;
    }
    if (block != nullptr) return block;
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    t_failedRequest = size;
    handler();
  }
}

void* AllocateNoThrow(std::size_t size, std::size_t alignment) noexcept {
  try {
    return Allocate(size, alignment);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace
}  // namespace kestrin

// The global allocation functions are replaced so that a failed request's size is known to the
// report. Every form allocates with malloc/posix_memalign and releases with free, so any new may
// meet any delete, and the sanitizers still see every block through malloc and free.
namespace {
constexpr std::size_t kPlain = alignof(std::max_align_t);
inline std::size_t Align(std::align_val_t alignment) { return static_cast<std::size_t>(alignment); }
}  // namespace

void* operator new(std::size_t size) { return kestrin::Allocate(size, kPlain); }
void* operator new[](std::size_t size) { return kestrin::Allocate(size, kPlain); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return kestrin::AllocateNoThrow(size, kPlain);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return kestrin::AllocateNoThrow(size, kPlain);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  return kestrin::Allocate(size, Align(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return kestrin::Allocate(size, Align(alignment));
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return kestrin::AllocateNoThrow(size, Align(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return kestrin::AllocateNoThrow(size, Align(alignment));
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { std::free(block); }
