#include "runtime/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <semaphore>
#include <thread>

namespace kestrin {
namespace {

// Function-pointer routines report here: the sum of their parameters and one release each.
std::atomic<int> g_parameterSum{0};
std::counting_semaphore<1000> g_finished{0};

void AddParameter(int parameter) {
  g_parameterSum += parameter;
  g_finished.release();
}

// Waits for `count` routines; false if they do not all finish within a generous time.
bool AwaitFinished(int count) {
  for (int i = 0; i < count; ++i) {
    if (!g_finished.try_acquire_for(std::chrono::seconds(30))) return false;
  }
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
