// The object a tree row stands for: a pointer (not owned) that remembers the
// type it was made from, so that a row made from a TModule* answers As<TModule>()
// and nothing else, and a row without an object answers none.
#pragma once

#include <cstddef>
#include <typeinfo>

namespace Kalvoro {

class TRowObject {
public:
  TRowObject() = default;
  TRowObject(std::nullptr_t) {}
  // Implicit, so that a row is made from any object pointer as it stands.
  template <class T>
  TRowObject(T* aObject)
      : FObject(const_cast<void*>(static_cast<const volatile void*>(aObject))),
        FType(aObject != nullptr ? &typeid(T*) : nullptr) {}

  // The object when the row was made from a T* of exactly this type (with the
  // same constness), else null. A base or derived type does not match.
  template <class T> T* As() const {
    return FType != nullptr && *FType == typeid(T*) ? static_cast<T*>(FObject) : nullptr;
  }
  bool IsNull() const { return FObject == nullptr; }
  // The object's address, for looking rows up by object.
  const void* Address() const { return FObject; }
  bool operator==(const TRowObject& aOther) const {
    return FObject == aOther.FObject &&
           (FType == aOther.FType || (FType && aOther.FType && *FType == *aOther.FType));
  }

private:
  void* FObject = nullptr;
  // typeid of the pointer type, which keeps the constness of the object.
  const std::type_info* FType = nullptr;
};

} // namespace Kalvoro
