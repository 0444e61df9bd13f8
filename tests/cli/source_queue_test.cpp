#include "cli/sources/source_queue.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <sstream>

namespace kestrin::cli {
namespace {

// Whatever the room and however much is asked for at a time, everything read is handed over in
// order: addresses, entries that are none, and errors.
TEST(SourceQueue, ConcurrentReaderHandsOverEverythingReadInOrder) {
  std::string list;
  std::vector<std::string> addresses;
  for (int i = 0; i < 1000; ++i) {
    addresses.push_back("http://s.example/" + std::to_string(i));
    list += addresses.back() + "\n";
    if (i % 100 == 0) list += "bad" + std::to_string(i) + "\n";
  }
  const struct {
    const char* name;
    std::size_t capacity;
    std::size_t wanted;
  } cases[] = {
      {"room for all", 16384, 2000},
      {"less room than the reader hands over at once", 10, 2000},
      {"one at a time", 1, 1},
  };
  for (const auto& row : cases) {
    std::istringstream input(list);
    SourceQueue queue({"-", "/nonexistent/list.txt"}, SourceOptions{}, [](const std::string&) { return HttpReply{}; },
                      input, row.capacity);
    SourceAddresses read;
    while (queue.Take(row.wanted, read)) {
    }
    EXPECT_EQ(read.addresses, addresses) << row.name;
    EXPECT_EQ(read.invalid.size(), 10u) << row.name;
    EXPECT_EQ(read.errors.size(), 1u) << row.name;
  }

  // A queue left before its end lets the reader finish instead of waiting for room for ever.
  std::istringstream input(list);
  SourceQueue abandoned({"-"}, SourceOptions{}, [](const std::string&) { return HttpReply{}; }, input, 1);
  SourceAddresses first;
  EXPECT_TRUE(abandoned.Take(1, first));
}

// A pipe that is never closed: the line, then nothing more until the writer lets go.
class OpenPipe : public std::streambuf {
 public:
  void Close() {
    const std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
  }
  void WaitForTheReader() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return waiting_; });
  }

 protected:
  int_type underflow() override {
    if (!given_) {
      given_ = true;
      setg(line_.data(), line_.data(), line_.data() + line_.size());
      return traits_type::to_int_type(line_[0]);
    }
    std::unique_lock lock(mutex_);
    waiting_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return closed_; });
    return traits_type::eof();
  }

 private:
  std::string line_ = "http://s.example/1\n";
  bool given_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool closed_ = false;
  bool waiting_ = false;
};

// A run that ends on an error while a pipe stays open ends all the same: at once when it has no
// deadline.
TEST(SourceQueue, LeftWhileAPipeStaysOpenItHoldsNothing) {
  static OpenPipe pipe;  // the reader left behind reads it until the end of the test
  static std::istream input(&pipe);
  auto left = std::async(std::launch::async, [] {
    const SourceQueue queue({"-"}, SourceOptions{}, [](const std::string&) { return HttpReply{}; }, input);
    pipe.WaitForTheReader();
  });
  const bool ended = left.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  pipe.Close();
  EXPECT_TRUE(ended) << "the queue waited for a pipe nobody closes";
}

}  // namespace
}  // namespace kestrin::cli
