#include "FileLook.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace Kalvoro {

namespace {

quint64 Field(const unsigned char* aBytes, int aSize, bool aLittle) {
  quint64 Value = 0;
  for (int I = 0; I < aSize; ++I)
    Value |= quint64(aBytes[aLittle ? I : aSize - 1 - I]) << (8 * I);
  return Value;
}

// The ELF header and the section header table it names lie inside aSize bytes.
bool WholeElf(const QString& aPath, qint64 aSize) {
  QFile File(aPath);
  if (!File.open(QIODevice::ReadOnly))
    return false;
  unsigned char Header[64] = {};
  const qint64 Read = File.read(reinterpret_cast<char*>(Header), sizeof Header);
  if (Read < 52 || Header[0] != 0x7f || Header[1] != 'E' || Header[2] != 'L' || Header[3] != 'F')
    return false;
  const bool Wide = Header[4] == 2;
  const bool Little = Header[5] == 1;
  if (Wide && Read < 64)
    return false;
  const quint64 Table = Wide ? Field(Header + 0x28, 8, Little) : Field(Header + 0x20, 4, Little);
  const quint64 EntrySize = Field(Header + (Wide ? 0x3a : 0x2e), 2, Little);
  const quint64 Entries = Field(Header + (Wide ? 0x3c : 0x30), 2, Little);
  return Table + EntrySize * Entries <= quint64(aSize);
}

} // namespace

TFileLook LookAt(const QString& aPath) {
  TFileLook Look;
  const QFileInfo Info(aPath);
  if (!Info.exists() || !Info.isFile())
    return Look;
  Look.Exists = true;
  Look.Size = Info.size();
  Look.Modified = Info.lastModified().toMSecsSinceEpoch();
  Look.WholeHeader = WholeElf(aPath, Look.Size);
  return Look;
}

} // namespace Kalvoro
