#include "Titles.h"

#include <QCoreApplication>

namespace Kalvoro {

namespace {
// One title per process, as the application object has one.
QString& StoredTitle() {
  static QString Title;
  return Title;
}
} // namespace

QString MainTitle() {
  return QStringLiteral("Morvane v") + QLatin1String(MorvaneVersion);
}

QString ApplicationTitle() {
  return StoredTitle().isNull() ? QCoreApplication::applicationName() : StoredTitle();
}

void SetApplicationTitle(const QString& aTitle) {
  StoredTitle() = aTitle;
}

} // namespace Kalvoro
