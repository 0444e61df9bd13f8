#include "runtime/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace kestrin {
namespace {

// Function-pointer routines report here: the sum of their parameters and a count of those
// finished. A mutex and condition variable rather than std::counting_semaphore, whose timed
// wait in the mingw-w64 library can miss a release under Wine, as its std::latch does.
std::atomic<int> g_parameterSum{0};
std::mutex g_finishedLock;
std::condition_variable g_finishedChanged;
int g_finished = 0;

void AddParameter(int parameter) {
  g_parameterSum += parameter;
  std::lock_guard<std::mutex> lock(g_finishedLock);
  ++g_finished;
  g_finishedChanged.notify_all();
}

// Waits for `count` routines, consuming them; false if they do not all finish within a
// generous time.
bool AwaitFinished(int count) {
  std::unique_lock<std::mutex> lock(g_finishedLock);
  if (!g_finishedChanged.wait_for(lock, std::chrono::seconds(30),
                                  [count] { return g_finished >= count; })) {
    return false;
  }
  g_finished -= count;
  return true;
}

TEST(ConcurrentStartThreadTest, RoutineWithoutParameterRunsOnAnotherThread) {
  std::promise<std::thread::id> ran;
  std::future<std::thread::id> ranOn = ran.get_future();
  ASSERT_TRUE(StartThread([&ran] { ran.set_value(std::this_thread::get_id()); }));
  ASSERT_EQ(ranOn.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_NE(ranOn.get(), std::this_thread::get_id());
}

TEST(ConcurrentStartThreadTest, OverlappingThreadsAllGetTheirParameter) {
  constexpr int kThreads = 64;
  g_parameterSum = 0;
  for (int i = 1; i <= kThreads; ++i) ASSERT_TRUE(StartThread(AddParameter, i));
  ASSERT_TRUE(AwaitFinished(kThreads));
  EXPECT_EQ(g_parameterSum.load(), kThreads * (kThreads + 1) / 2);
}

// Storing a second thread in a variable that still holds one must not end the process.
TEST(ConcurrentStartThreadTest, HandleFormKeepsAJoinableThreadAndMayBeReused) {
  g_parameterSum = 0;
  std::thread handle;
  ASSERT_TRUE(StartThread(AddParameter, 1, handle));
  ASSERT_TRUE(StartThread(AddParameter, 10, handle));
  ASSERT_TRUE(handle.joinable());
  handle.join();
  ASSERT_TRUE(AwaitFinished(2));
  EXPECT_EQ(g_parameterSum.load(), 11);
}

TEST(ConcurrentStartThreadTest, NothingToRunIsNotStarted) {
  std::thread handle;
  EXPECT_FALSE(StartThread(std::function<void()>()));
  EXPECT_FALSE(StartThread(nullptr, 1));
  EXPECT_FALSE(StartThread(nullptr, 1, handle));
  EXPECT_FALSE(handle.joinable());
}

}  // namespace
}  // namespace kestrin
