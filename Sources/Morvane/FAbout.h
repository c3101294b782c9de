// The about box: the program's name, version and where it comes from.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace Kalvoro {

class IDialogs;
class THyperlinkLabel;

class TAboutBox : public QDialog {
  Q_OBJECT

public:
  explicit TAboutBox(QWidget* aParent = nullptr);

  // Shows the box modally with the version text, centred on the active window.
  static void ShowAbout(const QString& aVersion, IDialogs& aDialogs);

  void SetVersion(const QString& aVersion);
  void SetIcon(const QIcon& aIcon);

  QLabel* lblTitle;
  QLabel* lblVersion;
  QLabel* lblProduct;
  QLabel* lblAuthor;
  QLabel* imgIcon;
  THyperlinkLabel* lblMail;
  THyperlinkLabel* lblSite;
  QPushButton* btnClose;
};

// The address and site that the about box links to.
inline constexpr const char* AboutMailAddress = "kalvoro@kalvoro.invalid";
inline constexpr const char* AboutSite = "https://kalvoro.invalid/";
inline constexpr const char* AboutAuthor = "Kalvoro developers";

} // namespace Kalvoro
