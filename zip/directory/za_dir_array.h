#pragma once
// The growable array of directory items.
#include <cstdint>
#include <deque>

#include "zip/directory/za_dir_item.h"

namespace zip {

class TZADirArray {
 public:
  static constexpr int32_t kInitialGrowStep = 500;
  static constexpr int32_t kMaxGrowStep = 10000;

  int32_t Count() const { return count_; }
  int32_t Capacity() const { return static_cast<int32_t>(items_.size()); }
  int32_t GrowStep() const { return growStep_; }
  // A negative count empties the array like 0.
  void SetCount(int32_t n);

  // Bad indexes raise EZAException 2, 1, 3 and 4 ("Index out of bounds").
  TDirItem GetItem(int32_t index) const;
  void SetItem(int32_t index, const TDirItem& item);
  TDirItem* GetItemPtr(int32_t index);
  const TDirItem* GetItemPtr(int32_t index) const;
  void Delete(int32_t index);

  void Clear();
  void Assign(const TZADirArray& other);
  void ClearSelection();

 private:
  void check(int32_t index, int32_t code) const;

  // Capacity slots; those from Count on are empty. A deque grows by blocks and never moves
  // what it holds: a growing directory is never there twice.
  std::deque<TDirItem> items_;
  int32_t count_ = 0;
  int32_t growStep_ = kInitialGrowStep;
};

}  // namespace zip
