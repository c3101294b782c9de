// A failed method's row in the results tree: the folders where its source
// file is looked for, and its lines of the Errors page.
#pragma once

#include "ResultRows.h"

#include <QStringList>

#include <string>
#include <vector>

namespace Kalvoro {

class TProject;

// Where a failure of the method at aRow opens from: its module's folder,
// then the project file's, then the folders above the module's (a build
// names its files from the folder where the compiler ran, often above the
// one the module lands in).
QStringList FailureFolders(const std::vector<TResultRow>& aRows, int aRow,
                           const TProject* aProject);

// The row's failures as the console prints them: the Errors page's lines of
// its method, or of the methods of its unit tests; empty when it has none.
QString FailureText(const std::vector<TResultRow>& aRows, int aRow,
                    const std::vector<std::string>& aErrors);

} // namespace Kalvoro
