// The kernels behind the row bodies, written once and compiled once per instruction set:
// the including file names the set (QUORVEL_KERNEL_SET) and says whether SSSE3 may be used
// (QUORVEL_KERNEL_SSSE3). Everything but RunWalk has internal linkage, so that the
// linker can never hand code built for the newer instructions to the older set.
// Every kernel writes exactly its run: a run's neighbours may belong to another thread
// (the next row) or to a band written earlier.
#pragma once

#include <emmintrin.h>
#if QUORVEL_KERNEL_SSSE3
#include <tmmintrin.h>
#endif

#include <cstring>
#include <type_traits>

#include "decode/RowKernels.h"

namespace quorvel {
namespace QUORVEL_KERNEL_SET {
namespace {

inline std::uint32_t Smaller(std::uint32_t a, std::uint32_t b) { return a < b ? a : b; }
inline int Smaller(int a, int b) { return a < b ? a : b; }

// --- Conversions of a contiguous, forward run --------------------------------------

// out = (s * a + bg * (255 - a)) / 255 per channel, truncating; a = 0 and 255 come out
// exactly as the source or the background. Four pixels per step with SSE2:
// v / 255 == (v * 0x8081) >> 23 for every v up to 255 * 255.
inline __m128i Divide255(__m128i v) { return _mm_srli_epi16(_mm_mulhi_epu16(v, _mm_set1_epi16(static_cast<short>(0x8081))), 7); }

// s * a + bg * (255 - a) == (s - bg) * a + bg * 255, and the result lies in 0 .. 65025:
// computed modulo 2^16 (16-bit lanes, wrapping) it comes out exact with one product.
inline __m128i CompositeTwo(__m128i pixels16, __m128i background16, __m128i background255) {
  const __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(pixels16, 0xFF), 0xFF);
  return Divide255(_mm_add_epi16(_mm_mullo_epi16(_mm_sub_epi16(pixels16, background16), alpha), background255));
}

// Four BGRx pixels packed into the low 12 bytes (the rest zero), in the registers.
inline __m128i Pack3x4(__m128i bgrx) {
#if QUORVEL_KERNEL_SSSE3
  return _mm_shuffle_epi8(bgrx, _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
#else
  // The third byte of each pair moves down one byte per 64-bit half, then the upper
  // half's six bytes move down two.
  const __m128i evenPixels = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
  const __m128i oddPixels = _mm_set_epi32(0x00FFFFFF, 0, 0x00FFFFFF, 0);
  const __m128i halves = _mm_or_si128(_mm_and_si128(bgrx, evenPixels), _mm_srli_epi64(_mm_and_si128(bgrx, oddPixels), 8));
  const __m128i low6 = _mm_set_epi32(0, 0, 0x0000FFFF, -1);
  return _mm_or_si128(_mm_and_si128(halves, low6), _mm_srli_si128(_mm_andnot_si128(low6, halves), 2));
#endif
}

// The low 12 bytes of `packed` to d. One 16-byte store, whose last 4 bytes land on what
// is written next, unless `exactEnd` (nothing past the 12 bytes may be touched): callers
// ask for it unless at least 2 more pixels of the run follow.
inline void Store12(std::uint8_t* d, __m128i packed, bool exactEnd) {
  if (exactEnd) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d), packed);
    const std::int32_t last = _mm_cvtsi128_si32(_mm_srli_si128(packed, 8));
    std::memcpy(d + 8, &last, 4);
  } else {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), packed);
  }
}

// Four BGRx pixels to 12 bytes at d, as Store12.
inline void Store3x4(std::uint8_t* d, __m128i bgrx, bool exactEnd) { Store12(d, Pack3x4(bgrx), exactEnd); }

// The background in the forms CompositeFour uses.
struct Background4 {
  __m128i words;     // blue, green, red, 0 as 16-bit lanes, twice
  __m128i times255;  // the same, each times 255
  __m128i pixels;    // four BGRx pixels
  explicit Background4(const BackgroundColor& bg)
      : words(_mm_set_epi16(0, bg.red, bg.green, bg.blue, 0, bg.red, bg.green, bg.blue)),
        times255(_mm_mullo_epi16(words, _mm_set1_epi16(255))),
        pixels(_mm_set1_epi32(bg.blue | bg.green << 8 | bg.red << 16)) {}
};

