// One look at a module file while a linker may still be writing it: its size
// and modification time, and whether its ELF header is whole (the header
// itself and the section header table it points to, which a linker writes
// last, lie inside the file). Two equal looks at a whole file in a row mean
// the file is quiet.
#pragma once

#include <QString>
#include <QtGlobal>

namespace Kalvoro {

struct TFileLook {
  bool Exists = false;
  qint64 Size = -1;
  qint64 Modified = 0; // milliseconds since the epoch
  bool WholeHeader = false;
  bool operator==(const TFileLook&) const = default;
};

TFileLook LookAt(const QString& aPath);

} // namespace Kalvoro
