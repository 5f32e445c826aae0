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

TEST(RecordSort, EqualKeysAscendingAndDescending) {
  struct Case {
    std::vector<int32_t> keys;
    int32_t direction;
    const char* expected;
  };
  const Case cases[] = {
      {{5, 3, 5, 1}, vtl::kSortAscending, "DBAC"},
      {{5, 3, 5, 1}, vtl::kSortDescending, "CABD"},
      {{5, 3, 5, 1}, 7, "CABD"},  // any direction but 1 is descending
      {{-2, 4, -7, 0, -2}, vtl::kSortAscending, "CAEDB"},
      {{-2, 4, -7, 0, -2}, vtl::kSortDescending, "BDEAC"},
      {{INT32_MIN, INT32_MAX, 0}, vtl::kSortAscending, "ACB"},
      {{9}, vtl::kSortAscending, "A"},
      {{2, 2, 2}, vtl::kSortDescending, "CBA"},
  };
  for (const Case& c : cases) {
    std::vector<Item> items = Items(c.keys);
    EXPECT_EQ(Sort(items, c.direction), 0);
    EXPECT_EQ(Names(items), c.expected);
    for (const Item& i : items) {
      // Whole records move, not just keys.
      EXPECT_EQ(i.payload, double(i.name - 'A') * 1.5);
      EXPECT_EQ(i.tail, i.name - 'A');
    }
  }
  EXPECT_EQ(vtl::SortRecords(nullptr, sizeof(Item), 0, 0, 1), 0);
}

TEST(RecordSort, MatchesStableSortOnRandomKeys) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    std::vector<Item> items(1 + random() % 60);
    for (size_t i = 0; i < items.size(); ++i)
      items[i] = Item{char(i), 0.0, int32_t(random() % 9) - 4, int16_t(i)};
    std::vector<Item> ascending = items;
    std::stable_sort(ascending.begin(), ascending.end(),
                     [](const Item& a, const Item& b) { return a.key < b.key; });
    std::vector<Item> descending(ascending.rbegin(), ascending.rend());

    std::vector<Item> up = items, down = items;
    ASSERT_EQ(Sort(up, vtl::kSortAscending), 0);
    ASSERT_EQ(Sort(down, vtl::kSortDescending), 0);
    for (size_t i = 0; i < items.size(); ++i) {
      EXPECT_EQ(up[i].tail, ascending[i].tail);
      EXPECT_EQ(down[i].tail, descending[i].tail);
    }
  }
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
