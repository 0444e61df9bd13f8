#include "cli/sources/seen_addresses.h"

#include <algorithm>
#include <cstring>

namespace kestrin::cli {
namespace {

constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

std::uint64_t StandardHash(std::string_view address) {
  // Spreads std::hash's bits so that both the top (shard) and the bottom (slot) vary.
  std::uint64_t hash = std::hash<std::string_view>{}(address);
  hash ^= hash >> 33;
  hash *= 0xff51afd7ed558ccdULL;
  hash ^= hash >> 33;
  return hash;
}

}  // namespace

SeenAddresses::SeenAddresses(std::function<std::string_view(std::size_t)> kept, Hash hash)
    : hash_(hash != nullptr ? hash : StandardHash), kept_(std::move(kept)) {}

bool SeenAddresses::Insert(std::string_view address) {
  std::uint64_t hash = hash_(address);
  if (hash == 0) hash = 1;
  Shard& shard = shards_[hash >> 56];
  if ((shard.size + 1) * 4 > shard.hashes.size() * 3) Grow(shard);
  const std::size_t mask = shard.hashes.size() - 1;
  std::size_t slot = static_cast<std::size_t>(hash) & mask;
  for (; shard.hashes[slot] != 0; slot = (slot + 1) & mask) {
    if (shard.hashes[slot] == hash && At(shard.places[slot]) == address) return false;
  }
  shard.hashes[slot] = hash;
  shard.places[slot] = kept_ ? size_ : Keep(address);
  ++shard.size;
  ++size_;
  return true;
}

void SeenAddresses::Grow(Shard& shard) {
  const std::size_t capacity = shard.hashes.empty() ? 16 : shard.hashes.size() * 2;
  std::vector<std::uint64_t> hashes(capacity, 0);
  std::vector<std::uint64_t> places(capacity, 0);
  const std::size_t mask = capacity - 1;
  for (std::size_t i = 0; i < shard.hashes.size(); ++i) {
    if (shard.hashes[i] == 0) continue;
    std::size_t slot = static_cast<std::size_t>(shard.hashes[i]) & mask;
    while (hashes[slot] != 0) slot = (slot + 1) & mask;
    hashes[slot] = shard.hashes[i];
    places[slot] = shard.places[i];
  }
  shard.hashes.swap(hashes);
  shard.places.swap(places);
}

std::uint64_t SeenAddresses::Keep(std::string_view address) {
  const std::size_t need = sizeof(std::uint32_t) + address.size();
  if (blocks_.empty() || used_ + need > blockSize_) {
    // An address longer than a block gets one of its own.
    blockSize_ = std::max(kBlockBytes, need);
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize_));
    used_ = 0;
  }
  char* at = blocks_.back().get() + used_;
  const auto length = static_cast<std::uint32_t>(address.size());
  std::memcpy(at, &length, sizeof length);
  std::memcpy(at + sizeof length, address.data(), address.size());
  const std::uint64_t place = (std::uint64_t{blocks_.size() - 1} << 32) | used_;
  used_ += need;
  return place;
}

std::string_view SeenAddresses::At(std::uint64_t place) const {
  if (kept_) return kept_(static_cast<std::size_t>(place));
  const char* at = blocks_[place >> 32].get() + (place & 0xFFFFFFFFu);
  std::uint32_t length = 0;
  std::memcpy(&length, at, sizeof length);
  return {at + sizeof length, length};
}

}  // namespace kestrin::cli
