// File paths between the project model (std::string in the file system's
// encoding) and what the manager shows and asks for (QString).
#pragma once

#include <QFile>
#include <QString>

#include <string>

namespace Kalvoro {

inline QString FromPath(const std::string& aPath) {
  return QFile::decodeName(QByteArray::fromStdString(aPath));
}

inline std::string ToPath(const QString& aPath) {
  return QFile::encodeName(aPath).toStdString();
}

} // namespace Kalvoro
