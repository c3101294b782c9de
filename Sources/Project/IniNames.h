// Names of an INI file's sections and entries: kept in insertion order and
// looked up without regard to ASCII letter case. Used by IniFile.cpp only.
#pragma once

#include "Exception.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace Kalvoro::IniNames {

inline char FoldChar(char aChar) {
  return aChar >= 'A' && aChar <= 'Z' ? static_cast<char>(aChar - 'A' + 'a') : aChar;
}

// Hashing and comparison of names without regard to ASCII letter case.
struct TFoldHash {
  std::size_t operator()(std::string_view aText) const noexcept {
    std::uint64_t Hash = 14695981039346656037ull;
    for (const char Char : aText)
      Hash = (Hash ^ static_cast<unsigned char>(FoldChar(Char))) * 1099511628211ull;
    return static_cast<std::size_t>(Hash);
  }
};

struct TFoldEqual {
  bool operator()(std::string_view aLeft, std::string_view aRight) const noexcept {
    if (aLeft.size() != aRight.size())
      return false;
    for (std::size_t Index = 0; Index < aLeft.size(); ++Index)
      if (FoldChar(aLeft[Index]) != FoldChar(aRight[Index]))
        return false;
    return true;
  }
};

constexpr std::size_t NoIndex = static_cast<std::size_t>(-1);

// Names stored in insertion order, looked up by folded name. Items whose names
// fold alike are chained, so that an exactly spelt name can be preferred. The
// look-up table is open addressing over item numbers (4 bytes a slot, at most
// half full), and an index that holds nothing allocates nothing: a file of
// many empty sections costs little more than their names.
template <class TItem> class TNameIndex {
public:
  // The item spelt exactly as aName, else the first that folds alike.
  const TItem* Find(std::string_view aName) const {
    const std::size_t First = FindFirst(aName);
    if (First == NoIndex)
      return nullptr;
    for (std::size_t Index = First; Index != NoIndex; Index = FItems[Index].NextSameFold)
      if (FItems[Index].Name == aName)
        return &FItems[Index];
    return &FItems[First];
  }
  // The item spelt exactly as aName, or nullptr.
  TItem* FindExact(std::string_view aName) {
    for (std::size_t Index = FindFirst(aName); Index != NoIndex; Index = FItems[Index].NextSameFold)
      if (FItems[Index].Name == aName)
        return &FItems[Index];
    return nullptr;
  }
  TItem& Append(std::string_view aName) {
    if (FItems.size() >= MaxItems)
      throw Exception("Too many names in one INI text");
    if ((FUsed + 1) * 2 > FSlots.size())
      Grow();
    const std::size_t NewIndex = FItems.size();
    TItem& Item = FItems.emplace_back();
    Item.Name = std::string(aName);
    std::size_t Slot = SlotOf(aName);
    if (FSlots[Slot] == EmptySlot) {
      FSlots[Slot] = static_cast<std::uint32_t>(NewIndex);
      ++FUsed;
    } else {
      std::size_t Index = FSlots[Slot];
      while (FItems[Index].NextSameFold != NoIndex)
        Index = FItems[Index].NextSameFold;
      FItems[Index].NextSameFold = NewIndex;
    }
    return Item;
  }
  const std::deque<TItem>& Items() const { return FItems; }

private:
  static constexpr std::uint32_t EmptySlot = UINT32_MAX;
  static constexpr std::size_t MaxItems = UINT32_MAX - 1;

  // The slot that holds the chain of names folding like aName, or the empty
  // slot where it would go. The table is never full.
  std::size_t SlotOf(std::string_view aName) const {
    const std::size_t Mask = FSlots.size() - 1;
    for (std::size_t Slot = TFoldHash()(aName) & Mask;; Slot = (Slot + 1) & Mask)
      if (FSlots[Slot] == EmptySlot || TFoldEqual()(FItems[FSlots[Slot]].Name, aName))
        return Slot;
  }
  std::size_t FindFirst(std::string_view aName) const {
    if (FSlots.empty())
      return NoIndex;
    const std::uint32_t Index = FSlots[SlotOf(aName)];
    return Index == EmptySlot ? NoIndex : Index;
  }
  // Doubles the table (16 slots at first) and puts every chain's head back.
  void Grow() {
    std::vector<std::uint32_t> Old(std::max<std::size_t>(16, FSlots.size() * 2), EmptySlot);
    Old.swap(FSlots);
    const std::size_t Mask = FSlots.size() - 1;
    for (const std::uint32_t Index : Old) {
      if (Index == EmptySlot)
        continue;
      std::size_t Slot = TFoldHash()(FItems[Index].Name) & Mask;
      while (FSlots[Slot] != EmptySlot)
        Slot = (Slot + 1) & Mask;
      FSlots[Slot] = Index;
    }
  }

  // A deque keeps its items in place, so pointers to them stay valid.
  std::deque<TItem> FItems;
  std::vector<std::uint32_t> FSlots;
  std::size_t FUsed = 0;
};

} // namespace Kalvoro::IniNames
