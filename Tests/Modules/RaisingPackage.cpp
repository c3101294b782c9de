// A package whose start-up raises an error of a type that lives in the package
// itself: once the package is released, only the error's text may remain.
#include <exception>

namespace {
class TStartupError : public std::exception {
public:
  const char* what() const noexcept override { return "start-up refused"; }
};
} // namespace

extern "C" __attribute__((visibility("default"))) void Initialize() {
  throw TStartupError();
}

extern "C" __attribute__((visibility("default"))) void Finalize() {}