// Four BGRA pixels composited; the fourth byte of each result is of no use.
inline __m128i CompositeFour(__m128i px, const Background4& bg) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i alphaBytes = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  // Four opaque or four transparent pixels need no arithmetic (the formula gives the same).
  const __m128i alpha = _mm_and_si128(px, alphaBytes);
  if (_mm_movemask_epi8(_mm_cmpeq_epi32(alpha, alphaBytes)) == 0xFFFF) return px;
  if (_mm_movemask_epi8(_mm_cmpeq_epi32(alpha, zero)) == 0xFFFF) return bg.pixels;
  const __m128i lo = CompositeTwo(_mm_unpacklo_epi8(px, zero), bg.words, bg.times255);
  const __m128i hi = CompositeTwo(_mm_unpackhi_epi8(px, zero), bg.words, bg.times255);
  return _mm_packus_epi16(lo, hi);
}

void Composite(std::uint8_t* d, const std::uint8_t* s, std::uint32_t n, const BackgroundColor& bg) {
  const Background4 background(bg);
  std::uint32_t x = 0;
  for (; x + 4 <= n; x += 4)
    Store3x4(d + 3 * x, CompositeFour(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * x)), background), x + 6 > n);
  for (; x < n; ++x) {
    const unsigned a = s[4 * x + 3];
    const std::uint8_t b[3] = {bg.blue, bg.green, bg.red};
    for (int c = 0; c < 3; ++c) d[3 * x + c] = static_cast<std::uint8_t>((s[4 * x + c] * a + b[c] * (255 - a)) / 255);
  }
}

void Strip(std::uint8_t* d, const std::uint8_t* s, std::uint32_t n) {
  std::uint32_t x = 0;
  for (; x + 4 <= n; x += 4)
    Store3x4(d + 3 * x, _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * x)), x + 6 > n);
  for (; x < n; ++x) std::memcpy(d + 3 * x, s + 4 * x, 3);
}

// A forward run of n source elements converted into d.
inline void ConvertForward(const RunConstants& c, std::uint8_t* d, const std::uint8_t* s, std::uint32_t n) {
  switch (c.op) {
    case PixelOp::kCopy: std::memcpy(d, s, static_cast<std::size_t>(n) * c.elementBytes); break;
    case PixelOp::kStrip32To24: Strip(d, s, n); break;
    case PixelOp::kComposite32To24: Composite(d, s, n, c.background); break;
  }
}

// --- Runs read backwards (half turns) -------------------------------------------------

// The 16 bytes of v with their elements in reverse order.
template <class Element>
inline __m128i ReverseElements(__m128i v) {
  if constexpr (sizeof(Element) == 1) v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
  if constexpr (sizeof(Element) <= 2) v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0x1B), 0x1B);
  return _mm_shuffle_epi32(v, sizeof(Element) <= 2 ? 0x4E : 0x1B);
}

// d[j] = the element j places before `last`, 16 bytes at a time.
template <class Element>
void Reverse(Element* d, const std::uint8_t* last, std::uint32_t n) {
  constexpr std::uint32_t kPer = 16 / sizeof(Element);
  std::uint32_t j = 0;
  for (; j + kPer <= n; j += kPer) {
    const std::uint8_t* from = last - static_cast<std::ptrdiff_t>(j + kPer - 1) * sizeof(Element);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + j),
                     ReverseElements<Element>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from))));
  }
  for (; j < n; ++j) std::memcpy(d + j, last - static_cast<std::ptrdiff_t>(j) * sizeof(Element), sizeof(Element));
}

// 24-bit pixels: d[j] = the pixel j places before `last`, four at a time, widened to
// words in the registers, reversed and packed again. Each 16-byte load reads up to 4
// bytes past the pixel at `last`, which the next row or a block's slack provides.
void ReverseRgb24(std::uint8_t* d, const std::uint8_t* last, std::uint32_t n) {
  std::uint32_t j = 0;
  for (; j + 4 <= n; j += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(last - 3 * static_cast<std::ptrdiff_t>(j + 3)));
#if QUORVEL_KERNEL_SSSE3
    Store12(d + 3 * j, _mm_shuffle_epi8(v, _mm_setr_epi8(9, 10, 11, 6, 7, 8, 3, 4, 5, 0, 1, 2, -1, -1, -1, -1)), j + 6 > n);
#else
    const __m128i first = _mm_unpacklo_epi32(_mm_srli_si128(v, 9), _mm_srli_si128(v, 6));
    const __m128i second = _mm_unpacklo_epi32(_mm_srli_si128(v, 3), v);
    Store3x4(d + 3 * j, _mm_unpacklo_epi64(first, second), j + 6 > n);
#endif
  }
  for (; j < n; ++j) std::memcpy(d + 3 * j, last - 3 * static_cast<std::ptrdiff_t>(j), 3);
}

