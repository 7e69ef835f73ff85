#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "platform/core/streams.h"
#include "zip/directory/za_dir_array.h"
#include "zip/za_except.h"

using namespace zip;

namespace {

// Counts its own destruction, to see who frees a source stream and how often.
class CountedStream : public platform::TMemoryStream {
 public:
  explicit CountedStream(int& destroyed) : destroyed_(destroyed) {}
  ~CountedStream() override { ++destroyed_; }

 private:
  int& destroyed_;
};

TDirItem named(const std::string& name) {
  TDirItem item;
  item.FileName = name;
  item.ExtraBlocks = {{0x5455, {1, 2, 3}}};
  return item;
}

void fill(TZADirArray& a, const std::vector<std::string>& names) {
  a.SetCount(static_cast<int32_t>(names.size()));
  for (size_t i = 0; i < names.size(); ++i) a.SetItem(static_cast<int32_t>(i), named(names[i]));
}

std::vector<std::string> names(const TZADirArray& a) {
  std::vector<std::string> out;
  for (int32_t i = 0; i < a.Count(); ++i) out.push_back(a.GetItem(i).FileName);
  return out;
}

}  // namespace

TEST(ZADirArray, GrowthRule) {
  struct Row {
    std::vector<int32_t> counts;
    std::vector<int32_t> capacities;
  };
  for (const Row& r : std::vector<Row>{
           {{1}, {1000}},
           {{1, 1001}, {1000, 3000}},
           {{5000}, {5000}},
           {{1, 1001, 3001, 7001, 15001, 25001}, {1000, 3000, 7000, 15000, 25000, 35000}},
           {{1, 0, 1}, {1000, 0, 2000}},  // the step is not reset by emptying
           {{1000, 10, 1000}, {1000, 1000, 1000}},
           {{-1}, {0}},
       }) {
    TZADirArray a;
    EXPECT_EQ(a.GrowStep(), 500);
    for (size_t i = 0; i < r.counts.size(); ++i) {
      a.SetCount(r.counts[i]);
      EXPECT_EQ(a.Capacity(), r.capacities[i]) << "after SetCount(" << r.counts[i] << ")";
      EXPECT_EQ(a.Count(), std::max(r.counts[i], 0));
    }
  }
}

TEST(ZADirArray, BadIndexes) {
  TZADirArray a;
  fill(a, {"a", "b"});
  struct Row {
    const char* what;
    std::function<void()> call;
    int code;
  };
  const std::vector<Row> rows = {
      {"GetItem -1", [&] { a.GetItem(-1); }, zeGetItemIndex},
      {"GetItem Count", [&] { a.GetItem(2); }, zeGetItemIndex},
      {"SetItem Count", [&] { a.SetItem(2, named("x")); }, zeSetItemIndex},
      {"SetItem -1", [&] { a.SetItem(-1, named("x")); }, zeSetItemIndex},
      {"GetItemPtr -1", [&] { a.GetItemPtr(-1); }, zeItemPtrIndex},
      {"GetItemPtr Count", [&] { a.GetItemPtr(2); }, zeItemPtrIndex},
      {"Delete Count", [&] { a.Delete(2); }, zeDeleteItemIndex},
      {"Delete -1", [&] { a.Delete(-1); }, zeDeleteItemIndex},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    try {
      r.call();
      ADD_FAILURE() << "no exception";
    } catch (const EZAException& e) {
      EXPECT_EQ(e.NativeError, r.code);
      EXPECT_EQ(e.ErrorCode, 1);
      EXPECT_EQ(e.message(), "Index out of bounds - Native error: 0000" + std::to_string(r.code));
    }
    EXPECT_EQ(names(a), (std::vector<std::string>{"a", "b"}));
  }
}

