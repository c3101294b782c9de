// What tells whether a file was replaced or changed since it was last seen:
// its device, inode, size and modification time. A save replaces the project
// file by a new one (a new inode), and another program that saves the same
// project does the same, so comparing the identity taken when the file was
// opened or saved with the present one tells whether someone else wrote it.
#pragma once

#include <cstdint>
#include <string>

namespace Kalvoro {

struct TFileIdentity {
  bool Exists = false;
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  std::int64_t Size = 0;
  std::int64_t ModifiedSeconds = 0;
  std::int64_t ModifiedNanoseconds = 0;

  bool operator==(const TFileIdentity&) const = default;
};

// The identity of the file that aPath names now (through symbolic links);
// Exists is false when there is none.
TFileIdentity FileIdentityOf(const std::string& aPath);

} // namespace Kalvoro
