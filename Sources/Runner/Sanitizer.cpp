#include "Sanitizer.h"

#include "HostProgram.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
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

// A section's bytes, at most 64 MiB of them.
bool ReadSection(int aFile, const Elf64_Shdr& aSection, std::string& aBytes) {
  if (aSection.sh_size > (64u << 20))
    return false;
  aBytes.resize(aSection.sh_size);
  return pread(aFile, aBytes.data(), aBytes.size(), static_cast<off_t>(aSection.sh_offset)) ==
         static_cast<ssize_t>(aBytes.size());
}

std::string StringAt(const std::string& aTable, std::uint64_t aOffset) {
  return aOffset < aTable.size() ? std::string(aTable.c_str() + aOffset) : std::string();
}

// The DT_NEEDED names and the undefined dynamic symbols of an ELF64 file of
// this machine's byte order.
bool ReadDynamic(const std::string& aPath, std::vector<std::string>& aNeeded,
                 std::vector<std::string>& aUndefined) {
  const int File = open(aPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (File < 0)
    return false;
  Elf64_Ehdr Header{};
  std::vector<Elf64_Shdr> Sections;
  bool Ok = pread(File, &Header, sizeof Header, 0) == sizeof Header &&
            std::memcmp(Header.e_ident, ELFMAG, SELFMAG) == 0 &&
            Header.e_ident[EI_CLASS] == ELFCLASS64 && Header.e_shentsize == sizeof(Elf64_Shdr) &&
            Header.e_shnum > 0 && Header.e_shnum < 65000;
  if (Ok) {
    Sections.resize(Header.e_shnum);
    const auto Size = static_cast<ssize_t>(Sections.size() * sizeof(Elf64_Shdr));
    Ok = pread(File, Sections.data(), static_cast<std::size_t>(Size),
               static_cast<off_t>(Header.e_shoff)) == Size;
  }
  for (std::size_t I = 0; Ok && I < Sections.size(); ++I) {
    const Elf64_Shdr& Section = Sections[I];
    if ((Section.sh_type != SHT_DYNAMIC && Section.sh_type != SHT_DYNSYM) ||
        Section.sh_link >= Sections.size())
      continue;
    std::string Bytes;
    std::string Strings;
    if (!ReadSection(File, Section, Bytes) ||
        !ReadSection(File, Sections[Section.sh_link], Strings))
      continue;
    if (Section.sh_type == SHT_DYNAMIC) {
      for (std::size_t At = 0; At + sizeof(Elf64_Dyn) <= Bytes.size(); At += sizeof(Elf64_Dyn)) {
        Elf64_Dyn Entry{};
        std::memcpy(&Entry, Bytes.data() + At, sizeof Entry);
        if (Entry.d_tag == DT_NEEDED)
          aNeeded.push_back(StringAt(Strings, Entry.d_un.d_val));
      }
    } else {
      for (std::size_t At = 0; At + sizeof(Elf64_Sym) <= Bytes.size(); At += sizeof(Elf64_Sym)) {
        Elf64_Sym Symbol{};
        std::memcpy(&Symbol, Bytes.data() + At, sizeof Symbol);
        if (Symbol.st_shndx == SHN_UNDEF && Symbol.st_name != 0)
          aUndefined.push_back(StringAt(Strings, Symbol.st_name));
      }
    }
  }
  close(File);
  return Ok;
}

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
  std::vector<std::string> Needed;
  std::vector<std::string> Undefined;
  if (!ReadDynamic(aPath, Needed, Undefined))
    return Needs;
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
