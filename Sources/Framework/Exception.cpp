#include "Exception.h"

#include "CrashGuard.h"
#include "Interruption.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <string_view>
#include <typeinfo>

namespace Kalvoro {

namespace {

std::string_view SourceUnit(std::string_view aFile) {
#ifdef KALVORO_SOURCE_ROOT
  constexpr std::string_view Root = KALVORO_SOURCE_ROOT;
  if (aFile.starts_with(Root))
    return aFile.substr(Root.size());
#endif
  if (!aFile.starts_with('/'))
    while (aFile.starts_with("./") || aFile.starts_with("../"))
      aFile.remove_prefix(aFile.find('/') + 1);
  return aFile;
}

std::string DemangledName(const std::type_info* aType) {
  if (aType == nullptr)
    return "unknown";
  int Status = 0;
  std::unique_ptr<char, decltype(&std::free)> Name(
      abi::__cxa_demangle(aType->name(), nullptr, nullptr, &Status), &std::free);
  return Status == 0 && Name ? std::string(Name.get()) : std::string(aType->name());
}

// Copies aError.what() into aText. A what() that crashes (or returns
// nullptr) must not take the run down with it: it is called under the crash
// guard, with an interruption held back meanwhile so that the jump of one
// cannot land here. False when there is no text.
bool CopyWhat(const std::exception& aError, std::string* aText) {
  TSignalScope Scope;
  TCrashFrame Frame;
  int& Deferred = InterruptionDetail::Deferred;
  const int DeferredBefore = Deferred;
  PushCrashFrame(&Frame);
  if (sigsetjmp(Frame.Env, 1) != 0) {
    Deferred = DeferredBefore;
    LeaveCrashFrame(&Frame);
    return false;
  }
  ++Deferred;
  const char* Text = aError.what();
  if (Text != nullptr)
    *aText = Text;
  --Deferred;
  PopCrashFrame(&Frame);
  return Text != nullptr;
}

} // namespace

std::string CurrentExceptionText() {
  try {
    throw;
  } catch (const std::exception& Error) {
    std::string Text;
    if (CopyWhat(Error, &Text))
      return Text;
    return "Exception of type " + DemangledName(abi::__cxa_current_exception_type()) +
           " with no message";
  } catch (const char* Text) {
    return Text != nullptr ? Text : "";
  } catch (const std::string& Text) {
    return Text;
  } catch (...) {
    return "Unknown exception of type " + DemangledName(abi::__cxa_current_exception_type());
  }
}

void AssertionFailed(const char* aUnit, int aLine) {
  throw EAssertionFailed("Assertion failure (" + std::string(SourceUnit(aUnit)) + ", line " +
                         std::to_string(aLine) + ")");
}

void ListIndexError(int aIndex) {
  throw Exception("List index out of bounds (" + std::to_string(aIndex) + ")");
}

std::string WithFullStop(const std::string& aText) {
  if (!aText.empty() && static_cast<unsigned char>(aText.back()) > '.')
    return aText + ".";
  return aText;
}

} // namespace Kalvoro
