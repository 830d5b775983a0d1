// Overflow-checked size arithmetic: every size that is allocated or handed to the
// imaging component is formed through these, so no product can wrap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

namespace quorvel {

template <class T>
constexpr std::optional<T> CheckedMul(T a, T b) noexcept {
  static_assert(std::numeric_limits<T>::is_integer && !std::numeric_limits<T>::is_signed);
  if (a != 0 && b > std::numeric_limits<T>::max() / a) return std::nullopt;
  return a * b;
}

template <class T>
constexpr std::optional<T> CheckedAdd(T a, T b) noexcept {
  static_assert(std::numeric_limits<T>::is_integer && !std::numeric_limits<T>::is_signed);
  if (b > std::numeric_limits<T>::max() - a) return std::nullopt;
  return a + b;
}

// Narrows a 64-bit count to T when it fits.
template <class T>
constexpr std::optional<T> CheckedNarrow(std::uint64_t value) noexcept {
  if (value > static_cast<std::uint64_t>(std::numeric_limits<T>::max())) return std::nullopt;
  return static_cast<T>(value);
}

}  // namespace quorvel
