// The per-thread random generator: state * 214013 + 2531011, 15-bit draws, state 1 unseeded.
#pragma once

#include <optional>

namespace kestrin {

// Seeds the calling thread's generator; without a seed, from the tick count plus the
// process-wide seeding counter, so that two seedings in one millisecond differ.
void SeedRandom(std::optional<int> seed = std::nullopt);

// A number in low..high (negatives raised to 0, swapped when reversed), at most low + 32767.
[[nodiscard]] int RandomInRange(std::optional<int> low = std::nullopt, std::optional<int> high = std::nullopt);

// Milliseconds since an arbitrary point, wrapping at 2^32 (the tick count).
[[nodiscard]] unsigned TickCount();

}  // namespace kestrin
