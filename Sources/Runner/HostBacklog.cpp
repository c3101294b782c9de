#include "HostBacklog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace Kalvoro {

namespace {

constexpr std::size_t Header = 5; // the payload's length (4 bytes) and the tag

void Store(char* aAt, std::uint32_t aLength, std::uint8_t aTag) {
  std::memcpy(aAt, &aLength, 4);
  aAt[4] = static_cast<char>(aTag);
}

int OpenUnlinked() {
  const char* Folder = std::getenv("TMPDIR");
  std::string Dir = Folder != nullptr && *Folder != '\0' ? Folder : "/tmp";
  const int File = open(Dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (File >= 0)
    return File;
  // A file system without O_TMPFILE: a named file, unlinked at once.
  std::string Name = Dir + "/kalvoro-backlog-XXXXXX";
  const int Named = mkostemp(Name.data(), O_CLOEXEC);
  if (Named >= 0)
    unlink(Name.c_str());
  return Named;
}

void WriteAll(int aFile, const char* aData, std::size_t aSize, std::uint64_t aAt) {
  while (aSize > 0) {
    const ssize_t Written = pwrite(aFile, aData, aSize, static_cast<off_t>(aAt));
    if (Written < 0 && errno == EINTR)
      continue;
    if (Written <= 0)
      throw std::runtime_error(std::string("cannot keep a test process's messages: ") +
                               std::strerror(errno));
    aData += Written;
    aSize -= static_cast<std::size_t>(Written);
    aAt += static_cast<std::uint64_t>(Written);
  }
}

void ReadAll(int aFile, char* aData, std::size_t aSize, std::uint64_t aAt) {
  while (aSize > 0) {
    const ssize_t Read = pread(aFile, aData, aSize, static_cast<off_t>(aAt));
    if (Read < 0 && errno == EINTR)
      continue;
    if (Read <= 0)
      throw std::runtime_error("cannot read back a test process's messages");
    aData += Read;
    aSize -= static_cast<std::size_t>(Read);
    aAt += static_cast<std::uint64_t>(Read);
  }
}

} // namespace

THostBacklog::~THostBacklog() {
  Clear();
}

void THostBacklog::Clear() {
  FData.clear();
  FRead = 0;
  if (FFile >= 0)
    close(FFile);
  FFile = -1;
  FWritten = FFileRead = 0;
}

void THostBacklog::Add(std::uint8_t aTag, std::string_view aPayload) {
  // Once records go to the file, all later ones follow them there.
  if (FFile >= 0 || FData.size() - FRead + Header + aPayload.size() > MemoryBound) {
    AddToFile(aTag, aPayload);
    return;
  }
  if (FRead > 0 && FRead == FData.size()) {
    FData.clear();
    FRead = 0;
  }
  const std::size_t At = FData.size();
  FData.resize(At + Header);
  Store(FData.data() + At, static_cast<std::uint32_t>(aPayload.size()), aTag);
  FData.append(aPayload);
}

void THostBacklog::AddToFile(std::uint8_t aTag, std::string_view aPayload) {
  if (FFile < 0) {
    FFile = OpenUnlinked();
    if (FFile < 0)
      throw std::runtime_error(std::string("cannot keep a test process's messages: ") +
                               std::strerror(errno));
  }
  char Head[Header];
  Store(Head, static_cast<std::uint32_t>(aPayload.size()), aTag);
  WriteAll(FFile, Head, Header, FWritten);
  WriteAll(FFile, aPayload.data(), aPayload.size(), FWritten + Header);
  FWritten += Header + aPayload.size();
}

bool THostBacklog::ReadFromFile() {
  if (FFile < 0 || FFileRead == FWritten)
    return false;
  FData.resize(Header);
  FRead = 0;
  ReadAll(FFile, FData.data(), Header, FFileRead);
  std::uint32_t Length = 0;
  std::memcpy(&Length, FData.data(), 4);
  FData.resize(Header + Length);
  ReadAll(FFile, FData.data() + Header, Length, FFileRead + Header);
  FFileRead += Header + Length;
  // A file read to its end is done with: the next records go to memory.
  if (FFileRead == FWritten) {
    close(FFile);
    FFile = -1;
    FWritten = FFileRead = 0;
  }
  return true;
}

bool THostBacklog::Next(std::uint8_t& aTag, std::string_view& aPayload) {
  if (FRead == FData.size() && !ReadFromFile())
    return false;
  std::uint32_t Length = 0;
  std::memcpy(&Length, FData.data() + FRead, 4);
  aTag = static_cast<std::uint8_t>(FData[FRead + 4]);
  aPayload = std::string_view(FData).substr(FRead + Header, Length);
  FRead += Header + Length;
  return true;
}

} // namespace Kalvoro
