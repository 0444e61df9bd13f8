// Lets a number of threads start their work at the same moment. (std::latch of the mingw-w64
// libstdc++ can miss its wake-up under Wine and leave a thread waiting for ever.)
#pragma once

#include <atomic>
#include <thread>

namespace kestrin {

class StartGate {
 public:
  explicit StartGate(int threads) : threads_(threads) {}
  void ArriveAndWait() {
    ++arrived_;
    while (arrived_.load() < threads_) std::this_thread::yield();
  }

 private:
  const int threads_;
  std::atomic<int> arrived_{0};
};

}  // namespace kestrin
