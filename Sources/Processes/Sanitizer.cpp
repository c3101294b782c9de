#include "Sanitizer.h"

#include "ElfDynamic.h"
#include "HostProgram.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace Kalvoro {

namespace {

#if defined(__x86_64__)
constexpr const char* Architecture = "x86_64";
#elif defined(__aarch64__)
constexpr const char* Architecture = "aarch64";
#else
constexpr const char* Architecture = "unknown";
#endif

// Where clang keeps one of its runtimes; empty when it is not there.
std::string ClangRuntime(const std::string& aName) {
  static std::mutex Lock;
  static std::map<std::string, std::string> Found;
  const std::lock_guard<std::mutex> Hold(Lock);
  const auto Known = Found.find(aName);
  if (Known != Found.end())
    return Known->second;
  std::string Path;
  const std::string Command = "clang -print-file-name=" + aName + " 2>/dev/null";
  if (std::FILE* Output = popen(Command.c_str(), "r")) {
    char Line[4096];
    if (std::fgets(Line, sizeof Line, Output) != nullptr)
      Path = Line;
    pclose(Output);
  }
  while (!Path.empty() && (Path.back() == '\n' || Path.back() == '\r'))
    Path.pop_back();
  // clang echoes a name that it did not find.
  if (Path.empty() || Path.front() != '/' || access(Path.c_str(), R_OK) != 0)
    Path.clear();
  return Found[aName] = Path;
}

bool StartsWith(const std::string& aText, const char* aPrefix) {
  return aText.rfind(aPrefix, 0) == 0;
}

// The sanitizer of one of gcc's runtimes, by its soname; 0 for another file.
unsigned GccRuntime(const std::string& aName) {
  if (StartsWith(aName, "libasan.so"))
    return sbAddress;
  if (StartsWith(aName, "libtsan.so"))
    return sbThread;
  if (StartsWith(aName, "liblsan.so"))
    return sbLeak;
  if (StartsWith(aName, "libubsan.so"))
    return sbUndefined;
  return 0;
}

std::string Join(const std::vector<std::string>& aParts, const char* aBetween) {
  std::string Text;
  for (const std::string& Part : aParts)
    Text += (Text.empty() ? "" : aBetween) + Part;
  return Text;
}

// The user's value of aName after aOurs, so that the user's options win.
std::string WithUsers(const char* aName, const std::string& aOurs) {
  const char* User = std::getenv(aName);
  return std::string(aName) + "=" + aOurs +
         (User != nullptr && *User != 0 ? ":" + std::string(User) : "");
}

} // namespace

TSanitizerNeeds SanitizerNeeds(const std::string& aPath) {
  TSanitizerNeeds Needs;
  TElfDynamic Dynamic;
  if (!ReadElfDynamic(aPath, Dynamic))
    return Needs;
  const std::vector<std::string>& Needed = Dynamic.Needed;
  const std::vector<std::string>& Undefined = Dynamic.Undefined;
  std::vector<std::string> Later; // UBSan's runtime comes after the others
  for (const std::string& Name : Needed) {
    const unsigned Bit = GccRuntime(Name);
    Needs.Sanitizers |= Bit;
    if (Bit == sbUndefined)
      Later.push_back(Name);
    else if (Bit != 0)
      Needs.Runtimes.push_back(Name);
  }
  Needs.Runtimes.insert(Needs.Runtimes.end(), Later.begin(), Later.end());
  if (Needs.Sanitizers != 0)
    return Needs;
  // clang's runtimes are linked into programs only: a library leaves their
  // entry points undefined. AddressSanitizer's and ThreadSanitizer's hold
  // UBSan's too.
  unsigned Clang = 0;
  for (const std::string& Name : Undefined) {
    if (Name == "__asan_init")
      Clang |= sbAddress;
    else if (Name == "__tsan_init")
      Clang |= sbThread;
    else if (StartsWith(Name, "__ubsan_handle_"))
      Clang |= sbUndefined;
  }
  if (Clang == 0)
    return Needs;
  Needs.Sanitizers = Clang;
  const std::string Runtime = std::string("libclang_rt.") +
                              ((Clang & sbAddress) != 0  ? "asan"
                               : (Clang & sbThread) != 0 ? "tsan"
                                                         : "ubsan_standalone") +
                              "-" + Architecture + ".so";
  const std::string Path = ClangRuntime(Runtime);
  if (Path.empty())
    Needs.Missing = Runtime;
  else
    Needs.Runtimes.push_back(Path);
  return Needs;
}

