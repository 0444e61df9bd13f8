#include "cli/sources/source_queue.h"

#include <algorithm>

namespace kestrin::cli {

SourceQueue::SourceQueue(std::vector<std::string> sources, const SourceOptions& options, Fetch fetch,
                         std::istream& input, std::size_t capacity)
    : capacity_(capacity) {
  reader_ = std::thread([this, sources = std::move(sources), options, fetch = std::move(fetch), &input] {
    const SourceSink sink{[this](std::string_view address) { Put(address); },
                          [this](const std::string& line) {
                            const std::lock_guard lock(mutex_);
                            errors_.push_back(line);
                            changed_.notify_all();
                          },
                          [this](InvalidEntry&& entry) {
                            const std::lock_guard lock(mutex_);
                            invalid_.push_back(std::move(entry));
                            changed_.notify_all();
                          },
                          [this](int, std::size_t) { HandOver(); }};
    ReadSources(sources, options, Opening(fetch), input, sink);
    HandOver();
    const std::lock_guard lock(mutex_);
    done_ = true;
    changed_.notify_all();
  });
}

SourceQueue::~SourceQueue() {
  {
    const std::lock_guard lock(mutex_);
    abandoned_ = true;
    changed_.notify_all();
  }
  reader_.join();
}

void SourceQueue::Put(std::string_view address) {
  pending_.emplace_back(address);
  if (pending_.size() >= kHandOver) HandOver();
}

void SourceQueue::HandOver() {
  if (pending_.empty()) return;
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return abandoned_ || addresses_.size() < capacity_; });
  if (!abandoned_) {
    for (std::string& address : pending_) addresses_.push_back(std::move(address));
  }
  pending_.clear();
  changed_.notify_all();
}

bool SourceQueue::Take(std::size_t wanted, SourceAddresses& read) {
  std::unique_lock lock(mutex_);
  // Waiting for more than the queue holds would wait for ever: the reader waits for room.
  wanted = std::min(wanted, capacity_);
  changed_.wait(lock, [&] { return done_ || addresses_.size() >= wanted || !errors_.empty() || !invalid_.empty(); });
  const bool more = !done_ || !addresses_.empty() || !errors_.empty() || !invalid_.empty();
  for (std::string& error : errors_) read.errors.push_back(std::move(error));
  errors_.clear();
  for (InvalidEntry& entry : invalid_) read.invalid.push_back(std::move(entry));
  invalid_.clear();
  while (!addresses_.empty()) {
    read.addresses.push_back(std::move(addresses_.front()));
    addresses_.pop_front();
  }
  changed_.notify_all();
  return more;
}

}  // namespace kestrin::cli
