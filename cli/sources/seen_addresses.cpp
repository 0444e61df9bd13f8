#include "cli/sources/seen_addresses.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>

namespace kestrin::cli {
namespace {

constexpr std::size_t kFlushBytes = 1 << 20;
constexpr std::uint32_t kNotKept = std::numeric_limits<std::uint32_t>::max();

// An unnamed file in TMPDIR (or /tmp), gone with the process; -1 when none can be made.
int OpenScratchFile() {
  const char* folder = std::getenv("TMPDIR");
  const std::string path = folder != nullptr && folder[0] != '\0' ? folder : "/tmp";
  int fd = open(path.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  std::string name = path + "/kestrin-seen-XXXXXX";
  fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) unlink(name.c_str());
  return fd;
}

std::uint64_t Mix(std::uint64_t hash) {
  // Spreads std::hash's bits so that both the top (shard) and the bottom (slot) vary.
  hash ^= hash >> 33;
  hash *= 0xff51afd7ed558ccdULL;
  hash ^= hash >> 33;
  return hash == 0 ? 1 : hash;
}

}  // namespace

SeenAddresses::SeenAddresses(std::function<std::string_view(std::size_t)> kept)
    : file_(kept ? -1 : OpenScratchFile()), kept_(std::move(kept)) {}

SeenAddresses::~SeenAddresses() {
  if (file_ >= 0) close(file_);
}

bool SeenAddresses::Insert(std::string_view address) {
  const std::uint64_t hash =
      testBuckets_ != 0 ? Mix(std::hash<std::string_view>{}(address) % testBuckets_) : Mix(std::hash<std::string_view>{}(address));
  Shard& shard = shards_[hash >> 56];
  if ((shard.size + 1) * 4 > shard.hashes.size() * 3) Grow(shard);
  const std::size_t mask = shard.hashes.size() - 1;
  std::size_t slot = static_cast<std::size_t>(hash) & mask;
  for (; shard.hashes[slot] != 0; slot = (slot + 1) & mask) {
    if (shard.hashes[slot] == hash && Same(shard.records[slot], address)) return false;
  }
  shard.hashes[slot] = hash;
  shard.records[slot] = static_cast<std::uint32_t>(Keep(address));
  ++shard.size;
  ++size_;
  return true;
}

void SeenAddresses::Grow(Shard& shard) {
  const std::size_t capacity = shard.hashes.empty() ? 16 : shard.hashes.size() * 2;
  std::vector<std::uint64_t> hashes(capacity, 0);
  std::vector<std::uint32_t> records(capacity, 0);
  const std::size_t mask = capacity - 1;
  for (std::size_t i = 0; i < shard.hashes.size(); ++i) {
    if (shard.hashes[i] == 0) continue;
    std::size_t slot = static_cast<std::size_t>(shard.hashes[i]) & mask;
    while (hashes[slot] != 0) slot = (slot + 1) & mask;
    hashes[slot] = shard.hashes[i];
    records[slot] = shard.records[i];
  }
  shard.hashes.swap(hashes);
  shard.records.swap(records);
}

// Each address is kept as its length (4 bytes) and bytes, padded to a multiple of 8.
std::uint64_t SeenAddresses::Keep(std::string_view address) {
  if (kept_) return size_ < kNotKept ? size_ : Overflow(address);
  const std::uint64_t at = flushed_ + pending_.size();
  if (at / 8 >= kNotKept || address.size() > std::numeric_limits<std::uint32_t>::max()) return Overflow(address);
  const auto length = static_cast<std::uint32_t>(address.size());
  pending_.append(reinterpret_cast<const char*>(&length), sizeof length);
  pending_.append(address);
  pending_.append((8 - pending_.size() % 8) % 8, '\0');
  if (pending_.size() >= kFlushBytes) Flush();
  return at / 8;
}

std::uint64_t SeenAddresses::Overflow(std::string_view address) {
  overflow_.emplace(address);
  return kNotKept;
}

void SeenAddresses::Flush() {
  if (file_ < 0) return;  // no file: everything stays in memory
  std::size_t written = 0;
  while (written < pending_.size()) {
    const ssize_t n = pwrite(file_, pending_.data() + written, pending_.size() - written,
                             static_cast<off_t>(flushed_ + written));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // The disk refused: what was not written stays in memory from here on.
      close(file_);
      file_ = -1;
      pending_.erase(0, written);
      flushed_ += written;
      return;
    }
    written += static_cast<std::size_t>(n);
  }
  flushed_ += written;
  pending_.clear();
}

bool SeenAddresses::Same(std::uint32_t record, std::string_view address) {
  if (record == kNotKept) return overflow_.contains(std::string(address));
  if (kept_) return kept_(record) == address;
  const std::uint64_t at = std::uint64_t{record} * 8;
  const std::size_t wanted = sizeof(std::uint32_t) + address.size();
  const char* bytes = nullptr;
  if (at >= flushed_) {
    if (at - flushed_ + wanted > pending_.size()) return false;
    bytes = pending_.data() + (at - flushed_);
  } else {
    readBack_.resize(wanted);
    std::size_t got = 0;
    while (got < wanted) {
      const ssize_t n = pread(file_, readBack_.data() + got, wanted - got, static_cast<off_t>(at + got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    if (got < wanted) return false;
    bytes = readBack_.data();
  }
  std::uint32_t length = 0;
  std::memcpy(&length, bytes, sizeof length);
  return length == address.size() && std::memcmp(bytes + sizeof length, address.data(), address.size()) == 0;
}

}  // namespace kestrin::cli
