// The sources of one site read on a thread of their own and handed over as they come, so that a
// push can send its first batches while later sitemaps are still being fetched.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <istream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/sources/sources.h"

namespace kestrin::cli {

class SourceQueue {
 public:
  // Starts reading `sources` as ReadSources does; about `capacity` addresses at most wait to be
  // taken, the reader waiting for room beyond that.
  SourceQueue(std::vector<std::string> sources, const SourceOptions& options, Fetch fetch, std::istream& input,
              std::size_t capacity = 16384);
  // Lets the reader finish the sources without keeping what it reads, and waits for it while the
  // run's deadline allows (not at all without one): a pipe that is never closed, or a source
  // slow to come, must not hold a run that ends on an error. A reader still busy then is left to
  // end with the process.
  ~SourceQueue();
  SourceQueue(const SourceQueue&) = delete;
  SourceQueue& operator=(const SourceQueue&) = delete;

  // Appends to `read` what has been read, in order: waits until at least `wanted` addresses are
  // there or the sources are done. False once everything read has been handed over and no more
  // will come.
  bool Take(std::size_t wanted, SourceAddresses& read);

 private:
  // What the two threads share; the reader holds it too, so that it may outlive the queue.
  struct Shared {
    explicit Shared(std::size_t room) : capacity(room) {}
    // On the reader's thread: addresses are handed over a few hundred at a time, and at the end
    // of each document, so that the lock is not taken for each.
    void Put(std::string_view address);
    void HandOver();

    static constexpr std::size_t kHandOver = 256;
    std::vector<std::string> pending;  // the reader's own

    std::size_t capacity;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> addresses;
    std::vector<std::string> errors;
    std::vector<InvalidEntry> invalid;
    bool done = false;
    bool abandoned = false;
  };
  std::shared_ptr<Shared> shared_;
  std::thread reader_;
};

}  // namespace kestrin::cli
