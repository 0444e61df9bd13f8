// The addresses met so far in a run, in little memory: 64-bit hashes in memory (12 bytes each),
// the addresses themselves in an unnamed temporary file, read back only when two hashes agree, so
// that two different addresses sharing a hash are never taken for one. A caller that holds every
// address anyway can lend them instead, and nothing is written twice.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace kestrin::cli {

class SeenAddresses {
 public:
  // Without `kept`, the addresses are kept in the file; with it, `kept(n)` gives back the n-th
  // address inserted (from 0), which must stay readable as long as this lives.
  explicit SeenAddresses(std::function<std::string_view(std::size_t)> kept = nullptr);
  ~SeenAddresses();
  SeenAddresses(const SeenAddresses&) = delete;
  SeenAddresses& operator=(const SeenAddresses&) = delete;

  // True when `address` had not been met, and remembers it; false for one met before.
  [[nodiscard]] bool Insert(std::string_view address);
  [[nodiscard]] std::size_t Size() const { return size_; }

  // Tests only: every address hashes to the given few values, as if each were a collision.
  void HashIntoForTesting(std::uint64_t buckets) { testBuckets_ = buckets; }

 private:
  // One of the tables the hashes are spread over, by their top bits, so that growing one moves
  // only a small share of them at a time and peak memory stays close to what is held.
  struct Shard {
    std::vector<std::uint64_t> hashes;   // 0: empty slot
    std::vector<std::uint32_t> records;  // where the address is kept, in 8-byte units
    std::size_t size = 0;
  };

  void Grow(Shard& shard);
  // Whether the kept address at `record` is `address`.
  bool Same(std::uint32_t record, std::string_view address);
  // Keeps `address`; its record number, or UINT32_MAX past the keeper's reach.
  std::uint64_t Keep(std::string_view address);
  void Flush();
  // Keeps `address` apart, past the reach of records; returns UINT32_MAX.
  std::uint64_t Overflow(std::string_view address);

  std::array<Shard, 256> shards_;
  std::size_t size_ = 0;
  std::uint64_t testBuckets_ = 0;

  int file_ = -1;               // the kept addresses; -1: kept in `pending_` alone
  std::uint64_t flushed_ = 0;   // bytes written to the file
  std::string pending_;         // bytes after those
  std::string readBack_;
  std::unordered_set<std::string> overflow_;  // addresses past the file's reach (32 GB)
  std::function<std::string_view(std::size_t)> kept_;  // set: records are insertion numbers
};

}  // namespace kestrin::cli
