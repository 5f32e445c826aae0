// The stable record sort: ascending keeps equal keys in order, descending
// reverses them; a failed sort leaves the records alone.
#include "quick/record_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "../support/alloc_failure.h"
#include "interface/memory.h"

namespace {

// A record whose key sits behind other data, as in the real callers.
struct Item {
  char name;
  double payload;
  int32_t key;
  int16_t tail;
};

std::string Names(const std::vector<Item>& items) {
  std::string s;
  for (const Item& i : items) s += i.name;
  return s;
}

std::vector<Item> Items(const std::vector<int32_t>& keys) {
  std::vector<Item> items;
  for (size_t i = 0; i < keys.size(); ++i)
    items.push_back(Item{char('A' + i), double(i) * 1.5, keys[i], int16_t(i)});
  return items;
}

int32_t Sort(std::vector<Item>& items, int32_t direction) {
  return vtl::SortRecords(items.data(), sizeof(Item), int32_t(items.size()), offsetof(Item, key),
                          direction);
}

// Against std::stable_sort, reversed for descending (any direction but 1).
// Many equal keys, single records, and the int32 extremes, where a comparison
// by subtraction would overflow; whole records move, not just their keys.
TEST(RecordSort, MatchesStableSortOrItsReverse) {
  std::mt19937 random(7);
  const int32_t pool[] = {INT32_MIN, -4, -1, 0, 0, 2, 3, INT32_MAX};
  for (int round = 0; round < 20; ++round) {
    std::vector<int32_t> keys(1 + random() % 60);
    for (int32_t& k : keys) k = pool[random() % 8];
    std::vector<Item> ascending = Items(keys);
    std::stable_sort(ascending.begin(), ascending.end(),
                     [](const Item& a, const Item& b) { return a.key < b.key; });
    const std::vector<Item> descending(ascending.rbegin(), ascending.rend());
    for (const int32_t direction : {vtl::kSortAscending, vtl::kSortDescending, 7}) {
      std::vector<Item> items = Items(keys);
      ASSERT_EQ(Sort(items, direction), 0);
      const std::vector<Item>& expected = direction == vtl::kSortAscending ? ascending : descending;
      EXPECT_EQ(Names(items), Names(expected)) << direction;
      for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].payload, expected[i].payload);
        EXPECT_EQ(items[i].tail, expected[i].tail);
      }
    }
  }
  EXPECT_EQ(vtl::SortRecords(nullptr, sizeof(Item), 0, 0, 1), 0);
}

TEST(RecordSort, OutOfMemoryLeavesRecordsInPlace) {
  std::vector<Item> items;
  std::string output;
  int32_t status = 0;
  const int64_t points = vtl::testing::ForEachAllocationFailure(
      [&] {
        items = Items({5, 3, 5, 1});
        ::testing::internal::CaptureStdout();
        status = Sort(items, vtl::kSortDescending);
        output = ::testing::internal::GetCapturedStdout();
      },
      [&](int64_t n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(status, 19);
        EXPECT_EQ(Names(items), "ABCD");
        // Only the failure of the scratch copy (the third block) is told.
        EXPECT_EQ(output, n == 3 ? "\nInsufficient Memory!\n" : "");
      });
  EXPECT_EQ(points, 3);  // index array, key array, scratch copy
}

}  // namespace
