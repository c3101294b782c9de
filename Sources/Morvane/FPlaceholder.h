// A stand-in view: it shows its caption and nothing else, with an empty tool bar
// and an empty menu, until the real view takes its place.
#pragma once

#include "FrameIntf.h"

#include <QWidget>

class QLabel;

namespace Kalvoro {

class TPlaceholderFrame : public QWidget, public IFrame {
  Q_OBJECT

public:
  TPlaceholderFrame(const QString& aCaption, const QString& aMenuCaption, const QIcon& aIcon,
                    QWidget* aOwner);

  void Activate(TProject* aProject) override { FProject = aProject; }
  void Deactivate() override { FProject = nullptr; }
  void Show() override { show(); }
  void Hide() override { hide(); }
  QToolBar* GetToolBar() override { return FToolBar; }
  QWidget* GetFrame() override { return this; }
  const TFrameMenu& GetMenu() override { return FMenu; }
  QString GetCaption() const override { return FCaption; }
  QIcon GetIcon() const override { return FIcon; }

  TProject* Project() const { return FProject; }

private:
  QString FCaption;
  QIcon FIcon;
  TProject* FProject = nullptr;
  QToolBar* FToolBar;
  TFrameMenu FMenu;
};

} // namespace Kalvoro
