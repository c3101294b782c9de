// Modules built with a sanitizer. Their runtime must be in the process
// before anything else (AddressSanitizer refuses to start otherwise, and
// ThreadSanitizer needs static TLS), so such a module runs only in a host
// started with the runtime preloaded, one host per runtime. What a module
// needs is read from its bytes: gcc's runtimes are DT_NEEDED entries,
// clang's static runtimes leave __asan_init, __tsan_init or __ubsan_*
// undefined in a shared library.
#pragma once

#include <string>
#include <vector>

namespace Kalvoro {

enum TSanitizerBit : unsigned {
  sbAddress = 1,
  sbUndefined = 2,
  sbThread = 4,
  sbLeak = 8,
};

struct TSanitizerNeeds {
  unsigned Sanitizers = 0; // TSanitizerBit
  // The runtimes to preload, the one that must come first first: gcc's by
  // their sonames, clang's by the path that clang gives.
  std::vector<std::string> Runtimes;
  // Set when a runtime the module needs cannot be found (clang's).
  std::string Missing;
};

// What the ELF file at aPath needs; nothing for a file that is not one.
TSanitizerNeeds SanitizerNeeds(const std::string& aPath);

// "AddressSanitizer and UndefinedBehaviorSanitizer"; "ASan, UBSan" when aShort.
std::string SanitizerNames(unsigned aSanitizers, bool aShort = false);

// How hosts for a module start: the runtimes preloaded (empty where the
// host program has them already, or the module needs none), or why no host
// can run the module.
struct THostRuntime {
  std::string Preload;     // LD_PRELOAD's value for the runtimes
  unsigned Sanitizers = 0; // what the module is built with
  std::string Refusal;
  // The variables that a host started with it gets: the preload and the
  // sanitizers' options (what the host needs, then the user's, which win).
  std::vector<std::string> Environment() const;
  // ThreadSanitizer's runtime of gcc 12 maps its shadow memory at fixed
  // places, which the address randomisation of recent kernels may take.
  bool FixedAddresses() const { return !Preload.empty() && (Sanitizers & sbThread) != 0; }
  // A preloaded runtime with LeakSanitizer looks for leaks at the host's
  // end: such a host serves one module file and ends with it, so that what
  // that check reports belongs to the module.
  bool ChecksLeaksAtEnd() const {
    return !Preload.empty() && (Sanitizers & (sbAddress | sbLeak)) != 0;
  }
  bool operator==(const THostRuntime&) const = default;
};

THostRuntime HostRuntimeFor(const std::string& aModulePath);

// Why the module at aPath cannot be loaded in this process ("built with
// AddressSanitizer: runs in hosts only"); empty where it can (it needs no
// sanitizer, or this process has its runtime).
std::string InProcessRefusal(const std::string& aPath);

// The variable through which a host learns which part of LD_PRELOAD the
// runner put there, to remove it after its start.
inline constexpr const char* PreloadedVariable = "KALVORO_PRELOADED";

} // namespace Kalvoro
