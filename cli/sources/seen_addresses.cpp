#include "cli/sources/seen_addresses.h"

#include <cstring>
#include <limits>
#include <new>

namespace kestrin::cli {
namespace {

constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

std::uint64_t StandardHash(std::string_view address) {
  // Spreads std::hash's bits so that every part of the hash varies.
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
  const std::uint64_t hash = hash_(address);
  Shard& shard = shards_[hash >> 56];
  const std::uint32_t tag = static_cast<std::uint32_t>(hash >> 24) | 1;
  if ((shard.size + 1) * 4 > shard.slots.size() * 3) Grow(shard);
  const std::size_t mask = shard.slots.size() - 1;
  std::size_t at = tag & mask;
  for (; shard.slots[at].tag != 0; at = (at + 1) & mask) {
    if (shard.slots[at].tag == tag && At(shard.slots[at].place) == address) return false;
  }
  if (kept_ && size_ > std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
  shard.slots[at] = {tag, kept_ ? static_cast<std::uint32_t>(size_) : Keep(address)};
  ++shard.size;
  ++size_;
  return true;
}

void SeenAddresses::Grow(Shard& shard) {
  std::vector<Slot> slots(shard.slots.empty() ? 16 : shard.slots.size() * 2, Slot{0, 0});
  const std::size_t mask = slots.size() - 1;
  for (const Slot& slot : shard.slots) {
    if (slot.tag == 0) continue;
    std::size_t at = slot.tag & mask;
    while (slots[at].tag != 0) at = (at + 1) & mask;
    slots[at] = slot;
  }
  shard.slots.swap(slots);
}

std::uint32_t SeenAddresses::Keep(std::string_view address) {
  const std::size_t need = (sizeof(std::uint32_t) + address.size() + 7) / 8 * 8;
  if (blocks_.empty() || used_ + need > kBlockBytes) {
    const std::size_t count = (need + kBlockBytes - 1) / kBlockBytes;
    // Places count 8-byte units in 32 bits: 32 GB of addresses, far past any memory at hand.
    if ((blocks_.size() + count) * (kBlockBytes / 8) > std::numeric_limits<std::uint32_t>::max()) {
      throw std::bad_alloc();
    }
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(count * kBlockBytes));
    blocks_.resize(blocks_.size() + count - 1);
    used_ = 0;
  }
  const std::size_t first = blocks_.size() - 1 - (need > kBlockBytes ? (need - 1) / kBlockBytes : 0);
  char* at = blocks_[first].get() + used_;
  const auto length = static_cast<std::uint32_t>(address.size());
  std::memcpy(at, &length, sizeof length);
  std::memcpy(at + sizeof length, address.data(), address.size());
  const auto place = static_cast<std::uint32_t>((first * kBlockBytes + used_) / 8);
  // A long address fills its blocks: the next one starts a block of its own.
  used_ = need > kBlockBytes ? kBlockBytes : used_ + need;
  return place;
}

std::string_view SeenAddresses::At(std::uint32_t place) const {
  if (kept_) return kept_(place);
  const std::size_t offset = std::size_t{place} * 8;
  const char* at = blocks_[offset / kBlockBytes].get() + offset % kBlockBytes;
  std::uint32_t length = 0;
  std::memcpy(&length, at, sizeof length);
  return {at + sizeof length, length};
}

}  // namespace kestrin::cli
