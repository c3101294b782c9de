#include "ElfDynamic.h"

#include <elf.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <sys/stat.h>

namespace Kalvoro {

namespace {

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

} // namespace

bool ReadElfDynamic(const std::string& aPath, TElfDynamic& aDynamic) {
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
          aDynamic.Needed.push_back(StringAt(Strings, Entry.d_un.d_val));
        else if (Entry.d_tag == DT_RUNPATH || Entry.d_tag == DT_RPATH)
          aDynamic.SearchPath.push_back(StringAt(Strings, Entry.d_un.d_val));
      }
    } else {
      for (std::size_t At = 0; At + sizeof(Elf64_Sym) <= Bytes.size(); At += sizeof(Elf64_Sym)) {
        Elf64_Sym Symbol{};
        std::memcpy(&Symbol, Bytes.data() + At, sizeof Symbol);
        // Only the runtimes' entry points are asked for: a module leaves
        // hundreds of C++ names undefined, none worth a copy.
        if (Symbol.st_shndx == SHN_UNDEF && Symbol.st_name != 0 &&
            Symbol.st_name + 2 < Strings.size() && Strings[Symbol.st_name] == '_' &&
            Strings[Symbol.st_name + 1] == '_')
          aDynamic.Undefined.push_back(StringAt(Strings, Symbol.st_name));
      }
    }
  }
  close(File);
  return Ok;
}

std::vector<std::string> LocalLibraries(const std::string& aPath) {
  TElfDynamic Dynamic;
  if (!ReadElfDynamic(aPath, Dynamic))
    return {};
  const std::string Origin = std::filesystem::path(aPath).parent_path().string();
  std::vector<std::string> Folders;
  const auto Add = [&](const std::string& aList) {
    std::size_t From = 0;
    for (std::size_t To; From <= aList.size(); From = To + 1) {
      To = aList.find(':', From);
      if (To == std::string::npos)
        To = aList.size();
      std::string Folder = aList.substr(From, To - From);
      for (const char* Name : {"$ORIGIN", "${ORIGIN}"})
        for (std::size_t At; (At = Folder.find(Name)) != std::string::npos;)
          Folder.replace(At, std::strlen(Name), Origin);
      if (!Folder.empty())
        Folders.push_back(Folder);
    }
  };
  for (const std::string& Path : Dynamic.SearchPath)
    Add(Path);
  if (const char* Library = std::getenv("LD_LIBRARY_PATH"))
    Add(Library);
  std::vector<std::string> Found;
  for (const std::string& Name : Dynamic.Needed)
    for (const std::string& Folder : Folders) {
      const std::string Path = Folder + "/" + Name;
      struct stat Status {};
      if (stat(Path.c_str(), &Status) == 0 && S_ISREG(Status.st_mode)) {
        Found.push_back(Path);
        break;
      }
    }
  return Found;
}

} // namespace Kalvoro
