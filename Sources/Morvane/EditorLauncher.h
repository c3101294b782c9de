// The program's editor launcher: the user's editor template kept in Qt's
// per-user settings, programs started detached, and the desktop's handler
// for a file when no editor is chosen.
#pragma once

#include "Editor.h"

namespace Kalvoro {

class TDesktopEditorLauncher : public IEditorLauncher {
public:
  QString Template() const override;
  void SetTemplate(const QString& aTemplate) override;
  bool Start(const TEditorCommand& aCommand) override;
  bool OpenWithDesktop(const QString& aFile) override;
};

} // namespace Kalvoro
