// The core's own storage of mappings and sets: insertion order, one entry
// per key, erased keys gone, and records that stay where they were made,
// on both sides of the size at which the storage starts indexing its keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/containers.h"

namespace {

struct Rec : nv::Record {
  explicit Rec(long v) : v(v) {}
  long v;
};

std::vector<std::string> members(const nv::Set<std::string>& s) { return s.values(); }

TEST(NativeStorage, DictKeepsOrderAndOneEntryPerKeyAtEverySize) {
  for (size_t n : {0, 1, 7, 8, 9, 16, 17, 300}) {
    nv::Dict<std::string, long> d;
    for (size_t i = 0; i < n; ++i) d.insert_or_assign("k" + std::to_string(i), long(i));
    // Replacing keeps the key's place.
    for (size_t i = 0; i < n; i += 3) d.insert_or_assign("k" + std::to_string(i), -long(i));
    ASSERT_EQ(d.size(), n);
    size_t at = 0;
    for (const auto& [k, v] : d) {
      EXPECT_EQ(k, "k" + std::to_string(at)) << n;
      EXPECT_EQ(v, at % 3 == 0 ? -long(at) : long(at)) << n;
      ++at;
    }
    EXPECT_EQ(at, n);
    for (size_t i = 0; i < n; ++i) EXPECT_TRUE(d.contains("k" + std::to_string(i)));
    EXPECT_FALSE(d.contains("k" + std::to_string(n)));
    EXPECT_FALSE(d.contains("k"));
  }
}

TEST(NativeStorage, ErasedKeysAreGoneAndComeBackLast) {
  for (size_t n : {5, 8, 9, 40}) {
    nv::Set<std::string> s;
    for (size_t i = 0; i < n; ++i) s.insert("swp" + std::to_string(i));
    EXPECT_TRUE(s.erase("swp0"));
    EXPECT_FALSE(s.erase("swp0"));
    EXPECT_FALSE(s.contains("swp0"));
    EXPECT_EQ(s.size(), n - 1);
    EXPECT_TRUE(s.insert("swp0"));
    EXPECT_FALSE(s.insert("swp0"));
    std::vector<std::string> want;
    for (size_t i = 1; i < n; ++i) want.push_back("swp" + std::to_string(i));
    want.push_back("swp0");
    EXPECT_EQ(members(s), want) << n;
    // Many erasures and insertions of other keys: the index is rebuilt
    // over and over and still finds every live key.
    for (int round = 0; round < 200; ++round) {
      s.insert("x" + std::to_string(round));
      if (round % 2) s.erase("x" + std::to_string(round - 1));
    }
    for (int round = 0; round < 200; ++round)
      EXPECT_EQ(s.contains("x" + std::to_string(round)), round % 2 == 1) << round;
    for (const std::string& w : want) EXPECT_TRUE(s.contains(w));
  }
}

TEST(NativeStorage, RecordsStayWhereTheyWereMadeAndIntegerKeysWork) {
  nv::Dict<long, Rec> d;
  std::vector<const Rec*> where;
  for (long k = -3; k < 1000; ++k) where.push_back(&d.insert_or_assign(k * 4096, Rec(k)));
  for (long k = -3; k < 1000; ++k) {
    auto found = d.lookup(k * 4096);
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found.value, where[static_cast<size_t>(k + 3)]);
    EXPECT_EQ(found.get().v, k);
  }
  EXPECT_TRUE(d.lookup(1).empty());
  d.clear();
  EXPECT_EQ(d.size(), 0u);
  EXPECT_TRUE(d.lookup(0).empty());
  d.insert_or_assign(0, Rec(9));
  EXPECT_EQ(d.at(0).v, 9);
}

}  // namespace
