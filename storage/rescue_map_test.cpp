#include "storage/rescue_map.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "storage/test_map_text.h"

namespace vexlo {
namespace {

using testing::MapText;

struct SetStep {
  uint64_t begin;
  uint64_t end;
  char status;
};

// A map of `domain_bytes` after the steps, in order.
RescueMap MapAfter(uint64_t domain_bytes, const std::vector<SetStep>& steps) {
  RescueMap map(domain_bytes);
  for (const SetStep& step : steps) {
    map.Set(step.begin, step.end, static_cast<BlockStatus>(step.status));
  }
  return map;
}

TEST(RescueMap, SetSplitsAndMergesNeighbours) {
  struct Case {
    const char* name;
    std::vector<SetStep> steps;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"untouched", {}, "0-100:?"},
      {"front", {{0, 10, '+'}}, "0-10:+ 10-100:?"},
      {"back", {{90, 100, '-'}}, "0-90:? 90-100:-"},
      {"middle", {{40, 50, '*'}}, "0-40:? 40-50:* 50-100:?"},
      {"grows a block", {{0, 10, '+'}, {10, 20, '+'}}, "0-20:+ 20-100:?"},
      {"fills a hole between equals",
       {{0, 10, '+'}, {20, 30, '+'}, {10, 20, '+'}},
       "0-30:+ 30-100:?"},
      {"covers several blocks",
       {{10, 20, '*'}, {30, 40, '/'}, {50, 60, '-'}, {15, 55, '+'}},
       "0-10:? 10-15:* 15-55:+ 55-60:- 60-100:?"},
      {"whole domain", {{40, 50, '*'}, {0, 100, '+'}}, "0-100:+"},
      {"clipped to the domain", {{90, 500, '+'}}, "0-90:? 90-100:+"},
      {"empty range changes nothing", {{50, 50, '+'}, {60, 40, '+'}}, "0-100:?"},
      {"back to the surrounding status", {{40, 50, '*'}, {40, 50, '?'}}, "0-100:?"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MapText(MapAfter(100, c.steps)), c.expected);
  }
}

// Random changes against a byte-per-byte reference: the blocks, the lookups
// and the totals must always agree with it.
TEST(RescueMap, AgreesWithAPlainArrayOfStatuses) {
  constexpr uint64_t kDomain = 64;
  const char kStatuses[] = {'?', '*', '/', '-', '+'};
  std::mt19937 random(23);
  RescueMap map(kDomain);
  std::vector<char> reference(kDomain, '?');
  for (int step = 0; step < 4000; ++step) {
    const uint64_t a = random() % (kDomain + 1);
    const uint64_t b = random() % (kDomain + 1);
    const char status = kStatuses[random() % 5];
    map.Set(std::min(a, b), std::max(a, b), static_cast<BlockStatus>(status));
    for (uint64_t i = std::min(a, b); i < std::max(a, b); ++i) reference[i] = status;

    std::string expected;
    for (uint64_t i = 0; i < kDomain;) {
      uint64_t j = i;
      while (j < kDomain && reference[j] == reference[i]) ++j;
      if (!expected.empty()) expected += ' ';
      expected += std::to_string(i) + "-" + std::to_string(j) + ":" + reference[i];
      i = j;
    }
    ASSERT_EQ(MapText(map), expected) << "step " << step;

    const uint64_t position = random() % (kDomain + 1);
    const char wanted = kStatuses[random() % 5];
    ASSERT_EQ(static_cast<char>(map.StatusAt(std::min(position, kDomain - 1))),
              reference[std::min(position, kDomain - 1)]);
    const auto next = map.NextBlock(position, static_cast<BlockStatus>(wanted));
    uint64_t n = position;
    while (n < kDomain && reference[n] != wanted) ++n;
    if (n == kDomain) {
      ASSERT_FALSE(next.has_value());
    } else {
      ASSERT_TRUE(next.has_value());
      ASSERT_EQ(next->begin, n);
      uint64_t e = n;
      while (e < kDomain && reference[e] == wanted) ++e;
      ASSERT_EQ(next->end, e);
    }
    const auto previous = map.PreviousBlock(position, static_cast<BlockStatus>(wanted));
    uint64_t p = position;
    while (p > 0 && reference[p - 1] != wanted) --p;
    if (p == 0) {
      ASSERT_FALSE(previous.has_value());
    } else {
      ASSERT_TRUE(previous.has_value());
      ASSERT_EQ(previous->end, p);
      uint64_t s = p;
      while (s > 0 && reference[s - 1] == wanted) --s;
      ASSERT_EQ(previous->begin, s);
    }

    const MapTotals totals = map.Totals();
    uint64_t counts[256] = {};
    uint64_t areas = 0;
    for (uint64_t i = 0; i < kDomain; ++i) {
      ++counts[static_cast<unsigned char>(reference[i])];
      const bool failed = reference[i] == '*' || reference[i] == '/' || reference[i] == '-';
      const bool before =
          i > 0 && (reference[i - 1] == '*' || reference[i - 1] == '/' || reference[i - 1] == '-');
      if (failed && !before) ++areas;
    }
    ASSERT_EQ(totals.non_tried, counts[static_cast<unsigned char>('?')]);
    ASSERT_EQ(totals.non_trimmed, counts[static_cast<unsigned char>('*')]);
    ASSERT_EQ(totals.non_scraped, counts[static_cast<unsigned char>('/')]);
    ASSERT_EQ(totals.bad_sector, counts[static_cast<unsigned char>('-')]);
    ASSERT_EQ(totals.finished, counts[static_cast<unsigned char>('+')]);
    ASSERT_EQ(totals.bad_areas, areas);
  }
}

TEST(RescueMap, AlignsBoundariesToWholeSectors) {
  struct Case {
    const char* name;
    std::vector<SetStep> steps;  // on a domain of 40 bytes, sectors of 8
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"aligned stays", {{8, 16, '+'}}, "0-8:? 8-16:+ 16-40:?"},
      {"finished part of a non-tried sector", {{0, 12, '+'}, {12, 40, '?'}}, "0-8:+ 8-40:?"},
      {"bad part of a finished sector", {{0, 40, '+'}, {20, 21, '-'}}, "0-16:+ 16-24:- 24-40:+"},
      {"least advanced part wins",
       {{0, 40, '+'}, {17, 19, '/'}, {19, 22, '*'}},
       "0-16:+ 16-24:* 24-40:+"},
      {"bad byte in the last sector", {{0, 40, '+'}, {37, 38, '-'}}, "0-32:+ 32-40:-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RescueMap map = MapAfter(40, c.steps);
    map.AlignToSectors(8);
    EXPECT_EQ(MapText(map), c.expected);
  }
}

TEST(BlockStatus, LettersOrderAndFailuresAreTheMapfiles) {
  // The letter, its rank (-1: no block status), whether it is a failure.
  const std::tuple<char, int, bool> cases[] = {
      {'?', 0, false},
      {'*', 1, true},
      {'/', 2, true},
      {'-', 3, true},
      {'+', 4, false},
      // Fill and generate letters, and anything else, are no block status.
      {'F', -1, false},
      {'G', -1, false},
      {'x', -1, false},
      {'\0', -1, false},
  };
  for (const auto& [letter, rank, failed] : cases) {
    EXPECT_EQ(IsBlockStatus(letter), rank >= 0) << letter;
    if (rank < 0) continue;
    const auto status = static_cast<BlockStatus>(letter);
    EXPECT_EQ(StatusRank(status), rank) << letter;
    EXPECT_EQ(IsFailed(status), failed) << letter;
  }
}

TEST(RescueMap, EmptyDomainHasNoBlocks) {
  RescueMap map;
  map.Set(0, 10, BlockStatus::kFinished);
  EXPECT_TRUE(map.Blocks().empty());
  EXPECT_FALSE(map.NextBlock(0, BlockStatus::kNonTried).has_value());
  EXPECT_FALSE(map.PreviousBlock(10, BlockStatus::kNonTried).has_value());
}

}  // namespace
}  // namespace vexlo
