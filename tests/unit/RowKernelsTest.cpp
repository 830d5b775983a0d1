// The row kernels against plain reference loops kept here: every operation, element
// width and walking direction, odd run lengths and job counts (the tiled and SIMD paths
// and their tails), and job ranges split the way worker threads split them; each build of
// the kernels this processor can run (SSE2, and SSSE3 where present).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "decode/RowKernels.h"

namespace quorvel {
namespace {

struct NamedWalk {
  const char* name;
  Walk walk;
};
constexpr NamedWalk kWalks[] = {{"along rows", Walk::kRowsForward},
                                {"along rows backwards", Walk::kRowsBackward},
                                {"up columns", Walk::kColumnsUpward},
                                {"down columns from the right", Walk::kColumnsDownward}};
bool IsColumn(Walk w) { return w == Walk::kColumnsUpward || w == Walk::kColumnsDownward; }

// A source of `rows` x `cols` elements of `e` bytes and the jobs reading it as the walk says:
// along rows, job k reads source row k (from its right end backwards); up columns, job k
// reads column k from the bottom; down columns, job k reads column cols-1-k from the top.
struct Runs {
  std::vector<std::uint8_t> source;
  std::vector<std::uint8_t> destination;
  std::vector<RowJob> jobs;
  RunConstants constants;
  Walk walk;
  std::size_t destinationStride;
};

Runs Make(PixelOp op, std::uint32_t e, Walk walk, std::uint32_t jobs, std::uint32_t count) {
  Runs s;
  s.walk = walk;
  const bool column = IsColumn(walk);
  const std::uint32_t cols = column ? jobs : count, rows = column ? count : jobs;
  const std::size_t stride = static_cast<std::size_t>(cols) * e + 5;  // odd padding
  s.source.resize(stride * rows + 8);
  for (std::size_t i = 0; i < s.source.size(); ++i) s.source[i] = static_cast<std::uint8_t>(i * 131 + (i >> 7) * 29);
  s.constants.op = op;
  s.constants.elementBytes = e;
  s.constants.count = count;
  s.constants.background = {0x11, 0x88, 0xEE};
  const std::uint32_t outE = op == PixelOp::kCopy ? e : 3;
  s.destinationStride = static_cast<std::size_t>(count) * outE + 3;
  s.destination.assign(s.destinationStride * jobs + 8, 0xCD);
  const std::ptrdiff_t se = e, ss = static_cast<std::ptrdiff_t>(stride);
  for (std::uint32_t k = 0; k < jobs; ++k) {
    std::uint8_t* d = s.destination.data() + k * s.destinationStride;
    const std::uint8_t* base = s.source.data();
    switch (walk) {
      case Walk::kRowsForward:
      case Walk::kRowsBackward: {
        const bool backward = walk == Walk::kRowsBackward;
        s.constants.elementStep = backward ? -se : se;
        s.jobs.push_back({d, base + k * stride + (backward ? (count - 1) * se : 0)});
        break;
      }
      case Walk::kColumnsUpward:
        s.constants.elementStep = -ss;
        s.constants.jobStep = se;
        s.jobs.push_back({d, base + (rows - 1) * stride + k * e});
        break;
      case Walk::kColumnsDownward:
        s.constants.elementStep = ss;
        s.constants.jobStep = -se;
        s.jobs.push_back({d, base + (cols - 1 - k) * e});
        break;
    }
  }
  return s;
}

// The reference: element by element, arithmetic spelled out.
std::vector<std::uint8_t> Reference(const Runs& s) {
  std::vector<std::uint8_t> out = s.destination;
  const RunConstants& c = s.constants;
  for (std::size_t k = 0; k < s.jobs.size(); ++k) {
    std::uint8_t* d = out.data() + k * s.destinationStride;
    for (std::uint32_t j = 0; j < c.count; ++j) {
      const std::uint8_t* p = s.jobs[k].source + static_cast<std::ptrdiff_t>(j) * c.elementStep;
      if (c.op == PixelOp::kCopy) {
        std::memcpy(d + j * c.elementBytes, p, c.elementBytes);
      } else {
        const unsigned a = c.op == PixelOp::kStrip32To24 ? 255 : p[3];
        const std::uint8_t bg[3] = {c.background.blue, c.background.green, c.background.red};
        for (int ch = 0; ch < 3; ++ch) d[3 * j + ch] = static_cast<std::uint8_t>((p[ch] * a + bg[ch] * (255 - a)) / 255);
      }
    }
  }
  return out;
}

struct KernelSet {
  const char* name;
  void (*run)(Walk walk, int lo, int hi, const RowJob* jobs, const RunConstants& c);
};

std::vector<KernelSet> Sets() {
  std::vector<KernelSet> sets = {{"SSE2", &sse2::RunWalk}};
  if (ProcessorHasSsse3()) sets.push_back({"SSSE3", &ssse3::RunWalk});
  return sets;
}

void RunAll(const KernelSet& set, Runs& s, int lo, int hi) { set.run(s.walk, lo, hi, s.jobs.data(), s.constants); }

TEST(RowKernels, MatchThePlainLoopsForEveryOperationWidthAndWalk) {
  struct Kind {
    PixelOp op;
    std::uint32_t e;
  };
  const Kind kinds[] = {{PixelOp::kCopy, 1}, {PixelOp::kCopy, 2}, {PixelOp::kCopy, 3}, {PixelOp::kCopy, 4},
                        {PixelOp::kStrip32To24, 4}, {PixelOp::kComposite32To24, 4}};
  for (const KernelSet& set : Sets())
    for (const NamedWalk& walk : kWalks)
      for (const Kind& kind : kinds)
        for (std::uint32_t jobs : {1u, 7u, 8u, 9u, 17u, 67u, 130u})
          for (std::uint32_t count : {1u, 2u, 3u, 5u, 8u, 9u, 16u, 31u, 67u, 129u}) {
            Runs s = Make(kind.op, kind.e, walk.walk, jobs, count);
            const auto expected = Reference(s);
            RunAll(set, s, 0, static_cast<int>(jobs));
            ASSERT_EQ(s.destination, expected) << set.name << ", " << walk.name << ", op " << int(kind.op) << ", "
                                               << kind.e << " bytes, " << jobs << " jobs of " << count;
          }
}

TEST(RowKernels, ColumnWalksSpanningSeveralTilesEachWayMatchThePlainLoops) {
  // Tiles are up to 512 jobs by 512 elements: more than two of them each way, with tails.
  struct Kind {
    PixelOp op;
    std::uint32_t e;
  };
  for (const KernelSet& set : Sets())
    for (const NamedWalk& walk : {kWalks[2], kWalks[3]})
      for (const Kind kind : {Kind{PixelOp::kCopy, 1}, Kind{PixelOp::kCopy, 2}, Kind{PixelOp::kCopy, 3},
                              Kind{PixelOp::kCopy, 4}, Kind{PixelOp::kComposite32To24, 4}}) {
        Runs s = Make(kind.op, kind.e, walk.walk, 1100, 1091);
        const auto expected = Reference(s);
        RunAll(set, s, 0, 1100);
        ASSERT_EQ(s.destination, expected) << set.name << ", " << walk.name << ", op " << int(kind.op) << ", " << kind.e
                                           << " bytes";
      }
}

TEST(RowKernels, SplitJobRangesGiveTheSameResult) {
  struct Kind {
    PixelOp op;
    std::uint32_t e;
  };
  // Many column tiles of every element width, so that parts end inside tiles.
  constexpr int kJobs = 2100;
  for (const KernelSet& set : Sets())
    for (bool column : {false, true})
      for (const Kind kind : {Kind{PixelOp::kCopy, 1}, Kind{PixelOp::kCopy, 2}, Kind{PixelOp::kCopy, 3},
                              Kind{PixelOp::kCopy, 4}, Kind{PixelOp::kComposite32To24, 4}}) {
        const Walk walk = column ? Walk::kColumnsUpward : Walk::kRowsBackward;
        Runs whole = Make(kind.op, kind.e, walk, kJobs, 40);
        RunAll(set, whole, 0, kJobs);
        for (int parts : {2, 3, 7, 8}) {
          Runs split = Make(kind.op, kind.e, walk, kJobs, 40);
          for (int i = 0; i < parts; ++i) RunAll(set, split, kJobs * i / parts, kJobs * (i + 1) / parts);
          EXPECT_EQ(split.destination, whole.destination)
              << set.name << ", " << parts << " parts of " << kind.e << "-byte elements";
        }
      }
}

TEST(RowKernels, WriteNothingOutsideTheirRuns) {
  // The bytes between runs (0xCD) must survive: a run's neighbours may belong to another
  // thread or to a band written earlier.
  // Runs of whole blocks (16) end in a block's last store; 24-bit results are stored 16
  // bytes at a time, 12 of them pixels, so runs that end 1 to 5 pixels after a group of 4
  // (9, 13, 17, 21) must cut their last stores.
  struct Kind {
    PixelOp op;
    std::uint32_t e;
  };
  for (const KernelSet& set : Sets())
    for (const Kind kind : {Kind{PixelOp::kCopy, 3}, Kind{PixelOp::kCopy, 4}, Kind{PixelOp::kStrip32To24, 4},
                            Kind{PixelOp::kComposite32To24, 4}})
      for (bool column : {false, true})
        for (std::uint32_t count : {5u, 9u, 13u, 16u, 17u, 21u}) {
          Runs s = Make(kind.op, kind.e, column ? Walk::kColumnsDownward : Walk::kRowsForward, 19, count);
          RunAll(set, s, 0, 19);
          const std::uint32_t runBytes = count * (kind.op == PixelOp::kCopy ? kind.e : 3);
          for (std::size_t k = 0; k < 19; ++k)
            for (std::size_t i = runBytes; i < s.destinationStride; ++i)
              ASSERT_EQ(s.destination[k * s.destinationStride + i], 0xCD)
                  << set.name << ", " << kind.e << "-byte elements, op " << int(kind.op) << ", job " << k << " byte " << i;
        }
}

}  // namespace
}  // namespace quorvel
