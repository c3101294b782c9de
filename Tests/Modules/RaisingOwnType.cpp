// The exported Register raises an error whose type is defined in this module:
// it cannot outlive the module, so the loader passes on its text.
#include "UnitTest.h"

#include <stdexcept>

namespace {
class ERefusedHere : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};
} // namespace

extern "C" KALVORO_EXPORT void Register() {
  throw ERefusedHere("refused with a type of its own");
}
