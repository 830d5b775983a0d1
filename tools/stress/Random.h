// A small seeded generator (splitmix64): the same numbers from the same seed in every
// build and with every compiler, which std's distributions do not promise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace stress {

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}

  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 .. n-1 (0 when n is 0).
  std::uint64_t Below(std::uint64_t n) { return n ? Next() % n : 0; }
  bool OneIn(std::uint64_t n) { return Below(n) == 0; }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(Next()); }
  template <class T>
  const T& Pick(const std::vector<T>& v) { return v[static_cast<std::size_t>(Below(v.size()))]; }

 private:
  std::uint64_t state_;
};

// Each case of a run has a generator of its own, so any case can be made again alone.
inline Random CaseRandom(std::uint64_t seed, std::uint64_t index) {
  Random mix(seed ^ (index * 0xD1B54A32D192ED03ull));
  return Random(mix.Next() ^ index);
}

}  // namespace stress
