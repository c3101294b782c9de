#include "AheadStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace Kalvoro {

namespace {

int OpenUnlinked() {
  const char* Folder = std::getenv("TMPDIR");
  const std::string Dir = Folder != nullptr && *Folder != '\0' ? Folder : "/tmp";
  const int File = open(Dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (File >= 0)
    return File;
  // A file system without O_TMPFILE: a named file, unlinked at once.
  std::string Name = Dir + "/kalvoro-ahead-XXXXXX";
  const int Named = mkostemp(Name.data(), O_CLOEXEC);
  if (Named >= 0)
    unlink(Name.c_str());
  return Named;
}

[[noreturn]] void Fail(const char* aWhat) {
  throw std::runtime_error(std::string(aWhat) + ": " + std::strerror(errno));
}

} // namespace

TAheadStore::~TAheadStore() {
  Clear();
}

void TAheadStore::Clear() {
  if (FFile >= 0)
    close(FFile);
  FFile = -1;
  FWritten = 0;
}

std::uint64_t TAheadStore::Put(std::string_view aRecord) {
  if (FFile < 0 && (FFile = OpenUnlinked()) < 0)
    Fail("cannot keep a test program's results");
  const std::uint64_t At = FWritten;
  for (std::size_t Done = 0; Done < aRecord.size();) {
    const ssize_t Written =
        pwrite(FFile, aRecord.data() + Done, aRecord.size() - Done, static_cast<off_t>(At + Done));
    if (Written < 0 && errno == EINTR)
      continue;
    if (Written <= 0)
      Fail("cannot keep a test program's results");
    Done += static_cast<std::size_t>(Written);
  }
  FWritten += aRecord.size();
  return At;
}

std::string TAheadStore::Get(std::uint64_t aAt, std::size_t aSize) const {
  std::string Record(aSize, '\0');
  for (std::size_t Done = 0; Done < aSize;) {
    const ssize_t Read =
        pread(FFile, Record.data() + Done, aSize - Done, static_cast<off_t>(aAt + Done));
    if (Read < 0 && errno == EINTR)
      continue;
    if (Read <= 0)
      Fail("cannot read back a test program's results");
    Done += static_cast<std::size_t>(Read);
  }
  return Record;
}

void TRecord::Number(std::uint64_t aNumber) {
  char Bytes[8];
  std::memcpy(Bytes, &aNumber, 8);
  FBytes.append(Bytes, 8);
}

void TRecord::Text(std::string_view aText) {
  Number(aText.size());
  FBytes.append(aText);
}

std::uint64_t TRecordReader::Number() {
  if (FBytes.size() < 8)
    throw std::runtime_error("a test program's kept results are cut short");
  std::uint64_t Number = 0;
  std::memcpy(&Number, FBytes.data(), 8);
  FBytes.remove_prefix(8);
  return Number;
}

std::string TRecordReader::Text() {
  const std::uint64_t Size = Number();
  if (FBytes.size() < Size)
    throw std::runtime_error("a test program's kept results are cut short");
  std::string Text(FBytes.substr(0, Size));
  FBytes.remove_prefix(Size);
  return Text;
}

} // namespace Kalvoro
