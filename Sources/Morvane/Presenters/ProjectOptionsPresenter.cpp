#include "ProjectOptionsPresenter.h"

#include "Dialogs.h"
#include "Project.h"
#include "Titles.h"

#include <algorithm>

namespace Kalvoro {

std::optional<int> ParseTimeLimit(const QString& aText) {
  const QString Text = aText.trimmed();
  if (Text.isEmpty())
    return 0;
  for (const QChar Char : Text)
    if (Char < QLatin1Char('0') || Char > QLatin1Char('9'))
      return std::nullopt;
  bool Ok = false;
  const qlonglong Seconds = Text.toLongLong(&Ok);
  if (!Ok || Seconds > MaxTimeLimit)
    return std::nullopt;
  return static_cast<int>(Seconds);
}

bool EditProjectOptions(TProject& aProject, IDialogs& aDialogs, const TOptionsDialog& aDialog) {
  const TProjectOptions& Current = aProject.Options();
  TOptionsFields Fields{Current.Hosts,
                        Current.TimeLimit > 0 ? QString::number(Current.TimeLimit) : QString(),
                        Current.Jobs};
  for (;;) {
    if (!aDialog(Fields))
      return false;
    const std::optional<int> Limit = ParseTimeLimit(Fields.TimeLimit);
    if (Limit) {
      TProjectOptions Chosen = aProject.Options();
      Chosen.Hosts = Fields.Hosts;
      Chosen.TimeLimit = *Limit;
      Chosen.Jobs = std::clamp(Fields.Jobs, 1, MaxJobs);
      if (Chosen == aProject.Options())
        return false;
      aProject.SetOptions(Chosen);
      return true;
    }
    aDialogs.ShowError(ApplicationTitle(),
                       QStringLiteral("\"%1\" is not a time limit. Give whole seconds up to %2, "
                                      "or nothing for none.")
                           .arg(Fields.TimeLimit.trimmed())
                           .arg(MaxTimeLimit));
  }
}

} // namespace Kalvoro
