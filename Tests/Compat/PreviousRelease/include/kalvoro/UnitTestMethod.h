// Test methods, their results and the typed lists of the framework.
#pragma once

#include "Exception.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Kalvoro {

class TUnitTestBase;

// Names of scenarios, unit tests and methods are cut to this many bytes, at
// the start of a UTF-8 character, so that a name never ends in half of one.
inline constexpr std::size_t MaxNameLength = 255;
inline std::string CutName(std::string_view aName, std::size_t aLength = MaxNameLength) {
  if (aName.size() <= aLength)
    return std::string(aName);
  // Back off over continuation bytes (10xxxxxx) to the start of a character.
  while (aLength > 0 && (static_cast<unsigned char>(aName[aLength]) & 0xC0) == 0x80)
    --aLength;
  return std::string(aName.substr(0, aLength));
}

// Ordered by severity: a unit test takes the worst result of its methods.
enum TUnitTestResult : std::uint8_t { tcrTodo, tcrSuccess, tcrFailure, tcrException };

// A test method bound to its unit test.
struct TUnitTestProc {
  TUnitTestBase* Object = nullptr;
  void (TUnitTestBase::*Code)() = nullptr;

  bool HasMethod() const { return Code != nullptr; }
};

// An ordered list of objects that owns them or not, fixed at creation.
template <class T> class TTypedList {
public:
  explicit TTypedList(bool aOwnsObjects) : FOwnsObjects(aOwnsObjects) {}
  TTypedList(const TTypedList&) = delete;
  TTypedList& operator=(const TTypedList&) = delete;
  ~TTypedList() { Clear(); }

  int Count() const { return static_cast<int>(FItems.size()); }
  bool OwnsObjects() const { return FOwnsObjects; }

  int Add(T* aItem) {
    CheckItem(aItem);
    FItems.push_back(aItem);
    return Count() - 1;
  }
  T* GetItem(int aIndex) const {
    CheckIndex(aIndex, Count());
    return FItems[static_cast<std::size_t>(aIndex)];
  }
  T* operator[](int aIndex) const { return GetItem(aIndex); }
  int IndexOf(const T* aItem) const {
    for (std::size_t I = 0; I < FItems.size(); ++I)
      if (FItems[I] == aItem)
        return static_cast<int>(I);
    return -1;
  }
  void Insert(int aIndex, T* aItem) {
    CheckItem(aItem);
    CheckIndex(aIndex, Count() + 1);
    FItems.insert(FItems.begin() + aIndex, aItem);
  }
  // Takes the item out; an owning list destroys it. Returns its former index.
  int Remove(T* aItem) {
    CheckItem(aItem);
    const int Index = IndexOf(aItem);
    if (Index >= 0)
      Delete(Index);
    return Index;
  }
  void Delete(int aIndex) {
    CheckIndex(aIndex, Count());
    T* Item = FItems[static_cast<std::size_t>(aIndex)];
    FItems.erase(FItems.begin() + aIndex);
    if (FOwnsObjects)
      delete Item;
  }
  // Replaces the item at aIndex; an owning list destroys the one it replaces.
  void SetItem(int aIndex, T* aItem) {
    CheckItem(aItem);
    CheckIndex(aIndex, Count());
    T* Old = FItems[static_cast<std::size_t>(aIndex)];
    FItems[static_cast<std::size_t>(aIndex)] = aItem;
    if (FOwnsObjects && Old != aItem)
      delete Old;
  }
  // Empties the list, destroying the items of an owning list in list order.
  void Clear() {
    std::vector<T*> Items;
    Items.swap(FItems);
    if (FOwnsObjects)
      for (T* Item : Items)
        delete Item;
  }

  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

private:
  static void CheckIndex(int aIndex, int aLimit) {
    if (aIndex < 0 || aIndex >= aLimit)
      ListIndexError(aIndex);
  }
  static void CheckItem(const T* aItem);

  std::vector<T*> FItems;
  bool FOwnsObjects;
};

class KALVORO_API TUnitTestMethod {
public:
  TUnitTestMethod(TUnitTestProc aMethod, std::string_view aName);
  ~TUnitTestMethod();
  TUnitTestMethod(const TUnitTestMethod&) = delete;
  TUnitTestMethod& operator=(const TUnitTestMethod&) = delete;

  void Fire();

  const TUnitTestProc& Method() const { return FMethod; }
  const std::string& Name() const { return FName; }
  TUnitTestResult TestResult() const { return FTestResult; }
  void SetTestResult(TUnitTestResult aValue) { FTestResult = aValue; }

private:
  TUnitTestProc FMethod;
  std::string FName;
  TUnitTestResult FTestResult = tcrTodo;
};

using TUnitTestMethodList = TTypedList<TUnitTestMethod>;

template <class T> void TTypedList<T>::CheckItem(const T* aItem) {
  if (aItem == nullptr)
    AssertionFailed();
}

} // namespace Kalvoro