void ConvertBackward(const RunConstants& c, std::uint8_t* d, const std::uint8_t* s, std::uint32_t n) {
  // Copies go straight to the destination; conversions through a small forward buffer.
  const std::uint32_t e = c.elementBytes;
  if (c.op == PixelOp::kCopy) {
    switch (e) {
      case 1: Reverse(d, s, n); return;
      case 2: Reverse(reinterpret_cast<std::uint16_t*>(d), s, n); return;
      case 4: Reverse(reinterpret_cast<std::uint32_t*>(d), s, n); return;
      case 3: ReverseRgb24(d, s, n); return;
    }
    for (std::uint32_t j = 0; j < n; ++j) std::memcpy(d + j * e, s - static_cast<std::ptrdiff_t>(j) * e, e);
    return;
  }
  alignas(16) std::uint32_t buffer[64];
  for (std::uint32_t j = 0; j < n; j += 64) {
    const std::uint32_t m = Smaller(64u, n - j);
    Reverse(buffer, s - static_cast<std::ptrdiff_t>(j) * 4, m);
    ConvertForward(c, d + 3 * j, reinterpret_cast<const std::uint8_t*>(buffer), m);
  }
}

// --- Runs read down or up a column (quarter turns) -----------------------------------

// An 8 x 8 block of elements: row r at rows[r], 8 contiguous elements each (memory order
// of the jobs), transposed so that out[i] holds the 8 elements of memory column i.
template <class Element>
struct Block8;

// Four rows of four 32-bit elements, transposed: store(i0 + c, e, v) gets column c.
template <class Store>
inline void Transpose4x4(const __m128i r[4], int i0, int e, Store& store) {
  const __m128i t0 = _mm_unpacklo_epi32(r[0], r[1]), t1 = _mm_unpacklo_epi32(r[2], r[3]);
  const __m128i t2 = _mm_unpackhi_epi32(r[0], r[1]), t3 = _mm_unpackhi_epi32(r[2], r[3]);
  store(i0 + 0, e, _mm_unpacklo_epi64(t0, t1));
  store(i0 + 1, e, _mm_unpackhi_epi64(t0, t1));
  store(i0 + 2, e, _mm_unpacklo_epi64(t2, t3));
  store(i0 + 3, e, _mm_unpackhi_epi64(t2, t3));
}

template <>
struct Block8<std::uint32_t> {
  // store(i, e, v): v holds elements e .. e+3 of memory column i.
  template <class Store>
  static void Transpose(const std::uint8_t* const rows[8], Store&& store) {
    for (int half = 0; half < 2; ++half)      // columns 0-3, 4-7
      for (int quarter = 0; quarter < 2; ++quarter) {  // rows 0-3, 4-7
        __m128i r[4];
        for (int k = 0; k < 4; ++k)
          r[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[4 * quarter + k] + 16 * half));
        Transpose4x4(r, 4 * half, 4 * quarter, store);
      }
  }
  static void Transpose(const std::uint8_t* const rows[8], std::uint32_t out[8][8]) {
    Transpose(rows, [out](int i, int e, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(&out[i][e]), v); });
  }
};

template <>
struct Block8<std::uint16_t> {
  // store(i, e, v): v holds elements e .. e+7 of memory column i (e is always 0).
  template <class Store>
  static void Transpose(const std::uint8_t* const rows[8], Store&& store) {
    __m128i r[8];
    for (int i = 0; i < 8; ++i) r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[i]));
    const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
    const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
    const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
    const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    store(0, 0, _mm_unpacklo_epi64(b0, b4));
    store(1, 0, _mm_unpackhi_epi64(b0, b4));
    store(2, 0, _mm_unpacklo_epi64(b1, b5));
    store(3, 0, _mm_unpackhi_epi64(b1, b5));
    store(4, 0, _mm_unpacklo_epi64(b2, b6));
    store(5, 0, _mm_unpackhi_epi64(b2, b6));
    store(6, 0, _mm_unpacklo_epi64(b3, b7));
    store(7, 0, _mm_unpackhi_epi64(b3, b7));
  }
  static void Transpose(const std::uint8_t* const rows[8], std::uint16_t out[8][8]) {
    Transpose(rows, [out](int i, int e, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(&out[i][e]), v); });
  }
};