TEST(ZADirArray, DeleteShrinkAndClear) {
  TZADirArray a;
  fill(a, {"a", "b", "c", "d"});
  a.Delete(1);
  EXPECT_EQ(names(a), (std::vector<std::string>{"a", "c", "d"}));
  a.Delete(2);  // the last only drops
  EXPECT_EQ(names(a), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(a.Capacity(), 1000);

  // Slots left by a smaller count come back empty.
  fill(a, {"a", "b", "c", "d", "e"});
  a.GetItemPtr(4)->StorePending = true;
  a.SetCount(3);
  a.SetCount(5);
  const TDirItem slot = a.GetItem(4);
  EXPECT_TRUE(slot.FileName.empty());
  EXPECT_TRUE(slot.ExtraBlocks.empty());
  EXPECT_FALSE(slot.StorePending);
  EXPECT_EQ(slot.Signature, kCentralHeaderSignature);

  a.GetItemPtr(0)->Selected = true;
  a.GetItemPtr(2)->Selected = true;
  a.ClearSelection();
  for (int32_t i = 0; i < a.Count(); ++i) EXPECT_FALSE(a.GetItem(i).Selected);

  a.Clear();
  EXPECT_EQ(a.Count(), 0);
  EXPECT_EQ(a.Capacity(), 1000);
}

TEST(ZADirArray, CopiesAreDeep) {
  TZADirArray a, b;
  TDirItem source = named("x");
  a.SetCount(1);
  a.SetItem(0, source);
  source.ExtraBlocks[0].Data[0] = 99;
  EXPECT_EQ(a.GetItem(0).ExtraBlocks[0].Data[0], 1);

  TDirItem copy = a.GetItem(0);
  copy.ExtraBlocks[0].Data[0] = 42;
  EXPECT_EQ(a.GetItem(0).ExtraBlocks[0].Data[0], 1);

  b.Assign(a);
  a.GetItemPtr(0)->ExtraBlocks[0].Data[1] = 77;
  a.Clear();
  ASSERT_EQ(b.Count(), 1);
  EXPECT_EQ(b.GetItem(0).ExtraBlocks[0].Data, (std::vector<uint8_t>{1, 2, 3}));

  b.Assign(b);
  EXPECT_EQ(b.Count(), 1);
  TZADirArray empty;
  b.Assign(empty);
  EXPECT_EQ(b.Count(), 0);
}

// The working and the rollback directory hold the same source stream: it is
// freed once, by whichever lets go last, and a borrowed one never.
TEST(ZADirArray, SourceStreamsSharedBetweenArrays) {
  int destroyed = 0;
  platform::TMemoryStream borrowed;
  {
    TZADirArray working, rollback;
    working.SetCount(2);
    working.GetItemPtr(0)->SetOwnedSourceStream(std::make_unique<CountedStream>(destroyed));
    working.GetItemPtr(1)->SetBorrowedSourceStream(borrowed);
    EXPECT_TRUE(working.GetItem(0).Extras().OwnsSourceStream);
    EXPECT_FALSE(working.GetItem(1).Extras().OwnsSourceStream);

    rollback.Assign(working);
    working.Delete(0);
    EXPECT_EQ(destroyed, 0);  // the rollback copy still holds it
    EXPECT_EQ(rollback.GetItem(0).Extras().SourceStream->Write("abc", 3), 3);

    working.Assign(rollback);
    rollback.SetCount(0);
    EXPECT_EQ(destroyed, 0);
    working.Clear();
    EXPECT_EQ(destroyed, 1);
  }
  EXPECT_EQ(destroyed, 1);

  // Arrays that go away with their items free an owned stream once.
  {
    TZADirArray working, rollback;
    working.SetCount(1);
    working.GetItemPtr(0)->SetOwnedSourceStream(std::make_unique<CountedStream>(destroyed));
    rollback.Assign(working);
  }
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(borrowed.Write("still here", 10), 10);
}

// A large directory grows in steps: items already read stay where they are, so that no step
// holds the old items and a copy of them at once.
TEST(ZADirArray, GrowingLeavesTheItemsInPlace) {
  TZADirArray a;
  fill(a, {"a", "b"});
  const TDirItem* first = a.GetItemPtr(0);
  const TDirItem* second = a.GetItemPtr(1);
  for (int32_t n : {1001, 3001, 25001, 60001}) {
    a.SetCount(n);
    EXPECT_EQ(a.GetItemPtr(0), first) << n;
    EXPECT_EQ(a.GetItemPtr(1), second) << n;
  }
  EXPECT_EQ(a.GetItem(1).FileName, "b");
}
