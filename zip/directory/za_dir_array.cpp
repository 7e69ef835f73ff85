#include "zip/directory/za_dir_array.h"

#include <algorithm>

#include "zip/za_except.h"

namespace zip {

void TZADirArray::check(int32_t index, int32_t code) const {
  if (index < 0 || index >= count_) throw EZAException(code);
}

void TZADirArray::SetCount(int32_t n) {
  n = std::max(n, 0);
  const int32_t capacity = Capacity();
  if (n > capacity) {
    growStep_ = std::min(2 * growStep_, kMaxGrowStep);
    const int64_t grown = int64_t{capacity} + growStep_;
    items_.resize(static_cast<size_t>(grown > n ? grown : n));
  } else if (n == 0) {
    std::deque<TDirItem>().swap(items_);
  } else {
    for (int32_t i = n; i < count_; ++i) items_[static_cast<size_t>(i)] = TDirItem{};
  }
  count_ = n;
}

TDirItem TZADirArray::GetItem(int32_t index) const {
  check(index, zeGetItemIndex);
  return items_[static_cast<size_t>(index)];
}

void TZADirArray::SetItem(int32_t index, const TDirItem& item) {
  check(index, zeSetItemIndex);
  items_[static_cast<size_t>(index)] = item;  // a deep copy of the blocks; the source stream is shared
}

TDirItem* TZADirArray::GetItemPtr(int32_t index) {
  check(index, zeItemPtrIndex);
  return &items_[static_cast<size_t>(index)];
}

const TDirItem* TZADirArray::GetItemPtr(int32_t index) const {
  check(index, zeItemPtrIndex);
  return &items_[static_cast<size_t>(index)];
}

void TZADirArray::Delete(int32_t index) {
  check(index, zeDeleteItemIndex);
  items_.erase(items_.begin() + index);
  items_.emplace_back();
  --count_;
}

void TZADirArray::Clear() {
  for (int32_t i = 0; i < count_; ++i) items_[static_cast<size_t>(i)] = TDirItem{};
  count_ = 0;
}

void TZADirArray::Assign(const TZADirArray& other) {
  if (&other == this) return;
  Clear();
  SetCount(other.Count());
  for (int32_t i = 0; i < other.Count(); ++i) SetItem(i, other.GetItem(i));
}

void TZADirArray::ClearSelection() {
  for (int32_t i = 0; i < count_; ++i) items_[static_cast<size_t>(i)].Selected = false;
}

}  // namespace zip