std::string SanitizerNames(unsigned aSanitizers, bool aShort) {
  static const struct {
    TSanitizerBit Bit;
    const char* Name;
    const char* Short;
  } Names[] = {{sbAddress, "AddressSanitizer", "ASan"},
               {sbThread, "ThreadSanitizer", "TSan"},
               {sbLeak, "LeakSanitizer", "LSan"},
               {sbUndefined, "UndefinedBehaviorSanitizer", "UBSan"}};
  std::vector<std::string> Parts;
  for (const auto& Name : Names)
    if ((aSanitizers & Name.Bit) != 0)
      Parts.emplace_back(aShort ? Name.Short : Name.Name);
  return Join(Parts, aShort ? ", " : " and ");
}

THostRuntime HostRuntimeFor(const std::string& aModulePath) {
  THostRuntime Runtime;
  const TSanitizerNeeds Needs = SanitizerNeeds(aModulePath);
  Runtime.Sanitizers = Needs.Sanitizers;
  if (Needs.Sanitizers == 0)
    return Runtime;
  const std::string Built = "built with " + SanitizerNames(Needs.Sanitizers);
  if (!Needs.Missing.empty()) {
    Runtime.Refusal = Built + ": its runtime " + Needs.Missing + " was not found (clang's)";
    return Runtime;
  }
  // A host program built with a sanitizer has its runtime first already: a
  // module of the same runtime runs in it as it is, any other cannot.
  static const TSanitizerNeeds Host = SanitizerNeeds(HostProgramPath());
  if (Host.Sanitizers != 0) {
    for (const std::string& Name : Needs.Runtimes)
      if (std::find(Host.Runtimes.begin(), Host.Runtimes.end(), Name) == Host.Runtimes.end()) {
        Runtime.Refusal = Built + ": the test process is built with " +
                          SanitizerNames(Host.Sanitizers) + " and cannot load another runtime";
        return Runtime;
      }
    return Runtime;
  }
  Runtime.Preload = Join(Needs.Runtimes, ":");
  return Runtime;
}

std::vector<std::string> THostRuntime::Environment() const {
  std::vector<std::string> Variables;
  if (Preload.empty())
    return Variables;
  const char* User = std::getenv("LD_PRELOAD");
  Variables.push_back("LD_PRELOAD=" + Preload +
                      (User != nullptr && *User != 0 ? ":" + std::string(User) : ""));
  Variables.push_back(std::string(PreloadedVariable) + "=" + Preload);
  // A report ends the host at once, on its standard error: the runner ends
  // the running method with it and goes on in a fresh host.
  if ((Sanitizers & sbAddress) != 0)
    Variables.push_back(WithUsers("ASAN_OPTIONS", "halt_on_error=1"));
  if ((Sanitizers & sbThread) != 0)
    Variables.push_back(WithUsers("TSAN_OPTIONS", "halt_on_error=1"));
  if ((Sanitizers & sbUndefined) != 0)
    Variables.push_back(WithUsers("UBSAN_OPTIONS", "halt_on_error=1:print_stacktrace=1"));
  return Variables;
}

std::string InProcessRefusal(const std::string& aPath) {
  const TSanitizerNeeds Needs = SanitizerNeeds(aPath);
  // Where this process was started with the runtime, the module loads here.
  static const struct {
    TSanitizerBit Bit;
    const char* Symbol;
  } Entries[] = {{sbAddress, "__asan_init"},
                 {sbThread, "__tsan_init"},
                 {sbLeak, "__lsan_do_leak_check"},
                 {sbUndefined, "__ubsan_handle_add_overflow"}};
  for (const auto& Entry : Entries)
    if ((Needs.Sanitizers & Entry.Bit) != 0 && dlsym(RTLD_DEFAULT, Entry.Symbol) == nullptr)
      return "built with " + SanitizerNames(Needs.Sanitizers) + ": runs in hosts only";
  return {};
}

} // namespace Kalvoro
