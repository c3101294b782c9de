// A file as it is now: its device and inode, and its size and times in
// nanoseconds. A file rebuilt in place keeps its inode but changes its size
// or times; one replaced by a rename (a linker's, a save's) has a new inode.
// Comparing the identity taken when a file was read with the present one
// tells whether it is still that file.
#pragma once

#include <cstdint>
#include <string>

struct stat;

namespace Kalvoro {

struct TFileIdentity {
  bool Exists = false;
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  std::uint64_t Size = 0;
  std::int64_t Modified = 0; // nanoseconds since the epoch
  std::int64_t Changed = 0;

  bool operator==(const TFileIdentity&) const = default;
};

TFileIdentity FileIdentityOf(const struct stat& aStatus);
// The identity of the file that aPath names now (through symbolic links);
// Exists is false when there is none.
TFileIdentity FileIdentityOf(const std::string& aPath);
// As FileIdentityOf; false when there is no file.
bool ReadFileIdentity(const std::string& aPath, TFileIdentity& aIdentity);

} // namespace Kalvoro
