#include "Exception.h"

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

} // namespace

std::string CurrentExceptionText() {
  try {
    throw;
  } catch (const std::exception& Error) {
    return Error.what();
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
