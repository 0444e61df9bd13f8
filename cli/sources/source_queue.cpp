#include "cli/sources/source_queue.h"

#include <algorithm>
#include <chrono>

#include "cli/net/http_client.h"

namespace kestrin::cli {

SourceQueue::SourceQueue(std::vector<std::string> sources, const SourceOptions& options, Fetch fetch,
                         std::istream& input, std::size_t capacity)
    : shared_(std::make_shared<Shared>(capacity)) {
  reader_ = std::thread([shared = shared_, sources = std::move(sources), options, fetch = std::move(fetch), &input] {
    const SourceSink sink{[&shared](std::string_view address) { shared->Put(address); },
                          [&shared](const std::string& line) {
                            const std::lock_guard lock(shared->mutex);
                            shared->errors.push_back(line);
                            shared->changed.notify_all();
                          },
                          [&shared](InvalidEntry&& entry) {
                            const std::lock_guard lock(shared->mutex);
                            shared->invalid.push_back(std::move(entry));
                            shared->changed.notify_all();
                          },
                          [&shared](int, std::size_t) { shared->HandOver(); }};
    ReadSources(sources, options, Opening(fetch), input, sink);
    shared->HandOver();
    const std::lock_guard lock(shared->mutex);
    shared->done = true;
    shared->changed.notify_all();
  });
}

SourceQueue::~SourceQueue() {
  std::unique_lock lock(shared_->mutex);
  shared_->abandoned = true;
  shared_->changed.notify_all();
  const std::int64_t leftMs = NetworkTimeLeftMs();
  if (shared_->done || (leftMs > 0 && shared_->changed.wait_for(lock, std::chrono::milliseconds(leftMs),
                                                                 [this] { return shared_->done; }))) {
    lock.unlock();
    reader_.join();
  } else {
    reader_.detach();
  }
}

void SourceQueue::Shared::Put(std::string_view address) {
  pending.emplace_back(address);
  if (pending.size() >= kHandOver) HandOver();
}

void SourceQueue::Shared::HandOver() {
  if (pending.empty()) return;
  std::unique_lock lock(mutex);
  changed.wait(lock, [this] { return abandoned || addresses.size() < capacity; });
  if (!abandoned) {
    for (std::string& address : pending) addresses.push_back(std::move(address));
  }
  pending.clear();
  changed.notify_all();
}

bool SourceQueue::Take(std::size_t wanted, SourceAddresses& read) {
  Shared& s = *shared_;
  std::unique_lock lock(s.mutex);
  // Waiting for more than the queue holds would wait for ever: the reader waits for room.
  wanted = std::min(wanted, s.capacity);
  s.changed.wait(lock, [&] { return s.done || s.addresses.size() >= wanted || !s.errors.empty() || !s.invalid.empty(); });
  const bool more = !s.done || !s.addresses.empty() || !s.errors.empty() || !s.invalid.empty();
  for (std::string& error : s.errors) read.errors.push_back(std::move(error));
  s.errors.clear();
  for (InvalidEntry& entry : s.invalid) read.invalid.push_back(std::move(entry));
  s.invalid.clear();
  while (!s.addresses.empty()) {
    read.addresses.push_back(std::move(s.addresses.front()));
    s.addresses.pop_front();
  }
  s.changed.notify_all();
  return more;
}

}  // namespace kestrin::cli