template <>
struct Block8<std::uint8_t> {
  static void Transpose(const std::uint8_t* const rows[8], std::uint8_t out[8][8]) {
    __m128i r[8];
    for (int i = 0; i < 8; ++i) r[i] = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[i]));
    const __m128i a0 = _mm_unpacklo_epi8(r[0], r[1]), a1 = _mm_unpacklo_epi8(r[2], r[3]);
    const __m128i a2 = _mm_unpacklo_epi8(r[4], r[5]), a3 = _mm_unpacklo_epi8(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi16(a0, a1), b1 = _mm_unpackhi_epi16(a0, a1);
    const __m128i b2 = _mm_unpacklo_epi16(a2, a3), b3 = _mm_unpackhi_epi16(a2, a3);
    const __m128i c[4] = {_mm_unpacklo_epi32(b0, b2), _mm_unpackhi_epi32(b0, b2), _mm_unpacklo_epi32(b1, b3),
                          _mm_unpackhi_epi32(b1, b3)};
    for (int i = 0; i < 4; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(out[2 * i]), c[i]);
  }
};

// 16 rows of 8 bytes each to 8 rows of 16 bytes: two 8 x 8 byte transposes whose halves
// are joined, so that each destination row gets one 16-byte store.
inline void TransposeBytes16x8(const std::uint8_t* const rows[16], __m128i out[8]) {
  __m128i halves[2][4];
  for (int h = 0; h < 2; ++h) {
    __m128i r[8];
    for (int i = 0; i < 8; ++i) r[i] = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[8 * h + i]));
    const __m128i a0 = _mm_unpacklo_epi8(r[0], r[1]), a1 = _mm_unpacklo_epi8(r[2], r[3]);
    const __m128i a2 = _mm_unpacklo_epi8(r[4], r[5]), a3 = _mm_unpacklo_epi8(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi16(a0, a1), b1 = _mm_unpackhi_epi16(a0, a1);
    const __m128i b2 = _mm_unpacklo_epi16(a2, a3), b3 = _mm_unpackhi_epi16(a2, a3);
    halves[h][0] = _mm_unpacklo_epi32(b0, b2);
    halves[h][1] = _mm_unpackhi_epi32(b0, b2);
    halves[h][2] = _mm_unpacklo_epi32(b1, b3);
    halves[h][3] = _mm_unpackhi_epi32(b1, b3);
  }
  for (int i = 0; i < 4; ++i) {
    out[2 * i] = _mm_unpacklo_epi64(halves[0][i], halves[1][i]);
    out[2 * i + 1] = _mm_unpackhi_epi64(halves[0][i], halves[1][i]);
  }
}

// 24-bit pixels, widened to 32-bit words on loading (without SSSE3 each load takes one
// byte of the next pixel, or of the slack after the last row) and written back as 3 bytes.
struct Rgb24 {};
template <>
struct Block8<Rgb24> {
  // store(i, e, v): v holds elements e .. e+3 of memory column i, as BGRx words.
  template <class Store>
  static void Transpose(const std::uint8_t* const rows[8], Store&& store) {
#if QUORVEL_KERNEL_SSSE3
    // Each row's 8 pixels (24 bytes) are two overlapping 16-byte loads, widened by one
    // shuffle each, then transposed as 32-bit pixels.
    const __m128i first4 = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i last4 = _mm_setr_epi8(4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
    for (int quarter = 0; quarter < 2; ++quarter)  // rows 0-3, 4-7
      for (int half = 0; half < 2; ++half) {       // columns 0-3, 4-7
        __m128i r[4];
        for (int k = 0; k < 4; ++k)
          r[k] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[4 * quarter + k] + 8 * half)),
                                  half ? last4 : first4);
        Transpose4x4(r, 4 * half, 4 * quarter, store);
      }
