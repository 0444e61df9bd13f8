// The addresses met so far in a run: a hash table whose slots point at the addresses' bytes,
// kept in memory in large blocks (8 bytes a slot, and the address with its length rounded up to
// 8). Equal hashes are always confirmed against the bytes, so that two different addresses
// sharing a hash are never taken for one. A caller that holds every address anyway can lend them
// instead, and nothing is kept twice.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace kestrin::cli {

class SeenAddresses {
 public:
  using Hash = std::uint64_t (*)(std::string_view address);
  // Without `kept`, the addresses are kept here; with it, `kept(n)` gives back the n-th address
  // inserted (from 0), which must stay readable as long as this lives. `hash` is for tests that
  // need addresses to share hashes.
  explicit SeenAddresses(std::function<std::string_view(std::size_t)> kept = nullptr, Hash hash = nullptr);

  // True when `address` had not been met, and remembers it; false for one met before.
  [[nodiscard]] bool Insert(std::string_view address);
  [[nodiscard]] std::size_t Size() const { return size_; }

 private:
  // One of the tables the hashes are spread over, by their top bits, so that growing one moves
  // only a small share of them at a time and peak memory stays close to what is held.
  struct Slot {
    std::uint32_t tag;    // 32 bits of the hash below the shard's; 0: empty
    std::uint32_t place;  // where the address is, in 8-byte units of the blocks; or its number
  };
  struct Shard {
    std::vector<Slot> slots;
    std::size_t size = 0;
  };

  static void Grow(Shard& shard);
  [[nodiscard]] std::string_view At(std::uint32_t place) const;
  // Copies `address` into the blocks; returns its place.
  std::uint32_t Keep(std::string_view address);

  std::array<Shard, 256> shards_;
  std::size_t size_ = 0;
  Hash hash_;
  // Each address as its length (4 bytes) and bytes, from an 8-byte boundary; a block is never
  // moved once made. An address longer than a block has blocks of its own, the first holding it
  // all and the rest empty, so that a place still tells its block by division.
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t used_ = 0;  // in the last block
  std::function<std::string_view(std::size_t)> kept_;  // set: places are insertion numbers
};

}  // namespace kestrin::cli
