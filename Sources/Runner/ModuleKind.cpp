#include "ModuleKind.h"

#include <elf.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace Kalvoro {

namespace {

bool ReadAt(int aFile, void* aData, std::size_t aSize, off_t aOffset) {
  return pread(aFile, aData, aSize, aOffset) == static_cast<ssize_t>(aSize);
}

// Whether the 64-bit ELF file has a program header of type PT_INTERP. The
// headers are read in one piece: a project's opening looks at every module.
bool HasInterpreter(int aFile, const Elf64_Ehdr& aHeader) {
  if (aHeader.e_phentsize != sizeof(Elf64_Phdr) || aHeader.e_phnum > 4096)
    return false;
  std::vector<Elf64_Phdr> Programs(aHeader.e_phnum);
  if (!ReadAt(aFile, Programs.data(), Programs.size() * sizeof(Elf64_Phdr),
              static_cast<off_t>(aHeader.e_phoff)))
    return false;
  return std::any_of(Programs.begin(), Programs.end(),
                     [](const Elf64_Phdr& aProgram) { return aProgram.p_type == PT_INTERP; });
}

} // namespace

TModuleKind ModuleKindOf(const std::string& aPath) {
  const int File = open(aPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (File < 0)
    return TModuleKind::KalvoroModule;
  Elf64_Ehdr Header{};
  const bool Elf = ReadAt(File, &Header, sizeof Header, 0) &&
                   std::memcmp(Header.e_ident, ELFMAG, SELFMAG) == 0 &&
                   Header.e_ident[EI_CLASS] == ELFCLASS64;
  const bool Program = Elf && HasInterpreter(File, Header);
  close(File);
  return Program ? TModuleKind::TestProgram : TModuleKind::KalvoroModule;
}

std::string_view ModuleKindText(TModuleKind aKind) {
  return aKind == TModuleKind::TestProgram ? "test program" : "Kalvoro module";
}

} // namespace Kalvoro