#else
    // Each column's pixels are gathered with 4-byte loads straight into the registers:
    // going through memory would stall every 16-byte load behind the narrower stores.
    for (int i = 0; i < 8; ++i)
      for (int quarter = 0; quarter < 2; ++quarter) {
        __m128i p[4];
        for (int r = 0; r < 4; ++r) {
          std::int32_t word;
          std::memcpy(&word, rows[4 * quarter + r] + 3 * i, 4);
          p[r] = _mm_cvtsi32_si128(word);
        }
        store(i, 4 * quarter, _mm_unpacklo_epi64(_mm_unpacklo_epi32(p[0], p[1]), _mm_unpacklo_epi32(p[2], p[3])));
      }
#endif
  }
  static void Transpose(const std::uint8_t* const rows[8], std::uint32_t out[8][8]) {
    Transpose(rows, [out](int i, int e, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(&out[i][e]), v); });
  }
};

template <class Element>
struct BlockOf {
  using Type = Element;
  static constexpr std::size_t kSourceBytes = sizeof(Element);
};
template <>
struct BlockOf<Rgb24> {
  using Type = std::uint32_t;
  static constexpr std::size_t kSourceBytes = 3;
};

// Jobs [lo, hi) whose sources are adjacent columns (jobStep = +-element bytes), each
// reading `count` elements down or up its column. The work goes in square tiles of jobs
// by elements, so that a tile's source rows and destination rows stay in the caches and
// the address translation buffers; within a tile, 8 x 8 blocks are transposed. A tile's
// pieces of each row are 512 bytes long for 1-, 2- and 4-byte elements (8 cache lines:
// measured best, against 64 to 256), and 192 bytes for 3-byte elements, which gained
// nothing from more.
template <class Element>
void Columns(const RowJob* jobs, int lo, int hi, const RunConstants& c) {
  constexpr int kTile = std::is_same_v<Element, std::uint8_t>    ? 512
                        : std::is_same_v<Element, std::uint16_t> ? 256
                        : std::is_same_v<Element, std::uint32_t> ? 128
                                                                 : 64;
  const std::uint32_t dstBytes = DestinationElementBytes(c);
  const bool descending = c.jobStep < 0;  // consecutive jobs read leftward columns
  // For 24-bit results only.
  [[maybe_unused]] const Background4 background(c.background);
  [[maybe_unused]] const bool composite = c.op == PixelOp::kComposite32To24;
  auto one = [&](int job, std::uint32_t t) {
    ConvertForward(c, jobs[job].destination + static_cast<std::size_t>(t) * dstBytes,
                   jobs[job].source + static_cast<std::ptrdiff_t>(t) * c.elementStep, 1);
  };
  // Tiles, and groups within them, go in the memory order of their source columns, so
  // that both the source and the destination are walked upwards in memory.
  const int tiles = (hi - lo + kTile - 1) / kTile;
  for (int t = 0; t < tiles; ++t) {
    const int k0 = lo + (descending ? tiles - 1 - t : t) * kTile;
    const int kEnd = Smaller(hi, k0 + kTile);
    const int groups = (kEnd - k0) / 8;
    const int kWhole = k0 + groups * 8;
    for (std::uint32_t j0 = 0; j0 < c.count; j0 += kTile) {
      const std::uint32_t jEnd = Smaller(c.count, j0 + kTile);
      const std::uint32_t jWhole = j0 + (jEnd - j0) / 8 * 8;
      for (int n = 0; n < groups; ++n) {
        const int g = k0 + 8 * (descending ? groups - 1 - n : n);
        // The job whose column comes first in memory.
        const std::uint8_t* left = jobs[descending ? g + 7 : g].source;
        // The destination row of each memory column.
        std::uint8_t* out[8];
        for (int i = 0; i < 8; ++i) out[i] = jobs[descending ? g + 7 - i : g + i].destination;
        // The source rows of elements j .. j+n-1 of the group.
        auto sourceRows = [&](const std::uint8_t** rows, std::uint32_t j, int n) {
          for (int r = 0; r < n; ++r) rows[r] = left + (static_cast<std::ptrdiff_t>(j) + r) * c.elementStep;
        };
        std::uint32_t j = j0;
        if constexpr (std::is_same_v<Element, std::uint8_t>) {
          if (c.op == PixelOp::kCopy) {
            for (; j + 16 <= jWhole; j += 16) {
              const std::uint8_t* rows[16];
              sourceRows(rows, j, 16);
              __m128i columns[8];
              TransposeBytes16x8(rows, columns);
              for (int i = 0; i < 8; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(out[i] + j), columns[i]);
            }
          }
        }
        if constexpr (std::is_same_v<Element, std::uint32_t> || std::is_same_v<Element, std::uint16_t>) {
          // Copies go from the registers straight into the destination rows.
          if (c.op == PixelOp::kCopy) {
            for (; j < jWhole; j += 8) {
              const std::uint8_t* rows[8];
              sourceRows(rows, j, 8);
              Block8<Element>::Transpose(rows, [&](int i, int e, __m128i v) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out[i] + (static_cast<std::size_t>(j) + e) * sizeof(Element)), v);
              });
            }
          }
        }
        if constexpr (std::is_same_v<Element, std::uint32_t> || std::is_same_v<Element, Rgb24>) {
          // 24-bit results (alpha dropped or composited, or 24-bit pixels turned) also go
          // from the registers into the destination rows, 4 pixels a store. Each store
          // spills a byte onto the next pixel, which is written after it, except at the
          // end of the run, where nothing beyond may be touched.
          if (dstBytes == 3) {
            auto blocks = [&](auto compositing) {
              for (; j < jWhole; j += 8) {
                const std::uint8_t* rows[8];
                sourceRows(rows, j, 8);
                // The second half's 16-byte store fits only with 2 more pixels after the block.
                const bool runEnds = j + 10 > c.count;
                const std::size_t at = static_cast<std::size_t>(j) * 3;
                Block8<Element>::Transpose(rows, [&](int i, int e, __m128i v) {
                  if constexpr (decltype(compositing)::value) v = CompositeFour(v, background);
                  Store3x4(out[i] + at + 3 * e, v, runEnds && e == 4);
                });
              }
            };
            if (composite)
              blocks(std::true_type{});
            else
              blocks(std::false_type{});
          }
        }
        for (; j < jWhole; j += 8) {
          const std::uint8_t* rows[8];
          sourceRows(rows, j, 8);
          alignas(16) typename BlockOf<Element>::Type block[8][8];
          Block8<Element>::Transpose(rows, block);
          for (int i = 0; i < 8; ++i) {
            std::uint8_t* d = out[i] + static_cast<std::size_t>(j) * dstBytes;
            if (c.op != PixelOp::kCopy)
              ConvertForward(c, d, reinterpret_cast<const std::uint8_t*>(block[i]), 8);
            else if constexpr (BlockOf<Element>::kSourceBytes == 3)
              Strip(d, reinterpret_cast<const std::uint8_t*>(block[i]), 8);
            else
              std::memcpy(d, block[i], sizeof(block[i]));
          }
        }
        for (int job = g; job < g + 8; ++job)
          for (std::uint32_t t2 = jWhole; t2 < jEnd; ++t2) one(job, t2);
      }
      for (int job = kWhole; job < kEnd; ++job)
        for (std::uint32_t t2 = j0; t2 < jEnd; ++t2) one(job, t2);
    }
  }
}

}  // namespace

void RunWalk(Walk walk, int lo, int hi, const RowJob* jobs, const RunConstants& c) {
  switch (walk) {
    case Walk::kRowsForward:
      for (int k = lo; k < hi; ++k) ConvertForward(c, jobs[k].destination, jobs[k].source, c.count);
      return;
    case Walk::kRowsBackward:
      for (int k = lo; k < hi; ++k) ConvertBackward(c, jobs[k].destination, jobs[k].source, c.count);
      return;
    case Walk::kColumnsUpward:
    case Walk::kColumnsDownward:
      switch (c.elementBytes) {
        case 1: Columns<std::uint8_t>(jobs, lo, hi, c); return;
        case 2: Columns<std::uint16_t>(jobs, lo, hi, c); return;
        case 3: Columns<Rgb24>(jobs, lo, hi, c); return;
        case 4: Columns<std::uint32_t>(jobs, lo, hi, c); return;
      }
      return;
  }
}

}  // namespace QUORVEL_KERNEL_SET
}  // namespace quorvel
